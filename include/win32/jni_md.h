// JNI machine-dependent types for a 32-bit Windows JVM: stdcall entry points,
// 64-bit jlong, and exported native methods.
#ifndef TAVRIN_JNI_MD_H
#define TAVRIN_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
