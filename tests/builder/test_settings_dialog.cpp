// The project settings dialog: version choice, screenshot slots and their menu, the splash
// import with its limits, the blinking limit marker, and what "Next >>" and Cancel write.
#include "BuilderForms.h"

using namespace testing_support;
using namespace builder_tests;

namespace {

struct SettingsDialog : BuilderForms {
    TOption1* dlg = nullptr;
    void SetUp() override {
        BuilderForms::SetUp();
        dlg = Option1;
    }
    // A bitmap file of the given size in the test directory.
    std::string Splash(int w, int h) {
        std::string path = dir.file("splash" + std::to_string(w) + "x" + std::to_string(h) + ".bmp");
        WriteBitmap(path, w, h);
        return path;
    }
    void Import(const std::string& path) {
        desk.fileAnswers.push_back(path);
        dlg->Image14.Click();
    }
    // Which picture of the skin an image shows, by its size and a pixel.
    static bool Shows(const ui::Image& image, const char* skinName) {
        HMODULE lib = LoadLibraryA("Skin32.dll");
        HBITMAP b = LoadBitmapA(lib, skinName);
        BITMAP bm{};
        GetObjectA(b, sizeof(bm), &bm);
        bool same = image.Bitmap() && image.PictureWidth() == bm.bmWidth && image.PictureHeight() == bm.bmHeight;
        if (same) {
            HDC a = CreateCompatibleDC(nullptr), c = CreateCompatibleDC(nullptr);
            HGDIOBJ oa = SelectObject(a, image.Bitmap()), oc = SelectObject(c, b);
            for (int y = 0; y < bm.bmHeight && same; y += 3)
                for (int x = 0; x < bm.bmWidth && same; x += 3) same = GetPixel(a, x, y) == GetPixel(c, x, y);
            SelectObject(a, oa);
            SelectObject(c, oc);
            DeleteDC(a);
            DeleteDC(c);
        }
        DeleteObject(b);
        FreeLibrary(lib);
        return same;
    }
};

const char* const kTooHigh =
    "This image is to high. Maximum height is 375 pixels.\nPlease resize current image, or select another.";
const char* const kTooWide =
    "This image is to wide. Maximum width is 500 pixels.\nPlease resize current image, or select another.";

}  // namespace

TEST_F(SettingsDialog, ConstructionLoadsItsPictures) {
    for (ui::Image* i : {&dlg->Image1, &dlg->Image2, &dlg->Image5, &dlg->Image4, &dlg->Image3, &dlg->Image15,
                         &dlg->Image17, &dlg->Image19})
        EXPECT_FALSE(i->Empty()) << i->Name;
    EXPECT_TRUE(Shows(dlg->Image14, "bv1"));
    EXPECT_TRUE(Shows(dlg->Image21, "bv2"));
    EXPECT_TRUE(Shows(dlg->Image22, "bv1"));
    EXPECT_TRUE(Shows(dlg->Image20, "Au"));
    // The frames fit the slots and the preview they surround.
    EXPECT_EQ(dlg->Image7.PictureWidth(), dlg->Image7.Bounds().w);
    EXPECT_EQ(dlg->Image9.PictureHeight(), dlg->Image9.Bounds().h);
    EXPECT_EQ(dlg->Image18.PictureWidth(), dlg->Image18.Bounds().w);
    EXPECT_EQ(dlg->Image18.PictureHeight(), dlg->Image18.Bounds().h);
    EXPECT_EQ(kit::SimulatorList(dlg->Simulators()), "fs2000");
}

