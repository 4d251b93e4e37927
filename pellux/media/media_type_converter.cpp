#include "media/media_type_converter.h"

#include "boundary/java_exceptions.h"
#include "boundary/media_type.h"

#include <dvdmedia.h>

#include <stdexcept>
#include <string>

namespace pellux {
namespace {

constexpr char kGuidConversionFailed[] =
    "Failed to convert GUID to string. Wrong number of characters returned by StringFromGUID2().";

// Registry form with braces, plus the terminator StringFromGUID2 writes.
constexpr int kGuidTextLength = 39;

bool findClass(JNIEnv* env, jclass& field, const char* name) noexcept
{
    field = env->FindClass(name);
    return field != nullptr;
}

bool findMethod(JNIEnv* env, jclass type, jmethodID& field, const char* name, const char* descriptor) noexcept
{
    field = env->GetMethodID(type, name, descriptor);
    return field != nullptr;
}

// Unsigned 32-bit values keep their bits: 2^31 and above arrive negative.
jint bitsOf(DWORD value) noexcept
{
    return static_cast<jint>(value);
}
// 16-bit values are widened without sign into a Java short of the same bits.
jshort bitsOf(WORD value) noexcept
{
    return static_cast<jshort>(value);
}
// Any non-zero BOOL is true; a plain narrowing would turn 256 into false.
jboolean flagOf(BOOL value) noexcept
{
    return value != FALSE ? JNI_TRUE : JNI_FALSE;
}

[[noreturn]] void refuseShortBlock(const char* structure)
{
    throw std::runtime_error(std::string("The AM_MEDIA_TYPE structure's format block is too short for the ") +
                             structure + " its format type names.");
}

// A block too short for the structure (or none at all) is refused rather than
// read past its end.
template <typename T>
const T& formatBlock(const AM_MEDIA_TYPE& mediaType, const char* structure)
{
    const T* block = formatBlockAs<T>(mediaType);
    if (block == nullptr)
        refuseShortBlock(structure);
    return *block;
}

// Also a 16-byte PCMWAVEFORMAT, whose absent cbSize is not passed anyway.
WAVEFORMATEX waveFormatBlock(const AM_MEDIA_TYPE& mediaType)
{
    const std::optional<WAVEFORMATEX> wave = waveFormatOf(mediaType);
    if (!wave)
        refuseShortBlock("WAVEFORMATEX");
    return *wave;
}

[[noreturn]] void refuseFormat(const char* structure)
{
    throw std::runtime_error(std::string("The AM_MEDIA_TYPE structure contains a ") + structure +
                             " format object. This is not supported by Pellux.");
}

jobject newDVInfo(const MediaTypeConverter& c, const DVINFO& dv) noexcept
{
    return c.environment->NewObject(c.dvInfoClass, c.dvInfoConstructor, bitsOf(dv.dwDVAAuxSrc), bitsOf(dv.dwDVAAuxCtl),
                                    bitsOf(dv.dwDVAAuxSrc1), bitsOf(dv.dwDVAAuxCtl1), bitsOf(dv.dwDVVAuxSrc),
                                    bitsOf(dv.dwDVVAuxCtl));
}

jobject newVideoHeader(const MediaTypeConverter& c, const VIDEOINFOHEADER& video) noexcept
{
    const BITMAPINFOHEADER& bitmap = video.bmiHeader;
    return c.environment->NewObject(
        c.videoHeaderClass, c.videoHeaderConstructor, jint{video.rcSource.left}, jint{video.rcSource.top},
        jint{video.rcSource.right}, jint{video.rcSource.bottom}, jint{video.rcTarget.left}, jint{video.rcTarget.top},
        jint{video.rcTarget.right}, jint{video.rcTarget.bottom}, bitsOf(video.dwBitRate), bitsOf(video.dwBitErrorRate),
        jlong{video.AvgTimePerFrame}, jint{bitmap.biWidth}, jint{bitmap.biHeight}, bitsOf(bitmap.biPlanes),
        bitsOf(bitmap.biBitCount), bitsOf(bitmap.biCompression), bitsOf(bitmap.biSizeImage),
        jint{bitmap.biXPelsPerMeter}, jint{bitmap.biYPelsPerMeter}, bitsOf(bitmap.biClrUsed),
        bitsOf(bitmap.biClrImportant));
}

jobject newWaveFormat(const MediaTypeConverter& c, const WAVEFORMATEX& wave) noexcept
{
    return c.environment->NewObject(c.waveFormatClass, c.waveFormatConstructor, jint{wave.wFormatTag},
                                    bitsOf(wave.nChannels), bitsOf(wave.nSamplesPerSec), bitsOf(wave.nAvgBytesPerSec),
                                    bitsOf(wave.nBlockAlign), bitsOf(wave.wBitsPerSample));
}

// The format object a media type's format type calls for. `due` is false
// when the type has no format block; otherwise a null result means NewObject
// failed and its Java exception is pending.
jobject toJavaFormat(const MediaTypeConverter& c, const AM_MEDIA_TYPE& mediaType, bool& due)
{
    const GUID& type = mediaType.formattype;
    due = true;
    if (type == GUID_NULL || type == FORMAT_None) {
        due = false;
        return nullptr;
    }
    if (type == FORMAT_VideoInfo)
        return newVideoHeader(c, formatBlock<VIDEOINFOHEADER>(mediaType, "VIDEOINFOHEADER"));
    if (type == FORMAT_WaveFormatEx)
        return newWaveFormat(c, waveFormatBlock(mediaType));
    if (type == FORMAT_DvInfo)
        return newDVInfo(c, formatBlock<DVINFO>(mediaType, "DVINFO"));
    if (type == FORMAT_MPEG2Video)
        refuseFormat("MPEG2VIDEOINFO");
    if (type == FORMAT_MPEGStreams)
        refuseFormat("AM_MPEGSYSTEMTYPE");
    if (type == FORMAT_MPEGVideo)
        refuseFormat("MPEG1VIDEOINFO");
    if (type == FORMAT_VideoInfo2)
        refuseFormat("VIDEOINFOHEADER2");
    throw std::runtime_error("The AM_MEDIA_TYPE structure contains a type of format object that isn't recognised.");
}

} // namespace

void MediaTypeConverter::lookUpClasses(JNIEnv* env) noexcept
{
    releaseClasses();
    environment = env;
    findClass(env, mediaInfoClass, "orlesk/tavrin/pellux/mediainfo/MediaInfo") &&
        findMethod(env, mediaInfoClass, mediaInfoConstructor, "<init>", "()V") &&
        findMethod(env, mediaInfoClass, addStreamMethod, "addStream", "(Lorlesk/tavrin/pellux/mediainfo/Stream;)V") &&
        findClass(env, streamClass, "orlesk/tavrin/pellux/mediainfo/Stream") &&
        findMethod(env, streamClass, streamConstructor, "<init>",
                   "(Lorlesk/tavrin/pellux/mediainfo/AMMediaType;DJ)V") &&
        findClass(env, mediaTypeClass, "orlesk/tavrin/pellux/mediainfo/AMMediaType") &&
        findMethod(env, mediaTypeClass, mediaTypeConstructor, "<init>",
                   "(Ljava/lang/String;Ljava/lang/String;ZZILorlesk/tavrin/pellux/mediainfo/Format;)V") &&
        findClass(env, dvInfoClass, "orlesk/tavrin/pellux/mediainfo/DVInfo") &&
        findMethod(env, dvInfoClass, dvInfoConstructor, "<init>", "(IIIIII)V") &&
        findClass(env, videoHeaderClass, "orlesk/tavrin/pellux/mediainfo/VideoHeader") &&
        findMethod(env, videoHeaderClass, videoHeaderConstructor, "<init>", "(IIIIIIIIIIJIISSIIIIII)V") &&
        findClass(env, waveFormatClass, "orlesk/tavrin/pellux/mediainfo/WaveFormatEx") &&
        findMethod(env, waveFormatClass, waveFormatConstructor, "<init>", "(ISIISS)V");
}

void MediaTypeConverter::releaseClasses() noexcept
{
    if (environment != nullptr) {
        for (jclass type :
             {mediaInfoClass, streamClass, mediaTypeClass, dvInfoClass, videoHeaderClass, waveFormatClass})
            environment->DeleteLocalRef(type);
    }
    environment = nullptr;
    mediaInfoClass = streamClass = mediaTypeClass = dvInfoClass = videoHeaderClass = waveFormatClass = nullptr;
    mediaInfoConstructor = addStreamMethod = streamConstructor = mediaTypeConstructor = dvInfoConstructor =
        videoHeaderConstructor = waveFormatConstructor = nullptr;
}

jstring guidToJavaString(JNIEnv* env, REFGUID guid) noexcept
{
    wchar_t text[kGuidTextLength] = {};
    if (StringFromGUID2(guid, text, kGuidTextLength) != kGuidTextLength) {
        throwJavaException(env, kRuntimeExceptionClass, kGuidConversionFailed);
        return nullptr;
    }
    static_assert(sizeof(wchar_t) == sizeof(jchar), "UTF-16 code units");
    return env->NewString(reinterpret_cast<const jchar*>(text), kGuidTextLength - 1);
}

jobject toJavaMediaType(const MediaTypeConverter& converter, const AM_MEDIA_TYPE& mediaType)
{
    JNIEnv* env = converter.environment;
    const jstring major = guidToJavaString(env, mediaType.majortype);
    if (major == nullptr)
        return nullptr;
    const jstring sub = guidToJavaString(env, mediaType.subtype);
    if (sub == nullptr)
        return nullptr;
    bool due = false;
    const jobject format = toJavaFormat(converter, mediaType, due);
    if (due && format == nullptr)
        return nullptr;
    return env->NewObject(converter.mediaTypeClass, converter.mediaTypeConstructor, major, sub,
                          flagOf(mediaType.bFixedSizeSamples), flagOf(mediaType.bTemporalCompression),
                          bitsOf(mediaType.lSampleSize), format);
}

} // namespace pellux
