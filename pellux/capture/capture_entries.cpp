// Capture start and stop, and the frame entry points the Java side polls.
#include "boundary/handle.h"
#include "boundary/java_exceptions.h"
#include "capture/sample_capture_graph.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <jni.h>

#include <stdexcept>

namespace pellux {
namespace {

// A Java byte array pinned for a critical region; released (mode 0: copy
// back and free) on scope exit, so before any exception is reported.
class PinnedArray {
public:
    PinnedArray(JNIEnv* env, jbyteArray array)
        : env(env), array(array), bytes(env->GetPrimitiveArrayCritical(array, nullptr))
    {
    }
    ~PinnedArray()
    {
        if (bytes != nullptr)
            env->ReleasePrimitiveArrayCritical(array, bytes, 0);
    }
    PinnedArray(const PinnedArray&) = delete;
    PinnedArray& operator=(const PinnedArray&) = delete;

    void* get() const noexcept { return bytes; }

private:
    JNIEnv* env;
    jbyteArray array;
    void* bytes;
};

// The JVM could not pin the array. Its own error, if it left one, gives way
// to the library's, which the frame loop of the Java side handles.
[[noreturn]] void throwArrayNotPinned(JNIEnv* env)
{
    if (env->ExceptionCheck())
        env->ExceptionClear();
    throw std::runtime_error("Failed to get access to the frame buffer.");
}

void reportFrameResult(JNIEnv* env, HRESULT copied)
{
    if (copied == E_OUTOFMEMORY)
        throwJavaException(env, kRuntimeExceptionClass, "The frame buffer is the wrong size.");
    else if (copied == E_PENDING)
        throwJavaException(env, kRuntimeExceptionClass, "There isn't a frame available at this time.");
    else if (FAILED(copied))
        reportHResult(env, "Unknown COM error copying frame.", copied);
}

jint getFrame(JNIEnv* env, SampleCaptureGraph& graph, jbyteArray buffer)
{
    if (buffer == nullptr)
        throw std::invalid_argument("The frame buffer is null.");
    const jsize size = env->GetArrayLength(buffer);
    uint32_t length = 0;
    HRESULT copied = S_OK;
    {
        PinnedArray pinned(env, buffer);
        if (pinned.get() == nullptr)
            throwArrayNotPinned(env);
        copied = graph.getFrame(pinned.get(), static_cast<uint32_t>(size), length);
    }
    reportFrameResult(env, copied);
    return static_cast<jint>(length);
}

} // namespace
} // namespace pellux

using namespace pellux;

extern "C" {

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_startCapturing(JNIEnv* env, jclass, jlong device)
{
    reportFailures(env, [&] { fromHandle<SampleCaptureGraph>(device).startCapturing(); });
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_stopCapturing(JNIEnv* env, jclass, jlong device)
{
    reportFailures(env, [&] { fromHandle<SampleCaptureGraph>(device).stopCapturing(); });
}

JNIEXPORT jint JNICALL Java_orlesk_tavrin_pellux_Pellux_getFrameSize(JNIEnv* env, jclass, jlong device)
{
    return reportFailures(env, jint{0},
                          [&] { return static_cast<jint>(fromHandle<SampleCaptureGraph>(device).getFrameSize()); });
}

JNIEXPORT jboolean JNICALL Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable(JNIEnv* env, jclass, jlong device)
{
    return reportFailures(env, jboolean{JNI_FALSE}, [&] {
        return fromHandle<SampleCaptureGraph>(device).isFrameAvailable() ? jboolean{JNI_TRUE} : jboolean{JNI_FALSE};
    });
}

JNIEXPORT jlong JNICALL Java_orlesk_tavrin_pellux_Pellux_getFrameIndex(JNIEnv* env, jclass, jlong device)
{
    return reportFailures(env, jlong{-1},
                          [&] { return static_cast<jlong>(fromHandle<SampleCaptureGraph>(device).getFrameIndex()); });
}

JNIEXPORT jint JNICALL Java_orlesk_tavrin_pellux_Pellux_getFrame(JNIEnv* env, jclass, jlong device, jbyteArray buffer)
{
    return reportFailures(env, jint{0}, [&] { return getFrame(env, fromHandle<SampleCaptureGraph>(device), buffer); });
}

} // extern "C"
