// Kitzip: the archive component on the command line, for authors who script their releases.
// It drives TZipPacker as the builder does; the component's messages go to the standard error
// stream, questions (overwrite a part? insert the next disk?) are asked on the console, and the
// exit code says what kind of failure ended the run (the table in kUsage and the README).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "SpanFormat.h"
#include "ToolExit.h"
#include "ZipPacker.h"
#include "ZipPackerInternal.h"
#include "ui.h"

namespace {

const char kUsage[] =
    "Kitzip 1.52 M - the Skykit archive tool\n"
    "\n"
    "  Kitzip l ARCHIVE                         list the members\n"
    "  Kitzip t ARCHIVE                         test every member (data and CRC)\n"
    "  Kitzip a [-0..-9] [-r] ARCHIVE FILE...   add files (-r: with subfolders)\n"
    "  Kitzip x ARCHIVE [FOLDER]                extract (into FOLDER)\n"
    "  Kitzip d ARCHIVE NAME...                 delete members\n"
    "  Kitzip span -s SIZE [-z] [-o] ARCHIVE TARGET\n"
    "                                           split into parts of SIZE bytes (1440k, 64m...):\n"
    "                                           TARGET001.zip, TARGET002.zip...; -z: TARGET.z01,\n"
    "                                           TARGET.z02... TARGET.zip as Info-ZIP and 7-Zip\n"
    "                                           name them; -o: replace an earlier set of that name\n"
    "  Kitzip join PART OUT                     join a set (any of its parts, either naming)\n"
    "  Kitzip sfx [-c CAPTION] [-d FOLDER] [-r COMMAND] [-a] [-o ask|always|never] [-m]\n"
    "             ARCHIVE.zip                   make a self-extracting ARCHIVE.exe: its caption,\n"
    "                                           default folder, command to run afterwards,\n"
    "                                           -a extract at once without questions, overwrite\n"
    "                                           rule; -m: remove ARCHIVE.zip when done\n"
    "  Kitzip unsfx [-m] ARCHIVE.exe            take the self-extractor off again (-m: remove\n"
    "                                           ARCHIVE.exe when done)\n"
    "  Kitzip -h | --help | /?                  this text\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  bad arguments\n"
    "  2  a file not found (archive, part of a set, file to add)\n"
    "  3  a damaged archive or member (CRC error, parts that do not belong together)\n"
    "  4  disk full or a write refused (an existing set is not replaced without -o)\n"
    "  5  cancelled\n"
    "  6  any other failure (zip engine or self-extractor stub missing, no memory)\n";

using namespace tool;

// Questions of the component asked on the console; message boxes that only inform are left to
// OnMessage, which prints every message once.
class ConsoleDesktop : public ui::Desktop {
public:
    int MessageBox(HWND, const std::string& text, const std::string&, UINT flags) override {
        UINT kind = flags & MB_TYPEMASK;
        if (kind == MB_OK) return IDOK;
        const char* choices = kind == MB_YESNOCANCEL ? " [y]es, [n]o, [c]ancel: "
                              : kind == MB_YESNO     ? " [y]es, [n]o: "
                              : kind == MB_RETRYCANCEL ? " [r]etry, [c]ancel: "
                                                       : " [o]k (when ready), [c]ancel: ";
        std::cerr << text << "\n" << choices << std::flush;
        std::string line;
        // No one to answer (end of input): the careful answer.
        if (!std::getline(std::cin, line) || line.empty())
            return kind == MB_YESNO ? IDNO : IDCANCEL;
        char c = char(tolower(static_cast<unsigned char>(line[0])));
        switch (kind) {
        case MB_YESNOCANCEL: return c == 'y' ? IDYES : c == 'n' ? IDNO : IDCANCEL;
        case MB_YESNO: return c == 'y' ? IDYES : IDNO;
        case MB_RETRYCANCEL: return c == 'r' ? IDRETRY : IDCANCEL;
        default: return c == 'o' ? IDOK : IDCANCEL;
        }
    }
};

// One run: the component, the file it works on, and the first failure it reported.
struct Run {
    TZipPacker z;
    std::string file;    // named in every error line
    std::string output;  // what the run writes: named instead when writing it failed
    int failure = kOk;

