#include "capture/dv_sample_capture_graph.h"

#include "boundary/com_exception.h"
#include "boundary/media_type.h"

#include <edevdefs.h>

namespace pellux {
namespace {

constexpr uint32_t kFramePoolSize = 3;

bool isDVStream(const AM_MEDIA_TYPE& mediaType)
{
    return mediaType.bFixedSizeSamples && !mediaType.bTemporalCompression &&
           mediaType.majortype == MEDIATYPE_Interleaved;
}

} // namespace

DVSampleCaptureGraph::DVSampleCaptureGraph() noexcept : SampleCaptureGraph(MEDIATYPE_Interleaved) {}

DVSampleCaptureGraph::~DVSampleCaptureGraph()
{
    timecodeReader.Reset();
    extTransport.Reset();
}

void DVSampleCaptureGraph::buildGraph(IMoniker& deviceMoniker)
{
    SampleCaptureGraph::buildGraph(deviceMoniker);
    throwIfFailed(deviceFilter.As(&extTransport), "Failed to get IAMExtTransport interface from device filter.");
    throwIfFailed(deviceFilter.As(&timecodeReader), "Failed to get IAMTimecodeReader interface from device filter.");
}

void DVSampleCaptureGraph::getGrabberMediaType(AM_MEDIA_TYPE& mediaType)
{
    // Any interleaved stream, whatever its subtype and format.
    mediaType.majortype = streamMajorType;
    mediaType.subtype = GUID_NULL;
    mediaType.formattype = GUID_NULL;
}

std::unique_ptr<SampleGrabberCallback> DVSampleCaptureGraph::createCallback()
{
    MediaTypeValue connected;
    throwIfFailed(sampleGrabber->GetConnectedMediaType(connected.put()),
                  "Failed to get media type from sample grabber.");
    if (!isDVStream(connected.get()))
        throw COMException(E_INVALIDARG, "The device is not a DV device.");
    const auto frameSize = static_cast<uint32_t>(connected->lSampleSize);
    return SampleGrabberCallback::create(frameSize, kFramePoolSize);
}

LONG DVSampleCaptureGraph::getTransportState()
{
    LONG mode = 0;
    throwIfFailed(extTransport->get_Mode(&mode),
                  "Failed to get transport state. Perhaps the device is in camera mode.");
    return mode;
}

void DVSampleCaptureGraph::setTransportState(LONG mode)
{
    throwIfFailed(extTransport->put_Mode(mode), "Failed to set transport state");
}

DWORD DVSampleCaptureGraph::getTimeCode()
{
    TIMECODE_SAMPLE sample{};
    sample.timecode.dwFrames = 0;
    sample.dwFlags = ED_DEVCAP_TIMECODE_READ;
    throwIfFailed(timecodeReader->GetTimecode(&sample), "Failed to get time code.");
    return sample.timecode.dwFrames;
}

} // namespace pellux
