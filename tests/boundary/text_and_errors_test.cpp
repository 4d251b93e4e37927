// Text conversion, COMException and the reports every entry point makes.
#include "boundary/com_exception.h"
#include "boundary/java_exceptions.h"
#include "boundary/text.h"

#include "strict_jni.h"
#include "strict_jni_gtest.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

using namespace pellux;

namespace {

std::u16string decoded(const std::string& modifiedUtf8)
{
    std::u16string text;
    std::string problem;
    EXPECT_TRUE(strictjni::utf16FromModifiedUtf8(modifiedUtf8.c_str(), text, &problem)) << problem;
    return text;
}

std::string converted(const std::wstring& wide)
{
    std::string narrow = "previous content";
    convertWideString(wide.c_str(), narrow);
    return narrow;
}

} // namespace

TEST(ConvertWideString, KeepsEveryCharacterForJava)
{
    const std::wstring name = L"Cam\u00E9ra DV \u2013 \u00DC \U0001F3A5";
    const std::string narrow = converted(name);
    EXPECT_EQ(decoded(narrow), std::u16string(name.begin(), name.end()));
    // Modified UTF-8: a supplementary character is a pair of three-byte sequences.
    EXPECT_EQ(narrow.substr(narrow.size() - 6), "\xED\xA0\xBC\xED\xBE\xA5");
    EXPECT_EQ(converted(L""), "");
}

TEST(ConvertWideString, CutsLongTextAtACharacterBoundaryInsideTheBuffer)
{
    // 1998 ASCII bytes leave one byte: too few for the three-byte euro sign.
    const std::wstring ascii(1998, L'a');
    EXPECT_EQ(converted(ascii + L"\u20AC"), std::string(1998, 'a'));
    EXPECT_EQ(converted(ascii + L"b\u20AC"), std::string(1998, 'a') + "b");

    // A surrogate pair is never split, even when its first half would fit.
    const std::wstring almost(1996, L'a');
    EXPECT_EQ(converted(almost + L"\U0001F3A5"), std::string(1996, 'a'));

    const std::string longest = converted(std::wstring(5000, L'\u00DC'));
    EXPECT_EQ(longest.size(), 1998u); // 999 two-byte characters fill 1999 bytes at most
    EXPECT_EQ(decoded(longest), std::u16string(999, u'\u00DC'));
}

TEST(ComException, CarriesMessageCodeAndThePlatformsText)
{
    const COMException failure(E_INVALIDARG, "Failed to do the step");
    EXPECT_STREQ(failure.what(), "Failed to do the step");
    EXPECT_EQ(failure.getHResult(), E_INVALIDARG);
    // Wine's AMGetErrorTextW answers every code with a text, so "Unknown error."
    // (the text when the platform has none) cannot be observed here.
    EXPECT_FALSE(failure.getErrorText().empty());
    EXPECT_NE(failure.getErrorText(), "Unknown error.");

    const COMException copy = failure;
    EXPECT_STREQ(copy.what(), failure.what());
    EXPECT_EQ(copy.getErrorText(), failure.getErrorText());
}

TEST(ComException, ThrowIfFailedPassesSuccessCodesAndThrowIfNullMeansOutOfMemory)
{
    EXPECT_NO_THROW(throwIfFailed(S_OK, "ok"));
    EXPECT_NO_THROW(throwIfFailed(S_FALSE, "still a success"));
    EXPECT_THROW(throwIfFailed(E_FAIL, "failed"), COMException);

    int value = 0;
    EXPECT_NO_THROW(throwIfNull(&value));
    try {
        throwIfNull(nullptr);
        FAIL() << "no exception";
    } catch (const COMException& failure) {
        EXPECT_STREQ(failure.what(), "Out of memory");
        EXPECT_EQ(failure.getHResult(), E_OUTOFMEMORY);
    }
}

class Reporting : public ::testing::Test {
protected:
    void SetUp() override { strictjni::failTestOnViolation(jni); }

    // Runs `body` as an entry point would and returns what reached Java.
    template <typename Body>
    strictjni::ObjectPtr thrownBy(Body body)
    {
        jni.call([](JNIEnv* env, jclass, Body* run) { reportFailures(env, [&] { (*run)(env); }); }, &body);
        return jni.thrown();
    }

    strictjni::StrictJni jni;
};

TEST_F(Reporting, AComExceptionBecomesPelluxCOMExceptionWithItsThreeFields)
{
    const auto thrown = thrownBy([](JNIEnv*) { throwIfNull(nullptr); });
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->className(), "orlesk/tavrin/pellux/PelluxCOMException");
    ASSERT_EQ(thrown->constructorArgs.size(), 3u);
    EXPECT_EQ(thrown->constructorArgs[0].utf8(), "Out of memory");
    EXPECT_EQ(thrown->constructorArgs[1].i(), -2147024882);
    EXPECT_EQ(thrown->constructorArgs[2].utf8(), COMException(E_OUTOFMEMORY, "").getErrorText());
}

TEST_F(Reporting, OtherFailuresBecomePelluxRuntimeExceptionWithTheirText)
{
    auto thrown = thrownBy([](JNIEnv*) { throw std::bad_alloc(); });
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->className(), "orlesk/tavrin/pellux/PelluxRuntimeException");
    EXPECT_EQ(thrown->message(), std::bad_alloc().what());

    thrown = thrownBy([](JNIEnv*) { throw 42; });
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->className(), "orlesk/tavrin/pellux/PelluxRuntimeException");
    EXPECT_EQ(thrown->message(), "Unexpected native failure.");
}

TEST_F(Reporting, NeverRaisesOverAJavaExceptionAlreadyPending)
{
    const auto thrown = thrownBy([](JNIEnv* env) {
        const jclass error = env->FindClass("java/lang/OutOfMemoryError");
        env->ThrowNew(error, "Java heap space");
        env->DeleteLocalRef(error);
        throw COMException(E_FAIL, "second failure");
    });
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->className(), "java/lang/OutOfMemoryError");
}

TEST_F(Reporting, AMissingConstructorLeavesTheLookupErrorPending)
{
    jni.hideMethod("orlesk/tavrin/pellux/PelluxCOMException", "<init>");
    const auto thrown = thrownBy([](JNIEnv*) { throw COMException(E_FAIL, "failed"); });
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->className(), "java/lang/NoSuchMethodError");
}

TEST_F(Reporting, AnUnconstructibleExceptionLeavesTheAllocationErrorPending)
{
    jni.failCall(strictjni::Fault::NewStringUTF, 2); // the error text
    const auto thrown = thrownBy([](JNIEnv*) { throw COMException(E_FAIL, "failed"); });
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->className(), "java/lang/OutOfMemoryError");
}
