#include "audio/audio_sample_capture_graph.h"

#include "boundary/com_exception.h"
#include "capture/pin_lookup.h"

#include <mmreg.h>

#include <optional>

namespace pellux {
namespace {

constexpr uint32_t kFramePoolSize = 3;
// One capture buffer holds 1/8 s (125 ms) of audio.
constexpr DWORD kBuffersPerSecond = 8;
// Leaves the alignment and prefix to the pin.
constexpr long kPinChooses = -1;

// The first test the connected type fails, or null when it is acceptable.
const char* audioTypeProblem(const AM_MEDIA_TYPE& mediaType, const GUID& majorType)
{
    if (mediaType.majortype != majorType)
        return "The device is not an audio input.";
    if (mediaType.subtype != MEDIASUBTYPE_PCM)
        return "Expected the device to use the MEDIASUBTYPE_PCM media subtype.";
    if (!mediaType.bFixedSizeSamples || mediaType.bTemporalCompression)
        return "The audio device does not provide uncompressed, fixed size samples.";
    if (mediaType.formattype != FORMAT_WaveFormatEx)
        return "Expected the audio device's format block to be FORMAT_WaveFormatEx.";
    return nullptr;
}

} // namespace

AudioSampleCaptureGraph::AudioSampleCaptureGraph() noexcept : SampleCaptureGraph(MEDIATYPE_Audio) {}

AudioSampleCaptureGraph::~AudioSampleCaptureGraph()
{
    releaseMediaTypes();
    captureOutputPin.Reset();
    bufferNegotiation.Reset();
    streamConfig.Reset();
    audioInputMixer.Reset();
}

void AudioSampleCaptureGraph::releaseMediaTypes() noexcept
{
    mediaTypes.reset();
    mediaTypeCount = 0;
}

void AudioSampleCaptureGraph::buildGraph(IMoniker& deviceMoniker)
{
    SampleCaptureGraph::buildGraph(deviceMoniker);
    throwIfFailed(deviceFilter.As(&audioInputMixer), "Failed to get IAMAudioInputMixer interface from device filter.");
    checkConnectedMediaType();
}

void AudioSampleCaptureGraph::getGrabberMediaType(AM_MEDIA_TYPE& mediaType)
{
    // PCM of any sample rate, sample size and channel count.
    mediaType.majortype = streamMajorType;
    mediaType.subtype = MEDIASUBTYPE_PCM;
    mediaType.formattype = GUID_NULL;
}

void AudioSampleCaptureGraph::prepareDeviceOutput()
{
    captureOutputPin = findUniquePin(*deviceFilter.Get(), PINDIR_OUTPUT);
    if (!captureOutputPin)
        throw COMException(E_FAIL, "The device filter doesn't have an output pin.");
    throwIfFailed(captureOutputPin.As(&bufferNegotiation),
                  "Failed to get IAMBufferNegotiation interface from device filter output pin.");
    throwIfFailed(captureOutputPin.As(&streamConfig),
                  "Failed to get IAMStreamConfig interface from device filter output pin.");
    suggestAllocatorProperties();
}

void AudioSampleCaptureGraph::suggestAllocatorProperties()
{
    // Refuses a pin that answers success without a media type, as reading
    // the current format does.
    const OwnedMediaType format = getCurrentMediaType();
    const std::optional<WAVEFORMATEX> wave =
        format->formattype == FORMAT_WaveFormatEx ? waveFormatOf(*format.get()) : std::nullopt;
    if (!wave)
        throw COMException(E_UNEXPECTED, "Expected stream config format to be FORMAT_WaveFormatEx.");
    ALLOCATOR_PROPERTIES properties{};
    properties.cBuffers = 1;
    properties.cbBuffer = static_cast<long>(wave->nAvgBytesPerSec / kBuffersPerSecond);
    properties.cbAlign = kPinChooses;
    properties.cbPrefix = kPinChooses;
    throwIfFailed(bufferNegotiation->SuggestAllocatorProperties(&properties),
                  "Failed to suggest allocator properties to buffer negotiation.");
}

std::unique_ptr<SampleGrabberCallback> AudioSampleCaptureGraph::createCallback()
{
    ALLOCATOR_PROPERTIES negotiated{};
    throwIfFailed(bufferNegotiation->GetAllocatorProperties(&negotiated),
                  "Failed to get allocator properties from buffer negotiation.");
    // A Sample takes only media samples of exactly its capacity, so the pool
    // follows what the connected pin reports, not what was suggested.
    return SampleGrabberCallback::create(static_cast<uint32_t>(negotiated.cbBuffer), kFramePoolSize);
}

void AudioSampleCaptureGraph::checkConnectedMediaType()
{
    MediaTypeValue connected;
    throwIfFailed(sampleGrabber->GetConnectedMediaType(connected.put()),
                  "Failed to get media type from sample grabber.");
    if (const char* problem = audioTypeProblem(connected.get(), streamMajorType))
        throw COMException(E_INVALIDARG, problem);
}

} // namespace pellux
