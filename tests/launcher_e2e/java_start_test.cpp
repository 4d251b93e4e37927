// The launch from the installation to the running application: the option
// list, the bootstrap class's main and its arguments, the wait for the
// application's threads, and every way the runtime start can fail.
#include <jni.h>

#include <regex>

#include "launcher_fixture.h"

namespace launche2e {
namespace {

// A key handle that is none, as "%p" prints it: as many digits as a pointer has.
std::string nullKeyText()
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<void*>(nullptr));
    return text;
}

class JavaStart : public LauncherRun {
protected:
    std::vector<std::string> expectedOptions(const std::string& libraryPath) const
    {
        return {"-Djava.class.path=lib\\tavrin.jar;lib\\MRJToolkitStubs.zip;lib\\xalan.jar;lib\\crimson.jar;"
                "lib\\resources.jar;lib\\QTJava.zip;lib\\jakarta-regexp-1.2.jar;lib\\j2lib.jar;"
                "lib\\jakarta-poi-1.10.0-dev.jar;lib\\extensions.jar",
                "-Djava.library.path=" + libraryPath,
                "-Djava.security.manager",
                "-Djava.security.policy=lib\\java.policy",
                "-Dtavrin.actuallog=" + logFile().string(),
                "-Xmx320m",
                "-Dtavrin.mainClass=orlesk.tavrin.StdLauncher"};
    }
    std::string jvmPath() const { return (standInJavaHome() / "bin" / "client" / "jvm.dll").string(); }

    void behave(const std::string& behaviour) { environment.set("TAVRIN_JVM_BEHAVIOUR", behaviour); }

    // The only runtime: one of the given version (none: without a "release"
    // file) registered as Java 9 and later register, with a server machine only.
    fs::path useRuntimeOfVersion(const std::optional<std::string>& javaVersion)
    {
        const fs::path home = scratch / "Java" / ("jdk-" + javaVersion.value_or("unknown"));
        installRuntime(home, "bin\\server");
        if (javaVersion)
            writeRelease(home, *javaVersion);
        deleteTree(HKEY_LOCAL_MACHINE, "Software\\JavaSoft");
        registerRuntime(modularJdkFamily, "25", home);
        return home;
    }
    // The log from the library that loaded on.
    std::vector<std::string> logAfterLoading(const fs::path& home) const
    {
        return logAfter("JVM path " + (home / "bin" / "server" / "jvm.dll").string());
    }
    static std::vector<std::string> vmargLines(const std::vector<std::string>& options)
    {
        std::vector<std::string> lines;
        for (const std::string& option : options)
            lines.push_back("vmarg " + option);
        return lines;
    }
    // The options without the two of the security manager.
    static std::vector<std::string> withoutSecurityManager(std::vector<std::string> options)
    {
        options.erase(options.begin() + 2, options.begin() + 4);
        return options;
    }
    void expectSevenOptions(const fs::path& home)
    {
        const std::vector<std::string> options = expectedOptions("lib;" + std::string(std::getenv("PATH")));
        std::vector<std::string> lines = vmargLines(options);
        lines.insert(lines.end(), {"Tavrin started with catalog " + catalogPath(), "JVM launched"});
        expectLines(logAfterLoading(home), lines);
        EXPECT_EQ(recordedOptions(), options);
    }

    // The log of a launch that fails after the virtual machine was created.
    void expectFailureAfterCreation(const LaunchResult& result, const std::vector<std::string>& lines,
                                    const std::string& message)
    {
        EXPECT_EQ(result.exitCode, 0u);
        expectMessage(result, message);
        EXPECT_EQ(lines.back(), "*** " + message + " ***");
        EXPECT_TRUE(contains(record(), "DestroyJavaVM returns"));
        EXPECT_FALSE(contains(record(), "DetachCurrentThread")); // destroyed without detaching first
        EXPECT_FALSE(contains(lines, "JVM launched"));
    }
};