    Run() {
        z.Name = "Kitzip";
        z.SetDLLDirectory(ui::InstallDir());
        // What other programs use next: a replaced file goes, it is not kept in the recycle bin.
        z.HowToDelete = htdFinal;
        z.OnMessage = [this](TObject*, int code, const std::string& text) {
            const int kind = ExitOfReport(z, code, text);
            if (kind == kOk) {
                std::cerr << text << "\n";
                return;
            }
            std::cerr << "Kitzip: error: " << (kind == kWrite && !output.empty() ? output : file) << ": " << text
                      << "\n";
            if (failure == kOk) failure = kind;
        };
    }
    // The exit code of a step that failed: what was reported, else the kind given.
    int Failed(int otherwise, const std::string& why = "the operation failed") {
        if (failure == kOk && z.ErrorCode >= 10000) failure = ExitOfMessage(z.ErrorCode);
        if (failure == kOk) {
            failure = otherwise;
            std::cerr << "Kitzip: error: " << file << ": " << why << "\n";
        }
        return failure;
    }
    int Error(int kind, const std::string& text) {
        std::cerr << "Kitzip: error: " << file << ": " << text << "\n";
        if (failure == kOk) failure = kind;
        return failure;
    }
};

// "1 member", "2 members".
std::string Count(long n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

int Usage(const std::string& why) {
    std::cerr << "Kitzip: " << why << "\n\n" << kUsage;
    return kArgs;
}

// Extract works in the target folder: names given relative to where Kitzip started must not
// change their meaning there.
std::string Full(const std::string& name) {
    char buf[MAX_PATH + 1];
    DWORD n = GetFullPathNameA(name.c_str(), MAX_PATH, buf, nullptr);
    return n > 0 && n <= MAX_PATH ? std::string(buf, n) : name;
}

std::string DirPart(const std::string& name) {
    size_t slash = name.find_last_of("\\/:");
    return slash == std::string::npos ? std::string(".\\") : name.substr(0, slash + 1);
}

// "1440k", "64m", "100000": a size in bytes, or -1.
long ParseSize(const std::string& s) {
    if (s.empty()) return -1;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    std::string unit = end;
    double mul = unit.empty() ? 1 : (unit == "k" || unit == "K") ? 1024 : (unit == "m" || unit == "M") ? 1024 * 1024 : -1;
    if (mul < 0 || v <= 0 || v * mul > 0x7FFFFFFF) return -1;
    return long(v * mul);
}

std::string DosDateTime(uint16_t date, uint16_t time) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", 1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11,
                  (time >> 5) & 63);
    return buf;
}

bool IsPartDigits(const std::string& name) {
    std::string base = zip::WithExtension(name, "");
    if (base.size() < 3) return false;
    for (size_t i = base.size() - 3; i < base.size(); ++i)
        if (!isdigit(static_cast<unsigned char>(base[i]))) return false;
    return true;
}

// The end record's disk number of a file, or -1 when it has none.
int EndRecordDisk(const std::string& file) {
    FileSource src(file);
    if (!src.Ok()) return -1;
    zip::EndRecord r = ReadComponentEndRecord(src);
    return r.found ? int(r.record.ThisDiskNo) : -1;
}

// In our numbering any part names the set: its last part is the first one, counted from part
// 001, whose end record says that it is that part. Parts of an earlier, longer set that are
// still beside it come after it and are never taken. "" with the reason when there is none.
std::string LastPart(const std::string& part, std::string& why) {
    if (!IsPartDigits(part) || zip::IsZipStylePart(part)) return part;
    std::string base = zip::WithExtension(part, "");
    std::string set = base.substr(0, base.size() - 3) + zip::ExtensionOf(part);
    for (int k = 0; k < zip::kMaxParts; ++k) {
        std::string name = zip::PartFileName(set, k);
        if (!ui::FileExists(name)) {
            // A name with digits that is an archive of its own is joined (or refused) as it is.
            if (k == 0 && EndRecordDisk(part) >= 0) return part;
            why = "part " + zip::PartNumberText(k) + " of the set (" + name + ") is missing";
            return "";
        }
        if (EndRecordDisk(name) == k) return name;
    }
    why = "no part of the set holds its end record";
    return "";
}

// The parts of the set TARGET in either naming that are there now; in Info-ZIP's naming the
// target itself is the last part.
std::vector<std::string> ExistingParts(const std::string& target, bool zipStyle) {
    std::vector<std::string> found;
    for (int k = 0; k < zip::kMaxParts; ++k) {
        std::string ours = zip::PartFileName(target, k);
        if (ui::FileExists(ours)) found.push_back(ours);
        std::string theirs = zip::ZipStylePartName(target, k, -1);
        if (ui::FileExists(theirs)) found.push_back(theirs);
    }
    if (zipStyle && ui::FileExists(target)) found.push_back(target);
    return found;
}

