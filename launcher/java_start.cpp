#include "java_start.h"

#include <windows.h>
#include <jni.h>

#include <cstdlib>
#include <optional>

#include "code_page_text.h"
#include "define_class.h"
#include "java_version.h"
#include "launch_log.h"
#include "runtime_discovery.h"
#include "system_paths.h"

namespace launcher {

const char bootstrapClassName[] = "orlesk/tavrin/SecureLauncher";
const char* const extraVmOptions[] = {"-Xmx320m", "-Dtavrin.mainClass=orlesk.tavrin.StdLauncher", nullptr};

namespace {

using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);
using GetDefaultJavaVMInitArgs = jint(JNICALL*)(void*);

// Since Java 24 the security manager is permanently disabled, and a machine
// asked for one refuses to start.
SecurityManager securityManagerFor(const std::wstring& home)
{
    const std::optional<std::string> version = javaVersionOfHome(home);
    const std::optional<int> feature = version ? javaFeatureNumber(*version) : std::nullopt;
    if (!feature || *feature < firstVersionWithoutSecurityManager)
        return SecurityManager::Requested;
    launchLog("Java %s runs without a security manager\n", version->c_str());
    return SecurityManager::Unsupported;
}

template <typename Function>
Function entryPoint(HMODULE library, const char* name)
{
    // Through the generic function type: FARPROC's own type matches no entry point.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The application's arguments: everything after "java", in order, as the exact
// UTF-16 text of the command line.
jobjectArray javaArguments(JNIEnv* env, const std::vector<std::wstring>& arguments)
{
    jclass stringClass = env->FindClass("java/lang/String");
    if (!stringClass)
        return nullptr;
    auto count = static_cast<jsize>(arguments.size() - 1);
    jobjectArray array = env->NewObjectArray(count, stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    for (jsize j = 0; array && j < count; ++j) {
        const std::wstring& wide = arguments[static_cast<std::size_t>(j) + 1];
        jstring element = env->NewString(reinterpret_cast<const jchar*>(wide.data()), static_cast<jsize>(wide.size()));
        if (!element)
            return nullptr;
        env->SetObjectArrayElement(array, j, element);
        env->DeleteLocalRef(element);
    }
    return array;
}

// Registers the native and calls the bootstrap class's main on this thread.
// Returns the message for the user, or the empty string when main returned.
std::wstring runBootstrapClass(JNIEnv* env, const std::vector<std::wstring>& arguments)
{
    jclass bootstrap = env->FindClass(bootstrapClassName);
    if (!bootstrap) {
        launchLog("Failed to load Main class %s\n", bootstrapClassName);
        env->ExceptionDescribe();
        return L"Failed to load main class";
    }
    const JNINativeMethod natives[] = {{const_cast<char*>(defineClassName), const_cast<char*>(defineClassSignature),
                                        reinterpret_cast<void*>(&Java_orlesk_tavrin_SecureLauncher_defineClass)}};
    jint registered = env->RegisterNatives(bootstrap, natives, 1);
    if (registered != 0) {
        launchLog("Failed to register natives %d\n", static_cast<int>(registered));
        env->ExceptionDescribe();
        return L"Failed to register natives";
    }
    jmethodID main = env->GetStaticMethodID(bootstrap, "main", "([Ljava/lang/String;)V");
    jobjectArray mainArguments = main ? javaArguments(env, arguments) : nullptr;
    if (mainArguments)
        env->CallStaticVoidMethod(bootstrap, main, mainArguments);
    if (jthrowable thrown = env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        env->DeleteLocalRef(thrown);
        return L"An exception occurred during startup";
    }
    return std::wstring();
}

} // namespace

std::string logLocationOption()
{
    if (failedLogPath)
        return "-Dtavrin.failedlog=" + ansiPathForVm(*failedLogPath);
    if (!actualLogPath)
        actualLogPath = std::wstring();
    return "-Dtavrin.actuallog=" + ansiPathForVm(*actualLogPath);
}

std::vector<std::string> vmOptionStrings(const std::string& classPath, const std::string& libraryPath,
                                         SecurityManager securityManager)
{
    std::vector<std::string> options = {"-Djava.class.path=" + classPath, "-Djava.library.path=" + libraryPath};
    if (securityManager == SecurityManager::Requested)
        options.insert(options.end(), {"-Djava.security.manager", "-Djava.security.policy=lib\\java.policy"});
    options.push_back(logLocationOption());
    for (const char* const* extra = extraVmOptions; *extra; ++extra)
        options.emplace_back(*extra);
    return options;
}

std::wstring startJava(const std::string& classPath, const std::string& libraryPath,
                       const std::vector<std::wstring>& arguments)
{
    LoadedRuntime runtime = loadJavaRuntime();
    if (!runtime.library)
        return runtime.message;
    auto createVm = entryPoint<CreateJavaVM>(runtime.library, "JNI_CreateJavaVM");
    auto defaultArgs = entryPoint<GetDefaultJavaVMInitArgs>(runtime.library, "JNI_GetDefaultJavaVMInitArgs");
    if (!createVm || !defaultArgs)
        return L"Failed to find jvm.dll entry points";

    std::vector<std::string> optionStrings = vmOptionStrings(classPath, libraryPath, securityManagerFor(runtime.home));
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
        return L"Failed to start Java";
    }
    std::wstring message = runBootstrapClass(env, arguments);
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
