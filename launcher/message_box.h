// The one way the launcher tells the user that the launch failed.
#ifndef TAVRIN_LAUNCHER_MESSAGE_BOX_H
#define TAVRIN_LAUNCHER_MESSAGE_BOX_H

#include <string>

namespace launcher {

extern const wchar_t launchErrorTitle[]; // "Application Launch Error"

// A modal message box without an owner: the text, the title, the error icon
// and a single OK button. Returns when the user has dismissed it.
void showLaunchError(const std::wstring& text);

} // namespace launcher

#endif
