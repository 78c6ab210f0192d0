// Setup.exe of a package (stored as "Setup.dll" in the builder's install directory): installs
// the add-on of the package folder it is started from. Switches: "/S" (silent), "/D=folder",
// and, for the uninstaller it leaves behind, "/U=log".
#include <windows.h>

#include "SetupForm.h"
#include "ui.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmdLine, int) { return kit::RunSetup(ui::InstallDir(), cmdLine ? cmdLine : ""); }
