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
// Like Java 24 and later, a runtime whose home's "release" file names version
// 24 or more refuses any option that begins with "-Djava.security.manager":
// JNI_CreateJavaVM prints the runtime's two lines to standard error and
// answers JNI_ERR.
// What it saw goes to the file TAVRIN_JVM_RECORD names (text as UTF-8 of what
// the machine reads: option strings from the ANSI code page, Java strings
// from their UTF-16), DetachCurrentThread
// calls and the thread's error mode when it was loaded and when the machine
// was asked for included. What it prints (the greeting, stack traces) goes to the
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
    // featureVersion: the Java version it plays, 0 when unknown.
    StandInRuntime(std::string behaviour, std::string recordPath, int featureVersion);

    Record& record() { return record_; }
    const std::string& behaviour() const { return behaviour_; }

    // Called while jvm.dll is being loaded.
    void recordLoad();
    // JNI_CreateJavaVM: JNI_OK, or the code it fails with.
    jint create(const JavaVMInitArgs& args, JavaVM** vm, JNIEnv** env);

private:
    void recordArguments(const JavaVMInitArgs& args);
    bool refusesOptions() const;
    void installInterpositions(JNIEnv* env);
    strictjni::Value playSecureLauncherMain(strictjni::Invocation& call);
    bool defineMainClass(JNIEnv* env);
    void startApplicationThread();
    void waitForApplicationThreads();
    std::string option(const std::string& name) const; // a -D property's value, or ""

    std::string behaviour_;
    Record record_;
    int featureVersion_;
    std::vector<std::string> options_;
    std::unique_ptr<strictjni::StrictJni> jni_;
    std::vector<std::thread> applicationThreads_;
};

} // namespace standin

#endif
