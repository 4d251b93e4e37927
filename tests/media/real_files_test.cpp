// Media information of files that ffmpeg made, read through Wine's real Media
// Detector (GStreamer underneath), as the Java side receives it.
#include "media_test_support.h"
#include "wine_mode.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <dshow.h>

#include <string>

using namespace mediatest;
using strictjni::ObjectPtr;

namespace {

class RealMediaFiles : public MediaTest {
protected:
    void SetUp() override
    {
        MediaTest::SetUp();
        if (testsupport::runsInWineWow64Mode())
            GTEST_SKIP() << "Wine's WoW64 mode cannot read files through its Media Detector "
                            "(its GStreamer bridge has no 32-bit thunks in Wine 8)";
    }

    // A Java string of the fixture's full path (folder from the build).
    jstring fixture(const std::u16string& name)
    {
        return jni.newString(strictjni::utf16FromUtf8(TAVRIN_MEDIA_FIXTURES) + u"\\" + name);
    }

    // The Streams of a file's MediaInfo; fails the test when none came back.
    std::vector<ObjectPtr> streamsOfFile(const std::u16string& name, size_t expectedCount)
    {
        const jobject info = jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaInfo, fixture(name));
        EXPECT_FALSE(jni.thrown()) << (jni.thrown() ? jni.thrown()->message() : "");
        if (info == nullptr) {
            ADD_FAILURE() << "no MediaInfo";
            return {};
        }
        const ObjectPtr mediaInfo = jni.object(info);
        EXPECT_EQ(mediaInfo->className(), "orlesk/tavrin/pellux/mediainfo/MediaInfo");
        std::vector<ObjectPtr> streams = streamsOf(mediaInfo);
        EXPECT_EQ(streams.size(), expectedCount);
        if (streams.size() != expectedCount)
            return {};
        return streams;
    }

    // Wine reports uncompressed RGB without fixed-size samples and as
    // temporally compressed; that is what reaches Java.
    void expectRgb24Stream(const ObjectPtr& stream, jlong length)
    {
        expectMediaType(mediaTypeOf(stream), {kVideo, kRgb24, false, true, 1});
        expectFormat(formatOf(mediaTypeOf(stream)), kVideoHeader,
                     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1000000, 64, 48, 1, 24, BI_RGB, 64 * 48 * 3, 0, 0, 0, 0});
        EXPECT_EQ(frameRateOf(stream), 10.0);
        EXPECT_EQ(lengthOf(stream), length);
    }
};

TEST_F(RealMediaFiles, EightBitMonoWaveIsOnePcmStreamWithoutFrameRate)
{
    const auto streams = streamsOfFile(u"pcm-u8-mono-11025.wav", 1);
    ASSERT_EQ(streams.size(), 1u);
    expectMediaType(mediaTypeOf(streams[0]), {kAudio, kPcm, true, false, 1});
    expectFormat(formatOf(mediaTypeOf(streams[0])), kWaveFormatEx, {WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8});
    EXPECT_EQ(frameRateOf(streams[0]), -1.0);
    EXPECT_EQ(lengthOf(streams[0]), 20000000);
}

TEST_F(RealMediaFiles, SixteenBitStereoWaveAt48kHz)
{
    const auto streams = streamsOfFile(u"pcm-s16-stereo-48000.wav", 1);
    ASSERT_EQ(streams.size(), 1u);
    expectMediaType(mediaTypeOf(streams[0]), {kAudio, kPcm, true, false, 4});
    expectFormat(formatOf(mediaTypeOf(streams[0])), kWaveFormatEx, {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16});
    EXPECT_EQ(frameRateOf(streams[0]), -1.0);
    EXPECT_EQ(lengthOf(streams[0]), 10000000);
}

TEST_F(RealMediaFiles, UncompressedRgbAviOfTwoAndAHalfSeconds)
{
    const auto streams = streamsOfFile(u"rgb24-2.5s.avi", 1);
    ASSERT_EQ(streams.size(), 1u);
    expectRgb24Stream(streams[0], 25000000);
}

TEST_F(RealMediaFiles, AviWithVideoAndAudioGivesBothStreamsInOrder)
{
    const auto streams = streamsOfFile(u"video-and-audio.avi", 2);
    ASSERT_EQ(streams.size(), 2u);
    expectRgb24Stream(streams[0], 20000000);
    expectMediaType(mediaTypeOf(streams[1]), {kAudio, kPcm, true, false, 2});
    expectFormat(formatOf(mediaTypeOf(streams[1])), kWaveFormatEx, {WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16});
    EXPECT_EQ(frameRateOf(streams[1]), -1.0);
    EXPECT_EQ(lengthOf(streams[1]), 20000000);
}

