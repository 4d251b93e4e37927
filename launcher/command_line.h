// The launcher's command line: its own path and the one catalog to open.
//
// The tail is the text after the program's name and the blanks behind it, as
// the start-up code hands it to the entry routine; the whole tail is one path.
#ifndef TAVRIN_LAUNCHER_COMMAND_LINE_H
#define TAVRIN_LAUNCHER_COMMAND_LINE_H

#include <string>

namespace launcher {

// The exe path from the process's full command line; logs both lines.
std::string exeNameFromCommandLine(const std::string& tail);

// The text in front of the tail, trailing blanks and enclosing quotes removed.
std::string exeNameFrom(const std::string& fullCommandLine, const std::string& tail);

// The catalog path: the whole tail without enclosing quotes; empty for none.
std::string fileArgumentFromCommandLine(const std::string& tail);

// The text without one pair of enclosing double quotes; blanks are kept.
std::string unquotedCopy(const std::string& text);

// The text in front of the last backslash, or "." when there is none. A
// drive's root keeps its backslash ("D:\\", "\\"): without it, "D:" would
// name that drive's current folder.
std::string directoryOf(const std::string& path);

// True for a full path: a drive letter, a colon and a backslash, or two
// backslashes at its start.
bool isFullPath(const std::string& path);

} // namespace launcher

#endif
