// capture-demo <Pellux.dll> <clip.dv> <output folder> [seconds]
//
// Capture as the Java side makes it, through the built Pellux.dll and Wine's
// real capture graph, from two test devices this program plugs in: a DV deck
// playing a DV clip (its timecode reader reads the timecode recorded in the
// clip) and an audio input sending a 997 Hz tone. For each device it lists the
// devices, opens the first, starts capturing, polls the frame index and takes
// every frame for a few seconds, stops and closes; it prints what it took and
// writes the DV frames as <folder>\captured.dv and the sound as
// <folder>\captured.wav, with the index of each frame (each audio buffer) in
// <folder>\captured.dv.indexes and captured.wav.indexes, one a line. Both
// devices send their first sample under index kFirstIndex, so a frame's index
// tells what it must hold. The JNI environment is the strict test double, so
// a broken JNI rule is reported.
#include "capture_device.h"
#include "content_sources.h"
#include "strict_jni.h"
#include "wave_file.h"

#include <windows.h>
#include <edevdefs.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using strictjni::ObjectPtr;

// Near 1 kHz, but not a whole number of periods in an eighth of a second (a
// buffer): the tone's phase moves on from one buffer to the next, so a buffer
// missing or repeated shows.
constexpr double kToneFrequency = 997.0;
// The index (media time) of each device's first sample.
constexpr int64_t kFirstIndex = 1000;

// Pellux.dll, loaded as the JVM loads it; its native methods by name.
class PelluxLibrary {
public:
    explicit PelluxLibrary(const char* path) : module(LoadLibraryA(path))
    {
        if (module == nullptr)
            throw std::runtime_error(std::string("cannot load ") + path + " (error " + std::to_string(GetLastError()) +
                                     ")");
    }
    ~PelluxLibrary() { FreeLibrary(module); }
    PelluxLibrary(const PelluxLibrary&) = delete;
    PelluxLibrary& operator=(const PelluxLibrary&) = delete;

    template <typename Result, typename... Args>
    auto native(const char* method) const
    {
        using Function = Result(JNICALL*)(JNIEnv*, jclass, Args...);
        const std::string name = std::string("Java_orlesk_tavrin_pellux_Pellux_") + method;
        auto function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name.c_str())));
        if (function == nullptr)
            throw std::runtime_error(name + " is not exported");
        return function;
    }

private:
    HMODULE module;
};

std::string timecodeText(DWORD word)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%02lX:%02lX:%02lX:%02lX", (word >> 24) & 0xFF, (word >> 16) & 0xFF,
                  (word >> 8) & 0xFF, word & 0xFF);
    return text;
}

// What one capture took.
struct Capture {
    std::string deviceName;
    jint frameSize = 0;
    size_t frames = 0;
    jlong firstIndex = -1;
    jlong lastIndex = -1;
    size_t dropped = 0; // indexes skipped: frames the pool overwrote before they were taken
    double seconds = 0;
    std::vector<uint8_t> bytes;
    std::vector<jlong> indexes; // of each frame, in the order taken

    void add(jlong index, const std::vector<jbyte>& frame, jint length)
    {
        if (lastIndex >= 0 && index > lastIndex + 1)
            dropped += static_cast<size_t>(index - lastIndex - 1);
        if (firstIndex < 0)
            firstIndex = index;
        lastIndex = index;
        ++frames;
        indexes.push_back(index);
        bytes.insert(bytes.end(), frame.begin(), frame.begin() + length);
    }
};

// The calls the Java side makes, through the strict JNI environment.
class JavaSide {
public:
    JavaSide(strictjni::StrictJni& jni, const PelluxLibrary& pellux) : jni(jni), pellux(pellux) {}

    // Calls an entry point; what it threw to Java is thrown here.
    template <typename F, typename... A>
    auto call(F function, A... args)
    {
        auto result = [&] {
            if constexpr (std::is_void_v<decltype(jni.call(function, args...))>) {
                jni.call(function, args...);
                return 0;
            } else {
                return jni.call(function, args...);
            }
        }();
        if (const ObjectPtr thrown = jni.thrown())
            throw std::runtime_error(thrown->className() + ": " + thrown->message());
        return result;
    }

    // Lists the kind's devices and opens the first; the list is closed again.
    // The caller closes the device (OpenDevice).
    jlong openFirstDevice(bool audio, std::string& name)
    {
        const jlong list = call(pellux.native<jlong>(audio ? "openAudioDeviceList" : "openDVDeviceList"));
        call(pellux.native<void, jlong>("loadDeviceList"), list);
        const jint count = call(pellux.native<jint, jlong>("getDeviceCount"), list);
        std::printf("%s input devices: %ld\n", audio ? "Audio" : "DV", static_cast<long>(count));
        for (jint i = 0; i < count; ++i) {
            const std::string listed = jni.utf8(call(pellux.native<jstring, jlong, jint>("getDeviceName"), list, i));
            std::printf("  %ld: %s\n", static_cast<long>(i), listed.c_str());
            if (i == 0)
                name = listed;
        }
        const jlong device = count > 0 ? call(pellux.native<jlong, jlong, jint>("openDevice"), list, 0) : 0;
        call(pellux.native<void, jlong>("closeDeviceList"), list);
        if (device == 0)
            throw std::runtime_error(audio ? "no audio input device to open" : "no DV device to open");
        return device;
    }

