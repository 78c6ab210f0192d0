// The package installer: its judgement of the unpacking's problems, the survey of the
// destination and the clean-up after a failed run, and the wizard itself driven in-process
// over a package made in a temporary folder.
#include <gtest/gtest.h>

#include "Destination.h"
#include "Install.h"
#include "InstallerTest.h"
#include "Pictures.h"
#include "SafePath.h"
#include "SetupForm.h"
#include "TestSupport.h"
#include "Uninstall.h"

using namespace kit;
using namespace installer_test;
using testing_support::FakeDesktop;

TEST(UnpackOutcome, JudgesTheUnpackingsProblems) {
    // A member left out for its name does not fail the run.
    UnpackResult left;
    left.problems = {{"../x", zip::kUnsafeName, "not extracted, it would leave the target folder"}};
    UnpackOutcome o = UnpackOutcome::Of(left);
    EXPECT_FALSE(o.Failed());
    EXPECT_EQ(o.refused, std::vector<std::string>{"../x: not extracted, it would leave the target folder"});

    struct Case {
        int code;
        UnpackOutcome::Kind kind;
    } cases[] = {{zip::kEof, UnpackOutcome::Kind::Damaged},         {zip::kFormat, UnpackOutcome::Kind::Damaged},
                 {zip::kBadCrc, UnpackOutcome::Kind::Damaged},      {zip::kWrite, UnpackOutcome::Kind::DiskFull},
                 {zip::kCreate, UnpackOutcome::Kind::NoAccess},     {zip::kPassword, UnpackOutcome::Kind::Password},
                 {zip::kUnsupported, UnpackOutcome::Kind::Unsupported}, {zip::kNoArchive, UnpackOutcome::Kind::Missing},
                 {zip::kAbort, UnpackOutcome::Kind::Cancelled},     {zip::kLogic, UnpackOutcome::Kind::Other}};
    for (const Case& c : cases) {
        UnpackResult r;
        r.problems = {{"m", c.code, "x"}};
        UnpackOutcome one = UnpackOutcome::Of(r);
        EXPECT_EQ(one.kind, c.kind) << c.code;
        EXPECT_EQ(one.errors, std::vector<std::string>{"m: x"}) << c.code;
        EXPECT_FALSE(one.Advice().empty()) << c.code;
    }
    // The first failure names the outcome, except that a cancel wins over what it caused.
    UnpackResult two;
    two.problems = {{"a", zip::kBadCrc, "CRC error"}, {"b", zip::kWrite, "write error"}};
    EXPECT_EQ(UnpackOutcome::Of(two).kind, UnpackOutcome::Kind::Damaged);
    two.cancelled = true;
    EXPECT_EQ(UnpackOutcome::Of(two).kind, UnpackOutcome::Kind::Cancelled);
    EXPECT_EQ(ExitCodeFor(UnpackOutcome::Of(two).kind), kExitCancelled);
    EXPECT_EQ(UnpackOutcome{}.Advice(), "");
}

TEST(ArchiveScan, WhatThePackageHolds) {
    ArchiveScan s = ScanArchive(Fixture("infozip_tree.zip"));
    ASSERT_EQ(s.problem, ArchiveScan::Problem::None) << s.detail;
    EXPECT_EQ(s.names.size(), 6u);
    EXPECT_EQ(s.files.size(), 3u);
    EXPECT_EQ(s.bytes, 20000u + 2 + 256 * 8 + AircraftCfg().size());
    EXPECT_TRUE(s.refused.empty());

    s = ScanArchive(Fixture("unsafe_names.zip"));
    EXPECT_EQ(s.files.size(), 2u);
    EXPECT_EQ(s.refused.size(), 8u);

    s = ScanArchive(Fixture("no such archive.zip"));
    EXPECT_EQ(s.problem, ArchiveScan::Problem::Missing);
    // Not an archive at all: damaged, in the reader's words.
    s = ScanArchive(Fixture("make_fixtures.py"));
    EXPECT_EQ(s.problem, ArchiveScan::Problem::Damaged);
    EXPECT_FALSE(s.detail.empty());
}

