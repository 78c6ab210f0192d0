// Where an add-on goes inside the simulator's folder (Simulators.h finds the simulators): the
// folder that suits the add-on's type.
//
// The rules, shown to the person installing as well:
//   Scenery     "Addon Scenery\<title>", a scenery area of its own. When the archive already
//               holds everything inside one folder (that is not an area's own "scenery" or
//               "texture" folder), that folder is the area: "Addon Scenery".
//   Scenery MD  "Addon Scenery": the add-on brings its own area folders.
//   Aircraft    "Aircraft\<title>", or "Aircraft" when the archive holds the aircraft's folder
//               ("SimObjects\Airplanes" in Flight Simulator X and Prepar3D).
//   Sound       "Sound"
//   Panel       "Gauges"
//   Adventure   "Adventures"
//   other       "<title>" directly below the simulator's folder.
// The title becomes a folder name by dropping what a file name may not hold.
#pragma once

#include <string>
#include <vector>

#include "PackageInfo.h"

namespace kit {

// The title as one folder name: characters that Windows refuses in names (\ / : * ? " < > |
// and control characters) are left out, runs of spaces become one, leading and trailing dots
// and spaces go, device names (CON, NUL, COM1...) get a suffix on their stem ("CON Addon",
// "LPT1 Addon.txt"), and the length stays at 64.
// An empty result becomes "Addon".
std::string FolderNameFromTitle(const std::string& title);

// The first path component shared by every member, when there is exactly one and no member
// lies beside it; "" otherwise. Names use '/' or '\'.
std::string SingleTopFolder(const std::vector<std::string>& memberNames);

// The folder inside the simulator's folder for an add-on (no leading or trailing '\').
std::string AddonSubfolder(AddonType type, const std::string& title, const std::vector<std::string>& memberNames,
                           FsVersion simulator = FsVersion::Unknown);

// One sentence on where the type goes and what to do afterwards in the simulator.
std::string TypeNote(AddonType type, FsVersion simulator = FsVersion::Unknown);

// base + "\" + rel, without doubled separators; rel may be empty.
std::string JoinPath(const std::string& base, const std::string& rel);
// The path without trailing '\' or '/' (a drive's root, "C:\", keeps its own).
std::string NoTrailingSlash(std::string path);

// A sub-folder typed by the person: '/' become '\', surrounding separators and spaces go.
// False (with a reason) when it would leave the simulator's folder: "..", a drive, a
// leading '\', or characters a folder name may not hold.
bool CleanSubfolder(const std::string& typed, std::string& clean, std::string& why);

}  // namespace kit
