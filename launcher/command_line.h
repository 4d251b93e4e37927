// The launcher's command line: its own path and the one catalog to open.
//
// The tail is the text after the program's name and the blanks behind it, as
// the start-up code hands it to the entry routine; the whole tail is one path.
// Both are UTF-16, so that every name reaches the launcher as it is.
#ifndef TAVRIN_LAUNCHER_COMMAND_LINE_H
#define TAVRIN_LAUNCHER_COMMAND_LINE_H

#include <string>

namespace launcher {

// The exe path from the process's full command line; logs both lines.
std::wstring exeNameFromCommandLine(const std::wstring& tail);

// The text in front of the tail, trailing blanks and enclosing quotes removed.
std::wstring exeNameFrom(const std::wstring& fullCommandLine, const std::wstring& tail);

// The catalog path: the whole tail without enclosing quotes; empty for none.
std::wstring fileArgumentFromCommandLine(const std::wstring& tail);

// The text without one pair of enclosing double quotes; blanks are kept.
std::wstring unquotedCopy(const std::wstring& text);

// The text in front of the last backslash, or "." when there is none. A
// drive's root keeps its backslash ("D:\\", "\\"): without it, "D:" would
// name that drive's current folder.
std::wstring directoryOf(const std::wstring& path);

// True for a full path: a drive letter, a colon and a backslash, or two
// backslashes at its start.
bool isFullPath(const std::wstring& path);

} // namespace launcher

#endif
