// Text at the launcher's narrow edges. Inside the launcher every name is
// UTF-16; the error log and the virtual machine's option strings are in the
// ANSI code page, which lacks most of the world's characters. A conversion to
// it never guesses: a character the code page lacks is never written as a
// look-alike, which could name another file.
#ifndef TAVRIN_LAUNCHER_CODE_PAGE_TEXT_H
#define TAVRIN_LAUNCHER_CODE_PAGE_TEXT_H

#include <optional>
#include <string>

namespace launcher {

// Text in the ANSI code page as UTF-16.
std::wstring wideFromAnsi(const std::string& text);

// The text in the ANSI code page when every character converts as itself;
// none when one would be lost or replaced.
std::optional<std::string> ansiWithoutLoss(const std::wstring& text);

// The text for the error log: each character the code page lacks is "?".
std::string ansiForLog(const std::wstring& text);

// A file or folder as the virtual machine can read it in the ANSI code page:
// the path itself where it converts without loss, otherwise its short (8.3)
// form, else the short form of the nearest folder above it with the rest
// appended; as a last resort the log's form, which names nothing.
std::string ansiPathForVm(const std::wstring& path);

} // namespace launcher

#endif
