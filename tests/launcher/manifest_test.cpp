// The application manifest inside the built Tavrin.exe: how Windows runs it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace launcher {
namespace {

// Tavrin.exe mapped for reading its resources only.
class ProgramResources {
public:
    explicit ProgramResources(const char* path)
        : module_(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ProgramResources()
    {
        if (module_)
            FreeLibrary(module_);
    }
    ProgramResources(const ProgramResources&) = delete;
    ProgramResources& operator=(const ProgramResources&) = delete;

    // The manifest Windows reads when it starts the program, or "".
    std::string manifest() const
    {
        HRSRC found = module_ ? FindResourceA(module_, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
        HGLOBAL loaded = found ? LoadResource(module_, found) : nullptr;
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        return bytes ? std::string(static_cast<const char*>(bytes), SizeofResource(module_, found)) : std::string();
    }

private:
    HMODULE module_;
};

class Manifest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(text.empty()) << "Tavrin.exe has no manifest resource"; }
    bool has(const std::string& part) const { return text.find(part) != std::string::npos; }

    const std::string text = ProgramResources(TAVRIN_BUILD_DIR "/launcher/Tavrin.exe").manifest();
};

TEST_F(Manifest, RunsTheLauncherAsTheInvokingUserWithoutFileRedirection)
{
    EXPECT_TRUE(has("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>")) << text;
    EXPECT_TRUE(has("xmlns=\"urn:schemas-microsoft-com:asm.v3\"")) << text;
}

TEST_F(Manifest, DeclaresWindows7To11)
{
    for (const char* id : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
        EXPECT_TRUE(has(std::string("<supportedOS Id=\"") + id + "\"/>")) << id;
    }
}

TEST_F(Manifest, AsksForVersion6OfTheCommonControls)
{
    EXPECT_TRUE(has("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"")) << text;
    EXPECT_TRUE(has("publicKeyToken=\"6595b64144ccf1df\"")) << text;
}

TEST_F(Manifest, NamesTheProgramsOwnArchitecture)
{
    const std::string architecture = sizeof(void*) == 8 ? "amd64" : "x86";
    EXPECT_TRUE(has("processorArchitecture=\"" + architecture + "\"")) << text;
}

} // namespace
} // namespace launcher
