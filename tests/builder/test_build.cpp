// The Build command end to end inside the program: checks, the package directory, the
// archive made by the real engine, "Kitsetup.ini", the copies, the last dialog; the toolbar.
#include <shlobj.h>

#include "Build3.h"
#include "BuilderForms.h"
#include "Done.h"
#include "PackageFiles.h"
#include "PackageInfo.h"
#include "Splash.h"

using namespace testing_support;
using namespace builder_tests;

namespace {

const char* const kNoPath = "Please choose the path where your project files are stored.";
const char* const kSimFolder = "Can not build FS2000. Please choose a subdirectory,\nor choose another directory on your harddrive.";
const char* const kNoSubdir = "Please type the name of the Kitforge subdirectory,\nwhere your Skykit project will be build.";
const char* const kBadSubdir =
    "The master subdirectory must be a plain folder name:\nnot \".\" or \"..\", and none of \\ / : * ? \" < > |";

// The main form with a hand in its builds: `during` runs at the first report of its kind.
struct HandedForm1 : TForm1 {
    ProgressType when = ptFileStart;
    std::function<void()> during;
    void Progress(ProgressType type, long size) override {
        TForm1::Progress(type, size);
        if (type == when && during) std::exchange(during, nullptr)();
    }
};

struct Build : BuilderForms {
    HandedForm1* form = nullptr;
    std::string addon;  // the add-on folder
    int doneShown = 0;
    // The last dialog closes itself as soon as it shows, as if the author left it without
    // its clean-up (the tests look at the main form afterwards).
    ui::Timer watcher;

    void SetUp() override {
        BuilderForms::SetUp();
        Form1->Destroy();
        delete Form1;
        Form1 = form = new HandedForm1();
        Form3 = new TForm3();
        Done1 = new TDone1();
        // What the build copies into the package comes from the install directory.
        for (const char* f : {"Skin32.dll", "UNZENG.DLL", "Setup.dll", "Kitpress.exe"})
            CopyFileA(DistFile(f).c_str(), dir.file(f).c_str(), FALSE);
        addon = MakeTempDir();
        ui::ForceDirectories(addon + "scenery\\night");
        WriteFile(addon + "scenery\\EGLL.bgl", std::string(20000, 'b'));
        WriteFile(addon + "scenery\\night\\lights.bgl", std::string(3000, 'n'));
        WriteFile(addon + "readme.txt", "Heathrow\r\n");
        WriteFile(addon + "empty.dat", "");
        ui::ForceDirectories(addon + "sound");  // an empty folder is kept too
        FillProject();
        watcher.SetInterval(20);
        watcher.OnTimer = [this] {
            if (Done1->Showing() && Done1->ModalResult == ui::mrNone) {
                ++doneShown;
                Done1->ModalResult = ui::mrCancel;
            }
        };
        watcher.SetEnabled(true);
    }
    void TearDown() override {
        watcher.SetEnabled(false);
        delete Done1;
        Done1 = nullptr;
        Form3->Destroy();
        delete Form3;
        Form3 = nullptr;
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\SKKT\\CurrentVersion");
        RemoveTree(addon);
        BuilderForms::TearDown();
    }
    // The project's title, add-on folder and subdirectory on the main form.
    void FillProject() {
        Form1->Edit1.SetText("Heathrow 2000");
        Form1->Edit8.SetText(addon);
        Form1->Edit9.SetText("EGLL");
    }
    std::string Package() const { return dir.path() + "EGLL\\"; }
    std::string Setup(const std::string& section, const std::string& key) {
        return IniValue(Package() + "Kitsetup.ini", section, key);
    }
    void Complete() { Form1->Image7Click(); }
};

}  // namespace

TEST(ElapsedTime, MinutesAndSecondsWithLeadingZeros) {
    EXPECT_EQ(FormatElapsed(0), "00:00");
    EXPECT_EQ(FormatElapsed(7000), "00:07");
    EXPECT_EQ(FormatElapsed(65900), "01:05");
    EXPECT_EQ(FormatElapsed(599999), "09:59");
    EXPECT_EQ(FormatElapsed(7500000), "125:00");
}

