// Reading and writing the audio input mixer preferences over a fake mixer.
#include "audio_unit_test.h"

#include <cmath>
#include <limits>
#include <sstream>

using audiofake::Setting;
using audiotest::AudioUnitTest;
using strictjni::ObjectPtr;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

constexpr char kPreferencesClass[] = "orlesk/tavrin/pellux/mediainfo/AudioInputMixerPreferences";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const std::map<Setting, double> kEverySetting = {
    {Setting::Mono, 2}, // any non-zero BOOL is on
    {Setting::MixLevel, -1.0},   {Setting::Pan, -0.5},  {Setting::Loudness, 1},   {Setting::Treble, 3.0},
    {Setting::TrebleRange, 6.0}, {Setting::Bass, -2.0}, {Setting::BassRange, 8.0}};

struct Request {
    bool mono = true;
    double mixLevel = 0.5;
    double pan = 0.0;
    bool loudness = true;
    double treble = 0.0;
    double bass = 0.0;
};

class MixerPreferences : public AudioUnitTest {
protected:
    ObjectPtr read()
    {
        const jobject preferences = jni.call(Java_orlesk_tavrin_pellux_Pellux_getAudioInputMixerPreferences, handle());
        return preferences != nullptr ? jni.object(preferences) : nullptr;
    }

    void write(const Request& request)
    {
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMixerPreferences, handle(), jboolean{request.mono},
                 request.mixLevel, request.pan, jboolean{request.loudness}, request.treble, request.bass);
    }

    // The fourteen constructor arguments as text, booleans as true or false.
    static std::vector<std::string> argumentsOf(const ObjectPtr& preferences)
    {
        std::vector<std::string> texts;
        for (const strictjni::Value& value : preferences->constructorArgs) {
            std::ostringstream text;
            if (value.type == 'Z')
                text << (value.z() ? "true" : "false");
            else
                text << value.d();
            texts.push_back(text.str());
        }
        return texts;
    }

    std::vector<std::string> writes() const
    {
        std::vector<std::string> puts;
        for (const std::string& call : device.script.log)
            if (call.rfind("put_", 0) == 0)
                puts.push_back(call);
        return puts;
    }
};

TEST_F(MixerPreferences, AMixerWithOnlyAMixLevelIsReadAndWrittenOnlyThere)
{
    device.mixer->implement({{Setting::MixLevel, 0.25}});

    const ObjectPtr preferences = read();
    ASSERT_TRUE(preferences);
    EXPECT_EQ(preferences->className(), kPreferencesClass);
    EXPECT_THAT(argumentsOf(preferences), ElementsAre("false", "false", "true", "0.25", "false", "0", "false", "false",
                                                      "false", "0", "0", "false", "0", "0"));

    write(Request{true, 0.75, 0.5, true, 9.0, 9.0});
    EXPECT_EQ(jni.thrown(), nullptr);
    EXPECT_THAT(writes(), ElementsAre("put_MixLevel 0.75"));
    EXPECT_EQ(device.mixer->values.at(Setting::MixLevel), 0.75);
}

TEST_F(MixerPreferences, EverySettingIsProbedThenReadInOrderAndTheEnableFlagIsLeftAlone)
{
    device.mixer->implement(kEverySetting);

    const ObjectPtr preferences = read();
    ASSERT_TRUE(preferences);
    EXPECT_THAT(argumentsOf(preferences), ElementsAre("true", "true", "true", "-1", "true", "-0.5", "true", "true",
                                                      "true", "3", "6", "true", "-2", "8"));
    EXPECT_THAT(log(), ElementsAre("get_Mono", "get_Mono", "get_MixLevel", "get_MixLevel", "get_Pan", "get_Pan",
                                   "get_Loudness", "get_Loudness", "get_Treble", "get_Treble", "get_TrebleRange",
                                   "get_Bass", "get_Bass", "get_BassRange"));
}

