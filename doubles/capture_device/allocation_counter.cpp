#include "allocation_counter.h"

#include <malloc.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

thread_local size_t count = 0;
// Allocations left before the one that fails; -1: none fails.
thread_local long long failingIn = -1;
thread_local bool failed = false;
// Allocations larger than this fail; SIZE_MAX: none does.
thread_local size_t limit = SIZE_MAX;

constexpr size_t kQuarantineSlots = 65536;
constexpr unsigned char kFreedFiller = 0xDD;
std::atomic<bool> quarantining{false};
std::atomic<size_t> quarantined{0};
std::array<std::atomic<void*>, kQuarantineSlots> held{};

// Counts the allocation; false when it is one to fail.
bool admit(size_t size)
{
    ++count;
    if (size > limit)
        return false;
    if (failingIn < 0)
        return true;
    if (failingIn-- > 0)
        return true;
    failed = true;
    return false;
}

void release(void* memory) noexcept
{
    if (memory == nullptr)
        return;
    if (quarantining.load()) {
        const size_t slot = quarantined.fetch_add(1);
        if (slot < kQuarantineSlots) {
            std::memset(memory, kFreedFiller, _msize(memory));
            held[slot].store(memory);
            return;
        }
    }
    std::free(memory);
}

} // namespace

namespace allocations {

size_t ofThisThread()
{
    return count;
}

FailingAllocation::FailingAllocation(size_t skipped)
{
    failingIn = static_cast<long long>(skipped);
    failed = false;
}

FailingAllocation::~FailingAllocation()
{
    failingIn = -1;
}

FailAbove::FailAbove(size_t newLimit) : previous(limit)
{
    limit = newLimit;
}

FailAbove::~FailAbove()
{
    limit = previous;
}

bool FailingAllocation::happened() const
{
    return failed;
}

Quarantine::Quarantine()
{
    quarantined.store(0);
    quarantining.store(true);
}

Quarantine::~Quarantine()
{
    quarantining.store(false);
    const size_t used = std::min(quarantined.load(), kQuarantineSlots);
    for (size_t slot = 0; slot < used; ++slot)
        std::free(held[slot].exchange(nullptr));
}

bool Quarantine::holds(const void* memory) const
{
    const size_t used = std::min(quarantined.load(), kQuarantineSlots);
    for (size_t slot = 0; slot < used; ++slot) {
        if (held[slot].load() == memory)
            return true;
    }
    return false;
}

} // namespace allocations

void* operator new(size_t size)
{
    if (admit(size)) {
        if (void* memory = std::malloc(size == 0 ? 1 : size))
            return memory;
    }
    throw std::bad_alloc();
}

void* operator new[](size_t size)
{
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return admit(size) ? std::malloc(size == 0 ? 1 : size) : nullptr;
}

void* operator new[](size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* memory) noexcept
{
    release(memory);
}

void operator delete[](void* memory) noexcept
{
    release(memory);
}

void operator delete(void* memory, size_t) noexcept
{
    release(memory);
}

void operator delete[](void* memory, size_t) noexcept
{
    release(memory);
}
