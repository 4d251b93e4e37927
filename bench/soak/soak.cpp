// soak: figures of long runs, printed, not asserted.
//
// 1. 100 000 DV frames of 144 000 bytes stored through SampleCB as fast as a
//    streaming thread can, while a reader takes frames concurrently and checks
//    each one against the pattern the stream wrote: frames taken, torn frames
//    and frames out of order (targets 0).
// 2. 100 cycles of open, start, capture, stop and close of the test DV device
//    through Wine's real filter graph, each under the malloc spy: crashes,
//    failed cycles, leaked task-memory blocks, unknown frees and device
//    references left (targets 0), and the process's handle count and private
//    bytes after the first and the last cycle (Wine 8 answers the handle count
//    and PrivateUsage with 0: the system handle table and the commit charge
//    give the same figures there). The same number of cycles of Wine alone
//    (a filter graph and an enumeration, without the library) follow, as the
//    baseline of what Wine itself keeps.
//
// Run under Wine: scripts/wine-run.sh <build>/wine soak <build>/bench/soak/soak.exe [pool|cycles]
#include "capture/sample_grabber_callback.h"
#include "capture_device.h"
#include "frame_pattern.h"
#include "malloc_spy.h"
#include "media_sample.h"
#include "strict_jni.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <windows.h>
#include <psapi.h>
#include <wrl/client.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kFrameSize = capdev::kDV625FrameSize;
constexpr uint32_t kPoolFrames = 100000;
constexpr int kCycles = 100;
constexpr int kFramesPerCycle = 5;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// --- 1. The frame pool ------------------------------------------------------

struct PoolFigures {
    uint32_t stored = 0;
    uint32_t refused = 0;
    size_t taken = 0;
    size_t torn = 0;
    size_t outOfOrder = 0;
    double seconds = 0;
};

// The streaming thread's part: every frame written with its sequence number,
// then stored.
void streamFrames(pellux::SampleGrabberCallback& pool, PoolFigures& figures, std::atomic<bool>& done)
{
    // A few samples prepared before the stream starts, as a driver's are.
    std::vector<std::unique_ptr<capdev::FakeMediaSample>> samples;
    for (int i = 0; i < 4; ++i)
        samples.push_back(std::make_unique<capdev::FakeMediaSample>(kFrameSize));
    for (uint32_t sequence = 0; sequence < kPoolFrames; ++sequence) {
        capdev::FakeMediaSample& sample = *samples[sequence % samples.size()];
        capdev::writeFrame(sample.bytes().data(), kFrameSize, sequence);
        const LONGLONG start = sequence;
        sample.setMediaTime(&start);
        if (pool.SampleCB(0.0, &sample) == S_OK)
            ++figures.stored;
        else
            ++figures.refused;
    }
    done = true;
}

// The reader's check of one frame taken after `index` was announced.
void checkFrame(const std::vector<uint8_t>& frame, uint32_t length, int64_t index, int64_t& previous,
                PoolFigures& figures)
{
    ++figures.taken;
    const std::optional<uint32_t> sequence = capdev::readFrame(frame.data(), length, frame.size());
    if (!sequence) {
        ++figures.torn;
        return;
    }
    // The frame handed out is the one announced, or a newer one when the
    // stream overwrote it in between; never an older one.
    if (static_cast<int64_t>(*sequence) <= previous || static_cast<int64_t>(*sequence) < index)
        ++figures.outOfOrder;
    previous = static_cast<int64_t>(*sequence);
}

PoolFigures soakFramePool()
{
    pellux::SampleGrabberCallback pool(kFrameSize, 3);
    PoolFigures figures;
    std::atomic<bool> done{false};
    const auto start = Clock::now();
    std::thread streaming([&] { streamFrames(pool, figures, done); });
    std::vector<uint8_t> frame(kFrameSize);
    int64_t previous = -1;
    // Reads until the stream has ended and the pool is drained.
    for (;;) {
        const bool ended = done;
        const int64_t index = pool.getFrameIndex();
        uint32_t length = 0;
        if (pool.getFrame(frame.data(), kFrameSize, length) == S_OK)
            checkFrame(frame, length, index, previous, figures);
        else if (ended)
            break;
    }
    streaming.join();
    figures.seconds = secondsSince(start);
    return figures;
}

void printPoolFigures(const PoolFigures& figures)
{
    std::printf("== Frame pool: %u frames of %u bytes at full speed against a checking reader\n", kPoolFrames,
                kFrameSize);
    std::printf("frames stored %u (refused %u) in %.1f s, %.0f frames/s\n", figures.stored, figures.refused,
                figures.seconds, figures.stored / figures.seconds);
    std::printf("frames taken %zu, torn %zu (target 0), out of order %zu (target 0)\n", figures.taken, figures.torn,
                figures.outOfOrder);
}

