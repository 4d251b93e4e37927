#include "task_memory_check.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <string>

namespace comfake {
namespace {

// What the checked tests of the program add up to.
struct Totals {
    size_t allocated = 0;
    size_t freed = 0;
    size_t unknownFrees = 0;
    size_t leaks = 0;
};
Totals totals;
bool spyInUse = false;

void expectClean(const TaskMemoryReport& report, const char* when)
{
    EXPECT_THAT(report.leaks, ::testing::IsEmpty()) << "task memory allocated " << when << " and not freed";
    EXPECT_THAT(report.unknownFrees, ::testing::IsEmpty())
        << "task memory freed " << when << " that the allocator never handed out, or freed twice";
    EXPECT_THAT(report.writesAfterFree, ::testing::IsEmpty()) << "task memory written " << when << " after its free";
    EXPECT_EQ(report.unrecorded, 0u) << "task memory blocks allocated " << when << " that the spy could not record";
}

// After the last test: what happened between tests fails the program, and
// the totals are printed.
class OutsideTests : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (!spyInUse)
            return;
        const TaskMemoryReport outside = outsideScopes();
        expectClean(outside, "while no test ran");
        const std::string line = "malloc spy: " + std::to_string(totals.allocated) + " allocated, " +
                                 std::to_string(totals.freed) + " freed, " +
                                 std::to_string(totals.unknownFrees + outside.unknownFrees.size()) +
                                 " unknown frees, " + std::to_string(totals.leaks + outside.leaks.size()) + " leaks\n";
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }
};

[[maybe_unused]] const ::testing::Environment* const outsideTests =
    ::testing::AddGlobalTestEnvironment(new OutsideTests);

} // namespace

TaskMemoryCheck::TaskMemoryCheck()
{
    spyInUse = true;
}

TaskMemoryCheck::~TaskMemoryCheck()
{
    const TaskMemoryReport report = scope.finish();
    totals.allocated += report.allocated;
    totals.freed += report.freed;
    totals.unknownFrees += report.unknownFrees.size();
    totals.leaks += report.leaks.size();
    expectClean(report, "during the test");
}

} // namespace comfake
