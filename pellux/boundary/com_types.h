// RAII owners for COM's own memory types.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace pellux {

// A BSTR, freed with SysFreeString.
class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(BSTR text) noexcept : text(text) {}
    ~Bstr() { SysFreeString(text); }
    Bstr(Bstr&& other) noexcept : text(std::exchange(other.text, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept
    {
        std::swap(text, other.text);
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR get() const noexcept { return text; }

private:
    BSTR text = nullptr;
};

// A VARIANT, cleared on scope exit. It starts with a null value, so that
// clearing it never frees what the stack happened to hold.
class Variant {
public:
    // Windows before 8.1 sets only the type in VariantInit: the value is made
    // null after it, not before.
    Variant() noexcept
    {
        VariantInit(&value);
        value.llVal = 0;
    }
    // Empty of `type`: for a call that reads a value of that type into it.
    explicit Variant(VARTYPE type) noexcept : Variant() { value.vt = type; }
    ~Variant() { VariantClear(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    // Forgets the content without freeing it: a call that failed handed
    // nothing over.
    void discard() noexcept { VariantInit(&value); }

    VARIANT* get() noexcept { return &value; }
    VARIANT* operator->() noexcept { return &value; }

private:
    VARIANT value;
};

} // namespace pellux
