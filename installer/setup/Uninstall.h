// What makes an installed add-on removable again: its areas in the simulator's scenery
// library, the record of the installation (InstallLog), the uninstaller kept outside the
// add-on's folder with the copies of replaced files, and the entry in Windows' list of
// installed programs. And the uninstaller itself.
#pragma once

#include <string>
#include <vector>

#include "InstallLog.h"
#include "PackageInfo.h"

namespace kit {

// The folders of an add-on that the simulator takes as scenery areas: every folder that holds
// a "scenery" or "texture" folder (files are relative '\' paths below dest); dest itself when
// there is none. One for "Scenery" (the shallowest), each of them for "Scenery MD".
std::vector<std::string> SceneryAreaFolders(AddonType type, const std::string& dest, const std::vector<std::string>& files);

// The outcome of registering the add-on's areas.
struct Registration {
    std::vector<AddedArea> added;         // areas this run added
    std::vector<std::string> titles;      // titles of the areas, added now or registered before
    std::string problem;                  // "" or why scenery.cfg was left as it was
};

// Adds an area for each folder not yet in simFolder's scenery.cfg; areas the earlier log
// added and that are still there stay recorded. The file is changed only when an area is
// added, with a backup beside it.
Registration RegisterScenery(const std::string& simFolder, const std::vector<std::string>& folders,
                             const std::string& title, const std::vector<AddedArea>& earlier);

// The place of the uninstaller and the copies of replaced files for one add-on:
// "<local application data>\Skykit\Uninstall\<title as a folder name>".
std::string UninstallDataFolder(const std::string& title);

// Copies the running program there as "Uninstall.exe"; empty on success, else the reason.
std::string PlaceUninstaller(const std::string& folder);

// The entry in the list of installed programs ("Uninstall" key, below HKLM when Setup may
// write there, else below HKCU). Empty on success.
std::string WriteUninstallEntry(const InstallLog& log, const std::string& logPath, const std::string& publisher,
                                uint64_t bytes);

// The uninstaller: "Uninstall.exe [/S] /U=<log>". Returns the exit code.
int RunUninstall(const std::string& logPath, bool silent);

// CRC-32 and size of a file; false when it cannot be read.
bool FileCrc(const std::string& path, uint32_t& crc, uint64_t& size);

}  // namespace kit
