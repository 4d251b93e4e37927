// Objects handed to Java are allocated without throwing std::bad_alloc, so
// that a failed allocation reaches Java with the library's own message.
#pragma once

#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

namespace pellux {

// Reported to Java as PelluxRuntimeException "Out of Memory".
class OutOfMemory : public std::runtime_error {
public:
    OutOfMemory() : std::runtime_error("Out of Memory") {}
};

template <typename T, typename... Args>
std::unique_ptr<T> allocate(Args&&... args)
{
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (object == nullptr)
        throw OutOfMemory();
    return std::unique_ptr<T>(object);
}

} // namespace pellux
