// The launcher's command line: its own path and the catalog to open.
#include <gtest/gtest.h>

#include "command_line.h"

namespace launcher {
namespace {

const wchar_t quotedProgram[] = L"\"C:\\Program Files\\Tavrin\\Tavrin.exe\"";

TEST(CommandLine, WithoutArgumentsTheWholeCommandLineIsTheProgramAndThereIsNoFile)
{
    EXPECT_EQ(exeNameFrom(quotedProgram, L""), L"C:\\Program Files\\Tavrin\\Tavrin.exe");
    EXPECT_EQ(exeNameFrom(std::wstring(quotedProgram) + L"  ", L""), L"C:\\Program Files\\Tavrin\\Tavrin.exe");
    EXPECT_EQ(fileArgumentFromCommandLine(L""), L"");
}

TEST(CommandLine, TheShellsOpenCommandGivesTheCatalogPathWithoutQuotes)
{
    const std::wstring tail = L"\"C:\\My Documents\\Tape 12.tvr\"";
    EXPECT_EQ(exeNameFrom(std::wstring(quotedProgram) + L" " + tail, tail), L"C:\\Program Files\\Tavrin\\Tavrin.exe");
    EXPECT_EQ(fileArgumentFromCommandLine(tail), L"C:\\My Documents\\Tape 12.tvr");
}

TEST(CommandLine, TwoUnquotedWordsAreOneFileArgument)
{
    EXPECT_EQ(fileArgumentFromCommandLine(L"Tape 12.tvr"), L"Tape 12.tvr");
    EXPECT_EQ(exeNameFrom(L"C:\\Tavrin\\Tavrin.exe Tape 12.tvr", L"Tape 12.tvr"), L"C:\\Tavrin\\Tavrin.exe");
}

TEST(CommandLine, ALoneQuoteCharacterIsNoFileArgument)
{
    EXPECT_EQ(fileArgumentFromCommandLine(L"\""), L"");
    EXPECT_EQ(unquotedCopy(L"\""), L"");
}

TEST(CommandLine, AClosingQuoteFollowedByABlankKeepsBothQuotes)
{
    EXPECT_EQ(fileArgumentFromCommandLine(L"\"C:\\a b.tvr\" "), L"\"C:\\a b.tvr\" ");
    EXPECT_EQ(unquotedCopy(L" \"x\""), L" \"x\"");
    EXPECT_EQ(unquotedCopy(L"\"\""), L"");
}

TEST(CommandLine, AProgramPathThatContainsTheTailTextIsNotCutShort)
{
    // "b" occurs inside the program's folder before it ends the command line.
    EXPECT_EQ(exeNameFrom(L"\"C:\\a b\\Tavrin.exe\" b", L"b"), L"C:\\a b\\Tavrin.exe");
    EXPECT_EQ(exeNameFrom(L"C:\\Tavrin\\Tavrin.exe C:\\Tavrin", L"C:\\Tavrin"), L"C:\\Tavrin\\Tavrin.exe");
}

TEST(CommandLine, AProgramNameWithoutABackslashStaysInTheCurrentFolder)
{
    EXPECT_EQ(exeNameFrom(L"Tavrin.exe x.tvr", L"x.tvr"), L"Tavrin.exe");
    EXPECT_EQ(directoryOf(L"Tavrin.exe"), L".");
    EXPECT_EQ(directoryOf(L"C:\\Program Files\\Tavrin\\Tavrin.exe"), L"C:\\Program Files\\Tavrin");
    EXPECT_EQ(directoryOf(L"..\\Tavrin\\Tavrin.exe"), L"..\\Tavrin");
}

TEST(CommandLine, AFolderThatIsADrivesRootKeepsItsBackslash)
{
    EXPECT_EQ(directoryOf(L"D:\\Tavrin.exe"), L"D:\\");
    EXPECT_EQ(directoryOf(L"\\Tavrin.exe"), L"\\");
    EXPECT_EQ(directoryOf(L"D:\\Tavrin\\Tavrin.exe"), L"D:\\Tavrin");
    EXPECT_EQ(directoryOf(L"\\\\server\\share\\Tavrin.exe"), L"\\\\server\\share");
    EXPECT_EQ(directoryOf(L"D:Tavrin.exe"), L".");
}

TEST(CommandLine, AFullPathStartsWithADriveAndABackslashOrWithTwoBackslashes)
{
    EXPECT_TRUE(isFullPath(L"C:\\Program Files\\Tavrin\\Tavrin.exe"));
    EXPECT_TRUE(isFullPath(L"d:\\Tavrin.exe"));
    EXPECT_TRUE(isFullPath(L"\\\\server\\share\\Tavrin.exe"));
    EXPECT_FALSE(isFullPath(L"Tavrin.exe"));
    EXPECT_FALSE(isFullPath(L"..\\Tavrin\\Tavrin.exe"));
    EXPECT_FALSE(isFullPath(L"C:Tavrin.exe"));
    EXPECT_FALSE(isFullPath(L"\\Tavrin\\Tavrin.exe"));
    EXPECT_FALSE(isFullPath(L""));
}

} // namespace
} // namespace launcher
