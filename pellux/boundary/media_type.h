// DirectShow media types and their owners, so that a format block and pUnk
// are freed on every path by construction.
#pragma once

#include <dshow.h>
#include <mmreg.h>

#include <optional>

namespace pellux {

// Empties a media type in place: frees the format block (when cbFormat is not
// 0) and releases pUnk. The structure itself is not freed.
void freeMediaType(AM_MEDIA_TYPE& mediaType) noexcept;

// freeMediaType, then frees a structure a DirectShow call handed over.
void deleteMediaType(AM_MEDIA_TYPE* mediaType) noexcept;

// A media type held by value, zeroed at construction and emptied at
// destruction; for calls that fill a caller's structure.
class MediaTypeValue {
public:
    MediaTypeValue() noexcept : value{} {}
    ~MediaTypeValue() { freeMediaType(value); }
    MediaTypeValue(const MediaTypeValue&) = delete;
    MediaTypeValue& operator=(const MediaTypeValue&) = delete;

    // Out-parameter for a call that fills the structure; empties it first.
    AM_MEDIA_TYPE* put() noexcept
    {
        freeMediaType(value);
        return &value;
    }
    AM_MEDIA_TYPE* operator->() noexcept { return &value; }
    AM_MEDIA_TYPE& get() noexcept { return value; }
    const AM_MEDIA_TYPE& get() const noexcept { return value; }

private:
    AM_MEDIA_TYPE value;
};

// A media type structure a DirectShow call allocated and handed over
// (IAMStreamConfig::GetFormat, GetStreamCaps); deleted with deleteMediaType.
class OwnedMediaType {
public:
    OwnedMediaType() noexcept = default;
    explicit OwnedMediaType(AM_MEDIA_TYPE* mediaType) noexcept : pointer(mediaType) {}
    ~OwnedMediaType() { deleteMediaType(pointer); }
    OwnedMediaType(OwnedMediaType&& other) noexcept : pointer(other.release()) {}
    OwnedMediaType& operator=(OwnedMediaType&& other) noexcept;
    OwnedMediaType(const OwnedMediaType&) = delete;
    OwnedMediaType& operator=(const OwnedMediaType&) = delete;

    // Out-parameter for a call that hands a structure over; frees the old one first.
    AM_MEDIA_TYPE** put() noexcept;
    AM_MEDIA_TYPE* get() const noexcept { return pointer; }
    AM_MEDIA_TYPE* operator->() const noexcept { return pointer; }
    AM_MEDIA_TYPE* release() noexcept;
    explicit operator bool() const noexcept { return pointer != nullptr; }

private:
    AM_MEDIA_TYPE* pointer = nullptr;
};

// The format block as the structure `T` when it is large enough to hold one,
// otherwise null: a block is never read past its end.
template <typename T>
const T* formatBlockAs(const AM_MEDIA_TYPE& mediaType) noexcept
{
    if (mediaType.pbFormat == nullptr || mediaType.cbFormat < sizeof(T))
        return nullptr;
    return reinterpret_cast<const T*>(mediaType.pbFormat);
}

// The WAVEFORMATEX of a FORMAT_WaveFormatEx block, or none when the block is
// too short. A PCMWAVEFORMAT (16 bytes, no cbSize) is a legal block for PCM
// that drivers hand out: its cbSize reads as 0.
std::optional<WAVEFORMATEX> waveFormatOf(const AM_MEDIA_TYPE& mediaType) noexcept;

} // namespace pellux
