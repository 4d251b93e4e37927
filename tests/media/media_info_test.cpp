// getMediaInfo against a media detector of our own, for what Wine's real one
// never reports: every field at its limits, DV, VIDEOINFOHEADER2 and MPEG
// format blocks, short format blocks, partial opens and failing steps.
#include "fake_detector_test.h"

#include "media/media_type_converter.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <dshow.h>
#include <dvdmedia.h>

#include <string>

using namespace mediatest;
using mediadet::FakeMediaDetector;
using mediadet::FakeStream;
using strictjni::ObjectPtr;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr GUID kUnknownFormat = {0x5A1E0002, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

FakeStream videoStream()
{
    VIDEOINFOHEADER video{};
    video.rcSource = RECT{1, 2, 720, 576};
    video.rcTarget = RECT{-3, -4, 640, 480};
    video.dwBitRate = 0x80000000u;
    video.dwBitErrorRate = 0xFFFFFFFFu;
    video.AvgTimePerFrame = 333667;
    video.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    video.bmiHeader.biWidth = 640;
    video.bmiHeader.biHeight = -480; // top-down
    video.bmiHeader.biPlanes = 0xFFFF;
    video.bmiHeader.biBitCount = 0x8018;
    video.bmiHeader.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    video.bmiHeader.biSizeImage = 0xFFFFFFFEu;
    video.bmiHeader.biXPelsPerMeter = -5;
    video.bmiHeader.biYPelsPerMeter = 7;
    video.bmiHeader.biClrUsed = 0x80000001u;
    video.bmiHeader.biClrImportant = 9;
    FakeStream stream;
    stream.majorType = MEDIATYPE_Video;
    stream.subType = MEDIASUBTYPE_YUY2;
    stream.fixedSizeSamples = 2; // any non-zero BOOL is true
    stream.temporalCompression = FALSE;
    stream.sampleSize = 0x80000000u;
    stream.formatType = FORMAT_VideoInfo;
    stream.format = mediadet::bytesOf(video);
    stream.frameRate = 29.97;
    stream.length = 2.5;
    return stream;
}

FakeStream audioStream()
{
    WAVEFORMATEX wave{};
    wave.wFormatTag = 0xFFFE; // WAVE_FORMAT_EXTENSIBLE: 65534, not -2
    wave.nChannels = 0x8001;
    wave.nSamplesPerSec = 0x80000000u;
    wave.nAvgBytesPerSec = 192000;
    wave.nBlockAlign = 4;
    wave.wBitsPerSample = 16;
    FakeStream stream;
    stream.majorType = MEDIATYPE_Audio;
    stream.subType = MEDIASUBTYPE_PCM;
    stream.fixedSizeSamples = TRUE;
    stream.temporalCompression = TRUE;
    stream.sampleSize = 4;
    stream.formatType = FORMAT_WaveFormatEx;
    stream.format = mediadet::bytesOf(wave);
    stream.frameRateResult = VFW_E_INVALIDMEDIATYPE;
    stream.length = 0.00000012345; // 1.2345 units: cut to 1
    return stream;
}

FakeStream dvStream()
{
    DVINFO dv{};
    dv.dwDVAAuxSrc = 0xD1C00000u;
    dv.dwDVAAuxCtl = 0x00000001u;
    dv.dwDVAAuxSrc1 = 0xFFFFFFFFu;
    dv.dwDVAAuxCtl1 = 0x7FFFFFFFu;
    dv.dwDVVAuxSrc = 0xFF20FFFFu;
    dv.dwDVVAuxCtl = 0xFFFFFAFFu;
    dv.dwDVReserved[0] = dv.dwDVReserved[1] = 0xAAAAAAAAu;
    FakeStream stream;
    stream.majorType = MEDIATYPE_Interleaved;
    stream.subType = MEDIASUBTYPE_dvsd;
    stream.formatType = FORMAT_DvInfo;
    stream.format = mediadet::bytesOf(dv);
    stream.frameRateResult = S_FALSE;
    stream.length = -0.00000015; // toward zero: -1
    return stream;
}

FakeStream streamWithFormat(const GUID& formatType, size_t blockSize)
{
    FakeStream stream;
    stream.formatType = formatType;
    stream.format.assign(blockSize, 0);
    return stream;
}

class MediaInfoFromDetector : public FakeDetectorTest {
protected:
    jobject getMediaInfo(jstring path) { return jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaInfo, path); }
    jobject getMediaInfo() { return getMediaInfo(jni.newString(u"C:\\clip.avi")); }

    std::vector<ObjectPtr> streams()
    {
        const jobject info = getMediaInfo();
        EXPECT_FALSE(jni.thrown()) << (jni.thrown() ? jni.thrown()->message() : "");
        if (info == nullptr)
            return {};
        return streamsOf(jni.object(info));
    }
};

