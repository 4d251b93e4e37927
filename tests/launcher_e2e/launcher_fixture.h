// One launch of Tavrin.exe per test: a fresh installation folder laid out as
// the application ships (Tavrin.exe, lib\tavrin.jar and lib\resources.jar as
// the build packs them, lib\java.policy, lib\QTJava.zip), fresh per-user
// folders, the stand-in runtime registered as "Java Runtime Environment" 1.8
// (in the registry view of this program's architecture, which is the one the
// Tavrin.exe of the same build reads), no JAVA_HOME, and no catalog file type
// registered.
#ifndef TAVRIN_TESTS_LAUNCHER_E2E_LAUNCHER_FIXTURE_H
#define TAVRIN_TESTS_LAUNCHER_E2E_LAUNCHER_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launch_harness.h"

namespace launche2e {

constexpr char jreFamily[] = "Software\\JavaSoft\\Java Runtime Environment";
constexpr char jdkFamily[] = "Software\\JavaSoft\\Java Development Kit";
constexpr char modularJreFamily[] = "Software\\JavaSoft\\JRE";
constexpr char modularJdkFamily[] = "Software\\JavaSoft\\JDK";
constexpr char launchErrorTitle[] = "Application Launch Error";
constexpr std::uint64_t errorIconAndOk = MB_OK | MB_ICONERROR;
constexpr char javaMissing[] = "Java appears to be missing. Please install Java from https://www.java.com.";
constexpr char javaBroken[] =
    "Your Java installation appears to be broken. Please reinstall Java from https://www.java.com.";
constexpr char qtJavaLine[] = "QTJava=lib\\QTJava.zip";

// The message for a runtime of the other architecture found in home.
std::string otherArchitectureMessage(const std::string& home);

class LauncherRun : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static fs::path standInJavaHome(); // holds bin\client\jvm.dll

    void SetUp() override;
    void TearDown() override;

    // Layout of the installation folder.
    void installApplication(const fs::path& folder);
    void touch(const fs::path& file) { writeText(file, "x"); }

    // The shell's way to start it: "<exe>" "<catalog>".
    std::string openCommand(const fs::path& exe, const std::string& catalog) const;
    std::wstring wideOpenCommand(const fs::path& exe, const fs::path& catalog) const;
    std::string catalogPath() const { return (install / "My Catalogs" / "Tape 12.tvr").string(); }
    LaunchResult launch(const std::wstring& commandLine, const fs::path& exe);
    LaunchResult launch(const std::string& commandLine, const fs::path& exe)
    {
        return launch(widened(commandLine), exe);
    }
    LaunchResult launch(const std::string& commandLine) { return launch(commandLine, exePath()); }
    LaunchResult launch(const std::wstring& commandLine) { return launch(commandLine, exePath()); }
    LaunchResult launchOnCatalog() { return launch(openCommand(exePath(), catalogPath())); }

    fs::path exePath() const { return install / "Tavrin.exe"; }
    fs::path logFolder() const { return local / "Orlesk" / "Logs"; }
    fs::path logFile() const { return logFolder() / "Tavrin Error Log.txt"; }
    fs::path backupFile() const { return logFolder() / "Tavrin Error Log.bak"; }
    std::vector<std::string> log() const { return linesOf(logFile()); }
    // The log's lines after the first that equals marker; a log without that
    // line fails the test.
    std::vector<std::string> logAfter(const std::string& marker) const;
    std::vector<std::string> record() const { return linesOf(scratch / "record.txt"); }
    std::vector<std::string> recordedOptions() const;
    std::vector<std::string> loggedVmArgs(const std::vector<std::string>& lines) const;

    void registerRuntime(const char* family, const std::string& version, const std::string& javaHome);
    void registerRuntime(const char* family, const std::string& version, const fs::path& javaHome)
    {
        registerRuntime(family, version, javaHome.string());
    }
    // A runtime home with the stand-in jvm.dll (or another library) at
    // home\vmFolder\jvm.dll, for example "bin\\server"; returns that file.
    static fs::path installRuntime(const fs::path& home, const std::string& vmFolder,
                                   const fs::path& library = STANDIN_JVM_DLL);
    // The home's "release" file, as runtimes since Java 9 have, naming the version.
    static void writeRelease(const fs::path& home, const std::string& javaVersion);

    // What GetStdHandle answers in a program started with these handles.
    std::vector<std::string> standardHandlesOfAProgramStartedWith(StandardHandles handles);

    // Exactly one message box, as every launcher message is shown.
    static void expectMessage(const LaunchResult& result, const std::string& text);

    fs::path scratch; // removed after the test
    fs::path install; // the installation folder
    fs::path local;   // LOCALAPPDATA
    fs::path roaming; // APPDATA
    Environment environment;
};

// Fails unless the program started and ended (rather than being stopped after a minute).
void expectFinished(const LaunchResult& result, const std::string& program);
// A line matches when equal; an expected line ending in "*" matches any line
// that begins with the text before it.
void expectLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected);
bool contains(const std::vector<std::string>& lines, const std::string& line);
std::size_t indexOf(const std::vector<std::string>& lines, const std::string& line);

} // namespace launche2e

#endif
