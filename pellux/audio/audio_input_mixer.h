// Reading and writing an audio device's input mixer as one set of
// preferences. Drivers implement only some settings: each is probed first,
// and one the driver lacks is reported unsupported and never written.
#pragma once

#include "audio/audio_sample_capture_graph.h"

namespace pellux {

// The settings as read; an unsupported setting keeps false or 0.0.
struct MixerPreferences {
    bool monoSupported = false;
    bool mono = false;
    bool mixLevelSupported = false;
    double mixLevel = 0.0;
    bool panSupported = false;
    double pan = 0.0;
    bool loudnessSupported = false;
    bool loudness = false;
    bool trebleSupported = false;
    double treble = 0.0;
    double trebleRange = 0.0;
    bool bassSupported = false;
    double bass = 0.0;
    double bassRange = 0.0;
};

// The settings to write.
struct MixerRequest {
    bool mono = false;
    double mixLevel = 0.0;
    double pan = 0.0;
    bool loudness = false;
    double treble = 0.0;
    double bass = 0.0;
};

// Mono, mix level, pan, loudness, treble (with its range), bass (with its
// range), in this order; the first failure ends the read.
MixerPreferences readMixerPreferences(AudioSampleCaptureGraph& graph);

// Tests every value (std::out_of_range with the value's message), then writes
// the supported settings in the read order; a failing setter ends the writes.
void writeMixerPreferences(AudioSampleCaptureGraph& graph, const MixerRequest& request);

} // namespace pellux