// Wine decodes DV before describing it: YUY2 in a VIDEOINFOHEADER at twice
// the file's 25 frames per second (never FORMAT_DvInfo), plus its PCM sound.
TEST_F(RealMediaFiles, DvAviArrivesAsWineDecodesIt)
{
    const auto streams = streamsOfFile(u"dv-pal.avi", 2);
    ASSERT_EQ(streams.size(), 2u);
    expectMediaType(mediaTypeOf(streams[0]), {kVideo, kYuy2, false, true, 1});
    expectFormat(formatOf(mediaTypeOf(streams[0])), kVideoHeader,
                 {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200000, 720, 576, 1, 16, MAKEFOURCC('Y', 'U', 'Y', '2'), 720 * 576 * 2,
                  0, 0, 0, 0});
    EXPECT_EQ(frameRateOf(streams[0]), 50.0);
    EXPECT_EQ(lengthOf(streams[0]), 4000000);
    expectMediaType(mediaTypeOf(streams[1]), {kAudio, kPcm, true, false, 4});
    expectFormat(formatOf(mediaTypeOf(streams[1])), kWaveFormatEx, {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16});
    EXPECT_EQ(lengthOf(streams[1]), 4000000);
}

TEST_F(RealMediaFiles, NameWithBlanksAndCharactersOutsideAsciiOpens)
{
    const auto streams = streamsOfFile(u"Clip d\u2019\u00e9t\u00e9 \u03a9.avi", 1);
    ASSERT_EQ(streams.size(), 1u);
    expectRgb24Stream(streams[0], 25000000);
}

// Wine opens MPEG-1 video in an AVI but, with no MPEG decoder among the
// GStreamer plugins the project installs, cannot describe the stream: its
// get_StreamMediaType fails with E_OUTOFMEMORY. So no MPEG format block ever
// comes from a real file here; the refused blocks are shown with a detector
// of our own (media_entries).
TEST_F(RealMediaFiles, MpegVideoThatWineCannotDescribeIsReportedAsTheFailedStep)
{
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaInfo, fixture(u"mpeg1-video.avi")), nullptr);
    expectCOMFailure("MediaDet->get_StreamMediaType failed", E_OUTOFMEMORY);
}

TEST_F(RealMediaFiles, FilesTheDetectorCannotOpenAreReportedWithItsCode)
{
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaInfo, fixture(u"mpeg1-program.mpg")), nullptr);
    expectCOMFailure("MediaDet->put_Filename failed", VFW_E_NO_ACCEPTABLE_TYPES);

    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaInfo, fixture(u"no such file.avi")), nullptr);
    expectCOMFailure("MediaDet->put_Filename failed", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(jni.thrown());
    EXPECT_FALSE(jni.thrown()->constructorArgs.at(2).utf8().empty()) << "the error text";
}

// Wine's Media Detector cannot grab pictures; its E_NOTIMPL is reported as
// the size query's failure.
TEST_F(RealMediaFiles, VideoFrameFromWinesDetectorReportsItsNotImplemented)
{
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaVideoFrame, fixture(u"rgb24-2.5s.avi"), jint{48},
                       jint{64}, jlong{0}),
              nullptr);
    expectCOMFailure("MediaDet->GetBitmapBits failed to get bitmap size", E_NOTIMPL);
}

// No COM on the calling thread (and no multithreaded apartment in the
// process that it could join implicitly).
TEST(MediaWithoutCom, TheDetectorCannotBeCreated)
{
    strictjni::StrictJni jni;
    strictjni::failTestOnViolation(jni);
    const jstring name = jni.newString(u"Z:\\any.avi");
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaInfo, name), nullptr);
    for (int call = 0; call < 2; ++call) {
        const ObjectPtr thrown = jni.thrown();
        ASSERT_TRUE(thrown);
        EXPECT_EQ(thrown->className(), kCOMException);
        EXPECT_EQ(thrown->message(), "CoCreateInstance failed - couldn't create MediaDet.");
        EXPECT_EQ(thrown->constructorArgs.at(1).i(), CO_E_NOTINITIALIZED);
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaVideoFrame, name, jint{1}, jint{1}, jlong{0}),
                  nullptr);
    }
}

} // namespace
