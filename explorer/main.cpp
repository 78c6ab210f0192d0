#include <windows.h>

#include "Kitlens.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The explorer takes no command-line arguments.
    RunKitlens();
    return 0;
}
