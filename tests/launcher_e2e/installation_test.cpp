// The installation checks, the repair of a flattened installation, and where
// the QuickTime for Java archive is found.
#include "launcher_fixture.h"

namespace launche2e {
namespace {

const char repairWorked[] = "You didn't install the application correctly (bad zip expansion options?)\n"
                            "However, auto-patching the \"lib\" subdirectory seemed to work!\n"
                            "Please try launching the application again.";
const char repairFailed[] = "You didn't install correctly. Please check your zip expansion\n"
                            "options to ensure directory names are restored and re-install the application.";
const char libMissing[] = "Can't find contents of \"lib\" subdirectory.\n"
                          "Please re-install application, checking the zip expansion options.";
const char qtJavaMissing[] = "Can't find 'QTJava.zip'. Please re-install QuickTime.";

class Installation : public LauncherRun {
protected:
    // An archive unpacked without its folder names: everything beside Tavrin.exe.
    void flatten(const std::vector<std::string>& archives)
    {
        fs::remove_all(install / "lib");
        for (const std::string& archive : archives)
            writeText(install / archive, archive);
    }
    std::vector<std::string> logAfterLaunching() const
    {
        std::vector<std::string> lines = log();
        std::size_t at = indexOf(lines, "Launching ...");
        return at == std::string::npos ? lines : std::vector<std::string>(lines.begin() + at + 1, lines.end());
    }
};

TEST_F(Installation, AFlatInstallationWithFourArchivesIsRepairedIntoLib)
{
    flatten({"tavrin.jar", "resources.jar", "xalan.jar", "QTJava.zip"});
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 5u);
    expectMessage(result, repairWorked);
    for (const char* archive : {"tavrin.jar", "resources.jar", "xalan.jar", "QTJava.zip"}) {
        EXPECT_TRUE(fs::exists(install / "lib" / archive)) << archive;
        EXPECT_FALSE(fs::exists(install / archive)) << archive;
    }
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, MAX_PATH);
    const std::vector<std::string> lines = logAfterLaunching();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "QTJava=" + std::string(system, length) + "\\QTJava.zip"); // not tested before the repair
    EXPECT_EQ(lines[1], "Failed to find 'lib\\resources.jar'");
    EXPECT_EQ(lines[2], "rename QTJava.zip to lib\\QTJava.zip res=0");
    EXPECT_TRUE(contains(lines, "rename xalan.jar to lib\\xalan.jar res=0"));
    EXPECT_TRUE(contains(lines, "rename tavrin.jar to lib\\tavrin.jar res=0"));
}

TEST_F(Installation, AFlatInstallationWithThreeArchivesIsMovedButTheUserMustReinstall)
{
    flatten({"tavrin.jar", "resources.jar", "xalan.jar"});
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 5u);
    expectMessage(result, repairFailed);
    EXPECT_TRUE(fs::exists(install / "lib" / "resources.jar"));
    EXPECT_TRUE(contains(log(), "No files found: *.zip"));
}

TEST_F(Installation, ALaunchAfterASuccessfulRepairPassesTheChecks)
{
    flatten({"tavrin.jar", "resources.jar", "java.policy", "QTJava.zip"});
    fs::copy_file(fs::path(APP_LIB_DIR) / "tavrin.jar", install / "tavrin.jar", fs::copy_options::overwrite_existing);
    fs::copy_file(fs::path(APP_LIB_DIR) / "resources.jar", install / "resources.jar",
                  fs::copy_options::overwrite_existing);
    fs::create_directories(install / "lib");
    writeText(install / "lib" / "extensions.jar", "x");
    fs::rename(install / "lib", install / "lib-old"); // the lib folder is made by the repair
    writeText(install / "extensions.jar", "x");
    EXPECT_EQ(launchOnCatalog().exitCode, 5u);
    const LaunchResult again = launchOnCatalog();
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_TRUE(again.messageBoxes.empty());
    EXPECT_TRUE(contains(log(), "JVM launched"));
}

TEST_F(Installation, AMissingLibFolderWithoutAFlatArchiveAsksForAReinstall)
{
    fs::remove_all(install / "lib");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    expectMessage(result, libMissing); // the QuickTime check that would fail too is not reached
    const std::vector<std::string> lines = logAfterLaunching();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Failed to find 'lib\\resources.jar'");
    EXPECT_FALSE(fs::exists(install / "lib"));
}

