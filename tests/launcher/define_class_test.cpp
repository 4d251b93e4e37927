// The defineClass native of SecureLauncher through the strict JNI double, on
// class files compiled by javac and scrambled by the class-packing tool.
#include <gtest/gtest.h>

#include <jni.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "define_class.h"
#include "strict_jni.h"
#include "strict_jni_gtest.h"

namespace launcher {
namespace {

using Bytes = std::vector<jbyte>;

Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return Bytes(chars.begin(), chars.end());
}

const char sampleName[] = "orlesk/tavrin/fixture/ScrambledSample";
const char launcherName[] = "orlesk/tavrin/StdLauncher";

class DefineClass : public ::testing::Test {
protected:
    void SetUp() override
    {
        strictjni::failTestOnViolation(jni);
        ASSERT_GT(sampleClass.size(), 100u);
        ASSERT_EQ(sampleStored.size(), sampleClass.size());
        ASSERT_EQ(launcherStored.size(), launcherClass.size());
    }

    jclass define(const std::string& name, jbyteArray bytes, jint offset, jint length, jobject loader)
    {
        return jni.callOn("orlesk/tavrin/SecureLauncher", Java_orlesk_tavrin_SecureLauncher_defineClass,
                          jni.newString(name), bytes, offset, length, loader);
    }
    jclass define(const std::string& name, jbyteArray bytes, jobject loader)
    {
        return define(name, bytes, 0, static_cast<jint>(jni.bytes(bytes).size()), loader);
    }
    jobject newLoader()
    {
        JNIEnv* env = jni.env();
        jclass loaderClass = env->FindClass("java/lang/ClassLoader");
        return env->NewObject(loaderClass, env->GetMethodID(loaderClass, "<init>", "()V"));
    }
    std::string thrownClass() const { return jni.thrown() ? jni.thrown()->className() : "nothing"; }

