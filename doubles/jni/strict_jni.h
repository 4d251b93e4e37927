// A strict, in-process stand-in for a Java virtual machine's JNI.
//
// StrictJni hands out a real JNIEnv (every slot of JNINativeInterface_) and a
// real JavaVM over a small object model: classes with their methods (loaded
// from the compiled Java classes, plus the JDK classes JNI needs), objects that
// remember the arguments of their constructor and of every method called on
// them, UTF-16 strings, byte and object arrays, local and global references.
// Every JNI rule native code can break is checked and reported as a Violation.
//
// Typical test of a JNI entry point:
//
//   strictjni::StrictJni jni;                 // one per test (fixture member)
//   strictjni::failTestOnViolation(jni);      // strict_jni_gtest.h: ADD_FAILURE per violation
//   jlong list = jni.call(Java_orlesk_tavrin_pellux_Pellux_openDVDeviceList);
//   jstring name = jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceName, list, 0);
//   EXPECT_EQ(jni.utf8(name), "Camera");
//   jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceName, list, 99);
//   strictjni::ObjectPtr e = jni.thrown();    // what the call threw to Java
//   EXPECT_EQ(e->className(), "orlesk/tavrin/pellux/PelluxCOMException");
//   EXPECT_EQ(e->constructorArgs[0].utf8(), "Index out of range");
//   EXPECT_EQ(e->constructorArgs[1].i(), E_INVALIDARG);
//
// call() runs the entry point as the JVM would: with the calling thread's
// JNIEnv, a receiver jclass (orlesk/tavrin/pellux/Pellux unless callOn() names
// another), inside a fresh native-method local frame. On return it checks that
// local frames are balanced, no critical region is open, no buffer from
// Get*Chars/Get*Elements is still held and no local reference made during the
// call is alive except the returned one (which stays alive for the test to
// read). A pending exception is then "thrown to Java": it moves to thrown()
// and the thread's pending slot is cleared, so the next call starts clean.
//
// Objects: every jobject is a token that is never reused; object(ref) gives
// the Object behind it. An Object keeps its class, the decoded arguments of its
// constructor (constructorArgs, a Value per parameter of the constructor's
// descriptor) and each method call made on it (calls; static calls are kept on
// the class's mirror object, see staticCalls()). Values keep referenced
// objects alive, so arguments can be read after the references are deleted.
//
// Handlers: bind(class, name, descriptor, handler) runs C++ code when a Java
// method or constructor is called through JNI (a static main, a constructor
// that throws by calling env->ThrowNew, a getter that returns a value). A
// handler runs without the model's lock held and may call back into JNI.
//
// Faults: hideClass/hideMethod make FindClass/Get*MethodID fail as on a JVM
// (NoClassDefFoundError/NoSuchMethodError pending, null returned);
// failCall(Fault::X, n) makes the nth call of X from now fail (0: every call)
// with OutOfMemoryError pending; failNewObjectOf(class) makes NewObject of that
// class fail.
//
// Violations go to the handler set with setViolationHandler (default: print to
// standard error) and are always recorded in violations(), so a test of the
// double itself can plant one and assert its Rule. The handler runs with the
// model's lock held: it must not call back into JNI.
//
// DefineClass parses the class file (magic 0xCAFEBABE, constant pool,
// this_class, super_class, methods): bad bytes leave ClassFormatError pending,
// a this_class other than the name given NoClassDefFoundError, a second
// definition by the same loader LinkageError. A class already in the compiled
// table keeps its methods and IDs. definedClasses() lists what was accepted.
//
// Threads: each thread gets its own JNIEnv (env() attaches the calling thread;
// JavaVM::AttachCurrentThread does the same). The model is guarded by one
// mutex, so a reader thread may call entry points while the test thread works.
// Inspecting Objects directly is for when no other thread is calling in.
#ifndef TAVRIN_DOUBLES_JNI_STRICT_JNI_H
#define TAVRIN_DOUBLES_JNI_STRICT_JNI_H

#include <jni.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace strictjni {

struct Object;
struct Class;
using ObjectPtr = std::shared_ptr<Object>;

