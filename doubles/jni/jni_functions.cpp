// The JNI function table and the JavaVM invocation table of the strict double.
// Every slot is typed exactly as jni.h declares it: JNICALL is __stdcall here,
// variadic functions are cdecl, and a mismatched slot would corrupt the stack.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "strict_jni_internal.h"

// mingw-w64's x64 va_list carries an ABI attribute that a function-pointer type
// loses when it becomes a template argument (the table's unsupported slots):
// harmless, since the slot's own declared type is what callers use.
#pragma GCC diagnostic ignored "-Wignored-attributes"

namespace strictjni {
namespace {

enum Allow : unsigned { kNormal = 0, kExceptionSafe = 1, kCriticalSafe = 2 };

std::string dotted(std::string name)
{
    for (char& c : name) {
        if (c == '/')
            c = '.';
    }
    return name;
}

std::string describe(const Object& throwable)
{
    std::string text = dotted(throwable.className());
    return throwable.hasMessage() ? text + ": " + throwable.message() : text;
}

// The checks every JNI function starts with, and the model's lock for its body.
class Scope {
public:
    Scope(JNIEnv* env, const char* function, unsigned allow = kNormal)
        : te(*reinterpret_cast<ThreadEnv*>(env)), impl(*te.impl), function(function), lock(impl.mutex)
    {
        if (!te.attached || te.thread != std::this_thread::get_id()) {
            report(Rule::WrongThread, "the JNIEnv of thread \"" + te.threadName + "\"" +
                                          (te.attached ? " used on another thread" : " used after it was detached"));
        }
        if (te.critical > 0 && !(allow & kCriticalSafe)) {
            report(Rule::CriticalRegion, "called between Get*Critical and Release*Critical");
        }
        if (te.pending && !(allow & kExceptionSafe)) {
            report(Rule::ExceptionPending, "pending " + describe(*te.pending));
        }
    }

    void report(Rule rule, const std::string& detail) { impl.report(rule, function, detail); }
    ObjectPtr resolve(jobject ref) { return impl.resolve(te, ref, function); }
    jobject local(ObjectPtr object) { return impl.newLocal(te, std::move(object)); }
    void throwNew(const std::string& className, const std::string& message) { impl.throwNew(te, className, message); }
    bool failsWithOutOfMemory(Fault fault)
    {
        if (!impl.shouldFail(fault))
            return false;
        impl.throwOutOfMemory(te, std::string("injected failure of ") + function);
        return true;
    }

    ObjectPtr require(jobject ref, const char* what)
    {
        if (!ref) {
            report(Rule::NullArgument, std::string(what) + " is null");
            return nullptr;
        }
        return resolve(ref);
    }
    Class* requireClass(jobject ref)
    {
        ObjectPtr object = require(ref, "the class");
        if (object && !object->mirrorOf)
            report(Rule::WrongObjectType, "a " + object->className() + " given as a jclass");
        return object ? object->mirrorOf : nullptr;
    }
    ObjectPtr requireString(jobject ref)
    {
        ObjectPtr object = require(ref, "the string");
        if (object && !object->isString()) {
            report(Rule::WrongObjectType, "a " + object->className() + " given as a jstring");
            return nullptr;
        }
        return object;
    }
    // kind: "[B" for byte arrays, "[L" for object arrays, "[" for any array, "[P" for primitive arrays
    ObjectPtr requireArray(jobject ref, const std::string& kind)
    {
        ObjectPtr object = require(ref, "the array");
        if (!object)
            return nullptr;
        const std::string& name = object->className();
        bool isObjectArray = name.size() > 2 && (name[1] == 'L' || name[1] == '[');
        bool matches = name[0] == '[' && (kind == "[" || (kind == "[L" && isObjectArray) ||
                                          (kind == "[P" && !isObjectArray) || kind == name);
        if (!matches) {
            report(Rule::WrongObjectType, "a " + name + " given where a " + kind + " array is required");
            return nullptr;
        }
        return object;
    }
    const Method* method(jmethodID id)
    {
        const Method* m = reinterpret_cast<const Method*>(id);
        if (!id) {
            report(Rule::NullArgument, "the method ID is null");
        } else if (!impl.methodIds.count(m)) {
            report(Rule::ForeignReference, "a method ID that GetMethodID/GetStaticMethodID never returned");
            return nullptr;
        }
        return m;
    }
    bool outOfBounds(jsize start, jsize length, std::size_t size, const char* exceptionClass)
    {
        if (start >= 0 && length >= 0 && static_cast<std::size_t>(start) + length <= size)
            return false;
        throwNew(exceptionClass, "Array region " + std::to_string(start) + ".." + std::to_string(start + length) +
                                     " out of bounds for length " + std::to_string(size));
        return true;
    }

