// Names in any language under code page 1252: a catalog, a user's profile and
// an installation folder whose names the code page lacks.
#include "file_identity.h"
#include "launcher_fixture.h"

namespace launche2e {
namespace {

const wchar_t lodz[] = L"\u0141\u00f3d\u017a"; // "Łódź": Ł and ź are not in code page 1252

class Names : public LauncherRun {
protected:
    void SetUp() override
    {
        LauncherRun::SetUp();
        ASSERT_EQ(GetACP(), 1252u) << "the suite's locale must give code page 1252";
    }
    // The premise of each test: the name really lies outside the code page.
    static bool outsideCodePage(const std::wstring& text)
    {
        BOOL lost = FALSE;
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                            nullptr, &lost);
        return lost;
    }
    std::vector<std::string> recordedArguments() const
    {
        std::vector<std::string> arguments;
        for (const std::string& line : record()) {
            if (line.rfind("arg ", 0) == 0)
                arguments.push_back(line.substr(4));
        }
        return arguments;
    }
    fs::path catalogNamed(const std::wstring& name) const
    {
        const fs::path catalog = install / "My Catalogs" / name;
        writeText(catalog, "catalog");
        return catalog;
    }
};

std::wstring fromUtf8(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

TEST_F(Names, MainGetsTheCatalogExactlyAndTheLogShowsWhatTheCodePageLacksAsQuestionMarks)
{
    const std::wstring name =
        std::wstring(lodz) + L" \u2013 \u6771\u4eac \U0001F39E.tvr"; // "Łódź – 東京 🎞.tvr"
    ASSERT_TRUE(outsideCodePage(name));
    const fs::path catalog = catalogNamed(name);

    const LaunchResult result = launch(wideOpenCommand(exePath(), catalog));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(recordedArguments(), std::vector<std::string>{utf8Of(catalog.wstring())});
    EXPECT_TRUE(contains(log(), "Filename=" + (install / "My Catalogs").string() +
                                    "\\?\xF3"
                                    "d? \x96 ?? ?.tvr"));
    EXPECT_TRUE(contains(log(), "JVM launched"));
}

TEST_F(Names, OfCatalogsWhoseNamesLookAlikeTheOneOpenedIsTheOneAskedFor)
{
    const fs::path asked = catalogNamed(std::wstring(lodz) + L".tvr");
    catalogNamed(L"L\u00f3dz.tvr"); // what best fit makes of "Łódź"
    catalogNamed(L"Lodz.tvr");
    ASSERT_TRUE(outsideCodePage(asked.filename().wstring()));

    launch(wideOpenCommand(exePath(), asked));
    EXPECT_EQ(recordedArguments(), std::vector<std::string>{utf8Of(asked.wstring())});
}

TEST_F(Names, AProfileOutsideTheCodePageGetsItsWholeLogAndTheLogOptionNamesThatFile)
{
    local = scratch / L"U\u017cytkownik \u6771" / "AppData" / "Local"; // "Użytkownik 東"
    ASSERT_TRUE(outsideCodePage(local.wstring()));
    fs::create_directories(local);
    environment.set(L"LOCALAPPDATA", local.wstring());

    const LaunchResult result = launchOnCatalog();
    EXPECT_EQ(result.exitCode, 0u);
    const std::vector<std::string> lines = log();
    ASSERT_FALSE(lines.empty()) << "no log in the profile";
    EXPECT_EQ(lines[1].rfind("CmdLine=", 0), 0u);
    EXPECT_TRUE(contains(lines, "JVM launched"));

    std::string logOption;
    for (const std::string& option : recordedOptions()) {
        if (option.rfind("-Dtavrin.actuallog=", 0) == 0)
            logOption = option.substr(19);
    }
    EXPECT_EQ(logOption.find('?'), std::string::npos) << logOption;
    EXPECT_TRUE(contains(lines, "vmarg -Dtavrin.actuallog=" + logOption)) << "the log names the option it gave";
    ASSERT_NE(testsupport::identityOf(logFile().wstring()), testsupport::noFile);
    EXPECT_EQ(testsupport::identityOf(fromUtf8(logOption)), testsupport::identityOf(logFile().wstring())) << logOption;
}

TEST_F(Names, AnInstallationFolderJavaCannotUseIsRefusedBeforeAnythingIsTouched)
{
    const fs::path folder = scratch / (L"Tavrin " + std::wstring(lodz));
    ASSERT_TRUE(outsideCodePage(folder.wstring()));
    installApplication(folder);

    const LaunchResult result = launch(wideOpenCommand(folder / "Tavrin.exe", catalogPath()), folder / "Tavrin.exe");
    EXPECT_EQ(result.exitCode, 1u);
    expectMessage(result, utf8Of(L"Tavrin cannot start from the folder " + folder.wstring() +
                                 L", because its name contains characters that Java cannot use with this computer's "
                                 L"language for non-Unicode programs. Please move Tavrin to a folder with a plainer "
                                 L"name, such as C:\\Program Files\\Tavrin."));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, ".tvr"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "tvrfile"));
    EXPECT_FALSE(fs::exists(scratch / "record.txt")) << "the virtual machine was loaded";
    EXPECT_FALSE(fs::exists(local / "Orlesk")) << "the error log was opened";

    // Started through the folder's short name, which the code page can carry.
    wchar_t shortFolder[MAX_PATH];
    const DWORD length = GetShortPathNameW(folder.wstring().c_str(), shortFolder, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    ASSERT_FALSE(outsideCodePage(shortFolder)) << "the premise: the short name lies inside the code page";
    const fs::path shortExe = fs::path(std::wstring(shortFolder, length)) / "Tavrin.exe";
    const LaunchResult throughShortName = launch(wideOpenCommand(shortExe, catalogPath()), shortExe);
    EXPECT_EQ(throughShortName.exitCode, 1u);
    ASSERT_EQ(throughShortName.messageBoxes.size(), 1u);
    EXPECT_EQ(throughShortName.messageBoxes[0].text.rfind(
                  utf8Of(L"Tavrin cannot start from the folder " + folder.wstring() + L", because"), 0),
              0u);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, ".tvr"));
}

TEST_F(Names, AnInstallationFolderTheCodePageCarriesLaunchesAsBefore)
{
    const fs::path folder = scratch / L"Tavrin Caf\u00e9";
    ASSERT_FALSE(outsideCodePage(folder.wstring()));
    installApplication(folder);
    const fs::path exe = folder / "Tavrin.exe";

    const LaunchResult result = launch(wideOpenCommand(exe, catalogPath()), exe);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.messageBoxes.empty());
    EXPECT_TRUE(contains(log(), "JVM launched"));
    wchar_t command[512];
    DWORD size = sizeof command;
    ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"tvrfile\\shell\\Open\\command", nullptr, RRF_RT_REG_SZ, nullptr,
                           command, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(command), L"\"" + exe.wstring() + L"\" \"%1\"");
}

} // namespace
} // namespace launche2e
