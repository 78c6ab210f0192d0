// Past the limits of the classic ZIP format without writing 4 GiB: a file system that shows
// "*.huge" files as 4.3 GB of zeros and keeps only the small writes (headers, directory) of what
// is written, so that the archive's records can be read back.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "Bytes.h"
#include "zipformat.h"

#include "EngineTestSupport.h"

using namespace enginetest;

namespace {

constexpr uint64_t kHuge = 4100ull << 20;   // past 4 GiB: its sizes and what follows need ZIP64

bool IsHuge(const std::string& p) { return p.size() > 5 && p.compare(p.size() - 5, 5, ".huge") == 0; }

class ZeroFile : public zip::File {
 public:
  size_t read(void* buf, size_t n) override {
    size_t k = size_t(std::min<uint64_t>(n, kHuge - pos_));
    std::memset(buf, 0, k);
    pos_ += k;
    return k;
  }
  void write(const void*, size_t) override { throw zip::ZipError(zip::kWrite, "read only"); }
  void seek(uint64_t p) override { pos_ = p; }
  uint64_t tell() override { return pos_; }
  uint64_t size() override { return kHuge; }
  void truncate() override {}
  void close() override {}

 private:
  uint64_t pos_ = 0;
};

// Keeps writes under 1 MiB (the engine writes member data in whole MiB pieces); reads zeros
// where nothing was kept.
class SparseFile : public zip::File {
 public:
  std::map<uint64_t, std::string>& kept;
  explicit SparseFile(std::map<uint64_t, std::string>& k, uint64_t end = 0) : kept(k), end_(end) {}
  size_t read(void* buf, size_t n) override {
    size_t k = size_t(std::min<uint64_t>(n, end_ > pos_ ? end_ - pos_ : 0));
    std::memset(buf, 0, k);
    for (auto& [at, s] : kept)
      for (size_t i = 0; i < s.size(); ++i)
        if (at + i >= pos_ && at + i < pos_ + k) static_cast<char*>(buf)[at + i - pos_] = s[i];
    pos_ += k;
    return k;
  }
  void write(const void* p, size_t n) override {
    if (n < (1u << 20)) kept[pos_] = std::string(static_cast<const char*>(p), n);
    pos_ += n;
    end_ = std::max(end_, pos_);
  }
  void seek(uint64_t p) override { pos_ = p; }
  uint64_t tell() override { return pos_; }
  uint64_t size() override { return end_; }
  void truncate() override { end_ = pos_; }
  void close() override {}

 private:
  uint64_t end_ = 0, pos_ = 0;
};

class HugeFs : public HostFsProxy {
 public:
  std::map<uint64_t, std::string> kept;   // what was written to the archive
  std::unique_ptr<zip::File> OpenRead(const std::string& p) override {
    return IsHuge(p) ? std::unique_ptr<zip::File>(new ZeroFile) : h.OpenRead(p);
  }
  std::unique_ptr<zip::File> create(const std::string& p) override {
    h.create(p);   // the temporary file exists, so its removal can be checked
    return std::unique_ptr<zip::File>(new SparseFile(kept));
  }
  zip::FileInfo stat(const std::string& p) override {
    zip::FileInfo i = h.stat(p);
    if (IsHuge(p)) i.size = kHuge;
    return i;
  }
  bool ListDir(const std::string& d, std::vector<zip::DirEntry>& out) override {
    bool ok = h.ListDir(d, out);
    for (auto& e : out)
      if (IsHuge(e.name)) e.info.size = kHuge;
    return ok;
  }
};

}  // namespace

// A member over 4 GiB, and one behind it at an offset over 4 GiB: ZIP64 sizes in the local and
// central headers, a ZIP64 offset, a ZIP64 end record; what was written reads back.
TEST(EngineLimits, MembersAndOffsetsOver4GiBAreWrittenAsZip64) {
  Scratch s;
  WriteFile(s.path("src/a.huge"), "");
  WriteFile(s.path("src/b.txt"), "after the big one");
  HugeFs fs;
  InDir in(s.path("src"));
  zc::AddOptions o;
  o.archive = s.path("big.zip");
  o.patterns = {"*.*"};
  o.level = 0;   // stored: the sizes add up exactly
  Recorder r;
  ASSERT_EQ(zc::ZipAdd(fs, o, r), 2) << r.dump();
  ExpectCallbackOrder(r, 2, kHuge + 17);
  SparseFile f(fs.kept, fs.kept.rbegin()->first + fs.kept.rbegin()->second.size());
  zc::Directory d = zc::ReadDirectory(f);
  EXPECT_TRUE(d.zip64);
  ASSERT_EQ(d.entries.size(), 2u);
  EXPECT_EQ(d.entries[0].name, "a.huge");
  EXPECT_EQ(d.entries[0].usize, kHuge);
  EXPECT_EQ(d.entries[0].csize, kHuge);
  EXPECT_TRUE(d.entries[0].zip64Sizes);
  EXPECT_GT(d.entries[1].localOffset, 0xFFFFFFFFull);
  EXPECT_FALSE(d.entries[1].zip64Sizes);
  EXPECT_NO_THROW(zip::CheckMemberRanges(f, d));
  // The local header of the big member carries its sizes in the ZIP64 field.
  uint8_t lh[30 + 6 + 20];
  f.ReadAt(0, lh, sizeof lh, "the first local header");
  EXPECT_EQ(zip::Get32(lh + 18), 0xFFFFFFFFu);
  EXPECT_EQ(zip::Get16(lh + 36), zc::kExtraZip64);
  uint64_t usize = zip::Get32(lh + 40) | uint64_t(zip::Get32(lh + 44)) << 32;
  EXPECT_EQ(usize, kHuge);
}
