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
    // Java 24 and later: without the two options of the security manager,
    // and with native access for the class path last.
    std::vector<std::string> java24Options() const
    {
        std::vector<std::string> options = expectedOptions("lib;" + std::string(std::getenv("PATH")));
        options.erase(options.begin() + 2, options.begin() + 4);
        options.push_back("--enable-native-access=ALL-UNNAMED");
        return options;
    }
    // A launch on the runtime in home with these options, whose log from the
    // library that loaded on holds exactly the leading lines, the options and
    // the application's start: no warning of the runtime's among them.
    void expectLaunchedWith(const fs::path& home, const std::vector<std::string>& leading,
                            const std::vector<std::string>& options)
    {
        std::vector<std::string> lines = leading;
        const std::vector<std::string> vmargs = vmargLines(options);
        lines.insert(lines.end(), vmargs.begin(), vmargs.end());
        lines.insert(lines.end(), {"Tavrin started with catalog " + catalogPath(), "JVM launched"});
        expectLines(logAfterLoading(home), lines);
        EXPECT_EQ(recordedOptions(), options);
        EXPECT_TRUE(contains(record(), "System.loadLibrary Pellux")) << "the application loaded its library";
    }
    void expectSevenOptions(const fs::path& home)
    {
        expectLaunchedWith(home, {}, expectedOptions("lib;" + std::string(std::getenv("PATH"))));
    }
    void expectJava24Options(const fs::path& home, const std::string& version)
    {
        expectLaunchedWith(home, {"Java " + version + " runs without a security manager"}, java24Options());
        EXPECT_TRUE(contains(record(), "JNI_CreateJavaVM version=0x10004 nOptions=6 ignoreUnrecognized=0"));
    }

    // A stand-in runtime loaded into this test's process, as a runtime of the
    // given "release" text: what it records and prints to standard error go to
    // files of its own.
    struct StandIn {
        HMODULE library = nullptr;
        fs::path record, errors;
        HANDLE errorFile = INVALID_HANDLE_VALUE; // open as long as the stand-in may print
        ~StandIn()
        {
            if (errorFile != INVALID_HANDLE_VALUE)
                CloseHandle(errorFile);
        }
    };
    void loadStandIn(const std::string& name, const std::string& releaseText, StandIn& standIn)
    {
        const fs::path home = scratch / "Java" / name;
        const fs::path library = installRuntime(home, "bin\\server");
        writeText(home / "release", releaseText);
        standIn.record = home / "record.txt";
        standIn.errors = home / "errors.txt";
        standIn.errorFile =
            CreateFileW(standIn.errors.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(standIn.errorFile, INVALID_HANDLE_VALUE);
        // It binds its standard error, and reads where to record, as it is loaded.
        const HANDLE ownError = GetStdHandle(STD_ERROR_HANDLE);
        SetStdHandle(STD_ERROR_HANDLE, standIn.errorFile);
        SetEnvironmentVariableA("TAVRIN_JVM_RECORD", standIn.record.string().c_str());
        standIn.library = LoadLibraryW(library.wstring().c_str());
        SetEnvironmentVariableA("TAVRIN_JVM_RECORD", nullptr);
        SetStdHandle(STD_ERROR_HANDLE, ownError);
        ASSERT_NE(standIn.library, nullptr);
    }
    static jint createVm(const StandIn& standIn, std::vector<std::string> options, JNIEnv** env)
    {
        using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);
        auto create = reinterpret_cast<CreateJavaVM>(
            reinterpret_cast<void (*)()>(GetProcAddress(standIn.library, "JNI_CreateJavaVM")));
        if (!create) {
            ADD_FAILURE() << "no JNI_CreateJavaVM";
            return JNI_ERR;
        }
        std::vector<JavaVMOption> vmOptions;
        for (std::string& option : options)
            vmOptions.push_back(JavaVMOption{option.data(), nullptr});
        JavaVMInitArgs args{JNI_VERSION_1_4, static_cast<jint>(vmOptions.size()), vmOptions.data(), JNI_FALSE};
        JavaVM* vm = nullptr;
        return create(&vm, reinterpret_cast<void**>(env), &args);
    }
    // What the application's capture library class does as it is initialised.
    static void loadPellux(JNIEnv* env)
    {
        jclass system = env->FindClass("java/lang/System");
        ASSERT_NE(system, nullptr);
        jmethodID loadLibrary = env->GetStaticMethodID(system, "loadLibrary", "(Ljava/lang/String;)V");
        ASSERT_NE(loadLibrary, nullptr);
        jstring name = env->NewStringUTF("Pellux");
        env->CallStaticVoidMethod(system, loadLibrary, name);
        EXPECT_FALSE(env->ExceptionCheck());
        env->DeleteLocalRef(name);
        env->DeleteLocalRef(system);
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
    expectLines(record(), {"thread error mode at load *", "JNI_GetDefaultJavaVMInitArgs version=0x10004",
                           "thread error mode at JNI_CreateJavaVM *",
                           "JNI_CreateJavaVM version=0x10004 nOptions=7 ignoreUnrecognized=0", "*", "*", "*", "*", "*",
                           "*", "*", "main args=1", "arg " + catalogPath(),
                           "defineClass orlesk/tavrin/StdLauncher from lib\\tavrin.jar: defined",
                           "System.loadLibrary Pellux", "main returns", "DetachCurrentThread",
                           "DestroyJavaVM waits for 0 application thread(s)", "DestroyJavaVM returns"});
    EXPECT_EQ(recordedOptions(), expectedOptions("lib;" + path));
}

