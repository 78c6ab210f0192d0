// ZIPENG.DLL and UNZENG.DLL driven through their real entry points under Wine: parameter blocks
// built byte by byte at the agreed offsets (the 216/148-byte layouts and the old
// 16,520/16,464-byte ones), callbacks recorded from the raw record offsets.
// Archives written here are left in engine_out/ for engine_dll_peers (unzip, 7z, Python).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine.h"
#include "ZipCrypto.h"
#include "zipformat.h"

namespace {

typedef int32_t(__stdcall* VersionFn)();
typedef int32_t(__stdcall* ExecFn)(void*);

struct Engines {
  HMODULE zip = nullptr, unz = nullptr;
  VersionFn zip_version = nullptr, unz_version = nullptr;
  ExecFn zip_exec = nullptr, unz_exec = nullptr;
  Engines() {
    zip = LoadLibraryA("ZIPENG.DLL");
    unz = LoadLibraryA("UNZENG.DLL");
    if (zip) {
      zip_version = reinterpret_cast<VersionFn>(GetProcAddress(zip, "GetZipEngVersion"));
      zip_exec = reinterpret_cast<ExecFn>(GetProcAddress(zip, "ZipEngExec"));
    }
    if (unz) {
      unz_version = reinterpret_cast<VersionFn>(GetProcAddress(unz, "GetUnzEngVersion"));
      unz_exec = reinterpret_cast<ExecFn>(GetProcAddress(unz, "UnzEngExec"));
    }
  }
};

Engines& E() {
  static Engines e;
  return e;
}

void put32(std::vector<uint8_t>& b, size_t off, uint32_t v) { std::memcpy(&b[off], &v, 4); }
void put16(std::vector<uint8_t>& b, size_t off, uint16_t v) { std::memcpy(&b[off], &v, 2); }
uint32_t ptr(const void* p) { return uint32_t(uintptr_t(p)); }
uint32_t get32(const uint8_t* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }

struct Event {
  int action;
  int code;
  int size;
  std::string text;
};

// What the callback saw; the component's address is checked in each record.
struct Recording {
  std::vector<Event> events;
  int cancel_at = -1;   // return 1 from this event on
  bool caller_ok = true;
};
Recording* g_rec = nullptr;
const uint32_t kCaller = 0x13572468;

int32_t __stdcall ZCallback(void* record) {
  auto* r = static_cast<const uint8_t*>(record);
  if (get32(r + 4) != kCaller) g_rec->caller_ok = false;
  Event e{int(get32(r + 16)), int(get32(r + 20)), int(get32(r + 24)), reinterpret_cast<const char*>(r + 28)};
  g_rec->events.push_back(e);
  return g_rec->cancel_at >= 0 && int(g_rec->events.size()) >= g_rec->cancel_at ? 1 : 0;
}

// Owns the strings a block points to.
struct Strings {
  std::vector<std::string> keep;
  const char* add(const std::string& s) {
    keep.reserve(64);
    keep.push_back(s);
    return keep.back().c_str();
  }
};

struct AddSwitches {
  bool dirNames = true, recurse = true, hidden = true, separate_dirs = true, encrypt = false, move = false;
  bool freshen = false, update = false, zip_time = false, forceDos = false;
  int level = 9;
  std::string password;
};

// The 216-byte ZipExecParams exactly as the component lays it out (engines above 1.50).
std::vector<uint8_t> ZipBlock(Strings& s, std::vector<uint8_t>& patterns, const std::string& zip,
                              const std::vector<std::string>& args, const AddSwitches& a, bool del = false) {
  std::vector<uint8_t> b(216, 0);
  put32(b, 4, kCaller);
  put32(b, 8, 158);
  put32(b, 12, ptr(reinterpret_cast<void*>(&ZCallback)));
  put32(b, 20, ptr(s.add(a.password)));
  put32(b, 28, del ? 0 : a.encrypt);
  put32(b, 32, a.hidden);
  put32(b, 44, a.separate_dirs ? 0 : 1);
  put32(b, 56, 1);
  put32(b, 60, a.level);
  put32(b, 72, del ? 0 : a.dirNames ? 0 : 1);
  put16(b, 76, del ? 0 : a.recurse);
  put32(b, 80, del ? 0 : 1);
  put32(b, 84, a.forceDos);
  put32(b, 88, del ? 0 : a.move);
  put32(b, 92, del);
  put32(b, 96, del ? 0 : a.update);
  put32(b, 100, del ? 0 : a.freshen && !a.update);
  put32(b, 108, a.zip_time);
  put32(b, 120, uint32_t(args.size()));
  put32(b, 124, ptr(s.add(zip)));
  patterns.assign(104 * args.size() + 4, 0);
  for (size_t i = 0; i < args.size(); ++i) put32(patterns, 104 * i, ptr(s.add(args[i])));
  put32(b, 140, ptr(patterns.data()));
  put32(b, 212, 7);
  return b;
}

struct ExtrSwitches {
  bool dirNames = true, overwrite = true, freshen = false, update = false, test = false;
  int code_page = 0;
  std::string password;
};

// The 148-byte UnzExecParams (engines above 1.51).
std::vector<uint8_t> UnzBlock(Strings& s, std::vector<uint8_t>& patterns, const std::string& zip,
                              const std::vector<std::string>& args, const ExtrSwitches& x) {
  std::vector<uint8_t> b(148, 0);
  put32(b, 4, kCaller);
  put32(b, 8, 152);
  put32(b, 12, ptr(reinterpret_cast<void*>(&ZCallback)));
  put16(b, 20, uint16_t(x.code_page));
  put32(b, 24, ptr(s.add(x.password)));
  put32(b, 28, x.test);
  put32(b, 40, 1);
  put32(b, 48, x.update);
  put32(b, 52, x.freshen && !x.update);
  put32(b, 56, x.dirNames);
  put32(b, 60, x.overwrite);
  put32(b, 64, uint32_t(args.size()));
  put32(b, 68, ptr(s.add(zip)));
  patterns.assign(72 * args.size() + 4, 0);
  for (size_t i = 0; i < args.size(); ++i) put32(patterns, 72 * i, ptr(s.add(args[i])));
  put32(b, 72, ptr(patterns.data()));
  put32(b, 144, 7);
  return b;
}

int RunZip(std::vector<uint8_t>& block, Recording& r) {
  g_rec = &r;
  return E().zip_exec(block.data());
}
int RunUnz(std::vector<uint8_t>& block, Recording& r) {
  g_rec = &r;
  return E().unz_exec(block.data());
}

// The order the builder relies on: count (5) and bytes (6) first, each start (1) followed by bytes done (2)
// adding up to its size, exactly one batch done (3) last; messages (4) and ticks (0) anywhere.
void ExpectOrder(const Recording& r, int files, int64_t bytes) {
  std::vector<Event> ev;
  for (auto& e : r.events)
    if (e.action != 0 && e.action != 4) ev.push_back(e);
  ASSERT_GE(ev.size(), 3u);
  EXPECT_EQ(ev[0].action, 5);
  EXPECT_EQ(ev[0].size, files);
  EXPECT_EQ(ev[1].action, 6);
  EXPECT_EQ(ev[1].size, bytes);
  EXPECT_EQ(ev.back().action, 3);
  int starts = 0;
  int64_t sum = 0, current = 0, expected = -1;
  for (size_t i = 2; i + 1 < ev.size(); ++i) {
    if (ev[i].action == 1) {
      if (expected >= 0) {
        EXPECT_EQ(current, expected) << ev[i].text;
      }
      ++starts;
      current = 0;
      expected = ev[i].size;
    } else {
      ASSERT_EQ(ev[i].action, 2);
      current += ev[i].size;
      sum += ev[i].size;
    }
  }
  if (expected >= 0) {
    EXPECT_EQ(current, expected);
  }
  EXPECT_EQ(starts, files);
  EXPECT_EQ(sum, bytes);
  EXPECT_TRUE(r.caller_ok);
}

bool HasCode(const Recording& r, int code) {
  for (auto& e : r.events)
    if (e.action == 4 && e.code == code) return true;
  return false;
}

std::wstring W(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring w(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
  w.resize(size_t(n - 1));
  return w;
}

void WriteFileW(const std::wstring& path, const std::string& data) {
  size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos) {
    std::wstring dir = path.substr(0, slash);
    for (size_t i = 3; i <= dir.size(); ++i)
      if (i == dir.size() || dir[i] == L'\\') CreateDirectoryW(dir.substr(0, i).c_str(), nullptr);
  }
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD w = 0;
  WriteFile(h, data.data(), DWORD(data.size()), &w, nullptr);
  CloseHandle(h);
}

std::string ReadFileW(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string s;
  char buf[65536];
  DWORD n;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) s.append(buf, n);
  CloseHandle(h);
  return s;
}

