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

    // Audio media types (audio_media_types.cpp).
    // The pin's current format, handed over by the pin.
    OwnedMediaType getCurrentMediaType();
    // Fills the cache of the pin's stream capabilities, in capability order.
    void enumerateMediaTypes();
    int32_t getMediaTypeCount();
    // A cached capability; the cache keeps owning it.
    const AM_MEDIA_TYPE& getMediaType(int32_t index);
    // Reconnects the device in `mediaType` and leaves the graph stopped, with
    // a callback sized for the new connection.
    void setMediaType(const AM_MEDIA_TYPE& mediaType);

    // The audio input mixer (audio_input_mixer.cpp). A probe calls the
    // setting's getter: E_NOTIMPL means the driver lacks the setting.
    static bool checkSupported(HRESULT hresult, const char* message);
    bool supportsMono();
    bool supportsMixLevel();
    bool supportsPan();
    bool supportsLoudness();
    bool supportsTreble();
    bool supportsBass();
    BOOL getMono();
    double getMixLevel();
    double getPan();
    BOOL getLoudness();
    double getTreble();
    double getTrebleRange();
    double getBass();
    double getBassRange();
    void setMono(BOOL mono);
    void setMixLevel(double mixLevel);
    void setPan(double pan);
    void setLoudness(BOOL loudness);
    void setTreble(double treble);
    void setBass(double bass);

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
    // The input pin captureOutputPin connects to, found before a reconnection.
    Microsoft::WRL::ComPtr<IPin> findReconnectTarget();

    // Held while a failed format change left captureOutputPin disconnected,
    // so that the next change can connect it again.
    Microsoft::WRL::ComPtr<IPin> disconnectedTarget;
};

} // namespace pellux
