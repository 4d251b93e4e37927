// Tavrin.exe's entry: a GUI program without a window of its own.
#include <windows.h>

#include "launch_sequence.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLineTail, int showCommand)
{
    return launcher::launcherMain(instance, previousInstance, commandLineTail, showCommand);
}
