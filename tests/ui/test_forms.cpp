// The form framework driven by real window messages.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ui.h"

using namespace testing_support;

namespace {

class Sample : public ui::Form {
public:
    ui::Panel Panel1{"Panel1"};
    ui::Image Image1{"Image1"};
    ui::Label Label1{"Label1"};
    ui::RadioButton RadioButton1{"RadioButton1"}, RadioButton2{"RadioButton2"};
    ui::Edit Edit1{"Edit1"};
    std::vector<std::string> events;
    bool skinned = false;

    Sample(bool skin = false) : Form("Sample", 300, 200), skinned(skin) {
        Title = "Sample";
        Edit1.MaxLength = 7;
        Build({
            {Panel1, nullptr, {0, 20, 300, 180}},
            {Image1, &Panel1, {10, 10, 65, 25}},
            {Label1, &Panel1, {10, 10, 65, 25}, "Press"},
            {RadioButton1, &Panel1, {10, 50, 16, 17}},
            {RadioButton2, &Panel1, {10, 70, 16, 17}},
            {Edit1, &Panel1, {10, 100, 100, 21}},
        });
        Image1.OnMouseDown = Label1.OnMouseDown = [this](ui::MouseButton b, int, int) {
            events.push_back(b == ui::MouseButton::Left ? "down-left" : "down-other");
        };
        Image1.OnMouseUp = Label1.OnMouseUp = [this](ui::MouseButton, int, int) { events.push_back("up"); };
        Image1.OnClick = Label1.OnClick = [this] { events.push_back("click"); };
    }
    void AdjustCreateParams(ui::CreateParams& p) override {
        if (skinned) SkinnedFrame(p);
    }
    void FormShow() override { events.push_back("show"); }
};

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

}  // namespace

TEST(Forms, SkinnedFrameHasNoCaptionBarAndTheSharedClassName) {
    Sample plain(false), skinned(true);
    LONG s = GetWindowLongA(skinned.Handle(), GWL_STYLE);
    EXPECT_FALSE(s & WS_DLGFRAME);
    EXPECT_TRUE(s & WS_POPUP);
    EXPECT_TRUE(s & WS_BORDER);
    char cls[64];
    GetClassNameA(skinned.Handle(), cls, sizeof(cls));
    EXPECT_STREQ(cls, "Skykit Builder");
    EXPECT_TRUE(GetWindowLongA(plain.Handle(), GWL_STYLE) & WS_DLGFRAME);
    GetClassNameA(plain.Handle(), cls, sizeof(cls));
    EXPECT_STRNE(cls, "Skykit Builder");
    RECT c;
    GetClientRect(skinned.Handle(), &c);
    EXPECT_EQ(c.right, 300);
    EXPECT_EQ(c.bottom, 200);
}

TEST(Forms, ImageAndLabelShareThePressAndClickHandlers) {
    Sample f;
    f.Show();
    HWND panel = f.Panel1.Handle();
    // The label lies over the image: a press on it reaches the shared handlers.
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
    SendMessageA(panel, WM_LBUTTONUP, 0, At(20, 15));
    EXPECT_EQ(f.events, (std::vector<std::string>{"show", "down-left", "up", "click"}));

    // A press that is released elsewhere is no click.
    f.events.clear();
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
    SendMessageA(panel, WM_LBUTTONUP, 0, At(200, 150));
    EXPECT_EQ(f.events, (std::vector<std::string>{"down-left", "up"}));

    // The right button presses but never clicks.
    f.events.clear();
    SendMessageA(panel, WM_RBUTTONDOWN, MK_RBUTTON, At(20, 15));
    SendMessageA(panel, WM_RBUTTONUP, 0, At(20, 15));
    EXPECT_EQ(f.events, (std::vector<std::string>{"down-other", "up"}));
}