TEST_F(Build, EachCheckSaysWhatIsMissingAndFocusesItsBox) {
    Form1->Show();
    struct Case {
        std::string location, subdir, simFolder, text;
        ui::Edit* focus;
    };
    // The simulator's folder as the registry gives it: no trailing backslash, its own case.
    std::string sim = addon + "scenery", lower = sim, install = dir.path();
    CharLowerBuffA(lower.data(), (DWORD)lower.size());
    char shortName[MAX_PATH] = "";
    GetShortPathNameA(sim.c_str(), shortName, MAX_PATH);
    ui::ForceDirectories(install + "PKG");
    std::vector<Case> cases = {
        {"", "", "", kNoPath, &Form1->Edit8},  // an empty location comes first, whatever else is empty
        {addon + "absent\\", "EGLL", "", kNoPath, &Form1->Edit8},  // typed by hand and not there
        {addon, "EGLL", addon, kSimFolder, &Form1->Edit8},
        // The location dialog's own offer: the simulator folder with a backslash, any spelling.
        {sim + "\\", "EGLL", sim, kSimFolder, &Form1->Edit8},
        {lower + "\\night\\..\\.\\", "EGLL", sim, kSimFolder, &Form1->Edit8},
        {std::string(shortName) + "\\", "EGLL", sim, kSimFolder, &Form1->Edit8},
        {addon, "EGLL", sim, kSimFolder, &Form1->Edit8},  // a folder that holds the simulator
        {install, "EGLL", "", kSimFolder, &Form1->Edit8},  // the builder's own folder
        {install + "..\\", "EGLL", "", kSimFolder, &Form1->Edit8},  // and a folder holding it
        {install + "pkg\\", "PKG", "", kSimFolder, &Form1->Edit8},  // the package directory itself
        {addon, "", "", kNoSubdir, &Form1->Edit9},
    };
    for (const char* bad : {".", "..", "..\\x", "a/b", "C:x", "CON", "lpt1.z", "ab?", "ab."})
        cases.push_back({addon, bad, "", kBadSubdir, &Form1->Edit9});
    for (const Case& c : cases) {
        desk.Clear();
        Form1->Edit1.SetText("");
        Form1->Edit8.SetText(c.location);
        Form1->Edit9.SetText(c.subdir);
        Form1->SimFolder = c.simFolder;
        Form1->Image7Click();
        auto boxes = Messages();
        ASSERT_EQ(boxes.size(), 1u) << c.text;
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].caption, "Skykit Builder");
        EXPECT_EQ(boxes[0].flags, 0x30u);
        EXPECT_TRUE(c.focus->Focused()) << c.text;
        EXPECT_EQ(Form1->Edit1.Text(), "Skykit Project 1.0");
        EXPECT_EQ(doneShown, 0);
    }
    EXPECT_FALSE(ui::DirectoryExists(Package()));
    EXPECT_EQ(Ini("Temp", "Project"), "<absent>");  // only a completed build names its package
}

