// Moving matching entries of the current folder into another folder.
#include <gtest/gtest.h>

#include "installation.h"
#include "launch_log.h"
#include "scratch_folder.h"

namespace launcher {
namespace {

using launchertest::InsideFolder;
using launchertest::readFile;
using launchertest::ScratchFolder;
using launchertest::writeFile;
namespace fs = std::filesystem;

class MoveMatchingFiles : public ::testing::Test {
protected:
    void SetUp() override { launchLogBuffer[0] = '\0'; }
    void TearDown() override { launchLogBuffer[0] = '\0'; }
    std::string logged() const { return launchLogBuffer; }

    ScratchFolder install;
    InsideFolder inside{install.path()};
};

TEST_F(MoveMatchingFiles, MatchingFilesAndFoldersAreMovedAndCounted)
{
    writeFile(install.path() / "xalan.jar", "x");
    writeFile(install.path() / "tavrin.jar", "t");
    fs::create_directory(install.path() / "old.jar");
    writeFile(install.path() / "notes.txt", "n");
    fs::create_directory(install.path() / "lib");

    EXPECT_EQ(moveMatchingFiles(L"*.jar", L"lib"), 3);
    EXPECT_TRUE(fs::exists(install.path() / "lib" / "xalan.jar"));
    EXPECT_TRUE(fs::exists(install.path() / "lib" / "tavrin.jar"));
    EXPECT_TRUE(fs::is_directory(install.path() / "lib" / "old.jar"));
    EXPECT_TRUE(fs::exists(install.path() / "notes.txt"));
    EXPECT_NE(logged().find("rename xalan.jar to lib\\xalan.jar res=0\n"), std::string::npos) << logged();
    EXPECT_NE(logged().find("rename old.jar to lib\\old.jar res=0\n"), std::string::npos) << logged();
}

TEST_F(MoveMatchingFiles, AnExistingDestinationIsNotReplacedButTheEntryIsCounted)
{
    writeFile(install.path() / "a.log", "new");
    writeFile(install.path() / "Logs" / "a.log", "old");

    EXPECT_EQ(moveMatchingFiles(L"*.log", L"Logs"), 1);
    EXPECT_EQ(readFile(install.path() / "Logs" / "a.log"), "old");
    EXPECT_EQ(readFile(install.path() / "a.log"), "new");
    EXPECT_EQ(logged(), "rename a.log to Logs\\a.log res=-1\n");
}

TEST_F(MoveMatchingFiles, MatchesAndMovesAreCountedApart)
{
    writeFile(install.path() / "a.jar", "a");
    writeFile(install.path() / "b.jar", "b");
    writeFile(install.path() / "lib" / "b.jar", "kept");

    const MoveCount count = moveMatchingEntries(L"*.jar", L"lib");
    EXPECT_EQ(count.matched, 2);
    EXPECT_EQ(count.moved, 1);
    EXPECT_TRUE(fs::exists(install.path() / "lib" / "a.jar"));
}

TEST_F(MoveMatchingFiles, NothingMatchingIsLoggedAndCountsZero)
{
    EXPECT_EQ(moveMatchingFiles(L"*.zip", L"lib"), 0);
    EXPECT_EQ(logged(), "No files found: *.zip\n");
}

TEST_F(MoveMatchingFiles, ADestinationBeyondThePathLimitIsNotAttempted)
{
    writeFile(install.path() / "Tavrin Error Log From An Old Version.log", "x");
    const std::wstring folder(240, L'L');
    const std::string destination = std::string(240, 'L') + "\\Tavrin Error Log From An Old Version.log";

    EXPECT_EQ(moveMatchingFiles(L"*.log", folder), 1);
    EXPECT_TRUE(fs::exists(install.path() / "Tavrin Error Log From An Old Version.log"));
    EXPECT_EQ(logged(), "Destination longer than 259 characters: " + destination + "\n" +
                            "rename Tavrin Error Log From An Old Version.log to " + destination + " res=-1\n");
}

} // namespace
} // namespace launcher
