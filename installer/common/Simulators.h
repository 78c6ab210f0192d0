// The simulators of the family, each fact in one row. Two tables:
//
//   kSimulators  what an add-on can be made for, as its author ticks it in the builder and as a
//                package names it ([Flightsim] Simulators=fs2004,fsx): six simulators.
//   kEditions    what Setup can find on a computer: each edition or version of them, where its
//                installer records its folder, where it keeps its scenery library, and the
//                name of its program (which tells that it is running).
//
// The lookups here are portable: the registry, the file system and the list of running
// programs come in as functions, so that any computer can be described to them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kit {

enum class FsVersion { Unknown, Fs98, Fs2000, Fs2002, Fs2004, Fsx, Prepar3D };

struct Simulator {
    FsVersion version;
    const char* shortName;    // in [Flightsim] Simulators= and for /SIM=: "fs2004"
    const char* name;         // the builder's choice; for FS98 and FS2000 also [Flightsim] Version
    const char* displayName;  // "Microsoft Flight Simulator 2004"
    const char* label;        // short, for a list of several: "FS2004"
    const char* aircraft;     // the folder its aircraft go to
    bool adventures;          // flies adventures: its packages may be of type "Adv"
};

// Oldest first: the order the builder offers them in and a package lists them in.
// clang-format off
inline constexpr Simulator kSimulators[] = {
    {FsVersion::Fs98, "fs98", "Flightsimulator 98", "Microsoft Flight Simulator 98", "FS98", "Aircraft", true},
    {FsVersion::Fs2000, "fs2000", "Flightsimulator 2000", "Microsoft Flight Simulator 2000", "FS2000", "Aircraft",
     true},
    {FsVersion::Fs2002, "fs2002", "Flightsimulator 2002", "Microsoft Flight Simulator 2002", "FS2002", "Aircraft",
     true},
    {FsVersion::Fs2004, "fs2004", "Flightsimulator 2004", "Microsoft Flight Simulator 2004", "FS2004", "Aircraft",
     true},
    {FsVersion::Fsx, "fsx", "Flightsimulator X", "Microsoft Flight Simulator X", "FSX", "SimObjects\\Airplanes",
     false},
    {FsVersion::Prepar3D, "p3d", "Prepar3D", "Lockheed Martin Prepar3D", "Prepar3D", "SimObjects\\Airplanes", false},
};
// clang-format on

// The target of a project that names none.
inline constexpr FsVersion kDefaultSimulator = FsVersion::Fs2000;

// The row of a version; nullptr for Unknown.
const Simulator* FindSimulator(FsVersion v);
// The row whose builder name (or short name) this is, case and surrounding spaces ignored.
const Simulator* SimulatorNamed(const std::string& name);

// A list of simulators as a package keeps it: "fs2004,fsx" (oldest first, each once). Reading
// skips names it does not know; "" for an empty list.
std::string SimulatorList(const std::vector<FsVersion>& list);
std::vector<FsVersion> ParseSimulatorList(const std::string& text);
// "FS2004, FSX and Prepar3D"; the one simulator's whole name when there is one.
std::string SimulatorsText(const std::vector<FsVersion>& list);

// --- Editions, as Setup finds them ---------------------------------------------------------

enum class Hive { Machine, User };  // HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER

struct RegistryValue {
    Hive hive;
    const char* key;  // nullptr ends a list
    const char* value;
};

// Where an edition keeps its scenery library.
enum class LibraryPlace {
    InFolder,       // scenery.cfg in the simulator's folder
    InFolderOrNew,  // the same; but NewScenery.cfg beside it when the simulator's Scenery Library
                    // left one, which replaces scenery.cfg at its next start
    CommonAppData,  // <application data of all users>\<libraryDir>\Scenery.CFG
    UserAppData,    // <the person's roaming application data>\<libraryDir>\Scenery.CFG
    AddOnPackage,   // an add-on.xml in <Documents>\<libraryDir>\<add-on>\, which the simulator finds
};

struct SimulatorEdition {
    const char* id;  // for /SIM=: "fsxse", "p3d4"
    FsVersion family;
    const char* displayName;
    int year;                // of its release: the newest found is proposed
    RegistryValue found[3];  // where its installer records its folder, asked in this order
    LibraryPlace library;
    const char* libraryDir;
    const char* program;  // its process's program file
};