TEST_F(Build, ABuildWritesTheWholePackage) {
    WriteBitmap(addon + "..\\splash-egll.bmp", 400, 300);
    WriteFile(addon + "..\\shot1-egll.jpg", "jpeg one");
    WriteFile(addon + "..\\shot3-egll.jpg", "jpeg three");
    SetIni("Temp", "One", addon + "..\\shot1-egll.jpg");
    SetIni("Temp", "Three", addon + "..\\shot3-egll.jpg");
    SetIni("Temp", "Splash", addon + "..\\splash-egll.bmp");
    SetIni("Temp", "Splash_Width", "400");
    SetIni("Temp", "Splash_Height", "300");
    Form2->Memo1.SetText("Free to use.\r\nDo not sell.");
    Form2->Memo2.SetText("Heathrow for FS2000");
    Form1->Show();
    SetCurrentDirectoryA(dir.path().c_str());  // not the add-on folder: the box names it

    Form1->Image7Click();

    EXPECT_EQ(doneShown, 1);
    EXPECT_TRUE(Messages().empty());
    for (const char* f : {"Setup.skb", "licens.skh", "File_id.diz", "Kitsetup.ini", "Setup.exe", "Skin32.dll",
                          "Unzeng.dll", "Screen1.jpg", "Screen3.jpg", "Splash.bmp"})
        EXPECT_TRUE(ui::FileExists(Package() + f)) << f;
    EXPECT_FALSE(ui::FileExists(Package() + "Screen2.jpg"));
    EXPECT_EQ(ReadFile(Package() + "licens.skh"), "Free to use.\r\nDo not sell.\r\n");
    EXPECT_EQ(ReadFile(Package() + "File_id.diz"), "Heathrow for FS2000\r\n");
    EXPECT_EQ(ReadFile(Package() + "Screen3.jpg"), "jpeg three");
    EXPECT_EQ(ReadFile(Package() + "Setup.exe"), ReadFile(dir.file("Setup.dll")));

    // Every file and folder of the add-on folder, and nothing of the process's own directory.
    Form1->ZipPacker1.List();
    std::vector<std::string> names;
    for (int i = 0; i < Form1->ZipPacker1.GetCount(); ++i) names.push_back(Form1->ZipPacker1.DirEntry(i).FileName);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"empty.dat", "readme.txt", "scenery\\", "scenery\\EGLL.bgl",
                                               "scenery\\night\\", "scenery\\night\\lights.bgl", "sound\\"}));
    EXPECT_EQ(Form1->Label24.Caption(), "4");  // files, as the installer counts them; no folders
    EXPECT_EQ(Form1->Label26.Caption(), "Setup Complete");
    EXPECT_EQ(Form1->TimeLabel.Caption().size(), 5u);
    EXPECT_FALSE(Form3->Showing());
    EXPECT_EQ(Ini("Temp", "Project"), "EGLL");
    EXPECT_EQ(Setup("Splash", "Filename"), "Splash.bmp");
    EXPECT_EQ(Setup("Splash", "Width"), "400");
    EXPECT_EQ(Setup("Title", "hl"), "Heathrow 2000");
}

TEST_F(Build, BothMemosEmptyWriteNeitherText) {
    Form1->Image7Click();
    EXPECT_EQ(doneShown, 1);
    EXPECT_FALSE(ui::FileExists(Package() + "licens.skh"));
    EXPECT_FALSE(ui::FileExists(Package() + "File_id.diz"));
    EXPECT_TRUE(ui::FileExists(Package() + "Setup.skb"));
}

TEST_F(Build, InstallerSettingsForEveryTypeVersionAndCondition) {
    Complete();  // a package for FS2000 alone: written as before, for earlier Setups
    EXPECT_EQ(ReadFile(Package() + "Kitsetup.ini"),
              "[Flightsim]\r\nVersion=Flightsimulator 2000\r\n[Addon]\r\nType=Scenery\r\nCondition=Freeware\r\n"
              "[Title]\r\nhl=Heathrow 2000\r\n");
    struct Case {
        ui::RadioButton* button;
        const char* version;
        bool freeware;
        const char* type;  // nullptr: no type written
    };
    Case cases[] = {{&Form1->RadioButton1, "Flightsimulator 2000", true, "Scenery"},
                    {&Form1->RadioButton2, "Flightsimulator 98", false, "Aircraft"},
                    {&Form1->RadioButton3, "Flightsimulator 2000", true, "Sound"},
                    {&Form1->RadioButton4, "Flightsimulator 98", true, "Panel"},
                    {&Form1->RadioButton5, "Flightsimulator 2000", false, "Adv"},
                    {&Form1->RadioButton5, "Flightsimulator 98", true, "Adv"}};
    for (const Case& c : cases) {
        DeleteFileA((Package() + "Kitsetup.ini").c_str());
        c.button->SetChecked(true);
        Form1->HeldVersion = c.version;
        Form1->CheckBox1.SetChecked(c.freeware);
        Complete();
        EXPECT_EQ(Setup("Flightsim", "Version"), c.version);
        EXPECT_EQ(Setup("Addon", "Type"), c.type ? c.type : "<absent>") << c.version;
        EXPECT_EQ(Setup("Addon", "Condition"), c.freeware ? "Freeware" : "Shareware");
        EXPECT_EQ(Setup("Title", "hl"), "Heathrow 2000");
    }
    // For simulators that fly no adventures: no type; the version earlier Setups read, and the list.
    SetIni("Flightsim", "Simulators", "p3d,fsx");
    Complete();
    EXPECT_EQ(Setup("Flightsim", "Version") + "|" + Setup("Flightsim", "Simulators") + "|" + Setup("Addon", "Type"),
              "Flightsimulator 2000|fsx,p3d|<absent>");
    Form1->RadioButton1.SetChecked(true);
    Form1->Label7.SetCaption("Scenery MD");
    Complete();
    EXPECT_EQ(Setup("Addon", "Type"), "Scenery MD");
}

