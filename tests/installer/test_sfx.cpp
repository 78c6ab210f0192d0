// The self-extractor's layout: the header the archive component writes, where the stub ends,
// and finding header and archive with offsets shifted or not.
#include <gtest/gtest.h>

#include "InstallerTest.h"
#include "SfxLayout.h"
#include "SpanFormat.h"
#include "zipformat.h"

using namespace kit;
using namespace installer_test;

TEST(SfxHeader, ReadsWhatTheArchiveComponentWrites) {
    std::array<uint8_t, zip::kSfxHeaderSize> written;
    ASSERT_TRUE(zip::BuildSfxHeader(zip::kSfxAskFiles | zip::kSfxOverwriteAlways | zip::kSfxAutoRun,
                                       "Self-extracting Archive", "C:\\Games\\Demo", "readme.txt", written));
    SfxHeader h;
    std::string why;
    ASSERT_TRUE(ParseSfxHeader(written.data(), written.size(), h, why)) << why;
    EXPECT_EQ(h.caption, "Self-extracting Archive");
    EXPECT_EQ(h.defaultDir, "C:\\Games\\Demo");
    EXPECT_EQ(h.commandLine, "readme.txt");
    EXPECT_TRUE(h.AskFiles());
    EXPECT_FALSE(h.AskCmdLine());
    EXPECT_TRUE(h.AutoRun());
    EXPECT_FALSE(h.HideOverwriteBox());
    EXPECT_EQ(h.OverwriteRule(), Overwrite::Always);
    // SFXCheckSize is on unless its "not set" bit is there.
    EXPECT_TRUE(h.CheckSize());

    // And the same bytes come out of this side's writer.
    uint8_t mine[kSfxHeaderSize];
    ASSERT_TRUE(BuildSfxHeader(h, mine));
    EXPECT_EQ(0, std::memcmp(mine, written.data(), kSfxHeaderSize));
}

TEST(SfxHeader, OptionBits) {
    uint8_t b[kSfxHeaderSize];
    SfxHeader in;
    SfxHeader out;
    std::string why;
    in.bits = kSfxNoCheckSize | kSfxHideOverwriteBox | kSfxAskCmdLine;
    ASSERT_TRUE(BuildSfxHeader(in, b));
    ASSERT_TRUE(ParseSfxHeader(b, sizeof b, out, why));
    EXPECT_FALSE(out.CheckSize());
    EXPECT_TRUE(out.HideOverwriteBox());
    EXPECT_TRUE(out.AskCmdLine());
    EXPECT_EQ(out.OverwriteRule(), Overwrite::Confirm);
    EXPECT_EQ(out.caption, "");
    in.bits = kSfxOverwriteNever;
    BuildSfxHeader(in, b);
    ParseSfxHeader(b, sizeof b, out, why);
    EXPECT_EQ(out.OverwriteRule(), Overwrite::Never);
    // Both rule bits cannot come from one setting; the rule that loses nothing wins.
    in.bits = kSfxOverwriteNever | kSfxOverwriteAlways;
    BuildSfxHeader(in, b);
    ParseSfxHeader(b, sizeof b, out, why);
    EXPECT_EQ(out.OverwriteRule(), Overwrite::Never);
}

TEST(SfxHeader, LengthLimitsAndDamage) {
    SfxHeader h;
    uint8_t b[kSfxHeaderSize];
    h.caption = std::string(200, 'c');
    h.defaultDir = std::string(40, 'd');
    h.commandLine = std::string(9, 'x');   // 249 in all: the most there is room for
    ASSERT_TRUE(BuildSfxHeader(h, b));
    SfxHeader back;
    std::string why;
    ASSERT_TRUE(ParseSfxHeader(b, sizeof b, back, why));
    EXPECT_EQ(back.commandLine, h.commandLine);
    h.commandLine += 'x';
    EXPECT_FALSE(BuildSfxHeader(h, b));

    // Lengths that run past the header, a wrong mark, a short header: refused, with a reason.
    uint8_t bad[kSfxHeaderSize] = {'S', 'K', 'X', 0, 200, 40, 20};
    EXPECT_FALSE(ParseSfxHeader(bad, sizeof bad, back, why));
    EXPECT_NE(why.find("do not fit"), std::string::npos);
    uint8_t mark[kSfxHeaderSize] = {'S', 'K', 'Y'};
    EXPECT_FALSE(ParseSfxHeader(mark, sizeof mark, back, why));
    EXPECT_FALSE(ParseSfxHeader(b, 100, back, why));
}

