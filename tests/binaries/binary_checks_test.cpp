// The built deliverables of one architecture, read from their files (so any
// architecture's test program checks either): what Pellux.dll exports must be
// exactly the native methods Pellux.java declares, undecorated as a JVM looks
// them up; Tavrin.exe is a GUI program with its icons and version; both are of
// the architecture checked and import only Windows system DLLs.
//
// TAVRIN_CHECK_TREE names the build tree (a Windows path) and TAVRIN_CHECK_ARCH
// its architecture, x86 or x64.
#include "pe_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <map>
#include <set>
#include <string>
#include <vector>

using ::testing::IsEmpty;

namespace {

struct JavaMethod {
    std::string className;
    std::string name;
    std::string descriptor;
    bool isNative;
};

std::vector<JavaMethod> declaredMethods()
{
    std::vector<JavaMethod> methods;
    std::string current;
#define JAVA_CLASS(name, super) current = name;
#define JAVA_METHOD(name, descriptor, isStatic, isNative) methods.push_back({current, name, descriptor, isNative});
#define JAVA_CLASS_END()
#include "java_signatures.inc"
#undef JAVA_CLASS
#undef JAVA_METHOD
#undef JAVA_CLASS_END
    return methods;
}

// JNI's escaping of names and descriptors in native method symbols.
std::string mangled(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '/')
            out += '_';
        else if (c == '_')
            out += "_1";
        else if (c == ';')
            out += "_2";
        else if (c == '[')
            out += "_3";
        else if (std::isalnum(c))
            out += static_cast<char>(c);
        else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "_0%04x", c);
            out += escape;
        }
    }
    return out;
}

std::string argumentsOf(const std::string& descriptor)
{
    return descriptor.substr(1, descriptor.find(')') - 1);
}

// The symbol a JVM looks up for each native method of `className`: the short
// name, or for an overloaded method the long name with the argument types.
std::set<std::string> jniSymbols(const std::string& className)
{
    std::map<std::string, int> overloads;
    std::vector<JavaMethod> natives;
    for (const JavaMethod& method : declaredMethods()) {
        if (method.className == className && method.isNative) {
            natives.push_back(method);
            ++overloads[method.name];
        }
    }
    std::set<std::string> symbols;
    for (const JavaMethod& method : natives) {
        std::string symbol = "Java_" + mangled(className) + "_" + mangled(method.name);
        if (overloads[method.name] > 1)
            symbol += "__" + mangled(argumentsOf(method.descriptor));
        symbols.insert(symbol);
    }
    return symbols;
}

std::vector<std::string> difference(const std::set<std::string>& a, const std::set<std::string>& b)
{
    std::vector<std::string> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == 0)
        throw std::runtime_error(std::string(name) + " is not set");
    return value;
}

std::wstring deliverable(const char* relative)
{
    const std::string path = environment("TAVRIN_CHECK_TREE") + "\\" + relative;
    return std::wstring(path.begin(), path.end());
}

std::wstring pelluxPath()
{
    return deliverable("pellux\\Pellux.dll");
}

std::wstring tavrinPath()
{
    return deliverable("launcher\\Tavrin.exe");
}

bool checkingX86()
{
    const std::string arch = environment("TAVRIN_CHECK_ARCH");
    if (arch != "x86" && arch != "x64")
        throw std::runtime_error("TAVRIN_CHECK_ARCH must be x86 or x64, not " + arch);
    return arch == "x86";
}

// The PE machine and optional-header kind of the architecture checked.
void expectArchitecture(const testsupport::PeImage& image)
{
    if (checkingX86()) {
        EXPECT_EQ(image.machine(), IMAGE_FILE_MACHINE_I386);
        EXPECT_FALSE(image.isPe32Plus()) << "an x86 binary is PE32";
    } else {
        EXPECT_EQ(image.machine(), IMAGE_FILE_MACHINE_AMD64);
        EXPECT_TRUE(image.isPe32Plus()) << "an x64 binary is PE32+";
    }
}

std::vector<std::string> foreignImports(const testsupport::PeImage& image)
{
    std::vector<std::string> foreign;
    for (const std::string& name : image.importedDlls()) {
        if (!testsupport::isWindowsSystemDll(name))
            foreign.push_back(name);
    }
    return foreign;
}

} // namespace

TEST(JniSymbols, OverloadsCarryTheirArgumentTypes)
{
    const std::set<std::string> symbols = jniSymbols("orlesk/tavrin/pellux/Pellux");
    EXPECT_EQ(symbols.count("Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JI"), 1u);
    EXPECT_EQ(symbols.count("Java_orlesk_tavrin_pellux_Pellux_setAudioInputMediaType__JIII"), 1u);
    EXPECT_EQ(symbols.count("Java_orlesk_tavrin_pellux_Pellux_openDevice"), 1u);
    EXPECT_EQ(mangled("a_b;[c/d"), "a_1b_2_3c_d");
}

TEST(PelluxDll, ExportsExactlyTheNativeMethodsJavaDeclares)
{
    testsupport::PeImage dll(pelluxPath());
    const std::vector<std::string> names = dll.exportNames();
    const std::set<std::string> exported(names.begin(), names.end());
    const std::set<std::string> declared = jniSymbols("orlesk/tavrin/pellux/Pellux");

    EXPECT_THAT(difference(declared, exported), IsEmpty()) << "declared in Pellux.java but not exported";
    EXPECT_THAT(difference(exported, declared), IsEmpty()) << "exported but not a native method of Pellux.java";
    EXPECT_EQ(names.size(), exported.size()) << "an export appears twice";
}

TEST(PelluxDll, IsADllOfTheArchitectureThatImportsOnlyWindowsSystemDlls)
{
    testsupport::PeImage dll(pelluxPath());
    expectArchitecture(dll);
    EXPECT_TRUE(dll.isDll());
    EXPECT_THAT(foreignImports(dll), IsEmpty());
}

TEST(TavrinExe, IsAWindowsGuiProgramOfTheArchitectureWithoutAConsole)
{
    testsupport::PeImage image(tavrinPath());
    expectArchitecture(image);
    EXPECT_FALSE(image.isDll());
    EXPECT_EQ(image.subsystem(), IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST(TavrinExe, HoldsTheProgramAndCatalogIconGroupsAndAVersion)
{
    testsupport::PeImage image(tavrinPath());
    EXPECT_EQ(image.iconGroupImages(101), 7);
    EXPECT_EQ(image.iconGroupImages(102), 6);
    EXPECT_TRUE(image.hasResource(16 /* RT_VERSION */, VS_VERSION_INFO));
}

TEST(TavrinExe, ExportsTheDefineClassNativeUnderItsJniName)
{
    testsupport::PeImage image(tavrinPath());
    EXPECT_EQ(image.exportNames(), std::vector<std::string>{"Java_orlesk_tavrin_SecureLauncher_defineClass"});
}

TEST(TavrinExe, ImportsOnlySystemLibrariesAndLoadsTheRuntimeItself)
{
    testsupport::PeImage image(tavrinPath());
    EXPECT_THAT(foreignImports(image), IsEmpty());
}
