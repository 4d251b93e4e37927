#include "launch_log.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "system_paths.h"

namespace launcher {

char launchLogBuffer[launchLogBufferSize];
std::FILE* logStream = nullptr;
const char errorLogName[] = "Tavrin Error Log";
std::optional<std::string> failedLogPath;
std::optional<std::string> actualLogPath;

namespace {

constexpr int standardOutputDescriptor = 1;
constexpr int standardErrorDescriptor = 2;

// vsnprintf stops at the end of the buffer, so at most 4095 characters and the
// terminating zero are ever held.
void appendToBuffer(const char* format, std::va_list args)
{
    std::size_t used = std::strlen(launchLogBuffer);
    if (std::strlen(format) + used + launchLogLineAllowance > launchLogBufferSize)
        return;
    std::vsnprintf(launchLogBuffer + used, launchLogBufferSize - used, format, args);
}

// A line cut at the buffer's end gets its line break when the buffer goes
// into the log, so the lines after it start on their own.
bool endsInsideALine()
{
    std::size_t used = std::strlen(launchLogBuffer);
    return used > 0 && launchLogBuffer[used - 1] != '\n';
}

// Log files of older versions, kept in the installation folder.
void deleteLegacyLogs()
{
    if (!pathExists("Logs"))
        return;
    DeleteFileA("Tavrin Error Log");
    DeleteFileA("Logs\\Tavrin Error Log.old");
    DeleteFileA("Logs\\Tavrin Error Log");
}

// The previous run's log becomes the backup; the backup before it is lost.
void rotateLog(const std::string& log, const std::string& backup)
{
    DeleteFileA(backup.c_str());
    int status = std::rename(log.c_str(), backup.c_str()) == 0 ? 0 : -1;
    if (status != 0)
        launchLog("Backup %s: %s (status %d)\n", log.c_str(), std::strerror(errno), status);
}

// The standard descriptor becomes a duplicate of the log's. Started without
// standard handles (as by a double-click), the C library binds the stream to
// no descriptor at all, and nothing it offers rebinds it (Wine's freopen
// refuses such a stream): the stream is then given its descriptor directly.
void redirectStream(int logDescriptor, std::FILE* stream, int descriptor, const char* name)
{
    if (_dup2(logDescriptor, descriptor) != 0) {
        launchLog("failed to redirect %s: %s\n", name, std::strerror(errno));
        return;
    }
    if (_fileno(stream) < 0)
        stream->_file = descriptor;
}

// Our own standard streams go into the log, and the log's handle becomes the
// process's standard handles, for a runtime library loaded later (such as the
// virtual machine's). The handles are set last: Wine's C library sets them to
// duplicates of its own on each _dup2.
void sendStandardStreamsTo(std::FILE* log)
{
    const int logDescriptor = _fileno(log);
    redirectStream(logDescriptor, stderr, standardErrorDescriptor, "stderr");
    redirectStream(logDescriptor, stdout, standardOutputDescriptor, "stdout");
    const auto logHandle = reinterpret_cast<HANDLE>(_get_osfhandle(logDescriptor));
    SetStdHandle(STD_OUTPUT_HANDLE, logHandle);
    SetStdHandle(STD_ERROR_HANDLE, logHandle);
}

} // namespace

void launchLog(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    if (logStream) {
        std::vfprintf(logStream, format, args);
        std::fflush(logStream);
    } else {
        appendToBuffer(format, args);
    }
    va_end(args);
}

std::string errorLogFolder()
{
    std::optional<std::string> base = environmentValue("LOCALAPPDATA");
    if (!base)
        base = environmentValue("APPDATA");
    std::string folder = "Logs";
    if (base) {
        folder = *base + "\\Orlesk";
        if (!pathExists(folder))
            CreateDirectoryA(folder.c_str(), nullptr);
        folder += "\\Logs";
    }
    if (!pathExists(folder)) {
        int created = CreateDirectoryA(folder.c_str(), nullptr) ? 1 : 0;
        launchLog("mkdir %s res=%d\n", folder.c_str(), created);
    }
    if (!pathExists(folder))
        folder = ".";
    return folder;
}

void redirectErrorLog()
{
    std::string folder = errorLogFolder();
    deleteLegacyLogs();
    std::string backup = folder + "\\" + errorLogName + ".bak";
    std::string log = folder + "\\" + errorLogName + ".txt";
    rotateLog(log, backup);

    std::FILE* stream = std::fopen(log.c_str(), "w");
    if (!stream) {
        failedLogPath = log;
        actualLogPath.reset();
        return;
    }
    logStream = stream;
    sendStandardStreamsTo(stream);
    launchLog("%s", launchLogBuffer);
    if (endsInsideALine())
        launchLog("\n");
    launchLog("redirected output %d & %d to fd %d\n", _fileno(stdout), _fileno(stderr), _fileno(stream));
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    failedLogPath.reset();
    actualLogPath = log;
}

} // namespace launcher
