// The Sample Grabber's callback: a fixed pool of frame buffers that the
// streaming thread fills and the Java side drains, oldest first. When every
// buffer is full the oldest unread frame is overwritten, so capture never
// waits for a slow reader.
//
// Locks: freeLock guards freeSamples, filledLock guards filledSamples and the
// increment of sampleCounter. A thread that holds both took filledLock first.
#pragma once

#include "capture/critical_section.h"
#include "capture/sample.h"
#include "capture/sample_queue.h"

#include <dshow.h>
#include <qedit.h>

#include <cstdint>
#include <memory>

namespace pellux {

class SampleGrabberCallback : public ISampleGrabberCB {
public:
    // `poolSize` Samples of `frameSize` bytes, all free; a Sample or a list
    // slot that cannot be allocated throws COMException "Out of memory".
    SampleGrabberCallback(uint32_t frameSize, uint32_t poolSize);
    // The same on the heap; a callback that cannot be allocated throws
    // COMException "Out of memory" too.
    static std::unique_ptr<SampleGrabberCallback> create(uint32_t frameSize, uint32_t poolSize);
    // Takes no lock: the owner deletes the callback only after detaching it
    // and stopping the stream.
    virtual ~SampleGrabberCallback();
    SampleGrabberCallback(const SampleGrabberCallback&) = delete;
    SampleGrabberCallback& operator=(const SampleGrabberCallback&) = delete;

    // The reference count is informational: the graph owns the object and
    // Release never deletes it.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // Runs on the streaming thread; allocates nothing.
    STDMETHODIMP SampleCB(double sampleTime, IMediaSample* mediaSample) override;
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override;

    uint32_t getFrameSize() const noexcept { return frameSize; }
    bool isFrameAvailable() noexcept;
    // The index of the frame getFrame would return next, or -1.
    int64_t getFrameIndex() noexcept;
    // Copies the oldest frame into `destination` (`size` bytes, which must be
    // the frame size) and frees its buffer. S_OK, E_OUTOFMEMORY for a wrong
    // size, E_PENDING when nothing is stored.
    HRESULT getFrame(void* destination, uint32_t size, uint32_t& length) noexcept;

private:
    std::unique_ptr<Sample> takeEmptySample() noexcept;
    void returnFreeSample(std::unique_ptr<Sample> sample) noexcept;

    LONG refCount = 1;
    uint32_t frameSize;
    CriticalSection freeLock;
    CriticalSection filledLock;
    SampleQueue freeSamples;
    SampleQueue filledSamples;
    uint32_t sampleCounter = 0;
};

} // namespace pellux
