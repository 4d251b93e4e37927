// The strict JNI double's model, shared by the public API and the JNI function table.
#ifndef TAVRIN_DOUBLES_JNI_STRICT_JNI_INTERNAL_H
#define TAVRIN_DOUBLES_JNI_STRICT_JNI_INTERNAL_H

#include "strict_jni.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace strictjni {

enum class FrameKind { Base, Pushed, NativeMethod };

struct Frame {
    FrameKind kind;
    std::vector<std::uintptr_t> refs;
};

struct ThreadEnv {
    JNIEnv_ env; // first member: a JNIEnv* converts back to its ThreadEnv*
    StrictJni::Impl* impl = nullptr;
    std::thread::id thread;
    std::string threadName;
    bool attached = true;
    std::vector<Frame> frames;
    ObjectPtr pending;
    ObjectPtr thrown;
    int critical = 0;
    std::vector<std::uintptr_t> callReceivers; // receivers of the native calls in progress
};

enum class RefKind { Local, Global };

struct Ref {
    ObjectPtr object;
    RefKind kind;
    ThreadEnv* owner; // for locals
    bool alive;
};

enum class BufferKind { StringUtf, StringChars, StringCritical, ByteElements, ArrayCritical };

struct Buffer {
    BufferKind kind;
    ObjectPtr object;
    ThreadEnv* owner;
};

struct FaultPlan {
    int countdown = 0; // fails when it reaches 0 from 1; 0 with always set fails every call
    bool always = false;
};

struct VmHolder {
    JavaVM_ vm; // first member: a JavaVM* converts back to its holder
    StrictJni::Impl* impl;
};

// The compiled Java classes as class-file bytes describe them (DefineClass).
struct ParsedClass {
    std::string name;
    std::string super;
    bool isAbstract = false;
    struct Member {
        std::string name, descriptor;
        bool isStatic, isNative;
    };
    std::vector<Member> methods;
};
// Returns false with *problem set when the bytes are not a well-formed class file.
bool parseClassFile(const unsigned char* bytes, std::size_t length, ParsedClass& out, std::string* problem);

// Descriptor helpers: parameter types of "(...)R" and its return letter ('L' for any reference).
std::vector<std::string> parameterTypes(const std::string& descriptor);
char returnLetter(const std::string& descriptor);

const JNINativeInterface_* functionTable();
const JNIInvokeInterface_* invokeTable();

struct StrictJni::Impl {
    mutable std::recursive_mutex mutex;
    VmHolder vm{};
    std::map<std::string, std::unique_ptr<Class>> classes;
    std::set<const Method*> methodIds;
    std::set<std::string> hiddenClasses;
    std::set<std::pair<std::string, std::string>> hiddenMethods;
    std::map<const Method*, MethodHandler> handlers;
    std::map<std::uintptr_t, Ref> refs;
    std::uintptr_t nextToken = 0x1000;
    std::map<const void*, Buffer> buffers;
    std::map<std::thread::id, std::unique_ptr<ThreadEnv>> envs;
    std::vector<std::unique_ptr<ThreadEnv>> detached; // kept so a stale JNIEnv is recognised
    std::vector<Violation> violations;
    ViolationHandler violationHandler;
    std::map<Fault, FaultPlan> faults;
    std::set<std::string> failingClasses;
    std::vector<DefinedClass> defined;
    bool destroyed = false;
    std::function<void()> destroyHook;

    Impl();

    void report(Rule rule, const std::string& function, const std::string& detail);

    // Classes.
    Class& addClass(const std::string& name, const std::string& super);
    void giveMirror(Class& cls, Class& classClass);
    Method& addMethod(Class& cls, const std::string& name, const std::string& descriptor, bool isStatic, bool isNative);
    Class* lookUpClass(const std::string& name); // lazily makes array classes; ignores hiding
    const Method* lookUpMethod(Class& cls, const std::string& name, const std::string& descriptor);
    bool isHidden(const Class& cls, const std::string& methodName) const;

    // Objects.
    ObjectPtr newObject(Class& cls);
    ObjectPtr newString(const std::u16string& text);
    ObjectPtr newThrowable(const std::string& className, const std::string& message);
    void throwNew(ThreadEnv& te, const std::string& className, const std::string& message);
    void throwOutOfMemory(ThreadEnv& te, const std::string& what);
    bool shouldFail(Fault fault);

    // Threads and references.
    ThreadEnv& attach(const std::string& name);
    ThreadEnv* current();
    jobject newLocal(ThreadEnv& te, ObjectPtr object);
    jobject newGlobal(ObjectPtr object);
    // The object behind a reference; reports and returns null for a bad one. A null
    // reference gives null without a report.
    ObjectPtr resolve(ThreadEnv& te, jobject ref, const char* function);
    void deleteRef(std::uintptr_t token);
    void popFrame(ThreadEnv& te);
};

} // namespace strictjni

#endif