    ThreadEnv& te;
    StrictJni::Impl& impl;
    const char* function;
    std::unique_lock<std::recursive_mutex> lock;
};

ThreadEnv& threadOf(JNIEnv* env)
{
    return *reinterpret_cast<ThreadEnv*>(env);
}

// ---- Buffers handed out by Get*Chars, Get*Elements and Get*Critical ----

template <typename T>
T* handOut(Scope& s, BufferKind kind, const ObjectPtr& object, const T* data, std::size_t count, jboolean* isCopy)
{
    T* buffer = static_cast<T*>(std::calloc(count + 1, sizeof(T))); // one more: zero-terminated
    if (count)
        std::memcpy(buffer, data, count * sizeof(T));
    s.impl.buffers[buffer] = Buffer{kind, object, &s.te};
    if (isCopy)
        *isCopy = JNI_TRUE;
    return buffer;
}

// Checks that the buffer was handed out for this object by the matching Get
// function; forgets it unless keep is set.
bool takeBack(Scope& s, const void* buffer, BufferKind kind, const ObjectPtr& object, bool keep)
{
    auto found = s.impl.buffers.find(buffer);
    if (!buffer || found == s.impl.buffers.end()) {
        s.report(Rule::ReleaseMismatch, "the buffer was not handed out, or was already released");
        return false;
    }
    if (found->second.kind != kind || found->second.object != object) {
        s.report(Rule::ReleaseMismatch, "the buffer was handed out by another function or for another object");
        return false;
    }
    if (!keep)
        s.impl.buffers.erase(found);
    return true;
}

void releaseArray(Scope& s, jobject array, void* elements, jint mode, BufferKind kind)
{
    ObjectPtr object = s.requireArray(array, "[P");
    if (!object)
        return;
    if (mode != 0 && mode != JNI_COMMIT && mode != JNI_ABORT) {
        s.report(Rule::BadArgument, "release mode " + std::to_string(mode));
        return;
    }
    if (!takeBack(s, elements, kind, object, mode == JNI_COMMIT))
        return;
    if (mode != JNI_ABORT)
        std::memcpy(object->bytes.data(), elements, object->bytes.size());
    if (mode != JNI_COMMIT)
        std::free(elements);
}

void releaseString(Scope& s, jobject string, const void* chars, BufferKind kind)
{
    ObjectPtr object = s.requireString(string);
    if (object && takeBack(s, chars, kind, object, false))
        std::free(const_cast<void*>(chars));
}

// ---- Arguments, decoded by the method's descriptor ----

class VaArgs {
public:
    explicit VaArgs(va_list args) { va_copy(args_, args); }
    ~VaArgs() { va_end(args_); }
    VaArgs(const VaArgs&) = delete;
    VaArgs& operator=(const VaArgs&) = delete;
    void read(char letter, Value& value)
    {
        switch (letter) {
        case 'Z':
            value.raw.z = static_cast<jboolean>(va_arg(args_, int));
            break;
        case 'B':
            value.raw.b = static_cast<jbyte>(va_arg(args_, int));
            break;
        case 'C':
            value.raw.c = static_cast<jchar>(va_arg(args_, int));
            break;
        case 'S':
            value.raw.s = static_cast<jshort>(va_arg(args_, int));
            break;
        case 'I':
            value.raw.i = va_arg(args_, jint);
            break;
        case 'J':
            value.raw.j = va_arg(args_, jlong);
            break;
        case 'F':
            value.raw.f = static_cast<jfloat>(va_arg(args_, double));
            break;
        case 'D':
            value.raw.d = va_arg(args_, double);
            break;
        default:
            value.raw.l = va_arg(args_, jobject);
            break;
        }
    }

private:
    va_list args_;
};

class ArrayArgs {
public:
    explicit ArrayArgs(const jvalue* args) : args_(args) {}
    void read(char, Value& value) { value.raw = args_[next_++]; }

private:
    const jvalue* args_;
    std::size_t next_ = 0;
};

template <typename Args>
std::vector<Value> decodeArguments(Scope& s, const Method& method, Args& args)
{
    std::vector<Value> values;
    std::vector<std::string> types = parameterTypes(method.descriptor);
    for (std::size_t i = 0; i < types.size(); ++i) {
        const std::string& type = types[i];
        Value value;
        value.type = type[0] == '[' ? 'L' : type[0];
        args.read(type[0], value);
        if (value.type == 'L') {
            value.object = s.resolve(value.raw.l);
            value.raw.l = nullptr;
            Class* declared = s.impl.lookUpClass(type[0] == 'L' ? type.substr(1, type.size() - 2) : type);
            if (value.object && declared && !value.object->cls->isSubclassOf(declared)) {
                s.report(Rule::MethodMismatch, "argument " + std::to_string(i + 1) + " of " + method.owner->name + "." +
                                                   method.name + method.descriptor + " is a " +
                                                   value.object->className());
            }
        }
        values.push_back(std::move(value));
    }
    return values;
}

// ---- Calls: constructors and methods, with bound handlers ----

// Each JNI value type's descriptor letter and the name in its Call<Name>Method functions.
template <typename T>
struct JType;
#define TAVRIN_JTYPE(type, descriptor, label)                                                                          \
    template <>                                                                                                        \
    struct JType<type> {                                                                                               \
        static constexpr char letter = descriptor;                                                                     \
        static constexpr const char* name = label;                                                                     \
    };
TAVRIN_JTYPE(jobject, 'L', "Object")
TAVRIN_JTYPE(jboolean, 'Z', "Boolean")
TAVRIN_JTYPE(jbyte, 'B', "Byte")
TAVRIN_JTYPE(jchar, 'C', "Char")
TAVRIN_JTYPE(jshort, 'S', "Short")
TAVRIN_JTYPE(jint, 'I', "Int")
TAVRIN_JTYPE(jlong, 'J', "Long")
TAVRIN_JTYPE(jfloat, 'F', "Float")
TAVRIN_JTYPE(jdouble, 'D', "Double")
TAVRIN_JTYPE(void, 'V', "Void")
#undef TAVRIN_JTYPE

template <typename T>
T fromValue(const Value& value)
{
    if constexpr (std::is_same_v<T, jboolean>)
        return value.raw.z;
    else if constexpr (std::is_same_v<T, jbyte>)
        return value.raw.b;
    else if constexpr (std::is_same_v<T, jchar>)
        return value.raw.c;
    else if constexpr (std::is_same_v<T, jshort>)
        return value.raw.s;
    else if constexpr (std::is_same_v<T, jint>)
        return value.raw.i;
    else if constexpr (std::is_same_v<T, jlong>)
        return value.raw.j;
    else if constexpr (std::is_same_v<T, jfloat>)
        return value.raw.f;
    else
        return value.raw.d;
}

MethodHandler handlerFor(Scope& s, const Method& method)
{
    auto found = s.impl.handlers.find(&method);
    return found == s.impl.handlers.end() ? MethodHandler() : found->second;
}

// Runs a bound handler with the lock released (it may call back into JNI).
Value runHandler(JNIEnv* env, const MethodHandler& handler, const Method& method, ObjectPtr self,
                 const std::vector<Value>& args)
{
    Invocation invocation{env, method, std::move(self), args};
    return handler(invocation);
}

template <typename Args>
jobject newObjectWith(JNIEnv* env, const char* function, jclass clazz, jmethodID id, Args& args)
{
    ObjectPtr created;
    MethodHandler handler;
    const Method* constructor = nullptr;
    {
        Scope s(env, function);
        Class* cls = s.requireClass(clazz);
        constructor = s.method(id);
        if (!cls || !constructor)
            return nullptr;
        if (constructor->name != "<init>" || constructor->owner != cls) {
            s.report(Rule::MethodMismatch, constructor->owner->name + "." + constructor->name +
                                               constructor->descriptor + " is not a constructor of " + cls->name);
            return nullptr;
        }
        if (cls->isAbstract) {
            s.report(Rule::WrongObjectType, cls->name + " is abstract");
            return nullptr;
        }
        if (s.impl.failingClasses.count(cls->name)) {
            s.impl.throwOutOfMemory(s.te, "injected failure of NewObject of " + cls->name);
            return nullptr;
        }
        if (s.failsWithOutOfMemory(Fault::NewObject))
            return nullptr;
        created = s.impl.newObject(*cls);
        created->constructor = constructor;
        created->constructorArgs = decodeArguments(s, *constructor, args);
        handler = handlerFor(s, *constructor);
    }
    if (handler)
        runHandler(env, handler, *constructor, created, created->constructorArgs);
    ThreadEnv& te = threadOf(env);
    std::lock_guard<std::recursive_mutex> lock(te.impl->mutex);
    return te.pending ? nullptr : te.impl->newLocal(te, created); // a throwing constructor makes nothing
}

template <typename T>
std::string callName(bool isStatic, const char* form)
{
    return std::string(isStatic ? "CallStatic" : "Call") + JType<T>::name + "Method" + form;
}

template <typename T, typename Args>
T callMethod(JNIEnv* env, const std::string& function, jobject target, jmethodID id, Args& args, bool isStatic)
{
    const Method* method = nullptr;
    MethodHandler handler;
    ObjectPtr self;
    std::vector<Value> decoded;
    {
        Scope s(env, function.c_str());
        method = s.method(id);
        if (!method)
            return T();
        const std::string full = method->owner->name + "." + method->name + method->descriptor;
        if (method->isStatic != isStatic) {
            s.report(Rule::WrongMethodKind, full + (method->isStatic ? " is static" : " is an instance method"));
            return T();
        }
        if (method->name == "<init>" || returnLetter(method->descriptor) != JType<T>::letter) {
            s.report(Rule::MethodMismatch, full + " called through " + function);
            return T();
        }
        Class* cls = isStatic ? s.requireClass(target) : nullptr;
        ObjectPtr object = isStatic ? nullptr : s.require(target, "the object");
        if (!isStatic && object)
            cls = object->cls;
        if (!cls)
            return T();
        if (!cls->isSubclassOf(method->owner)) {
            s.report(Rule::MethodMismatch, full + " called on a " + cls->name);
            return T();
        }
        decoded = decodeArguments(s, *method, args);
        (isStatic ? method->owner->mirror : object)->calls.push_back(Call{method, decoded});
        handler = handlerFor(s, *method);
        self = object;
    }
    if (!handler)
        return T();
    Value result = runHandler(env, handler, *method, self, decoded);
    if constexpr (std::is_same_v<T, jobject>) {
        ThreadEnv& te = threadOf(env);
        std::lock_guard<std::recursive_mutex> lock(te.impl->mutex);
        return te.pending ? nullptr : te.impl->newLocal(te, result.object);
    } else if constexpr (!std::is_void_v<T>) {
        return fromValue<T>(result);
    }
}

template <bool Static>
using Receiver = std::conditional_t<Static, jclass, jobject>;

template <typename T, bool Static>
T JNICALL callA(JNIEnv* env, Receiver<Static> target, jmethodID id, const jvalue* args)
{
    ArrayArgs reader(args);
    return callMethod<T>(env, callName<T>(Static, "A"), target, id, reader, Static);
}

template <typename T, bool Static>
T JNICALL callV(JNIEnv* env, Receiver<Static> target, jmethodID id, va_list args)
{
    VaArgs reader(args);
    return callMethod<T>(env, callName<T>(Static, "V"), target, id, reader, Static);
}

template <typename T, bool Static>
T JNICALL callVariadic(JNIEnv* env, Receiver<Static> target, jmethodID id, ...)
{
    va_list args;
    va_start(args, id);
    VaArgs reader(args);
    va_end(args);
    return callMethod<T>(env, callName<T>(Static, ""), target, id, reader, Static);
}

// ---- Classes ----

jint JNICALL GetVersion(JNIEnv* env)
{
    Scope s(env, "GetVersion");
    return JNI_VERSION_1_8;
}

jclass JNICALL DefineClass(JNIEnv* env, const char* name, jobject loader, const jbyte* buf, jsize len)
{
    Scope s(env, "DefineClass");
    ObjectPtr loaderObject = s.resolve(loader);
    if (!buf || len < 0) {
        s.report(buf ? Rule::BadArgument : Rule::NullArgument, "no class bytes");
        return nullptr;
    }
    ParsedClass parsed;
    std::string problem;
    if (!parseClassFile(reinterpret_cast<const unsigned char*>(buf), len, parsed, &problem)) {
        s.throwNew("java/lang/ClassFormatError", problem);
        return nullptr;
    }
    if (name && parsed.name != name) {
        s.throwNew("java/lang/NoClassDefFoundError", std::string(name) + " (wrong name: " + parsed.name + ")");
        return nullptr;
    }
    for (const DefinedClass& earlier : s.impl.defined) {
        if (earlier.name == parsed.name && earlier.loader == loaderObject) {
            s.throwNew("java/lang/LinkageError", "duplicate class definition: " + parsed.name);
            return nullptr;
        }
    }
    if (!parsed.super.empty() && !s.impl.lookUpClass(parsed.super)) {
        s.throwNew("java/lang/NoClassDefFoundError", parsed.super);
        return nullptr;
    }
    Class& cls = s.impl.addClass(parsed.name, parsed.super);
    cls.isAbstract = parsed.isAbstract;
    // A class of the compiled table keeps its methods (and their IDs); the file adds any others.
    for (const ParsedClass::Member& m : parsed.methods) {
        if (!cls.declared(m.name, m.descriptor))
            s.impl.addMethod(cls, m.name, m.descriptor, m.isStatic, m.isNative);
    }
    s.impl.defined.push_back(DefinedClass{parsed.name, loaderObject, std::vector<jbyte>(buf, buf + len)});
    return static_cast<jclass>(s.local(cls.mirror));
}

jclass JNICALL FindClass(JNIEnv* env, const char* name)
{
    Scope s(env, "FindClass");
    if (!name) {
        s.report(Rule::NullArgument, "the class name is null");
        return nullptr;
    }
    Class* cls = s.impl.hiddenClasses.count(name) ? nullptr : s.impl.lookUpClass(name);
    if (!cls) {
        s.throwNew("java/lang/NoClassDefFoundError", name);
        return nullptr;
    }
    return static_cast<jclass>(s.local(cls->mirror));
}

jclass JNICALL GetSuperclass(JNIEnv* env, jclass clazz)
{
    Scope s(env, "GetSuperclass");
    Class* cls = s.requireClass(clazz);
    return cls && cls->super ? static_cast<jclass>(s.local(cls->super->mirror)) : nullptr;
}

jboolean JNICALL IsAssignableFrom(JNIEnv* env, jclass sub, jclass super)
{
    Scope s(env, "IsAssignableFrom");
    Class* from = s.requireClass(sub);
    Class* to = s.requireClass(super);
    return from && to && from->isSubclassOf(to) ? JNI_TRUE : JNI_FALSE;
}

jmethodID lookUpMethodId(JNIEnv* env, const char* function, jclass clazz, const char* name, const char* sig,
                         bool isStatic)
{
    Scope s(env, function);
    Class* cls = s.requireClass(clazz);
    if (!name || !sig)
        s.report(Rule::NullArgument, "the method name or descriptor is null");
    if (!cls || !name || !sig)
        return nullptr;
    const Method* method = s.impl.lookUpMethod(*cls, name, sig);
    if (!method || method->isStatic != isStatic) {
        s.throwNew("java/lang/NoSuchMethodError", cls->name + "." + name + sig);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(const_cast<Method*>(method));
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig)
{
    return lookUpMethodId(env, "GetMethodID", clazz, name, sig, false);
}

jmethodID JNICALL GetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig)
{
    return lookUpMethodId(env, "GetStaticMethodID", clazz, name, sig, true);
}

jint JNICALL RegisterNatives(JNIEnv* env, jclass clazz, const JNINativeMethod* methods, jint count)
{
    Scope s(env, "RegisterNatives");
    Class* cls = s.requireClass(clazz);
    if (!cls)
        return JNI_ERR;
    if (count < 0 || (!methods && count > 0)) {
        s.report(Rule::BadArgument, "a method table of " + std::to_string(count) + " entries");
        return JNI_ERR;
    }
    for (jint i = 0; i < count; ++i) {
        const JNINativeMethod& entry = methods[i];
        if (!entry.name || !entry.signature || !entry.fnPtr) {
            s.report(Rule::NullArgument, "entry " + std::to_string(i) + " has a null name, signature or function");
            return JNI_ERR;
        }
        Method* method = const_cast<Method*>(cls->declared(entry.name, entry.signature));
        if (!method || !method->isNative) {
            s.throwNew("java/lang/NoSuchMethodError",
                       std::string("Method '") + entry.name + entry.signature + "' name or signature does not match " +
                           (method ? "a native method" : "any method") + " of " + dotted(cls->name));
            return JNI_ERR;
        }
        method->nativeFunction = entry.fnPtr;
    }
    return JNI_OK;
}

jint JNICALL UnregisterNatives(JNIEnv* env, jclass clazz)
{
    Scope s(env, "UnregisterNatives");
    Class* cls = s.requireClass(clazz);
    if (!cls)
        return JNI_ERR;
    for (auto& method : cls->methods)
        method->nativeFunction = nullptr;
    return JNI_OK;
}

// ---- Exceptions ----

jint JNICALL Throw(JNIEnv* env, jthrowable obj)
{
    Scope s(env, "Throw");
    ObjectPtr throwable = s.require(obj, "the throwable");
    if (!throwable)
        return JNI_ERR;
    if (!throwable->cls->isSubclassOf(s.impl.lookUpClass("java/lang/Throwable"))) {
        s.report(Rule::WrongObjectType, "a " + throwable->className() + " is not a Throwable");
        return JNI_ERR;
    }
    s.te.pending = throwable;
    return JNI_OK;
}

jint JNICALL ThrowNew(JNIEnv* env, jclass clazz, const char* msg)
{
    const Method* constructor = nullptr;
    ObjectPtr created;
    MethodHandler handler;
    {
        Scope s(env, "ThrowNew");
        Class* cls = s.requireClass(clazz);
        if (!cls)
            return JNI_ERR;
        if (!cls->isSubclassOf(s.impl.lookUpClass("java/lang/Throwable"))) {
            s.report(Rule::WrongObjectType, cls->name + " is not a Throwable");
            return JNI_ERR;
        }
        constructor = cls->declared("<init>", "(Ljava/lang/String;)V");
        if (!constructor || s.impl.isHidden(*cls, "<init>")) {
            s.throwNew("java/lang/NoSuchMethodError", cls->name + ".<init>(Ljava/lang/String;)V");
            return JNI_ERR;
        }
        std::u16string text;
        std::string problem;
        if (msg && !utf16FromModifiedUtf8(msg, text, &problem))
            s.report(Rule::InvalidModifiedUtf8, problem);
        created = s.impl.newObject(*cls);
        created->constructor = constructor;
        created->constructorArgs.push_back(Value::of(msg ? s.impl.newString(text) : nullptr));
        handler = handlerFor(s, *constructor);
    }
    if (handler)
        runHandler(env, handler, *constructor, created, created->constructorArgs);
    ThreadEnv& te = threadOf(env);
    std::lock_guard<std::recursive_mutex> lock(te.impl->mutex);
    if (te.pending)
        return JNI_ERR; // the constructor threw instead
    te.pending = created;
    return JNI_OK;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env)
{
    Scope s(env, "ExceptionOccurred", kExceptionSafe);
    return static_cast<jthrowable>(s.local(s.te.pending));
}

// As a JVM does: the throwable and a stack line on standard error, then cleared.
void JNICALL ExceptionDescribe(JNIEnv* env)
{
    Scope s(env, "ExceptionDescribe", kExceptionSafe);
    if (!s.te.pending)
        return;
    std::fprintf(stderr, "Exception in thread \"%s\" %s\n\tat %s.<init>(Native Method)\n", s.te.threadName.c_str(),
                 describe(*s.te.pending).c_str(), dotted(s.te.pending->className()).c_str());
    std::fflush(stderr);
    s.te.pending.reset();
}

void JNICALL ExceptionClear(JNIEnv* env)
{
    Scope s(env, "ExceptionClear", kExceptionSafe);
    s.te.pending.reset();
}

jboolean JNICALL ExceptionCheck(JNIEnv* env)
{
    Scope s(env, "ExceptionCheck", kExceptionSafe);
    return s.te.pending ? JNI_TRUE : JNI_FALSE;
}

// ---- References and frames ----

jint JNICALL PushLocalFrame(JNIEnv* env, jint capacity)
{
    Scope s(env, "PushLocalFrame", kExceptionSafe);
    if (capacity < 0) {
        s.report(Rule::BadArgument, "capacity " + std::to_string(capacity));
        return JNI_ERR;
    }
    if (s.failsWithOutOfMemory(Fault::PushLocalFrame))
        return JNI_ERR;
    s.te.frames.push_back({FrameKind::Pushed, {}});
    return JNI_OK;
}

jobject JNICALL PopLocalFrame(JNIEnv* env, jobject result)
{
    Scope s(env, "PopLocalFrame", kExceptionSafe);
    ObjectPtr kept = s.resolve(result);
    if (s.te.frames.back().kind != FrameKind::Pushed) {
        s.report(Rule::UnbalancedFrames, "PopLocalFrame without a matching PushLocalFrame");
        return result;
    }
    s.impl.popFrame(s.te);
    return s.local(kept);
}

jobject JNICALL NewGlobalRef(JNIEnv* env, jobject ref)
{
    Scope s(env, "NewGlobalRef");
    return s.impl.newGlobal(s.resolve(ref));
}

jobject JNICALL NewLocalRef(JNIEnv* env, jobject ref)
{
    Scope s(env, "NewLocalRef");
    return s.local(s.resolve(ref));
}

void deleteReference(JNIEnv* env, const char* function, jobject ref, RefKind kind)
{
    Scope s(env, function, kExceptionSafe);
    if (!ref)
        return;
    if (!s.resolve(ref))
        return; // reported: unknown, deleted, or another thread's
    Ref& r = s.impl.refs[reinterpret_cast<std::uintptr_t>(ref)];
    if (r.kind != kind) {
        s.report(Rule::ForeignReference, kind == RefKind::Local ? "a global reference given to DeleteLocalRef"
                                                                : "a local reference given to DeleteGlobalRef");
        return;
    }
    s.impl.deleteRef(reinterpret_cast<std::uintptr_t>(ref));
}

void JNICALL DeleteGlobalRef(JNIEnv* env, jobject ref)
{
    deleteReference(env, "DeleteGlobalRef", ref, RefKind::Global);
}
void JNICALL DeleteLocalRef(JNIEnv* env, jobject ref)
{
    deleteReference(env, "DeleteLocalRef", ref, RefKind::Local);
}

jboolean JNICALL IsSameObject(JNIEnv* env, jobject a, jobject b)
{
    Scope s(env, "IsSameObject");
    return s.resolve(a) == s.resolve(b) ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL EnsureLocalCapacity(JNIEnv* env, jint capacity)
{
    Scope s(env, "EnsureLocalCapacity");
    if (capacity < 0)
        s.report(Rule::BadArgument, "capacity " + std::to_string(capacity));
    return capacity < 0 ? JNI_ERR : JNI_OK;
}

jobjectRefType JNICALL GetObjectRefType(JNIEnv* env, jobject ref)
{
    Scope s(env, "GetObjectRefType");
    auto found = s.impl.refs.find(reinterpret_cast<std::uintptr_t>(ref));
    if (!ref || found == s.impl.refs.end() || !found->second.alive)
        return JNIInvalidRefType;
    return found->second.kind == RefKind::Local ? JNILocalRefType : JNIGlobalRefType;
}

// ---- Objects ----

jobject JNICALL NewObjectA(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* args)
{
    ArrayArgs reader(args);
    return newObjectWith(env, "NewObjectA", clazz, id, reader);
}

jobject JNICALL NewObjectV(JNIEnv* env, jclass clazz, jmethodID id, va_list args)
{
    VaArgs reader(args);
    return newObjectWith(env, "NewObjectV", clazz, id, reader);
}

jobject JNICALL NewObject(JNIEnv* env, jclass clazz, jmethodID id, ...)
{
    va_list args;
    va_start(args, id);
    VaArgs reader(args);
    va_end(args);
    return newObjectWith(env, "NewObject", clazz, id, reader);
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject obj)
{
    Scope s(env, "GetObjectClass");
    ObjectPtr object = s.require(obj, "the object");
    return object ? static_cast<jclass>(s.local(object->cls->mirror)) : nullptr;
}

jboolean JNICALL IsInstanceOf(JNIEnv* env, jobject obj, jclass clazz)
{
    Scope s(env, "IsInstanceOf");
    Class* cls = s.requireClass(clazz);
    ObjectPtr object = s.resolve(obj);
    if (!cls)
        return JNI_FALSE;
    return !obj || (object && object->cls->isSubclassOf(cls)) ? JNI_TRUE : JNI_FALSE;
}

// ---- Strings ----

jstring JNICALL NewString(JNIEnv* env, const jchar* chars, jsize len)
{
    Scope s(env, "NewString");
    if (len < 0 || (!chars && len > 0)) {
        s.report(len < 0 ? Rule::BadArgument : Rule::NullArgument,
                 "no characters for a length of " + std::to_string(len));
        return nullptr;
    }
    std::u16string text(reinterpret_cast<const char16_t*>(chars), reinterpret_cast<const char16_t*>(chars) + len);
    return static_cast<jstring>(s.local(s.impl.newString(text)));
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring str)
{
    Scope s(env, "GetStringLength");
    ObjectPtr string = s.requireString(str);
    return string ? static_cast<jsize>(string->chars.size()) : 0;
}

const jchar* JNICALL GetStringChars(JNIEnv* env, jstring str, jboolean* isCopy)
{
    Scope s(env, "GetStringChars");
    ObjectPtr string = s.requireString(str);
    if (!string)
        return nullptr;
    return handOut(s, BufferKind::StringChars, string, reinterpret_cast<const jchar*>(string->chars.data()),
                   string->chars.size(), isCopy);
}

void JNICALL ReleaseStringChars(JNIEnv* env, jstring str, const jchar* chars)
{
    Scope s(env, "ReleaseStringChars", kExceptionSafe);
    releaseString(s, str, chars, BufferKind::StringChars);
}

jstring JNICALL NewStringUTF(JNIEnv* env, const char* utf)
{
    Scope s(env, "NewStringUTF");
    if (!utf) {
        s.report(Rule::NullArgument, "the bytes are null");
        return nullptr;
    }
    if (s.failsWithOutOfMemory(Fault::NewStringUTF))
        return nullptr;
    std::u16string text;
    std::string problem;
    if (!utf16FromModifiedUtf8(utf, text, &problem))
        s.report(Rule::InvalidModifiedUtf8, problem);
    return static_cast<jstring>(s.local(s.impl.newString(text)));
}

jsize JNICALL GetStringUTFLength(JNIEnv* env, jstring str)
{
    Scope s(env, "GetStringUTFLength");
    ObjectPtr string = s.requireString(str);
    return string ? static_cast<jsize>(modifiedUtf8FromUtf16(string->chars).size()) : 0;
}

const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring str, jboolean* isCopy)
{
    Scope s(env, "GetStringUTFChars");
    ObjectPtr string = s.requireString(str);
    if (!string || s.failsWithOutOfMemory(Fault::GetStringUTFChars))
        return nullptr;
    std::string bytes = modifiedUtf8FromUtf16(string->chars);
    return handOut(s, BufferKind::StringUtf, string, bytes.data(), bytes.size(), isCopy);
}

void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring str, const char* chars)
{
    Scope s(env, "ReleaseStringUTFChars", kExceptionSafe);
    releaseString(s, str, chars, BufferKind::StringUtf);
}

void JNICALL GetStringRegion(JNIEnv* env, jstring str, jsize start, jsize len, jchar* buf)
{
    Scope s(env, "GetStringRegion");
    ObjectPtr string = s.requireString(str);
    if (!string || s.outOfBounds(start, len, string->chars.size(), "java/lang/StringIndexOutOfBoundsException"))
        return;
    if (!buf && len > 0)
        s.report(Rule::NullArgument, "the buffer is null");
    if (buf)
        std::memcpy(buf, string->chars.data() + start, len * sizeof(jchar));
}

void JNICALL GetStringUTFRegion(JNIEnv* env, jstring str, jsize start, jsize len, char* buf)
{
    Scope s(env, "GetStringUTFRegion");
    ObjectPtr string = s.requireString(str);
    if (!string || s.outOfBounds(start, len, string->chars.size(), "java/lang/StringIndexOutOfBoundsException"))
        return;
    if (!buf) {
        s.report(Rule::NullArgument, "the buffer is null");
        return;
    }
    std::string bytes = modifiedUtf8FromUtf16(string->chars.substr(start, len));
    std::memcpy(buf, bytes.c_str(), bytes.size() + 1);
}

const jchar* JNICALL GetStringCritical(JNIEnv* env, jstring str, jboolean* isCopy)
{
    Scope s(env, "GetStringCritical", kCriticalSafe);
    ObjectPtr string = s.requireString(str);
    if (!string || s.failsWithOutOfMemory(Fault::GetStringCritical))
        return nullptr;
    ++s.te.critical;
    return handOut(s, BufferKind::StringCritical, string, reinterpret_cast<const jchar*>(string->chars.data()),
                   string->chars.size(), isCopy);
}

void JNICALL ReleaseStringCritical(JNIEnv* env, jstring str, const jchar* chars)
{
    Scope s(env, "ReleaseStringCritical", kCriticalSafe | kExceptionSafe);
    ObjectPtr string = s.requireString(str);
    if (!string || !takeBack(s, chars, BufferKind::StringCritical, string, false))
        return;
    std::free(const_cast<jchar*>(chars));
    --s.te.critical;
}

// ---- Arrays ----

jsize JNICALL GetArrayLength(JNIEnv* env, jarray array)
{
    Scope s(env, "GetArrayLength");
    ObjectPtr object = s.requireArray(array, "[");
    if (!object)
        return 0;
    bool isObjectArray = object->className()[1] == 'L' || object->className()[1] == '[';
    return static_cast<jsize>(isObjectArray ? object->elements.size() : object->bytes.size());
}

jobjectArray JNICALL NewObjectArray(JNIEnv* env, jsize len, jclass elementClass, jobject init)
{
    Scope s(env, "NewObjectArray");
    Class* element = s.requireClass(elementClass);
    ObjectPtr initial = s.resolve(init);
    if (!element)
        return nullptr;
    if (len < 0) {
        s.throwNew("java/lang/NegativeArraySizeException", std::to_string(len));
        return nullptr;
    }
    if (s.failsWithOutOfMemory(Fault::NewObjectArray))
        return nullptr;
    if (initial && !initial->cls->isSubclassOf(element)) {
        s.throwNew("java/lang/ArrayStoreException", dotted(initial->className()));
        return nullptr;
    }
    std::string name = element->name[0] == '[' ? "[" + element->name : "[L" + element->name + ";";
    ObjectPtr array = s.impl.newObject(*s.impl.lookUpClass(name));
    array->elements.assign(len, initial);
    return static_cast<jobjectArray>(s.local(array));
}

bool indexOutOfBounds(Scope& s, jsize index, std::size_t size)
{
    if (index >= 0 && static_cast<std::size_t>(index) < size)
        return false;
    s.throwNew("java/lang/ArrayIndexOutOfBoundsException",
               "Index " + std::to_string(index) + " out of bounds for length " + std::to_string(size));
    return true;
}

jobject JNICALL GetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index)
{
    Scope s(env, "GetObjectArrayElement");
    ObjectPtr object = s.requireArray(array, "[L");
    if (!object || indexOutOfBounds(s, index, object->elements.size()))
        return nullptr;
    return s.local(object->elements[index]);
}

