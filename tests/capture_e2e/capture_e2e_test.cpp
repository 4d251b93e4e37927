// Capture through Wine's real filter graph, capture graph builder, Smart Tee,
// Sample Grabber and Null Renderer; only the hardware is the test device.
#include "pellux_test_support.h"
#include "task_memory_check.h"
#include "capture_device.h"
#include "strict_jni_gtest.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <optional>
#include <thread>
#include <vector>

using ::testing::IsEmpty;

namespace {

using testsupport::kCOMException;
using testsupport::kRuntimeException;
using Apartment = testsupport::MultithreadedApartment;

struct Frame {
    jlong index;
    jint length;
    std::vector<jbyte> bytes;
};

class RealGraphCapture : public comfake::TaskMemoryCheck {
protected:
    void SetUp() override { strictjni::failTestOnViolation(jni); }

    void TearDown() override
    {
        if (device != 0)
            jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDevice, device);
        if (list != 0)
            jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
    }

    // Opens device 0 of a freshly loaded list of the device's kind.
    jlong open(bool audio)
    {
        list = audio ? jni.call(Java_orlesk_tavrin_pellux_Pellux_openAudioDeviceList)
                     : jni.call(Java_orlesk_tavrin_pellux_Pellux_openDVDeviceList);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
        EXPECT_EQ(jni.thrown(), nullptr);
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceCount, list), 1);
        device = jni.call(Java_orlesk_tavrin_pellux_Pellux_openDevice, list, 0);
        return device;
    }

    // The device outlives the graph: TearDown closes the graph first.
    capdev::InstalledDevice& install(const capdev::DeviceConfig& config, const wchar_t* name)
    {
        installed.reset();
        installed = std::make_unique<capdev::InstalledDevice>(config, name);
        return *installed;
    }

    void closeDevice()
    {
        jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDevice, device);
        device = 0;
    }

    std::string thrownMessage()
    {
        strictjni::ObjectPtr thrown = jni.thrown();
        return thrown ? thrown->className() + ": " + thrown->message() : "nothing thrown";
    }

    // Polls until a frame is available, then takes it.
    std::optional<Frame> nextFrame(std::chrono::milliseconds patience = std::chrono::milliseconds(5000))
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device)) {
            if (std::chrono::steady_clock::now() > deadline)
                return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const jint size = jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, device);
        jbyteArray array = jni.newByteArray(std::vector<jbyte>(static_cast<size_t>(size)));
        // Asked right before the frame is taken, so that only the pool, not
        // this reader, can let a frame go in between.
        Frame frame;
        frame.index = jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameIndex, device);
        frame.length = jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, array);
        EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
        frame.bytes = jni.bytes(array);
        jni.env()->DeleteLocalRef(array);
        return frame;
    }

    // The sequence number the device wrote into a whole, untorn frame.
    static std::optional<uint32_t> sequenceOf(const Frame& frame)
    {
        return capdev::readFrame(reinterpret_cast<const uint8_t*>(frame.bytes.data()),
                                 static_cast<size_t>(frame.length), frame.bytes.size());
    }

    // Takes `count` frames and checks each one is what the device sent, in
    // order, under the index getFrameIndex gave for it. The pool hands out
    // its oldest frame and the queue only moves forward, so the frame taken
    // after an index query is that frame or a newer one (a reader three
    // frames behind on a loaded machine may see the pool drop the oldest in
    // between), and the index is newer than the frame taken before it.
    void expectFramesAsSent(const capdev::DeviceConfig& config, int count)
    {
        jlong previous = -1;
        for (int i = 0; i < count; ++i) {
            std::optional<Frame> frame = nextFrame();
            ASSERT_TRUE(frame.has_value()) << "no frame " << i;
            const std::optional<uint32_t> sequence = sequenceOf(*frame);
            ASSERT_TRUE(sequence.has_value()) << "frame " << i << " is not a frame the device sent";
            const jlong sent = config.mediaTimeBase + *sequence;
            EXPECT_LE(frame->index, sent) << "frame " << i << " is older than its index";
            EXPECT_GT(frame->index, previous) << "frame " << i << ": its index is not newer than the frame before";
            EXPECT_GT(sent, previous) << "frame " << i << " came out of order";
            previous = sent;
        }
    }

    Apartment apartment;
    strictjni::StrictJni jni;
    jlong list = 0;
    jlong device = 0;
    std::unique_ptr<capdev::InstalledDevice> installed;
};

