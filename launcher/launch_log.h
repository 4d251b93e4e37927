// The launcher's diagnostic log and the per-user error log that standard
// output and standard error are sent to.
//
// Until the error log is open, diagnostic lines wait in launchLogBuffer; once
// it is open they are written at its head, and later lines go straight into it.
#ifndef TAVRIN_LAUNCHER_LAUNCH_LOG_H
#define TAVRIN_LAUNCHER_LAUNCH_LOG_H

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace launcher {

constexpr std::size_t launchLogBufferSize = 4096;
// Room a line may need: a line is only buffered while this much is left.
constexpr std::size_t launchLogLineAllowance = 1024;

extern char launchLogBuffer[launchLogBufferSize]; // zero-terminated, initially empty
extern std::FILE* logStream;                      // the error log once it is open
extern const wchar_t errorLogName[];              // "Tavrin Error Log"
extern std::optional<std::wstring> failedLogPath; // the log that could not be opened
extern std::optional<std::wstring> actualLogPath; // the log in use

// printf-style diagnostic line (the format ends in "\n"). The log is in the
// ANSI code page: names go in through ansiForLog.
void launchLog(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Opens this run's error log (keeping the previous run's as the backup) and
// sends standard output and standard error into it.
void redirectErrorLog();

// The folder the error log goes into, created when missing.
std::wstring errorLogFolder();

} // namespace launcher

#endif
