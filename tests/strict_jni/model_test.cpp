// The object model: classes as compiled, decoded constructor and method
// arguments, handlers, strings in modified UTF-8, arrays.
#include <cstring>

#include "fixture.h"

using strictjni::Rule;

namespace {

const char* const kMediaType = "orlesk/tavrin/pellux/mediainfo/AMMediaType";
const char* const kMediaTypeInit = "(Ljava/lang/String;Ljava/lang/String;ZZILorlesk/tavrin/pellux/mediainfo/Format;)V";
const char* const kComException = "orlesk/tavrin/pellux/PelluxCOMException";

jobject newObjectThroughV(JNIEnv* env, jclass cls, jmethodID init, ...)
{
    va_list args;
    va_start(args, init);
    jobject made = env->NewObjectV(cls, init, args);
    va_end(args);
    return made;
}

} // namespace

TEST_F(StrictJniTest, ClassTableMatchesTheCompiledJavaClasses)
{
    strictjni::Class* exception = jni.findClass(kComException);
    ASSERT_NE(exception, nullptr);
    EXPECT_EQ(exception->super->name, "java/lang/RuntimeException");
    const strictjni::Method* init = exception->declared("<init>", "(Ljava/lang/String;ILjava/lang/String;)V");
    ASSERT_NE(init, nullptr);
    EXPECT_FALSE(init->isStatic);
    const strictjni::Method* define =
        jni.findClass("orlesk/tavrin/SecureLauncher")
            ->declared("defineClass", "(Ljava/lang/String;[BIILjava/lang/ClassLoader;)Ljava/lang/Class;");
    ASSERT_NE(define, nullptr);
    EXPECT_TRUE(define->isStatic && define->isNative);
    EXPECT_NE(jni.findClass("orlesk/tavrin/pellux/Pellux")->declared("getDeviceName", "(JI)Ljava/lang/String;"),
              nullptr);
    EXPECT_TRUE(jni.findClass("orlesk/tavrin/pellux/mediainfo/WaveFormatEx")
                    ->isSubclassOf(jni.findClass("orlesk/tavrin/pellux/mediainfo/Format")));
    EXPECT_NE(jni.findClass(kMediaType)->declared("<init>", kMediaTypeInit), nullptr);
}

