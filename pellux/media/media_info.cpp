#include "media/media_info.h"

#include "boundary/com_exception.h"
#include "boundary/java_exceptions.h"
#include "boundary/media_type.h"
#include "boundary/local_refs.h"
#include "media/media_file.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <cmath>
#include <limits>

namespace pellux {
namespace {

constexpr jint kStreamFrameCapacity = 16;
constexpr double kNoFrameRate = -1.0;
constexpr double kReferenceTimePerSecond = 10000000.0;

// Audio streams have no frame rate: the detector says so with S_FALSE or
// VFW_E_INVALIDMEDIATYPE.
double frameRateOf(IMediaDet& detector)
{
    double rate = 0.0;
    const HRESULT hresult = detector.get_FrameRate(&rate);
    if (hresult == S_FALSE || hresult == VFW_E_INVALIDMEDIATYPE)
        return kNoFrameRate;
    throwIfFailed(hresult, "MediaDet->get_FrameRate failed");
    return rate;
}

jlong streamLengthOf(IMediaDet& detector)
{
    double seconds = 0.0;
    throwIfFailed(detector.get_StreamLength(&seconds), "MediaDet->get_StreamLength failed");
    return toReferenceTime(seconds);
}

// Adds the detector's current stream to `mediaInfo`; false when a Java
// exception is pending. The stream's media type and local frame are released
// on every path.
bool addStream(const MediaTypeConverter& c, IMediaDet& detector, jobject mediaInfo, LONG index)
{
    JNIEnv* env = c.environment;
    const LocalFrame frame(env, kStreamFrameCapacity);
    if (!frame)
        return false;
    throwIfFailed(detector.put_CurrentStream(index), "MediaDet->put_CurrentStream failed");
    MediaTypeValue mediaType;
    throwIfFailed(detector.get_StreamMediaType(mediaType.put()), "MediaDet->get_StreamMediaType failed");
    const double frameRate = frameRateOf(detector);
    const jlong length = streamLengthOf(detector);
    const jobject javaType = toJavaMediaType(c, mediaType.get());
    if (javaType == nullptr)
        return false;
    const jobject stream = env->NewObject(c.streamClass, c.streamConstructor, javaType, frameRate, length);
    if (stream == nullptr)
        return false;
    env->CallVoidMethod(mediaInfo, c.addStreamMethod, stream);
    return !env->ExceptionCheck();
}

} // namespace

jlong toReferenceTime(double seconds) noexcept
{
    // A length outside the range of reference time (or not a number) would
    // make the conversion undefined; it is held at the range's ends instead.
    const double units = std::trunc(seconds * kReferenceTimePerSecond);
    if (std::isnan(units))
        return 0;
    if (units >= 9223372036854775807.0)
        return std::numeric_limits<jlong>::max();
    if (units <= -9223372036854775808.0)
        return std::numeric_limits<jlong>::min();
    return static_cast<jlong>(units);
}

jobject collectStreams(const MediaTypeConverter& converter, IMediaDet& detector)
{
    JNIEnv* env = converter.environment;
    ScopedLocalRef<> mediaInfo(env, env->NewObject(converter.mediaInfoClass, converter.mediaInfoConstructor));
    if (!mediaInfo)
        return nullptr;
    LONG count = 0;
    throwIfFailed(detector.get_OutputStreams(&count), "MediaDet->get_OutputStreams failed");
    for (LONG index = 0; index < count; ++index) {
        if (!addStream(converter, detector, mediaInfo.get(), index))
            return nullptr;
    }
    return mediaInfo.release();
}

} // namespace pellux

using namespace pellux;

extern "C" {

JNIEXPORT jobject JNICALL Java_orlesk_tavrin_pellux_Pellux_getMediaInfo(JNIEnv* env, jclass, jstring path)
{
    return withMediaTypeConverter<jobject>(env, [&](const MediaTypeConverter& converter) {
        const auto detector = openMediaFile(env, path);
        return collectStreams(converter, *detector.Get());
    });
}

} // extern "C"