// --- 2. Open, capture and close through the real graph ------------------------

struct ProcessFigures {
    DWORD handleCount = 0;   // GetProcessHandleCount
    size_t handleTable = 0;  // this process's entries in the system handle table
    SIZE_T privateUsage = 0; // GetProcessMemoryInfo's PrivateUsage
    SIZE_T commitCharge = 0; // its PagefileUsage: the same figure on Windows
};

// The system handle table as NtQuerySystemInformation (SystemHandleInformation)
// answers it: a count, then one entry per open handle.
struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR attributes;
    USHORT handle;
    PVOID object;
    ULONG access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};

// Wine 8 answers GetProcessHandleCount with 0 handles, so the handles are
// also counted in the system handle table, which it does fill.
size_t handlesInSystemTable()
{
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return 0;
    std::vector<uint8_t> buffer(1 << 16);
    ULONG returned = 0;
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &returned)) ==
           kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const auto self = static_cast<USHORT>(GetCurrentProcessId());
    size_t count = 0;
    for (ULONG i = 0; i < table->count; ++i)
        count += table->entries[i].processId == self ? 1 : 0;
    return count;
}

ProcessFigures processFigures()
{
    ProcessFigures figures;
    GetProcessHandleCount(GetCurrentProcess(), &figures.handleCount);
    figures.handleTable = handlesInSystemTable();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory))) {
        figures.privateUsage = memory.PrivateUsage;
        figures.commitCharge = memory.PagefileUsage;
    }
    return figures;
}

using Microsoft::WRL::ComPtr;

// What Wine itself keeps of a cycle, without the library: a filter graph made
// and released, and the video input category enumerated. (Wine 8 keeps an
// event handle per filter graph and two registry keys per enumeration.)
void wineAlone()
{
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
    ComPtr<ICreateDevEnum> devices;
    ComPtr<IEnumMoniker> monikers;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&devices))) ||
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK)
        return;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    }
}

struct CycleFigures {
    int cycles = 0;
    int failedCycles = 0;
    size_t framesTaken = 0;
    size_t badFrames = 0;
    size_t allocated = 0;
    size_t leaks = 0;
    size_t unknownFrees = 0;
    size_t writesAfterFree = 0;
    size_t deviceReferencesLeft = 0;
    size_t jniViolations = 0;
    ProcessFigures afterFirst;
    ProcessFigures afterLast;
    ProcessFigures wineAloneBefore; // the same number of cycles of Wine alone
    ProcessFigures wineAloneAfter;
    double seconds = 0;
};

std::atomic<int> currentCycle{0};

LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception)
{
    std::printf("crashes 1 (exception 0x%08lx in cycle %d)\n",
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode), currentCycle.load());
    std::fflush(stdout);
    return EXCEPTION_EXECUTE_HANDLER;
}

// One cycle as the Java side makes it; false when the library threw or the
// frames were not the device's.
class Cycle {
public:
    Cycle(strictjni::StrictJni& jni, CycleFigures& figures) : jni(jni), figures(figures) {}

    bool run()
    {
        const jlong list = jni.call(Java_orlesk_tavrin_pellux_Pellux_openDVDeviceList);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
        bool good = succeeded();
        const jlong device = good ? jni.call(Java_orlesk_tavrin_pellux_Pellux_openDevice, list, 0) : 0;
        good = device != 0 && succeeded();
        if (good) {
            jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
            good = succeeded() && takeFrames(device);
            jni.call(Java_orlesk_tavrin_pellux_Pellux_stopCapturing, device);
            good = succeeded() && good;
        }
        jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDevice, device);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
        return good;
    }

private:
    bool succeeded() const { return jni.thrown() == nullptr; }

    bool takeFrames(jlong device)
    {
        const jint size = jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, device);
        jbyteArray array = jni.newByteArray(std::vector<jbyte>(static_cast<size_t>(size)));
        bool good = true;
        for (int i = 0; i < kFramesPerCycle && good; ++i)
            good = takeFrame(device, array);
        jni.env()->DeleteLocalRef(array);
        return good;
    }

    bool takeFrame(jlong device, jbyteArray array)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device)) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const jint length = jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, array);
        if (!succeeded())
            return false;
        ++figures.framesTaken;
        const std::vector<jbyte> bytes = jni.bytes(array);
        if (capdev::readFrame(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<size_t>(length),
                              bytes.size()))
            return true;
        ++figures.badFrames;
        return false;
    }

    strictjni::StrictJni& jni;
    CycleFigures& figures;
};

