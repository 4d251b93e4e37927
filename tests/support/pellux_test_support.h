// What the capture library's suites share: the Java exception classes they
// expect, and COM's multithreaded apartment for a test's lifetime.
#pragma once

#include <objbase.h>

namespace testsupport {

constexpr char kCOMException[] = "orlesk/tavrin/pellux/PelluxCOMException";
constexpr char kRuntimeException[] = "orlesk/tavrin/pellux/PelluxRuntimeException";

// Joins the multithreaded apartment, as initialiseThread does, until destroyed.
struct MultithreadedApartment {
    MultithreadedApartment() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~MultithreadedApartment() { CoUninitialize(); }
    MultithreadedApartment(const MultithreadedApartment&) = delete;
    MultithreadedApartment& operator=(const MultithreadedApartment&) = delete;
};

} // namespace testsupport
