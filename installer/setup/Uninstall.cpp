#include "Uninstall.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "Destination.h"
#include "Install.h"
#include "SafePath.h"
#include "SceneryCfg.h"
#include "ui.h"
#include "ZipCrypto.h"

namespace kit {

namespace {

const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Parent(const std::string& p) {
    size_t cut = p.find_last_of('\\');
    return cut == std::string::npos ? std::string() : p.substr(0, cut);
}

bool Exists(const std::string& p) { return PathExists(p); }

void SetString(HKEY k, const char* name, const std::string& v) {
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()), DWORD(v.size() + 1));
}
void SetDword(HKEY k, const char* name, DWORD v) {
    RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

bool FileCrc(const std::string& path, uint32_t& crc, uint64_t& size) {
    HANDLE f = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    crc = 0;
    size = 0;
    std::vector<char> buf(1 << 16);
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(f, buf.data(), DWORD(buf.size()), &got, nullptr)) && got) {
        crc = zip::Crc32Update(crc, buf.data(), got);
        size += got;
    }
    CloseHandle(f);
    return ok;
}

std::vector<std::string> SceneryAreaFolders(AddonType type, const std::string& dest, const std::vector<std::string>& files) {
    std::set<std::string> seen;
    std::vector<std::string> folders;
    for (const std::string& rel : files) {
        // Every component named "scenery" or "texture" makes its parent an area folder.
        std::string parent;
        size_t i = 0;
        while (i < rel.size()) {
            size_t j = rel.find('\\', i);
            if (j == std::string::npos) break;   // the last component is the file itself
            std::string part = rel.substr(i, j - i);
            if (EqualsNoCase(part, "scenery") || EqualsNoCase(part, "texture")) {
                std::string f = JoinPath(dest, parent);
                if (seen.insert(Lower(f)).second) folders.push_back(f);
                break;
            }
            parent = parent.empty() ? part : parent + "\\" + part;
            i = j + 1;
        }
    }
    if (folders.empty()) return {dest};
    if (type == AddonType::SceneryMD) return folders;
    // One area for a plain scenery: the folder nearest the add-on's own.
    return {*std::min_element(folders.begin(), folders.end(),
                              [](const std::string& a, const std::string& b) { return a.size() < b.size(); })};
}

Registration RegisterScenery(const std::string& simFolder, const std::vector<std::string>& folders,
                             const std::string& title, const std::vector<AddedArea>& earlier) {
    Registration r;
    std::string sim = simFolder;
    while (sim.size() > 3 && sim.back() == '\\') sim.pop_back();
    const std::string path = sim + "\\" + kSceneryCfgFile;
    std::string bytes;
    if (sim.empty()) {
        r.problem = "no Flight Simulator folder is known";
        return r;
    }
    if (std::string why = ReadWholeFile(path, bytes); !why.empty()) {
        r.problem = "\"" + path + "\" could not be read: " + why;
        return r;
    }
    if (IsWideText(bytes)) {
        r.problem = "\"" + path + "\" is kept as UTF-16 text, which Setup does not change";
        return r;
    }
    SceneryCfg cfg(bytes);
    for (const std::string& folder : folders) {
        std::string local = folder;
        // Inside the simulator's folder an area is named from there, as the simulator's own are.
        if (local.size() > sim.size() + 1 && Lower(local.substr(0, sim.size() + 1)) == Lower(sim + "\\"))
            local = local.substr(sim.size() + 1);
        std::string areaTitle = title;
        if (folders.size() > 1) {
            size_t cut = folder.find_last_of('\\');
            areaTitle += " - " + folder.substr(cut == std::string::npos ? 0 : cut + 1);
        }
        if (int n = cfg.FindLocal(folder, sim)) {
            for (const AddedArea& a : earlier)
                if (a.number == n) r.added.push_back(a);   // still ours to take out
            for (const SceneryArea& a : cfg.Areas())
                if (a.number == n) r.titles.push_back(a.title);
            continue;
        }
        r.added.push_back(cfg.AddArea(areaTitle, local));
        ++r.fresh;
        r.titles.push_back(areaTitle);
    }
    if (cfg.Bytes() != bytes) {
        if (std::string why = ReplaceFileSafely(path, cfg.Bytes(), sim + "\\" + kSceneryBackupFile); !why.empty()) {
            r.problem = "\"" + path + "\" could not be written: " + why;
            r.added.clear();
            r.titles.clear();
        }
    }
    return r;
}