TEST_F(SettingsDialog, ShowTakesVersionAndSlotsFromTheSettingsFileAndGivesTheHandCursor) {
    dlg->FormShow();
    EXPECT_EQ(kit::SimulatorList(dlg->Simulators()), "fs2000");  // no version yet: 2000
    for (ui::Image* slot : {&dlg->Image10, &dlg->Image11, &dlg->Image12, &dlg->Image13})
        EXPECT_TRUE(Shows(*slot, "mappe_hvid")) << slot->Name;

    SetIni("Flightsim", "Version", "Flightsimulator 98");
    SetIni("Temp", "Two", "C:\\Shots\\two.jpg");
    SetIni("Temp", "Four", "C:\\Shots\\four.jpg");
    dlg->FormShow();
    EXPECT_EQ(kit::SimulatorList(dlg->Simulators()), "fs98");
    EXPECT_EQ(dlg->SlotPath[1], "C:\\Shots\\two.jpg");
    EXPECT_EQ(dlg->SlotPath[3], "C:\\Shots\\four.jpg");
    EXPECT_TRUE(Shows(dlg->Image10, "mappe_hvid"));
    EXPECT_TRUE(Shows(dlg->Image11, "ie"));
    EXPECT_TRUE(Shows(dlg->Image13, "ie"));

    // The builder's own hand, not the system's.
    HCURSOR own = LoadCursorA(GetModuleHandleA(nullptr), "hacursor");
    ASSERT_NE(own, nullptr);
    for (ui::Control* c : std::initializer_list<ui::Control*>{&dlg->Image10, &dlg->Image13, &dlg->Image14,
                                                              &dlg->Image21, &dlg->Image22, &dlg->Label3,
                                                              &dlg->Label16, &dlg->Label17})
        EXPECT_EQ(c->Cursor, own) << c->Name;

    // A version that no Setup ever read leaves the choice; the held value stays when the key
    // goes; the list, when there is one, is the choice.
    SetIni("Flightsim", "Version", "Flightsimulator 2002");
    dlg->FormShow();
    EXPECT_EQ(kit::SimulatorList(dlg->Simulators()), "fs98");
    ui::IniFile(dir.ini()).DeleteKey("Flightsim", "Version");
    dlg->FormShow();
    EXPECT_EQ(dlg->Version, "Flightsimulator 2002");
    SetIni("Flightsim", "Simulators", "p3d,fs2004");
    dlg->FormShow();
    EXPECT_EQ(kit::SimulatorList(dlg->Simulators()), "fs2004,p3d");
}

TEST_F(SettingsDialog, SimulatorLabelsTickAndReadTheFolderButTheBoxesDoNot) {
    SimulatorKey fs98(kFs98Key, "C:\\FS98\\");
    SendMessageA(dlg->CheckBox1.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(kit::SimulatorList(dlg->Simulators()), "fs98,fs2000");
    EXPECT_EQ(Form1->Label27.Caption(), "");  // only the labels consult the registry
    dlg->Label5.Click();                      // untick: nothing to read
    EXPECT_EQ(kit::SimulatorList(dlg->Simulators()), "fs2000");
    EXPECT_EQ(Form1->Label27.Caption(), "");
    dlg->Label5.Click();
    EXPECT_EQ(Form1->Label27.Caption(), "C:\\FS98\\");
    dlg->Label20.Click();  // Prepar3D is not installed: the folder stays
    EXPECT_EQ(Form1->Label27.Caption(), "C:\\FS98\\");
    EXPECT_EQ(kit::SimulatorList(dlg->Simulators()), "fs98,fs2000,p3d");
}

TEST_F(SettingsDialog, ChoosingAScreenshotFillsTheSlotWithItsSizeInTheHint) {
    std::string big = dir.file("big.jpg"), small = dir.file("small.jpg");
    WriteFile(big, std::string(1500, 'j'));
    WriteFile(small, std::string(999, 'j'));
    desk.fileAnswers = {big, small};
    dlg->Image10.Click();
    dlg->Image13.Click();
    EXPECT_EQ(dlg->SlotPath[0], big);
    EXPECT_EQ(dlg->SlotPath[3], small);
    EXPECT_TRUE(Shows(dlg->Image10, "ie"));
    EXPECT_EQ(dlg->Image10.Hint, "Screenshot 1 loaded\n" + big + "\nFilesize: 1 KB");
    EXPECT_EQ(dlg->Image13.Hint, "Screenshot 4 loaded\n" + small + "\nFilesize: 0 KB");
    EXPECT_TRUE(dlg->Image10.ShowHint());

    auto opened = desk.Of("OpenFile");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].caption, "Please select a screenshot");
    EXPECT_EQ(opened[0].extra, "JPEG Image file (*.JPG)|*.jpg||*.jpg");
}

