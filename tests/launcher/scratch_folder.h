// A fresh folder below the temporary folder, removed with its contents at the
// end of the test, and a guard that works inside it as the current folder.
#ifndef TAVRIN_TESTS_LAUNCHER_SCRATCH_FOLDER_H
#define TAVRIN_TESTS_LAUNCHER_SCRATCH_FOLDER_H

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

namespace launchertest {

class ScratchFolder {
public:
    ScratchFolder()
    {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("tavrin-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string windowsPath() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

class InsideFolder {
public:
    explicit InsideFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~InsideFolder() { std::filesystem::current_path(previous_); }
    InsideFolder(const InsideFolder&) = delete;
    InsideFolder& operator=(const InsideFolder&) = delete;

private:
    std::filesystem::path previous_;
};

inline void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace launchertest

#endif
