// The engine's problem archives through the self-extractor's and the installer's reading path
// (directory, plan, unpack into a scratch folder): each is read or refused without a crash,
// and nothing is written outside the target folder nor left under a temporary name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "SfxRun.h"

namespace fs = std::filesystem;

namespace {

// What the self-extractor makes of an archive.
enum class Verdict {
    Refused,  // the directory cannot be read: nothing is planned
    LeftOut,  // read; some members are not written (listed as problems)
    Clean,    // read; every member written
};

}  // namespace

TEST(SfxProblems, EachKeptArchiveIsReadOrRefusedInsideTheFolder) {
    // Beside each, the engine's first message for it (tests/native/engine/EngineProblemsTest.cpp).
    // The same reader decides, so the verdicts agree but in two ways, both deliberate: where
    // the end record's count is wrong the engine warns first and the self-extractor unpacks the
    // members found without a word; and damage to one member's data the engine may find while
    // checking member ranges before it writes anything, where the self-extractor, which has
    // already checked the space for the whole archive, finds it member by member and lists it.
    const std::map<std::string, Verdict> expected = {
        {"truncated_central_directory.zip", Verdict::Refused},  // kNoArchive
        {"truncated_member_data.zip", Verdict::Refused},        // kNoArchive
        {"incorrect_number_entries.zip", Verdict::Clean},       // kFormat warning, members read
        {"huge_number_entries.zip", Verdict::Clean},            // kFormat warning, members read
        {"cd_offset_past_end.zip", Verdict::Refused},           // kFormat
        {"cd_size_past_start.zip", Verdict::Refused},           // kFormat
        {"local_offset_past_end.zip", Verdict::Refused},        // kFormat
        {"name_length_past_directory.zip", Verdict::Refused},   // kFormat
        {"compressed_size_past_end.zip", Verdict::LeftOut},     // kFormat
        {"uncompressed_size_too_small.zip", Verdict::LeftOut},  // kFormat
        {"uncompressed_size_too_large.zip", Verdict::LeftOut},  // kFormat
        {"bad_local_signature.zip", Verdict::LeftOut},          // kFormat
        {"bad_central_signature.zip", Verdict::Refused},        // kFormat
        {"bad_deflate_data.zip", Verdict::LeftOut},             // kEof
        {"unsupported_method_lzma.zip", Verdict::LeftOut},      // kUnsupported
        {"spanned_disk_number.zip", Verdict::Refused},          // kUnsupported
        {"zip64_locator.zip", Verdict::Refused},                // kFormat
        {"wrong_crc.zip", Verdict::LeftOut},                    // kBadCrc
        {"empty_archive.zip", Verdict::Clean},                  // kNothing
        {"not_an_archive.zip", Verdict::Refused},               // kNoArchive
        {"end_record_comment_too_long.zip", Verdict::Clean},    // kNothing
        {"dot_dot_slash_name.zip", Verdict::LeftOut},           // kUnsafeName
        {"dot_dot_backslash_name.zip", Verdict::LeftOut},       // kUnsafeName
        {"nested_dot_dot_name.zip", Verdict::LeftOut},          // kUnsafeName
        {"absolute_path_name.zip", Verdict::LeftOut},           // kUnsafeName
        {"absolute_backslash_name.zip", Verdict::LeftOut},      // kUnsafeName
        {"drive_letter_name.zip", Verdict::LeftOut},            // kUnsafeName
        {"drive_relative_name.zip", Verdict::LeftOut},          // kUnsafeName
    };
    std::string tmpl = (fs::temp_directory_path() / "sfx-problems-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const fs::path root = tmpl;
    int seen = 0;
    for (auto& p : fs::directory_iterator(std::string(SKYKIT_PROBLEMS))) {
        if (p.path().extension() != ".zip") continue;
        const std::string name = p.path().filename().string();
        SCOPED_TRACE(name);
        ASSERT_TRUE(expected.count(name)) << "no expectation for " << name;
        fs::remove_all(root / "target");
        sfxrun::Outcome o = sfxrun::UnpackInto(p.path().string(), (root / "target").string());
        Verdict got = !o.read ? Verdict::Refused : o.result.problems.empty() ? Verdict::Clean : Verdict::LeftOut;
        EXPECT_EQ(int(got), int(expected.at(name)))
            << (o.read ? (o.result.problems.empty() ? "" : o.result.problems[0].Line()) : o.refusal);
        EXPECT_FALSE(o.result.cancelled || o.result.diskFull);
        EXPECT_EQ(sfxrun::Strays(root, o), "");
        ++seen;
    }
    EXPECT_EQ(seen, int(expected.size()));
    fs::remove_all(root);
}

TEST(SfxProblems, OnlyAFileTheArchiveDidNotNameIsALeftover) {
    std::string tmpl = (fs::temp_directory_path() / "sfx-strays-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const fs::path root = tmpl, zip = tmpl + ".zip";
    // Members whose own names hold the temporary suffix, written by a peer.
    ASSERT_EQ(std::system(("python3 -c \"import zipfile; z = zipfile.ZipFile('" + zip.string() +
                           "', 'w'); z.writestr('dir/..skx~partxt', 'a'); z.writestr('b.skx~part', 'b')\"")
                              .c_str()),
              0);
    sfxrun::Outcome o = sfxrun::UnpackInto(zip.string(), (root / "target").string());
    EXPECT_TRUE(o.read && o.result.Ok()) << o.refusal;
    EXPECT_EQ(o.result.files, 2);
    EXPECT_EQ(sfxrun::Strays(root, o), "");
    // What a failed write would leave behind.
    std::FILE* f = std::fopen((root / "target" / "dir" / "..skx~partxt.skx~part").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(sfxrun::Strays(root, o), "target/dir/..skx~partxt.skx~part\n");
    fs::remove_all(root);
    fs::remove(zip);
}