// Since Java 24 a runtime refuses to start when asked for a security manager,
// and warns in the user's log when the application loads its library without
// native access.
TEST_F(JavaStart, Java24AndLaterStartWithoutTheSecurityManagerAndWithNativeAccess)
{
    for (const std::string version : {"24", "25"}) {
        SCOPED_TRACE(version);
        const fs::path home = useRuntimeOfVersion(version);
        fs::remove(scratch / "record.txt");
        const LaunchResult result = launchOnCatalog();
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_TRUE(result.messageBoxes.empty());
        expectJava24Options(home, version);
    }
}

// A "release" file as an editor may leave it still says Java 25.
TEST_F(JavaStart, Java25WithAByteOrderMarkOrBlanksInItsReleaseFileIsJava25)
{
    const fs::path home = useRuntimeOfVersion("25");
    for (const std::string release :
         {"\xEF\xBB\xBFJAVA_VERSION=\"25\"\r\nIMPLEMENTOR=\"Eclipse Adoptium\"\r\n",
          "IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_VERSION=\"25\"  \t\nOS_NAME=\"Windows\"\n"}) {
        SCOPED_TRACE(release);
        writeText(home / "release", release);
        fs::remove(scratch / "record.txt");
        const LaunchResult result = launchOnCatalog();
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_TRUE(result.messageBoxes.empty());
        expectJava24Options(home, "25");
    }
}

TEST_F(JavaStart, Java23AndJava8AndARuntimeWithoutAReleaseFileGetAllSevenOptions)
{
    for (const std::optional<std::string>& version :
         {std::optional<std::string>("23.0.2"), std::optional<std::string>("1.8.0_401"),
          std::optional<std::string>()}) {
        SCOPED_TRACE(version.value_or("no release file"));
        const fs::path home = useRuntimeOfVersion(version);
        fs::remove(scratch / "record.txt");
        const LaunchResult result = launchOnCatalog();
        EXPECT_EQ(result.exitCode, 0u);
        expectSevenOptions(home);
    }
}

// The premises of the tests above: the stand-in refuses as the real runtime
// does, whatever an editor did to its "release" file.
TEST_F(JavaStart, TheStandInJava25RefusesASecurityManagerAsTheRealOneDoes)
{
    const std::string releases[] = {"JAVA_VERSION=\"25\"\n", "\xEF\xBB\xBFJAVA_VERSION=\"25\"\r\n",
                                    " JAVA_VERSION = \"25\"\t \r\n"};
    for (std::size_t i = 0; i < std::size(releases); ++i) {
        SCOPED_TRACE(releases[i]);
        StandIn standIn;
        ASSERT_NO_FATAL_FAILURE(loadStandIn("jdk-25-" + std::to_string(i), releases[i], standIn));
        JNIEnv* env = nullptr;
        EXPECT_EQ(createVm(standIn, {"-Djava.security.manager=allow"}, &env), JNI_ERR);
        EXPECT_EQ(linesOf(standIn.record).back(), "creation refused: the security manager cannot be enabled");
    }
}

// A runtime since Java 24 warns once when class-path code loads a native
// library without native access; one before Java 9 does not know the option.
TEST_F(JavaStart, TheStandInRuntimesTreatNativeAccessAsTheRealOnesDo)
{
    StandIn warning, enabled, java8;
    ASSERT_NO_FATAL_FAILURE(loadStandIn("jdk-25-warning", "JAVA_VERSION=\"25\"\n", warning));
    ASSERT_NO_FATAL_FAILURE(loadStandIn("jdk-25-enabled", "JAVA_VERSION=\"25\"\n", enabled));
    ASSERT_NO_FATAL_FAILURE(loadStandIn("jre-8", "JAVA_VERSION=\"1.8.0_401\"\n", java8));

    JNIEnv* env = nullptr;
    ASSERT_EQ(createVm(warning, {}, &env), JNI_OK);
    loadPellux(env);
    loadPellux(env);
    expectLines(linesOf(warning.errors),
                {"WARNING: A restricted method in java.lang.System has been called",
                 "WARNING: java.lang.System::loadLibrary has been called by orlesk.tavrin.pellux.Pellux in an unnamed "
                 "module",
                 "WARNING: Use --enable-native-access=ALL-UNNAMED to avoid a warning for callers in this module",
                 "WARNING: Restricted methods will be blocked in a future release unless native access is enabled",
                 ""});

    ASSERT_EQ(createVm(enabled, {"--enable-native-access=ALL-UNNAMED"}, &env), JNI_OK);
    loadPellux(env);
    EXPECT_EQ(linesOf(enabled.record).back(), "System.loadLibrary Pellux");
    EXPECT_TRUE(linesOf(enabled.errors).empty());

    EXPECT_EQ(createVm(java8, {"-Xmx320m", "--enable-native-access=ALL-UNNAMED"}, &env), JNI_ERR);
    expectLines(linesOf(java8.errors), {"Unrecognized option: --enable-native-access=ALL-UNNAMED"});
    for (const StandIn* standIn : {&warning, &enabled, &java8}) {
        for (const std::string& line : linesOf(standIn->record))
            EXPECT_EQ(line.rfind("violation", 0), std::string::npos) << line;
    }
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
