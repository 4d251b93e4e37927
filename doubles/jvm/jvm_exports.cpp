// The invocation interface of the stand-in jvm.dll.
#define _JNI_IMPLEMENTATION_ // jni.h then declares these three as exports
#include <jni.h>
#include <windows.h>

#include <sstream>
#include <string>

#include "runtime_home.h"
#include "standin_runtime.h"

namespace {

std::string environmentText(const char* name)
{
    char value[1024];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

// One runtime per process, as with a real virtual machine.
standin::StandInRuntime& runtime()
{
    static standin::StandInRuntime instance(environmentText("TAVRIN_JVM_BEHAVIOUR"),
                                            environmentText("TAVRIN_JVM_RECORD"),
                                            standin::releaseFeatureVersion(standin::runtimeHome()));
    return instance;
}

// Runs while the loader maps jvm.dll, on the thread that asked for it.
[[maybe_unused]] const bool loadRecorded = (runtime().recordLoad(), true);

JavaVM* createdVm = nullptr;

} // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args)
{
    auto* initArgs = static_cast<JavaVMInitArgs*>(args);
    std::ostringstream line;
    line << "JNI_GetDefaultJavaVMInitArgs version=0x" << std::hex << (initArgs ? initArgs->version : 0);
    runtime().record().line(line.str());
    return initArgs && initArgs->version >= JNI_VERSION_1_2 ? JNI_OK : JNI_EVERSION;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args)
{
    if (createdVm)
        return JNI_EEXIST;
    JNIEnv* mainEnv = nullptr;
    const jint created = runtime().create(*static_cast<JavaVMInitArgs*>(args), vm, &mainEnv);
    if (created != JNI_OK)
        return created;
    createdVm = *vm;
    *env = mainEnv;
    return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize capacity, jsize* count)
{
    if (count)
        *count = createdVm ? 1 : 0;
    if (createdVm && vms && capacity > 0)
        vms[0] = createdVm;
    return JNI_OK;
}

} // extern "C"
