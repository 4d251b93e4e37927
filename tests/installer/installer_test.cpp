// The package under Wine's installer, one group per prefix (the test names
// select a group): one silent install and what it leaves; an upgrade and a
// refused downgrade; a repair, then a removal. msiexec runs as a child of this
// program, as an administrator's command would; the installed launcher is
// started the way the Start menu shortcut starts it, on the stand-in runtime.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "installed_package.h"
#include "launch_harness.h"

namespace msitest {
namespace {

const fs::path package = windowsPath(TAVRIN_MSI);
const fs::path upgradePackage = windowsPath(TAVRIN_UPGRADE_MSI);
const fs::path scratch = L"C:\\tavrin-installer-test";
const std::wstring productName = L"Tavrin";
const std::wstring downgradeMessage =
    L"A newer version of Tavrin is already installed. Remove it first to install this older version.";
const std::wstring classes = L"Software\\Classes\\";
// A value under HKCU that only the shortcut's component writes, as its key path.
const std::wstring shortcutKeyPath = L"Software\\Orlesk\\Tavrin\\Installer";
// Where the package remembers the installation folder.
const std::wstring rememberedFolderKey = L"Software\\Orlesk\\Tavrin";
// Registry calls in the relay trace, in the modules that carry them out in
// Wine: those that write, and the openings of keys, which show the launcher
// reading the file type's keys (the premise of a check for no writes).
const char* const registryWrites[] = {
    "advapi32.RegSetValueA",      "advapi32.RegSetValueW",     "advapi32.RegSetValueExA",
    "advapi32.RegSetValueExW",    "kernelbase.RegSetValueExA", "kernelbase.RegSetValueExW",
    "advapi32.RegSetKeyValueA",   "advapi32.RegSetKeyValueW",  "kernelbase.RegSetKeyValueA",
    "kernelbase.RegSetKeyValueW", "advapi32.RegCreateKeyA",    "advapi32.RegCreateKeyW",
    "advapi32.RegCreateKeyExA",   "advapi32.RegCreateKeyExW",  "kernelbase.RegCreateKeyExA",
    "kernelbase.RegCreateKeyExW", "advapi32.RegDeleteKeyA",    "advapi32.RegDeleteKeyW",
    "advapi32.RegDeleteValueA",   "advapi32.RegDeleteValueW",  "kernelbase.RegDeleteValueA",
    "kernelbase.RegDeleteValueW"};
const char* const keyOpenings[] = {"advapi32.RegOpenKeyExA",   "advapi32.RegOpenKeyExW", "kernelbase.RegOpenKeyExA",
                                   "kernelbase.RegOpenKeyExW", "advapi32.RegOpenKeyA",   "advapi32.RegOpenKeyW"};
// The file type's keys as the trace quotes a key name.
const char* const fileTypeKeysInTrace[] = {"\".tvr\"", "\"tvrfile\"", "\"tvrfile\\\\DefaultIcon\"",
                                           "\"tvrfile\\\\shell\\\\Open\\\\command\""};

std::wstring quoted(const fs::path& path)
{
    return L"\"" + path.wstring() + L"\"";
}

fs::path logOf(const std::string& step)
{
    return scratch / (step + ".log");
}

DWORD install(const fs::path& msi, const std::string& step, const std::wstring& properties = L"")
{
    return runMsiexec(L"/i " + quoted(msi) + properties, logOf(step));
}

// An uninstall entry of Windows Installer is named by the product code.
std::wstring productCodeOf(const std::wstring& entry)
{
    return entry.substr(entry.rfind(L'\\') + 1);
}

fs::path zipContent()
{
    const char* content = std::getenv("TAVRIN_ZIP_CONTENT");
    return content ? fs::path(content) : fs::path();
}

// A per-machine shortcut belongs in the Start menu of all users. Wine's
// installer puts it in the installing user's (as it does for any package):
// there, and only under Wine, that one counts.
fs::path shortcutFile()
{
    const fs::path common = knownFolder(FOLDERID_CommonPrograms) / L"Tavrin.lnk";
    const fs::path own = knownFolder(FOLDERID_Programs) / L"Tavrin.lnk";
    return !fs::exists(common) && runningUnderWine() && fs::exists(own) ? own : common;
}

fs::path errorLog()
{
    return knownFolder(FOLDERID_LocalAppData) / L"Orlesk" / L"Logs" / L"Tavrin Error Log.txt";
}

fs::path qtJava()
{
    return scratch / "QuickTime" / "QTJava.zip";
}

fs::path catalog()
{
    return knownFolder(FOLDERID_Documents) / L"Tape 12.tvr";
}

// The files in an installation folder equal those of a layout, and there are no others.
void expectFilesOf(const fs::path& layout, const fs::path& folder)
{
    const std::vector<std::wstring> expected = filesBelow(layout);
    ASSERT_FALSE(expected.empty()) << "nothing to compare with in " << layout;
    EXPECT_EQ(filesBelow(folder), expected);
    for (const std::wstring& file : expected)
        EXPECT_TRUE(sameContent(folder / file, layout / file)) << file << " differs from " << layout;
}

// The stand-in runtime registered as a Java 8 runtime, the relay trace limited
// to the registry calls above and the shell's notification.
void prepareLaunches()
{
    const fs::path vm = scratch / "Java" / "jre1.8" / "bin" / "client" / "jvm.dll";
    fs::create_directories(vm.parent_path());
    fs::copy_file(windowsPath(STANDIN_JVM_DLL), vm, fs::copy_options::overwrite_existing);
    const std::string family = "Software\\JavaSoft\\Java Runtime Environment";
    launche2e::setStringValue(HKEY_LOCAL_MACHINE, family, "CurrentVersion", "1.8");
    launche2e::setStringValue(HKEY_LOCAL_MACHINE, family + "\\1.8", "JavaHome", (scratch / "Java" / "jre1.8").string());
    std::string relay = "user32.MessageBoxA;user32.MessageBoxW;shell32.SHChangeNotify";
    for (const char* function : registryWrites)
        relay += std::string(";") + function;
    for (const char* function : keyOpenings)
        relay += std::string(";") + function;
    launche2e::setStringValue(HKEY_CURRENT_USER, "Software\\Wine\\Debug", "RelayInclude", relay);
    launche2e::writeText(catalog(), "catalog");
    // QuickTime for Java, which the launcher requires, is the machine's, not the installation's.
    launche2e::writeText(qtJava(), "placeholder");
}

// The launcher started as the shell starts the shortcut: its target with the
// catalog, in its working folder.
launche2e::LaunchResult launchThroughShortcut()
{
    const std::optional<Shortcut> shortcut = readShortcut(shortcutFile());
    if (!shortcut) {
        ADD_FAILURE() << "no shortcut to start";
        return {};
    }
    launche2e::Environment environment;
    environment.set(L"WINEDEBUG", std::wstring(L"+relay"))
        .set(L"JAVA_HOME", std::nullopt)
        .set(L"QTJAVA", qtJava().wstring());
    const std::wstring commandLine = quoted(shortcut->target) + L" " + quoted(catalog());
    launche2e::LaunchResult result = launche2e::runProcess(shortcut->target, commandLine, environment,
                                                           shortcut->workingFolder, scratch / "console.txt");
    EXPECT_EQ(result.startError, 0u) << "the launcher did not start";
    EXPECT_TRUE(result.finished) << "the launcher did not end";
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.messageBoxes.empty()) << result.messageBoxes.front().text;
    const std::vector<std::string> log = launche2e::linesOf(errorLog());
    EXPECT_NE(std::find(log.begin(), log.end(), "JVM launched"), log.end()) << "the launch did not reach Java";
    return result;
}

// Each group begins with one silent install of the package, into Program
// Files or into a folder given on the command line.
class PackageGroup : public ::testing::Test {
protected:
    static void installInto(const fs::path& target)
    {
        fs::create_directories(scratch);
        folder = target;
        const std::wstring properties = target == installFolder() ? L"" : L" INSTALLDIR=" + quoted(target);
        installed = install(package, "install", properties) == 0;
    }
    static void SetUpTestSuite() { installInto(installFolder()); }
    void SetUp() override { ASSERT_TRUE(installed) << "msiexec /i did not succeed: see " << logOf("install"); }
    static fs::path installedExe() { return folder / L"Tavrin.exe"; }
    static void expectInstalledFilesOf(const fs::path& layout) { expectFilesOf(layout, folder); }

