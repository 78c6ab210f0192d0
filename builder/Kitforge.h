// "Kitforge.ini", the settings file that the builder and the explorer keep in the install
// directory: its name, and the keys that carry one run's choices from the settings dialog to
// the build and the last dialog. Both programs open it through here.
#pragma once

#include "ui.h"

namespace kitforge {

inline constexpr const char* kFileName = "Kitforge.ini";
// The settings file beside the running program.
inline ui::IniFile Open() { return ui::IniFile(ui::InstallDir() + kFileName); }

// [Flightsim] Version and Simulators: the simulators the add-on is for, as the settings dialog
// chose them: Version as "Kitsetup.ini" writes it, Simulators all of them ("fs2004,fsx").
inline constexpr const char* kFlightsim = "Flightsim";
inline constexpr const char* kVersion = "Version";
inline constexpr const char* kSimulators = "Simulators";

// [Temp]: the choices of one run; the builder removes them when it ends.
inline constexpr const char* kTemp = "Temp";
// The pictures to copy into the package: the four screenshots, then the splash bitmap (whose
// size in pixels is kept beside it).
inline constexpr const char* kPictureKeys[5] = {"One", "Two", "Three", "Four", "Splash"};
inline constexpr const char* kSplash = kPictureKeys[4];
inline constexpr const char* kSplashWidth = "Splash_Width";
inline constexpr const char* kSplashHeight = "Splash_Height";
// The master subdirectory of the last completed build: the package the last dialog shows.
inline constexpr const char* kProject = "Project";

// The picture choices of [Temp], all of them.
inline void ForgetPictures(ui::IniFile& ini) {
    for (const char* key : kPictureKeys) ini.DeleteKey(kTemp, key);
    ini.DeleteKey(kTemp, kSplashWidth);
    ini.DeleteKey(kTemp, kSplashHeight);
}

}  // namespace kitforge
