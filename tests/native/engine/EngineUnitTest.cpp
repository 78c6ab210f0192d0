// Unit tests of the portable pieces: names, character sets, encryption, DOS times, records.
#include <gtest/gtest.h>

#include <set>

#include "Bytes.h"
#include "Names.h"
#include "Text.h"
#include "progress32.h"
#include "ZipCrypto.h"
#include "zipformat.h"

using namespace zc;

TEST(Wildcards, DosRules) {
  EXPECT_TRUE(WildMatch("*.*", "README"));
  EXPECT_TRUE(WildMatch("*.*", "a.b.c"));
  EXPECT_TRUE(WildMatch("*", "x"));
  EXPECT_TRUE(WildMatch("*.TXT", "notes.txt"));
  EXPECT_TRUE(WildMatch("n?tes.*", "NOTES"));
  EXPECT_TRUE(WildMatch("data.*", "data"));
  EXPECT_FALSE(WildMatch("*.txt", "notes.text"));
  EXPECT_FALSE(WildMatch("a?c", "ac"));
  EXPECT_TRUE(WildMatch("dir/*", "dir/sub/file"));
  EXPECT_FALSE(WildMatch("dir/*", "dir/sub/file", false));
  EXPECT_TRUE(WildMatch("dir\\*.bgl", "dir/x.bgl"));
  // Long patterns do not blow up.
  EXPECT_FALSE(WildMatch(std::string(200, '*') + "b", std::string(5000, 'a')));
}

TEST(SafePaths, RefusesEscapes) {
  std::string rel, why;
  EXPECT_TRUE(SafeRelativePath("dir/./sub//file.txt", rel, why));
  EXPECT_EQ(rel, "dir/sub/file.txt");
  EXPECT_TRUE(SafeRelativePath("dir\\file.txt", rel, why));
  EXPECT_EQ(rel, "dir/file.txt");
  EXPECT_FALSE(SafeRelativePath("../evil.txt", rel, why));
  EXPECT_FALSE(SafeRelativePath("dir/../../evil.txt", rel, why));
  EXPECT_FALSE(SafeRelativePath("..\\evil.txt", rel, why));
  EXPECT_FALSE(SafeRelativePath("/etc/passwd", rel, why));
  EXPECT_FALSE(SafeRelativePath("\\windows\\win.ini", rel, why));
  EXPECT_FALSE(SafeRelativePath("C:\\autoexec.bat", rel, why));
  EXPECT_FALSE(SafeRelativePath("c:evil", rel, why));
  EXPECT_FALSE(SafeRelativePath("file.txt:stream", rel, why));
  EXPECT_FALSE(SafeRelativePath("dir/.. /x", rel, why));
  EXPECT_FALSE(std::string(why).empty());
}

TEST(SafePaths, RefusesDeviceNamesInAnyFolder) {
  std::string rel, why;
  for (const char* n : {"nul.txt", "NUL", "dir/con", "a/Com1.dat", "lpt9", "aux .txt", "clock$"})
    EXPECT_FALSE(SafeRelativePath(n, rel, why)) << n;
  for (const char* n : {"null.txt", "console.txt", "com10", "com", "lpt0.txt", "dir/auxiliary.bgl"})
    EXPECT_TRUE(SafeRelativePath(n, rel, why)) << n;
}

TEST(AddPaths, Cleaned) {
  EXPECT_EQ(CleanAddPath("C:\\fs\\scenery\\a.bgl"), "fs/scenery/a.bgl");
  EXPECT_EQ(CleanAddPath("//server/share/dir/a"), "dir/a");
  EXPECT_EQ(CleanAddPath("./a/../b"), "a/b");
  EXPECT_EQ(CleanAddPath("/abs/x"), "abs/x");
}

TEST(DosNames, EightDotThree) {
  std::set<std::string> used;
  EXPECT_EQ(Dos83Name("readme.txt", used), "README.TXT");
  EXPECT_EQ(Dos83Name("Long File Name.text", used), "LONGFI~1.TEX");
  EXPECT_EQ(Dos83Name("Long File Nothing.text", used), "LONGFI~2.TEX");
  EXPECT_EQ(Dos83Name("a+b.c", used), "A_B~1.C");
  EXPECT_EQ(Dos83Name(".hidden", used), "HIDDEN~1");
}

TEST(DosTime, PackUnpack) {
  uint32_t t = PackDosTime(2004, 6, 1, 13, 45, 31);
  int y, mo, d, h, mi, s;
  UnpackDosTime(t, y, mo, d, h, mi, s);
  EXPECT_EQ(y, 2004);
  EXPECT_EQ(mo, 6);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(h, 13);
  EXPECT_EQ(mi, 45);
  EXPECT_EQ(s, 30);
  EXPECT_EQ(PackDosTime(1970, 1, 1, 0, 0, 0), PackDosTime(1980, 1, 1, 0, 0, 0));
}

