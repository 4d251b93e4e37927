#include "capture/sample.h"

#include "boundary/com_exception.h"

#include <cstring>
#include <new>

namespace pellux {

Sample::Sample(uint32_t capacity) : capacity(capacity), data(new (std::nothrow) BYTE[capacity]())
{
    throwIfNull(data.get());
}

Sample::~Sample()
{
    reset();
    std::memset(data.get(), 0, capacity);
}

void Sample::reset() noexcept
{
    length = 0;
    mediaTimeStart = -1;
}

HRESULT Sample::copyFrom(IMediaSample& mediaSample, int64_t fallbackIndex) noexcept
{
    if (mediaSample.GetSize() < 0 || static_cast<uint32_t>(mediaSample.GetSize()) != capacity)
        return E_OUTOFMEMORY;
    const long actualLength = mediaSample.GetActualDataLength();
    if (actualLength < 0 || static_cast<uint32_t>(actualLength) > capacity)
        return E_UNEXPECTED;
    length = static_cast<uint32_t>(actualLength);
    if (length < capacity)
        std::memset(data.get(), 0, capacity);

    BYTE* source = nullptr;
    const HRESULT pointerResult = mediaSample.GetPointer(&source);
    if (FAILED(pointerResult))
        return pointerResult;
    std::memcpy(data.get(), source, length);

    REFERENCE_TIME start = -1;
    REFERENCE_TIME stop = 0;
    if (mediaSample.GetMediaTime(&start, &stop) == VFW_E_MEDIA_TIME_NOT_SET)
        mediaTimeStart = fallbackIndex;
    else
        mediaTimeStart = start;
    return S_OK;
}

HRESULT Sample::copyTo(void* destination, uint32_t size) const noexcept
{
    if (size != capacity)
        return E_OUTOFMEMORY;
    std::memcpy(destination, data.get(), capacity);
    return S_OK;
}

} // namespace pellux