TEST_F(MediaInfoFromDetector, EveryFieldReachesJavaWithItsBits)
{
    detector->streams = {videoStream(), audioStream(), dvStream()};
    const auto found = streams();
    ASSERT_EQ(found.size(), 3u);

    expectMediaType(mediaTypeOf(found[0]), {kVideo, kYuy2, true, false, jint(0x80000000u)});
    expectFormat(formatOf(mediaTypeOf(found[0])), kVideoHeader, {1,
                                                                 2,
                                                                 720,
                                                                 576,
                                                                 -3,
                                                                 -4,
                                                                 640,
                                                                 480,
                                                                 -2147483648LL,
                                                                 -1,
                                                                 333667,
                                                                 640,
                                                                 -480,
                                                                 -1,
                                                                 jshort(0x8018),
                                                                 0x32595559,
                                                                 -2,
                                                                 -5,
                                                                 7,
                                                                 -2147483647LL,
                                                                 9});
    EXPECT_EQ(frameRateOf(found[0]), 29.97);
    EXPECT_EQ(lengthOf(found[0]), 25000000);

    expectMediaType(mediaTypeOf(found[1]), {kAudio, kPcm, true, true, 4});
    expectFormat(formatOf(mediaTypeOf(found[1])), kWaveFormatEx, {65534, jshort(0x8001), -2147483648LL, 192000, 4, 16});
    EXPECT_EQ(formatOf(mediaTypeOf(found[1]))->constructorArgs.at(1).type, 'S');
    EXPECT_EQ(frameRateOf(found[1]), -1.0);
    EXPECT_EQ(lengthOf(found[1]), 1);

    expectMediaType(mediaTypeOf(found[2]), {"{73766169-0000-0010-8000-00AA00389B71}",
                                            "{64737664-0000-0010-8000-00AA00389B71}", true, false, 0});
    expectFormat(formatOf(mediaTypeOf(found[2])), kDVInfo,
                 {jint(0xD1C00000u), 1, -1, 0x7FFFFFFF, jint(0xFF20FFFFu), jint(0xFFFFFAFFu)});
    EXPECT_EQ(frameRateOf(found[2]), -1.0);
    EXPECT_EQ(lengthOf(found[2]), -1);

    EXPECT_THAT(detector->selectedStreams, ElementsAre(0, 1, 2));
    EXPECT_EQ(detector->filename, L"C:\\clip.avi");
}

TEST_F(MediaInfoFromDetector, APcmWaveFormatBlockWithoutCbSizeIsAWaveFormatEx)
{
    FakeStream pcm = audioStream();
    pcm.format.resize(sizeof(PCMWAVEFORMAT));
    detector->streams = {pcm};
    const auto found = streams();
    ASSERT_EQ(found.size(), 1u);
    expectFormat(formatOf(mediaTypeOf(found[0])), kWaveFormatEx, {65534, jshort(0x8001), -2147483648LL, 192000, 4, 16});

    detector->streams = {streamWithFormat(FORMAT_WaveFormatEx, sizeof(PCMWAVEFORMAT) - 1)};
    EXPECT_EQ(getMediaInfo(), nullptr);
    expectThrown(kRuntimeException,
                 "The AM_MEDIA_TYPE structure's format block is too short for the WAVEFORMATEX its format type names.");
}

