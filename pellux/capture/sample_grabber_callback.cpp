#include "capture/sample_grabber_callback.h"

#include "boundary/com_exception.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace pellux {

SampleGrabberCallback::SampleGrabberCallback(uint32_t frameSize, uint32_t poolSize)
    : frameSize(frameSize), freeSamples(poolSize), filledSamples(poolSize)
{
    if (poolSize == 0)
        throw std::invalid_argument("A frame pool needs at least one buffer.");
    for (uint32_t i = 0; i < poolSize; ++i) {
        std::unique_ptr<Sample> sample(new (std::nothrow) Sample(frameSize));
        throwIfNull(sample.get());
        freeSamples.pushBack(std::move(sample));
    }
}

std::unique_ptr<SampleGrabberCallback> SampleGrabberCallback::create(uint32_t frameSize, uint32_t poolSize)
{
    std::unique_ptr<SampleGrabberCallback> callback(new (std::nothrow) SampleGrabberCallback(frameSize, poolSize));
    throwIfNull(callback.get());
    return callback;
}

SampleGrabberCallback::~SampleGrabberCallback()
{
    while (!freeSamples.empty())
        freeSamples.popFront();
    while (!filledSamples.empty())
        filledSamples.popFront();
}

STDMETHODIMP SampleGrabberCallback::QueryInterface(REFIID iid, void** out)
{
    if (out == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
        *out = static_cast<ISampleGrabberCB*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) SampleGrabberCallback::AddRef()
{
    return static_cast<ULONG>(++refCount);
}

STDMETHODIMP_(ULONG) SampleGrabberCallback::Release()
{
    return static_cast<ULONG>(--refCount);
}

std::unique_ptr<Sample> SampleGrabberCallback::takeEmptySample() noexcept
{
    Lock filled(filledLock);
    Lock free(freeLock);
    if (!freeSamples.empty())
        return freeSamples.popFront();
    // Every buffer holds an unread frame: the oldest one is dropped.
    std::unique_ptr<Sample> oldest = filledSamples.popFront();
    oldest->reset();
    return oldest;
}

void SampleGrabberCallback::returnFreeSample(std::unique_ptr<Sample> sample) noexcept
{
    sample->reset();
    Lock free(freeLock);
    freeSamples.pushBack(std::move(sample));
}

STDMETHODIMP SampleGrabberCallback::SampleCB(double, IMediaSample* mediaSample)
{
    if (mediaSample == nullptr)
        return E_POINTER;
    std::unique_ptr<Sample> sample = takeEmptySample();
    // Only this thread writes the counter, so it is read without a lock.
    const HRESULT copied = sample->copyFrom(*mediaSample, static_cast<int64_t>(sampleCounter));
    if (FAILED(copied)) {
        returnFreeSample(std::move(sample));
        return copied;
    }
    Lock filled(filledLock);
    ++sampleCounter;
    filledSamples.pushBack(std::move(sample));
    return S_OK;
}

STDMETHODIMP SampleGrabberCallback::BufferCB(double, BYTE*, long)
{
    return STG_E_UNIMPLEMENTEDFUNCTION;
}

bool SampleGrabberCallback::isFrameAvailable() noexcept
{
    Lock filled(filledLock);
    return !filledSamples.empty();
}

int64_t SampleGrabberCallback::getFrameIndex() noexcept
{
    Lock filled(filledLock);
    return filledSamples.empty() ? -1 : filledSamples.front().getMediaTimeStart();
}

HRESULT SampleGrabberCallback::getFrame(void* destination, uint32_t size, uint32_t& length) noexcept
{
    if (size != frameSize)
        return E_OUTOFMEMORY;
    Lock filled(filledLock);
    if (filledSamples.empty())
        return E_PENDING;
    const HRESULT copied = filledSamples.front().copyTo(destination, size);
    if (FAILED(copied))
        return copied;
    length = filledSamples.front().getLength();
    std::unique_ptr<Sample> sample = filledSamples.popFront();
    sample->reset();
    Lock free(freeLock);
    freeSamples.pushBack(std::move(sample));
    return S_OK;
}

} // namespace pellux
