// The actions on the selected entry: opening by kind, stepping into folders, deleting under
// the protection rules, the properties sheet, and closing with OK or Close.
#include "ExplorerTest.h"

using namespace explorer_test;
using testing_support::IniValue;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class Actions : public ExplorerTest {
protected:
    void Layout() {
        MakeDir(dir.file("Help"));
        MakeDir(dir.file("Project"));
        MakeDir(dir.file("Project\\Textures"));
        MakeFile(dir.file("Project\\Textures\\runway.bmp"));
        MakeFile(dir.file("Project\\Readme.txt"));
        MakeFile(dir.file("Project\\Skin32.dll"));
        MakeFile(dir.file("Project\\model.mdl"));
        MakeFile(dir.file("Readme.txt"));
        MakeFile(dir.file("Skin32.dll"));
        MakeFile(dir.file("notes.txt"));
    }
    void ExpectWarning(const Call& c, const std::string& text) {
        EXPECT_EQ(c.text, text);
        EXPECT_EQ(c.caption, "Skykit Builder");
        EXPECT_EQ(c.flags, (UINT)(MB_OK | MB_ICONWARNING));
        EXPECT_EQ(c.owner, form->Handle());
    }
};

}  // namespace

TEST_F(Actions, DoubleClickingHelpIsRefusedAndListsNothing) {
    Layout();
    Open();
    auto before = Items();
    DblClick("Help");
    ASSERT_EQ(Boxes().size(), 1u);
    ExpectWarning(Boxes()[0], "This folder is protected by Skykit Builder and can not be viewed.");
    EXPECT_EQ(Items(), before);
    EXPECT_EQ(form->ProjectFolderFlag, "No");
}

TEST_F(Actions, AProjectFolderIsEnteredAndRefreshReturns) {
    Layout();
    Open();
    DblClick("Project");
    EXPECT_EQ(Items(), (std::vector<std::string>{"Textures", "model.mdl", "Readme.txt", "Skin32.dll"}));
    EXPECT_EQ(form->ProjectFolderFlag, "Yes");
    EXPECT_EQ(form->ViewDirectory, dir.file("Project\\"));
    EXPECT_EQ(form->Label6.Caption(), dir.file("Project\\"));
    EXPECT_EQ(form->ZipFName.Caption(), dir.file("Project\\"));
    EXPECT_TRUE(Boxes().empty());

    // Inside a project folder a folder opens as the one shown, not one of the install directory.
    DblClick("Textures");
    EXPECT_EQ(Items(), std::vector<std::string>{"runway.bmp"});
    EXPECT_EQ(form->ViewDirectory, dir.file("Project\\Textures\\"));
    Click("runway.bmp");
    EXPECT_EQ(form->Label6.Caption(), dir.file("Project\\Textures\\runway.bmp"));

    form->SpeedButton4.Click();
    EXPECT_EQ(form->ProjectFolderFlag, "No");
    EXPECT_EQ(form->ViewDirectory, dir.path());
    EXPECT_EQ(form->Label6.Caption(), dir.path());
    EXPECT_EQ(Items(), (std::vector<std::string>{"Help", "Project", "notes.txt", "Readme.txt", "Skin32.dll"}));
}

TEST_F(Actions, FilesOpenByTheirKind) {
    std::string sub = dir.file("With Space\\");
    MakeDir(sub);
    for (const char* f : {"tool.exe", "page.htm", "site.HTML", "pic.bmp", "anim.gif", "photo.JPG", "read me.TXT",
                          "file_id.diz", "odd.Txt", "pack.zip", "lib.dll"})
        MakeFile(sub + f);
    Open();
    DblClick("With Space");
    auto open = [&](const char* name) {
        desk.Clear();
        DblClick(name);
        return desk.calls;
    };
    auto calls = open("tool.exe");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, "RunAndWait");
    EXPECT_EQ(calls[0].text, "\"" + sub + "tool.exe\"");
    EXPECT_EQ(calls[0].flags, (UINT)SW_SHOWNORMAL);
    for (const char* name : {"page.htm", "site.HTML", "pic.bmp", "anim.gif", "photo.JPG"}) {
        calls = open(name);
        ASSERT_EQ(calls.size(), 1u) << name;
        EXPECT_EQ(calls[0].kind, "ShellExecute");
        EXPECT_EQ(calls[0].caption, "open");
        EXPECT_EQ(calls[0].text, sub + name);
        EXPECT_EQ(calls[0].extra, "|");  // no parameters, no directory
        EXPECT_EQ(calls[0].flags, (UINT)SW_SHOWDEFAULT);
        EXPECT_EQ(calls[0].owner, form->Handle());
    }
    // Texts and descriptions in Notepad, the path quoted so that a space does not split it.
    for (const char* name : {"read me.TXT", "file_id.diz"}) {
        calls = open(name);
        ASSERT_EQ(calls.size(), 1u) << name;
        EXPECT_EQ(calls[0].kind, "WinExec");
        EXPECT_EQ(calls[0].text, "Notepad.exe \"" + sub + name + "\"");
        EXPECT_EQ(calls[0].flags, (UINT)SW_SHOWNORMAL);
    }
    for (const char* name : {"odd.Txt", "pack.zip", "lib.dll"}) {
        calls = open(name);
        EXPECT_TRUE(calls.empty()) << name;
    }
}

