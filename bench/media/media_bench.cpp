// media_bench [media file]
// 1. getMediaVideoFrame's reversal of 3-byte groups for a 720 x 576 bottom-up
//    bitmap against a plain memcpy of the same bytes (target: at most 1.5).
// 2. getMediaInfo on a real file against the bare Media Detector calls it
//    makes (target: within 5 %). The JNI environment is the strict JNI double,
//    whose checks are counted against getMediaInfo.
#include "media/pixel_groups.h"
#include "strict_jni.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Comparison {
    double first;       // fastest run of the first
    double second;      // fastest run of the second
    double pairedRatio; // median of first/second over runs made back to back
};

// Runs both `rounds` times, in turn and each one first every other round (so
// neither always follows the other's clean-up). The fastest runs are the least
// disturbed by other work; the median ratio of neighbouring runs is steadier
// when the machine's state drifts (as the media detector's start-up does).
Comparison compare(const std::function<void()>& first, const std::function<void()>& second, int rounds)
{
    std::vector<double> a, b;
    for (int i = 0; i < rounds; ++i) {
        if (i % 2 == 0) {
            a.push_back(secondsOf(first));
            b.push_back(secondsOf(second));
        } else {
            b.push_back(secondsOf(second));
            a.push_back(secondsOf(first));
        }
    }
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    std::nth_element(ratios.begin(), ratios.begin() + static_cast<long>(ratios.size() / 2), ratios.end());
    return {*std::min_element(a.begin(), a.end()), *std::min_element(b.begin(), b.end()), ratios[ratios.size() / 2]};
}

void benchReversal()
{
    const size_t length = 720 * 3 * 576; // rows of 2160 bytes need no padding
    std::vector<unsigned char> source(length), target(length);
    for (size_t i = 0; i < length; ++i)
        source[i] = static_cast<unsigned char>(i * 31 + 7);
    const int repeat = 20;
    const auto [reversal, copy, pairedRatio] = compare(
        [&] {
            for (int i = 0; i < repeat; ++i)
                pellux::reversePixelGroups(source.data(), target.data(), length);
        },
        [&] {
            for (int i = 0; i < repeat; ++i) {
                std::memcpy(target.data(), source.data(), length);
                asm volatile("" ::"r"(target.data()) : "memory");
            }
        },
        31);
    (void)pairedRatio;
    std::printf(
        "720 x 576 bottom-up bitmap (%zu bytes): reversal %.1f us, memcpy %.1f us, ratio %.2f (target <= 1.5)\n",
        length, reversal / repeat * 1e6, copy / repeat * 1e6, reversal / copy);
}

// What getMediaInfo asks the detector, without JNI.
void bareDetectorCalls(const std::wstring& path)
{
    IMediaDet* detector = nullptr;
    if (FAILED(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaDet,
                                reinterpret_cast<void**>(&detector))))
        return;
    BSTR name = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    LONG count = 0;
    if (detector->put_Filename(name) == S_OK && SUCCEEDED(detector->get_OutputStreams(&count))) {
        for (LONG i = 0; i < count; ++i) {
            AM_MEDIA_TYPE type{};
            double rate = 0, length = 0;
            detector->put_CurrentStream(i);
            detector->get_StreamMediaType(&type);
            detector->get_FrameRate(&rate);
            detector->get_StreamLength(&length);
            if (type.cbFormat != 0)
                CoTaskMemFree(type.pbFormat);
            if (type.pUnk != nullptr)
                type.pUnk->Release();
        }
    }
    SysFreeString(name);
    detector->Release();
}

void benchMediaInfo(const std::wstring& path)
{
    strictjni::StrictJni jni;
    const jstring name = jni.newString(std::u16string(path.begin(), path.end()));
    bool failed = false;
    const auto [library, bare, pairedRatio] = compare(
        [&] {
            jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaInfo, name);
            failed = failed || jni.thrown() != nullptr;
        },
        [&] { bareDetectorCalls(path); }, 40);
    if (failed || !jni.violations().empty()) {
        std::printf("getMediaInfo failed on %ls\n", path.c_str());
        return;
    }
    std::printf("getMediaInfo on %ls: fastest %.2f ms, bare Media Detector calls fastest %.2f ms, %+.1f %%;\n"
                "  median of back-to-back pairs %+.1f %% (target within 5 %%)\n",
                path.c_str(), library * 1e3, bare * 1e3, (library / bare - 1.0) * 100.0, (pairedRatio - 1.0) * 100.0);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    benchReversal();
    const std::wstring path = argc > 1 ? argv[1] : TAVRIN_BENCH_MEDIA_FILE;
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    benchMediaInfo(path);
    CoUninitialize();
    return 0;
}
