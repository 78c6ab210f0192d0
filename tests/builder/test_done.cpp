// The project-complete dialog: the package summary, Create Zip and Cancel.
#include "BuilderForms.h"

using namespace testing_support;
using namespace builder_tests;

namespace {

int SixPixels(const std::string& s) { return 6 * (int)s.size(); }

}  // namespace

TEST(PackagePath, AShortPathStaysWhole) {
    EXPECT_EQ(ui::MinimizeName("C:\\Skykit\\PRJ", SixPixels, 174), "C:\\Skykit\\PRJ");
}

TEST(PackagePath, LeadingDirectoriesGiveWayOneByOne) {
    EXPECT_EQ(ui::MinimizeName("C:\\Program Files\\Skykit Builder\\Projects\\MYPROJ", SixPixels, 174),
              "C:\\...\\Projects\\MYPROJ");
}

TEST(PackagePath, ALongNameAloneLosesDriveAndDirectories) {
    std::string name(40, 'n');
    EXPECT_EQ(ui::MinimizeName("C:\\a\\" + name, SixPixels, 174), name);
    EXPECT_EQ(ui::MinimizeName("\\\\server\\share\\" + name, SixPixels, 174), name);
}

TEST(PackagePath, NoDriveAndNoDirectoryEndsAtOnce) {
    std::string name(60, 'n');
    EXPECT_EQ(ui::MinimizeName(name, SixPixels, 174), name);
}

TEST(PackageFiles, CountsFilesAndFoldersOfOneLevel) {
    std::string d = MakeTempDir();
    for (int i = 0; i < 5; ++i) WriteFile(d + "f" + std::to_string(i), "x");
    ui::ForceDirectories(d + "sub");
    WriteFile(d + "sub\\inner.txt", "x");
    EXPECT_EQ(CountPackageFiles(d), 6);
    EXPECT_EQ(CountPackageFiles(d + "absent"), 0);
    RemoveTree(d);
}

TEST_F(DoneDialog, ShowSummarisesThePackage) {
    std::string pkg = MakePackage("PRJ");
    ui::IniFile setup(pkg + "Kitsetup.ini");
    setup.WriteString("Title", "hl", "Heathrow 2000");
    setup.WriteString("Addon", "Type", "Scenery");
    setup.WriteString("Addon", "Version", "1.1");
    setup.WriteString("Splash", "Filename", "Splash.bmp");  // but no splash in the package
    ui::IniFile(dir.ini()).WriteString("Temp", "One", "C:\\b.jpg");  // chosen, never copied
    WriteFile(pkg + "Old release.zip", "an earlier distribution"), done->Edit1.SetText("Release 1.0");
    WhileShown([] {});
    EXPECT_EQ(done->Label9.Caption(), "Heathrow 2000");
    EXPECT_EQ(done->Label11.Caption(), "Scenery");
    EXPECT_EQ(done->Label13.Caption(), "No");
    EXPECT_EQ(done->Label15.Caption(), "No");
    EXPECT_EQ(done->Label6.Caption(), "5");
    EXPECT_EQ(done->Edit1.Text(), "Heathrow-2000-1.1");  // this release's name, not the last one
    EXPECT_EQ(done->Label5.Caption(), dir.path() + "PRJ");
    // A temporary install directory is a long path: it is shortened and offered as a hint.
    EXPECT_NE(done->ZipFName.Caption().find("..."), std::string::npos);
    EXPECT_TRUE(done->ZipFName.ShowHint());
    EXPECT_EQ(done->ZipFName.Hint, dir.path() + "PRJ");
    EXPECT_FALSE(done->Image1.Empty());

    WhileShown([] {});  // showing again without changes counts the same
    EXPECT_EQ(done->Label6.Caption(), "5");
    WriteFile(pkg + "Splash.bmp", "BM"), WriteFile(pkg + "Screen2.jpg", "jpeg");
    done->PackageFiles.insert(done->PackageFiles.end(), {"Splash.bmp", "Screen2.jpg"});
    WhileShown([] {});
    EXPECT_EQ(done->Label13.Caption() + done->Label15.Caption() + done->Label6.Caption(), "YesYes7");
}

