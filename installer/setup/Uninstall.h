// What makes an installed add-on removable again: its areas in the simulator's scenery
// library, the record of the installation (InstallLog), the uninstaller kept outside the
// add-on's folder with the copies of replaced files, and the entry in Windows' list of
// installed programs. And the uninstaller itself.
#pragma once

#include <string>
#include <vector>

#include "InstallLog.h"
#include "PackageInfo.h"
#include "UninstallPlan.h"

namespace kit {

// The folders of an add-on that the simulator takes as scenery areas: every folder that holds
// a "scenery" or "texture" folder (files are relative '\' paths below dest); dest itself when
// there is none. One for "Scenery" (the shallowest), each of them for "Scenery MD".
std::vector<std::string> SceneryAreaFolders(AddonType type, const std::string& dest, const std::vector<std::string>& files);

// The outcome of registering the add-on's areas.
struct Registration {
    std::vector<AddedArea> added;         // areas this run added
    std::vector<std::string> titles;      // titles of the areas, added now or registered before
    std::string problem;                  // "" or why the library was left as it was
    size_t fresh = 0;                     // how many of them this run added
};

// Adds an area for each folder not yet in the library (a scenery.cfg, or an add-on package,
// which is made when it is not there); areas the earlier log added and that are still there
// stay recorded. The file is changed only when an area is added, with a backup beside it.
Registration RegisterScenery(const SceneryLibrary& library, const std::vector<std::string>& folders,
                             const std::string& title, const std::vector<AddedArea>& earlier);

// What a run did, for "/LOG=file": one line per file, area and outcome, written at the end.
struct Journal {
    std::string path;                 // "" when no log was asked for
    std::vector<std::string> lines;
    void Add(const std::string& line) { lines.push_back(line); }
    // Writes the lines; empty on success (or when no log was asked for), else the reason.
    std::string Write() const;
};

// The place of the uninstaller and the copies of replaced files for one installation:
// "<application data>\Skykit\Uninstall\<identity>", below the application data of all users
// for an entry of the whole computer, below the person's own for an entry of theirs alone.
std::string UninstallDataFolder(const std::string& identity, bool machineWide);

// Where the entry and the uninstaller of an installation go: below HKLM and the common
// application data when Setup may write both, else below HKCU and the person's own.
struct UninstallPlace {
    bool machineWide = false;
    std::string folder;   // the data folder, made
    std::string problem;  // "" or why neither could be made
};
UninstallPlace ChooseUninstallPlace(const std::string& key, const std::string& identity);

// Copies the running program there as "Uninstall.exe"; empty on success, else the reason.
std::string PlaceUninstaller(const std::string& folder);

// The entry in the list of installed programs: the name (title, version and folder, so that
// two installations of one add-on are told apart), the uninstall commands, version, date of
// installation, publisher and contact. Empty on success.
struct EntryFacts {
    std::string publisher, contact;
    uint64_t bytes = 0;
    bool machineWide = true;
};
std::string WriteUninstallEntry(const InstallLog& log, const std::string& logPath, const EntryFacts& facts);
std::string DisplayNameOf(const InstallLog& log);
void DeleteUninstallEntry(const std::string& key);

// The records of the other add-ons installed through Setup: every entry "Skykit ..." of the
// list of programs (the computer's and the person's) whose record is whole and its own.
std::vector<InstallLog> InstalledRecords(const std::string& exceptKey);

// --- The uninstaller -----------------------------------------------------------------------

// One removal of an installation: what its record plans, and what the steps did.
struct Removal {
    Removal(const std::string& record, bool quiet, Journal& runLog)
        : recordPath(record), silent(quiet), journal(runLog) {}
    // Given.
    std::string recordPath;          // full path
    bool silent = false;
    Journal& journal;                // what was done, for "/LOG="
    // Plan.
    UninstallPlan plan;
    std::string title;
    // What became of the files, each as the person reads it.
    std::vector<std::string> putBack;        // kept copies that came back
    std::vector<std::string> kept;           // files the person changed: theirs now
    std::vector<std::string> copiesLeft;     // kept copies that could not come back, with why and where
    std::vector<std::string> leftToOthers;   // files another add-on still needs
    std::vector<std::string> failed;         // files that could not be removed or put back
    InstallLog left;                         // what a later run still has to do
    std::vector<std::string> removedCopies;  // the copies that are done with
    int exitCode = 0;
    std::string outcome;                     // the journal's last line
};

// The steps, in their order; each that can stop the removal returns false after telling the
// person why, with exitCode set. Nothing is changed before TakeOutAreas.
//   Plan:          reads the record and the other installations' records, and decides
//                  (a record that is not there, not whole or not its own: exit 3)
//   Confirm:       asks the person (No: exit 1)
//   TakeOutAreas:  the scenery libraries (one that cannot be written: exit 5, nothing removed)
//   RemoveFiles:   the files it made go, kept copies come back, what others need stays
//   KeepWhatIsLeft (when a file could not be removed or put back): the record lists only
//                  what is left and the entry stays, so that the next run finishes (exit 5)
//   RemoveTheRest: the record, the empty folders, the entry, the copies done with, the uninstaller
//   Report:        the last message
bool PlanRemoval(Removal& run);
bool ConfirmRemoval(Removal& run);
bool TakeOutAreas(Removal& run);
void RemoveFiles(Removal& run);
bool KeepWhatIsLeft(Removal& run);
void RemoveTheRest(Removal& run);
void ReportRemoval(Removal& run);

// The uninstaller: "Uninstall.exe [/S] [/LOG=file] /U=<log>", the steps above. Returns the
// exit code: 0 removed, 1 the person said No, 3 the record is missing, damaged, incomplete or
// not its installation's, 5 the scenery library could not be changed or something is left
// (run it again).
int RunUninstall(const std::string& logPath, bool silent, Journal& journal);

// path made whole against the current folder, without a trailing separator (a drive's root
// keeps its own): how a path from the command line or a record is used and compared.
std::string FullPath(const std::string& path);

// CRC-32 and size of a file; false when it cannot be read.
bool FileCrc(const std::string& path, uint32_t& crc, uint64_t& size);
bool SameAsLogged(const std::string& path, uint32_t crc, uint64_t size);

// Puts a kept copy back in the place of path; empty on success, else the reason.
std::string PutBackCopy(const std::string& copy, const std::string& path);
// Deletes a kept copy (read-only or not) and the folders below backups that it leaves empty.
void DeleteKeptCopy(const std::string& copy, const std::string& backups);

// Takes the areas out of a scenery library (scenery.cfg or add-on.xml, by its name), and out of
// the backup beside it, so that restoring the backup cannot bring a removed area back; an
// add-on package left empty goes. Empty on success, else the reason.
std::string UnregisterScenery(const std::string& library, const std::vector<AddedArea>& areas);

}  // namespace kit
