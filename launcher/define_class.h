// The native method defineClass of orlesk/tavrin/SecureLauncher: restores a
// stored class's bytes and, given a class loader, defines the class.
#ifndef TAVRIN_LAUNCHER_DEFINE_CLASS_H
#define TAVRIN_LAUNCHER_DEFINE_CLASS_H

#include <jni.h>

// Java_orlesk_tavrin_SecureLauncher_defineClass, as javac declares it. The
// bytes are restored in place from element 0 whatever the offset. With a
// loader the class is defined from them and the Java array is left as it was;
// without one nothing is defined and the restored bytes are copied back into
// the Java array. A length outside the array raises
// java/lang/ArrayIndexOutOfBoundsException and defines nothing.
#include "orlesk_tavrin_SecureLauncher.h"

namespace launcher {

extern const char defineClassName[];      // "defineClass"
extern const char defineClassSignature[]; // its JNI signature

} // namespace launcher

#endif