TEST_F(Actions, DeleteWithoutSelectionAsksForOne) {
    Layout();
    Open();
    form->SpeedButton1.Click();
    ASSERT_EQ(Boxes().size(), 1u);
    ExpectWarning(Boxes()[0], "Please select a file you want to delete.");
}

TEST_F(Actions, ProtectedEntriesAreNotDeletedInEitherView) {
    Layout();
    Open();
    Click("Readme.txt");
    form->SpeedButton1.Click();
    Click("Skin32.dll");
    form->SpeedButton1.Click();
    Click("Help");
    form->SpeedButton1.Click();
    auto b = Boxes();
    ASSERT_EQ(b.size(), 3u);
    ExpectWarning(b[0], "Readme.txt is protected by SKKT and can not be deleted by Skykit Explorer.");
    ExpectWarning(b[1], "Skin32.dll is protected by SKKT and can not be deleted by Skykit Explorer.");
    ExpectWarning(b[2], "The help section can not be deleted as this folder is used by SKKT.");
    EXPECT_TRUE(Exists(dir.file("Readme.txt")));
    EXPECT_TRUE(Exists(dir.file("Skin32.dll")));
    EXPECT_TRUE(Exists(dir.file("Help")));
    EXPECT_TRUE(desk.Of("FileOperation").empty());

    DblClick("Project");
    desk.Clear();
    Click("Readme.txt");
    form->SpeedButton1.Click();
    ASSERT_EQ(Boxes().size(), 1u);
    ExpectWarning(Boxes()[0], "Readme.txt is protected by SKKT and can not be deleted by Skykit Explorer.");
    EXPECT_TRUE(Exists(dir.file("Project\\Readme.txt")));
}

TEST_F(Actions, AFileIsDeletedOnlyAfterYes) {
    Layout();
    Open();
    DblClick("Project");
    Click("Skin32.dll");
    ASSERT_EQ(form->Label9.Caption(), "Not used by Skykit Builder");
    desk.messageAnswers = {IDNO};
    form->SpeedButton1.Click();
    ASSERT_EQ(Boxes().size(), 1u);
    Call q = Boxes()[0];
    EXPECT_EQ(q.text, "Are you sure you want to delete Skin32.dll?");
    EXPECT_EQ(q.caption, "Delete file");
    EXPECT_EQ(q.flags, (UINT)(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(q.owner, nullptr);
    // No: file, list and panel as they were.
    EXPECT_TRUE(Exists(dir.file("Project\\Skin32.dll")));
    EXPECT_EQ(Items().size(), 4u);
    EXPECT_EQ(form->navn.Caption(), "Skin32.dll");
    EXPECT_EQ(form->Label9.Caption(), "Not used by Skykit Builder");
    EXPECT_EQ(form->Label5.Caption(), "4 file(s) found");

    desk.Clear();
    desk.messageAnswers = {IDYES};
    form->SpeedButton1.Click();
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_FALSE(Exists(dir.file("Project\\Skin32.dll")));
    EXPECT_EQ(Items(), (std::vector<std::string>{"Textures", "model.mdl", "Readme.txt"}));
    EXPECT_EQ(form->Label5.Caption(), "3 file(s) found");
    EXPECT_EQ(form->navn.Caption(), "");
    EXPECT_EQ(form->Label9.Caption(), "");
    EXPECT_EQ(form->Label4.Caption(), "");
    EXPECT_EQ(form->ProjectFolderFlag, "Yes");  // the view stays
    // Nothing is selected now: another Delete asks for a selection.
    desk.Clear();
    form->SpeedButton1.Click();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "Please select a file you want to delete.");
}

TEST_F(Actions, AFileThatCannotBeDeletedIsReportedAndKept) {
    Layout();
    Open();
    // Another program holds the file open without sharing it.
    HANDLE held = CreateFileA(dir.file("notes.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Click("notes.txt");
    desk.messageAnswers = {IDYES};
    form->SpeedButton1.Click();
    CloseHandle(held);
    auto b = Boxes();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].caption, "Delete file");
    EXPECT_EQ(b[1].text.rfind("notes.txt could not be deleted.", 0), 0u) << b[1].text;
    EXPECT_EQ(b[1].caption, "Skykit Builder");
    EXPECT_EQ(b[1].flags, (UINT)(MB_OK | MB_ICONWARNING));
    EXPECT_TRUE(Exists(dir.file("notes.txt")));
    EXPECT_NE(Item("notes.txt"), -1);
    EXPECT_EQ(form->navn.Caption(), "notes.txt");
    EXPECT_EQ(form->Label5.Caption(), "5 file(s) found");
}

TEST_F(Actions, AFolderGoesToTheShellAndTheInstallDirectoryIsShownEvenWhenCancelled) {
    Layout();
    Open();
    DblClick("Project");
    DblClick("Textures");
    Click("runway.bmp");
    form->SpeedButton4Click();
    Click("Project");
    desk.fileOperationResult = 1223;  // the person said No in the shell's own dialog
    form->SpeedButton1.Click();
    ASSERT_EQ(desk.Of("FileOperation").size(), 1u);
    EXPECT_EQ(desk.fromList, dir.file("Project") + std::string(2, '\0'));
    EXPECT_EQ(desk.fileOp.wFunc, (UINT)FO_DELETE);
    EXPECT_EQ(desk.fileOp.fFlags, (FILEOP_FLAGS)FOF_ALLOWUNDO);
    EXPECT_EQ(desk.fileOp.pTo, nullptr);
    EXPECT_EQ(desk.fileOp.hwnd, nullptr);
    EXPECT_TRUE(Boxes().empty());  // the shell asks, not the explorer
    EXPECT_EQ(form->ViewDirectory, dir.path());
    EXPECT_EQ(form->ProjectFolderFlag, "No");
    EXPECT_EQ(form->Label6.Caption(), dir.path());
    EXPECT_NE(Item("Project"), -1);

    // From inside a project folder, a deleted subfolder also ends in the install directory.
    DblClick("Project");
    Click("Textures");
    desk.fileOperationResult = 0;
    form->SpeedButton1.Click();
    EXPECT_EQ(desk.fromList, dir.file("Project\\Textures") + std::string(2, '\0'));
    EXPECT_EQ(form->ViewDirectory, dir.path());
}

TEST_F(Actions, AnActionAfterAKeyboardSelectionWorksOnTheSelectedItem) {
    Layout();
    Open();
    Click("notes.txt");
    // The arrow key moves the selection without a click.
    form->ListView1.SetSelected(Item("Readme.txt"));
    form->SpeedButton1.Click();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "Readme.txt is protected by SKKT and can not be deleted by Skykit Explorer.");
    EXPECT_EQ(form->navn.Caption(), "Readme.txt");
    EXPECT_TRUE(Exists(dir.file("notes.txt")));
}

