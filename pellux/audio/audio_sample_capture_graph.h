// The capture graph of an audio input: PCM of any format from the device's
// only output pin, one buffer of an eighth of a second suggested before the
// pin connects, and a frame pool sized to the buffer the pin negotiated.
#pragma once

#include "boundary/media_type.h"
#include "capture/interface_ids.h"
#include "capture/sample_capture_graph.h"

#include <cstdint>
#include <memory>

namespace pellux {

class AudioSampleCaptureGraph : public SampleCaptureGraph {
public:
    AudioSampleCaptureGraph() noexcept;
    ~AudioSampleCaptureGraph() override;

    void buildGraph(IMoniker& deviceMoniker) override;

protected:
    void getGrabberMediaType(AM_MEDIA_TYPE& mediaType) override;
    std::unique_ptr<SampleGrabberCallback> createCallback() override;
    void prepareDeviceOutput() override;

    // Throws E_INVALIDARG unless the connection is fixed-size, uncompressed
    // PCM audio described by a WAVEFORMATEX block.
    void checkConnectedMediaType();
    // Suggests one buffer of an eighth of a second of the pin's current format.
    void suggestAllocatorProperties();

    Microsoft::WRL::ComPtr<IAMAudioInputMixer> audioInputMixer;
    Microsoft::WRL::ComPtr<IAMStreamConfig> streamConfig;
    Microsoft::WRL::ComPtr<IAMBufferNegotiation> bufferNegotiation;
    Microsoft::WRL::ComPtr<IPin> captureOutputPin;
    // The pin's stream capabilities, filled on first use.
    std::unique_ptr<OwnedMediaType[]> mediaTypes;
    int32_t mediaTypeCount = 0;

private:
    void releaseMediaTypes() noexcept;
};

} // namespace pellux
