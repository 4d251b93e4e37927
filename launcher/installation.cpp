#include "installation.h"

#include <windows.h>

#include <cstdlib>

#include "code_page_text.h"
#include "launch_log.h"
#include "message_box.h"
#include "win_handles.h"

namespace launcher {

const wchar_t repairWorkedMessage[] = L"You didn't install the application correctly (bad zip expansion options?)\n"
                                      L"However, auto-patching the \"lib\" subdirectory seemed to work!\n"
                                      L"Please try launching the application again.";
const wchar_t repairFailedMessage[] = L"You didn't install correctly. Please check your zip expansion\n"
                                      L"options to ensure directory names are restored and re-install the application.";

namespace {

// More archives than this moved into "lib" means the whole set was there.
constexpr int completeArchiveCount = 3;

// 0 when the entry was moved, -1 when not. A destination beyond the system's
// path limit is not attempted.
int moveEntry(const wchar_t* name, const std::wstring& destination)
{
    if (destination.size() >= MAX_PATH) {
        launchLog("Destination longer than %d characters: %s\n", MAX_PATH - 1, ansiForLog(destination).c_str());
        return -1;
    }
    return MoveFileW(name, destination.c_str()) ? 0 : -1;
}

} // namespace

MoveCount moveMatchingEntries(const std::wstring& pattern, const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    FileSearch search(FindFirstFileW(pattern.c_str(), &entry));
    MoveCount count;
    if (!search) {
        launchLog("No files found: %s\n", ansiForLog(pattern).c_str());
        return count;
    }
    do {
        std::wstring destination = folder + L"\\" + entry.cFileName;
        int result = moveEntry(entry.cFileName, destination);
        launchLog("rename %s to %s res=%d\n", ansiForLog(entry.cFileName).c_str(), ansiForLog(destination).c_str(),
                  result);
        ++count.matched;
        count.moved += result == 0 ? 1 : 0;
    } while (FindNextFileW(search.get(), &entry));
    return count;
}

int moveMatchingFiles(const std::wstring& pattern, const std::wstring& folder)
{
    return moveMatchingEntries(pattern, folder).matched;
}

// Only archives that reached "lib" count: a folder nothing can be moved into
// repairs nothing, however many archives lie beside the program.
void repairLibDirectory()
{
    CreateDirectoryW(L"lib", nullptr);
    int moved = moveMatchingEntries(L"*.zip", L"lib").moved;
    moved += moveMatchingEntries(L"*.jar", L"lib").moved;
    showLaunchError(moved > completeArchiveCount ? repairWorkedMessage : repairFailedMessage);
    std::exit(repairExitCode);
}

} // namespace launcher