TEST_F(Build, NamesOnEvenKeysAddressesOnOddAndOldKeysStay) {
    FillAuthors();
    Complete();
    EXPECT_EQ(Setup("Authors", "2"), "Ann");
    EXPECT_EQ(Setup("Authors", "1"), "ann@example.com");
    EXPECT_EQ(Setup("Authors", "4"), "Bob");
    EXPECT_EQ(Setup("Authors", "3"), "bob@example.com");
    EXPECT_EQ(Setup("Authors", "6"), "Cid");
    EXPECT_EQ(Setup("Authors", "5"), "cid@example.com");

    // A second build under the same subdirectory with one developer: no earlier key survives.
    Form1->Edit2.SetText("Dora");
    for (ui::Edit* e : {&Form1->Edit3, &Form1->Edit4, &Form1->Edit5, &Form1->Edit6, &Form1->Edit7}) e->SetText("");
    Complete();
    EXPECT_EQ(Setup("Authors", "2"), "Dora");
    for (const char* key : {"1", "3", "4", "5", "6"}) EXPECT_EQ(Setup("Authors", key), "<absent>") << key;
    EXPECT_EQ(Setup("Splash", "Filename"), "<absent>");
}

TEST_F(Build, WhatABuildWritesTheInstallerTheReopenAndTheLastDialogRead) {
    WriteBitmap(addon + "..\\splash-egll.bmp", 400, 300);
    SetIni("Temp", "Splash", addon + "..\\splash-egll.bmp");
    SetIni("Temp", "Splash_Width", "400");
    SetIni("Temp", "Splash_Height", "300");
    SetIni("Flightsim", "Version", "Flightsimulator 98");
    SetIni("Flightsim", "Simulators", "fs2004,fs98");
    // A developer with an address only and one with a name only: the keys keep them apart.
    Form1->Edit3.SetText("ann@example.com"), Form1->Edit6.SetText("Cid");
    Form1->Edit10.SetText("1.1"), Form1->RadioButton4.SetChecked(true), Form1->CheckBox1.SetChecked(false);
    Form1->Image7Click();
    ASSERT_EQ(doneShown, 1);

    kit::KitsetupIni built;
    built.splashWidth = "400", built.splashHeight = "300", built.splashFile = "Splash.bmp";
    built.authorEmail[0] = "ann@example.com", built.authorName[2] = "Cid";
    built.version = "Flightsimulator 98", built.simulators = "fs98,fs2004", built.type = "Panel";
    built.condition = "Shareware";
    built.addonVersion = "1.1", built.title = "Heathrow 2000";
    EXPECT_TRUE(ReadKitsetupFile(Package() + kit::kSettingsFile) == built);
    Project reopened;
    ASSERT_TRUE(ReadPackageProject("EGLL", reopened));
    EXPECT_TRUE(reopened == Form1->CurrentProject());
    EXPECT_EQ(Done1->ProjectTitle + "|" + Done1->AddonType + "|" + Done1->SplashFile + "|" + Done1->AddonVersion,
              "Heathrow 2000|Panel|Splash.bmp|1.1");
    kit::PackageInfo installer = kit::ReadPackageInfoFile(Package() + kit::kSettingsFile);
    EXPECT_EQ(std::to_string(installer.splashWidth) + "x" + std::to_string(installer.splashHeight) + " " +
                  installer.splashFile,
              "400x300 Splash.bmp");
    ASSERT_EQ(installer.authors.size(), 2u);
    EXPECT_EQ(installer.authors[0].name + "<" + installer.authors[0].email + ">", "<ann@example.com>");
    EXPECT_EQ(installer.authors[1].name + "<" + installer.authors[1].email + ">", "Cid<>");
    EXPECT_EQ(kit::SimulatorList(installer.Targets()), "fs98,fs2004");
    EXPECT_EQ(installer.Type(), kit::AddonType::Panel);
    EXPECT_FALSE(installer.Freeware());
    EXPECT_EQ(installer.TitleWithVersion(), "Heathrow 2000 1.1");
}

