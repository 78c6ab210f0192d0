// The directory reader on the archives users bring: the layouts of the listing's edge cases,
// and archives written by Info-ZIP zip, 7-Zip and Python's zipfile.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ZipMsg.h"
#include "ZipTestUtil.h"

using namespace ztest;
namespace fs = std::filesystem;

namespace {

Bytes ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

const std::vector<Member> kTwo = {{"readme.txt", "hello", ""}, {"dir/a.bin", std::string(300, 'x'), "note"}};

}  // namespace

TEST(EndRecord, EmptyArchiveOf22BytesListsNothingAndStartsAtZero) {
    Bytes b = MakeArchive({});
    ASSERT_EQ(b.size(), 22u);
    auto L = List(b);
    EXPECT_EQ(L.error, 0);
    EXPECT_TRUE(L.end.found);
    EXPECT_TRUE(L.entries.empty());
    EXPECT_EQ(L.dataStart, 0);
    EXPECT_FALSE(L.structureWarning);
}

TEST(EndRecord, CommentOf300BytesIsFoundByTheBackwardSearch) {
    std::string comment;
    for (int i = 0; i < 300; ++i) comment += char('a' + i % 26);
    auto L = List(MakeArchive(kTwo, comment));
    ASSERT_EQ(L.error, 0);
    EXPECT_EQ(L.end.comment, comment);
    EXPECT_FALSE(L.end.garbage);
    ASSERT_EQ(L.entries.size(), 2u);
    EXPECT_EQ(L.entries[1].FileName, "dir\\a.bin");
    EXPECT_EQ(L.entries[1].FileComment, "note");
}

TEST(EndRecord, ZeroFillToAMultipleOf512IsNoGarbage) {
    Bytes b = MakeArchive(kTwo);
    b.resize((b.size() / 512 + 1) * 512, 0);
    auto L = List(b);
    EXPECT_EQ(L.error, 0);
    EXPECT_FALSE(L.end.garbage);
    EXPECT_EQ(L.entries.size(), 2u);
}

TEST(EndRecord, OtherTrailingBytesAreGarbageAndTheListingGoesOn) {
    Bytes b = MakeArchive(kTwo);
    size_t archive = b.size();
    for (int i = 0; i < 100; ++i) b.push_back(uint8_t(i + 1));
    auto L = List(b);
    EXPECT_EQ(L.error, 0);
    EXPECT_TRUE(L.end.garbage);
    EXPECT_EQ(L.end.usableSize, archive);
    EXPECT_EQ(L.entries.size(), 2u);
    EXPECT_FALSE(L.structureWarning);

    // Zero fill that does not end on a multiple of 512 is garbage too.
    Bytes z = MakeArchive(kTwo);
    z.resize(z.size() + 100, 0);
    if (z.size() % 512 == 0) z.push_back(0);
    EXPECT_TRUE(List(z).end.garbage);
}

TEST(EndRecord, StubInFrontWithoutShiftedOffsetsWarnsAndFindsTheDataStart) {
    Bytes stub(1000, 'M');
    Bytes zip = MakeArchive(kTwo);
    stub.insert(stub.end(), zip.begin(), zip.end());
    auto L = List(stub);
    EXPECT_EQ(L.error, 0);
    EXPECT_TRUE(L.structureWarning);
    EXPECT_EQ(L.dataStart, 1000);
    EXPECT_EQ(L.entries.size(), 2u);

    // With the offsets shifted properly there is nothing to warn about.
    Bytes good(1000, 'M');
    Bytes shifted = MakeArchive(kTwo, "", 1000);
    good.insert(good.end(), shifted.begin(), shifted.end());
    auto G = List(good);
    EXPECT_FALSE(G.structureWarning);
    EXPECT_EQ(G.dataStart, 1000);
}

TEST(EndRecord, EmptyArchiveBehindAStubStartsAfterTheStub) {
    Bytes sfx(4096 + 256, 'S');
    Bytes end = MakeArchive({}, "", 4096 + 256);
    sfx.insert(sfx.end(), end.begin(), end.end());
    auto L = List(sfx);
    EXPECT_EQ(L.error, 0);
    EXPECT_FALSE(L.structureWarning);
    EXPECT_EQ(L.dataStart, 4096 + 256);
}

TEST(EndRecord, NonArchivesTellWhatTheyAre) {
    Bytes text(5000, 'T');
    EXPECT_EQ(List(text).error, ZIPMSG_NOT_A_ZIP);
    EXPECT_EQ(List(Bytes{'P', 'K'}).error, ZIPMSG_NOT_A_ZIP);
    EXPECT_EQ(List(Bytes{}).error, ZIPMSG_NOT_A_ZIP);

    // The first part of a spanned set: a file, or the first disk of a labelled set.
    Bytes first;
    Put32(first, zip::kSpanMarkerSig);
    Put32(first, zip::kLocalSig);
    first.resize(200, 'd');
    EXPECT_EQ(List(first).error, ZIPMSG_FIRST_FILE);
    ZipListOptions labelled;
    labelled.labelDisk = 1;
    EXPECT_EQ(List(first, labelled).error, ZIPMSG_FIRST_DISK);
    labelled.labelDisk = 3;
    EXPECT_EQ(List(text, labelled).error, ZIPMSG_NTH_DISK);
}

