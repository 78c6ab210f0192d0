// Archives that once lost members or contradicted the engine's own promises: an end record whose
// count disagrees with the directory, member data counted twice (zip bombs), 65,535 members and
// more, ZIP64 archives of the peers, and a replace across volumes that fails on a full disk.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "zipformat.h"

using namespace enginetest;
using zip::HostFs;

namespace {

// Replaces every key in text.
std::string Fill(std::string text, const std::string& key, const std::string& value) {
  for (size_t p; (p = text.find(key)) != std::string::npos;) text.replace(p, key.size(), value);
  return text;
}

// Runs a Python snippet with ARCHIVE (and COUNT) replaced; fails the test when it fails.
void Py(const std::string& code, const std::string& zip, const std::string& count = "") {
  std::string c = Fill(Fill(code, "ARCHIVE", zip), "COUNT", count), out;
  WriteFile(zip + ".py", "import zipfile, struct, zlib\n" + c);
  ASSERT_EQ(Shell("python3 " + Q(zip + ".py"), &out), 0) << out;
  fs::remove(zip + ".py");
}

struct Outcome {
  int result = 0;
  Recorder r;
  // The text of the first message with this code ("" when none came).
  std::string text(int code) const {
    for (auto& m : r.messages())
      if (m.code == code) return m.text;
    return "";
  }
};

Outcome Extract(const std::string& zip, const std::string& dest, bool testOnly = false,
                std::vector<std::string> patterns = {}) {
  fs::create_directories(dest);
  zc::ExtractOptions x;
  x.archive = zip, x.patterns = patterns, x.dirNames = true, x.testOnly = testOnly;
  Outcome o;
  InDir in(dest);
  o.result = zc::UnzipExtract(HostFs(), x, o.r);
  return o;
}

Outcome Add(const std::string& zip, const std::string& file, const std::string& tempDir = "",
            zip::FileSystem& fs = HostFs()) {
  zc::AddOptions a;
  a.archive = zip, a.patterns = {file}, a.junkDirs = true, a.tempDir = tempDir;
  Outcome o;
  o.result = zc::ZipAdd(fs, a, o.r);
  return o;
}

Outcome Delete(const std::string& zip, const std::string& pattern) {
  zc::DeleteOptions d;
  d.archive = zip, d.patterns = {pattern};
  Outcome o;
  o.result = zc::ZipDelete(HostFs(), d, o.r);
  return o;
}

size_t Members(const std::string& zip) {
  auto f = HostFs().OpenRead(zip);
  return zc::ReadDirectory(*f).entries.size();
}

}  // namespace

// The end record counts fewer members than the directory holds (2 of 3, and 0): all three are
// read with a warning that names the mismatch; Add and Delete refuse and leave the file alone.
TEST(EngineSafety, CountThatDisagreesWithTheDirectory) {
  Scratch s;
  for (int count : {1, 0, 7}) {
    SCOPED_TRACE(count);
    std::string zip = s.path("count" + std::to_string(count) + ".zip");
    Py("with zipfile.ZipFile('ARCHIVE', 'w', zipfile.ZIP_DEFLATED) as z:\n"
       "  for n in ('a.txt', 'b.txt', 'c.txt'): z.writestr(n, n * 100)\n"
       "b = bytearray(open('ARCHIVE', 'rb').read())\n"
       "struct.pack_into('<HH', b, b.rfind(b'PK\\5\\6') + 8, COUNT, COUNT)\nopen('ARCHIVE', 'wb').write(b)\n",
       zip, std::to_string(count));
    std::string before = ReadFile(zip);
    Outcome x = Extract(zip, s.path("out" + std::to_string(count)));
    EXPECT_EQ(x.result, 3) << x.r.dump();
    EXPECT_NE(x.text(zip::kFormat).find("counts " + std::to_string(count) + " member"), std::string::npos)
        << x.r.dump();
    EXPECT_EQ(ReadFile(s.path("out" + std::to_string(count) + "/c.txt")).size(), 500u);
    WriteFile(s.path("new.txt"), "new");
    for (const Outcome& o : {Add(zip, s.path("new.txt")), Delete(zip, "a.txt")}) {
      EXPECT_EQ(o.result, 0);
      EXPECT_NE(o.text(zip::kFormat).find("not rewritten"), std::string::npos) << o.r.dump();
    }
    EXPECT_EQ(ReadFile(zip), before);
  }
}