TEST_F(Build, WithoutTheInstallerTheAuthorIsToldAndThePackageIsStillCompleted) {
    DeleteFileA(dir.file("Setup.dll").c_str());
    Complete();
    auto boxes = Messages();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Copy Setup.exe failed");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].flags, (UINT)MB_OK);
    EXPECT_EQ(boxes[1].text, "The package is not complete. Missing from " + Package() + ":\nSetup.exe");
    EXPECT_EQ(Form1->Label26.Caption(), "Setup incomplete");
    EXPECT_EQ(doneShown, 1);
    EXPECT_TRUE(ui::FileExists(Package() + "Skin32.dll"));
    EXPECT_TRUE(ui::FileExists(Package() + "Unzeng.dll"));
}

TEST_F(Build, TheRecentDocumentsEntryUsesTheRegisteredInstallPath) {
    Complete();
    ASSERT_EQ(desk.Of("AddToRecentDocs").size(), 1u);
    EXPECT_EQ(desk.Of("AddToRecentDocs")[0].text, "EGLL\\Setup.exe");
    HKEY h;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\SKKT\\CurrentVersion", 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr);
    RegSetValueExA(h, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\Skykit\\"), 11);
    RegCloseKey(h);
    desk.Clear();
    Complete();
    EXPECT_EQ(desk.Of("AddToRecentDocs")[0].text, "C:\\Skykit\\EGLL\\Setup.exe");
}

TEST_F(Build, ProgressBarsAreScaledIn64Bits) {
    Form1->ZipPacker1Progress(nullptr, ptByteCount, "", 2000000000);
    EXPECT_EQ(Form3->ProgressBar2.Position(), 1);
    Form1->ZipPacker1Progress(nullptr, ptFileStart, "", 0);
    Form1->ZipPacker1Progress(nullptr, ptBytesDone, "", 0);
    EXPECT_EQ(Form3->ProgressBar1.Position(), 10001);  // an empty file is full at once
    Form1->ZipPacker1Progress(nullptr, ptFileStart, "", 1500000000);
    EXPECT_EQ(Form3->ProgressBar1.Position(), 1);
    Form1->ZipPacker1Progress(nullptr, ptBytesDone, "", 1000000000);
    EXPECT_EQ(Form3->ProgressBar1.Position(), 6667);
    EXPECT_EQ(Form3->ProgressBar2.Position(), 5001);
    Form1->ZipPacker1Progress(nullptr, ptFileCount, "", 99);
    EXPECT_EQ(Form3->ProgressBar2.Position(), 5001);
}

TEST_F(Build, ASecondBuildWhileOneRunsIsRefused) {
    form->during = [] { Form1->Image7Click(); };
    Form1->Image7Click();
    auto boxes = Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "A build is running. Please wait until it is complete.");
    EXPECT_EQ(doneShown, 1);
    EXPECT_FALSE(Form1->Building);
    // The next build runs normally.
    desk.Clear();
    Form1->Image7Click();
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(doneShown, 2);
}

TEST_F(Build, ProjectInformationNeedsACompletedBuild) {
    Form1->SpeedButton7Click();
    auto boxes = Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "SKKT did not register a new Project. You need to build a Project\nbefore you can view the SKKT "
              "Project information, and create a\nsingle Zip file.");
    EXPECT_EQ(doneShown, 0);
    Form1->Image7Click();
    EXPECT_EQ(doneShown, 1);
    // A refused build afterwards: the information is still that of the completed package.
    Form1->Edit9.SetText("");
    Form1->Image7Click();
    Form1->SpeedButton7Click();
    EXPECT_EQ(Done1->Label5.Caption(), Package().substr(0, Package().size() - 1));
    const std::string folders = MakeTempDir(), onlyAFolder = folders + "only-a-folder\\";
    for (const std::string& location : {folders, onlyAFolder}) {  // folders only packed, then a failure
        ui::ForceDirectories(onlyAFolder), Form1->Edit9.SetText("EGLL"), Form1->Edit8.SetText(location);
        Form1->Image7Click(), desk.Clear(), Form1->SpeedButton7Click();
        EXPECT_EQ(Messages().size(), 1u) << location;  // no package to show
    }
    RemoveTree(folders);
}

