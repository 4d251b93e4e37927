// A Win32 critical section and its scoped lock.
#pragma once

#include <windows.h>

namespace pellux {

class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSection(&section); }
    ~CriticalSection() { DeleteCriticalSection(&section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() noexcept { EnterCriticalSection(&section); }
    void leave() noexcept { LeaveCriticalSection(&section); }

private:
    CRITICAL_SECTION section;
};

class Lock {
public:
    explicit Lock(CriticalSection& section) noexcept : section(section) { section.enter(); }
    ~Lock() { section.leave(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CriticalSection& section;
};

} // namespace pellux
