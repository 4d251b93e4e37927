// Platform UTF-16 text as the library's narrow strings, which hold modified
// UTF-8: the encoding JNI's NewStringUTF takes.
#pragma once

#include <windows.h>

#include <string>

namespace pellux {

// Size of the conversion buffer in bytes, terminator included.
constexpr size_t kConversionBufferSize = 2000;
// DirectShow's MAX_ERROR_TEXT_LEN, in UTF-16 characters.
constexpr size_t kErrorTextLength = 160;

// Replaces `narrow` with `wide` in modified UTF-8. Text longer than the buffer
// is cut at a character boundary (a surrogate pair is never split).
void convertWideString(const wchar_t* wide, std::string& narrow);

// Replaces `text` with the platform's text for `hresult` when it has one;
// otherwise leaves it as it was.
void lookUpErrorText(HRESULT hresult, std::string& text);

} // namespace pellux