// Entries that share one data record (a zip bomb's trick), or whose data runs into the
// directory, are refused whole: nothing is extracted, nothing rewritten.
TEST(EngineSafety, OverlappingMemberDataIsRefused) {
  Scratch s;
  std::string bomb = s.path("bomb.zip"), into = s.path("into.zip");
  Py("data = zlib.compressobj(9, zlib.DEFLATED, -15)\n"
     "raw = b'\\0' * 2000000\nc = data.compress(raw) + data.flush()\ncrc = zlib.crc32(raw)\n"
     "name = b'k0'\n"
     "lh = struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 0, 8, 0, 0, crc, len(c), len(raw), len(name), 0) + name + c\n"
     "cd = b''\n"
     "for i in range(100):\n"
     "  n = b'k%d' % i\n"
     "  cd += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 0, 8, 0, 0, crc, len(c), len(raw), len(n), 0, 0, 0, 0, 0, 0) + n\n"
     "end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 100, 100, len(cd), len(lh), 0)\n"
     "open('ARCHIVE', 'wb').write(lh + cd + end)\n", bomb);
  // One member whose compressed size reaches into the directory.
  Py("with zipfile.ZipFile('ARCHIVE', 'w') as z:\n"
     "  z.writestr('a.txt', b'x' * 50)\n  z.writestr('b.txt', b'y' * 50)\n"
     "b = bytearray(open('ARCHIVE', 'rb').read()); c = b.find(b'PK\\1\\2', 0)\n"
     "c = b.find(b'PK\\1\\2', c + 4)\n"
     "struct.pack_into('<I', b, c + 20, 120)\nopen('ARCHIVE', 'wb').write(b)\n", into);
  for (const std::string& zip : {bomb, into}) {
    SCOPED_TRACE(zip);
    std::string before = ReadFile(zip);
    for (bool testOnly : {false, true}) {
      Outcome x = Extract(zip, s.path("out"), testOnly);
      EXPECT_EQ(x.result, 0);
      EXPECT_NE(x.text(zip::kFormat).find("overlaps"), std::string::npos) << x.r.dump();
    }
    EXPECT_TRUE(fs::is_empty(s.path("out")));
    WriteFile(s.path("new.txt"), "new");
    EXPECT_EQ(Add(zip, s.path("new.txt")).result, 0);
    EXPECT_EQ(ReadFile(zip), before);
  }
}

// What Add writes, Test, Extract and Delete read: 65,535 members stay a classic archive, the
// 65,536th makes a ZIP64 end record; both pass the peers.
TEST(EngineSafety, SixtyFiveThousandMembersAndMore) {
  Scratch s;
  std::string zip = s.path("many.zip");
  Py("with zipfile.ZipFile('ARCHIVE', 'w') as z:\n"
     "  for i in range(65534): z.writestr('m/%05d' % i, b'')\n", zip);
  for (const char* n : {"one", "two", "three"}) WriteFile(s.path(n), n);
  ASSERT_EQ(Add(zip, s.path("one")).result, 1);
  EXPECT_EQ(Members(zip), 65535u);
  EXPECT_EQ(ReadFile(zip).find("PK\x06\x07"), std::string::npos) << "a ZIP64 locator in a classic archive";
  Outcome t = Extract(zip, s.path("t"), true);
  EXPECT_EQ(t.result, 65535) << t.text(zip::kUnsupported);
  EXPECT_EQ(Delete(zip, "m/00000").result, 1);
  ASSERT_EQ(Add(zip, s.path("two")).result, 1);
  ASSERT_EQ(Add(zip, s.path("three")).result, 1);
  EXPECT_EQ(Members(zip), 65536u);
  EXPECT_NE(ReadFile(zip).find("PK\x06\x07"), std::string::npos) << "no ZIP64 locator";
  ExpectPeersAccept(zip);
  Outcome t2 = Extract(zip, s.path("t"), true);
  EXPECT_EQ(t2.result, 65536);
  EXPECT_EQ(Extract(zip, s.path("x"), false, {"three"}).result, 1);
  EXPECT_EQ(ReadFile(s.path("x/three")), "three");
}

