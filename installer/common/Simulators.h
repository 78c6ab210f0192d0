// The Flight Simulator versions a package can be made for, each in one row: the name the
// builder writes into "Kitsetup.ini" (and shows in its settings dialog), the name shown to the
// person installing, and where the simulator's installer records its folder. The builder
// detects, offers and writes them from here; the installer reads them back from here.
#pragma once

#include <string>

namespace kit {

enum class FsVersion { Unknown, Fs98, Fs2000 };

struct Simulator {
    FsVersion version;
    const char* name;         // [Flightsim] Version: "Flightsimulator 2000"
    const char* displayName;  // "Microsoft Flight Simulator 2000"
    const char* registryKey;  // below HKEY_LOCAL_MACHINE, never created; its folder is kFsRegistryValue
    bool adventures;          // flies adventures: its packages may be of type "Adv"
};

inline constexpr const char* kFsRegistryValue = "path";

// Oldest first: the order the settings dialog offers them in.
inline constexpr Simulator kSimulators[] = {
    {FsVersion::Fs98, "Flightsimulator 98", "Microsoft Flight Simulator 98",
     "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\6.1", true},
    {FsVersion::Fs2000, "Flightsimulator 2000", "Microsoft Flight Simulator 2000",
     "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\7.0", true},
};

// The target of a project that names none.
inline constexpr FsVersion kDefaultSimulator = FsVersion::Fs2000;

// The row of a version; nullptr for Unknown.
const Simulator* FindSimulator(FsVersion v);
// The row whose name this is (case and surrounding spaces ignored); nullptr for any other text.
const Simulator* SimulatorNamed(const std::string& name);

}  // namespace kit