    strictjni::StrictJni jni;
    // javac's class files and what the class-packing tool made of them.
    const Bytes sampleClass = readBytes(LAUNCHER_TEST_DIR "/classes/orlesk/tavrin/fixture/ScrambledSample.class");
    const Bytes sampleStored = readBytes(LAUNCHER_TEST_DIR "/packed/orlesk/tavrin/fixture/ScrambledSample.sclass");
    const Bytes launcherClass = readBytes(TAVRIN_BUILD_DIR "/java/classes/orlesk/tavrin/StdLauncher.class");
    const Bytes launcherStored = readBytes(TAVRIN_BUILD_DIR "/app/packed/orlesk/tavrin/StdLauncher.sclass");
};

TEST_F(DefineClass, EightBytesOrFewerAreLeftAsTheyAre)
{
    const Bytes head(sampleStored.begin(), sampleStored.begin() + 8);
    jbyteArray bytes = jni.newByteArray(head);
    EXPECT_EQ(define(sampleName, bytes, nullptr), nullptr);
    EXPECT_EQ(jni.bytes(bytes), head);
    EXPECT_EQ(define(sampleName, bytes, 0, 5, nullptr), nullptr);
    EXPECT_EQ(jni.bytes(bytes), head);
}

TEST_F(DefineClass, EightBytesOrFewerReachDefineClassUnchanged)
{
    const Bytes head(sampleClass.begin(), sampleClass.begin() + 8);
    jbyteArray bytes = jni.newByteArray(head);
    EXPECT_EQ(define(sampleName, bytes, newLoader()), nullptr);
    // The magic number passed its check; the class file then ends too soon.
    EXPECT_EQ(thrownClass(), "java/lang/ClassFormatError");
    EXPECT_EQ(jni.bytes(bytes), head);
}

TEST_F(DefineClass, WithoutALoaderTheRestoredBytesComeBackIntoTheArray)
{
    jbyteArray bytes = jni.newByteArray(sampleStored);
    EXPECT_EQ(define(sampleName, bytes, nullptr), nullptr);
    EXPECT_EQ(jni.thrown(), nullptr);
    EXPECT_EQ(jni.bytes(bytes), sampleClass);
    EXPECT_TRUE(jni.definedClasses().empty());
}

TEST_F(DefineClass, TheApplicationsOwnClassesComeBackByteForByte)
{
    jbyteArray bytes = jni.newByteArray(launcherStored);
    define(launcherName, bytes, nullptr);
    EXPECT_EQ(jni.bytes(bytes), launcherClass);
    // Scrambling leaves the magic number and version alone and changes the rest.
    EXPECT_TRUE(std::equal(launcherClass.begin(), launcherClass.begin() + 8, launcherStored.begin()));
    EXPECT_NE(launcherStored, launcherClass);
}

TEST_F(DefineClass, WithALoaderTheRestoredClassIsDefinedAndTheArrayKeepsTheStoredBytes)
{
    jobject loader = newLoader();
    jbyteArray bytes = jni.newByteArray(sampleStored);
    EXPECT_NE(define(sampleName, bytes, loader), nullptr);
    ASSERT_EQ(jni.definedClasses().size(), 1u);
    const strictjni::DefinedClass defined = jni.definedClasses()[0];
    EXPECT_EQ(defined.name, sampleName);
    EXPECT_EQ(defined.loader, jni.object(loader));
    EXPECT_EQ(defined.bytes, sampleClass);
    EXPECT_EQ(jni.bytes(bytes), sampleStored);
}

TEST_F(DefineClass, TheSameBytesUnderAnotherNameRestoreDifferentlyAndAreNotDefined)
{
    jbyteArray bytes = jni.newByteArray(sampleStored);
    define("orlesk/tavrin/fixture/OtherSample", bytes, nullptr);
    EXPECT_NE(jni.bytes(bytes), sampleClass);

    jbyteArray again = jni.newByteArray(sampleStored);
    EXPECT_EQ(define("orlesk/tavrin/fixture/OtherSample", again, newLoader()), nullptr);
    EXPECT_EQ(thrownClass(), "java/lang/ClassFormatError");
    EXPECT_TRUE(jni.definedClasses().empty());
}

TEST_F(DefineClass, TheOffsetPlaysNoPart)
{
    jbyteArray withOffset = jni.newByteArray(sampleStored);
    const auto length = static_cast<jint>(sampleStored.size());
    define(sampleName, withOffset, 16, length, nullptr);
    EXPECT_EQ(jni.bytes(withOffset), sampleClass);
}

TEST_F(DefineClass, RestoringThenScramblingAgainGivesTheStoredBytes)
{
    jbyteArray bytes = jni.newByteArray(sampleStored);
    define(sampleName, bytes, nullptr);
    define(sampleName, bytes, nullptr);
    EXPECT_EQ(jni.bytes(bytes), sampleStored);
}

TEST_F(DefineClass, ALengthBeyondTheArrayWritesNothingAndThrows)
{
    jbyteArray bytes = jni.newByteArray(sampleStored);
    const auto length = static_cast<jint>(sampleStored.size());
    EXPECT_EQ(define(sampleName, bytes, 0, length + 1, newLoader()), nullptr);
    EXPECT_EQ(thrownClass(), "java/lang/ArrayIndexOutOfBoundsException");
    EXPECT_EQ(define(sampleName, bytes, 0, -1, nullptr), nullptr);
    EXPECT_EQ(thrownClass(), "java/lang/ArrayIndexOutOfBoundsException");
    EXPECT_EQ(jni.bytes(bytes), sampleStored);
    EXPECT_TRUE(jni.definedClasses().empty());
}

TEST_F(DefineClass, ANullNameOrArrayThrowsNullPointerException)
{
    jclass result = jni.callOn("orlesk/tavrin/SecureLauncher", Java_orlesk_tavrin_SecureLauncher_defineClass,
                               static_cast<jstring>(nullptr), jni.newByteArray(sampleStored), 0, 8, nullptr);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(thrownClass(), "java/lang/NullPointerException");
    EXPECT_EQ(define(sampleName, nullptr, 0, 8, nullptr), nullptr);
    EXPECT_EQ(thrownClass(), "java/lang/NullPointerException");
}

TEST_F(DefineClass, WhenTheVirtualMachineIsOutOfMemoryNothingIsHeldAndItsErrorReachesJava)
{
    jbyteArray bytes = jni.newByteArray(sampleStored);
    jni.failCall(strictjni::Fault::GetStringUTFChars);
    EXPECT_EQ(define(sampleName, bytes, newLoader()), nullptr);
    EXPECT_EQ(thrownClass(), "java/lang/OutOfMemoryError");
    jni.failCall(strictjni::Fault::GetByteArrayElements);
    EXPECT_EQ(define(sampleName, bytes, newLoader()), nullptr);
    EXPECT_EQ(thrownClass(), "java/lang/OutOfMemoryError");
    EXPECT_EQ(jni.bytes(bytes), sampleStored);
    EXPECT_TRUE(jni.definedClasses().empty());
}

} // namespace
} // namespace launcher