std::string Text(size_t n, unsigned seed) {
  std::string s;
  unsigned x = seed;
  static const char* w[] = {"scenery ", "texture\n", "[fltsim]\n", "panel=", "1\r\n", "gauge "};
  while (s.size() < n) { x = x * 1103515245 + 12345; s += w[(x >> 16) % 6]; }
  s.resize(n);
  return s;
}

// A folder under the test program's directory, emptied first; engine_out/ is kept for the
// host-side peer check.
class Folder {
 public:
  explicit Folder(const std::string& name) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir(exe);
    dir = dir.substr(0, dir.find_last_of('\\'));
    base_ = dir + "\\engine_work\\" + name;
    std::string cmd = "cmd /c rmdir /s /q \"" + base_ + "\" >nul 2>&1";
    system(cmd.c_str());
    CreateDirectoryA((dir + "\\engine_work").c_str(), nullptr);
    CreateDirectoryA(base_.c_str(), nullptr);
    out_ = dir + "\\engine_out";
    CreateDirectoryA(out_.c_str(), nullptr);
  }
  std::string path(const std::string& rel = "") const { return rel.empty() ? base_ : base_ + "\\" + rel; }
  std::string out(const std::string& name) const { return out_ + "\\" + name; }

 private:
  std::string base_, out_;
};