TEST(EndRecord, SpannedDirectoryOnAnotherDiskNeedsItsDisk) {
    Bytes b = MakeArchive(kTwo);
    b[b.size() - 22 + 4] = 2;  // this disk 2, directory on disk 0
    auto L = List(b);
    EXPECT_EQ(L.error, ZIPMSG_CEH_READ);
    EXPECT_EQ(L.end.record.ThisDiskNo, 2);

    // Given the disks, the directory is read across them.
    Bytes whole = MakeArchive(kTwo);
    ZipListOptions opt;
    zip::MemorySource disk0(whole);
    opt.diskSource = [&](int d) -> zip::ByteSource* { return d == 0 ? &disk0 : nullptr; };
    auto S = List(b, opt);
    EXPECT_EQ(S.error, 0);
    EXPECT_EQ(S.entries.size(), 2u);
}

TEST(CodePage, OemNamesAreConvertedByHostAndMode) {
    std::array<char, 128> table;
    for (int i = 0; i < 128; ++i) table[i] = char(0xC0 + (i % 32));
    std::vector<Member> m = {{std::string("caf\x82.txt"), "x", "", 0, 20}, {std::string("n\x82w.txt"), "y", "", 3, 30}};
    ZipListOptions opt;
    opt.oemTable = &table;
    auto L = List(MakeArchive(m), opt);
    ASSERT_EQ(L.entries.size(), 2u);
    EXPECT_EQ(L.entries[0].FileName, std::string("caf\xC2.txt"));  // FAT: OEM
    EXPECT_EQ(L.entries[1].FileName, std::string("n\x82w.txt"));   // Unix: as stored
    EXPECT_EQ(L.lastHost, 3);
    opt.codePage = zip::NameRule::None;
    EXPECT_EQ(List(MakeArchive(m), opt).entries[0].FileName, std::string("caf\x82.txt"));
    opt.codePage = zip::NameRule::Oem;
    EXPECT_EQ(List(MakeArchive(m), opt).entries[1].FileName, std::string("n\xC2w.txt"));

    EXPECT_TRUE(zip::ListingOemByHost(zip::NameRule::Auto, 6, 20));
    EXPECT_TRUE(zip::ListingOemByHost(zip::NameRule::Auto, 11, 50));
    EXPECT_FALSE(zip::ListingOemByHost(zip::NameRule::Auto, 11, 20));
}

// Archives written by the peers users have: each listing is compared with what Python's
// zipfile reads from the same file.
class PeerArchives : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zipformat_peers_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "src" / "sub" / "deep");
        std::ofstream(dir / "src" / "empty.txt");
        std::ofstream(dir / "src" / "text.txt") << std::string(20000, 'a') << "end";
        std::ofstream r(dir / "src" / "sub" / "deep" / "random.bin", std::ios::binary);
        uint32_t x = 12345;
        for (int i = 0; i < 50000; ++i) r.put(char((x = x * 1103515245 + 12345) >> 24));
    }
    void TearDown() override { fs::remove_all(dir); }

    int Run(const std::string& cmd) { return std::system(("cd '" + dir.string() + "' && (" + cmd + ") >/dev/null 2>&1").c_str()); }

    // name, crc, size, compressed size, extra field length, comment per line, as Python reads
    // them.
    std::vector<std::string> PythonView(const fs::path& zip) {
        fs::path out = dir / "view.txt";
        std::string py =
            "import zipfile,sys\n"
            "z=zipfile.ZipFile(sys.argv[1])\n"
            "o=open(sys.argv[2],'w')\n"
            "o.write('comment=%s\\n' % z.comment.hex())\n"
            "for i in z.infolist(): o.write('%s|%08x|%d|%d|%d|%s\\n' % (i.filename.replace('/','\\\\'), i.CRC, i.file_size, i.compress_size, len(i.extra), i.comment.hex()))\n";
        std::ofstream(dir / "view.py") << py;
        EXPECT_EQ(Run("python3 view.py '" + zip.string() + "' '" + out.string() + "'"), 0);
        std::vector<std::string> lines;
        std::ifstream f(out);
        for (std::string l; std::getline(f, l);) lines.push_back(l);
        return lines;
    }

    static std::string Hex(const std::string& s) {
        std::string h;
        char buf[3];
        for (unsigned char c : s) snprintf(buf, sizeof buf, "%02x", c), h += buf;
        return h;
    }

    void ExpectSameAsPython(const fs::path& zip, size_t expectedCount) {
        Bytes b = ReadFile(zip);
        ASSERT_FALSE(b.empty()) << zip;
        auto L = List(b);
        ASSERT_EQ(L.error, 0) << zip;
        EXPECT_FALSE(L.structureWarning);
        EXPECT_FALSE(L.end.garbage);
        EXPECT_EQ(L.dataStart, 0);
        auto view = PythonView(zip);
        ASSERT_EQ(view.size(), L.entries.size() + 1);
        EXPECT_EQ(L.entries.size(), expectedCount);
        EXPECT_EQ(view[0], "comment=" + Hex(L.end.comment));
        for (size_t i = 0; i < L.entries.size(); ++i) {
            const auto& e = L.entries[i];
            char line[600];
            snprintf(line, sizeof line, "%s|%08x|%u|%u|%u|%s", e.FileName.c_str(), e.CRC32, e.UncomprSize, e.ComprSize,
                     unsigned(e.ExtraFieldLength), Hex(e.FileComment).c_str());
            EXPECT_EQ(view[i + 1], line);
        }
    }
};