    static bool installed;
    static fs::path folder;
};

bool PackageGroup::installed = false;
fs::path PackageGroup::folder;

// One silent install, then everything it should have left.
using Install = PackageGroup;

TEST_F(Install, TheInstalledFilesAreTheZips)
{
    expectInstalledFilesOf(zipContent());
}

TEST_F(Install, TheStartMenuShortcutStartsTheInstalledLauncherInItsFolder)
{
    const std::optional<Shortcut> shortcut = readShortcut(shortcutFile());
    ASSERT_TRUE(shortcut) << "no shortcut " << shortcutFile();
    EXPECT_EQ(shortcut->target.wstring(), installedExe().wstring());
    // Windows Installer gives a folder with its final separator.
    EXPECT_EQ(shortcut->workingFolder.wstring(), folder.wstring() + L"\\");
    EXPECT_EQ(shortcut->arguments, L"");
    EXPECT_EQ(numberValue(HKEY_CURRENT_USER, shortcutKeyPath, L"StartMenuShortcut"), 1u);
}

TEST_F(Install, TheFileTypeHoldsWhatTheLauncherWrites)
{
    const std::wstring exe = installedExe().wstring();
    const std::pair<std::wstring, std::wstring> values[] = {
        {L".tvr", L"tvrfile"},
        {L"tvrfile", L"Tavrin Catalog"},
        {L"tvrfile\\DefaultIcon", exe + L",-102"},
        {L"tvrfile\\shell\\Open\\command", L"\"" + exe + L"\" \"%1\""},
    };
    for (const auto& [key, value] : values) {
        EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, classes + key), value) << key;
        EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, key), value) << key;
    }
}

