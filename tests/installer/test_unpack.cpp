// The self-extractor's extraction loop over archives that Info-ZIP, 7-Zip and Python wrote:
// contents byte for byte, the overwrite rules, refused names, damage, passwords, cancel.
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "InstallerTest.h"
#include "TestSupport.h"
#include "Unpack.h"
#include "os/win32_text.h"
#include "zipformat.h"

using namespace kit;
using namespace installer_test;

namespace {

class Recorder : public UnpackEvents {
public:
    std::deque<Answer> answers;          // for AskOverwrite, default Yes
    std::function<Answer(const std::string&)> decide;   // when set, answers by target instead
    std::deque<std::string> passwords;   // for AskPassword; empty: the person gives up
    std::vector<std::string> asked;      // targets asked about
    int passwordPrompts = 0;
    uint64_t lastDone = 0, lastTotal = 0;
    bool monotonic = true;
    std::string cancelInside;            // cancel once bytes of this member are written

    bool Progress(const std::string& name, uint64_t done, uint64_t total) override {
        monotonic = monotonic && done >= lastDone && done <= total;
        bool stop = !cancelInside.empty() && name == cancelInside && done > lastDone;
        lastDone = done;
        lastTotal = total;
        return stop;
    }
    Answer AskOverwrite(const std::string& target, const zc::Entry&) override {
        asked.push_back(target);
        if (decide) return decide(target);
        if (answers.empty()) return Answer::Yes;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    bool AskPassword(std::string& pw, bool) override {
        ++passwordPrompts;
        if (passwords.empty()) return false;
        pw = passwords.front();
        passwords.pop_front();
        return true;
    }
};

class Unpacking : public ::testing::Test {
protected:
    void SetUp() override {
        base = testing_support::MakeTempDir();
        out = base + "out";
    }
    void TearDown() override { testing_support::RemoveTree(base); }

    UnpackResult Run(const std::string& fixture, Overwrite rule, Recorder& rec) {
        file = zip::HostFs().OpenRead(zc::AnsiToUtf8(Fixture(fixture).c_str()));
        dir = zc::ReadDirectory(*file);
        plan = PlanUnpack(zip::HostFs(), dir, zc::AnsiToUtf8(out.c_str()));
        CreateDirectoryA(out.c_str(), nullptr);
        return RunUnpack(zip::HostFs(), *file, dir, plan, rule, rec);
    }
    std::string Text(const std::string& rel) {
        std::vector<uint8_t> b = ReadBytes(out + "\\" + rel);
        return std::string(b.begin(), b.end());
    }

    std::string base, out;
    std::unique_ptr<zip::File> file;
    zc::Directory dir;
    UnpackPlan plan;
};

}  // namespace

TEST_F(Unpacking, ArchivesOfPeerToolsComeOutByteForByte) {
    for (const char* fixture : {"infozip_tree.zip", "sevenzip_tree.zip"}) {
        Recorder rec;
        UnpackResult r = Run(fixture, Overwrite::Confirm, rec);
        EXPECT_TRUE(r.Ok()) << fixture;
        EXPECT_EQ(r.files, 3) << fixture;
        EXPECT_EQ(ReadBytes(out + "\\Demo\\model\\plane.mdl"), PlaneMdl()) << fixture;
        EXPECT_EQ(Text("Demo\\aircraft.cfg"), AircraftCfg()) << fixture;
        EXPECT_EQ(ReadBytes(out + "\\Demo\\texture\\plane.bmp").size(), 2 + 256u * 8) << fixture;
        EXPECT_TRUE(rec.asked.empty());
        EXPECT_TRUE(rec.monotonic);
        EXPECT_EQ(rec.lastDone, rec.lastTotal);
        EXPECT_EQ(rec.lastTotal, plan.Bytes(dir));
        EXPECT_FALSE(Exists(out + "\\Demo\\model\\plane.mdl" + kPartialSuffix));
        testing_support::RemoveTree(out);
    }
}

TEST_F(Unpacking, OverwriteRules) {
    CreateDirectoryA(out.c_str(), nullptr);
    CreateDirectoryA((out + "\\Demo").c_str(), nullptr);
    CreateDirectoryA((out + "\\Demo\\model").c_str(), nullptr);
    testing_support::WriteFile(out + "\\Demo\\aircraft.cfg", "mine");
    testing_support::WriteFile(out + "\\Demo\\model\\plane.mdl", "mine too");

    Recorder never;
    UnpackResult r = Run("infozip_tree.zip", Overwrite::Never, never);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.files, 1);
    EXPECT_EQ(r.skipped, 2);
    EXPECT_EQ(Text("Demo\\aircraft.cfg"), "mine");
    EXPECT_TRUE(never.asked.empty());
    EXPECT_EQ(plan.Existing(), 2);

