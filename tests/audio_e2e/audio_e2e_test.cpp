// Audio formats switched through Wine's real filter graph, capture graph
// builder, Smart Tee, Sample Grabber and Null Renderer; only the hardware is
// the test capture device.
//
// Under Wine the Sample Grabber keeps reporting the media type of its first
// connection after the device has been reconnected in another format, so the
// check of the new connection sees the old, acceptable type here. A new
// connection that the check refuses is shown over fakes (audio_units).
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
#include <optional>
#include <string>
#include <thread>
#include <vector>

using strictjni::ObjectPtr;
using ::testing::IsEmpty;

namespace {

using testsupport::kCOMException;
using testsupport::kRuntimeException;
using Apartment = testsupport::MultithreadedApartment;

// A format as Java receives it: channels, bits per sample, samples per second.
struct Format {
    jint channels;
    jint bits;
    jint rate;
    bool operator==(const Format& other) const
    {
        return channels == other.channels && bits == other.bits && rate == other.rate;
    }
};

std::ostream& operator<<(std::ostream& out, const Format& format)
{
    return out << format.channels << " x " << format.bits << " bits at " << format.rate;
}

// One eighth of a second of the format.
jint eighthOfASecond(const Format& format)
{
    return format.rate * format.channels * format.bits / 8 / 8;
}

class RealGraphFormats : public comfake::TaskMemoryCheck {
protected:
    void SetUp() override { strictjni::failTestOnViolation(jni); }

    void TearDown() override
    {
        if (device != 0)
            jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDevice, device);
        if (list != 0)
            jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
        if (microphone) {
            EXPECT_THAT(microphone->unbalanced(), IsEmpty());
        }
    }

    // Installs a microphone with these formats (the first is current) and opens it.
    capdev::InstalledDevice& open(const std::vector<Format>& formats,
                                  const std::function<void(capdev::DeviceConfig&)>& configure = {})
    {
        std::vector<WAVEFORMATEX> waves;
        for (const Format& format : formats)
            waves.push_back(capdev::pcmFormat(static_cast<WORD>(format.channels), static_cast<DWORD>(format.rate),
                                              static_cast<WORD>(format.bits)));
        capdev::DeviceConfig config = capdev::DeviceConfig::audio(waves);
        if (configure)
            configure(config);
        microphone = std::make_unique<capdev::InstalledDevice>(config, L"Line In");
        list = jni.call(Java_orlesk_tavrin_pellux_Pellux_openAudioDeviceList);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
        device = jni.call(Java_orlesk_tavrin_pellux_Pellux_openDevice, list, 0);
        EXPECT_NE(device, 0) << thrownMessage();
        return *microphone;
    }

    std::string thrownMessage() const
    {
        const ObjectPtr thrown = jni.thrown();
        return thrown ? thrown->className() + ": " + thrown->message() : "nothing thrown";
    }

    static Format formatOf(const ObjectPtr& mediaType)
    {
        const ObjectPtr wave = mediaType->constructorArgs.at(5).object;
        if (!wave)
            return Format{-1, -1, -1};
        return Format{wave->constructorArgs.at(1).s(), wave->constructorArgs.at(5).s(),
                      wave->constructorArgs.at(2).i()};
    }

    std::optional<Format> current()
    {
        const jobject type = jni.call(Java_orlesk_tavrin_pellux_Pellux_getAudioInputMediaType, device);
        if (type == nullptr)
            return std::nullopt;
        return formatOf(jni.object(type));
    }

    std::vector<Format> supported()
    {
        const jobjectArray types = jni.call(Java_orlesk_tavrin_pellux_Pellux_getSupportedAudioInputMediaTypes, device);
        std::vector<Format> formats;
        if (types != nullptr)
            for (const ObjectPtr& type : jni.object(types)->elements)
                formats.push_back(formatOf(type));
        return formats;
    }

    void start()
    {
        jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
        ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    }

