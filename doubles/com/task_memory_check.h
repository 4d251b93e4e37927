// The malloc spy as a GoogleTest check: the base class of a test fixture, so
// that it begins before and ends after everything else the test made. It
// fails the test for every block of task memory allocated during the test
// and not freed by its end, for every free of memory the allocator never
// handed out (or freed already), and for every write to a freed block.
//
//   class DeviceLists : public comfake::TaskMemoryCheck { ... };
//
// Task memory that is allocated while no test runs and never freed, unknown
// frees, writes after free and blocks the spy could not record while no test
// runs fail the test program when its tests have ended. The totals of the program's checked tests are printed then, as
// "malloc spy: N allocated, N freed, N unknown frees, N leaks" (unknown frees
// between tests included).
#pragma once

#include "malloc_spy.h"

#include <gtest/gtest.h>

namespace comfake {

class TaskMemoryCheck : public ::testing::Test {
protected:
    TaskMemoryCheck();
    ~TaskMemoryCheck() override;

private:
    TaskMemoryScope scope;
};

} // namespace comfake
