// The audio input mixer's settings: probes, getters and setters over the
// device filter's IAMAudioInputMixer, and the read and write sequences of the
// mixer preferences.
#include "audio/audio_input_mixer.h"

#include "boundary/com_exception.h"

#include <cmath>
#include <stdexcept>

namespace pellux {
namespace {

template <typename T>
using MixerGetter = HRESULT (STDMETHODCALLTYPE IAMAudioInputMixer::*)(T*);
template <typename T>
using MixerSetter = HRESULT (STDMETHODCALLTYPE IAMAudioInputMixer::*)(T);

template <typename T>
T readSetting(IAMAudioInputMixer& mixer, MixerGetter<T> getter, const char* message)
{
    T value{};
    throwIfFailed((mixer.*getter)(&value), message);
    return value;
}

template <typename T>
bool probeSetting(IAMAudioInputMixer& mixer, MixerGetter<T> getter, const char* message)
{
    T discarded{};
    return AudioSampleCaptureGraph::checkSupported((mixer.*getter)(&discarded), message);
}

template <typename T>
void writeSetting(IAMAudioInputMixer& mixer, MixerSetter<T> setter, T value, const char* message)
{
    throwIfFailed((mixer.*setter)(value), message);
}

constexpr char kGetMonoFailed[] = "Failed to get mono flag from audio input mixer.";
constexpr char kGetMixLevelFailed[] = "Failed to get mix level from audio input mixer.";
constexpr char kGetPanFailed[] = "Failed to get pan from audio input mixer.";
constexpr char kGetTrebleFailed[] = "Failed to get treble from audio input mixer.";
constexpr char kGetBassFailed[] = "Failed to get bass from audio input mixer.";

// The tests accept a value only when it is verifiably in range, so a value
// that is not a number (for which every ordered comparison is false) is
// refused instead of being handed to the driver.
bool isMixLevelAcceptable(double mixLevel) noexcept
{
    return mixLevel == AMF_AUTOMATICGAIN || (mixLevel >= 0.0 && mixLevel <= 1.0);
}

bool isPanAcceptable(double pan) noexcept
{
    return pan >= -1.0 && pan <= 1.0;
}

bool isWithinRange(double value, double range) noexcept
{
    return std::fabs(value) <= range;
}

BOOL toBOOL(bool value) noexcept
{
    return value ? TRUE : FALSE;
}

} // namespace

bool AudioSampleCaptureGraph::checkSupported(HRESULT hresult, const char* message)
{
    if (hresult == E_NOTIMPL)
        return false;
    throwIfFailed(hresult, message);
    // Any success code, S_FALSE included, counts as supported: the getter
    // answered, and its value is read as it answered.
    return true;
}

bool AudioSampleCaptureGraph::supportsMono()
{
    return probeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Mono, kGetMonoFailed);
}

bool AudioSampleCaptureGraph::supportsMixLevel()
{
    return probeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_MixLevel, kGetMixLevelFailed);
}

bool AudioSampleCaptureGraph::supportsPan()
{
    return probeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Pan, kGetPanFailed);
}

bool AudioSampleCaptureGraph::supportsLoudness()
{
    return probeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Loudness,
                        "Failed to get loudness from audio input mixer.");
}

bool AudioSampleCaptureGraph::supportsTreble()
{
    return probeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Treble, kGetTrebleFailed);
}

bool AudioSampleCaptureGraph::supportsBass()
{
    return probeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Bass, kGetBassFailed);
}

BOOL AudioSampleCaptureGraph::getMono()
{
    return readSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Mono, kGetMonoFailed);
}

double AudioSampleCaptureGraph::getMixLevel()
{
    return readSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_MixLevel, kGetMixLevelFailed);
}

double AudioSampleCaptureGraph::getPan()
{
    return readSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Pan, kGetPanFailed);
}

BOOL AudioSampleCaptureGraph::getLoudness()
{
    return readSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Loudness,
                       "Failed to get loudness flag from audio input mixer.");
}

