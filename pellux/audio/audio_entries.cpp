// The audio entry points: the current and the supported capture formats,
// switching the format, and the audio input mixer preferences.
#include "audio/audio_input_mixer.h"
#include "audio/audio_sample_capture_graph.h"
#include "boundary/handle.h"
#include "boundary/java_exceptions.h"
#include "boundary/local_refs.h"
#include "media/media_type_converter.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <jni.h>
#include <mmreg.h>

#include <optional>

namespace pellux {
namespace {

constexpr jint kMediaTypeFrameCapacity = 16;
constexpr char kMixerPreferencesClass[] = "orlesk/tavrin/pellux/mediainfo/AudioInputMixerPreferences";
constexpr char kMixerPreferencesConstructor[] = "(ZZZDZDZZZDDZDD)V";

// The audio graph behind a device handle. A DV device has neither audio
// formats nor a mixer: taken as an audio graph it would be read past its end.
AudioSampleCaptureGraph& audioGraph(jlong device)
{
    return fromHandleOfKind<AudioSampleCaptureGraph, SampleCaptureGraph>(
        device, "The device is not an audio input device: it has no audio formats or mixer.");
}

jboolean toJboolean(bool value) noexcept
{
    return value ? JNI_TRUE : JNI_FALSE;
}

// The converted media type as the only local reference it leaves: its GUID
// strings and format object go with a frame of their own. Null with a Java
// exception pending when the conversion failed in the JVM.
jobject toJavaMediaTypeInFrame(const MediaTypeConverter& converter, const AM_MEDIA_TYPE& mediaType)
{
    LocalFrame frame(converter.environment, kMediaTypeFrameCapacity);
    if (!frame)
        return nullptr;
    return frame.pop(toJavaMediaType(converter, mediaType));
}

jobject currentMediaType(const MediaTypeConverter& converter, AudioSampleCaptureGraph& graph)
{
    const OwnedMediaType current = graph.getCurrentMediaType();
    return toJavaMediaTypeInFrame(converter, *current.get());
}

// Every capability in order, each converted inside its own local frame.
jobjectArray supportedMediaTypes(const MediaTypeConverter& converter, AudioSampleCaptureGraph& graph)
{
    JNIEnv* env = converter.environment;
    const int32_t count = graph.getMediaTypeCount();
    ScopedLocalRef<jobjectArray> list(env, env->NewObjectArray(count, converter.mediaTypeClass, nullptr));
    if (!list)
        return nullptr;
    for (int32_t index = 0; index < count; ++index) {
        const LocalFrame frame(env, kMediaTypeFrameCapacity);
        if (!frame)
            return nullptr;
        const jobject element = toJavaMediaType(converter, graph.getMediaType(index));
        if (element == nullptr)
            return nullptr;
        env->SetObjectArrayElement(list.get(), index, element);
        if (env->ExceptionCheck())
            return nullptr;
    }
    return list.release();
}

bool matchesFormat(const AM_MEDIA_TYPE& mediaType, jint channels, jint bitsPerSample, jint samplesPerSecond)
{
    if (mediaType.formattype != FORMAT_WaveFormatEx)
        return false;
    const std::optional<WAVEFORMATEX> wave = waveFormatOf(mediaType);
    return wave && jlong{channels} == jlong{wave->nChannels} && jlong{bitsPerSample} == jlong{wave->wBitsPerSample} &&
           jlong{samplesPerSecond} == jlong{wave->nSamplesPerSec};
}

// The earliest capability with these values; nothing happens without one.
void selectMediaType(AudioSampleCaptureGraph& graph, jint channels, jint bitsPerSample, jint samplesPerSecond)
{
    const int32_t count = graph.getMediaTypeCount();
    for (int32_t index = 0; index < count; ++index) {
        const AM_MEDIA_TYPE& candidate = graph.getMediaType(index);
        if (matchesFormat(candidate, channels, bitsPerSample, samplesPerSecond)) {
            graph.setMediaType(candidate);
            return;
        }
    }
}

jobject toJavaMixerPreferences(JNIEnv* env, jclass type, jmethodID constructor, const MixerPreferences& read)
{
    return env->NewObject(type, constructor, toJboolean(read.monoSupported), toJboolean(read.mono),
                          toJboolean(read.mixLevelSupported), read.mixLevel, toJboolean(read.panSupported), read.pan,
                          toJboolean(read.loudnessSupported), toJboolean(read.loudness),
                          toJboolean(read.trebleSupported), read.treble, read.trebleRange,
                          toJboolean(read.bassSupported), read.bass, read.bassRange);
}

} // namespace
} // namespace pellux

using namespace pellux;

extern "C" {

JNIEXPORT jobject JNICALL Java_orlesk_tavrin_pellux_Pellux_getAudioInputMediaType(JNIEnv* env, jclass, jlong device)
{
    return withMediaTypeConverter<jobject>(
        env, [&](const MediaTypeConverter& converter) { return currentMediaType(converter, audioGraph(device)); });
}

JNIEXPORT jobjectArray JNICALL Java_orlesk_tavrin_pellux_Pellux_getSupportedAudioInputMediaTypes(JNIEnv* env, jclass,
                                                                                                 jlong device)
{
    return withMediaTypeConverter<jobjectArray>(
        env, [&](const MediaTypeConverter& converter) { return supportedMediaTypes(converter, audioGraph(device)); });
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI(JNIEnv* env, jclass, jlong device,
                                                                                   jint index)
{
    reportFailures(env, [&] {
        AudioSampleCaptureGraph& graph = audioGraph(device);
        graph.setMediaType(graph.getMediaType(index));
    });
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII(JNIEnv* env, jclass, jlong device,
                                                                                     jint channels, jint bitsPerSample,
                                                                                     jint samplesPerSecond)
{
    reportFailures(env, [&] { selectMediaType(audioGraph(device), channels, bitsPerSample, samplesPerSecond); });
}

JNIEXPORT jobject JNICALL Java_orlesk_tavrin_pellux_Pellux_getAudioInputMixerPreferences(JNIEnv* env, jclass,
                                                                                         jlong device)
{
    const ScopedLocalRef<jclass> type(env, env->FindClass(kMixerPreferencesClass));
    if (!type)
        return nullptr;
    const jmethodID constructor = env->GetMethodID(type.get(), "<init>", kMixerPreferencesConstructor);
    if (constructor == nullptr)
        return nullptr;
    return reportFailures(env, jobject{}, [&] {
        return toJavaMixerPreferences(env, type.get(), constructor, readMixerPreferences(audioGraph(device)));
    });
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_setAudioInputMixerPreferences(JNIEnv* env, jclass, jlong device,
                                                                                      jboolean mono, jdouble mixLevel,
                                                                                      jdouble pan, jboolean loudness,
                                                                                      jdouble treble, jdouble bass)
{
    reportFailures(env, [&] {
        MixerRequest request;
        request.mono = mono != JNI_FALSE;
        request.mixLevel = mixLevel;
        request.pan = pan;
        request.loudness = loudness != JNI_FALSE;
        request.treble = treble;
        request.bass = bass;
        writeMixerPreferences(audioGraph(device), request);
    });
}

} // extern "C"