// One cycle with a device plugged in for it, under a malloc spy scope of its
// own; or, for the baseline, the same with Wine alone. Each cycle has a JNI
// environment of its own, as a Java thread's references die with the objects
// the collector frees: the strict environment keeps a record of every
// reference it ever handed out (to catch the use of a deleted one), which
// would otherwise grow with the cycles as if the library leaked.
void runCycle(CycleFigures& figures, bool library)
{
    comfake::TaskMemoryScope scope;
    {
        strictjni::StrictJni jni;
        capdev::InstalledDevice deck(capdev::DeviceConfig::dv625(), L"Soak DV Deck");
        if (!library)
            wineAlone();
        else if (!Cycle(jni, figures).run())
            ++figures.failedCycles;
        figures.deviceReferencesLeft += deck.unbalanced().size();
        figures.jniViolations += jni.violations().size();
    }
    const comfake::TaskMemoryReport report = scope.finish();
    figures.allocated += report.allocated;
    figures.leaks += report.leaks.size();
    figures.unknownFrees += report.unknownFrees.size();
    figures.writesAfterFree += report.writesAfterFree.size();
}

CycleFigures soakCycles()
{
    CycleFigures figures;
    const auto start = Clock::now();
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        currentCycle = cycle;
        runCycle(figures, true);
        ++figures.cycles;
        if (cycle == 1)
            figures.afterFirst = processFigures();
    }
    figures.afterLast = processFigures();
    figures.seconds = secondsSince(start);
    CycleFigures baseline;
    figures.wineAloneBefore = processFigures();
    for (int cycle = 2; cycle <= kCycles; ++cycle)
        runCycle(baseline, false);
    figures.wineAloneAfter = processFigures();
    return figures;
}

void printGrowth(const char* what, double afterFirst, double afterLast, int cycles, double unit, const char* units)
{
    std::printf("%s after cycle 1: %.1f%s, after cycle %d: %.1f%s (growth %.1f%s)\n", what, afterFirst / unit, units,
                cycles, afterLast / unit, units, (afterLast - afterFirst) / unit, units);
}

void printCycleFigures(const CycleFigures& figures)
{
    std::printf("== %d cycles of open, start, capture %d frames, stop, close through Wine's capture graph\n",
                figures.cycles, kFramesPerCycle);
    std::printf("crashes 0, failed cycles %d, frames taken %zu (not the device's: %zu), %.1f s\n", figures.failedCycles,
                figures.framesTaken, figures.badFrames, figures.seconds);
    std::printf("malloc spy: %zu blocks allocated, %zu leaked (target 0), %zu unknown frees (target 0), "
                "%zu writes after free (target 0), %zu unknown frees outside the cycles\n",
                figures.allocated, figures.leaks, figures.unknownFrees, figures.writesAfterFree,
                comfake::unknownFreesOutsideScopes());
    std::printf("device references left: %zu (target 0), JNI rules broken: %zu (target 0)\n",
                figures.deviceReferencesLeft, figures.jniViolations);
    const auto& first = figures.afterFirst;
    const auto& last = figures.afterLast;
    printGrowth("handles (GetProcessHandleCount)", first.handleCount, last.handleCount, figures.cycles, 1, "");
    printGrowth("handles (system handle table)", first.handleTable, last.handleTable, figures.cycles, 1, "");
    printGrowth("private bytes (PrivateUsage)", first.privateUsage, last.privateUsage, figures.cycles, 1024, " KiB");
    printGrowth("private bytes (commit charge)", first.commitCharge, last.commitCharge, figures.cycles, 1024, " KiB");
    const auto& before = figures.wineAloneBefore;
    const auto& after = figures.wineAloneAfter;
    const double wineHandles = static_cast<double>(after.handleTable) - static_cast<double>(before.handleTable);
    const double wineBytes = static_cast<double>(after.commitCharge) - static_cast<double>(before.commitCharge);
    std::printf("Wine alone, %d cycles of a filter graph made and released and the category enumerated: "
                "handles growth %.0f, commit charge growth %.1f KiB\n",
                figures.cycles - 1, wineHandles, wineBytes / 1024.0);
    std::printf("growth beyond Wine's own: handles %.0f (target 0), commit charge %.1f KiB\n",
                static_cast<double>(last.handleTable) - static_cast<double>(first.handleTable) - wineHandles,
                (static_cast<double>(last.commitCharge) - static_cast<double>(first.commitCharge) - wineBytes) /
                    1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string part = argc > 1 ? argv[1] : "";
    if (!part.empty() && part != "pool" && part != "cycles") {
        std::fprintf(stderr, "usage: soak [pool|cycles]\n");
        return 2;
    }
    SetUnhandledExceptionFilter(reportCrash);
    if (part != "cycles")
        printPoolFigures(soakFramePool());
    if (part != "pool") {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        printCycleFigures(soakCycles());
        CoUninitialize();
    }
    return 0;
}