TEST_F(DoneDialog, AShortPackagePathShowsWholeWithoutHint) {
    ui::SetInstallDirForTests("C:\\K\\");
    ui::IniFile(dir.ini()).WriteString("Temp", "Project", "P");
    ui::SetInstallDirForTests("C:\\K\\");
    done->ProjectDir = "P";
    WhileShown([] {});
    EXPECT_EQ(done->ZipFName.Caption(), "C:\\K\\P");
    EXPECT_FALSE(done->ZipFName.ShowHint());
    EXPECT_EQ(done->Label6.Caption(), "0");  // a missing package directory has no files
    ui::SetInstallDirForTests(dir.path());
}

TEST_F(DoneDialog, CreateZipWithoutANameAsksForOne) {
    MakePackage("PRJ");
    WhileShown([&] {
        done->Edit1.SetText("");
        done->Button1Click();
    });
    auto boxes = desk.Of("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Please name the Zip file you want to create.");
    EXPECT_EQ(boxes[0].caption, "Skykit Builder");
}

TEST_F(DoneDialog, DecliningToOverwriteWritesNothing) {
    std::string pkg = MakePackage("PRJ");
    WriteFile(pkg + "dist.zip.zip", "old");
    desk.messageAnswers = {IDNO};
    WhileShown([&] {
        done->Edit1.SetText("dist.zip");  // typed with its ending: a second one is added
        done->Button1Click();
    });
    auto boxes = desk.Of("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Overwrite Existing File: " + pkg + "dist.zip.zip?");
    EXPECT_EQ(boxes[0].flags & MB_TYPEMASK, (UINT)MB_YESNO);
    EXPECT_EQ(ReadFile(pkg + "dist.zip.zip"), "old");
    EXPECT_EQ(done->WindowHeight(), 374);
}

TEST_F(DoneDialog, CreateZipPacksThePackageClosesAndClearsTheMainForm) {
    std::string pkg = MakePackage("PRJ");
    Form1->Edit1.SetText("Title");
    Form1->Edit8.SetText("C:\\addon\\");
    ui::IniFile(dir.ini()).WriteString("Temp", "Splash", "C:\\s.bmp");
    int shownResult = -1;
    ui::Timer t;
    t.SetInterval(50);
    t.OnTimer = [&] {
        t.SetEnabled(false);
        done->Edit1.SetText("dist");
        done->Button1Click();
        shownResult = done->Showing() ? 1 : 0;  // still up after the archive: a fault
    };
    t.SetEnabled(true);
    done->ShowModal();
    EXPECT_EQ(shownResult, 0);
    EXPECT_FALSE(done->Showing());
    EXPECT_TRUE(ui::FileExists(pkg + "dist.zip"));
    EXPECT_EQ(done->ZipPacker2.FilesProcessed, 5);  // the build's five files, not itself
    EXPECT_EQ(desk.Of("MessageBox").at(0).text, "The Zip file is ready:\n" + pkg + "dist.zip");
    EXPECT_EQ(Form1->Edit1.Text(), "");
    EXPECT_EQ(Form1->Edit8.Text(), "");
    EXPECT_EQ(Form1->Edit9.Text(), "");
    EXPECT_EQ(IniValue(dir.ini(), "Temp", "Splash"), "<absent>");
    EXPECT_EQ(IniValue(dir.ini(), "Temp", "Project"), "PRJ");
}

TEST_F(DoneDialog, ProgressBarsFollowTheArchive) {
    done->ZipPacker2Progress(nullptr, ptByteCount, "", 2000);
    done->ZipPacker2Progress(nullptr, ptFileStart, "", 0);
    done->ZipPacker2Progress(nullptr, ptBytesDone, "", 0);
    EXPECT_EQ(done->ProgressBar1.Position(), 10001);  // an empty file is done at once
    EXPECT_EQ(done->ProgressBar2.Position(), 1);
    done->ZipPacker2Progress(nullptr, ptFileStart, "", 1500);
    done->ZipPacker2Progress(nullptr, ptBytesDone, "", 500);
    EXPECT_EQ(done->ProgressBar1.Position(), 3334);
    EXPECT_EQ(done->ProgressBar2.Position(), 2501);
}