TEST_F(SettingsDialog, CancellingTheChooserKeepsAFilledSlot) {
    std::string shot = dir.file("a.jpg");
    WriteFile(shot, "jpeg");
    desk.fileAnswers = {shot, ""};
    dlg->Image11Click();
    ASSERT_EQ(dlg->SlotPath[1], shot);
    dlg->Image11Click();
    EXPECT_EQ(dlg->SlotPath[1], shot);
    EXPECT_TRUE(Shows(dlg->Image11, "ie"));
    EXPECT_TRUE(dlg->Image11.ShowHint());
}

TEST_F(SettingsDialog, TheSlotMenuActsOnTheSlotUnderThePointer) {
    std::string shot = dir.file("c.jpg");
    WriteFile(shot, "jpeg");
    desk.fileAnswers = {shot};
    dlg->Image12Click();

    dlg->Image11.MouseMove();  // an empty slot
    EXPECT_EQ(dlg->CurrentSlot, "2");
    EXPECT_FALSE(dlg->PopupMenu1.Item("View1")->Enabled);
    EXPECT_FALSE(dlg->PopupMenu1.Item("Clear1")->Enabled);
    dlg->View1Click();
    dlg->Clear1Click();
    EXPECT_TRUE(desk.Of("ShellExecute").empty());

    dlg->Image8.MouseMove();  // slot 3's frame
    EXPECT_EQ(dlg->CurrentSlot, "3");
    EXPECT_TRUE(dlg->PopupMenu1.Item("View1")->Enabled);
    EXPECT_TRUE(dlg->PopupMenu1.Item("Clear1")->Enabled);
    EXPECT_EQ(dlg->Image8.Popup, &dlg->PopupMenu1);
    EXPECT_EQ(dlg->Image12.Popup, &dlg->PopupMenu1);
    dlg->PopupMenu1.Item("View1")->OnClick();
    auto shell = desk.Of("ShellExecute");
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].caption, "open");
    EXPECT_EQ(shell[0].text, shot);
    EXPECT_EQ(shell[0].flags, (UINT)SW_SHOWDEFAULT);

    dlg->PopupMenu1.Item("Clear1")->OnClick();
    EXPECT_EQ(dlg->SlotPath[2], "");
    EXPECT_TRUE(Shows(dlg->Image12, "mappe_hvid"));
    dlg->Image7.MouseMove();  // slot 1 through its frame
    EXPECT_EQ(dlg->CurrentSlot, "1");
}

TEST_F(SettingsDialog, NextWritesTheChoicesAndStartsTheMainFormsTimer) {
    std::string one = dir.file("one.jpg"), three = dir.file("three.jpg");
    WriteFile(one, "1");
    WriteFile(three, "3");
    desk.fileAnswers = {one, three, Splash(400, 300)};
    dlg->Image10Click();
    dlg->Image12Click();
    dlg->Image14Click();
    dlg->Show();
    dlg->Label4Click();  // none ticked: the author is asked for one
    dlg->Label12.Click();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, "Please tick the simulators this add-on is for.");
    EXPECT_TRUE(dlg->Showing());
    dlg->Label5Click();
    dlg->SimulatorLabelClick(4);  // FSX
    dlg->Label12.Click();  // "Next >>"
    EXPECT_FALSE(dlg->Showing());
    EXPECT_TRUE(Form1->Timer1.Enabled());
    EXPECT_EQ(Ini("Flightsim", "Version"), "Flightsimulator 98");  // what earlier Setups read
    EXPECT_EQ(Ini("Flightsim", "Simulators"), "fs98,fsx");
    EXPECT_EQ(Ini("Temp", "One"), one);
    EXPECT_EQ(Ini("Temp", "Two"), "<absent>");
    EXPECT_EQ(Ini("Temp", "Three"), three);
    EXPECT_EQ(Ini("Temp", "Four"), "<absent>");
    EXPECT_EQ(Ini("Temp", "Splash"), dir.file("splash400x300.bmp"));
    EXPECT_EQ(Ini("Temp", "Splash_Width"), "400");
    EXPECT_EQ(Ini("Temp", "Splash_Height"), "300");
}

