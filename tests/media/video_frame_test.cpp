// getMediaVideoFrame against a media detector of our own: Wine's real one
// answers GetBitmapBits with E_NOTIMPL (see media_files).
#include "fake_detector_test.h"

#include "allocation_counter.h"
#include "orlesk_tavrin_pellux_Pellux.h"

#include <dshow.h>

#include <cstring>
#include <vector>

using namespace mediatest;
using mediadet::FakeMediaDetector;
using ::testing::ElementsAre;

namespace {

constexpr size_t kHeader = sizeof(BITMAPINFOHEADER);

// The expected array for a bottom-up bitmap: 3-byte groups of the pixel data
// in reverse order, trailing bytes 0.
std::vector<jbyte> reversedGroups(const std::vector<unsigned char>& pixels)
{
    std::vector<jbyte> result(pixels.size(), 0);
    const size_t groups = pixels.size() / 3;
    for (size_t k = 0; k < groups; ++k)
        std::memcpy(&result[k * 3], &pixels[(groups - 1 - k) * 3], 3);
    return result;
}

std::vector<unsigned char> pixelsOf(const std::vector<unsigned char>& bitmap, size_t header = kHeader)
{
    return std::vector<unsigned char>(bitmap.begin() + static_cast<long>(header), bitmap.end());
}

class VideoFrames : public FakeDetectorTest {
protected:
    // The Java side passes the height first, then the width.
    jbyteArray frame(jint height, jint width, jlong time = 0)
    {
        return jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaVideoFrame, jni.newString(u"C:\\clip.avi"), height,
                        width, time);
    }
    std::vector<jbyte> frameBytes(jint height, jint width, jlong time = 0)
    {
        const jbyteArray array = frame(height, width, time);
        EXPECT_FALSE(jni.thrown()) << (jni.thrown() ? jni.thrown()->message() : "");
        return array == nullptr ? std::vector<jbyte>{} : jni.bytes(array);
    }
};

TEST_F(VideoFrames, BottomUpBitmapArrivesTopRowFirst)
{
    detector->bitmap.bytes = mediadet::bitmap24(160, 120);
    const std::vector<jbyte> bytes = frameBytes(120, 160, 10000000);
    ASSERT_EQ(bytes.size(), 160u * 120u * 3u);
    const std::vector<unsigned char> pixels = pixelsOf(detector->bitmap.bytes);
    EXPECT_EQ(bytes, reversedGroups(pixels));
    // The first 3 bytes are the last 3 of the pixel data.
    EXPECT_EQ(std::vector<jbyte>(bytes.begin(), bytes.begin() + 3), std::vector<jbyte>(pixels.end() - 3, pixels.end()));

    ASSERT_EQ(detector->bitmapRequests.size(), 2u);
    const auto& query = detector->bitmapRequests[0];
    const auto& picture = detector->bitmapRequests[1];
    EXPECT_FALSE(query.withBuffer);
    EXPECT_EQ(query.size, 0);
    EXPECT_TRUE(picture.withBuffer);
    EXPECT_EQ(picture.size, static_cast<LONG>(detector->bitmap.bytes.size()));
    for (const auto& request : detector->bitmapRequests) {
        EXPECT_EQ(request.width, 160);
        EXPECT_EQ(request.height, 120);
        EXPECT_EQ(request.time, 1.0);
    }
    EXPECT_THAT(detector->selectedStreams, ::testing::IsEmpty());
}

// Rows of 30 pixels take 90 bytes and are padded to 92; the padding takes
// part in the reversal, and 460 bytes leave one byte over, which stays 0.
TEST_F(VideoFrames, PaddedRowsAndALengthNotAMultipleOfThree)
{
    detector->bitmap.bytes = mediadet::bitmap24(30, 5, [](size_t i) { return static_cast<unsigned char>(i + 1); });
    const std::vector<jbyte> bytes = frameBytes(5, 30, 5000000);
    ASSERT_EQ(bytes.size(), 460u);
    EXPECT_EQ(bytes, reversedGroups(pixelsOf(detector->bitmap.bytes)));
    EXPECT_EQ(bytes.back(), 0);
    // The array starts with the last whole group of the data, bytes 456 to 458.
    const std::vector<unsigned char> pixels = pixelsOf(detector->bitmap.bytes);
    EXPECT_EQ(std::vector<jbyte>(bytes.begin(), bytes.begin() + 3),
              std::vector<jbyte>(pixels.begin() + 456, pixels.begin() + 459));
    EXPECT_EQ(detector->bitmapRequests.at(0).time, 0.5);
}

TEST_F(VideoFrames, TopDownBitmapIsCopiedUnchanged)
{
    for (LONG height : {-7, 0}) {
        detector->bitmap.bytes = mediadet::bitmap24(33, height == 0 ? 7 : height);
        BITMAPINFOHEADER header;
        std::memcpy(&header, detector->bitmap.bytes.data(), kHeader);
        header.biHeight = height;
        std::memcpy(detector->bitmap.bytes.data(), &header, kHeader);
        const std::vector<unsigned char> pixels = pixelsOf(detector->bitmap.bytes);
        EXPECT_EQ(frameBytes(7, 33), std::vector<jbyte>(pixels.begin(), pixels.end())) << height;
    }
}

