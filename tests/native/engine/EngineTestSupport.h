// Helpers of the engine's native tests: a scratch folder, files, a recording Progress and the
// peer tools (Info-ZIP zip/unzip, 7-Zip, Python's zipfile).
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine.h"
#include "Errors.h"

namespace fs = std::filesystem;

namespace enginetest {

// One event as the component would see it.
struct Event {
  char kind;            // 'C' count, 'B' bytes total, 'S' start, 'D' done, 'E' end, 'M' message, 'T' tick
  uint64_t n = 0;
  int code = 0;
  std::string text;
};

class Recorder : public zc::Progress {
 public:
  bool FileCount(uint64_t n) override { return add({'C', n}); }
  bool ByteCount(uint64_t n) override { return add({'B', n}); }
  bool FileStart(const std::string& name, uint64_t size) override { return add({'S', size, 0, name}); }
  bool BytesDone(uint64_t n) override { return add({'D', n}); }
  bool BatchDone() override { return add({'E'}); }
  bool message(int code, const std::string& text) override { return add({'M', 0, code, text}); }
  bool tick() override { ticks++; return cancel_after >= 0 && int(events.size()) >= cancel_after; }

  std::vector<Event> events;
  int ticks = 0;
  int cancel_after = -1;   // cancel once this many events have arrived

  std::vector<Event> messages() const {
    std::vector<Event> m;
    for (auto& e : events)
      if (e.kind == 'M') m.push_back(e);
    return m;
  }
  bool has_code(int code) const {
    for (auto& e : events)
      if (e.kind == 'M' && e.code == code) return true;
    return false;
  }
  std::string dump() const {
    std::string s;
    for (auto& e : events) s += std::string(1, e.kind) + " " + std::to_string(e.n) + " " + std::to_string(e.code) + " " + e.text + "\n";
    return s;
  }

