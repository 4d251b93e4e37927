// Just enough of the class-file format for DefineClass: the magic number, the
// constant pool, this_class, super_class and the methods with their flags.
#include "strict_jni_internal.h"

namespace strictjni {
namespace {

constexpr std::uint32_t kMagic = 0xCAFEBABE;
constexpr unsigned kAccStatic = 0x0008;
constexpr unsigned kAccNative = 0x0100;
constexpr unsigned kAccAbstract = 0x0400;

class Reader {
public:
    Reader(const unsigned char* bytes, std::size_t length) : bytes_(bytes), length_(length) {}
    bool ok() const { return ok_; }
    unsigned u1() { return take(1) ? bytes_[pos_ - 1] : 0; }
    unsigned u2() { return take(2) ? (bytes_[pos_ - 2] << 8) | bytes_[pos_ - 1] : 0; }
    std::uint32_t u4()
    {
        std::uint32_t high = u2();
        return (high << 16) | u2();
    }
    std::string text(std::size_t n)
    {
        return take(n) ? std::string(reinterpret_cast<const char*>(bytes_ + pos_ - n), n) : std::string();
    }
    void skip(std::size_t n) { take(n); }

private:
    bool take(std::size_t n)
    {
        if (!ok_ || length_ - pos_ < n) {
            ok_ = false;
            return false;
        }
        pos_ += n;
        return true;
    }
    const unsigned char* bytes_;
    std::size_t length_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

struct ConstantPool {
    std::vector<std::string> utf8;   // by index, empty when not a Utf8 entry
    std::vector<unsigned> className; // Class entries: index of their Utf8 name

    std::string classNameAt(unsigned index) const
    {
        if (index >= className.size() || className[index] >= utf8.size())
            return std::string();
        return utf8[className[index]];
    }
};

bool readConstantPool(Reader& in, ConstantPool& pool)
{
    unsigned count = in.u2();
    pool.utf8.assign(count, std::string());
    pool.className.assign(count, 0);
    for (unsigned i = 1; i < count && in.ok(); ++i) {
        switch (in.u1()) {
        case 1:
            pool.utf8[i] = in.text(in.u2());
            break;
        case 7:
            pool.className[i] = in.u2();
            break;
        case 8:
        case 16:
        case 19:
        case 20:
            in.skip(2);
            break;
        case 15:
            in.skip(3);
            break;
        case 3:
        case 4:
        case 9:
        case 10:
        case 11:
        case 12:
        case 17:
        case 18:
            in.skip(4);
            break;
        case 5:
        case 6:
            in.skip(8);
            ++i;
            break; // takes two slots
        default:
            return false;
        }
    }
    return in.ok();
}

void skipAttributes(Reader& in)
{
    for (unsigned n = in.u2(); n > 0 && in.ok(); --n) {
        in.skip(2);
        in.skip(in.u4());
    }
}

} // namespace

bool parseClassFile(const unsigned char* bytes, std::size_t length, ParsedClass& out, std::string* problem)
{
    Reader in(bytes, length);
    if (in.u4() != kMagic || !in.ok()) {
        *problem = "Incompatible magic value in class file";
        return false;
    }
    in.skip(4); // minor and major version
    ConstantPool pool;
    if (!readConstantPool(in, pool)) {
        *problem = "Truncated or invalid constant pool";
        return false;
    }
    unsigned access = in.u2();
    out.name = pool.classNameAt(in.u2());
    unsigned super = in.u2();
    out.super = super == 0 ? std::string() : pool.classNameAt(super);
    out.isAbstract = (access & kAccAbstract) != 0;
    in.skip(2 * std::size_t{in.u2()});                  // interfaces
    for (unsigned n = in.u2(); n > 0 && in.ok(); --n) { // fields
        in.skip(6);
        skipAttributes(in);
    }
    for (unsigned n = in.u2(); n > 0 && in.ok(); --n) {
        unsigned flags = in.u2();
        unsigned name = in.u2();
        unsigned descriptor = in.u2();
        skipAttributes(in);
        if (name >= pool.utf8.size() || descriptor >= pool.utf8.size())
            break;
        out.methods.push_back(
            {pool.utf8[name], pool.utf8[descriptor], (flags & kAccStatic) != 0, (flags & kAccNative) != 0});
    }
    if (!in.ok() || out.name.empty()) {
        *problem = "Truncated class file";
        return false;
    }
    return true;
}

} // namespace strictjni
