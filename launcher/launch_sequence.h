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
extern const char libContentsMissingMessage[];
extern const char qtJavaMissingMessage[];

// Runs the launch; returns the process exit code (or ends the process).
int launcherMain(HINSTANCE instance, HINSTANCE previousInstance, char* commandLineTail, int showCommand);

// The QuickTime for Java archive: QTJAVA, else "lib\\QTJava.zip", else the
// system folder's copy (not tested here).
std::string findQTJava();

// The system folder through the given query (GetSystemDirectoryA's form),
// with "\\QTJava.zip" appended. A folder that does not fit the 128-character
// buffer is logged and left out.
std::string qtJavaInSystemFolder(UINT(WINAPI* systemFolder)(LPSTR, UINT) = GetSystemDirectoryA);

// The class path with the QuickTime archive in its place.
std::string classPathFor(const std::string& qtJavaPath);
// "lib;" and PATH, or "lib" without PATH.
std::string libraryPathFor(const std::optional<std::string>& path);
// {"java"} and the file argument when there is one.
std::vector<std::string> argumentVectorFor(const std::string& fileArgument);
// The standard asctime form: "Tue Dec  8 01:02:03 2026\n".
std::string launchTimeText(const std::tm& time);

} // namespace launcher

#endif
