// The explorer's window: construction, the listing of the install directory and of a project
// folder, the detail panel a click fills, the count line and the path label.
#include "ExplorerTest.h"

using namespace explorer_test;
using testing_support::WriteFile;

namespace {

class Window : public ExplorerTest {};

COLORREF Pixel(HBITMAP b, int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return c;
}

COLORREF SkinPixel(const char* name, int x, int y) {
    HMODULE lib = LoadLibraryA("Skin32.dll");
    HBITMAP b = LoadBitmapA(lib, name);
    COLORREF c = Pixel(b, x, y);
    DeleteObject(b);
    FreeLibrary(lib);
    return c;
}

}  // namespace

TEST_F(Window, IsTheCaptionlessSkinnedWindowAtItsDesignedPlace) {
    Open();
    HWND h = form->Handle();
    char cls[64];
    GetClassNameA(h, cls, sizeof(cls));
    EXPECT_STREQ(cls, "Skykit Builder");
    LONG s = GetWindowLongA(h, GWL_STYLE);
    EXPECT_FALSE(s & WS_DLGFRAME);
    EXPECT_TRUE(s & WS_POPUP);
    char title[64];
    GetWindowTextA(h, title, sizeof(title));
    EXPECT_STREQ(title, "Skykit Explorer");
    RECT c, w;
    GetClientRect(h, &c);
    GetWindowRect(h, &w);
    EXPECT_EQ(c.right, 473);
    EXPECT_EQ(w.left, 192);
    EXPECT_EQ(w.top, 108);
    // Shown with the message panel hidden.
    EXPECT_EQ(form->FormHeight(), 375);
    EXPECT_FALSE(IsWindowVisible(form->Edit1.Handle()));
    EXPECT_FALSE(IsWindowVisible(form->Memo1.Handle()));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(ui::App->Terminated);
}