double AudioSampleCaptureGraph::getTreble()
{
    return readSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Treble, kGetTrebleFailed);
}

double AudioSampleCaptureGraph::getTrebleRange()
{
    return readSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_TrebleRange,
                       "Failed to get treble range from audio input mixer.");
}

double AudioSampleCaptureGraph::getBass()
{
    return readSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_Bass, kGetBassFailed);
}

double AudioSampleCaptureGraph::getBassRange()
{
    return readSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::get_BassRange,
                       "Failed to get bass range from audio input mixer.");
}

void AudioSampleCaptureGraph::setMono(BOOL mono)
{
    writeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::put_Mono, mono,
                 "Failed to set mono flag on audio input mixer.");
}

void AudioSampleCaptureGraph::setMixLevel(double mixLevel)
{
    writeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::put_MixLevel, mixLevel,
                 "Failed to set mix level on audio input mixer.");
}

void AudioSampleCaptureGraph::setPan(double pan)
{
    writeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::put_Pan, pan, "Failed to set pan on audio input mixer.");
}

void AudioSampleCaptureGraph::setLoudness(BOOL loudness)
{
    writeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::put_Loudness, loudness,
                 "Failed to set loudness on audio input mixer.");
}

void AudioSampleCaptureGraph::setTreble(double treble)
{
    writeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::put_Treble, treble,
                 "Failed to set treble on audio input mixer.");
}

void AudioSampleCaptureGraph::setBass(double bass)
{
    writeSetting(*audioInputMixer.Get(), &IAMAudioInputMixer::put_Bass, bass,
                 "Failed to set bass on audio input mixer.");
}

MixerPreferences readMixerPreferences(AudioSampleCaptureGraph& graph)
{
    MixerPreferences read;
    if ((read.monoSupported = graph.supportsMono()))
        read.mono = graph.getMono() != FALSE;
    if ((read.mixLevelSupported = graph.supportsMixLevel()))
        read.mixLevel = graph.getMixLevel();
    if ((read.panSupported = graph.supportsPan()))
        read.pan = graph.getPan();
    if ((read.loudnessSupported = graph.supportsLoudness()))
        read.loudness = graph.getLoudness() != FALSE;
    if ((read.trebleSupported = graph.supportsTreble())) {
        read.treble = graph.getTreble();
        read.trebleRange = graph.getTrebleRange();
    }
    if ((read.bassSupported = graph.supportsBass())) {
        read.bass = graph.getBass();
        read.bassRange = graph.getBassRange();
    }
    return read;
}

void writeMixerPreferences(AudioSampleCaptureGraph& graph, const MixerRequest& request)
{
    // Every argument is tested before anything is written.
    if (!isMixLevelAcceptable(request.mixLevel))
        throw std::out_of_range("Mix level must be set to AMF_AUTOMATICGAIN or be in the range 0.0 to 1.0.");
    if (!isPanAcceptable(request.pan))
        throw std::out_of_range("Pan must be in the range -1.0 to 1.0.");
    const bool trebleSupported = graph.supportsTreble();
    if (trebleSupported && !isWithinRange(request.treble, graph.getTrebleRange()))
        throw std::out_of_range("Treble is out of range. The absolute value must be less than the treble range.");
    const bool bassSupported = graph.supportsBass();
    if (bassSupported && !isWithinRange(request.bass, graph.getBassRange()))
        throw std::out_of_range("Bass is out of range. The absolute value must be less than the bass range.");

    if (graph.supportsMono())
        graph.setMono(toBOOL(request.mono));
    if (graph.supportsMixLevel())
        graph.setMixLevel(request.mixLevel);
    if (graph.supportsPan())
        graph.setPan(request.pan);
    if (graph.supportsLoudness())
        graph.setLoudness(toBOOL(request.loudness));
    if (trebleSupported)
        graph.setTreble(request.treble);
    if (bassSupported)
        graph.setBass(request.bass);
}

} // namespace pellux