class SfxLocate : public ::testing::Test {
protected:
    void SetUp() override {
        stub = ReadBytes(DistFile("SFXSTUB.BIN"));
        zip = ReadBytes(Fixture("infozip_tree.zip"));
        SfxHeader h;
        h.caption = "Demo Archive";
        h.defaultDir = "C:\\Demo";
        ASSERT_TRUE(BuildSfxHeader(h, header));
    }
    std::vector<uint8_t> stub, zip;
    uint8_t header[kSfxHeaderSize];
};

TEST_F(SfxLocate, TheShippedStubEndsWhereItsFileEnds) {
    // The archive component copies the stub whole; the header must start right after the
    // stub's own image, so the stub carries nothing behind it.
    MemFile f(stub);
    EXPECT_EQ(ProgramImageEnd(f), stub.size());
    MemFile notAProgram(zip);
    EXPECT_EQ(ProgramImageEnd(notAProgram), 0u);
}

TEST_F(SfxLocate, FindsHeaderAndArchiveWithOffsetsShiftedOrNot) {
    for (bool shift : {true, false}) {
        MemFile f(SelfExtractor(stub, header, zip, shift));
        SfxLocation where;
        ASSERT_TRUE(LocateSfxHeader(f, where)) << shift;
        EXPECT_EQ(where.headerPos, stub.size());
        EXPECT_EQ(where.header.caption, "Demo Archive");
        EXPECT_EQ(where.header.defaultDir, "C:\\Demo");
        zc::Directory d = zc::ReadDirectory(f);
        EXPECT_EQ(d.dataStart, stub.size() + kSfxHeaderSize) << shift;
        ASSERT_EQ(d.entries.size(), 6u);   // three folders, three files
        // Every member's data is where its header says, whichever way the offsets count.
        for (const zc::Entry& e : d.entries) EXPECT_NO_THROW(zip::DataOffset(f, e, d.fileSize)) << e.name;
    }
}

TEST_F(SfxLocate, AStubWithDataBehindItsImageIsFoundThroughTheArchive) {
    std::vector<uint8_t> padded = stub;
    padded.insert(padded.end(), 1000, 0xCC);   // a signature block, say
    MemFile f(SelfExtractor(padded, header, zip, true));
    SfxLocation where;
    ASSERT_TRUE(LocateSfxHeader(f, where));
    EXPECT_EQ(where.headerPos, padded.size());
    EXPECT_EQ(where.header.caption, "Demo Archive");
}

TEST_F(SfxLocate, NoHeaderNoArchive) {
    MemFile alone(stub);
    SfxLocation where;
    EXPECT_FALSE(LocateSfxHeader(alone, where));
    EXPECT_FALSE(where.hasHeader);
    EXPECT_THROW(zc::ReadDirectory(alone), zip::ZipError);

    // A header but an archive cut off before its end record: the header is still found (so
    // the stub can say whose archive is missing), the directory is not.
    std::vector<uint8_t> cut = SelfExtractor(stub, header, zip, true);
    cut.resize(stub.size() + kSfxHeaderSize + 300);
    MemFile truncated(cut);
    ASSERT_TRUE(LocateSfxHeader(truncated, where));
    EXPECT_FALSE(HasArchiveAfter(truncated, where.headerPos + kSfxHeaderSize));
    EXPECT_THROW(zc::ReadDirectory(truncated), zip::ZipError);

    // The whole one has its archive, also with a comment behind the end record.
    std::vector<uint8_t> whole = SelfExtractor(stub, header, zip, true);
    MemFile complete(whole);
    EXPECT_TRUE(HasArchiveAfter(complete, stub.size() + kSfxHeaderSize));
    whole[whole.size() - 2] = 5;   // comment length 5
    whole.insert(whole.end(), {'h', 'e', 'l', 'l', 'o'});
    MemFile commented(whole);
    EXPECT_TRUE(HasArchiveAfter(commented, stub.size() + kSfxHeaderSize));
    EXPECT_FALSE(HasArchiveAfter(commented, whole.size() - 10));
}