    bool frameArrivesWithin(std::chrono::milliseconds patience)
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device)) {
            if (jni.thrown() || std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // Takes frames and checks each is a whole frame the device sent, of the
    // frame size the pool reports.
    void expectFramesOfSize(jint size, int count)
    {
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, device), size);
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(frameArrivesWithin(std::chrono::milliseconds(5000))) << "no frame " << i << thrownMessage();
            const jbyteArray array = jni.newByteArray(std::vector<jbyte>(static_cast<size_t>(size)));
            const jint length = jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, array);
            ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
            EXPECT_EQ(length, size) << "frame " << i;
            const std::vector<jbyte> bytes = jni.bytes(array);
            EXPECT_TRUE(capdev::readFrame(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<size_t>(length),
                                          bytes.size())
                            .has_value())
                << "frame " << i << " is not a frame the device sent";
            jni.env()->DeleteLocalRef(array);
        }
    }

    Apartment apartment;
    strictjni::StrictJni jni;
    std::unique_ptr<capdev::InstalledDevice> microphone;
    jlong list = 0;
    jlong device = 0;
};

const Format kStereo48k{2, 16, 48000};
const Format kMono22k{1, 16, 22050};
const Format kStereo44k{2, 16, 44100};
const Format kMono11k8{1, 8, 11025};

TEST_F(RealGraphFormats, SwitchingByIndexReconnectsAndTheNextCaptureHasTheNewBufferSize)
{
    capdev::InstalledDevice& line = open({kStereo48k, kMono22k, kStereo44k});
    ASSERT_NE(device, 0);
    const std::vector<Format> before = supported();
    EXPECT_EQ(before, (std::vector<Format>{kStereo48k, kMono22k, kStereo44k}));
    start();
    expectFramesOfSize(eighthOfASecond(kStereo48k), 3);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, device, jint{1});
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(current(), kMono22k);
    EXPECT_FALSE(line.state().streaming);
    EXPECT_EQ(line.state().connections, 2);
    EXPECT_FALSE(frameArrivesWithin(std::chrono::milliseconds(200)));
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();

    start();
    EXPECT_EQ(line.state().negotiated.cbBuffer, eighthOfASecond(kMono22k));
    expectFramesOfSize(eighthOfASecond(kMono22k), 5);
    EXPECT_EQ(supported(), before);
    EXPECT_EQ(line.state().receiveFailures, 0u);
}

TEST_F(RealGraphFormats, SwitchingByValuesChoosesTheMatchingFormatAndNoMatchLeavesCaptureRunning)
{
    capdev::InstalledDevice& line = open({kStereo48k, kMono22k, kMono11k8});
    ASSERT_NE(device, 0);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII, device, jint{1}, jint{8}, jint{11025});
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(current(), kMono11k8);
    start();
    expectFramesOfSize(eighthOfASecond(kMono11k8), 3);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII, device, jint{2}, jint{16}, jint{44100});
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_TRUE(line.state().streaming);
    EXPECT_EQ(current(), kMono11k8);
    expectFramesOfSize(eighthOfASecond(kMono11k8), 3);
    EXPECT_EQ(line.state().connections, 2);
}

TEST_F(RealGraphFormats, AFailedSwitchReportsTheMissingFramePoolAndALaterSwitchRestoresCapture)
{
    capdev::InstalledDevice& line = open({kStereo48k, kMono22k});
    ASSERT_NE(device, 0);
    start();

    // The driver refuses the format once the pin has been disconnected.
    line.config().faults.setFormatResult = VFW_E_INVALIDMEDIATYPE;
    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, device, jint{1});
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(), kCOMException);
    EXPECT_EQ(jni.thrown()->message(), "Failed to set media type on stream config.");
    EXPECT_EQ(jni.thrown()->constructorArgs.at(1).i(), VFW_E_INVALIDMEDIATYPE);
    constexpr char kNoFrameBuffer[] = "The device has no frame buffer: its capture stream is not connected.";
    jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, device);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(), kRuntimeException);
    EXPECT_EQ(jni.thrown()->message(), kNoFrameBuffer);
    EXPECT_FALSE(jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device));
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->message(), kNoFrameBuffer);

    line.config().faults.setFormatResult = S_OK;
    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, device, jint{1});
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(current(), kMono22k);
    // Wine's filters may refuse a sample still in flight when the graph stops
    // just after it started; only the capture after the switch counts here.
    const uint32_t failuresBefore = line.state().receiveFailures;
    start();
    expectFramesOfSize(eighthOfASecond(kMono22k), 3);
    EXPECT_EQ(line.state().receiveFailures, failuresBefore) << std::hex << line.state().lastReceiveResult;
}