TEST(TargetSurvey, RemovesOnlyWhatTheRunCreated) {
    std::string base = testing_support::MakeTempDir();
    std::string dest = base + "FS2000\\Aircraft";
    CreateDirectoryA((base + "FS2000").c_str(), nullptr);
    CreateDirectoryA(dest.c_str(), nullptr);
    CreateDirectoryA((dest + "\\Demo").c_str(), nullptr);
    testing_support::WriteFile(dest + "\\Demo\\aircraft.cfg", "theirs");

    ArchiveScan scan = ScanArchive(Fixture("infozip_tree.zip"));
    TargetSurvey s = SurveyTarget(scan, dest);
    EXPECT_EQ(s.existing, std::vector<std::string>{"Demo\\aircraft.cfg"});
    EXPECT_EQ(s.newFiles.size(), 2u);
    EXPECT_EQ(s.newFolders, (std::vector<std::string>{dest + "\\Demo\\model", dest + "\\Demo\\texture"}));

    // What an interrupted run leaves: the new files and a temporary one of the engine's.
    CreateDirectoryA((dest + "\\Demo\\model").c_str(), nullptr);
    CreateDirectoryA((dest + "\\Demo\\texture").c_str(), nullptr);
    testing_support::WriteFile(dest + "\\Demo\\model\\plane.mdl", "new");
    testing_support::WriteFile(dest + "\\Demo\\texture\\plane.bmp" + kPartialSuffix, "half");
    EXPECT_EQ(RemoveInstalled(s), 1);
    EXPECT_FALSE(Exists(dest + "\\Demo\\model"));
    EXPECT_FALSE(Exists(dest + "\\Demo\\texture"));
    EXPECT_EQ(testing_support::ReadFile(dest + "\\Demo\\aircraft.cfg"), "theirs");

    // A destination that did not exist is removed with everything above it that was made.
    std::string fresh = base + "New\\Deeper\\Addon";
    TargetSurvey f = SurveyTarget(scan, fresh);
    EXPECT_EQ(f.newFolders.front(), base + "New");
    EXPECT_EQ(MakeFolders(fresh), "");
    EXPECT_EQ(ProbeWrite(fresh), "");
    RemoveInstalled(f);
    EXPECT_FALSE(Exists(base + "New"));
    EXPECT_GT(FreeBytes(fresh), 0);
    testing_support::RemoveTree(base);
}

TEST(Pictures, FitInside) {
    int w, h;
    FitInside(500, 375, 240, 180, w, h);
    EXPECT_EQ(w, 240);
    EXPECT_EQ(h, 180);
    FitInside(800, 200, 240, 180, w, h);
    EXPECT_EQ(w, 240);
    EXPECT_EQ(h, 60);
    FitInside(100, 400, 240, 180, w, h);
    EXPECT_EQ(w, 45);
    EXPECT_EQ(h, 180);
    FitInside(120, 90, 240, 180, w, h);   // small pictures keep their size
    EXPECT_EQ(w, 120);
    FitInside(0, 10, 240, 180, w, h);
    EXPECT_EQ(w, 1);
}

TEST(ReplaceQuestion, SaysWhichFilesWhoseAndWhatYesAndNoDo) {
    PackageInfo info;
    info.title = "Heathrow EGLL";
    info.addonVersion = "1.1";
    ArchiveScan scan;
    Journal journal;
    InstallLog other;
    other.title = "Copenhagen";
    struct Case {
        std::vector<std::string> changed, others, theirs;
        bool keep;
        std::vector<std::string> says;
    };
    const std::vector<Case> cases = {
        {{"readme.txt"}, {}, {}, true,
         {"You changed readme.txt since version 1.0 of Heathrow EGLL was installed.\n\nYes replaces it with the file "
          "of version 1.1 and keeps a copy of yours, which comes back when Heathrow EGLL is removed. No keeps it as "
          "it is"}},
        {{"a.txt", "b.txt"}, {}, {}, false,
         {"You changed 2 files since version 1.0 of Heathrow EGLL was installed:\n  a.txt\n  b.txt",
          "Yes replaces them with the files of version 1.1; no copy is kept", "No keeps them as they are"}},
        {{}, {"common.gau"}, {"y.txt", "z.txt"}, true,
         {"A file of Heathrow EGLL belongs to another add-on installed here:\n  common.gau (Copenhagen)",
          "2 files of Heathrow EGLL are already in this folder, and they are not from Heathrow EGLL:\n  y.txt\n  z.txt",
          "keeps a copy of each"}},
    };
    for (const Case& c : cases) {
        Installation run(info, scan, journal);
        run.earlier.version = "1.0";
        run.keepCopies = c.keep;
        run.changed = c.changed;
        for (const auto* list : {&c.changed, &c.others, &c.theirs})
            run.foreign.insert(run.foreign.end(), list->begin(), list->end());
        for (const std::string& o : c.others) run.belongs[o] = &other;
        const std::string text = ReplaceQuestion(run);
        for (const std::string& want : c.says)
            EXPECT_NE(text.find(want), std::string::npos) << text << "\n--- wants\n" << want;
    }
}