TEST_F(Window, CarriesItsSkinItsKindIconsAndItsMenu) {
    Open();
    for (ui::Image* i : {&form->Image1, &form->Image2, &form->Image5, &form->Image4, &form->Image3})
        EXPECT_FALSE(i->Empty()) << i->Name;
    EXPECT_EQ(Pixel(form->Image4.Bitmap(), 32, 12), SkinPixel("b1", 32, 12));
    EXPECT_TRUE(GetWindowLongA(form->ListView1.Handle(), GWL_STYLE) & LVS_LIST);
    EXPECT_FALSE(GetWindowLongA(form->ListView1.Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);

    // 25 kind icons of 17 by 16, given to the list.
    EXPECT_EQ(form->ImageList1.Count(), 25);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(form->ImageList1.Handle(), &cx, &cy);
    EXPECT_EQ(cx, 17);
    EXPECT_EQ(cy, 16);
    EXPECT_EQ(ListView_GetImageList(form->ListView1.Handle(), LVSIL_SMALL), form->ImageList1.Handle());

    std::vector<std::string> menu;
    for (auto& i : form->PopupMenu1.Items) menu.push_back(i.Caption);
    EXPECT_EQ(menu, (std::vector<std::string>{"Properties", "Delete", "-", "Send via E-mail", "-", "About Skykit Builder"}));
    for (const char* n : {"Properties1", "Delete1", "SendviaEmail1"}) EXPECT_FALSE(form->PopupMenu1.Item(n)->Enabled) << n;
    EXPECT_EQ(form->ListView1.Popup, &form->PopupMenu1);
}

TEST_F(Window, StartsWithTheSavedAddressOrTheDesignedOne) {
    Open();
    std::string designed = form->ComboBox1.Text();
    EXPECT_EQ(designed.rfind("https://", 0), 0u);
    EXPECT_TRUE(form->ComboBox1.Items().empty());
    Shut();
    WriteFile(dir.ini(), "[Skykit Explorer]\r\nUrl=http://example.org/fs\r\n");
    Open();
    EXPECT_EQ(form->ComboBox1.Text(), "http://example.org/fs");
}

TEST_F(Window, ListsDirectoriesFirstInFoldedOrderWithTheirKinds) {
    MakeDir(dir.file("zeta"));
    MakeDir(dir.file("notes.txt"));
    MakeDir(dir.file("Alpha"));
    for (const char* f : {"alpha.txt", "gamma.TXT", "Beta.txt", "photo.Jpg", "photo.jpeg", "memo.Txt", "README",
                          "pic.jpg", "Setup.exe", "lib.DLL"})
        MakeFile(dir.file(f));
    WriteFile(dir.file("hidden.ini"), "x");
    SetFileAttributesA(dir.file("hidden.ini").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    Open();
    EXPECT_EQ(Items(), (std::vector<std::string>{"Alpha", "notes.txt", "zeta", "alpha.txt", "Beta.txt", "gamma.TXT",
                                                 "hidden.ini", "lib.DLL", "memo.Txt", "photo.jpeg", "photo.Jpg",
                                                 "pic.jpg", "README", "Setup.exe"}));
    auto image = [&](const char* n) { return form->ListView1.ItemImage(Item(n)); };
    EXPECT_EQ(image("notes.txt"), 2);
    EXPECT_EQ(image("zeta"), 2);
    EXPECT_EQ(image("alpha.txt"), 5);
    EXPECT_EQ(image("gamma.TXT"), 5);
    EXPECT_EQ(image("hidden.ini"), 6);
    EXPECT_EQ(image("lib.DLL"), 7);
    EXPECT_EQ(image("pic.jpg"), 19);
    EXPECT_EQ(image("Setup.exe"), 23);
    for (const char* n : {"memo.Txt", "photo.Jpg", "photo.jpeg", "README"}) EXPECT_EQ(image(n), 12) << n;
    EXPECT_EQ(form->Entries.size(), 14u);
    EXPECT_EQ(form->Label5.Caption(), "14 file(s) found");
    EXPECT_EQ(form->ListDirectory, "");
    EXPECT_EQ(form->ViewDirectory, dir.path());
    EXPECT_EQ(form->ProjectFolderFlag, "No");
    EXPECT_EQ(form->Label6.Caption(), dir.path());
    EXPECT_EQ(form->ZipFName.Caption(), dir.path());
    EXPECT_FALSE(form->Listing());
}

TEST_F(Window, AnEmptyOrMissingFolderGivesAnEmptyListAndSaysSo) {
    Open();
    EXPECT_EQ(Items(), std::vector<std::string>{});
    EXPECT_EQ(form->Label5.Caption(), "0 file(s) found");
    MakeFile(dir.file("a.txt"));
    form->SpeedButton4Click();
    EXPECT_EQ(form->Label5.Caption(), "1 file(s) found");
    form->ListDirectory = dir.file("no such folder\\");
    form->ListFolder();
    EXPECT_TRUE(Items().empty());
    EXPECT_EQ(form->Label5.Caption(), "0 file(s) found");
}

TEST_F(Window, AClickFillsTheDetailPanelWithNameStatusAndSize) {
    MakeFile(dir.file("small.bin"), 999);
    MakeFile(dir.file("one.bin"), 1000);
    MakeFile(dir.file("big.bin"), 2500000);
    MakeFile(dir.file("Readme.txt"));
    MakeFile(dir.file("KITPRESS.EXE"));
    MakeFile(dir.file("kitlens.exe"));
    MakeFile(dir.file("Skin32.dll"));
    MakeFile(dir.file("Unzeng.dll"));
    MakeFile(dir.file("Setup.dll"));
    MakeDir(dir.file("Help"));
    MakeDir(dir.file("notes.txt"));
    Open();

    Click("small.bin");
    EXPECT_TRUE(form->navn.Visible());
    EXPECT_EQ(form->navn.Caption(), "small.bin");
    EXPECT_EQ(form->mappe.Caption(), "File");
    EXPECT_EQ(form->Label4.Caption(), "0 KB");
    EXPECT_EQ(form->Label9.Caption(), "Not used by Skykit Builder");
    EXPECT_EQ(form->Label6.Caption(), dir.file("small.bin"));
    for (const char* n : {"Properties1", "Delete1", "SendviaEmail1"}) EXPECT_TRUE(form->PopupMenu1.Item(n)->Enabled);
    Click("one.bin");
    EXPECT_EQ(form->Label4.Caption(), "1 KB");
    Click("big.bin");
    EXPECT_EQ(form->Label4.Caption(), "2500 KB");

    const std::pair<const char*, const char*> status[] = {
        {"Readme.txt", "Protected by Skykit Builder"}, {"KITPRESS.EXE", "Protected by Skykit Builder"},
        {"kitlens.exe", "Protected by Skykit Builder"}, {"Skin32.dll", "Protected by Skykit Builder"},
        {"Unzeng.dll", "Protected by Skykit Builder"}, {"Setup.dll", "Protected by Skykit Builder"},
        {"Help", "Used by Skykit Builder"}, {"notes.txt", "User project folder"}};
    for (auto& [name, text] : status) {
        Click(name);
        EXPECT_EQ(form->Label9.Caption(), text) << name;
    }
    // A directory: no mail, no size.
    Click("notes.txt");
    EXPECT_EQ(form->mappe.Caption(), "Directory");
    EXPECT_EQ(form->Label4.Caption(), "");
    EXPECT_FALSE(form->PopupMenu1.Item("SendviaEmail1")->Enabled);
    EXPECT_TRUE(form->PopupMenu1.Item("Delete1")->Enabled);

    // A click beside the items leaves nothing selected: the menu items go grey, the panel stays.
    SendMessageA(form->ListView1.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 180));
    SendMessageA(form->ListView1.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(200, 180));
    EXPECT_EQ(form->ListView1.Selected(), -1);
    for (const char* n : {"Properties1", "Delete1", "SendviaEmail1"}) EXPECT_FALSE(form->PopupMenu1.Item(n)->Enabled);
    EXPECT_EQ(form->navn.Caption(), "notes.txt");
}

TEST_F(Window, AProjectFolderHasItsOwnColumnAndAFileNamedHelpIsProtected) {
    MakeDir(dir.file("Project"));
    MakeDir(dir.file("Project\\help"));
    MakeDir(dir.file("Other"));
    for (const char* f : {"Skin32.dll", "Unzeng.dll", "Setup.dll", "Readme.txt"})
        MakeFile(dir.file("Project\\") + f, 2000);
    MakeFile(dir.file("Other\\Help"), 2000);
    Open();
    DblClick("Project");
    ASSERT_EQ(form->ProjectFolderFlag, "Yes");
    // A folder "help" (not "Help") is the user's.
    Click("help");
    EXPECT_EQ(form->Label9.Caption(), "User project folder");
    const std::pair<const char*, const char*> status[] = {
        {"Skin32.dll", "Not used by Skykit Builder"}, {"Unzeng.dll", "Not used by Skykit Builder"},
        {"Setup.dll", "Protected by Skykit Builder"}, {"Readme.txt", "Protected by Skykit Builder"}};
    for (auto& [name, text] : status) {
        Click(name);
        EXPECT_EQ(form->Label9.Caption(), text) << name;
        EXPECT_EQ(form->Label4.Caption(), "2 KB") << name;
        EXPECT_EQ(form->Label6.Caption(), dir.file("Project\\") + name);
    }
    // A file named "Help" is the builder's wherever it lies.
    form->SpeedButton4Click();
    DblClick("Other");
    Click("Help");
    EXPECT_EQ(form->mappe.Caption(), "File");
    EXPECT_EQ(form->Label9.Caption(), "Protected by Skykit Builder");
}

TEST_F(Window, ThePathLabelShortensLongPathsAndShowsThemWhole) {
    std::string deep = dir.file("A rather long project folder name\\");
    MakeDir(deep);
    MakeFile(deep + "inside.txt");
    Open();
    form->Label6.SetCaption("C:\\Games\\a.txt");
    form->ShowPath();
    EXPECT_EQ(form->ZipFName.Caption(), "C:\\Games\\a.txt");
    EXPECT_FALSE(form->ZipFName.ShowHint());

    DblClick("A rather long project folder name");
    EXPECT_EQ(form->ZipFName.Caption(), deep);  // entering shows the folder unshortened
    Click("inside.txt");
    std::string full = deep + "inside.txt";
    std::string shown = form->ZipFName.Caption();
    EXPECT_NE(shown, full);
    EXPECT_LE(form->ZipFName.TextWidth(shown), 182);
    EXPECT_NE(shown.find("...\\"), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 11), "\\inside.txt");
    EXPECT_TRUE(form->ZipFName.ShowHint());
    EXPECT_EQ(form->ZipFName.Hint, full);

    form->Label6.SetCaption("");
    form->ShowPath();
    EXPECT_EQ(form->ZipFName.Caption(), "<none>");
    EXPECT_FALSE(form->ZipFName.ShowHint());
}