class CurrentDir {
 public:
  explicit CurrentDir(const std::string& d) {
    GetCurrentDirectoryA(MAX_PATH, old_);
    SetCurrentDirectoryA(d.c_str());
  }
  ~CurrentDir() { SetCurrentDirectoryA(old_); }

 private:
  char old_[MAX_PATH];
};

struct Tree {
  std::vector<std::pair<std::string, std::string>> files;   // utf-8 relative path, data
  int dirs = 0;
  int64_t bytes = 0;
};

// Empty files, an empty folder, a large (streamed) file, non-ASCII names, a deep path.
Tree MakeTree(const std::string& root, size_t large = 18u << 20) {
  Tree t;
  auto file = [&](const std::string& rel, const std::string& data) {
    WriteFileW(W(root + "\\" + rel), data);
    t.files.push_back({rel, data});
    t.bytes += int64_t(data.size());
  };
  file("aircraft.cfg", Text(4000, 1));
  file("empty1.txt", "");
  file("texture\\empty2.bmp", "");
  file("texture\\big.bmp", Text(large, 2));
  file("panel\\Grüße.txt", Text(200, 3));
  file("panel\\Привет.cfg", Text(200, 4));
  file("a\\b\\c\\d\\deep.txt", Text(900, 5));
  CreateDirectoryA((root + "\\emptyfolder").c_str(), nullptr);
  t.dirs = 7;   // texture, panel, a, a\b, a\b\c, a\b\c\d, emptyfolder
  return t;
}

}  // namespace