TEST_F(SettingsDialog, PicturesClearedAfterNextLoseTheirKeysAndTheNextShowingShowsTheFilesSplash) {
    std::string one = dir.file("one.jpg"), splash = Splash(120, 90);
    WriteFile(one, "1");
    desk.fileAnswers = {one, Splash(100, 80), ""};
    dlg->Image10Click();
    dlg->Image14Click();
    dlg->Image4Click();
    dlg->CurrentSlot = "1", dlg->Clear1Click();  // the slot is emptied through its menu
    dlg->Image21Click();  // and the splash cleared
    dlg->Image4Click();
    for (const char* key : {"One", "Splash", "Splash_Width", "Splash_Height"}) EXPECT_EQ(Ini("Temp", key), "<absent>");
    SetIni("Temp", "Splash", splash);
    dlg->FormShow();
    EXPECT_EQ(dlg->Widt.Caption() + " " + dlg->SplashPath, "120 " + splash);
}

TEST_F(SettingsDialog, CancelAndTheCloseButtonWriteNothingAndKeepTheValues) {
    std::string one = dir.file("one.jpg");
    WriteFile(one, "1");
    desk.fileAnswers = {one, Splash(100, 100)};
    dlg->Image10Click();
    dlg->Image14Click();
    dlg->Label5Click();
    for (ui::Control* cancel : std::initializer_list<ui::Control*>{&dlg->Image3, &dlg->Label1, &dlg->Close1}) {
        dlg->Show();
        cancel->Click();
        EXPECT_FALSE(dlg->Showing()) << cancel->Name;
    }
    EXPECT_FALSE(ui::FileExists(dir.ini()));
    EXPECT_FALSE(Form1->Timer1.Enabled());
    EXPECT_EQ(dlg->SlotPath[0], one);
    EXPECT_FALSE(dlg->SplashPath.empty());
}

TEST_F(SettingsDialog, SplashLimitsAreInclusive) {
    struct Case {
        int w, h;
        const char* message;  // nullptr: accepted
    };
    for (Case c : {Case{500, 375, nullptr}, Case{501, 375, kTooWide}, Case{500, 376, kTooHigh},
                   Case{1000, 100, kTooWide}, Case{80, 80, nullptr}, Case{600, 400, kTooHigh}}) {
        desk.Clear();
        dlg->Timer1.SetEnabled(false);
        std::string path = Splash(c.w, c.h);
        Import(path);
        auto boxes = Messages();
        std::string label = std::to_string(c.w) + "x" + std::to_string(c.h);
        if (!c.message) {
            EXPECT_TRUE(boxes.empty()) << label;
            EXPECT_EQ(dlg->SplashPath, path) << label;
            EXPECT_EQ(dlg->SplashWidth, c.w);
            EXPECT_EQ(dlg->SplashHeight, c.h);
            EXPECT_EQ(dlg->Widt.Caption(), std::to_string(c.w));
            EXPECT_EQ(dlg->Heigh.Caption(), std::to_string(c.h));
            EXPECT_FALSE(dlg->Image16.Empty());
            EXPECT_FALSE(dlg->Timer1.Enabled());
        } else {
            ASSERT_EQ(boxes.size(), 1u) << label;
            EXPECT_EQ(boxes[0].text, c.message) << label;
            EXPECT_EQ(boxes[0].caption, "Skykit Builder");
            EXPECT_EQ(boxes[0].flags, (UINT)(MB_OK | MB_ICONWARNING));
            EXPECT_EQ(dlg->SplashPath, "") << label;
            EXPECT_EQ(dlg->SplashWidth, 500);
            EXPECT_EQ(dlg->SplashHeight, 375);
            EXPECT_EQ(dlg->Widt.Caption(), "500");
            EXPECT_EQ(dlg->Heigh.Caption(), "375");
            EXPECT_TRUE(dlg->Image16.Empty());
            EXPECT_TRUE(dlg->Timer1.Enabled());
        }
    }
    auto opened = desk.Of("OpenFile");
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(opened[0].caption, "Import splashscreen");
    EXPECT_EQ(opened[0].extra, "Bitmaps (*.BMP)|*.bmp||");
}

