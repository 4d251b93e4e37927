// What the media suites share: a test fixture with COM and the strict JNI
// double, and readers for the mediainfo objects the natives construct.
#pragma once

#include "pellux_test_support.h"
#include "task_memory_check.h"
#include "com_fakes.h"
#include "strict_jni.h"
#include "strict_jni_gtest.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mediatest {

using testsupport::kCOMException;
using testsupport::kRuntimeException;
constexpr char kWaveFormatEx[] = "orlesk/tavrin/pellux/mediainfo/WaveFormatEx";
constexpr char kVideoHeader[] = "orlesk/tavrin/pellux/mediainfo/VideoHeader";
constexpr char kDVInfo[] = "orlesk/tavrin/pellux/mediainfo/DVInfo";

// GUIDs in the registry form the Java side receives.
constexpr char kVideo[] = "{73646976-0000-0010-8000-00AA00389B71}";
constexpr char kAudio[] = "{73647561-0000-0010-8000-00AA00389B71}";
constexpr char kPcm[] = "{00000001-0000-0010-8000-00AA00389B71}";
constexpr char kRgb24[] = "{E436EB7D-524F-11CE-9F53-0020AF0BA770}";
constexpr char kYuy2[] = "{32595559-0000-0010-8000-00AA00389B71}";

class MediaTest : public comfake::TaskMemoryCheck {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        strictjni::failTestOnViolation(jni);
    }
    void TearDown() override
    {
        EXPECT_THAT(fakes.unbalanced(), ::testing::IsEmpty());
        CoUninitialize();
    }

    // What the last call threw: its class, message and, for a
    // PelluxCOMException, its HRESULT.
    void expectThrown(const char* className, const std::string& message)
    {
        const strictjni::ObjectPtr thrown = jni.thrown();
        ASSERT_TRUE(thrown) << "nothing thrown; expected " << message;
        EXPECT_EQ(thrown->className(), className);
        EXPECT_EQ(thrown->message(), message);
    }
    void expectCOMFailure(const std::string& message, HRESULT hresult)
    {
        expectThrown(kCOMException, message);
        if (const strictjni::ObjectPtr thrown = jni.thrown()) {
            EXPECT_EQ(thrown->constructorArgs.at(1).i(), hresult) << message;
        }
    }

    strictjni::StrictJni jni;
    comfake::Fakes fakes;
};

// A Java value of a primitive type as a number (a boolean as 0 or 1).
inline jlong number(const strictjni::Value& value)
{
    switch (value.type) {
    case 'Z':
        return value.z() ? 1 : 0;
    case 'B':
        return value.b();
    case 'S':
        return value.s();
    case 'C':
        return value.c();
    case 'I':
        return value.i();
    case 'J':
        return value.j();
    default:
        ADD_FAILURE() << "not an integral value: " << value.type;
        return 0;
    }
}

// The constructor arguments of a format object (all integral) as numbers.
inline std::vector<jlong> numbers(const strictjni::ObjectPtr& object)
{
    std::vector<jlong> values;
    for (const strictjni::Value& value : object->constructorArgs)
        values.push_back(number(value));
    return values;
}

// The Streams a MediaInfo was given through addStream, in call order.
inline std::vector<strictjni::ObjectPtr> streamsOf(const strictjni::ObjectPtr& mediaInfo)
{
    std::vector<strictjni::ObjectPtr> streams;
    for (const strictjni::Call& call : mediaInfo->callsOf("addStream"))
        streams.push_back(call.args.at(0).object);
    return streams;
}

// A Stream's parts: its AMMediaType, frame rate and length.
inline strictjni::ObjectPtr mediaTypeOf(const strictjni::ObjectPtr& stream)
{
    return stream->constructorArgs.at(0).object;
}
inline double frameRateOf(const strictjni::ObjectPtr& stream)
{
    return stream->constructorArgs.at(1).d();
}
inline jlong lengthOf(const strictjni::ObjectPtr& stream)
{
    return stream->constructorArgs.at(2).j();
}

// An AMMediaType's parts.
struct MediaTypeFields {
    std::string major;
    std::string sub;
    bool fixedSizeSamples;
    bool temporalCompression;
    jint sampleSize;
};
inline MediaTypeFields fieldsOf(const strictjni::ObjectPtr& mediaType)
{
    const auto& args = mediaType->constructorArgs;
    return MediaTypeFields{args.at(0).utf8(), args.at(1).utf8(), args.at(2).z(), args.at(3).z(), args.at(4).i()};
}
inline strictjni::ObjectPtr formatOf(const strictjni::ObjectPtr& mediaType)
{
    return mediaType->constructorArgs.at(5).object;
}

inline void expectMediaType(const strictjni::ObjectPtr& mediaType, const MediaTypeFields& expected)
{
    ASSERT_TRUE(mediaType);
    const MediaTypeFields actual = fieldsOf(mediaType);
    EXPECT_EQ(actual.major, expected.major);
    EXPECT_EQ(actual.sub, expected.sub);
    EXPECT_EQ(actual.fixedSizeSamples, expected.fixedSizeSamples);
    EXPECT_EQ(actual.temporalCompression, expected.temporalCompression);
    EXPECT_EQ(actual.sampleSize, expected.sampleSize);
}

inline void expectFormat(const strictjni::ObjectPtr& format, const char* className, const std::vector<jlong>& values)
{
    ASSERT_TRUE(format) << "no format object; expected " << className;
    EXPECT_EQ(format->className(), className);
    EXPECT_EQ(numbers(format), values) << className;
}

} // namespace mediatest
