// Add, Extract/Test and Delete through the engine's API on real folders, checked against the
// peers: Info-ZIP unzip/zip, 7-Zip and Python's zipfile.
#include <gtest/gtest.h>

#include <sys/time.h>

#include "EngineTestSupport.h"
#include "Names.h"
#include "Text.h"
#include "zipformat.h"

using namespace enginetest;
using zip::HostFs;

namespace {

const char* kUmlaut = "Grüße ñ.txt";
const char* kCyrillic = "Привет.cfg";

// The builder's folder: small files, two empty ones, an empty folder, a large file (streamed),
// non-ASCII names, a deep path and a hidden file.
struct Tree {
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<std::string> dirs;
};

Tree MakeTree(const std::string& root, size_t large = 20u << 20) {
  Tree t;
  auto file = [&](const std::string& rel, const std::string& data) {
    WriteFile(root + "/" + rel, data);
    t.files.push_back({rel, data});
  };
  file("aircraft.cfg", TextData(5000, 1));
  file("empty1.txt", "");
  file("texture/empty2.bmp", "");
  file("texture/big.bmp", TextData(large, 2));
  file("sound/noise.wav", RandomData(70000, 3));
  file(std::string("panel/") + kUmlaut, TextData(300, 4));
  file(std::string("panel/") + kCyrillic, TextData(300, 5));
  file("a/b/c/d/e/f/g/h/deep.txt", TextData(1000, 6));
  fs::create_directories(root + "/emptyfolder");
  t.dirs = {"a", "a/b", "a/b/c", "a/b/c/d", "a/b/c/d/e", "a/b/c/d/e/f", "a/b/c/d/e/f/g", "a/b/c/d/e/f/g/h",
            "emptyfolder", "panel", "sound", "texture"};
  // Even timestamps survive the 2-second DOS resolution exactly.
  for (auto& [rel, data] : t.files) {
    struct timeval tv[2] = {{1086048000, 0}, {1086048000, 0}};
    utimes((root + "/" + rel).c_str(), tv);
  }
  return t;
}

zc::AddOptions BuilderOptions(const std::string& archive) {
  zc::AddOptions o;
  o.archive = archive;
  o.patterns = {"*.*"};
  o.recurse = o.dirEntries = o.systemFiles = true;
  o.level = 9;
  return o;
}

std::vector<std::string> PythonNames(const std::string& zip) {
  std::string out;
  Shell("python3 -c \"import zipfile,sys; [print(n) for n in zipfile.ZipFile(sys.argv[1]).namelist()]\" " + Q(zip), &out);
  std::vector<std::string> names;
  size_t i = 0;
  while (i < out.size()) {
    size_t j = out.find('\n', i);
    names.push_back(out.substr(i, j - i));
    i = j == std::string::npos ? out.size() : j + 1;
  }
  return names;
}

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

TEST(EngineAdd, BuilderFolderRoundTripAndPeers) {
  Scratch s;
  Tree t = MakeTree(s.path("src"));
  std::string zip = s.path("Setup.skb");
  Recorder r;
  int n;
  {
    InDir in(s.path("src"));
    n = zc::ZipAdd(HostFs(), BuilderOptions(zip), r);
  }
  ASSERT_EQ(n, int(t.files.size() + t.dirs.size())) << r.dump();
  uint64_t bytes = 0;
  for (auto& f : t.files) bytes += f.second.size();
  ExpectCallbackOrder(r, t.files.size() + t.dirs.size(), bytes);
  EXPECT_TRUE(r.messages().empty()) << r.dump();
  ExpectPeersAccept(zip);

  // Non-ASCII names show correctly in Info-ZIP, 7-Zip and Python.
  std::string out;
  Shell("LANG=C.UTF-8 LC_ALL=C.UTF-8 unzip -Z1 " + Q(zip), &out);
  EXPECT_NE(out.find(std::string("panel/") + kUmlaut), std::string::npos) << out;
  EXPECT_NE(out.find(std::string("panel/") + kCyrillic), std::string::npos) << out;
  Shell("7z l -ba -sccUTF-8 " + Q(zip), &out);
  EXPECT_NE(out.find(std::string("panel/") + kUmlaut), std::string::npos) << out;
  EXPECT_NE(out.find(std::string("panel/") + kCyrillic), std::string::npos) << out;
  auto names = PythonNames(zip);
  EXPECT_TRUE(Contains(names, std::string("panel/") + kUmlaut));
  EXPECT_TRUE(Contains(names, std::string("panel/") + kCyrillic));
  EXPECT_TRUE(Contains(names, "emptyfolder/"));
  EXPECT_TRUE(Contains(names, "a/b/c/d/e/f/g/h/deep.txt"));

  // The umlaut name is stored in code page 437 with host FAT, the Unicode path beside it.
  auto f = HostFs().OpenRead(zip);
  zc::Directory d = zc::ReadDirectory(*f);
  for (auto& e : d.entries) {
    EXPECT_EQ(e.Host(), zc::kHostFat);
    if (e.name == std::string("panel/") + kUmlaut) {
      EXPECT_EQ(e.rawName, "panel/Gr\x81\xE1" "e \xA4.txt");
      EXPECT_FALSE(e.extra.empty());
    } else if (zip::IsAscii(e.name)) {
      EXPECT_TRUE(e.extra.empty()) << e.name;
    }
  }

  // Our own extraction gives the same bytes and times.
  fs::create_directories(s.path("out"));
  Recorder rx;
  zc::ExtractOptions x;
  x.archive = zip;
  x.dirNames = true;
  {
    InDir in(s.path("out"));
    EXPECT_EQ(zc::UnzipExtract(HostFs(), x, rx), n) << rx.dump();
  }
  ExpectCallbackOrder(rx, n, bytes);
  for (auto& [rel, data] : t.files) {
    EXPECT_EQ(ReadFile(s.path("out/" + rel)), data) << rel;
    struct stat st;
    ASSERT_EQ(stat(s.path("out/" + rel).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1086048000) << rel;
  }
  EXPECT_TRUE(fs::is_directory(s.path("out/emptyfolder")));

  // And Info-ZIP unzip gives the same bytes.
  ASSERT_EQ(Shell("cd " + Q(s.path()) + " && unzip -q -d uz " + Q(zip), &out), 0) << out;
  for (auto& [rel, data] : t.files) EXPECT_EQ(ReadFile(s.path("uz/" + rel)), data) << rel;
}

TEST(EngineAdd, EncryptedRoundTripAndPeers) {
  Scratch s;
  Tree t = MakeTree(s.path("src"), 17u << 20);
  std::string zip = s.path("enc.zip");
  zc::AddOptions o = BuilderOptions(zip);
  o.encrypt = true;
  o.password = "Sky kit!";
  Recorder r;
  {
    InDir in(s.path("src"));
    ASSERT_GT(zc::ZipAdd(HostFs(), o, r), 0) << r.dump();
  }
  ExpectPeersAccept(zip, o.password);
  std::string out;
  EXPECT_NE(Shell("unzip -t -qq -P wrong " + Q(zip), &out), 0);

  zc::ExtractOptions x;
  x.archive = zip;
  x.dirNames = true;
  x.password = o.password;
  Recorder rx;
  fs::create_directories(s.path("out"));
  {
    InDir in(s.path("out"));
    zc::UnzipExtract(HostFs(), x, rx);
  }
  for (auto& [rel, data] : t.files) EXPECT_EQ(ReadFile(s.path("out/" + rel)), data) << rel;

  // A wrong password: a message per encrypted member, no file written.
  x.password = "wrong";
  Recorder rw;
  fs::create_directories(s.path("out2"));
  {
    InDir in(s.path("out2"));
    zc::UnzipExtract(HostFs(), x, rw);
  }
  EXPECT_TRUE(rw.has_code(zip::kPassword)) << rw.dump();
  EXPECT_FALSE(fs::exists(s.path("out2/aircraft.cfg")));
}

TEST(EngineExtract, InfoZipEncryptedWithDataDescriptors) {
  Scratch s;
  WriteFile(s.path("src/one.txt"), TextData(20000, 7));
  WriteFile(s.path("src/two.bin"), RandomData(3000, 8));
  std::string zip = s.path("iz.zip"), out;
  ASSERT_EQ(Shell("cd " + Q(s.path("src")) + " && zip -q -P pw123 " + Q(zip) + " one.txt two.bin", &out), 0) << out;
  auto f = HostFs().OpenRead(zip);
  zc::Directory d = zc::ReadDirectory(*f);
  ASSERT_EQ(d.entries.size(), 2u);
  EXPECT_TRUE(d.entries[0].flags & zc::kFlagDescriptor) << "zip -e no longer writes data descriptors?";
  zc::ExtractOptions x;
  x.archive = zip;
  x.password = "pw123";
  Recorder r;
  fs::create_directories(s.path("out"));
  {
    InDir in(s.path("out"));
    EXPECT_EQ(zc::UnzipExtract(HostFs(), x, r), 2) << r.dump();
  }
  EXPECT_EQ(ReadFile(s.path("out/one.txt")), ReadFile(s.path("src/one.txt")));
  EXPECT_EQ(ReadFile(s.path("out/two.bin")), ReadFile(s.path("src/two.bin")));
}

// Archives written by the peers: stored, deflated, data descriptors, comments, encrypted.
TEST(EngineExtract, ReadsArchivesOfPeers) {
  Scratch s;
  std::string a = TextData(50000, 9), b = RandomData(4000, 10);
  WriteFile(s.path("src/a.txt"), a);
  WriteFile(s.path("src/sub/b.bin"), b);
  std::string src = Q(s.path("src")), out;
  struct Case {
    const char* name;
    std::string cmd;
    std::string password;
  };
  std::vector<Case> cases = {
      {"zip-stored.zip", "zip -q -0 -r ARCHIVE a.txt sub", ""},
      {"zip-deflated.zip", "zip -q -9 -r ARCHIVE a.txt sub", ""},
      {"zip-comment.zip", "zip -q -r ARCHIVE a.txt sub && echo 'the comment' | zip -q -z ARCHIVE", ""},
      {"zip-stream.zip", "cat a.txt | zip -q -fz- ARCHIVE - && zip -q -r ARCHIVE sub", ""},
      {"7z-deflate.zip", "7z a -tzip -bd ARCHIVE a.txt sub >/dev/null", ""},
      {"7z-stored.zip", "7z a -tzip -mm=Copy -bd ARCHIVE a.txt sub >/dev/null", ""},
      {"7z-crypt.zip", "7z a -tzip -mem=ZipCrypto -psecret -bd ARCHIVE a.txt sub >/dev/null", "secret"},
      {"py-deflate.zip", "python3 -c \"import zipfile as z; f=z.ZipFile('ARCHIVE','w',z.ZIP_DEFLATED); "
                         "f.write('a.txt'); f.write('sub/b.bin'); f.comment=b'py comment'; f.close()\"", ""},
      {"py-stored.zip", "python3 -c \"import zipfile as z; f=z.ZipFile('ARCHIVE','w'); f.write('a.txt'); "
                        "f.write('sub/b.bin'); f.close()\"", ""},
      // Written to a pipe: Python then uses data descriptors.
      {"py-descriptor.zip", "python3 -c \"import zipfile as z,sys; f=z.ZipFile(sys.stdout.buffer,'w',z.ZIP_DEFLATED); "
                            "f.write('a.txt'); f.write('sub/b.bin'); f.close()\" | cat > ARCHIVE", ""},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string zip = s.path(c.name);
    std::string cmd = c.cmd;
    for (size_t p; (p = cmd.find("ARCHIVE")) != std::string::npos;) cmd.replace(p, 7, zip);
    ASSERT_EQ(Shell("cd " + src + " && " + cmd, &out), 0) << out;
    zc::ExtractOptions x;
    x.archive = zip;
    x.dirNames = true;
    x.password = c.password;
    std::string dest = s.path(std::string("x-") + c.name);
    fs::create_directories(dest);
    Recorder r;
    {
      InDir in(dest);
      EXPECT_GE(zc::UnzipExtract(HostFs(), x, r), 2) << r.dump();
    }
    EXPECT_TRUE(r.messages().empty()) << r.dump();
    std::string first = fs::exists(dest + "/a.txt") ? ReadFile(dest + "/a.txt") : ReadFile(dest + "/-");
    EXPECT_EQ(first, a);
    EXPECT_EQ(ReadFile(dest + "/sub/b.bin"), b);
    // Test mode too.
    x.testOnly = true;
    Recorder rt;
    EXPECT_GE(zc::UnzipExtract(HostFs(), x, rt), 2) << rt.dump();
    EXPECT_TRUE(rt.messages().empty()) << rt.dump();
  }
}

TEST(EngineAdd, GrowReplaceFreshenUpdate) {
  Scratch s;
  std::string zip = s.path("g.zip");
  WriteFile(s.path("src/a.txt"), "first a");
  WriteFile(s.path("src/b.txt"), "first b");
  InDir in(s.path("src"));
  struct timeval old_t[2] = {{1000000000, 0}, {1000000000, 0}};
  utimes("a.txt", old_t);
  utimes("b.txt", old_t);
  zc::AddOptions o;
  o.archive = zip;
  o.patterns = {"*.txt"};
  Recorder r1;
  ASSERT_EQ(zc::ZipAdd(HostFs(), o, r1), 2);

  // Same name again: replaced, not duplicated.
  WriteFile("a.txt", "second a");
  Recorder r2;
  o.patterns = {"a.txt"};
  ASSERT_EQ(zc::ZipAdd(HostFs(), o, r2), 1);
  auto names = PythonNames(zip);
  EXPECT_EQ(std::count(names.begin(), names.end(), "a.txt"), 1);
  std::string out;
  Shell("unzip -p " + Q(zip) + " a.txt", &out);
  EXPECT_EQ(out, "second a");

  // Freshen: only members whose file is newer; new files are not added.
  WriteFile("c.txt", "new c");
  utimes("a.txt", old_t);
  WriteFile("b.txt", "second b");   // now newer than its member
  o.patterns = {"*.txt"};
  o.freshen = true;
  Recorder r3;
  EXPECT_EQ(zc::ZipAdd(HostFs(), o, r3), 1) << r3.dump();
  names = PythonNames(zip);
  EXPECT_FALSE(Contains(names, "c.txt"));
  Shell("unzip -p " + Q(zip) + " b.txt", &out);
  EXPECT_EQ(out, "second b");

  // Freshen with nothing newer: nothing to do, archive unchanged.
  std::string before = ReadFile(zip);
  Recorder r4;
  EXPECT_EQ(zc::ZipAdd(HostFs(), o, r4), 0);
  EXPECT_TRUE(r4.has_code(zip::kNothing));
  EXPECT_EQ(ReadFile(zip), before);

  // Update: new files and newer ones.
  o.freshen = false;
  o.update = true;
  Recorder r5;
  EXPECT_EQ(zc::ZipAdd(HostFs(), o, r5), 1) << r5.dump();
  names = PythonNames(zip);
  EXPECT_TRUE(Contains(names, "c.txt"));
  ExpectPeersAccept(zip);
}

TEST(EngineAdd, ArchiveInsideTheFolderIsNotAddedToItself) {
  Scratch s;
  WriteFile(s.path("pkg/a.txt"), TextData(1000, 1));
  WriteFile(s.path("pkg/sub/b.txt"), TextData(1000, 2));
  InDir in(s.path("pkg"));
  zc::AddOptions o = BuilderOptions(s.path("pkg/Setup.skb"));
  for (int round = 0; round < 2; ++round) {   // new, then growing the existing one
    Recorder r;
    ASSERT_GT(zc::ZipAdd(HostFs(), o, r), 0) << r.dump();
    auto names = PythonNames(s.path("pkg/Setup.skb"));
    EXPECT_FALSE(Contains(names, "Setup.skb"));
    for (auto& nm : names) EXPECT_EQ(nm.find("zi"), std::string::npos) << nm;   // no temp file either
  }
  ExpectPeersAccept(s.path("pkg/Setup.skb"));
}

TEST(EngineAdd, CancelLeavesTheOldArchive) {
  Scratch s;
  MakeTree(s.path("src"));
  std::string zip = s.path("c.zip");
  InDir in(s.path("src"));
  zc::AddOptions o = BuilderOptions(zip);
  o.patterns = {"aircraft.cfg"};
  Recorder r0;
  ASSERT_EQ(zc::ZipAdd(HostFs(), o, r0), 1);
  std::string before = ReadFile(zip);
  o.patterns = {"*.*"};
  for (int after : {1, 3, 6, 12}) {
    Recorder r;
    r.cancel_after = after;
    EXPECT_EQ(zc::ZipAdd(HostFs(), o, r), 0);
    EXPECT_TRUE(r.has_code(zip::kAbort)) << r.dump();
    for (auto& e : r.events) EXPECT_NE(e.kind, 'E');
    EXPECT_EQ(ReadFile(zip), before);
  }
  for (auto& p : fs::directory_iterator(s.path())) EXPECT_NE(p.path().extension(), ".tmp") << p.path();
}

TEST(EngineAdd, LevelsStoreAndIncompressible) {
  Scratch s;
  WriteFile(s.path("src/text.txt"), TextData(100000, 3));
  WriteFile(s.path("src/random.bin"), RandomData(100000, 4));
  WriteFile(s.path("src/bigrandom.bin"), RandomData(17u << 20, 5));   // streamed, then stored
  // Kinds whose searches are set apart at levels 6 and 9 (scenery, gauges, images).
  for (const char* name : {"src/area.BGL", "src/gauge.gau", "src/image.bmp"}) WriteFile(s.path(name), TextData(300000, 6));
  InDir in(s.path("src"));
  uint64_t prev = 0;
  for (int level : {0, 1, 6, 9}) {
    std::string zip = s.path("l" + std::to_string(level) + ".zip");
    zc::AddOptions o;
    o.archive = zip;
    o.patterns = {"*.*"};
    o.level = level;
    Recorder r;
    ASSERT_EQ(zc::ZipAdd(HostFs(), o, r), 6) << r.dump();
    auto f = HostFs().OpenRead(zip);
    zc::Directory d = zc::ReadDirectory(*f);
    for (auto& e : d.entries) {
      bool random = e.name.find("random") != std::string::npos;
      EXPECT_EQ(e.method, level == 0 || random ? zc::kMethodStored : zc::kMethodDeflated) << e.name << " " << level;
      if (e.method == zc::kMethodStored) EXPECT_EQ(e.csize, e.usize);
    }
    uint64_t size = fs::file_size(zip);
    if (level > 1) EXPECT_LE(size, prev) << level;
    prev = size;
    ExpectPeersAccept(zip);
  }
}

// A member of 4 GiB (a sparse file of zeros) goes in with ZIP64 sizes; the peers read it.
TEST(EngineAdd, MemberOf4GiBIsWrittenAsZip64) {
  Scratch s;
  fs::create_directories(s.path("src"));
  {
    std::ofstream f(s.path("src/huge.bin"));
  }
  ASSERT_EQ(truncate(s.path("src/huge.bin").c_str(), off_t(0x100000000LL)), 0);   // sparse
  WriteFile(s.path("src/small.txt"), "x");
  InDir in(s.path("src"));
  zc::AddOptions o;
  o.archive = s.path("big.zip");
  o.patterns = {"*.*"};
  o.level = 1;
  Recorder r;
  EXPECT_EQ(zc::ZipAdd(HostFs(), o, r), 2) << r.dump();
  std::string out;
  EXPECT_EQ(Shell("unzip -t -qq " + Q(s.path("big.zip")), &out), 0) << out;
  EXPECT_EQ(Shell("7z t -bd " + Q(s.path("big.zip")), &out), 0) << out;
}

TEST(EngineAdd, OptionsDosNamesJunkHiddenMoveZipTime) {
  Scratch s;
  WriteFile(s.path("src/Long Folder Name/Long File Name.text"), "x");
  WriteFile(s.path("src/.hidden"), "h");
  WriteFile(s.path("src/plain.txt"), "p");
  struct timeval t[2] = {{1086048000, 0}, {1086048000, 0}};
  utimes(s.path("src/plain.txt").c_str(), t);
  InDir in(s.path("src"));
  zc::AddOptions o;
  o.archive = s.path("dos.zip");
  o.patterns = {"*.*"};
  o.recurse = true;
  o.forceDos = true;
  Recorder r;
  ASSERT_EQ(zc::ZipAdd(HostFs(), o, r), 2) << r.dump();   // the hidden file stays out
  auto names = PythonNames(o.archive);
  EXPECT_TRUE(Contains(names, "LONGFO~1/LONGFI~1.TEX")) << names[0];
  EXPECT_TRUE(Contains(names, "PLAIN.TXT"));

  o.archive = s.path("junk.zip");
  o.forceDos = false;
  o.junkDirs = true;
  o.systemFiles = true;
  o.latestTime = true;
  Recorder r2;
  ASSERT_EQ(zc::ZipAdd(HostFs(), o, r2), 3);
  names = PythonNames(o.archive);
  EXPECT_TRUE(Contains(names, "Long File Name.text"));
  EXPECT_TRUE(Contains(names, ".hidden"));

  o.archive = s.path("move.zip");
  o.patterns = {"plain.txt"};
  o.move = true;
  o.latestTime = true;
  Recorder r3;
  ASSERT_EQ(zc::ZipAdd(HostFs(), o, r3), 1);
  EXPECT_FALSE(fs::exists("plain.txt"));
  struct stat st;
  ASSERT_EQ(stat(o.archive.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1086048000);
}

TEST(EngineDelete, RemovesMembersAndKeepsTheRest) {
  Scratch s;
  MakeTree(s.path("src"), 100000);
  std::string zip = s.path("d.zip");
  {
    InDir in(s.path("src"));
    Recorder r;
    ASSERT_GT(zc::ZipAdd(HostFs(), BuilderOptions(zip), r), 0);
  }
  zc::DeleteOptions d;
  d.archive = zip;
  d.patterns = {"texture\\*", "aircraft.cfg"};
  Recorder r;
  EXPECT_EQ(zc::ZipDelete(HostFs(), d, r), 4) << r.dump();   // folder entry, two files, cfg
  auto names = PythonNames(zip);
  EXPECT_FALSE(Contains(names, "aircraft.cfg"));
  EXPECT_FALSE(Contains(names, "texture/big.bmp"));
  EXPECT_TRUE(Contains(names, "sound/noise.wav"));
  ExpectPeersAccept(zip);

  std::string before = ReadFile(zip);
  d.patterns = {"nothing.here"};
  Recorder r2;
  EXPECT_EQ(zc::ZipDelete(HostFs(), d, r2), 0);
  EXPECT_TRUE(r2.has_code(zip::kNothing));
  EXPECT_EQ(ReadFile(zip), before);
}

TEST(EngineExtract, RefusesNamesLeavingTheTarget) {
  Scratch s;
  std::string zip = s.path("evil.zip"), out;
  std::string py =
      "import zipfile\n"
      "z = zipfile.ZipFile('evil.zip', 'w')\n"
      "for n in ['../evil1.txt', '/abs.txt', 'C:/drive.txt', 'good/../../evil3.txt', 'good/ok.txt']:\n"
      "    z.writestr(zipfile.ZipInfo(n), 'data ' + n)\n"
      "i = zipfile.ZipInfo('x'); i.filename = '..\\\\evil2.txt'; z.writestr(i, 'back')\n"
      "z.close()\n";
  WriteFile(s.path("make.py"), py);
  ASSERT_EQ(Shell("cd " + Q(s.path()) + " && python3 make.py", &out), 0) << out;
  fs::create_directories(s.path("t/inner"));
  zc::ExtractOptions x;
  x.archive = zip;
  x.dirNames = true;
  x.overwrite = true;
  Recorder r;
  {
    InDir in(s.path("t/inner"));
    EXPECT_EQ(zc::UnzipExtract(HostFs(), x, r), 1) << r.dump();
  }
  int refused = 0;
  for (auto& m : r.messages()) refused += m.code == zip::kUnsafeName;
  EXPECT_GE(refused, 4) << r.dump();
  EXPECT_EQ(ReadFile(s.path("t/inner/good/ok.txt")), "data good/ok.txt");
  // Nothing anywhere but the one good file.
  int files = 0;
  for (auto& p : fs::recursive_directory_iterator(s.path("t"))) files += p.is_regular_file();
  EXPECT_EQ(files, 1);
  EXPECT_FALSE(fs::exists(s.path("evil1.txt")));
  EXPECT_FALSE(fs::exists("/abs.txt"));
}

TEST(EngineExtract, OverwriteFreshenUpdateAndFlat) {
  Scratch s;
  WriteFile(s.path("src/d/a.txt"), "archived a");
  WriteFile(s.path("src/d/b.txt"), "archived b");
  struct timeval mid[2] = {{1100000000, 0}, {1100000000, 0}};
  utimes(s.path("src/d/a.txt").c_str(), mid);
  utimes(s.path("src/d/b.txt").c_str(), mid);
  std::string zip = s.path("o.zip");
  {
    InDir in(s.path("src"));
    zc::AddOptions o;
    o.archive = zip;
    o.patterns = {"d"};
    o.recurse = true;
    Recorder r;
    ASSERT_EQ(zc::ZipAdd(HostFs(), o, r), 2) << r.dump();
  }
  fs::create_directories(s.path("t"));
  InDir in(s.path("t"));
  WriteFile("d/a.txt", "newer local a");
  struct timeval late[2] = {{1200000000, 0}, {1200000000, 0}}, early[2] = {{1000000000, 0}, {1000000000, 0}};
  utimes("d/a.txt", late);
  zc::ExtractOptions x;
  x.archive = zip;
  x.dirNames = true;
  // No overwrite: the existing file stays, the other comes out.
  Recorder r1;
  EXPECT_EQ(zc::UnzipExtract(HostFs(), x, r1), 1);
  EXPECT_EQ(ReadFile("d/a.txt"), "newer local a");
  EXPECT_EQ(ReadFile("d/b.txt"), "archived b");
  // Update: a newer local file stays.
  x.update = true;
  fs::remove("d/b.txt");
  Recorder r2;
  EXPECT_EQ(zc::UnzipExtract(HostFs(), x, r2), 1);
  EXPECT_EQ(ReadFile("d/a.txt"), "newer local a");
  // Freshen: only existing files that are older.
  x.update = false;
  x.freshen = true;
  utimes("d/a.txt", early);
  fs::remove("d/b.txt");
  Recorder r3;
  EXPECT_EQ(zc::UnzipExtract(HostFs(), x, r3), 1);
  EXPECT_EQ(ReadFile("d/a.txt"), "archived a");
  EXPECT_FALSE(fs::exists("d/b.txt"));
  // Overwrite and no folder names: flat.
  x.freshen = false;
  x.overwrite = true;
  x.dirNames = false;
  x.patterns = {"d\\b.txt"};
  Recorder r4;
  EXPECT_EQ(zc::UnzipExtract(HostFs(), x, r4), 1);
  EXPECT_EQ(ReadFile("b.txt"), "archived b");
}

TEST(EngineAdd, GrowsAnArchiveBehindAStub) {
  Scratch s;
  WriteFile(s.path("src/a.txt"), TextData(3000, 1));
  WriteFile(s.path("src/b.txt"), TextData(3000, 2));
  std::string plain = s.path("plain.zip"), sfx = s.path("sfx.exe");
  InDir in(s.path("src"));
  zc::AddOptions o;
  o.archive = plain;
  o.patterns = {"a.txt"};
  Recorder r;
  ASSERT_EQ(zc::ZipAdd(HostFs(), o, r), 1);
  // A stub in front whose length the offsets do not include (as a fresh self-extractor has).
  std::string stub = "MZ" + std::string(998, 'S');
  WriteFile(sfx, stub + ReadFile(plain));
  o.archive = sfx;
  o.patterns = {"b.txt"};
  Recorder r2;
  ASSERT_EQ(zc::ZipAdd(HostFs(), o, r2), 1) << r2.dump();
  std::string out = ReadFile(sfx);
  EXPECT_EQ(out.substr(0, stub.size()), stub);
  auto f = HostFs().OpenRead(sfx);
  zc::Directory d = zc::ReadDirectory(*f);
  EXPECT_EQ(d.shift, 0u);   // offsets now count from the start of the file
  EXPECT_EQ(d.dataStart, stub.size());
  EXPECT_EQ(Shell("unzip -t -qq " + Q(sfx), &out), 0) << out;
}

TEST(EngineTest, DetectsDamagedData) {
  Scratch s;
  WriteFile(s.path("src/a.txt"), TextData(100000, 1));
  std::string zip = s.path("t.zip");
  {
    InDir in(s.path("src"));
    zc::AddOptions o;
    o.archive = zip;
    o.patterns = {"a.txt"};
    Recorder r;
    ASSERT_EQ(zc::ZipAdd(HostFs(), o, r), 1);
  }
  std::string data = ReadFile(zip);
  data[200] ^= 0x55;
  WriteFile(zip, data);
  zc::ExtractOptions x;
  x.archive = zip;
  x.testOnly = true;
  Recorder r;
  EXPECT_EQ(zc::UnzipExtract(HostFs(), x, r), 0);
  EXPECT_FALSE(r.messages().empty());
  ExpectCallbackOrder(r, 1, 100000);
}

// Growing archives of other tools keeps their members as they were (data descriptors too).
TEST(EngineAdd, GrowsArchivesOfPeers) {
  Scratch s;
  WriteFile(s.path("src/a.txt"), TextData(20000, 1));
  WriteFile(s.path("src/new.txt"), TextData(500, 2));
  std::string src = Q(s.path("src")), out;
  std::vector<std::pair<std::string, std::string>> makers = {
      {"stream.zip", "cat a.txt | zip -q -fz- ../stream.zip -"},
      {"pydesc.zip", "python3 -c \"import zipfile as z,sys; f=z.ZipFile(sys.stdout.buffer,'w',z.ZIP_DEFLATED); "
                     "f.write('a.txt'); f.comment=b'kept'; f.close()\" | cat > ../pydesc.zip"},
      {"7z.zip", "7z a -tzip -bd ../7z.zip a.txt >/dev/null"},
  };
  for (auto& [name, cmd] : makers) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Shell("cd " + src + " && " + cmd, &out), 0) << out;
    InDir in(s.path("src"));
    zc::AddOptions o;
    o.archive = s.path(name);
    o.patterns = {"new.txt"};
    Recorder r;
    EXPECT_EQ(zc::ZipAdd(HostFs(), o, r), 1) << r.dump();
    ExpectPeersAccept(s.path(name));
    auto names = PythonNames(s.path(name));
    EXPECT_TRUE(Contains(names, "new.txt"));
    EXPECT_EQ(names.size(), 2u);
  }
  EXPECT_NE(ReadFile(s.path("pydesc.zip")).find("kept"), std::string::npos);   // the comment stays
}

// Large members go in independent pieces on both workers, joined into one deflate stream: a
// member whose first piece is noise and the rest text, and one of noise only (stored in the
// end). The peers read both; the pieces join exactly.
TEST(EngineAdd, LargeMembersInPiecesReadByPeers) {
  Scratch s;
  std::string mixed = RandomData(9u << 20, 11) + TextData(12u << 20, 12);
  std::string noise = RandomData(17u << 20, 13);
  WriteFile(s.path("src/mixed.bgl"), mixed);
  WriteFile(s.path("src/noise.bin"), noise);
  InDir in(s.path("src"));
  zc::AddOptions o = BuilderOptions(s.path("big.zip"));
  Recorder r;
  ASSERT_EQ(zc::ZipAdd(HostFs(), o, r), 2) << r.dump();
  ExpectCallbackOrder(r, 2, mixed.size() + noise.size());
  ExpectPeersAccept(s.path("big.zip"));
  auto f = HostFs().OpenRead(s.path("big.zip"));
  zc::Directory d = zc::ReadDirectory(*f);
  ASSERT_EQ(d.entries.size(), 2u);
  EXPECT_EQ(d.entries[0].method, zc::kMethodDeflated);
  EXPECT_LT(d.entries[0].csize, mixed.size() * 3 / 4);
  EXPECT_EQ(d.entries[1].method, zc::kMethodStored);
  std::string out;
  EXPECT_EQ(Shell("unzip -p " + Q(s.path("big.zip")) + " mixed.bgl | cmp - " + Q(s.path("src/mixed.bgl")), &out), 0) << out;
}
