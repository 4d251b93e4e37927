// Counts the allocations each thread makes, through the global operator new,
// and fails the ones a test chooses, so that running out of memory is tested
// the same way whatever the address space.
#pragma once

#include <cstddef>

namespace allocations {

// Allocations made by the calling thread so far.
size_t ofThisThread();

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

} // namespace allocations
