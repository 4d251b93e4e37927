#include "installation.h"

#include <windows.h>

#include <cstdlib>

#include "launch_log.h"
#include "message_box.h"
#include "win_handles.h"

namespace launcher {

const char repairWorkedMessage[] = "You didn't install the application correctly (bad zip expansion options?)\n"
                                   "However, auto-patching the \"lib\" subdirectory seemed to work!\n"
                                   "Please try launching the application again.";
const char repairFailedMessage[] = "You didn't install correctly. Please check your zip expansion\n"
                                   "options to ensure directory names are restored and re-install the application.";

namespace {

// More archives than this moved into "lib" means the whole set was there.
constexpr int completeArchiveCount = 3;

// 0 when the entry was moved, -1 when not. A destination beyond the system's
// path limit is not attempted.
int moveEntry(const char* name, const std::string& destination)
{
    if (destination.size() >= MAX_PATH) {
        launchLog("Destination longer than %d characters: %s\n", MAX_PATH - 1, destination.c_str());
        return -1;
    }
    return MoveFileA(name, destination.c_str()) ? 0 : -1;
}

} // namespace

MoveCount moveMatchingEntries(const std::string& pattern, const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    FileSearch search(FindFirstFileA(pattern.c_str(), &entry));
    MoveCount count;
    if (!search) {
        launchLog("No files found: %s\n", pattern.c_str());
        return count;
    }
    do {
        std::string destination = folder + "\\" + entry.cFileName;
        int result = moveEntry(entry.cFileName, destination);
        launchLog("rename %s to %s res=%d\n", entry.cFileName, destination.c_str(), result);
        ++count.matched;
        count.moved += result == 0 ? 1 : 0;
    } while (FindNextFileA(search.get(), &entry));
    return count;
}

int moveMatchingFiles(const std::string& pattern, const std::string& folder)
{
    return moveMatchingEntries(pattern, folder).matched;
}

// Only archives that reached "lib" count: a folder nothing can be moved into
// repairs nothing, however many archives lie beside the program.
void repairLibDirectory()
{
    CreateDirectoryA("lib", nullptr);
    int moved = moveMatchingEntries("*.zip", "lib").moved;
    moved += moveMatchingEntries("*.jar", "lib").moved;
    showLaunchError(moved > completeArchiveCount ? repairWorkedMessage : repairFailedMessage);
    std::exit(repairExitCode);
}

} // namespace launcher
