#include "Install.h"

#include <windows.h>

#include <algorithm>
#include <set>

#include "Destination.h"
#include "SafePath.h"
#include "ui.h"
#include "Errors.h"
#include "os/win32_text.h"
#include "zipformat.h"

namespace kit {

std::string LastErrorText(unsigned long code) { return ui::SystemErrorText(code); }

std::wstring LongPath(const std::string& ansi) {
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), int(ansi.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    if (n) MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), int(ansi.size()), w.data(), n);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    if (w.size() >= MAX_PATH - 12 && w.size() > 2 && w[1] == L':' ) return L"\\\\?\\" + w;
    if (w.size() >= MAX_PATH - 12 && w.compare(0, 2, L"\\\\") == 0 && w.compare(0, 4, L"\\\\?\\") != 0)
        return L"\\\\?\\UNC\\" + w.substr(2);
    return w;
}

bool PathExists(const std::string& path) { return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFilePath(const std::string& path) {
    DWORD a = GetFileAttributesW(LongPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

ArchiveScan ScanArchive(const std::string& path) {
    ArchiveScan scan;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        scan.problem = ArchiveScan::Problem::Missing;
        scan.detail = "the file is not there";
        return scan;
    }
    try {
        zip::FileSystem& fs = zip::HostFs();
        scan.file = fs.OpenRead(zc::AnsiToUtf8(path.c_str()));
        scan.directory = zc::ReadDirectory(*scan.file);
        const zc::Directory& d = scan.directory;
        // The same rules as the engine's extraction: members that share their data are a zip
        // bomb, and members the end record does not count are not installed from.
        zip::CheckMemberRanges(*scan.file, d);
        if (d.CountDiffers())
            throw zip::ZipError(zip::kFormat, "the zip file is damaged: " + zc::CountMismatchNote(d));
        for (const zc::Entry& e : d.entries) {
            std::string name = zc::Utf8ToAnsi(e.name);
            scan.names.push_back(name);
            std::string rel, why;
            if (!SafeMemberPath(name, rel, why)) {
                scan.refused.push_back(name);
                continue;
            }
            if (e.IsDir() || rel.empty()) continue;
            scan.files.push_back(rel);
            scan.crcs.push_back(e.crc);
            scan.sizes.push_back(e.usize);
            scan.bytes += e.usize;
        }
    } catch (const zip::ZipError& e) {
        scan.problem = e.code() == zip::kUnsupported ? ArchiveScan::Problem::Unsupported
                       : e.code() == zip::kOpen     ? ArchiveScan::Problem::Missing
                                                   : ArchiveScan::Problem::Damaged;
        scan.detail = zc::Utf8ToAnsi(e.what());
        scan.file.reset();
    }
    return scan;
}

std::string PackageProblem(const ArchiveScan& scan, const std::string& title, const std::string& packageDir) {
    const std::string archive = "\"" + std::string(kArchiveFile) + "\"";
    switch (scan.problem) {
        case ArchiveScan::Problem::None: break;
        case ArchiveScan::Problem::Missing:
            return "The package of " + title + " is incomplete: its archive " + archive + " is missing from\n" +
                   packageDir + "\n\nSetup cannot install the add-on. Please get a complete copy of the package.";
        case ArchiveScan::Problem::Damaged:
            return "The archive " + archive + " of " + title + " is damaged:\n" + scan.detail +
                   "\n\nSetup cannot install the add-on. Please get a new copy of the package.";
        case ArchiveScan::Problem::Unsupported:
            return "The archive " + archive + " of " + title + " cannot be unpacked here:\n" + scan.detail;
    }
    if (scan.files.empty()) return "The archive " + archive + " of " + title + " holds no files: there is nothing to install.";
    return "";
}

namespace {

bool Exists(const std::string& p) { return PathExists(p); }

std::string Parent(const std::string& p) {
    size_t cut = p.find_last_of('\\');
    return cut == std::string::npos ? std::string() : p.substr(0, cut);
}

bool IsRoot(const std::string& p) { return p.empty() || (p.size() <= 3 && p.size() >= 2 && p[1] == ':') || p == "\\"; }

}  // namespace

TargetSurvey SurveyTarget(const ArchiveScan& scan, const std::string& dest) {
    TargetSurvey s;
    s.dest = dest;
    while (s.dest.size() > 3 && s.dest.back() == '\\') s.dest.pop_back();
    std::set<std::string> folders;
    // The destination and the folders above it that are missing.
    for (std::string p = s.dest; !IsRoot(p) && !Exists(p); p = Parent(p)) folders.insert(p);
    auto addFolders = [&](const std::string& rel, bool includeLast) {
        size_t i = 0;
        for (;;) {
            size_t j = rel.find('\\', i);
            if (j == std::string::npos && !includeLast) break;
            std::string p = s.dest + "\\" + rel.substr(0, j);
            if (!Exists(p)) folders.insert(p);
            if (j == std::string::npos) break;
            i = j + 1;
        }
    };
    for (const std::string& name : scan.names) {
        std::string rel, why;
        if (!SafeMemberPath(name, rel, why) || rel.empty()) continue;
        bool dir = name.back() == '/' || name.back() == '\\';
        addFolders(rel, dir);
    }
    for (const std::string& rel : scan.files) {
        std::string p = s.dest + "\\" + rel;
        if (Exists(p))
            s.existing.push_back(rel);
        else
            s.newFiles.push_back(p);
    }
    s.newFolders.assign(folders.begin(), folders.end());
    // Parents before children: a parent's path is a prefix of its children's, so it sorts first.
    std::sort(s.newFolders.begin(), s.newFolders.end());
    return s;
}

int RemoveInstalled(const TargetSurvey& survey) {
    int removed = 0;
    for (const std::string& f : survey.newFiles) {
        // Each file is written under a temporary name first; one may be left behind.
        DeleteFileW(LongPath(f + kPartialSuffix).c_str());
        if (!Exists(f)) continue;
        SetFileAttributesW(LongPath(f).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileW(LongPath(f).c_str())) ++removed;
    }
    for (auto it = survey.newFolders.rbegin(); it != survey.newFolders.rend(); ++it) RemoveDirectoryW(LongPath(*it).c_str());
    return removed;
}

int64_t FreeBytes(const std::string& path) {
    std::string p = path;
    while (!p.empty() && !Exists(p)) p = Parent(p);
    if (p.empty()) p = path.substr(0, 3);
    if (p.back() != '\\') p += '\\';
    ULARGE_INTEGER avail{};
    UINT old = SetErrorMode(SEM_FAILCRITICALERRORS);
    BOOL ok = GetDiskFreeSpaceExA(p.c_str(), &avail, nullptr, nullptr);
    SetErrorMode(old);
    return ok ? int64_t(avail.QuadPart) : -1;
}

std::string MakeFolders(const std::string& dest) {
    DWORD a = GetFileAttributesW(LongPath(dest).c_str());
    if (a != INVALID_FILE_ATTRIBUTES) return (a & FILE_ATTRIBUTE_DIRECTORY) ? "" : "a file of that name is in the way";
    std::string parent = Parent(dest);
    if (!IsRoot(parent)) {
        std::string why = MakeFolders(parent);
        if (!why.empty()) return why;
    }
    if (!CreateDirectoryW(LongPath(dest).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return LastErrorText(GetLastError());
    return "";
}

std::string ProbeWrite(const std::string& dest) {
    char name[MAX_PATH] = "";
    if (!GetTempFileNameA(dest.c_str(), "skk", 0, name)) return LastErrorText(GetLastError());
    DeleteFileA(name);
    return "";
}

UnpackOutcome::Kind UnpackOutcome::KindOf(int code) {
    switch (code) {
        case zip::kAbort: return Kind::Cancelled;
        case zip::kEof: case zip::kFormat: case zip::kBadCrc: case zip::kRead: return Kind::Damaged;
        case zip::kWrite: return Kind::DiskFull;
        case zip::kCreate: case zip::kTemp: return Kind::NoAccess;
        case zip::kPassword: return Kind::Password;
        case zip::kUnsupported: return Kind::Unsupported;
        case zip::kNoArchive: return Kind::Missing;
        default: return Kind::Other;
    }
}

UnpackOutcome UnpackOutcome::Of(const UnpackResult& r) {
    UnpackOutcome o;
    for (const UnpackProblem& p : r.problems) {
        // Shown in the window, in the ANSI code page as the rest of it.
        const std::string line = zc::Utf8ToAnsi(p.Line());
        if (p.Refused())
            o.refused.push_back(line);
        else
            o.Add(KindOf(p.code), line);
    }
    if (r.cancelled) o.Add(Kind::Cancelled, "Installation cancelled");
    return o;
}

void UnpackOutcome::Add(Kind k, const std::string& text) {
    if (k == Kind::Ok) return;
    if (kind == Kind::Ok || k == Kind::Cancelled) kind = k;
    if (errors.size() < 20) errors.push_back(text);
}

ExitCode ExitCodeFor(UnpackOutcome::Kind kind) {
    switch (kind) {
        case UnpackOutcome::Kind::Ok: return kExitOk;
        case UnpackOutcome::Kind::Cancelled: return kExitCancelled;
        case UnpackOutcome::Kind::DiskFull: return kExitNoSpace;
        case UnpackOutcome::Kind::NoAccess: return kExitWriteRefused;
        default: return kExitDamaged;
    }
}

std::string UnpackOutcome::Advice() const {
    switch (kind) {
        case Kind::Ok: return "";
        case Kind::Cancelled: return "Setup was cancelled.";
        case Kind::Damaged:
            return "The package's archive \"Setup.skb\" is damaged. Please get a new copy of the add-on.";
        case Kind::DiskFull:
            return "A file could not be written: the disk is probably full. Please free some space and run Setup again.";
        case Kind::NoAccess:
            return "A file could not be created. You may not be allowed to write into this folder, or Flight "
                   "Simulator may be using the file: close Flight Simulator, or choose another folder.";
        case Kind::Password:
            return "The package's archive is protected by a password, which Setup cannot ask for.";
        case Kind::Unsupported:
            return "The package's archive uses a format that this Setup cannot unpack.";
        case Kind::Missing: return "The package's archive \"Setup.skb\" is missing or is not a zip archive.";
        default: return "The unzip engine reported an error.";
    }
}

std::string Plural(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

bool FindEarlier(const PackageInfo& info, const std::string& folder, InstallLog& earlier) {
    const std::string title = info.DisplayTitle();
    std::string text;
    if (!ReadWholeFile(JoinPath(folder, LogFileName(title, folder)), text).empty()) return false;
    InstallLog l = InstallLog::Parse(text);
    // A damaged or foreign record is not built on: the installation starts afresh.
    if (!l.damage.empty() || l.key != UninstallKeyName(title, folder)) return false;
    earlier = l;
    return true;
}

int UpgradeOrder(const PackageInfo& info, const InstallLog& earlier) {
    if (earlier.version.empty() || info.addonVersion.empty()) return 0;
    return CompareVersions(info.addonVersion, earlier.version);
}

std::string UpgradeNote(const PackageInfo& info, const InstallLog& e) {
    const std::string title = info.DisplayTitle();
    int order = UpgradeOrder(info, e);
    if (order > 0)
        return "Version " + e.version + " of " + title + " is installed here. Setup will update it to " +
               info.addonVersion + " and remove the files " + info.addonVersion +
               " no longer has, unless you changed them.";
    if (order < 0)
        return "A newer version (" + e.version + ") of " + title + " is installed here. Setup will ask before it "
               "puts version " + info.addonVersion + " in its place.";
    return title + (e.version.empty() ? "" : " " + e.version) +
           " is already installed here. Setup will install it again over it.";
}

// --- The installation ----------------------------------------------------------------------

namespace {

std::string Lower(std::string x) {
    for (char& c : x) c = char(std::tolower(static_cast<unsigned char>(c)));
    return x;
}

// What the record says of one of the package's files (rel as the survey has it).
LoggedFile Logged(const Installation& run, const std::string& rel) {
    auto at = run.fileIndex.find(Lower(rel));
    size_t i = at == run.fileIndex.end() ? 0 : at->second;
    LoggedFile f;
    f.rel = run.scan.files[i];
    f.crc = run.scan.crcs[i];
    f.size = run.scan.sizes[i];
    return f;
}

// The copies this run kept, when it does not go ahead after all.
void DeleteCopies(Installation& run) {
    std::vector<std::string> copies;
    for (const LoggedFile& f : run.log.replaced)
        if (f.backup) copies.push_back(JoinPath(run.log.backups, f.rel));
    for (const SpareCopy& c : run.log.spares) copies.push_back(JoinPath(run.log.backups, SpareCopyName(c)));
    for (const std::string& c : copies) DeleteKeptCopy(c, run.log.backups);
    if (!run.upgrading) {
        DeleteUninstallEntry(run.log.key);
        RemoveDirectoryW(LongPath(run.log.backups).c_str());
        RemoveDirectoryW(LongPath(run.place.folder).c_str());
    }
}

}  // namespace

bool Survey(Installation& run, InstallPerson& person) {
    const std::string title = run.info.DisplayTitle();
    // The archive may have changed since Setup started (a copy still arriving, say).
    run.scan = ScanArchive(run.archive);
    if (run.scan.problem != ArchiveScan::Problem::None) {
        person.Ask(PackageProblem(run.scan, title, run.packageDir), MB_OK | MB_ICONSTOP);
        run.exitCode = kExitDamaged;
        return false;
    }
    run.survey = SurveyTarget(run.scan, run.dest);
    run.folder = run.survey.dest;
    // One installation is this add-on in this folder: its record, entry and uninstaller.
    run.identity = InstallIdentity(title, run.folder);
    run.logPath = JoinPath(run.folder, LogFileName(title, run.folder));
    run.upgrading = FindEarlier(run.info, run.folder, run.earlier);
    run.others = InstalledRecords(UninstallKeyName(title, run.folder));
    return true;
}

std::string ReplaceQuestion(const Installation& run) {
    const std::string title = run.info.DisplayTitle();
    std::vector<std::string> theirs, others;
    for (const std::string& rel : run.foreign) {
        auto b = run.belongs.find(Lower(rel));
        if (b != run.belongs.end())
            others.push_back(rel + " (" + b->second->title + ")");
        else if (std::find(run.changed.begin(), run.changed.end(), rel) == run.changed.end())
            theirs.push_back(rel);
    }
    auto listed = [](const std::vector<std::string>& v) {
        std::string out;
        for (size_t i = 0; i < v.size() && i < 8; ++i) out += "\n  " + v[i];
        if (v.size() > 8) out += "\n  ... and " + std::to_string(v.size() - 8) + " more";
        return out;
    };
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "\n\n") + part; };
    const std::string since = run.earlier.version.empty() ? title : "version " + run.earlier.version + " of " + title;
    const size_t changed = run.changed.size();
    if (changed == 1) add("You changed " + run.changed.front() + " since " + since + " was installed.");
    if (changed > 1)
        add("You changed " + Plural(changed, "file", "files") + " since " + since +
            " was installed:" + listed(run.changed));
    if (others.size() == 1) add("A file of " + title + " belongs to another add-on installed here:" + listed(others));
    if (others.size() > 1)
        add(Plural(others.size(), "file", "files") + " of " + title +
            " belong to other add-ons installed here:" + listed(others));
    if (theirs.size() == 1)
        add("A file of " + title + " is already in this folder, and it is not from " + title + ":" + listed(theirs));
    if (theirs.size() > 1)
        add(Plural(theirs.size(), "file", "files") + " of " + title +
            " are already in this folder, and they are not from " + title + ":" + listed(theirs));
    const bool one = run.foreign.size() == 1;
    const std::string copyOf = one && others.empty() ? "yours" : one ? "it" : "each";
    const std::string package = run.info.addonVersion.empty() ? "this package" : "version " + run.info.addonVersion;
    add(std::string("Yes replaces ") + (one ? "it with the file of " : "them with the files of ") + package +
        (run.keepCopies ? " and keeps a copy of " + copyOf + ", which comes back when " + title + " is removed."
                        : "; no copy is kept, as chosen on the previous page.") +
        " No keeps " + (one ? "it as it is" : "them as they are") +
        " and installs only the other files. Cancel goes back.");
    return text;
}

bool Confirm(Installation& run, InstallPerson& person) {
    const std::string title = run.info.DisplayTitle();
    if (run.upgrading && UpgradeOrder(run.info, run.earlier) < 0) {
        std::string text = "A newer version (" + run.earlier.version + ") of " + title + " is installed in\n" +
                           run.folder + "\n\nThis package holds version " + run.info.addonVersion + ".";
        run.exitCode = kExitCancelled;
        // Without a window the newer version stays: nobody was asked.
        if (run.silent) {
            person.Ask(text + " Nothing was changed.", MB_OK | MB_ICONINFORMATION);
            return false;
        }
        if (person.Ask(text + " Replace the newer version with it?", MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
    }
    // Files the earlier installation made or replaced and that are still as it left them are
    // its own to replace; anything else already there is the person's, and they are asked.
    std::map<std::string, const LoggedFile*> earlierFiles;
    for (const std::vector<LoggedFile>* list : {&run.earlier.files, &run.earlier.replaced})
        for (const LoggedFile& f : *list) earlierFiles[Lower(f.rel)] = &f;
    // A file of another add-on installed here is that add-on's while it is as it left it.
    std::map<std::string, std::pair<const InstallLog*, const LoggedFile*>> otherFiles;
    for (const InstallLog& o : run.others)
        for (const std::vector<LoggedFile>* list : {&o.files, &o.replaced})
            for (const LoggedFile& f : *list) otherFiles[Lower(JoinPath(o.folder, f.rel))] = {&o, &f};
    for (const std::string& rel : run.survey.existing) {
        const std::string path = JoinPath(run.folder, rel);
        auto e = earlierFiles.find(Lower(rel));
        if (e != earlierFiles.end() && SameAsLogged(path, e->second->crc, e->second->size)) {
            run.own.insert(Lower(rel));
            continue;
        }
        run.foreign.push_back(rel);
        auto o = otherFiles.find(Lower(path));
        if (e != earlierFiles.end())
            run.changed.push_back(rel);
        else if (o != otherFiles.end() && SameAsLogged(path, o->second.second->crc, o->second.second->size))
            run.belongs[Lower(rel)] = o->second.first;
    }
    if (!run.foreign.empty()) {
        int r = person.Ask(ReplaceQuestion(run), MB_YESNOCANCEL | MB_ICONQUESTION);
        if (r == IDCANCEL) {
            run.exitCode = kExitCancelled;
            return false;
        }
        run.overwrite = r == IDYES;
    }
    const uint64_t needed = run.scan.bytes;
    int64_t free = FreeBytes(run.dest);
    if (free >= 0 && uint64_t(free) < needed) {
        person.Ask("There is not enough free space for " + title + ": it needs " + FormatSize(needed) + ", but only " +
                       FormatSize(uint64_t(free)) + " are free on the drive of\n" + run.dest +
                       "\n\nPlease free some space or choose another drive, then press Install again.",
                   MB_OK | MB_ICONSTOP);
        run.exitCode = kExitNoSpace;
        return false;
    }
    return true;
}

bool Prepare(Installation& run, InstallPerson& person) {
    const std::string title = run.info.DisplayTitle();
    auto refuse = [&](const std::string& text) {
        RemoveInstalled(run.survey);
        person.Ask(text, MB_OK | MB_ICONSTOP);
        run.exitCode = kExitWriteRefused;
        return false;
    };
    if (std::string err = MakeFolders(run.dest); !err.empty())
        return refuse("Setup cannot create the folder\n" + run.dest + "\n" + err +
                      ".\n\nYou may not be allowed to write there. Please choose another folder.");
    if (std::string err = ProbeWrite(run.dest); !err.empty())
        return refuse("Setup may not write into the folder\n" + run.dest + "\n" + err +
                      ".\n\nPlease choose another folder, or run Setup as a user who may write there.");
    // The entry and the uninstaller's folder: where the earlier installation has them, else
    // for every user of the computer when Setup may write there.
    InstallLog& log = run.log;
    log.title = title;
    log.version = run.info.addonVersion;
    log.folder = run.folder;
    log.key = UninstallKeyName(title, run.folder);
    for (bool machine : {true, false})
        if (run.upgrading && !run.earlier.backups.empty() && run.place.folder.empty()) {
            std::string data = UninstallDataFolder(run.identity, machine);
            if (!data.empty() && Lower(run.earlier.backups) == Lower(data + "\\Backup")) run.place = {machine, data, ""};
        }
    if (run.place.folder.empty()) run.place = ChooseUninstallPlace(log.key, run.identity);
    if (!run.place.problem.empty())
        return refuse("Setup cannot prepare the removal of " + title + ": " + run.place.problem +
                      ".\n\nPlease run Setup as a user who may install programs.");
    log.uninstaller = run.place.folder + "\\Uninstall.exe";
    log.backups = run.place.folder + "\\Backup";
    log.dirs = run.survey.newFolders;
    for (size_t i = 0; i < run.scan.files.size(); ++i) run.fileIndex[Lower(run.scan.files[i])] = i;
    // Copies of the files about to be replaced (not of the earlier installation's own, nor
    // again of those it kept a copy of already).
    std::set<std::string> copied;
    std::vector<std::string> uncopied;
    for (const LoggedFile& f : run.earlier.replaced)
        if (f.backup) copied.insert(Lower(f.rel));
    if (run.overwrite) {
        for (const std::string& rel : run.survey.existing) {
            LoggedFile f = Logged(run, rel);
            const std::string path = JoinPath(run.folder, rel);
            if (auto b = run.belongs.find(Lower(rel)); b != run.belongs.end()) f.owner = b->second->key;
            if (run.keepCopies && !run.own.count(Lower(rel)) && !copied.count(Lower(rel))) {
                std::string copy = JoinPath(log.backups, rel);
                f.backup = MakeFolders(Parent(copy)).empty() &&
                           CopyFileW(LongPath(path).c_str(), LongPath(copy).c_str(), FALSE);
                f.copyKnown = f.backup && FileCrc(copy, f.copyCrc, f.copySize);
                if (!f.copyKnown) uncopied.push_back(rel);
            } else if (run.keepCopies && !run.own.count(Lower(rel))) {
                // The person changed a file whose first copy is kept already: theirs is kept too.
                SpareCopy c;
                c.rel = rel;
                for (const SpareCopy& e : run.earlier.spares)
                    if (Lower(e.rel) == Lower(rel)) c.slot = std::max(c.slot, e.slot + 1);
                while (PathExists(JoinPath(log.backups, SpareCopyName(c)))) ++c.slot;
                const std::string copy = JoinPath(log.backups, SpareCopyName(c));
                if (MakeFolders(Parent(copy)).empty() &&
                    CopyFileW(LongPath(path).c_str(), LongPath(copy).c_str(), TRUE) && FileCrc(copy, c.crc, c.size))
                    log.spares.push_back(c);
                else
                    uncopied.push_back(rel);
            }
            log.replaced.push_back(f);
        }
        // A copy was promised: without it the file is not replaced, nor is anything else.
        if (!uncopied.empty()) {
            DeleteCopies(run);
            return refuse("Setup could not keep a copy of " + uncopied.front() + " in\n" + log.backups +
                          "\n\nNothing was installed. Please free some space on that drive, or untick \"Keep a copy of "
                          "each file that is replaced\" to install without copies.");
        }
    } else if (!run.own.empty()) {
        // The person keeps their own files, but the earlier installation's are still to be
        // replaced: they step aside under a temporary name and come back if the run fails.
        for (const std::string& rel : run.survey.existing) {
            if (!run.own.count(Lower(rel))) continue;
            std::string p = JoinPath(run.folder, rel);
            if (MoveFileExW(LongPath(p).c_str(), LongPath(p + ".skk~old").c_str(), MOVEFILE_REPLACE_EXISTING))
                run.aside.push_back(p);
        }
        run.survey = SurveyTarget(run.scan, run.dest);
    }
    return true;
}

void Unpack(Installation& run, InstallPerson& person) {
    using Kind = UnpackOutcome::Kind;
    zip::FileSystem& fs = zip::HostFs();
    UnpackPlan plan = PlanUnpack(fs, run.scan.directory, zc::AnsiToUtf8(run.dest.c_str()));
    plan.unixReadOnly = true;
    UnpackResult r = RunUnpack(fs, *run.scan.file, run.scan.directory, plan,
                               run.overwrite ? Overwrite::Always : Overwrite::Never, person);
    run.outcome = UnpackOutcome::Of(r);
    if (person.Stopped() && !run.outcome.Failed()) run.outcome.Add(Kind::Cancelled, "Cancelled");
    // Every file that was to be written must be there now.
    if (!run.outcome.Failed()) {
        std::vector<std::string> missing;
        for (const std::string& f : run.survey.newFiles)
            if (!IsFilePath(f)) missing.push_back(f.substr(run.survey.dest.size() + 1));
        if (!missing.empty())
            run.outcome.Add(Kind::Other, Plural(missing.size(), "file was", "files were") + " not written, for example " +
                                             missing.front());
    }
    if (run.outcome.Failed()) return;
    // In: what was set aside goes, and the record and the journal learn the files.
    for (const std::string& p : run.aside) DeleteFileW(LongPath(p + ".skk~old").c_str());
    for (const std::string& f : run.survey.newFiles) {
        run.log.files.push_back(Logged(run, f.substr(run.survey.dest.size() + 1)));
        run.journal.Add("Installed: " + f);
    }
    for (const LoggedFile& f : run.log.replaced)
        run.journal.Add("Replaced: " + JoinPath(run.folder, f.rel) + (f.backup ? " (copy kept)" : ""));
    if (!run.overwrite)
        for (const std::string& rel : run.survey.existing) run.journal.Add("Kept as it was: " + JoinPath(run.folder, rel));
}

std::string RollBack(Installation& run) {
    const std::string title = run.info.DisplayTitle();
    const UnpackOutcome& o = run.outcome;
    int removed = RemoveInstalled(run.survey);
    for (const std::string& p : run.aside)
        MoveFileExW(LongPath(p + ".skk~old").c_str(), LongPath(p).c_str(), MOVEFILE_REPLACE_EXISTING);
    std::string text;
    if (o.kind == UnpackOutcome::Kind::Cancelled) {
        text = "The installation was stopped. ";
    } else {
        text = "Setup could not install " + title + ":\n";
        for (size_t i = 0; i < o.errors.size() && i < 5; ++i) text += "\n" + o.errors[i];
        text += "\n\n" + o.Advice() + "\n\n";
    }
    text += removed ? "The " + Plural(size_t(removed), "file", "files") + " it had installed were removed again."
                    : "No file was left behind.";
    if (!run.overwrite && !run.survey.existing.empty()) text += " The files that were there before are unchanged.";
    DeleteCopies(run);
    run.exitCode = ExitCodeFor(o.kind);
    return text;
}

void ReplaceEarlier(Installation& run) {
    // What the earlier version had and this one has not goes, unless the person changed it;
    // the person's files only it replaced come back; all of them leave the earlier record.
    if (!run.upgrading) return;
    InstallLog& earlier = run.earlier;
    const std::string& folder = run.folder;
    std::set<std::string> now, needed;
    for (const std::string& rel : run.scan.files) now.insert(Lower(rel));
    for (const std::string& name : run.scan.names) {
        std::string rel = name;
        std::replace(rel.begin(), rel.end(), '/', '\\');
        for (size_t cut = rel.find('\\'); cut != std::string::npos; cut = rel.find('\\', cut + 1))
            needed.insert(Lower(JoinPath(folder, rel.substr(0, cut))));
    }
    auto ours = [](const std::string& rel) {
        std::string clean, why;
        return SafeMemberPath(rel, clean, why) && !clean.empty();
    };
    // The person's files that they chose to keep (No) are theirs, not the installation's.
    std::set<std::string> keptAsTheyWere;
    if (!run.overwrite)
        for (const std::string& rel : run.foreign) keptAsTheyWere.insert(Lower(rel));
    // A file that another add-on replaced since is that add-on's: left to it.
    std::set<std::string> takenOver;
    for (const InstallLog& o : run.others)
        for (const LoggedFile& r : o.replaced)
            if (r.owner == run.earlier.key) takenOver.insert(Lower(JoinPath(o.folder, r.rel)));
    std::vector<LoggedFile> files, replaced;
    for (const LoggedFile& f : earlier.files) {
        std::string p = JoinPath(folder, f.rel);
        if (keptAsTheyWere.count(Lower(f.rel))) continue;
        if (now.count(Lower(f.rel))) files.push_back(f);
        else if (!ours(f.rel) || !IsFilePath(p) || takenOver.count(Lower(p)))
            continue;
        else if ((GetFileAttributesW(LongPath(p).c_str()) & FILE_ATTRIBUTE_READONLY) || !SameAsLogged(p, f.crc, f.size)) {
            run.keptChanged.push_back(f.rel);   // the person's now
            run.journal.Add("Kept (changed since the earlier version): " + p);
        } else if (DeleteFileW(LongPath(p).c_str())) {
            run.removedOld.push_back(f.rel);
            run.journal.Add("Removed (not in this version): " + p);
        } else {
            files.push_back(f);   // still the installation's, for the uninstaller
        }
    }
    // A person's file that only the earlier version replaced: its kept copy goes back.
    for (const LoggedFile& r : earlier.replaced) {
        if (now.count(Lower(r.rel)) || !ours(r.rel)) {
            if (ours(r.rel)) replaced.push_back(r);  // its copy stays recorded whoever's the file is now
            continue;
        }
        std::string p = JoinPath(folder, r.rel), copy = JoinPath(run.log.backups, r.rel);
        if (!r.backup) continue;
        if (!r.copyKnown || !SameAsLogged(copy, r.copyCrc, r.copySize) ||
            (IsFilePath(p) && !SameAsLogged(p, r.crc, r.size))) {
            replaced.push_back(r);  // it cannot come back now: it stays recorded, for the uninstall to name
            continue;
        }
        if (PutBackCopy(copy, p).empty()) {
            DeleteFileW(LongPath(copy).c_str());
            run.putBackOld.push_back(r.rel);
            run.journal.Add("Put back: " + p);
        } else {
            replaced.push_back(r);
        }
    }
    earlier.files = files;
    earlier.replaced = replaced;
    // The folders the earlier version made and this one has no use for, when empty now; those
    // that are gone leave the record.
    std::vector<std::string> dirs = earlier.dirs;
    std::sort(dirs.begin(), dirs.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& d : dirs)
        if (IsInside(folder, d) && !needed.count(Lower(d))) RemoveDirectoryW(LongPath(d).c_str());
    std::vector<std::string> still;
    for (const std::string& d : earlier.dirs)
        if (PathExists(d)) still.push_back(d);
    earlier.dirs = still;
}

void Register(Installation& run) {
    run.exitCode = kExitOk;
    const AddonType type = run.info.Type();
    if (type != AddonType::Scenery && type != AddonType::SceneryMD) return;
    const std::string title = run.info.DisplayTitle();
    run.log.simulator = run.library.simFolder;
    std::vector<std::string> folders = SceneryAreaFolders(type, run.survey.dest, run.scan.files);
    Registration reg;
    // A simulator rewrites its library when it starts and when it stops: a change made while it
    // runs would be lost.
    if (!run.running.empty())
        reg.problem = run.running + " is running, and would undo the change when it ends; close it, run Setup again";
    else
        reg = RegisterScenery(run.library, folders, title, run.earlier.areas);
    run.log.areas = reg.added;
    if (reg.problem.empty()) {
        run.registration = reg.fresh ? "Added to the Scenery Library as " : "Already in the Scenery Library as ";
        for (size_t i = 0; i < reg.titles.size(); ++i) run.registration += (i ? ", \"" : "\"") + reg.titles[i] + "\"";
        run.registration += ".";
    } else {
        run.exitCode = kExitNotRegistered;
        run.registration = "The Scenery Library was not changed: " + reg.problem +
                           ". To see the scenery, start the simulator, open its Scenery Library, press Add Area and "
                           "choose the folder " +
                           folders.front() + ".";
    }
    run.journal.Add(run.registration);
}

void Record(Installation& run) {
    const std::string title = run.info.DisplayTitle();
    InstallLog& log = run.log;
    log.MergeEarlier(run.earlier);
    run.recordProblem = PlaceUninstaller(run.place.folder);
    if (run.recordProblem.empty()) {
        if (std::string why = ReplaceFileSafely(run.logPath, log.Text(), ""); !why.empty())
            run.recordProblem = "the record " + run.logPath + " could not be written: " + why;
    }
    if (run.recordProblem.empty()) {
        EntryFacts facts;
        for (const Author& a : run.info.authors) {
            facts.publisher += (facts.publisher.empty() ? "" : ", ") + (a.name.empty() ? a.email : a.name);
            if (facts.contact.empty()) facts.contact = a.email;
        }
        facts.bytes = run.scan.bytes;
        facts.machineWide = run.place.machineWide;
        run.recordProblem = WriteUninstallEntry(log, run.logPath, facts);
    }
    run.removal = run.recordProblem.empty()
                      ? "To remove " + title + ", choose \"" + DisplayNameOf(log) +
                            "\" in Add or Remove Programs in the Control Panel."
                      : "Setup could not prepare the removal of the add-on: " + run.recordProblem + ".";
    if (!run.recordProblem.empty() && run.exitCode == kExitOk) run.exitCode = kExitWriteRefused;
}

std::string Report(const Installation& run) {
    const ArchiveScan& scan = run.scan;
    // What this run wrote: the new files, and those already there when it replaced them.
    std::vector<std::string> written;
    uint64_t bytes = 0;
    for (size_t i = 0; i < scan.files.size(); ++i) {
        const std::string& rel = scan.files[i];
        const bool existed =
            std::find(run.survey.existing.begin(), run.survey.existing.end(), rel) != run.survey.existing.end();
        if (existed ? !run.overwrite : !IsFilePath(JoinPath(run.folder, rel))) continue;
        written.push_back(rel);
        bytes += scan.sizes[i];
    }
    const std::string before = run.earlier.version.empty() ? "the earlier version" : "version " + run.earlier.version;
    const std::string now = run.info.addonVersion.empty() ? "this one" : "version " + run.info.addonVersion;
    std::string report = run.info.TitleWithVersion() + " was installed into\r\n" + run.dest + "\r\n\r\n";
    if (run.upgrading) report += "It replaced " + before + " in this folder.\r\n";
    report += Plural(written.size(), "file was", "files were") + " installed (" + FormatSize(bytes) + ").";
    // One list of files: "<n> file(s) <what>:" and the names.
    auto section = [&report](const std::vector<std::string>& files, const std::string& one, const std::string& many) {
        if (files.empty()) return;
        report += "\r\n\r\n" + Plural(files.size(), "file", "files") + " " + (files.size() == 1 ? one : many) + ":";
        for (size_t i = 0; i < files.size() && i < 500; ++i) report += "\r\n  " + files[i];
        if (files.size() > 500) report += "\r\n  ...";
    };
    // The files the question was about: the person's changes to the earlier version's, and
    // the rest that were there before.
    std::vector<std::string> changed, already;
    for (const std::string& rel : run.foreign)
        (std::find(run.changed.begin(), run.changed.end(), rel) != run.changed.end() ? changed : already)
            .push_back(rel);
    const std::string back = ", to come back when the add-on is removed";
    const std::string yours = run.keepCopies ? "; a copy of yours is kept" + back : " (no copy was kept)";
    const std::string its = run.keepCopies ? "; a copy of it is kept" + back : " (no copy was kept)";
    const std::string each = run.keepCopies ? "; a copy of each is kept" + back : " (no copies were kept)";
    if (run.overwrite) {
        section(changed, "that you changed since " + before + " was installed was replaced" + yours,
                "that you changed since " + before + " was installed were replaced" + each);
        section(already, "that was there before was replaced" + its, "that were there before were replaced" + each);
    } else {
        section(changed, "that you changed since " + before + " was installed was kept as you changed it",
                "that you changed since " + before + " was installed were kept as you changed them");
        section(already, "that was there before was kept as it was", "that were there before were kept as they were");
    }
    section(run.removedOld, "of " + before + ", no longer part of " + now + ", was removed",
            "of " + before + ", no longer part of " + now + ", were removed");
    section(run.keptChanged, "of " + before + " that " + now + " no longer has was kept, because you changed it",
            "of " + before + " that " + now + " no longer has were kept, because you changed them");
    section(run.putBackOld, "of yours that only " + before + " had replaced was put back",
            "of yours that only " + before + " had replaced were put back");
    if (!run.registration.empty()) report += "\r\n\r\n" + run.registration;
    report += "\r\n\r\n" + run.removal;
    if (!scan.refused.empty()) {
        report += "\r\n\r\n" + Plural(scan.refused.size(), "file was", "files were") +
                  " left out because their names cannot be used for files on Windows or would have put them outside "
                  "this folder:";
        for (const std::string& r : scan.refused) report += "\r\n  " + r;
    }
    section(written, "installed", "installed");
    return report;
}

}  // namespace kit