// --- The wizard ------------------------------------------------------------------------------

class SetupWizard : public ::testing::Test {
protected:
    void SetUp() override {
        base = testing_support::MakeTempDir();
        pkg = base + "Package\\";
        fs = base + "FS2000";
        CreateDirectoryA(pkg.c_str(), nullptr);
        CreateDirectoryA(fs.c_str(), nullptr);
        CopyFileA(Fixture("infozip_tree.zip").c_str(), (pkg + "Setup.skb").c_str(), FALSE);
        CopyFileA((testing_support::ExeDir() + "Skin32.dll").c_str(), (pkg + "Skin32.dll").c_str(), FALSE);
        std::string ini = pkg + "Kitsetup.ini";
        WritePrivateProfileStringA("Flightsim", "Version", "Flightsimulator 2000", ini.c_str());
        WritePrivateProfileStringA("Addon", "Type", "Aircraft", ini.c_str());
        WritePrivateProfileStringA("Addon", "Condition", "Freeware", ini.c_str());
        WritePrivateProfileStringA("Title", "hl", "Skykit Demo", ini.c_str());
        WritePrivateProfileStringA("Authors", "2", "Jens Hansen", ini.c_str());
        WritePrivateProfileStringA("Authors", "1", "jens@example.dk", ini.c_str());
    }
    void TearDown() override {
        if (form && form->Installed) {   // the entry and the uninstaller go with the add-on
            std::string dest = form->Destination();
            Journal journal;
            RunUninstall(JoinPath(dest, LogFileName(form->Info.DisplayTitle(), dest)), true, journal);
        }
        form.reset();
        testing_support::RemoveTree(base);
    }
    TSetupForm& Make() {
        form = std::make_unique<TSetupForm>(pkg);
        return *form;
    }
    // Walks from the welcome page to the destination page.
    void ToDestination(TSetupForm& f) {
        while (f.CurrentPage() != TSetupForm::Page::Destination) f.NextClick();
        f.FsFolderEdit.SetText(fs);
    }

    FakeDesktop desk;
    std::string base, pkg, fs;
    std::unique_ptr<TSetupForm> form;
};

TEST_F(SetupWizard, PagesFollowThePackage) {
    TSetupForm& bare = Make();
    EXPECT_EQ(bare.Pages, (std::vector<TSetupForm::Page>{TSetupForm::Page::Welcome, TSetupForm::Page::Destination,
                                                         TSetupForm::Page::Ready, TSetupForm::Page::Finish}));
    EXPECT_EQ(bare.Title, "Skykit Demo Setup");
    EXPECT_EQ(bare.AuthorName1.Caption(), "Jens Hansen");
    EXPECT_EQ(bare.AuthorMail1.Caption(), "jens@example.dk");
    EXPECT_EQ(bare.TypeValue.Caption(), "Aircraft");
    EXPECT_FALSE(bare.Shot1.Visible());

    testing_support::WriteFile(pkg + "File_id.diz", "A demo aircraft.\r\n");
    testing_support::WriteFile(pkg + "licens.skh", "Use it kindly.\r\n");
    TSetupForm& full = Make();
    ASSERT_EQ(full.Pages.size(), 6u);
    full.NextClick();
    EXPECT_EQ(full.CurrentPage(), TSetupForm::Page::Description);
    EXPECT_TRUE(full.DescriptionMemo.Visible());
    EXPECT_NE(full.DescriptionMemo.Text().find("A demo aircraft."), std::string::npos);
    full.NextClick();
    EXPECT_EQ(full.CurrentPage(), TSetupForm::Page::Terms);
    EXPECT_EQ(full.NextButton.Caption.Caption(), "Accept");
    EXPECT_EQ(full.CancelButton.Caption.Caption(), "Decline");
    full.BackClick();
    EXPECT_EQ(full.CurrentPage(), TSetupForm::Page::Description);
}

