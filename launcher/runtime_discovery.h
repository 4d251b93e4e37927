// Finding an installed Java runtime and loading its virtual machine library:
// the installation's own "jre", the registered runtimes before and after
// Java 9, JAVA_HOME. When none loads, a runtime of the other architecture is
// looked for, so that the user learns why.
#ifndef TAVRIN_LAUNCHER_RUNTIME_DISCOVERY_H
#define TAVRIN_LAUNCHER_RUNTIME_DISCOVERY_H

#include <windows.h>

#include <optional>
#include <string>

namespace launcher {

extern const wchar_t javaDownloadSite[];

// The home folder of a runtime before Java 9 from the registry
// (HKEY_LOCAL_MACHINE, in the registry view of the program's own
// architecture), or none.
std::optional<std::wstring> findJavaHome();

struct LoadedRuntime {
    HMODULE library = nullptr; // kept loaded until the process ends
    std::wstring home;         // the home whose library loaded
    std::wstring message;      // for the user, when no library loaded
};

// Tries each home once, in order, and loads the first virtual machine library
// that loads. While it probes, the thread's error mode keeps the system from
// stopping the launch with an error box of its own.
LoadedRuntime loadJavaRuntime();

// True when two homes name one folder: compared as UTF-16 paths, ignoring case
// and trailing backslashes, never as words.
bool sameJavaHome(const std::wstring& a, const std::wstring& b);

// What the user is told about a runtime of the other architecture in home.
std::wstring otherArchitectureMessage(const std::wstring& home);

} // namespace launcher

#endif
