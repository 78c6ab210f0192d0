// The legal texts editor: the search rules on their own, then Find and Replace on the terms
// box through the platform's dialog, "Standard", and the editor's buttons.
#include "BuilderForms.h"

using namespace testing_support;
using namespace builder_tests;

TEST(FindForward, SearchesForwardFromAPositionWithoutWrapping) {
    EXPECT_EQ(FindForward("abc abc", "abc", 0, true, false), 0);
    EXPECT_EQ(FindForward("abc abc", "abc", 1, true, false), 4);
    EXPECT_EQ(FindForward("abc abc", "abc", 5, true, false), -1);  // no start from the top
    EXPECT_EQ(FindForward("aaa", "aa", 1, true, false), 1);          // overlapping
    EXPECT_EQ(FindForward("abc", "", 0, true, false), -1);
    EXPECT_EQ(FindForward("abc", "abc", 3, true, false), -1);
    EXPECT_EQ(FindForward("abc", "abc", -2, true, false), -1);
    EXPECT_EQ(FindForward("", "a", 0, true, false), -1);
}

TEST(FindForward, CaseAndWholeWords) {
    EXPECT_EQ(FindForward("Use the USE", "use", 0, true, false), -1);
    EXPECT_EQ(FindForward("Use the USE", "use", 0, false, false), 0);
    EXPECT_EQ(FindForward("Use the USE", "use", 1, false, false), 8);
    EXPECT_EQ(FindForward("\xC9t\xE9 \xE9T\xC9", "\xE9t\xE9", 1, false, false), 4);  // accented letters too
    EXPECT_EQ(FindForward("user uses use", "use", 0, false, true), 10);
    EXPECT_EQ(FindForward("use_case use", "use", 0, true, true), 9);
    EXPECT_EQ(FindForward("(use), use2", "use", 0, true, true), 1);
    EXPECT_EQ(FindForward("r\xE9use use", "use", 0, true, true), 6);  // an accented letter is part of a word
    EXPECT_EQ(FindForward("use", "use", 0, true, true), 0);
}

namespace {

struct LegalTexts : BuilderForms {
    TForm2* ed = nullptr;
    void SetUp() override {
        BuilderForms::SetUp();
        ed = Form2;
        Form1->Show();
        Form1->Image3Click();
    }
    void Press(DWORD button, const std::string& find, const std::string& replace = "", DWORD options = FR_DOWN) {
        ed->ReplaceDialog1.FindText = find;
        ed->ReplaceDialog1.ReplaceText = replace;
        ed->ReplaceDialog1.Options = options | button;
        if (button == FR_FINDNEXT)
            ed->ReplaceDialog1Find();
        else
            ed->ReplaceDialog1Replace();
    }
    std::string Terms() { return ed->Memo1.PositionText(); }
};

// A desktop that opens the platform's real find-and-replace dialog.
struct RealFindDesktop : FakeDesktop {
    HWND ReplaceText(FINDREPLACEA* fr) override {
        FakeDesktop::ReplaceText(fr);
        return ::ReplaceTextA(fr);
    }
};

}  // namespace

TEST_F(LegalTexts, FindSelectsTheNextOccurrenceIncludingOverlappingOnes) {
    ed->Memo1.SetText("banana");
    ed->Memo1.SetSel(0, 0);
    Press(FR_FINDNEXT, "ana");
    EXPECT_EQ(ed->Memo1.SelStart(), 1);
    EXPECT_EQ(ed->Memo1.SelLength(), 3);
    Press(FR_FINDNEXT, "ana");
    EXPECT_EQ(ed->Memo1.SelStart(), 3);
    // Nothing further: the selection stays, nothing is said, no wrap to the top.
    Press(FR_FINDNEXT, "ana");
    EXPECT_EQ(ed->Memo1.SelStart(), 3);
    EXPECT_EQ(ed->Memo1.SelLength(), 3);
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(ed->Memo1.Focused());
}