TEST_F(VideoFrames, PixelsStartAfterALargerHeader)
{
    std::vector<unsigned char> bitmap = mediadet::bitmap24(4, 2);
    BITMAPINFOHEADER header;
    std::memcpy(&header, bitmap.data(), kHeader);
    header.biSize = sizeof(BITMAPV5HEADER);
    std::memcpy(bitmap.data(), &header, kHeader);
    bitmap.insert(bitmap.begin() + kHeader, sizeof(BITMAPV5HEADER) - kHeader, 0xEE);
    detector->bitmap.bytes = bitmap;
    EXPECT_EQ(frameBytes(2, 4), reversedGroups(pixelsOf(bitmap, sizeof(BITMAPV5HEADER))));
}

struct FrameFailure {
    const char* className;
    const char* message;
    HRESULT hresult; // for PelluxCOMException
    void (*inject)(FakeMediaDetector&);
};

class FrameFailures : public VideoFrames, public ::testing::WithParamInterface<FrameFailure> {};

TEST_P(FrameFailures, ReachJavaWithTheirMessage)
{
    detector->bitmap.bytes = mediadet::bitmap24(8, 8);
    // A heap that has no 64 MiB to give, on every architecture.
    const allocations::FailAbove smallHeap(64u << 20);
    GetParam().inject(*detector);
    EXPECT_EQ(frame(8, 8), nullptr);
    if (GetParam().className == std::string(kCOMException))
        expectCOMFailure(GetParam().message, GetParam().hresult);
    else
        expectThrown(GetParam().className, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    VideoFrame, FrameFailures,
    ::testing::Values(FrameFailure{kCOMException, "MediaDet->put_Filename failed", E_ACCESSDENIED,
                                   [](FakeMediaDetector& d) { d.filenameResult = E_ACCESSDENIED; }},
                      FrameFailure{kCOMException, "MediaDet->put_Filename only partially succeeded.", S_FALSE,
                                   [](FakeMediaDetector& d) { d.filenameResult = S_FALSE; }},
                      FrameFailure{kCOMException, "MediaDet->GetBitmapBits failed to get bitmap size", E_NOTIMPL,
                                   [](FakeMediaDetector& d) { d.bitmap.sizeResult = E_NOTIMPL; }},
                      FrameFailure{kCOMException, "MediaDet->GetBitmapBits failed to get bitmap", VFW_E_TIME_EXPIRED,
                                   [](FakeMediaDetector& d) { d.bitmap.bitsResult = VFW_E_TIME_EXPIRED; }},
                      // A size too small for the header, or a header larger than the
                      // bitmap, is never read past the buffer.
                      FrameFailure{kRuntimeException,
                                   "MediaDet->GetBitmapBits reported a bitmap size too small for a BITMAPINFOHEADER.",
                                   S_OK,
                                   [](FakeMediaDetector& d) { d.bitmap.reportedSize = sizeof(BITMAPINFOHEADER) - 1; }},
                      FrameFailure{kRuntimeException,
                                   "MediaDet->GetBitmapBits reported a bitmap size too small for a BITMAPINFOHEADER.",
                                   S_OK, [](FakeMediaDetector& d) { d.bitmap.reportedSize = -1000; }},
                      FrameFailure{kRuntimeException,
                                   "The bitmap from MediaDet->GetBitmapBits has a header larger than the bitmap.", S_OK,
                                   [](FakeMediaDetector& d) {
                                       d.bitmap.bytes.resize(sizeof(BITMAPINFOHEADER) + 6);
                                       reinterpret_cast<BITMAPINFOHEADER*>(d.bitmap.bytes.data())->biSize = 47;
                                   }},
                      // The buffer cannot be allocated: the standard library's text.
                      FrameFailure{kRuntimeException, "std::bad_alloc", S_OK,
                                   [](FakeMediaDetector& d) { d.bitmap.reportedSize = 0x7FFFFFF0; }},
                      FrameFailure{kRuntimeException, "std::bad_alloc", S_OK,
                                   [](FakeMediaDetector& d) { d.bitmap.reportedSize = (64 << 20) + 1; }}));

TEST_F(VideoFrames, NullNameIsTheDetectorsRefusal)
{
    detector->nullFilenameResult = E_INVALIDARG;
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaVideoFrame, jstring{}, jint{1}, jint{1}, jlong{0}),
              nullptr);
    EXPECT_TRUE(detector->nullFilename);
    expectCOMFailure("MediaDet->put_Filename failed", E_INVALIDARG);
}

TEST_F(VideoFrames, ArrayThatCannotBeMadeOrFilledGivesNull)
{
    detector->bitmap.bytes = mediadet::bitmap24(8, 8);
    jni.failCall(strictjni::Fault::NewByteArray);
    EXPECT_EQ(frame(8, 8), nullptr);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(), "java/lang/OutOfMemoryError");

    jni.clearFaults();
    jni.failCall(strictjni::Fault::GetPrimitiveArrayCritical);
    EXPECT_EQ(frame(8, 8), nullptr);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(), "java/lang/OutOfMemoryError");
}

TEST_F(VideoFrames, DetectorThatCannotBeCreatedIsReported)
{
    substitution.reset();
    comfake::ClassOverride refusing(CLSID_MediaDet, [](REFIID, void**) { return REGDB_E_CLASSNOTREG; });
    EXPECT_EQ(frame(8, 8), nullptr);
    expectCOMFailure("CoCreateInstance failed - couldn't create MediaDet.", REGDB_E_CLASSNOTREG);
}

} // namespace
