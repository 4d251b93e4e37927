// Device lists: create, fill, read and destroy.
#include "boundary/allocation.h"
#include "boundary/device_list.h"
#include "boundary/handle.h"
#include "boundary/java_exceptions.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <stdexcept>

namespace pellux {
namespace {

jlong openDeviceList(JNIEnv* env, const GUID& category) noexcept
{
    return reportFailures(env, jlong{0}, [&] { return toHandle(allocate<DeviceList>(category).release()); });
}

} // namespace
} // namespace pellux

using namespace pellux;

extern "C" {

JNIEXPORT jlong JNICALL Java_orlesk_tavrin_pellux_Pellux_openDVDeviceList(JNIEnv* env, jclass)
{
    return openDeviceList(env, CLSID_VideoInputDeviceCategory);
}

JNIEXPORT jlong JNICALL Java_orlesk_tavrin_pellux_Pellux_openAudioDeviceList(JNIEnv* env, jclass)
{
    return openDeviceList(env, CLSID_AudioInputDeviceCategory);
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_closeDeviceList(JNIEnv*, jclass, jlong list)
{
    delete fromHandleOrNull<DeviceList>(list);
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_loadDeviceList(JNIEnv* env, jclass, jlong list)
{
    reportFailures(env, [&] { fromHandle<DeviceList>(list).load(); });
}

JNIEXPORT jint JNICALL Java_orlesk_tavrin_pellux_Pellux_getDeviceCount(JNIEnv* env, jclass, jlong list)
{
    return reportFailures(env, jint{0}, [&] { return fromHandle<DeviceList>(list).getCount(); });
}

JNIEXPORT jstring JNICALL Java_orlesk_tavrin_pellux_Pellux_getDeviceName(JNIEnv* env, jclass, jlong list, jint index)
{
    return reportFailures(env, jstring{}, [&]() -> jstring {
        const DeviceList& devices = fromHandle<DeviceList>(list);
        if (!devices.isValidIndex(index))
            throw std::out_of_range("Device index is out of range.");
        return env->NewStringUTF(devices.getName(index).c_str());
    });
}

} // extern "C"
