/* A jvm.dll built for the other architecture: the runtime a user of the
 * 32-bit Tavrin has when only 64-bit Java is installed, or the reverse. No
 * launcher can load it; it exports the invocation functions under their
 * plain names as a real one does, and each refuses. */
#include <stddef.h>

#define EXPORTED __declspec(dllexport)

EXPORTED long JNI_GetDefaultJavaVMInitArgs(void* args)
{
    (void)args;
    return -1;
}

EXPORTED long JNI_CreateJavaVM(void** vm, void** env, void* args)
{
    (void)vm;
    (void)env;
    (void)args;
    return -1;
}

EXPORTED long JNI_GetCreatedJavaVMs(void** vms, long capacity, long* count)
{
    (void)vms;
    (void)capacity;
    if (count)
        *count = 0;
    return 0;
}