void JNICALL SetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value)
{
    Scope s(env, "SetObjectArrayElement");
    ObjectPtr object = s.requireArray(array, "[L");
    ObjectPtr element = s.resolve(value);
    if (!object || indexOutOfBounds(s, index, object->elements.size()))
        return;
    if (element && !element->cls->isSubclassOf(object->cls->element)) {
        s.throwNew("java/lang/ArrayStoreException", dotted(element->className()));
        return;
    }
    object->elements[index] = element;
}

jbyteArray JNICALL NewByteArray(JNIEnv* env, jsize len)
{
    Scope s(env, "NewByteArray");
    if (len < 0) {
        s.throwNew("java/lang/NegativeArraySizeException", std::to_string(len));
        return nullptr;
    }
    if (s.failsWithOutOfMemory(Fault::NewByteArray))
        return nullptr;
    ObjectPtr array = s.impl.newObject(*s.impl.lookUpClass("[B"));
    array->bytes.assign(len, 0);
    return static_cast<jbyteArray>(s.local(array));
}

// Always a copy, so a missing copy-back (release mode) is visible.
jbyte* JNICALL GetByteArrayElements(JNIEnv* env, jbyteArray array, jboolean* isCopy)
{
    Scope s(env, "GetByteArrayElements");
    ObjectPtr object = s.requireArray(array, "[B");
    if (!object || s.failsWithOutOfMemory(Fault::GetByteArrayElements))
        return nullptr;
    return handOut(s, BufferKind::ByteElements, object, object->bytes.data(), object->bytes.size(), isCopy);
}

