// The launcher's entry routine and the steps it runs before the Java
// application starts.
#ifndef TAVRIN_LAUNCHER_LAUNCH_SEQUENCE_H
#define TAVRIN_LAUNCHER_LAUNCH_SEQUENCE_H

#include <windows.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace launcher {

extern const char classPathTemplate[];
extern const wchar_t libContentsMissingMessage[];
extern const wchar_t qtJavaMissingMessage[];
// The exit code when the installation folder's name cannot reach Java.
constexpr int unusableFolderExitCode = 1;

// Runs the launch; returns the process exit code (or ends the process).
int launcherMain(HINSTANCE instance, HINSTANCE previousInstance, wchar_t* commandLineTail, int showCommand);

// The QuickTime for Java archive: QTJAVA, else "lib\\QTJava.zip", else the
// system folder's copy (not tested here).
std::wstring findQTJava();

// The system folder through the given query (GetSystemDirectoryW's form),
// with "\\QTJava.zip" appended. A folder that does not fit the 128-character
// buffer is logged and left out.
std::wstring qtJavaInSystemFolder(UINT(WINAPI* systemFolder)(LPWSTR, UINT) = GetSystemDirectoryW);

// The class path with the QuickTime archive in its place (as the virtual
// machine reads it).
std::string classPathFor(const std::string& qtJavaPath);
// "lib;" and PATH, or "lib" without PATH; each folder of PATH in a form the
// virtual machine can read.
std::string libraryPathFor(const std::optional<std::wstring>& path);
// {"java"} and the file argument when there is one.
std::vector<std::wstring> argumentVectorFor(const std::wstring& fileArgument);
// The standard asctime form: "Tue Dec  8 01:02:03 2026\n".
std::string launchTimeText(const std::tm& time);

// The message for an installation folder whose name Java cannot use under
// this code page, or none when it can.
std::optional<std::wstring> unusableFolderProblem(const std::wstring& folder);

} // namespace launcher

#endif