TEST(EngineDll, ExportsAndVersions) {
  ASSERT_TRUE(E().zip && E().unz) << "ZIPENG.DLL / UNZENG.DLL not beside the test program";
  ASSERT_TRUE(E().zip_version && E().zip_exec && E().unz_version && E().unz_exec);
  EXPECT_GT(E().zip_version(), 150);
  EXPECT_GT(E().unz_version(), 151);
  // Undecorated names only: the decorated ones are not exported.
  EXPECT_EQ(GetProcAddress(E().zip, "_ZipEngExec@4"), nullptr);
  EXPECT_EQ(GetProcAddress(E().zip, "ZipEngExec@4"), nullptr);
}

TEST(EngineDll, AddListExtractRoundTripWithCallbacks) {
  Folder f("roundtrip");
  Tree t = MakeTree(f.path("src"));
  std::string zip = f.out("roundtrip.skb");
  DeleteFileA(zip.c_str());
  Strings s;
  std::vector<uint8_t> patterns;
  Recording r;
  int n;
  {
    CurrentDir cd(f.path("src"));
    auto block = ZipBlock(s, patterns, zip, {"*.*"}, AddSwitches());
    n = RunZip(block, r);
  }
  int members = int(t.files.size()) + t.dirs;
  EXPECT_EQ(n, members);
  ExpectOrder(r, members, t.bytes);
  for (auto& e : r.events) EXPECT_NE(e.action, 4) << e.text;

  // Names: code page 437 for the umlaut (host FAT) with a Unicode path; UTF-8 for Cyrillic.
  auto file = zip::HostFs().OpenRead(zip);
  zc::Directory d = zc::ReadDirectory(*file);
  file.reset();
  bool umlaut = false, cyr = false;
  for (auto& e : d.entries) {
    if (e.name == "panel/Grüße.txt") { umlaut = true; EXPECT_EQ(e.rawName, "panel/Gr\x81\xE1" "e.txt"); }
    if (e.name == "panel/Привет.cfg") cyr = true;
  }
  EXPECT_TRUE(umlaut && cyr);

  // Extract through UNZENG into another folder: same bytes.
  CreateDirectoryA(f.path("out").c_str(), nullptr);
  Recording rx;
  {
    CurrentDir cd(f.path("out"));
    std::vector<uint8_t> upatterns;
    auto ub = UnzBlock(s, upatterns, zip, {}, ExtrSwitches());
    EXPECT_EQ(RunUnz(ub, rx), members);
  }
  ExpectOrder(rx, members, t.bytes);
  for (auto& [rel, data] : t.files) EXPECT_EQ(ReadFileW(W(f.path("out\\" + rel))), data) << rel;

  // Test only.
  Recording rt;
  ExtrSwitches test;
  test.test = true;
  std::vector<uint8_t> tpatterns;
  auto tb = UnzBlock(s, tpatterns, zip, {}, test);
  EXPECT_EQ(RunUnz(tb, rt), members);
}

TEST(EngineDll, OldLayoutsWorkToo) {
  Folder f("old");
  WriteFileW(W(f.path("src\\one.txt")), Text(3000, 9));
  WriteFileW(W(f.path("src\\two.txt")), Text(3000, 10));
  std::string zip = f.out("oldlayout.zip");
  DeleteFileA(zip.c_str());
  Strings s;
  std::vector<uint8_t> block(16520, 0);
  put32(block, 4, kCaller);
  put32(block, 8, 150);
  put32(block, 12, ptr(reinterpret_cast<void*>(&ZCallback)));
  put32(block, 20, ptr(s.add("")));
  put32(block, 44, 1);
  put32(block, 56, 1);
  put32(block, 60, 6);
  put32(block, 72, 1);
  put32(block, 80, 1);
  put32(block, 120, 2);
  put32(block, 124, ptr(s.add(zip)));
  put32(block, 128, 7);
  put32(block, 132, ptr(s.add("one.txt")));
  put32(block, 136, ptr(s.add("two.txt")));
  Recording r;
  {
    CurrentDir cd(f.path("src"));
    EXPECT_EQ(RunZip(block, r), 2);
  }
  std::vector<uint8_t> ub(16464, 0);
  put32(ub, 4, kCaller);
  put32(ub, 12, ptr(reinterpret_cast<void*>(&ZCallback)));
  put32(ub, 24, ptr(s.add("")));
  put32(ub, 28, 1);   // test only
  put32(ub, 64, 1);
  put32(ub, 68, ptr(s.add(zip)));
  put32(ub, 72, 7);
  put32(ub, 76, ptr(s.add("two.txt")));
  Recording rt;
  EXPECT_EQ(RunUnz(ub, rt), 1);
}

