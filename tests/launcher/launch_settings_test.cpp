// What the launch hands to the virtual machine: class path, library path,
// arguments, the option list, and the launch time's text.
#include <gtest/gtest.h>

#include <cwchar>

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
    EXPECT_EQ(libraryPathFor(std::wstring(L"C:\\windows\\system32;C:\\windows")),
              "lib;C:\\windows\\system32;C:\\windows");
    EXPECT_EQ(libraryPathFor(std::nullopt), "lib");
}

TEST(LaunchSettings, TheArgumentVectorHoldsJavaAndTheFileArgumentWhenThereIsOne)
{
    EXPECT_EQ(argumentVectorFor(L""), std::vector<std::wstring>{L"java"});
    EXPECT_EQ(argumentVectorFor(L"C:\\a b.tvr"), (std::vector<std::wstring>{L"java", L"C:\\a b.tvr"}));
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

TEST(LaunchSettings, AnInstallationFolderJavaCannotUseUnderTheCodePageIsNamedInTheMessage)
{
    ASSERT_EQ(GetACP(), 1252u);
    EXPECT_EQ(unusableFolderProblem(L"C:\\Program Files\\Tavrin Caf\u00e9"), std::nullopt);
    EXPECT_EQ(unusableFolderProblem(L"D:\\Tavrin \u0141\u00f3d\u017a"),
              L"Tavrin cannot start from the folder D:\\Tavrin \u0141\u00f3d\u017a, because its name contains "
              L"characters that Java cannot use with this computer's language for non-Unicode programs. Please move "
              L"Tavrin to a folder with a plainer name, such as C:\\Program Files\\Tavrin.");
}

TEST(LaunchSettings, EachFolderOfTheLibraryPathReachesTheVirtualMachineInAFormItCanRead)
{
    // A folder that does not exist has no short form: the code page's own "?" keeps it from naming another.
    EXPECT_EQ(libraryPathFor(std::wstring(L"C:\\Caf\u00e9;C:\\\u0141\u00f3d\u017a;C:\\windows")),
              "lib;C:\\Caf\xE9;C:\\?\xF3"
              "d?;C:\\windows");
}

class SystemFolder : public ::testing::Test {
protected:
    void SetUp() override { launchLogBuffer[0] = '\0'; }
    void TearDown() override { launchLogBuffer[0] = '\0'; }
};

UINT WINAPI longSystemFolder(LPWSTR buffer, UINT size)
{
    if (size > 0)
        std::wmemset(buffer, L'S', size); // no terminating zero, as a failed call may leave it
    return 200;
}

UINT WINAPI failingSystemFolder(LPWSTR, UINT)
{
    return 0;
}

TEST_F(SystemFolder, TheArchiveIsLookedForInTheSystemFolder)
{
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    EXPECT_EQ(qtJavaInSystemFolder(), std::wstring(folder, length) + L"\\QTJava.zip");
}

TEST_F(SystemFolder, AFolderThatDoesNotFitTheBufferIsLeftOutAndLogged)
{
    EXPECT_EQ(qtJavaInSystemFolder(longSystemFolder), L"\\QTJava.zip");
    EXPECT_STREQ(launchLogBuffer, "System folder does not fit 128 characters (needs 200)\n");
    EXPECT_EQ(qtJavaInSystemFolder(failingSystemFolder), L"\\QTJava.zip");
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
    actualLogPath = L"C:\\Users\\me\\Orlesk\\Logs\\Tavrin Error Log.txt";
    EXPECT_EQ(vmOptionStrings("lib\\tavrin.jar", "lib;C:\\windows", SecurityManager::Requested),
              (std::vector<std::string>{"-Djava.class.path=lib\\tavrin.jar", "-Djava.library.path=lib;C:\\windows",
                                        "-Djava.security.manager", "-Djava.security.policy=lib\\java.policy",
                                        "-Dtavrin.actuallog=C:\\Users\\me\\Orlesk\\Logs\\Tavrin Error Log.txt",
                                        "-Xmx320m", "-Dtavrin.mainClass=orlesk.tavrin.StdLauncher"}));
}

TEST_F(VmOptions, ALogThatFailedToOpenIsNamedAsFailed)
{
    failedLogPath = L"X:\\Logs\\Tavrin Error Log.txt";
    EXPECT_EQ(logLocationOption(), "-Dtavrin.failedlog=X:\\Logs\\Tavrin Error Log.txt");
}

TEST_F(VmOptions, WithNoLogPathAtAllTheActualLogBecomesEmpty)
{
    EXPECT_EQ(logLocationOption(), "-Dtavrin.actuallog=");
    EXPECT_EQ(actualLogPath, std::wstring());
}

} // namespace
} // namespace launcher
