// Joining COM's multithreaded apartment, for initialiseThread and openSession.
#pragma once

#include <jni.h>

namespace pellux {

// CoInitializeEx into the multithreaded apartment; a failure is reported as
// PelluxCOMException and false is returned.
bool joinMultithreadedApartment(JNIEnv* env) noexcept;

} // namespace pellux
