#include "boundary/java_exceptions.h"

#include "boundary/text.h"

namespace pellux {
namespace {

// Deletes a local reference on scope exit (JNI allows deleting null).
class LocalRef {
public:
    LocalRef(JNIEnv* env, jobject ref) : env(env), ref(ref) {}
    ~LocalRef() { env->DeleteLocalRef(ref); }
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;

    jobject get() const { return ref; }
    explicit operator bool() const { return ref != nullptr; }

private:
    JNIEnv* env;
    jobject ref;
};

} // namespace

void throwJavaException(JNIEnv* env, const char* className, const char* message)
{
    LocalRef type(env, env->FindClass(className));
    if (type)
        env->ThrowNew(static_cast<jclass>(type.get()), message);
}

void throwJavaCOMException(JNIEnv* env, const char* className, const char* message, HRESULT hresult,
                           const std::string& errorText)
{
    // Members are destroyed in reverse order: the object, the error text, the
    // message and the class, newest first.
    LocalRef type(env, env->FindClass(className));
    if (!type)
        return;
    const jclass typeClass = static_cast<jclass>(type.get());
    const jmethodID constructor = env->GetMethodID(typeClass, "<init>", "(Ljava/lang/String;ILjava/lang/String;)V");
    if (constructor == nullptr)
        return;
    LocalRef messageString(env, env->NewStringUTF(message));
    if (!messageString)
        return;
    LocalRef errorString(env, env->NewStringUTF(errorText.c_str()));
    if (!errorString)
        return;
    LocalRef exception(env, env->NewObject(typeClass, constructor, messageString.get(), static_cast<jint>(hresult),
                                           errorString.get()));
    if (exception)
        env->Throw(static_cast<jthrowable>(exception.get()));
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