int List(Run& r, const std::string& archive) {
    r.file = archive;
    if (!ui::FileExists(archive)) return r.Error(kNotFound, "the archive is not there");
    r.z.SetZipFileName(archive);
    if (r.z.ZipFileName().empty()) return r.Failed(kDamaged);
    uint64_t size = 0, packed = 0;
    std::printf("%12s %12s  %-16s  %s\n", "Size", "Packed", "Date", "Name");
    for (int i = 0; i < r.z.GetCount(); ++i) {
        const ZipDirEntry& e = r.z.DirEntry(i);
        std::printf("%12lu %12lu  %s  %s\n", (unsigned long)e.UncomprSize, (unsigned long)e.ComprSize,
                    DosDateTime(e.ModifDate, e.ModifTime).c_str(), e.FileName.c_str());
        size += e.UncomprSize;
        packed += e.ComprSize;
    }
    std::printf("%12llu %12llu  %s\n", (unsigned long long)size, (unsigned long long)packed,
                Count(r.z.GetCount(), "member", "members").c_str());
    return r.failure;
}

// Extracts (or, with ExtrTest, tests) every member; the kind of failure, kOk when every
// member came through.
int Unpack(Run& r, const std::string& archive, ExtrOpts options) {
    r.z.ExtrOptions = options;
    r.z.SetZipFileName(Full(archive));
    if (r.z.ZipFileName().empty()) return r.Failed(kDamaged);
    int members = 0;
    for (int i = 0; i < r.z.GetCount(); ++i)
        if (!r.z.DirEntry(i).FileName.empty() && r.z.DirEntry(i).FileName.back() != '\\') ++members;
    r.z.Extract();
    if (r.failure != kOk) return r.failure;
    if (members > 0 && r.z.FilesProcessed <= 0) return r.Failed(kDamaged);
    return kOk;
}

// Extract or test: any member that fails makes the run fail.
int Extract(Run& r, const std::vector<std::string>& args, bool test) {
    r.file = args[1];
    if (!ui::FileExists(args[1])) return r.Error(kNotFound, "the archive is not there");
    if (args.size() == 3) {
        // A folder that does not exist yet is made, as a person would expect.
        std::string dir = args[2];
        for (size_t i = 0; i <= dir.size(); ++i)
            if (i == dir.size() || ((dir[i] == '\\' || dir[i] == '/') && i > 2)) CreateDirectoryA(dir.substr(0, i).c_str(), nullptr);
        if (!ui::DirectoryExists(dir)) return r.Error(kWrite, "the folder " + dir + " cannot be made");
        r.z.ExtrBaseDir = dir;
    }
    if (int failed = Unpack(r, args[1], test ? ExtrOpts{ExtrTest} : ExtrOpts{ExtrDirNames, ExtrOverWrite});
        failed != kOk)
        return failed;
    std::printf("%s %s\n", Count(r.z.FilesProcessed, "file", "files").c_str(),
                test ? "tested, no errors" : "extracted");
    return kOk;
}

int AddOrDelete(Run& r, const std::string& cmd, const std::vector<std::string>& args) {
    size_t at = 1;
    // The builder's options: directory names kept, hidden files included, folders stored.
    r.z.AddOptions = {AddDirNames, AddHiddenFiles, AddSeparateDirs};
    for (; at < args.size() && args[at].size() == 2 && args[at][0] == '-'; ++at) {
        char o = args[at][1];
        if (cmd == "a" && o >= '0' && o <= '9') r.z.AddCompLevel = o - '0';
        else if (cmd == "a" && o == 'r') r.z.AddOptions.Include(AddRecurseDirs);
        else return Usage("unknown option " + args[at]);
    }
    if (args.size() < at + 2) return Usage("an archive and at least one file name or pattern are needed");
    r.file = args[at];
    r.z.SetZipFileName(args[at]);
    if (r.z.ZipFileName().empty()) return r.Failed(kDamaged);  // an existing file that is no archive
    r.z.FSpecArgs.assign(args.begin() + long(at) + 1, args.end());
    if (cmd == "a") r.z.Add();
    else r.z.Delete();
    if (r.failure != kOk) return r.failure;
    if (r.z.FilesProcessed <= 0) return r.Failed(kNotFound);
    std::printf("%s\n", (cmd == "a" ? Count(r.z.FilesProcessed, "file added", "files added")
                                    : Count(r.z.FilesProcessed, "member deleted", "members deleted"))
                            .c_str());
    return kOk;
}

