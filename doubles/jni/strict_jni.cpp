// The test-facing side of the strict JNI double: set-up, inspection, faults
// and the entry-point harness.
#include <stdexcept>

#include "strict_jni_internal.h"

namespace strictjni {
namespace {

const char* bufferSource(BufferKind kind)
{
    switch (kind) {
    case BufferKind::StringUtf:
        return "GetStringUTFChars";
    case BufferKind::StringChars:
        return "GetStringChars";
    case BufferKind::StringCritical:
        return "GetStringCritical";
    case BufferKind::ByteElements:
        return "GetByteArrayElements";
    case BufferKind::ArrayCritical:
        return "GetPrimitiveArrayCritical";
    }
    return "?";
}

constexpr const char* kReturn = "native method return";

} // namespace

StrictJni::StrictJni() : impl_(std::make_unique<Impl>())
{
    env();
}

StrictJni::~StrictJni()
{
    for (auto& buffer : impl_->buffers)
        std::free(const_cast<void*>(buffer.first));
}

JNIEnv* StrictJni::env()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return &impl_->attach("").env;
}

JavaVM* StrictJni::vm()
{
    return &impl_->vm.vm;
}

void StrictJni::setViolationHandler(ViolationHandler handler)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->violationHandler = std::move(handler);
}

std::vector<Violation> StrictJni::violations() const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->violations;
}

std::size_t StrictJni::violationCount(Rule rule) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    std::size_t count = 0;
    for (const Violation& v : impl_->violations)
        count += v.rule == rule;
    return count;
}

void StrictJni::clearViolations()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->violations.clear();
}

Class& StrictJni::defineClass(const std::string& name, const std::string& super)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->addClass(name, super);
}

Method& StrictJni::addMethod(const std::string& className, const std::string& name, const std::string& descriptor,
                             bool isStatic, bool isNative)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    Class* cls = impl_->lookUpClass(className);
    if (!cls)
        throw std::logic_error("no class " + className);
    return impl_->addMethod(*cls, name, descriptor, isStatic, isNative);
}

Class* StrictJni::findClass(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->hiddenClasses.count(name) ? nullptr : impl_->lookUpClass(name);
}

void StrictJni::bind(const std::string& className, const std::string& name, const std::string& descriptor,
                     MethodHandler handler)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    Class* cls = impl_->lookUpClass(className);
    const Method* method = cls ? cls->declared(name, descriptor) : nullptr;
    if (!method)
        throw std::logic_error("no method " + className + "." + name + descriptor);
    impl_->handlers[method] = std::move(handler);
}

void* StrictJni::registeredNative(const std::string& className, const std::string& name,
                                  const std::string& descriptor) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    Class* cls = impl_->lookUpClass(className);
    const Method* method = cls ? cls->declared(name, descriptor) : nullptr;
    return method ? method->nativeFunction : nullptr;
}

std::vector<DefinedClass> StrictJni::definedClasses() const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->defined;
}

jstring StrictJni::newString(const std::string& utf8)
{
    return newString(utf16FromUtf8(utf8));
}

jstring StrictJni::newString(const std::u16string& text)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return static_cast<jstring>(impl_->newLocal(impl_->attach(""), impl_->newString(text)));
}

jbyteArray StrictJni::newByteArray(const std::vector<jbyte>& bytes)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    ObjectPtr array = impl_->newObject(*impl_->lookUpClass("[B"));
    array->bytes = bytes;
    return static_cast<jbyteArray>(impl_->newLocal(impl_->attach(""), array));
}

jobjectArray StrictJni::newObjectArray(const std::string& elementClass, const std::vector<jobject>& elements)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    Class* array = impl_->lookUpClass(elementClass[0] == '[' ? "[" + elementClass : "[L" + elementClass + ";");
    if (!array)
        throw std::logic_error("no class " + elementClass);
    ObjectPtr object = impl_->newObject(*array);
    for (jobject element : elements)
        object->elements.push_back(this->object(element));
    return static_cast<jobjectArray>(impl_->newLocal(impl_->attach(""), object));
}

jclass StrictJni::classRef(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    Class* cls = impl_->lookUpClass(name);
    if (!cls)
        throw std::logic_error("no class " + name);
    return static_cast<jclass>(impl_->newLocal(impl_->attach(""), cls->mirror));
}

jobject StrictJni::globalRef(jobject ref)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->newGlobal(object(ref));
}

ObjectPtr StrictJni::object(jobject ref) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    if (!ref)
        return nullptr;
    auto found = impl_->refs.find(reinterpret_cast<std::uintptr_t>(ref));
    if (found == impl_->refs.end() || !found->second.alive)
        throw std::logic_error("not a live reference");
    return found->second.object;
}

std::string StrictJni::utf8(jobject string) const
{
    return utf8FromUtf16(utf16(string));
}

