#include "message_box.h"

#include <windows.h>

namespace launcher {

const wchar_t launchErrorTitle[] = L"Application Launch Error";

void showLaunchError(const std::wstring& text)
{
    MessageBoxW(nullptr, text.c_str(), launchErrorTitle, MB_OK | MB_ICONERROR);
}

} // namespace launcher
