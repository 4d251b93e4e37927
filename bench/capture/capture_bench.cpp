// capture_bench: what storing a 144 000-byte DV frame through SampleCB and
// taking it through the JNI getFrame path costs, against two plain memcpy
// of the same size over the same buffers; the allocations either path makes;
// and the longest time the streaming thread's SampleCB took while a reader
// copied frames out (its lock wait), against its uncontended time.
//
// Run under Wine: scripts/wine-run.sh <build>/wine bench <build>/bench/capture/capture_bench.exe
#include "allocation_counter.h"
#include "capture_device.h"
#include "fake_graph.h"
#include "media_sample.h"
#include "strict_jni.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kFrameSize = capdev::kDV625FrameSize;
constexpr int kFrames = 3000;
constexpr int kRounds = 5;

double seconds(Clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

struct Bench {
    JNIEnv* env;
    jclass pellux;
    jlong device;
    ISampleGrabberCB& callback;
    capdev::FakeMediaSample& sample;
    jbyteArray array;

    // One frame stored through SampleCB and taken through the JNI getFrame.
    void captureFrame()
    {
        callback.SampleCB(0.0, &sample);
        Java_orlesk_tavrin_pellux_Pellux_getFrame(env, pellux, device, array);
    }

    // The same bytes moved by two memcpy: into a frame buffer, then into the array.
    void copyFrame(std::vector<BYTE>& frameBuffer)
    {
        void* destination = env->GetPrimitiveArrayCritical(array, nullptr);
        std::memcpy(frameBuffer.data(), sample.bytes().data(), kFrameSize);
        std::memcpy(destination, frameBuffer.data(), kFrameSize);
        env->ReleasePrimitiveArrayCritical(array, destination, 0);
    }
};

template <typename Step>
double bestSecondsPerFrame(Step step)
{
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < kFrames; ++i)
            step();
        best = std::min(best, seconds(Clock::now() - start) / kFrames);
    }
    return best;
}

template <typename Step>
double allocationsPerFrame(Step step)
{
    const size_t before = allocations::ofThisThread();
    for (int i = 0; i < kFrames; ++i)
        step();
    return static_cast<double>(allocations::ofThisThread() - before) / kFrames;
}

// SampleCB timings on a streaming thread while this thread takes frames.
void measureLockWait(strictjni::StrictJni& jni, Bench& bench)
{
    std::atomic<bool> done{false};
    std::atomic<size_t> failures{0};
    std::vector<double> durations;
    durations.reserve(200000);
    std::thread streaming([&] {
        capdev::FakeMediaSample own(kFrameSize);
        std::memcpy(own.bytes().data(), bench.sample.bytes().data(), kFrameSize);
        while (!done && durations.size() < durations.capacity()) {
            const auto start = Clock::now();
            if (FAILED(bench.callback.SampleCB(0.0, &own)))
                ++failures;
            durations.push_back(seconds(Clock::now() - start));
        }
    });
    JNIEnv* env = jni.env();
    const auto end = Clock::now() + std::chrono::seconds(2);
    size_t taken = 0;
    while (Clock::now() < end) {
        if (Java_orlesk_tavrin_pellux_Pellux_getFrame(env, bench.pellux, bench.device, bench.array) == kFrameSize)
            ++taken;
        if (env->ExceptionCheck())
            env->ExceptionClear();
    }
    done = true;
    streaming.join();
    std::sort(durations.begin(), durations.end());
    const double median = durations[durations.size() / 2];
    const double longest = durations.back();
    std::printf("contended run: %zu SampleCB calls (%zu failed), %zu frames taken by the reader\n", durations.size(),
                failures.load(), taken);
    const double p999 = durations[durations.size() * 999 / 1000];
    std::printf("SampleCB median %.1f us, 99.9th percentile %.1f us, longest %.1f us\n", median * 1e6, p999 * 1e6,
                longest * 1e6);
    std::printf("longest wait on the pool's lock behind a reader's copy: at most %.1f us "
                "(longest less median; includes any preemption of either thread)\n",
                (longest - median) * 1e6);
}

} // namespace

int main()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        strictjni::StrictJni jni;
        capdev::DeviceConfig deckConfig = capdev::DeviceConfig::dv625();
        capdev::InstalledDevice deck(deckConfig, L"Bench DV Deck");
        capdev::FakeGraphConfig graphConfig;
        graphConfig.connected = capdev::dvConnection(kFrameSize);
        capdev::FakeGraph graph(graphConfig);

        JNIEnv* env = jni.env();
        jclass pellux = jni.classRef("orlesk/tavrin/pellux/Pellux");
        const jlong list = Java_orlesk_tavrin_pellux_Pellux_openDVDeviceList(env, pellux);
        Java_orlesk_tavrin_pellux_Pellux_loadDeviceList(env, pellux, list);
        const jlong device = Java_orlesk_tavrin_pellux_Pellux_openDevice(env, pellux, list, 0);
        if (device == 0 || graph.attachedCallback() == nullptr) {
            std::printf("the bench graph could not be opened\n");
            return 1;
        }
        capdev::FakeMediaSample sample(kFrameSize);
        capdev::writeFrame(sample.bytes().data(), kFrameSize, 1);
        jbyteArray array = jni.newByteArray(std::vector<jbyte>(kFrameSize));
        Bench bench{env, pellux, device, *graph.attachedCallback(), sample, array};
        std::vector<BYTE> frameBuffer(kFrameSize);

        // Warm both paths, then measure them in alternation on the same buffers.
        bestSecondsPerFrame([&] { bench.copyFrame(frameBuffer); });
        bestSecondsPerFrame([&] { bench.captureFrame(); });
        const double copy = bestSecondsPerFrame([&] { bench.copyFrame(frameBuffer); });
        const double capture = bestSecondsPerFrame([&] { bench.captureFrame(); });
        const double storeAllocations = allocationsPerFrame([&] { bench.callback.SampleCB(0.0, &sample); });
        const double takeAllocations = allocationsPerFrame([&] {
            bench.callback.SampleCB(0.0, &sample);
            Java_orlesk_tavrin_pellux_Pellux_getFrame(env, pellux, device, array);
        });

        std::printf("frame size %ld bytes, best of %d rounds of %d frames\n", kFrameSize, kRounds, kFrames);
        std::printf("SampleCB + JNI getFrame: %.1f us/frame, %.0f frames/s\n", capture * 1e6, 1.0 / capture);
        std::printf("two memcpy:              %.1f us/frame, %.0f frames/s\n", copy * 1e6, 1.0 / copy);
        std::printf("ratio %.3f (target at most 1.25)\n", capture / copy);
        const double copyAllocations = allocationsPerFrame([&] { bench.copyFrame(frameBuffer); });
        std::printf("allocations per frame: SampleCB %.3f, SampleCB + JNI getFrame %.3f, "
                    "the memcpy path with the same JNI pinning %.3f (target 0)\n",
                    storeAllocations, takeAllocations, copyAllocations);
        measureLockWait(jni, bench);

        env->DeleteLocalRef(array);
        Java_orlesk_tavrin_pellux_Pellux_closeDevice(env, pellux, device);
        Java_orlesk_tavrin_pellux_Pellux_closeDeviceList(env, pellux, list);
        env->DeleteLocalRef(pellux);
    }
    CoUninitialize();
    return 0;
}