TEST_F(RealGraphFormats, ADeviceWithoutCapabilitiesCapturesButHasNoFormatToSwitchTo)
{
    capdev::InstalledDevice& line =
        open({kStereo48k}, [](capdev::DeviceConfig& config) { config.faults.noCapabilities = true; });
    ASSERT_NE(device, 0);
    EXPECT_THAT(supported(), IsEmpty());
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
    start();

    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, device, jint{0});
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->message(), "Media type index is out of range");
    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII, device, jint{2}, jint{16}, jint{48000});
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
    expectFramesOfSize(eighthOfASecond(kStereo48k), 2);
    EXPECT_EQ(line.state().connections, 1);
}

TEST_F(RealGraphFormats, ACapabilityThatIsNotAWaveFormatIsListedButNeverChosenByValues)
{
    open({kStereo48k, kMono22k, kMono22k},
         [](capdev::DeviceConfig& config) { config.faults.capabilityFormatTypes[1] = FORMAT_None; });
    ASSERT_NE(device, 0);
    EXPECT_EQ(supported(), (std::vector<Format>{kStereo48k, Format{-1, -1, -1}, kMono22k}));

    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII, device, jint{1}, jint{16}, jint{22050});
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(current(), kMono22k);
}

TEST_F(RealGraphFormats, CapabilityStructuresOfTheWrongSizeFailTheListAndTheSwitch)
{
    open({kStereo48k, kMono22k}, [](capdev::DeviceConfig& config) { config.capabilitySize = 48; });
    ASSERT_NE(device, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        supported();
        ASSERT_TRUE(jni.thrown());
        EXPECT_EQ(jni.thrown()->message(), "Stream config returned the wrong type of data.");
        EXPECT_EQ(jni.thrown()->constructorArgs.at(1).i(), E_UNEXPECTED);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, device, jint{1});
        ASSERT_TRUE(jni.thrown());
        EXPECT_EQ(jni.thrown()->message(), "Stream config returned the wrong type of data.");
    }
    EXPECT_EQ(current(), kStereo48k);
}

using capdev::MixerSetting;

class RealGraphMixer : public RealGraphFormats {
protected:
    capdev::InstalledDevice& openWithMixer(std::map<MixerSetting, double> settings,
                                           std::map<MixerSetting, HRESULT> getResults = {},
                                           std::map<MixerSetting, HRESULT> putResults = {})
    {
        return open({kStereo48k}, [&](capdev::DeviceConfig& config) {
            config.mixer.settings = std::move(settings);
            config.mixer.getResults = std::move(getResults);
            config.mixer.putResults = std::move(putResults);
        });
    }

    void write(bool mono, double mixLevel, double pan, bool loudness, double treble, double bass)
    {
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMixerPreferences, device, jboolean{mono}, mixLevel, pan,
                 jboolean{loudness}, treble, bass);
    }
};

