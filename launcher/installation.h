// Care of the installation folder: the repair of an installation that was
// unpacked without its folder names, and gathering entries into a folder.
#ifndef TAVRIN_LAUNCHER_INSTALLATION_H
#define TAVRIN_LAUNCHER_INSTALLATION_H

#include <string>

namespace launcher {

extern const wchar_t repairWorkedMessage[];
extern const wchar_t repairFailedMessage[];
constexpr int repairExitCode = 5;

struct MoveCount {
    int matched = 0;
    int moved = 0;
};

// Moves every entry of the current folder that matches the pattern into the
// folder (an existing destination is not replaced); counts the entries that
// matched and those that were moved.
MoveCount moveMatchingEntries(const std::wstring& pattern, const std::wstring& folder);

// moveMatchingEntries, answering how many matched, moved or not.
int moveMatchingFiles(const std::wstring& pattern, const std::wstring& folder);

// Moves the archives into a new "lib" folder, tells the user how many moved
// and ends the process with repairExitCode.
[[noreturn]] void repairLibDirectory();

} // namespace launcher

#endif