 private:
  bool add(Event e) {
    events.push_back(std::move(e));
    return cancel_after >= 0 && int(events.size()) >= cancel_after;
  }
};

// The order the builder relies on: count and bytes first, each start followed by
// bytes done adding up to its size, exactly one batch done at the end. Messages may come between.
inline void ExpectCallbackOrder(const Recorder& r, uint64_t files, uint64_t bytes) {
  std::vector<Event> ev;
  for (auto& e : r.events)
    if (e.kind != 'M') ev.push_back(e);
  ASSERT_GE(ev.size(), 3u) << r.dump();
  EXPECT_EQ(ev[0].kind, 'C') << r.dump();
  EXPECT_EQ(ev[0].n, files);
  EXPECT_EQ(ev[1].kind, 'B') << r.dump();
  EXPECT_EQ(ev[1].n, bytes);
  EXPECT_EQ(ev.back().kind, 'E') << r.dump();
  uint64_t starts = 0, total = 0, current = 0, expected = 0;
  bool open = false;
  for (size_t i = 2; i + 1 < ev.size(); ++i) {
    const Event& e = ev[i];
    if (e.kind == 'S') {
      if (open) EXPECT_EQ(current, expected) << "bytes of the previous file before " << e.text;
      open = true;
      ++starts;
      current = 0;
      expected = e.n;
    } else if (e.kind == 'D') {
      ASSERT_TRUE(open) << "bytes done before any file start";
      current += e.n;
      total += e.n;
      EXPECT_LE(current, expected);
    } else {
      ADD_FAILURE() << "unexpected event " << e.kind << " in the middle";
    }
  }
  if (open) EXPECT_EQ(current, expected);
  EXPECT_EQ(starts, files);
  EXPECT_EQ(total, bytes);
  int ends = 0;
  for (auto& e : ev) ends += e.kind == 'E';
  EXPECT_EQ(ends, 1);
}

// A fresh folder under the system's temp directory, removed afterwards.
class Scratch {
 public:
  Scratch() {
    std::string tmpl = (fs::temp_directory_path() / "zengtest.XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    dir_ = mkdtemp(buf.data());
  }
  ~Scratch() {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  std::string path(const std::string& rel = "") const { return rel.empty() ? dir_.string() : (dir_ / rel).string(); }

 private:
  fs::path dir_;
};

inline void WriteFile(const std::string& path, const std::string& data) {
  if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(data.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Text that compresses like a real file; seed picks the content.
inline std::string TextData(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  static const char* words[] = {"scenery", "texture", "panel", "gauge", "sound", "aircraft", "=", "1\n", "[fltsim]\n", " "};
  std::string s;
  while (s.size() < n) s += words[rng() % 10];
  s.resize(n);
  return s;
}

inline std::string RandomData(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

// Runs a shell command in dir; returns its exit code and output.
inline int Shell(const std::string& cmd, std::string* out = nullptr) {
  std::string full = cmd + " 2>&1";
  FILE* p = popen(full.c_str(), "r");
  if (!p) return -1;
  std::string o;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.append(buf, n);
  int rc = pclose(p);
  if (out) *out = o;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline std::string Q(const std::string& s) { return "'" + s + "'"; }

// Every archive we write passes Info-ZIP unzip -t, 7-Zip t and Python's testzip.
inline void ExpectPeersAccept(const std::string& zip, const std::string& password = "") {
  std::string out;
  std::string pw = password.empty() ? "" : " -P " + Q(password);
  EXPECT_EQ(Shell("unzip -t -qq" + pw + " " + Q(zip), &out), 0) << "unzip -t: " << out;
  std::string pw7 = password.empty() ? "" : " -p" + Q(password);
  EXPECT_EQ(Shell("7z t -bd" + pw7 + " " + Q(zip), &out), 0) << "7z t: " << out;
  std::string py = "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n";
  if (!password.empty()) py += "z.setpassword(sys.argv[2].encode())\n";
  py += "bad = z.testzip()\nsys.exit(1 if bad else 0)\n";
  WriteFile(zip + ".check.py", py);
  EXPECT_EQ(Shell("python3 " + Q(zip + ".check.py") + " " + Q(zip) + (password.empty() ? "" : " " + Q(password)), &out), 0)
      << "python testzip: " << out;
  fs::remove(zip + ".check.py");
}

// The host's file system, every call passed on: tests override the calls they fault.
class HostFsProxy : public zip::FileSystem {
 public:
  zip::FileSystem& h = zip::HostFs();
  std::unique_ptr<zip::File> OpenRead(const std::string& p) override { return h.OpenRead(p); }
  std::unique_ptr<zip::File> create(const std::string& p) override { return h.create(p); }
  zip::FileInfo stat(const std::string& p) override { return h.stat(p); }
  bool ListDir(const std::string& d, std::vector<zip::DirEntry>& out) override { return h.ListDir(d, out); }
  bool MakeDir(const std::string& p) override { return h.MakeDir(p); }
  bool RemoveFile(const std::string& p) override { return h.RemoveFile(p); }
  bool RemoveDir(const std::string& p) override { return h.RemoveDir(p); }
  bool ReplaceFile(const std::string& a, const std::string& b) override { return h.ReplaceFile(a, b); }
  bool SetMtime(const std::string& p, int64_t t) override { return h.SetMtime(p, t); }
  bool SetAttrs(const std::string& p, uint32_t a) override { return h.SetAttrs(p, a); }
  std::string CurrentDir() override { return h.CurrentDir(); }
  std::string FullPath(const std::string& p) override { return h.FullPath(p); }
  bool CaseInsensitive() const override { return h.CaseInsensitive(); }
  uint32_t ToDosTime(int64_t t) override { return h.ToDosTime(t); }
  int64_t FromDosTime(uint32_t d) override { return h.FromDosTime(d); }
  std::string LastError() override { return h.LastError(); }
};

// Changes the working directory for the lifetime of the object (Add works against it).
class InDir {
 public:
  explicit InDir(const std::string& d) : old_(fs::current_path()) { fs::current_path(d); }
  ~InDir() { fs::current_path(old_); }

 private:
  fs::path old_;
};

}  // namespace enginetest
