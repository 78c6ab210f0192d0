// The main project form once it shows: what it loads, the simulator folder from the
// registry, the add-on type, the settings and location dialogs, the developer buttons,
// "Note", the archive name, and what comes back after a restart.
#include "BuilderForms.h"

using namespace testing_support;
using namespace builder_tests;

namespace {

using MainProjectForm = BuilderForms;

const char* const kSubdirMessage =
    "Please type the name of the Kitforge subdirectory,\nwhere your Skykit project will be build.";

void Type(ui::Edit& edit, const std::string& text) {
    SendMessageA(edit.Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    for (char c : text) SendMessageA(edit.Handle(), WM_CHAR, (unsigned char)c, 0);
}

}  // namespace

TEST_F(MainProjectForm, ShowLoadsTheAuthorsAndTheTypeAndFocusesTheTitle) {
    SetIni("Authors", "Name1", "Ann Berg");
    SetIni("Authors", "Email1", "ann@example.com");
    SetIni("Authors", "Name3", "Carl");
    SetIni("Addon", "Type", "Sound");
    Form1->Edit5.SetText("kept@example.com");  // no key: the box keeps its text
    Form1->Show();
    EXPECT_EQ(Form1->Edit2.Text(), "Ann Berg");
    EXPECT_EQ(Form1->Edit3.Text(), "ann@example.com");
    EXPECT_EQ(Form1->Edit4.Text(), "");
    EXPECT_EQ(Form1->Edit5.Text(), "kept@example.com");
    EXPECT_EQ(Form1->Edit6.Text(), "Carl");
    EXPECT_TRUE(Form1->RadioButton3.Checked());
    EXPECT_FALSE(Form1->RadioButton1.Checked());
    EXPECT_TRUE(Form1->Edit1.Focused());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(MainProjectForm, StoredSceneryMdSelectsSceneryButKeepsItsCaption) {
    SetIni("Addon", "Type", "Aircraft");
    Form1->FormShow();
    ASSERT_TRUE(Form1->RadioButton2.Checked());
    SetIni("Addon", "Type", "Scenery MD");
    Form1->FormShow();
    EXPECT_TRUE(Form1->RadioButton1.Checked());
    EXPECT_FALSE(Form1->RadioButton2.Checked());
    EXPECT_EQ(Form1->Label7.Caption(), "Scenery");
    // Quitting without a double-click stores plain "Scenery".
    Form1->Image4Click();
    EXPECT_EQ(Ini("Addon", "Type"), "Scenery");
}

TEST_F(MainProjectForm, AnUnknownTypeOrNoSettingsFileChangesNothing) {
    Form1->FormShow();  // first run: no settings file at all
    EXPECT_TRUE(Form1->RadioButton1.Checked());
    EXPECT_EQ(Form1->Edit2.Text(), "");
    EXPECT_EQ(Form1->HeldVersion, "");
    for (const char* type : {"Helicopter", "scenery", "Adv"}) {
        Form1->RadioButton4.SetChecked(true);
        SetIni("Addon", "Type", type);
        Form1->FormShow();
        EXPECT_TRUE(Form1->RadioButton4.Checked()) << type;
    }
}

TEST_F(MainProjectForm, SimulatorFolderComesFromTheRegistryForTheHeldVersion) {
    {
        // Nothing installed: nothing found, no version made up.
        Form1->FormShow();
        EXPECT_EQ(Form1->Label27.Caption(), "");
        EXPECT_EQ(Form1->HeldVersion, "");
    }
    {
        SimulatorKey fs2000(kFs2000Key, "C:\\FS2000\\");
        Form1->FormShow();
        EXPECT_EQ(Form1->Label27.Caption(), "C:\\FS2000\\");
        EXPECT_EQ(Form1->SimFolder, "C:\\FS2000\\");
        // Finding Flight Simulator 2000 chooses no version: the build takes 2000 when none is held.
        EXPECT_EQ(Form1->HeldVersion, "");
    }
    {
        // Only 98 installed and no version chosen: 98 becomes the target, by its name.
        Form1->Label27.SetCaption("");
        SimulatorKey fs98(kFs98Key, "D:\\Games\\FS98\\");
        Form1->FormShow();
        EXPECT_EQ(Form1->Label27.Caption(), "D:\\Games\\FS98\\");
        EXPECT_EQ(Form1->HeldVersion, "Flightsimulator 98");
    }
}

TEST_F(MainProjectForm, TheStoredVersionPicksItsSimulatorsFolder) {
    SimulatorKey fs2000(kFs2000Key, "C:\\FS2000\\");
    SimulatorKey fs98(kFs98Key, "C:\\FS98\\");
    SetIni("Flightsim", "Version", "Flightsimulator 2000");
    Form1->FormShow();
    EXPECT_EQ(Form1->Label27.Caption(), "C:\\FS2000\\");
    SetIni("Flightsim", "Version", "Flightsimulator 98");
    Form1->FormShow();
    EXPECT_EQ(Form1->Label27.Caption(), "C:\\FS98\\");
    EXPECT_EQ(Form1->HeldVersion, "Flightsimulator 98");
}

TEST_F(MainProjectForm, AMissingKeyLeavesTheFolderAsItWas) {
    SetIni("Flightsim", "Version", "Flightsimulator 98");
    Form1->Label27.SetCaption("E:\\Elsewhere\\");
    SimulatorKey fs2000(kFs2000Key, "C:\\FS2000\\");  // the other simulator only
    Form1->FormShow();
    EXPECT_EQ(Form1->Label27.Caption(), "E:\\Elsewhere\\");
    // The keys are only read, never created.
    HKEY h;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFs98Key, 0, KEY_READ, &h), ERROR_SUCCESS);
}