// F1 in each of the builder's windows opens the guide at the part about that window; a form
// shown inside another (the legal texts over the main window) answers for itself, and a modal
// dialog's own loop takes the key as the program's loop does.
TEST_F(Build, F1InEachWindowOpensTheGuideWhereItExplainsThatWindow) {
    watcher.SetEnabled(false);
    TSplash splash;
    Form1->Show();
    Form1->Image3Click();  // "Note": the legal texts over the client panel
    const struct {
        ui::Form* form;
        HWND keyboard;
        ui::HelpTopic topic;
    } windows[] = {
        {Form1, Form1->Edit1.Handle(), {"first-package.htm", "main"}},
        {Form2, Form2->Memo1.Handle(), {"first-package.htm", "legal"}},
        {Form5, Form5->Edit3.Handle(), {"first-package.htm", "authors"}},
        {Option1, Option1->Handle(), {"first-package.htm", "settings"}},
        {Form3, Form3->Button1.Handle(), {"first-package.htm", "building"}},
        {&splash, splash.Handle(), {"Index.htm", ""}},
    };
    for (const auto& w : windows) {
        desk.Clear();
        w.form->Show();
        PressF1(w.keyboard);
        EXPECT_EQ(GuideProblem(desk.Of("ShellExecute"), w.topic), "") << w.form->Name;
    }
    desk.Clear();
    Later press(50, [] {
        PostMessageA(Done1->Edit1.Handle(), WM_KEYDOWN, VK_F1, 0);
        PostMessageA(Done1->Handle(), WM_CLOSE, 0, 0);
    });
    Done1->ShowModal();
    EXPECT_EQ(GuideProblem(desk.Of("ShellExecute"), {"first-package.htm", "complete"}), "");
}

TEST_F(Build, ToolbarHandsOverToMailHelpAndTheExplorer) {
    Form1->SpeedButton6Click();
    Form1->SpeedButton8Click();
    Form1->SpeedButton10Click();
    auto shell = desk.Of("ShellExecute");
    ASSERT_EQ(shell.size(), 2u);
    EXPECT_EQ(shell[0].text, "MailTo:");
    EXPECT_EQ(shell[0].caption, "open");
    EXPECT_EQ(shell[0].flags, 0u);
    EXPECT_EQ(shell[1].text, dir.path() + "help\\Index.htm");
    EXPECT_EQ(shell[1].flags, (UINT)SW_SHOWDEFAULT);
    auto runs = desk.Of("WinExec");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, "\"" + dir.path() + "Kitlens.exe\"");
    EXPECT_EQ(runs[0].flags, (UINT)SW_SHOWNORMAL);
}

TEST_F(Build, CreateZipInsideTheBuildPacksTheFinishedPackage) {
    // The last dialog runs inside the build's end-of-batch event: its own archive is written
    // while the build's archive operation is still on the stack.
    watcher.OnTimer = [this] {
        if (Done1->Showing() && Done1->ModalResult == ui::mrNone && doneShown == 0) {
            ++doneShown;
            Done1->Edit1.SetText("EGLL-dist");
            Done1->Button1Click();
        }
    };
    Form1->Image7Click();
    EXPECT_EQ(doneShown, 1);
    EXPECT_FALSE(Done1->Showing());
    ASSERT_TRUE(ui::FileExists(Package() + "EGLL-dist.zip"));
    TZipPacker reader;
    reader.SetZipFileName(Package() + "EGLL-dist.zip");
    std::vector<std::string> names;
    for (int i = 0; i < reader.GetCount(); ++i) names.push_back(reader.DirEntry(i).FileName);
    for (const char* f : {"Setup.skb", "Kitsetup.ini", "Setup.exe", "Skin32.dll", "Unzeng.dll"})
        EXPECT_NE(std::find(names.begin(), names.end(), f), names.end()) << f;
    EXPECT_EQ(std::find(names.begin(), names.end(), "EGLL-dist.zip"), names.end());
    // The main form was cleared by the dialog.
    EXPECT_EQ(Form1->Edit9.Text(), "");
    EXPECT_NE(Form1->Label24.Caption(), "0");
}


