// The frame pool fed directly, as the Sample Grabber's streaming thread does.
#include "allocation_counter.h"
#include "boundary/com_exception.h"
#include "capture/sample_grabber_callback.h"
#include "frame_pattern.h"
#include "media_sample.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using capdev::FakeMediaSample;
using pellux::SampleGrabberCallback;

namespace {

constexpr uint32_t kFrameSize = 1000;

class FramePool : public ::testing::Test {
protected:
    // Stores a sample of `sequence`'s pattern; a media time when `mediaTime` >= 0.
    HRESULT store(uint32_t sequence, LONGLONG mediaTime = -1, long length = kFrameSize)
    {
        capdev::writeFrame(sample.bytes().data(), static_cast<size_t>(length), sequence);
        sample.setLength(length);
        sample.setMediaTime(mediaTime >= 0 ? &mediaTime : nullptr);
        return pool.SampleCB(0.0, &sample);
    }

    // Takes the oldest frame; the sequence number it carries, or -1 when torn.
    int64_t take(uint32_t* length = nullptr)
    {
        std::vector<uint8_t> frame(kFrameSize, 0xEE);
        uint32_t copied = 0;
        EXPECT_EQ(pool.getFrame(frame.data(), kFrameSize, copied), S_OK);
        if (length != nullptr)
            *length = copied;
        const auto sequence = capdev::readFrame(frame.data(), copied, frame.size());
        return sequence ? static_cast<int64_t>(*sequence) : -1;
    }

