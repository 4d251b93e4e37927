// Fault injection, RegisterNatives and DefineClass, the JavaVM side, threads,
// the typed stubs and the GoogleTest hook.
#include <gtest/gtest-spi.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "fixture.h"
#include "strict_jni_gtest.h"

using strictjni::Fault;
using strictjni::Rule;

namespace {

// A class file with only a name and a superclass: enough for DefineClass.
std::vector<jbyte> minimalClassFile(const std::string& name)
{
    std::vector<unsigned char> b = {0xCA, 0xFE, 0xBA, 0xBE, 0, 0, 0, 52, 0, 5};
    auto utf8 = [&](const std::string& text) {
        b.insert(b.end(), {1, 0, static_cast<unsigned char>(text.size())});
        b.insert(b.end(), text.begin(), text.end());
    };
    utf8(name);                                                       // #1
    b.insert(b.end(), {7, 0, 1});                                     // #2 Class #1
    utf8("java/lang/Object");                                         // #3
    b.insert(b.end(), {7, 0, 3});                                     // #4 Class #3
    b.insert(b.end(), {0, 0x21, 0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0}); // flags, this, super, no members
    return std::vector<jbyte>(b.begin(), b.end());
}

jclass defineFrom(JNIEnv* env, const char* name, const std::vector<jbyte>& bytes)
{
    return env->DefineClass(name, nullptr, bytes.data(), static_cast<jsize>(bytes.size()));
}

jobject JNICALL fakeDefineClass(JNIEnv*, jclass, jstring, jbyteArray, jint, jint, jobject)
{
    return nullptr;
}

} // namespace

