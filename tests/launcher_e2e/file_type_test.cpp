// The catalog file type below HKEY_CLASSES_ROOT as launches leave it.
#include <windows.h>
#include <shlobj.h>

#include "launcher_fixture.h"
#include "registry_access.h"

namespace launche2e {
namespace {

constexpr std::uint64_t associationsChanged = SHCNE_ASSOCCHANGED;

class FileType : public LauncherRun {
protected:
    std::optional<std::string> command() const
    {
        return defaultValue(HKEY_CLASSES_ROOT, "tvrfile\\shell\\Open\\command");
    }
    static void expectOneAssociationNotice(const LaunchResult& result)
    {
        ASSERT_EQ(result.shellNotifications.size(), 1u);
        EXPECT_EQ(result.shellNotifications[0].eventId, associationsChanged);
        EXPECT_EQ(result.shellNotifications[0].flags, static_cast<std::uint64_t>(SHCNF_IDLIST));
        EXPECT_EQ(result.shellNotifications[0].item1, 0u);
        EXPECT_EQ(result.shellNotifications[0].item2, 0u);
    }
};

TEST_F(FileType, TheFirstLaunchRegistersTheCatalogTypeAndTellsTheShell)
{
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(defaultValue(HKEY_CLASSES_ROOT, ".tvr"), "tvrfile");
    EXPECT_EQ(defaultValue(HKEY_CLASSES_ROOT, "tvrfile"), "Tavrin Catalog");
    EXPECT_EQ(defaultValue(HKEY_CLASSES_ROOT, "tvrfile\\DefaultIcon"), exePath().string() + ",-102");
    EXPECT_EQ(command(), "\"" + exePath().string() + "\" \"%1\"");
    expectOneAssociationNotice(result);
}

TEST_F(FileType, ALaunchFromTheSameFolderLeavesTheOpenCommandAlone)
{
    launchOnCatalog();
    const LaunchResult again = launchOnCatalog();
    EXPECT_TRUE(again.shellNotifications.empty());
    EXPECT_EQ(command(), "\"" + exePath().string() + "\" \"%1\"");
}

TEST_F(FileType, ALauncherMovedToAnotherFolderRewritesTheOpenCommand)
{
    launchOnCatalog();
    const fs::path moved = scratch / "Moved" / "Tavrin";
    installApplication(moved);
    const LaunchResult result = launch(openCommand(moved / "Tavrin.exe", catalogPath()), moved / "Tavrin.exe");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(command(), "\"" + (moved / "Tavrin.exe").string() + "\" \"%1\"");
    EXPECT_EQ(defaultValue(HKEY_CLASSES_ROOT, "tvrfile\\DefaultIcon"), (moved / "Tavrin.exe").string() + ",-102");
    expectOneAssociationNotice(result);
}

// The four keys the file type's values live in.
const char* const fileTypeKeys[] = {".tvr", "tvrfile", "tvrfile\\DefaultIcon", "tvrfile\\shell\\Open\\command"};

// A standard user's view of the machine's keys: reading only. The keys are
// given back their rights, and the user's keys removed, when the test ends.
class ReadOnlyFileType : public FileType {
protected:
    void TearDown() override
    {
        for (const char* key : fileTypeKeys)
            testsupport::setKeyAccess(HKEY_CLASSES_ROOT, widened(key), testsupport::fullAccessForEveryone);
        for (const char* key : {".tvr", "tvrfile"})
            deleteTree(HKEY_CURRENT_USER, std::string("Software\\Classes\\") + key);
        FileType::TearDown();
    }
};

TEST_F(ReadOnlyFileType, WhereTheMachinesKeysRefuseWritesTheUserGetsTheFileTypeAndTheLaunchGoesOn)
{
    const std::string old = "C:\\Old\\Tavrin.exe";
    const std::vector<std::string> oldValues = {"tvrfile", "Tavrin Catalog", old + ",-102", "\"" + old + "\" \"%1\""};
    for (std::size_t i = 0; i < oldValues.size(); ++i)
        setStringValue(HKEY_CLASSES_ROOT, fileTypeKeys[i], nullptr, oldValues[i]);
    // Only once every key is there: a key made below a read-only one inherits its rights.
    for (std::size_t i = 0; i < oldValues.size(); ++i) {
        ASSERT_TRUE(
            testsupport::setKeyAccess(HKEY_CLASSES_ROOT, widened(fileTypeKeys[i]), testsupport::readOnlyForEveryone));
        ASSERT_EQ(testsupport::writeDefaultValue(HKEY_CLASSES_ROOT, widened(fileTypeKeys[i]), L"x"),
                  ERROR_ACCESS_DENIED)
            << "the premise: writing " << fileTypeKeys[i] << " is refused";
    }

    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(contains(log(), "JVM launched"));
    const std::string exe = exePath().string();
    const std::vector<std::string> values = {"tvrfile", "Tavrin Catalog", exe + ",-102", "\"" + exe + "\" \"%1\""};
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(defaultValue(HKEY_CURRENT_USER, std::string("Software\\Classes\\") + fileTypeKeys[i]), values[i]);
        EXPECT_EQ(defaultValue(HKEY_CLASSES_ROOT, fileTypeKeys[i]), oldValues[i]);
    }
    expectOneAssociationNotice(result);

    // Wine's HKEY_CLASSES_ROOT shows the machine's keys alone (Windows shows the
    // user's over them): the next launch still finds them old, but its values
    // are in the user's keys already.
    const LaunchResult again = launchOnCatalog();
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_TRUE(again.shellNotifications.empty());
}

TEST_F(FileType, WithTheOptOutKeyNothingIsWritten)
{
    HKEY optOut;
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "tvrfile\\noUpdate", &optOut), ERROR_SUCCESS);
    RegCloseKey(optOut);
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, ".tvr"));
    EXPECT_EQ(defaultValue(HKEY_CLASSES_ROOT, "tvrfile"), std::nullopt);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "tvrfile\\DefaultIcon"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "tvrfile\\shell"));
    EXPECT_TRUE(result.shellNotifications.empty());
    EXPECT_TRUE(contains(log(), "JVM launched"));
}

} // namespace
} // namespace launche2e
