// UTF-16 (as Java strings hold text), standard UTF-8 and JNI's modified UTF-8.
#include "strict_jni.h"

namespace strictjni {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

void appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t code)
{
    if (code < 0x10000) {
        out += static_cast<char16_t>(code);
    } else {
        code -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (code >> 10));
        out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
}

} // namespace

std::u16string utf16FromUtf8(const std::string& utf8)
{
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        std::size_t n = 1;
        for (; n <= static_cast<std::size_t>(extra) && i + n < utf8.size() &&
               isContinuation(static_cast<unsigned char>(utf8[i + n]));
             ++n) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + n]) & 0x3F);
        }
        if (n != static_cast<std::size_t>(extra) + 1)
            code = kReplacement;
        appendUtf16(out, code);
        i += n;
    }
    return out;
}

std::string utf8FromUtf16(const std::u16string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, code);
    }
    return out;
}

std::string modifiedUtf8FromUtf16(const std::u16string& text)
{
    std::string out;
    for (char16_t unit : text) {
        if (unit == 0) {
            out += "\xC0\x80";
        } else {
            appendUtf8(out, unit); // surrogates one by one: three bytes each
        }
    }
    return out;
}

bool utf16FromModifiedUtf8(const char* bytes, std::u16string& out, std::string* problem)
{
    out.clear();
    bool valid = true;
    auto fail = [&](std::size_t at, const char* what) {
        if (valid && problem)
            *problem = std::string(what) + " at byte " + std::to_string(at);
        valid = false;
        out += kReplacement;
    };
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; p[i] != 0;) {
        unsigned char lead = p[i];
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            i += 1;
        } else if ((lead & 0xE0) == 0xC0) {
            if (!isContinuation(p[i + 1])) {
                fail(i, "truncated two-byte sequence");
                i += 1;
                continue;
            }
            char16_t unit = static_cast<char16_t>(((lead & 0x1F) << 6) | (p[i + 1] & 0x3F));
            if (unit != 0 && unit < 0x80) {
                fail(i, "overlong two-byte sequence");
            } else {
                out += unit;
            }
            i += 2;
        } else if ((lead & 0xF0) == 0xE0) {
            if (!isContinuation(p[i + 1]) || !isContinuation(p[i + 2])) {
                fail(i, "truncated three-byte sequence");
                i += isContinuation(p[i + 1]) ? 2 : 1;
                continue;
            }
            char16_t unit = static_cast<char16_t>(((lead & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
            if (unit < 0x800) {
                fail(i, "overlong three-byte sequence");
            } else {
                out += unit;
            }
            i += 3;
        } else if ((lead & 0xF8) == 0xF0) {
            fail(i, "four-byte sequence (standard UTF-8, not modified UTF-8)");
            i += 1;
            while (isContinuation(p[i]))
                ++i;
        } else {
            fail(i, "stray byte");
            i += 1;
        }
    }
    return valid;
}

} // namespace strictjni
