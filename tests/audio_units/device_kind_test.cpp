// The audio entry points given the handle of a DV device.
#include "audio_unit_test.h"

#include "boundary/handle.h"
#include "capture/dv_sample_capture_graph.h"

namespace {

constexpr char kNotAnAudioDevice[] = "The device is not an audio input device: it has no audio formats or mixer.";

class DVDeviceHandle : public mediatest::MediaTest {
protected:
    jlong handle() { return pellux::toHandle(static_cast<pellux::SampleCaptureGraph*>(&dv)); }

    // An unbuilt DV graph: smaller than an audio graph, so using it as one
    // reads past its end.
    pellux::DVSampleCaptureGraph dv;
};

TEST_F(DVDeviceHandle, IsRefusedByEveryAudioEntryPointWithAnEmptyResult)
{
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getAudioInputMediaType, handle()), nullptr);
    expectThrown(mediatest::kRuntimeException, kNotAnAudioDevice);
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getSupportedAudioInputMediaTypes, handle()), nullptr);
    expectThrown(mediatest::kRuntimeException, kNotAnAudioDevice);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI, handle(), jint{0});
    expectThrown(mediatest::kRuntimeException, kNotAnAudioDevice);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII, handle(), jint{2}, jint{16}, jint{48000});
    expectThrown(mediatest::kRuntimeException, kNotAnAudioDevice);
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getAudioInputMixerPreferences, handle()), nullptr);
    expectThrown(mediatest::kRuntimeException, kNotAnAudioDevice);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_setAudioInputMixerPreferences, handle(), jboolean{JNI_FALSE}, 0.5, 0.0,
             jboolean{JNI_FALSE}, 0.0, 0.0);
    expectThrown(mediatest::kRuntimeException, kNotAnAudioDevice);
}

} // namespace
