#include "standin_runtime.h"

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

#include "standard_streams.h"
#include "stored_jar.h"

namespace standin {

namespace {

const char bootstrapClass[] = "orlesk/tavrin/SecureLauncher";
const char defineClassSignature[] = "(Ljava/lang/String;[BIILjava/lang/ClassLoader;)Ljava/lang/Class;";
using DefineClassNative = jclass(JNICALL*)(JNIEnv*, jclass, jstring, jbyteArray, jint, jint, jobject);

// The runtime whose main-thread JNIEnv and whose JavaVM carry the
// interpositions below.
StandInRuntime* interposedRuntime = nullptr;
strictjni::StrictJni* interposedJni = nullptr;
JNINativeInterface_ mainThreadFunctions;
decltype(JNINativeInterface_::DefineClass) doubleDefineClass = nullptr;

void throwJava(JNIEnv* env, const char* className, const std::string& message)
{
    jclass exceptionClass = env->FindClass(className);
    if (!exceptionClass)
        return;
    env->ThrowNew(exceptionClass, message.c_str());
    env->DeleteLocalRef(exceptionClass);
}

JNIInvokeInterface_ vmFunctions;
decltype(JNIInvokeInterface_::DetachCurrentThread) doubleDetachCurrentThread = nullptr;
DWORD creatingThread = 0;

std::string dotted(std::string name)
{
    for (char& c : name)
        c = c == '/' ? '.' : c;
    return name;
}

// Throwable.printStackTrace through the runtime's own standard error.
void JNICALL describingOnOwnStandardError(JNIEnv* env)
{
    strictjni::ObjectPtr pending = interposedJni->pendingException();
    if (!pending)
        return;
    env->ExceptionClear();
    std::string name = dotted(pending->className());
    printToStandardError("Exception in thread \"main\" " + name +
                         (pending->hasMessage() ? ": " + pending->message() : ""));
    printToStandardError("\tat " + name + ".<init>(Native Method)");
}

jint JNICALL recordingDetachCurrentThread(JavaVM* vm)
{
    bool creator = GetCurrentThreadId() == creatingThread;
    interposedRuntime->record().line(creator ? "DetachCurrentThread" : "DetachCurrentThread (application thread)");
    return doubleDetachCurrentThread(vm);
}

jint JNICALL refusingRegisterNatives(JNIEnv* env, jclass, const JNINativeMethod*, jint)
{
    interposedRuntime->record().line("RegisterNatives refused");
    throwJava(env, "java/lang/NoSuchMethodError", "defineClass");
    return JNI_ERR;
}

// The application's classes are in the double's class table from the start
// (it loads every compiled class), so a class defined from restored bytes is
// already known: once the double has checked the bytes' magic number and class
// name, the known class is the one defined.
jclass JNICALL definingKnownClasses(JNIEnv* env, const char* name, jobject loader, const jbyte* bytes, jsize length)
{
    jclass defined = doubleDefineClass(env, name, loader, bytes, length);
    strictjni::ObjectPtr pending = interposedJni->pendingException();
    bool duplicate = !defined && name && pending && pending->className() == "java/lang/LinkageError" &&
                     pending->message().rfind("duplicate class definition", 0) == 0;
    if (!duplicate)
        return defined;
    env->ExceptionClear();
    return env->FindClass(name);
}

std::string threadErrorModeText()
{
    std::ostringstream text;
    text << "0x" << std::hex << GetThreadErrorMode();
    return text.str();
}

// An option string as the machine reads it, in the ANSI code page, recorded
// as UTF-8 so that the record says exactly which characters arrived.
std::string utf8FromAnsi(const char* text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(wide.data()), length);
    wide.resize(wide.empty() ? 0 : wide.size() - 1);
    return strictjni::utf8FromUtf16(wide);
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

} // namespace

StandInRuntime::StandInRuntime(std::string behaviour, std::string recordPath, int featureVersion)
    : behaviour_(std::move(behaviour)), record_(std::move(recordPath)), featureVersion_(featureVersion)
{
}

void StandInRuntime::recordLoad()
{
    record_.line("thread error mode at load " + threadErrorModeText());
}

jint StandInRuntime::create(const JavaVMInitArgs& args, JavaVM** vm, JNIEnv** env)
{
    record_.line("thread error mode at JNI_CreateJavaVM " + threadErrorModeText());
    recordArguments(args);
    if (behaviour_ == "create-fails") {
        record_.line("creation refused");
        return JNI_ENOMEM;
    }
    if (refusesOptions()) {
        record_.line("creation refused: the security manager cannot be enabled");
        printToStandardError("Error occurred during initialization of VM");
        printToStandardError("java.lang.Error: A command line option has attempted to allow or enable the Security "
                             "Manager. Enabling a Security Manager is not supported.");
        return JNI_ERR;
    }
    jni_ = std::make_unique<strictjni::StrictJni>();
    jni_->setViolationHandler([this](const strictjni::Violation& v) { record_.line("violation: " + v.text()); });
    jni_->defineClass("java/lang/IllegalStateException", "java/lang/RuntimeException");
    jni_->addMethod("java/lang/IllegalStateException", "<init>", "(Ljava/lang/String;)V");
    jni_->bind(bootstrapClass, "main", "([Ljava/lang/String;)V",
               [this](strictjni::Invocation& call) { return playSecureLauncherMain(call); });
    jni_->onDestroy([this] { waitForApplicationThreads(); });
    if (behaviour_ == "class-missing")
        jni_->hideClass(bootstrapClass);
    if (behaviour_ == "main-missing")
        jni_->hideMethod(bootstrapClass, "main");
    *env = jni_->env();
    *vm = jni_->vm();
    installInterpositions(*env);
    return JNI_OK;
}

void StandInRuntime::recordArguments(const JavaVMInitArgs& args)
{
    std::ostringstream head;
    head << "JNI_CreateJavaVM version=0x" << std::hex << args.version << std::dec << " nOptions=" << args.nOptions
         << " ignoreUnrecognized=" << static_cast<int>(args.ignoreUnrecognized);
    record_.line(head.str());
    for (jint i = 0; i < args.nOptions; ++i) {
        options_.emplace_back(args.options[i].optionString ? args.options[i].optionString : "(null)");
        record_.line("option " + utf8FromAnsi(options_.back().c_str()) +
                     (args.options[i].extraInfo ? " (with extra information)" : ""));
    }
}

// Since Java 24 the security manager is permanently disabled: asking for one,
// with any value, stops the machine's initialisation.
bool StandInRuntime::refusesOptions() const
{
    if (featureVersion_ < 24)
        return false;
    for (const std::string& option : options_) {
        if (option.rfind("-Djava.security.manager", 0) == 0)
            return true;
    }
    return false;
}

void StandInRuntime::installInterpositions(JNIEnv* env)
{
    interposedRuntime = this;
    interposedJni = jni_.get();
    mainThreadFunctions = *env->functions;
    doubleDefineClass = mainThreadFunctions.DefineClass;
    mainThreadFunctions.DefineClass = &definingKnownClasses;
    mainThreadFunctions.ExceptionDescribe = &describingOnOwnStandardError;
    if (behaviour_ == "register-fails")
        mainThreadFunctions.RegisterNatives = &refusingRegisterNatives;
    env->functions = &mainThreadFunctions;

    JavaVM* vm = jni_->vm();
    vmFunctions = *vm->functions;
    doubleDetachCurrentThread = vmFunctions.DetachCurrentThread;
    vmFunctions.DetachCurrentThread = &recordingDetachCurrentThread;
    vm->functions = &vmFunctions;
    creatingThread = GetCurrentThreadId();
}

strictjni::Value StandInRuntime::playSecureLauncherMain(strictjni::Invocation& call)
{
    const strictjni::ObjectPtr& arguments = call.args.at(0).object;
    record_.line("main args=" + std::to_string(arguments ? arguments->elements.size() : 0));
    std::vector<std::string> texts;
    for (const strictjni::ObjectPtr& element : arguments->elements) {
        texts.push_back(element ? element->utf8() : "(null)");
        record_.line("arg " + texts.back());
    }
    if (behaviour_ == "main-throws") {
        record_.line("main throws java.lang.IllegalStateException");
        throwJava(call.env, "java/lang/IllegalStateException", "the catalog window could not be opened");
        return strictjni::Value::none();
    }
    if (!defineMainClass(call.env))
        return strictjni::Value::none();
    printToStandardOutput("Tavrin started" + (texts.empty() ? std::string() : " with catalog " + texts[0]));
    if (behaviour_ == "thread-outlives-main")
        startApplicationThread();
    if (behaviour_.rfind("exit=", 0) == 0) {
        int code = std::atoi(behaviour_.c_str() + 5);
        record_.line("System.exit(" + std::to_string(code) + ")");
        std::exit(code);
    }
    record_.line("main returns");
    return strictjni::Value::none();
}

// What SecureLauncher's class loader does: the stored bytes of the main class
// from the class path, restored and defined through the registered native.
bool StandInRuntime::defineMainClass(JNIEnv* env)
{
    std::string mainClass = option("tavrin.mainClass");
    std::string internalName = mainClass;
    for (char& c : internalName)
        c = c == '.' ? '/' : c;
    std::optional<std::vector<char>> stored;
    std::string source;
    for (const std::string& entry : split(option("java.class.path"), ';')) {
        if ((stored = readStoredEntry(entry, internalName + ".sclass"))) {
            source = entry;
            break;
        }
    }
    if (!stored) {
        record_.line("main class " + internalName + " is not on the class path");
        throwJava(env, "java/lang/ClassNotFoundException", mainClass);
        return false;
    }
    auto native = reinterpret_cast<DefineClassNative>(
        jni_->registeredNative(bootstrapClass, "defineClass", defineClassSignature));
    if (!native) {
        record_.line("defineClass is not registered");
        throwJava(env, "java/lang/UnsatisfiedLinkError", "defineClass");
        return false;
    }
    auto length = static_cast<jsize>(stored->size());
    jstring name = env->NewStringUTF(internalName.c_str());
    jbyteArray bytes = env->NewByteArray(length);
    env->SetByteArrayRegion(bytes, 0, length, reinterpret_cast<const jbyte*>(stored->data()));
    jclass loaderClass = env->FindClass("java/lang/ClassLoader");
    jobject loader = env->NewObject(loaderClass, env->GetMethodID(loaderClass, "<init>", "()V"));
    jclass defined = jni_->callOn(bootstrapClass, native, name, bytes, 0, length, loader);
    for (jobject ref :
         {static_cast<jobject>(name), static_cast<jobject>(bytes), static_cast<jobject>(loaderClass), loader}) {
        env->DeleteLocalRef(ref);
    }
    if (!defined) {
        strictjni::ObjectPtr thrown = jni_->thrown();
        std::string thrownClass = thrown ? thrown->className() : "java/lang/NoClassDefFoundError";
        record_.line("defineClass " + internalName + " from " + source + ": null, " + thrownClass);
        throwJava(env, thrownClass.c_str(), thrown && thrown->hasMessage() ? thrown->message() : internalName);
        return false;
    }
    env->DeleteLocalRef(defined);
    record_.line("defineClass " + internalName + " from " + source + ": defined");
    return true;
}

// A non-daemon thread of the application, such as its user interface's.
void StandInRuntime::startApplicationThread()
{
    record_.line("application thread starts");
    applicationThreads_.emplace_back([this] {
        JNIEnv* env = nullptr;
        jni_->vm()->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        printToStandardOutput("Catalog window closed");
        record_.line("application thread ends");
        jni_->vm()->DetachCurrentThread();
    });
}

// DestroyJavaVM: returns once every non-daemon thread has ended.
void StandInRuntime::waitForApplicationThreads()
{
    record_.line("DestroyJavaVM waits for " + std::to_string(applicationThreads_.size()) + " application thread(s)");
    for (std::thread& thread : applicationThreads_)
        thread.join();
    applicationThreads_.clear();
    record_.line("DestroyJavaVM returns");
}

std::string StandInRuntime::option(const std::string& name) const
{
    const std::string prefix = "-D" + name + "=";
    for (const std::string& option : options_) {
        if (option.rfind(prefix, 0) == 0)
            return option.substr(prefix.size());
    }
    return std::string();
}

} // namespace standin
