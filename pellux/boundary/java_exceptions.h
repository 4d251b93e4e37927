// Raising the library's two Java exceptions, and the guard every JNI entry
// point runs its body in so that no native failure crosses into the JVM.
#pragma once

#include "boundary/com_exception.h"

#include <jni.h>

#include <string>
#include <type_traits>

namespace pellux {

constexpr char kRuntimeExceptionClass[] = "orlesk/tavrin/pellux/PelluxRuntimeException";
constexpr char kCOMExceptionClass[] = "orlesk/tavrin/pellux/PelluxCOMException";

// Makes the named class throw with `message` (JNI ThrowNew).
void throwJavaException(JNIEnv* env, const char* className, const char* message);

// Constructs the named class with (message, hresult, errorText) and throws it.
// A failing JNI step leaves its own Java error pending instead.
void throwJavaCOMException(JNIEnv* env, const char* className, const char* message, HRESULT hresult,
                           const std::string& errorText);

// The reports an entry point makes. None of them raises a second Java
// exception over one that is already pending: the first failure is the one
// the caller sees.
void reportRuntimeFailure(JNIEnv* env, const char* message) noexcept;
void reportCOMException(JNIEnv* env, const COMException& failure) noexcept;
// An HRESULT the entry point detected itself: the platform's text, or an
// empty text when the platform has none.
void reportHResult(JNIEnv* env, const char* message, HRESULT hresult) noexcept;

// Runs an entry point's body and turns whatever it throws into a pending Java
// exception: COMException as PelluxCOMException, any other failure (memory
// exhaustion, a standard library error, a null handle) as
// PelluxRuntimeException with its text. Returns the body's result, or
// `failed` after a report.
template <typename Result, typename Body>
Result reportFailures(JNIEnv* env, Result failed, Body&& body) noexcept
{
    try {
        return body();
    } catch (const COMException& failure) {
        reportCOMException(env, failure);
    } catch (const std::exception& failure) {
        reportRuntimeFailure(env, failure.what());
    } catch (...) {
        reportRuntimeFailure(env, "Unexpected native failure.");
    }
    return failed;
}

// The same for an entry point without a result.
template <typename Body>
void reportFailures(JNIEnv* env, Body&& body) noexcept
{
    reportFailures(env, 0, [&] {
        body();
        return 0;
    });
}

} // namespace pellux
