// "Kitsetup.ini", the settings file the builder writes beside "Setup.exe": its sections, its
// keys and what an absent key means, described once. The builder writes and reopens a package
// through it and the installer reads it through it, so neither can rename a key alone.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Simulators.h"

namespace kit {

inline constexpr const char* kSettingsFile = "Kitsetup.ini";
// [Addon] Type of an adventure, which the builder shows as "Adventure".
inline constexpr const char* kAdventureType = "Adv";

// Every key as it stands in the file: text, nothing trimmed or parsed. An empty field is not
// written, but for the three the file always holds: the simulator's version, the condition
// and the title.
struct KitsetupIni {
    // [Splash] Width, Height (pixels), Filename: only in a package with a splash screen.
    std::string splashWidth, splashHeight, splashFile;
    // [Authors] developer n (1..3): the name under key 2n, the address under key 2n-1.
    std::string authorName[3], authorEmail[3];
    std::string version;       // [Flightsim] Version
    std::string simulators;    // [Flightsim] Simulators: "fs2004,fsx" (SimulatorList)
    std::string type;          // [Addon] Type
    std::string condition;     // [Addon] Condition
    std::string addonVersion;  // [Addon] Version: the add-on's own ("1.1")
    std::string title;         // [Title] hl

    bool operator==(const KitsetupIni&) const = default;
};

using IniWrite = std::function<void(const std::string& section, const std::string& key, const std::string& value)>;
// Reads one key; gives `absent` when the file has no such key.
using IniLookup =
    std::function<std::string(const std::string& section, const std::string& key, const std::string& absent)>;
using IniRemove = std::function<void(const std::string& section, const std::string& key)>;

// Writes the keys in the order the file keeps them.
void WriteKitsetup(const KitsetupIni& ini, const IniWrite& write);
// Reads every key; a key the file lacks keeps its value from `absent`.
KitsetupIni ReadKitsetup(const IniLookup& read, const KitsetupIni& absent = {});
// [Flightsim] for the simulators an add-on is for: Version names FS2000 or FS98, whichever of
// the two the list has (FS2000 when it has both or neither), so that earlier Setups still
// read the package; Simulators lists them all, and is left out when the list is Version's
// simulator alone: such a package is the same, byte for byte, as before the list existed.
void SetSimulators(KitsetupIni& ini, const std::vector<FsVersion>& list);
// That Version alone: the builder's name of FS98 or FS2000.
std::string FlightsimVersion(const std::vector<FsVersion>& list);
// What a package is for: its Simulators list, else the simulator its Version names (none when
// neither names one).
std::vector<FsVersion> SimulatorsOf(const KitsetupIni& ini);

// Removes the [Splash] keys: the installer must not look for a splash screen that is not there.
void RemoveKitsetupSplash(const IniRemove& remove);

}  // namespace kit
