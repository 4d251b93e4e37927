// The per-user error log: where it lies, its head, its backup generations,
// and the legacy logs of the installation folder.
#include <regex>

#include "launcher_fixture.h"

namespace launche2e {
namespace {

using ErrorLog = LauncherRun;

// What a program started without standard handles finds.
const std::vector<std::string> noStandardHandles = {"input 0", "output 0", "error 0"};

const std::regex launchTime("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                            "[ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}");

TEST_F(ErrorLog, TheFirstRunsLogBeginsWithTheLaunchAndHasNoBackup)
{
    const std::string commandLine = openCommand(exePath(), catalogPath());
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    std::vector<std::string> lines = log();
    ASSERT_GT(lines.size(), 10u);
    EXPECT_TRUE(std::regex_match(lines[0], launchTime)) << lines[0];
    lines.resize(10);
    expectLines(lines,
                {"*", "CmdLine=" + commandLine, "Args=\"" + catalogPath() + "\"", "EXEname=" + exePath().string(),
                 "Filename=" + catalogPath(), "mkdir " + logFolder().string() + " res=1",
                 "Backup " + logFile().string() + ": No such file or directory (status -1)",
                 "redirected output 1 & 2 to fd 3", "Launching ...", "QTJava=lib\\QTJava.zip"});
    EXPECT_FALSE(fs::exists(backupFile()));
}

TEST_F(ErrorLog, EachRunKeepsThePreviousRunsLogAsTheOnlyBackup)
{
    launchOnCatalog();
    const std::string first = readText(logFile());
    launch("\"" + exePath().string() + "\" second.tvr");
    EXPECT_EQ(readText(backupFile()), first);
    const std::vector<std::string> second = log();
    EXPECT_TRUE(contains(second, "Filename=second.tvr"));
    EXPECT_FALSE(contains(second, "Backup " + logFile().string() + ": No such file or directory (status -1)"));
    EXPECT_EQ(second[5], "redirected output 1 & 2 to fd 3"); // no mkdir or Backup line this time
    const std::string secondText = readText(logFile());
    launch("\"" + exePath().string() + "\" third.tvr");
    EXPECT_EQ(readText(backupFile()), secondText);
    EXPECT_TRUE(contains(log(), "Filename=third.tvr"));
}

TEST_F(ErrorLog, WithoutPerUserFoldersTheLogGoesToTheInstallationsLogsFolder)
{
    environment.set("LOCALAPPDATA", std::nullopt).set("APPDATA", std::nullopt);
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    const std::vector<std::string> lines = linesOf(install / "Logs" / "Tavrin Error Log.txt");
    EXPECT_TRUE(contains(lines, "mkdir Logs res=1"));
    EXPECT_TRUE(contains(lines, "vmarg -Dtavrin.actuallog=Logs\\Tavrin Error Log.txt"));
    EXPECT_FALSE(fs::exists(local / "Orlesk"));
}

TEST_F(ErrorLog, WithoutLocalAppDataTheRoamingFolderIsUsed)
{
    environment.set("LOCALAPPDATA", std::nullopt);
    launchOnCatalog();
    const fs::path roamingLog = roaming / "Orlesk" / "Logs" / "Tavrin Error Log.txt";
    EXPECT_TRUE(contains(linesOf(roamingLog), "vmarg -Dtavrin.actuallog=" + roamingLog.string()));
}

TEST_F(ErrorLog, ALegacyLogsFolderLosesItsOldLogsAndGathersStrayLogFiles)
{
    for (const char* legacy : {"Tavrin Error Log", "Logs\\Tavrin Error Log", "Logs\\Tavrin Error Log.old"}) {
        writeText(install / legacy, "old log");
    }
    writeText(install / "capture.log", "stray");
    writeText(install / "Logs" / "capture.log", "kept");
    writeText(install / "import.log", "stray");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(fs::exists(install / "Tavrin Error Log"));
    EXPECT_FALSE(fs::exists(install / "Logs" / "Tavrin Error Log"));
    EXPECT_FALSE(fs::exists(install / "Logs" / "Tavrin Error Log.old"));
    EXPECT_EQ(readText(install / "Logs" / "import.log"), "stray");
    EXPECT_EQ(readText(install / "Logs" / "capture.log"), "kept");
    const std::vector<std::string> lines = log();
    EXPECT_TRUE(contains(lines, "rename import.log to Logs\\import.log res=0"));
    EXPECT_TRUE(contains(lines, "rename capture.log to Logs\\capture.log res=-1"));
    EXPECT_TRUE(contains(lines, "JVM launched"));
}

TEST_F(ErrorLog, ALogsFolderWithoutLogFilesIsLoggedAndTheLaunchGoesOn)
{
    fs::create_directories(install / "Logs");
    launchOnCatalog();
    const std::vector<std::string> lines = log();
    EXPECT_EQ(lines[indexOf(lines, "QTJava=lib\\QTJava.zip") + 1], "No files found: *.log");
    EXPECT_TRUE(contains(lines, "JVM launched"));
}

TEST_F(ErrorLog, ALogThatCannotBeOpenedIsNamedToJavaAsFailed)
{
    // Both names are taken by folders that neither deleting nor renaming removes.
    fs::create_directories(logFile() / "inside");
    fs::create_directories(backupFile() / "inside");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    const std::vector<std::string> options = recordedOptions();
    ASSERT_EQ(options.size(), 7u);
    EXPECT_EQ(options[4], "-Dtavrin.failedlog=" + logFile().string());
    EXPECT_TRUE(contains(record(), "main returns"));
}

TEST_F(ErrorLog, AVeryLongCommandLineIsCutInTheLogWithoutHarm)
{
    const std::string catalog = "C:\\" + std::string(6000, 'k') + ".tvr";
    const LaunchResult result = launch(openCommand(exePath(), catalog));
    EXPECT_EQ(result.exitCode, 0u);
    const std::vector<std::string> lines = log();
    ASSERT_GT(lines.size(), 2u);
    // The buffer holds 4095 characters: the launch time, its line break and the
    // start of the command line, which is then ended so that the next line
    // begins on its own.
    EXPECT_EQ(lines[1].rfind("CmdLine=\"", 0), 0u);
    EXPECT_EQ(lines[0].size() + 1 + lines[1].size(), 4095u);
    EXPECT_EQ(lines[2], "redirected output 1 & 2 to fd 3");
    EXPECT_TRUE(contains(record(), "arg " + catalog));
}

// A runtime's own C library takes the process's standard handles as it finds
// them when jvm.dll is loaded, so the launcher must make the log those handles
// itself: Windows' C library leaves them alone when a program without a
// console duplicates descriptors 1 and 2. (Wine's sets them, to duplicates of
// its own, on every such duplication, so under Wine the log receives a
// runtime's output even without the launcher's calls; the trace shows whose
// calls they are, and that the launcher's pass the handle the log was opened with.)
TEST_F(ErrorLog, TheLauncherItselfMakesTheLogTheStandardOutputAndErrorOfTheRuntimeItLoads)
{
    const LaunchResult result = launchOnCatalog();
    const auto [first, end] = imageRangeOf(exePath());
    std::vector<StandardHandleCall> launchers;
    for (const StandardHandleCall& call : result.standardHandleCalls) {
        if (call.returnAddress >= first && call.returnAddress < end)
            launchers.push_back(call);
    }
    std::vector<std::uint64_t> logHandles;
    for (const FileOpening& opening : result.fileOpenings) {
        if (opening.path == logFile().string())
            logHandles.push_back(opening.handle);
    }
    ASSERT_EQ(logHandles.size(), 1u) << "the log is opened once";
    ASSERT_EQ(launchers.size(), 2u);
    EXPECT_EQ(static_cast<DWORD>(launchers[0].which), STD_OUTPUT_HANDLE);
    EXPECT_EQ(static_cast<DWORD>(launchers[1].which), STD_ERROR_HANDLE);
    EXPECT_EQ(launchers[0].handle, logHandles[0]);
    EXPECT_EQ(launchers[1].handle, logHandles[0]);
    EXPECT_TRUE(contains(log(), "Tavrin started with catalog " + catalogPath()));
}

TEST_F(ErrorLog, AProgramStartedWithoutStandardHandlesHasNone)
{
    EXPECT_EQ(standardHandlesOfAProgramStartedWith(StandardHandles::None), noStandardHandles);
    // And the probe does see handles when it is given them.
    const std::vector<std::string> given = standardHandlesOfAProgramStartedWith(StandardHandles::ConsoleFile);
    ASSERT_EQ(given.size(), 3u);
    EXPECT_NE(given[1], "output 0");
    EXPECT_NE(given[2], "error 0");
}

// A log without its launch time and with key handles left out: what two runs share.
std::vector<std::string> comparable(std::vector<std::string> lines)
{
    if (!lines.empty())
        lines.erase(lines.begin());
    for (std::string& line : lines) {
        if (line.rfind("RegOpenKey ", 0) == 0)
            line.erase(line.rfind(" ("));
    }
    return lines;
}

TEST_F(ErrorLog, StartedWithoutStandardHandlesTheLogHoldsWhatItHoldsOtherwise)
{
    ASSERT_EQ(standardHandlesOfAProgramStartedWith(StandardHandles::None), noStandardHandles);
    launchOnCatalog(); // the log folder and a previous log exist for both runs below
    launchOnCatalog();
    const std::vector<std::string> withHandles = comparable(log());
    const LaunchResult result = runProcess(exePath().string(), openCommand(exePath(), catalogPath()), environment,
                                           scratch.string(), scratch / "console.txt", StandardHandles::None);
    expectFinished(result, "Tavrin.exe");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.messageBoxes.empty());
    const std::vector<std::string> withoutHandles = comparable(log());
    ASSERT_GT(withHandles.size(), 10u);
    expectLines(withoutHandles, withHandles);
    EXPECT_TRUE(contains(withoutHandles, "Tavrin started with catalog " + catalogPath()));
    EXPECT_TRUE(contains(record(), "DestroyJavaVM returns"));
}

TEST_F(ErrorLog, StartedWithoutStandardHandlesAStackTraceStillReachesTheLog)
{
    ASSERT_EQ(standardHandlesOfAProgramStartedWith(StandardHandles::None), noStandardHandles);
    environment.set("TAVRIN_JVM_BEHAVIOUR", std::string("main-throws"));
    const LaunchResult result = runProcess(exePath().string(), openCommand(exePath(), catalogPath()), environment,
                                           scratch.string(), scratch / "console.txt", StandardHandles::None);
    expectFinished(result, "Tavrin.exe");
    expectMessage(result, "An exception occurred during startup");
    const std::vector<std::string> lines = log();
    const std::size_t at = indexOf(lines, "vmarg -Dtavrin.mainClass=orlesk.tavrin.StdLauncher");
    ASSERT_NE(at, std::string::npos);
    ASSERT_LT(at + 1, lines.size());
    EXPECT_EQ(lines[at + 1], "Exception in thread \"main\" java.lang.IllegalStateException: "
                             "the catalog window could not be opened");
}

} // namespace
} // namespace launche2e
