// What an uninstall will do, decided before anything is touched: from the bytes of the record
// and what is known about the computer (where application data lives, which other add-ons are
// installed), which record lines are trusted, which files go and which kept copies come back,
// which areas leave which scenery library, which folders and which entry go.
//
// Portable and without side effects: no file is opened and no key is read here, so that any
// bytes can be planned from (the uninstall's steps in installer/setup then carry the plan out,
// checking each file on the disk as they go).
//
// What a record may make the uninstall touch, and nothing else:
//   files         inside the add-on's folder (relative paths that cannot leave it)
//   kept copies   inside this identity's own Backup folder
//   folders       the add-on's folder, folders inside it, folders above it (only when empty)
//   areas         whose Local is the add-on's folder or inside it, in a library where a simulator
//                 in the record's Simulator folder keeps its own: scenery.cfg or NewScenery.cfg in
//                 that folder (an area of either also leaves the other), the Scenery.CFG of an
//                 edition that keeps it in application data, the add-on.xml of this title in the
//                 Prepar3D add-ons folder of the documents (the folders as the context gives them)
//   its entry     "Skykit <identity>" below ...\CurrentVersion\Uninstall, and no other
//   uninstaller   this identity's own Uninstall.exe
// A record that is not whole (or damaged, edited in those lines, or not its own) is refused
// with nothing planned.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "InstallLog.h"

namespace kit {

// Another add-on installed through Setup, as its own whole record tells: the files it made or
// replaced (full paths, lower case), and for those it replaced, whose file each one was.
struct OtherInstallation {
    std::string key, title;
    std::set<std::string> files;
    std::map<std::string, std::string> replacedFrom;  // full path (lower case) -> key, "" the person's
    static OtherInstallation Of(const InstallLog& log);
};

struct UninstallContext {
    std::string recordPath;                 // the record's full path, as the uninstaller was given it
    std::vector<std::string> appDataRoots;  // where this identity's data folder may lie (all users, the person's)
    SystemFolders folders;                  // where the simulators keep libraries outside their folders
    std::vector<OtherInstallation> others;  // every other installation on the computer
};

// One file of the record and what becomes of it.
struct PlannedFile {
    enum class Fate {
        Remove,        // made by the installation: removed while it is as installed
        PutBack,       // replaced, a copy kept: the copy comes back while the file is as installed
        Leave,         // replaced, no copy kept: it stays
        LeaveToOther,  // a later add-on replaced it and still needs it: it stays, as does any copy
        OwnerGone,     // it replaced a file of an add-on that is not installed any more: removed
    };
    Fate fate = Fate::Remove;
    std::string rel, path;
    uint32_t crc = 0;  // as the installation left it
    uint64_t size = 0;
    std::string copy;  // the kept copy, "" when there is none to use
    uint32_t copyCrc = 0;
    uint64_t copySize = 0;
    std::string other;  // LeaveToOther, OwnerGone: the other add-on's title (or key)
};

struct PlannedArea {
    std::string library;  // the scenery library it was added to
    AddedArea area;
};

// A further copy of the person's version of a file: it never comes back by itself, it is named.
struct PlannedSpare {
    std::string rel, copy;
};

struct UninstallPlan {
    std::string refusal;                           // "" when the record is trusted; otherwise nothing is planned
    bool incomplete = false;                       // refused because the record is not whole
    InstallLog log;                                // the record as read
    std::string folder, key;                       // the add-on's folder; the entry's key
    std::string backups, uninstaller, dataFolder;  // this identity's own, "" when the record names others
    std::vector<PlannedArea> areas;
    std::vector<PlannedFile> files;
    std::vector<PlannedSpare> spares;
    std::vector<std::string> dirs;     // deepest first, removed only when empty
    std::vector<std::string> skipped;  // record lines not acted on, as they read
};

UninstallPlan PlanUninstall(const std::string& recordText, const UninstallContext& context);

// A path as Windows opens it ('/' as '\', "." and ".." resolved, no trailing '\'); "" when it
// is not a full path (a drive or a network share).
std::string WholePath(const std::string& path);

}  // namespace kit
