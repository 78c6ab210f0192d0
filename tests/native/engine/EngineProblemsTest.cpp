// Malformed and hostile archives: each kept problem archive ends with an engine message (never
// a crash, a hang or a file outside the target), and a random-mutation fuzzer with a fixed seed
// runs the readers over thousands of damaged archives under the sanitizers.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "EngineTestSupport.h"
#include "zipformat.h"

using namespace enginetest;
using zip::HostFs;

namespace {

std::string ProblemsDir() { return std::string(ENGINE_TEST_DATA) + "/problems"; }

// Extracts (dirNames, overwrite) into a fresh target inside a fresh scratch folder, and tests;
// returns the messages. Fails when anything appears outside the target.
std::vector<Event> ExtractAndTest(const std::string& zip, const std::string& password = "pw") {
  Scratch s;
  fs::create_directories(s.path("target"));
  zc::ExtractOptions x;
  x.archive = zip;
  x.dirNames = true;
  x.overwrite = true;
  x.password = password;
  Recorder r;
  {
    InDir in(s.path("target"));
    zc::UnzipExtract(HostFs(), x, r);
  }
  x.testOnly = true;
  Recorder rt;
  zc::UnzipExtract(HostFs(), x, rt);
  for (auto& p : fs::directory_iterator(s.path()))
    EXPECT_EQ(p.path().filename(), "target") << "written outside the target: " << p.path() << " from " << zip;
  auto m = r.messages();
  auto mt = rt.messages();
  m.insert(m.end(), mt.begin(), mt.end());
  return m;
}

}  // namespace

TEST(EngineProblems, EachKeptArchiveGivesItsMessage) {
  // The code of the first message each problem gives (0: the archive is fine to read), and the
  // fault the directory reader returns by the engine's rules and by the listing's: the same
  // damage judged by each (a count that lies is a note for the engine, a cut for a listing that
  // reads as many headers as counted; a shifted directory is refused by one and shown by the
  // other).
  using F = zip::Fault;
  struct Expect {
    int code;
    F::Kind rewrite, listing;
  };
  std::map<std::string, Expect> expected = {
      {"truncated_central_directory.zip", {zip::kNoArchive, F::NoEndRecord, F::NoEndRecord}},
      {"truncated_member_data.zip", {zip::kNoArchive, F::NoEndRecord, F::NoEndRecord}},
      {"incorrect_number_entries.zip", {zip::kFormat, F::None, F::HeaderCut}},
      {"huge_number_entries.zip", {zip::kFormat, F::None, F::HeaderCut}},
      {"cd_offset_past_end.zip", {zip::kFormat, F::DirectoryOffsetTooLate, F::None}},
      {"cd_size_past_start.zip", {zip::kFormat, F::DirectoryTooLarge, F::DirectoryTooLarge}},
      {"local_offset_past_end.zip", {zip::kFormat, F::LocalHeaderPastData, F::None}},
      {"name_length_past_directory.zip", {zip::kFormat, F::NameCut, F::NameCut}},
      {"compressed_size_past_end.zip", {zip::kFormat, F::None, F::None}},
      {"uncompressed_size_too_small.zip", {zip::kFormat, F::None, F::None}},
      {"uncompressed_size_too_large.zip", {zip::kFormat, F::None, F::None}},
      {"bad_local_signature.zip", {zip::kFormat, F::None, F::None}},
      {"bad_central_signature.zip", {zip::kFormat, F::HeaderSignature, F::HeaderSignature}},
      {"bad_deflate_data.zip", {zip::kEof, F::None, F::None}},
      {"unsupported_method_lzma.zip", {zip::kUnsupported, F::None, F::None}},
      {"spanned_disk_number.zip", {zip::kUnsupported, F::Spanned, F::None}},
      {"zip64_locator.zip", {zip::kFormat, F::Zip64EndMissing, F::HeaderSignature}},
      {"wrong_crc.zip", {zip::kBadCrc, F::None, F::None}},
      {"empty_archive.zip", {zip::kNothing, F::None, F::None}},
      {"not_an_archive.zip", {zip::kNoArchive, F::NoEndRecord, F::NoEndRecord}},
      {"end_record_comment_too_long.zip", {zip::kNothing, F::None, F::NoEndRecord}},
      {"dot_dot_slash_name.zip", {zip::kUnsafeName, F::None, F::None}},
      {"dot_dot_backslash_name.zip", {zip::kUnsafeName, F::None, F::None}},
      {"nested_dot_dot_name.zip", {zip::kUnsafeName, F::None, F::None}},
      {"absolute_path_name.zip", {zip::kUnsafeName, F::None, F::None}},
      {"absolute_backslash_name.zip", {zip::kUnsafeName, F::None, F::None}},
      {"drive_letter_name.zip", {zip::kUnsafeName, F::None, F::None}},
      {"drive_relative_name.zip", {zip::kUnsafeName, F::None, F::None}},
  };
  int seen = 0;
  for (auto& p : fs::directory_iterator(ProblemsDir())) {
    if (p.path().extension() != ".zip") continue;
    std::string name = p.path().filename().string();
    SCOPED_TRACE(name);
    ASSERT_TRUE(expected.count(name)) << "no expectation for " << name;
    auto m = ExtractAndTest(p.path().string());
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m[0].code, expected[name].code) << m[0].text;
    EXPECT_FALSE(m[0].text.empty());
    std::string raw = ReadFile(p.path().string());
    zip::MemorySource bytes(std::vector<uint8_t>(raw.begin(), raw.end()));
    EXPECT_EQ(zip::ReadDirectory(bytes, zip::RewriteRules()).fault.kind, expected[name].rewrite);
    EXPECT_EQ(zip::ReadDirectory(bytes, zip::ListingRules()).fault.kind, expected[name].listing);
    ++seen;
  }
  EXPECT_EQ(seen, int(expected.size()));
}

