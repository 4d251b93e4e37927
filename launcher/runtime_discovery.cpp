#include "runtime_discovery.h"

#include <fstream>
#include <vector>

#include "command_line.h"
#include "launch_log.h"
#include "system_paths.h"
#include "win_handles.h"

namespace launcher {

const char javaDownloadSite[] = "https://www.java.com";

namespace {

// The families of runtimes before Java 9: the first that opens is the only one read.
const char* const runtimeFamilies[] = {
    "Software\\JavaSoft\\Java Runtime Environment",
    "Software\\JavaSoft\\Java Development Kit",
};
// Java 9 and later register under these, each read on its own.
const char modularRuntimeFamily[] = "Software\\JavaSoft\\JRE";
const char modularKitFamily[] = "Software\\JavaSoft\\JDK";
// An application's own runtime, in the installation folder.
const char bundledRuntimeFolder[] = "jre";
// The virtual machine libraries below a home, in the order they are tried: a
// 64-bit runtime has no client VM, and a Development Kit keeps its VM in "jre".
const char* const vmLibraries[] = {
    "\\bin\\client\\jvm.dll",
    "\\bin\\server\\jvm.dll",
    "\\jre\\bin\\client\\jvm.dll",
    "\\jre\\bin\\server\\jvm.dll",
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

std::string javaMissingMessage()
{
    return std::string("Java appears to be missing. Please install Java from ") + javaDownloadSite + ".";
}

std::string javaBrokenMessage()
{
    return std::string("Your Java installation appears to be broken. Please reinstall Java from ") + javaDownloadSite +
           ".";
}

// A value of at most 255 bytes; one stored without its terminating zero is
// cut at the bytes read.
std::optional<std::string> readRegistryText(HKEY key, const char* name)
{
    char value[registryTextLimit + 1];
    DWORD size = registryTextLimit;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value[size <= registryTextLimit ? size : registryTextLimit] = '\0';
    return std::string(value);
}

LONG openKey(const std::string& path, const RegistryView& view, RegistryKey& key)
{
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view.flags, key.put());
}

// The JavaHome of the family's current version; closes the family key.
std::optional<std::string> javaHomeOfFamily(RegistryKey& family, const char* familyPath, const RegistryView& view)
{
    std::optional<std::string> version = readRegistryText(family.get(), "CurrentVersion");
    if (view.logged)
        launchLog("CurrentVersion='%s'\n", version.value_or("").c_str());
    family.reset();
    if (!version)
        return std::nullopt;

    std::string versionPath = (std::string(familyPath) + "\\" + *version).substr(0, versionKeyLimit);
    RegistryKey versionKey;
    LONG opened = openKey(versionPath, view, versionKey);
    if (view.logged) {
        launchLog("RegOpenKey %s -> %d (%p)\n", versionPath.c_str(), static_cast<int>(opened),
                  static_cast<void*>(versionKey.get()));
    }
    if (opened != ERROR_SUCCESS)
        return std::nullopt;
    return readRegistryText(versionKey.get(), "JavaHome");
}

// The first family key that opens; the other family is never tried later.
std::optional<std::string> pre9RuntimeIn(const RegistryView& view)
{
    RegistryKey family;
    for (const char* path : runtimeFamilies) {
        if (openKey(path, view, family) == ERROR_SUCCESS)
            return javaHomeOfFamily(family, path, view);
    }
    return std::nullopt;
}

std::optional<std::string> javaHomeInFamily(const char* familyPath, const RegistryView& view)
{
    RegistryKey family;
    if (openKey(familyPath, view, family) != ERROR_SUCCESS)
        return std::nullopt;
    return javaHomeOfFamily(family, familyPath, view);
}

std::optional<std::string> modularRuntimeIn(const RegistryView& view)
{
    return javaHomeInFamily(modularRuntimeFamily, view);
}

std::optional<std::string> modularKitIn(const RegistryView& view)
{
    return javaHomeInFamily(modularKitFamily, view);
}

// The registered runtimes, in the order they are looked for.
using RegistrySource = std::optional<std::string> (*)(const RegistryView&);
const RegistrySource registrySources[] = {pre9RuntimeIn, modularRuntimeIn, modularKitIn};

std::optional<std::string> bundledRuntime()
{
    if (!folderExists(bundledRuntimeFolder))
        return std::nullopt;
    std::string home = fullPathOf(bundledRuntimeFolder);
    launchLog("Bundled runtime %s\n", home.c_str());
    return home;
}

std::optional<std::string> modularRuntime()
{
    return modularRuntimeIn(ownView);
}

std::optional<std::string> modularKit()
{
    return modularKitIn(ownView);
}

std::optional<std::string> javaHomeVariable()
{
    std::optional<std::string> value = environmentValue("JAVA_HOME");
    if (!value)
        return std::nullopt;
    launchLog("JAVA_HOME='%s'\n", value->c_str());
    return unquotedCopy(*value);
}

// Where a runtime may be, in the order it is looked for. Each is asked only
// when every earlier one failed, so a machine with a working registered
// runtime logs nothing about the later places.
using JavaHomeSource = std::optional<std::string> (*)();
const JavaHomeSource javaHomeSources[] = {bundledRuntime, findJavaHome, modularRuntime, modularKit, javaHomeVariable};

bool alreadyTried(const std::vector<std::string>& tried, const std::string& home)
{
    for (const std::string& earlier : tried) {
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
HMODULE loadVmLibrary(const std::string& home)
{
    for (const char* library : vmLibraries) {
        std::string path = home + library;
        launchLog("JVM path %s\n", path.c_str());
        SetDllDirectoryA(directoryOf(directoryOf(path)).c_str());
        if (HMODULE loaded = LoadLibraryA(path.c_str()))
            return loaded;
        const DWORD error = GetLastError();
        launchLog("JVM load error %lu\n", static_cast<unsigned long>(error));
    }
    SetDllDirectoryA(nullptr);
    return nullptr;
}

// The machine a Windows image is built for, read from its headers without
// loading it; none for a file that is missing or not an image.
std::optional<WORD> imageMachineOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
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

// A runtime on this machine that this program can never load: one of the
// other architecture, or one for Windows on ARM (either Tavrin runs there
// under emulation and loads only libraries of its own machine).
struct UnusableRuntime {
    std::string home;
    WORD machine;
};

bool isUnusableMachine(WORD machine)
{
    return machine == otherMachine || machine == IMAGE_FILE_MACHINE_ARM64;
}

// The first of the homes whose library, in the order tried, exists and is an
// image of a machine this program cannot load.
std::optional<UnusableRuntime> unusableRuntimeIn(const std::vector<std::string>& homes)
{
    for (const std::string& home : homes) {
        for (const char* library : vmLibraries) {
            const std::optional<WORD> machine = imageMachineOf(home + library);
            if (machine && isUnusableMachine(*machine))
                return UnusableRuntime{home, *machine};
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

// The runtimes registered for the other architecture, in the order they are
// looked for. A registration may outlive its runtime: each is only a candidate.
std::vector<std::string> homesInOtherRegistryView()
{
    std::vector<std::string> homes;
    if (!otherRegistryViewExists())
        return homes;
    for (RegistrySource source : registrySources) {
        if (std::optional<std::string> home = source(otherView))
            homes.push_back(*home);
    }
    return homes;
}

// What the user is told about a runtime for Windows on ARM in home.
std::string arm64RuntimeMessage(const std::string& home)
{
    const std::string wanted = wideProgram ? "a 64-bit (x64)" : "a 32-bit";
    return "The Java runtime in " + home + " is an ARM64 runtime, which this Tavrin cannot use. Please install " +
           wanted + " Java runtime from " + javaDownloadSite + ".";
}

std::string unusableRuntimeMessage(const UnusableRuntime& runtime)
{
    if (runtime.machine == IMAGE_FILE_MACHINE_ARM64)
        return arm64RuntimeMessage(runtime.home);
    return otherArchitectureMessage(runtime.home);
}

// Why no library loaded: a runtime that this program cannot load when there
// is one, among the homes tried or else those registered for the other
// architecture; else none found at all, else none that works.
std::string noRuntimeMessage(const std::vector<std::string>& tried)
{
    std::optional<UnusableRuntime> unusable = unusableRuntimeIn(tried);
    if (!unusable)
        unusable = unusableRuntimeIn(homesInOtherRegistryView());
    if (unusable)
        return unusableRuntimeMessage(*unusable);
    return tried.empty() ? javaMissingMessage() : javaBrokenMessage();
}

} // namespace

std::optional<std::string> findJavaHome()
{
    return pre9RuntimeIn(ownView);
}

LoadedRuntime loadJavaRuntime()
{
    const ThreadErrorMode probing(probingErrorMode);
    std::vector<std::string> tried;
    for (JavaHomeSource source : javaHomeSources) {
        std::optional<std::string> home = source();
        if (!home || alreadyTried(tried, *home))
            continue;
        tried.push_back(*home);
        if (HMODULE library = loadVmLibrary(*home))
            return {library, *home, std::string()};
    }
    return {nullptr, std::string(), noRuntimeMessage(tried)};
}

bool sameJavaHome(const std::string& a, const std::string& b)
{
    std::wstring first = wideFromAnsi(a), second = wideFromAnsi(b);
    first.erase(first.find_last_not_of(L'\\') + 1);
    second.erase(second.find_last_not_of(L'\\') + 1);
    return CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

std::string otherArchitectureMessage(const std::string& home)
{
    const std::string runtimeBits = wideProgram ? "32" : "64";
    const std::string programBits = wideProgram ? "64" : "32";
    return "The Java runtime in " + home + " is a " + runtimeBits + "-bit runtime, and this Tavrin is a " +
           programBits + "-bit program. Please install a " + programBits + "-bit Java runtime from " +
           javaDownloadSite + ", or use the " + runtimeBits + "-bit Tavrin.";
}

} // namespace launcher