TEST_F(MainProjectForm, TypeLabelsAndButtonsSelectAndSceneryToggles) {
    Form1->Show();
    struct Pair {
        ui::Label* label;
        ui::RadioButton* button;
    };
    for (Pair p : {Pair{&Form1->Label8, &Form1->RadioButton2}, Pair{&Form1->Label9, &Form1->RadioButton3},
                   Pair{&Form1->Label10, &Form1->RadioButton4}, Pair{&Form1->Label18, &Form1->RadioButton5},
                   Pair{&Form1->Label7, &Form1->RadioButton1}}) {
        p.label->Click();
        EXPECT_TRUE(p.button->Checked()) << p.label->Name;
        EXPECT_TRUE(p.button->Focused()) << p.label->Name;
    }
    // A real click on a radio button selects it and focuses it too.
    SendMessageA(Form1->RadioButton4.Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(Form1->RadioButton4.Checked());
    EXPECT_FALSE(Form1->RadioButton1.Checked());

    Form1->Label7.DblClick();
    EXPECT_EQ(Form1->Label7.Caption(), "Scenery MD");
    Form1->Label7Click();
    Form1->Image4Click();
    EXPECT_EQ(Ini("Addon", "Type"), "Scenery MD");
    Form1->Label7.DblClick();
    EXPECT_EQ(Form1->Label7.Caption(), "Scenery");
}

TEST_F(MainProjectForm, SettingsButtonFillsTheTitleEvenWhenTheSubdirectoryIsMissing) {
    Form1->Show();
    Form1->SpeedButton1.Click();
    EXPECT_EQ(Form1->Edit1.Text(), "Skykit Project 1.0");
    auto boxes = Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSubdirMessage);
    EXPECT_EQ(boxes[0].caption, "Skykit Builder");
    EXPECT_EQ(boxes[0].flags, 0x30u);
    EXPECT_EQ(boxes[0].owner, Form1->Handle());
    EXPECT_TRUE(Form1->Edit9.Focused());
    EXPECT_FALSE(Option1->Showing());

    Form1->Edit1.SetText("My Airfield");
    Form1->SpeedButton1Click();
    EXPECT_EQ(Form1->Edit1.Text(), "My Airfield");
}

TEST_F(MainProjectForm, TheSubdirectoryTakesSevenCharactersAtMost) {
    Form1->Show();
    Type(Form1->Edit9, "ABCDEFGHIJ");
    EXPECT_EQ(Form1->Edit9.Text(), "ABCDEFG");
}

TEST_F(MainProjectForm, NextInTheSettingsDialogLeadsToTheLocationDialog) {
    SimulatorKey fs2000(kFs2000Key, "C:\\FS2000\\");
    Form1->Show();
    Form1->Edit9.SetText("MYADDON");
    desk.fileAnswers.push_back("C:\\Addons\\Harbour\\Setup.skb");
    bool wasShowing = false;
    Later next(50, [&] {
        wasShowing = Option1->Showing() && Option1->Modal();
        Option1->Image4.Click();
    });
    Form1->SpeedButton1Click();
    EXPECT_TRUE(wasShowing);
    EXPECT_FALSE(Option1->Showing());
    EXPECT_TRUE(Form1->Timer1.Enabled());
    EXPECT_EQ(Form1->Timer1.Interval(), 10u);
    EXPECT_TRUE(desk.Of("OpenFile").empty());  // not before the timer's tick
    Pump(300);
    EXPECT_FALSE(Form1->Timer1.Enabled());

    auto opened = desk.Of("OpenFile");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].caption, "Location of Addon files");
    EXPECT_EQ(opened[0].text, "Setup.skb");
    EXPECT_EQ(opened[0].extra, "Skykit Files (*.skb)|*.skb|C:\\FS2000\\|Skb");
    EXPECT_EQ(Form1->Edit8.Text(), "C:\\Addons\\Harbour\\");
    EXPECT_EQ(Form1->ArchiveFileName, "C:\\Addons\\Harbour\\Setup.skb");
    EXPECT_EQ(Form1->ZipFName.Caption(), "C:\\Addons\\Harbour\\Setup.skb");
    EXPECT_EQ(Ini("Flightsim", "Version"), "Flightsimulator 2000");
    EXPECT_EQ(Form1->HeldVersion, "Flightsimulator 2000");
}

