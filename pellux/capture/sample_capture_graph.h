// The DirectShow graph behind an open capture device: the device's capture
// filter feeds a Sample Grabber that ends in a Null Renderer, and the Sample
// Grabber hands every sample to a SampleGrabberCallback. Subclasses fill in
// the device-specific steps through the virtual hooks.
//
// Threads: the graph is driven by one Java thread at a time. While it runs,
// DirectShow's streaming thread touches only the callback.
#pragma once

#include "capture/sample_grabber_callback.h"

#include <dshow.h>
#include <qedit.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>

namespace pellux {

class SampleCaptureGraph {
public:
    explicit SampleCaptureGraph(GUID streamMajorType) noexcept;
    // Stops a running graph before the callback is detached and deleted, so
    // no SampleCB call can still be running on freed memory. When the graph
    // does not stop, or the detach fails, the callback is never deleted.
    virtual ~SampleCaptureGraph();
    SampleCaptureGraph(const SampleCaptureGraph&) = delete;
    SampleCaptureGraph& operator=(const SampleCaptureGraph&) = delete;

    // Binds the device filter and builds the stopped graph. A failed step
    // throws COMException and leaves the graph partly built; deleting it
    // releases what was acquired.
    virtual void buildGraph(IMoniker& deviceMoniker);

    void startCapturing();
    void stopCapturing();

    // The frame operations of the callback. A graph without a callback (its
    // build or a format change failed part-way) throws std::logic_error.
    uint32_t getFrameSize() const;
    bool isFrameAvailable() const;
    int64_t getFrameIndex() const;
    HRESULT getFrame(void* destination, uint32_t size, uint32_t& length) const;

protected:
    // Fills a zeroed media type with what the Sample Grabber should accept.
    virtual void getGrabberMediaType(AM_MEDIA_TYPE& mediaType) = 0;
    // A callback sized for the connected stream; runs after the connection.
    virtual std::unique_ptr<SampleGrabberCallback> createCallback() = 0;
    // Runs before the device's output pin is connected.
    virtual void prepareDeviceOutput() {}

    // Tells the Sample Grabber to stop calling the callback and to let it go;
    // what it answered (S_OK without a Sample Grabber).
    HRESULT detachCallback() noexcept;
    // Detaches the callback from the Sample Grabber and deletes it when the
    // graph has `stopped` and the detach succeeded; otherwise leaves it alive.
    // Either way the graph holds no callback afterwards. Returns what the
    // detach answered.
    HRESULT releaseCallback(bool stopped) noexcept;
    // Attaches `callback` for SampleCB calls.
    void attachCallback();

    Microsoft::WRL::ComPtr<ICaptureGraphBuilder2> captureGraphBuilder;
    Microsoft::WRL::ComPtr<IGraphBuilder> filterGraph;
    Microsoft::WRL::ComPtr<IBaseFilter> deviceFilter;
    Microsoft::WRL::ComPtr<IBaseFilter> sampleGrabberFilter;
    Microsoft::WRL::ComPtr<IBaseFilter> nullRenderer;
    Microsoft::WRL::ComPtr<IMediaControl> mediaControl;
    Microsoft::WRL::ComPtr<ISampleGrabber> sampleGrabber;
    const GUID streamMajorType;
    std::unique_ptr<SampleGrabberCallback> callback;

private:
    void createFilterGraph();
    void addDeviceFilter(IMoniker& deviceMoniker);
    void addSampleGrabber();
    void addNullRenderer();
    void connectStream();
    SampleGrabberCallback& requireCallback() const;
};

} // namespace pellux