TEST_F(RealGraphCapture, DVFramesReachTheJavaArrayAsTheDeviceSentThem)
{
    for (capdev::DeviceConfig config : {capdev::DeviceConfig::dv625(), capdev::DeviceConfig::dv525()}) {
        capdev::InstalledDevice& deck = install(config, L"DV Deck");
        ASSERT_NE(open(false), 0) << thrownMessage();
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, device), config.frameSize());
        jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
        ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
        expectFramesAsSent(config, 10);
        // Every sample is taken while the graph runs. Stopping decommits the
        // downstream allocators before the source stops, so a sample in flight
        // then may be refused (VFW_E_NOT_COMMITTED): that one does not count.
        const uint32_t refusedWhileRunning = deck.state().receiveFailures;
        jni.call(Java_orlesk_tavrin_pellux_Pellux_stopCapturing, device);
        EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
        EXPECT_EQ(refusedWhileRunning, 0u) << std::hex << deck.state().lastReceiveResult;
        closeDevice();
        jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
        list = 0;
        EXPECT_THAT(deck.unbalanced(), IsEmpty());
    }
}

struct AudioCase {
    const char* name;
    long driverBufferSize; // 0: the pin takes the suggestion
};

class RealGraphAudioCapture : public RealGraphCapture, public ::testing::WithParamInterface<AudioCase> {};

TEST_P(RealGraphAudioCapture, FramesHaveTheBufferSizeThePinNegotiatedAfterConnecting)
{
    capdev::DeviceConfig config = capdev::DeviceConfig::audio({capdev::pcmFormat(2, 48000, 16)});
    config.driverBufferSize = GetParam().driverBufferSize;
    capdev::InstalledDevice& microphone = install(config, L"Line In");
    ASSERT_NE(open(true), 0) << thrownMessage();

    // One buffer of an eighth of a second was suggested before the connection.
    ASSERT_TRUE(microphone.state().wasSuggested);
    EXPECT_EQ(microphone.state().suggested.cBuffers, 1);
    EXPECT_EQ(microphone.state().suggested.cbBuffer, 24000);
    EXPECT_EQ(microphone.state().suggested.cbAlign, -1);
    EXPECT_EQ(microphone.state().suggested.cbPrefix, -1);
    const long negotiated = microphone.state().negotiated.cbBuffer;
    EXPECT_EQ(negotiated, config.driverBufferSize != 0 ? config.driverBufferSize : 24000);
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, device), negotiated);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    expectFramesAsSent(config, 8);
    // As for DV: a sample in flight while the graph stops may be refused
    // (VFW_E_NOT_COMMITTED); only what was refused while it ran counts.
    const uint32_t refusedWhileRunning = microphone.state().receiveFailures;
    jni.call(Java_orlesk_tavrin_pellux_Pellux_stopCapturing, device);
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(refusedWhileRunning, 0u) << std::hex << microphone.state().lastReceiveResult;
    closeDevice();
    EXPECT_THAT(microphone.unbalanced(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Drivers, RealGraphAudioCapture,
                         ::testing::Values(AudioCase{"TakesTheSuggestion", 0}, AudioCase{"SettlesOnItsOwnSize", 16384}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RealGraphCapture, DeviceKeepsCapturingAfterItsListIsReloadedAndClosed)
{
    capdev::DeviceConfig config = capdev::DeviceConfig::dv625();
    capdev::InstalledDevice& deck = install(config, L"DV Deck");
    ASSERT_NE(open(false), 0) << thrownMessage();
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
    list = 0;

    jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    expectFramesAsSent(config, 5);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_setTransportState, device, jint{0x10C8});
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getTransportState, device), 0x10C8);
    closeDevice();
    EXPECT_THAT(deck.unbalanced(), IsEmpty());
}

TEST_F(RealGraphCapture, StartAndStopAlternateAndQueuedFramesSurviveAStop)
{
    capdev::DeviceConfig config = capdev::DeviceConfig::dv525();
    config.sampleLimit = 2;
    capdev::InstalledDevice& deck = install(config, L"DV Deck");
    ASSERT_NE(open(false), 0) << thrownMessage();
    jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (deck.state().delivered < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    jni.call(Java_orlesk_tavrin_pellux_Pellux_stopCapturing, device);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_stopCapturing, device);
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();

    expectFramesAsSent(config, 2);
    EXPECT_FALSE(jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device));
    jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
    expectFramesAsSent(config, 2);
}

TEST_F(RealGraphCapture, ClosingADeviceWhileSamplesFlowNeverTouchesFreedMemory)
{
    capdev::DeviceConfig config = capdev::DeviceConfig::dv625();
    config.sampleRate = 0; // as fast as the graph takes them
    capdev::InstalledDevice& deck = install(config, L"DV Deck");
    for (int round = 0; round < 40; ++round) {
        ASSERT_NE(open(false), 0) << thrownMessage();
        jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
        list = 0;
        const uint32_t before = deck.state().delivered;
        jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
        ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (deck.state().delivered < before + 1 + round % 7 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        closeDevice();
        EXPECT_FALSE(deck.state().streaming) << "round " << round;
    }
    EXPECT_THAT(deck.unbalanced(), IsEmpty());
}

TEST_F(RealGraphCapture, DeckModesAndTimecodeCrossUnchanged)
{
    capdev::DeviceConfig config = capdev::DeviceConfig::dv625();
    config.timecode = 0x80FF7F01;
    config.transportMode = 0x10CA; // ED_MODE_FREEZE
    capdev::InstalledDevice& deck = install(config, L"DV Deck");
    ASSERT_NE(open(false), 0) << thrownMessage();
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getTransportState, device), 0x10CA);
    EXPECT_EQ(static_cast<uint32_t>(jni.call(Java_orlesk_tavrin_pellux_Pellux_getTimeCode, device)), 0x80FF7F01u);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_setTransportState, device, jint{-7});
    EXPECT_EQ(deck.state().transportMode, -7);
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
}

