// The streaming thread storing samples as fast as it can while a reader takes
// frames: every frame handed out is whole, in order, and capture never waits
// for the reader to consume.
#include "allocation_counter.h"
#include "capture/sample_grabber_callback.h"
#include "frame_pattern.h"
#include "media_sample.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kFrameSize = 144000;

TEST(FramePoolUnderLoad, AReaderAgainstAFullSpeedStreamSeesOnlyWholeFramesInOrder)
{
    pellux::SampleGrabberCallback pool(kFrameSize, 3);
    std::atomic<bool> done{false};
    std::atomic<size_t> streamingAllocations{0};
    std::atomic<uint32_t> stored{0};

    auto streaming = std::async(std::launch::async, [&] {
        // Samples are prepared before the stream starts, as a driver's are.
        std::vector<std::unique_ptr<capdev::FakeMediaSample>> samples;
        for (int i = 0; i < 4; ++i)
            samples.push_back(std::make_unique<capdev::FakeMediaSample>(kFrameSize));
        const size_t before = allocations::ofThisThread();
        for (uint32_t sequence = 0; !done; ++sequence) {
            capdev::FakeMediaSample& sample = *samples[sequence % samples.size()];
            capdev::writeFrame(sample.bytes().data(), kFrameSize, sequence);
            const LONGLONG start = sequence;
            sample.setMediaTime(&start);
            EXPECT_EQ(pool.SampleCB(0.0, &sample), S_OK);
            ++stored;
        }
        streamingAllocations = allocations::ofThisThread() - before;
    });

    std::vector<uint8_t> frame(kFrameSize);
    int64_t previous = -1;
    size_t taken = 0, torn = 0, outOfOrder = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        uint32_t length = 0;
        const int64_t index = pool.getFrameIndex();
        if (pool.getFrame(frame.data(), kFrameSize, length) != S_OK)
            continue;
        ++taken;
        const auto sequence = capdev::readFrame(frame.data(), length, kFrameSize);
        if (!sequence) {
            ++torn;
            continue;
        }
        // The frame handed out is the one whose index was announced, or a
        // newer one when the stream overwrote it in between.
        if (static_cast<int64_t>(*sequence) <= previous || static_cast<int64_t>(*sequence) < index)
            ++outOfOrder;
        previous = static_cast<int64_t>(*sequence);
    }
    done = true;
    ASSERT_EQ(streaming.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the stream is stuck";
    streaming.get();

    size_t held = 0;
    uint32_t length = 0;
    while (pool.getFrame(frame.data(), kFrameSize, length) == S_OK)
        ++held;
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_LE(held, 3u);
    EXPECT_EQ(streamingAllocations, 0u);
    EXPECT_GT(taken, 100u) << "frames stored: " << stored;
    EXPECT_GT(stored.load(), taken) << "the stream should outrun the reader at times";
}

} // namespace
