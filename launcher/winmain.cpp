// Tavrin.exe's entry: a GUI program without a window of its own. Its command
// line is read as UTF-16, so that every catalog name arrives as it is.
#include <windows.h>

#include "launch_sequence.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, PWSTR commandLineTail, int showCommand)
{
    return launcher::launcherMain(instance, previousInstance, commandLineTail, showCommand);
}