TEST_F(MainProjectForm, CancellingTheSettingsOrTheLocationChangesNothing) {
    Form1->Show();
    Form1->Edit9.SetText("MYADDON");
    Form1->Edit8.SetText("C:\\Typed\\");
    Later cancel(50, [&] { Option1->Image3.Click(); });
    Form1->SpeedButton1Click();
    Pump(100);
    EXPECT_FALSE(Form1->Timer1.Enabled());
    EXPECT_TRUE(desk.Of("OpenFile").empty());

    desk.fileAnswers.push_back("");  // the person cancels the location dialog
    Form1->Timer1Timer();
    EXPECT_EQ(desk.Of("OpenFile").size(), 1u);
    EXPECT_EQ(Form1->Edit8.Text(), "C:\\Typed\\");
    EXPECT_EQ(Form1->ArchiveFileName, "");
    EXPECT_EQ(Form1->ZipFName.Caption(), "<none>");
}

TEST_F(MainProjectForm, TheLocationDialogStartsInTheSimulatorFolderOfLabel27) {
    Form1->Label27.SetCaption("D:\\Sims\\FS98\\");
    desk.fileAnswers.push_back("D:\\Work\\Plane\\Setup.skb");
    Form1->AddonLocationDialog();
    EXPECT_EQ(Form1->SimFolder, "D:\\Sims\\FS98\\");
    EXPECT_EQ(desk.Of("OpenFile").at(0).extra, "Skykit Files (*.skb)|*.skb|D:\\Sims\\FS98\\|Skb");
    EXPECT_EQ(Form1->Edit8.Text(), "D:\\Work\\Plane\\");
}

TEST_F(MainProjectForm, ALongArchiveNameIsShortenedWithItsFullNameAsHint) {
    std::string longName = "C:\\Program Files\\Flight Simulation Projects\\Very Long Folder Name For Scenery\\"
                           "Another Level Of Folders\\Harbour\\Setup.skb";
    Form1->SetArchiveName(longName, true);
    std::string shown = Form1->ZipFName.Caption();
    EXPECT_NE(shown, longName);
    EXPECT_NE(shown.find("..."), std::string::npos);
    EXPECT_EQ(shown.substr(shown.size() - 9), "Setup.skb");
    EXPECT_LE(Form1->ZipFName.TextWidth(shown), 334);
    EXPECT_TRUE(Form1->ZipFName.ShowHint());
    EXPECT_EQ(Form1->ZipFName.Hint, longName);

    Form1->SetArchiveName("C:\\A\\Setup.skb", true);
    EXPECT_EQ(Form1->ZipFName.Caption(), "C:\\A\\Setup.skb");
    EXPECT_FALSE(Form1->ZipFName.ShowHint());

    // Without setting the name only the label is refreshed.
    Form1->SetArchiveName("C:\\Other\\Setup.skb", false);
    EXPECT_EQ(Form1->ArchiveFileName, "C:\\A\\Setup.skb");
    Form1->SetArchiveName("", true);
    EXPECT_EQ(Form1->ZipFName.Caption(), "<none>");
}

TEST_F(MainProjectForm, DeveloperButtonsFillTheAuthorsDialogForTheirRow) {
    FillAuthors();
    struct Row {
        ui::SpeedButton* button;
        const char* number;
        const char* name;
        const char* email;
    };
    for (Row r : {Row{&Form1->SpeedButton3, "2", "Bob", "bob@example.com"},
                  Row{&Form1->SpeedButton2, "1", "Ann", "ann@example.com"},
                  Row{&Form1->SpeedButton4, "3", "Cid", "cid@example.com"}}) {
        std::string seenName, seenEmail, seenNumber;
        bool modal = false;
        Later look(50, [&] {
            modal = Form5->Modal() && Form5->Showing();
            seenName = Form5->Edit2.Text();
            seenEmail = Form5->Edit3.Text();
            seenNumber = Form5->Label3.Caption();
            Form5->Image4Click();
        });
        r.button->Click();
        EXPECT_TRUE(modal) << r.number;
        EXPECT_EQ(seenNumber, r.number);
        EXPECT_EQ(seenName, r.name);
        EXPECT_EQ(seenEmail, r.email);
    }
}

