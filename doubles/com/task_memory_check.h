// The malloc spy as a GoogleTest check: a fixture member (declared first, so
// that it ends after everything else the test made) that fails the test for
// every block of task memory allocated during the test and not freed by its
// end, and for every free of memory the allocator never handed out.
//
// The totals of the program's checked tests are printed when it ends, as
// "malloc spy: N allocated, N freed, N unknown frees, N leaks" (unknown frees
// between tests included).
#pragma once

#include "malloc_spy.h"

namespace comfake {

class TaskMemoryCheck {
public:
    TaskMemoryCheck();
    ~TaskMemoryCheck();
    TaskMemoryCheck(const TaskMemoryCheck&) = delete;
    TaskMemoryCheck& operator=(const TaskMemoryCheck&) = delete;

private:
    TaskMemoryScope scope;
};

} // namespace comfake