TEST_F(LegalTexts, TheUpwardDirectionStillSearchesForward) {
    ed->Memo1.SetText("one two one two");
    ed->Memo1.SetSel(8, 0);
    Press(FR_FINDNEXT, "two", "", 0);  // FR_DOWN not set: "Up" in the dialog
    EXPECT_EQ(ed->Memo1.SelStart(), 12);
    Press(FR_FINDNEXT, "one", "", 0);
    EXPECT_EQ(ed->Memo1.SelStart(), 12);  // the "one" before is never found
}

TEST_F(LegalTexts, FindRespectsCaseAndWholeWordsAcrossLines) {
    ed->Memo1.SetLines({"Terms of use", "Users may use it.", "USE"});
    ed->Memo1.SetSel(0, 0);
    Press(FR_FINDNEXT, "USE", "", FR_DOWN | FR_MATCHCASE);
    EXPECT_EQ(ed->Memo1.SelText(), "USE");
    ed->Memo1.SetSel(0, 0);
    Press(FR_FINDNEXT, "use", "", FR_DOWN | FR_WHOLEWORD);
    EXPECT_EQ(ed->Memo1.SelText(), "use");
    Press(FR_FINDNEXT, "use", "", FR_DOWN | FR_WHOLEWORD);
    // "Users" is skipped; the second line's "use" is next.
    EXPECT_EQ(ed->Memo1.SelText(), "use");
    int second = ed->Memo1.SelStart();
    EXPECT_EQ(Terms().substr(second - 4, 7), "may use");
}

TEST_F(LegalTexts, ReplaceWithNoSelectionOnlySelectsThenReplacesAndSelectsTheNext) {
    ed->Memo1.SetText("cat hat cat");
    ed->Memo1.SetSel(0, 0);
    Press(FR_REPLACE, "cat", "dog");
    EXPECT_EQ(Terms(), "cat hat cat");
    EXPECT_EQ(ed->Memo1.SelStart(), 0);
    EXPECT_EQ(ed->Memo1.SelLength(), 3);
    Press(FR_REPLACE, "cat", "dog");
    EXPECT_EQ(Terms(), "dog hat cat");
    EXPECT_EQ(ed->Memo1.SelStart(), 8);
    EXPECT_EQ(ed->Memo1.SelLength(), 3);
    // A selection that is not the find text stays: Replace only finds the next occurrence.
    ed->Memo1.SetSel(4, 3);
    Press(FR_REPLACE, "cat", "dog");
    EXPECT_EQ(Terms() + " " + std::to_string(ed->Memo1.SelStart()), "dog hat cat 8");
    Press(FR_REPLACE, "CAT", "dog");  // the find text in other letters, without match case
    EXPECT_EQ(Terms(), "dog hat dog");
}

TEST_F(LegalTexts, ReplaceAllOfALetterByItselfDoubledStops) {
    ed->Memo1.SetText("aaa");
    ed->Memo1.SetSel(0, 0);
    Press(FR_REPLACEALL, "a", "aa");
    EXPECT_EQ(Terms(), "aaaaaa");
    EXPECT_EQ(ed->Memo1.SelLength(), 0);

    ed->Memo1.SetLines({"Freeware by AUTHOR.", "Mail AUTHOR about AUTHORS."});
    ed->Memo1.SetSel(0, 0);
    Press(FR_REPLACEALL, "author", "Ann", FR_DOWN | FR_WHOLEWORD);
    EXPECT_EQ(ed->Memo1.Lines(), (std::vector<std::string>{"Freeware by Ann.", "Mail Ann about AUTHORS."}));
    ed->Memo1.SetSel(0, 0);
    Press(FR_REPLACEALL, "ann", "", FR_DOWN | FR_MATCHCASE);
    EXPECT_EQ(ed->Memo1.Lines(), (std::vector<std::string>{"Freeware by Ann.", "Mail Ann about AUTHORS."}));
    Press(FR_REPLACEALL, "Ann", "");
    EXPECT_EQ(ed->Memo1.Lines(), (std::vector<std::string>{"Freeware by .", "Mail  about AUTHORS."}));
}

