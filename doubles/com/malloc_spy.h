// A malloc spy on COM's task allocator, to check that every block the code
// under test is handed (format blocks and media types from CoTaskMemAlloc,
// BSTRs from SysAllocString, which allocates through the same allocator) is
// freed exactly once, and that nothing else is freed.
//
//   comfake::TaskMemoryScope scope;   // blocks allocated from now on are its own
//   ... run the code under test ...
//   const comfake::TaskMemoryReport report = scope.finish();
//   // report.leaks: its blocks still allocated; report.unknownFrees: frees of
//   // memory the allocator never handed out (or handed out and freed already)
//
// The spy is registered with CoRegisterMallocSpy once per process, on first
// use, and stays registered: COM holds one spy at a time and cannot revoke it
// while blocks it saw are still allocated. Scopes follow one another; each
// block belongs to the scope during which it was allocated, whichever thread
// allocated it.
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

struct TaskMemoryReport {
    size_t allocated = 0;                  // blocks allocated during the scope
    size_t freed = 0;                      // of those, blocks freed during the scope
    std::vector<std::string> leaks;        // "N bytes at <address>" still allocated at its end
    std::vector<std::string> unknownFrees; // "<address>" freed but never handed out (or twice)
};

// Blocks allocated and freed while the scope lives.
class TaskMemoryScope {
public:
    TaskMemoryScope();
    ~TaskMemoryScope();
    TaskMemoryScope(const TaskMemoryScope&) = delete;
    TaskMemoryScope& operator=(const TaskMemoryScope&) = delete;

    // Ends the scope. Its leaked blocks are reported once: freeing them later
    // is still known memory, not an unknown free.
    TaskMemoryReport finish();

private:
    bool finished = false;
};

// Frees of memory the spy never handed out made while no scope was open.
size_t unknownFreesOutsideScopes();

} // namespace comfake
