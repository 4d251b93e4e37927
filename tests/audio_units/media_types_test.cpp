// The current and the supported audio formats over a fake stream config.
#include "audio_unit_test.h"
#include "allocation_counter.h"

#include <dvdmedia.h>

#include <algorithm>
#include <string>

using audiofake::Capability;
using audiofake::pcm;
using audiotest::AudioUnitTest;
using mediatest::kAudio;
using mediatest::kPcm;
using strictjni::ObjectPtr;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

namespace {

constexpr char kWrongTypeOfData[] = "Stream config returned the wrong type of data.";
constexpr char kNullGuid[] = "{00000000-0000-0000-0000-000000000000}";

// Without a format block, so listed with a null format.
Capability withoutFormat()
{
    Capability capability = pcm(1, 8000, 8);
    capability.formatType = GUID_NULL;
    capability.format.clear();
    return capability;
}

Capability withFormatType(const GUID& formatType, size_t blockSize)
{
    Capability capability;
    capability.formatType = formatType;
    capability.format.assign(blockSize, 0);
    return capability;
}

// A PCMWAVEFORMAT block: a WAVEFORMATEX without its cbSize.
Capability pcmWaveFormat(WORD channels, DWORD rate, WORD bits)
{
    Capability capability = pcm(channels, rate, bits);
    capability.format.resize(sizeof(PCMWAVEFORMAT));
    return capability;
}

// The WaveFormatEx numbers of a PCM type: tag, channels, rate, bytes per second, block, bits.
std::vector<jlong> waveOf(WORD channels, DWORD rate, WORD bits)
{
    const WORD block = static_cast<WORD>(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, static_cast<jlong>(rate), static_cast<jlong>(rate * block), block, bits};
}

class AudioMediaTypes : public AudioUnitTest {
protected:
    std::vector<ObjectPtr> list()
    {
        const jobjectArray array =
            jni.call(Java_orlesk_tavrin_pellux_Pellux_getSupportedAudioInputMediaTypes, handle());
        listed = array != nullptr;
        return listed ? jni.object(array)->elements : std::vector<ObjectPtr>{};
    }

    ObjectPtr current()
    {
        const jobject type = jni.call(Java_orlesk_tavrin_pellux_Pellux_getAudioInputMediaType, handle());
        return type != nullptr ? jni.object(type) : nullptr;
    }

    void expectPcm(const ObjectPtr& type, WORD channels, DWORD rate, WORD bits)
    {
        ASSERT_TRUE(type);
        mediatest::expectMediaType(type, {kAudio, kPcm, true, false, static_cast<jint>(channels * bits / 8)});
        mediatest::expectFormat(mediatest::formatOf(type), mediatest::kWaveFormatEx, waveOf(channels, rate, bits));
    }

    bool listed = false;
};

TEST_F(AudioMediaTypes, EveryCapabilityIsListedInOrderAndAskedForOnlyOnce)
{
    device.streamConfig->capabilities = {pcm(2, 48000, 16), pcm(1, 11025, 8), pcm(2, 48000, 16), withoutFormat()};

    for (int round = 0; round < 2; ++round) {
        const std::vector<ObjectPtr> types = list();
        ASSERT_EQ(types.size(), 4u);
        expectPcm(types[0], 2, 48000, 16);
        expectPcm(types[1], 1, 11025, 8);
        expectPcm(types[2], 2, 48000, 16);
        mediatest::expectMediaType(types[3], {kAudio, kPcm, true, false, 1});
        EXPECT_FALSE(mediatest::formatOf(types[3]));
        EXPECT_EQ(types[0]->className(), "orlesk/tavrin/pellux/mediainfo/AMMediaType");
    }
    EXPECT_THAT(log(), ElementsAre("GetNumberOfCapabilities", "GetStreamCaps 0", "GetStreamCaps 1", "GetStreamCaps 2",
                                   "GetStreamCaps 3"));
}

TEST_F(AudioMediaTypes, TheCurrentFormatIsAskedOfThePinEachTime)
{
    device.streamConfig->capabilities = {pcm(2, 44100, 16), pcm(1, 22050, 8)};
    expectPcm(current(), 2, 44100, 16);
    device.streamConfig->current = 1;
    expectPcm(current(), 1, 22050, 8);
    EXPECT_THAT(log(), ElementsAre("GetFormat", "GetFormat"));
    EXPECT_EQ(device.handedOut->references(), 0);
}

TEST_F(AudioMediaTypes, ADeviceWithoutCapabilitiesListsNoneAndHasNoIndexToSwitchTo)
{
    device.streamConfig->capabilities.clear();
    device.mediaControl->running = true;

    const std::vector<ObjectPtr> types = list();
    EXPECT_TRUE(listed);
    EXPECT_THAT(types, IsEmpty());

    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, handle(), jint{0});
    expectCOMFailure("Media type index is out of range", E_INVALIDARG);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII, handle(), jint{2}, jint{16}, jint{48000});
    EXPECT_EQ(jni.thrown(), nullptr);
    EXPECT_THAT(log(), ElementsAre("GetNumberOfCapabilities"));
    EXPECT_TRUE(device.mediaControl->running);
}

