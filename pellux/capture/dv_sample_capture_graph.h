// The capture graph of a DV camcorder or deck: the connected stream must be
// interleaved DV of fixed-size samples, one DV frame per buffer, and the
// device's tape transport and timecode reader are driven from Java.
#pragma once

#include "capture/interface_ids.h"
#include "capture/sample_capture_graph.h"

namespace pellux {

class DVSampleCaptureGraph : public SampleCaptureGraph {
public:
    DVSampleCaptureGraph() noexcept;
    ~DVSampleCaptureGraph() override;

    void buildGraph(IMoniker& deviceMoniker) override;

    // Transport modes are IAMExtTransport's ED_MODE_ values, passed through
    // unchanged; the timecode is the driver's packed word. Neither waits for
    // the deck, and both work while capturing or stopped.
    LONG getTransportState();
    void setTransportState(LONG mode);
    DWORD getTimeCode();

protected:
    void getGrabberMediaType(AM_MEDIA_TYPE& mediaType) override;
    std::unique_ptr<SampleGrabberCallback> createCallback() override;

private:
    Microsoft::WRL::ComPtr<IAMExtTransport> extTransport;
    Microsoft::WRL::ComPtr<IAMTimecodeReader> timecodeReader;
};

} // namespace pellux
