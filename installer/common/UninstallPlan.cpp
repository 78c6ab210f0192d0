#include "UninstallPlan.h"

#include <algorithm>
#include <cctype>

#include "Destination.h"
#include "PackageInfo.h"
#include "SafePath.h"
#include "SceneryCfg.h"

namespace kit {

namespace {

bool Same(const std::string& a, const std::string& b) { return !a.empty() && LowerCase(a) == LowerCase(b); }

// A path of the record's own, relative to the add-on's folder: nothing that leaves it, and
// written as the installer writes it.
bool OwnRelative(const std::string& rel) {
    std::string clean, why;
    return SafeMemberPath(rel, clean, why) && !clean.empty() && clean == rel;
}

std::string FileName(const std::string& path) {
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The record must lie in the folder it names, under its identity's name, and name that
// identity's key: a record copied or edited into another's place is not acted on.
std::string RefusalOf(const InstallLog& log, const std::string& recordPath) {
    if (!log.damage.empty()) return log.damage;
    const std::string folder = WholePath(log.folder), record = WholePath(recordPath);
    if (folder.empty() || record.empty()) return "it does not name a full path of its folder";
    if (!Same(record.substr(0, record.find_last_of('\\')), folder) ||
        !Same(record, JoinPath(folder, LogFileName(log.title, log.folder))) ||
        log.key != UninstallKeyName(log.title, log.folder))
        return "it is not the record of the installation in the folder it names";
    return "";
}

const OtherInstallation* Find(const std::vector<OtherInstallation>& others, const std::string& key) {
    for (const OtherInstallation& o : others)
        if (o.key == key) return &o;
    return nullptr;
}

// An add-on that replaced the file after this installation had it (it is not the one this
// installation's own entry says it replaced): the file is that add-on's now.
const OtherInstallation* Later(const std::vector<OtherInstallation>& others, const std::string& lowerPath,
                               const std::string& ownKey, const std::string& earlierOwner) {
    for (const OtherInstallation& o : others)
        if (o.key != ownKey && o.key != earlierOwner && o.replacedFrom.count(lowerPath)) return &o;
    return nullptr;
}

}  // namespace

std::string WholePath(const std::string& path) {
    std::string p = Trim(path);
    for (char& c : p)
        if (c == '/') c = '\\';
    const bool drive = p.size() >= 3 && p[1] == ':' && p[2] == '\\' && std::isalpha(static_cast<unsigned char>(p[0]));
    const bool share = p.size() > 2 && p.compare(0, 2, "\\\\") == 0 && p[2] != '\\' && p[2] != '?' && p[2] != '.';
    if (!drive && !share) return "";
    std::string whole = ResolveLocal(p, "");
    // A share keeps its server and share name: ".." does not climb above them.
    if (share && std::count(whole.begin(), whole.end(), '\\') < 3) return "";
    return whole;
}

OtherInstallation OtherInstallation::Of(const InstallLog& log) {
    OtherInstallation o;
    o.key = log.key;
    o.title = log.title;
    const std::string folder = WholePath(log.folder);
    if (folder.empty()) return o;
    for (const LoggedFile& f : log.files) o.files.insert(LowerCase(JoinPath(folder, f.rel)));
    for (const LoggedFile& f : log.replaced) {
        const std::string p = LowerCase(JoinPath(folder, f.rel));
        o.files.insert(p);
        o.replacedFrom[p] = f.owner;
    }
    return o;
}

UninstallPlan PlanUninstall(const std::string& recordText, const UninstallContext& context) {
    UninstallPlan plan;
    plan.log = InstallLog::Parse(recordText);
    const InstallLog& log = plan.log;
    plan.incomplete = log.incomplete;
    plan.refusal = RefusalOf(log, context.recordPath);
    if (!plan.refusal.empty()) return plan;

    plan.folder = WholePath(log.folder);
    plan.key = log.key;
    const std::string identity = InstallIdentity(log.title, log.folder);
    for (const std::string& root : context.appDataRoots) {
        const std::string data = WholePath(DataFolderBelow(root, identity));
        if (data.empty()) continue;
        if (Same(WholePath(log.backups), data + "\\Backup")) plan.backups = data + "\\Backup", plan.dataFolder = data;
        if (Same(WholePath(log.uninstaller), data + "\\Uninstall.exe"))
            plan.uninstaller = data + "\\Uninstall.exe", plan.dataFolder = data;
    }
    auto skip = [&plan](const std::string& line) { plan.skipped.push_back(line); };
    if (!log.backups.empty() && plan.backups.empty()) skip("Backups=" + log.backups);
    if (!log.uninstaller.empty() && plan.uninstaller.empty()) skip("Uninstaller=" + log.uninstaller);

    // The areas: in a library where a simulator of the record's folder keeps its own (its
    // scenery.cfg or NewScenery.cfg, the Scenery.CFG of an edition that keeps it in application
    // data, the add-on package of this title), and with a Local that is the add-on's.
    const std::string simulator = WholePath(log.simulator);
    std::set<std::string> libraries;
    if (!simulator.empty()) {
        const std::string own = FolderNameFromTitle(log.title);
        for (bool newThere : {false, true}) {
            const PathTest isFile = [newThere](const std::string&) { return newThere; };
            libraries.insert(LowerCase(WholePath(LibraryOf(nullptr, simulator, context.folders, own, isFile).path)));
            for (const SimulatorEdition& e : kEditions)
                libraries.insert(LowerCase(WholePath(LibraryOf(&e, simulator, context.folders, own, isFile).path)));
        }
        libraries.erase("");
    }
    for (const AddedArea& a : log.areas) {
        const std::string library =
            WholePath(a.library.empty() && !simulator.empty() ? simulator + "\\" + kSceneryCfgFile : a.library);
        const std::string local = simulator.empty() || Trim(a.local).empty() ? "" : ResolveLocal(a.local, simulator);
        if (!libraries.count(LowerCase(library)) || !(Same(local, plan.folder) || IsInside(plan.folder, local))) {
            skip("Area=" + std::to_string(a.number) + " " + a.local);
            continue;
        }
        plan.areas.push_back({library, a});
        // Flight Simulator 2004 turns NewScenery.cfg into scenery.cfg at its next start, and its
        // Scenery Library writes a NewScenery.cfg from scenery.cfg: the area may be in either.
        const std::string name = FileName(library);
        if (Same(library.substr(0, library.size() - name.size()), simulator + "\\"))
            plan.areas.push_back(
                {simulator + "\\" + (EqualsNoCase(name, kSceneryCfgFile) ? kNewSceneryCfgFile : kSceneryCfgFile), a});
    }

    std::set<std::string> replacedRels;
    for (const LoggedFile& r : log.replaced) replacedRels.insert(LowerCase(r.rel));
    for (const LoggedFile& f : log.files) {
        if (!OwnRelative(f.rel)) {
            skip("File=" + f.rel);
            continue;
        }
        if (replacedRels.count(LowerCase(f.rel))) continue;  // what it replaced decides
        PlannedFile p;
        p.rel = f.rel;
        p.path = JoinPath(plan.folder, f.rel);
        p.crc = f.crc;
        p.size = f.size;
        if (const OtherInstallation* o = Later(context.others, LowerCase(p.path), log.key, "")) {
            p.fate = PlannedFile::Fate::LeaveToOther;
            p.other = o->title;
        }
        plan.files.push_back(p);
    }
    for (const LoggedFile& r : log.replaced) {
        if (!OwnRelative(r.rel)) {
            skip("Replaced=" + r.rel);
            continue;
        }
        PlannedFile p;
        p.rel = r.rel;
        p.path = JoinPath(plan.folder, r.rel);
        p.crc = r.crc;
        p.size = r.size;
        if (r.backup && r.copyKnown && !plan.backups.empty()) {
            p.copy = JoinPath(plan.backups, r.rel);
            p.copyCrc = r.copyCrc;
            p.copySize = r.copySize;
        } else if (r.backup) {
            skip("Replaced=" + r.rel + " (its kept copy is not described)");
        }
        const std::string lower = LowerCase(p.path);
        const OtherInstallation* owner = r.owner.empty() ? nullptr : Find(context.others, r.owner);
        if (const OtherInstallation* o = Later(context.others, lower, log.key, r.owner)) {
            p.fate = PlannedFile::Fate::LeaveToOther;
            p.other = o->title;
        } else if (!r.owner.empty() && !(owner && owner->files.count(lower))) {
            // The file it replaced was another add-on's, and that add-on is gone: so goes the file.
            p.fate = PlannedFile::Fate::OwnerGone;
            p.other = owner ? owner->title : r.owner;
        } else {
            p.fate = p.copy.empty() ? PlannedFile::Fate::Leave : PlannedFile::Fate::PutBack;
        }
        plan.files.push_back(p);
    }
    for (const SpareCopy& s : log.spares) {
        if (!OwnRelative(s.rel) || plan.backups.empty())
            skip("Spare=" + s.rel);
        else
            plan.spares.push_back({s.rel, JoinPath(plan.backups, SpareCopyName(s))});
    }

    for (const std::string& d : log.dirs) {
        const std::string w = WholePath(d);
        // The add-on's folder, folders inside it, and the folders above it that Setup made.
        if (!w.empty() && (Same(w, plan.folder) || IsInside(plan.folder, w) || IsInside(w, plan.folder)))
            plan.dirs.push_back(w);
        else
            skip("Dir=" + d);
    }
    // Deepest first: a child's path is longer than its parent's.
    std::stable_sort(plan.dirs.begin(), plan.dirs.end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return plan;
}

}  // namespace kit