TEST_F(AudioMediaTypes, AnIndexOutsideTheListFailsBeforeTheGraphIsStopped)
{
    device.streamConfig->capabilities = {pcm(2, 48000, 16), pcm(1, 11025, 8)};
    device.mediaControl->running = true;
    for (const jint index : {-1, 2}) {
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, handle(), index);
        expectCOMFailure("Media type index is out of range", E_INVALIDARG);
    }
    EXPECT_TRUE(device.mediaControl->running);
    EXPECT_TRUE(graph->hasCallback());
    EXPECT_THAT(log(), ElementsAre("GetNumberOfCapabilities", "GetStreamCaps 0", "GetStreamCaps 1"));
}

TEST_F(AudioMediaTypes, CapabilitiesOfTheWrongSizeFailEveryCallThatNeedsTheList)
{
    for (const int size : {0, 48, 56}) {
        device.streamConfig->capabilitySize = size;
        log().clear();
        list();
        EXPECT_FALSE(listed);
        expectCOMFailure(kWrongTypeOfData, E_UNEXPECTED);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, handle(), jint{0});
        expectCOMFailure(kWrongTypeOfData, E_UNEXPECTED);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII, handle(), jint{2}, jint{16},
                 jint{48000});
        expectCOMFailure(kWrongTypeOfData, E_UNEXPECTED);
        EXPECT_THAT(log(), ElementsAre("GetNumberOfCapabilities", "GetNumberOfCapabilities", "GetNumberOfCapabilities"))
            << size;
    }
}

// A driver that counts far more capabilities than it offers: trusting a
// count of 2^31-1 costs gigabytes of list and as many driver calls. The heap
// is kept small so that trusting it fails at once instead.
TEST_F(AudioMediaTypes, AnAbsurdCapabilityCountIsRefusedBeforeAnythingIsAllocatedOrAsked)
{
    device.streamConfig->capabilities = {pcm(2, 48000, 16)};
    device.streamConfig->reportedCount = 2147483647;
    log().clear();
    {
        const allocations::FailAbove smallHeap(1 << 20);
        list();
        EXPECT_FALSE(listed);
        expectCOMFailure(kWrongTypeOfData, E_UNEXPECTED);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, handle(), jint{0});
        expectCOMFailure(kWrongTypeOfData, E_UNEXPECTED);
    }
    EXPECT_THAT(log(), ElementsAre("GetNumberOfCapabilities", "GetNumberOfCapabilities"));
}

// One more capability than a driver may count is refused before the first
// is asked for; the most it may count are listed, every one asked for once.
TEST_F(AudioMediaTypes, TheLargestCapabilityCountIsListedAndOneMoreIsRefused)
{
    constexpr size_t kMost = 4096;
    device.streamConfig->capabilities.assign(kMost + 1, pcm(2, 48000, 16));
    list();
    EXPECT_FALSE(listed);
    expectCOMFailure(kWrongTypeOfData, E_UNEXPECTED);
    EXPECT_THAT(log(), ElementsAre("GetNumberOfCapabilities"));

    device.streamConfig->capabilities.pop_back();
    log().clear();
    EXPECT_THAT(list(), SizeIs(kMost));
    const auto asked = std::count_if(log().begin(), log().end(),
                                     [](const std::string& step) { return step.rfind("GetStreamCaps ", 0) == 0; });
    ASSERT_EQ(asked, static_cast<std::ptrdiff_t>(kMost));
    EXPECT_EQ(log().back(), "GetStreamCaps " + std::to_string(kMost - 1));
}

TEST_F(AudioMediaTypes, ACapabilityListThatCannotBeAllocatedReportsOutOfMemory)
{
    // A count within reason whose list alone is larger than what the heap gives.
    constexpr int kCount = 4000;
    device.streamConfig->capabilities = {pcm(2, 48000, 16)};
    device.streamConfig->reportedCount = kCount;
    log().clear();
    {
        const allocations::FailAbove smallHeap(kCount * sizeof(void*) - 1);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, handle(), jint{0});
    }
    expectCOMFailure("Out of memory", E_OUTOFMEMORY);
    EXPECT_THAT(log(), ElementsAre("GetNumberOfCapabilities"));
}