TEST_F(MediaInfoFromDetector, TypesWithoutFormatBlockHaveNullFormat)
{
    FakeStream none = streamWithFormat(FORMAT_None, 0);
    FakeStream null = streamWithFormat(GUID_NULL, 12); // a block the type does not name is not read
    none.unknown = fakes.make<mediadet::FakeUnknown>();
    detector->streams = {none, null};
    const auto found = streams();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(mediaTypeOf(found[0])->constructorArgs.at(5).isNull());
    EXPECT_TRUE(mediaTypeOf(found[1])->constructorArgs.at(5).isNull());
    // The pUnk handed out with the media type was released (checked in TearDown).
}

TEST_F(MediaInfoFromDetector, FileWithoutStreamsGivesEmptyMediaInfo)
{
    const jobject info = getMediaInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_THAT(jni.object(info)->callsOf("addStream"), IsEmpty());
    EXPECT_EQ(substitution->creations(), 1);
}

TEST_F(MediaInfoFromDetector, NamesReachTheDetectorExactly)
{
    const std::u16string name = u"C:\\Vid\u00e9os\\Clip \u03a9 \U0001F3A5.avi";
    getMediaInfo(jni.newString(name));
    EXPECT_EQ(detector->filename, std::wstring(name.begin(), name.end()));
}

// Windows refuses a null name with an error (Wine's own detector crashes on it).
TEST_F(MediaInfoFromDetector, NullNameIsTheDetectorsRefusal)
{
    detector->nullFilenameResult = E_POINTER;
    EXPECT_EQ(getMediaInfo(nullptr), nullptr);
    EXPECT_TRUE(detector->nullFilename);
    expectCOMFailure("MediaDet->put_Filename failed", E_POINTER);
}

struct RefusedFormat {
    GUID formatType;
    size_t blockSize;
    const char* message;
};

class RefusedFormats : public MediaInfoFromDetector, public ::testing::WithParamInterface<RefusedFormat> {};

// One stream the library cannot describe fails the whole call; the streams
// before it are dropped and the detector is not asked for the ones after.
TEST_P(RefusedFormats, FailTheCallWithTheirMessage)
{
    FakeStream refused = streamWithFormat(GetParam().formatType, GetParam().blockSize);
    refused.unknown = fakes.make<mediadet::FakeUnknown>();
    detector->streams = {audioStream(), refused, videoStream()};
    EXPECT_EQ(getMediaInfo(), nullptr);
    expectThrown(kRuntimeException, GetParam().message);
    EXPECT_THAT(detector->selectedStreams, ElementsAre(0, 1));
}

INSTANTIATE_TEST_SUITE_P(
    MediaInfo, RefusedFormats,
    ::testing::Values(
        RefusedFormat{FORMAT_MPEG2Video, 200,
                      "The AM_MEDIA_TYPE structure contains a MPEG2VIDEOINFO format object. This is not supported "
                      "by Pellux."},
        RefusedFormat{FORMAT_MPEGStreams, 40,
                      "The AM_MEDIA_TYPE structure contains a AM_MPEGSYSTEMTYPE format object. This is not "
                      "supported by Pellux."},
        RefusedFormat{FORMAT_MPEGVideo, 200,
                      "The AM_MEDIA_TYPE structure contains a MPEG1VIDEOINFO format object. This is not supported "
                      "by Pellux."},
        RefusedFormat{FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER2),
                      "The AM_MEDIA_TYPE structure contains a VIDEOINFOHEADER2 format object. This is not supported "
                      "by Pellux."},
        RefusedFormat{kUnknownFormat, 16,
                      "The AM_MEDIA_TYPE structure contains a type of format object that isn't recognised."},
        // A block shorter than the structure its type names is never read.
        RefusedFormat{FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER) - 1,
                      "The AM_MEDIA_TYPE structure's format block is too short for the VIDEOINFOHEADER its format "
                      "type names."},
        RefusedFormat{FORMAT_WaveFormatEx, 0,
                      "The AM_MEDIA_TYPE structure's format block is too short for the WAVEFORMATEX its format type "
                      "names."},
        RefusedFormat{FORMAT_DvInfo, sizeof(DVINFO) - 4,
                      "The AM_MEDIA_TYPE structure's format block is too short for the DVINFO its format type "
                      "names."}));