// The JNI rules the double checks; ruleText() gives the text each report starts with.
enum class Rule {
    ExceptionPending,     // a call other than the exception-safe ones while an exception is pending
    CriticalRegion,       // a call inside a critical region, or a region left open at return
    UnbalancedFrames,     // PushLocalFrame/PopLocalFrame not paired within a native method
    DeletedReference,     // use of a reference after DeleteLocalRef/DeleteGlobalRef/PopLocalFrame
    ForeignReference,     // a reference the JNI never handed out, or another thread's local
    LeakedLocalReference, // a local reference made by a native method still alive at its return
    WrongMethodKind,      // a static method ID used in an instance call, or the reverse
    MethodMismatch,       // a method ID called with the wrong return type or on an unrelated object
    WrongObjectType,      // e.g. a non-string given to a string function, a non-class as jclass
    NullArgument,         // null where JNI requires a reference or a pointer
    InvalidModifiedUtf8,  // bytes given to NewStringUTF that are not modified UTF-8
    ReleaseMismatch,      // a Release* of a buffer not handed out, already released, or of another object
    UnreleasedBuffer,     // a Get*Chars/Get*Elements/critical buffer not released at return
    WrongThread,          // a JNIEnv used on a thread other than its own, or after detaching
    BadArgument,          // another invalid argument (negative length, unknown release mode...)
    Unsupported,          // a JNI function the double does not implement
};
const char* ruleText(Rule rule);

struct Violation {
    Rule rule;
    std::string function; // the JNI function (or "native method return")
    std::string detail;
    // "<rule text> in <function>: <detail>"; "unsupported JNI function <name>" for stubs.
    std::string text() const;
};
using ViolationHandler = std::function<void(const Violation&)>;

// A Java value: a constructor or method argument, or a handler's result.
struct Value {
    char type = 'V'; // descriptor letter: Z B C S I J F D, L for any reference (arrays too), V for none
    jvalue raw{};
    ObjectPtr object; // for L: the object, or null

    bool isNull() const { return type == 'L' && !object; }
    bool z() const { return raw.z != JNI_FALSE; }
    jbyte b() const { return raw.b; }
    jchar c() const { return raw.c; }
    jshort s() const { return raw.s; }
    jint i() const { return raw.i; }
    jlong j() const { return raw.j; }
    jfloat f() const { return raw.f; }
    jdouble d() const { return raw.d; }
    std::string utf8() const; // a String argument as UTF-8; throws std::logic_error otherwise

    static Value none() { return Value{}; }
    static Value boolean(bool v);
    static Value integer(jint v);
    static Value longInt(jlong v);
    static Value real(jdouble v);
    static Value of(ObjectPtr object);
};

struct Method {
    std::string name;
    std::string descriptor;
    bool isStatic = false;
    bool isNative = false;
    Class* owner = nullptr;
    void* nativeFunction = nullptr; // set by RegisterNatives
};

struct Class {
    std::string name; // internal form: "java/lang/String", "[B"
    Class* super = nullptr;
    Class* element = nullptr; // component class of an object array class
    bool isAbstract = false;
    std::vector<std::unique_ptr<Method>> methods; // declared methods; addresses are the jmethodIDs
    ObjectPtr mirror;                             // the java/lang/Class object

    const Method* declared(const std::string& name, const std::string& descriptor) const;
    bool isSubclassOf(const Class* other) const;
};

struct Call {
    const Method* method;
    std::vector<Value> args;
};

struct Object {
    Class* cls = nullptr;
    const Method* constructor = nullptr; // null for objects the double made itself
    std::vector<Value> constructorArgs;
    std::vector<Call> calls;
    std::u16string chars;            // java/lang/String
    std::vector<jbyte> bytes;        // byte[]
    std::vector<ObjectPtr> elements; // object arrays
    Class* mirrorOf = nullptr;       // java/lang/Class

    const std::string& className() const { return cls->name; }
    bool isString() const;
    std::string utf8() const; // a String's text as UTF-8
    // A Throwable's message: its constructor's first argument when that is a String.
    std::string message() const;
    bool hasMessage() const;
    // Calls of one method name (any descriptor), in call order.
    std::vector<Call> callsOf(const std::string& methodName) const;
};

// What a bound handler is given.
struct Invocation {
    JNIEnv* env;
    const Method& method;
    ObjectPtr self; // null for a static method
    const std::vector<Value>& args;
};
using MethodHandler = std::function<Value(Invocation&)>;

// JNI calls that fault injection can fail (with OutOfMemoryError pending).
enum class Fault {
    NewObject,
    NewStringUTF,
    NewObjectArray,
    NewByteArray,
    GetPrimitiveArrayCritical,
    GetStringCritical,
    GetByteArrayElements,
    GetStringUTFChars,
    PushLocalFrame,
};

