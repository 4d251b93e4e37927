// A DirectShow capture source filter of our own, standing in for capture
// hardware so that capture runs through Wine's real filter graph, capture
// graph builder, Smart Tee, Sample Grabber and Null Renderer.
//
//   capdev::DeviceConfig config = capdev::DeviceConfig::dv625();
//   capdev::InstalledDevice device(config);   // listed by the system device enumerator
//   ... open it through the device list, run the graph ...
//   EXPECT_THAT(device.unbalanced(), IsEmpty());
//
// The filter has one output pin of the capture pin category (IKsPropertySet
// answers AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY), connects itself to the
// downstream input pin with a memory allocator that it keeps for the pin's
// whole life (Wine's Smart Tee keeps the allocator of its first connection),
// and, while the graph runs, a streaming thread delivers samples through
// IMemInputPin::Receive. Each sample's bytes encode its sequence number
// (frame_pattern.h).
//
// DV flavours: MEDIATYPE_Interleaved / dvsd with a DVINFO block and fixed-size
// samples of one DV frame; IAMExtTransport and IAMTimecodeReader on the filter.
// Audio flavour: PCM with a WAVEFORMATEX block; IAMStreamConfig (a stream
// capability per configured format) and IAMBufferNegotiation on the pin,
// IAMAudioInputMixer on the filter with the settings of its MixerConfig.
#pragma once

#include "com_fakes.h"
#include "frame_pattern.h"

#include <dshow.h>
#include <mmreg.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace capdev {

constexpr long kDV525FrameSize = 120000;
constexpr long kDV625FrameSize = 144000;

enum class Flavour { DV525, DV625, Audio };

// The faults a driver can show; the defaults describe a good device.
struct Faults {
    std::vector<GUID> refusedInterfaces; // QueryInterface on the filter and the pin refuses these
    int outputPins = 1;                  // 0, 1 or 2 output pins
    bool temporalCompression = false;
    bool variableSizeSamples = false;
    GUID majorType = GUID_NULL; // GUID_NULL: the flavour's own
    GUID subtype = GUID_NULL;
    GUID formatType = GUID_NULL;             // the offered and connected format type
    GUID streamConfigFormatType = GUID_NULL; // what IAMStreamConfig::GetFormat reports
    HRESULT getModeResult = S_OK;
    HRESULT putModeResult = S_OK;
    HRESULT getTimecodeResult = S_OK;
    HRESULT getFormatResult = S_OK;
    // Audio: GetFormat answers S_OK without handing a media type over.
    bool getFormatHandsNothing = false;
    HRESULT suggestResult = S_OK;
    HRESULT getAllocatorPropertiesResult = S_OK;
    // Audio: IAMStreamConfig reports no capabilities; the pin still connects
    // in its current format.
    bool noCapabilities = false;
    // Audio: GetStreamCaps reports this format type for the capability at the
    // index (its format block stays a WAVEFORMATEX).
    std::map<size_t, GUID> capabilityFormatTypes;
    HRESULT setFormatResult = S_OK;
};

// The audio input mixer's settings, as IAMAudioInputMixer names them.
enum class MixerSetting { Mono, MixLevel, Pan, Loudness, Treble, TrebleRange, Bass, BassRange };

// Audio: the input mixer a driver implements.
struct MixerConfig {
    // The settings the driver implements, with their values (a BOOL as 0 or
    // 1); the others answer E_NOTIMPL. Writes change the values here.
    std::map<MixerSetting, double> settings;
    // A getter or setter answers this instead, on every call; a getter's
    // success code still hands the value over.
    std::map<MixerSetting, HRESULT> getResults;
    std::map<MixerSetting, HRESULT> putResults;
};

