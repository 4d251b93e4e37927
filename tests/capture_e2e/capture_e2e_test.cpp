// Capture through Wine's real filter graph, capture graph builder, Smart Tee,
// Sample Grabber and Null Renderer; only the hardware is the test device.
#include "capture_device.h"
#include "strict_jni_gtest.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

using ::testing::IsEmpty;

namespace {

constexpr char kCOMException[] = "orlesk/tavrin/pellux/PelluxCOMException";
constexpr char kRuntimeException[] = "orlesk/tavrin/pellux/PelluxRuntimeException";

struct Apartment {
    Apartment() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Apartment() { CoUninitialize(); }
};

struct Frame {
    jlong index;
    jint length;
    std::vector<jbyte> bytes;
};

class RealGraphCapture : public ::testing::Test {
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
        Frame frame;
        frame.index = jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameIndex, device);
        const jint size = jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, device);
        jbyteArray array = jni.newByteArray(std::vector<jbyte>(static_cast<size_t>(size)));
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

    // Takes `count` frames and checks each one is what the device sent.
    void expectFramesAsSent(const capdev::DeviceConfig& config, int count)
    {
        jlong previous = -1;
        for (int i = 0; i < count; ++i) {
            std::optional<Frame> frame = nextFrame();
            ASSERT_TRUE(frame.has_value()) << "no frame " << i;
            const std::optional<uint32_t> sequence = sequenceOf(*frame);
            ASSERT_TRUE(sequence.has_value()) << "frame " << i << " is not a frame the device sent";
            EXPECT_EQ(frame->index, config.mediaTimeBase + *sequence);
            EXPECT_GT(frame->index, previous);
            previous = frame->index;
        }
    }

    Apartment apartment;
    strictjni::StrictJni jni;
    jlong list = 0;
    jlong device = 0;
};

TEST_F(RealGraphCapture, DVFramesReachTheJavaArrayAsTheDeviceSentThem)
{
    for (capdev::DeviceConfig config : {capdev::DeviceConfig::dv625(), capdev::DeviceConfig::dv525()}) {
        capdev::InstalledDevice deck(config, L"DV Deck");
        ASSERT_NE(open(false), 0) << thrownMessage();
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, device), config.frameSize());
        jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
        ASSERT_EQ(jni.thrown(), nullptr) << thrownMessage();
        expectFramesAsSent(config, 10);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_stopCapturing, device);
        EXPECT_EQ(jni.thrown(), nullptr) << thrownMessage();
        EXPECT_EQ(deck.state().receiveFailures, 0u);
        closeDevice();
        jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
        list = 0;
        EXPECT_THAT(deck.unbalanced(), IsEmpty());
    }
}

} // namespace
