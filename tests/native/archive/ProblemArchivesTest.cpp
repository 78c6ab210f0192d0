// Malformed archives: each named problem ends with a message id and never with a crash, and a
// mutation run over many damaged variants keeps the reader inside its buffers (this program
// runs under AddressSanitizer and UBSan).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "ZipMsg.h"
#include "ZipTestUtil.h"

using namespace ztest;

namespace {

const std::vector<Member> kMembers = {
    {"setup.cfg", "[setup]\nname=demo\n", ""},
    {"texture/plane.bmp", std::string(700, '\x11'), "bitmap"},
    {"sound/engine.wav", std::string(300, '\x22'), ""},
};

size_t CentralOffset(const Bytes& b) { return zip::Get32(&b[b.size() - 22 + 16]); }

}  // namespace

TEST(ProblemArchives, TruncatedEveryWhichWayNeverCrashes) {
    Bytes good = MakeArchive(kMembers, "comment");
    const size_t withoutComment = good.size() - 7;
    for (size_t len = 0; len < good.size(); ++len) {
        Bytes cut(good.begin(), good.begin() + len);
        auto L = List(cut);
        if (len == withoutComment) {
            // Only the comment is gone: the end record is the last 22 bytes and stands.
            EXPECT_EQ(L.error, 0);
            EXPECT_EQ(L.entries.size(), kMembers.size());
            continue;
        }
        EXPECT_NE(L.error, 0) << "cut at " << len;
        EXPECT_LE(L.entries.size(), kMembers.size());
    }
}

TEST(ProblemArchives, EntryCountThatLies) {
    Bytes b = MakeArchive(kMembers);
    zip::Put16(&b[b.size() - 22 + 10], 60000);  // far more than the directory holds
    auto L = List(b);
    EXPECT_EQ(L.error, ZIPMSG_CEH_READ);  // only the end record is left where a header should be
    EXPECT_EQ(L.entries.size(), 3u);

    Bytes fewer = MakeArchive(kMembers);
    zip::Put16(&fewer[fewer.size() - 22 + 10], 1);
    auto F = List(fewer);
    EXPECT_EQ(F.error, 0);
    EXPECT_EQ(F.entries.size(), 1u);
}

TEST(ProblemArchives, DirectoryLargerThanTheFile) {
    Bytes b = MakeArchive(kMembers);
    zip::Put32(&b[b.size() - 22 + 12], 0x7FFFFFFF);
    auto L = List(b);
    EXPECT_EQ(L.error, ZIPMSG_SEEK_LIST);
    EXPECT_TRUE(L.entries.empty());
}

TEST(ProblemArchives, OffsetsPastTheEnd) {
    Bytes b = MakeArchive(kMembers);
    zip::Put32(&b[b.size() - 22 + 16], 0xFFFFFF00);  // recorded directory offset
    auto L = List(b);
    EXPECT_TRUE(L.structureWarning);
    EXPECT_EQ(L.error, 0);
    EXPECT_GE(L.dataStart, 0);
    EXPECT_LE(L.dataStart, int64_t(b.size()));

    Bytes local = MakeArchive(kMembers);
    zip::Put32(&local[CentralOffset(local) + 42], 0xFFFFFFF0);  // first member's local header
    auto M = List(local);
    EXPECT_EQ(M.error, 0);
    EXPECT_EQ(M.entries[0].RelOffLocalHdr, 0xFFFFFFF0u);
}

TEST(ProblemArchives, ExtraAndCommentLengthsPastTheEnd) {
    Bytes b = MakeArchive(kMembers);
    size_t last = CentralOffset(b) + 46 + 9 + 46 + 17 + 6;  // third central header
    zip::Put16(&b[last + 30], 0xFFFF);                  // its extra length
    EXPECT_EQ(List(b).error, ZIPMSG_SEEK_LIST);

    Bytes c = MakeArchive(kMembers);
    zip::Put16(&c[last + 32], 0xFFFF);  // its comment length
    auto L = List(c);
    EXPECT_EQ(L.error, ZIPMSG_FILE_COMMENT);
    EXPECT_EQ(L.entries.size(), 3u);

    Bytes n = MakeArchive(kMembers);
    zip::Put16(&n[last + 28], 0xFFFF);  // its name length
    EXPECT_EQ(List(n).error, ZIPMSG_CEH_NAME);
}

TEST(ProblemArchives, ArchiveCommentLengthThatLies) {
    Bytes b = MakeArchive(kMembers, "short");
    zip::Put16(&b[b.size() - 5 - 2], 4000);
    auto L = List(b);
    EXPECT_EQ(L.error, ZIPMSG_NOT_A_ZIP);
}

TEST(ProblemArchives, DangerousNamesAreListedAsTheyAre) {
    std::vector<Member> m = {{"../../evil.txt", "x", ""}, {"..\\up.txt", "y", ""}, {"/etc/passwd", "z", ""},
                             {"C:\\autoexec.bat", "w", ""}, {"c:/windows/win.ini", "v", ""}};
    auto L = List(MakeArchive(m));
    ASSERT_EQ(L.error, 0);
    ASSERT_EQ(L.entries.size(), 5u);
    EXPECT_EQ(L.entries[0].FileName, "..\\..\\evil.txt");
    EXPECT_EQ(L.entries[1].FileName, "..\\up.txt");
    EXPECT_EQ(L.entries[2].FileName, "\\etc\\passwd");
    EXPECT_EQ(L.entries[3].FileName, "C:\\autoexec.bat");
    EXPECT_EQ(L.entries[4].FileName, "c:\\windows\\win.ini");
}