// clang-format off
#define SKYKIT_FS_KEY(v) "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\" v
#define SKYKIT_P3D_KEY(v) "Software\\Lockheed Martin\\Prepar3D v" v

inline constexpr SimulatorEdition kEditions[] = {
    {"fs98", FsVersion::Fs98, "Microsoft Flight Simulator 98", 1997,
     {{Hive::Machine, SKYKIT_FS_KEY("6.1"), "path"}}, LibraryPlace::InFolder, "", "FLTSIM98.EXE"},
    {"fs2000", FsVersion::Fs2000, "Microsoft Flight Simulator 2000", 1999,
     {{Hive::Machine, SKYKIT_FS_KEY("7.0"), "path"}, {Hive::Machine, SKYKIT_FS_KEY("7.0"), "EXE Path"}},
     LibraryPlace::InFolder, "", "FS2000.EXE"},
    {"fs2002", FsVersion::Fs2002, "Microsoft Flight Simulator 2002", 2001,
     {{Hive::Machine, SKYKIT_FS_KEY("8.0"), "EXE Path"}}, LibraryPlace::InFolder, "", "FS2002.EXE"},
    {"fs2004", FsVersion::Fs2004, "Microsoft Flight Simulator 2004", 2003,
     {{Hive::Machine, SKYKIT_FS_KEY("9.0"), "EXE Path"},
      {Hive::Machine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Flight Simulator 9.0",
       "InstallLocation"}},
     LibraryPlace::InFolderOrNew, "", "FS9.EXE"},
    {"fsx", FsVersion::Fsx, "Microsoft Flight Simulator X", 2006,
     {{Hive::Machine, SKYKIT_FS_KEY("10.0"), "SetupPath"}, {Hive::User, SKYKIT_FS_KEY("10.0"), "AppPath"}},
     LibraryPlace::CommonAppData, "Microsoft\\FSX", "FSX.EXE"},
    {"fsxse", FsVersion::Fsx, "Microsoft Flight Simulator X: Steam Edition", 2014,
     {{Hive::User, "Software\\Microsoft\\Microsoft Games\\Flight Simulator - Steam Edition\\10.0", "AppPath"},
      {Hive::Machine, "Software\\Microsoft\\Microsoft Games\\Flight Simulator - Steam Edition\\10.0", "SetupPath"}},
     LibraryPlace::CommonAppData, "Microsoft\\FSX-SE", "FSX.EXE"},
    {"p3d1", FsVersion::Prepar3D, "Lockheed Martin Prepar3D", 2010,
     {{Hive::Machine, "Software\\LockheedMartin\\Prepar3D", "SetupPath"}}, LibraryPlace::CommonAppData,
     "Lockheed Martin\\Prepar3D", "Prepar3D.exe"},
    {"p3d2", FsVersion::Prepar3D, "Lockheed Martin Prepar3D v2", 2013,
     {{Hive::Machine, SKYKIT_P3D_KEY("2"), "SetupPath"}, {Hive::User, SKYKIT_P3D_KEY("2"), "AppPath"}},
     LibraryPlace::UserAppData, "Lockheed Martin\\Prepar3D v2", "Prepar3D.exe"},
    {"p3d3", FsVersion::Prepar3D, "Lockheed Martin Prepar3D v3", 2015,
     {{Hive::Machine, SKYKIT_P3D_KEY("3"), "SetupPath"}, {Hive::User, SKYKIT_P3D_KEY("3"), "AppPath"}},
     LibraryPlace::CommonAppData, "Lockheed Martin\\Prepar3D v3", "Prepar3D.exe"},
    {"p3d4", FsVersion::Prepar3D, "Lockheed Martin Prepar3D v4", 2017,
     {{Hive::Machine, SKYKIT_P3D_KEY("4"), "SetupPath"}, {Hive::User, SKYKIT_P3D_KEY("4"), "AppPath"}},
     LibraryPlace::AddOnPackage, "Prepar3D v4 Add-ons", "Prepar3D.exe"},
    {"p3d5", FsVersion::Prepar3D, "Lockheed Martin Prepar3D v5", 2020,
     {{Hive::Machine, SKYKIT_P3D_KEY("5"), "SetupPath"}, {Hive::User, SKYKIT_P3D_KEY("5"), "AppPath"}},
     LibraryPlace::AddOnPackage, "Prepar3D v5 Add-ons", "Prepar3D.exe"},
};
#undef SKYKIT_FS_KEY
#undef SKYKIT_P3D_KEY
// clang-format on