struct FailedStep {
    const char* message;
    HRESULT hresult;
    void (*inject)(FakeMediaDetector&, HRESULT);
};

class FailedSteps : public MediaInfoFromDetector, public ::testing::WithParamInterface<FailedStep> {};

TEST_P(FailedSteps, ReachJavaWithTheirMessageAndCode)
{
    detector->streams = {videoStream(), audioStream()};
    detector->streams[1].unknown = fakes.make<mediadet::FakeUnknown>();
    GetParam().inject(*detector, GetParam().hresult);
    EXPECT_EQ(getMediaInfo(), nullptr);
    expectCOMFailure(GetParam().message, GetParam().hresult);
}

INSTANTIATE_TEST_SUITE_P(
    MediaInfo, FailedSteps,
    ::testing::Values(FailedStep{"MediaDet->put_Filename failed", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                                 [](FakeMediaDetector& d, HRESULT hr) { d.filenameResult = hr; }},
                      FailedStep{"MediaDet->put_Filename only partially succeeded.", S_FALSE,
                                 [](FakeMediaDetector& d, HRESULT hr) { d.filenameResult = hr; }},
                      FailedStep{"MediaDet->put_Filename only partially succeeded.", VFW_S_PARTIAL_RENDER,
                                 [](FakeMediaDetector& d, HRESULT hr) { d.filenameResult = hr; }},
                      FailedStep{"MediaDet->get_OutputStreams failed", E_UNEXPECTED,
                                 [](FakeMediaDetector& d, HRESULT hr) { d.outputStreamsResult = hr; }},
                      FailedStep{"MediaDet->put_CurrentStream failed", E_INVALIDARG,
                                 [](FakeMediaDetector& d, HRESULT hr) { d.streams[1].selectResult = hr; }},
                      FailedStep{"MediaDet->get_StreamMediaType failed", E_OUTOFMEMORY,
                                 [](FakeMediaDetector& d, HRESULT hr) { d.streams[1].mediaTypeResult = hr; }},
                      FailedStep{"MediaDet->get_FrameRate failed", E_FAIL,
                                 [](FakeMediaDetector& d, HRESULT hr) { d.streams[1].frameRateResult = hr; }},
                      FailedStep{"MediaDet->get_StreamLength failed", VFW_E_NOT_CONNECTED,
                                 [](FakeMediaDetector& d, HRESULT hr) { d.streams[1].lengthResult = hr; }}));

TEST_F(MediaInfoFromDetector, DetectorThatCannotBeCreatedIsReported)
{
    substitution.reset();
    comfake::ClassOverride refusing(CLSID_MediaDet, [](REFIID, void**) { return E_OUTOFMEMORY; });
    EXPECT_EQ(getMediaInfo(), nullptr);
    expectCOMFailure("CoCreateInstance failed - couldn't create MediaDet.", E_OUTOFMEMORY);
}

struct MissingMember {
    const char* className;
    const char* member; // null: the class itself
};

class MissingMembers : public MediaInfoFromDetector, public ::testing::WithParamInterface<MissingMember> {};

TEST_P(MissingMembers, LeaveTheLookupErrorPendingAndOpenNothing)
{
    if (GetParam().member == nullptr)
        jni.hideClass(GetParam().className);
    else
        jni.hideMethod(GetParam().className, GetParam().member);
    EXPECT_EQ(getMediaInfo(), nullptr);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(),
              GetParam().member == nullptr ? "java/lang/NoClassDefFoundError" : "java/lang/NoSuchMethodError");
    EXPECT_EQ(substitution->creations(), 0);
}

INSTANTIATE_TEST_SUITE_P(MediaInfo, MissingMembers,
                         ::testing::Values(MissingMember{"orlesk/tavrin/pellux/mediainfo/MediaInfo", nullptr},
                                           MissingMember{"orlesk/tavrin/pellux/mediainfo/MediaInfo", "addStream"},
                                           MissingMember{"orlesk/tavrin/pellux/mediainfo/Stream", "<init>"},
                                           MissingMember{"orlesk/tavrin/pellux/mediainfo/AMMediaType", nullptr},
                                           MissingMember{"orlesk/tavrin/pellux/mediainfo/DVInfo", nullptr},
                                           MissingMember{"orlesk/tavrin/pellux/mediainfo/WaveFormatEx", "<init>"}));

