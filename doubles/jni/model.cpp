// The object model behind the strict JNI double: classes, objects, threads,
// references and violation reports.
#include <cstdio>
#include <stdexcept>

#include "strict_jni_internal.h"

namespace strictjni {
namespace {

struct BuiltIn {
    const char* name;
    const char* super;
};

// The JDK classes JNI itself needs: bases of the Java classes, and what a JVM
// throws from JNI functions.
constexpr BuiltIn kThrowables[] = {
    {"java/lang/Throwable", "java/lang/Object"},
    {"java/lang/Exception", "java/lang/Throwable"},
    {"java/lang/RuntimeException", "java/lang/Exception"},
    {"java/lang/ReflectiveOperationException", "java/lang/Exception"},
    {"java/lang/ClassNotFoundException", "java/lang/ReflectiveOperationException"},
    {"java/lang/IllegalArgumentException", "java/lang/RuntimeException"},
    {"java/lang/NullPointerException", "java/lang/RuntimeException"},
    {"java/lang/ArrayStoreException", "java/lang/RuntimeException"},
    {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException"},
    {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException"},
    {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
    {"java/lang/StringIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
    {"java/lang/Error", "java/lang/Throwable"},
    {"java/lang/VirtualMachineError", "java/lang/Error"},
    {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError"},
    {"java/lang/LinkageError", "java/lang/Error"},
    {"java/lang/NoClassDefFoundError", "java/lang/LinkageError"},
    {"java/lang/ClassFormatError", "java/lang/LinkageError"},
    {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError"},
    {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError"},
};

struct GeneratedMethod {
    const char* name;
    const char* descriptor;
    bool isStatic, isNative;
};
struct GeneratedClass {
    const char* name;
    const char* super;
    std::vector<GeneratedMethod> methods;
};

#define JAVA_CLASS(name, super)                                                                                        \
    {                                                                                                                  \
        name, super,                                                                                                   \
        {
#define JAVA_METHOD(name, descriptor, isStatic, isNative) {name, descriptor, isStatic, isNative},
#define JAVA_CLASS_END()                                                                                               \
    }                                                                                                                  \
    }                                                                                                                  \
    ,
const std::vector<GeneratedClass>& generatedClasses()
{
    static const std::vector<GeneratedClass> classes = {
#include "java_signatures.inc"
    };
    return classes;
}
#undef JAVA_CLASS
#undef JAVA_METHOD
#undef JAVA_CLASS_END

void printToStandardError(const Violation& violation)
{
    std::fprintf(stderr, "strict JNI: %s\n", violation.text().c_str());
    std::fflush(stderr);
}

} // namespace

const char* ruleText(Rule rule)
{
    switch (rule) {
    case Rule::ExceptionPending:
        return "JNI call while an exception is pending";
    case Rule::CriticalRegion:
        return "JNI call inside a critical region";
    case Rule::UnbalancedFrames:
        return "local frames not balanced";
    case Rule::DeletedReference:
        return "use of a deleted reference";
    case Rule::ForeignReference:
        return "use of a reference not valid here";
    case Rule::LeakedLocalReference:
        return "local reference leaked past the native method's return";
    case Rule::WrongMethodKind:
        return "method ID used with the wrong kind of call (static/instance)";
    case Rule::MethodMismatch:
        return "method ID does not match the call";
    case Rule::WrongObjectType:
        return "object of the wrong type";
    case Rule::NullArgument:
        return "null argument where JNI requires a value";
    case Rule::InvalidModifiedUtf8:
        return "bytes are not modified UTF-8";
    case Rule::ReleaseMismatch:
        return "release of a buffer not held";
    case Rule::UnreleasedBuffer:
        return "buffer from JNI not released at the native method's return";
    case Rule::WrongThread:
        return "JNIEnv used on a thread it does not belong to";
    case Rule::BadArgument:
        return "invalid argument";
    case Rule::Unsupported:
        return "unsupported JNI function";
    }
    return "unknown rule";
}

std::string Violation::text() const
{
    if (detail.empty())
        return std::string(ruleText(rule)) + " " + function;
    return std::string(ruleText(rule)) + " in " + function + ": " + detail;
}

std::string Value::utf8() const
{
    if (type != 'L' || !object || !object->isString())
        throw std::logic_error("value is not a String");
    return object->utf8();
}

Value Value::boolean(bool v)
{
    Value value;
    value.type = 'Z';
    value.raw.z = v ? JNI_TRUE : JNI_FALSE;
    return value;
}
Value Value::integer(jint v)
{
    Value value;
    value.type = 'I';
    value.raw.i = v;
    return value;
}
Value Value::longInt(jlong v)
{
    Value value;
    value.type = 'J';
    value.raw.j = v;
    return value;
}
Value Value::real(jdouble v)
{
    Value value;
    value.type = 'D';
    value.raw.d = v;
    return value;
}
Value Value::of(ObjectPtr object)
{
    Value value;
    value.type = 'L';
    value.object = std::move(object);
    return value;
}

const Method* Class::declared(const std::string& methodName, const std::string& descriptor) const
{
    for (const auto& method : methods) {
        if (method->name == methodName && method->descriptor == descriptor)
            return method.get();
    }
    return nullptr;
}

bool Class::isSubclassOf(const Class* other) const
{
    if (element && other->element)
        return element->isSubclassOf(other->element);
    for (const Class* c = this; c; c = c->super) {
        if (c == other)
            return true;
    }
    return false;
}

bool Object::isString() const
{
    return cls->name == "java/lang/String";
}

std::string Object::utf8() const
{
    return utf8FromUtf16(chars);
}

bool Object::hasMessage() const
{
    return !constructorArgs.empty() && constructorArgs[0].type == 'L' && constructorArgs[0].object &&
           constructorArgs[0].object->isString();
}

std::string Object::message() const
{
    return hasMessage() ? constructorArgs[0].object->utf8() : std::string();
}

std::vector<Call> Object::callsOf(const std::string& methodName) const
{
    std::vector<Call> found;
    for (const Call& call : calls) {
        if (call.method->name == methodName)
            found.push_back(call);
    }
    return found;
}

std::vector<std::string> parameterTypes(const std::string& descriptor)
{
    std::vector<std::string> types;
    std::size_t i = 1;
    while (i < descriptor.size() && descriptor[i] != ')') {
        std::size_t start = i;
        while (descriptor[i] == '[')
            ++i;
        if (descriptor[i] == 'L')
            i = descriptor.find(';', i);
        if (i == std::string::npos)
            break;
        ++i;
        types.push_back(descriptor.substr(start, i - start));
    }
    return types;
}

char returnLetter(const std::string& descriptor)
{
    std::size_t close = descriptor.find(')');
    if (close == std::string::npos || close + 1 >= descriptor.size())
        return '?';
    char letter = descriptor[close + 1];
    return letter == '[' ? 'L' : letter;
}

StrictJni::Impl::Impl()
{
    vm.vm.functions = invokeTable();
    vm.impl = this;
    violationHandler = printToStandardError;
    Class& object = addClass("java/lang/Object", "");
    giveMirror(object, addClass("java/lang/Class", "java/lang/Object")); // made before java/lang/Class existed
    addMethod(object, "<init>", "()V", false, false);
    addMethod(object, "toString", "()Ljava/lang/String;", false, false);
    for (const char* name : {"java/lang/String", "java/lang/Class", "java/lang/ClassLoader"}) {
        addMethod(addClass(name, "java/lang/Object"), "<init>", "()V", false, false);
    }
    for (const BuiltIn& throwable : kThrowables) {
        Class& cls = addClass(throwable.name, throwable.super);
        addMethod(cls, "<init>", "()V", false, false);
        addMethod(cls, "<init>", "(Ljava/lang/String;)V", false, false);
    }
    addMethod(*lookUpClass("java/lang/Throwable"), "getMessage", "()Ljava/lang/String;", false, false);
    for (const GeneratedClass& generated : generatedClasses()) {
        Class& cls = addClass(generated.name, generated.super);
        for (const GeneratedMethod& m : generated.methods) {
            addMethod(cls, m.name, m.descriptor, m.isStatic, m.isNative);
        }
    }
}

void StrictJni::Impl::report(Rule rule, const std::string& function, const std::string& detail)
{
    Violation violation{rule, function, detail};
    violations.push_back(violation);
    if (violationHandler)
        violationHandler(violation);
}

void StrictJni::Impl::giveMirror(Class& cls, Class& classClass)
{
    cls.mirror = newObject(classClass);
    cls.mirror->mirrorOf = &cls;
}

Class& StrictJni::Impl::addClass(const std::string& name, const std::string& super)
{
    auto& slot = classes[name];
    if (!slot) {
        slot = std::make_unique<Class>();
        slot->name = name;
        Class* mirrorClass = name == "java/lang/Class" ? slot.get() : lookUpClass("java/lang/Class");
        if (mirrorClass)
            giveMirror(*slot, *mirrorClass);
    }
    if (!super.empty())
        slot->super = lookUpClass(super) ? lookUpClass(super) : &addClass(super, "java/lang/Object");
    return *slot;
}

Method& StrictJni::Impl::addMethod(Class& cls, const std::string& name, const std::string& descriptor, bool isStatic,
                                   bool isNative)
{
    auto method = std::make_unique<Method>();
    method->name = name;
    method->descriptor = descriptor;
    method->isStatic = isStatic;
    method->isNative = isNative;
    method->owner = &cls;
    methodIds.insert(method.get());
    cls.methods.push_back(std::move(method));
    return *cls.methods.back();
}

Class* StrictJni::Impl::lookUpClass(const std::string& name)
{
    auto found = classes.find(name);
    if (found != classes.end())
        return found->second.get();
    if (name.size() < 2 || name[0] != '[')
        return nullptr;
    // Array classes exist once their component class does.
    std::string component = name.substr(1);
    Class* element = nullptr;
    if (component[0] == 'L' && component.back() == ';') {
        element = lookUpClass(component.substr(1, component.size() - 2));
    } else if (component[0] == '[') {
        element = lookUpClass(component);
    } else if (component.size() != 1 || std::string("ZBCSIJFD").find(component[0]) == std::string::npos) {
        return nullptr;
    }
    if ((component[0] == 'L' || component[0] == '[') && !element)
        return nullptr;
    Class& array = addClass(name, "java/lang/Object");
    array.element = element;
    return &array;
}

bool StrictJni::Impl::isHidden(const Class& cls, const std::string& methodName) const
{
    return hiddenMethods.count({cls.name, methodName}) != 0;
}

const Method* StrictJni::Impl::lookUpMethod(Class& cls, const std::string& name, const std::string& descriptor)
{
    // Constructors are not inherited; other methods are found in superclasses too.
    for (Class* c = &cls; c; c = name == "<init>" ? nullptr : c->super) {
        const Method* method = c->declared(name, descriptor);
        if (method && !isHidden(*c, name))
            return method;
    }
    return nullptr;
}

ObjectPtr StrictJni::Impl::newObject(Class& cls)
{
    auto object = std::make_shared<Object>();
    object->cls = &cls;
    return object;
}

ObjectPtr StrictJni::Impl::newString(const std::u16string& text)
{
    ObjectPtr string = newObject(*lookUpClass("java/lang/String"));
    string->chars = text;
    return string;
}

ObjectPtr StrictJni::Impl::newThrowable(const std::string& className, const std::string& message)
{
    Class* cls = lookUpClass(className);
    ObjectPtr throwable = newObject(*cls);
    throwable->constructor = cls->declared("<init>", "(Ljava/lang/String;)V");
    throwable->constructorArgs.push_back(Value::of(newString(utf16FromUtf8(message))));
    return throwable;
}

void StrictJni::Impl::throwNew(ThreadEnv& te, const std::string& className, const std::string& message)
{
    te.pending = newThrowable(className, message);
}

void StrictJni::Impl::throwOutOfMemory(ThreadEnv& te, const std::string& what)
{
    throwNew(te, "java/lang/OutOfMemoryError", what);
}

bool StrictJni::Impl::shouldFail(Fault fault)
{
    auto found = faults.find(fault);
    if (found == faults.end())
        return false;
    FaultPlan& plan = found->second;
    if (plan.always)
        return true;
    if (--plan.countdown > 0)
        return false;
    faults.erase(found);
    return true;
}

ThreadEnv& StrictJni::Impl::attach(const std::string& name)
{
    auto& slot = envs[std::this_thread::get_id()];
    if (!slot) {
        slot = std::make_unique<ThreadEnv>();
        slot->env.functions = functionTable();
        slot->impl = this;
        slot->thread = std::this_thread::get_id();
        slot->threadName =
            name.empty() ? (envs.size() == 1 ? "main" : "Thread-" + std::to_string(envs.size() - 1)) : name;
        slot->frames.push_back({FrameKind::Base, {}});
    }
    return *slot;
}

ThreadEnv* StrictJni::Impl::current()
{
    auto found = envs.find(std::this_thread::get_id());
    return found == envs.end() ? nullptr : found->second.get();
}

jobject StrictJni::Impl::newLocal(ThreadEnv& te, ObjectPtr object)
{
    if (!object)
        return nullptr;
    std::uintptr_t token = nextToken;
    nextToken += 8;
    refs[token] = Ref{std::move(object), RefKind::Local, &te, true};
    te.frames.back().refs.push_back(token);
    return reinterpret_cast<jobject>(token);
}

jobject StrictJni::Impl::newGlobal(ObjectPtr object)
{
    if (!object)
        return nullptr;
    std::uintptr_t token = nextToken;
    nextToken += 8;
    refs[token] = Ref{std::move(object), RefKind::Global, nullptr, true};
    return reinterpret_cast<jobject>(token);
}

ObjectPtr StrictJni::Impl::resolve(ThreadEnv& te, jobject ref, const char* function)
{
    if (!ref)
        return nullptr;
    char token[32];
    std::snprintf(token, sizeof token, "%p", static_cast<void*>(ref));
    auto found = refs.find(reinterpret_cast<std::uintptr_t>(ref));
    if (found == refs.end()) {
        report(Rule::ForeignReference, function, std::string("reference ") + token + " was never handed out");
        return nullptr;
    }
    const Ref& r = found->second;
    if (!r.alive) {
        report(Rule::DeletedReference, function, std::string("reference ") + token + " was deleted");
        return nullptr;
    }
    if (r.kind == RefKind::Local && r.owner != &te) {
        report(Rule::ForeignReference, function,
               std::string("reference ") + token + " is a local reference of thread \"" + r.owner->threadName + "\"");
        return nullptr;
    }
    return r.object;
}

void StrictJni::Impl::deleteRef(std::uintptr_t token)
{
    auto found = refs.find(token);
    if (found == refs.end())
        return;
    found->second.alive = false;
    found->second.object.reset();
}

void StrictJni::Impl::popFrame(ThreadEnv& te)
{
    for (std::uintptr_t token : te.frames.back().refs)
        deleteRef(token);
    te.frames.pop_back();
}

} // namespace strictjni