    // Runs the device for `seconds`, taking every frame as it comes, then
    // stops it and takes what was still queued. `onFrame` sees each frame.
    Capture capture(jlong device, double seconds,
                    const std::function<void(const Capture&, const std::vector<jbyte>&)>& onFrame)
    {
        Capture taken;
        taken.frameSize = call(pellux.native<jint, jlong>("getFrameSize"), device);
        jbyteArray array = jni.newByteArray(std::vector<jbyte>(static_cast<size_t>(taken.frameSize)));
        const auto start = Clock::now();
        call(pellux.native<void, jlong>("startCapturing"), device);
        const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        while (Clock::now() < end) {
            if (!takeFrame(device, array, taken, onFrame))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        call(pellux.native<void, jlong>("stopCapturing"), device);
        taken.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        while (takeFrame(device, array, taken, onFrame)) {
        }
        jni.env()->DeleteLocalRef(array);
        return taken;
    }

    // The connected audio format, from the AMMediaType object Java receives.
    WAVEFORMATEX audioFormat(jlong device)
    {
        const jobject type = call(pellux.native<jobject, jlong>("getAudioInputMediaType"), device);
        const ObjectPtr format = jni.object(type)->constructorArgs.at(5).object;
        const auto& wave = format->constructorArgs;
        WAVEFORMATEX result{};
        result.wFormatTag = static_cast<WORD>(wave.at(0).i());
        result.nChannels = static_cast<WORD>(wave.at(1).s());
        result.nSamplesPerSec = static_cast<DWORD>(wave.at(2).i());
        result.nAvgBytesPerSec = static_cast<DWORD>(wave.at(3).i());
        result.nBlockAlign = static_cast<WORD>(wave.at(4).s());
        result.wBitsPerSample = static_cast<WORD>(wave.at(5).s());
        jni.env()->DeleteLocalRef(type);
        return result;
    }

    DWORD timecode(jlong device) { return static_cast<DWORD>(call(pellux.native<jint, jlong>("getTimeCode"), device)); }
    void setTransportState(jlong device, LONG mode)
    {
        call(pellux.native<void, jlong, jint>("setTransportState"), device, static_cast<jint>(mode));
    }
    void closeDevice(jlong device) { jni.call(pellux.native<void, jlong>("closeDevice"), device); }

private:
    bool takeFrame(jlong device, jbyteArray array, Capture& taken,
                   const std::function<void(const Capture&, const std::vector<jbyte>&)>& onFrame)
    {
        if (!call(pellux.native<jboolean, jlong>("isFrameAvailable"), device))
            return false;
        const jlong index = call(pellux.native<jlong, jlong>("getFrameIndex"), device);
        const jint length = call(pellux.native<jint, jlong, jbyteArray>("getFrame"), device, array);
        const std::vector<jbyte> frame = jni.bytes(array);
        taken.add(index, frame, length);
        onFrame(taken, frame);
        return true;
    }

    strictjni::StrictJni& jni;
    const PelluxLibrary& pellux;
};

// An open device, closed on every path.
class OpenDevice {
public:
    OpenDevice(JavaSide& java, bool audio) : java(java), handle(java.openFirstDevice(audio, deviceName)) {}
    ~OpenDevice() { java.closeDevice(handle); }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;

