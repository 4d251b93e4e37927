// The Java version of a runtime home, read from its "release" file, and what
// decides whether the virtual machine is given a security manager.
#include <gtest/gtest.h>

#include "java_start.h"
#include "java_version.h"
#include "launch_log.h"
#include "runtime_discovery.h"
#include "scratch_folder.h"

namespace launcher {
namespace {

TEST(JavaVersion, TheValueOfTheJavaVersionLineWithoutItsQuotes)
{
    EXPECT_EQ(releaseJavaVersion("IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_RUNTIME_VERSION=\"25+36\"\n"
                                 "JAVA_VERSION=\"25\"\nOS_ARCH=\"amd64\"\n"),
              "25");
    EXPECT_EQ(releaseJavaVersion("JAVA_VERSION=\"21.0.2\"\r\nOS_NAME=\"Windows\"\r\n"), "21.0.2");
    EXPECT_EQ(releaseJavaVersion("JAVA_VERSION=\"1.8.0_401\""), "1.8.0_401"); // no line break at the end
    EXPECT_EQ(releaseJavaVersion("JAVA_VERSION=\"17\"\nJAVA_VERSION=\"11\"\n"), "17");
}

TEST(JavaVersion, WithoutAJavaVersionLineThereIsNone)
{
    EXPECT_EQ(releaseJavaVersion(""), std::nullopt);
    EXPECT_EQ(releaseJavaVersion("JAVA_RUNTIME_VERSION=\"25+36\"\nIMPLEMENTOR_VERSION=\"25\"\n"), std::nullopt);
    EXPECT_EQ(releaseJavaVersion(" JAVA_VERSION=\"25\"\n"), std::nullopt);
}

TEST(JavaVersion, TheFeatureNumberIsTheOneAfter1DotOrElseTheLeadingNumber)
{
    EXPECT_EQ(javaFeatureNumber("1.8.0_401"), 8);
    EXPECT_EQ(javaFeatureNumber("1.6.0_45"), 6);
    EXPECT_EQ(javaFeatureNumber("21.0.2"), 21);
    EXPECT_EQ(javaFeatureNumber("25"), 25);
    EXPECT_EQ(javaFeatureNumber("26-ea"), 26);
    EXPECT_EQ(javaFeatureNumber("24"), 24);
    EXPECT_EQ(javaFeatureNumber("23.0.1"), 23);
}

TEST(JavaVersion, AValueWithoutANumberToReadHasNoFeatureNumber)
{
    for (const char* value : {"", "1.", "ea", "\"25", "-25", "+25", "1.x", " 25", "99999999999999999999"}) {
        EXPECT_EQ(javaFeatureNumber(value), std::nullopt) << value;
    }
}

TEST(JavaVersion, IsReadFromTheReleaseFileOfTheHome)
{
    launchertest::ScratchFolder home;
    EXPECT_EQ(javaVersionOfHome(home.path().wstring()), std::nullopt);
    launchertest::writeFile(home.path() / "release", "JAVA_VERSION=\"25\"\r\n");
    EXPECT_EQ(javaVersionOfHome(home.path().wstring()), "25");
}

class SecurityManagerOptions : public ::testing::Test {
protected:
    void SetUp() override { actualLogPath = L"C:\\Logs\\Tavrin Error Log.txt"; }
    void TearDown() override { actualLogPath.reset(); }
};

TEST_F(SecurityManagerOptions, WithoutTheSecurityManagerTheOtherFiveKeepTheirOrder)
{
    EXPECT_EQ(vmOptionStrings("lib\\tavrin.jar", "lib", SecurityManager::Unsupported),
              (std::vector<std::string>{"-Djava.class.path=lib\\tavrin.jar", "-Djava.library.path=lib",
                                        "-Dtavrin.actuallog=C:\\Logs\\Tavrin Error Log.txt", "-Xmx320m",
                                        "-Dtavrin.mainClass=orlesk.tavrin.StdLauncher"}));
}

TEST(JavaHomes, AreTheSameFolderWhateverTheCaseAndTrailingBackslashes)
{
    EXPECT_TRUE(sameJavaHome(L"C:\\jdk\\", L"C:\\jdk"));
    EXPECT_TRUE(sameJavaHome(L"C:\\jdk\\\\", L"c:\\JDK"));
    EXPECT_TRUE(sameJavaHome(L"C:\\Program Files\\Java\\jre-1.8", L"C:\\PROGRAM FILES\\JAVA\\JRE-1.8\\"));
    EXPECT_TRUE(sameJavaHome(L"C:\\Java\\\u00c4rger", L"c:\\java\\\u00e4rger"));
    EXPECT_TRUE(sameJavaHome(L"C:\\Java\\\u0141\u00f3d\u017a", L"c:\\java\\\u0142\u00d3D\u0179"));
}

TEST(JavaHomes, ThatAreOneWordButTwoFoldersDiffer)
{
    EXPECT_FALSE(sameJavaHome(L"C:\\Java\\Stra\u00dfe", L"C:\\Java\\Strasse"));
    EXPECT_FALSE(sameJavaHome(L"C:\\Java\\jdk\u00ad17", L"C:\\Java\\jdk17"));        // a soft hyphen
    EXPECT_FALSE(sameJavaHome(L"C:\\Java\\\u0141\u00f3d\u017a", L"C:\\Java\\Lodz")); // not the best fit
    EXPECT_FALSE(sameJavaHome(L"C:\\jdk-17", L"C:\\jdk-1"));
    EXPECT_FALSE(sameJavaHome(L"C:\\jdk", L"C:\\jdk\\jre"));
}

} // namespace
} // namespace launcher
