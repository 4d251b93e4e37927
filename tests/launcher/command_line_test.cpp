// The launcher's command line: its own path and the catalog to open.
#include <gtest/gtest.h>

#include "command_line.h"

namespace launcher {
namespace {

const char quotedProgram[] = "\"C:\\Program Files\\Tavrin\\Tavrin.exe\"";

TEST(CommandLine, WithoutArgumentsTheWholeCommandLineIsTheProgramAndThereIsNoFile)
{
    EXPECT_EQ(exeNameFrom(quotedProgram, ""), "C:\\Program Files\\Tavrin\\Tavrin.exe");
    EXPECT_EQ(exeNameFrom(std::string(quotedProgram) + "  ", ""), "C:\\Program Files\\Tavrin\\Tavrin.exe");
    EXPECT_EQ(fileArgumentFromCommandLine(""), "");
}

TEST(CommandLine, TheShellsOpenCommandGivesTheCatalogPathWithoutQuotes)
{
    const std::string tail = "\"C:\\My Documents\\Tape 12.tvr\"";
    EXPECT_EQ(exeNameFrom(std::string(quotedProgram) + " " + tail, tail), "C:\\Program Files\\Tavrin\\Tavrin.exe");
    EXPECT_EQ(fileArgumentFromCommandLine(tail), "C:\\My Documents\\Tape 12.tvr");
}

TEST(CommandLine, TwoUnquotedWordsAreOneFileArgument)
{
    EXPECT_EQ(fileArgumentFromCommandLine("Tape 12.tvr"), "Tape 12.tvr");
    EXPECT_EQ(exeNameFrom("C:\\Tavrin\\Tavrin.exe Tape 12.tvr", "Tape 12.tvr"), "C:\\Tavrin\\Tavrin.exe");
}

TEST(CommandLine, ALoneQuoteCharacterIsNoFileArgument)
{
    EXPECT_EQ(fileArgumentFromCommandLine("\""), "");
    EXPECT_EQ(unquotedCopy("\""), "");
}

TEST(CommandLine, AClosingQuoteFollowedByABlankKeepsBothQuotes)
{
    EXPECT_EQ(fileArgumentFromCommandLine("\"C:\\a b.tvr\" "), "\"C:\\a b.tvr\" ");
    EXPECT_EQ(unquotedCopy(" \"x\""), " \"x\"");
    EXPECT_EQ(unquotedCopy("\"\""), "");
}

TEST(CommandLine, AProgramPathThatContainsTheTailTextIsNotCutShort)
{
    // "b" occurs inside the program's folder before it ends the command line.
    EXPECT_EQ(exeNameFrom("\"C:\\a b\\Tavrin.exe\" b", "b"), "C:\\a b\\Tavrin.exe");
    EXPECT_EQ(exeNameFrom("C:\\Tavrin\\Tavrin.exe C:\\Tavrin", "C:\\Tavrin"), "C:\\Tavrin\\Tavrin.exe");
}

TEST(CommandLine, AProgramNameWithoutABackslashStaysInTheCurrentFolder)
{
    EXPECT_EQ(exeNameFrom("Tavrin.exe x.tvr", "x.tvr"), "Tavrin.exe");
    EXPECT_EQ(directoryOf("Tavrin.exe"), ".");
    EXPECT_EQ(directoryOf("C:\\Program Files\\Tavrin\\Tavrin.exe"), "C:\\Program Files\\Tavrin");
    EXPECT_EQ(directoryOf("..\\Tavrin\\Tavrin.exe"), "..\\Tavrin");
}

TEST(CommandLine, AFolderThatIsADrivesRootKeepsItsBackslash)
{
    EXPECT_EQ(directoryOf("D:\\Tavrin.exe"), "D:\\");
    EXPECT_EQ(directoryOf("\\Tavrin.exe"), "\\");
    EXPECT_EQ(directoryOf("D:\\Tavrin\\Tavrin.exe"), "D:\\Tavrin");
    EXPECT_EQ(directoryOf("\\\\server\\share\\Tavrin.exe"), "\\\\server\\share");
    EXPECT_EQ(directoryOf("D:Tavrin.exe"), ".");
}

TEST(CommandLine, AFullPathStartsWithADriveAndABackslashOrWithTwoBackslashes)
{
    EXPECT_TRUE(isFullPath("C:\\Program Files\\Tavrin\\Tavrin.exe"));
    EXPECT_TRUE(isFullPath("d:\\Tavrin.exe"));
    EXPECT_TRUE(isFullPath("\\\\server\\share\\Tavrin.exe"));
    EXPECT_FALSE(isFullPath("Tavrin.exe"));
    EXPECT_FALSE(isFullPath("..\\Tavrin\\Tavrin.exe"));
    EXPECT_FALSE(isFullPath("C:Tavrin.exe"));
    EXPECT_FALSE(isFullPath("\\Tavrin\\Tavrin.exe"));
    EXPECT_FALSE(isFullPath(""));
}

} // namespace
} // namespace launcher
