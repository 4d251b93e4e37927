// Where the launcher finds a runtime: the installation's own "jre", the
// registered runtimes before and after Java 9, JAVA_HOME; which of a home's
// virtual machine libraries it loads; and what the user is told when none is
// found or none loads.
#include <cstddef>
#include <fstream>

#include "launcher_fixture.h"
#include "pe_image.h"

namespace launche2e {
namespace {

// The message for a runtime for Windows on ARM found in home: neither Tavrin
// can load it.
std::string arm64RuntimeMessage(const std::string& home)
{
    if (sizeof(void*) == 8) {
        return "The Java runtime in " + home +
               " is an ARM64 runtime, which this Tavrin cannot use. Please install a 64-bit (x64) Java runtime from "
               "https://www.java.com.";
    }
    return "The Java runtime in " + home +
           " is an ARM64 runtime, which this Tavrin cannot use. Please install a 32-bit Java runtime from "
           "https://www.java.com.";
}

// What LoadLibrary answers for a library file that does not exist, and for a
// file that is not a library of this architecture.
constexpr DWORD moduleNotFound = ERROR_MOD_NOT_FOUND; // 126
constexpr DWORD badImage = ERROR_BAD_EXE_FORMAT;      // 193

class RuntimeDiscovery : public LauncherRun {
protected:
    void SetUp() override
    {
        LauncherRun::SetUp();
        deleteTree(HKEY_LOCAL_MACHINE, "Software\\JavaSoft");
    }

    // The log lines of the search: after "QTJava=" and before the first
    // option or the closing message.
    std::vector<std::string> searchLines() const
    {
        std::vector<std::string> search;
        for (const std::string& line : logAfter(qtJavaLine)) {
            if (line.rfind("vmarg ", 0) == 0 || line.rfind("*** ", 0) == 0)
                break;
            search.push_back(line);
        }
        return search;
    }

