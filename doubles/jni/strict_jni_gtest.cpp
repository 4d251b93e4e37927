#include "strict_jni_gtest.h"

#include <gtest/gtest.h>

namespace strictjni {

void failTestOnViolation(StrictJni& jni)
{
    jni.setViolationHandler([](const Violation& violation) { ADD_FAILURE() << violation.text(); });
}

} // namespace strictjni