TEST_F(SettingsDialog, ARejectionDropsAnAcceptedSplashAndRestartsTheBlink) {
    Import(Splash(80, 80));
    ASSERT_FALSE(dlg->SplashPath.empty());
    Import(Splash(501, 375));
    EXPECT_EQ(dlg->SplashPath, "");
    ASSERT_TRUE(dlg->Timer1.Enabled());
    dlg->Image4Click();
    EXPECT_EQ(Ini("Temp", "Splash"), "<absent>");

    // The marker blinks three times and ends showing; a new rejection mid-way starts again.
    std::string seen;
    for (int i = 0; i < 3; ++i) {
        dlg->Timer1.Fire();
        seen += dlg->Image20.Empty() ? "-" : "A";
    }
    EXPECT_EQ(seen, "-A-");
    Import(Splash(200, 400));
    EXPECT_EQ(dlg->BlinkStep, 0);
    seen.clear();
    while (dlg->Timer1.Enabled() && seen.size() < 20) {
        dlg->Timer1.Fire();
        seen += dlg->Image20.Empty() ? "-" : "A";
    }
    EXPECT_EQ(seen, "-A-A-A");
    EXPECT_TRUE(Shows(dlg->Image20, "Au"));
}

TEST_F(SettingsDialog, TheBlinkRunsOnItsOwnTimer) {
    Import(Splash(900, 900));
    ASSERT_TRUE(dlg->Timer1.Enabled());
    DWORD start = GetTickCount();
    while (dlg->Timer1.Enabled() && GetTickCount() - start < 10000) Pump(50);
    EXPECT_FALSE(dlg->Timer1.Enabled());
    EXPECT_EQ(dlg->BlinkStep, 6);
    EXPECT_FALSE(dlg->Image20.Empty());
}

TEST_F(SettingsDialog, ALargerSplashIsStretchedASmallerOneCentred) {
    dlg->Show();
    Import(Splash(300, 100));
    EXPECT_TRUE(dlg->Image16.Stretch);
    EXPECT_FALSE(dlg->Image16.Center);
    Import(Splash(200, 100));
    EXPECT_FALSE(dlg->Image16.Stretch);
    EXPECT_TRUE(dlg->Image16.Center);
    Import(Splash(226, 130));
    EXPECT_TRUE(dlg->Image16.Stretch);
    Import(Splash(226, 123));
    EXPECT_FALSE(dlg->Image16.Stretch);

    // On the screen: a 200 x 100 picture sits in the middle of the 226 x 123 box.
    Import(Splash(200, 100));
    UpdateWindow(dlg->Panel1.Handle());
    HDC dc = GetDC(dlg->Panel1.Handle());
    const ui::Rect& box = dlg->Image16.Bounds();
    COLORREF picture = RGB(40, 90, 160);
    EXPECT_EQ(GetPixel(dc, box.x + box.w / 2, box.y + box.h / 2), picture);
    EXPECT_NE(GetPixel(dc, box.x + 5, box.y + 5), picture);  // the 13-pixel margin
    EXPECT_EQ(GetPixel(dc, box.x + 14, box.y + 12), picture);
    ReleaseDC(dlg->Panel1.Handle(), dc);
}

TEST_F(SettingsDialog, AFileThatIsNoBitmapStopsTheImportAndKeepsTheEarlierSplash) {
    std::string good = Splash(120, 90);
    Import(good);
    std::string bad = dir.file("notes.bmp");
    WriteFile(bad, "This is not a picture at all, just some text.");
    desk.Clear();
    Import(bad);
    auto boxes = Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("Bitmap image is not valid"), std::string::npos);
    EXPECT_EQ(dlg->SplashPath, good);
    EXPECT_EQ(dlg->Widt.Caption(), "120");
    EXPECT_FALSE(dlg->Timer1.Enabled());
    dlg->Image4Click();
    EXPECT_EQ(Ini("Temp", "Splash"), good);
}

