// The legal texts editor: the add-on's description and its terms of use.
#pragma once
#include "ui.h"

// Finds `what` in `text` at or after position `from`, forward only and without starting
// again at the top; -1 when there is no such occurrence (or nothing to look for). Whole
// words are bounded by characters that are neither letters, digits nor "_".
int FindForward(const std::string& text, const std::string& what, int from, bool matchCase, bool wholeWord);

class TForm2 : public ui::Form {
public:
    TForm2();

    ui::Image Image1{"Image1"};
    ui::Label Label4{"Label4"};   // "File_id.diz"
    ui::RichEdit Memo2{"Memo2"};  // the description
    ui::Label Label1{"Label1"};   // "Terms of use and Copyright notice"
    ui::RichEdit Memo1{"Memo1"};  // the terms of use
    ui::BevelLine Bevel1{"Bevel1"}, Bevel2{"Bevel2"};
    ui::Label Label7{"Label7"}, Label5{"Label5"};  // reminder of what a description holds
    ui::Label Label8{"Label8"}, Label6{"Label6"};  // reminder of what a legal note holds
    ui::Image Image5{"Image5"}, Image4{"Image4"}, Image3{"Image3"}, Image2{"Image2"};
    ui::Label Label9{"Label9"}, Label3{"Label3"}, Label2{"Label2"}, Label11{"Label11"};
    ui::ReplaceDialog ReplaceDialog1{"ReplaceDialog1"};

    HMODULE SkinModule = nullptr;

    void FormShow() override;
    void FormDestroy() override;
    void Image2Click();  // OK
    void Image3Click();  // Standard
    void Image4Click();  // Replace
    void Image5Click();  // About
    void ReplaceDialog1Find();
    void ReplaceDialog1Replace();

private:
    // Selects the next occurrence of the find text in the terms; false when there is none.
    bool FindNext();
    // The selection of the terms box is an occurrence of the find text.
    bool SelectionIsFindText() const;
};

extern TForm2* Form2;
