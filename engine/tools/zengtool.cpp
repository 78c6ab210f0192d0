// zengtool: the engine's operations from the command line, and a benchmark of Add.
//
//   zengtool a [-0..-9] [-r] [-D] [-j] [-h] [-e PASSWORD] [-t THREADS] ARCHIVE FILESPEC...
//   zengtool x|t [-o] [-d] [-P PASSWORD] ARCHIVE [MEMBER...]
//   zengtool d ARCHIVE MEMBER...
//   zengtool bench [-L LEVEL] [-t THREADS] FOLDER ARCHIVE
//   zengtool dllbench [-L LEVEL] FOLDER ARCHIVE        (Windows: through ZIPENG.DLL)
//
// bench packs FOLDER the way the builder does (recursion, folder names, folder entries, hidden
// files, level 9 unless -L) and prints the wall time and the archive size.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine.h"
#include "Errors.h"

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#define chdir _chdir
#include "EngineBlocks.h"
#else
#include <unistd.h>
#endif

namespace {

class PrintProgress : public zc::Progress {
 public:
  explicit PrintProgress(bool quiet) : quiet_(quiet) {}
  bool FileCount(uint64_t) override { return false; }
  bool ByteCount(uint64_t) override { return false; }
  bool FileStart(const std::string& name, uint64_t) override {
    if (!quiet_) std::printf("  %s\n", name.c_str());
    return false;
  }
  bool BytesDone(uint64_t) override { return false; }
  bool BatchDone() override { return false; }
  bool message(int code, const std::string& text) override {
    std::fprintf(stderr, "%s%s\n", code ? ("error " + std::to_string(code) + ": ").c_str() : "", text.c_str());
    if (code) errors++;
    return false;
  }
  bool tick() override { return false; }
  int errors = 0;

 private:
  bool quiet_;
};

#ifdef _WIN32
// Packs a folder through ZIPENG.DLL itself (LoadLibrary, a 216-byte block, a callback that
// counts), as the component does; prints wall time, size and the callbacks seen.
int32_t g_callbacks = 0;
int32_t __stdcall CountCallback(zc::ZCallBackStruct* r) {
  ++g_callbacks;
  if (r->action == zc::kActionMessage) std::fprintf(stderr, "engine message %d: %s\n", r->errorCode, r->text);
  return 0;
}

int dll_bench(int level, const std::string& folder, const std::string& archive) {
  HMODULE dll = LoadLibraryA("ZIPENG.DLL");
  if (!dll) { std::fprintf(stderr, "ZIPENG.DLL not found\n"); return 1; }
  auto exec = reinterpret_cast<int32_t(__stdcall*)(void*)>(GetProcAddress(dll, "ZipEngExec"));
  char full[MAX_PATH];
  GetFullPathNameA(archive.c_str(), MAX_PATH, full, nullptr);
  DeleteFileA(full);
  if (!SetCurrentDirectoryA(folder.c_str())) { std::fprintf(stderr, "no folder %s\n", folder.c_str()); return 1; }
  zc::ZipExecParams p = {};
  zc::ZipPatternRecord record = {};
  static char arg[] = "*.*", password[] = "";
  record.pattern = arg;
  p.head.version = zc::kZipBlockVersion;
  p.head.callback = &CountCallback;
  p.head.password = password;
  p.head.systemFiles = 1;
  p.head.quiet = 1;
  p.head.level = level;
  p.head.recurse = 1;
  p.head.grow = 1;
  p.head.argc = 1;
  p.head.zipName = full;
  p.patterns = &record;
  p.check = zc::kCheckValue;
  auto t0 = std::chrono::steady_clock::now();
  int n = exec(&p);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  WIN32_FILE_ATTRIBUTE_DATA d = {};
  GetFileAttributesExA(full, GetFileExInfoStandard, &d);
  std::printf("ZIPENG.DLL level %d: %d members, %.3f s, %lu bytes (%.2f MB), %d callbacks\n", level, n, secs,
              (unsigned long)d.nFileSizeLow, d.nFileSizeLow / 1e6, int(g_callbacks));
  return n > 0 ? 0 : 1;
}
#endif

int usage() {
  std::fprintf(stderr,
               "usage: zengtool a [-0..-9] [-r] [-D] [-j] [-h] [-e PASSWORD] [-t THREADS] ARCHIVE FILESPEC...\n"
               "       zengtool x|t [-o] [-d] [-P PASSWORD] ARCHIVE [MEMBER...]\n"
               "       zengtool d ARCHIVE MEMBER...\n"
               "       zengtool bench [-L LEVEL] [-t THREADS] FOLDER ARCHIVE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string cmd = argv[1];
  std::vector<std::string> args;
  zc::AddOptions add;
  zc::ExtractOptions ext;
  add.level = 9;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a.size() == 2 && a[0] == '-' && a[1] >= '0' && a[1] <= '9') add.level = a[1] - '0';
    else if (a == "-r") add.recurse = true;
    else if (a == "-D") add.dirEntries = true;
    else if (a == "-j") add.junkDirs = true;
    else if (a == "-h") add.systemFiles = true;
    else if (a == "-e" && i + 1 < argc) { add.encrypt = true; add.password = argv[++i]; }
    else if (a == "-P" && i + 1 < argc) ext.password = argv[++i];
    else if (a == "-t" && i + 1 < argc) add.threads = std::atoi(argv[++i]);
    else if (a == "-L" && i + 1 < argc) add.level = std::atoi(argv[++i]);
    else if (a == "-o") ext.overwrite = true;
    else if (a == "-d") ext.dirNames = true;
    else args.push_back(a);
  }
  if (args.empty()) return usage();
  PrintProgress progress(cmd == "bench");
  zip::FileSystem& fs = zip::HostFs();
  int n = 0;
  if (cmd == "a") {
    add.archive = args[0];
    add.patterns.assign(args.begin() + 1, args.end());
    n = zc::ZipAdd(fs, add, progress);
  } else if (cmd == "x" || cmd == "t") {
    ext.archive = args[0];
    ext.patterns.assign(args.begin() + 1, args.end());
    ext.testOnly = cmd == "t";
    n = zc::UnzipExtract(fs, ext, progress);
  } else if (cmd == "d") {
    zc::DeleteOptions del;
    del.archive = args[0];
    del.patterns.assign(args.begin() + 1, args.end());
    n = zc::ZipDelete(fs, del, progress);
#ifdef _WIN32
  } else if (cmd == "dllbench" && args.size() == 2) {
    return dll_bench(add.level, args[0], args[1]);
#endif
  } else if (cmd == "bench" && args.size() == 2) {
    add.archive = fs.FullPath(args[1]);
    fs.RemoveFile(add.archive);
    if (chdir(args[0].c_str()) != 0) { std::perror(args[0].c_str()); return 1; }
    add.patterns = {"*.*"};
    add.recurse = add.dirEntries = add.systemFiles = true;
    auto t0 = std::chrono::steady_clock::now();
    n = zc::ZipAdd(fs, add, progress);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    uint64_t size = fs.stat(add.archive).size;
    std::printf("level %d: %d members, %.3f s, %llu bytes (%.2f MB)\n", add.level, n, secs,
                (unsigned long long)size, size / 1e6);
  } else {
    return usage();
  }
  if (cmd != "bench") std::printf("%d\n", n);
  return progress.errors ? 1 : 0;
}
