// Tavrin.exe as built, read from its file.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "pe_image.h"

namespace {

std::wstring tavrinExe()
{
    std::string path = TAVRIN_BUILD_DIR "/launcher/Tavrin.exe";
    std::replace(path.begin(), path.end(), '/', '\\');
    return std::wstring(path.begin(), path.end());
}

TEST(TavrinExe, IsAWindowsGuiProgramWithoutAConsole)
{
    testsupport::PeImage image(tavrinExe());
    EXPECT_EQ(image.machine(), IMAGE_FILE_MACHINE_I386);
    EXPECT_FALSE(image.isDll());
    EXPECT_EQ(image.subsystem(), IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST(TavrinExe, HoldsTheProgramAndCatalogIconGroupsAndAVersion)
{
    testsupport::PeImage image(tavrinExe());
    EXPECT_EQ(image.iconGroupImages(101), 7);
    EXPECT_EQ(image.iconGroupImages(102), 6);
    EXPECT_NE(FindResourceA(image.module(), MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16)), nullptr);
}

TEST(TavrinExe, ExportsTheDefineClassNativeUnderItsJniName)
{
    testsupport::PeImage image(tavrinExe());
    EXPECT_EQ(image.exportNames(), std::vector<std::string>{"Java_orlesk_tavrin_SecureLauncher_defineClass"});
}

TEST(TavrinExe, ImportsOnlySystemLibrariesAndLoadsTheRuntimeItself)
{
    testsupport::PeImage image(tavrinExe());
    for (const std::string& dll : image.importedDlls()) {
        EXPECT_TRUE(testsupport::isWindowsSystemDll(dll)) << dll;
        EXPECT_NE(dll, "jvm.dll");
    }
}

} // namespace
