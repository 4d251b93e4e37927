// Replaces a function the test program imports from a DLL, for what Wine's
// implementation does more kindly than the Windows versions the library runs
// on. Only calls through the program's own import table are redirected:
// the code under test is linked into the program, the DLLs keep their own.
#pragma once

#include <windows.h>

namespace comfake {

class ImportOverride {
public:
    // `module` as the import table names it ("oleaut32.dll", any case).
    ImportOverride(const char* module, const char* function, void* replacement);
    ~ImportOverride();
    ImportOverride(const ImportOverride&) = delete;
    ImportOverride& operator=(const ImportOverride&) = delete;

private:
    void** slot = nullptr;
    void* original = nullptr;
};

// While alive, VariantInit called by the program sets only the type, as
// Windows did before 8.1: the value keeps whatever the memory held, which
// here is always a filler of non-zero bytes, so a pointer in it is garbage.
// Wine's (and Windows 8.1's) clears the whole VARIANT, which hides code that
// relies on it.
class TypeOnlyVariantInit {
public:
    TypeOnlyVariantInit();

private:
    ImportOverride override;
};

} // namespace comfake
