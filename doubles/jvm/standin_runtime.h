// A stand-in for a Java runtime's client virtual machine, on the strict JNI
// double: there is no Windows JVM on this machine, so jvm.dll plays the part.
//
// It records the initialisation arguments it was given and plays the
// bootstrap class orlesk/tavrin/SecureLauncher: its main records the argument
// array, reads the application's main class (tavrin.mainClass) scrambled from
// the class path's stored jar, has the registered defineClass native restore
// and define it, and then does what that class's main does (prints the
// greeting of orlesk.tavrin.StdLauncher). The environment tells it what to do
// differently (TAVRIN_JVM_BEHAVIOUR):
//   create-fails          JNI_CreateJavaVM answers JNI_ENOMEM
//   class-missing         the bootstrap class is not found
//   register-fails        RegisterNatives fails with NoSuchMethodError
//   main-missing          the bootstrap class has no main
//   main-throws           main throws java.lang.IllegalStateException
//   thread-outlives-main  main starts a non-daemon thread that ends 400 ms
//                         later; DestroyJavaVM waits for it
//   exit=<code>           the application ends the process with that code
// What it saw goes to the file TAVRIN_JVM_RECORD names, DetachCurrentThread
// calls included. What it prints (the greeting, stack traces) goes to the
// standard handles it found when it was loaded (standard_streams.h).
#ifndef TAVRIN_DOUBLES_JVM_STANDIN_RUNTIME_H
#define TAVRIN_DOUBLES_JVM_STANDIN_RUNTIME_H

#include <jni.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "record.h"
#include "strict_jni.h"

namespace standin {

class StandInRuntime {
public:
    StandInRuntime(std::string behaviour, std::string recordPath);

    Record& record() { return record_; }
    const std::string& behaviour() const { return behaviour_; }

    // JNI_CreateJavaVM: false when creation is to fail.
    bool create(const JavaVMInitArgs& args, JavaVM** vm, JNIEnv** env);

private:
    void installInterpositions(JNIEnv* env);
    strictjni::Value playSecureLauncherMain(strictjni::Invocation& call);
    bool defineMainClass(JNIEnv* env);
    void startApplicationThread();
    void waitForApplicationThreads();
    std::string option(const std::string& name) const; // a -D property's value, or ""

    std::string behaviour_;
    Record record_;
    std::vector<std::string> options_;
    std::unique_ptr<strictjni::StrictJni> jni_;
    std::vector<std::thread> applicationThreads_;
};

} // namespace standin

#endif