TEST_F(SetupWizard, ScreenshotsAndAuthorsOpenThroughTheShell) {
    // A screenshot that the picture loader cannot read still gets its button.
    testing_support::WriteFile(pkg + "Screen2.jpg", "not a picture");
    TSetupForm& f = Make();
    EXPECT_FALSE(f.Shot1.Visible());
    EXPECT_TRUE(f.Shot2.Visible());
    EXPECT_TRUE(f.ShotText2.Visible());
    EXPECT_TRUE(f.ShotsLabel.Visible());
    f.ShotText2.Click();
    f.AuthorMail1.Click();
    auto shell = desk.Of("ShellExecute");
    ASSERT_EQ(shell.size(), 2u);
    EXPECT_EQ(shell[0].caption, "open");
    EXPECT_EQ(shell[0].text, pkg + "Screen2.jpg");
    EXPECT_EQ(shell[1].text, "mailto:jens@example.dk");
    // The pictures stay on the first page only.
    f.NextClick();
    EXPECT_FALSE(f.Shot2.Visible());
    EXPECT_FALSE(f.ShotsLabel.Visible());
}

TEST_F(SetupWizard, EnterGoesOnAndEscapeCancels) {
    testing_support::WriteFile(pkg + "File_id.diz", "A demo aircraft.\r\n");
    TSetupForm& f = Make();
    SendMessageA(f.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(f.CurrentPage(), TSetupForm::Page::Description);
    // In the description's memo too.
    SendMessageA(f.DescriptionMemo.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(f.CurrentPage(), TSetupForm::Page::Destination);
    desk.messageAnswers = {IDNO};
    SendMessageA(f.FsFolderEdit.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_EQ(desk.Of("MessageBox").size(), 1u);
    EXPECT_NE(desk.Of("MessageBox")[0].text.find("Leave Setup?"), std::string::npos);
    EXPECT_EQ(f.CurrentPage(), TSetupForm::Page::Destination);
}

TEST_F(SetupWizard, DecliningTheTermsLeavesWithoutInstalling) {
    testing_support::WriteFile(pkg + "licens.skh", "Use it kindly.\r\n");
    TSetupForm& f = Make();
    f.NextClick();
    ASSERT_EQ(f.CurrentPage(), TSetupForm::Page::Terms);
    desk.messageAnswers = {IDNO};
    f.CancelClick();
    EXPECT_EQ(f.CurrentPage(), TSetupForm::Page::Terms);   // "No": stays
    desk.messageAnswers = {IDYES};
    f.CancelClick();
    ASSERT_EQ(desk.Of("MessageBox").size(), 2u);
    EXPECT_NE(desk.Of("MessageBox")[0].text.find("unless you accept its terms of use"), std::string::npos);
    EXPECT_FALSE(f.Installed);
    EXPECT_FALSE(Exists(fs + "\\Aircraft"));
}

TEST_F(SetupWizard, DestinationFollowsTheTypeAndIsChecked) {
    TSetupForm& f = Make();
    ASSERT_TRUE(f.CheckPackage());
    f.SimulatorSwitch = "msfs";   // "/SIM=msfs" with the window: said, then the person chooses
    ToDestination(f);
    ASSERT_EQ(desk.Of("MessageBox").size(), 1u);
    EXPECT_NE(desk.Of("MessageBox")[0].text.find("\"msfs\" is no simulator that Setup knows"), std::string::npos);
    // The archive holds its aircraft's own folder: it goes straight into "Aircraft".
    EXPECT_EQ(f.SubfolderEdit.Text(), "Aircraft");
    EXPECT_EQ(f.Destination(), fs + "\\Aircraft");

    f.FsFolderEdit.SetText("");
    f.NextClick();
    EXPECT_EQ(f.CurrentPage(), TSetupForm::Page::Destination);
    EXPECT_NE(desk.Of("MessageBox").back().text.find("Please choose the folder"), std::string::npos);

    f.FsFolderEdit.SetText(fs);
    f.SubfolderEdit.SetText("..\\..\\Windows");
    f.NextClick();
    EXPECT_EQ(f.CurrentPage(), TSetupForm::Page::Destination);
    EXPECT_NE(desk.Of("MessageBox").back().text.find("cannot be used"), std::string::npos);

    // A simulator folder that does not exist is only taken when the person says so.
    f.SubfolderEdit.SetText("Aircraft");
    f.FsFolderEdit.SetText(base + "Elsewhere");
    desk.messageAnswers = {IDNO};
    f.NextClick();
    EXPECT_EQ(f.CurrentPage(), TSetupForm::Page::Destination);
    desk.messageAnswers = {IDYES};
    f.NextClick();
    EXPECT_EQ(f.CurrentPage(), TSetupForm::Page::Ready);
}

TEST_F(SetupWizard, InstallsByteForByteAndKeepsWhatWasThereWhenAsked) {
    std::string target = fs + "\\Aircraft\\Demo";
    CreateDirectoryA((fs + "\\Aircraft").c_str(), nullptr);
    CreateDirectoryA(target.c_str(), nullptr);
    testing_support::WriteFile(target + "\\aircraft.cfg", "my tuned config");
    TSetupForm& f = Make();
    ASSERT_TRUE(f.CheckPackage());
    ToDestination(f);
    f.NextClick();
    ASSERT_EQ(f.CurrentPage(), TSetupForm::Page::Ready);
    desk.Clear();
    desk.messageAnswers = {IDNO};   // keep the file that is there
    f.NextClick();
    ASSERT_EQ(f.CurrentPage(), TSetupForm::Page::Finish) << (desk.calls.empty() ? "" : desk.calls.back().text);
    EXPECT_TRUE(f.Installed);
    EXPECT_NE(desk.Of("MessageBox")[0].text.find("already in this folder"), std::string::npos);
    EXPECT_EQ(testing_support::ReadFile(target + "\\aircraft.cfg"), "my tuned config");
    EXPECT_EQ(ReadBytes(target + "\\model\\plane.mdl"), PlaneMdl());
    EXPECT_EQ(ReadBytes(target + "\\texture\\plane.bmp").size(), 2 + 256u * 8);
    EXPECT_NE(f.ResultMemo.Text().find("2 files were installed"), std::string::npos);
    const std::string kept = "1 file that was there before was kept as it was:\r\n  Demo\\aircraft.cfg";
    EXPECT_NE(f.ResultMemo.Text().find(kept), std::string::npos) << f.ResultMemo.Text();
    // The size is of the two files written, not of the three in the archive.
    const uint64_t written = PlaneMdl().size() + 2 + 256u * 8;
    EXPECT_NE(f.ResultMemo.Text().find("2 files were installed (" + FormatSize(written) + ")"), std::string::npos)
        << f.ResultMemo.Text();
    EXPECT_EQ(f.TotalBar.Position(), 10001);
}

TEST_F(SetupWizard, NamesThatWouldLeaveTheFolderAreLeftOut) {
    CopyFileA(Fixture("unsafe_names.zip").c_str(), (pkg + "Setup.skb").c_str(), FALSE);
    TSetupForm& f = Make();
    ASSERT_TRUE(f.CheckPackage());
    ToDestination(f);
    f.SubfolderEdit.SetText("Addon\\Odd");
    f.NextClick();
    f.NextClick();
    ASSERT_EQ(f.CurrentPage(), TSetupForm::Page::Finish) << (desk.calls.empty() ? "" : desk.calls.back().text);
    EXPECT_EQ(testing_support::ReadFile(fs + "\\Addon\\Odd\\safe.txt"), "payload of safe.txt");
    EXPECT_EQ(testing_support::ReadFile(fs + "\\Addon\\Odd\\ok\\good.txt"), "payload of ok/good.txt");
    for (const char* outside : {"\\evil.txt", "\\Addon\\evil.txt", "\\Addon\\up.txt", "\\abs.txt"})
        EXPECT_FALSE(Exists(fs + outside)) << outside;
    EXPECT_FALSE(Exists(base + "evil.txt"));
    std::string report = f.ResultMemo.Text();
    EXPECT_NE(report.find("2 files were installed"), std::string::npos) << report;
    EXPECT_NE(report.find("8 files were left out"), std::string::npos) << report;
    EXPECT_NE(report.find("../evil.txt"), std::string::npos) << report;
}

TEST_F(SetupWizard, ADamagedArchiveInstallsNothing) {
    TSetupForm& f = Make();
    ASSERT_TRUE(f.CheckPackage());
    ToDestination(f);
    f.SubfolderEdit.SetText("Aircraft\\Broken");
    f.NextClick();
    ASSERT_EQ(f.CurrentPage(), TSetupForm::Page::Ready);
    // The archive is spoilt after Setup looked at it: the good member gets written first and
    // must be taken away again when the bad one fails.
    CopyFileA(Fixture("bad_crc.zip").c_str(), (pkg + "Setup.skb").c_str(), FALSE);
    desk.Clear();
    f.NextClick();
    EXPECT_EQ(f.CurrentPage(), TSetupForm::Page::Ready);
    EXPECT_FALSE(f.Installed);
    ASSERT_FALSE(desk.Of("MessageBox").empty());
    std::string text = desk.Of("MessageBox").back().text;
    EXPECT_NE(text.find("is damaged"), std::string::npos) << text;
    EXPECT_NE(text.find("removed again"), std::string::npos) << text;
    EXPECT_FALSE(Exists(fs + "\\Aircraft\\Broken\\good.txt"));
    EXPECT_FALSE(Exists(fs + "\\Aircraft\\Broken"));
    EXPECT_FALSE(Exists(fs + "\\Aircraft"));
}

TEST_F(SetupWizard, APackageWithoutItsArchiveSaysSo) {
    DeleteFileA((pkg + "Setup.skb").c_str());
    TSetupForm& f = Make();
    EXPECT_FALSE(f.CheckPackage());
    ASSERT_EQ(desk.Of("MessageBox").size(), 1u);
    EXPECT_NE(desk.Of("MessageBox")[0].text.find("\"Setup.skb\" is missing"), std::string::npos);
}

// Packages from anywhere: each case was once a fault.
TEST(HostilePackages, CutPicturesLongPathsAndNamesTheEngineRefuses) {
    // A 400 x 300 bitmap cut to 2 KB is refused before the system's loader sees it.
    std::vector<unsigned char> bmp(54 + 400 * 300 * 3, 0x40);
    const unsigned char head[] = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 0x90, 1, 0, 0, 0x2C, 1, 0, 0, 1, 0, 24, 0};
    std::copy(std::begin(head), std::end(head), bmp.begin());
    std::fill(bmp.begin() + 30, bmp.begin() + 54, 0);
    EXPECT_TRUE(PictureBytesSound(bmp.data(), bmp.size()));
    EXPECT_FALSE(PictureBytesSound(bmp.data(), 2048));
    std::string dir = testing_support::MakeTempDir();
    WriteBytes(dir + "Splash.bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 2048));
    int w = 0, h = 0;
    EXPECT_EQ(LoadPictureFitted(dir + "Splash.bmp", 240, 180, w, h), nullptr);
    EXPECT_FALSE(PictureFileSound(dir + "Splash.bmp"));

    // Files and folders past MAX_PATH, written as the engine writes them, are found and removed.
    std::string deep = dir + "FS";
    for (int i = 0; i < 8; ++i) deep += "\\folder number " + std::to_string(i) + " of a long scenery path";
    ASSERT_GT(deep.size(), size_t(MAX_PATH));
    TargetSurvey s;
    s.dest = dir + "FS";
    for (std::string p = deep; p.size() > s.dest.size(); p = p.substr(0, p.find_last_of('\\'))) s.newFolders.insert(s.newFolders.begin(), p);
    s.newFolders.insert(s.newFolders.begin(), s.dest);
    EXPECT_EQ(MakeFolders(deep), "");
    HANDLE f = CreateFileW(LongPath(deep + "\\tile.bgl").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    s.newFiles = {deep + "\\tile.bgl"};
    EXPECT_TRUE(IsFilePath(s.newFiles[0]));
    EXPECT_EQ(RemoveInstalled(s), 1);
    EXPECT_FALSE(PathExists(dir + "FS"));

    // Names the engine will not write are left out by Setup's own rule as well.
    std::string rel, why;
    for (const char* name : {"clock$.txt", "sub/CLOCK$", "a\x7f" "b.txt"}) EXPECT_FALSE(SafeMemberPath(name, rel, why)) << name;
    testing_support::RemoveTree(dir);
}

TEST(SceneryAreas, OneForASceneryEachFolderForSceneryMD) {
    const std::vector<std::string> files = {"EKCH\\scenery\\a.bgl", "EKCH\\texture\\a.bmp", "EKCH\\readme.txt",
                                            "EKCH\\Terminals\\Scenery\\t.bgl", "EKRN\\texture\\r.bmp"};
    EXPECT_EQ(SceneryAreaFolders(AddonType::Scenery, "C:\\FS\\Addon Scenery", files),
              std::vector<std::string>{"C:\\FS\\Addon Scenery\\EKCH"});
    EXPECT_EQ(SceneryAreaFolders(AddonType::SceneryMD, "C:\\FS\\Addon Scenery", files),
              (std::vector<std::string>{"C:\\FS\\Addon Scenery\\EKCH", "C:\\FS\\Addon Scenery\\EKCH\\Terminals",
                                        "C:\\FS\\Addon Scenery\\EKRN"}));
    // Loose files without an area's folders: the add-on's folder is the area.
    EXPECT_EQ(SceneryAreaFolders(AddonType::Scenery, "C:\\FS\\Addon Scenery\\Mini", {"mini.bgl"}),
              std::vector<std::string>{"C:\\FS\\Addon Scenery\\Mini"});
}
