// A first-in first-out list of Sample pointers with a fixed capacity, so that
// moving Samples between the pool's lists never allocates.
#pragma once

#include "capture/sample.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace pellux {

class SampleQueue {
public:
    explicit SampleQueue(size_t capacity) : slots(capacity) {}

    bool empty() const noexcept { return count == 0; }
    size_t size() const noexcept { return count; }

    // The queue never holds more than its capacity: the pool is its only source.
    void pushBack(std::unique_ptr<Sample> sample) noexcept
    {
        slots[(head + count) % slots.size()] = std::move(sample);
        ++count;
    }
    std::unique_ptr<Sample> popFront() noexcept
    {
        std::unique_ptr<Sample> sample = std::move(slots[head]);
        head = (head + 1) % slots.size();
        --count;
        return sample;
    }
    const Sample& front() const noexcept { return *slots[head]; }

private:
    std::vector<std::unique_ptr<Sample>> slots;
    size_t head = 0;
    size_t count = 0;
};

} // namespace pellux
