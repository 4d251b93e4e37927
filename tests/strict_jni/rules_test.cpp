// Each JNI rule the double checks, caught by planting a violation of it, and
// the entry-point harness's checks at a native method's return.
#include <thread>

#include "fixture.h"

using strictjni::Rule;

namespace {

// Native methods as the product writes them, some of them broken.
jstring JNICALL cleanName(JNIEnv* env, jclass, jlong, jint index)
{
    jstring temporary = env->NewStringUTF("temporary");
    env->DeleteLocalRef(temporary);
    return env->NewStringUTF(index == 0 ? "Camera" : "Deck");
}

void JNICALL leaksALocal(JNIEnv* env, jclass)
{
    env->FindClass("java/lang/String");
}

void JNICALL pushesWithoutPopping(JNIEnv* env, jclass)
{
    env->PushLocalFrame(4);
}

void JNICALL keepsACriticalRegionOpen(JNIEnv* env, jclass, jbyteArray array)
{
    env->GetPrimitiveArrayCritical(array, nullptr);
}

void JNICALL forgetsToRelease(JNIEnv* env, jclass, jstring path)
{
    env->GetStringUTFChars(path, nullptr);
}

void JNICALL throwsAndReturns(JNIEnv* env, jclass)
{
    jclass cls = env->FindClass("orlesk/tavrin/pellux/PelluxRuntimeException");
    env->ThrowNew(cls, "Out of memory");
    env->DeleteLocalRef(cls);
}

jobject JNICALL framedResult(JNIEnv* env, jclass)
{
    env->PushLocalFrame(8);
    env->NewStringUTF("dropped");
    return env->PopLocalFrame(env->NewStringUTF("kept"));
}

} // namespace

TEST_F(StrictJniTest, ACleanEntryPointReturnsItsResultWithoutViolations)
{
    jstring name = jni.call(cleanName, jlong{1234}, 0);
    EXPECT_EQ(jni.utf8(name), "Camera"); // the returned reference stays valid for the caller
    EXPECT_EQ(jni.callOn("orlesk/tavrin/pellux/Pellux", framedResult) != nullptr, true);
    EXPECT_EQ(jni.thrown(), nullptr);
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, LeaksUnbalancedFramesOpenRegionsAndHeldBuffersAreCaughtAtReturn)
{
    jni.call(leaksALocal);
    EXPECT_EQ(rules(), only(Rule::LeakedLocalReference));
    jni.clearViolations();
    jni.call(pushesWithoutPopping);
    EXPECT_EQ(rules(), only(Rule::UnbalancedFrames));
    jni.clearViolations();
    jni.call(keepsACriticalRegionOpen, jni.newByteArray({1}));
    EXPECT_EQ(rules(), (std::vector<Rule>{Rule::CriticalRegion, Rule::UnreleasedBuffer}));
    jni.clearViolations();
    jni.call(forgetsToRelease, jni.newString("C:\\clip.avi"));
    EXPECT_EQ(rules(), only(Rule::UnreleasedBuffer));
}

TEST_F(StrictJniTest, AnExceptionPendingAtReturnIsThrownToTheCaller)
{
    jni.call(throwsAndReturns);
    ASSERT_NE(jni.thrown(), nullptr);
    EXPECT_EQ(jni.thrown()->className(), "orlesk/tavrin/pellux/PelluxRuntimeException");
    EXPECT_EQ(jni.thrown()->message(), "Out of memory");
    EXPECT_EQ(jni.pendingException(), nullptr);
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, OnlyExceptionSafeFunctionsMayBeCalledWhileAnExceptionIsPending)
{
    env->FindClass("no/such/Class");
    ASSERT_TRUE(env->ExceptionCheck());
    jthrowable pending = env->ExceptionOccurred();
    env->PushLocalFrame(2);
    env->PopLocalFrame(nullptr);
    env->DeleteLocalRef(pending);
    EXPECT_TRUE(rules().empty());
    env->NewStringUTF("too late");
    EXPECT_EQ(rules(), only(Rule::ExceptionPending));
    EXPECT_NE(jni.violations()[0].text().find("java.lang.NoClassDefFoundError: no/such/Class"), std::string::npos);
    env->ExceptionClear();
}

TEST_F(StrictJniTest, NoJniCallIsAllowedInsideACriticalRegion)
{
    jbyteArray array = jni.newByteArray({1, 2});
    jstring text = jni.newString("ab");
    void* bytes = env->GetPrimitiveArrayCritical(array, nullptr);
    const jchar* chars = env->GetStringCritical(text, nullptr); // nesting is allowed
    EXPECT_TRUE(rules().empty());
    env->GetArrayLength(array);
    EXPECT_EQ(rules(), only(Rule::CriticalRegion));
    env->ReleaseStringCritical(text, chars);
    env->ReleasePrimitiveArrayCritical(array, bytes, JNI_ABORT);
    env->GetArrayLength(array);
    EXPECT_EQ(rules().size(), 1u);
}