TEST(ProblemArchives, SeveralEndRecordSignaturesNearestTheEndWins) {
    // A member whose data contains an end record signature: the real record is after it.
    std::string fake = "PK\x05\x06";
    fake += std::string(18, '\0');
    Bytes b = MakeArchive({{"trap.bin", fake, ""}}, "x");
    auto L = List(b);
    EXPECT_EQ(L.error, 0);
    EXPECT_EQ(L.entries.size(), 1u);
    EXPECT_EQ(L.end.comment, "x");
}

TEST(ProblemArchives, MutationsStayInBounds) {
    Bytes good = MakeArchive(kMembers, "a comment that is there");
    std::mt19937 rng(20040601);
    int failures = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes b = good;
        int edits = 1 + int(rng() % 6);
        for (int e = 0; e < edits; ++e) {
            size_t at = rng() % b.size();
            switch (rng() % 4) {
            case 0: b[at] = uint8_t(rng()); break;
            case 1: b[at] = 0xFF; break;
            case 2: b.resize(at + 1); break;
            case 3: b.insert(b.begin() + at, uint8_t(rng())); break;
            }
            if (b.empty()) break;
        }
        auto L = List(b);
        if (L.error) ++failures;
        ASSERT_LE(L.entries.size(), 65535u);
        ASSERT_GE(L.dataStart, 0);
        ASSERT_LE(L.dataStart, int64_t(b.size()));
    }
    EXPECT_GT(failures, 0);  // the mutations did reach the error paths
}

// The engine's kept problem archives through the component's List. The component lists what it
// can read and leaves judging the members to the engine, so it says less often that something
// is wrong; where it and the engine (EngineProblemsTest) disagree, the line says why.
TEST(ProblemArchives, TheEnginesProblemsThroughList) {
    const std::map<std::string, int> expected = {
        // Refused by both.
        {"bad_central_signature.zip", ZIPMSG_CEH_SIG},
        {"cd_size_past_start.zip", ZIPMSG_SEEK_LIST},
        {"huge_number_entries.zip", ZIPMSG_CEH_READ},
        {"incorrect_number_entries.zip", ZIPMSG_CEH_READ},
        {"name_length_past_directory.zip", ZIPMSG_CEH_NAME},
        {"not_an_archive.zip", ZIPMSG_NOT_A_ZIP},
        {"truncated_central_directory.zip", ZIPMSG_NOT_A_ZIP},
        {"truncated_member_data.zip", ZIPMSG_NOT_A_ZIP},
        {"zip64_locator.zip", ZIPMSG_CEH_SIG},
        {"empty_archive.zip", 0},
        // The directory is read where it lies, with the structure warning; the engine refuses
        // to rewrite offsets it cannot trust.
        {"cd_offset_past_end.zip", ZIPMSG_STRUCTURE},
        // The last disk of a set whose directory is on it: the component reads disk sets
        // itself, the engine only joined ones.
        {"spanned_disk_number.zip", 0},
        // A comment longer than the file holds belongs to no end record for List; the engine
        // reads such an archive, since a cut comment loses nothing of the members.
        {"end_record_comment_too_long.zip", ZIPMSG_NOT_A_ZIP},
        // List reads only the central directory: local headers, member data, sizes, methods
        // and names are judged by the engine when it extracts.
        {"local_offset_past_end.zip", 0},
        {"bad_local_signature.zip", 0},
        {"bad_deflate_data.zip", 0},
        {"compressed_size_past_end.zip", 0},
        {"uncompressed_size_too_small.zip", 0},
        {"uncompressed_size_too_large.zip", 0},
        {"unsupported_method_lzma.zip", 0},
        {"wrong_crc.zip", 0},
        {"absolute_backslash_name.zip", 0},
        {"absolute_path_name.zip", 0},
        {"dot_dot_backslash_name.zip", 0},
        {"dot_dot_slash_name.zip", 0},
        {"drive_letter_name.zip", 0},
        {"drive_relative_name.zip", 0},
        {"nested_dot_dot_name.zip", 0},
    };
    int seen = 0;
    for (const auto& p : std::filesystem::directory_iterator(PROBLEMS_DIR)) {
        if (p.path().extension() != ".zip") continue;
        std::ifstream in(p.path(), std::ios::binary);
        Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        zip::MemorySource src(b);
        ZipListing L = ReadZipListing(src);
        const std::string name = p.path().filename().string();
        int got = L.error ? L.error : L.structureWarning ? ZIPMSG_STRUCTURE : L.end.garbage ? ZIPMSG_GARBAGE : 0;
        auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << name << " has no expectation";
        EXPECT_EQ(got, it->second) << name;
        ++seen;
    }
    EXPECT_EQ(seen, int(expected.size()));
}