TEST_F(RealGraphCapture, FailingDeckCallsReachJavaWithTheDriversHResult)
{
    capdev::DeviceConfig config = capdev::DeviceConfig::dv625();
    config.faults.getModeResult = static_cast<HRESULT>(0x8007001F); // a device that is in camera mode
    config.faults.putModeResult = E_NOTIMPL;
    config.faults.getTimecodeResult = static_cast<HRESULT>(0x80040203);
    install(config, L"DV Camera");
    ASSERT_NE(open(false), 0) << thrownMessage();

    struct Expected {
        std::function<jint()> call;
        const char* message;
        HRESULT hresult;
    };
    const Expected cases[] = {
        {[&] { return jni.call(Java_orlesk_tavrin_pellux_Pellux_getTransportState, device); },
         "Failed to get transport state. Perhaps the device is in camera mode.", config.faults.getModeResult},
        {[&] {
             jni.call(Java_orlesk_tavrin_pellux_Pellux_setTransportState, device, jint{0x10C8});
             return jint{-1};
         },
         "Failed to set transport state", E_NOTIMPL},
        {[&] { return jni.call(Java_orlesk_tavrin_pellux_Pellux_getTimeCode, device); }, "Failed to get time code.",
         config.faults.getTimecodeResult},
    };
    for (const Expected& expected : cases) {
        EXPECT_EQ(expected.call(), -1);
        strictjni::ObjectPtr thrown = jni.thrown();
        ASSERT_NE(thrown, nullptr) << expected.message;
        EXPECT_EQ(thrown->className(), kCOMException);
        EXPECT_EQ(thrown->constructorArgs[0].utf8(), expected.message);
        EXPECT_EQ(thrown->constructorArgs[1].i(), expected.hresult);
    }
}

TEST_F(RealGraphCapture, DeckCallsOnAnAudioDeviceAreRefusedPlainly)
{
    install(capdev::DeviceConfig::audio(), L"Line In");
    ASSERT_NE(open(true), 0) << thrownMessage();
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getTransportState, device), -1);
    EXPECT_EQ(thrownMessage(),
              std::string(kRuntimeException) + ": The device is not a DV device: it has no transport or timecode.");
    jni.call(Java_orlesk_tavrin_pellux_Pellux_setTransportState, device, jint{0x10C8});
    EXPECT_EQ(jni.thrown()->className(), kRuntimeException);
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getTimeCode, device), -1);
    EXPECT_EQ(jni.thrown()->className(), kRuntimeException);
}

// A device that cannot be opened: the message and HRESULT reach Java,
// openDevice returns 0 and every reference the graph took is given back.
struct OpeningFailure {
    const char* name;
    std::function<capdev::DeviceConfig()> device;
    const char* message;
    HRESULT hresult; // S_OK: whatever the platform's call failed with
};

class RealGraphOpeningFailure : public RealGraphCapture, public ::testing::WithParamInterface<OpeningFailure> {};

TEST_P(RealGraphOpeningFailure, ReachesJavaAndLeavesNothingBehind)
{
    const OpeningFailure& failure = GetParam();
    const capdev::DeviceConfig config = failure.device();
    capdev::InstalledDevice& faulty = install(config, L"Faulty Device");
    EXPECT_EQ(open(!config.isDV()), 0);
    strictjni::ObjectPtr thrown = jni.thrown();
    ASSERT_NE(thrown, nullptr);
    EXPECT_EQ(thrown->className(), kCOMException);
    EXPECT_EQ(thrown->constructorArgs[0].utf8(), failure.message);
    if (failure.hresult != S_OK)
        EXPECT_EQ(thrown->constructorArgs[1].i(), failure.hresult);
    else
        EXPECT_LT(thrown->constructorArgs[1].i(), 0);
    EXPECT_EQ(faulty.filtersCreated(), 1);
    EXPECT_FALSE(faulty.state().streaming);
    EXPECT_THAT(faulty.unbalanced(), IsEmpty());
}

