// The catalog file type below HKEY_CLASSES_ROOT, in this suite's own Wine prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include "file_type.h"

namespace launcher {
namespace {

const char exePath[] = "C:\\Program Files\\Tavrin\\Tavrin.exe";
const char commandKey[] = "tvrfile\\shell\\Open\\command";

class ClassesRegistry : public ::testing::Test {
protected:
    void SetUp() override { removeKeys(); }
    void TearDown() override { removeKeys(); }
    static void removeKeys()
    {
        for (const char* key : {".tvr", "tvrfile", "TavrinTest"})
            RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
    }
    // A default value written with exactly these bytes (no terminating zero added).
    static void storeRaw(const char* key, const std::string& bytes)
    {
        HKEY opened;
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, key, &opened), ERROR_SUCCESS);
        RegSetValueExA(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(opened);
    }
    static DWORD storedSize(const char* key)
    {
        DWORD size = 0;
        RegGetValueA(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_ANY | RRF_NOEXPAND, nullptr, nullptr, &size);
        return size;
    }
    // Whether the key's value was written while the action ran.
    template <typename Action>
    static bool valueWrittenDuring(const char* key, Action action)
    {
        HKEY opened;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_NOTIFY, &opened) != ERROR_SUCCESS)
            return false;
        HANDLE changed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        RegNotifyChangeKeyValue(opened, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed, TRUE);
        action();
        bool written = WaitForSingleObject(changed, 200) == WAIT_OBJECT_0;
        CloseHandle(changed);
        RegCloseKey(opened);
        return written;
    }
};

TEST_F(ClassesRegistry, AWrittenValueReadsBackAndItsKeyExists)
{
    EXPECT_FALSE(classesKeyExists("TavrinTest"));
    EXPECT_EQ(readClassesValue("TavrinTest"), std::nullopt);
    writeClassesValue("TavrinTest", "", "value");
    writeClassesValue("TavrinTest", "inner", "inner value");
    EXPECT_TRUE(classesKeyExists("TavrinTest"));
    EXPECT_EQ(readClassesValue("TavrinTest"), "value");
    EXPECT_EQ(readClassesValue("TavrinTest\\inner"), "inner value");
    EXPECT_EQ(storedSize("TavrinTest"), 6u); // with its terminating zero
}

TEST_F(ClassesRegistry, AValueStoredWithoutItsTerminatingZeroIsReadWithoutAnythingBehindIt)
{
    storeRaw("TavrinTest", "abc");
    EXPECT_EQ(readClassesValue("TavrinTest"), "abc");
    storeRaw("TavrinTest", std::string(200, 'v'));
    EXPECT_EQ(readClassesValue("TavrinTest"), std::string(200, 'v'));
}

TEST_F(ClassesRegistry, AValueLongerThan255BytesReadsAsNone)
{
    writeClassesValue("TavrinTest", "", std::string(300, 'v'));
    EXPECT_EQ(readClassesValue("TavrinTest"), std::nullopt);
}

TEST_F(ClassesRegistry, RegistrationWritesTheTypeTheIconAndTheOpenCommand)
{
    registerCatalogFileType(exePath);
    EXPECT_EQ(readClassesValue(".tvr"), "tvrfile");
    EXPECT_EQ(readClassesValue("tvrfile"), "Tavrin Catalog");
    EXPECT_EQ(readClassesValue("tvrfile\\DefaultIcon"), "C:\\Program Files\\Tavrin\\Tavrin.exe,-102");
    EXPECT_EQ(readClassesValue(commandKey), "\"C:\\Program Files\\Tavrin\\Tavrin.exe\" \"%1\"");
}

// An equal open command is left alone: Wine's registry ignores a write of
// equal data, so only the missing shell notification shows it (end-to-end suite).
TEST_F(ClassesRegistry, AnOpenCommandThatDiffersOnlyInCaseIsRewritten)
{
    writeClassesValue(commandKey, "", "\"c:\\program files\\tavrin\\tavrin.exe\" \"%1\"");
    EXPECT_TRUE(valueWrittenDuring(commandKey, [] { registerCatalogFileType(exePath); }));
    EXPECT_EQ(readClassesValue(commandKey), openCommandFor(exePath));
}

TEST_F(ClassesRegistry, ARelativeProgramPathIsWhatTheKeysReceive)
{
    registerCatalogFileType("Tavrin.exe");
    EXPECT_EQ(readClassesValue("tvrfile\\DefaultIcon"), "Tavrin.exe,-102");
    EXPECT_EQ(readClassesValue(commandKey), "\"Tavrin.exe\" \"%1\"");
}

} // namespace
} // namespace launcher