TEST_F(JavaStart, ACatalogOpenedFromTheShellReachesMainAndTheProcessEndsWithZero)
{
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.messageBoxes.empty());
    const std::string path = std::getenv("PATH");
    expectLines(logAfter(qtJavaLine),
                {"CurrentVersion='1.8'", "RegOpenKey Software\\JavaSoft\\Java Runtime Environment\\1.8 -> 0 (*",
                 "JVM path " + jvmPath(), "vmarg " + expectedOptions("lib;" + path)[0],
                 "vmarg " + expectedOptions("lib;" + path)[1], "vmarg -Djava.security.manager",
                 "vmarg -Djava.security.policy=lib\\java.policy", "vmarg -Dtavrin.actuallog=" + logFile().string(),
                 "vmarg -Xmx320m", "vmarg -Dtavrin.mainClass=orlesk.tavrin.StdLauncher",
                 "Tavrin started with catalog " + catalogPath(), "JVM launched"});
    expectLines(record(),
                {"thread error mode at load *", "JNI_GetDefaultJavaVMInitArgs version=0x10004",
                 "thread error mode at JNI_CreateJavaVM *",
                 "JNI_CreateJavaVM version=0x10004 nOptions=7 ignoreUnrecognized=0", "*", "*", "*", "*", "*", "*", "*",
                 "main args=1", "arg " + catalogPath(),
                 "defineClass orlesk/tavrin/StdLauncher from lib\\tavrin.jar: defined", "main returns",
                 "DetachCurrentThread", "DestroyJavaVM waits for 0 application thread(s)", "DestroyJavaVM returns"});
    EXPECT_EQ(recordedOptions(), expectedOptions("lib;" + path));
}

// Since Java 24 a runtime refuses to start when asked for a security manager.
TEST_F(JavaStart, Java25StartsWithoutTheSecurityManagerOptions)
{
    const fs::path home = useRuntimeOfVersion("25");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.messageBoxes.empty());
    const std::vector<std::string> options =
        withoutSecurityManager(expectedOptions("lib;" + std::string(std::getenv("PATH"))));
    ASSERT_EQ(options.size(), 5u);
    std::vector<std::string> lines = {"JVM load error 126",
                                      "JVM path " + (home / "bin" / "server" / "jvm.dll").string(),
                                      "Java 25 runs without a security manager"};
    const std::vector<std::string> vmargs = vmargLines(options);
    lines.insert(lines.end(), vmargs.begin(), vmargs.end());
    lines.insert(lines.end(), {"Tavrin started with catalog " + catalogPath(), "JVM launched"});
    expectLines(logAfter("JVM path " + (home / "bin" / "client" / "jvm.dll").string()), lines);
    EXPECT_EQ(recordedOptions(), options);
    EXPECT_TRUE(contains(record(), "JNI_CreateJavaVM version=0x10004 nOptions=5 ignoreUnrecognized=0"));
}

TEST_F(JavaStart, Java21AndJava8AndARuntimeWithoutAReleaseFileGetAllSevenOptions)
{
    for (const std::optional<std::string>& version :
         {std::optional<std::string>("21.0.2"), std::optional<std::string>("1.8.0_401"),
          std::optional<std::string>()}) {
        SCOPED_TRACE(version.value_or("no release file"));
        const fs::path home = useRuntimeOfVersion(version);
        fs::remove(scratch / "record.txt");
        const LaunchResult result = launchOnCatalog();
        EXPECT_EQ(result.exitCode, 0u);
        expectSevenOptions(home);
    }
}