TEST_F(Window, ADoubleClickWhileTheListFillsDoesNotMixTwoFolders) {
    MakeDir(dir.file("Alpha"));
    for (int i = 0; i < 30; ++i) MakeFile(dir.file("file" + std::to_string(i) + ".txt"));
    MakeFile(dir.file("Alpha\\inside1.txt"));
    MakeFile(dir.file("Alpha\\inside2.txt"));
    Open();
    ASSERT_EQ(Item("Alpha"), 0);
    // The person double-clicks "Alpha" just as Refresh lists the install directory again: the
    // clicks wait in the queue and run while the list fills.
    HWND lv = form->ListView1.Handle();
    RECT r{};
    r.left = LVIR_LABEL;
    SendMessageA(lv, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2);
    PostMessageA(lv, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(lv, WM_LBUTTONUP, 0, at);
    PostMessageA(lv, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageA(lv, WM_LBUTTONUP, 0, at);
    form->SpeedButton4Click();
    EXPECT_FALSE(form->Listing());
    EXPECT_EQ(form->ViewDirectory, dir.file("Alpha\\"));
    EXPECT_EQ(form->ProjectFolderFlag, "Yes");
    EXPECT_EQ(Items(), (std::vector<std::string>{"inside1.txt", "inside2.txt"}));
    EXPECT_EQ(form->Entries.size(), 2u);
    EXPECT_EQ(form->Label5.Caption(), "2 file(s) found");
    EXPECT_EQ(form->ListDirectory, "");
}

TEST_F(Window, ARefreshAskedForFromInsideAListingStartsItOver) {
    MakeDir(dir.file("Alpha"));
    for (int i = 0; i < 10; ++i) MakeFile(dir.file("Alpha\\f" + std::to_string(i) + ".txt"));
    for (int i = 0; i < 5; ++i) MakeFile(dir.file("top" + std::to_string(i) + ".txt"));
    Open();
    DblClick("Alpha");
    ASSERT_EQ(Items().size(), 10u);
    // A handler that runs during the pump of a listing asks for the install directory.
    auto change = form->ListView1.OnChange;
    int calls = 0;
    form->ListView1.OnChange = [&] {
        change();
        if (++calls == 3) form->SpeedButton4Click();
    };
    form->ListDirectory = form->ViewDirectory;
    form->ListFolder();
    EXPECT_EQ(form->ViewDirectory, dir.path());
    EXPECT_EQ(form->ProjectFolderFlag, "No");
    EXPECT_EQ(Items(), (std::vector<std::string>{"Alpha", "top0.txt", "top1.txt", "top2.txt", "top3.txt", "top4.txt"}));
}
