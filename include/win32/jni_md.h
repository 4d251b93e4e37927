// JNI machine-dependent types for a Windows JVM: stdcall entry points on x86
// (a 32-bit JVM calls natives that way; on x64 there is one calling
// convention), 32-bit jint (Windows' long is 32 bits on both), 64-bit jlong,
// and exported native methods.
#ifndef TAVRIN_JNI_MD_H
#define TAVRIN_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#if defined(__i386__) || defined(_M_IX86)
#define JNICALL __stdcall
#else
#define JNICALL
#endif

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