TEST_F(Actions, PropertiesShowTheShellSheetOfTheSelectedEntry) {
    Layout();
    Open();
    form->SpeedButton2.Click();
    EXPECT_TRUE(desk.calls.empty());
    EXPECT_FALSE(form->PopupMenu1.Item("Properties1")->Enabled);
    Click("Project");
    form->SpeedButton2.Click();
    ASSERT_EQ(desk.Of("ShellExecuteEx").size(), 1u);
    EXPECT_EQ(desk.execVerb, "properties");
    EXPECT_EQ(desk.execFile, dir.file("Project"));
    EXPECT_EQ(desk.exec.cbSize, sizeof(SHELLEXECUTEINFOA));
    EXPECT_EQ(desk.exec.fMask, (ULONG)SEE_MASK_INVOKEIDLIST);
    EXPECT_EQ(desk.exec.hwnd, nullptr);
    EXPECT_EQ(desk.exec.nShow, 0);
    EXPECT_TRUE(form->PopupMenu1.Item("Properties1")->Enabled);
}

TEST_F(Actions, OkCloseAndTheTitleButtonStoreTheAddressAndEndTheProgram) {
    for (int which = 0; which < 3; ++which) {
        Open();
        form->ComboBox1.SetText("http://example.org/" + std::to_string(which));
        ui::Control* button = which == 0 ? static_cast<ui::Control*>(&form->Label12)
                              : which == 1 ? static_cast<ui::Control*>(&form->Image3)
                                           : static_cast<ui::Control*>(&form->Close1);
        button->Click();
        EXPECT_EQ(IniValue(dir.ini(), "Skykit Explorer", "Url"), "http://example.org/" + std::to_string(which));
        EXPECT_FALSE(form->Showing());
        EXPECT_TRUE(ui::App->Terminated);
        EXPECT_TRUE(Exists(dir.file("hyper.add")));
        Shut();
        TearDown();
    }
    // Unchanged text is stored too.
    WriteFile(dir.ini(), "[Skykit Explorer]\r\nUrl=kept\r\n");
    Open();
    form->Image4.Click();
    EXPECT_EQ(IniValue(dir.ini(), "Skykit Explorer", "Url"), "kept");
}

TEST_F(Actions, ImageButtonsSinkWhenPressedAndRiseWhenClicked) {
    Open();
    HMODULE lib = LoadLibraryA("Skin32.dll");
    auto pixel = [](HBITMAP b) {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, b);
        COLORREF c = GetPixel(dc, 32, 6);
        SelectObject(dc, old);
        DeleteDC(dc);
        return c;
    };
    HBITMAP b1 = LoadBitmapA(lib, "b1"), b2 = LoadBitmapA(lib, "b2");
    form->Label1.MouseDown(ui::MouseButton::Left);
    EXPECT_EQ(pixel(form->Image3.Bitmap()), pixel(b2));
    form->Image4.MouseDown(ui::MouseButton::Left);
    EXPECT_EQ(pixel(form->Image4.Bitmap()), pixel(b2));
    form->Image4.Click();
    EXPECT_EQ(pixel(form->Image4.Bitmap()), pixel(b1));
    DeleteObject(b1);
    DeleteObject(b2);
    FreeLibrary(lib);
}