TEST_F(PeerArchives, InfoZipDeflatedStoredAndCommented) {
    ASSERT_EQ(Run("cd src && zip -q -r -9 ../deflated.zip ."), 0);
    ExpectSameAsPython(dir / "deflated.zip", 5);  // 3 files, 2 directories
    ASSERT_EQ(Run("cd src && zip -q -r -0 -D ../stored.zip ."), 0);
    ExpectSameAsPython(dir / "stored.zip", 3);
    ASSERT_EQ(Run("cp deflated.zip commented.zip && printf 'Package of the week\\n' | zip -q -z commented.zip"), 0);
    ExpectSameAsPython(dir / "commented.zip", 5);
    EXPECT_EQ(List(ReadFile(dir / "commented.zip")).end.comment, "Package of the week");
    // Written to a pipe, zip uses data descriptors.
    ASSERT_EQ(Run("cd src && zip -q -r - . | cat > ../streamed.zip"), 0);
    ExpectSameAsPython(dir / "streamed.zip", 5);
    auto S = List(ReadFile(dir / "streamed.zip"));
    EXPECT_TRUE(S.entries.at(1).Flag & 8);
}

TEST_F(PeerArchives, InfoZipZip64) {
    // Forced ZIP64, and a member from standard input (ZIP64 local fields and end record).
    ASSERT_EQ(Run("cd src && zip -q -fz -r ../fz.zip ."), 0);
    ExpectSameAsPython(dir / "fz.zip", 5);
    ASSERT_EQ(Run("cd src && zip -q -r ../stdin.zip . && echo piped | zip -q ../stdin.zip -"), 0);
    ExpectSameAsPython(dir / "stdin.zip", 6);
    EXPECT_FALSE(List(ReadFile(dir / "fz.zip")).structureWarning);
}

TEST_F(PeerArchives, SevenZip) {
    ASSERT_EQ(Run("cd src && 7z a -tzip -mx=9 ../seven.zip ."), 0);
    ExpectSameAsPython(dir / "seven.zip", 5);
    ASSERT_EQ(Run("cd src && 7z a -tzip -mx=0 ../seven0.zip ."), 0);
    ExpectSameAsPython(dir / "seven0.zip", 5);
}

TEST_F(PeerArchives, PythonStoredDeflatedDescriptorsAndComments) {
    std::string py =
        "import zipfile,io\n"
        "with zipfile.ZipFile('py.zip','w') as z:\n"
        "  z.comment=b'archive comment'\n"
        "  i=zipfile.ZipInfo('stored.txt'); i.comment=b'first'; z.writestr(i,'plain text', zipfile.ZIP_STORED)\n"
        "  i=zipfile.ZipInfo('a/b/deflated.txt'); i.comment=b'second'; z.writestr(i,'x'*10000, zipfile.ZIP_DEFLATED)\n"
        "  z.writestr('empty/', b'')\n"
        "class W(io.RawIOBase):\n"
        "  def __init__(s,f): s.f=f\n"
        "  def writable(s): return True\n"
        "  def write(s,b): return s.f.write(b)\n"
        "with open('desc.zip','wb') as f:\n"
        "  with zipfile.ZipFile(W(f),'w',zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr('one.txt','1'*5000)\n"
        "    with z.open('two.txt','w') as m: m.write(b'2'*7000)\n";
    std::ofstream(dir / "make.py") << py;
    ASSERT_EQ(Run("python3 make.py"), 0);
    ExpectSameAsPython(dir / "py.zip", 3);
    ExpectSameAsPython(dir / "desc.zip", 2);
    auto D = List(ReadFile(dir / "desc.zip"));
    EXPECT_TRUE(D.entries.at(1).Flag & 8);
}