// Wine's installer writes neither the icon (DisplayIcon) nor the size
// (EstimatedSize, 0) into the entry, which Windows takes from the package's
// ARPPRODUCTICON and its costing: there the icon is checked as Windows
// Installer publishes it for the product, and the size not at all.
TEST_F(Install, ProgramsAndFeaturesListsTheProduct)
{
    const std::vector<std::wstring> entries = uninstallEntriesNamed(productName);
    ASSERT_EQ(entries.size(), 1u);
    const std::wstring& entry = entries[0];
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, entry, L"Publisher"), L"Orlesk");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayVersion"), fs::path(TAVRIN_VERSION).wstring());
    const std::optional<std::wstring> icon = productInfo(productCodeOf(entry), L"ProductIcon");
    ASSERT_TRUE(icon) << "no product icon";
    EXPECT_TRUE(sameContent(*icon, windowsPath(TAVRIN_PROGRAM_ICON))) << *icon << " is not the launcher's icon";
    if (runningUnderWine())
        return;
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayIcon"), icon);
    std::uintmax_t bytes = 0;
    for (const std::wstring& file : filesBelow(folder))
        bytes += fs::file_size(folder / file);
    const std::optional<DWORD> size = numberValue(HKEY_LOCAL_MACHINE, entry, L"EstimatedSize"); // KiB
    ASSERT_TRUE(size) << "no size";
    EXPECT_GE(*size, bytes / 1024);
}

TEST_F(Install, ThePackageRefusesADowngradeAndAWrongWindowsWithAMessage)
{
    const std::map<std::wstring, std::wstring> conditions = launchConditionsOf(package);
    EXPECT_EQ(conditions.at(L"NOT WIX_DOWNGRADE_DETECTED"), downgradeMessage);
    if (sizeof(void*) == 8) {
        EXPECT_EQ(conditions.at(L"VersionNT64"),
                  L"This Tavrin is for 64-bit Windows. Install the x86 package of Tavrin on 32-bit Windows.");
    }
}

TEST_F(Install, TheLauncherStartedByTheShortcutWritesNoFileTypeKey)
{
    prepareLaunches();
    const launche2e::LaunchResult result = launchThroughShortcut();
    std::string openings;
    for (const char* function : keyOpenings) {
        for (const std::string& call : launche2e::callsOf(result.trace, function))
            openings += call + "\n";
    }
    for (const char* key : fileTypeKeysInTrace)
        ASSERT_NE(openings.find(key), std::string::npos) << "the relay trace shows no opening of " << key;
    for (const char* function : registryWrites) {
        for (const std::string& call : launche2e::callsOf(result.trace, function))
            ADD_FAILURE() << function << "(" << call;
    }
    EXPECT_TRUE(result.shellNotifications.empty()) << "the launcher told the shell the file types changed";
}