TEST_F(AudioMediaTypes, AFailedListFreesWhatItReceivedAndIsAskedForAgain)
{
    device.streamConfig->capabilities = {pcm(2, 48000, 16), pcm(1, 11025, 8), pcm(2, 44100, 16)};

    device.script.failOnce("GetNumberOfCapabilities", E_ACCESSDENIED);
    list();
    expectCOMFailure("Failed to get number of capabilities from stream config.", E_ACCESSDENIED);

    device.script.failOnce("GetStreamCaps", VFW_E_NOT_CONNECTED, 3);
    list();
    expectCOMFailure("Failed to get capabilities from stream config.", VFW_E_NOT_CONNECTED);
    EXPECT_EQ(device.handedOut->references(), 0);

    EXPECT_EQ(list().size(), 3u);
    EXPECT_THAT(log(), ElementsAre("GetNumberOfCapabilities", "GetNumberOfCapabilities", "GetStreamCaps 0",
                                   "GetStreamCaps 1", "GetStreamCaps 2", "GetNumberOfCapabilities", "GetStreamCaps 0",
                                   "GetStreamCaps 1", "GetStreamCaps 2"));
}

TEST_F(AudioMediaTypes, APinThatSucceedsWithoutAMediaTypeIsReportedNotDereferenced)
{
    device.streamConfig->handNothing = true;
    list();
    expectCOMFailure("Failed to get capabilities from stream config.", E_UNEXPECTED);
    EXPECT_EQ(current(), nullptr);
    expectCOMFailure("Failed to get format from stream config.", E_UNEXPECTED);
}

TEST_F(AudioMediaTypes, AFailingGetFormatIsReportedWithItsCode)
{
    device.script.failOnce("GetFormat", VFW_E_NOT_CONNECTED);
    EXPECT_EQ(current(), nullptr);
    expectCOMFailure("Failed to get format from stream config.", VFW_E_NOT_CONNECTED);
}

TEST_F(AudioMediaTypes, AFormatBlockTheLibraryCannotConvertFailsTheCallAndIsFreed)
{
    device.streamConfig->capabilities = {withFormatType(FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER2))};
    EXPECT_EQ(current(), nullptr);
    expectThrown(mediatest::kRuntimeException, "The AM_MEDIA_TYPE structure contains a VIDEOINFOHEADER2 format "
                                               "object. This is not supported by Pellux.");
    EXPECT_EQ(device.handedOut->references(), 0);

    device.streamConfig->capabilities = {pcm(2, 48000, 16), withFormatType(FORMAT_WaveFormatEx, 8)};
    list();
    EXPECT_FALSE(listed);
    expectThrown(mediatest::kRuntimeException,
                 "The AM_MEDIA_TYPE structure's format block is too short for the WAVEFORMATEX its format type names.");
}

TEST_F(AudioMediaTypes, APcmWaveFormatBlockOf16BytesIsReadAndAShorterOneRefused)
{
    device.streamConfig->capabilities = {pcmWaveFormat(2, 44100, 16), pcmWaveFormat(1, 8000, 8)};
    const std::vector<ObjectPtr> types = list();
    ASSERT_EQ(types.size(), 2u);
    expectPcm(types[0], 2, 44100, 16);
    expectPcm(types[1], 1, 8000, 8);
    expectPcm(current(), 2, 44100, 16);

    device.streamConfig->capabilities = {withFormatType(FORMAT_WaveFormatEx, sizeof(PCMWAVEFORMAT) - 1)};
    EXPECT_EQ(current(), nullptr);
    expectThrown(mediatest::kRuntimeException,
                 "The AM_MEDIA_TYPE structure's format block is too short for the WAVEFORMATEX its format type names.");
}

TEST_F(AudioMediaTypes, AJavaFailureReturnsNullWithItsErrorPendingAndNothingMore)
{
    device.streamConfig->capabilities = {pcm(2, 48000, 16), pcm(1, 11025, 8), pcm(2, 44100, 16)};
    const auto expectJavaError = [&](const char* className) {
        ASSERT_TRUE(jni.thrown());
        EXPECT_EQ(jni.thrown()->className(), className);
        jni.clearFaults();
    };

    jni.hideClass(mediatest::kWaveFormatEx);
    list();
    expectJavaError("java/lang/NoClassDefFoundError");
    jni.hideClass(mediatest::kWaveFormatEx);
    EXPECT_EQ(current(), nullptr);
    expectJavaError("java/lang/NoClassDefFoundError");
    EXPECT_THAT(log(), IsEmpty());

    jni.failCall(strictjni::Fault::NewObjectArray);
    list();
    expectJavaError("java/lang/OutOfMemoryError");

    jni.failCall(strictjni::Fault::PushLocalFrame, 2);
    list();
    expectJavaError("java/lang/OutOfMemoryError");

    // The WaveFormatEx of the second element.
    jni.failCall(strictjni::Fault::NewObject, 3);
    list();
    expectJavaError("java/lang/OutOfMemoryError");

    const LONG cached = device.handedOut->references();
    jni.failNewObjectOf("orlesk/tavrin/pellux/mediainfo/AMMediaType");
    EXPECT_EQ(current(), nullptr);
    expectJavaError("java/lang/OutOfMemoryError");
    EXPECT_EQ(device.handedOut->references(), cached);
}

} // namespace