int Span(Run& r, const std::vector<std::string>& args) {
    long size = 0;
    bool zipStyle = false, replace = false;
    size_t at = 1;
    for (; at < args.size() && args[at].size() == 2 && args[at][0] == '-'; ++at) {
        if (args[at] == "-z") zipStyle = true;
        else if (args[at] == "-o") replace = true;
        else if (args[at] == "-s") {
            if (at + 1 >= args.size()) return Usage("-s needs a value: the size of each part");
            size = ParseSize(args[++at]);
            if (size <= 0) return Usage("-s needs a size (1440k, 64m, 100000), not " + args[at]);
        } else
            return Usage("unknown option " + args[at]);
    }
    if (args.size() != at + 2) return Usage("span needs an archive and a target");
    const std::string archive = args[at];
    std::string target = args[at + 1];
    r.file = archive;
    if (!ui::FileExists(archive)) return r.Error(kNotFound, "the archive is not there");
    // Parts always carry the archive's extension: "disk" becomes disk001.zip...
    if (zip::ExtensionOf(target).empty()) target += zip::ExtensionOf(archive).empty() ? ".zip" : zip::ExtensionOf(archive);
    r.z.SetMaxVolumeSize(size);
    // Parts smaller than the usual least free space are what was asked for.
    if (size > 0 && size < r.z.MinFreeVolumeSize()) r.z.SetMinFreeVolumeSize(size);

    std::string root = Full(target).substr(0, 3);
    UINT type = GetDriveTypeA(root.c_str());
    if (type != DRIVE_FIXED && type != DRIVE_REMOTE) {
        // Removable disks: every disk holds a file of the target's name, asked for in turn.
        if (zipStyle) return Usage("-z names parts side by side; on removable disks each disk holds " + target);
        if (r.z.WriteSpan(archive, target) != 0) return r.Failed(kWrite);
        return kOk;
    }
    // Side by side, the parts would all be on one disk: without a size there would be one part.
    if (size <= 0) return Usage("span onto a fixed or network drive needs -s SIZE");
    if (zipStyle && lstrcmpiA(Full(target).c_str(), Full(archive).c_str()) == 0)
        return Usage("the last part of the set would take the archive's own name: " + target);
    std::vector<std::string> old = ExistingParts(target, zipStyle);
    if (!old.empty() && !replace)
        return r.Error(kWrite, "a set of that name is there already (" + old.front() + "); add -o to replace it");

    // The new set is written under a name of its own and takes the target's names only when it
    // is complete: a failure costs neither the earlier set nor leaves half of a new one.
    char tmp[MAX_PATH + 1];
    if (!GetTempFileNameA(DirPart(target).c_str(), "kzs", 0, tmp)) return r.Error(kWrite, "no file can be made beside " + target);
    DeleteFileA(tmp);
    const std::string staging = zip::WithExtension(tmp, zip::ExtensionOf(target));
    if (r.z.WriteSpan(archive, staging) != 0) return r.Failed(kWrite);
    int parts = 0;
    while (parts < zip::kMaxParts && ui::FileExists(zip::PartFileName(staging, parts))) ++parts;
    for (const std::string& f : old)
        if (!DeleteFileA(f.c_str())) {
            for (int k = 0; k < parts; ++k) DeleteFileA(zip::PartFileName(staging, k).c_str());
            return r.Error(kWrite, "the earlier part " + f + " cannot be removed; the new set was not kept");
        }
    for (int k = 0; k < parts; ++k) {
        std::string to = zipStyle ? zip::ZipStylePartName(target, k, parts - 1) : zip::PartFileName(target, k);
        if (!MoveFileA(zip::PartFileName(staging, k).c_str(), to.c_str()))
            return r.Error(kWrite, "the part " + zip::PartFileName(staging, k) + " cannot be renamed to " + to);
        std::printf("%s\n", to.c_str());
    }
    return kOk;
}

int Join(Run& r, const std::vector<std::string>& args) {
    r.file = args[1];
    if (!ui::FileExists(args[1])) return r.Error(kNotFound, "the part is not there");
    std::string why;
    std::string last = LastPart(args[1], why);
    if (last.empty()) return r.Error(why.find("missing") != std::string::npos ? kNotFound : kDamaged, why);
    std::string out = args[2];
    r.output = out;
    const std::string folder = DirPart(Full(out));
    if (!ui::DirectoryExists(folder)) {
        r.file = out;
        return r.Error(kWrite, "the folder " + folder + " is not there");
    }
    if (r.z.ReadSpan(last, out) != 0) return r.Failed(kDamaged);
    std::printf("joined into %s\n", out.c_str());
    return kOk;
}