TEST(EngineDll, EncryptedAddAndExtract) {
  Folder f("crypt");
  Tree t = MakeTree(f.path("src"), 17u << 20);
  std::string zip = f.out("encrypted.zip");   // password "Skykit-pw" for the peer check
  DeleteFileA(zip.c_str());
  Strings s;
  std::vector<uint8_t> patterns;
  AddSwitches a;
  a.encrypt = true;
  a.password = "Skykit-pw";
  Recording r;
  {
    CurrentDir cd(f.path("src"));
    auto block = ZipBlock(s, patterns, zip, {"*.*"}, a);
    EXPECT_GT(RunZip(block, r), 0);
  }
  ExtrSwitches x;
  x.password = "wrong";
  Recording rw;
  CreateDirectoryA(f.path("bad").c_str(), nullptr);
  {
    CurrentDir cd(f.path("bad"));
    std::vector<uint8_t> us;
    auto ub = UnzBlock(s, us, zip, {"aircraft.cfg"}, x);
    EXPECT_EQ(RunUnz(ub, rw), 0);
  }
  EXPECT_TRUE(HasCode(rw, 82));
  x.password = "Skykit-pw";
  Recording rx;
  CreateDirectoryA(f.path("out").c_str(), nullptr);
  {
    CurrentDir cd(f.path("out"));
    std::vector<uint8_t> us;
    auto ub = UnzBlock(s, us, zip, {}, x);
    EXPECT_GT(RunUnz(ub, rx), 0);
  }
  for (auto& [rel, data] : t.files) EXPECT_EQ(ReadFileW(W(f.path("out\\" + rel))), data) << rel;
}

