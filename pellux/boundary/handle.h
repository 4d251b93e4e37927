// Native objects reach Java as handles: the object's address widened to a
// signed 64-bit Java long (sign-extended on a 32-bit build); 0 means none.
#pragma once

#include <jni.h>

#include <cstdint>
#include <stdexcept>
#include <type_traits>

namespace pellux {

template <typename T>
jlong toHandle(T* object) noexcept
{
    return static_cast<jlong>(reinterpret_cast<intptr_t>(object));
}

// The object behind a handle, from its low-order address bits. A handle of 0
// is refused rather than dereferenced; the handle's kind and liveness are the
// caller's contract.
template <typename T>
T& fromHandle(jlong handle)
{
    if (handle == 0)
        throw std::invalid_argument("The handle is 0: there is no native object to use.");
    return *reinterpret_cast<T*>(static_cast<intptr_t>(handle));
}

// The object behind a handle to a live `Base` when it is a `Derived`. What
// this refuses, with `refusal`, is a live object of another kind derived
// from `Base` (an audio device where a DV device is needed, or the other way
// round): its dynamic type is read through the vtable. A handle of 0 is
// refused as fromHandle does. Nothing else is checked: a stale handle, or a
// handle to an object that is no `Base` at all (a device list), is read as a
// `Base` and fails inside the cast, as the library keeps no table of the
// handles it gave out.
template <typename Derived, typename Base>
Derived& fromHandleOfKind(jlong handle, const char* refusal)
{
    static_assert(std::is_polymorphic_v<Base>, "the kind is read from the base's vtable");
    auto* object = dynamic_cast<Derived*>(&fromHandle<Base>(handle));
    if (object == nullptr)
        throw std::invalid_argument(refusal);
    return *object;
}

// For the destroying entry points, which accept 0 and then do nothing.
template <typename T>
T* fromHandleOrNull(jlong handle) noexcept
{
    return reinterpret_cast<T*>(static_cast<intptr_t>(handle));
}

} // namespace pellux