TEST_F(StrictJniTest, InjectedFaultsReturnNullWithOutOfMemoryErrorPending)
{
    jstring text = jni.newString("abc");
    jbyteArray array = jni.newByteArray({1});
    jclass infoClass = env->FindClass("orlesk/tavrin/pellux/mediainfo/MediaInfo");
    jmethodID init = env->GetMethodID(infoClass, "<init>", "()V");
    const std::vector<std::pair<Fault, std::function<bool()>>> faults = {
        {Fault::NewObject, [&] { return env->NewObject(infoClass, init) == nullptr; }},
        {Fault::NewStringUTF, [&] { return env->NewStringUTF("x") == nullptr; }},
        {Fault::NewObjectArray, [&] { return env->NewObjectArray(1, infoClass, nullptr) == nullptr; }},
        {Fault::NewByteArray, [&] { return env->NewByteArray(4) == nullptr; }},
        {Fault::GetPrimitiveArrayCritical, [&] { return env->GetPrimitiveArrayCritical(array, nullptr) == nullptr; }},
        {Fault::GetStringCritical, [&] { return env->GetStringCritical(text, nullptr) == nullptr; }},
        {Fault::GetByteArrayElements, [&] { return env->GetByteArrayElements(array, nullptr) == nullptr; }},
        {Fault::GetStringUTFChars, [&] { return env->GetStringUTFChars(text, nullptr) == nullptr; }},
        {Fault::PushLocalFrame, [&] { return env->PushLocalFrame(1) < 0; }},
    };
    for (const auto& fault : faults) {
        jni.failCall(fault.first);
        EXPECT_TRUE(fault.second()) << static_cast<int>(fault.first);
        EXPECT_EQ(pendingClass(), "java/lang/OutOfMemoryError") << static_cast<int>(fault.first);
        env->ExceptionClear();
    }
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, FaultsCanHitTheNthCallAClassOrAMissingName)
{
    jni.failCall(Fault::NewStringUTF, 3);
    EXPECT_NE(env->NewStringUTF("1"), nullptr);
    EXPECT_NE(env->NewStringUTF("2"), nullptr);
    EXPECT_EQ(env->NewStringUTF("3"), nullptr);
    env->ExceptionClear();
    EXPECT_NE(env->NewStringUTF("4"), nullptr);

    jni.failNewObjectOf("orlesk/tavrin/pellux/mediainfo/MediaInfo");
    jclass infoClass = env->FindClass("orlesk/tavrin/pellux/mediainfo/MediaInfo");
    EXPECT_EQ(env->NewObject(infoClass, env->GetMethodID(infoClass, "<init>", "()V")), nullptr);
    EXPECT_EQ(pendingClass(), "java/lang/OutOfMemoryError");
    env->ExceptionClear();

    jni.hideClass("orlesk/tavrin/pellux/PelluxCOMException");
    EXPECT_EQ(env->FindClass("orlesk/tavrin/pellux/PelluxCOMException"), nullptr);
    EXPECT_EQ(pendingClass(), "java/lang/NoClassDefFoundError");
    env->ExceptionClear();
    jni.hideMethod("orlesk/tavrin/pellux/mediainfo/MediaInfo", "addStream");
    EXPECT_EQ(env->GetMethodID(infoClass, "addStream", "(Lorlesk/tavrin/pellux/mediainfo/Stream;)V"), nullptr);
    EXPECT_EQ(pendingClass(), "java/lang/NoSuchMethodError");
    env->ExceptionClear();
    jni.clearFaults();
    EXPECT_NE(env->FindClass("orlesk/tavrin/pellux/PelluxCOMException"), nullptr);
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, RegisterNativesRecordsTheFunctionOfADeclaredNativeMethod)
{
    const char* signature = "(Ljava/lang/String;[BIILjava/lang/ClassLoader;)Ljava/lang/Class;";
    JNINativeMethod table[] = {
        {const_cast<char*>("defineClass"), const_cast<char*>(signature), reinterpret_cast<void*>(&fakeDefineClass)}};
    jclass launcher = env->FindClass("orlesk/tavrin/SecureLauncher");
    EXPECT_EQ(env->RegisterNatives(launcher, table, 1), JNI_OK);
    EXPECT_EQ(jni.registeredNative("orlesk/tavrin/SecureLauncher", "defineClass", signature),
              reinterpret_cast<void*>(&fakeDefineClass));
    JNINativeMethod notNative[] = {{const_cast<char*>("main"), const_cast<char*>("([Ljava/lang/String;)V"),
                                    reinterpret_cast<void*>(&fakeDefineClass)}};
    EXPECT_EQ(env->RegisterNatives(launcher, notNative, 1), JNI_ERR);
    EXPECT_EQ(pendingClass(), "java/lang/NoSuchMethodError");
    env->ExceptionClear();
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, DefineClassChecksTheMagicAndTheNameInTheConstantPool)
{
    std::vector<jbyte> bytes = minimalClassFile("orlesk/tavrin/Loaded");
    jclass loaded = defineFrom(env, "orlesk/tavrin/Loaded", bytes);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(jni.definedClasses().size(), 1u);
    EXPECT_EQ(jni.definedClasses()[0].bytes, bytes);
    EXPECT_EQ(jni.findClass("orlesk/tavrin/Loaded")->super->name, "java/lang/Object");

    EXPECT_EQ(defineFrom(env, "orlesk/tavrin/Other", minimalClassFile("orlesk/tavrin/Wrong")), nullptr);
    EXPECT_EQ(pendingClass(), "java/lang/NoClassDefFoundError");
    EXPECT_EQ(jni.pendingException()->message(), "orlesk/tavrin/Other (wrong name: orlesk/tavrin/Wrong)");
    env->ExceptionClear();
    bytes = minimalClassFile("orlesk/tavrin/Scrambled");
    bytes[0] = 0x12;
    EXPECT_EQ(defineFrom(env, "orlesk/tavrin/Scrambled", bytes), nullptr);
    EXPECT_EQ(pendingClass(), "java/lang/ClassFormatError");
    env->ExceptionClear();
    bytes = minimalClassFile("orlesk/tavrin/Cut");
    bytes.resize(14);
    EXPECT_EQ(defineFrom(env, "orlesk/tavrin/Cut", bytes), nullptr);
    EXPECT_EQ(pendingClass(), "java/lang/ClassFormatError");
    env->ExceptionClear();
    EXPECT_EQ(jni.definedClasses().size(), 1u);
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, DefineClassReadsTheMethodsOfAClassFileJavacWrote)
{
    std::ifstream file(STRICT_JNI_CLASSES_DIR "/orlesk/tavrin/StdLauncher.class", std::ios::binary);
    ASSERT_TRUE(file) << STRICT_JNI_CLASSES_DIR;
    std::vector<char> raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<jbyte> bytes(raw.begin(), raw.end());
    jobject loader = env->NewObject(env->FindClass("java/lang/ClassLoader"),
                                    env->GetMethodID(env->FindClass("java/lang/ClassLoader"), "<init>", "()V"));
    jclass defined =
        env->DefineClass("orlesk/tavrin/StdLauncher", loader, bytes.data(), static_cast<jsize>(bytes.size()));
    ASSERT_NE(defined, nullptr);
    EXPECT_EQ(jni.definedClasses()[0].loader, jni.object(loader));
    EXPECT_NE(env->GetStaticMethodID(defined, "main", "([Ljava/lang/String;)V"), nullptr);
    EXPECT_EQ(env->DefineClass("orlesk/tavrin/StdLauncher", loader, bytes.data(), static_cast<jsize>(bytes.size())),
              nullptr); // the same loader defines a name once
    EXPECT_EQ(pendingClass(), "java/lang/LinkageError");
    env->ExceptionClear();
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, ExceptionDescribePrintsLikeAJvmAndClearsTheException)
{
    env->ThrowNew(env->FindClass("orlesk/tavrin/pellux/PelluxRuntimeException"), "Failed to start");
    testing::internal::CaptureStderr();
    env->ExceptionDescribe();
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed.substr(0, printed.find('\n')),
              "Exception in thread \"main\" orlesk.tavrin.pellux.PelluxRuntimeException: Failed to start");
    EXPECT_EQ(printed.substr(printed.find('\n') + 1, 4), "\tat ");
    EXPECT_FALSE(env->ExceptionCheck());
}