    // Asked: No for the configuration, Yes for the rest.
    Recorder ask;
    ask.decide = [](const std::string& t) { return t.find("aircraft.cfg") != std::string::npos ? Answer::No : Answer::Yes; };
    r = Run("infozip_tree.zip", Overwrite::Confirm, ask);
    EXPECT_TRUE(r.Ok());
    ASSERT_EQ(ask.asked.size(), 3u);   // the texture exists now as well
    EXPECT_EQ(Text("Demo\\aircraft.cfg"), "mine");
    EXPECT_EQ(ReadBytes(out + "\\Demo\\model\\plane.mdl"), PlaneMdl());

    // "No to all" answers the rest of the run.
    testing_support::WriteFile(out + "\\Demo\\model\\plane.mdl", "again mine");
    Recorder noAll;
    noAll.answers = {Answer::NoToAll};
    r = Run("infozip_tree.zip", Overwrite::Confirm, noAll);
    EXPECT_EQ(noAll.asked.size(), 1u);
    EXPECT_EQ(Text("Demo\\model\\plane.mdl"), "again mine");

    // Always: no question, everything replaced, read-only files too.
    SetFileAttributesA((out + "\\Demo\\aircraft.cfg").c_str(), FILE_ATTRIBUTE_READONLY);
    Recorder always;
    r = Run("infozip_tree.zip", Overwrite::Always, always);
    EXPECT_TRUE(r.Ok());
    EXPECT_TRUE(always.asked.empty());
    EXPECT_EQ(Text("Demo\\aircraft.cfg"), AircraftCfg());
    EXPECT_EQ(ReadBytes(out + "\\Demo\\model\\plane.mdl"), PlaneMdl());
}

TEST_F(Unpacking, CancelAtAQuestionStopsTheRun) {
    CreateDirectoryA(out.c_str(), nullptr);
    CreateDirectoryA((out + "\\Demo").c_str(), nullptr);
    testing_support::WriteFile(out + "\\Demo\\aircraft.cfg", "mine");
    Recorder rec;
    rec.answers = {Answer::Cancel};
    UnpackResult r = Run("infozip_tree.zip", Overwrite::Confirm, rec);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(Text("Demo\\aircraft.cfg"), "mine");
}

TEST_F(Unpacking, CancelFromProgressLeavesNoPartialFile) {
    Recorder rec;
    rec.cancelInside = "Demo/model/plane.mdl";
    UnpackResult r = Run("infozip_tree.zip", Overwrite::Always, rec);
    EXPECT_TRUE(r.cancelled);
    // The file being written when the person cancelled is gone, under its own name and its
    // temporary one; what was finished before is complete.
    EXPECT_FALSE(Exists(out + "\\Demo\\model\\plane.mdl"));
    EXPECT_FALSE(Exists(out + "\\Demo\\model\\plane.mdl" + kPartialSuffix));
    if (Exists(out + "\\Demo\\aircraft.cfg")) EXPECT_EQ(Text("Demo\\aircraft.cfg"), AircraftCfg());
}

