// DirectShow media types as the Java objects of orlesk/tavrin/pellux/mediainfo.
//
// One MediaTypeConverter per native call, on the entry point's stack: it looks
// the Java classes and their members up once and deletes its class references
// when the call ends. The objects toJavaMediaType makes (GUID strings, format
// object, media type) are local references of the caller's frame; a caller
// converting several media types pushes a local frame per media type.
#pragma once

#include "boundary/java_exceptions.h"

#include <dshow.h>
#include <jni.h>

namespace pellux {

class MediaTypeConverter {
public:
    MediaTypeConverter() noexcept = default;
    ~MediaTypeConverter() { releaseClasses(); }
    MediaTypeConverter(const MediaTypeConverter&) = delete;
    MediaTypeConverter& operator=(const MediaTypeConverter&) = delete;

    // Finds the classes and members in field order and stops at the first one
    // missing, whose Java error (FindClass, GetMethodID) is then pending: the
    // caller tests ExceptionCheck right after.
    void lookUpClasses(JNIEnv* env) noexcept;
    // Deletes the class references and clears every field; safe to repeat.
    void releaseClasses() noexcept;

    JNIEnv* environment = nullptr;
    jclass mediaInfoClass = nullptr;
    jmethodID mediaInfoConstructor = nullptr;
    jmethodID addStreamMethod = nullptr;
    jclass streamClass = nullptr;
    jmethodID streamConstructor = nullptr;
    jclass mediaTypeClass = nullptr;
    jmethodID mediaTypeConstructor = nullptr;
    jclass dvInfoClass = nullptr;
    jmethodID dvInfoConstructor = nullptr;
    jclass videoHeaderClass = nullptr;
    jmethodID videoHeaderConstructor = nullptr;
    jclass waveFormatClass = nullptr;
    jmethodID waveFormatConstructor = nullptr;
};

// The GUID in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as a new
// local Java string; null with a Java exception pending when it cannot be made.
jstring guidToJavaString(JNIEnv* env, REFGUID guid) noexcept;

// A new local AMMediaType for `mediaType` (read only; the caller owns it), or
// null with a Java exception pending. Throws std::runtime_error for a format
// block the library does not support, or one shorter than the structure its
// format type names.
jobject toJavaMediaType(const MediaTypeConverter& converter, const AM_MEDIA_TYPE& mediaType);

// Runs a Form-2 entry point's body with the classes looked up: null when a
// class or member is missing (its Java error pending), otherwise the body's
// result inside reportFailures. The converter is released on every path.
template <typename Result, typename Body>
Result withMediaTypeConverter(JNIEnv* env, Body&& body) noexcept
{
    MediaTypeConverter converter;
    converter.lookUpClasses(env);
    if (env->ExceptionCheck())
        return nullptr;
    return reportFailures(env, Result{}, [&] { return body(converter); });
}

} // namespace pellux