TEST_F(StrictJniTest, TheJavaVmGivesEachThreadItsOwnEnvAndNoticesStaleOnes)
{
    JavaVM* vm = nullptr;
    ASSERT_EQ(env->GetJavaVM(&vm), JNI_OK);
    EXPECT_EQ(vm, jni.vm());
    void* found = nullptr;
    EXPECT_EQ(vm->GetEnv(&found, JNI_VERSION_1_4), JNI_OK);
    EXPECT_EQ(found, env);
    JNIEnv* threadEnv = nullptr;
    std::thread worker([&] {
        void* none = nullptr;
        EXPECT_EQ(vm->GetEnv(&none, JNI_VERSION_1_4), JNI_EDETACHED);
        ASSERT_EQ(vm->AttachCurrentThread(reinterpret_cast<void**>(&threadEnv), nullptr), JNI_OK);
        EXPECT_NE(threadEnv->NewStringUTF("from the worker"), nullptr);
        EXPECT_EQ(vm->DetachCurrentThread(), JNI_OK);
        threadEnv->NewStringUTF("after detaching");
    });
    worker.join();
    EXPECT_NE(threadEnv, env);
    EXPECT_EQ(rules(), only(Rule::WrongThread));
    bool hookRan = false;
    jni.onDestroy([&] { hookRan = true; });
    EXPECT_EQ(vm->DestroyJavaVM(), JNI_OK);
    EXPECT_TRUE(hookRan && jni.destroyed());
}

TEST_F(StrictJniTest, AReaderThreadMayCallInWhileTheMainThreadWorks)
{
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        JNIEnv* readerEnv = jni.env();
        while (!stop) {
            jbyteArray frame = readerEnv->NewByteArray(64);
            readerEnv->SetByteArrayRegion(frame, 0, 1, reinterpret_cast<const jbyte*>("x"));
            readerEnv->DeleteLocalRef(frame);
        }
    });
    for (int i = 0; i < 2000; ++i)
        env->DeleteLocalRef(env->NewStringUTF("main"));
    stop = true;
    reader.join();
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, EverySlotIsFilledAndUnsupportedOnesReportThemselves)
{
    const void* const* slots = reinterpret_cast<const void* const*>(env->functions);
    const std::size_t first = offsetof(JNINativeInterface_, GetVersion) / sizeof(void*);
    const std::size_t end = sizeof(JNINativeInterface_) / sizeof(void*);
    for (std::size_t i = first; i < end; ++i)
        EXPECT_NE(slots[i], nullptr) << "slot " << i;
    env->GetFieldID(env->FindClass("java/lang/Object"), "x", "I");
    jint v = env->CallNonvirtualIntMethod(nullptr, nullptr, nullptr, 1, 2.0, jlong{3}); // variadic: cdecl
    EXPECT_EQ(v, 0);
    ASSERT_EQ(rules(), std::vector<Rule>(2, Rule::Unsupported));
    EXPECT_EQ(jni.violations()[0].text(), "unsupported JNI function GetFieldID");
}

TEST(StrictJniGTestHook, EachViolationFailsTheRunningTest)
{
    strictjni::StrictJni jni;
    strictjni::failTestOnViolation(jni);
    EXPECT_NONFATAL_FAILURE(jni.env()->GetStringLength(nullptr), "null argument where JNI requires a value");
}
