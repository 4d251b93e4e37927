// Shared set-up of the strict JNI double's own tests: violations are recorded,
// not failed, so each test can plant one and assert the rule that caught it.
#ifndef TAVRIN_TESTS_STRICT_JNI_FIXTURE_H
#define TAVRIN_TESTS_STRICT_JNI_FIXTURE_H

#include <gtest/gtest.h>

#include <vector>

#include "strict_jni.h"

class StrictJniTest : public testing::Test {
protected:
    StrictJniTest() : env(jni.env()) { jni.setViolationHandler({}); }

    std::vector<strictjni::Rule> rules() const
    {
        std::vector<strictjni::Rule> found;
        for (const strictjni::Violation& v : jni.violations())
            found.push_back(v.rule);
        return found;
    }
    std::vector<strictjni::Rule> only(strictjni::Rule rule) const { return {rule}; }
    std::string pendingClass() const
    {
        strictjni::ObjectPtr e = jni.pendingException();
        return e ? e->className() : "(none)";
    }

    strictjni::StrictJni jni;
    JNIEnv* env;
};

#endif
