#include "Uninstall.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "Destination.h"
#include "Install.h"
#include "AddOnXml.h"
#include "SafePath.h"
#include "SceneryCfg.h"
#include "os/win32_text.h"
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

namespace {

bool IsAddOnXml(const std::string& path) { return EqualsNoCase(ui::ExtractFileName(path), kAddOnXmlFile); }

// An area's folder as the library names it: from the simulator's folder when inside it, as the
// simulator's own areas are; an add-on package names it whole.
std::string LocalOf(const std::string& folder, const SceneryLibrary& lib) {
    const std::string& sim = lib.simFolder;
    if (lib.kind == SceneryLibrary::Kind::Cfg && folder.size() > sim.size() + 1 &&
        Lower(folder.substr(0, sim.size() + 1)) == Lower(sim + "\\"))
        return folder.substr(sim.size() + 1);
    return folder;
}

// The add-on.xml's text is UTF-8; the record keeps the area's folder as every other path.
AddedArea InUtf8(AddedArea a) {
    a.local = zc::AnsiToUtf8(a.local.c_str());
    return a;
}

}  // namespace

Registration RegisterScenery(const SceneryLibrary& lib, const std::vector<std::string>& folders,
                             const std::string& title, const std::vector<AddedArea>& earlier) {
    Registration r;
    const std::string& path = lib.path;
    const bool xml = lib.kind == SceneryLibrary::Kind::AddOn;
    if (lib.kind == SceneryLibrary::Kind::None) {
        r.problem = lib.why.empty() ? "no simulator folder is known" : lib.why;
        return r;
    }
    std::string bytes;
    const std::string unreadable = ReadWholeFile(path, bytes);
    // An add-on package is the add-on's own: it is made when it is not there. A scenery.cfg is
    // the simulator's, and never made.
    if (!unreadable.empty() && !(xml && !PathExists(path))) {
        r.problem = "\"" + path + "\" could not be read: " + unreadable;
        return r;
    }
    if (std::string why = LibraryTextProblem(bytes); !why.empty()) {
        r.problem = "\"" + path + "\" " + why + ", which Setup does not change";
        return r;
    }
    SceneryCfg cfg(bytes);
    AddOnXml addOn(bytes);
    const std::string xmlFolder = path.substr(0, path.find_last_of('\\'));
    for (const std::string& folder : folders) {
        const std::string local = LocalOf(folder, lib);
        std::string areaTitle = title;
        if (folders.size() > 1) {
            size_t cut = folder.find_last_of('\\');
            areaTitle += " - " + folder.substr(cut == std::string::npos ? 0 : cut + 1);
        }
        const int n = xml ? addOn.FindPath(zc::AnsiToUtf8(folder.c_str()), zc::AnsiToUtf8(xmlFolder.c_str()))
                          : cfg.FindLocal(folder, lib.simFolder);
        if (n) {
            // Still the earlier installation's to take out.
            for (const AddedArea& a : earlier)
                if (xml ? EqualsNoCase(a.local, local) : a.number == n) r.added.push_back(a);
            r.titles.push_back(areaTitle);
            if (!xml)
                for (const SceneryArea& a : cfg.Areas())
                    if (a.number == n) r.titles.back() = a.title;
            continue;
        }
        AddedArea added;
        if (xml) {
            std::string why;
            if (!addOn.AddScenery(zc::AnsiToUtf8(title.c_str()), zc::AnsiToUtf8(areaTitle.c_str()),
                                  zc::AnsiToUtf8(local.c_str()), added, why)) {
                r.problem = "\"" + path + "\" " + why;
                r.added.clear();
                r.titles.clear();
                return r;
            }
            added.local = local;
        } else {
            added = cfg.AddArea(areaTitle, local);
        }
        // scenery.cfg in the simulator's folder is where a record without a library points.
        if (!EqualsNoCase(path, JoinPath(lib.simFolder, kSceneryCfgFile))) added.library = path;
        r.added.push_back(added);
        ++r.fresh;
        r.titles.push_back(areaTitle);
    }
    const std::string& now = xml ? addOn.Bytes() : cfg.Bytes();
    if (now != bytes) {
        std::string why = xml ? MakeFolders(xmlFolder) : "";
        if (why.empty()) why = ReplaceFileSafely(path, now, bytes.empty() ? "" : path + ".bak");
        if (!why.empty()) {
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
    return DataFolderBelow(base, identity);
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

std::string UnregisterScenery(const std::string& library, const std::vector<AddedArea>& areas) {
    if (areas.empty() || library.empty()) return "";
    const bool xml = IsAddOnXml(library);
    for (const std::string& path : {library, library + ".bak"}) {
        std::string bytes;
        if (!ReadWholeFile(path, bytes).empty() || !LibraryTextProblem(bytes).empty()) continue;
        SceneryCfg cfg(bytes);
        AddOnXml addOn(bytes);
        // The last added first, so that each finds the separator it put before itself.
        for (auto it = areas.rbegin(); it != areas.rend(); ++it) {
            if (xml)
                addOn.RemoveScenery(InUtf8(*it));
            else
                cfg.RemoveArea(*it);
        }
        const std::string& now = xml ? addOn.Bytes() : cfg.Bytes();
        if (now == bytes) continue;
        std::string why;
        if (now.empty() && xml) {
            // The add-on package Setup made, with nothing left in it: it goes, and its folder
            // when that is empty.
            if (!DeleteFileA(path.c_str())) why = LastErrorText(GetLastError());
            else if (path == library) RemoveDirectoryA(library.substr(0, library.find_last_of('\\')).c_str());
        } else {
            // No new backup: one holding the areas would bring them back when restored.
            why = ReplaceFileSafely(path, now, "");
        }
        if (!why.empty() && path == library) return why;
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

void DeleteKeptCopy(const std::string& copy, const std::string& backups) {
    SetFileAttributesW(LongPath(copy).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(LongPath(copy).c_str());
    for (std::string p = Parent(copy); p.size() > backups.size(); p = Parent(p)) RemoveDirectoryW(LongPath(p).c_str());
}

// --- The uninstaller -----------------------------------------------------------------------

std::string FullPath(const std::string& p) {
    char full[MAX_PATH * 2] = "";
    DWORD n = GetFullPathNameA(p.c_str(), sizeof full, full, nullptr);
    std::string f = n && n < sizeof full ? std::string(full) : p;
    while (f.size() > 3 && f.back() == '\\') f.pop_back();
    return f;
}

std::vector<InstallLog> InstalledRecords(const std::string& exceptKey) {
    std::vector<InstallLog> out;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY k = nullptr;
        if (RegOpenKeyExA(root, std::string(kUninstallKey).substr(0, strlen(kUninstallKey) - 1).c_str(), 0, KEY_READ,
                          &k))
            continue;
        char sub[256];
        for (DWORD i = 0; RegEnumKeyA(k, i, sub, sizeof sub) == ERROR_SUCCESS; ++i) {
            std::string name = sub, command, text;
            if (name.compare(0, 7, "Skykit ") != 0 || name == exceptKey) continue;
            ui::ReadRegistryString(root, kUninstallKey + name, "UninstallString", command);
            size_t at = command.find(" /U=");
            if (at == std::string::npos || !ReadWholeFile(command.substr(at + 4), text).empty()) continue;
            InstallLog log = InstallLog::Parse(text);
            if (log.damage.empty() && log.key == name) out.push_back(log);
        }
        RegCloseKey(k);
    }
    return out;
}

namespace {

int Say(const Removal& run, const std::string& text, UINT flags) {
    if (run.silent) return (flags & MB_YESNO) ? IDYES : IDOK;
    return ui::desktop().MessageBox(nullptr, text, (run.title.empty() ? "Skykit" : run.title) + " Uninstall", flags);
}

bool Stop(Removal& run, int code, const std::string& text, const std::string& outcome, UINT icon = MB_ICONSTOP) {
    Say(run, text, MB_OK | icon);
    run.exitCode = code;
    run.outcome = outcome;
    return false;
}

bool ReadOnly(const std::string& p) {
    DWORD a = GetFileAttributesW(LongPath(p).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

// Up to ten lines of a list, indented.
std::string Listed(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size() && i < 10; ++i) out += "\n  " + items[i];
    if (items.size() > 10) out += "\n  ... and " + std::to_string(items.size() - 10) + " more";
    return out;
}

bool SamePathName(const std::string& a, const std::string& b) { return Lower(FullPath(a)) == Lower(FullPath(b)); }

}  // namespace

bool PlanRemoval(Removal& run) {
    std::string text;
    if (!ReadWholeFile(run.recordPath, text).empty())
        return Stop(run, kExitDamaged,
                    "The record of the installation\n" + run.recordPath +
                        "\nis not there: the add-on's folder has been removed or moved. There is nothing left for the "
                        "uninstaller to remove.",
                    "the record " + run.recordPath + " is not there");
    UninstallContext context;
    context.recordPath = run.recordPath;
    context.folders = TheSystemFolders();
    for (bool machine : {true, false}) {
        char base[MAX_PATH] = "";
        if (SUCCEEDED(
                SHGetFolderPathA(nullptr, machine ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA, nullptr, 0, base)))
            context.appDataRoots.push_back(base);
    }
    InstallLog own = InstallLog::Parse(text);
    for (const InstallLog& other : InstalledRecords(own.key)) context.others.push_back(OtherInstallation::Of(other));
    run.plan = PlanUninstall(text, context);
    run.title = run.plan.refusal.empty() ? run.plan.log.title : "";
    if (run.plan.refusal.empty()) {
        for (const std::string& s : run.plan.skipped) run.journal.Add("Skipped (not this installation's): " + s);
        return true;
    }
    const std::string why = run.plan.refusal;
    return Stop(run, kExitDamaged,
                "The record of the installation\n" + run.recordPath + "\ncannot be used: " + why +
                    (run.plan.incomplete ? ".\n\nIt was probably cut short while it was written. " : ".\n\n") +
                    "Nothing was removed.",
                "the record was refused: " + why + "; nothing was removed");
}

bool ConfirmRemoval(Removal& run) {
    if (Say(run,
            "Remove " + run.title + " from your computer?\n\nFiles you have added or changed in\n" + run.plan.folder +
                "\nare kept.",
            MB_YESNO | MB_ICONQUESTION) == IDYES)
        return true;
    run.exitCode = kExitCancelled;
    run.outcome = "the person said No";
    return false;
}

bool TakeOutAreas(Removal& run) {
    // A library that cannot be written stops the uninstall while the add-on is still whole,
    // so that it can be run again.
    std::map<std::string, std::vector<AddedArea>> byLibrary;
    std::vector<std::string> order;
    for (const PlannedArea& a : run.plan.areas) {
        if (!byLibrary.count(a.library)) order.push_back(a.library);
        byLibrary[a.library].push_back(a.area);
    }
    for (const std::string& library : order)
        if (std::string why = UnregisterScenery(library, byLibrary[library]); !why.empty())
            return Stop(run, kExitWriteRefused,
                        "The scenery library\n" + library + "\ncould not be changed: " + why +
                            ".\n\nClose Flight Simulator and try again. Nothing was removed.",
                        library + " could not be changed: " + why + "; nothing was removed");
    for (const PlannedArea& a : run.plan.areas) run.journal.Add("Area taken out of " + a.library + ": " + a.area.local);
    return true;
}

namespace {

// A file of the record on the disk, against what the installation left there.
enum class State { Gone, AsInstalled, Changed, ReadOnly, InUse };

State StateOf(const PlannedFile& f) {
    if (!IsFilePath(f.path)) return State::Gone;
    uint32_t crc = 0;
    uint64_t size = 0;
    // Held open by a program that lets nobody read it: in use.
    if (!FileCrc(f.path, crc, size)) return State::InUse;
    if (ReadOnly(f.path)) return State::ReadOnly;
    return crc == f.crc && size == f.size ? State::AsInstalled : State::Changed;
}

// What a record rewritten for the next run still lists of the file.
void StaysRecorded(Removal& run, const PlannedFile& f) {
    for (const LoggedFile& l : run.plan.log.files)
        if (l.rel == f.rel) run.left.files.push_back(l);
    for (const LoggedFile& l : run.plan.log.replaced)
        if (l.rel == f.rel) run.left.replaced.push_back(l);
}

// A kept copy that cannot come back: it stays where it is, and is named.
void CopyStays(Removal& run, const PlannedFile& f, const std::string& why) {
    run.copiesLeft.push_back(f.rel + ": " + why + "; your earlier version is kept as " + f.copy);
    run.journal.Add("Kept copy not put back: " + f.copy + " (" + why + ")");
    StaysRecorded(run, f);
}

// Left for the next run, which the record keeps it for.
void Failed(Removal& run, const PlannedFile& f, const std::string& what, const std::string& why) {
    run.failed.push_back(f.rel);
    StaysRecorded(run, f);
    run.journal.Add(what + f.path + " (" + why + ")");
}

void PutBack(Removal& run, const PlannedFile& f) {
    if (!SameAsLogged(f.copy, f.copyCrc, f.copySize)) {
        if (IsFilePath(f.copy))
            CopyStays(run, f, "the copy is not the one Setup kept");
        else
            run.copiesLeft.push_back(f.rel + ": its kept copy is missing from " + run.plan.backups);
        return;
    }
    if (std::string why = PutBackCopy(f.copy, f.path); !why.empty()) return Failed(run, f, "Could not put back: ", why);
    run.putBack.push_back(f.rel);
    run.removedCopies.push_back(f.copy);
    run.journal.Add("Put back: " + f.path);
}

void Remove(Removal& run, const PlannedFile& f) {
    if (!DeleteFileW(LongPath(f.path).c_str()))
        return Failed(run, f, "Could not remove: ", LastErrorText(GetLastError()));
    run.journal.Add(f.fate == PlannedFile::Fate::OwnerGone
                        ? "Removed (" + f.other + ", whose file it replaced, is not installed any more): " + f.path
                        : "Removed: " + f.path);
}

}  // namespace

void RemoveFiles(Removal& run) {
    using Fate = PlannedFile::Fate;
    run.left = run.plan.log;
    run.left.files.clear();
    run.left.replaced.clear();
    run.left.areas.clear();
    for (const PlannedFile& f : run.plan.files) {
        DeleteFileW(LongPath(f.path + kPartialSuffix).c_str());
        // The copy of a file of an add-on that is gone is nobody's any more.
        if (f.fate == Fate::OwnerGone && !f.copy.empty()) run.removedCopies.push_back(f.copy);
        if (f.fate == Fate::LeaveToOther) {
            run.leftToOthers.push_back(f.rel + " (" + f.other + " uses it)");
            run.journal.Add("Left for " + f.other + ", which uses it: " + f.path);
            if (!f.copy.empty()) CopyStays(run, f, "the file is " + f.other + "'s now");
            continue;
        }
        const State state = StateOf(f);
        if (state == State::InUse) {
            Failed(run, f, "Could not remove: ", "in use");
        } else if (state == State::Changed || state == State::ReadOnly) {
            // Changed or write-protected since: the person's now.
            run.kept.push_back(f.rel + (state == State::ReadOnly ? " (made read-only)" : " (changed)"));
            run.journal.Add("Kept: " + f.path);
            if (f.fate == Fate::PutBack) CopyStays(run, f, "you changed the file since");
        } else if (f.fate == Fate::PutBack) {
            PutBack(run, f);  // also when the file is gone
        } else if (state == State::AsInstalled && f.fate != Fate::Leave) {
            Remove(run, f);
        }
    }
    for (const PlannedSpare& s : run.plan.spares) {
        run.copiesLeft.push_back(s.rel + ": a further version of yours is kept as " + s.copy);
        run.journal.Add("Kept copy not put back: " + s.copy + " (an earlier copy came back in its place)");
    }
}

bool KeepWhatIsLeft(Removal& run) {
    if (run.failed.empty()) return true;
    // The record and the entry stay, listing only what is left, so that the next run finishes.
    std::string why = ReplaceFileSafely(run.recordPath, run.left.Text(), "");
    return Stop(run, kExitWriteRefused,
                Plural(run.failed.size(), "file", "files") + " of " + run.title +
                    " could not be removed or put back: Flight Simulator may be using them." + Listed(run.failed) +
                    "\n\nClose Flight Simulator and remove " + run.title + " again to finish." +
                    (why.empty() ? "" : "\n\nThe record could not be updated: " + why),
                Plural(run.failed.size(), "file", "files") + " left; run the uninstaller again", MB_ICONEXCLAMATION);
}

void RemoveTheRest(Removal& run) {
    const UninstallPlan& plan = run.plan;
    DeleteFileW(LongPath(run.recordPath).c_str());
    for (const std::string& d : plan.dirs)
        if (RemoveDirectoryW(LongPath(d).c_str())) run.journal.Add("Removed folder: " + d);
    DeleteUninstallEntry(plan.key);
    // The copies that came back (or whose add-on is gone); a copy that could not come back
    // stays, and with it its folder.
    for (const std::string& c : run.removedCopies) DeleteKeptCopy(c, plan.backups);
    if (!plan.backups.empty()) RemoveDirectoryW(LongPath(plan.backups).c_str());
    // The uninstaller cannot remove itself while it runs: that, and its folder, are left to the
    // next start of Windows.
    if (!plan.uninstaller.empty()) {
        char self[MAX_PATH * 2] = "";
        GetModuleFileNameA(nullptr, self, sizeof self);
        if (SamePathName(self, plan.uninstaller)) {
            MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            if (plan.backups.empty() || !PathExists(plan.backups))
                MoveFileExA(plan.dataFolder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        } else {
            DeleteFileA(plan.uninstaller.c_str());
        }
    }
    if (!plan.dataFolder.empty()) RemoveDirectoryA(plan.dataFolder.c_str());
    run.exitCode = kExitOk;
    run.outcome = "removed";
    for (auto [list, what] : {std::pair{&run.putBack, " put back"},
                              {&run.kept, " changed, kept"},
                              {&run.copiesLeft, " kept copies left"},
                              {&run.leftToOthers, " left for other add-ons"},
                              {&run.plan.skipped, " record lines skipped"}})
        if (!list->empty()) run.outcome += ", " + std::to_string(list->size()) + what;
}

void ReportRemoval(Removal& run) {
    const UninstallPlan& plan = run.plan;
    std::string done = run.title + " was removed from your computer.";
    if (!run.putBack.empty())
        done += "\n\n" + Plural(run.putBack.size(), "file was", "files were") + " put back as " +
                (run.putBack.size() == 1 ? "it was" : "they were") + " before " + run.title + " replaced " +
                (run.putBack.size() == 1 ? "it:" : "them:") + Listed(run.putBack);
    if (!run.kept.empty())
        done += "\n\n" + Plural(run.kept.size(), "file that you changed was", "files that you changed were") +
                " kept in\n" + plan.folder + ":" + Listed(run.kept);
    if (!run.leftToOthers.empty())
        done += "\n\n" + Plural(run.leftToOthers.size(), "file stays", "files stay") + " because another add-on uses " +
                (run.leftToOthers.size() == 1 ? "it:" : "them:") + Listed(run.leftToOthers);
    if (!run.copiesLeft.empty())
        done += "\n\n" + Plural(run.copiesLeft.size(), "kept copy was", "kept copies were") +
                " not put back:" + Listed(run.copiesLeft);
    if (!plan.skipped.empty())
        done += "\n\nThe record named " + Plural(plan.skipped.size(), "thing", "things") +
                " that this installation does not own; left alone:" + Listed(plan.skipped);
    Say(run, done, MB_OK | (plan.skipped.empty() && run.copiesLeft.empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}

int RunUninstall(const std::string& logPath, bool silent, Journal& journal) {
    Removal run(logPath, silent, journal);
    if (PlanRemoval(run) && ConfirmRemoval(run) && TakeOutAreas(run)) {
        RemoveFiles(run);
        if (KeepWhatIsLeft(run)) {
            RemoveTheRest(run);
            ReportRemoval(run);
        }
    }
    journal.Add("Outcome: " + run.outcome + " (exit code " + std::to_string(run.exitCode) + ")");
    journal.Write();
    return run.exitCode;
}

}  // namespace kit