// The premise of the tests above: the stand-in refuses as the real runtime does.
TEST_F(JavaStart, TheStandInJava25RefusesASecurityManagerAsTheRealOneDoes)
{
    const fs::path home = scratch / "Java" / "jdk-25";
    const fs::path library = installRuntime(home, "bin\\server");
    writeRelease(home, "25");
    SetEnvironmentVariableA("TAVRIN_JVM_RECORD", (scratch / "record.txt").string().c_str());
    HMODULE jvm = LoadLibraryW(library.wstring().c_str());
    SetEnvironmentVariableA("TAVRIN_JVM_RECORD", nullptr);
    ASSERT_NE(jvm, nullptr);
    using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);
    auto create = reinterpret_cast<CreateJavaVM>(reinterpret_cast<void (*)()>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    ASSERT_NE(create, nullptr);
    JavaVMOption option{const_cast<char*>("-Djava.security.manager=allow"), nullptr};
    JavaVMInitArgs args{JNI_VERSION_1_4, 1, &option, JNI_FALSE};
    JavaVM* vm = nullptr;
    void* env = nullptr;
    EXPECT_EQ(create(&vm, &env, &args), JNI_ERR);
    EXPECT_EQ(record().back(), "creation refused: the security manager cannot be enabled");
}

TEST_F(JavaStart, WithoutAFileArgumentMainReceivesAnEmptyArray)
{
    const LaunchResult result = launch("\"" + exePath().string() + "\"");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(contains(log(), "Filename="));
    EXPECT_TRUE(contains(log(), "Tavrin started"));
    EXPECT_TRUE(contains(record(), "main args=0"));
}

TEST_F(JavaStart, TwoUnquotedWordsReachMainAsOneArgument)
{
    launch("\"" + exePath().string() + "\" Tape 12.tvr");
    EXPECT_TRUE(contains(record(), "main args=1"));
    EXPECT_TRUE(contains(record(), "arg Tape 12.tvr"));
}

TEST_F(JavaStart, WithoutPathTheLibraryPathIsLib)
{
    environment.set("PATH", std::nullopt);
    launchOnCatalog();
    EXPECT_EQ(loggedVmArgs(log())[1], "-Djava.library.path=lib");
    EXPECT_EQ(recordedOptions()[1], "-Djava.library.path=lib");
}

TEST_F(JavaStart, TheProcessWaitsForTheApplicationsLastNonDaemonThread)
{
    behave("thread-outlives-main");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    const std::vector<std::string> lines = log();
    ASSERT_TRUE(contains(lines, "Catalog window closed"));
    EXPECT_LT(indexOf(lines, "JVM launched"), indexOf(lines, "Catalog window closed"));
    const std::vector<std::string> seen = record();
    EXPECT_LT(indexOf(seen, "main returns"), indexOf(seen, "DestroyJavaVM waits for 1 application thread(s)"));
    EXPECT_LT(indexOf(seen, "DestroyJavaVM waits for 1 application thread(s)"),
              indexOf(seen, "application thread ends"));
    EXPECT_LT(indexOf(seen, "application thread ends"), indexOf(seen, "DestroyJavaVM returns"));
}

TEST_F(JavaStart, AnApplicationThatEndsTheProcessItselfGivesItsOwnExitCode)
{
    behave("exit=70000");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 70000u);
    EXPECT_TRUE(result.messageBoxes.empty());
    EXPECT_TRUE(contains(log(), "Tavrin started with catalog " + catalogPath()));
    EXPECT_FALSE(contains(log(), "JVM launched"));
}

TEST_F(JavaStart, WithNoRuntimeRegisteredJavaIsMissing)
{
    deleteTree(HKEY_LOCAL_MACHINE, "Software\\JavaSoft");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    expectMessage(result, javaMissing);
    expectLines(logAfter(qtJavaLine), {std::string("*** ") + javaMissing + " ***"});
}

TEST_F(JavaStart, AVersionKeyThatDoesNotExistMeansMissingWithoutTryingTheOtherFamily)
{
    deleteTree(HKEY_LOCAL_MACHINE, "Software\\JavaSoft");
    setStringValue(HKEY_LOCAL_MACHINE, jreFamily, "CurrentVersion", "1.7");
    registerRuntime(jdkFamily, "1.8", standInJavaHome());
    const LaunchResult result = launchOnCatalog();
    expectMessage(result, javaMissing);
    expectLines(logAfter(qtJavaLine),
                {"CurrentVersion='1.7'",
                 "RegOpenKey Software\\JavaSoft\\Java Runtime Environment\\1.7 -> 2 (" + nullKeyText() + ")",
                 std::string("*** ") + javaMissing + " ***"});
}