TEST(Forms, RadioButtonsOfOnePanelExcludeEachOther) {
    Sample f;
    f.RadioButton1.SetChecked(true);
    SendMessageA(f.RadioButton2.Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(f.RadioButton2.Checked());
    EXPECT_FALSE(f.RadioButton1.Checked());
}

TEST(Forms, AnEditWithALimitTakesNoMoreTypedCharacters) {
    Sample f;
    for (char c : std::string("ABCDEFGHIJ")) SendMessageA(f.Edit1.Handle(), WM_CHAR, c, 0);
    EXPECT_EQ(f.Edit1.Text(), "ABCDEFG");
}

TEST(Forms, ShowModalDisablesTheOtherWindowsUntilItEnds) {
    Sample owner, dialog;
    owner.Show();
    ui::Timer t;
    t.SetInterval(50);
    bool ownerWasDisabled = false;
    t.OnTimer = [&] {
        ownerWasDisabled = !IsWindowEnabled(owner.Handle());
        dialog.ModalResult = ui::mrOk;
        t.SetEnabled(false);
    };
    t.SetEnabled(true);
    EXPECT_EQ(dialog.ShowModal(), ui::mrOk);
    EXPECT_TRUE(ownerWasDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    EXPECT_FALSE(dialog.Showing());
}

TEST(Forms, CloseEndsAModalFormWithCancel) {
    Sample dialog;
    ui::Timer t;
    t.SetInterval(30);
    t.OnTimer = [&] {
        t.SetEnabled(false);
        dialog.Close();
    };
    t.SetEnabled(true);
    EXPECT_EQ(dialog.ShowModal(), ui::mrCancel);
}

TEST(Forms, AnExceptionInAHandlerIsShownByTheStandardDisplay) {
    FakeDesktop desk;
    ui::App->Title = "Skykit Builder";
    Sample f;
    f.Image1.OnClick = f.Label1.OnClick = [] { throw ui::EResNotFound("Resource b2 not found"); };
    f.Show();
    SendMessageA(f.Panel1.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(12, 12));
    SendMessageA(f.Panel1.Handle(), WM_LBUTTONUP, 0, At(12, 12));
    auto boxes = desk.Of("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Resource b2 not found.");
    EXPECT_EQ(boxes[0].caption, "Skykit Builder");
    EXPECT_EQ(boxes[0].flags & MB_ICONMASK, (UINT)MB_ICONSTOP);
}

TEST(Forms, TimersTickOnlyWhileEnabled) {
    ui::Timer t;
    int ticks = 0;
    t.SetInterval(20);
    t.OnTimer = [&] { ++ticks; };
    Pump(100);
    EXPECT_EQ(ticks, 0);
    t.SetEnabled(true);
    Pump(200);
    t.SetEnabled(false);
    int seen = ticks;
    EXPECT_GE(seen, 2);
    Pump(100);
    EXPECT_EQ(ticks, seen);
}

TEST(Forms, HintsBecomeTooltipsOnlyWhenSwitchedOn) {
    Sample f;
    auto count = [&] { return (int)SendMessageA(f.Tooltip(), TTM_GETTOOLCOUNT, 0, 0); };
    int base = count();
    f.Label1.SetHint("C:\\a\\very\\long\\path");
    EXPECT_EQ(count(), base);
    f.Label1.SetShowHint(true);
    EXPECT_EQ(count(), base + 1);
    f.Label1.SetShowHint(false);
    EXPECT_EQ(count(), base);
}

TEST(Forms, SimpleMessageUsesTheApplicationTitleAndNoIcon) {
    FakeDesktop desk;
    ui::App->Title = "Skykit Builder";
    ui::ShowMessage("Hello");
    auto boxes = desk.Of("MessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Skykit Builder");
    EXPECT_EQ(boxes[0].flags, (UINT)MB_OK);
}

TEST(Forms, ProgressBarShowsTheLastOfManyQuickStepsAndSkipsStepsThatMoveNoPixel) {
    struct BarForm : ui::Form {
        ui::ProgressBar Bar{"Bar"};
        BarForm() : Form("BarForm", 260, 40) { Build({{Bar, nullptr, {10, 10, 225, 16}}}); }
    } f;
    auto shown = [&] { return (int)SendMessageA(f.Bar.Handle(), PBM_GETPOS, 0, 0); };
    // Longer than the bar waits between two pictures, with the messages running.
    auto later = [] {
        for (DWORD t = GetTickCount(); GetTickCount() - t < 300; Sleep(10)) ui::App->ProcessMessages();
    };
    f.Bar.SetPosition(10001);
    EXPECT_EQ(shown(), 10001);
    for (int p = 1; p <= 5000; p += 7) f.Bar.SetPosition(p);  // a burst, as a build of small files makes
    later();
    EXPECT_EQ(shown(), 4999);
    f.Bar.SetPosition(5005);  // the same pixel: the bar is left as it is drawn
    EXPECT_EQ(f.Bar.Position(), 5005);
    later();
    EXPECT_EQ(shown(), 4999);
    f.Bar.SetPosition(1);  // the ends are always drawn
    later();
    EXPECT_EQ(shown(), 1);
    f.Bar.SetPosition(99999);
    EXPECT_EQ(f.Bar.Position(), 10001);
    later();
    EXPECT_EQ(shown(), 10001);
}

// The guide's address: the page's path as a file address, its folders and letters written so
// that any browser reads them, the section after "#".
TEST(Help, TheGuidesAddressHoldsThePageAndTheSection) {
    const char* const cases[][2] = {
        {"C:\\Skykit\\", "file:///C:/Skykit/Help/users.htm#exitcodes"},
        {"D:\\My Add-ons\\100% #1\\", "file:///D:/My%20Add-ons/100%25%20%231/Help/users.htm#exitcodes"},
        {"\\\\server\\share\\Skykit\\", "file://server/share/Skykit/Help/users.htm#exitcodes"},
    };
    for (const auto& c : cases) {
        ui::SetInstallDirForTests(c[0]);
        EXPECT_EQ(ui::HelpAddress({"users.htm", "exitcodes"}), c[1]);
    }
    ui::SetInstallDirForTests("");
}
