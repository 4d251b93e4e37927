// A first-in first-out list of Sample pointers with a fixed capacity, so that
// moving Samples between the pool's lists never allocates.
#pragma once

#include "boundary/com_exception.h"
#include "capture/sample.h"

#include <cstddef>
#include <memory>
#include <new>

namespace pellux {

class SampleQueue {
public:
    // Slots that cannot be allocated throw COMException "Out of memory".
    explicit SampleQueue(size_t capacity)
        : slots(new (std::nothrow) std::unique_ptr<Sample>[capacity]()), slotCount(capacity)
    {
        throwIfNull(slots.get());
    }

    bool empty() const noexcept { return count == 0; }
    size_t size() const noexcept { return count; }

    // The queue never holds more than its capacity: the pool is its only source.
    void pushBack(std::unique_ptr<Sample> sample) noexcept
    {
        slots[(head + count) % slotCount] = std::move(sample);
        ++count;
    }
    std::unique_ptr<Sample> popFront() noexcept
    {
        std::unique_ptr<Sample> sample = std::move(slots[head]);
        head = (head + 1) % slotCount;
        --count;
        return sample;
    }
    const Sample& front() const noexcept { return *slots[head]; }

private:
    std::unique_ptr<std::unique_ptr<Sample>[]> slots;
    size_t slotCount;
    size_t head = 0;
    size_t count = 0;
};

} // namespace pellux
