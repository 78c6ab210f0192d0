// The builder's main form: construction with the skin, the caption-less frame, quitting and
// what the settings file holds afterwards; the progress and splash forms.
#include <gtest/gtest.h>

#include "Build1.h"
#include "Build3.h"
#include "Splash.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

const char* const kTempKeys[] = {"One", "Two", "Three", "Four", "Splash", "Splash_Width", "Splash_Height", "Project"};

COLORREF CentrePixel(HBITMAP b) {
    BITMAP bm{};
    GetObjectA(b, sizeof(bm), &bm);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    COLORREF c = GetPixel(dc, bm.bmWidth / 2, 3);
    SelectObject(dc, old);
    DeleteDC(dc);
    return c;
}

COLORREF SkinPixel(const char* name) {
    HMODULE lib = LoadLibraryA("Skin32.dll");
    HBITMAP b = LoadBitmapA(lib, name);
    COLORREF c = CentrePixel(b);
    DeleteObject(b);
    FreeLibrary(lib);
    return c;
}

struct MainForm : ::testing::Test {
    FakeDesktop desk;
    TempInstallDir dir;
    TForm1* form = nullptr;
    void SetUp() override {
        ui::App->Terminated = false;
        form = new TForm1();
        Form1 = form;
    }
    void TearDown() override {
        form->Destroy();
        delete form;
        Form1 = nullptr;
        ui::App->Terminated = false;
    }
};

}  // namespace

TEST_F(MainForm, ConstructionLoadsTheSkinAndGreysTheTypeButtons) {
    EXPECT_NE(form->SkinModule, nullptr);
    for (ui::Image* i : {&form->Image1, &form->Image2, &form->Image3, &form->Image4, &form->Image5, &form->Image6,
                         &form->Image7})
        EXPECT_FALSE(i->Empty()) << i->Name;
    EXPECT_EQ(CentrePixel(form->Image7.Bitmap()), SkinPixel("b1"));
    for (ui::CheckBox* c : {static_cast<ui::CheckBox*>(&form->RadioButton1), static_cast<ui::CheckBox*>(&form->RadioButton5),
                            &form->CheckBox1})
        EXPECT_EQ(c->Color, (COLORREF)13619151) << c->Name;
    EXPECT_TRUE(desk.Of("MessageBox").empty());
    EXPECT_FALSE(ui::App->Terminated);
    for (ui::Edit* e : {&form->Edit1, &form->Edit2, &form->Edit8, &form->Edit9}) EXPECT_EQ(e->Text(), "");
    EXPECT_TRUE(form->RadioButton1.Checked());
    EXPECT_TRUE(form->CheckBox1.Checked());
}

TEST_F(MainForm, TheWindowIsCaptionlessInTheSharedClass) {
    LONG s = GetWindowLongA(form->Handle(), GWL_STYLE);
    EXPECT_FALSE(s & WS_DLGFRAME);
    EXPECT_TRUE(s & WS_POPUP);
    char cls[64];
    GetClassNameA(form->Handle(), cls, sizeof(cls));
    EXPECT_STREQ(cls, "Skykit Builder");
    RECT c;
    GetClientRect(form->Handle(), &c);
    EXPECT_EQ(c.right, 514);
    EXPECT_EQ(c.bottom, 393);
}

TEST_F(MainForm, ImageButtonsShowThePressedBitmapWhileDown) {
    form->Show();
    HWND panel = form->Panel1.Handle();
    // Over the "Build" caption, which shares its image's press handlers.
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 337));
    EXPECT_EQ(CentrePixel(form->Image7.Bitmap()), SkinPixel("b2"));
    SendMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(400, 337));
    EXPECT_EQ(CentrePixel(form->Image7.Bitmap()), SkinPixel("b1"));
}

TEST_F(MainForm, QuitStoresTheSelectedTypeAndTheInstallPath) {
    struct Case {
        ui::RadioButton* button;
        bool md;
        const char* expected;
    };
    for (Case c : {Case{&form->RadioButton1, false, "Scenery"}, Case{&form->RadioButton1, true, "Scenery MD"},
                   Case{&form->RadioButton2, false, "Aircraft"}, Case{&form->RadioButton3, false, "Sound"},
                   Case{&form->RadioButton4, false, "Panel"}, Case{&form->RadioButton5, false, "Adventure"}}) {
        form->Label7.SetCaption(c.md ? "Scenery MD" : "Scenery");
        c.button->SetChecked(true);
        form->Image4Click();
        EXPECT_EQ(IniValue(dir.ini(), "Addon", "Type"), c.expected);
        EXPECT_EQ(IniValue(dir.ini(), "SKKT", "Path"), dir.path());
    }
}