    // The four libraries tried below a home that has none that loads: none of
    // them there, but for the one in badImageFolder when it is named.
    static std::vector<std::string> allLibrariesOf(const std::string& home, const std::string& badImageFolder = "")
    {
        std::vector<std::string> lines;
        for (const char* folder : {"bin\\client", "bin\\server", "jre\\bin\\client", "jre\\bin\\server"}) {
            const std::vector<std::string> tried =
                notLoaded(home, folder, folder == badImageFolder ? badImage : moduleNotFound);
            lines.insert(lines.end(), tried.begin(), tried.end());
        }
        return lines;
    }
    static std::vector<std::string> allLibrariesOf(const fs::path& home) { return allLibrariesOf(home.string()); }
    static std::string jvmPathLine(const std::string& home, const std::string& vmFolder)
    {
        return "JVM path " + home + "\\" + vmFolder + "\\jvm.dll";
    }
    static std::string jvmPathLine(const fs::path& home, const std::string& vmFolder)
    {
        return jvmPathLine(home.string(), vmFolder);
    }
    // A runtime with only a server virtual machine, as 64-bit ones are.
    static std::vector<std::string> serverLoads(const fs::path& home)
    {
        return joined({notLoaded(home.string(), "bin\\client"), {jvmPathLine(home, "bin\\server")}});
    }
    // A library that did not load, and why.
    static std::vector<std::string> notLoaded(const std::string& home, const std::string& vmFolder,
                                              DWORD error = moduleNotFound)
    {
        return {jvmPathLine(home, vmFolder), "JVM load error " + std::to_string(error)};
    }
    static std::vector<std::string> registryLines(const std::string& family, const std::string& version)
    {
        return {"CurrentVersion='" + version + "'", "RegOpenKey " + family + "\\" + version + " -> 0 (*"};
    }
    static std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts)
    {
        std::vector<std::string> all;
        for (const std::vector<std::string>& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    }

    void expectLaunched(const LaunchResult& result)
    {
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_TRUE(result.messageBoxes.empty());
        EXPECT_TRUE(contains(log(), "Tavrin started with catalog " + catalogPath()));
        EXPECT_TRUE(contains(log(), "JVM launched"));
    }
    void expectFailure(const LaunchResult& result, const std::string& message)
    {
        EXPECT_EQ(result.exitCode, 0u);
        expectMessage(result, message);
        EXPECT_EQ(log().back(), "*** " + message + " ***");
        EXPECT_TRUE(record().empty()) << "the stand-in runtime was never loaded";
    }

    fs::path bundledHome() const { return install / "jre"; }
    // An installation's own runtime whose client library is no library at
    // all; returns the lines of its search.
    std::vector<std::string> installBrokenBundledRuntime()
    {
        writeText(bundledHome() / "bin" / "client" / "jvm.dll", "not a library");
        return joined(
            {{"Bundled runtime " + bundledHome().string()}, allLibrariesOf(bundledHome().string(), "bin\\client")});
    }
    fs::path home(const std::string& name) const { return scratch / "Java" / name; }

    // A copy of the stand-in whose header says it is built for ARM64, as the
    // runtimes for Windows on ARM are.
    fs::path arm64Library() const
    {
        const fs::path copy = scratch / "arm64" / "jvm.dll";
        fs::create_directories(copy.parent_path());
        fs::copy_file(STANDIN_JVM_DLL, copy, fs::copy_options::overwrite_existing);
        {
            std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
            IMAGE_DOS_HEADER dos{};
            file.read(reinterpret_cast<char*>(&dos), sizeof dos);
            const WORD arm64 = IMAGE_FILE_MACHINE_ARM64;
            file.seekp(dos.e_lfanew +
                       static_cast<std::streamoff>(sizeof(DWORD) + offsetof(IMAGE_FILE_HEADER, Machine)));
            file.write(reinterpret_cast<const char*>(&arm64), sizeof arm64);
        }
        const testsupport::PeImage image(copy.wstring());
        EXPECT_EQ(image.machine(), IMAGE_FILE_MACHINE_ARM64);
        EXPECT_TRUE(image.isDll());
        return copy;
    }
};

TEST_F(RuntimeDiscovery, AnInstallationsOwnRuntimeIsUsedBeforeTheRegisteredOne)
{
    registerRuntime(jreFamily, "1.8", standInJavaHome());
    installRuntime(bundledHome(), "bin\\client");
    const LaunchResult result = launchOnCatalog();
    expectLaunched(result);
    expectLines(searchLines(),
                {"Bundled runtime " + bundledHome().string(), jvmPathLine(bundledHome(), "bin\\client")});
}

TEST_F(RuntimeDiscovery, ARegisteredPre9RuntimeThatWorksLogsExactlyItsThreeLines)
{
    registerRuntime(jreFamily, "1.8", standInJavaHome());
    expectLaunched(launchOnCatalog());
    expectLines(searchLines(),
                joined({registryLines(jreFamily, "1.8"), {jvmPathLine(standInJavaHome(), "bin\\client")}}));
}

TEST_F(RuntimeDiscovery, AServerOnlyRuntimeLoadsItsServerVirtualMachine)
{
    const fs::path serverOnly = home("jre-server");
    installRuntime(serverOnly, "bin\\server");
    registerRuntime(jreFamily, "1.8", serverOnly);
    expectLaunched(launchOnCatalog());
    expectLines(searchLines(), joined({registryLines(jreFamily, "1.8"), serverLoads(serverOnly)}));
}

TEST_F(RuntimeDiscovery, AJava9RuntimeIsFoundUnderItsOwnFamily)
{
    const fs::path java11 = home("jre-11");
    installRuntime(java11, "bin\\server");
    registerRuntime(modularJreFamily, "11", java11);
    expectLaunched(launchOnCatalog());
    expectLines(searchLines(), joined({registryLines(modularJreFamily, "11"), serverLoads(java11)}));
}

TEST_F(RuntimeDiscovery, AJava9DevelopmentKitIsFoundWhenTheRuntimeFamilyHasNone)
{
    const fs::path jdk17 = home("jdk-17");
    installRuntime(jdk17, "bin\\server");
    registerRuntime(modularJdkFamily, "17", jdk17);
    setStringValue(HKEY_LOCAL_MACHINE, modularJreFamily, "CurrentVersion", "11"); // names no version key
    expectLaunched(launchOnCatalog());
    expectLines(searchLines(), joined({{"CurrentVersion='11'", "RegOpenKey Software\\JavaSoft\\JRE\\11 -> 2 (*"},
                                       registryLines(modularJdkFamily, "17"),
                                       serverLoads(jdk17)}));
}

TEST_F(RuntimeDiscovery, ADevelopmentKitsVirtualMachineIsFoundInItsJreFolder)
{
    const fs::path jdk8 = home("jdk1.8.0_202");
    installRuntime(jdk8, "jre\\bin\\server");
    registerRuntime(jdkFamily, "1.8", jdk8);
    expectLaunched(launchOnCatalog());
    expectLines(searchLines(), joined({registryLines(jdkFamily, "1.8"),
                                       notLoaded(jdk8.string(), "bin\\client"),
                                       notLoaded(jdk8.string(), "bin\\server"),
                                       notLoaded(jdk8.string(), "jre\\bin\\client"),
                                       {jvmPathLine(jdk8, "jre\\bin\\server")}}));
}

TEST_F(RuntimeDiscovery, JavaHomeIsTheLastPlaceAndMayBeQuoted)
{
    const fs::path jdk = home("jdk 21");
    installRuntime(jdk, "bin\\server");
    environment.set("JAVA_HOME", "\"" + jdk.string() + "\"");
    expectLaunched(launchOnCatalog());
    expectLines(searchLines(), joined({{"JAVA_HOME='\"" + jdk.string() + "\"'"}, serverLoads(jdk)}));
}

TEST_F(RuntimeDiscovery, ARuntimeWhoseLibraryNeedsALibraryFromItsOwnBinFolderLoads)
{
    const fs::path jre6 = home("jre6");
    installRuntime(jre6, "bin\\client", STANDIN_JVM_NEEDING_BIN_DLL);
    fs::copy_file(STANDIN_RUNTIME_LIBRARY_DLL, jre6 / "bin" / "jvmruntime.dll");
    registerRuntime(jreFamily, "1.6", jre6);
    expectLaunched(launchOnCatalog());
    expectLines(searchLines(), joined({registryLines(jreFamily, "1.6"), {jvmPathLine(jre6, "bin\\client")}}));
}

TEST_F(RuntimeDiscovery, ABrokenFirstCandidateIsPassedOver)
{
    const std::vector<std::string> bundledSearch = installBrokenBundledRuntime();
    registerRuntime(jreFamily, "1.8", standInJavaHome());
    expectLaunched(launchOnCatalog());
    expectLines(
        searchLines(),
        joined({bundledSearch, registryLines(jreFamily, "1.8"), {jvmPathLine(standInJavaHome(), "bin\\client")}}));
}

TEST_F(RuntimeDiscovery, WithNoCandidateAtAllJavaIsMissing)
{
    environment.set("JAVA_HOME", std::string()); // set but empty: no candidate
    const LaunchResult result = launchOnCatalog();
    expectFailure(result, javaMissing);
    EXPECT_TRUE(searchLines().empty());
}

TEST_F(RuntimeDiscovery, WhenNoCandidateLoadsTheInstallationIsBrokenAndEachHomeIsTriedOnce)
{
    const fs::path empty = home("Empty JRE");
    fs::create_directories(empty / "bin");
    fs::create_directories(bundledHome());
    registerRuntime(jreFamily, "1.8", empty);
    // The same home again, spelt in other case, under the Java 9 family and in JAVA_HOME.
    std::string sameHome = empty.string();
    for (char& c : sameHome)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    registerRuntime(modularJreFamily, "9", sameHome);
    environment.set("JAVA_HOME", sameHome);
    const LaunchResult result = launchOnCatalog();
    expectFailure(result, javaBroken);
    expectLines(searchLines(), joined({{"Bundled runtime " + bundledHome().string()},
                                       allLibrariesOf(bundledHome()),
                                       registryLines(jreFamily, "1.8"),
                                       allLibrariesOf(empty),
                                       registryLines(modularJreFamily, "9"),
                                       {"JAVA_HOME='" + sameHome + "'"}}));
}

TEST_F(RuntimeDiscovery, ALoadedLibraryWithoutTheInvocationFunctionsEndsTheSearch)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const fs::path notAJvm = home("jre-other");
    installRuntime(notAJvm, "bin\\client", fs::path(system) / "version.dll");
    registerRuntime(jreFamily, "1.8", notAJvm);
    environment.set("JAVA_HOME", standInJavaHome().string()); // would work, but is not tried
    const LaunchResult result = launchOnCatalog();
    expectFailure(result, "Failed to find jvm.dll entry points");
    expectLines(searchLines(), joined({registryLines(jreFamily, "1.8"), {jvmPathLine(notAJvm, "bin\\client")}}));
}

TEST_F(RuntimeDiscovery, WhileRuntimesAreProbedNoSystemErrorBoxCanStopTheLaunch)
{
    registerRuntime(jreFamily, "1.8", standInJavaHome());
    expectLaunched(launchOnCatalog());
    char probing[32];
    std::snprintf(probing, sizeof probing, "0x%x", SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const std::vector<std::string> seen = record();
    EXPECT_EQ(seen.front(), std::string("thread error mode at load ") + probing);
    EXPECT_TRUE(contains(seen, "thread error mode at JNI_CreateJavaVM 0x0")) << "the previous mode is restored";
}

// "Straße" and "Strasse" are one word to a linguistic comparison, and two
// folders to the file system (in the ANSI code page, where "ß" is 0xdf).
TEST_F(RuntimeDiscovery, HomesThatAreOneWordButTwoFoldersAreBothTried)
{
    const std::string java = (scratch / "Java").string();
    const std::string sharpS = java + "\\Stra\xdf"
                                      "e",
                      doubleS = java + "\\Strasse";
    fs::create_directories(scratch / "Java");
    ASSERT_TRUE(CreateDirectoryA(sharpS.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((sharpS + "\\bin").c_str(), nullptr));
    installRuntime(doubleS, "bin\\client");
    registerRuntime(jreFamily, "1.8", sharpS);
    environment.set("JAVA_HOME", doubleS);
    expectLaunched(launchOnCatalog());
    expectLines(searchLines(), joined({registryLines(jreFamily, "1.8"),
                                       allLibrariesOf(sharpS),
                                       {"JAVA_HOME='" + doubleS + "'", jvmPathLine(doubleS, "bin\\client")}}));
}

TEST_F(RuntimeDiscovery, AHomeWithATrailingBackslashIsTriedOnce)
{
    const fs::path jdk = home("jdk-17");
    fs::create_directories(jdk / "bin");
    registerRuntime(jreFamily, "1.8", jdk.string() + "\\");
    environment.set("JAVA_HOME", jdk.string());
    expectFailure(launchOnCatalog(), javaBroken);
    expectLines(searchLines(), joined({registryLines(jreFamily, "1.8"),
                                       allLibrariesOf(jdk.string() + "\\"),
                                       {"JAVA_HOME='" + jdk.string() + "'"}}));
}

TEST_F(RuntimeDiscovery, TheFirstHomeWithARuntimeOfTheOtherArchitectureIsNamedAndNotLoaded)
{
    const std::vector<std::string> bundledSearch = installBrokenBundledRuntime();
    const fs::path other = home("jre-other-architecture");
    installRuntime(other, "bin\\server", STANDIN_JVM_OTHER_ARCHITECTURE_DLL);
    registerRuntime(jreFamily, "1.8", other);
    environment.set("JAVA_HOME", bundledHome().string()); // tried already: the search ends without it
    expectFailure(launchOnCatalog(), otherArchitectureMessage(other.string()));
    expectLines(searchLines(), joined({bundledSearch,
                                       registryLines(jreFamily, "1.8"),
                                       allLibrariesOf(other.string(), "bin\\server"),
                                       {"JAVA_HOME='" + bundledHome().string() + "'"}}));
}

// Windows on ARM: the loader refuses the library (193), and the user learns why.
TEST_F(RuntimeDiscovery, ARuntimeForArm64IsNamedAndNotLoaded)
{
    const fs::path arm64 = home("jdk-25-aarch64");
    installRuntime(arm64, "bin\\server", arm64Library());
    registerRuntime(modularJdkFamily, "25", arm64);
    expectFailure(launchOnCatalog(), arm64RuntimeMessage(arm64.string()));
    expectLines(searchLines(),
                joined({registryLines(modularJdkFamily, "25"), allLibrariesOf(arm64.string(), "bin\\server")}));
}

// The registry view of the other architecture, or 0 when the system has only one.
REGSAM otherRegistryView()
{
    if (sizeof(void*) == 8)
        return KEY_WOW64_32KEY;
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return wow64 ? KEY_WOW64_64KEY : 0;
}

class RegistryView : public RuntimeDiscovery {
protected:
    static void registerInView(const char* family, const std::string& version, const std::string& javaHome, REGSAM view)
    {
        setStringValue(HKEY_LOCAL_MACHINE, family, "CurrentVersion", version, view);
        setStringValue(HKEY_LOCAL_MACHINE, std::string(family) + "\\" + version, "JavaHome", javaHome, view);
    }
    void TearDown() override
    {
        if (otherRegistryView())
            deleteTree(HKEY_LOCAL_MACHINE, "Software\\JavaSoft", otherRegistryView());
        RuntimeDiscovery::TearDown();
    }
};

TEST_F(RegistryView, ARuntimeRegisteredOnlyForTheOtherArchitectureIsNamedWithoutBeingLoaded)
{
    const REGSAM other = otherRegistryView();
    if (!other)
        GTEST_SKIP() << "this system has one registry view";
    const fs::path otherRuntime = home("jre-other-architecture");
    installRuntime(otherRuntime, "bin\\client", STANDIN_JVM_OTHER_ARCHITECTURE_DLL);
    registerInView(jreFamily, "1.8", otherRuntime.string(), other);
    ASSERT_TRUE(keyExists(HKEY_LOCAL_MACHINE, std::string(jreFamily) + "\\1.8", other));
    ASSERT_FALSE(keyExists(HKEY_LOCAL_MACHINE, jreFamily));
    expectFailure(launchOnCatalog(), otherArchitectureMessage(otherRuntime.string()));
    EXPECT_TRUE(searchLines().empty()) << "the other view is read without logging";
}

// Each family of the other view is a candidate: a stale registration ahead of
// the kit does not hide it.
TEST_F(RegistryView, AJava9KitRegisteredOnlyForTheOtherArchitectureIsNamedToo)
{
    const REGSAM other = otherRegistryView();
    if (!other)
        GTEST_SKIP() << "this system has one registry view";
    const fs::path jdk25 = home("jdk-25");
    installRuntime(jdk25, "bin\\server", STANDIN_JVM_OTHER_ARCHITECTURE_DLL);
    registerInView(jreFamily, "1.8", home("jre1.8.0_202 (uninstalled)").string(), other);
    registerInView(modularJdkFamily, "25", jdk25.string(), other);
    environment.set("JAVA_HOME", home("nothing here").string());
    expectFailure(launchOnCatalog(), otherArchitectureMessage(jdk25.string()));
    expectLines(searchLines(),
                joined({{"JAVA_HOME='" + home("nothing here").string() + "'"}, allLibrariesOf(home("nothing here"))}));
}

// A registration that outlived its runtime names nothing: a folder that is not
// there, one without a library, and one whose library is of this program's own
// architecture are no runtime of the other architecture.
TEST_F(RegistryView, AStaleRegistrationForTheOtherArchitectureLeavesJavaMissing)
{
    const REGSAM other = otherRegistryView();
    if (!other)
        GTEST_SKIP() << "this system has one registry view";
    const fs::path withoutLibrary = home("jre-without-library");
    fs::create_directories(withoutLibrary / "bin" / "client");
    for (const fs::path& stale : {home("jre-uninstalled"), withoutLibrary, standInJavaHome()}) {
        SCOPED_TRACE(stale.string());
        registerInView(jreFamily, "1.8", stale.string(), other);
        expectFailure(launchOnCatalog(), javaMissing);
        EXPECT_TRUE(searchLines().empty());
    }
}

TEST_F(RegistryView, ARuntimeForArm64RegisteredInTheOtherViewIsNamed)
{
    const REGSAM other = otherRegistryView();
    if (!other)
        GTEST_SKIP() << "this system has one registry view";
    const fs::path arm64 = home("jdk-21-aarch64");
    installRuntime(arm64, "bin\\server", arm64Library());
    registerInView(modularJdkFamily, "21", arm64.string(), other);
    expectFailure(launchOnCatalog(), arm64RuntimeMessage(arm64.string()));
    EXPECT_TRUE(searchLines().empty());
}

} // namespace
} // namespace launche2e