TEST(CodePages, Oem437AndAnsi) {
  std::string bytes;
  ASSERT_TRUE(Utf8ToCp("Grüße", CodePage::Oem437, bytes));
  EXPECT_EQ(bytes, "Gr\x81\xE1" "e");
  EXPECT_EQ(CpToUtf8(bytes, CodePage::Oem437), "Grüße");
  EXPECT_FALSE(Utf8ToCp("Привет", CodePage::Oem437, bytes));
  ASSERT_TRUE(Utf8ToCp("café €", CodePage::Ansi1252, bytes));
  EXPECT_EQ(bytes, "caf\xE9 \x80");
  EXPECT_TRUE(IsValidUtf8("Привет"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));   // overlong '/'
  EXPECT_FALSE(IsValidUtf8("caf\xE9"));
}

TEST(Names, EncodedForTheArchive) {
  EncodedName ascii = EncodeName("dir/file.txt");
  EXPECT_EQ(ascii.bytes, "dir/file.txt");
  EXPECT_TRUE(ascii.extra.empty());   // no extra field that carries nothing
  EncodedName oem = EncodeName("Grüße.txt");
  EXPECT_EQ(oem.bytes, "Gr\x81\xE1" "e.txt");
  EXPECT_FALSE(oem.utf8);
  ASSERT_EQ(oem.extra.size(), 4u + 5u + std::string("Grüße.txt").size());
  EXPECT_EQ(Get16(reinterpret_cast<const uint8_t*>(oem.extra.data())), kExtraUnicodePath);
  EncodedName utf = EncodeName("Привет.txt");
  EXPECT_TRUE(utf.utf8);
  EXPECT_EQ(utf.bytes, "Привет.txt");

  // Reading it back: the Unicode path wins over the code page.
  Entry e;
  e.rawName = oem.bytes;
  e.extra = oem.extra;
  e.madeBy = kHostUnix << 8;
  EXPECT_EQ(DecodeName(e, NameRule::None), "Grüße.txt");
  // A stale Unicode path field (CRC of another name) is ignored.
  e.rawName = "Gr\x81\xE1" "x.txt";
  e.madeBy = kHostFat << 8;
  EXPECT_EQ(DecodeName(e, NameRule::Auto), "Grüßx.txt");
  EXPECT_EQ(DecodeName(e, NameRule::None), "Gr\xC2\x81\xC3\xA1x.txt");
}

TEST(Crypto, KnownKeysRoundTrip) {
  std::string plain = "The quick brown fox jumps over the lazy dog";
  std::vector<uint8_t> buf(plain.begin(), plain.end());
  ZipCrypto enc("secret");
  uint8_t header[12];
  MakeCryptHeader(enc, header, 0xAB, 42);
  enc.Encrypt(buf.data(), buf.size());
  EXPECT_NE(std::string(buf.begin(), buf.end()), plain);
  ZipCrypto dec("secret");
  dec.Decrypt(header, 12);
  EXPECT_EQ(header[11], 0xAB);
  dec.Decrypt(buf.data(), buf.size());
  EXPECT_EQ(std::string(buf.begin(), buf.end()), plain);
  EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926u);
}

TEST(Records, EndRecordLayout) {
  auto end = EndRecordBytes(3, 100, 2000, "hi");
  ASSERT_EQ(end.size(), 24u);
  EXPECT_EQ(Get32(end.data()), kEndSig);
  EXPECT_EQ(Get16(end.data() + 10), 3);
  EXPECT_EQ(Get32(end.data() + 12), 100u);
  EXPECT_EQ(Get32(end.data() + 16), 2000u);
  EXPECT_EQ(Get16(end.data() + 20), 2);
}

TEST(ByteReader, StopsAtTheEnd) {
  uint8_t b[5] = {1, 2, 3, 4, 5};
  ByteReader r(b, 5);
  EXPECT_EQ(r.U32(), 0x04030201u);
  EXPECT_TRUE(r.Ok());
  EXPECT_EQ(r.U16(), 0);
  EXPECT_FALSE(r.Ok());
  EXPECT_EQ(r.Bytes(1), nullptr);
}

// Sizes past 2 GiB reach the 32-bit event fields in units that keep every sum: a member's steps
// add up to its announced size, all sizes to the total, and nothing passes 2^31 - 1.
TEST(SizeScaler, SumsHoldPastTwoGiB) {
  for (std::vector<uint64_t> sizes : {std::vector<uint64_t>{3000, 0, 70000},
                                      std::vector<uint64_t>{3ull << 30, 1, (3ull << 30) - 1, 0, 12345},
                                      std::vector<uint64_t>{5ull << 32, 7, 1ull << 31}}) {
    zc::SizeScaler s;
    uint64_t total = 0;
    for (uint64_t n : sizes) total += n;
    uint64_t scaled_total = s.total(total), sum = 0;
    EXPECT_LE(scaled_total, 0x7FFFFFFFu);
    if (total <= 0x7FFFFFFF) EXPECT_EQ(scaled_total, total);
    for (uint64_t n : sizes) {
      uint64_t size = s.start(n), steps = 0;
      for (uint64_t left = n; left > 0;) {
        uint64_t step = std::min<uint64_t>(left, 3u << 20);
        uint32_t sent = s.done(step);
        EXPECT_LE(sent, 0x7FFFFFFFu);
        steps += sent;
        left -= step;
      }
      EXPECT_EQ(steps, size);
      sum += size;
    }
    EXPECT_EQ(sum, scaled_total);
  }
}
