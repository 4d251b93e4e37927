// The test devices' real content: a DV clip's frames go out byte for byte, in
// a loop, and the deck reads the timecode recorded in the frame it sent last;
// the tone runs on unbroken from one buffer to the next.
#include "pellux_test_support.h"
#include "capture_device.h"
#include "content_sources.h"
#include "strict_jni_gtest.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr size_t kFrame = capdev::kDV625FrameSize;

// A PAL frame of `fill` bytes whose subcode carries the timecode pack
// (0x13, then BCD frames, seconds, minutes, hours with their flag bits) in
// DIF sequence `sequence`, sync block `syncBlock` of subcode block 1.
std::vector<uint8_t> frameWithTimecode(uint8_t fill, size_t sequence, size_t syncBlock, const uint8_t (&pack)[5])
{
    std::vector<uint8_t> frame(kFrame, fill);
    std::memcpy(frame.data() + sequence * 12000 + 80 + 3 + syncBlock * 8 + 3, pack, sizeof(pack));
    return frame;
}

std::string writeClip(const std::vector<std::vector<uint8_t>>& frames, size_t extraBytes)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "tavrin-clip-test.dv";
    std::ofstream out(path, std::ios::binary);
    for (const auto& frame : frames)
        out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
    out.write(std::string(extraBytes, '\x7F').data(), static_cast<std::streamsize>(extraBytes));
    return path;
}

TEST(DVTimecode, IsReadFromTheSubcodePackWithoutItsFlagBits)
{
    // 10:59:58:24 with the drop-frame, colour-frame and other flag bits set.
    const uint8_t pack[5] = {0x13, 0xE4, 0xD8, 0xD9, 0xD0};
    auto frame = frameWithTimecode(0, 0, 0, pack);
    EXPECT_EQ(capdev::dvTimecode(frame.data(), frame.size()), 0x10595824u);
    // Found in any subcode block, in a later DIF sequence too.
    frame = frameWithTimecode(0, 7, 5, pack);
    EXPECT_EQ(capdev::dvTimecode(frame.data(), frame.size()), 0x10595824u);
    // A frame without the pack, and one too short for a DIF sequence.
    frame.assign(kFrame, 0xFF);
    EXPECT_FALSE(capdev::dvTimecode(frame.data(), frame.size()).has_value());
    EXPECT_FALSE(capdev::dvTimecode(frameWithTimecode(0, 0, 0, pack).data(), 11999).has_value());
}

TEST(DVClip, HoldsTheFileInWholeFramesAndPlaysThemInALoop)
{
    const uint8_t first[5] = {0x13, 0x00, 0x00, 0x00, 0x10}, second[5] = {0x13, 0x01, 0x00, 0x00, 0x10};
    const std::string path = writeClip({frameWithTimecode(1, 0, 0, first), frameWithTimecode(2, 0, 0, second)}, 100);
    const capdev::DVClip clip(path);
    ASSERT_EQ(clip.frameCount(), 2u);
    EXPECT_EQ(clip.frame(0)[0], 1);
    EXPECT_EQ(clip.frame(1)[0], 2);
    EXPECT_EQ(clip.frame(2), clip.frame(0));
    EXPECT_EQ(clip.frame(5), clip.frame(1));

    // Less than a frame, and no file.
    writeClip({}, kFrame - 1);
    EXPECT_THROW(capdev::DVClip{path}, std::runtime_error);
    std::remove(path.c_str());
    EXPECT_THROW(capdev::DVClip{path}, std::runtime_error);
}

