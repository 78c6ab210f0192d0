// The dialog library: both forms are real windows that show modally and close.
#include <gtest/gtest.h>

#include "Aux32.h"
#include "TestSupport.h"

namespace {

std::vector<std::string> ChildTexts(HWND h, const char* cls) {
    std::vector<std::string> out;
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char k[64], t[512];
        GetClassNameA(c, k, sizeof(k));
        if (lstrcmpiA(k, cls) != 0) continue;
        GetWindowTextA(c, t, sizeof(t));
        out.push_back(t);
    }
    return out;
}

HWND Child(HWND h, const char* cls, const char* text) {
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char k[64], t[512];
        GetClassNameA(c, k, sizeof(k));
        GetWindowTextA(c, t, sizeof(t));
        if (lstrcmpiA(k, cls) == 0 && std::string(t) == text) return c;
    }
    return nullptr;
}

// Presses a button of a shown form from a timer, as a person would while the form is modal.
struct PressLater {
    AuxForm* form;
    std::string button;
    bool wasVisible = false;
    std::vector<std::string> listed;
    ui::Timer t;
    PressLater(AuxForm* f, std::string b) : form(f), button(std::move(b)) {
        t.SetInterval(100);
        t.OnTimer = [this] {
            t.SetEnabled(false);
            HWND h = AuxFormHandle(form);
            wasVisible = IsWindowVisible(h);
            if (HWND list = FindWindowExA(h, nullptr, "LISTBOX", nullptr)) {
                int n = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
                for (int i = 0; i < n; ++i) {
                    char s[256] = "";
                    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(s));
                    listed.push_back(s);
                }
            }
            SendMessageA(Child(h, "BUTTON", button.c_str()), BM_CLICK, 0, 0);
        };
        t.SetEnabled(true);
    }
};

}  // namespace

TEST(Aux32, AboutBoxNamesTheProductAndClosesWithOK) {
    AuxForm* f = MakeAboutForm(nullptr);
    ASSERT_NE(f, nullptr);
    auto labels = ChildTexts(AuxFormHandle(f), "BUTTON");
    EXPECT_EQ(labels, std::vector<std::string>{"OK"});
    PressLater press(f, "OK");
    EXPECT_EQ(AuxShowModal(f), 1);
    EXPECT_TRUE(press.wasVisible);
    EXPECT_FALSE(IsWindowVisible(AuxFormHandle(f)));
    AuxFreeForm(f);
}

TEST(Aux32, SitesFormListsCommunitySitesAndClosesWithClose) {
    AuxForm* f = MakeUrlForm(nullptr);
    ASSERT_NE(f, nullptr);
    PressLater press(f, "Close");
    EXPECT_EQ(AuxShowModal(f), 2);
    EXPECT_TRUE(press.wasVisible);
    ASSERT_GE(press.listed.size(), 3u);
    for (const std::string& s : press.listed) EXPECT_FALSE(s.empty());
    AuxFreeForm(f);
    AuxFreeForm(nullptr);  // nothing to free is no fault
}

// F1 in the library's dialogs opens the guide through the caller's desktop, at the part about
// the toolbar that opens them.
TEST(Aux32, F1InEitherDialogOpensTheGuideAtTheToolbar) {
    testing_support::FakeDesktop desk;
    AuxSetDesktop(&desk);
    for (AuxForm* f : {MakeAboutForm(nullptr), MakeUrlForm(nullptr)}) {
        desk.Clear();
        testing_support::Later press(50, [f] {
            PostMessageA(GetWindow(AuxFormHandle(f), GW_CHILD), WM_KEYDOWN, VK_F1, 0);
            PostMessageA(AuxFormHandle(f), WM_CLOSE, 0, 0);
        });
        AuxShowModal(f);
        EXPECT_EQ(testing_support::GuideProblem(desk.Of("ShellExecute"), {"first-package.htm", "toolbar"}), "");
        AuxFreeForm(f);
    }
    AuxSetDesktop(nullptr);
}
