// The defineClass native against known answers computed on their own from
// the keystream's description (keystream_vectors.py), not from the code the
// native and the class-packing tool share: agreeing with each other is not
// enough, both must restore what the application's packer stored.
#include <gtest/gtest.h>

#include <jni.h>

#include <ostream>
#include <string>
#include <vector>

#include "define_class.h"
#include "keystream_vectors.h"
#include "strict_jni.h"
#include "strict_jni_gtest.h"

// How a failing case names its vector.
void PrintTo(const KeystreamVector& vector, std::ostream* out)
{
    *out << vector.length << " bytes under \"" << vector.name << "\"";
}

namespace launcher {
namespace {

using Bytes = std::vector<jbyte>;

Bytes storedBytes(int length)
{
    Bytes bytes;
    for (int i = 0; i < length; ++i)
        bytes.push_back(static_cast<jbyte>((i * 37 + 11) & 0xFF));
    return bytes;
}

Bytes fromHex(const std::string& hex)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<jbyte>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

class KeystreamKnownAnswers : public ::testing::TestWithParam<KeystreamVector> {
protected:
    void SetUp() override { strictjni::failTestOnViolation(jni); }

    // Restores without a loader: the native copies the restored bytes back.
    Bytes restored(const KeystreamVector& vector, jint offset = 0)
    {
        jbyteArray bytes = jni.newByteArray(storedBytes(vector.length));
        jclass defined = jni.callOn("orlesk/tavrin/SecureLauncher", Java_orlesk_tavrin_SecureLauncher_defineClass,
                                    jni.newString(vector.name), bytes, offset, vector.length, nullptr);
        EXPECT_EQ(defined, nullptr);
        EXPECT_EQ(jni.thrown(), nullptr);
        return jni.bytes(bytes);
    }

    strictjni::StrictJni jni;
};

TEST_P(KeystreamKnownAnswers, RestoresExactlyTheExpectedBytes)
{
    const KeystreamVector& vector = GetParam();
    const Bytes expected = fromHex(vector.restored);
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(vector.length));
    EXPECT_EQ(restored(vector), expected);
}

TEST_P(KeystreamKnownAnswers, RestoresTheSameBytesWhateverTheOffset)
{
    const KeystreamVector& vector = GetParam();
    EXPECT_EQ(restored(vector, 5), fromHex(vector.restored));
}

std::string caseName(const ::testing::TestParamInfo<KeystreamVector>& info)
{
    return "Case" + std::to_string(info.index) + "Of" + std::to_string(info.param.length) + "Bytes";
}

INSTANTIATE_TEST_SUITE_P(Vectors, KeystreamKnownAnswers, ::testing::ValuesIn(keystreamVectors), caseName);

} // namespace
} // namespace launcher