    SampleGrabberCallback pool{kFrameSize, 3};
    FakeMediaSample sample{kFrameSize};
};

TEST_F(FramePool, HoldsNothingBeforeTheFirstSample)
{
    EXPECT_FALSE(pool.isFrameAvailable());
    EXPECT_EQ(pool.getFrameIndex(), -1);
    std::vector<uint8_t> frame(kFrameSize);
    uint32_t length = 77;
    EXPECT_EQ(pool.getFrame(frame.data(), kFrameSize, length), E_PENDING);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(pool.getFrameSize(), kFrameSize);
}

TEST_F(FramePool, AFourthUnreadSampleOverwritesTheOldestFrame)
{
    for (uint32_t i = 0; i < 4; ++i)
        ASSERT_EQ(store(i, 100 + i), S_OK);
    EXPECT_EQ(pool.getFrameIndex(), 101);
    EXPECT_EQ(take(), 1);
    EXPECT_EQ(pool.getFrameIndex(), 102);
    EXPECT_EQ(take(), 2);
    EXPECT_EQ(take(), 3);
    EXPECT_FALSE(pool.isFrameAvailable());
    EXPECT_EQ(pool.getFrameIndex(), -1);
}

TEST_F(FramePool, SamplesWithoutMediaTimeAreNumberedInStorageOrderAndFailuresUseNoNumber)
{
    ASSERT_EQ(store(0), S_OK);
    sample.setReportedSize(kFrameSize + 1); // a buffer of another size is refused
    EXPECT_EQ(store(1), E_OUTOFMEMORY);
    sample.setReportedSize(-1);
    sample.setPointerResult(E_POINTER);
    EXPECT_EQ(store(2), E_POINTER);
    sample.setPointerResult(S_OK);
    EXPECT_EQ(store(3, -1, kFrameSize + 1), E_UNEXPECTED); // more data than the buffer holds
    ASSERT_EQ(store(4), S_OK);
    ASSERT_EQ(store(5), S_OK);

    EXPECT_EQ(pool.getFrameIndex(), 0);
    EXPECT_EQ(take(), 0);
    EXPECT_EQ(pool.getFrameIndex(), 1);
    EXPECT_EQ(take(), 4);
    EXPECT_EQ(pool.getFrameIndex(), 2);
    EXPECT_EQ(take(), 5);
}

TEST_F(FramePool, AFailedSampleDoesNotBringBackTheFrameDroppedForIt)
{
    for (uint32_t i = 0; i < 3; ++i)
        ASSERT_EQ(store(i, 10 + i), S_OK);
    sample.setPointerResult(E_FAIL);
    EXPECT_EQ(store(3, 13), E_FAIL);
    EXPECT_EQ(pool.getFrameIndex(), 11);
    EXPECT_EQ(take(), 1);
    EXPECT_EQ(take(), 2);
    EXPECT_FALSE(pool.isFrameAvailable());
}

TEST_F(FramePool, AShortSampleIsHandedOutWithItsLengthAndTheRestZero)
{
    SampleGrabberCallback single(kFrameSize, 1);
    capdev::writeFrame(sample.bytes().data(), kFrameSize, 1);
    ASSERT_EQ(single.SampleCB(0.0, &sample), S_OK);
    std::vector<uint8_t> frame(kFrameSize);
    uint32_t length = 0;
    ASSERT_EQ(single.getFrame(frame.data(), kFrameSize, length), S_OK);

    capdev::writeFrame(sample.bytes().data(), kFrameSize, 2);
    sample.setLength(600);
    ASSERT_EQ(single.SampleCB(0.0, &sample), S_OK);
    ASSERT_EQ(single.getFrame(frame.data(), kFrameSize, length), S_OK);
    EXPECT_EQ(length, 600u);
    EXPECT_EQ(capdev::readFrame(frame.data(), 600, kFrameSize), 2u);
}

TEST_F(FramePool, ADestinationOfAnotherSizeLeavesTheQueueAsItWas)
{
    ASSERT_EQ(store(7, 70), S_OK);
    for (uint32_t size : {kFrameSize - 1, kFrameSize + 1}) {
        std::vector<uint8_t> frame(size, 0xEE);
        uint32_t length = 5;
        EXPECT_EQ(pool.getFrame(frame.data(), size, length), E_OUTOFMEMORY);
        EXPECT_EQ(length, 5u);
        EXPECT_EQ(frame, std::vector<uint8_t>(size, 0xEE));
        EXPECT_EQ(pool.getFrameIndex(), 70);
    }
    uint32_t length = 0;
    EXPECT_EQ(take(&length), 7);
    EXPECT_EQ(length, kFrameSize);
}

TEST_F(FramePool, IsACallbackThatCOMNeverDeletes)
{
    EXPECT_EQ(pool.Release(), 0u);
    EXPECT_EQ(static_cast<LONG>(pool.Release()), -1);
    EXPECT_EQ(pool.AddRef(), 0u);
    ISampleGrabberCB* asCallback = nullptr;
    EXPECT_EQ(pool.QueryInterface(IID_ISampleGrabberCB, reinterpret_cast<void**>(&asCallback)), S_OK);
    EXPECT_EQ(asCallback, &pool);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(pool.QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    void* other = &pool;
    EXPECT_EQ(pool.QueryInterface(IID_IMediaSample, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(pool.BufferCB(0.0, nullptr, 0), STG_E_UNIMPLEMENTEDFUNCTION);
    ASSERT_EQ(store(1), S_OK); // still alive and working
    EXPECT_TRUE(pool.isFrameAvailable());
}

// Each allocation a new pool makes, failed in turn, is reported as the
// library's E_OUTOFMEMORY "Out of memory", never as std::bad_alloc.
TEST(FramePoolCreation, EveryAllocationThatFailsIsReportedAsOutOfMemory)
{
    const size_t before = allocations::ofThisThread();
    SampleGrabberCallback::create(kFrameSize, 3).reset();
    const size_t made = allocations::ofThisThread() - before;
    ASSERT_GE(made, 1u + 2u + 3u + 3u); // the callback, two lists, three Samples and their buffers

    for (size_t failing = 0; failing < made; ++failing) {
        allocations::FailingAllocation failure(failing);
        try {
            SampleGrabberCallback::create(kFrameSize, 3);
            ADD_FAILURE() << "allocation " << failing << " failed unnoticed";
        } catch (const pellux::COMException& outOfMemory) {
            EXPECT_EQ(outOfMemory.getHResult(), E_OUTOFMEMORY) << "allocation " << failing;
            EXPECT_STREQ(outOfMemory.what(), "Out of memory") << "allocation " << failing;
        } catch (const std::exception& other) {
            ADD_FAILURE() << "allocation " << failing << ": " << other.what();
        }
        EXPECT_TRUE(failure.happened()) << "allocation " << failing;
    }
}

} // namespace
