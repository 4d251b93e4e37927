#include "define_class.h"

#include <string>

#include "class_keystream.h"

namespace launcher {

const char defineClassName[] = "defineClass";
const char defineClassSignature[] = "(Ljava/lang/String;[BIILjava/lang/ClassLoader;)Ljava/lang/Class;";

namespace {

void throwJava(JNIEnv* env, const char* className, const std::string& message)
{
    jclass exceptionClass = env->FindClass(className);
    if (!exceptionClass)
        return; // its own error is pending
    env->ThrowNew(exceptionClass, message.c_str());
    env->DeleteLocalRef(exceptionClass);
}

// Restoring writes length bytes into the array, so the length must fit it.
bool checkArguments(JNIEnv* env, jstring name, jbyteArray bytes, jint length)
{
    if (!name || !bytes) {
        throwJava(env, "java/lang/NullPointerException", name ? "bytes" : "name");
        return false;
    }
    jsize available = env->GetArrayLength(bytes);
    if (length < 0 || length > available) {
        std::string message = "length " + std::to_string(length) + " for an array of " + std::to_string(available);
        throwJava(env, "java/lang/ArrayIndexOutOfBoundsException", message);
        return false;
    }
    return true;
}

jclass restoreAndDefine(JNIEnv* env, const char* className, jbyteArray bytes, jint length, jobject loader)
{
    jbyte* elements = env->GetByteArrayElements(bytes, nullptr);
    if (!elements)
        return nullptr;
    classkey::applyClassKeystream(className, elements, length);
    jclass defined = nullptr;
    if (loader) {
        defined = env->DefineClass(className, loader, elements, length);
        env->ReleaseByteArrayElements(bytes, elements, JNI_ABORT);
    } else {
        env->ReleaseByteArrayElements(bytes, elements, 0); // the caller reads the restored bytes
    }
    return defined;
}

} // namespace

} // namespace launcher

JNIEXPORT jclass JNICALL Java_orlesk_tavrin_SecureLauncher_defineClass(JNIEnv* env, jclass, jstring name,
                                                                       jbyteArray bytes, jint, jint length,
                                                                       jobject loader)
{
    if (!launcher::checkArguments(env, name, bytes, length))
        return nullptr;
    const char* className = env->GetStringUTFChars(name, nullptr);
    if (!className)
        return nullptr;
    jclass defined = launcher::restoreAndDefine(env, className, bytes, length, loader);
    env->ReleaseStringUTFChars(name, className);
    return defined;
}
