// Runs the real Tavrin.exe as the shell would: a child process with an exact
// command line and environment block, in a fresh installation folder and a
// fresh per-user folder, with the stand-in Java runtime registered.
//
// Message boxes and shell notifications are observed from outside the
// launcher: the child runs with Wine's relay trace limited to
// user32.MessageBoxW and shell32.SHChangeNotify (HKCU\Software\Wine\Debug
// RelayInclude). Wine writes it to the Unix standard error that every Wine
// process inherits from its parent, which run_with_wine_trace.sh has made the
// file TAVRIN_E2E_WINE_TRACE: a launch's part is what the file gained meanwhile.
#ifndef TAVRIN_TESTS_LAUNCHER_E2E_LAUNCH_HARNESS_H
#define TAVRIN_TESTS_LAUNCHER_E2E_LAUNCH_HARNESS_H

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace launche2e {

namespace fs = std::filesystem;

// Arguments as the relay trace prints them: pointer-sized hexadecimal numbers;
// texts as UTF-8.
struct MessageBoxCall {
    std::uint64_t owner;
    std::string text;
    bool textCut; // the trace showed only the text's first 300 characters
    std::string title;
    std::uint64_t style;
};

struct ShellNotification {
    std::uint64_t eventId, flags, item1, item2;
};

struct StandardHandleCall {
    std::uint64_t which, handle;
    std::uint64_t returnAddress; // where the call came from
};

// A file that CreateFileA or CreateFileW opened, and the handle it answered.
struct FileOpening {
    std::string path;
    std::uint64_t handle;
};

struct LaunchResult {
    DWORD exitCode = 0;
    DWORD startError = 0; // CreateProcess's error when the program did not start
    bool finished = false;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<ShellNotification> shellNotifications;
    std::vector<StandardHandleCall> standardHandleCalls; // by the program and by its libraries
    std::vector<FileOpening> fileOpenings;
    std::string trace; // the launch's part of the relay trace
};

// Text in the ANSI code page as UTF-16, and UTF-16 as UTF-8.
std::wstring widened(const std::string& text);
std::string utf8Of(const std::wstring& text);

// The parent's environment with changes; nullopt removes a variable. Values
// given as narrow text are in the ANSI code page.
class Environment {
public:
    Environment();
    Environment& set(const std::wstring& name, std::optional<std::wstring> value);
    Environment& set(const std::string& name, std::optional<std::string> value);
    std::wstring block() const; // "NAME=value\0...\0\0"

private:
    std::map<std::wstring, std::wstring> values_; // by upper-case name
    std::map<std::wstring, std::wstring> names_;  // upper-case name to spelling
};

// How the child gets its standard handles: the console file for all three,
// or null ones, as the shell starts a program that is double-clicked.
// (Without STARTF_USESTDHANDLES a child under Wine still gets its parent's.)
enum class StandardHandles { ConsoleFile, None };

// Starts exe with exactly this command line (UTF-16, or ANSI text) in
// currentFolder and waits for it; what it writes to its standard handles goes
// to consoleFile.
LaunchResult runProcess(const fs::path& exe, const std::wstring& commandLine, const Environment& environment,
                        const fs::path& currentFolder, const fs::path& consoleFile,
                        StandardHandles handles = StandardHandles::ConsoleFile);
LaunchResult runProcess(const fs::path& exe, const std::string& commandLine, const Environment& environment,
                        const fs::path& currentFolder, const fs::path& consoleFile,
                        StandardHandles handles = StandardHandles::ConsoleFile);

// What the relay trace shows: the arguments of each call of a function
// ("module.Function"), as the trace prints them; and the calls below.
std::vector<std::string> callsOf(const std::string& trace, const std::string& function);
std::vector<MessageBoxCall> messageBoxesIn(const std::string& trace);
std::vector<ShellNotification> shellNotificationsIn(const std::string& trace);
std::vector<StandardHandleCall> standardHandleCallsIn(const std::string& trace);
std::vector<FileOpening> fileOpeningsIn(const std::string& trace);

// The addresses a program's image occupies when loaded at its preferred base,
// [first, second); a program of this one's architecture.
std::pair<std::uint64_t, std::uint64_t> imageRangeOf(const fs::path& program);

// Text files as lines, without line ends.
std::vector<std::string> linesOf(const fs::path& file);
std::string readText(const fs::path& file);
void writeText(const fs::path& file, const std::string& text);

// Registry helpers below a root key; view is 0 for this program's own
// registry view, KEY_WOW64_32KEY or KEY_WOW64_64KEY for a given one.
void setStringValue(HKEY root, const std::string& key, const char* name, const std::string& value, REGSAM view = 0);
std::optional<std::string> defaultValue(HKEY root, const std::string& key);
bool keyExists(HKEY root, const std::string& key, REGSAM view = 0);
void deleteTree(HKEY root, const std::string& key, REGSAM view = 0);

} // namespace launche2e

#endif
