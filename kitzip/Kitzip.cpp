// Kitzip: the archive component on the command line, for authors who script their releases.
// It drives TZipPacker as the builder does; the component's messages go to the standard error
// stream, questions (overwrite a part? insert the next disk?) are asked on the console, and the
// exit code is 0 on success, else the component's error number (1 where it has none).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "SpanFormat.h"
#include "ZipPacker.h"
#include "ui.h"

namespace {

const char kUsage[] =
    "Kitzip 1.52 M - the Skykit archive tool\n"
    "\n"
    "  Kitzip l ARCHIVE                         list the members\n"
    "  Kitzip a [-0..-9] [-r] ARCHIVE FILE...   add files (-r: with subfolders)\n"
    "  Kitzip x ARCHIVE [FOLDER]                extract (into FOLDER)\n"
    "  Kitzip d ARCHIVE NAME...                 delete members\n"
    "  Kitzip span [-s SIZE] ARCHIVE TARGET     split onto disks or into parts of SIZE\n"
    "                                           bytes (1440k, 64m...): TARGET001.zip...\n"
    "  Kitzip join PART OUT.zip                 join a set (any of its parts) into one archive\n"
    "  Kitzip sfx ARCHIVE.zip                   make a self-extracting ARCHIVE.exe\n"
    "  Kitzip unsfx ARCHIVE.exe                 take the self-extractor off again\n";

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

// Extract works in the target folder: names given relative to where Kitzip started must not
// change their meaning there.
std::string Full(const std::string& name) {
    char buf[MAX_PATH + 1];
    DWORD n = GetFullPathNameA(name.c_str(), MAX_PATH, buf, nullptr);
    return n > 0 && n <= MAX_PATH ? std::string(buf, n) : name;
}

int Fail(const TZipPacker& z) { return z.ErrorCode != 0 ? z.ErrorCode : 1; }

int Usage(const std::string& why) {
    std::cerr << "Kitzip: " << why << "\n\n" << kUsage;
    return 1;
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

// On a fixed drive any part of a set names the set: its last part is the one to start from.
std::string LastPart(const std::string& part) {
    size_t slash = part.find_last_of("\\/:");
    size_t dot = part.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = part.size();
    if (dot < 3) return part;
    std::string set = part.substr(0, dot - 3) + part.substr(dot);
    int n = 0;
    while (n < 999 && ui::FileExists(zipfmt::PartFileName(set, n))) ++n;
    return n > 0 && ui::FileExists(part) ? zipfmt::PartFileName(set, n - 1) : part;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cout << kUsage;
        return 0;
    }
    ConsoleDesktop console;
    ui::SetDesktop(&console);
    TZipPacker z;
    z.Name = "Kitzip";
    z.SetDLLDirectory(ui::InstallDir());
    z.OnMessage = [](TObject*, int, const std::string& text) { std::cerr << text << "\n"; };
    // What other programs use next: a replaced file goes, it is not kept in the recycle bin.
    z.HowToDelete = htdFinal;
    const std::string cmd = args[0];
    size_t at = 1;

    if (cmd == "l" && args.size() == 2) {
        if (!ui::FileExists(args[1])) {
            z.ShowZipMessage(ZIPMSG_NO_ZIPFILE, " (" + args[1] + ")");
            return Fail(z);
        }
        z.SetZipFileName(args[1]);
        if (z.ZipFileName().empty()) return Fail(z);
        uint64_t size = 0, packed = 0;
        std::printf("%12s %12s  %-16s  %s\n", "Size", "Packed", "Date", "Name");
        for (int i = 0; i < z.GetCount(); ++i) {
            const ZipDirEntry& e = z.DirEntry(i);
            std::printf("%12lu %12lu  %s  %s\n", (unsigned long)e.UncomprSize, (unsigned long)e.ComprSize,
                        DosDateTime(e.ModifDate, e.ModifTime).c_str(), e.FileName.c_str());
            size += e.UncomprSize;
            packed += e.ComprSize;
        }
        std::printf("%12llu %12llu  %d members\n", (unsigned long long)size, (unsigned long long)packed, z.GetCount());
        return 0;
    }
    if (cmd == "a" || cmd == "d") {
        // The builder's options: directory names kept, hidden files included, folders stored.
        z.AddOptions = {AddDirNames, AddHiddenFiles, AddSeparateDirs};
        for (; at < args.size() && args[at].size() == 2 && args[at][0] == '-'; ++at) {
            char o = args[at][1];
            if (cmd == "a" && o >= '0' && o <= '9') z.AddCompLevel = o - '0';
            else if (cmd == "a" && o == 'r') z.AddOptions.Include(AddRecurseDirs);
            else return Usage("unknown option " + args[at]);
        }
        if (args.size() < at + 2) return Usage("an archive and at least one file name or pattern are needed");
        z.SetZipFileName(args[at]);
        if (z.ZipFileName().empty()) return Fail(z);  // an existing file that is no archive
        z.FSpecArgs.assign(args.begin() + long(at) + 1, args.end());
        if (cmd == "a") z.Add();
        else z.Delete();
        if (z.FilesProcessed <= 0) return Fail(z);
        std::printf("%d %s\n", z.FilesProcessed, cmd == "a" ? "files added" : "members deleted");
        return 0;
    }
    if (cmd == "x" && (args.size() == 2 || args.size() == 3)) {
        if (args.size() == 3) {
            // A folder that does not exist yet is made, as a person would expect.
            std::string dir = args[2];
            for (size_t i = 0; i <= dir.size(); ++i)
                if (i == dir.size() || ((dir[i] == '\\' || dir[i] == '/') && i > 2)) CreateDirectoryA(dir.substr(0, i).c_str(), nullptr);
            if (!ui::DirectoryExists(dir)) return Usage("the folder " + dir + " cannot be made");
            z.ExtrBaseDir = dir;
        }
        z.ExtrOptions = {ExtrDirNames, ExtrOverWrite};
        z.SetZipFileName(Full(args[1]));
        if (z.ZipFileName().empty()) return Fail(z);
        z.Extract();
        if (z.FilesProcessed <= 0) return Fail(z);
        std::printf("%d files extracted\n", z.FilesProcessed);
        return 0;
    }
    if (cmd == "span") {
        long size = 0;
        if (at + 1 < args.size() && args[at] == "-s") {
            size = ParseSize(args[at + 1]);
            if (size <= 0) return Usage("not a size: " + args[at + 1]);
            at += 2;
        }
        if (args.size() != at + 2) return Usage("span needs an archive and a target");
        z.SetMaxVolumeSize(size);
        // Parts smaller than the usual least free space are what was asked for.
        if (size > 0 && size < z.MinFreeVolumeSize()) z.SetMinFreeVolumeSize(size);
        int r = z.WriteSpan(args[at], args[at + 1]);
        return r == 0 ? 0 : Fail(z);
    }
    if (cmd == "join" && args.size() == 3) {
        std::string out = args[2];
        int r = z.ReadSpan(LastPart(args[1]), out);
        if (r != 0) return Fail(z);
        std::printf("joined into %s\n", out.c_str());
        return 0;
    }
    if ((cmd == "sfx" || cmd == "unsfx") && args.size() == 2) {
        if (!ui::FileExists(args[1])) {
            z.ShowZipMessage(cmd == "sfx" ? ZIPMSG_NO_ZIPFILE : ZIPMSG_NO_EXE, " (" + args[1] + ")");
            return Fail(z);
        }
        z.SetZipFileName(args[1]);
        if (z.ZipFileName().empty()) return Fail(z);
        int r = cmd == "sfx" ? z.ConvertSFX() : z.ConvertZIP();
        if (r != 0) return Fail(z);
        std::printf("%s\n", z.ZipFileName().c_str());
        return 0;
    }
    return Usage("unknown command or wrong number of arguments: " + cmd);
}