TEST_F(JavaStart, ADevelopmentKitAloneIsUsed)
{
    deleteTree(HKEY_LOCAL_MACHINE, "Software\\JavaSoft");
    registerRuntime(jdkFamily, "1.8.0_202", standInJavaHome());
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(contains(log(), "CurrentVersion='1.8.0_202'"));
    EXPECT_TRUE(contains(log(), "JVM launched"));
}

TEST_F(JavaStart, WithBothFamiliesTheRuntimeEnvironmentIsUsed)
{
    registerRuntime(jdkFamily, "1.9", scratch / "no-such-jdk");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(contains(log(), "JVM path " + jvmPath()));
    EXPECT_TRUE(contains(log(), "JVM launched"));
}

TEST_F(JavaStart, AVirtualMachineThatCannotBeCreatedFailsToStart)
{
    behave("create-fails");
    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    expectMessage(result, "Failed to start Java");
    const std::vector<std::string> lines = log();
    EXPECT_EQ(lines[lines.size() - 2], "Failed to create JVM: -4");
    EXPECT_EQ(lines.back(), "*** Failed to start Java ***");
    EXPECT_EQ(loggedVmArgs(lines).size(), 7u);
}

TEST_F(JavaStart, AMissingBootstrapClassIsReportedWithItsStackTrace)
{
    behave("class-missing");
    const LaunchResult result = launchOnCatalog();
    const std::vector<std::string> lines = log();
    expectFailureAfterCreation(result, lines, "Failed to load main class");
    const std::size_t at = indexOf(lines, "Failed to load Main class orlesk/tavrin/SecureLauncher");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(lines[at + 1].find("java.lang.NoClassDefFoundError: orlesk/tavrin/SecureLauncher"), std::string::npos)
        << lines[at + 1];
}

TEST_F(JavaStart, NativesThatCannotBeRegisteredAreReported)
{
    behave("register-fails");
    const LaunchResult result = launchOnCatalog();
    const std::vector<std::string> lines = log();
    expectFailureAfterCreation(result, lines, "Failed to register natives");
    const std::size_t at = indexOf(lines, "Failed to register natives -1");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(lines[at + 1].find("java.lang.NoSuchMethodError: defineClass"), std::string::npos) << lines[at + 1];
}

TEST_F(JavaStart, AMissingMainIsAnExceptionDuringStartup)
{
    behave("main-missing");
    const LaunchResult result = launchOnCatalog();
    const std::vector<std::string> lines = log();
    expectFailureAfterCreation(result, lines, "An exception occurred during startup");
    EXPECT_NE(lines[lines.size() - 3].find("java.lang.NoSuchMethodError"), std::string::npos)
        << lines[lines.size() - 3];
    EXPECT_FALSE(contains(record(), "main args=1"));
}

TEST_F(JavaStart, AMainThatThrowsLeavesItsStackTraceInTheErrorLog)
{
    behave("main-throws");
    const LaunchResult result = launchOnCatalog();
    const std::vector<std::string> lines = log();
    expectFailureAfterCreation(result, lines, "An exception occurred during startup");
    const std::size_t at = indexOf(lines, "vmarg -Dtavrin.mainClass=orlesk.tavrin.StdLauncher");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(lines[at + 1].find("java.lang.IllegalStateException: the catalog window could not be opened"),
              std::string::npos)
        << lines[at + 1];
    EXPECT_EQ(lines[at + 2].rfind("\tat ", 0), 0u) << lines[at + 2];
}

} // namespace
} // namespace launche2e
