// The archive component's benchmark program, run under Wine by bench/run:
//   zipbench add LEVEL FOLDER ARCHIVE   packs FOLDER as the builder does (names, recursion,
//                                       hidden files, directory entries) through TZipPacker
//   zipbench list ARCHIVE               reads the archive's directory with List
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
        std::fprintf(stderr, "usage: zipbench add LEVEL FOLDER ARCHIVE | list ARCHIVE\n");
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
    return 2;
}