std::string Journal::Write() const {
    if (path.empty()) return "";
    std::string text;
    for (const std::string& l : lines) text += l + "\r\n";
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return LastErrorText(GetLastError());
    DWORD put = 0;
    bool ok = text.empty() || (WriteFile(f, text.data(), DWORD(text.size()), &put, nullptr) && put == text.size());
    CloseHandle(f);
    return ok ? "" : "it could not be written to its end";
}

std::string UninstallDataFolder(const std::string& identity, bool machineWide) {
    char base[MAX_PATH] = "";
    // Found through the system, never assumed: "All Users\Application Data" on XP,
    // "ProgramData" later; the person's own local application data for an entry of theirs.
    int csidl = machineWide ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA;
    if (FAILED(SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, base))) return "";
    std::string b = base;
    while (!b.empty() && b.back() == '\\') b.pop_back();
    return b + "\\Skykit\\Uninstall\\" + identity;
}

UninstallPlace ChooseUninstallPlace(const std::string& key, const std::string& identity) {
    UninstallPlace place;
    for (bool machine : {true, false}) {
        HKEY k = nullptr;
        std::string full = kUninstallKey + key;
        if (RegCreateKeyExA(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, full.c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &k, nullptr) != ERROR_SUCCESS)
            continue;
        RegCloseKey(k);
        std::string folder = UninstallDataFolder(identity, machine);
        if (!folder.empty() && MakeFolders(folder).empty()) {
            place.machineWide = machine;
            place.folder = folder;
            return place;
        }
        RegDeleteKeyA(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, full.c_str());
    }
    place.problem = "neither the registry key nor the folder for the uninstaller could be made";
    return place;
}

std::string PlaceUninstaller(const std::string& folder) {
    if (std::string why = MakeFolders(folder); !why.empty()) return why;
    char self[MAX_PATH * 2] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string target = folder + "\\Uninstall.exe";
    // The uninstaller of an earlier installation may be the program running now.
    if (Lower(target) == Lower(self)) return "";
    if (!CopyFileA(self, target.c_str(), FALSE)) return LastErrorText(GetLastError());
    return "";
}

std::string DisplayNameOf(const InstallLog& log) {
    return log.title + (log.version.empty() ? "" : " " + log.version) + " (" + log.folder + ")";
}

