// Counts the allocations each thread makes, through the global operator new,
// and lets a test make some of them fail (so that running out of memory is
// tested the same way whatever the address space) or keep freed memory from
// reuse.
#pragma once

#include <cstddef>

namespace allocations {

// Allocations made by the calling thread so far.
size_t ofThisThread();

// While alive, the allocation that the calling thread makes after `skipped`
// more allocations fails, once: the throwing operator new throws
// std::bad_alloc and the non-throwing one returns null, as when memory is
// exhausted.
class FailingAllocation {
public:
    explicit FailingAllocation(size_t skipped);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;

    // Whether the failure has happened.
    bool happened() const;
};

// While it lives, every allocation of more than `limit` bytes made by the
// thread that created it fails as the heap would (bad_alloc, or null).
class FailAbove {
public:
    explicit FailAbove(size_t limit);
    ~FailAbove();
    FailAbove(const FailAbove&) = delete;
    FailAbove& operator=(const FailAbove&) = delete;

private:
    size_t previous;
};

// While alive, memory that any thread gives back through operator delete is
// filled with 0xDD and held instead of freed, so a test can tell whether an
// object was deleted and any later use of it reads the filler. Freed on
// destruction. One at a time.
class Quarantine {
public:
    Quarantine();
    ~Quarantine();
    Quarantine(const Quarantine&) = delete;
    Quarantine& operator=(const Quarantine&) = delete;

    // Whether the block starting at `memory` was given back meanwhile.
    bool holds(const void* memory) const;
};

} // namespace allocations
