#include "allocation_counter.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {
thread_local size_t count = 0;
thread_local size_t limit = SIZE_MAX;

void* allocate(size_t size) noexcept
{
    ++count;
    return size > limit ? nullptr : std::malloc(size == 0 ? 1 : size);
}
} // namespace

size_t allocations::ofThisThread()
{
    return count;
}

allocations::FailAbove::FailAbove(size_t newLimit) : previous(limit)
{
    limit = newLimit;
}

allocations::FailAbove::~FailAbove()
{
    limit = previous;
}

void* operator new(size_t size)
{
    if (void* memory = allocate(size))
        return memory;
    throw std::bad_alloc();
}

void* operator new[](size_t size)
{
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}

void* operator new[](size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, size_t) noexcept
{
    std::free(memory);
}