// The scenery library files by their names.
inline constexpr const char* kSceneryCfgFile = "scenery.cfg";
inline constexpr const char* kNewSceneryCfgFile = "NewScenery.cfg";
inline constexpr const char* kAppDataSceneryFile = "Scenery.CFG";
inline constexpr const char* kAddOnXmlFile = "add-on.xml";

// A value of the registry: hive, key, value name, and whether in the 64-bit view (else the
// 32-bit one, where a 64-bit Windows keeps the keys of 32-bit installers). "" when absent.
using RegistryRead = std::function<std::string(Hive, bool view64, const std::string& key, const std::string& name)>;
using PathTest = std::function<bool(const std::string& path)>;

struct FoundSimulator {
    const SimulatorEdition* edition = nullptr;
    std::string folder;  // no trailing '\'
};

// Every edition installed: the first of its registry values, in either view, that names a
// folder that is there (a value naming its program names the program's folder). Newest first.
std::vector<FoundSimulator> FindSimulators(const RegistryRead& read, const PathTest& isFolder);
// Those of them that an add-on for these simulators goes into.
std::vector<FoundSimulator> FoundFor(const std::vector<FoundSimulator>& found, const std::vector<FsVersion>& targets);
// The edition whose program lies in folder (an unregistered copy chosen by hand); nullptr.
const SimulatorEdition* EditionInFolder(const std::string& folder, const PathTest& isFile);

// "/SIM=name": an edition's id (that edition, when it is there) or a short name of kSimulators
// (its newest edition found): "fsx" is boxed FSX when it is installed, else the Steam Edition.
// The choice, or nullptr with the reason; unknown tells that the name is none Setup knows.
struct SimulatorChoice {
    const FoundSimulator* chosen = nullptr;
    std::string why;
    bool unknown = false;
};
SimulatorChoice ChooseSimulator(const std::string& name, const std::vector<FoundSimulator>& found,
                                const std::vector<FsVersion>& targets);
// Every name /SIM= takes, with what it names, one to a line.
std::string SimulatorSwitchNames();

// The folders a library may lie in, as the system gives them.
struct SystemFolders {
    std::string commonAppData, userAppData, documents;
};

// The file a simulator's scenery areas go into.
struct SceneryLibrary {
    enum class Kind { None, Cfg, AddOn };
    Kind kind = Kind::None;
    std::string path;       // the file
    std::string simFolder;  // where its relative paths count from
    std::string why;        // Kind::None: why there is none
};
// edition nullptr: a folder that no known simulator's is: its own scenery.cfg. addonFolder
// names the add-on's folder below the documents' one, for an add-on package.
SceneryLibrary LibraryOf(const SimulatorEdition* edition, const std::string& simFolder, const SystemFolders& folders,
                         const std::string& addonFolder, const PathTest& isFile);

// Whether the edition's program is among those running (program file names, any case).
bool IsRunning(const SimulatorEdition& edition, const std::vector<std::string>& programs);

// --- This computer, through the system (WinSimulators.cpp) ---------------------------------

// A string value (REG_SZ, or REG_EXPAND_SZ expanded) of the registry, never created; the view
// is asked for with KEY_WOW64_64KEY / KEY_WOW64_32KEY, which a 32-bit Windows ignores.
std::string ReadRegistryValue(Hive hive, bool view64, const std::string& key, const std::string& name);
// FindSimulators over this computer's registry and folders.
std::vector<FoundSimulator> InstalledSimulators();
// The folder the registry names for a simulator, its newest edition first, as the value holds
// it and whether or not the folder is there; false when no value names one.
bool RegisteredFolder(FsVersion simulator, std::string& folder);
// The application data of all users and of the person, and the person's documents.
SystemFolders TheSystemFolders();
// The program file names of the processes running now (the Toolhelp snapshot, which XP has).
std::vector<std::string> RunningPrograms();

}  // namespace kit
