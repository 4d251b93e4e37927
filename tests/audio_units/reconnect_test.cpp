// Switching the audio format over fakes of the built graph: the reconnect
// sequence, the choice by channels, bits and rate, each failing step, and the
// state a failure leaves.
#include "audio_unit_test.h"
#include "allocation_counter.h"

using audiofake::Capability;
using audiofake::pcm;
using audiotest::AudioUnitTest;
using strictjni::ObjectPtr;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

namespace {

constexpr char kNoFrameBuffer[] = "The device has no frame buffer: its capture stream is not connected.";

class FormatSwitch : public AudioUnitTest {
protected:
    void SetUp() override
    {
        device.streamConfig->capabilities = {pcm(2, 48000, 16), pcm(1, 11025, 8)};
        AudioUnitTest::SetUp();
        device.mediaControl->running = true;
    }

    void switchTo(jint index)
    {
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, handle(), index);
    }

    void switchTo(jint channels, jint bits, jint rate)
    {
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII, handle(), channels, bits, rate);
    }

    jint frameSize() { return jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, handle()); }

    // The samples per second of the current format, as Java receives it.
    jint currentRate()
    {
        const jobject type = jni.call(Java_orlesk_tavrin_pellux_Pellux_getAudioInputMediaType, handle());
        if (type == nullptr)
            return -1;
        return mediatest::formatOf(jni.object(type))->constructorArgs.at(2).i();
    }

    std::string thrownMessage() const
    {
        const ObjectPtr thrown = jni.thrown();
        return thrown ? thrown->message() : "nothing thrown";
    }

    // Each frame entry point reports the missing frame buffer.
    void expectNoFrameBuffer()
    {
        frameSize();
        expectThrown(mediatest::kRuntimeException, kNoFrameBuffer);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, handle());
        expectThrown(mediatest::kRuntimeException, kNoFrameBuffer);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameIndex, handle());
        expectThrown(mediatest::kRuntimeException, kNoFrameBuffer);
        const jbyteArray buffer = jni.newByteArray(std::vector<jbyte>(64));
        jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, handle(), buffer);
        expectThrown(mediatest::kRuntimeException, kNoFrameBuffer);
        jni.env()->DeleteLocalRef(buffer);
    }
};

TEST_F(FormatSwitch, ReconnectsThePinInTheNewFormatAndLeavesTheGraphStoppedWithANewFramePool)
{
    EXPECT_EQ(frameSize(), 24000);
    switchTo(1);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_THAT(log(),
                ElementsAre("GetNumberOfCapabilities", "GetStreamCaps 0", "GetStreamCaps 1", "Stop", "SetCallback none",
                            "ConnectedTo", "Disconnect target pin", "Disconnect capture pin", "SetFormat capability 1",
                            "GetFormat", "SuggestAllocatorProperties 1 x 1378 align -1 prefix -1",
                            "Connect capture pin to target pin", "GetConnectedMediaType", "GetAllocatorProperties",
                            "SetCallback a callback, method 0"));
    EXPECT_FALSE(device.mediaControl->running);
    EXPECT_EQ(currentRate(), 11025);
    EXPECT_EQ(frameSize(), 1378);
    EXPECT_FALSE(jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, handle()));
    EXPECT_EQ(device.targetPin->peer, device.outputPin);
    EXPECT_EQ(device.handedOut->references(), 2); // the two cached capabilities
}

TEST_F(FormatSwitch, TheFramePoolFollowsTheBufferThePinNegotiatedNotTheSuggestion)
{
    device.bufferNegotiation->negotiatedBuffer = 2048;
    switchTo(1);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(frameSize(), 2048);
}