namespace {
std::vector<std::string> Members(const std::string& zip) {
    TZipPacker reader;
    reader.SetZipFileName(zip);
    std::vector<std::string> names;
    for (int i = 0; i < reader.GetCount(); ++i) names.push_back(reader.DirEntry(i).FileName);
    return std::sort(names.begin(), names.end()), names;
}
std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*.*").c_str(), &fd);
    for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &fd))
        if (fd.cFileName[0] != '.') names.push_back(fd.cFileName);
    FindClose(h);
    return std::sort(names.begin(), names.end()), names;
}
}  // namespace

TEST_F(Build, ASecondReleaseHoldsExactlyTheFolderAsItIsNowAndAFailedOneChangesNothing) {
    Form2->Memo1.SetText("Terms");
    Form2->Memo2.SetText("Version 1");
    Form1->Image7Click();
    WriteFile(Package() + "notes.txt", "the author's own");  // not the builder's: it stays

    // The author deletes and renames files, and takes out the terms.
    DeleteFileA((addon + "empty.dat").c_str());
    MoveFileA((addon + "readme.txt").c_str(), (addon + "liesmich.txt").c_str());
    Form2->Memo1.SetText("");
    Form2->Memo2.SetText("Version 2");
    Form1->Image7Click();
    EXPECT_EQ(Members(Package() + "Setup.skb"),
              (std::vector<std::string>{"liesmich.txt", "scenery\\", "scenery\\EGLL.bgl", "scenery\\night\\",
                                        "scenery\\night\\lights.bgl", "sound\\"}));
    const std::vector<std::string> files = {"File_id.diz", "Kitsetup.ini", "Setup.exe", "Setup.skb",
                                            "Skin32.dll",  "Unzeng.dll",   "notes.txt"};
    EXPECT_EQ(Listing(Package()), files);
    EXPECT_EQ(ReadFile(Package() + "File_id.diz"), "Version 2\r\n");

    // An add-on folder with nothing in it: the engine has nothing to pack, the package stays.
    std::string before = ReadFile(Package() + "Setup.skb"), empty = MakeTempDir();
    Form1->Edit8.SetText(empty);
    Form1->Image7Click();
    RemoveTree(empty);
    EXPECT_EQ(doneShown, 2);
    EXPECT_EQ(ReadFile(Package() + "Setup.skb"), before);
    EXPECT_EQ(Listing(Package()), files);  // no temporary left
    EXPECT_EQ(Form1->Label26.Caption(), "Build failed");
}

TEST_F(Build, ACancelledBuildOrAQuitDuringOneLeavesTheEarlierPackageByteForByte) {
    Form2->Memo1.SetText("Terms 1");
    Form1->Image7Click();
    WriteFile(addon + "scenery\\big.bgl", std::string(3000000, 'x'));
    Form2->Memo1.SetText("Terms 2");
    auto files = [&](std::string all = "") {  // every file of the package with its content
        for (const std::string& f : Listing(Package())) all += f + ":" + ReadFile(Package() + f) + "|";
        return all;
    };
    const std::string before = files();
    // Escape on the "Building..." window as a person presses it; then Quit, which asks first.
    desk.messageAnswers = {IDYES};
    form->when = ptBytesDone;
    for (std::function<void()> how : std::initializer_list<std::function<void()>>{
             [] { SendMessageA(Form3->Button1.Handle(), WM_KEYDOWN, VK_ESCAPE, 0); }, [] { Form1->Image4Click(); }}) {
        form->during = how;
        Form1->Image7Click();
        EXPECT_EQ(files(), before);  // every file as it was, nothing temporary left
        EXPECT_FALSE(Form3->Showing());
        EXPECT_EQ(Form1->Label26.Caption() + std::to_string(doneShown), "Build cancelled1");
    }
    EXPECT_EQ(Messages().size() == 1 ? Messages()[0].text : "", "A build is running. Stop the build and quit?");
    EXPECT_EQ(Ini("SKKT", "Path"), dir.path());  // the quit itself ran after the build stopped
}

