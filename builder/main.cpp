#include <windows.h>

#include "Kitpress.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The builder takes no command-line arguments.
    RunKitpress();
    return 0;
}
