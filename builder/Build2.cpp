// The legal texts editor. It lives inside the main form's client panel while it is shown;
// the build reads its two texts from here.
#include "Build2.h"

#include <fstream>
#include <sstream>

#include "Aux32.h"
#include "Skinning.h"

TForm2* Form2 = nullptr;

namespace {

bool IsWordChar(char c) { return c == '_' || IsCharAlphaNumericA(c); }

std::string Lower(std::string s) {
    if (!s.empty()) CharLowerBuffA(s.data(), (DWORD)s.size());
    return s;
}

// The lines of a text file, split at CR LF, LF or CR; false when it cannot be read.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::stringstream all;
    all << f.rdbuf();
    if (f.bad()) return false;
    std::string text = all.str(), line;
    lines.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return true;
}

}  // namespace

int FindForward(const std::string& text, const std::string& what, int from, bool matchCase, bool wholeWord) {
    if (what.empty() || from < 0 || (size_t)from >= text.size()) return -1;
    const std::string hay = matchCase ? text : Lower(text);
    const std::string needle = matchCase ? what : Lower(what);
    for (size_t pos = hay.find(needle, from); pos != std::string::npos; pos = hay.find(needle, pos + 1)) {
        size_t end = pos + needle.size();
        if (!wholeWord || ((pos == 0 || !IsWordChar(text[pos - 1])) && (end == text.size() || !IsWordChar(text[end]))))
            return (int)pos;
    }
    return -1;
}

TForm2::TForm2() : Form("Form2", 509, 377) {
    Title = "Legal texts";
    Help = {"first-package.htm", "legal"};
    Border = ui::BorderStyle::None;
    Image1.Stretch = true;
    for (ui::Label* l : {&Label4, &Label1, &Label7, &Label8}) l->Font.bold = true;
    Bevel1.Box = Bevel2.Box = true;
    Memo2.TabOrder = 0;
    Memo1.TabOrder = 1;

    Build({
        // The editor fills the main form's client panel (514 x 367), so the background
        // covers that much whatever the design size.
        {Image1, nullptr, {0, 0, 514, 377}},
        {Label4, nullptr, {16, 10, 0, 0}, "File_id.diz"},
        {Memo2, nullptr, {16, 26, 385, 89}},
        {Bevel1, nullptr, {410, 26, 90, 89}},
        {Label7, nullptr, {418, 32, 0, 0}, "Description"},
        {Label5, nullptr, {418, 50, 0, 0}, "1. FS Version\r\n2. Addon type\r\n3. Author(s)"},
        {Label1, nullptr, {16, 126, 0, 0}, "Terms of use and Copyright notice"},
        {Memo1, nullptr, {16, 142, 385, 153}},
        {Bevel2, nullptr, {410, 142, 90, 153}},
        {Label8, nullptr, {418, 148, 0, 0}, "Legal note"},
        {Label6, nullptr, {418, 166, 0, 0}, "1. File usage\r\n2. Distribution\r\n3. Freeware/\r\n    Shareware\r\n4. Copyright"},
        {Image5, nullptr, {16, 325, 65, 25}},
        {Label9, nullptr, {16, 325, 65, 25}, "About"},
        {Image4, nullptr, {296, 325, 65, 25}},
        {Label3, nullptr, {296, 325, 65, 25}, "Replace"},
        {Image3, nullptr, {368, 325, 65, 25}},
        {Label2, nullptr, {368, 325, 65, 25}, "Standard"},
        {Image2, nullptr, {440, 325, 65, 25}},
        {Label11, nullptr, {440, 325, 65, 25}, "OK"},
    });
    skin::BindButton(Image2, Label11, SkinModule, [this] { Image2Click(); });
    skin::BindButton(Image3, Label2, SkinModule, [this] { Image3Click(); });
    skin::BindButton(Image4, Label3, SkinModule, [this] { Image4Click(); });
    skin::BindButton(Image5, Label9, SkinModule, [this] { Image5Click(); });
    ReplaceDialog1.Options = FR_DOWN;
    ReplaceDialog1.OnFind = [this] { ReplaceDialog1Find(); };
    ReplaceDialog1.OnReplace = [this] { ReplaceDialog1Replace(); };

    SkinModule = skin::LoadFor(*this);
    if (SkinModule)
        skin::LoadAll(SkinModule, {{&Image1, "QForm"},
                                   {&Image2, ui::kSkinButton.rest},
                                   {&Image3, ui::kSkinButton.rest},
                                   {&Image4, ui::kSkinButton.rest},
                                   {&Image5, ui::kSkinButton.rest}});
}

void TForm2::FormShow() { Memo2.SetFocus(); }

void TForm2::Image2Click() { Close(); }

void TForm2::Image3Click() {
    // The standard terms are a starting point the author may not have: without the file the
    // terms stay as they are.
    std::vector<std::string> lines;
    if (ReadLines(ui::InstallDir() + "license.skh", lines)) Memo1.SetLines(lines);
    Memo1.SetFocus();
}

void TForm2::Image4Click() {
    Memo1.SetFocus();
    ReplaceDialog1.Execute(Handle());
}

void TForm2::Image5Click() {
    Image5.LoadSkin(SkinModule, ui::kSkinButton.rest);
    HWND owner = ui::App->MainForm ? ui::App->MainForm->Handle() : Handle();
    AuxForm* about = MakeAboutForm(owner);
    AuxShowModal(about);
    AuxFreeForm(about);
}

bool TForm2::FindNext() {
    // From one character into a selection, so that the next search finds the following
    // occurrence, overlapping ones included. The direction the dialog offers is not used:
    // the search always runs towards the end.
    int start = Memo1.SelStart();
    if (Memo1.SelLength() > 0) ++start;
    int at = FindForward(Memo1.PositionText(), ReplaceDialog1.FindText, start, ReplaceDialog1.MatchCase(),
                         ReplaceDialog1.WholeWord());
    if (at < 0) return false;
    Memo1.SetSel(at, (int)ReplaceDialog1.FindText.size());
    return true;
}

bool TForm2::SelectionIsFindText() const {
    const std::string& find = ReplaceDialog1.FindText;
    if (find.empty() || Memo1.SelLength() != (int)find.size()) return false;
    std::string sel = Memo1.SelText();
    if (ReplaceDialog1.MatchCase()) return sel == find;
    return sel.size() == find.size() && CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, sel.c_str(), (int)sel.size(),
                                                       find.c_str(), (int)find.size()) == CSTR_EQUAL;
}

void TForm2::ReplaceDialog1Find() {
    FindNext();
    Memo1.SetFocus();
}

void TForm2::ReplaceDialog1Replace() {
    // Only a selection that is the find text is replaced; any other selection is left alone
    // and the next occurrence found. The search then goes on from the end of the inserted
    // text, so Replace All ends even when the replacement holds the find text.
    if (SelectionIsFindText()) Memo1.SetSelText(ReplaceDialog1.ReplaceText);
    FindNext();
    if (ReplaceDialog1.ReplaceAll()) {
        while (SelectionIsFindText()) {
            Memo1.SetSelText(ReplaceDialog1.ReplaceText);
            FindNext();
        }
    }
    Memo1.SetFocus();
}

void TForm2::FormDestroy() {
    ReplaceDialog1.CloseDialog();
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
}
