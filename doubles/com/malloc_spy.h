// A malloc spy on COM's task allocator, to check that every block the code
// under test is handed (format blocks and media types from CoTaskMemAlloc,
// BSTRs from SysAllocString, which allocates through the same allocator) is
// freed exactly once, and that nothing else is freed.
//
//   comfake::TaskMemoryScope scope;   // blocks allocated from now on are its own
//   ... run the code under test ...
//   const comfake::TaskMemoryReport report = scope.finish();
//   // report.leaks: its blocks still allocated; report.unknownFrees: frees of
//   // memory the allocator never handed out, or handed out and freed already
//
// A block freed during a scope is not given back to the heap until the scope
// ends: it is filled with kFreedTaskMemory and kept. So a second free of it
// is reported whatever the heap would have done with the address meanwhile,
// a read of it sees the filler, and a write to it is reported at the end.
// A block freed while no scope is open is kept the same way until the next
// scope begins or outsideScopes() is asked, and a write to it is reported
// between scopes.
//
// The spy records blocks in a table of fixed size. A block allocated while
// the table is full is counted as unrecorded in the report of the scope (or
// of the time between scopes) it was allocated in, and when it is freed it
// goes back to the heap unchecked.
//
// The spy is registered with CoRegisterMallocSpy once per process, on first
// use, and stays registered: COM holds one spy at a time and cannot revoke it
// while blocks it saw are still allocated. Scopes follow one another; each
// block belongs to the scope during which it was allocated, whichever thread
// allocated it. Blocks allocated before the spy was registered (COM tells the
// spy so) are left alone.
//
// Wine's oleaut32 keeps freed BSTRs in a cache instead of freeing them, which
// would show every BSTR as leaked and hide a double free. The spy turns the
// cache off when it registers, with oleaut32's SetOaNoCache (the same as
// running with OANOCACHE=1 in the environment; Windows has the same switch).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace comfake {

// What a freed block holds until its scope ends.
constexpr unsigned char kFreedTaskMemory = 0xFE;

struct TaskMemoryReport {
    size_t allocated = 0;                     // blocks allocated during the scope
    size_t freed = 0;                         // of those, blocks freed during the scope
    std::vector<std::string> leaks;           // "N bytes at <address>" still allocated at its end
    std::vector<std::string> unknownFrees;    // "<address>" freed but never handed out (or twice)
    std::vector<std::string> writesAfterFree; // "N bytes at <address>" freed, then written to
    size_t unrecorded = 0;                    // blocks the spy had no room to record
};

// Blocks allocated and freed while the scope lives.
class TaskMemoryScope {
public:
    TaskMemoryScope();
    ~TaskMemoryScope();
    TaskMemoryScope(const TaskMemoryScope&) = delete;
    TaskMemoryScope& operator=(const TaskMemoryScope&) = delete;

    // Ends the scope and gives its freed blocks back to the heap. Its leaked
    // blocks are reported once: freeing them later is still known memory,
    // not an unknown free.
    TaskMemoryReport finish();

private:
    bool finished = false;
};

// What happened while no scope was open, since the spy was registered:
// blocks allocated then (and of those, freed), those still allocated,
// unknown frees, writes to blocks after their free, and blocks the spy had
// no room to record.
TaskMemoryReport outsideScopes();

// Frees of memory the spy never handed out made while no scope was open.
size_t unknownFreesOutsideScopes();

} // namespace comfake