int Convert(Run& r, const std::string& cmd, const std::vector<std::string>& args) {
    bool replace = false;
    size_t at = 1;
    r.z.SFXPath = ui::InstallDir() + "SFXSTUB.BIN";
    std::string lastValued;  // the last option that took a value
    for (; at < args.size() && args[at].size() == 2 && args[at][0] == '-'; ++at) {
        const std::string o = args[at];
        const bool sfx = cmd == "sfx";
        if (o == "-m") replace = true;
        else if (sfx && o == "-a") {
            // As the builder's download: extracted at once, without the overwrite question.
            r.z.SFXOptions.Include(SFXAutoRun).Include(SFXHideOverWriteBox);
        } else if (sfx && (o == "-c" || o == "-d" || o == "-r" || o == "-o")) {
            if (at + 1 >= args.size())
                return Usage(o + " needs a value: " +
                             (o == "-c"   ? "the caption"
                              : o == "-d" ? "the folder"
                              : o == "-r" ? "the command"
                                          : "ask, always or never"));
            const std::string& v = args[++at];
            lastValued = o;
            if (o == "-c") r.z.SFXCaption = v;
            else if (o == "-d") r.z.SFXDefaultDir = v;
            else if (o == "-r") r.z.SFXCommandLine = v;
            else if (v == "ask") r.z.SFXOverWriteMode = OvrConfirm;
            else if (v == "always") r.z.SFXOverWriteMode = OvrAlways;
            else if (v == "never") r.z.SFXOverWriteMode = OvrNever;
            else
                return Usage("-o takes ask, always or never, not " + v);
        } else {
            return Usage("unknown option " + o);
        }
    }
    // "sfx -c ARCHIVE": the archive was taken for the caption.
    if (args.size() == at && !lastValued.empty())
        return Usage(lastValued + " needs a value, and " + cmd + " an archive after it");
    if (args.size() != at + 1) return Usage(cmd + " needs one archive");
    r.file = args[at];
    if (!ui::FileExists(args[at])) return r.Error(kNotFound, "the archive is not there");
    const std::string out = zip::WithExtension(args[at], cmd == "sfx" ? ".exe" : ".zip");
    // A download is made only of an archive whose every member unpacks with the right CRC:
    // damage found here would otherwise show first on the computer of the person installing.
    if (cmd == "sfx") {
        if (int failed = Unpack(r, args[at], ExtrOpts{ExtrTest}); failed != kOk) {
            std::cerr << "Kitzip: error: " << args[at] << ": the archive is damaged; " << out << " was not made\n";
            return failed;
        }
    }
    r.output = out;
    r.z.KeepSourceOnConvert = !replace;
    r.z.SetZipFileName(args[at]);
    if (r.z.ZipFileName().empty()) return r.Failed(kDamaged);
    int result = cmd == "sfx" ? r.z.ConvertSFX() : r.z.ConvertZIP();
    if (result == -3) return r.Failed(kDamaged, "the archive cannot be read; " + out + " is as it was");
    if (result == -9) return r.Failed(kOther, "the result did not come out whole; " + out + " is as it was");
    if (result != 0) return r.Failed(kWrite, out + " could not be written (is the disk full?); it is as it was");
    std::printf("%s\n", r.z.ZipFileName().c_str());
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "/?") {
        std::cout << kUsage;
        return kOk;
    }
    ConsoleDesktop console;
    ui::SetDesktop(&console);
    Run r;
    const std::string cmd = args[0];
    if (cmd == "l" && args.size() == 2) return List(r, args[1]);
    if ((cmd == "x" || cmd == "t") && (args.size() == 2 || (cmd == "x" && args.size() == 3))) return Extract(r, args, cmd == "t");
    if (cmd == "a" || cmd == "d") return AddOrDelete(r, cmd, args);
    if (cmd == "span") return Span(r, args);
    if (cmd == "join" && args.size() == 3) return Join(r, args);
    if (cmd == "sfx" || cmd == "unsfx") return Convert(r, cmd, args);
    return Usage("unknown command or wrong number of arguments: " + cmd);
}