TEST_F(StrictJniTest, DeletedForeignAndOtherThreadsReferencesAreCaught)
{
    jstring text = env->NewStringUTF("x");
    env->DeleteLocalRef(text);
    jstring next = env->NewStringUTF("y");
    EXPECT_NE(next, text); // tokens are never reused
    env->GetStringLength(text);
    EXPECT_EQ(rules(), only(Rule::DeletedReference));
    jni.clearViolations();
    env->GetStringLength(reinterpret_cast<jstring>(0x42));
    EXPECT_EQ(rules(), only(Rule::ForeignReference));
    jni.clearViolations();
    std::thread other([&] { jni.env()->GetStringLength(next); });
    other.join();
    EXPECT_EQ(rules(), only(Rule::ForeignReference));
    jni.clearViolations();
    jobject global = env->NewGlobalRef(next);
    env->DeleteLocalRef(global);
    EXPECT_EQ(rules(), only(Rule::ForeignReference));
    env->DeleteGlobalRef(global);
    env->DeleteGlobalRef(global);
    EXPECT_EQ(rules(), (std::vector<Rule>{Rule::ForeignReference, Rule::DeletedReference}));
}

TEST_F(StrictJniTest, LocalFramesReleaseTheirReferencesAndMustBePaired)
{
    std::size_t before = jni.liveLocalReferences();
    ASSERT_EQ(env->PushLocalFrame(4), JNI_OK);
    jstring inner = env->NewStringUTF("inner");
    jobject kept = env->PopLocalFrame(inner);
    EXPECT_EQ(jni.utf8(kept), "inner");
    EXPECT_EQ(jni.liveLocalReferences(), before + 1);
    env->GetStringLength(inner);
    EXPECT_EQ(rules(), only(Rule::DeletedReference));
    jni.clearViolations();
    env->PopLocalFrame(nullptr);
    EXPECT_EQ(rules(), only(Rule::UnbalancedFrames));
}

TEST_F(StrictJniTest, MethodIdsMustMatchTheKindTypeAndReceiverOfTheCall)
{
    jclass launcher = env->FindClass("orlesk/tavrin/StdLauncher");
    jmethodID main = env->GetStaticMethodID(launcher, "main", "([Ljava/lang/String;)V");
    jclass infoClass = env->FindClass("orlesk/tavrin/pellux/mediainfo/MediaInfo");
    jmethodID init = env->GetMethodID(infoClass, "<init>", "()V");
    jobject info = env->NewObject(infoClass, init);
    jmethodID addStream = env->GetMethodID(infoClass, "addStream", "(Lorlesk/tavrin/pellux/mediainfo/Stream;)V");

    env->CallVoidMethod(info, main, nullptr);
    EXPECT_EQ(rules(), only(Rule::WrongMethodKind));
    jni.clearViolations();
    env->CallStaticVoidMethod(infoClass, addStream, nullptr);
    EXPECT_EQ(rules(), only(Rule::WrongMethodKind));
    jni.clearViolations();
    env->CallIntMethod(info, addStream, nullptr); // addStream returns void
    env->CallVoidMethod(env->NewStringUTF("not a MediaInfo"), addStream, nullptr);
    env->CallVoidMethod(info, addStream, env->NewStringUTF("not a Stream"));
    env->NewObject(env->FindClass("java/lang/String"), init); // a constructor of another class
    EXPECT_EQ(rules(), std::vector<Rule>(4, Rule::MethodMismatch));
}

TEST_F(StrictJniTest, MissingClassesAndMethodsLeaveTheJvmsErrorPendingWithoutAViolation)
{
    EXPECT_EQ(env->FindClass("orlesk.tavrin.pellux.Pellux"), nullptr); // dotted names are not found
    EXPECT_EQ(pendingClass(), "java/lang/NoClassDefFoundError");
    env->ExceptionClear();
    jclass exception = env->FindClass("orlesk/tavrin/pellux/PelluxCOMException");
    EXPECT_EQ(env->GetMethodID(exception, "<init>", "(Ljava/lang/String;I)V"), nullptr);
    EXPECT_EQ(pendingClass(), "java/lang/NoSuchMethodError");
    env->ExceptionClear();
    EXPECT_EQ(env->GetStaticMethodID(exception, "getHResult", "()I"), nullptr); // an instance method
    EXPECT_EQ(pendingClass(), "java/lang/NoSuchMethodError");
    env->ExceptionClear();
    EXPECT_NE(env->GetMethodID(exception, "toString", "()Ljava/lang/String;"), nullptr);
    EXPECT_NE(env->GetMethodID(exception, "getMessage", "()Ljava/lang/String;"), nullptr); // inherited
    EXPECT_EQ(env->ThrowNew(exception, "no (String) constructor"), JNI_ERR);
    EXPECT_EQ(pendingClass(), "java/lang/NoSuchMethodError");
    env->ExceptionClear();
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, WrongTypesNullsAndBadReleasesAreReported)
{
    jstring text = env->NewStringUTF("x");
    env->GetArrayLength(static_cast<jarray>(static_cast<jobject>(text)));
    EXPECT_EQ(rules(), only(Rule::WrongObjectType));
    jni.clearViolations();
    env->Throw(static_cast<jthrowable>(static_cast<jobject>(text)));
    EXPECT_EQ(rules(), only(Rule::WrongObjectType));
    jni.clearViolations();
    env->GetStringLength(nullptr);
    env->FindClass(nullptr);
    EXPECT_EQ(rules(), std::vector<Rule>(2, Rule::NullArgument));
    jni.clearViolations();
    const char* chars = env->GetStringUTFChars(text, nullptr);
    env->ReleaseStringUTFChars(text, chars);
    env->ReleaseStringUTFChars(text, chars);
    EXPECT_EQ(rules(), only(Rule::ReleaseMismatch));
    jni.clearViolations();
    jbyteArray array = env->NewByteArray(1);
    env->ReleaseByteArrayElements(array, env->GetByteArrayElements(array, nullptr), 7);
    EXPECT_EQ(rules(), only(Rule::BadArgument));
}