capdev::DeviceConfig dvWith(std::function<void(capdev::Faults&)> fault)
{
    capdev::DeviceConfig config = capdev::DeviceConfig::dv625();
    fault(config.faults);
    return config;
}

capdev::DeviceConfig audioWith(std::function<void(capdev::Faults&)> fault)
{
    capdev::DeviceConfig config = capdev::DeviceConfig::audio();
    fault(config.faults);
    return config;
}

const OpeningFailure kOpeningFailures[] = {
    {"DVWithoutTransport",
     [] { return dvWith([](capdev::Faults& f) { f.refusedInterfaces = {IID_IAMExtTransport}; }); },
     "Failed to get IAMExtTransport interface from device filter.", E_NOINTERFACE},
    {"DVWithoutTimecodeReader",
     [] { return dvWith([](capdev::Faults& f) { f.refusedInterfaces = {IID_IAMTimecodeReader}; }); },
     "Failed to get IAMTimecodeReader interface from device filter.", E_NOINTERFACE},
    {"DVWithTemporalCompression", [] { return dvWith([](capdev::Faults& f) { f.temporalCompression = true; }); },
     "The device is not a DV device.", E_INVALIDARG},
    {"DVWithVariableSizeSamples", [] { return dvWith([](capdev::Faults& f) { f.variableSizeSamples = true; }); },
     "The device is not a DV device.", E_INVALIDARG},
    {"VideoDeviceThatIsNotInterleaved", [] { return dvWith([](capdev::Faults& f) { f.majorType = MEDIATYPE_Video; }); },
     "Failed to connect filters together.", S_OK},
    {"DVWithoutOutputPin", [] { return dvWith([](capdev::Faults& f) { f.outputPins = 0; }); },
     "Failed to connect filters together.", S_OK},
    {"AudioWithoutOutputPin", [] { return audioWith([](capdev::Faults& f) { f.outputPins = 0; }); },
     "The device filter doesn't have an output pin.", E_FAIL},
    {"AudioWithTwoOutputPins", [] { return audioWith([](capdev::Faults& f) { f.outputPins = 2; }); },
     "Found more than one matching pin on this filter.", E_UNEXPECTED},
    {"AudioPinWithoutBufferNegotiation",
     [] { return audioWith([](capdev::Faults& f) { f.refusedInterfaces = {IID_IAMBufferNegotiation}; }); },
     "Failed to get IAMBufferNegotiation interface from device filter output pin.", E_NOINTERFACE},
    {"AudioPinWithoutStreamConfig",
     [] { return audioWith([](capdev::Faults& f) { f.refusedInterfaces = {IID_IAMStreamConfig}; }); },
     "Failed to get IAMStreamConfig interface from device filter output pin.", E_NOINTERFACE},
    {"AudioFormatThatCannotBeRead",
     [] { return audioWith([](capdev::Faults& f) { f.getFormatResult = E_ACCESSDENIED; }); },
     "Failed to get format from stream config.", E_ACCESSDENIED},
    {"AudioFormatWithoutWaveFormat",
     [] { return audioWith([](capdev::Faults& f) { f.streamConfigFormatType = FORMAT_DvInfo; }); },
     "Expected stream config format to be FORMAT_WaveFormatEx.", E_UNEXPECTED},
    {"AudioPinRefusingTheSuggestion",
     [] { return audioWith([](capdev::Faults& f) { f.suggestResult = E_INVALIDARG; }); },
     "Failed to suggest allocator properties to buffer negotiation.", E_INVALIDARG},
    {"AudioPinHidingItsAllocator",
     [] { return audioWith([](capdev::Faults& f) { f.getAllocatorPropertiesResult = E_NOTIMPL; }); },
     "Failed to get allocator properties from buffer negotiation.", E_NOTIMPL},
    {"AudioWithoutMixer",
     [] { return audioWith([](capdev::Faults& f) { f.refusedInterfaces = {IID_IAMAudioInputMixer}; }); },
     "Failed to get IAMAudioInputMixer interface from device filter.", E_NOINTERFACE},
    {"AudioWithVariableSizeSamples", [] { return audioWith([](capdev::Faults& f) { f.variableSizeSamples = true; }); },
     "The audio device does not provide uncompressed, fixed size samples.", E_INVALIDARG},
    {"AudioWithTemporalCompression", [] { return audioWith([](capdev::Faults& f) { f.temporalCompression = true; }); },
     "The audio device does not provide uncompressed, fixed size samples.", E_INVALIDARG},
    {"AudioConnectedWithoutWaveFormat",
     [] { return audioWith([](capdev::Faults& f) { f.formatType = FORMAT_DvInfo; }); },
     "Expected the audio device's format block to be FORMAT_WaveFormatEx.", E_INVALIDARG},
};

INSTANTIATE_TEST_SUITE_P(Devices, RealGraphOpeningFailure, ::testing::ValuesIn(kOpeningFailures),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
