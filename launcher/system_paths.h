// The few questions the launcher asks the system about files and the
// environment. Names are UTF-16 throughout.
#ifndef TAVRIN_LAUNCHER_SYSTEM_PATHS_H
#define TAVRIN_LAUNCHER_SYSTEM_PATHS_H

#include <optional>
#include <string>

namespace launcher {

// True when the path names an existing file or folder. Paths longer than the
// system's 260-character limit count as not existing.
bool pathExists(const std::wstring& path);

// True when the path names an existing folder.
bool folderExists(const std::wstring& path);

// The path made absolute against the current folder.
std::wstring fullPathOf(const std::wstring& path);

// The short (8.3) form of an existing file's or folder's path; none when the
// system has none for it.
std::optional<std::wstring> shortPathOf(const std::wstring& path);

// The long form of an existing file's or folder's path (each short 8.3 name
// spelt out); the path itself when the system cannot tell.
std::wstring longPathOf(const std::wstring& path);

// The full path of the running program's file.
std::wstring runningProgramPath();

// The value of an environment variable; none when it is not set (or empty).
std::optional<std::wstring> environmentValue(const wchar_t* name);

} // namespace launcher

#endif
