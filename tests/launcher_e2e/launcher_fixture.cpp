#include "launcher_fixture.h"

#include <atomic>

namespace launche2e {

namespace {

fs::path scratchRoot()
{
    return fs::temp_directory_path() / "tavrin-e2e";
}

} // namespace

std::string otherArchitectureMessage(const std::string& home)
{
    const bool wide = sizeof(void*) == 8;
    const std::string runtime = wide ? "32" : "64", program = wide ? "64" : "32";
    return "The Java runtime in " + home + " is a " + runtime + "-bit runtime, and this Tavrin is a " + program +
           "-bit program. Please install a " + program + "-bit Java runtime from https://www.java.com, or use the " +
           runtime + "-bit Tavrin.";
}

void LauncherRun::SetUpTestSuite()
{
    ASSERT_NE(std::getenv("TAVRIN_E2E_WINE_TRACE"), nullptr) << "run through run_with_wine_trace.sh";
    setStringValue(HKEY_CURRENT_USER, "Software\\Wine\\Debug", "RelayInclude",
                   "user32.MessageBoxW;shell32.SHChangeNotify;kernel32.SetStdHandle;kernel32.CreateFileA;"
                   "kernel32.CreateFileW");
    installRuntime(standInJavaHome(), "bin\\client");
}

fs::path LauncherRun::standInJavaHome()
{
    return scratchRoot() / "Java" / "jre1.8";
}

void LauncherRun::SetUp()
{
    static std::atomic<int> counter{0};
    scratch = scratchRoot() / ("run-" + std::to_string(++counter));
    fs::remove_all(scratch);
    install = scratch / "Program Files" / "Tavrin";
    local = scratch / "Local";
    roaming = scratch / "Roaming";
    fs::create_directories(local);
    fs::create_directories(roaming);
    installApplication(install);
    writeText(catalogPath(), "catalog");

    deleteTree(HKEY_LOCAL_MACHINE, "Software\\JavaSoft");
    registerRuntime(jreFamily, "1.8", standInJavaHome());
    deleteTree(HKEY_CLASSES_ROOT, ".tvr");
    deleteTree(HKEY_CLASSES_ROOT, "tvrfile");

    environment.set("LOCALAPPDATA", local.string())
        .set("APPDATA", roaming.string())
        .set("QTJAVA", std::nullopt)
        .set("JAVA_HOME", std::nullopt)
        .set("TAVRIN_JVM_BEHAVIOUR", std::nullopt)
        .set("TAVRIN_JVM_RECORD", (scratch / "record.txt").string())
        .set("WINEDEBUG", std::string("+relay"));
}

void LauncherRun::TearDown()
{
    std::error_code ignored;
    if (!HasFailure())
        fs::remove_all(scratch, ignored);
}

void LauncherRun::installApplication(const fs::path& folder)
{
    fs::create_directories(folder / "lib");
    fs::copy_file(TAVRIN_EXE, folder / "Tavrin.exe", fs::copy_options::overwrite_existing);
    for (const char* archive : {"tavrin.jar", "resources.jar"}) {
        fs::copy_file(fs::path(APP_LIB_DIR) / archive, folder / "lib" / archive, fs::copy_options::overwrite_existing);
    }
    writeText(folder / "lib" / "java.policy", "grant { permission java.security.AllPermission; };\n");
    writeText(folder / "lib" / "QTJava.zip", "placeholder");
}

std::string LauncherRun::openCommand(const fs::path& exe, const std::string& catalog) const
{
    return "\"" + exe.string() + "\" \"" + catalog + "\"";
}

std::wstring LauncherRun::wideOpenCommand(const fs::path& exe, const fs::path& catalog) const
{
    return L"\"" + exe.wstring() + L"\" \"" + catalog.wstring() + L"\"";
}

LaunchResult LauncherRun::launch(const std::wstring& commandLine, const fs::path& exe)
{
    LaunchResult result = runProcess(exe, commandLine, environment, scratch, scratch / "console.txt");
    expectFinished(result, "Tavrin.exe");
    for (const std::string& line : record()) {
        EXPECT_EQ(line.rfind("violation", 0), std::string::npos) << line;
    }
    return result;
}

std::vector<std::string> LauncherRun::logAfter(const std::string& marker) const
{
    const std::vector<std::string> lines = log();
    const std::size_t at = indexOf(lines, marker);
    if (at == std::string::npos) {
        ADD_FAILURE() << "the log has no line \"" << marker << "\"";
        return lines;
    }
    return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(at) + 1, lines.end());
}

