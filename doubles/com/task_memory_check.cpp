#include "task_memory_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

void printTotals()
{
    const std::string line = "malloc spy: " + std::to_string(totals.allocated) + " allocated, " +
                             std::to_string(totals.freed) + " freed, " +
                             std::to_string(totals.unknownFrees + unknownFreesOutsideScopes()) + " unknown frees, " +
                             std::to_string(totals.leaks) + " leaks\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

TaskMemoryCheck::TaskMemoryCheck()
{
    static const bool printsTotals = std::atexit(printTotals) == 0;
    static_cast<void>(printsTotals);
}

TaskMemoryCheck::~TaskMemoryCheck()
{
    const TaskMemoryReport report = scope.finish();
    totals.allocated += report.allocated;
    totals.freed += report.freed;
    totals.unknownFrees += report.unknownFrees.size();
    totals.leaks += report.leaks.size();
    EXPECT_THAT(report.leaks, ::testing::IsEmpty()) << "task memory allocated during the test and not freed";
    EXPECT_THAT(report.unknownFrees, ::testing::IsEmpty())
        << "task memory freed that the allocator never handed out, or freed twice";
}

} // namespace comfake
