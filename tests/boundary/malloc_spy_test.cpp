// The malloc spy every device, capture, audio and media test runs under:
// what it must catch. These tests open scopes of their own, so they run
// without the per-test check.
#include "malloc_spy.h"

#include <objbase.h>
#include <oleauto.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using comfake::TaskMemoryReport;
using comfake::TaskMemoryScope;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

namespace {

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
