// Names outside the ANSI code page at the launcher's narrow edges: the error
// log shows "?" for what the code page lacks, never a look-alike, and a path
// handed to the virtual machine still names the same file.
#include <gtest/gtest.h>

#include <windows.h>

#include "code_page_text.h"
#include "file_identity.h"
#include "scratch_folder.h"

namespace launcher {
namespace {

namespace fs = std::filesystem;

const wchar_t catalogName[] =
    L"\u0141\u00f3d\u017a \u2013 \u6771\u4eac \U0001F39E.tvr"; // "Łódź – 東京 🎞.tvr"
const wchar_t profileName[] = L"U\u017cytkownik \u6771";       // "Użytkownik 東"

class CodePageText : public ::testing::Test {
protected:
    // The premise: the suite runs with code page 1252, which lacks Ł, ź, ż,
    // 東, 京 and 🎞 but has ó, é and the dash.
    void SetUp() override { ASSERT_EQ(GetACP(), 1252u) << "the suite's locale must give code page 1252"; }
};

TEST_F(CodePageText, TheLogShowsAQuestionMarkForEachCharacterTheCodePageLacks)
{
    EXPECT_EQ(ansiForLog(catalogName), "?\xF3"
                                       "d? \x96 ?? ?.tvr");
    EXPECT_EQ(ansiForLog(L"Tavrin Caf\u00e9"), "Tavrin Caf\xE9");
    EXPECT_EQ(ansiForLog(L""), "");
}

TEST_F(CodePageText, OnlyTextEveryCharacterOfWhichTheCodePageHasConvertsWithoutLoss)
{
    EXPECT_EQ(ansiWithoutLoss(L"Tavrin Caf\u00e9"), "Tavrin Caf\xE9");
    EXPECT_EQ(ansiWithoutLoss(L"\u0141\u00f3d\u017a"), std::nullopt) << "best fit would give \"Lodz\"";
    EXPECT_EQ(ansiWithoutLoss(L"\U0001F39E"), std::nullopt);
    EXPECT_EQ(ansiWithoutLoss(L"\u6771"), std::nullopt);
    EXPECT_EQ(wideFromAnsi("Tavrin Caf\xE9"), L"Tavrin Caf\u00e9");
}

TEST_F(CodePageText, APathTheCodePageLacksReachesTheVirtualMachineAsTheSameFile)
{
    launchertest::ScratchFolder scratch;
    const fs::path profile = scratch.path() / profileName;
    const fs::path log = profile / L"Tavrin Error Log.txt";
    launchertest::writeFile(log, "log");
    ASSERT_EQ(ansiWithoutLoss(log.wstring()), std::nullopt);

    for (const fs::path& path : {log, profile}) {
        const std::string forVm = ansiPathForVm(path.wstring());
        EXPECT_EQ(forVm.find('?'), std::string::npos) << forVm;
        EXPECT_NE(testsupport::identityOf(path.wstring()), testsupport::noFile);
        EXPECT_EQ(testsupport::identityOf(wideFromAnsi(forVm)), testsupport::identityOf(path.wstring())) << forVm;
    }
    // A log that could not be created: its folder in short form, its own name as it is.
    const std::string missing = ansiPathForVm((profile / L"Missing Log.txt").wstring());
    EXPECT_EQ(missing.substr(missing.size() - 16), "\\Missing Log.txt");
    EXPECT_EQ(testsupport::identityOf(wideFromAnsi(missing.substr(0, missing.size() - 16))),
              testsupport::identityOf(profile.wstring()));
    // A path the code page can carry is handed on as it is.
    EXPECT_EQ(ansiPathForVm(L"C:\\Program Files\\Tavrin Caf\u00e9\\lib"), "C:\\Program Files\\Tavrin Caf\xE9\\lib");
}

} // namespace
} // namespace launcher
