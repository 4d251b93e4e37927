// Per-thread COM set-up and sessions: each successful CoInitializeEx is
// balanced by one CoUninitialize on the same thread.
#include "boundary/allocation.h"
#include "boundary/com_apartment.h"
#include "boundary/device_list.h"
#include "boundary/handle.h"
#include "boundary/java_exceptions.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <memory>

namespace pellux {

bool joinMultithreadedApartment(JNIEnv* env) noexcept
{
    const HRESULT hresult = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hresult)) {
        reportHResult(env, "Failed to initialise COM with CoInitializeEx", hresult);
        return false;
    }
    return true;
}

} // namespace pellux

using namespace pellux;

extern "C" {

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_initialiseThread(JNIEnv* env, jclass)
{
    joinMultithreadedApartment(env);
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_releaseThread(JNIEnv*, jclass)
{
    CoUninitialize();
}

JNIEXPORT jlong JNICALL Java_orlesk_tavrin_pellux_Pellux_openSession(JNIEnv* env, jclass)
{
    if (!joinMultithreadedApartment(env))
        return 0;
    // COM stays initialised when the list cannot be made, as closeSession
    // balances it either way.
    return reportFailures(env, jlong{0},
                          [] { return toHandle(allocate<DeviceList>(CLSID_VideoInputDeviceCategory).release()); });
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_closeSession(JNIEnv*, jclass, jlong session)
{
    delete fromHandleOrNull<DeviceList>(session);
    CoUninitialize();
}

} // extern "C"
