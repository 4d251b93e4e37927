#include "boundary/media_type.h"

#include <cstring>
#include <utility>

namespace pellux {

void freeMediaType(AM_MEDIA_TYPE& mediaType) noexcept
{
    if (mediaType.cbFormat != 0) {
        CoTaskMemFree(mediaType.pbFormat);
        mediaType.cbFormat = 0;
        mediaType.pbFormat = nullptr;
    }
    if (mediaType.pUnk != nullptr) {
        mediaType.pUnk->Release();
        mediaType.pUnk = nullptr;
    }
}

void deleteMediaType(AM_MEDIA_TYPE* mediaType) noexcept
{
    if (mediaType == nullptr)
        return;
    freeMediaType(*mediaType);
    CoTaskMemFree(mediaType);
}

OwnedMediaType& OwnedMediaType::operator=(OwnedMediaType&& other) noexcept
{
    if (this != &other)
        deleteMediaType(std::exchange(pointer, other.release()));
    return *this;
}

AM_MEDIA_TYPE** OwnedMediaType::put() noexcept
{
    deleteMediaType(std::exchange(pointer, nullptr));
    return &pointer;
}

AM_MEDIA_TYPE* OwnedMediaType::release() noexcept
{
    return std::exchange(pointer, nullptr);
}

std::optional<WAVEFORMATEX> waveFormatOf(const AM_MEDIA_TYPE& mediaType) noexcept
{
    if (mediaType.pbFormat == nullptr || mediaType.cbFormat < sizeof(PCMWAVEFORMAT))
        return std::nullopt;
    WAVEFORMATEX wave{};
    std::memcpy(&wave, mediaType.pbFormat, mediaType.cbFormat < sizeof(wave) ? sizeof(PCMWAVEFORMAT) : sizeof(wave));
    return wave;
}

} // namespace pellux
