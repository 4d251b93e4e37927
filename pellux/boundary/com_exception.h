// The library's one native exception: a failed step's message, its HRESULT
// and the platform's text for it.
#pragma once

#include <windows.h>

#include <exception>
#include <new>
#include <stdexcept>
#include <string>

namespace pellux {

class COMException : public std::runtime_error {
public:
    COMException(HRESULT hresult, const char* message);

    HRESULT getHResult() const noexcept { return hresult; }
    const std::string& getErrorText() const noexcept { return errorText; }

private:
    HRESULT hresult;
    std::string errorText;
};

// Throws COMException for a failure code; success codes (S_FALSE included) pass.
inline void throwIfFailed(HRESULT hresult, const char* message)
{
    if (FAILED(hresult))
        throw COMException(hresult, message);
}

// Throws COMException(E_OUTOFMEMORY, "Out of memory").
[[noreturn]] void throwOutOfMemory();

// Throws COMException(E_OUTOFMEMORY, "Out of memory") for a null pointer.
inline void throwIfNull(const void* pointer)
{
    if (pointer == nullptr)
        throwOutOfMemory();
}

// Runs `body`; memory exhausted inside it (std::bad_alloc) is thrown as
// COMException(E_OUTOFMEMORY, "Out of memory") instead.
template <typename Body>
decltype(auto) reportingOutOfMemory(Body&& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        throwOutOfMemory();
    }
}

} // namespace pellux
