#include "boundary/text.h"

#include <dshow.h>

#include <array>

namespace pellux {
namespace {

bool isHighSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Modified UTF-8 encodes every UTF-16 unit on its own (a surrogate pair is two
// three-byte sequences) and U+0000 as two bytes.
size_t encodedLength(wchar_t unit)
{
    if (unit != 0 && unit < 0x80)
        return 1;
    return unit < 0x800 ? 2 : 3;
}

char* encodeUnit(wchar_t unit, char* out)
{
    const unsigned value = unit;
    switch (encodedLength(unit)) {
    case 1:
        *out++ = static_cast<char>(value);
        break;
    case 2:
        *out++ = static_cast<char>(0xC0 | (value >> 6));
        *out++ = static_cast<char>(0x80 | (value & 0x3F));
        break;
    default:
        *out++ = static_cast<char>(0xE0 | (value >> 12));
        *out++ = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (value & 0x3F));
        break;
    }
    return out;
}

// Number of UTF-16 units that make up the character starting at `text`.
size_t characterUnits(const wchar_t* text)
{
    return isHighSurrogate(text[0]) && isLowSurrogate(text[1]) ? 2 : 1;
}

} // namespace

void convertWideString(const wchar_t* wide, std::string& narrow)
{
    std::array<char, kConversionBufferSize> buffer{};
    char* out = buffer.data();
    const char* const end = buffer.data() + buffer.size() - 1; // room for the terminator
    for (const wchar_t* in = wide; in != nullptr && *in != 0;) {
        const size_t units = characterUnits(in);
        size_t bytes = 0;
        for (size_t i = 0; i < units; ++i)
            bytes += encodedLength(in[i]);
        if (bytes > static_cast<size_t>(end - out))
            break;
        for (size_t i = 0; i < units; ++i)
            out = encodeUnit(in[i], out);
        in += units;
    }
    narrow.assign(buffer.data(), out);
}

void lookUpErrorText(HRESULT hresult, std::string& text)
{
    std::array<WCHAR, kErrorTextLength> buffer{};
    if (AMGetErrorTextW(hresult, buffer.data(), static_cast<DWORD>(buffer.size())) != 0)
        convertWideString(buffer.data(), text);
}

} // namespace pellux