TEST(EngineProblems, DeleteAndGrowRefuseDamagedArchivesAndKeepThem) {
  Scratch s;
  for (const char* name : {"truncated_central_directory.zip", "cd_offset_past_end.zip", "not_an_archive.zip"}) {
    SCOPED_TRACE(name);
    std::string zip = s.path(name);
    fs::copy_file(ProblemsDir() + "/" + name, zip);
    std::string before = ReadFile(zip);
    zc::DeleteOptions d;
    d.archive = zip;
    d.patterns = {"a.txt"};
    Recorder r;
    EXPECT_EQ(zc::ZipDelete(HostFs(), d, r), 0);
    EXPECT_FALSE(r.messages().empty());
    WriteFile(s.path("new.txt"), "new");
    zc::AddOptions o;
    o.archive = zip;
    o.patterns = {s.path("new.txt")};
    Recorder ra;
    EXPECT_EQ(zc::ZipAdd(HostFs(), o, ra), 0);
    EXPECT_FALSE(ra.messages().empty());
    EXPECT_EQ(ReadFile(zip), before);
  }
}

// Random damage to good archives (stored, deflated, encrypted, descriptors, a stub in front):
// flipped bytes, truncation, inserted and deleted bytes, overwritten length fields.
TEST(EngineProblems, RandomMutationFuzz) {
  Scratch s;
  std::string out;
  WriteFile(s.path("src/a.txt"), TextData(3000, 1));
  WriteFile(s.path("src/d/b.bin"), RandomData(500, 2));
  WriteFile(s.path("src/e.txt"), "");
  std::vector<std::string> seeds;
  ASSERT_EQ(Shell("cd " + Q(s.path("src")) + " && zip -q -r ../s1.zip . && zip -q -0 -r ../s2.zip . && "
                "zip -q -P pw -r ../s3.zip . && cat a.txt | zip -q -fz- ../s4.zip -", &out), 0) << out;
  for (const char* n : {"s1.zip", "s2.zip", "s3.zip", "s4.zip"}) seeds.push_back(ReadFile(s.path(n)));
  seeds.push_back(std::string(300, 'S') + seeds[0]);
  for (auto& p : fs::directory_iterator(ProblemsDir()))
    if (p.path().extension() == ".zip") seeds.push_back(ReadFile(p.path().string()));

  std::mt19937 rng(20040601);
  int iterations = std::getenv("ENGINE_FUZZ_ITERATIONS") ? std::atoi(std::getenv("ENGINE_FUZZ_ITERATIONS")) : 3000;
  std::string zip = s.path("fuzz.zip");
  for (int i = 0; i < iterations; ++i) {
    std::string b = seeds[rng() % seeds.size()];
    int edits = 1 + int(rng() % 4);
    for (int k = 0; k < edits && !b.empty(); ++k) {
      size_t at = rng() % b.size();
      switch (rng() % 6) {
        case 0: b[at] = char(rng()); break;
        case 1: b[at] ^= char(1u << (rng() % 8)); break;
        case 2: b.resize(at); break;
        case 3: b.insert(at, std::string(1 + rng() % 8, char(rng()))); break;
        case 4: b.erase(at, 1 + rng() % 8); break;
        case 5: {
          static const char* big[] = {"\xff\xff", "\xff\xff\xff\x7f", "\x00\x00", "\xfe\xff\xff\xff"};
          const char* v = big[rng() % 4];
          for (size_t j = 0; j < 2 && at + j < b.size(); ++j) b[at + j] = v[j];
          break;
        }
      }
    }
    WriteFile(zip, b);
    SCOPED_TRACE("iteration " + std::to_string(i));
    ExtractAndTest(zip);
    // Delete copies the rest raw: when it succeeds, what it wrote must read back.
    if (i % 3 == 0) {
      zc::DeleteOptions d;
      d.archive = zip;
      d.patterns = {"a.txt"};
      Recorder rd;
      if (zc::ZipDelete(HostFs(), d, rd) > 0) {
        auto f = HostFs().OpenRead(zip);
        EXPECT_NO_THROW(zc::ReadDirectory(*f)) << rd.dump();
      }
    }
    if (HasFatalFailure() || HasNonfatalFailure()) {
      WriteFile(s.path("../engine-fuzz-failure.zip"), b);
      FAIL() << "kept as engine-fuzz-failure.zip in the temp directory";
    }
  }
}