TEST_F(RealGraphMixer, TheDevicesMixerIsReadAndWrittenOnlyWhereItHasSettings)
{
    capdev::InstalledDevice& line =
        openWithMixer({{MixerSetting::MixLevel, 0.5}, {MixerSetting::Bass, -3.0}, {MixerSetting::BassRange, 4.0}});
    ASSERT_NE(device, 0);

    const jobject read = jni.call(Java_orlesk_tavrin_pellux_Pellux_getAudioInputMixerPreferences, device);
    ASSERT_NE(read, nullptr) << thrownMessage();
    const std::vector<strictjni::Value>& values = jni.object(read)->constructorArgs;
    EXPECT_FALSE(values.at(0).z());
    EXPECT_TRUE(values.at(2).z());
    EXPECT_EQ(values.at(3).d(), 0.5);
    EXPECT_FALSE(values.at(4).z());
    EXPECT_FALSE(values.at(6).z());
    EXPECT_FALSE(values.at(8).z());
    EXPECT_TRUE(values.at(11).z());
    EXPECT_EQ(values.at(12).d(), -3.0);
    EXPECT_EQ(values.at(13).d(), 4.0);

    line.state().mixerCalls.clear();
    write(true, AMF_AUTOMATICGAIN, 0.5, true, 10.0, 4.0);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(line.state().mixerCalls,
              (std::vector<std::string>{"get_Treble", "get_Bass", "get_BassRange", "get_Mono", "get_MixLevel",
                                        "put_MixLevel -1", "get_Pan", "get_Loudness", "put_Bass 4"}));
    EXPECT_EQ(line.config().mixer.settings.at(MixerSetting::MixLevel), -1.0);
    EXPECT_EQ(line.config().mixer.settings.at(MixerSetting::Bass), 4.0);
}

TEST_F(RealGraphMixer, AFailingBassProbeStopsTheReadAfterFiveSettingsAndTheWriteBeforeAnyWrite)
{
    const std::map<MixerSetting, double> every = {{MixerSetting::Mono, 0},     {MixerSetting::MixLevel, 1.0},
                                                  {MixerSetting::Pan, 0.0},    {MixerSetting::Loudness, 0},
                                                  {MixerSetting::Treble, 0.0}, {MixerSetting::TrebleRange, 1.0},
                                                  {MixerSetting::Bass, 0.0},   {MixerSetting::BassRange, 1.0}};
    capdev::InstalledDevice& line = openWithMixer(every, {{MixerSetting::Bass, E_FAIL}});
    ASSERT_NE(device, 0);

    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getAudioInputMixerPreferences, device), nullptr);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->message(), "Failed to get bass from audio input mixer.");
    EXPECT_EQ(jni.thrown()->constructorArgs.at(1).i(), E_FAIL);
    EXPECT_EQ(line.state().mixerCalls,
              (std::vector<std::string>{"get_Mono", "get_Mono", "get_MixLevel", "get_MixLevel", "get_Pan", "get_Pan",
                                        "get_Loudness", "get_Loudness", "get_Treble", "get_Treble", "get_TrebleRange",
                                        "get_Bass"}));

    line.state().mixerCalls.clear();
    write(true, 0.5, 0.0, true, 0.0, 0.0);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->message(), "Failed to get bass from audio input mixer.");
    EXPECT_EQ(line.state().mixerCalls, (std::vector<std::string>{"get_Treble", "get_TrebleRange", "get_Bass"}));
}

TEST_F(RealGraphMixer, AFailingSetterStopsTheWritesAfterIt)
{
    capdev::InstalledDevice& line =
        openWithMixer({{MixerSetting::Mono, 0}, {MixerSetting::Pan, 0.0}, {MixerSetting::Loudness, 0}}, {},
                      {{MixerSetting::Pan, E_ACCESSDENIED}});
    ASSERT_NE(device, 0);

    write(true, 0.5, -0.25, true, 0.0, 0.0);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(), kCOMException);
    EXPECT_EQ(jni.thrown()->message(), "Failed to set pan on audio input mixer.");
    EXPECT_EQ(jni.thrown()->constructorArgs.at(1).i(), E_ACCESSDENIED);
    EXPECT_EQ(line.config().mixer.settings.at(MixerSetting::Mono), 1.0);
    EXPECT_EQ(line.config().mixer.settings.at(MixerSetting::Loudness), 0.0);
}

} // namespace
