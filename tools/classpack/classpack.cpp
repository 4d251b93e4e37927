// The class-packing tool: stores class files scrambled the way the launcher's
// defineClass native restores them.
//
//   classpack <classes folder> <output folder> [--plain <class>]...
//       Every "<name>.class" below the classes folder becomes "<name>.sclass"
//       below the output folder, scrambled under its internal name
//       ("orlesk/tavrin/StdLauncher"). A class named with --plain, and its
//       nested classes, is copied as it is (the bootstrap class must be).
//   classpack --class <internal name> <input> <output>
//       Scrambles one file; applied to a scrambled file it restores it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "class_keystream.h"

namespace fs = std::filesystem;

namespace {

bool readFile(const fs::path& path, std::vector<char>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeFile(const fs::path& path, const std::vector<char>& bytes)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool scrambleFile(const std::string& className, const fs::path& input, const fs::path& output)
{
    std::vector<char> bytes;
    if (!readFile(input, bytes)) {
        std::fprintf(stderr, "classpack: cannot read %s\n", input.string().c_str());
        return false;
    }
    classkey::applyClassKeystream(className.c_str(), bytes.data(), static_cast<std::int32_t>(bytes.size()));
    if (!writeFile(output, bytes)) {
        std::fprintf(stderr, "classpack: cannot write %s\n", output.string().c_str());
        return false;
    }
    return true;
}

// "orlesk/tavrin/SecureLauncher$ScrambledClassLoader" is kept plain with
// "orlesk/tavrin/SecureLauncher".
bool isPlain(const std::string& className, const std::vector<std::string>& plainClasses)
{
    for (const std::string& plain : plainClasses) {
        if (className == plain || className.rfind(plain + "$", 0) == 0)
            return true;
    }
    return false;
}

bool packFolder(const fs::path& classes, const fs::path& output, const std::vector<std::string>& plainClasses)
{
    int packed = 0, copied = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(classes)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".class")
            continue;
        fs::path relative = entry.path().lexically_relative(classes);
        std::string className = relative.generic_string();
        className.erase(className.size() - std::string(".class").size());
        if (isPlain(className, plainClasses)) {
            fs::create_directories((output / relative).parent_path());
            fs::copy_file(entry.path(), output / relative, fs::copy_options::overwrite_existing);
            ++copied;
        } else {
            if (!scrambleFile(className, entry.path(), output / (className + ".sclass")))
                return false;
            ++packed;
        }
    }
    std::printf("classpack: %d classes scrambled, %d kept plain\n", packed, copied);
    return true;
}

int usage()
{
    std::fprintf(stderr, "usage: classpack <classes folder> <output folder> [--plain <class>]...\n"
                         "       classpack --class <internal name> <input> <output>\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 4 && args[0] == "--class")
            return scrambleFile(args[1], args[2], args[3]) ? 0 : 1;
        if (args.size() < 2 || args.size() % 2 != 0)
            return usage();
        std::vector<std::string> plainClasses;
        for (std::size_t i = 2; i < args.size(); i += 2) {
            if (args[i] != "--plain")
                return usage();
            plainClasses.push_back(args[i + 1]);
        }
        return packFolder(args[0], args[1], plainClasses) ? 0 : 1;
    } catch (const fs::filesystem_error& e) {
        std::fprintf(stderr, "classpack: %s\n", e.what());
        return 1;
    }
}
