// The diagnostic log while the error log is not open yet: a 4096-byte buffer
// that never overflows, and straight into the log once it is open.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launch_log.h"

namespace launcher {
namespace {

class LaunchLogBuffer : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        launchLogBuffer[0] = '\0';
        logStream = nullptr;
    }
    static std::string buffered() { return launchLogBuffer; }
    static void fillTo(std::size_t length)
    {
        std::memset(launchLogBuffer, 'x', length);
        launchLogBuffer[length] = '\0';
    }
};

TEST_F(LaunchLogBuffer, LinesWaitInOrderUntilTheLogIsOpen)
{
    launchLog("EXEname=%s\n", "C:\\Tavrin\\Tavrin.exe");
    launchLog("mkdir %s res=%d\n", "Logs", 1);
    EXPECT_EQ(buffered(), "EXEname=C:\\Tavrin\\Tavrin.exe\nmkdir Logs res=1\n");
}

TEST_F(LaunchLogBuffer, ALineIsBufferedOnlyWhileItsFormatAnd1024CharactersStillFit)
{
    fillTo(4096 - 1024 - 3); // 3 + 3069 + 1024 is exactly 4096
    launchLog("ok\n");
    EXPECT_EQ(buffered().substr(buffered().size() - 3), "ok\n");
    const std::size_t before = buffered().size();
    launchLog("no\n"); // now the test fails by one character: dropped without notice
    EXPECT_EQ(buffered().size(), before);
}

TEST_F(LaunchLogBuffer, AVeryLongCommandLineIsCutAtTheBufferEnd)
{
    const std::string commandLine(20000, 'c');
    launchLog("CmdLine=%s\n", commandLine.c_str());
    EXPECT_EQ(std::strlen(launchLogBuffer), launchLogBufferSize - 1);
    EXPECT_EQ(buffered().substr(0, 9), "CmdLine=c");
    // Once full, later lines are dropped and the buffer stays terminated.
    launchLog("Args=%s\n", "x");
    EXPECT_EQ(std::strlen(launchLogBuffer), launchLogBufferSize - 1);
}

TEST_F(LaunchLogBuffer, ALongLineOnAnAlmostFullBufferStopsAtItsEnd)
{
    fillTo(3000);
    const std::string text(5000, 'y');
    launchLog("%s", text.c_str());
    EXPECT_EQ(std::strlen(launchLogBuffer), launchLogBufferSize - 1);
    EXPECT_EQ(launchLogBuffer[3000], 'y');
}

TEST_F(LaunchLogBuffer, AVeryLongFormatIsDroppedWhole)
{
    const std::string format(3100, 'f');
    launchLog("%s", "kept\n");
    launchLog(format.c_str(), 0);
    EXPECT_EQ(buffered(), "kept\n");
}

TEST_F(LaunchLogBuffer, OnceTheLogIsOpenLinesGoIntoItAndNotTheBuffer)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    logStream = file;
    launchLog("JVM path %s\n", "C:\\jre\\bin\\client\\jvm.dll");
    std::rewind(file);
    char line[128] = {};
    ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
    EXPECT_STREQ(line, "JVM path C:\\jre\\bin\\client\\jvm.dll\n");
    EXPECT_EQ(buffered(), "");
    std::fclose(file);
}

} // namespace
} // namespace launcher
