// Opening a listed device as a capture graph of its list's kind, and closing it.
#include "audio/audio_sample_capture_graph.h"
#include "boundary/allocation.h"
#include "boundary/device_list.h"
#include "boundary/handle.h"
#include "boundary/java_exceptions.h"
#include "capture/dv_sample_capture_graph.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <jni.h>

#include <memory>
#include <stdexcept>

namespace pellux {
namespace {

// The graph class follows from the list's category alone.
std::unique_ptr<SampleCaptureGraph> newGraphFor(const GUID& category)
{
    if (category == CLSID_VideoInputDeviceCategory)
        return allocate<DVSampleCaptureGraph>();
    if (category == CLSID_AudioInputDeviceCategory)
        return allocate<AudioSampleCaptureGraph>();
    throw std::invalid_argument("Device type not recognised.");
}

jlong openDevice(const DeviceList& devices, jint index)
{
    if (!devices.isValidIndex(index))
        throw std::out_of_range("Device index is out of range.");
    std::unique_ptr<SampleCaptureGraph> graph = newGraphFor(devices.getCategory());
    // A failed build leaves a partly built graph, which is deleted here.
    graph->buildGraph(*devices.getMoniker(index));
    return toHandle(graph.release());
}

} // namespace
} // namespace pellux

using namespace pellux;

extern "C" {

JNIEXPORT jlong JNICALL Java_orlesk_tavrin_pellux_Pellux_openDevice(JNIEnv* env, jclass, jlong list, jint index)
{
    return reportFailures(env, jlong{0}, [&] { return openDevice(fromHandle<DeviceList>(list), index); });
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_closeDevice(JNIEnv*, jclass, jlong device)
{
    delete fromHandleOrNull<SampleCaptureGraph>(device);
}

} // extern "C"
