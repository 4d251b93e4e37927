#include "fake_media_detector.h"

#include <algorithm>
#include <cstring>

namespace mediadet {

size_t rowBytes24(LONG width)
{
    return (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
}

std::vector<unsigned char> bitmap24(LONG width, LONG height, unsigned char (*pixel)(size_t))
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const size_t pixels = rowBytes24(width) * static_cast<size_t>(height < 0 ? -height : height);
    header.biSizeImage = static_cast<DWORD>(pixels);
    std::vector<unsigned char> bytes = bytesOf(header);
    for (size_t i = 0; i < pixels; ++i)
        bytes.push_back(pixel != nullptr ? pixel(i) : static_cast<unsigned char>(i * 7 + 1));
    return bytes;
}

const FakeStream* FakeMediaDetector::current() const
{
    if (currentStream < 0 || static_cast<size_t>(currentStream) >= streams.size())
        return nullptr;
    return &streams[static_cast<size_t>(currentStream)];
}

STDMETHODIMP FakeMediaDetector::get_Filter(IUnknown** out)
{
    if (out != nullptr)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP FakeMediaDetector::get_OutputStreams(LONG* count)
{
    if (count == nullptr)
        return E_POINTER;
    if (FAILED(outputStreamsResult))
        return outputStreamsResult;
    *count = static_cast<LONG>(streams.size());
    return S_OK;
}

STDMETHODIMP FakeMediaDetector::get_CurrentStream(LONG* index)
{
    if (index == nullptr)
        return E_POINTER;
    *index = currentStream;
    return S_OK;
}

STDMETHODIMP FakeMediaDetector::put_CurrentStream(LONG index)
{
    selectedStreams.push_back(index);
    if (index < 0 || static_cast<size_t>(index) >= streams.size())
        return E_INVALIDARG;
    const HRESULT result = streams[static_cast<size_t>(index)].selectResult;
    if (SUCCEEDED(result))
        currentStream = index;
    return result;
}

STDMETHODIMP FakeMediaDetector::get_StreamType(GUID* type)
{
    const FakeStream* stream = current();
    if (type == nullptr || stream == nullptr)
        return E_INVALIDARG;
    *type = stream->majorType;
    return S_OK;
}

STDMETHODIMP FakeMediaDetector::get_StreamLength(double* seconds)
{
    const FakeStream* stream = current();
    if (seconds == nullptr || stream == nullptr)
        return E_INVALIDARG;
    if (FAILED(stream->lengthResult))
        return stream->lengthResult;
    *seconds = stream->length;
    return stream->lengthResult;
}

STDMETHODIMP FakeMediaDetector::put_Filename(BSTR name)
{
    ++filenameCalls;
    nullFilename = name == nullptr;
    if (name == nullptr)
        return nullFilenameResult;
    filename.assign(name, SysStringLen(name));
    return filenameResult;
}

STDMETHODIMP FakeMediaDetector::GetBitmapBits(double time, LONG* size, char* buffer, LONG width, LONG height)
{
    if (size == nullptr)
        return E_POINTER;
    bitmapRequests.push_back(BitmapRequest{time, *size, buffer != nullptr, width, height});
    if (buffer == nullptr) {
        if (SUCCEEDED(bitmap.sizeResult))
            *size = bitmap.reportedSize.value_or(static_cast<LONG>(bitmap.bytes.size()));
        return bitmap.sizeResult;
    }
    if (FAILED(bitmap.bitsResult))
        return bitmap.bitsResult;
    const size_t count = std::min(bitmap.bytes.size(), static_cast<size_t>(std::max<LONG>(*size, 0)));
    std::memcpy(buffer, bitmap.bytes.data(), count);
    return bitmap.bitsResult;
}

STDMETHODIMP FakeMediaDetector::get_StreamMediaType(AM_MEDIA_TYPE* mediaType)
{
    const FakeStream* stream = current();
    if (mediaType == nullptr || stream == nullptr)
        return E_INVALIDARG;
    if (FAILED(stream->mediaTypeResult))
        return stream->mediaTypeResult;
    *mediaType = AM_MEDIA_TYPE{};
    mediaType->majortype = stream->majorType;
    mediaType->subtype = stream->subType;
    mediaType->bFixedSizeSamples = stream->fixedSizeSamples;
    mediaType->bTemporalCompression = stream->temporalCompression;
    mediaType->lSampleSize = stream->sampleSize;
    mediaType->formattype = stream->formatType;
    if (!stream->format.empty()) {
        mediaType->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(stream->format.size()));
        if (mediaType->pbFormat == nullptr)
            return E_OUTOFMEMORY;
        std::memcpy(mediaType->pbFormat, stream->format.data(), stream->format.size());
        mediaType->cbFormat = static_cast<ULONG>(stream->format.size());
    }
    if (stream->unknown != nullptr) {
        stream->unknown->AddRef();
        mediaType->pUnk = stream->unknown;
    }
    return stream->mediaTypeResult;
}

STDMETHODIMP FakeMediaDetector::get_FrameRate(double* rate)
{
    const FakeStream* stream = current();
    if (rate == nullptr || stream == nullptr)
        return E_INVALIDARG;
    if (stream->frameRateResult == S_OK)
        *rate = stream->frameRate;
    return stream->frameRateResult;
}

MediaDetectorOverride::MediaDetectorOverride(FakeMediaDetector& detector)
    : classOverride(CLSID_MediaDet, [&detector](REFIID iid, void** out) { return detector.QueryInterface(iid, out); })
{
}

} // namespace mediadet