TEST_F(DoneDialog, RunSetupStartsThePackagesInstallerMinimised) {
    MakePackage("PRJ");
    WhileShown([&] { done->Button3Click(); });
    auto runs = desk.Of("WinExec");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, "\"" + dir.path() + "PRJ\\Setup.exe\"");
    EXPECT_EQ(runs[0].flags, (UINT)SW_SHOWNORMAL);
}

TEST_F(DoneDialog, TheCloseBoxLeavesAsCancelDoes) {
    MakePackage("PRJ");
    WhileShown([&] { SendMessageA(done->Handle(), WM_CLOSE, 0, 0); });
    EXPECT_EQ(Form1->Edit9.Text(), "");  // the main form was cleared for the next project
}

TEST_F(DoneDialog, ANewZipReplacesTheOldOnlyWhenCompleteAndLeavesOtherZipsOut) {
    std::string pkg = MakePackage("PRJ");
    WriteFile(pkg + "dist.zip", "old");
    WriteFile(pkg + "Version1.ZIP", std::string(5000, 'z'));  // an earlier distribution
    desk.messageAnswers = {IDYES, IDOK, IDYES};
    // First an archive that does not complete: the old one stays byte for byte.
    auto progress = std::exchange(done->ZipPacker2.OnProgress, [&](TObject*, ProgressType t, const std::string&, long) {
        done->ZipPacker2.CancelRequested = t == ptFileStart;
    });
    WhileShown([&] { done->Edit1.SetText("dist"), done->Button1Click(); });
    EXPECT_EQ(ReadFile(pkg + "dist.zip"), "old");
    EXPECT_EQ(desk.Of("MessageBox").back().text.rfind("The file could not be made: " + pkg + "dist.zip", 0), 0u);
    done->ZipPacker2.OnProgress = progress;
    WhileShown([&] { done->Edit1.SetText("dist"), done->Button1Click(); });
    TZipPacker reader;
    reader.SetZipFileName(pkg + "dist.zip");
    EXPECT_EQ(reader.GetCount(), 5);  // the package's five files, no earlier ZIP
    EXPECT_EQ(CountPackageFiles(pkg), 8);  // no temporary left behind
}

TEST_F(DoneDialog, TheDownloadIsAChoiceOfItsOwnAndNeverTakesAPackageFilesName) {
    std::string pkg = MakePackage("PRJ"), installer = ReadFile(pkg + "Setup.exe");
    desk.messageAnswers = {IDYES, IDYES, IDYES};
    WhileShown([&] {
        done->CheckBox1.SetChecked(true), done->CheckBox1Click();
        // The last without the self-extractor in the install directory: said, the dialog stays.
        for (const char* name : {"Setup", "setup.EXE", "Release1"}) done->Edit1.SetText(name), done->Button1Click();
        EXPECT_TRUE(done->Showing());
    });
    std::string said;
    for (const auto& box : desk.Of("MessageBox")) said += box.text.substr(0, 44) + "|";
    EXPECT_EQ(said, "\"Setup.exe\" is a file of the package itself.|\"setup.EXE\" is a file of the package itself.|"
                    "The self-extractor \"SFXSTUB.BIN\" is missing |");
    EXPECT_EQ(ReadFile(pkg + "Setup.exe"), installer);
    EXPECT_EQ(CountPackageFiles(pkg), 6);  // nothing left behind
}

TEST_F(DoneDialog, WithoutACompletedBuildNothingIsPacked) {
    WhileShown([&] { done->Edit1.SetText("dist"), done->Button1Click(); });
    EXPECT_EQ(desk.Of("MessageBox").at(0).text, "There is no completed package to pack. Please build the project first.");
    EXPECT_FALSE(ui::FileExists(dir.path() + "dist.zip"));
}