TEST_F(Unpacking, NamesThatWouldLeaveTheFolderAreRefused) {
    Recorder rec;
    UnpackResult r = Run("unsafe_names.zip", Overwrite::Always, rec);
    EXPECT_EQ(r.files, 2);
    EXPECT_EQ(Text("safe.txt"), "payload of safe.txt");
    EXPECT_EQ(Text("ok\\good.txt"), "payload of ok/good.txt");
    EXPECT_EQ(r.problems.size(), 8u);
    for (const UnpackProblem& p : r.problems) EXPECT_NE(p.text.find("would leave the target folder"), std::string::npos) << p.text;
    // Nothing landed beside or above the target folder, nor at the root of the drive.
    for (const char* f : {"evil.txt", "evil2.txt", "up.txt", "abs.txt", "drive.txt", "drive2.txt"}) {
        EXPECT_FALSE(Exists(base + f)) << f;
        EXPECT_FALSE(Exists(std::string("C:\\") + f)) << f;
    }
    // "nul.txt" would have been written to the null device, not into the folder.
    bool deviceRefused = false;
    for (const UnpackProblem& p : r.problems) deviceRefused = deviceRefused || p.Line().find("nul.txt: not extracted") == 0;
    EXPECT_TRUE(deviceRefused);
}

TEST_F(Unpacking, ADamagedMemberIsReportedAndNotLeftBehind) {
    Recorder rec;
    UnpackResult r = Run("bad_crc.zip", Overwrite::Always, rec);
    EXPECT_FALSE(r.Ok());
    EXPECT_FALSE(r.diskFull);
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0].member, "broken.bin");
    EXPECT_NE(r.problems[0].text.find("CRC"), std::string::npos);
    EXPECT_EQ(Text("good.txt"), "this one is fine\r\n");
    EXPECT_FALSE(Exists(out + "\\broken.bin"));
    EXPECT_FALSE(Exists(out + "\\broken.bin" + kPartialSuffix));
}

TEST_F(Unpacking, PasswordIsAskedOnceAndAgainWhenWrong) {
    Recorder rec;
    rec.passwords = {"wrong", "secret"};
    UnpackResult r = Run("infozip_secret.zip", Overwrite::Always, rec);
    EXPECT_TRUE(r.Ok()) << (r.problems.empty() ? "" : r.problems[0].Line());
    EXPECT_EQ(rec.passwordPrompts, 2);
    EXPECT_EQ(ReadBytes(out + "\\Demo\\model\\plane.mdl"), PlaneMdl());

    // Giving up once is enough: the other encrypted members are not asked about again.
    Recorder giveUp;
    testing_support::RemoveTree(out);
    r = Run("infozip_secret.zip", Overwrite::Always, giveUp);
    EXPECT_EQ(r.files, 0);
    EXPECT_EQ(r.problems.size(), 3u);
    EXPECT_EQ(giveUp.passwordPrompts, 1);
    EXPECT_FALSE(Exists(out + "\\Demo\\aircraft.cfg"));
}

TEST_F(Unpacking, LeftOutMembersAreSkipped) {
    file = zip::HostFs().OpenRead(zc::AnsiToUtf8(Fixture("infozip_tree.zip").c_str()));
    dir = zc::ReadDirectory(*file);
    plan = PlanUnpack(zip::HostFs(), dir, zc::AnsiToUtf8(out.c_str()));
    for (UnpackItem& it : plan.items)
        if (dir.entries[it.entry].name.find("plane.mdl") != std::string::npos) it.selected = false;
    EXPECT_EQ(plan.Files(), 2);
    CreateDirectoryA(out.c_str(), nullptr);
    Recorder rec;
    UnpackResult r = RunUnpack(zip::HostFs(), *file, dir, plan, Overwrite::Always, rec);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.files, 2);
    EXPECT_FALSE(Exists(out + "\\Demo\\model\\plane.mdl"));
    EXPECT_TRUE(Exists(out + "\\Demo\\aircraft.cfg"));
}
