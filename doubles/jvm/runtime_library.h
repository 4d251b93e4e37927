// A library that a variant of the stand-in jvm.dll imports and that lies only
// in its runtime's "bin" folder, as a pre-9 runtime's C library does: loading
// that jvm.dll works only when the loader is told to search "bin".
#ifndef TAVRIN_DOUBLES_JVM_RUNTIME_LIBRARY_H
#define TAVRIN_DOUBLES_JVM_RUNTIME_LIBRARY_H

#ifdef STANDIN_RUNTIME_LIBRARY_BUILD
#define STANDIN_RUNTIME_LIBRARY_API __declspec(dllexport)
#else
#define STANDIN_RUNTIME_LIBRARY_API __declspec(dllimport)
#endif

extern "C" STANDIN_RUNTIME_LIBRARY_API int standinRuntimeLibraryVersion();

#endif
