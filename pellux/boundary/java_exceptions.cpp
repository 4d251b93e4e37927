#include "boundary/java_exceptions.h"

#include "boundary/local_refs.h"
#include "boundary/text.h"

namespace pellux {

void throwJavaException(JNIEnv* env, const char* className, const char* message)
{
    const ScopedLocalRef<jclass> type(env, env->FindClass(className));
    if (type)
        env->ThrowNew(type.get(), message);
}

void throwJavaCOMException(JNIEnv* env, const char* className, const char* message, HRESULT hresult,
                           const std::string& errorText)
{
    // Members are destroyed in reverse order: the object, the error text, the
    // message and the class, newest first.
    const ScopedLocalRef<jclass> type(env, env->FindClass(className));
    if (!type)
        return;
    const jmethodID constructor = env->GetMethodID(type.get(), "<init>", "(Ljava/lang/String;ILjava/lang/String;)V");
    if (constructor == nullptr)
        return;
    const ScopedLocalRef<jstring> messageString(env, env->NewStringUTF(message));
    if (!messageString)
        return;
    const ScopedLocalRef<jstring> errorString(env, env->NewStringUTF(errorText.c_str()));
    if (!errorString)
        return;
    const ScopedLocalRef<jthrowable> exception(
        env, static_cast<jthrowable>(env->NewObject(type.get(), constructor, messageString.get(),
                                                    static_cast<jint>(hresult), errorString.get())));
    if (exception)
        env->Throw(exception.get());
}

void reportRuntimeFailure(JNIEnv* env, const char* message) noexcept
{
    if (!env->ExceptionCheck())
        throwJavaException(env, kRuntimeExceptionClass, message);
}

void reportCOMException(JNIEnv* env, const COMException& failure) noexcept
{
    if (!env->ExceptionCheck())
        throwJavaCOMException(env, kCOMExceptionClass, failure.what(), failure.getHResult(), failure.getErrorText());
}

void reportHResult(JNIEnv* env, const char* message, HRESULT hresult) noexcept
{
    if (env->ExceptionCheck())
        return;
    try {
        std::string errorText;
        lookUpErrorText(hresult, errorText);
        throwJavaCOMException(env, kCOMExceptionClass, message, hresult, errorText);
    } catch (const std::exception& failure) {
        throwJavaException(env, kRuntimeExceptionClass, failure.what());
    }
}

} // namespace pellux
