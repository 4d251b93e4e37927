#include "java_start.h"

#include <windows.h>
#include <jni.h>

#include <cstdlib>

#include "command_line.h"
#include "define_class.h"
#include "launch_log.h"
#include "system_paths.h"
#include "win_handles.h"

namespace launcher {

const char javaDownloadSite[] = "https://www.java.com";
const char bootstrapClassName[] = "orlesk/tavrin/SecureLauncher";
const char* const extraVmOptions[] = {"-Xmx320m", "-Dtavrin.mainClass=orlesk.tavrin.StdLauncher", nullptr};

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

using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);
using GetDefaultJavaVMInitArgs = jint(JNICALL*)(void*);

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

// The first family key that opens; the other family is never tried later.
const char* openRuntimeFamily(RegistryKey& family)
{
    for (const char* path : runtimeFamilies) {
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, family.put()) == ERROR_SUCCESS)
            return path;
    }
    return nullptr;
}

// The JavaHome of the family's current version; closes the family key.
std::optional<std::string> javaHomeOfFamily(RegistryKey& family, const char* familyPath)
{
    std::optional<std::string> version = readRegistryText(family.get(), "CurrentVersion");
    launchLog("CurrentVersion='%s'\n", version.value_or("").c_str());
    family.reset();
    if (!version)
        return std::nullopt;

    std::string versionPath = (std::string(familyPath) + "\\" + *version).substr(0, versionKeyLimit);
    RegistryKey versionKey;
    LONG opened = RegOpenKeyA(HKEY_LOCAL_MACHINE, versionPath.c_str(), versionKey.put());
    launchLog("RegOpenKey %s -> %d (%p)\n", versionPath.c_str(), static_cast<int>(opened),
              static_cast<void*>(versionKey.get()));
    if (opened != ERROR_SUCCESS)
        return std::nullopt;
    return readRegistryText(versionKey.get(), "JavaHome");
}

std::optional<std::string> javaHomeInFamily(const char* familyPath)
{
    RegistryKey family;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, familyPath, family.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return javaHomeOfFamily(family, familyPath);
}

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
    return javaHomeInFamily(modularRuntimeFamily);
}