std::u16string StrictJni::utf16(jobject string) const
{
    ObjectPtr o = object(string);
    if (!o || !o->isString())
        throw std::logic_error("not a String");
    return o->chars;
}

std::vector<jbyte> StrictJni::bytes(jobject byteArray) const
{
    ObjectPtr o = object(byteArray);
    if (!o || o->className() != "[B")
        throw std::logic_error("not a byte[]");
    return o->bytes;
}

std::vector<Call> StrictJni::staticCalls(const std::string& className) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    Class* cls = impl_->lookUpClass(className);
    return cls ? cls->mirror->calls : std::vector<Call>();
}

std::size_t StrictJni::liveLocalReferences()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    ThreadEnv& te = impl_->attach("");
    std::size_t count = 0;
    for (const Frame& frame : te.frames) {
        for (std::uintptr_t token : frame.refs)
            count += impl_->refs[token].alive;
    }
    return count;
}

ObjectPtr StrictJni::pendingException() const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    ThreadEnv* te = impl_->current();
    return te ? te->pending : nullptr;
}

void StrictJni::clearPendingException()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    if (ThreadEnv* te = impl_->current())
        te->pending.reset();
}

ObjectPtr StrictJni::thrown() const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    ThreadEnv* te = impl_->current();
    return te ? te->thrown : nullptr;
}

void StrictJni::hideClass(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->hiddenClasses.insert(name);
}

void StrictJni::hideMethod(const std::string& className, const std::string& methodName)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->hiddenMethods.insert({className, methodName});
}

void StrictJni::failCall(Fault fault, int nth)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->faults[fault] = FaultPlan{nth, nth == 0};
}

void StrictJni::failNewObjectOf(const std::string& className)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->failingClasses.insert(className);
}

void StrictJni::clearFaults()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->faults.clear();
    impl_->failingClasses.clear();
    impl_->hiddenClasses.clear();
    impl_->hiddenMethods.clear();
}

bool StrictJni::destroyed() const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->destroyed;
}

std::size_t StrictJni::attachedThreads() const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->envs.size();
}

void StrictJni::onDestroy(std::function<void()> hook)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->destroyHook = std::move(hook);
}

// The JVM's side of a native method call: a fresh local frame holding the receiver.
jclass StrictJni::beginCall(const std::string& receiverClass)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    ThreadEnv& te = impl_->attach("");
    Class* cls = impl_->lookUpClass(receiverClass);
    if (!cls)
        throw std::logic_error("no class " + receiverClass);
    te.thrown.reset();
    te.frames.push_back({FrameKind::NativeMethod, {}});
    jobject receiver = impl_->newLocal(te, cls->mirror);
    te.callReceivers.push_back(reinterpret_cast<std::uintptr_t>(receiver));
    return static_cast<jclass>(receiver);
}

// The JVM's side of the return: everything the native method made must be
// released by now; its local frame goes, the result moves to the caller's frame,
// and a pending exception is thrown to the caller.
void StrictJni::endCall(jobject result)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    Impl& impl = *impl_;
    ThreadEnv& te = impl.attach("");
    if (te.critical > 0) {
        impl.report(Rule::CriticalRegion, kReturn, "a critical region is still open");
        te.critical = 0;
    }
    for (auto it = impl.buffers.begin(); it != impl.buffers.end();) {
        if (it->second.owner != &te) {
            ++it;
            continue;
        }
        impl.report(Rule::UnreleasedBuffer, kReturn,
                    std::string("a buffer from ") + bufferSource(it->second.kind) + " was not released");
        std::free(const_cast<void*>(it->first));
        it = impl.buffers.erase(it);
    }
    std::size_t pushed = 0;
    while (te.frames.back().kind == FrameKind::Pushed) {
        impl.popFrame(te);
        ++pushed;
    }
    if (pushed) {
        impl.report(Rule::UnbalancedFrames, kReturn, std::to_string(pushed) + " local frame(s) pushed and not popped");
    }
    std::uintptr_t resultToken = reinterpret_cast<std::uintptr_t>(result);
    std::uintptr_t receiver = te.callReceivers.back();
    te.callReceivers.pop_back();
    ObjectPtr resultObject;
    for (std::uintptr_t token : te.frames.back().refs) {
        const Ref& ref = impl.refs[token];
        if (!ref.alive)
            continue;
        if (token == resultToken) {
            resultObject = ref.object;
        } else if (token != receiver) {
            impl.report(Rule::LeakedLocalReference, kReturn, "a local reference to a " + ref.object->className());
        }
    }
    impl.popFrame(te);
    if (resultObject) { // the returned reference stays valid in the caller's frame
        impl.refs[resultToken].alive = true;
        impl.refs[resultToken].object = resultObject;
        te.frames.back().refs.push_back(resultToken);
    }
    te.thrown = te.pending;
    te.pending.reset();
}

} // namespace strictjni
