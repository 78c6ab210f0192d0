// The authors dialog: one dialog for the three developers of a project. The main form fills
// it with a developer's name and address and puts the developer's number into the title
// strip; OK remembers the pair in the settings file and hands it back.
#include "Build5.h"

#include "Build1.h"
#include "Kitforge.h"
#include "Skinning.h"

TForm5* Form5 = nullptr;

TForm5::TForm5() : Form("Form5", 375, 130) {
    Title = "Standard user";
    Help = {"first-package.htm", "authors"};
    Image1.Stretch = true;
    Image2.Stretch = true;
    Image5.Center = true;
    for (ui::Label* l : {&Label14, &Label3}) {
        l->Font.bold = true;
        l->Font.color = RGB(255, 255, 255);
    }
    Panel1.Color = RGB(28, 60, 112);
    Edit2.TabOrder = 0;
    Edit3.TabOrder = 1;

    Build({
        {Panel1, nullptr, {0, 0, 375, 25}},
        {Image2, &Panel1, {0, 0, 375, 25}},
        {Image5, &Panel1, {6, 4, 16, 16}},
        {Label14, &Panel1, {32, 6, 0, 0}, "Standard user"},
        {Label3, &Panel1, {126, 6, 0, 0}, "0"},
        {Bevel1, nullptr, {0, 25, 375, 1}},
        {Image1, nullptr, {0, 26, 375, 104}},
        {Label1, nullptr, {16, 38, 0, 0}, "Name"},
        {Edit2, nullptr, {16, 54, 177, 21}},
        {Label2, nullptr, {200, 38, 0, 0}, "E-mail address"},
        {Edit3, nullptr, {200, 54, 161, 21}},
        {Image3, nullptr, {224, 92, 65, 25}},
        {Label19, nullptr, {224, 92, 65, 25}, "OK"},
        {Image4, nullptr, {296, 92, 65, 25}},
        {Label12, nullptr, {296, 92, 65, 25}, "Cancel"},
    });
    skin::BindButton(Image3, Label19, SkinModule, [this] { Image3Click(); });
    skin::BindButton(Image4, Label12, SkinModule, [this] { Image4Click(); });
    DragBy({&Image2, &Image5, &Label14, &Label3});

    SkinModule = skin::LoadFor(*this);
    if (SkinModule)
        skin::LoadAll(SkinModule, {{&Image1, "QForm"},
                                   {&Image2, "top"},
                                   {&Image3, ui::kSkinButton.rest},
                                   {&Image4, ui::kSkinButton.rest},
                                   {&Image5, "Aircraft"}});
}

void TForm5::FormShow() { Edit2.SetFocus(); }

void TForm5::Image3Click() {
    struct Developer {
        const char* number;
        const char* nameKey;
        const char* emailKey;
        ui::Edit* name;
        ui::Edit* email;
    };
    const Developer developers[] = {{"1", "Name1", "Email1", &Form1->Edit2, &Form1->Edit3},
                                    {"2", "Name2", "Email2", &Form1->Edit4, &Form1->Edit5},
                                    {"3", "Name3", "Email3", &Form1->Edit6, &Form1->Edit7}};
    ui::IniFile ini = kitforge::Open();
    for (const Developer& d : developers) {
        if (Label3.Caption() != d.number) continue;
        // Written as typed, empty texts included: an emptied box forgets the developer.
        bool stored = ini.WriteString("Authors", d.nameKey, Edit2.Text());
        stored = ini.WriteString("Authors", d.emailKey, Edit3.Text()) && stored;
        if (!stored) Form1->SettingsNotWritten();
        d.name->SetText(Edit2.Text());
        d.email->SetText(Edit3.Text());
    }
    Close();
}

void TForm5::Image4Click() { Close(); }

void TForm5::FormDestroy() {
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
}
