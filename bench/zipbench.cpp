// The archive component's benchmark program, run under Wine by bench/run:
//   zipbench add LEVEL FOLDER ARCHIVE   packs FOLDER as the builder does (names, recursion,
//                                       hidden files, directory entries) through TZipPacker
//   zipbench list ARCHIVE               reads the archive's directory with List
//   zipbench span SIZE ARCHIVE TARGET   splits ARCHIVE into parts of SIZE bytes (WriteSpan)
//   zipbench join PART OUT              joins the set of PART into OUT (ReadSpan)
//   zipbench copy IN OUT                copies with ReadFile/WriteFile of 1 MB: what any copy
//                                       costs under Wine, for comparison
// Each prints the milliseconds of the call and its result count.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ZipPacker.h"

namespace {

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

std::string ExeDir() {
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    std::string s(buf, n);
    return s.substr(0, s.find_last_of('\\'));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zipbench add LEVEL FOLDER ARCHIVE | list ARCHIVE | span SIZE ARCHIVE TARGET | join PART OUT\n");
        return 2;
    }
    std::string cmd = argv[1];
    TZipPacker z;
    z.Unattended = true;
    const char* engines = std::getenv("ZIPBENCH_ENGINES");
    z.SetDLLDirectory(engines ? engines : ExeDir());
    std::string lastMessage;
    z.OnMessage = [&](TObject*, int code, const std::string& text) {
        if (code) lastMessage = text;
    };
    if (cmd == "add" && argc == 5) {
        z.AddCompLevel = std::atoi(argv[2]);
        z.AddOptions = {AddDirNames, AddRecurseDirs, AddHiddenFiles, AddSeparateDirs};
        if (!SetCurrentDirectoryA(argv[3])) {
            std::fprintf(stderr, "cannot enter %s\n", argv[3]);
            return 1;
        }
        DeleteFileA(argv[4]);
        z.SetZipFileName(argv[4]);
        z.FSpecArgs = {"*.*"};
        double t0 = Now();
        z.Add();
        double t1 = Now();
        std::printf("add_ms %.1f files %d\n", t1 - t0, z.FilesProcessed);
        if (!lastMessage.empty()) std::printf("engine: %s\n", lastMessage.c_str());
        return z.FilesProcessed > 0 ? 0 : 1;
    }
    if (cmd == "list") {
        double t0 = Now();
        z.SetZipFileName(argv[2]);
        double t1 = Now();
        std::printf("list_ms %.1f entries %d\n", t1 - t0, z.GetCount());
        return z.GetCount() > 0 ? 0 : 1;
    }
    if (cmd == "span" && argc == 5) {
        z.SetMaxVolumeSize(std::atol(argv[2]));
        double t0 = Now();
        int r = z.WriteSpan(argv[3], argv[4]);
        double t1 = Now();
        std::printf("span_ms %.1f result %d %s\n", t1 - t0, r, z.ErrorText.c_str());
        return r == 0 ? 0 : 1;
    }
    if (cmd == "copy" && argc == 4) {
        static char buf[1 << 20];
        double t0 = Now();
        HANDLE in = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        HANDLE out = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD got = 0, put = 0;
        while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got) WriteFile(out, buf, got, &put, nullptr);
        CloseHandle(in);
        CloseHandle(out);
        std::printf("copy_ms %.1f\n", Now() - t0);
        return 0;
    }
    if (cmd == "join" && argc == 4) {
        std::string out = argv[3];
        double t0 = Now();
        int r = z.ReadSpan(argv[2], out);
        double t1 = Now();
        std::printf("join_ms %.1f result %d %s\n", t1 - t0, r, z.ErrorText.c_str());
        return r == 0 ? 0 : 1;
    }
    return 2;
}