TEST_F(Build, ASecondReleaseAfterADownloadHoldsExactlyThePackagesFilesAndItsVersion) {
    CopyFileA(DistFile("SFXSTUB.BIN").c_str(), dir.file("SFXSTUB.BIN").c_str(), FALSE);
    Form1->Edit10.SetText("1.1"), Form2->Memo2.SetText("Version 1.1");
    std::string proposed;
    bool acting = false;
    watcher.OnTimer = [&] {
        if (acting || !Done1->Showing() || Done1->ModalResult != ui::mrNone) return;
        acting = true, proposed += Done1->Edit1.Text() + "|";
        Done1->CheckBox1.SetChecked(++doneShown == 1);  // the first release as one download
        Done1->Button1Click(), acting = false;
    };
    Form1->Image7Click();
    EXPECT_EQ(Setup("Addon", "Version"), "1.1");
    WriteFile(Package() + "notes.txt", "the author's own");
    FillProject();
    Form1->Image7Click();  // the second release has no version
    EXPECT_EQ(proposed, "Heathrow-2000-1.1|Heathrow-2000|");
    EXPECT_EQ(Setup("Addon", "Version"), "<absent>");
    EXPECT_TRUE(ui::FileExists(Package() + "Heathrow-2000-1.1.exe"));
    EXPECT_EQ(Members(Package() + "Heathrow-2000.zip"), (std::vector<std::string>{"File_id.diz", "Kitsetup.ini",
                                                        "Setup.exe", "Setup.skb", "Skin32.dll", "Unzeng.dll"}));
}

TEST_F(Build, ReopeningAPackageBringsTheProjectBack) {
    WriteFile(addon + "..\\shot-egll.jpg", "jpeg");
    SetIni("Temp", "Two", addon + "..\\shot-egll.jpg");
    Form1->Edit5.SetText("bob@example.com");
    Form1->Edit10.SetText("2.0 beta");
    Form1->RadioButton5.SetChecked(true);
    Form2->Memo1.SetText("Line one\r\nLine two");
    Form1->Image7Click();
    EXPECT_EQ(ReadFile(Package() + "Kitsetup.ini").find(addon), std::string::npos);  // no path of the author's

    // A new run: the form, the editor and the settings file are empty; the picture is gone.
    DeleteFileA((addon + "..\\shot-egll.jpg").c_str());
    for (ui::Edit* e : {&Form1->Edit1, &Form1->Edit5, &Form1->Edit8, &Form1->Edit9, &Form1->Edit10}) e->SetText("");
    Form1->RadioButton1.SetChecked(true);
    Form2->Memo1.SetText("");
    ui::IniFile(dir.ini()).DeleteKey("Temp", "Two");
    std::string dropped = Package() + "Kitsetup.ini";  // dropped on the window
    HGLOBAL mem = GlobalAlloc(GHND, sizeof(DROPFILES) + dropped.size() + 2);
    auto* df = static_cast<DROPFILES*>(GlobalLock(mem));
    df->pFiles = sizeof(DROPFILES);
    memcpy(df + 1, dropped.c_str(), dropped.size());
    GlobalUnlock(mem);
    SendMessageA(Form1->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(mem), 0);

    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Form1->Edit1.Text() + "|" + Form1->Edit9.Text() + "|" + Form1->Edit5.Text() + "|" + Form1->Edit8.Text(),
              "Heathrow 2000|EGLL|bob@example.com|" + addon);
    EXPECT_TRUE(Form1->RadioButton5.Checked());
    EXPECT_EQ(Form1->Edit10.Text(), "2.0 beta");
    EXPECT_EQ(Form2->Memo1.Text(), "Line one\r\nLine two");
    EXPECT_EQ(Ini("Temp", "Two"), Package() + "Screen2.jpg");  // the package's own copy
    EXPECT_EQ(Form1->PopupMenu1.Item("Recent1")->Caption, "&1 EGLL");
    Form1->Image7Click();
    EXPECT_EQ(ReadFile(Package() + "Screen2.jpg"), "jpeg");
    Form1->OpenPackage(addon);  // no package of this builder
    EXPECT_EQ(Messages().at(0).text.rfind("This is no Skykit package:", 0), 0u);
}
