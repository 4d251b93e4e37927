// Helpers shared by the session and device-list entry points.
#pragma once

#include "boundary/device_list.h"

#include <jni.h>

#include <memory>

namespace pellux {

// CoInitializeEx into the multithreaded apartment; a failure is reported as
// PelluxCOMException and false is returned.
bool joinMultithreadedApartment(JNIEnv* env) noexcept;

// A new empty list; a failed allocation throws std::bad_alloc with the
// message the Java side expects ("Out of Memory").
std::unique_ptr<DeviceList> newDeviceList(const GUID& category);

} // namespace pellux