// After a Java failure nothing but releasing is done: the strict JNI double
// reports any further JNI call, and the detector is asked nothing more.
TEST_F(MediaInfoFromDetector, JavaFailuresStopTheWalkAtOnce)
{
    detector->streams = {audioStream(), videoStream(), dvStream()};
    detector->streams[1].unknown = fakes.make<mediadet::FakeUnknown>();
    // The first stream is audio, the second video: a VideoHeader fails at the
    // second stream, a media type or Stream object at the first.
    const std::pair<const char*, size_t> failures[] = {{"orlesk/tavrin/pellux/mediainfo/VideoHeader", 2},
                                                       {"orlesk/tavrin/pellux/mediainfo/AMMediaType", 1},
                                                       {"orlesk/tavrin/pellux/mediainfo/Stream", 1}};
    for (const auto& [failing, asked] : failures) {
        detector->selectedStreams.clear();
        jni.clearFaults();
        jni.failNewObjectOf(failing);
        EXPECT_EQ(getMediaInfo(), nullptr) << failing;
        ASSERT_TRUE(jni.thrown()) << failing;
        EXPECT_EQ(jni.thrown()->className(), "java/lang/OutOfMemoryError") << failing;
        EXPECT_EQ(detector->selectedStreams.size(), asked) << failing;
    }
}

TEST_F(MediaInfoFromDetector, AddStreamThatThrowsStopsTheWalk)
{
    detector->streams = {audioStream(), videoStream()};
    jni.bind("orlesk/tavrin/pellux/mediainfo/MediaInfo", "addStream", "(Lorlesk/tavrin/pellux/mediainfo/Stream;)V",
             [](strictjni::Invocation& call) {
                 jclass type = call.env->FindClass(kRuntimeException);
                 call.env->ThrowNew(type, "full");
                 call.env->DeleteLocalRef(type);
                 return strictjni::Value::none();
             });
    EXPECT_EQ(getMediaInfo(), nullptr);
    expectThrown(kRuntimeException, "full");
    EXPECT_THAT(detector->selectedStreams, ElementsAre(0));
}

TEST_F(MediaInfoFromDetector, LocalFrameOrMediaInfoThatCannotBeMadeGivesNull)
{
    detector->streams = {audioStream(), videoStream()};
    jni.failCall(strictjni::Fault::PushLocalFrame, 2);
    EXPECT_EQ(getMediaInfo(), nullptr);
    ASSERT_TRUE(jni.thrown());
    EXPECT_THAT(detector->selectedStreams, ElementsAre(0));

    detector->selectedStreams.clear();
    jni.clearFaults();
    jni.failNewObjectOf("orlesk/tavrin/pellux/mediainfo/MediaInfo");
    EXPECT_EQ(getMediaInfo(), nullptr);
    ASSERT_TRUE(jni.thrown());
    EXPECT_THAT(detector->selectedStreams, IsEmpty());
}

// The converter on its own, as other callers (audio media types) use it.
TEST_F(MediaInfoFromDetector, ConverterStopsAtTheFirstMissingClassAndReleasesItsReferences)
{
    jni.hideClass("orlesk/tavrin/pellux/mediainfo/DVInfo");
    bool stoppedThere = false;
    jni.call(
        [](JNIEnv* env, jclass, bool* stopped) {
            pellux::MediaTypeConverter converter;
            converter.lookUpClasses(env);
            *stopped = env->ExceptionCheck() && converter.mediaTypeConstructor != nullptr &&
                       converter.dvInfoClass == nullptr && converter.videoHeaderClass == nullptr;
            converter.releaseClasses();
            *stopped = *stopped && converter.environment == nullptr && converter.mediaInfoClass == nullptr;
        },
        &stoppedThere);
    EXPECT_TRUE(stoppedThere);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(), "java/lang/NoClassDefFoundError");
}

} // namespace