TEST_F(MainForm, QuitWithNoTypeSelectedWritesNoType) {
    form->RadioButton1.SetChecked(false);
    form->Image4Click();
    EXPECT_EQ(IniValue(dir.ini(), "Addon", "Type"), "<absent>");
    EXPECT_EQ(IniValue(dir.ini(), "SKKT", "Path"), dir.path());
}

TEST_F(MainForm, CloseButtonAndMenuQuitBehaveLikeTheQuitButton) {
    form->RadioButton3.SetChecked(true);
    form->Close1.Click();
    EXPECT_EQ(IniValue(dir.ini(), "Addon", "Type"), "Sound");
    DeleteFileA(dir.ini().c_str());
    ASSERT_NE(form->PopupMenu1.Item("Quit1"), nullptr);
    form->PopupMenu1.Item("Quit1")->OnClick();
    EXPECT_EQ(IniValue(dir.ini(), "Addon", "Type"), "Sound");
    EXPECT_EQ(form->PopupMenu1.Item("Minimize1")->Caption, "Minimize");
}

TEST_F(MainForm, DestroyDeletesTheEightPerRunKeysOnly) {
    ui::IniFile ini(dir.ini());
    for (const char* k : kTempKeys) ini.WriteString("Temp", k, "x");
    ini.WriteString("Temp", "Other", "stays");
    ini.WriteString("Authors", "Name1", "Ann");
    form->Destroy();
    for (const char* k : kTempKeys) EXPECT_EQ(IniValue(dir.ini(), "Temp", k), "<absent>") << k;
    EXPECT_EQ(IniValue(dir.ini(), "Temp", "Other"), "stays");
    EXPECT_EQ(IniValue(dir.ini(), "Authors", "Name1"), "Ann");
    EXPECT_EQ(form->SkinModule, nullptr);
}

TEST_F(MainForm, AReadOnlySettingsFileNeverStopsQuitOrDestroy) {
    ui::IniFile(dir.ini()).WriteString("Temp", "One", "C:\\a.jpg");
    SetFileAttributesA(dir.ini().c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_NO_THROW(form->Image4Click());
    EXPECT_NO_THROW(form->Destroy());
    EXPECT_TRUE(desk.Of("MessageBox").empty());
    SetFileAttributesA(dir.ini().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(MainForm, OnlyTheLeftButtonDragsTheTitleStrip) {
    form->Show();
    RECT before;
    GetWindowRect(form->Handle(), &before);
    form->Image2MouseDown(ui::MouseButton::Right);
    form->Image2MouseDown(ui::MouseButton::Middle);
    RECT after;
    GetWindowRect(form->Handle(), &after);
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);
    EXPECT_EQ(form->Image2.Popup, &form->PopupMenu1);
    EXPECT_EQ(form->Label14.Popup, &form->PopupMenu1);
    EXPECT_EQ(form->Image5.Popup, &form->PopupMenu1);
}

TEST(ProgressForm, ShowingAgainResetsTheCaptionButNotTheBars) {
    FakeDesktop desk;
    TForm3 f;
    EXPECT_FALSE(f.Image1.Empty());
    EXPECT_TRUE(GetWindowLongA(f.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    f.Label1.SetCaption("Other");
    f.ProgressBar1.SetPosition(5001);
    f.Show();
    EXPECT_EQ(f.Label1.Caption(), "Building...");
    EXPECT_EQ(f.ProgressBar1.Position(), 5001);
    EXPECT_EQ(f.ProgressBar2.Position(), 1);
    EXPECT_EQ(f.ProgressBar1.Max, 10001);
    f.Close();
    f.Destroy();
}

TEST(SplashForm, ClosesItselfAfterTwoSecondsOrAtOnceOnAClick) {
    ui::App->Terminated = false;
    TSplash s;
    EXPECT_EQ(s.Timer1.Interval(), 2000u);
    EXPECT_FALSE(s.Timer1.Enabled());
    EXPECT_FALSE(s.Image1.Empty());

    DWORD start = GetTickCount();
    s.ShowModal();
    DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 1900u);
    EXPECT_LT(took, 6000u);
    EXPECT_FALSE(s.Timer1.Enabled());

    ui::Timer click;
    click.SetInterval(100);
    click.OnTimer = [&] {
        click.SetEnabled(false);
        s.Image1Click();
    };
    click.SetEnabled(true);
    start = GetTickCount();
    s.ShowModal();
    EXPECT_LT(GetTickCount() - start, 1500u);
    // The timer stays on; its tick on the closed form changes nothing.
    EXPECT_TRUE(s.Timer1.Enabled());
    s.Timer1.Fire();
    EXPECT_FALSE(s.Showing());
}