void JNICALL ReleaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elems, jint mode)
{
    Scope s(env, "ReleaseByteArrayElements", kExceptionSafe);
    releaseArray(s, array, elems, mode, BufferKind::ByteElements);
}

void JNICALL GetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize len, jbyte* buf)
{
    Scope s(env, "GetByteArrayRegion");
    ObjectPtr object = s.requireArray(array, "[B");
    if (!object || s.outOfBounds(start, len, object->bytes.size(), "java/lang/ArrayIndexOutOfBoundsException"))
        return;
    if (!buf && len > 0)
        s.report(Rule::NullArgument, "the buffer is null");
    if (buf && len > 0)
        std::memcpy(buf, object->bytes.data() + start, len);
}

void JNICALL SetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize len, const jbyte* buf)
{
    Scope s(env, "SetByteArrayRegion");
    ObjectPtr object = s.requireArray(array, "[B");
    if (!object || s.outOfBounds(start, len, object->bytes.size(), "java/lang/ArrayIndexOutOfBoundsException"))
        return;
    if (!buf && len > 0)
        s.report(Rule::NullArgument, "the buffer is null");
    if (buf && len > 0)
        std::memcpy(object->bytes.data() + start, buf, len);
}

void* JNICALL GetPrimitiveArrayCritical(JNIEnv* env, jarray array, jboolean* isCopy)
{
    Scope s(env, "GetPrimitiveArrayCritical", kCriticalSafe);
    ObjectPtr object = s.requireArray(array, "[P");
    if (!object || s.failsWithOutOfMemory(Fault::GetPrimitiveArrayCritical))
        return nullptr;
    ++s.te.critical;
    return handOut(s, BufferKind::ArrayCritical, object, object->bytes.data(), object->bytes.size(), isCopy);
}