TEST_F(MixerPreferences, EveryValueIsTestedBeforeTheSettingsAreWrittenInReadOrder)
{
    device.mixer->implement(kEverySetting);

    write(Request{true, 0.5, -1.0, true, -6.0, 8.0});
    EXPECT_EQ(jni.thrown(), nullptr);
    EXPECT_THAT(log(), ElementsAre("get_Treble", "get_TrebleRange", "get_Bass", "get_BassRange", "get_Mono",
                                   "put_Mono 1", "get_MixLevel", "put_MixLevel 0.5", "get_Pan", "put_Pan -1",
                                   "get_Loudness", "put_Loudness 1", "put_Treble -6", "put_Bass 8"));

    log().clear();
    write(Request{false, 1.0, 1.0, false, 6.0, -8.0});
    EXPECT_EQ(jni.thrown(), nullptr);
    EXPECT_THAT(writes(), ElementsAre("put_Mono 0", "put_MixLevel 1", "put_Pan 1", "put_Loudness 0", "put_Treble 6",
                                      "put_Bass -8"));
}

TEST_F(MixerPreferences, ValuesAtTheEndsOfTheirRangesAreWritten)
{
    device.mixer->implement(kEverySetting);
    for (const Request& request : {Request{true, -1.0, -1.0, true, 6.0, 8.0}, Request{true, 0.0, 1.0, true, -6.0, -8.0},
                                   Request{true, 1.0, 0.0, true, 0.0, 0.0}}) {
        log().clear();
        write(request);
        EXPECT_EQ(jni.thrown(), nullptr) << request.mixLevel;
        EXPECT_EQ(writes().size(), 6u) << request.mixLevel;
    }
}

struct RejectedValue {
    const char* what;
    Request request;
    bool mixerHasSetting;
    const char* message;
};

std::ostream& operator<<(std::ostream& out, const RejectedValue& value)
{
    return out << value.what;
}

constexpr char kMixLevelMessage[] = "Mix level must be set to AMF_AUTOMATICGAIN or be in the range 0.0 to 1.0.";
constexpr char kPanMessage[] = "Pan must be in the range -1.0 to 1.0.";
constexpr char kTrebleMessage[] = "Treble is out of range. The absolute value must be less than the treble range.";
constexpr char kBassMessage[] = "Bass is out of range. The absolute value must be less than the bass range.";

class RejectedValues : public MixerPreferences, public ::testing::WithParamInterface<RejectedValue> {};