TEST_F(SettingsDialog, CancellingTheSplashChooserKeepsTheChoiceAndItsPreview) {
    std::string good = Splash(120, 90);
    Import(good);
    Import("");
    EXPECT_FALSE(dlg->Image16.Empty());
    EXPECT_EQ(dlg->SplashPath, good);
    EXPECT_EQ(dlg->Widt.Caption(), "120");
    EXPECT_EQ(dlg->Heigh.Caption(), "90");
}

TEST_F(SettingsDialog, ClearImageAndFullSize) {
    std::string good = Splash(120, 90);
    Import(good);
    dlg->Label17.Click();  // "Full size"
    auto shell = desk.Of("ShellExecute");
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].text, good);
    EXPECT_EQ(shell[0].caption, "open");
    EXPECT_EQ(shell[0].flags, (UINT)SW_SHOWDEFAULT);

    dlg->Image21.MouseDown(ui::MouseButton::Left);
    EXPECT_TRUE(Shows(dlg->Image21, "bv2a"));
    dlg->Image21.Click();  // "Clear image"
    EXPECT_TRUE(Shows(dlg->Image21, "bv2"));
    EXPECT_TRUE(dlg->Image16.Empty());
    EXPECT_EQ(dlg->SplashPath, "");
    EXPECT_EQ(dlg->Widt.Caption(), "500");
    EXPECT_EQ(dlg->Heigh.Caption(), "375");
    EXPECT_FALSE(dlg->Timer1.Enabled());
    dlg->Image22Click();
    EXPECT_EQ(desk.Of("ShellExecute").size(), 1u);  // no splash: nothing to show
    dlg->Image4Click();
    EXPECT_EQ(Ini("Temp", "Splash"), "<absent>");
}

TEST_F(SettingsDialog, SmallButtonsShowTheirPressedPictures) {
    dlg->Image14.MouseDown(ui::MouseButton::Left);
    EXPECT_TRUE(Shows(dlg->Image14, "bv1a"));
    dlg->Label17.MouseDown(ui::MouseButton::Left);
    EXPECT_TRUE(Shows(dlg->Image22, "bv1a"));
    dlg->Image4.MouseDown(ui::MouseButton::Left);
    EXPECT_TRUE(Shows(dlg->Image4, "b2"));
    dlg->Image4.MouseUp(ui::MouseButton::Left);
    EXPECT_TRUE(Shows(dlg->Image4, "b1"));
    desk.fileAnswers.push_back("");
    dlg->Image14Click();
    EXPECT_TRUE(Shows(dlg->Image14, "bv1"));
}

TEST_F(SettingsDialog, AccentedAndLongPicturePathsTravelUnchanged) {
    std::string folder = dir.path() + "Vues de l'\xE9t\xE9 \xE0 S\xE6" "by";
    for (int i = 0; i < 3; ++i) folder += "\\Un dossier de captures d'\xE9" "cran tr\xE8s long " + std::to_string(i);
    ASSERT_TRUE(ui::ForceDirectories(folder));
    std::string shot = folder + "\\Caf\xE9 cr\xE8me.jpg";
    WriteFile(shot, std::string(2048, 'j'));
    std::string splash = folder + "\\\xC9" "cran.bmp";
    WriteBitmap(splash, 64, 48);
    desk.fileAnswers = {shot, splash};
    dlg->Image12Click();
    dlg->Image14Click();
    EXPECT_EQ(dlg->Image12.Hint, "Screenshot 3 loaded\n" + shot + "\nFilesize: 2 KB");
    dlg->Image4Click();
    EXPECT_EQ(ui::IniFile(dir.ini()).ReadString("Temp", "Three", ""), shot);
    EXPECT_EQ(ui::IniFile(dir.ini()).ReadString("Temp", "Splash", ""), splash);
    dlg->SlotPath[2].clear();
    dlg->FormShow();
    EXPECT_EQ(dlg->SlotPath[2], shot);
}
