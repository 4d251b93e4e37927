#include "capture/sample_capture_graph.h"

#include "boundary/com_exception.h"
#include "boundary/guids.h"

#include <stdexcept>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace pellux {
namespace {

constexpr LONG kStartTimeoutMs = 5000;
// ISampleGrabber::SetCallback: 0 asks for SampleCB with the whole media sample.
constexpr long kSampleCallbackMethod = 0;

} // namespace

SampleCaptureGraph::SampleCaptureGraph(GUID streamMajorType) noexcept : streamMajorType(streamMajorType) {}

SampleCaptureGraph::~SampleCaptureGraph()
{
    // The streaming thread may be inside SampleCB until the graph has stopped.
    static_cast<void>(releaseCallback(!mediaControl || SUCCEEDED(mediaControl->Stop())));
    sampleGrabber.Reset();
    mediaControl.Reset();
    nullRenderer.Reset();
    sampleGrabberFilter.Reset();
    deviceFilter.Reset();
    filterGraph.Reset();
    captureGraphBuilder.Reset();
}

void SampleCaptureGraph::buildGraph(IMoniker& deviceMoniker)
{
    createFilterGraph();
    addDeviceFilter(deviceMoniker);
    addSampleGrabber();
    addNullRenderer();
    prepareDeviceOutput();
    connectStream();
    callback = createCallback();
    attachCallback();
}

void SampleCaptureGraph::createFilterGraph()
{
    throwIfFailed(
        CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&captureGraphBuilder)),
        "CoCreateInstance failed - couldn't create CaptureGraphBuilder2.");
    throwIfFailed(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filterGraph)),
                  "CoCreateInstance failed - couldn't create FilterGraph.");
    throwIfFailed(captureGraphBuilder->SetFiltergraph(filterGraph.Get()),
                  "Failed to set capture graph builder's filter graph");
    throwIfFailed(filterGraph.As(&mediaControl), "Failed to get IMediaControl interface from filter graph.");
}

void SampleCaptureGraph::addDeviceFilter(IMoniker& deviceMoniker)
{
    throwIfFailed(deviceMoniker.BindToObject(nullptr, nullptr, IID_PPV_ARGS(&deviceFilter)),
                  "BindToObject failed to get device filter from moniker.");
    throwIfFailed(filterGraph->AddFilter(deviceFilter.Get(), L"Capture Device"),
                  "Failed to add device filter to filter graph.");
}

void SampleCaptureGraph::addSampleGrabber()
{
    throwIfFailed(
        CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&sampleGrabberFilter)),
        "CoCreateInstance failed - couldn't create SampleGrabber.");
    throwIfFailed(filterGraph->AddFilter(sampleGrabberFilter.Get(), L"Sample Grabber"),
                  "Failed to add sample grabber to filter graph.");
    throwIfFailed(sampleGrabberFilter.As(&sampleGrabber),
                  "Failed to get ISampleGrabber interface from sample grabber.");
    AM_MEDIA_TYPE mediaType{};
    getGrabberMediaType(mediaType);
    throwIfFailed(sampleGrabber->SetMediaType(&mediaType), "Failed to set sample grabber media type.");
}

void SampleCaptureGraph::addNullRenderer()
{
    throwIfFailed(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&nullRenderer)),
                  "CoCreateInstance failed - couldn't create NullRenderer.");
    throwIfFailed(filterGraph->AddFilter(nullRenderer.Get(), L"Null Renderer"),
                  "Failed to add null renderer to filter graph.");
}

void SampleCaptureGraph::connectStream()
{
    throwIfFailed(captureGraphBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &streamMajorType, deviceFilter.Get(),
                                                    sampleGrabberFilter.Get(), nullRenderer.Get()),
                  "Failed to connect filters together.");
}

void SampleCaptureGraph::attachCallback()
{
    throwIfFailed(sampleGrabber->SetCallback(callback.get(), kSampleCallbackMethod),
                  "Failed to associated sample grabber callback with sample grabber");
}

HRESULT SampleCaptureGraph::detachCallback() noexcept
{
    return sampleGrabber ? sampleGrabber->SetCallback(nullptr, kSampleCallbackMethod) : S_OK;
}

HRESULT SampleCaptureGraph::releaseCallback(bool stopped) noexcept
{
    // A graph that did not stop may still be delivering, and a Sample Grabber
    // that refused the detach still holds the callback and releases it later:
    // either way the callback is left alive with its buffers, a bounded leak
    // rather than a call into freed memory.
    const HRESULT detached = detachCallback();
    if (stopped && SUCCEEDED(detached))
        callback.reset();
    else
        static_cast<void>(callback.release());
    return detached;
}

void SampleCaptureGraph::startCapturing()
{
    const HRESULT ran = mediaControl->Run();
    throwIfFailed(ran, "Failed to run filter graph.");
    // S_FALSE: the graph is still changing state. SUCCEEDED would accept it.
    if (ran != S_FALSE)
        return;
    OAFilterState state = State_Stopped;
    const HRESULT waited = mediaControl->GetState(kStartTimeoutMs, &state);
    if (waited != S_OK || state != State_Running) {
        mediaControl->Stop();
        throw COMException(waited, "Timed out waiting for filter graph to start running.");
    }
}

void SampleCaptureGraph::stopCapturing()
{
    throwIfFailed(mediaControl->Stop(), "Failed to stop running filter graph.");
}

SampleGrabberCallback& SampleCaptureGraph::requireCallback() const
{
    if (!callback)
        throw std::logic_error("The device has no frame buffer: its capture stream is not connected.");
    return *callback;
}

uint32_t SampleCaptureGraph::getFrameSize() const
{
    return requireCallback().getFrameSize();
}

bool SampleCaptureGraph::isFrameAvailable() const
{
    return requireCallback().isFrameAvailable();
}

int64_t SampleCaptureGraph::getFrameIndex() const
{
    return requireCallback().getFrameIndex();
}

HRESULT SampleCaptureGraph::getFrame(void* destination, uint32_t size, uint32_t& length) const
{
    return requireCallback().getFrame(destination, size, length);
}

} // namespace pellux
