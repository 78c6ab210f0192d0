// The 4 GiB limit of the classic ZIP format, without writing 4 GiB: a file system that shows
// "*.huge" files as 2.2 GB of zeros and swallows what is written (counting it).
#include <gtest/gtest.h>

#include <cstring>

#include "EngineTestSupport.h"

using namespace enginetest;

namespace {

constexpr uint64_t kHuge = 2200ull << 20;   // 2.2 GB each: two of them pass 4 GiB

bool IsHuge(const std::string& p) { return p.size() > 5 && p.compare(p.size() - 5, 5, ".huge") == 0; }

class ZeroFile : public zc::File {
 public:
  size_t read(void* buf, size_t n) override {
    size_t k = size_t(std::min<uint64_t>(n, kHuge - pos_));
    std::memset(buf, 0, k);
    pos_ += k;
    return k;
  }
  void write(const void*, size_t) override { throw zc::ZipError(zc::kWrite, "read only"); }
  void seek(uint64_t p) override { pos_ = p; }
  uint64_t tell() override { return pos_; }
  uint64_t size() override { return kHuge; }
  void truncate() override {}
  void close() override {}

 private:
  uint64_t pos_ = 0;
};

class NullFile : public zc::File {
 public:
  size_t read(void*, size_t) override { return 0; }
  void write(const void*, size_t n) override { pos_ += n; end_ = std::max(end_, pos_); }
  void seek(uint64_t p) override { pos_ = p; }
  uint64_t tell() override { return pos_; }
  uint64_t size() override { return end_; }
  void truncate() override { end_ = pos_; }
  void close() override {}

 private:
  uint64_t pos_ = 0, end_ = 0;
};

class HugeFs : public zc::FileSystem {
 public:
  zc::FileSystem& h = zc::host_fs();
  int replaced = 0;
  std::unique_ptr<zc::File> open_read(const std::string& p) override {
    return IsHuge(p) ? std::unique_ptr<zc::File>(new ZeroFile) : h.open_read(p);
  }
  std::unique_ptr<zc::File> create(const std::string& p) override {
    h.create(p);   // the temporary file exists, so its removal can be checked
    return std::unique_ptr<zc::File>(new NullFile);
  }
  zc::FileInfo stat(const std::string& p) override {
    zc::FileInfo i = h.stat(p);
    if (IsHuge(p)) i.size = kHuge;
    return i;
  }
  bool list_dir(const std::string& d, std::vector<zc::DirEntry>& out) override {
    bool ok = h.list_dir(d, out);
    for (auto& e : out)
      if (IsHuge(e.name)) e.info.size = kHuge;
    return ok;
  }
  bool make_dir(const std::string& p) override { return h.make_dir(p); }
  bool remove_file(const std::string& p) override { return h.remove_file(p); }
  bool remove_dir(const std::string& p) override { return h.remove_dir(p); }
  bool replace_file(const std::string& a, const std::string& b) override { ++replaced; return h.replace_file(a, b); }
  bool set_mtime(const std::string& p, int64_t t) override { return h.set_mtime(p, t); }
  bool set_attrs(const std::string& p, uint32_t a) override { return h.set_attrs(p, a); }
  std::string current_dir() override { return h.current_dir(); }
  std::string full_path(const std::string& p) override { return h.full_path(p); }
  bool case_insensitive() const override { return h.case_insensitive(); }
  uint32_t to_dos_time(int64_t t) override { return h.to_dos_time(t); }
  int64_t from_dos_time(uint32_t d) override { return h.from_dos_time(d); }
  std::string last_error() override { return h.last_error(); }
};

}  // namespace

TEST(EngineLimits, ArchiveOver4GiBIsRefusedAndNothingIsReplaced) {
  Scratch s;
  WriteFile(s.path("src/a.huge"), "");
  WriteFile(s.path("src/b.huge"), "");
  WriteFile(s.path("old.zip"), "");
  HugeFs fs;
  InDir in(s.path("src"));
  zc::AddOptions o;
  o.archive = s.path("old.zip");
  o.specs = {"*.huge"};
  o.level = 0;   // stored: the sizes add up exactly
  Recorder r;
  EXPECT_EQ(zc::zip_add(fs, o, r), 0);
  EXPECT_TRUE(r.has_code(zc::kTooBig)) << r.dump();
  EXPECT_EQ(fs.replaced, 0);
  for (auto& p : fs::directory_iterator(s.path())) EXPECT_NE(p.path().extension(), ".tmp") << p.path();
}
