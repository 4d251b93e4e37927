// One frame buffer of the sample pool.
#pragma once

#include <dshow.h>

#include <cstdint>
#include <memory>

namespace pellux {

class Sample {
public:
    // Allocates `capacity` zeroed bytes; throws COMException "Out of memory"
    // when they cannot be had.
    explicit Sample(uint32_t capacity);
    ~Sample();
    Sample(const Sample&) = delete;
    Sample& operator=(const Sample&) = delete;

    // Marks the Sample empty; the bytes are left as they are.
    void reset() noexcept;

    // Copies a media sample whose buffer is exactly `capacity` bytes. The
    // media time start becomes the frame index; `fallbackIndex` stands in
    // when the sample has no media time. Bytes past the data length are zero.
    HRESULT copyFrom(IMediaSample& mediaSample, int64_t fallbackIndex) noexcept;

    // Copies all `capacity` bytes to `destination`, which must be `size`
    // bytes; any other size gives E_OUTOFMEMORY and copies nothing.
    HRESULT copyTo(void* destination, uint32_t size) const noexcept;

    uint32_t getLength() const noexcept { return length; }
    int64_t getMediaTimeStart() const noexcept { return mediaTimeStart; }

private:
    uint32_t capacity;
    uint32_t length = 0;
    int64_t mediaTimeStart = -1;
    std::unique_ptr<BYTE[]> data;
};

} // namespace pellux