std::vector<std::string> LauncherRun::recordedOptions() const
{
    std::vector<std::string> options;
    for (const std::string& line : record()) {
        if (line.rfind("option ", 0) == 0)
            options.push_back(line.substr(7));
    }
    return options;
}

std::vector<std::string> LauncherRun::loggedVmArgs(const std::vector<std::string>& lines) const
{
    std::vector<std::string> options;
    for (const std::string& line : lines) {
        if (line.rfind("vmarg ", 0) == 0)
            options.push_back(line.substr(6));
    }
    return options;
}

void LauncherRun::registerRuntime(const char* family, const std::string& version, const std::string& javaHome)
{
    setStringValue(HKEY_LOCAL_MACHINE, family, "CurrentVersion", version);
    setStringValue(HKEY_LOCAL_MACHINE, std::string(family) + "\\" + version, "JavaHome", javaHome);
}

fs::path LauncherRun::installRuntime(const fs::path& home, const std::string& vmFolder, const fs::path& library)
{
    const fs::path vm = home / vmFolder / "jvm.dll";
    fs::create_directories(vm.parent_path());
    fs::copy_file(library, vm, fs::copy_options::overwrite_existing);
    return vm;
}

void LauncherRun::writeRelease(const fs::path& home, const std::string& javaVersion)
{
    writeText(home / "release", "IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_RUNTIME_VERSION=\"" + javaVersion +
                                    "+7\"\nJAVA_VERSION=\"" + javaVersion + "\"\nOS_NAME=\"Windows\"\n");
}

std::vector<std::string> LauncherRun::standardHandlesOfAProgramStartedWith(StandardHandles handles)
{
    const fs::path report = scratch / "handles.txt";
    const LaunchResult result = runProcess(STD_HANDLES_PROBE, "probe " + report.string(), environment, scratch,
                                           scratch / "probe-console.txt", handles);
    expectFinished(result, "the probe");
    EXPECT_EQ(result.exitCode, 0u) << "the probe failed";
    return linesOf(report);
}

void LauncherRun::expectMessage(const LaunchResult& result, const std::string& text)
{
    ASSERT_EQ(result.messageBoxes.size(), 1u);
    const MessageBoxCall& box = result.messageBoxes[0];
    EXPECT_EQ(box.owner, 0u);
    if (box.textCut) // its whole text is the unit tests' to check
        EXPECT_EQ(text.substr(0, box.text.size()), box.text);
    else
        EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.title, launchErrorTitle);
    EXPECT_EQ(box.style, errorIconAndOk);
}

void expectFinished(const LaunchResult& result, const std::string& program)
{
    EXPECT_EQ(result.startError, 0u) << program << " did not start";
    EXPECT_TRUE(result.finished || result.startError != 0) << program << " did not end";
}

void expectLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected)
{
    std::string all;
    for (const std::string& line : actual)
        all += line + "\n";
    ASSERT_EQ(actual.size(), expected.size()) << all;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string& want = expected[i];
        if (!want.empty() && want.back() == '*') {
            EXPECT_EQ(actual[i].substr(0, want.size() - 1), want.substr(0, want.size() - 1)) << "line " << i << " of\n"
                                                                                             << all;
        } else {
            EXPECT_EQ(actual[i], want) << "line " << i << " of\n" << all;
        }
    }
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return indexOf(lines, line) != std::string::npos;
}

std::size_t indexOf(const std::vector<std::string>& lines, const std::string& line)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == line)
            return i;
    }
    return std::string::npos;
}

} // namespace launche2e
