// List through the component: messages, DataStart, the comment and OnDirUpdate on the
// archives of the listing's edge cases, written to real files.
#include "../native/archive/ZipTestUtil.h"
#include "ComponentTest.h"

using namespace testing_support;

namespace {

const std::vector<ztest::Member> kMembers = {{"readme.txt", "hello", ""}, {"dir/a.bin", std::string(300, 'x'), "note"}};

std::string Str(const ztest::Bytes& b) { return std::string(b.begin(), b.end()); }

class ListTest : public ComponentTest {
protected:
    TZipPacker z;
    int updates = 0;
    std::vector<std::string> messages;
    void SetUp() override {
        ComponentTest::SetUp();
        z.OnDirUpdate = [&](TObject*) { ++updates; };
        z.OnMessage = [&](TObject*, int, const std::string& m) { messages.push_back(m); };
    }
    void Open(const std::string& bytes, const std::string& name = "a.zip") {
        WriteFile(scratch / name, bytes);
        z.SetZipFileName(scratch / name);
    }
};

}  // namespace

TEST_F(ListTest, ArchiveOf22Bytes) {
    Open(Str(ztest::MakeArchive({})));
    EXPECT_EQ(z.GetCount(), 0);
    EXPECT_EQ(z.DataStart(), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(z.ZipFileName(), scratch / "a.zip");
}

TEST_F(ListTest, MembersAndTheirFields) {
    Open(Str(ztest::MakeArchive(kMembers)));
    ASSERT_EQ(z.GetCount(), 2);
    EXPECT_EQ(z.DirEntry(1).FileName, "dir\\a.bin");
    EXPECT_EQ(z.DirEntry(1).FileComment, "note");
    EXPECT_EQ(z.DirEntry(1).UncomprSize, 300u);
    EXPECT_EQ(z.DataStart(), 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ListTest, CommentOf300Bytes) {
    std::string comment(300, 'c');
    comment[0] = 'A';
    Open(Str(ztest::MakeArchive(kMembers, comment)));
    EXPECT_EQ(z.GetZipComment(), comment);
    EXPECT_EQ(z.GetCount(), 2);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ListTest, ZeroFillGivesNoWarningButGarbageDoes) {
    ztest::Bytes b = ztest::MakeArchive(kMembers);
    b.resize((b.size() / 512 + 1) * 512, 0);
    Open(Str(b));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(z.GetCount(), 2);

    ztest::Bytes g = ztest::MakeArchive(kMembers);
    for (int i = 0; i < 100; ++i) g.push_back(uint8_t('g'));
    Open(Str(g), "g.zip");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "Warning - Garbage at the end of the zipfile!");
    EXPECT_EQ(z.GetCount(), 2);  // the listing went on
    EXPECT_EQ(z.ZipFileName(), scratch / "g.zip");
}

TEST_F(ListTest, StubWithoutShiftedOffsets) {
    ztest::Bytes b(3000, 'M');
    ztest::Bytes zip = ztest::MakeArchive(kMembers);
    b.insert(b.end(), zip.begin(), zip.end());
    Open(Str(b), "sfx.exe");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "Warning - Error in zip structure!");
    EXPECT_EQ(z.ErrorCode, ZIPMSG_STRUCTURE);
    EXPECT_TRUE(z.StructureWarning());
    EXPECT_EQ(z.DataStart(), 3000);
    EXPECT_EQ(z.GetCount(), 2);
}

TEST_F(ListTest, NotAnArchive) {
    Open(std::string(2000, 'T'), "text.txt");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "This archive is not a valid Zip archive");
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NOT_A_ZIP);
    EXPECT_EQ(z.ZipFileName(), "");
    EXPECT_EQ(z.DataStart(), 0);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(ListTest, TruncatedDirectoryKeepsWhatWasRead) {
    ztest::Bytes b = ztest::MakeArchive(kMembers);
    zip::Put16(&b[b.size() - 22 + 10], 3);  // one entry more than there is
    Open(Str(b));
    EXPECT_EQ(z.ErrorCode, ZIPMSG_CEH_READ);
    EXPECT_EQ(z.ZipFileName(), "");
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(ListTest, FileThatDoesNotExistYet) {
    z.SetZipFileName(scratch / "new.zip");
    EXPECT_EQ(z.GetCount(), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(z.ZipFileName(), scratch / "new.zip");
}

TEST_F(ListTest, UnattendedListingReportsWithoutBoxes) {
    z.Unattended = true;
    ztest::Bytes g = ztest::MakeArchive(kMembers);
    g.push_back('!');
    Open(Str(g));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(z.ErrorCode, ZIPMSG_GARBAGE);
    ASSERT_EQ(messages.size(), 1u);
}

TEST_F(ListTest, DesignTimeReadsNothing) {
    z.Designing = true;
    WriteFile(scratch / "a.zip", Str(ztest::MakeArchive(kMembers)));
    z.SetZipFileName(scratch / "a.zip");
    EXPECT_EQ(z.GetCount(), 0);
    EXPECT_EQ(updates, 0);
}

TEST_F(ListTest, OemNamesFromDosArchivesAreConverted) {
    // 0x81 is u-umlaut in the OEM code page 437 and 0xFC in the ANSI one.
    std::vector<ztest::Member> m = {{std::string("M\x81nchen.txt"), "x", "", 0, 20}};
    Open(Str(ztest::MakeArchive(m)));
    ASSERT_EQ(z.GetCount(), 1);
    char expected[2] = {0, 0};
    char oem[2] = {char(0x81), 0};
    OemToCharBuffA(oem, expected, 1);
    EXPECT_EQ(z.DirEntry(0).FileName, std::string("M") + expected[0] + "nchen.txt");
    z.CodePage = cpNone;
    z.List();
    EXPECT_EQ(z.DirEntry(0).FileName, std::string("M\x81nchen.txt"));
}