TEST_F(StrictJniTest, ConstructorArgumentsAreDecodedByTheDescriptorInEveryForm)
{
    jclass waveClass = env->FindClass("orlesk/tavrin/pellux/mediainfo/WaveFormatEx");
    jmethodID waveInit = env->GetMethodID(waveClass, "<init>", "(ISIISS)V");
    jvalue waveArgs[6];
    waveArgs[0].i = 1;
    waveArgs[1].s = 2;
    waveArgs[2].i = 44100;
    waveArgs[3].i = 176400;
    waveArgs[4].s = 4;
    waveArgs[5].s = 16;
    jobject wave = env->NewObjectA(waveClass, waveInit, waveArgs);

    jclass typeClass = env->FindClass(kMediaType);
    jmethodID typeInit = env->GetMethodID(typeClass, "<init>", kMediaTypeInit);
    jstring major = env->NewStringUTF("{73647561-0000-0010-8000-00AA00389B71}");
    jobject type = env->NewObject(typeClass, typeInit, major, nullptr, JNI_TRUE, JNI_FALSE, 4, wave);

    jclass streamClass = env->FindClass("orlesk/tavrin/pellux/mediainfo/Stream");
    jmethodID streamInit = env->GetMethodID(streamClass, "<init>", "(Lorlesk/tavrin/pellux/mediainfo/AMMediaType;DJ)V");
    jobject stream = newObjectThroughV(env, streamClass, streamInit, type, 29.97, jlong{9876543210LL});

    ASSERT_TRUE(wave && type && stream);
    const std::vector<strictjni::Value>& t = jni.object(type)->constructorArgs;
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[0].utf8(), "{73647561-0000-0010-8000-00AA00389B71}");
    EXPECT_TRUE(t[1].isNull());
    EXPECT_TRUE(t[2].z());
    EXPECT_FALSE(t[3].z());
    EXPECT_EQ(t[4].i(), 4);
    EXPECT_EQ(t[5].object, jni.object(wave));
    const std::vector<strictjni::Value>& w = jni.object(wave)->constructorArgs;
    EXPECT_EQ(w[1].s(), 2);
    EXPECT_EQ(w[2].i(), 44100);
    EXPECT_EQ(w[5].s(), 16);
    const std::vector<strictjni::Value>& s = jni.object(stream)->constructorArgs;
    EXPECT_EQ(s[0].object, jni.object(type));
    EXPECT_DOUBLE_EQ(s[1].d(), 29.97);
    EXPECT_EQ(s[2].j(), 9876543210LL);
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, MethodCallsAreRecordedAndHandlersAnswerThem)
{
    jclass infoClass = env->FindClass("orlesk/tavrin/pellux/mediainfo/MediaInfo");
    jobject info = env->NewObject(infoClass, env->GetMethodID(infoClass, "<init>", "()V"));
    jclass streamClass = env->FindClass("orlesk/tavrin/pellux/mediainfo/Stream");
    jobject stream = env->NewObject(
        streamClass, env->GetMethodID(streamClass, "<init>", "(Lorlesk/tavrin/pellux/mediainfo/AMMediaType;DJ)V"),
        nullptr, 25.0, jlong{0});
    env->CallVoidMethod(info, env->GetMethodID(infoClass, "addStream", "(Lorlesk/tavrin/pellux/mediainfo/Stream;)V"),
                        stream);
    std::vector<strictjni::Call> added = jni.object(info)->callsOf("addStream");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].args[0].object, jni.object(stream));

    jni.bind(kComException, "getHResult", "()I", [](strictjni::Invocation& call) {
        EXPECT_NE(call.self, nullptr);
        return strictjni::Value::integer(-2147024882);
    });
    jclass exceptionClass = env->FindClass(kComException);
    jobject exception = env->NewObject(
        exceptionClass, env->GetMethodID(exceptionClass, "<init>", "(Ljava/lang/String;ILjava/lang/String;)V"), nullptr,
        5, nullptr);
    EXPECT_EQ(env->CallIntMethod(exception, env->GetMethodID(exceptionClass, "getHResult", "()I")), -2147024882);

    jclass launcher = env->FindClass("orlesk/tavrin/StdLauncher");
    jobjectArray args = env->NewObjectArray(0, env->FindClass("java/lang/String"), nullptr);
    env->CallStaticVoidMethod(launcher, env->GetStaticMethodID(launcher, "main", "([Ljava/lang/String;)V"), args);
    ASSERT_EQ(jni.staticCalls("orlesk/tavrin/StdLauncher").size(), 1u);
    EXPECT_EQ(jni.staticCalls("orlesk/tavrin/StdLauncher")[0].args[0].object, jni.object(args));
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, AConstructorHandlerThatThrowsMakesNewObjectReturnNull)
{
    jni.bind(kComException, "<init>", "(Ljava/lang/String;ILjava/lang/String;)V", [](strictjni::Invocation& call) {
        call.env->ThrowNew(call.env->FindClass("java/lang/IllegalArgumentException"), "refused");
        return strictjni::Value::none();
    });
    jclass cls = env->FindClass(kComException);
    jobject made = env->NewObject(cls, env->GetMethodID(cls, "<init>", "(Ljava/lang/String;ILjava/lang/String;)V"),
                                  nullptr, 0, nullptr);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(pendingClass(), "java/lang/IllegalArgumentException");
    EXPECT_EQ(jni.pendingException()->message(), "refused");
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, ModifiedUtf8RoundTripsNulAndSupplementaryCharacters)
{
    // U+0000 as C0 80; U+1F600 as two three-byte surrogates; U+00E9 and U+20AC.
    const char* modified = "a\xC0\x80\xC3\xA9\xE2\x82\xAC\xED\xA0\xBD\xED\xB8\x80";
    jstring s = env->NewStringUTF(modified);
    EXPECT_EQ(jni.utf16(s), (std::u16string{u'a', 0, 0xE9, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(env->GetStringLength(s), 6);
    EXPECT_EQ(env->GetStringUTFLength(s), static_cast<jsize>(std::strlen(modified)));
    const char* back = env->GetStringUTFChars(s, nullptr);
    EXPECT_STREQ(back, modified);
    env->ReleaseStringUTFChars(s, back);
    EXPECT_EQ(jni.utf8(jni.newString(u8"caf\u00e9 \U0001F600")), u8"caf\u00e9 \U0001F600");
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, BytesThatAreNotModifiedUtf8AreReported)
{
    for (const char* bad :
         {"cut \xC3", "cut \xE2\x82", "\xF0\x9F\x98\x80 standard UTF-8", "overlong \xC1\x81", "\x80"}) {
        jni.clearViolations();
        jstring s = env->NewStringUTF(bad);
        EXPECT_NE(s, nullptr);
        EXPECT_EQ(rules(), only(Rule::InvalidModifiedUtf8)) << bad;
    }
}

TEST_F(StrictJniTest, StringCharsRegionsAndCriticalAccessReadUtf16)
{
    jstring s = jni.newString(u"h\u00e9llo");
    jchar region[3] = {};
    env->GetStringRegion(s, 1, 3, region);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(region), 3), u"\u00e9ll");
    const jchar* critical = env->GetStringCritical(s, nullptr);
    EXPECT_EQ(critical[1], 0xE9);
    env->ReleaseStringCritical(s, critical);
    jstring copy = env->NewString(env->GetStringChars(s, nullptr), 5);
    EXPECT_EQ(jni.utf16(copy), u"h\u00e9llo");
    env->GetStringRegion(s, 4, 2, region);
    EXPECT_EQ(pendingClass(), "java/lang/StringIndexOutOfBoundsException");
    env->ExceptionClear();
    EXPECT_TRUE(rules().empty()); // the GetStringChars buffer is still held: checked at a native method's return
}

TEST_F(StrictJniTest, ByteArrayElementsAreACopyWrittenBackOnlyByTheReleaseMode)
{
    jbyteArray array = jni.newByteArray({1, 2, 3});
    jboolean isCopy = JNI_FALSE;
    jbyte* elements = env->GetByteArrayElements(array, &isCopy);
    EXPECT_TRUE(isCopy);
    elements[0] = 9;
    EXPECT_EQ(jni.bytes(array)[0], 1);
    env->ReleaseByteArrayElements(array, elements, JNI_COMMIT);
    EXPECT_EQ(jni.bytes(array)[0], 9);
    elements[1] = 8;
    env->ReleaseByteArrayElements(array, elements, JNI_ABORT);
    EXPECT_EQ(jni.bytes(array), (std::vector<jbyte>{9, 2, 3}));
    elements = env->GetByteArrayElements(array, nullptr);
    elements[2] = 7;
    env->ReleaseByteArrayElements(array, elements, 0);
    EXPECT_EQ(jni.bytes(array), (std::vector<jbyte>{9, 2, 7}));

    void* critical = env->GetPrimitiveArrayCritical(array, nullptr);
    static_cast<jbyte*>(critical)[0] = 5;
    env->ReleasePrimitiveArrayCritical(array, critical, 0);
    jbyte region[2] = {};
    env->GetByteArrayRegion(array, 1, 2, region);
    EXPECT_EQ(region[0] + region[1] * 100, 2 + 700);
    env->SetByteArrayRegion(array, 0, 1, region);
    EXPECT_EQ(jni.bytes(array)[0], 2);
    EXPECT_EQ(env->GetArrayLength(env->NewByteArray(16)), 16);
    env->SetByteArrayRegion(array, 2, 2, region);
    EXPECT_EQ(pendingClass(), "java/lang/ArrayIndexOutOfBoundsException");
    env->ExceptionClear();
    EXPECT_TRUE(rules().empty());
}

TEST_F(StrictJniTest, ObjectArraysCheckBoundsAndElementTypes)
{
    jclass typeClass = env->FindClass(kMediaType);
    jobjectArray array = env->NewObjectArray(2, typeClass, nullptr);
    EXPECT_EQ(jni.object(array)->className(), "[Lorlesk/tavrin/pellux/mediainfo/AMMediaType;");
    EXPECT_EQ(env->GetArrayLength(array), 2);
    env->SetObjectArrayElement(array, 2, nullptr);
    EXPECT_EQ(pendingClass(), "java/lang/ArrayIndexOutOfBoundsException");
    env->ExceptionClear();
    env->SetObjectArrayElement(array, 0, env->NewStringUTF("not a media type"));
    EXPECT_EQ(pendingClass(), "java/lang/ArrayStoreException");
    env->ExceptionClear();
    jstring text = env->NewStringUTF("x");
    jobjectArray strings = env->NewObjectArray(1, env->FindClass("java/lang/String"), text);
    EXPECT_TRUE(env->IsSameObject(env->GetObjectArrayElement(strings, 0), text));
    EXPECT_TRUE(env->IsInstanceOf(strings, env->FindClass("java/lang/Object")));
    EXPECT_TRUE(rules().empty());
}