// A package of a higher version over the installed one, then the installed
// one's package again.
class Upgrade : public PackageGroup {
protected:
    static void SetUpTestSuite()
    {
        PackageGroup::SetUpTestSuite();
        upgraded = installed && install(upgradePackage, "upgrade") == 0;
    }
    void SetUp() override
    {
        PackageGroup::SetUp();
        ASSERT_TRUE(upgraded) << "msiexec /i of the higher version did not succeed: see " << logOf("upgrade");
    }
    static void expectOnlyTheUpgrade()
    {
        const std::vector<std::wstring> entries = uninstallEntriesNamed(productName);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, entries[0], L"DisplayVersion"),
                  fs::path(TAVRIN_UPGRADE_VERSION).wstring());
        expectInstalledFilesOf(windowsPath(TAVRIN_UPGRADE_LAYOUT));
    }
    static bool upgraded;
};

bool Upgrade::upgraded = false;

TEST_F(Upgrade, TheHigherVersionReplacesTheInstalledOne)
{
    ASSERT_NE(readBytes(folder / L"lib" / L"java.policy"), readBytes(zipContent() / L"lib" / L"java.policy"))
        << "the upgrade's files do not differ from the old ones";
    expectOnlyTheUpgrade();
}

// Wine's installer does not log the failed launch condition's message (the
// Install group checks that the package has it); Windows does.
TEST_F(Upgrade, TheOlderVersionIsRefused)
{
    EXPECT_EQ(install(package, "downgrade"), installFailure);
    if (!runningUnderWine()) {
        const std::string log = readBytes(logOf("downgrade"));
        EXPECT_NE(log.find(fs::path(downgradeMessage).string()), std::string::npos)
            << "the refusal does not say why: see " << logOf("downgrade");
    }
    expectOnlyTheUpgrade();
}

// Installed into a folder of the administrator's choice. Run in this order:
// the repair needs the installation that the removal takes.
class RepairAndRemoval : public PackageGroup {
protected:
    static void SetUpTestSuite() { installInto(L"C:\\Video Tools\\Tavrin"); }
};

TEST_F(RepairAndRemoval, TheFileTypeNamesTheChosenFolder)
{
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, L"tvrfile\\shell\\Open\\command"),
              L"\"" + installedExe().wstring() + L"\" \"%1\"");
    EXPECT_FALSE(fs::exists(installFolder()));
}

TEST_F(RepairAndRemoval, ARepairPutsBackADeletedAndADamagedFile)
{
    const fs::path lib = folder / L"lib";
    ASSERT_TRUE(fs::remove(lib / L"Pellux.dll"));
    launche2e::writeText(lib / L"resources.jar", "damaged");
    // Wine's msiexec /f repairs nothing (a package: 1605, unknown product; a
    // product code: not implemented, 1): there the installer's API that
    // msiexec /fa calls on Windows does the repair.
    UINT repaired = 0;
    if (runningUnderWine()) {
        const std::vector<std::wstring> entries = uninstallEntriesNamed(productName);
        ASSERT_EQ(entries.size(), 1u);
        repaired = reinstallAllFiles(productCodeOf(entries[0]), logOf("repair"));
    } else {
        repaired = runMsiexec(L"/fa " + quoted(package), logOf("repair"));
    }
    EXPECT_EQ(repaired, 0u);
    expectInstalledFilesOf(zipContent());
}

TEST_F(RepairAndRemoval, TheRemovalLeavesOnlyTheUsersFiles)
{
    prepareLaunches();
    launchThroughShortcut();
    const fs::path shortcut = shortcutFile();
    ASSERT_TRUE(fs::exists(errorLog())) << "the launch left no error log";
    ASSERT_TRUE(fs::exists(shortcut));
    ASSERT_TRUE(keyExists(HKEY_LOCAL_MACHINE, classes + L".tvr"));

    EXPECT_EQ(runMsiexec(L"/x " + quoted(package), logOf("remove")), 0u);
    EXPECT_FALSE(fs::exists(folder)) << "left: " << filesBelow(folder).size() << " files";
    EXPECT_FALSE(fs::exists(shortcut));
    for (const wchar_t* key : {L".tvr", L"tvrfile"}) {
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, classes + key)) << key;
        EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key)) << key;
    }
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, shortcutKeyPath));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, rememberedFolderKey));
    EXPECT_TRUE(uninstallEntriesNamed(productName).empty());
    EXPECT_TRUE(fs::exists(errorLog()));
    EXPECT_TRUE(fs::exists(catalog()));
}

} // namespace
} // namespace msitest
