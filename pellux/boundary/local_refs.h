// Scoped JNI local references and local frames, so that every path out of a
// conversion deletes what it made. Both are safe while a Java exception is
// pending: DeleteLocalRef and PopLocalFrame are allowed then.
#pragma once

#include <jni.h>

#include <utility>

namespace pellux {

// A local reference deleted on scope exit unless released to the caller.
template <typename T = jobject>
class ScopedLocalRef {
public:
    ScopedLocalRef(JNIEnv* env, T ref) noexcept : env(env), ref(ref) {}
    ~ScopedLocalRef() { env->DeleteLocalRef(ref); }
    ScopedLocalRef(const ScopedLocalRef&) = delete;
    ScopedLocalRef& operator=(const ScopedLocalRef&) = delete;

    T get() const noexcept { return ref; }
    T release() noexcept { return std::exchange(ref, nullptr); }
    explicit operator bool() const noexcept { return ref != nullptr; }

private:
    JNIEnv* env;
    T ref;
};

// A local frame pushed at construction and popped, with no result, at scope
// exit; false when it could not be pushed (the Java error is then pending).
class LocalFrame {
public:
    LocalFrame(JNIEnv* env, jint capacity) noexcept : env(env), pushed(env->PushLocalFrame(capacity) == 0) {}
    ~LocalFrame()
    {
        if (pushed)
            env->PopLocalFrame(nullptr);
    }
    LocalFrame(const LocalFrame&) = delete;
    LocalFrame& operator=(const LocalFrame&) = delete;

    explicit operator bool() const noexcept { return pushed; }

    // Pops the frame now, keeping `result` alive as a reference of the frame
    // below (null stays null).
    jobject pop(jobject result) noexcept
    {
        pushed = false;
        return env->PopLocalFrame(result);
    }

private:
    JNIEnv* env;
    bool pushed;
};

} // namespace pellux