std::string WriteUninstallEntry(const InstallLog& log, const std::string& logPath, const EntryFacts& facts) {
    HKEY k = nullptr;
    std::string key = kUninstallKey + log.key;
    if (RegCreateKeyExA(facts.machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return "the registry key could not be created";
    std::string exe = Quoted(log.uninstaller);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char date[16];
    std::snprintf(date, sizeof date, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    SetString(k, "DisplayName", DisplayNameOf(log));
    SetString(k, "UninstallString", exe + " /U=" + logPath);
    SetString(k, "QuietUninstallString", exe + " /S /U=" + logPath);
    SetString(k, "DisplayIcon", log.uninstaller + ",0");
    if (!log.version.empty()) SetString(k, "DisplayVersion", log.version);
    SetString(k, "InstallDate", date);
    SetString(k, "Publisher", facts.publisher);
    if (!facts.contact.empty()) SetString(k, "Contact", facts.contact);
    SetString(k, "InstallLocation", log.folder);
    SetDword(k, "EstimatedSize", DWORD(std::min<uint64_t>(facts.bytes / 1024, 0xFFFFFFFFu)));
    SetDword(k, "NoModify", 1);
    SetDword(k, "NoRepair", 1);
    RegCloseKey(k);
    return "";
}

void DeleteUninstallEntry(const std::string& key) {
    if (key.empty()) return;
    std::string full = kUninstallKey + key;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, full.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, full.c_str());
}

bool SameAsLogged(const std::string& path, uint32_t crc, uint64_t size) {
    uint32_t c = 0;
    uint64_t n = 0;
    return FileCrc(path, c, n) && c == crc && n == size;
}

std::string UnregisterScenery(const std::string& simFolder, const std::vector<AddedArea>& areas) {
    if (areas.empty() || simFolder.empty()) return "";
    for (const char* name : {kSceneryCfgFile, kSceneryBackupFile}) {
        const bool library = name == kSceneryCfgFile;
        std::string path = simFolder + "\\" + name, bytes;
        if (!ReadWholeFile(path, bytes).empty() || IsWideText(bytes)) continue;
        SceneryCfg cfg(bytes);
        // The last added first, so that each finds the separator it put before itself.
        for (auto it = areas.rbegin(); it != areas.rend(); ++it) cfg.RemoveArea(*it);
        if (cfg.Bytes() == bytes) continue;
        // No new backup: one holding the areas would bring them back when restored.
        std::string why = ReplaceFileSafely(path, cfg.Bytes(), "");
        if (!why.empty() && library) return why;
    }
    return "";
}

std::string PutBackCopy(const std::string& copy, const std::string& path) {
    // The copy goes in under a temporary name first, so that a failure leaves the file there.
    std::wstring tmp = LongPath(path + ".skk~tmp");
    if (!CopyFileW(LongPath(copy).c_str(), tmp.c_str(), FALSE)) return LastErrorText(GetLastError());
    SetFileAttributesW(LongPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(tmp.c_str(), LongPath(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        std::string why = LastErrorText(GetLastError());
        DeleteFileW(tmp.c_str());
        return why;
    }
    return "";
}

// --- The uninstaller -----------------------------------------------------------------------

std::string FullPath(const std::string& p) {
    char full[MAX_PATH * 2] = "";
    DWORD n = GetFullPathNameA(p.c_str(), sizeof full, full, nullptr);
    std::string f = n && n < sizeof full ? std::string(full) : p;
    while (f.size() > 3 && f.back() == '\\') f.pop_back();
    return f;
}

namespace {

int Say(bool silent, const std::string& title, const std::string& text, UINT flags) {
    if (silent) return (flags & MB_YESNO) ? IDYES : IDOK;
    return ui::desktop().MessageBox(nullptr, text, title + " Uninstall", flags);
}

bool SamePath(const std::string& a, const std::string& b) { return !a.empty() && Lower(FullPath(a)) == Lower(FullPath(b)); }

// A path of the record's own, relative to the add-on's folder: nothing that leaves it.
bool OwnRelative(const std::string& rel) {
    std::string clean, why;
    return SafeMemberPath(rel, clean, why) && !clean.empty() && Lower(clean) == Lower(rel);
}

// What an installation owns, judged once: everything else in its record is skipped.
struct Trust {
    std::string folder, backups, uninstaller, dataFolder;
    bool Dir(const std::string& d) const {
        // The add-on's folder, folders inside it, and the folders above it that Setup made.
        std::string f = FullPath(d);
        return SamePath(f, folder) || IsInside(folder, f) || IsInside(f, folder);
    }
    bool Area(const AddedArea& a, const std::string& sim) const {
        if (Trim(a.local).empty()) return false;
        std::string l = ResolveLocal(a.local, sim);
        return SamePath(l, folder) || IsInside(folder, l);
    }
};

}  // namespace

int RunUninstall(const std::string& logPath, bool silent, Journal& journal) {
    std::string text;
    auto finish = [&journal](int code, const std::string& outcome) {
        journal.Add("Outcome: " + outcome + " (exit code " + std::to_string(code) + ")");
        journal.Write();
        return code;
    };
    if (!ReadWholeFile(logPath, text).empty()) {
        Say(silent, "Skykit", "The record of the installation\n" + logPath +
                                  "\nis not there: the add-on's folder has been removed or moved. There is nothing "
                                  "left for the uninstaller to remove.",
            MB_OK | MB_ICONSTOP);
        return finish(kExitDamaged, "the record " + logPath + " is not there");
    }
    InstallLog log = InstallLog::Parse(text);
    // A record must be whole, lie in the folder it names under the name of its own identity,
    // and name that identity's key: an edited, damaged or foreign one is not acted on.
    std::string refusal = log.damage;
    if (refusal.empty()) {
        const std::string dir = logPath.substr(0, logPath.find_last_of("\\/") + 1);
        if (!SamePath(dir, log.folder) || !SamePath(logPath, JoinPath(log.folder, LogFileName(log.title, log.folder))) ||
            log.key != UninstallKeyName(log.title, log.folder))
            refusal = "it is not the record of the installation in the folder it names";
    }
    if (!refusal.empty()) {
        Say(silent, "Skykit", "The record of the installation\n" + logPath + "\ncannot be used: " + refusal +
                                  ".\n\nNothing was removed.",
            MB_OK | MB_ICONSTOP);
        return finish(kExitDamaged, "the record was refused: " + refusal + "; nothing was removed");
    }
    const std::string title = log.title;
    if (Say(silent, title, "Remove " + title + " from your computer?\n\nFiles you have added or changed in\n" +
                               log.folder + "\nare kept.",
            MB_YESNO | MB_ICONQUESTION) != IDYES)
        return finish(kExitCancelled, "the person said No");

    Trust trust;
    trust.folder = FullPath(log.folder);
    const std::string identity = InstallIdentity(log.title, log.folder);
    for (bool machine : {true, false}) {
        std::string data = UninstallDataFolder(identity, machine);
        if (data.empty()) continue;
        if (SamePath(log.backups, data + "\\Backup")) trust.backups = log.backups, trust.dataFolder = data;
        if (SamePath(log.uninstaller, data + "\\Uninstall.exe")) trust.uninstaller = log.uninstaller, trust.dataFolder = data;
    }
    std::vector<std::string> skipped;
    auto skip = [&](const std::string& what) {
        skipped.push_back(what);
        journal.Add("Skipped (not this installation's): " + what);
    };
    if (!log.backups.empty() && trust.backups.empty()) skip("Backups=" + log.backups);
    if (!log.uninstaller.empty() && trust.uninstaller.empty()) skip("Uninstaller=" + log.uninstaller);

    // The areas first: a scenery library that cannot be written stops the uninstall while
    // the add-on is still whole, so it can be run again.
    std::vector<AddedArea> areas;
    for (const AddedArea& a : log.areas) {
        if (trust.Area(a, log.simulator)) areas.push_back(a);
        else skip("Area=" + std::to_string(a.number) + " " + a.local);
    }
    if (std::string why = UnregisterScenery(log.simulator, areas); !why.empty()) {
        Say(silent, title, "The scenery library\n" + log.simulator + "\\" + kSceneryCfgFile + "\ncould not be changed: " +
                               why + ".\n\nClose Flight Simulator and try again. Nothing was removed.",
            MB_OK | MB_ICONSTOP);
        return finish(kExitWriteRefused, "scenery.cfg could not be changed: " + why + "; nothing was removed");
    }
    for (const AddedArea& a : areas) journal.Add("Area taken out of scenery.cfg: " + a.local);

    // What is left when something cannot be removed: kept in the record for the next run.
    InstallLog left = log;
    left.files.clear();
    left.replaced.clear();
    left.areas.clear();
    std::vector<std::string> kept, failed;
    std::set<std::string> replacedRels;
    for (const LoggedFile& r : log.replaced) replacedRels.insert(Lower(r.rel));
    for (const LoggedFile& f : log.files) {
        if (!OwnRelative(f.rel)) {
            skip("File=" + f.rel);
            continue;
        }
        std::string p = JoinPath(trust.folder, f.rel);
        DeleteFileW(LongPath(p + kPartialSuffix).c_str());
        if (replacedRels.count(Lower(f.rel)) || !Exists(p)) continue;
        DWORD attrs = GetFileAttributesW(LongPath(p).c_str());
        uint32_t crc = 0;
        uint64_t size = 0;
        if (!FileCrc(p, crc, size)) {
            // Held open by a program that lets nobody read it: in use, left for the next run.
            failed.push_back(f.rel);
            left.files.push_back(f);
            journal.Add("Could not remove: " + p + " (in use)");
            continue;
        }
        if ((attrs & FILE_ATTRIBUTE_READONLY) || crc != f.crc || size != f.size) {
            // Changed or write-protected since: the person's now.
            kept.push_back(f.rel + ((attrs & FILE_ATTRIBUTE_READONLY) ? " (made read-only)" : " (changed)"));
            journal.Add("Kept: " + p);
            continue;
        }
        if (DeleteFileW(LongPath(p).c_str())) {
            journal.Add("Removed: " + p);
        } else {
            failed.push_back(f.rel);
            left.files.push_back(f);
            journal.Add("Could not remove: " + p + " (" + LastErrorText(GetLastError()) + ")");
        }
    }
    for (const LoggedFile& r : log.replaced) {
        if (!OwnRelative(r.rel)) {
            skip("Replaced=" + r.rel);
            continue;
        }
        if (!r.backup || trust.backups.empty()) continue;
        std::string p = JoinPath(trust.folder, r.rel), copy = JoinPath(trust.backups, r.rel);
        if (!Exists(copy)) continue;
        if (!r.copyKnown || !SameAsLogged(copy, r.copyCrc, r.copySize)) {
            skip("the kept copy of " + r.rel + " is not the one Setup kept");
            continue;
        }
        uint32_t crc = 0;
        uint64_t size = 0;
        if (Exists(p) && FileCrc(p, crc, size) && (crc != r.crc || size != r.size)) {
            kept.push_back(r.rel + " (changed)");
            journal.Add("Kept: " + p);
            continue;
        }
        if (std::string why = PutBackCopy(copy, p); why.empty()) {
            journal.Add("Put back: " + p);
        } else {
            failed.push_back(r.rel);
            left.replaced.push_back(r);
            journal.Add("Could not put back: " + p + " (" + why + ")");
        }
    }

    std::vector<std::string> dirs;
    for (const std::string& d : log.dirs) {
        if (trust.Dir(d)) dirs.push_back(d);
        else skip("Dir=" + d);
    }
    std::string skippedText;
    if (!skipped.empty())
        skippedText = "\n\nThe record named " + std::to_string(skipped.size()) +
                      (skipped.size() == 1 ? " thing" : " things") +
                      " that this installation does not own; left alone:\n" + skipped.front() +
                      (skipped.size() > 1 ? "\n..." : "");
    if (!failed.empty()) {
        // The record and the entry stay, listing only what is left, so that the next run
        // finishes the job.
        std::string why = ReplaceFileSafely(logPath, left.Text(), "");
        std::string list;
        for (size_t i = 0; i < failed.size() && i < 10; ++i) list += "\n  " + failed[i];
        Say(silent, title, std::to_string(failed.size()) + (failed.size() == 1 ? " file" : " files") +
                               " of " + title + " could not be removed or put back: Flight Simulator may be using "
                               "them." + list + "\n\nClose Flight Simulator and remove " + title +
                               " again to finish." + (why.empty() ? "" : "\n\nThe record could not be updated: " + why) +
                               skippedText,
            MB_OK | MB_ICONEXCLAMATION);
        return finish(kExitWriteRefused, std::to_string(failed.size()) + " file(s) left; run the uninstaller again");
    }

    DeleteFileA(logPath.c_str());
    // Deepest first: a child's path is longer than its parent's.
    std::sort(dirs.begin(), dirs.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& d : dirs)
        if (RemoveDirectoryW(LongPath(d).c_str())) journal.Add("Removed folder: " + d);
    DeleteUninstallEntry(log.key);
    // The copies of replaced files and the uninstaller itself, which cannot remove itself
    // while it runs: that is left to the next start of Windows.
    if (!trust.backups.empty()) {
        for (const LoggedFile& r : log.replaced) {
            if (!OwnRelative(r.rel)) continue;
            std::string c = JoinPath(trust.backups, r.rel);
            SetFileAttributesW(LongPath(c).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(LongPath(c).c_str());
            for (std::string p = Parent(c); p.size() > trust.backups.size(); p = Parent(p))
                RemoveDirectoryW(LongPath(p).c_str());
        }
        RemoveDirectoryW(LongPath(trust.backups).c_str());
    }
    if (!trust.uninstaller.empty()) {
        char self[MAX_PATH * 2] = "";
        GetModuleFileNameA(nullptr, self, sizeof self);
        if (SamePath(self, trust.uninstaller)) {
            MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            MoveFileExA(trust.dataFolder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        } else {
            DeleteFileA(trust.uninstaller.c_str());
        }
    }
    if (!trust.dataFolder.empty()) RemoveDirectoryA(trust.dataFolder.c_str());

    std::string done = title + " was removed from your computer.";
    if (!kept.empty()) {
        done += "\n\n" + std::to_string(kept.size()) +
                (kept.size() == 1 ? " file that you changed was" : " files that you changed were") + " kept in\n" +
                log.folder;
        for (size_t i = 0; i < kept.size() && i < 10; ++i) done += "\n  " + kept[i];
    }
    Say(silent, title, done + skippedText, MB_OK | (skipped.empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
    return finish(kExitOk, "removed" + (kept.empty() ? std::string() : ", " + std::to_string(kept.size()) + " changed file(s) kept") +
                               (skipped.empty() ? std::string() : ", " + std::to_string(skipped.size()) + " record line(s) skipped"));
}

}  // namespace kit
