#include "runtime_discovery.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "code_page_text.h"
#include "command_line.h"
#include "launch_log.h"
#include "system_paths.h"
#include "win_handles.h"

namespace launcher {

const wchar_t javaDownloadSite[] = L"https://www.java.com";

namespace {

// The families of runtimes before Java 9: the first that opens is the only one read.
const wchar_t* const runtimeFamilies[] = {
    L"Software\\JavaSoft\\Java Runtime Environment",
    L"Software\\JavaSoft\\Java Development Kit",
};
// Java 9 and later register under these, each read on its own.
const wchar_t modularRuntimeFamily[] = L"Software\\JavaSoft\\JRE";
const wchar_t modularKitFamily[] = L"Software\\JavaSoft\\JDK";
// An application's own runtime, in the installation folder.
const wchar_t bundledRuntimeFolder[] = L"jre";
// The virtual machine libraries below a home, in the order they are tried: a
// 64-bit runtime has no client VM, and a Development Kit keeps its VM in "jre".
const wchar_t* const vmLibraries[] = {
    L"\\bin\\client\\jvm.dll",
    L"\\bin\\server\\jvm.dll",
    L"\\jre\\bin\\client\\jvm.dll",
    L"\\jre\\bin\\server\\jvm.dll",
};
constexpr DWORD registryTextLimit = 255;
constexpr std::size_t versionKeyLimit = 255;

// On Windows a damaged jvm.dll, or one on an empty removable drive, would
// otherwise put up an error box and wait for the user.
constexpr DWORD probingErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

constexpr bool wideProgram = sizeof(void*) == 8;
// The machine of a runtime this program can never load.
constexpr WORD otherMachine = wideProgram ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;

// Where the registry is read: the program's own view, whose reads are
// logged, or the other architecture's, read without a word.
struct RegistryView {
    REGSAM flags;
    bool logged;
};
constexpr RegistryView ownView{0, true};
constexpr RegistryView otherView{wideProgram ? KEY_WOW64_32KEY : KEY_WOW64_64KEY, false};

// The calling thread's error mode, set for the owner's lifetime.
class ThreadErrorMode {
public:
    explicit ThreadErrorMode(DWORD mode) : previous_(GetThreadErrorMode()) { SetThreadErrorMode(mode, nullptr); }
    ~ThreadErrorMode() { SetThreadErrorMode(previous_, nullptr); }
    ThreadErrorMode(const ThreadErrorMode&) = delete;
    ThreadErrorMode& operator=(const ThreadErrorMode&) = delete;

private:
    DWORD previous_;
};

std::wstring javaMissingMessage()
{
    return std::wstring(L"Java appears to be missing. Please install Java from ") + javaDownloadSite + L".";
}

std::wstring javaBrokenMessage()
{
    return std::wstring(L"Your Java installation appears to be broken. Please reinstall Java from ") +
           javaDownloadSite + L".";
}

// A value of at most 255 characters; one stored without its terminating zero
// is cut at the characters read.
std::optional<std::wstring> readRegistryText(HKEY key, const wchar_t* name)
{
    wchar_t value[registryTextLimit + 1];
    DWORD size = registryTextLimit * sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value[std::min<DWORD>(size / sizeof(wchar_t), registryTextLimit)] = L'\0';
    return std::wstring(value);
}

LONG openKey(const std::wstring& path, const RegistryView& view, RegistryKey& key)
{
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view.flags, key.put());
}

// The JavaHome of the family's current version; closes the family key.
std::optional<std::wstring> javaHomeOfFamily(RegistryKey& family, const wchar_t* familyPath, const RegistryView& view)
{
    std::optional<std::wstring> version = readRegistryText(family.get(), L"CurrentVersion");
    if (view.logged)
        launchLog("CurrentVersion='%s'\n", ansiForLog(version.value_or(L"")).c_str());
    family.reset();
    if (!version)
        return std::nullopt;

    std::wstring versionPath = (std::wstring(familyPath) + L"\\" + *version).substr(0, versionKeyLimit);
    RegistryKey versionKey;
    LONG opened = openKey(versionPath, view, versionKey);
    if (view.logged) {
        launchLog("RegOpenKey %s -> %d (%p)\n", ansiForLog(versionPath).c_str(), static_cast<int>(opened),
                  static_cast<void*>(versionKey.get()));
    }
    if (opened != ERROR_SUCCESS)
        return std::nullopt;
    return readRegistryText(versionKey.get(), L"JavaHome");
}

// The first family key that opens; the other family is never tried later.
std::optional<std::wstring> pre9RuntimeIn(const RegistryView& view)
{
    RegistryKey family;
    for (const wchar_t* path : runtimeFamilies) {
        if (openKey(path, view, family) == ERROR_SUCCESS)
            return javaHomeOfFamily(family, path, view);
    }
    return std::nullopt;
}

std::optional<std::wstring> javaHomeInFamily(const wchar_t* familyPath, const RegistryView& view)
{
    RegistryKey family;
    if (openKey(familyPath, view, family) != ERROR_SUCCESS)
        return std::nullopt;
    return javaHomeOfFamily(family, familyPath, view);
}

std::optional<std::wstring> modularRuntimeIn(const RegistryView& view)
{
    return javaHomeInFamily(modularRuntimeFamily, view);
}

std::optional<std::wstring> modularKitIn(const RegistryView& view)
{
    return javaHomeInFamily(modularKitFamily, view);
}

// The registered runtimes, in the order they are looked for.
using RegistrySource = std::optional<std::wstring> (*)(const RegistryView&);
const RegistrySource registrySources[] = {pre9RuntimeIn, modularRuntimeIn, modularKitIn};

std::optional<std::wstring> bundledRuntime()
{
    if (!folderExists(bundledRuntimeFolder))
        return std::nullopt;
    std::wstring home = fullPathOf(bundledRuntimeFolder);
    launchLog("Bundled runtime %s\n", ansiForLog(home).c_str());
    return home;
}

std::optional<std::wstring> modularRuntime()
{
    return modularRuntimeIn(ownView);
}

std::optional<std::wstring> modularKit()
{
    return modularKitIn(ownView);
}

std::optional<std::wstring> javaHomeVariable()
{
    std::optional<std::wstring> value = environmentValue(L"JAVA_HOME");
    if (!value)
        return std::nullopt;
    launchLog("JAVA_HOME='%s'\n", ansiForLog(*value).c_str());
    return unquotedCopy(*value);
}

// Where a runtime may be, in the order it is looked for. Each is asked only
// when every earlier one failed, so a machine with a working registered
// runtime logs nothing about the later places.
using JavaHomeSource = std::optional<std::wstring> (*)();
const JavaHomeSource javaHomeSources[] = {bundledRuntime, findJavaHome, modularRuntime, modularKit, javaHomeVariable};

bool alreadyTried(const std::vector<std::wstring>& tried, const std::wstring& home)
{
    for (const std::wstring& earlier : tried) {
        if (sameJavaHome(earlier, home))
            return true;
    }
    return false;
}

// The first of the home's virtual machine libraries that loads. The "bin"
// folder above each becomes the process's DLL search folder before it is
// loaded, and stays so for the runtime that loads: a runtime's own libraries
// (a pre-9 runtime's C library) lie there, where the loader does not look on
// its own.
HMODULE loadVmLibrary(const std::wstring& home)
{
    for (const wchar_t* library : vmLibraries) {
        std::wstring path = home + library;
        launchLog("JVM path %s\n", ansiForLog(path).c_str());
        SetDllDirectoryW(directoryOf(directoryOf(path)).c_str());
        if (HMODULE loaded = LoadLibraryW(path.c_str()))
            return loaded;
        const DWORD error = GetLastError();
        launchLog("JVM load error %lu\n", static_cast<unsigned long>(error));
    }
    SetDllDirectoryW(nullptr);
    return nullptr;
}

// The machine a Windows image is built for, read from its headers without
// loading it; none for a file that is missing or not an image.
std::optional<WORD> imageMachineOf(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    IMAGE_DOS_HEADER dos{};
    if (!file.read(reinterpret_cast<char*>(&dos), sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        dos.e_lfanew < 0) {
        return std::nullopt;
    }
    DWORD signature = 0;
    IMAGE_FILE_HEADER header{};
    if (!file.seekg(dos.e_lfanew) || !file.read(reinterpret_cast<char*>(&signature), sizeof signature) ||
        signature != IMAGE_NT_SIGNATURE || !file.read(reinterpret_cast<char*>(&header), sizeof header)) {
        return std::nullopt;
    }
    return header.Machine;
}

// The first of the homes whose library, in the order tried, is of the other architecture.
std::optional<std::wstring> homeOfOtherArchitecture(const std::vector<std::wstring>& homes)
{
    for (const std::wstring& home : homes) {
        for (const wchar_t* library : vmLibraries) {
            if (imageMachineOf(home + library) == otherMachine)
                return home;
        }
    }
    return std::nullopt;
}

// A 32-bit program sees a second view only on 64-bit Windows; on 32-bit
// Windows the 64-bit view's flag is ignored and would read its own view again.
bool otherRegistryViewExists()
{
    if (wideProgram)
        return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// A runtime registered only for the other architecture.
std::optional<std::wstring> homeInOtherRegistryView()
{
    if (!otherRegistryViewExists())
        return std::nullopt;
    for (RegistrySource source : registrySources) {
        if (std::optional<std::wstring> home = source(otherView))
            return home;
    }
    return std::nullopt;
}

// Why no library loaded: a runtime of the other architecture when there is
// one, else none found at all, else none that works.
std::wstring noRuntimeMessage(const std::vector<std::wstring>& tried)
{
    std::optional<std::wstring> other = homeOfOtherArchitecture(tried);
    if (!other)
        other = homeInOtherRegistryView();
    if (other)
        return otherArchitectureMessage(*other);
    return tried.empty() ? javaMissingMessage() : javaBrokenMessage();
}

} // namespace

std::optional<std::wstring> findJavaHome()
{
    return pre9RuntimeIn(ownView);
}

LoadedRuntime loadJavaRuntime()
{
    const ThreadErrorMode probing(probingErrorMode);
    std::vector<std::wstring> tried;
    for (JavaHomeSource source : javaHomeSources) {
        std::optional<std::wstring> home = source();
        if (!home || alreadyTried(tried, *home))
            continue;
        tried.push_back(*home);
        if (HMODULE library = loadVmLibrary(*home))
            return {library, *home, std::wstring()};
    }
    return {nullptr, std::wstring(), noRuntimeMessage(tried)};
}

bool sameJavaHome(const std::wstring& a, const std::wstring& b)
{
    std::wstring first = a, second = b;
    first.erase(first.find_last_not_of(L'\\') + 1);
    second.erase(second.find_last_not_of(L'\\') + 1);
    return CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

std::wstring otherArchitectureMessage(const std::wstring& home)
{
    const std::wstring runtimeBits = wideProgram ? L"32" : L"64";
    const std::wstring programBits = wideProgram ? L"64" : L"32";
    return L"The Java runtime in " + home + L" is a " + runtimeBits + L"-bit runtime, and this Tavrin is a " +
           programBits + L"-bit program. Please install a " + programBits + L"-bit Java runtime from " +
           javaDownloadSite + L", or use the " + runtimeBits + L"-bit Tavrin.";
}

} // namespace launcher