std::optional<std::string> modularKit()
{
    return javaHomeInFamily(modularKitFamily);
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

bool sameFolder(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

bool alreadyTried(const std::vector<std::string>& tried, const std::string& home)
{
    for (const std::string& earlier : tried) {
        if (sameFolder(earlier, home))
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
            return loaded; // kept loaded until the process ends
    }
    SetDllDirectoryA(nullptr);
    return nullptr;
}

struct LoadedRuntime {
    HMODULE library = nullptr;
    std::string message; // for the user, when no library loaded
};

LoadedRuntime loadJavaRuntime()
{
    std::vector<std::string> tried;
    for (JavaHomeSource source : javaHomeSources) {
        std::optional<std::string> home = source();
        if (!home || alreadyTried(tried, *home))
            continue;
        tried.push_back(*home);
        if (HMODULE library = loadVmLibrary(*home))
            return {library, std::string()};
    }
    return {nullptr, tried.empty() ? javaMissingMessage() : javaBrokenMessage()};
}

template <typename Function>
Function entryPoint(HMODULE library, const char* name)
{
    // Through the generic function type: FARPROC's own type matches no entry point.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The application's arguments: everything after "java", in order. Command-line
// text is in the ANSI code page; Java receives it as the same characters.
jobjectArray javaArguments(JNIEnv* env, const std::vector<std::string>& arguments)
{
    jclass stringClass = env->FindClass("java/lang/String");
    if (!stringClass)
        return nullptr;
    auto count = static_cast<jsize>(arguments.size() - 1);
    jobjectArray array = env->NewObjectArray(count, stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    for (jsize j = 0; array && j < count; ++j) {
        const std::string& text = arguments[static_cast<std::size_t>(j) + 1];
        int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
        jstring element = env->NewString(reinterpret_cast<const jchar*>(wide.data()), length);
        if (!element)
            return nullptr;
        env->SetObjectArrayElement(array, j, element);
        env->DeleteLocalRef(element);
    }
    return array;
}

// Registers the native and calls the bootstrap class's main on this thread.
// Returns the message for the user, or the empty string when main returned.
std::string runBootstrapClass(JNIEnv* env, const std::vector<std::string>& arguments)
{
    jclass bootstrap = env->FindClass(bootstrapClassName);
    if (!bootstrap) {
        launchLog("Failed to load Main class %s\n", bootstrapClassName);
        env->ExceptionDescribe();
        return "Failed to load main class";
    }
    const JNINativeMethod natives[] = {{const_cast<char*>(defineClassName), const_cast<char*>(defineClassSignature),
                                        reinterpret_cast<void*>(&Java_orlesk_tavrin_SecureLauncher_defineClass)}};
    jint registered = env->RegisterNatives(bootstrap, natives, 1);
    if (registered != 0) {
        launchLog("Failed to register natives %d\n", static_cast<int>(registered));
        env->ExceptionDescribe();
        return "Failed to register natives";
    }
    jmethodID main = env->GetStaticMethodID(bootstrap, "main", "([Ljava/lang/String;)V");
    jobjectArray mainArguments = main ? javaArguments(env, arguments) : nullptr;
    if (mainArguments)
        env->CallStaticVoidMethod(bootstrap, main, mainArguments);
    if (jthrowable thrown = env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        env->DeleteLocalRef(thrown);
        return "An exception occurred during startup";
    }
    return std::string();
}

} // namespace

std::optional<std::string> findJavaHome()
{
    RegistryKey family;
    const char* familyPath = openRuntimeFamily(family);
    if (!familyPath)
        return std::nullopt;
    return javaHomeOfFamily(family, familyPath);
}

std::string logLocationOption()
{
    if (failedLogPath)
        return "-Dtavrin.failedlog=" + *failedLogPath;
    if (!actualLogPath)
        actualLogPath = std::string();
    return "-Dtavrin.actuallog=" + *actualLogPath;
}

std::vector<std::string> vmOptionStrings(const std::string& classPath, const std::string& libraryPath)
{
    std::vector<std::string> options = {
        "-Djava.class.path=" + classPath,
        "-Djava.library.path=" + libraryPath,
        "-Djava.security.manager",
        "-Djava.security.policy=lib\\java.policy",
        logLocationOption(),
    };
    for (const char* const* extra = extraVmOptions; *extra; ++extra)
        options.emplace_back(*extra);
    return options;
}

std::string startJava(const std::string& classPath, const std::string& libraryPath,
                      const std::vector<std::string>& arguments)
{
    LoadedRuntime runtime = loadJavaRuntime();
    if (!runtime.library)
        return runtime.message;
    auto createVm = entryPoint<CreateJavaVM>(runtime.library, "JNI_CreateJavaVM");
    auto defaultArgs = entryPoint<GetDefaultJavaVMInitArgs>(runtime.library, "JNI_GetDefaultJavaVMInitArgs");
    if (!createVm || !defaultArgs)
        return "Failed to find jvm.dll entry points";

    std::vector<std::string> optionStrings = vmOptionStrings(classPath, libraryPath);
    std::vector<JavaVMOption> options;
    for (std::string& option : optionStrings)
        options.push_back(JavaVMOption{option.data(), nullptr});
    JavaVMInitArgs initArgs{};
    initArgs.version = JNI_VERSION_1_4;
    defaultArgs(&initArgs);
    initArgs.nOptions = static_cast<jint>(options.size());
    initArgs.options = options.data();
    for (const std::string& option : optionStrings)
        launchLog("vmarg %s\n", option.c_str());

    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    jint created = createVm(&vm, reinterpret_cast<void**>(&env), &initArgs);
    if (created != 0) {
        launchLog("Failed to create JVM: %d\n", static_cast<int>(created));
        return "Failed to start Java";
    }
    std::string message = runBootstrapClass(env, arguments);
    if (!message.empty()) {
        vm->DestroyJavaVM();
        return message;
    }
    launchLog("JVM launched\n");
    vm->DetachCurrentThread();
    vm->DestroyJavaVM(); // returns when the application's last non-daemon thread has ended
    std::exit(0);
}

} // namespace launcher