TEST(EngineDll, CancelKeepsTheOldArchive) {
  Folder f("cancel");
  MakeTree(f.path("src"));
  std::string zip = f.path("c.zip");
  Strings s;
  std::vector<uint8_t> patterns;
  {
    CurrentDir cd(f.path("src"));
    Recording r0;
    auto b0 = ZipBlock(s, patterns, zip, {"aircraft.cfg"}, AddSwitches());
    ASSERT_EQ(RunZip(b0, r0), 1);
  }
  std::string before = ReadFileW(W(zip));
  for (int at : {1, 4, 9}) {
    Recording r;
    r.cancel_at = at;
    CurrentDir cd(f.path("src"));
    auto b = ZipBlock(s, patterns, zip, {"*.*"}, AddSwitches());
    EXPECT_EQ(RunZip(b, r), 0);
    EXPECT_TRUE(HasCode(r, 9));
    EXPECT_EQ(ReadFileW(W(zip)), before);
    for (auto& e : r.events) EXPECT_NE(e.action, 3);
  }
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(f.path("zi*.tmp").c_str(), &fd);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "temporary file left behind";
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

TEST(EngineDll, DeleteThroughTheZipBlock) {
  Folder f("delete");
  MakeTree(f.path("src"), 50000);
  std::string zip = f.out("deleted.zip");
  DeleteFileA(zip.c_str());
  Strings s;
  std::vector<uint8_t> patterns;
  {
    CurrentDir cd(f.path("src"));
    Recording r;
    auto b = ZipBlock(s, patterns, zip, {"*.*"}, AddSwitches());
    ASSERT_GT(RunZip(b, r), 0);
  }
  Recording r;
  auto d = ZipBlock(s, patterns, zip, {"panel\\*", "aircraft.cfg"}, AddSwitches(), true);
  EXPECT_EQ(RunZip(d, r), 4);   // panel\, its two files, aircraft.cfg
  auto file = zip::HostFs().OpenRead(zip);
  zc::Directory dir = zc::ReadDirectory(*file);
  for (auto& e : dir.entries) {
    EXPECT_EQ(e.name.find("panel"), std::string::npos);
    EXPECT_NE(e.name, "aircraft.cfg");
  }
}

TEST(EngineDll, ArchiveInTheFolderAndRefusedNames) {
  Folder f("self");
  WriteFileW(W(f.path("pkg\\a.txt")), "a");
  Strings s;
  std::vector<uint8_t> patterns;
  std::string zip = f.path("pkg\\Setup.skb");
  for (int round = 0; round < 2; ++round) {
    CurrentDir cd(f.path("pkg"));
    Recording r;
    auto b = ZipBlock(s, patterns, "Setup.skb", {"*.*"}, AddSwitches());
    EXPECT_EQ(RunZip(b, r), 1);   // a.txt only, never Setup.skb itself
  }

  // An archive with names that leave the target: refused with code 35, the rest extracted.
  std::string evil = f.out("evil.zip");
  {
    std::vector<uint8_t> out;
    std::vector<zc::Entry> central;
    for (std::string name : {"..\\up.txt", "C:\\drive.txt", "/abs.txt", "ok.txt"}) {
      zc::Entry e;
      e.rawName = name;
      e.madeBy = 20;
      e.needed = 10;
      e.crc = zip::Crc32Update(0, "data", 4);
      e.csize = e.usize = 4;
      e.dostime = 0x21 << 16;
      e.localOffset = uint32_t(out.size());
      auto h = zc::LocalHeaderBytes(e, "");
      out.insert(out.end(), h.begin(), h.end());
      out.insert(out.end(), {'d', 'a', 't', 'a'});
      central.push_back(e);
    }
    uint32_t cd = uint32_t(out.size());
    for (auto& e : central) {
      auto h = zc::CentralHeaderBytes(e);
      out.insert(out.end(), h.begin(), h.end());
    }
    auto end = zc::EndRecordBytes(central.size(), uint32_t(out.size() - cd), cd, "");
    out.insert(out.end(), end.begin(), end.end());
    WriteFileW(W(evil), std::string(out.begin(), out.end()));
  }
  CreateDirectoryA(f.path("t").c_str(), nullptr);
  CreateDirectoryA(f.path("t\\in").c_str(), nullptr);
  Recording rx;
  {
    CurrentDir cd(f.path("t\\in"));
    std::vector<uint8_t> us;
    auto ub = UnzBlock(s, us, evil, {}, ExtrSwitches());
    EXPECT_EQ(RunUnz(ub, rx), 1);
  }
  int refused = 0;
  for (auto& e : rx.events) refused += e.action == 4 && e.code == 35;
  EXPECT_EQ(refused, 3);
  EXPECT_EQ(ReadFileW(W(f.path("t\\in\\ok.txt"))), "data");
  EXPECT_EQ(GetFileAttributesA(f.path("t\\up.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA("C:\\drive.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST(EngineDll, BadBlocksAndMissingArchives) {
  Strings s;
  std::vector<uint8_t> patterns;
  Recording r;
  auto b = ZipBlock(s, patterns, "x.zip", {"*.*"}, AddSwitches());
  put32(b, 212, 0);   // no check value anywhere
  EXPECT_EQ(RunZip(b, r), 0);
  EXPECT_TRUE(HasCode(r, 16));
  Recording rx;
  std::vector<uint8_t> us;
  auto ub = UnzBlock(s, us, "Z:\\no\\such\\archive.zip", {}, ExtrSwitches());
  EXPECT_EQ(RunUnz(ub, rx), 0);
  EXPECT_TRUE(HasCode(rx, 13));
  // Null callback: works silently.
  Folder f("nocb");
  WriteFileW(W(f.path("a.txt")), "a");
  CurrentDir cd(f.path());
  auto nb = ZipBlock(s, patterns, "n.zip", {"a.txt"}, AddSwitches());
  put32(nb, 12, 0);
  EXPECT_EQ(E().zip_exec(nb.data()), 1);
}
