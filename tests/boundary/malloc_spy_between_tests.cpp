// What the malloc spy reports between checked tests: the second test runs
// with no scope open, as code between tests does, and plants a write after
// free and more blocks than the spy's table holds. Both must fail the
// program's check when its tests have ended, and neither may be charged to
// the checked test after it; expect-between-tests-report.sh reads the output.
#include "malloc_spy.h"
#include "malloc_spy_test_support.h"
#include "task_memory_check.h"

#include <objbase.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

// Checked tests (their names order them around the unchecked one).
class A_CheckedBefore : public comfake::TaskMemoryCheck {};
class C_CheckedAfter : public comfake::TaskMemoryCheck {};

TEST_F(A_CheckedBefore, FreesWhatItAllocates)
{
    CoTaskMemFree(CoTaskMemAlloc(8));
}

TEST(B_BetweenCheckedTests, AWriteAfterFreeAndMoreBlocksThanTheTableHoldsAreReportedHere)
{
    auto* const freedBlock = static_cast<unsigned char*>(CoTaskMemAlloc(24));
    CoTaskMemFree(freedBlock);
    ASSERT_EQ(freedBlock[0], comfake::kFreedTaskMemory) << "a block freed between tests was not kept";
    freedBlock[5] = 0; // the planted write after free

    spytest::overflowTheSpyTable(); // the planted overflow

    const comfake::TaskMemoryReport report = comfake::outsideScopes();
    EXPECT_THAT(report.writesAfterFree, ElementsAre(StartsWith("24 bytes at ")));
    EXPECT_GE(report.unrecorded, 1u);
    EXPECT_THAT(report.unknownFrees, IsEmpty()) << "a block the spy could not record counted as an unknown free";
}

// Its own check fails if what happened before it is charged to it.
TEST_F(C_CheckedAfter, FreesWhatItAllocates)
{
    CoTaskMemFree(CoTaskMemAlloc(8));
}

} // namespace