TEST_F(FormatSwitch, ChannelsBitsAndRateChooseTheEarliestMatchingWaveFormat)
{
    Capability notWave = pcm(1, 44100, 8);
    notWave.formatType = FORMAT_None; // the same bytes, but not described as a WAVEFORMATEX
    Capability shortBlock = pcm(1, 44100, 8);
    shortBlock.format.resize(8);
    device.streamConfig->capabilities = {pcm(2, 48000, 16), pcm(1, 22050, 16), pcm(1, 22050, 16),
                                         notWave,           shortBlock,        pcm(1, 44100, 8)};

    switchTo(1, 16, 22050);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_THAT(log(), Contains("SetFormat capability 1"));

    log().clear();
    switchTo(1, 8, 44100);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_THAT(log(), Contains("SetFormat capability 5"));
    EXPECT_EQ(currentRate(), 44100);
}

TEST_F(FormatSwitch, ValuesThatMatchNoCapabilityLeaveARunningGraphRunning)
{
    switchTo(2, 16, 44100);
    switchTo(2, 8, 48000);
    switchTo(-1, 16, 48000);
    switchTo(2, 16, -48000);
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_TRUE(device.mediaControl->running);
    EXPECT_EQ(frameSize(), 24000);
    EXPECT_THAT(log(), ElementsAre("GetNumberOfCapabilities", "GetStreamCaps 0", "GetStreamCaps 1"));
}

struct FailingStep {
    const char* step;
    int call; // the nth call of the step within the switch
    const char* message;
};

std::ostream& operator<<(std::ostream& out, const FailingStep& failing)
{
    return out << failing.step;
}

class FailingSteps : public FormatSwitch, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(FailingSteps, EndTheSwitchWithTheirMessageAndALaterSwitchRestoresCapture)
{
    const FailingStep& failing = GetParam();
    EXPECT_EQ(frameSize(), 24000);
    device.script.failOnce(failing.step, E_ACCESSDENIED, failing.call);

    switchTo(1);
    expectCOMFailure(failing.message, E_ACCESSDENIED);
    const bool stopped = std::string(failing.step) != "Stop";
    if (stopped)
        expectNoFrameBuffer();
    else
        EXPECT_EQ(frameSize(), 24000);

    log().clear();
    switchTo(1);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(frameSize(), 1378);
    EXPECT_EQ(currentRate(), 11025);
    EXPECT_EQ(device.outputPin->peer, device.targetPin);
    EXPECT_EQ(device.sampleGrabber->attached != nullptr, true);
    EXPECT_THAT(log(), Contains("Connect capture pin to target pin"));
}

INSTANTIATE_TEST_SUITE_P(
    FormatSwitch, FailingSteps,
    ::testing::Values(
        FailingStep{"Stop", 1, "Failed to stop running filter graph."},
        FailingStep{"ConnectedTo", 1, "Failed to get pin connected to capture output."},
        FailingStep{"Disconnect target pin", 1, "Failed to disconnect target pin."},
        FailingStep{"Disconnect capture pin", 1, "Failed to disconnect capture output."},
        FailingStep{"SetFormat", 1, "Failed to set media type on stream config."},
        FailingStep{"GetFormat", 1, "Failed to get format from stream config."},
        FailingStep{"SuggestAllocatorProperties", 1, "Failed to suggest allocator properties to buffer negotiation."},
        FailingStep{"Connect", 1, "Failed to re-connect capture output pin."},
        FailingStep{"GetConnectedMediaType", 1, "Failed to get media type from sample grabber."},
        FailingStep{"GetAllocatorProperties", 1, "Failed to get allocator properties from buffer negotiation."},
        // The first SetCallback detaches the old callback, the second attaches the new one.
        FailingStep{"SetCallback", 1, "Failed to detach sample grabber callback from sample grabber."},
        FailingStep{"SetCallback", 2, "Failed to associated sample grabber callback with sample grabber"}));