TEST_F(Installation, WithoutAQuickTimeArchiveTheSystemFoldersIsTestedAndReported)
{
    fs::remove(install / "lib" / "QTJava.zip");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    expectMessage(result, qtJavaMissing);
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, MAX_PATH);
    expectLines(logAfterLaunching(),
                {"QTJava=" + std::string(system, length) + "\\QTJava.zip", "Failed to find QTJava.zip"});
}

TEST_F(Installation, QtJavaNamingAMissingFileIsLoggedAndLibsArchiveIsUsed)
{
    environment.set("QTJAVA", std::string("C:\\QuickTime\\QTSystem\\QTJava.zip"));
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    const std::vector<std::string> lines = logAfterLaunching();
    EXPECT_EQ(lines[0], "Can't find QTJAVA='C:\\QuickTime\\QTSystem\\QTJava.zip'");
    EXPECT_EQ(lines[1], "QTJava=lib\\QTJava.zip");
    EXPECT_TRUE(contains(lines, "JVM launched"));
}

TEST_F(Installation, QtJavaNamingAnExistingFileInQuotesIsSixthOnTheClassPath)
{
    const fs::path quickTime = scratch / "QuickTime" / "QTJava.zip";
    writeText(quickTime, "archive");
    environment.set("QTJAVA", "\"" + quickTime.string() + "\"");
    launchOnCatalog();
    EXPECT_TRUE(contains(log(), "QTJava=" + quickTime.string()));
    EXPECT_EQ(recordedOptions()[0],
              "-Djava.class.path=lib\\tavrin.jar;lib\\MRJToolkitStubs.zip;lib\\xalan.jar;lib\\crimson.jar;"
              "lib\\resources.jar;" +
                  quickTime.string() +
                  ";lib\\jakarta-regexp-1.2.jar;lib\\j2lib.jar;"
                  "lib\\jakarta-poi-1.10.0-dev.jar;lib\\extensions.jar");
}

TEST_F(Installation, AProgramStartedWithoutAFolderRegistersItsFullPathWithTheShell)
{
    // Started from a console inside the installation folder.
    const LaunchResult result =
        runProcess(exePath().string(), "Tavrin.exe", environment, install.string(), scratch / "console.txt");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(contains(log(), "EXEname=Tavrin.exe"));
    EXPECT_TRUE(contains(log(), "JVM launched"));
    EXPECT_EQ(defaultValue(HKEY_CLASSES_ROOT, "tvrfile\\shell\\Open\\command"),
              "\"" + exePath().string() + "\" \"%1\"");
    EXPECT_EQ(defaultValue(HKEY_CLASSES_ROOT, "tvrfile\\DefaultIcon"), exePath().string() + ",-102");
}

TEST_F(Installation, ARepairThatMovesNothingDoesNotClaimToHaveWorked)
{
    flatten({"tavrin.jar", "resources.jar", "xalan.jar", "QTJava.zip"});
    writeText(install / "lib", "a file: nothing can be moved into it, as into a read-only folder");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 5u);
    expectMessage(result, repairFailed);
    const std::vector<std::string> lines = logAfterLaunching();
    EXPECT_TRUE(contains(lines, "rename QTJava.zip to lib\\QTJava.zip res=-1"));
    EXPECT_TRUE(contains(lines, "rename tavrin.jar to lib\\tavrin.jar res=-1"));
    EXPECT_TRUE(fs::exists(install / "tavrin.jar"));
}

// The root of drive C: of this suite's own Wine prefix is the installation.
class InstallationAtADrivesRoot : public Installation {
protected:
    void SetUp() override
    {
        Installation::SetUp();
        root = "C:\\";
        ASSERT_FALSE(fs::exists(root / "lib")) << "drive C: must not hold an installation yet";
        installApplication(root);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root / "lib", ignored);
        fs::remove(root / "Tavrin.exe", ignored);
        Installation::TearDown();
    }
    fs::path root;
};

TEST_F(InstallationAtADrivesRoot, IsCheckedInTheRootAndNotInTheDrivesCurrentFolder)
{
    // The launch starts in a folder of the same drive: "C:" alone would stay there.
    const LaunchResult result = launch(openCommand(root / "Tavrin.exe", catalogPath()), root / "Tavrin.exe");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.messageBoxes.empty());
    EXPECT_TRUE(contains(log(), "EXEname=C:\\Tavrin.exe"));
    EXPECT_TRUE(contains(log(), "JVM launched"));
    const std::vector<std::string> options = recordedOptions();
    ASSERT_EQ(options.size(), 7u);
    EXPECT_EQ(options[3], "-Djava.security.policy=lib\\java.policy");
}

} // namespace
} // namespace launche2e
