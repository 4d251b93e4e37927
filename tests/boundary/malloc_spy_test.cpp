// The malloc spy every device, capture, audio and media test runs under:
// what it must catch. These tests open scopes of their own, so they run
// without the per-test check.
#include "malloc_spy.h"
#include "malloc_spy_test_support.h"

#include "boundary/media_type.h"

#include <dshow.h>
#include <mmreg.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using comfake::TaskMemoryReport;
using comfake::TaskMemoryScope;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

namespace {

// Allocated while the program starts, before any scope registers the spy.
void* const allocatedBeforeTheSpy = CoTaskMemAlloc(40);
const BSTR stringBeforeTheSpy = SysAllocString(L"allocated before the spy");

// An audio media type whose format block a DirectShow call would hand over.
AM_MEDIA_TYPE pcmMediaType(DWORD samplesPerSecond)
{
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.formattype = FORMAT_WaveFormatEx;
    type.cbFormat = sizeof(WAVEFORMATEX);
    type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type.cbFormat));
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = samplesPerSecond;
    format.wBitsPerSample = 16;
    std::memcpy(type.pbFormat, &format, sizeof(format));
    return type;
}

DWORD samplesPerSecondOf(const BYTE* formatBlock)
{
    WAVEFORMATEX format;
    std::memcpy(&format, formatBlock, sizeof(format));
    return format.nSamplesPerSec;
}

// The usual shape of a media-type double free: a copy made by value frees
// the format block that the original freed already, after the heap could
// have handed the same address to the next format block of that size.
TEST(MallocSpy, ReportsADoubleFreeOfAFormatBlockWhenASameSizeBlockWasAllocatedInBetween)
{
    TaskMemoryScope scope;
    AM_MEDIA_TYPE original = pcmMediaType(44100);
    AM_MEDIA_TYPE copy = original; // the planted fault: the format block now has two owners
    pellux::freeMediaType(original);
    AM_MEDIA_TYPE next = pcmMediaType(48000);
    EXPECT_NE(next.pbFormat, copy.pbFormat) << "a freed block was handed out again within the scope";
    pellux::freeMediaType(copy);
    EXPECT_EQ(samplesPerSecondOf(next.pbFormat), 48000u) << "the second free reached the next owner's block";
    pellux::freeMediaType(next);
    const TaskMemoryReport report = scope.finish();
    EXPECT_EQ(report.allocated, 2u);
    EXPECT_EQ(report.freed, 2u);
    EXPECT_THAT(report.unknownFrees, SizeIs(1));
    EXPECT_THAT(report.leaks, IsEmpty());
}

TEST(MallocSpy, AFreedFormatBlockReadsAsTheFillerAndAWriteToItIsReported)
{
    TaskMemoryScope scope;
    AM_MEDIA_TYPE type = pcmMediaType(44100);
    BYTE* const formatBlock = type.pbFormat;
    ASSERT_EQ(samplesPerSecondOf(formatBlock), 44100u);
    pellux::freeMediaType(type);
    // The planted faults: the format is read, then written, after its free.
    const DWORD readAfterFree = samplesPerSecondOf(formatBlock);
    EXPECT_EQ(readAfterFree, 0x01010101u * comfake::kFreedTaskMemory);
    formatBlock[sizeof(WAVEFORMATEX) - 1] = 0;
    const TaskMemoryReport report = scope.finish();
    EXPECT_THAT(report.writesAfterFree, ElementsAre(StartsWith(std::to_string(sizeof(WAVEFORMATEX)) + " bytes at ")));
    EXPECT_THAT(report.unknownFrees, IsEmpty());
}