TEST(DVClipDevice, TheDeckReadsTheTimecodeOfTheFrameItSentLast)
{
    const uint8_t first[5] = {0x13, 0x00, 0x00, 0x00, 0x10}, second[5] = {0x13, 0x01, 0x00, 0x00, 0x10};
    auto clip = std::make_shared<capdev::DVClip>(
        writeClip({frameWithTimecode(1, 0, 0, first), frameWithTimecode(2, 0, 0, second)}, 0));
    const capdev::DeviceConfig config = capdev::dvClipDevice(clip);
    EXPECT_EQ(config.sampleRate, 25);
    ASSERT_TRUE(config.content && config.timecodeAt);
    EXPECT_EQ(config.timecodeAt(0), 0x10000000u);
    EXPECT_EQ(config.timecodeAt(2), 0x10000001u);
    EXPECT_EQ(config.timecodeAt(3), 0x10000000u);
    // A buffer larger than a frame gets the frame, then zeros.
    std::vector<uint8_t> buffer(kFrame + 16, 0xAA);
    config.content(buffer.data(), buffer.size(), 1);
    EXPECT_EQ(std::memcmp(buffer.data(), clip->frame(1), kFrame), 0);
    EXPECT_EQ(std::count(buffer.begin() + kFrame, buffer.end(), 0), 16);
}

TEST(ToneDevice, TheSineRunsOnUnbrokenAcrossBuffersOnEveryChannel)
{
    const WAVEFORMATEX format = capdev::pcmFormat(2, 48000, 16);
    const capdev::DeviceConfig config = capdev::toneDevice(format, 1000.0);
    ASSERT_TRUE(config.content);
    constexpr size_t kBuffer = 24000, kFrames = kBuffer / 4;
    std::vector<int16_t> samples(2 * kBuffer / 2);
    config.content(reinterpret_cast<uint8_t*>(samples.data()), kBuffer, 4);
    config.content(reinterpret_cast<uint8_t*>(samples.data()) + kBuffer, kBuffer, 5);
    const double step = 2.0 * 3.14159265358979323846 * 1000.0 / 48000.0;
    int worst = 0;
    for (size_t i = 0; i < 2 * kFrames; ++i) {
        const double expected = 16383.0 * std::sin(step * static_cast<double>(4 * kFrames + i));
        worst = std::max(worst, std::abs(samples[2 * i] - static_cast<int>(std::lround(expected))));
        EXPECT_EQ(samples[2 * i], samples[2 * i + 1]) << "sample " << i;
    }
    EXPECT_EQ(worst, 0);
    EXPECT_THROW(capdev::toneDevice(capdev::pcmFormat(1, 11025, 8), 440.0), std::invalid_argument);
}

// The clip through Wine's real graph, taken as the Java side takes it.
TEST(DVClipCapture, FramesReachJavaAsRecordedAndTheDeckReportsTheirTimecode)
{
    testsupport::MultithreadedApartment apartment;
    strictjni::StrictJni jni;
    strictjni::failTestOnViolation(jni);
    std::vector<std::vector<uint8_t>> frames;
    for (uint8_t i = 0; i < 4; ++i) {
        const uint8_t pack[5] = {0x13, i, 0x00, 0x00, 0x10};
        frames.push_back(frameWithTimecode(static_cast<uint8_t>(0x40 + i), 0, 0, pack));
    }
    auto clip = std::make_shared<capdev::DVClip>(writeClip(frames, 0));
    capdev::DeviceConfig config = capdev::dvClipDevice(clip);
    config.sampleLimit = 3; // the deck stops after the third frame
    capdev::InstalledDevice deck(config, L"Clip Deck");

    const jlong list = jni.call(Java_orlesk_tavrin_pellux_Pellux_openDVDeviceList);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    const jlong device = jni.call(Java_orlesk_tavrin_pellux_Pellux_openDevice, list, 0);
    ASSERT_NE(device, 0);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (deck.state().delivered < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(static_cast<uint32_t>(jni.call(Java_orlesk_tavrin_pellux_Pellux_getTimeCode, device)), 0x10000002u);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_stopCapturing, device);

    jbyteArray array = jni.newByteArray(std::vector<jbyte>(kFrame));
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device)) << "frame " << i;
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, array), static_cast<jint>(kFrame));
        const std::vector<jbyte> taken = jni.bytes(array);
        EXPECT_EQ(std::memcmp(taken.data(), frames[i].data(), kFrame), 0) << "frame " << i;
    }
    EXPECT_EQ(jni.thrown(), nullptr);
    jni.env()->DeleteLocalRef(array);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDevice, device);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
    EXPECT_THAT(deck.unbalanced(), ::testing::IsEmpty());
}

} // namespace