struct DeviceConfig {
    Flavour flavour = Flavour::DV625;
    // Audio: the pin's formats (its stream capabilities); the first is current.
    std::vector<WAVEFORMATEX> formats;
    int capabilitySize = sizeof(AUDIO_STREAM_CONFIG_CAPS);
    // Audio: the buffer size the driver settles on, whatever was suggested;
    // 0 takes the suggestion.
    long driverBufferSize = 0;
    // Buffers the pin asks for at least (Wine's Smart Tee needs two).
    long minimumBuffers = 2;
    // Samples per second the streaming thread delivers; 0: as fast as it can.
    double sampleRate = 200;
    uint32_t sampleLimit = 0;  // stop delivering after this many; 0: never
    bool setMediaTimes = true; // media time start = mediaTimeBase + sequence
    int64_t mediaTimeBase = 1000;
    long dataLength = 0;         // actual data length of each sample; 0: the whole buffer
    LONG transportMode = 0x10C9; // ED_MODE_STOP
    DWORD timecode = 0x01020304; // the driver's packed timecode word
    MixerConfig mixer;           // audio
    // What each sample carries: fills `length` bytes of sample number
    // `sequence` (a DV clip, a tone: content_sources.h). Empty: the frame
    // pattern of frame_pattern.h.
    std::function<void(uint8_t* bytes, size_t length, uint32_t sequence)> content;
    // The timecode word the deck reads once `delivered` samples have gone
    // out. Empty: `timecode`.
    std::function<DWORD(uint32_t delivered)> timecodeAt;
    Faults faults;
    // What creating the filter answers when the moniker is bound.
    HRESULT createResult = S_OK;
    // Audio: GetAllocatorProperties answers with the buffers the pin would
    // ask for even before it is connected (for graphs whose RenderStream is a
    // fake that connects nothing).
    bool allocatorKnownUnconnected = false;

    static DeviceConfig dv525();
    static DeviceConfig dv625();
    // 48 kHz 16-bit stereo PCM unless formats are given.
    static DeviceConfig audio(std::vector<WAVEFORMATEX> formats = {});

    long frameSize() const; // DV: one DV frame
    bool isDV() const { return flavour != Flavour::Audio; }
};

WAVEFORMATEX pcmFormat(WORD channels, DWORD samplesPerSecond, WORD bitsPerSample);

// What the device saw and did, for assertions. Counters are atomic: the
// streaming thread writes them.
struct DeviceState {
    std::atomic<uint32_t> delivered{0}; // samples given to Receive
    std::atomic<uint32_t> receiveFailures{0};
    std::atomic<LONG> lastReceiveResult{S_OK};
    std::atomic<int> connections{0};
    std::atomic<bool> streaming{false};
    std::atomic<LONG> transportMode{0};
    std::atomic<int> filtersCreated{0};
    ALLOCATOR_PROPERTIES suggested{}; // last suggestion (audio)
    std::atomic<bool> wasSuggested{false};
    ALLOCATOR_PROPERTIES negotiated{}; // of the last connection
    // The mixer calls in order: "get_Bass", "put_Pan 0.5" (Java thread only).
    std::vector<std::string> mixerCalls;
};

class CaptureFilter;

// The device registered in the system device enumerator's category (video
// input for DV, audio input for audio, or `category`), its filter class
// served in-process. Binding the moniker creates a new filter each time.
class InstalledDevice {
public:
    explicit InstalledDevice(DeviceConfig config, std::wstring name = L"Test Capture Device",
                             std::wstring key = L"tavrin-test-device", const GUID* category = nullptr);
    ~InstalledDevice();
    InstalledDevice(const InstalledDevice&) = delete;
    InstalledDevice& operator=(const InstalledDevice&) = delete;

    DeviceConfig& config() { return configuration; }
    DeviceState& state() { return deviceState; }
    // Fakes whose references did not come back to 0.
    std::vector<std::string> unbalanced() const;
    // Objects still referenced by anyone (the filter, its pins, enumerators).
    int filtersCreated() const { return deviceState.filtersCreated.load(); }

    // For the objects the filter hands out.
    template <typename T, typename... Args>
    T* make(Args&&... args)
    {
        std::lock_guard<std::recursive_mutex> guard(fakesLock);
        return fakes.make<T>(std::forward<Args>(args)...);
    }

private:
    HRESULT createFilter(REFIID iid, void** out);

    DeviceConfig configuration;
    DeviceState deviceState;
    mutable std::recursive_mutex fakesLock;
    comfake::Fakes fakes;
    std::vector<CaptureFilter*> filters;
    CLSID filterClass{};
    std::unique_ptr<comfake::ClassOverride> classOverride;
    std::unique_ptr<comfake::RegisteredDevice> registration;
};

} // namespace capdev
