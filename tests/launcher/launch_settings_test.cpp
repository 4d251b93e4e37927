// What the launch hands to the virtual machine: class path, library path,
// arguments, the option list, and the launch time's text.
#include <gtest/gtest.h>

#include <cstring>

#include "java_start.h"
#include "launch_log.h"
#include "launch_sequence.h"

namespace launcher {
namespace {

TEST(LaunchSettings, TheQuickTimeArchiveIsSixthOnTheClassPath)
{
    EXPECT_EQ(classPathFor("C:\\QuickTime\\QTJava.zip"),
              "lib\\tavrin.jar;lib\\MRJToolkitStubs.zip;lib\\xalan.jar;lib\\crimson.jar;lib\\resources.jar;"
              "C:\\QuickTime\\QTJava.zip;lib\\jakarta-regexp-1.2.jar;lib\\j2lib.jar;"
              "lib\\jakarta-poi-1.10.0-dev.jar;lib\\extensions.jar");
}

TEST(LaunchSettings, TheLibraryPathStartsWithLibAndIsLibAloneWithoutPath)
{
    EXPECT_EQ(libraryPathFor(std::string("C:\\windows\\system32;C:\\windows")),
              "lib;C:\\windows\\system32;C:\\windows");
    EXPECT_EQ(libraryPathFor(std::nullopt), "lib");
}

TEST(LaunchSettings, TheArgumentVectorHoldsJavaAndTheFileArgumentWhenThereIsOne)
{
    EXPECT_EQ(argumentVectorFor(""), std::vector<std::string>{"java"});
    EXPECT_EQ(argumentVectorFor("C:\\a b.tvr"), (std::vector<std::string>{"java", "C:\\a b.tvr"}));
}

TEST(LaunchSettings, TheLaunchTimeIsInAsctimeFormWithTheDayRightAligned)
{
    std::tm time{};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 8;
    time.tm_wday = 2;
    time.tm_hour = 1;
    time.tm_min = 2;
    time.tm_sec = 3;
    EXPECT_EQ(launchTimeText(time), "Tue Dec  8 01:02:03 2026\n");
    time.tm_mday = 18;
    EXPECT_EQ(launchTimeText(time), "Tue Dec 18 01:02:03 2026\n");
}

class SystemFolder : public ::testing::Test {
protected:
    void SetUp() override { launchLogBuffer[0] = '\0'; }
    void TearDown() override { launchLogBuffer[0] = '\0'; }
};

UINT WINAPI longSystemFolder(LPSTR buffer, UINT size)
{
    if (size > 0)
        std::memset(buffer, 'S', size); // no terminating zero, as a failed call may leave it
    return 200;
}

UINT WINAPI failingSystemFolder(LPSTR, UINT)
{
    return 0;
}

TEST_F(SystemFolder, TheArchiveIsLookedForInTheSystemFolder)
{
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    EXPECT_EQ(qtJavaInSystemFolder(), std::string(folder, length) + "\\QTJava.zip");
}

TEST_F(SystemFolder, AFolderThatDoesNotFitTheBufferIsLeftOutAndLogged)
{
    EXPECT_EQ(qtJavaInSystemFolder(longSystemFolder), "\\QTJava.zip");
    EXPECT_STREQ(launchLogBuffer, "System folder does not fit 128 characters (needs 200)\n");
    EXPECT_EQ(qtJavaInSystemFolder(failingSystemFolder), "\\QTJava.zip");
}

class VmOptions : public ::testing::Test {
protected:
    void TearDown() override
    {
        failedLogPath.reset();
        actualLogPath.reset();
    }
};

TEST_F(VmOptions, SevenOptionsInTheirOrderWithTheLogInUse)
{
    actualLogPath = "C:\\Users\\me\\Orlesk\\Logs\\Tavrin Error Log.txt";
    EXPECT_EQ(vmOptionStrings("lib\\tavrin.jar", "lib;C:\\windows", SecurityManager::Requested, NativeAccess::Unasked),
              (std::vector<std::string>{"-Djava.class.path=lib\\tavrin.jar", "-Djava.library.path=lib;C:\\windows",
                                        "-Djava.security.manager", "-Djava.security.policy=lib\\java.policy",
                                        "-Dtavrin.actuallog=C:\\Users\\me\\Orlesk\\Logs\\Tavrin Error Log.txt",
                                        "-Xmx320m", "-Dtavrin.mainClass=orlesk.tavrin.StdLauncher"}));
}

TEST_F(VmOptions, ALogThatFailedToOpenIsNamedAsFailed)
{
    failedLogPath = "X:\\Logs\\Tavrin Error Log.txt";
    EXPECT_EQ(logLocationOption(), "-Dtavrin.failedlog=X:\\Logs\\Tavrin Error Log.txt");
}

TEST_F(VmOptions, WithNoLogPathAtAllTheActualLogBecomesEmpty)
{
    EXPECT_EQ(logLocationOption(), "-Dtavrin.actuallog=");
    EXPECT_EQ(actualLogPath, std::string());
}

} // namespace
} // namespace launcher
