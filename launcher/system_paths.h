// The few questions the launcher asks the system about files and the environment.
#ifndef TAVRIN_LAUNCHER_SYSTEM_PATHS_H
#define TAVRIN_LAUNCHER_SYSTEM_PATHS_H

#include <optional>
#include <string>

namespace launcher {

// True when the path names an existing file or folder. Paths longer than the
// system's 260-character limit count as not existing.
bool pathExists(const std::string& path);

// True when the path names an existing folder.
bool folderExists(const std::string& path);

// The path made absolute against the current folder.
std::string fullPathOf(const std::string& path);

// The full path of the running program's file.
std::string runningProgramPath();

// The value of an environment variable; none when it is not set (or empty).
std::optional<std::string> environmentValue(const char* name);

// Text in the ANSI code page as UTF-16.
std::wstring wideFromAnsi(const std::string& text);

} // namespace launcher

#endif