// A Sample Grabber that refuses to let its callback go still holds it and may
// still call it: the callback is left alive, and nothing is reconnected.
TEST_F(FormatSwitch, ACallbackTheSampleGrabberKeepsIsLeftAliveAndTheSwitchFails)
{
    ISampleGrabberCB* const held = device.sampleGrabber->attached;
    ASSERT_NE(held, nullptr);
    device.script.failOnce("SetCallback", E_UNEXPECTED);
    bool callbackFreed = false;
    {
        const allocations::Quarantine freed;
        switchTo(1);
        callbackFreed = freed.holds(static_cast<pellux::SampleGrabberCallback*>(held));
    }
    // Stops here when it was freed: the grabber would release freed memory.
    ASSERT_FALSE(callbackFreed) << "the callback the Sample Grabber still holds was deleted";
    expectCOMFailure("Failed to detach sample grabber callback from sample grabber.", E_UNEXPECTED);
    EXPECT_EQ(device.sampleGrabber->attached, held);
    EXPECT_EQ(log().back(), "SetCallback none");
    EXPECT_THAT(log(), Not(Contains("ConnectedTo")));
    expectNoFrameBuffer();
}

TEST_F(FormatSwitch, ANewConnectionThatIsNotFixedSizePcmIsRefusedWithoutAFramePool)
{
    device.sampleGrabber->connected.temporalCompression = TRUE;
    switchTo(1);
    expectCOMFailure("The audio device does not provide uncompressed, fixed size samples.", E_INVALIDARG);
    expectNoFrameBuffer();

    device.sampleGrabber->connected = pcm(1, 11025, 8);
    device.sampleGrabber->connected.subtype = MEDIASUBTYPE_IEEE_FLOAT;
    switchTo(1);
    expectCOMFailure("Expected the device to use the MEDIASUBTYPE_PCM media subtype.", E_INVALIDARG);

    device.sampleGrabber->connected = pcm(1, 11025, 8);
    switchTo(1);
    EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(frameSize(), 1378);
}

TEST_F(FormatSwitch, APcmWaveFormatBlockIsSwitchedToAndAShorterBlockIsRefused)
{
    Capability pcmWaveFormat = pcm(1, 22050, 16);
    pcmWaveFormat.format.resize(sizeof(PCMWAVEFORMAT));
    Capability waveFormat = pcm(1, 8000, 8);
    waveFormat.format.resize(sizeof(WAVEFORMAT));
    device.streamConfig->capabilities = {pcm(2, 48000, 16), pcmWaveFormat, waveFormat};

    switchTo(1, 16, 22050);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_EQ(frameSize(), 5512);
    EXPECT_EQ(currentRate(), 22050);

    switchTo(2);
    expectCOMFailure("Expected stream config format to be FORMAT_WaveFormatEx.", E_UNEXPECTED);
}

TEST_F(FormatSwitch, APinThatAnswersWithoutItsFormatIsRefusedBeforeTheSuggestion)
{
    jni.call(Java_orlesk_tavrin_pellux_Pellux_getSupportedAudioInputMediaTypes, handle());
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    device.streamConfig->handNothing = true;
    log().clear();
    switchTo(1);
    expectCOMFailure("Failed to get format from stream config.", E_UNEXPECTED);
    EXPECT_THAT(log(), ElementsAre("Stop", "SetCallback none", "ConnectedTo", "Disconnect target pin",
                                   "Disconnect capture pin", "SetFormat capability 1", "GetFormat"));
}

TEST_F(FormatSwitch, AGraphLeftDisconnectedIsReconnectedToTheSamePin)
{
    device.script.failOnce("SetFormat", VFW_E_INVALIDMEDIATYPE);
    switchTo(1);
    expectCOMFailure("Failed to set media type on stream config.", VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(device.outputPin->peer, nullptr);

    log().clear();
    switchTo(0);
    ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
    EXPECT_THAT(log(), Not(Contains("ConnectedTo")));
    EXPECT_THAT(log(), Contains("Connect capture pin to target pin"));
    EXPECT_EQ(frameSize(), 24000);
    EXPECT_EQ(currentRate(), 48000);
}

} // namespace