void JNICALL ReleasePrimitiveArrayCritical(JNIEnv* env, jarray array, void* carray, jint mode)
{
    Scope s(env, "ReleasePrimitiveArrayCritical", kCriticalSafe | kExceptionSafe);
    std::size_t held = s.impl.buffers.size();
    releaseArray(s, array, carray, mode, BufferKind::ArrayCritical);
    if (s.impl.buffers.size() < held)
        --s.te.critical;
}

jint JNICALL GetJavaVM(JNIEnv* env, JavaVM** vm)
{
    Scope s(env, "GetJavaVM");
    if (!vm) {
        s.report(Rule::NullArgument, "the result pointer is null");
        return JNI_ERR;
    }
    *vm = &s.impl.vm.vm;
    return JNI_OK;
}

// ---- Slots the double does not implement: typed stubs that report ----

template <typename Name, typename F>
struct Unsupported;
template <typename Name, typename R, typename... A>
struct Unsupported<Name, R(JNICALL*)(JNIEnv*, A...)> {
    static R JNICALL call(JNIEnv* env, A...)
    {
        Scope s(env, Name::name());
        s.report(Rule::Unsupported, "");
        return R();
    }
};
template <typename Name, typename R, typename... A>
struct Unsupported<Name, R(JNICALL*)(JNIEnv*, A..., ...)> {
    static R JNICALL call(JNIEnv* env, A..., ...)
    {
        Scope s(env, Name::name());
        s.report(Rule::Unsupported, "");
        return R();
    }
};