struct DefinedClass {
    std::string name;
    ObjectPtr loader;
    std::vector<jbyte> bytes;
};

// Text conversions (UTF-16 as Java holds it).
std::u16string utf16FromUtf8(const std::string& utf8); // standard UTF-8
std::string utf8FromUtf16(const std::u16string& text); // standard UTF-8; pairs combined
std::string modifiedUtf8FromUtf16(const std::u16string& text);
// Decodes modified UTF-8; false when the bytes are not valid modified UTF-8
// (invalid sequences become U+FFFD and *problem says what was wrong).
bool utf16FromModifiedUtf8(const char* bytes, std::u16string& out, std::string* problem);

class StrictJni {
public:
    StrictJni();
    ~StrictJni();
    StrictJni(const StrictJni&) = delete;
    StrictJni& operator=(const StrictJni&) = delete;

    JNIEnv* env(); // the calling thread's JNIEnv; attaches the thread when needed
    JavaVM* vm();

    // Violations.
    void setViolationHandler(ViolationHandler handler); // empty: record only
    std::vector<Violation> violations() const;
    std::size_t violationCount(Rule rule) const;
    void clearViolations();

    // Classes: the compiled Java classes and the JDK classes are present from the start.
    Class& defineClass(const std::string& name, const std::string& super = "java/lang/Object");
    Method& addMethod(const std::string& className, const std::string& name, const std::string& descriptor,
                      bool isStatic = false, bool isNative = false);
    Class* findClass(const std::string& name); // null when absent (hidden classes too)
    void bind(const std::string& className, const std::string& name, const std::string& descriptor,
              MethodHandler handler);
    // The function RegisterNatives recorded for a native method, or null.
    void* registeredNative(const std::string& className, const std::string& name, const std::string& descriptor) const;
    std::vector<DefinedClass> definedClasses() const; // what DefineClass accepted, in order

    // Values made by the test: local references of the calling thread.
    jstring newString(const std::string& utf8);
    jstring newString(const std::u16string& text);
    jbyteArray newByteArray(const std::vector<jbyte>& bytes);
    jobjectArray newObjectArray(const std::string& elementClass, const std::vector<jobject>& elements);
    jclass classRef(const std::string& name);
    jobject globalRef(jobject ref); // a global reference the test owns

    // Reading values back (the reference must be alive).
    ObjectPtr object(jobject ref) const;
    std::string utf8(jobject string) const;
    std::u16string utf16(jobject string) const;
    std::vector<jbyte> bytes(jobject byteArray) const;
    std::vector<Call> staticCalls(const std::string& className) const;
    std::size_t liveLocalReferences(); // of the calling thread

    // Exceptions of the calling thread.
    ObjectPtr pendingException() const;
    void clearPendingException();
    ObjectPtr thrown() const; // what the last call() threw to Java, or null

    // Fault injection.
    void hideClass(const std::string& name);
    void hideMethod(const std::string& className, const std::string& methodName);
    void failCall(Fault fault, int nth = 1); // nth call from now (1 = the next one); 0 = every call
    void failNewObjectOf(const std::string& className);
    void clearFaults();

    // The JavaVM side.
    bool destroyed() const; // DestroyJavaVM was called
    std::size_t attachedThreads() const;
    void onDestroy(std::function<void()> hook); // runs inside DestroyJavaVM

    // Entry-point harness (see the top of this file).
    template <typename F, typename... A>
    auto call(F function, A... args)
    {
        return callOn("orlesk/tavrin/pellux/Pellux", function, args...);
    }
    template <typename F, typename... A>
    auto callOn(const std::string& receiverClass, F function, A... args)
    {
        jclass receiver = beginCall(receiverClass);
        using Result = decltype(function(env(), receiver, args...));
        if constexpr (std::is_void_v<Result>) {
            function(env(), receiver, args...);
            endCall(nullptr);
        } else {
            Result result = function(env(), receiver, args...);
            if constexpr (std::is_convertible_v<Result, jobject>) {
                endCall(result);
            } else {
                endCall(nullptr);
            }
            return result;
        }
    }

    struct Impl;

private:
    jclass beginCall(const std::string& receiverClass);
    void endCall(jobject result);

    std::unique_ptr<Impl> impl_;
};

} // namespace strictjni

#endif
