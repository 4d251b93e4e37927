#include "message_box.h"

#include <windows.h>

namespace launcher {

const char launchErrorTitle[] = "Application Launch Error";

void showLaunchError(const std::string& text)
{
    MessageBoxA(nullptr, text.c_str(), launchErrorTitle, MB_OK | MB_ICONERROR);
}

} // namespace launcher