    jlong get() const { return handle; }
    const std::string& name() const { return deviceName; }

private:
    JavaSide& java;
    std::string deviceName;
    jlong handle;
};

void printCapture(const char* what, const Capture& taken)
{
    std::printf("%s \"%s\": %zu frames of %ld bytes in %.1f s, indexes %lld to %lld, dropped frames %zu\n", what,
                taken.deviceName.c_str(), taken.frames, static_cast<long>(taken.frameSize), taken.seconds,
                static_cast<long long>(taken.firstIndex), static_cast<long long>(taken.lastIndex), taken.dropped);
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// The index of each frame taken, one a line, beside the file of the frames.
void writeIndexes(const std::string& path, const Capture& taken)
{
    std::ofstream out(path + ".indexes", std::ios::binary);
    for (const jlong index : taken.indexes)
        out << index << '\n';
    if (!out)
        throw std::runtime_error("cannot write " + path + ".indexes");
}

// The deck plays the clip while it is captured; one line a second shows the
// timecode recorded in the frame taken and the one the deck reads meanwhile.
Capture captureDV(JavaSide& java, const std::string& folder, double seconds)
{
    Capture taken;
    {
        const OpenDevice deck(java, false);
        const jlong device = deck.get();
        java.setTransportState(device, ED_MODE_PLAY);
        taken = java.capture(device, seconds, [&](const Capture& sofar, const std::vector<jbyte>& frame) {
            if ((sofar.frames - 1) % 25 != 0)
                return;
            const auto recorded = capdev::dvTimecode(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
            std::printf("  frame %4zu: index %lld, recorded timecode %s, deck reads %s\n", sofar.frames,
                        static_cast<long long>(sofar.lastIndex), recorded ? timecodeText(*recorded).c_str() : "none",
                        timecodeText(java.timecode(device)).c_str());
        });
        java.setTransportState(device, ED_MODE_STOP);
        taken.deviceName = deck.name();
    }
    printCapture("DV deck", taken);
    if (taken.frames > 0) {
        const uint8_t* last = taken.bytes.data() + taken.bytes.size() - taken.frameSize;
        const auto first = capdev::dvTimecode(taken.bytes.data(), static_cast<size_t>(taken.frameSize));
        const auto final = capdev::dvTimecode(last, static_cast<size_t>(taken.frameSize));
        std::printf("  recorded timecodes %s to %s\n", first ? timecodeText(*first).c_str() : "none",
                    final ? timecodeText(*final).c_str() : "none");
    }
    const std::string path = folder + "\\captured.dv";
    writeFile(path, taken.bytes);
    writeIndexes(path, taken);
    std::printf("  wrote %s (%zu bytes)\n", path.c_str(), taken.bytes.size());
    return taken;
}

Capture captureAudio(JavaSide& java, const std::string& folder, double seconds)
{
    const OpenDevice microphone(java, true);
    const WAVEFORMATEX format = java.audioFormat(microphone.get());
    Capture taken = java.capture(microphone.get(), seconds, [](const Capture&, const std::vector<jbyte>&) {});
    taken.deviceName = microphone.name();
    printCapture("Audio input", taken);
    std::printf("  format: PCM %lu Hz, %u channels, %u bits (%.2f s of sound)\n",
                static_cast<unsigned long>(format.nSamplesPerSec), format.nChannels, format.wBitsPerSample,
                static_cast<double>(taken.bytes.size()) / format.nAvgBytesPerSec);
    const std::string path = folder + "\\captured.wav";
    if (!capturedemo::writeWave(path, format, taken.bytes))
        throw std::runtime_error("cannot write " + path);
    writeIndexes(path, taken);
    std::printf("  wrote %s\n", path.c_str());
    return taken;
}

capdev::DeviceConfig fromFirstIndex(capdev::DeviceConfig config)
{
    config.setMediaTimes = true;
    config.mediaTimeBase = kFirstIndex;
    return config;
}

// The two test devices, plugged in for the program's run.
struct Devices {
    explicit Devices(const std::string& clipPath)
        : clip(std::make_shared<capdev::DVClip>(clipPath)),
          deck(fromFirstIndex(capdev::dvClipDevice(clip)), L"Demo DV Deck (colour bars clip)", L"tavrin-demo-dv-deck"),
          microphone(fromFirstIndex(capdev::toneDevice(capdev::pcmFormat(2, 48000, 16), kToneFrequency)),
                     L"Demo Line In (997 Hz tone)", L"tavrin-demo-line-in")
    {
    }
    std::shared_ptr<capdev::DVClip> clip;
    capdev::InstalledDevice deck;
    capdev::InstalledDevice microphone;
};

int run(const char* library, const std::string& clipPath, const std::string& folder, double seconds)
{
    const PelluxLibrary pellux(library);
    strictjni::StrictJni jni;
    JavaSide java(jni, pellux);
    java.call(pellux.native<void>("initialiseThread"));
    bool captured = false;
    {
        Devices devices(clipPath);
        std::printf("DV clip: %zu frames, played in a loop by the deck, its first frame under index %lld\n",
                    devices.clip->frameCount(), static_cast<long long>(kFirstIndex));
        captured = captureDV(java, folder, seconds).frames > 0;
        captured = captureAudio(java, folder, seconds).frames > 0 && captured;
    }
    java.call(pellux.native<void>("releaseThread"));
    const size_t broken = jni.violations().size();
    if (broken != 0)
        std::printf("%zu JNI rule(s) broken\n", broken);
    return captured && broken == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: capture-demo <Pellux.dll> <clip.dv> <output folder> [seconds]\n");
        return 2;
    }
    const double seconds = argc == 5 ? std::atof(argv[4]) : 4.0;
    try {
        return run(argv[1], argv[2], argv[3], seconds);
    } catch (const std::exception& failure) {
        std::printf("capture-demo: %s\n", failure.what());
        return 1;
    }
}