TEST_P(RejectedValues, AreRefusedWithTheirMessageBeforeAnythingIsWritten)
{
    const RejectedValue& rejected = GetParam();
    if (rejected.mixerHasSetting)
        device.mixer->implement(kEverySetting);

    write(rejected.request);
    expectThrown(mediatest::kRuntimeException, rejected.message);
    EXPECT_THAT(writes(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    MixerPreferences, RejectedValues,
    ::testing::Values(
        RejectedValue{"mix level below 0", Request{true, -0.5}, true, kMixLevelMessage},
        RejectedValue{"mix level above 1", Request{true, 1.5}, true, kMixLevelMessage},
        RejectedValue{"mix level on a mixer without one", Request{true, -0.5}, false, kMixLevelMessage},
        RejectedValue{"mix level not a number", Request{true, kNaN}, true, kMixLevelMessage},
        RejectedValue{"mix level not a number, no mixer setting", Request{true, kNaN}, false, kMixLevelMessage},
        RejectedValue{"pan below -1", Request{true, 0.5, -1.01}, true, kPanMessage},
        RejectedValue{"pan above 1", Request{true, 0.5, 1.01}, false, kPanMessage},
        RejectedValue{"pan not a number", Request{true, 0.5, kNaN}, true, kPanMessage},
        RejectedValue{"treble above its range", Request{true, 0.5, 0.0, true, 6.5}, true, kTrebleMessage},
        RejectedValue{"treble below minus its range", Request{true, 0.5, 0.0, true, -6.01}, true, kTrebleMessage},
        RejectedValue{"treble not a number", Request{true, 0.5, 0.0, true, kNaN}, true, kTrebleMessage},
        RejectedValue{"bass above its range", Request{true, 0.5, 0.0, true, 0.0, 8.5}, true, kBassMessage},
        RejectedValue{"bass below minus its range", Request{true, 0.5, 0.0, true, 0.0, -9.0}, true, kBassMessage},
        RejectedValue{"bass not a number", Request{true, 0.5, 0.0, true, 0.0, kNaN}, true, kBassMessage}));

TEST_F(MixerPreferences, TrebleAndBassAreIgnoredOnAMixerWithoutThem)
{
    device.mixer->implement({{Setting::Mono, 0}});
    for (const double value : {1000.0, -1000.0, kNaN}) {
        log().clear();
        write(Request{true, 0.5, 0.0, true, value, value});
        EXPECT_EQ(jni.thrown(), nullptr) << value;
        EXPECT_THAT(writes(), ElementsAre("put_Mono 1")) << value;
    }
}

TEST_F(MixerPreferences, AFailingBassProbeEndsTheReadAfterFiveSettingsAndTheWriteBeforeAnyWrite)
{
    device.mixer->implement(kEverySetting);
    device.script.failAlways("get_Bass", E_FAIL);

    EXPECT_EQ(read(), nullptr);
    expectCOMFailure("Failed to get bass from audio input mixer.", E_FAIL);
    EXPECT_THAT(log(),
                ElementsAre("get_Mono", "get_Mono", "get_MixLevel", "get_MixLevel", "get_Pan", "get_Pan",
                            "get_Loudness", "get_Loudness", "get_Treble", "get_Treble", "get_TrebleRange", "get_Bass"));

    log().clear();
    write(Request{});
    expectCOMFailure("Failed to get bass from audio input mixer.", E_FAIL);
    EXPECT_THAT(log(), ElementsAre("get_Treble", "get_TrebleRange", "get_Bass"));
}

TEST_F(MixerPreferences, ASuccessCodeOtherThanOkCountsAsSupportedWhenReadingAndWriting)
{
    device.mixer->implement(kEverySetting);
    device.script.failAlways("get_Pan", S_FALSE);
    device.script.failAlways("get_Treble", S_FALSE);

    const ObjectPtr preferences = read();
    ASSERT_TRUE(preferences);
    EXPECT_THAT(argumentsOf(preferences), ElementsAre("true", "true", "true", "-1", "true", "-0.5", "true", "true",
                                                      "true", "3", "6", "true", "-2", "8"));

    log().clear();
    write(Request{true, 0.5, 0.25, true, 1.0, 1.0});
    EXPECT_EQ(jni.thrown(), nullptr);
    EXPECT_THAT(writes(), ElementsAre("put_Mono 1", "put_MixLevel 0.5", "put_Pan 0.25", "put_Loudness 1",
                                      "put_Treble 1", "put_Bass 1"));
}

// A getter failing on its nth call: the probe is the first call of a
// setting's getter, the read of its value the second.
struct GetterFailure {
    Setting setting;
    int call;
    const char* message;
};

std::ostream& operator<<(std::ostream& out, const GetterFailure& failure)
{
    return out << audiofake::getterName(failure.setting) << " call " << failure.call;
}

class GetterFailures : public MixerPreferences, public ::testing::WithParamInterface<GetterFailure> {};

TEST_P(GetterFailures, EndTheReadWithTheirMessageAndCode)
{
    device.mixer->implement(kEverySetting);
    device.script.failOnce(audiofake::getterName(GetParam().setting), E_ACCESSDENIED, GetParam().call);

    EXPECT_EQ(read(), nullptr);
    expectCOMFailure(GetParam().message, E_ACCESSDENIED);
    EXPECT_EQ(log().back(), audiofake::getterName(GetParam().setting));
}

INSTANTIATE_TEST_SUITE_P(
    MixerPreferences, GetterFailures,
    ::testing::Values(GetterFailure{Setting::Mono, 1, "Failed to get mono flag from audio input mixer."},
                      GetterFailure{Setting::Mono, 2, "Failed to get mono flag from audio input mixer."},
                      GetterFailure{Setting::MixLevel, 1, "Failed to get mix level from audio input mixer."},
                      GetterFailure{Setting::MixLevel, 2, "Failed to get mix level from audio input mixer."},
                      GetterFailure{Setting::Pan, 1, "Failed to get pan from audio input mixer."},
                      GetterFailure{Setting::Pan, 2, "Failed to get pan from audio input mixer."},
                      GetterFailure{Setting::Loudness, 1, "Failed to get loudness from audio input mixer."},
                      GetterFailure{Setting::Loudness, 2, "Failed to get loudness flag from audio input mixer."},
                      GetterFailure{Setting::Treble, 1, "Failed to get treble from audio input mixer."},
                      GetterFailure{Setting::Treble, 2, "Failed to get treble from audio input mixer."},
                      GetterFailure{Setting::TrebleRange, 1, "Failed to get treble range from audio input mixer."},
                      GetterFailure{Setting::Bass, 1, "Failed to get bass from audio input mixer."},
                      GetterFailure{Setting::Bass, 2, "Failed to get bass from audio input mixer."},
                      GetterFailure{Setting::BassRange, 1, "Failed to get bass range from audio input mixer."}));

struct SetterFailure {
    Setting setting;
    const char* message;
};

std::ostream& operator<<(std::ostream& out, const SetterFailure& failure)
{
    return out << audiofake::setterName(failure.setting);
}

class SetterFailures : public MixerPreferences, public ::testing::WithParamInterface<SetterFailure> {};

TEST_P(SetterFailures, EndTheWriteAfterTheSettingsBeforeThem)
{
    device.mixer->implement(kEverySetting);
    device.script.failOnce(audiofake::setterName(GetParam().setting), E_ACCESSDENIED);

    write(Request{true, 0.5, 0.25, false, 1.0, -1.0});
    expectCOMFailure(GetParam().message, E_ACCESSDENIED);
    const std::vector<std::string> all = {"put_Mono 1",     "put_MixLevel 0.5", "put_Pan 0.25",
                                          "put_Loudness 0", "put_Treble 1",     "put_Bass -1"};
    std::vector<std::string> expected;
    for (const std::string& put : all) {
        expected.push_back(put);
        if (put.rfind(audiofake::setterName(GetParam().setting) + " ", 0) == 0)
            break;
    }
    EXPECT_THAT(writes(), ElementsAreArray(expected));
}

INSTANTIATE_TEST_SUITE_P(
    MixerPreferences, SetterFailures,
    ::testing::Values(SetterFailure{Setting::Mono, "Failed to set mono flag on audio input mixer."},
                      SetterFailure{Setting::MixLevel, "Failed to set mix level on audio input mixer."},
                      SetterFailure{Setting::Pan, "Failed to set pan on audio input mixer."},
                      SetterFailure{Setting::Loudness, "Failed to set loudness on audio input mixer."},
                      SetterFailure{Setting::Treble, "Failed to set treble on audio input mixer."},
                      SetterFailure{Setting::Bass, "Failed to set bass on audio input mixer."}));

TEST_F(MixerPreferences, AMissingJavaClassConstructorOrObjectLeavesTheJavaErrorAndTouchesNoMixer)
{
    device.mixer->implement(kEverySetting);

    jni.hideClass(kPreferencesClass);
    EXPECT_EQ(read(), nullptr);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(), "java/lang/NoClassDefFoundError");
    EXPECT_THAT(log(), IsEmpty());
    jni.clearFaults();

    jni.hideMethod(kPreferencesClass, "<init>");
    EXPECT_EQ(read(), nullptr);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(), "java/lang/NoSuchMethodError");
    EXPECT_THAT(log(), IsEmpty());
    jni.clearFaults();

    jni.failNewObjectOf(kPreferencesClass);
    EXPECT_EQ(read(), nullptr);
    ASSERT_TRUE(jni.thrown());
    EXPECT_EQ(jni.thrown()->className(), "java/lang/OutOfMemoryError");
}

} // namespace
