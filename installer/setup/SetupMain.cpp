// Setup.exe of a package (stored as "Setup.dll" in the builder's install directory): installs
// the add-on of the package folder it is started from. It takes no command-line arguments.
#include <windows.h>

#include "SetupForm.h"
#include "ui.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return kit::RunSetup(ui::InstallDir()); }