// COM tells the spy which blocks it saw allocated; the others are not the
// spy's to judge, and go back to the heap.
TEST(MallocSpy, BlocksAllocatedBeforeTheSpyWasRegisteredPassThroughUntouched)
{
    TaskMemoryScope scope;
    ASSERT_EQ(spytest::didAlloc(allocatedBeforeTheSpy), 1);
    CoTaskMemFree(allocatedBeforeTheSpy);
    SysFreeString(stringBeforeTheSpy);
    EXPECT_EQ(spytest::didAlloc(allocatedBeforeTheSpy), 0) << "kept from the heap";
    const TaskMemoryReport report = scope.finish();
    EXPECT_EQ(report.allocated, 0u);
    EXPECT_EQ(report.freed, 0u);
    EXPECT_THAT(report.unknownFrees, IsEmpty());
}

TEST(MallocSpy, ABlockAllocatedWhileNoScopeIsOpenIsALeakOfTheProgramUntilFreed)
{
    TaskMemoryScope().finish(); // the spy is registered
    const size_t before = comfake::outsideScopes().leaks.size();
    void* const between = CoTaskMemAlloc(12);
    EXPECT_THAT(comfake::outsideScopes().leaks, SizeIs(before + 1));
    CoTaskMemFree(between);
    EXPECT_THAT(comfake::outsideScopes().leaks, SizeIs(before));
}

TEST(MallocSpy, ReportsABlockLeftAllocatedAtTheEndOfItsScopeButNotItsLaterFree)
{
    void* kept = nullptr;
    TaskMemoryReport report;
    {
        TaskMemoryScope scope;
        void* freed = CoTaskMemAlloc(16);
        kept = CoTaskMemAlloc(24);
        CoTaskMemFree(freed);
        report = scope.finish();
    }
    EXPECT_EQ(report.allocated, 2u);
    EXPECT_EQ(report.freed, 1u);
    EXPECT_THAT(report.leaks, ElementsAre(StartsWith("24 bytes at ")));
    EXPECT_THAT(report.unknownFrees, IsEmpty());

    TaskMemoryScope later;
    CoTaskMemFree(kept);
    EXPECT_THAT(later.finish().unknownFrees, IsEmpty());
}

TEST(MallocSpy, ReportsASecondFreeAndAFreeOfMemoryNeverHandedOutAndKeepsThemFromTheHeap)
{
    TaskMemoryScope scope;
    void* block = CoTaskMemAlloc(32);
    CoTaskMemFree(block);
    CoTaskMemFree(block);
    alignas(16) unsigned char notTaskMemory[64] = {};
    CoTaskMemFree(notTaskMemory + 16);
    const TaskMemoryReport report = scope.finish();
    EXPECT_EQ(report.freed, 1u);
    EXPECT_THAT(report.unknownFrees, SizeIs(2));
    EXPECT_THAT(report.leaks, IsEmpty());
}

// More blocks than the spy's table holds: those it had no room for are
// reported by the scope that allocated them, once, and go back to the heap
// when freed instead of counting as unknown frees.
TEST(MallocSpy, BlocksTheTableHasNoRoomForAreReportedByTheirScopeAndGoBackToTheHeap)
{
    TaskMemoryScope scope;
    const size_t blocks = spytest::overflowTheSpyTable();
    const TaskMemoryReport report = scope.finish();
    EXPECT_GE(report.unrecorded, 1u);
    EXPECT_EQ(report.allocated + report.unrecorded, blocks);
    EXPECT_EQ(report.freed, report.allocated);
    EXPECT_THAT(report.unknownFrees, IsEmpty());
    EXPECT_THAT(report.leaks, IsEmpty());
    EXPECT_EQ(TaskMemoryScope().finish().unrecorded, 0u) << "reported again by the next scope";
}

// Wine's oleaut32 would keep the freed string in its cache: no free, and the
// second one unnoticed.
TEST(MallocSpy, SeesEveryBstrFreedAndAStringFreedTwice)
{
    TaskMemoryScope scope;
    const BSTR text = SysAllocString(L"Camera");
    SysFreeString(text);
    SysFreeString(text);
    const TaskMemoryReport report = scope.finish();
    EXPECT_EQ(report.allocated, 1u);
    EXPECT_EQ(report.freed, 1u);
    EXPECT_THAT(report.unknownFrees, SizeIs(1));
}

} // namespace
