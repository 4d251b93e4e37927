// The catalog file type below HKEY_CLASSES_ROOT, in this suite's own Wine prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include "file_type.h"
#include "registry_access.h"

namespace launcher {
namespace {

const wchar_t exePath[] = L"C:\\Program Files\\Tavrin\\Tavrin.exe";
const wchar_t commandKey[] = L"tvrfile\\shell\\Open\\command";

class ClassesRegistry : public ::testing::Test {
protected:
    void SetUp() override { removeKeys(); }
    void TearDown() override
    {
        for (const FileTypeValue& value : fileTypeValues(exePath))
            testsupport::setKeyAccess(HKEY_CLASSES_ROOT, value.path(), testsupport::fullAccessForEveryone);
        removeKeys();
    }
    static void removeKeys()
    {
        for (const wchar_t* key : {L".tvr", L"tvrfile", L"TavrinTest"}) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
            RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Classes\\") + key).c_str());
        }
    }
    // The file type's keys as a standard user finds them: read-only. Proves
    // that a write is refused.
    static void makeFileTypeReadOnly()
    {
        for (const FileTypeValue& value : fileTypeValues(exePath)) {
            ASSERT_TRUE(testsupport::setKeyAccess(HKEY_CLASSES_ROOT, value.path(), testsupport::readOnlyForEveryone));
            ASSERT_EQ(testsupport::writeDefaultValue(HKEY_CLASSES_ROOT, value.path(), L"other"), ERROR_ACCESS_DENIED);
        }
    }
    static std::optional<std::wstring> userValue(const std::wstring& key)
    {
        wchar_t value[512];
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + key).c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                         value, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::wstring(value);
    }
    // A default value written with exactly these bytes (no terminating zero added).
    static void storeRaw(const wchar_t* key, const std::wstring& bytes)
    {
        HKEY opened;
        ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, key, &opened), ERROR_SUCCESS);
        RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size() * sizeof(wchar_t)));
        RegCloseKey(opened);
    }
    static DWORD storedSize(const wchar_t* key)
    {
        DWORD size = 0;
        RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_ANY | RRF_NOEXPAND, nullptr, nullptr, &size);
        return size;
    }
    // Whether the key's value was written while the action ran.
    template <typename Action>
    static bool valueWrittenDuring(const wchar_t* key, Action action)
    {
        HKEY opened;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_NOTIFY, &opened) != ERROR_SUCCESS)
            return false;
        HANDLE changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
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
    EXPECT_FALSE(classesKeyExists(L"TavrinTest"));
    EXPECT_EQ(readClassesValue(L"TavrinTest"), std::nullopt);
    writeClassesValue(L"TavrinTest", L"", L"value");
    writeClassesValue(L"TavrinTest", L"inner", L"inner value");
    EXPECT_TRUE(classesKeyExists(L"TavrinTest"));
    EXPECT_EQ(readClassesValue(L"TavrinTest"), L"value");
    EXPECT_EQ(readClassesValue(L"TavrinTest\\inner"), L"inner value");
    EXPECT_EQ(storedSize(L"TavrinTest"), 12u); // with its terminating zero
}

TEST_F(ClassesRegistry, AValueStoredWithoutItsTerminatingZeroIsReadWithoutAnythingBehindIt)
{
    storeRaw(L"TavrinTest", L"abc");
    EXPECT_EQ(readClassesValue(L"TavrinTest"), L"abc");
    storeRaw(L"TavrinTest", std::wstring(200, L'v'));
    EXPECT_EQ(readClassesValue(L"TavrinTest"), std::wstring(200, L'v'));
}

TEST_F(ClassesRegistry, AValueLongerThan255CharactersReadsAsNone)
{
    writeClassesValue(L"TavrinTest", L"", std::wstring(300, L'v'));
    EXPECT_EQ(readClassesValue(L"TavrinTest"), std::nullopt);
}

TEST_F(ClassesRegistry, RegistrationWritesTheTypeTheIconAndTheOpenCommand)
{
    registerCatalogFileType(exePath);
    EXPECT_EQ(readClassesValue(L".tvr"), L"tvrfile");
    EXPECT_EQ(readClassesValue(L"tvrfile"), L"Tavrin Catalog");
    EXPECT_EQ(readClassesValue(L"tvrfile\\DefaultIcon"), L"C:\\Program Files\\Tavrin\\Tavrin.exe,-102");
    EXPECT_EQ(readClassesValue(commandKey), L"\"C:\\Program Files\\Tavrin\\Tavrin.exe\" \"%1\"");
}

// An equal open command is left alone: Wine's registry ignores a write of
// equal data, so only the missing shell notification shows it (end-to-end suite).
TEST_F(ClassesRegistry, AnOpenCommandThatDiffersOnlyInCaseIsRewritten)
{
    writeClassesValue(commandKey, L"", L"\"c:\\program files\\tavrin\\tavrin.exe\" \"%1\"");
    EXPECT_TRUE(valueWrittenDuring(commandKey, [] { registerCatalogFileType(exePath); }));
    EXPECT_EQ(readClassesValue(commandKey), openCommandFor(exePath));
}

TEST_F(ClassesRegistry, WhereTheMachinesKeysRefuseWritesTheFileTypeGoesToTheUsersClasses)
{
    registerCatalogFileType(L"C:\\Old\\Tavrin.exe");
    makeFileTypeReadOnly();

    registerCatalogFileType(exePath);
    for (const FileTypeValue& value : fileTypeValues(exePath))
        EXPECT_EQ(userValue(value.path()), value.text) << value.path();
    EXPECT_EQ(readClassesValue(commandKey), openCommandFor(L"C:\\Old\\Tavrin.exe"));
    EXPECT_EQ(readClassesValue(L".tvr"), L"tvrfile");
}

// A value equal to the one there is never written: the read-only keys would
// refuse it, and the file type would move to the user's classes.
TEST_F(ClassesRegistry, ValuesThatAreAlreadyInPlaceAreNotWrittenAgain)
{
    registerCatalogFileType(exePath);
    makeFileTypeReadOnly();
    for (const FileTypeValue& value : fileTypeValues(exePath))
        ASSERT_EQ(readClassesValue(value.path()), value.text);

    registerCatalogFileType(exePath);
    EXPECT_EQ(userValue(L".tvr"), std::nullopt);
    EXPECT_EQ(userValue(commandKey), std::nullopt);
}

TEST_F(ClassesRegistry, ARelativeProgramPathIsWhatTheKeysReceive)
{
    registerCatalogFileType(L"Tavrin.exe");
    EXPECT_EQ(readClassesValue(L"tvrfile\\DefaultIcon"), L"Tavrin.exe,-102");
    EXPECT_EQ(readClassesValue(commandKey), L"\"Tavrin.exe\" \"%1\"");
}

} // namespace
} // namespace launcher