#define STRICT_JNI_UNSUPPORTED(slot)                                                                                   \
    do {                                                                                                               \
        struct Name {                                                                                                  \
            static const char* name() { return #slot; }                                                                \
        };                                                                                                             \
        table.slot = &Unsupported<Name, decltype(table.slot)>::call;                                                   \
    } while (0)

#define STRICT_JNI_CALLS(Type, T)                                                                                      \
    table.Call##Type##Method = &callVariadic<T, false>;                                                                \
    table.Call##Type##MethodV = &callV<T, false>;                                                                      \
    table.Call##Type##MethodA = &callA<T, false>;                                                                      \
    table.CallStatic##Type##Method = &callVariadic<T, true>;                                                           \
    table.CallStatic##Type##MethodV = &callV<T, true>;                                                                 \
    table.CallStatic##Type##MethodA = &callA<T, true>;                                                                 \
    STRICT_JNI_UNSUPPORTED(CallNonvirtual##Type##Method);                                                              \
    STRICT_JNI_UNSUPPORTED(CallNonvirtual##Type##MethodV);                                                             \
    STRICT_JNI_UNSUPPORTED(CallNonvirtual##Type##MethodA)

#define STRICT_JNI_FIELDS(Type)                                                                                        \
    STRICT_JNI_UNSUPPORTED(Get##Type##Field);                                                                          \
    STRICT_JNI_UNSUPPORTED(Set##Type##Field);                                                                          \
    STRICT_JNI_UNSUPPORTED(GetStatic##Type##Field);                                                                    \
    STRICT_JNI_UNSUPPORTED(SetStatic##Type##Field)

#define STRICT_JNI_OTHER_ARRAYS(Type)                                                                                  \
    STRICT_JNI_UNSUPPORTED(New##Type##Array);                                                                          \
    STRICT_JNI_UNSUPPORTED(Get##Type##ArrayElements);                                                                  \
    STRICT_JNI_UNSUPPORTED(Release##Type##ArrayElements);                                                              \
    STRICT_JNI_UNSUPPORTED(Get##Type##ArrayRegion);                                                                    \
    STRICT_JNI_UNSUPPORTED(Set##Type##ArrayRegion)

JNINativeInterface_ makeFunctionTable()
{
    JNINativeInterface_ table{};
    table.GetVersion = &GetVersion;
    table.DefineClass = &DefineClass;
    table.FindClass = &FindClass;
    table.GetSuperclass = &GetSuperclass;
    table.IsAssignableFrom = &IsAssignableFrom;
    table.Throw = &Throw;
    table.ThrowNew = &ThrowNew;
    table.ExceptionOccurred = &ExceptionOccurred;
    table.ExceptionDescribe = &ExceptionDescribe;
    table.ExceptionClear = &ExceptionClear;
    table.ExceptionCheck = &ExceptionCheck;
    table.PushLocalFrame = &PushLocalFrame;
    table.PopLocalFrame = &PopLocalFrame;
    table.NewGlobalRef = &NewGlobalRef;
    table.DeleteGlobalRef = &DeleteGlobalRef;
    table.DeleteLocalRef = &DeleteLocalRef;
    table.IsSameObject = &IsSameObject;
    table.NewLocalRef = &NewLocalRef;
    table.EnsureLocalCapacity = &EnsureLocalCapacity;
    table.GetObjectRefType = &GetObjectRefType;
    table.NewObject = &NewObject;
    table.NewObjectV = &NewObjectV;
    table.NewObjectA = &NewObjectA;
    table.GetObjectClass = &GetObjectClass;
    table.IsInstanceOf = &IsInstanceOf;
    table.GetMethodID = &GetMethodID;
    table.GetStaticMethodID = &GetStaticMethodID;
    STRICT_JNI_CALLS(Object, jobject);
    STRICT_JNI_CALLS(Boolean, jboolean);
    STRICT_JNI_CALLS(Byte, jbyte);
    STRICT_JNI_CALLS(Char, jchar);
    STRICT_JNI_CALLS(Short, jshort);
    STRICT_JNI_CALLS(Int, jint);
    STRICT_JNI_CALLS(Long, jlong);
    STRICT_JNI_CALLS(Float, jfloat);
    STRICT_JNI_CALLS(Double, jdouble);
    STRICT_JNI_CALLS(Void, void);
    table.NewString = &NewString;
    table.GetStringLength = &GetStringLength;
    table.GetStringChars = &GetStringChars;
    table.ReleaseStringChars = &ReleaseStringChars;
    table.NewStringUTF = &NewStringUTF;
    table.GetStringUTFLength = &GetStringUTFLength;
    table.GetStringUTFChars = &GetStringUTFChars;
    table.ReleaseStringUTFChars = &ReleaseStringUTFChars;
    table.GetStringRegion = &GetStringRegion;
    table.GetStringUTFRegion = &GetStringUTFRegion;
    table.GetStringCritical = &GetStringCritical;
    table.ReleaseStringCritical = &ReleaseStringCritical;
    table.GetArrayLength = &GetArrayLength;
    table.NewObjectArray = &NewObjectArray;
    table.GetObjectArrayElement = &GetObjectArrayElement;
    table.SetObjectArrayElement = &SetObjectArrayElement;
    table.NewByteArray = &NewByteArray;
    table.GetByteArrayElements = &GetByteArrayElements;
    table.ReleaseByteArrayElements = &ReleaseByteArrayElements;
    table.GetByteArrayRegion = &GetByteArrayRegion;
    table.SetByteArrayRegion = &SetByteArrayRegion;
    table.GetPrimitiveArrayCritical = &GetPrimitiveArrayCritical;
    table.ReleasePrimitiveArrayCritical = &ReleasePrimitiveArrayCritical;
    table.RegisterNatives = &RegisterNatives;
    table.UnregisterNatives = &UnregisterNatives;
    table.GetJavaVM = &GetJavaVM;

    STRICT_JNI_UNSUPPORTED(FromReflectedMethod);
    STRICT_JNI_UNSUPPORTED(FromReflectedField);
    STRICT_JNI_UNSUPPORTED(ToReflectedMethod);
    STRICT_JNI_UNSUPPORTED(ToReflectedField);
    STRICT_JNI_UNSUPPORTED(FatalError);
    STRICT_JNI_UNSUPPORTED(AllocObject);
    STRICT_JNI_UNSUPPORTED(GetFieldID);
    STRICT_JNI_UNSUPPORTED(GetStaticFieldID);
    STRICT_JNI_FIELDS(Object);
    STRICT_JNI_FIELDS(Boolean);
    STRICT_JNI_FIELDS(Byte);
    STRICT_JNI_FIELDS(Char);
    STRICT_JNI_FIELDS(Short);
    STRICT_JNI_FIELDS(Int);
    STRICT_JNI_FIELDS(Long);
    STRICT_JNI_FIELDS(Float);
    STRICT_JNI_FIELDS(Double);
    STRICT_JNI_OTHER_ARRAYS(Boolean);
    STRICT_JNI_OTHER_ARRAYS(Char);
    STRICT_JNI_OTHER_ARRAYS(Short);
    STRICT_JNI_OTHER_ARRAYS(Int);
    STRICT_JNI_OTHER_ARRAYS(Long);
    STRICT_JNI_OTHER_ARRAYS(Float);
    STRICT_JNI_OTHER_ARRAYS(Double);
    STRICT_JNI_UNSUPPORTED(MonitorEnter);
    STRICT_JNI_UNSUPPORTED(MonitorExit);
    STRICT_JNI_UNSUPPORTED(NewWeakGlobalRef);
    STRICT_JNI_UNSUPPORTED(DeleteWeakGlobalRef);
    STRICT_JNI_UNSUPPORTED(NewDirectByteBuffer);
    STRICT_JNI_UNSUPPORTED(GetDirectBufferAddress);
    STRICT_JNI_UNSUPPORTED(GetDirectBufferCapacity);
    STRICT_JNI_UNSUPPORTED(GetModule);
    return table;
}

// ---- The JavaVM ----

StrictJni::Impl& implOf(JavaVM* vm)
{
    return *reinterpret_cast<VmHolder*>(vm)->impl;
}

jint JNICALL DestroyJavaVM(JavaVM* vm)
{
    StrictJni::Impl& impl = implOf(vm);
    std::function<void()> hook;
    {
        std::lock_guard<std::recursive_mutex> lock(impl.mutex);
        impl.destroyed = true;
        hook = impl.destroyHook;
    }
    if (hook)
        hook();
    return JNI_OK;
}

jint attachThread(JavaVM* vm, void** penv, void* args)
{
    StrictJni::Impl& impl = implOf(vm);
    std::lock_guard<std::recursive_mutex> lock(impl.mutex);
    const JavaVMAttachArgs* attachArgs = static_cast<const JavaVMAttachArgs*>(args);
    ThreadEnv& te = impl.attach(attachArgs && attachArgs->name ? attachArgs->name : "");
    if (penv)
        *penv = &te.env;
    return JNI_OK;
}

jint JNICALL AttachCurrentThread(JavaVM* vm, void** penv, void* args)
{
    return attachThread(vm, penv, args);
}
jint JNICALL AttachCurrentThreadAsDaemon(JavaVM* vm, void** penv, void* args)
{
    return attachThread(vm, penv, args);
}

jint JNICALL DetachCurrentThread(JavaVM* vm)
{
    StrictJni::Impl& impl = implOf(vm);
    std::lock_guard<std::recursive_mutex> lock(impl.mutex);
    auto found = impl.envs.find(std::this_thread::get_id());
    if (found == impl.envs.end())
        return JNI_EDETACHED;
    ThreadEnv& te = *found->second;
    while (!te.frames.empty())
        impl.popFrame(te);
    te.frames.push_back({FrameKind::Base, {}}); // a stale use still has somewhere to put its references
    te.attached = false;
    impl.detached.push_back(std::move(found->second)); // kept: a stale JNIEnv is then recognised
    impl.envs.erase(found);
    return JNI_OK;
}

jint JNICALL GetEnv(JavaVM* vm, void** penv, jint version)
{
    StrictJni::Impl& impl = implOf(vm);
    std::lock_guard<std::recursive_mutex> lock(impl.mutex);
    ThreadEnv* te = impl.current();
    if (penv)
        *penv = nullptr;
    if (!te)
        return JNI_EDETACHED;
    switch (version) {
    case JNI_VERSION_1_1:
    case JNI_VERSION_1_2:
    case JNI_VERSION_1_4:
    case JNI_VERSION_1_6:
    case JNI_VERSION_1_8:
        break;
    default:
        return JNI_EVERSION;
    }
    if (penv)
        *penv = &te->env;
    return JNI_OK;
}

} // namespace

const JNINativeInterface_* functionTable()
{
    static const JNINativeInterface_ table = makeFunctionTable();
    return &table;
}

const JNIInvokeInterface_* invokeTable()
{
    static const JNIInvokeInterface_ table = [] {
        JNIInvokeInterface_ t{};
        t.DestroyJavaVM = &DestroyJavaVM;
        t.AttachCurrentThread = &AttachCurrentThread;
        t.DetachCurrentThread = &DetachCurrentThread;
        t.GetEnv = &GetEnv;
        t.AttachCurrentThreadAsDaemon = &AttachCurrentThreadAsDaemon;
        return t;
    }();
    return &table;
}

} // namespace strictjni
