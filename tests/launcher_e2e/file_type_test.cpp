// The catalog file type below HKEY_CLASSES_ROOT as launches leave it.
#include <windows.h>
#include <shlobj.h>

#include "launcher_fixture.h"

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
