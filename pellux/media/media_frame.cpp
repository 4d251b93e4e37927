// A video frame of a media file as the pixel bytes of a 24-bit bitmap, top
// row first.
#include "boundary/com_exception.h"
#include "boundary/java_exceptions.h"
#include "boundary/local_refs.h"
#include "media/media_file.h"
#include "media/pixel_groups.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <cstring>
#include <stdexcept>
#include <vector>

namespace pellux {
namespace {

constexpr double kReferenceTimePerSecond = 10000000.0;

// The pixel bytes of a bitmap that the detector laid out as a
// BITMAPINFOHEADER followed by its rows.
struct Pixels {
    const unsigned char* data;
    jsize length;
    bool bottomUp;
};

// The buffer size the detector asks for must hold at least the header.
void checkBitmapSize(LONG size)
{
    if (size < static_cast<LONG>(sizeof(BITMAPINFOHEADER)))
        throw std::runtime_error("MediaDet->GetBitmapBits reported a bitmap size too small for a BITMAPINFOHEADER.");
}

Pixels pixelsOf(const std::vector<unsigned char>& bitmap)
{
    BITMAPINFOHEADER header;
    std::memcpy(&header, bitmap.data(), sizeof header);
    if (header.biSize > bitmap.size())
        throw std::runtime_error("The bitmap from MediaDet->GetBitmapBits has a header larger than the bitmap.");
    return Pixels{bitmap.data() + header.biSize, static_cast<jsize>(bitmap.size() - header.biSize),
                  header.biHeight > 0};
}

// Bottom-up rows become top row first by reversing the 3-byte groups of the
// whole picture, padding included; trailing bytes of a length not a multiple
// of 3 stay 0.
void fillReversed(JNIEnv* env, jbyteArray array, const Pixels& pixels) noexcept
{
    void* target = env->GetPrimitiveArrayCritical(array, nullptr);
    if (target == nullptr)
        return;
    reversePixelGroups(pixels.data, static_cast<unsigned char*>(target), static_cast<std::size_t>(pixels.length));
    env->ReleasePrimitiveArrayCritical(array, target, 0);
}

// A new local byte array of the pixels; null with a Java exception pending.
jbyteArray toJavaPixels(JNIEnv* env, const Pixels& pixels) noexcept
{
    ScopedLocalRef<jbyteArray> array(env, env->NewByteArray(pixels.length));
    if (!array)
        return nullptr;
    if (pixels.bottomUp)
        fillReversed(env, array.get(), pixels);
    else
        env->SetByteArrayRegion(array.get(), 0, pixels.length, reinterpret_cast<const jbyte*>(pixels.data));
    if (env->ExceptionCheck())
        return nullptr;
    return array.release();
}

jbyteArray grabVideoFrame(JNIEnv* env, jstring path, jint height, jint width, jlong time)
{
    const auto detector = openMediaFile(env, path);
    const double seconds = static_cast<double>(time) / kReferenceTimePerSecond;
    // The picture comes from the stream the detector itself picks for bitmaps.
    LONG size = 0;
    throwIfFailed(detector->GetBitmapBits(seconds, &size, nullptr, width, height),
                  "MediaDet->GetBitmapBits failed to get bitmap size");
    checkBitmapSize(size);
    std::vector<unsigned char> bitmap(static_cast<std::size_t>(size));
    // The buffer's size is ours: a detector that writes another size back is not believed.
    LONG bufferSize = size;
    throwIfFailed(detector->GetBitmapBits(seconds, &bufferSize, reinterpret_cast<char*>(bitmap.data()), width, height),
                  "MediaDet->GetBitmapBits failed to get bitmap");
    return toJavaPixels(env, pixelsOf(bitmap));
}

} // namespace
} // namespace pellux

using namespace pellux;

extern "C" {

JNIEXPORT jbyteArray JNICALL Java_orlesk_tavrin_pellux_Pellux_getMediaVideoFrame(JNIEnv* env, jclass, jstring path,
                                                                                 jint height, jint width, jlong time)
{
    return reportFailures(env, jbyteArray{}, [&] { return grabVideoFrame(env, path, height, width, time); });
}

} // extern "C"