TEST_F(MainProjectForm, NoteEmbedsTheLegalTextsEditorOverTheClientPanel) {
    Form1->Show();
    Form1->Label11.Click();  // the "Note" caption shares its image's click
    ASSERT_TRUE(Form2->Showing());
    EXPECT_EQ(GetParent(Form2->Handle()), Form1->Panel1.Handle());
    EXPECT_TRUE(GetWindowLongA(Form2->Handle(), GWL_STYLE) & WS_CHILD);
    RECT panel, editor;
    GetClientRect(Form1->Panel1.Handle(), &panel);
    GetWindowRect(Form2->Handle(), &editor);
    EXPECT_EQ(editor.right - editor.left, panel.right);
    EXPECT_EQ(editor.bottom - editor.top, panel.bottom);
    EXPECT_TRUE(Form2->Memo2.Focused());
    Form2->Label11.Click();  // "OK"
    EXPECT_FALSE(Form2->Showing());
    EXPECT_TRUE(Form1->Showing());
}

TEST_F(MainProjectForm, AfterQuitAndRestartAuthorsAndTypeComeBackButNoPerRunChoice) {
    SetIni("Authors", "Name2", "Bea");
    Form1->Show();
    Form1->Label9Click();  // Sound
    Form5->Label3.SetCaption("1");
    Form5->Edit2.SetText("Ann");
    Form5->Edit3.SetText("ann@example.com");
    Form5->Image3Click();
    Form1->Edit1.SetText("Harbour");
    Form1->Edit9.SetText("HARBOUR");
    Form1->Edit8.SetText("C:\\Addons\\Harbour\\");
    // Choices of the settings dialog for this run.
    Option1->SlotPath[0] = "C:\\Shots\\one.jpg";
    Option1->SplashPath = "C:\\Shots\\splash.bmp";
    Option1->SplashWidth = 400;
    Option1->SplashHeight = 300;
    Option1->Image4Click();
    SetIni("Temp", "Project", "HARBOUR");
    ASSERT_EQ(Ini("Temp", "One"), "C:\\Shots\\one.jpg");

    Form1->Image4.Click();  // Quit
    EXPECT_FALSE(Form1->Showing());
    Option1->Destroy();
    Form1->Destroy();
    delete Option1;
    delete Form1;

    Form1 = new TForm1();
    Option1 = new TOption1();
    Form1->Show();
    EXPECT_EQ(Form1->Edit2.Text(), "Ann");
    EXPECT_EQ(Form1->Edit3.Text(), "ann@example.com");
    EXPECT_EQ(Form1->Edit4.Text(), "Bea");
    EXPECT_TRUE(Form1->RadioButton3.Checked());
    EXPECT_EQ(Form1->Edit1.Text(), "");
    EXPECT_EQ(Form1->Edit9.Text(), "");
    EXPECT_EQ(Form1->Edit8.Text(), "");
    for (const char* key : {"One", "Splash", "Splash_Width", "Splash_Height", "Project"})
        EXPECT_EQ(Ini("Temp", key), "<absent>") << key;
    Option1->FormShow();
    EXPECT_EQ(Option1->SlotPath[0], "");
    EXPECT_EQ(Ini("Flightsim", "Version"), "Flightsimulator 2000");
}

TEST_F(MainProjectForm, LongAndAccentedAuthorsAreStoredAndReadBackUnchanged) {
    std::string accented = "Zo\xEB \xC5ngstr\xF6m-M\xFCller (\xA9 Fran\xE7ois)";
    std::string longName(20000, 'x');
    for (size_t i = 0; i < longName.size(); i += 7) longName[i] = "abc\xE9\xF8 Q"[i % 7];
    Form5->Label3.SetCaption("3");
    Form5->Edit2.SetText(longName);
    Form5->Edit3.SetText(accented);
    Form5->Image3Click();
    EXPECT_NE(ReadFile(dir.ini()).find(longName), std::string::npos);

    Form1->Edit6.SetText("");
    Form1->Edit7.SetText("");
    Form1->FormShow();
    EXPECT_EQ(Form1->Edit6.Text(), longName);
    EXPECT_EQ(Form1->Edit7.Text(), accented);
}
