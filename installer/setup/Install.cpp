#include "Install.h"

#include <windows.h>

#include <algorithm>
#include <set>

#include "SafePath.h"
#include "Errors.h"
#include "os/win32_text.h"
#include "zipformat.h"

namespace kit {

std::string LastErrorText(unsigned long code) {
    char* buf = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<char*>(&buf), 0, nullptr);
    std::string s = buf ? buf : "";
    if (buf) LocalFree(buf);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s.empty() ? "system error " + std::to_string(code) : s;
}

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
        std::unique_ptr<zip::File> f = fs.OpenRead(zc::AnsiToUtf8(path.c_str()));
        zc::Directory d = zc::ReadDirectory(*f);
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
    }
    return scan;
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
        // The engine writes each file under a temporary name first; one may be left behind.
        DeleteFileW(LongPath(f + ".unz~tmp").c_str());
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

void EngineOutcome::Add(int code, const std::string& text) {
    using zip::ErrorCode;
    if (code == 0 || code == zip::kWarning || code == zip::kNothing || code == zip::kExists) return;
    bool aboutLeftOut = false;
    for (std::string name : leftOut) {
        std::replace(name.begin(), name.end(), '\\', '/');
        std::string t = text;
        std::replace(t.begin(), t.end(), '\\', '/');
        aboutLeftOut = aboutLeftOut || (!name.empty() && t.find(name) != std::string::npos);
    }
    if (code == zip::kUnsafeName || aboutLeftOut) {
        refused.push_back(text);
        return;
    }
    Kind k;
    switch (code) {
        case zip::kAbort: k = Kind::Cancelled; break;
        case zip::kEof: case zip::kFormat: case zip::kBadCrc: case zip::kRead: k = Kind::Damaged; break;
        case zip::kWrite: k = Kind::DiskFull; break;
        case zip::kCreate: case zip::kTemp: k = Kind::NoAccess; break;
        case zip::kPassword: k = Kind::Password; break;
        case zip::kUnsupported: k = Kind::Unsupported; break;
        case zip::kNoArchive: k = Kind::Missing; break;
        default: k = Kind::Other; break;
    }
    // The first failure names the outcome; a cancel wins over what it caused.
    if (kind == Kind::Ok || k == Kind::Cancelled) kind = k;
    if (errors.size() < 20) errors.push_back(text);
}

ExitCode ExitCodeFor(EngineOutcome::Kind kind) {
    switch (kind) {
        case EngineOutcome::Kind::Ok: return kExitOk;
        case EngineOutcome::Kind::Cancelled: return kExitCancelled;
        case EngineOutcome::Kind::DiskFull: return kExitNoSpace;
        case EngineOutcome::Kind::NoAccess: return kExitWriteRefused;
        default: return kExitDamaged;
    }
}

std::string EngineOutcome::Advice() const {
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

}  // namespace kit
