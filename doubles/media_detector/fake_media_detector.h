// A media detector of our own (IMediaDet), for what Wine's real one cannot
// show: Wine answers GetBitmapBits with E_NOTIMPL, never opens a file only in
// part, never reports VIDEOINFOHEADER2, MPEG or unknown format blocks, and its
// steps do not fail on demand. Substituted in-process for CLSID_MediaDet with
// MediaDetectorOverride; the references it hands out are counted (comfake).
#pragma once

#include "com_fakes.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <optional>
#include <string>
#include <vector>

namespace mediadet {

// One output stream as the detector describes it.
struct FakeStream {
    GUID majorType = MEDIATYPE_Video;
    GUID subType = MEDIASUBTYPE_RGB24;
    BOOL fixedSizeSamples = TRUE;
    BOOL temporalCompression = FALSE;
    ULONG sampleSize = 0;
    GUID formatType = GUID_NULL;
    std::vector<unsigned char> format; // the format block (cbFormat is its size)
    IUnknown* unknown = nullptr;       // handed out as pUnk with a reference added

    HRESULT selectResult = S_OK;    // put_CurrentStream
    HRESULT mediaTypeResult = S_OK; // get_StreamMediaType (a failure fills nothing)
    HRESULT frameRateResult = S_OK;
    double frameRate = 25.0;
    HRESULT lengthResult = S_OK;
    double length = 1.0; // seconds
};

// The bitmap GetBitmapBits delivers: a BITMAPINFOHEADER and the pixel rows.
struct FakeBitmap {
    std::vector<unsigned char> bytes;
    std::optional<LONG> reportedSize; // the size the query answers; unset: bytes.size()
    HRESULT sizeResult = S_OK;
    HRESULT bitsResult = S_OK;
};

// A format block's bytes from a structure.
template <typename T>
std::vector<unsigned char> bytesOf(const T& structure)
{
    const auto* first = reinterpret_cast<const unsigned char*>(&structure);
    return std::vector<unsigned char>(first, first + sizeof(T));
}

// A 24-bit bitmap of width x |height| with rows padded to 4 bytes; pixel byte
// i (padding included) holds pixel(i). A negative height is top-down.
std::vector<unsigned char> bitmap24(LONG width, LONG height, unsigned char (*pixel)(size_t) = nullptr);
// The row size in bytes of a 24-bit bitmap of `width` pixels.
size_t rowBytes24(LONG width);

class FakeMediaDetector : public comfake::Object<IMediaDet> {
public:
    FakeMediaDetector() { setLabel("media detector"); }

    // What the detector answers.
    HRESULT filenameResult = S_OK;          // for a name
    HRESULT nullFilenameResult = E_POINTER; // for a null name (Windows refuses it with an error)
    HRESULT outputStreamsResult = S_OK;
    std::vector<FakeStream> streams;
    FakeBitmap bitmap;

    // What it was asked.
    int filenameCalls = 0;
    bool nullFilename = false;
    std::wstring filename;
    std::vector<LONG> selectedStreams;
    struct BitmapRequest {
        double time;
        LONG size;
        bool withBuffer;
        LONG width;
        LONG height;
    };
    std::vector<BitmapRequest> bitmapRequests;

    STDMETHODIMP get_Filter(IUnknown** out) override;
    STDMETHODIMP put_Filter(IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP get_OutputStreams(LONG* count) override;
    STDMETHODIMP get_CurrentStream(LONG* index) override;
    STDMETHODIMP put_CurrentStream(LONG index) override;
    STDMETHODIMP get_StreamType(GUID* type) override;
    STDMETHODIMP get_StreamTypeB(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_StreamLength(double* seconds) override;
    STDMETHODIMP get_Filename(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Filename(BSTR name) override;
    STDMETHODIMP GetBitmapBits(double time, LONG* size, char* buffer, LONG width, LONG height) override;
    STDMETHODIMP WriteBitmapBits(double, LONG, LONG, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_StreamMediaType(AM_MEDIA_TYPE* mediaType) override;
    STDMETHODIMP GetSampleGrabber(ISampleGrabber**) override { return E_NOTIMPL; }
    STDMETHODIMP get_FrameRate(double* rate) override;
    STDMETHODIMP EnterBitmapGrabMode(double) override { return E_NOTIMPL; }

private:
    const FakeStream* current() const;
    LONG currentStream = 0;
};

// A counted IUnknown to hand out as a media type's pUnk.
class FakeUnknown : public comfake::Object<IUnknown> {
public:
    FakeUnknown() { setLabel("media type pUnk"); }
};

// While alive, CoCreateInstance(CLSID_MediaDet) in this process yields
// `detector` (COM must be initialised on the constructing thread).
class MediaDetectorOverride {
public:
    explicit MediaDetectorOverride(FakeMediaDetector& detector);
    int creations() const noexcept { return classOverride.creations(); }

private:
    comfake::ClassOverride classOverride;
};

} // namespace mediadet