TEST_F(LegalTexts, TheDescriptionIsNeverSearched) {
    ed->Memo2.SetText("needle in the description");
    ed->Memo1.SetText("haystack");
    ed->Memo2.SetFocus();
    ed->Memo2.SetSel(0, 0);
    Press(FR_FINDNEXT, "needle");
    Press(FR_REPLACEALL, "needle", "pin");
    EXPECT_EQ(ed->Memo2.Text(), "needle in the description");
    EXPECT_EQ(Terms(), "haystack");
    EXPECT_EQ(ed->Memo1.SelLength(), 0);
}

TEST_F(LegalTexts, ReplaceOpensThePlatformsDialogOverTheTerms) {
    ed->Label3.Click();  // "Replace"
    auto opened = desk.Of("ReplaceText");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].flags & FR_DOWN);
    EXPECT_EQ(opened[0].owner, Form1->Handle());  // the top-level window owns it
    EXPECT_TRUE(ed->Memo1.Focused());
}

TEST_F(LegalTexts, TheRealDialogsButtonsReachTheTerms) {
    RealFindDesktop real;
    ed->Memo1.SetText("one fish two fish");
    ed->Memo1.SetSel(0, 0);
    ed->Image4Click();
    HWND dlg = ed->ReplaceDialog1.Handle();
    ASSERT_NE(dlg, nullptr);
    SetDlgItemTextA(dlg, edt1, "fish");
    SetDlgItemTextA(dlg, edt2, "cat");
    SendMessageA(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);  // Find Next
    EXPECT_EQ(ed->Memo1.SelStart(), 4);
    EXPECT_EQ(ed->Memo1.SelLength(), 4);
    SendMessageA(GetDlgItem(dlg, psh2), BM_CLICK, 0, 0);  // Replace All
    EXPECT_EQ(Terms(), "one cat two cat");
    EXPECT_TRUE(ed->ReplaceDialog1.ReplaceAll());
    // Opening it again brings the same dialog to the front.
    ed->Image4Click();
    EXPECT_EQ(ed->ReplaceDialog1.Handle(), dlg);
    SendMessageA(GetDlgItem(dlg, IDCANCEL), BM_CLICK, 0, 0);
    Pump(50);
    EXPECT_EQ(ed->ReplaceDialog1.Handle(), nullptr);
    EXPECT_FALSE(IsWindow(dlg));
}

TEST_F(LegalTexts, StandardReplacesTheWholeTermsByTheShippedFile) {
    WriteFile(dir.file("license.skh"), "STANDARD TERMS\r\n\r\nUse it freely.\nLast line\r\n");
    ed->Memo1.SetText("my own words");
    ed->Label2.Click();  // "Standard"
    EXPECT_EQ(ed->Memo1.Lines(), (std::vector<std::string>{"STANDARD TERMS", "", "Use it freely.", "Last line"}));
    EXPECT_TRUE(ed->Memo1.Focused());
}

TEST_F(LegalTexts, AMissingStandardFileChangesNothing) {
    ed->Memo1.SetText("my own words");
    ed->Image3Click();
    EXPECT_EQ(ed->Memo1.Text(), "my own words");
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(ed->Memo1.Focused());
}

TEST_F(LegalTexts, TheEditorFitsThePanelAndKeepsItsTexts) {
    // Every control of the editor lies inside the main form's client panel it fills.
    RECT panel;
    GetClientRect(Form1->Panel1.Handle(), &panel);
    for (ui::Control* c : ed->AllControls()) {
        if (c == &ed->Image1) continue;
        EXPECT_LE(c->Bounds().x + c->Bounds().w, panel.right) << c->Name;
        EXPECT_LE(c->Bounds().y + c->Bounds().h, panel.bottom) << c->Name;
    }
    // A long text scrolls.
    ed->Memo1.SetLines(std::vector<std::string>(60, "A line of the terms of use."));
    EXPECT_TRUE(GetWindowLongA(ed->Memo1.Handle(), GWL_STYLE) & WS_VSCROLL);
    // The texts stay when the editor is hidden and shown again.
    ed->Memo2.SetText("A harbour for FS2000");
    ed->Image2Click();
    EXPECT_FALSE(ed->Showing());
    Form1->Image3Click();
    EXPECT_EQ(ed->Memo2.Text(), "A harbour for FS2000");
}
