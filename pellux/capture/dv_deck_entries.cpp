// DV deck control: transport mode and timecode.
#include "boundary/handle.h"
#include "boundary/java_exceptions.h"
#include "capture/dv_sample_capture_graph.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <jni.h>

namespace pellux {
namespace {

constexpr jint kDeckFailed = -1;

// The DV graph behind a device handle; an audio device has no deck to drive.
DVSampleCaptureGraph& dvGraph(jlong device)
{
    return fromHandleOfKind<DVSampleCaptureGraph, SampleCaptureGraph>(
        device, "The device is not a DV device: it has no transport or timecode.");
}

} // namespace
} // namespace pellux

using namespace pellux;

extern "C" {

JNIEXPORT jint JNICALL Java_orlesk_tavrin_pellux_Pellux_getTransportState(JNIEnv* env, jclass, jlong device)
{
    return reportFailures(env, kDeckFailed, [&] { return static_cast<jint>(dvGraph(device).getTransportState()); });
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_setTransportState(JNIEnv* env, jclass, jlong device, jint mode)
{
    reportFailures(env, [&] { dvGraph(device).setTransportState(mode); });
}

JNIEXPORT jint JNICALL Java_orlesk_tavrin_pellux_Pellux_getTimeCode(JNIEnv* env, jclass, jlong device)
{
    return reportFailures(env, kDeckFailed, [&] { return static_cast<jint>(dvGraph(device).getTimeCode()); });
}

} // extern "C"
