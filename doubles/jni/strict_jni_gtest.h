// GoogleTest hook for the strict JNI double: every violation the double
// detects becomes a non-fatal failure of the running test, with the rule's text.
#ifndef TAVRIN_DOUBLES_JNI_STRICT_JNI_GTEST_H
#define TAVRIN_DOUBLES_JNI_STRICT_JNI_GTEST_H

#include "strict_jni.h"

namespace strictjni {

void failTestOnViolation(StrictJni& jni);

} // namespace strictjni

#endif
