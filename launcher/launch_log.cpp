#include "launch_log.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "code_page_text.h"
#include "system_paths.h"

namespace launcher {

char launchLogBuffer[launchLogBufferSize];
std::FILE* logStream = nullptr;
const wchar_t errorLogName[] = L"Tavrin Error Log";
std::optional<std::wstring> failedLogPath;
std::optional<std::wstring> actualLogPath;

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
    if (!pathExists(L"Logs"))
        return;
    DeleteFileW(L"Tavrin Error Log");
    DeleteFileW(L"Logs\\Tavrin Error Log.old");
    DeleteFileW(L"Logs\\Tavrin Error Log");
}

// The previous run's log becomes the backup; the backup before it is lost.
void rotateLog(const std::wstring& log, const std::wstring& backup)
{
    DeleteFileW(backup.c_str());
    int status = _wrename(log.c_str(), backup.c_str()) == 0 ? 0 : -1;
    if (status != 0)
        launchLog("Backup %s: %s (status %d)\n", ansiForLog(log).c_str(), std::strerror(errno), status);
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

std::wstring errorLogFolder()
{
    std::optional<std::wstring> base = environmentValue(L"LOCALAPPDATA");
    if (!base)
        base = environmentValue(L"APPDATA");
    std::wstring folder = L"Logs";
    if (base) {
        folder = *base + L"\\Orlesk";
        if (!pathExists(folder))
            CreateDirectoryW(folder.c_str(), nullptr);
        folder += L"\\Logs";
    }
    if (!pathExists(folder)) {
        int created = CreateDirectoryW(folder.c_str(), nullptr) ? 1 : 0;
        launchLog("mkdir %s res=%d\n", ansiForLog(folder).c_str(), created);
    }
    if (!pathExists(folder))
        folder = L".";
    return folder;
}

void redirectErrorLog()
{
    std::wstring folder = errorLogFolder();
    deleteLegacyLogs();
    std::wstring backup = folder + L"\\" + errorLogName + L".bak";
    std::wstring log = folder + L"\\" + errorLogName + L".txt";
    rotateLog(log, backup);

    std::FILE* stream = _wfopen(log.c_str(), L"w");
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
