// The audio graph's media types: the pin's current format, the cache of its
// stream capabilities, and the switch to another format, which reconnects the
// device and replaces the callback so the frame pool fits the new buffers.
#include "audio/audio_sample_capture_graph.h"

#include "boundary/com_exception.h"

using Microsoft::WRL::ComPtr;

namespace pellux {
namespace {

constexpr char kGetFormatFailed[] = "Failed to get format from stream config.";
constexpr char kGetCapabilitiesFailed[] = "Failed to get capabilities from stream config.";
constexpr char kWrongTypeOfData[] = "Stream config returned the wrong type of data.";
constexpr char kDetachFailed[] = "Failed to detach sample grabber callback from sample grabber.";
// More stream capabilities than any real device offers: a driver that counts
// beyond this reports garbage, and the list would cost gigabytes and as many
// driver calls.
constexpr int kMostCapabilities = 4096;

// A call that succeeded without handing a media type over gives nothing to
// describe the format with.
void throwIfNoMediaType(const OwnedMediaType& mediaType, const char* message)
{
    if (!mediaType)
        throw COMException(E_UNEXPECTED, message);
}

} // namespace

OwnedMediaType AudioSampleCaptureGraph::getCurrentMediaType()
{
    OwnedMediaType current;
    throwIfFailed(streamConfig->GetFormat(current.put()), kGetFormatFailed);
    throwIfNoMediaType(current, kGetFormatFailed);
    return current;
}

void AudioSampleCaptureGraph::enumerateMediaTypes()
{
    int count = 0;
    int size = 0;
    throwIfFailed(streamConfig->GetNumberOfCapabilities(&count, &size),
                  "Failed to get number of capabilities from stream config.");
    if (size != sizeof(AUDIO_STREAM_CONFIG_CAPS) || count < 0 || count > kMostCapabilities)
        throw COMException(E_UNEXPECTED, kWrongTypeOfData);
    // Filled aside and stored only when complete: a failure leaves no cache.
    std::unique_ptr<OwnedMediaType[]> capabilities(new (std::nothrow) OwnedMediaType[static_cast<size_t>(count)]);
    throwIfNull(capabilities.get());
    for (int index = 0; index < count; ++index) {
        AUDIO_STREAM_CONFIG_CAPS capability{};
        throwIfFailed(
            streamConfig->GetStreamCaps(index, capabilities[index].put(), reinterpret_cast<BYTE*>(&capability)),
            kGetCapabilitiesFailed);
        throwIfNoMediaType(capabilities[index], kGetCapabilitiesFailed);
    }
    mediaTypes = std::move(capabilities);
    mediaTypeCount = count;
}

int32_t AudioSampleCaptureGraph::getMediaTypeCount()
{
    if (!mediaTypes)
        enumerateMediaTypes();
    return mediaTypeCount;
}

const AM_MEDIA_TYPE& AudioSampleCaptureGraph::getMediaType(int32_t index)
{
    if (!mediaTypes)
        enumerateMediaTypes();
    if (index < 0 || index >= mediaTypeCount)
        throw COMException(E_INVALIDARG, "Media type index is out of range");
    return *mediaTypes[index].get();
}

ComPtr<IPin> AudioSampleCaptureGraph::findReconnectTarget()
{
    if (disconnectedTarget)
        return disconnectedTarget;
    ComPtr<IPin> target;
    throwIfFailed(captureOutputPin->ConnectedTo(&target), "Failed to get pin connected to capture output.");
    return target;
}

void AudioSampleCaptureGraph::setMediaType(const AM_MEDIA_TYPE& mediaType)
{
    stopCapturing();
    // The graph has stopped, so no SampleCB call can still use the callback.
    // A Sample Grabber that refuses to let it go keeps it (it is left alive)
    // and would keep feeding it instead of a new one: the switch fails.
    throwIfFailed(releaseCallback(true), kDetachFailed);
    const ComPtr<IPin> target = findReconnectTarget();
    disconnectedTarget = target;
    throwIfFailed(filterGraph->Disconnect(target.Get()), "Failed to disconnect target pin.");
    throwIfFailed(filterGraph->Disconnect(captureOutputPin.Get()), "Failed to disconnect capture output.");
    // SetFormat reads the type only; the SDK declares its argument non-const.
    throwIfFailed(streamConfig->SetFormat(const_cast<AM_MEDIA_TYPE*>(&mediaType)),
                  "Failed to set media type on stream config.");
    suggestAllocatorProperties();
    throwIfFailed(filterGraph->Connect(captureOutputPin.Get(), target.Get()),
                  "Failed to re-connect capture output pin.");
    disconnectedTarget.Reset();
    checkConnectedMediaType();
    callback = createCallback();
    try {
        attachCallback();
    } catch (...) {
        // A callback the Sample Grabber does not call would never fill: the
        // frame operations report the missing one instead.
        static_cast<void>(releaseCallback(true));
        throw;
    }
}

} // namespace pellux
