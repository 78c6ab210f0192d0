#include "Uninstall.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <set>

#include "Destination.h"
#include "Install.h"
#include "SceneryCfg.h"
#include "ui.h"
#include "zipcrypt.h"

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
        crc = zc::crc32_update(crc, buf.data(), got);
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

std::string UninstallDataFolder(const std::string& title) {
    char base[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, base)))
        GetTempPathA(MAX_PATH, base);
    std::string b = base;
    while (!b.empty() && b.back() == '\\') b.pop_back();
    return b + "\\Skykit\\Uninstall\\" + FolderNameFromTitle(title);
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

std::string WriteUninstallEntry(const InstallLog& log, const std::string& logPath, const std::string& publisher,
                                uint64_t bytes) {
    HKEY k = nullptr;
    std::string key = kUninstallKey + log.key;
    // Below HKLM for every user of the computer; below HKCU where Setup may not write there.
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS &&
        RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return "the registry key could not be created";
    std::string exe = Quoted(log.uninstaller);
    SetString(k, "DisplayName", log.title);
    SetString(k, "UninstallString", exe + " /U=" + logPath);
    SetString(k, "QuietUninstallString", exe + " /S /U=" + logPath);
    SetString(k, "DisplayIcon", log.uninstaller + ",0");
    SetString(k, "Publisher", publisher);
    SetString(k, "InstallLocation", log.folder);
    SetDword(k, "EstimatedSize", DWORD(std::min<uint64_t>(bytes / 1024, 0xFFFFFFFFu)));
    SetDword(k, "NoModify", 1);
    SetDword(k, "NoRepair", 1);
    RegCloseKey(k);
    return "";
}

// --- The uninstaller -----------------------------------------------------------------------

namespace {

int Say(bool silent, const std::string& title, const std::string& text, UINT flags) {
    if (silent) return (flags & MB_YESNO) ? IDYES : IDOK;
    return ui::desktop().MessageBox(nullptr, text, title + " Uninstall", flags);
}

bool SameAsInstalled(const std::string& path, const LoggedFile& f) {
    uint32_t crc = 0;
    uint64_t size = 0;
    return FileCrc(path, crc, size) && crc == f.crc && size == f.size;
}

}  // namespace

int RunUninstall(const std::string& logPath, bool silent) {
    std::string text;
    if (!ReadWholeFile(logPath, text).empty()) {
        Say(silent, "Skykit", "The record of the installation\n" + logPath +
                                  "\nis not there: the add-on's folder has been removed or moved. There is nothing "
                                  "left for the uninstaller to remove.",
            MB_OK | MB_ICONSTOP);
        return kExitDamaged;
    }
    InstallLog log = InstallLog::Parse(text);
    const std::string title = log.title.empty() ? std::string("the add-on") : log.title;
    if (Say(silent, title, "Remove " + title + " from your computer?\n\nFiles you have added or changed in\n" +
                               log.folder + "\nare kept.",
            MB_YESNO | MB_ICONQUESTION) != IDYES)
        return kExitCancelled;

    // The areas first: a scenery library that cannot be written stops the uninstall while
    // the add-on is still whole, so it can be run again.
    std::string notes;
    if (!log.areas.empty() && !log.simulator.empty()) {
        std::string cfgPath = log.simulator + "\\" + kSceneryCfgFile, bytes;
        if (ReadWholeFile(cfgPath, bytes).empty()) {
            SceneryCfg cfg(bytes);
            // The last added first, so that each finds the separator it put before itself.
            for (auto it = log.areas.rbegin(); it != log.areas.rend(); ++it) cfg.RemoveArea(*it);
            if (cfg.Bytes() != bytes) {
                if (std::string why = ReplaceFileSafely(cfgPath, cfg.Bytes(), log.simulator + "\\" + kSceneryBackupFile);
                    !why.empty()) {
                    Say(silent, title, "The scenery library\n" + cfgPath + "\ncould not be changed: " + why +
                                           ".\n\nClose Flight Simulator and try again. Nothing was removed.",
                        MB_OK | MB_ICONSTOP);
                    return kExitWriteRefused;
                }
            }
        }
    }

    int kept = 0, failed = 0;
    for (const LoggedFile& f : log.files) {
        std::string p = JoinPath(log.folder, f.rel);
        DeleteFileW(LongPath(p + ".unz~tmp").c_str());
        if (!Exists(p)) continue;
        const LoggedFile* replaced = nullptr;
        for (const LoggedFile& r : log.replaced)
            if (Lower(r.rel) == Lower(f.rel)) replaced = &r;
        if (replaced) continue;
        if (!SameAsInstalled(p, f)) {
            ++kept;   // changed since: the person's now
            continue;
        }
        SetFileAttributesW(LongPath(p).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(LongPath(p).c_str())) ++failed;
    }
    for (const LoggedFile& r : log.replaced) {
        if (!r.backup) continue;
        std::string p = JoinPath(log.folder, r.rel), copy = JoinPath(log.backups, r.rel);
        if (!Exists(copy)) continue;
        if (Exists(p) && !SameAsInstalled(p, r)) {
            ++kept;
            continue;
        }
        SetFileAttributesW(LongPath(p).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!CopyFileW(LongPath(copy).c_str(), LongPath(p).c_str(), FALSE)) ++failed;
    }
    DeleteFileA(logPath.c_str());
    std::vector<std::string> dirs = log.dirs;
    // Deepest first: a child's path is longer than its parent's.
    std::sort(dirs.begin(), dirs.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& d : dirs) RemoveDirectoryW(LongPath(d).c_str());

    if (!log.key.empty()) {
        std::string key = kUninstallKey + log.key;
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    }
    // The copies of replaced files and the uninstaller itself, which cannot remove itself
    // while it runs: that is left to the next start of Windows.
    if (!log.backups.empty() && failed == 0) {
        std::vector<std::string> all;
        for (const LoggedFile& r : log.replaced) all.push_back(JoinPath(log.backups, r.rel));
        for (const std::string& c : all) {
            SetFileAttributesW(LongPath(c).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(LongPath(c).c_str());
            for (std::string p = Parent(c); p.size() > log.backups.size(); p = Parent(p))
                RemoveDirectoryW(LongPath(p).c_str());
        }
        RemoveDirectoryW(LongPath(log.backups).c_str());
    }
    if (!log.uninstaller.empty()) {
        char self[MAX_PATH * 2] = "";
        GetModuleFileNameA(nullptr, self, sizeof self);
        if (Lower(self) == Lower(log.uninstaller)) {
            MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            MoveFileExA(Parent(log.uninstaller).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        } else {
            DeleteFileA(log.uninstaller.c_str());
            RemoveDirectoryA(Parent(log.uninstaller).c_str());
        }
    }

    std::string done = title + " was removed from your computer.";
    if (kept) done += "\n\n" + std::to_string(kept) + (kept == 1 ? " file that you changed was" : " files that you changed were") +
                      " kept in\n" + log.folder;
    if (failed) done += "\n\n" + std::to_string(failed) + (failed == 1 ? " file" : " files") +
                        " could not be removed or put back: Flight Simulator may be using them.";
    Say(silent, title, done, MB_OK | (failed ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
    return failed ? kExitWriteRefused : kExitOk;
}

}  // namespace kit