// ZIP64 archives as the peers write them (zip -fz, zip to a pipe, zip from standard input,
// Python's force_zip64): read, then rewritten by Add and Delete and accepted by the peers.
TEST(EngineSafety, ReadsAndRewritesZip64ArchivesOfPeers) {
  Scratch s;
  std::string a = TextData(40000, 3), b = RandomData(3000, 4);
  WriteFile(s.path("src/a.txt"), a);
  WriteFile(s.path("src/sub/b.bin"), b);
  WriteFile(s.path("added.txt"), "added later");
  std::string out;
  struct Case {
    const char* name;
    std::string cmd;
  };
  std::vector<Case> cases = {
      {"fz.zip", "zip -q -fz -r ARCHIVE a.txt sub"},
      {"pipe.zip", "zip -q -r - a.txt sub | cat > ARCHIVE"},
      {"stdin.zip", "cat a.txt | zip -q ARCHIVE - && zip -q -r ARCHIVE sub"},
      {"py64.zip", "python3 -c \"import zipfile as z; f=z.ZipFile('ARCHIVE','w',z.ZIP_DEFLATED)\n"
                   "for n in ('a.txt','sub/b.bin'):\n  with f.open(n,'w',force_zip64=True) as w: w.write(open(n,'rb').read())\n"
                   "f.close()\""},
      // The same to a pipe: data descriptors with 8-byte sizes.
      {"py64pipe.zip", "python3 -c \"import zipfile as z,sys; f=z.ZipFile(sys.stdout.buffer,'w',z.ZIP_DEFLATED)\n"
                       "for n in ('a.txt','sub/b.bin'):\n  with f.open(n,'w',force_zip64=True) as w: w.write(open(n,'rb').read())\n"
                       "f.close()\" | cat > ARCHIVE"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string zip = s.path(c.name);
    ASSERT_EQ(Shell("cd " + Q(s.path("src")) + " && " + Fill(c.cmd, "ARCHIVE", zip), &out), 0) << out;
    std::string dest = s.path(std::string("x-") + c.name);
    Outcome x = Extract(zip, dest);
    EXPECT_GE(x.result, 2) << x.r.dump();   // with the folder entry "sub/" where zip -r made one
    EXPECT_TRUE(x.r.messages().empty()) << x.r.dump();
    std::string first = fs::exists(dest + "/a.txt") ? ReadFile(dest + "/a.txt") : ReadFile(dest + "/-");
    EXPECT_TRUE(first == a) << "a.txt differs";
    EXPECT_TRUE(ReadFile(dest + "/sub/b.bin") == b) << "b.bin differs";
    for (const Outcome& o : {Add(zip, s.path("added.txt")), Delete(zip, "sub/b.bin")}) {
      EXPECT_EQ(o.result, 1) << o.r.dump();
      ExpectPeersAccept(zip);
    }
    Outcome again = Extract(zip, dest + "-again");
    EXPECT_EQ(again.result, x.result) << again.r.dump();
    EXPECT_EQ(ReadFile(dest + "-again/added.txt"), "added later");
  }
}

namespace {

// The archive's folder takes no new file (the new archive goes to the temp folder), a move out
// of the temp folder copies as Windows does across volumes (leaving a partial file when the disk
// fills), and the archive's volume holds no more than the old archive and 100 bytes.
class FullVolumeFs : public HostFsProxy {
 public:
  std::string volume;   // the archive's folder
  uint64_t capacity = 0;
  std::unique_ptr<zip::File> create(const std::string& p) override {
    if (p.rfind(volume + "/", 0) != 0) return h.create(p);
    if (p.size() > 4 && p.compare(p.size() - 4, 4, ".tmp") == 0)
      throw zip::ZipError(zip::kCreate, "Access denied: " + p);
    return std::unique_ptr<zip::File>(new Capped(h.create(p), capacity));
  }
  bool ReplaceFile(const std::string& a, const std::string& b) override {
    if (a.rfind(volume + "/", 0) == 0) return h.ReplaceFile(a, b);
    // MoveFileEx with copying allowed: copy, then remove the source; a failed copy stays half.
    try {
      create(b)->write(ReadFile(a).data(), ReadFile(a).size());
    } catch (const zip::ZipError&) {
      return false;
    }
    return h.RemoveFile(a);
  }

 private:
  class Capped : public zip::File {
   public:
    Capped(std::unique_ptr<zip::File> f, uint64_t cap) : f_(std::move(f)), cap_(cap) {}
    size_t read(void* b, size_t n) override { return f_->read(b, n); }
    void write(const void* b, size_t n) override {
      if (f_->tell() + n > cap_) {
        f_->write(b, size_t(cap_ - std::min(cap_, f_->tell())));
        throw zip::ZipError(zip::kWrite, "There is not enough space on the disk");
      }
      f_->write(b, n);
    }
    void seek(uint64_t p) override { f_->seek(p); }
    uint64_t tell() override { return f_->tell(); }
    uint64_t size() override { return f_->size(); }
    void truncate() override { f_->truncate(); }
    void close() override { f_->close(); }

   private:
    std::unique_ptr<zip::File> f_;
    uint64_t cap_;
  };
};

}  // namespace

TEST(EngineSafety, FailedReplaceAcrossVolumesKeepsTheOldArchive) {
  Scratch s;
  fs::create_directories(s.path("vol"));
  fs::create_directories(s.path("tmp"));
  std::string zip = s.path("vol/pack.zip");
  WriteFile(s.path("old.txt"), TextData(3000, 7));
  ASSERT_EQ(Add(zip, s.path("old.txt")).result, 1);
  std::string before = ReadFile(zip);
  WriteFile(s.path("big.bin"), RandomData(5000, 8));
  FullVolumeFs full;
  full.volume = s.path("vol");
  full.capacity = before.size() + 100;
  Outcome a = Add(zip, s.path("big.bin"), s.path("tmp"), full);
  EXPECT_EQ(a.result, 0);
  EXPECT_TRUE(a.r.has_code(zip::kWrite)) << a.r.dump();
  EXPECT_EQ(ReadFile(zip), before);
  EXPECT_TRUE(fs::is_empty(s.path("tmp")));
  // With room enough the same replace goes through, and the temp folder is left clean.
  full.capacity = 1 << 20;
  Outcome ok = Add(zip, s.path("big.bin"), s.path("tmp"), full);
  EXPECT_EQ(ok.result, 1) << ok.r.dump();
  EXPECT_TRUE(fs::is_empty(s.path("tmp")));
  ExpectPeersAccept(zip);
}

// Each refusal says what it refuses and why: AES, a device name; a comment cut short loses no
// member.
TEST(EngineSafety, RefusalsSayWhy) {
  Scratch s;
  WriteFile(s.path("src/a.txt"), TextData(2000, 5));
  std::string out;
  ASSERT_EQ(Shell("cd " + Q(s.path("src")) + " && 7z a -tzip -mem=AES256 -psecret -bd ../aes.zip a.txt", &out), 0) << out;
  Outcome aes = Extract(s.path("aes.zip"), s.path("aes"), true);
  EXPECT_EQ(aes.result, 0);
  EXPECT_NE(aes.text(zip::kUnsupported).find("\"a.txt\" is encrypted with AES, which this engine does not support"),
            std::string::npos) << aes.r.dump();

  Py("with zipfile.ZipFile('ARCHIVE', 'w') as z:\n  z.writestr('docs/con.txt', b'x')\n  z.writestr('ok.txt', b'y')\n"
     "b = open('ARCHIVE', 'rb').read()\nb = b[:-2] + struct.pack('<H', 40) + b'cut short'\n"
     "open('ARCHIVE', 'wb').write(b)\n", s.path("dev.zip"));
  Outcome d = Extract(s.path("dev.zip"), s.path("out"));
  EXPECT_EQ(d.result, 1) << d.r.dump();
  EXPECT_EQ(ReadFile(s.path("out/ok.txt")), "y");
  EXPECT_NE(d.text(zip::kUnsafeName).find("\"con.txt\" is the name of a device"), std::string::npos) << d.r.dump();
  EXPECT_EQ(d.text(zip::kUnsafeName).find("leave the target folder"), std::string::npos);
}

// A member may itself carry the name another member is written under on its way in: each
// file must end up holding its own member, whichever comes first.
TEST(EngineSafety, AMemberNamedLikeATemporaryFileIsNotOverwritten) {
  Scratch s;
  std::string zip = s.path("t.zip"), out;
  ASSERT_EQ(Shell("python3 -c \"import zipfile as z; f=z.ZipFile('" + zip + "','w'); "
                  "f.writestr('x.txt.unz~tmp','first'); f.writestr('x.txt','second'); "
                  "f.writestr('y.txt','third'); f.writestr('y.txt.unz~tmp','fourth'); f.close()\"", &out), 0) << out;
  zc::ExtractOptions x;
  x.archive = zip;
  x.dirNames = true;
  std::string dest = s.path("x");
  fs::create_directories(dest);
  Recorder r;
  {
    InDir in(dest);
    EXPECT_EQ(zc::UnzipExtract(HostFs(), x, r), 4) << r.dump();
  }
  EXPECT_EQ(ReadFile(dest + "/x.txt.unz~tmp"), "first");
  EXPECT_EQ(ReadFile(dest + "/x.txt"), "second");
  EXPECT_EQ(ReadFile(dest + "/y.txt"), "third");
  EXPECT_EQ(ReadFile(dest + "/y.txt.unz~tmp"), "fourth");
  EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 4);
}
