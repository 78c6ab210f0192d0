// The builder's main project form: construction, the caption-less frame and quitting.
#include "Build1.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>

#include "Build2.h"
#include "Build5.h"
#include "Build3.h"
#include "Build9.h"
#include "Done.h"
#include "PackageFiles.h"
#include "Skinning.h"

#include "Aux32.h"

TForm1* Form1 = nullptr;

namespace {

HBITMAP Glyph(const char* name) { return LoadBitmapA(ui::ModuleInstance(), name); }

const COLORREF kRadioGrey = 13619151;  // RGB(207, 207, 207)

const char* const kFs2000Key = "\\Software\\Microsoft\\Microsoft Games\\Flight Simulator\\7.0";
const char* const kFs98Key = "\\Software\\Microsoft\\Microsoft Games\\Flight Simulator\\6.1";

// A path shortened to a width in a label's font, leading folders giving way to "...".
std::string CompactPath(const std::string& path, const ui::Label& label, int width) {
    std::string buf = path;
    buf.resize(std::max<size_t>(path.size(), MAX_PATH) + 8, '\0');
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, label.Font.handle());
    BOOL ok = PathCompactPathA(dc, buf.data(), width);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (!ok) return path;
    buf.resize(strlen(buf.c_str()));
    return buf;
}

LRESULT CALLBACK DropProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    if (msg == WM_DROPFILES) {
        auto drop = reinterpret_cast<HDROP>(wp);
        std::vector<std::string> paths;
        UINT n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < n; ++i) {
            std::string path(DragQueryFileA(drop, i, nullptr, 0) + 1, '\0');
            path.resize(DragQueryFileA(drop, i, path.data(), (UINT)path.size()));
            paths.push_back(path);
        }
        DragFinish(drop);
        auto* form = reinterpret_cast<TForm1*>(data);
        ui::App->Guard([&] { form->FormDropFiles(paths); });
        return 0;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

}  // namespace

TForm1::TForm1() : Form("Form1", 514, 393) {
    Title = "Skykit Builder";
    BuildLayout();

    // The text fields start empty; the settings file fills some of them when the form shows.
    for (ui::Edit* e : {&Edit1, &Edit2, &Edit3, &Edit4, &Edit5, &Edit6, &Edit7, &Edit8, &Edit9, &Edit10})
        e->SetText("");

    SkinModule = ui::LoadSkinLibrary();
    if (SkinModule) {
        skin::LoadAll(SkinModule, {{&Image1, "QForm"},
                                   {&Image2, "top"},
                                   {&Image3, ui::kSkinButton.rest},
                                   {&Image4, ui::kSkinButton.rest},
                                   {&Image5, "Aircraft"},
                                   {&Image6, ui::kSkinButton.rest},
                                   {&Image7, ui::kSkinButton.rest}});
        for (ui::CheckBox* c : {static_cast<ui::CheckBox*>(&RadioButton1), static_cast<ui::CheckBox*>(&RadioButton2),
                                static_cast<ui::CheckBox*>(&RadioButton3), static_cast<ui::CheckBox*>(&RadioButton4),
                                static_cast<ui::CheckBox*>(&RadioButton5), &CheckBox1}) {
            c->Color = kRadioGrey;
            c->Invalidate();
        }
    } else {
        ui::desktop().MessageBox(Handle(), ui::SkinErrorText, "Skykit Builder", 0x30);
        ui::App->Terminate();
    }
}

void TForm1::BuildLayout() {
    Label14.Font.bold = true;
    Label14.Font.color = RGB(255, 255, 255);
    Image2.Stretch = true;
    Image1.Stretch = true;
    Image5.Center = true;
    Close1.SetGlyph(Glyph("G_CLOSE"));
    Close1.Hint = "Close";
    Panel1.Color = RGB(207, 209, 213);
    Panel4.Color = RGB(28, 60, 112);

    Edit1.TabOrder = 0;
    Edit10.TabOrder = 1;
    Edit10.MaxLength = 20;
    Edit10.SetHint("The add-on's version, for example 1.1 (may stay empty)");
    Edit10.SetShowHint(true);
    Edit9.TabOrder = 2;
    Edit9.Framed = false;
    Edit9.MaxLength = 7;
    Edit9a.SetEnabled(false);
    Edit9a.TabStop = false;
    int order = 3;
    for (ui::Edit* e : {&Edit2, &Edit3, &Edit4, &Edit5, &Edit6, &Edit7}) {
        e->Framed = false;
        e->TabOrder = order++;
    }
    for (ui::Edit* e : {&Edit2a, &Edit3a, &Edit4a, &Edit5a, &Edit6a, &Edit7a}) {
        e->SetEnabled(false);
        e->TabStop = false;
    }
    Edit8.TabOrder = order++;
    for (ui::RadioButton* r : {&RadioButton1, &RadioButton2, &RadioButton3, &RadioButton4, &RadioButton5})
        r->TabOrder = order++;
    CheckBox1.TabOrder = order++;

    for (ui::Label* l : {&Label16, &Label17}) l->Font.bold = true;
    Panel2.Outer = ui::Panel::Bevel::Lowered;
    Panel3.Outer = ui::Panel::Bevel::Lowered;
    Panel2.Color = RGB(214, 216, 220);
    Panel3.Color = RGB(214, 216, 220);
    ZipFName.Font.name = "Arial";
    ZipFName.Font.bold = true;
    ZipFName.AutoSize = false;
    ZipFName.WordWrap = true;
    for (ui::SpeedButton* b : {&SpeedButton1, &SpeedButton2, &SpeedButton3, &SpeedButton4}) b->Flat = false;
    for (ui::Image* i : {&Image6, &Image3, &Image7, &Image4}) i->Stretch = true;
    Bevel3.Vertical = Bevel5.Vertical = Bevel6.Vertical = true;

    SpeedButton7.SetGlyph(Glyph("G_INFO"));
    SpeedButton6.SetGlyph(Glyph("G_MAIL"));
    SpeedButton9.SetGlyph(Glyph("G_SITES"));
    SpeedButton10.SetGlyph(Glyph("G_EXPLORER"));
    SpeedButton8.SetGlyph(Glyph("G_HELP"));
    SpeedButton11.SetGlyph(Glyph("G_OPEN"));
    SpeedButton7.Hint = "SKKT Project info";
    SpeedButton6.Hint = "Compose a new e-mail";
    SpeedButton9.Hint = "My favourite fs sites";
    SpeedButton10.Hint = "Skykit Explorer";
    SpeedButton8.Hint = "Help";
    SpeedButton11.Hint = "Open an earlier package";

    Build({
        {Panel4, nullptr, {0, 0, 514, 25}},
        {Image2, &Panel4, {0, 0, 513, 25}},
        {Image5, &Panel4, {6, 4, 16, 16}},
        {Label14, &Panel4, {32, 6, 0, 0}, "Skykit Builder"},
        {Close1, &Panel4, {490, 2, 23, 22}},
        {Bevel4, nullptr, {0, 25, 514, 1}},
        {Panel1, nullptr, {0, 26, 514, 367}},
        {Image1, &Panel1, {0, 0, 514, 367}},

        {Label13, &Panel1, {16, 16, 0, 0}, "Title"},
        {Edit1, &Panel1, {16, 32, 121, 21}},
        {Label28, &Panel1, {145, 16, 0, 0}, "Version"},
        {Edit10, &Panel1, {145, 32, 48, 21}},
        {Label22, &Panel1, {208, 16, 0, 0}, "Master subdirectory"},
        {Edit9a, &Panel1, {208, 32, 155, 21}},
        {Edit9, &Panel1, {210, 36, 151, 15}},
        {CheckBox1, &Panel1, {416, 32, 16, 17}},
        {Label21, &Panel1, {434, 34, 0, 0}, "Freeware"},

        {Label16, &Panel1, {16, 80, 0, 0}, "Developer(s)"},
        {Label1, &Panel1, {16, 104, 0, 0}, "Name"},
        {Label2, &Panel1, {208, 104, 0, 0}, "E-mail address"},
        {Edit2a, &Panel1, {16, 120, 177, 21}},
        {Edit2, &Panel1, {18, 124, 173, 15}},
        {Edit3a, &Panel1, {208, 120, 160, 21}},
        {Edit3, &Panel1, {210, 124, 156, 15}},
        {SpeedButton2, &Panel1, {368, 120, 21, 21}, "..."},
        {Label3, &Panel1, {16, 152, 0, 0}, "Name"},
        {Label4, &Panel1, {208, 152, 0, 0}, "E-mail address"},
        {Edit4a, &Panel1, {16, 168, 177, 21}},
        {Edit4, &Panel1, {18, 172, 173, 15}},
        {Edit5a, &Panel1, {208, 168, 160, 21}},
        {Edit5, &Panel1, {210, 172, 156, 15}},
        {SpeedButton3, &Panel1, {368, 168, 21, 21}, "..."},
        {Label5, &Panel1, {16, 200, 0, 0}, "Name"},
        {Label6, &Panel1, {208, 200, 0, 0}, "E-mail address"},
        {Edit6a, &Panel1, {16, 216, 177, 21}},
        {Edit6, &Panel1, {18, 220, 173, 15}},
        {Edit7a, &Panel1, {208, 216, 160, 21}},
        {Edit7, &Panel1, {210, 220, 156, 15}},
        {SpeedButton4, &Panel1, {368, 216, 21, 21}, "..."},

        {Label17, &Panel1, {416, 80, 0, 0}, "Addon Type"},
        {RadioButton1, &Panel1, {416, 120, 16, 17}},
        {Label7, &Panel1, {434, 122, 0, 0}, "Scenery"},
        {RadioButton2, &Panel1, {416, 144, 16, 17}},
        {Label8, &Panel1, {434, 146, 0, 0}, "Aircraft"},
        {RadioButton3, &Panel1, {416, 168, 16, 17}},
        {Label9, &Panel1, {434, 170, 0, 0}, "Sound"},
        {RadioButton4, &Panel1, {416, 192, 16, 17}, "Misc."},
        {Label10, &Panel1, {434, 194, 0, 0}, "Panel"},
        {RadioButton5, &Panel1, {416, 216, 16, 17}, "Misc."},
        {Label18, &Panel1, {434, 218, 0, 0}, "Adventure"},

        {Label26, &Panel1, {16, 264, 0, 0}, "Setup output"},
        {Panel2, &Panel1, {16, 280, 177, 21}},
        {Label23, &Panel2, {6, 4, 0, 0}, "Files:"},
        {Label24, &Panel2, {40, 4, 0, 0}, "0"},
        {Label25, &Panel2, {96, 4, 0, 0}, "Time:"},
        {TimeLabel, &Panel2, {128, 4, 0, 0}, "00:00"},
        {Label20, &Panel1, {208, 264, 0, 0}, "Skykit files (location)"},
        {Edit8, &Panel1, {208, 280, 161, 21}},
        {SpeedButton1, &Panel1, {368, 280, 21, 21}, "..."},
        {ZipFName, &Panel1, {19, 350, 334, 17}, "<none>"},
        {Label27, &Panel1, {511, 352, 0, 0}},

        {Image6, &Panel1, {16, 325, 65, 25}},
        {Label15, &Panel1, {16, 325, 65, 25}, "About"},
        {Panel3, &Panel1, {88, 325, 201, 25}},
        {SpeedButton7, &Panel3, {5, 2, 20, 21}},
        {Bevel3, &Panel3, {30, 2, 4, 21}},
        {SpeedButton6, &Panel3, {37, 2, 20, 21}},
        {SpeedButton9, &Panel3, {61, 2, 20, 21}},
        {Bevel5, &Panel3, {86, 2, 4, 21}},
        {SpeedButton10, &Panel3, {93, 2, 20, 21}},
        {SpeedButton8, &Panel3, {117, 2, 20, 21}},
        {Bevel6, &Panel3, {142, 2, 4, 21}},
        {SpeedButton11, &Panel3, {149, 2, 20, 21}},
        {Image3, &Panel1, {296, 325, 65, 25}},
        {Label11, &Panel1, {296, 325, 65, 25}, "Note"},
        {Image7, &Panel1, {368, 325, 65, 25}},
        {Label19, &Panel1, {368, 325, 65, 25}, "Build"},
        {Image4, &Panel1, {440, 325, 65, 25}},
        {Label12, &Panel1, {440, 325, 65, 25}, "Quit"},
    });

    ZipFName.SetVisible(false);
    Label27.SetVisible(false);
    CheckBox1.SetChecked(true);
    RadioButton1.SetChecked(true);
    for (ui::SpeedButton* b : {&Close1, &SpeedButton7, &SpeedButton6, &SpeedButton9, &SpeedButton10, &SpeedButton8,
                             &SpeedButton11})
        b->SetShowHint(true);

    // The title strip moves the window; it and the client panel carry the right-button menu.
    RefreshPackageMenu();
    for (ui::Control* c : {static_cast<ui::Control*>(&Image2), static_cast<ui::Control*>(&Image5),
                           static_cast<ui::Control*>(&Label14)}) {
        c->OnMouseDown = [this](ui::MouseButton b, int, int) { Image2MouseDown(b); };
        c->Popup = &PopupMenu1;
    }
    Panel1.Popup = &PopupMenu1;
    for (ui::Control* c : AllControls())
        if (c->Parent() == &Panel1 && !c->Windowed() && !c->Popup) c->Popup = &PopupMenu1;
    // The background picture covers the panel from its corner, so it receives the presses.
    Panel1.OnMouseDown = Image1.OnMouseDown = [this](ui::MouseButton b, int x, int y) { Panel1MouseDown(b, x, y); };
    Close1.OnClick = [this] { Image4Click(); };
    skin::BindButton(Image4, Label12, SkinModule, [this] { Image4Click(); });
    skin::BindButton(Image6, Label15, SkinModule, [this] { Image6Click(); });
    skin::BindButton(Image3, Label11, SkinModule, [this] { Image3Click(); });
    skin::BindButton(Image7, Label19, SkinModule, [this] { Image7Click(); });

    // The type labels carry the type names; each label and its radio button select the type.
    Label7.OnClick = RadioButton1.OnClick = [this] { Label7Click(); };
    Label8.OnClick = RadioButton2.OnClick = [this] { Label8Click(); };
    Label9.OnClick = RadioButton3.OnClick = [this] { Label9Click(); };
    Label10.OnClick = RadioButton4.OnClick = [this] { Label10Click(); };
    Label18.OnClick = RadioButton5.OnClick = [this] { Label18Click(); };
    Label7.OnDblClick = [this] { Label7DblClick(); };

    SpeedButton1.OnClick = [this] { SpeedButton1Click(); };
    SpeedButton2.OnClick = [this] { SpeedButton2Click(); };
    SpeedButton3.OnClick = [this] { SpeedButton3Click(); };
    SpeedButton4.OnClick = [this] { SpeedButton4Click(); };

    Timer1.SetInterval(10);
    Timer1.OnTimer = [this] { Timer1Timer(); };

    SpeedButton6.OnClick = [this] { SpeedButton6Click(); };
    SpeedButton7.OnClick = [this] { SpeedButton7Click(); };
    SpeedButton8.OnClick = [this] { SpeedButton8Click(); };
    SpeedButton9.OnClick = [this] { SpeedButton9Click(); };
    SpeedButton10.OnClick = [this] { SpeedButton10Click(); };
    SpeedButton11.OnClick = [this] { OpenPackage1Click(); };

    // Packs the add-on folder: folder names kept, folders recursed, hidden files included,
    // folder entries of their own.
    ZipPacker1.Name = "ZipPacker1";
    ZipPacker1.Verbose = true;
    ZipPacker1.AddOptions = {AddDirNames, AddRecurseDirs, AddHiddenFiles, AddSeparateDirs};
    ZipPacker1.ExtrOptions = {ExtrDirNames};
    ZipPacker1.SFXOptions = {SFXCheckSize};
    ZipPacker1.SFXCaption = "Self-extracting Archive";
    ZipPacker1.OnProgress = [this](TObject* s, ProgressType t, const std::string& f, long size) {
        ZipPacker1Progress(s, t, f, size);
    };

    // A package folder or its "Kitsetup.ini" dropped on the window reopens that package.
    DragAcceptFiles(Handle(), TRUE);
    SetWindowSubclass(Handle(), DropProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

void TForm1::AdjustCreateParams(ui::CreateParams& p) { SkinnedFrame(p); }

void TForm1::FormShow() {
    std::string type;
    {
        ui::IniFile ini(ui::InstallDir() + "Kitforge.ini");
        Edit2.SetText(ini.ReadString("Authors", "Name1", Edit2.Text()));
        Edit3.SetText(ini.ReadString("Authors", "Email1", Edit3.Text()));
        Edit4.SetText(ini.ReadString("Authors", "Name2", Edit4.Text()));
        Edit5.SetText(ini.ReadString("Authors", "Email2", Edit5.Text()));
        Edit6.SetText(ini.ReadString("Authors", "Name3", Edit6.Text()));
        Edit7.SetText(ini.ReadString("Authors", "Email3", Edit7.Text()));
        type = ini.ReadString("Addon", "Type", "");
        HeldVersion = ini.ReadString("Flightsim", "Version", HeldVersion);
    }

    // Where the target simulator lives, from the registry (read only, keys never created).
    auto readFolder = [this](const char* key) {
        std::string folder;
        if (!ui::ReadRegistryString(HKEY_LOCAL_MACHINE, key, "path", folder)) return false;
        SimFolder = folder;
        Label27.SetCaption(folder);
        return true;
    };
    if (HeldVersion.empty()) readFolder(kFs2000Key);
    // With no version chosen yet and Flight Simulator 98 installed, 98 becomes the target:
    // the version always names a simulator, never a folder.
    if (HeldVersion.empty() && readFolder(kFs98Key)) HeldVersion = "Flightsimulator 98";
    if (HeldVersion == "Flightsimulator 2000") readFolder(kFs2000Key);
    if (HeldVersion == "Flightsimulator 98") readFolder(kFs98Key);

    // "Scenery MD" is a Scenery variant; the label still starts as "Scenery".
    if (type == "Scenery" || type == "Scenery MD") RadioButton1.SetChecked(true);
    if (type == "Aircraft") RadioButton2.SetChecked(true);
    if (type == "Sound") RadioButton3.SetChecked(true);
    if (type == "Panel") RadioButton4.SetChecked(true);
    if (type == "Adventure") RadioButton5.SetChecked(true);

    Edit1.SetFocus();
}

void TForm1::SelectType(ui::RadioButton& button) {
    button.SetChecked(true);
    button.SetFocus();
}

void TForm1::Label7Click() { SelectType(RadioButton1); }
void TForm1::Label8Click() { SelectType(RadioButton2); }
void TForm1::Label9Click() { SelectType(RadioButton3); }
void TForm1::Label10Click() { SelectType(RadioButton4); }
void TForm1::Label18Click() { SelectType(RadioButton5); }

void TForm1::Label7DblClick() { Label7.SetCaption(Label7.Caption() == "Scenery" ? "Scenery MD" : "Scenery"); }

void TForm1::SpeedButton1Click() {
    if (Edit1.Text().empty()) Edit1.SetText("Skykit Project 1.0");
    if (Edit9.Text().empty()) {
        ui::desktop().MessageBox(Handle(),
                                 "Please type the name of the Kitforge subdirectory,\n"
                                 "where your Skykit project will be build.",
                                 "Skykit Builder", 0x30);
        Edit9.SetFocus();
        return;
    }
    // "Next >>" of the settings dialog starts Timer1, which then asks for the add-on folder.
    Option1->ShowModal();
}

void TForm1::Timer1Timer() {
    // One shot: the settings dialog has closed by now, so the file dialog opens on its own.
    Timer1.SetEnabled(false);
    AddonLocationDialog();
}

void TForm1::AddonLocationDialog() {
    try {
        ui::IniFile ini(ui::InstallDir() + "Kitforge.ini");
        HeldVersion = ini.ReadString("Flightsim", "Version", HeldVersion);
    } catch (...) {
    }
    SimFolder = Label27.Caption();
    Open1.owner = Handle();
    Open1.initialDir = SimFolder;
    Open1.fileName = "Setup.skb";
    Open1.filter = "Skykit Files (*.skb)|*.skb";
    Open1.defaultExt = "Skb";
    Open1.title = "Location of Addon files";
    // The author opens the add-on folder and accepts the proposed name; the file need not
    // exist. The platform's dialog makes that folder the current directory, which the build packs.
    if (!ui::desktop().OpenFile(Open1)) return;
    SetArchiveName(Open1.fileName, true);
    Edit8.SetText(ui::ExtractFilePath(Open1.fileName));
}

// ---------------------------------------------------------------------------------------
// Reopening a package

void TForm1::RefreshPackageMenu() {
    PopupMenu1.Items = {{"Minimize1", "Minimize", [this] { Minimize1Click(); }},
                        {"N1", "-", nullptr},
                        {"OpenPackage1", "Open package...", [this] { OpenPackage1Click(); }}};
    int n = 0;
    for (const std::string& subdir : RecentPackages()) {
        ++n;
        std::string name = "Recent" + std::to_string(n);
        PopupMenu1.Items.push_back({name, "&" + std::to_string(n) + " " + subdir, [this, subdir] {
                                        OpenPackage(ui::InstallDir() + subdir);
                                    }});
    }
    PopupMenu1.Items.push_back({"N2", "-", nullptr});
    PopupMenu1.Items.push_back({"Quit1", "Quit", [this] { Image4Click(); }});
}

void TForm1::OpenPackage1Click() {
    ui::FileDialog d;
    d.owner = Handle();
    d.title = "Open package";
    d.filter = "Skykit package (Kitsetup.ini)|Kitsetup.ini";
    d.initialDir = ui::InstallDir();
    d.fileName = "Kitsetup.ini";
    d.mustExist = true;
    if (ui::desktop().OpenFile(d)) OpenPackage(d.fileName);
}

void TForm1::FormDropFiles(const std::vector<std::string>& paths) {
    if (!paths.empty()) OpenPackage(paths.front());
}

void TForm1::OpenPackage(const std::string& path) {
    if (Building) {
        ui::desktop().MessageBox(Handle(), "A build is running. Please wait until it is complete.", "Skykit Builder",
                                 MB_OK | MB_ICONINFORMATION);
        return;
    }
    std::string subdir = PackageSubdirOf(path);
    if (subdir.empty() || !LoadPackage(subdir)) {
        ui::desktop().MessageBox(Handle(),
                                 "This is no Skykit package:\n" + path +
                                     "\nPlease choose a package folder of the builder's directory, or its "
                                     "\"Kitsetup.ini\".",
                                 "Skykit Builder", 0x30);
        return;
    }
    RememberRecentPackage(subdir);
    RefreshPackageMenu();
    // Without the add-on folder there is nothing to build yet: the author is asked for it.
    if (Edit8.Text().empty()) Edit8.SetFocus();
    else Edit1.SetFocus();
}

bool TForm1::LoadPackage(const std::string& subdir) {
    PackageProject p;
    if (!ReadPackageProject(subdir, p)) return false;
    const kit::KitsetupIni& setup = p.setup;
    Edit1.SetText(setup.title);
    Edit10.SetText(setup.addonVersion);
    Edit9.SetText(p.subdir);
    ui::Edit* names[3] = {&Edit2, &Edit4, &Edit6};
    ui::Edit* emails[3] = {&Edit3, &Edit5, &Edit7};
    for (int n = 0; n < 3; ++n) names[n]->SetText(setup.authorName[n]), emails[n]->SetText(setup.authorEmail[n]);
    CheckBox1.SetChecked(setup.condition != "Shareware");
    if (setup.type == "Scenery" || setup.type == "Scenery MD") {
        RadioButton1.SetChecked(true);
        Label7.SetCaption(setup.type);
    }
    if (setup.type == "Aircraft") RadioButton2.SetChecked(true);
    if (setup.type == "Sound") RadioButton3.SetChecked(true);
    if (setup.type == "Panel") RadioButton4.SetChecked(true);
    if (setup.type == "Adv" || setup.type == "Adventure") RadioButton5.SetChecked(true);
    Form2->Memo1.SetText(p.terms);
    Form2->Memo2.SetText(p.description);

    // The settings dialog and the build take the version and pictures from the settings file.
    ui::IniFile ini(ui::InstallDir() + "Kitforge.ini");
    if (setup.version == "Flightsimulator 2000" || setup.version == "Flightsimulator 98") {
        HeldVersion = setup.version;
        ini.WriteString("Flightsim", "Version", setup.version);
        std::string folder;
        if (ui::ReadRegistryString(HKEY_LOCAL_MACHINE, setup.version == "Flightsimulator 98" ? kFs98Key : kFs2000Key,
                                   "path", folder)) {
            SimFolder = folder;
            Label27.SetCaption(folder);
        }
    }
    if (Option1) Option1->ForgetPictures();
    const char* keys[5] = {"One", "Two", "Three", "Four", "Splash"};
    for (int i = 0; i < 5; ++i) {
        if (p.pictures[i].empty())
            ini.DeleteKey("Temp", keys[i]);
        else
            ini.WriteString("Temp", keys[i], p.pictures[i]);
    }
    if (p.pictures[4].empty()) {
        ini.DeleteKey("Temp", "Splash_Width");
        ini.DeleteKey("Temp", "Splash_Height");
    } else {
        ini.WriteString("Temp", "Splash_Width", setup.splashWidth);
        ini.WriteString("Temp", "Splash_Height", setup.splashHeight);
    }

    if (p.location.empty()) {
        Edit8.SetText("");
    } else {
        std::string folder = p.location;
        if (folder.back() != '\\') folder += '\\';
        Edit8.SetText(folder);
        SetArchiveName(folder + "Setup.skb", true);
    }
    return true;
}

void TForm1::RememberPackage(const std::string (&pictures)[5]) {
    ui::IniFile ini(ui::InstallDir() + "Kitforge.ini");
    std::string section = PackageSection(Edit9.Text());
    ini.WriteString(section, "Location", Edit8.Text());
    const char* keys[5] = {"One", "Two", "Three", "Four", "Splash"};
    for (int i = 0; i < 5; ++i) {
        if (pictures[i].empty())
            ini.DeleteKey(section, keys[i]);
        else
            ini.WriteString(section, keys[i], pictures[i]);
    }
    RememberRecentPackage(Edit9.Text());
    RefreshPackageMenu();
}

void TForm1::Panel1MouseDown(ui::MouseButton button, int x, int y) {
    if (button != ui::MouseButton::Left) return;
    // The frames are disabled editors drawn around the borderless boxes: a press on a frame's
    // edge is meant for the box inside it.
    struct Frame {
        ui::Edit& frame;
        ui::Edit& box;
    } const frames[] = {{Edit2a, Edit2}, {Edit3a, Edit3}, {Edit4a, Edit4}, {Edit5a, Edit5},
                        {Edit6a, Edit6}, {Edit7a, Edit7}, {Edit9a, Edit9}};
    for (const Frame& f : frames) {
        const ui::Rect& r = f.frame.Bounds();
        if (x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h) {
            f.box.SetFocus();
            return;
        }
    }
}

void TForm1::SetArchiveName(const std::string& name, bool setComponent) {
    if (setComponent) {
        ArchiveFileName = name;
        ZipPacker1.SetZipFileName(name);
    }
    int width = ZipFName.Bounds().w;
    ZipFName.SetCaption(ArchiveFileName.empty() ? "<none>" : CompactPath(ArchiveFileName, ZipFName, width));
    // The whole name is offered as a hint when the label cannot show it.
    bool tooWide = ZipFName.TextWidth(ArchiveFileName) > width;
    if (tooWide) ZipFName.SetHint(ArchiveFileName);
    ZipFName.SetShowHint(tooWide);
}

void TForm1::EditDeveloper(const char* number, ui::Edit& name, ui::Edit& email) {
    Form5->Edit2.SetText(name.Text());
    Form5->Edit3.SetText(email.Text());
    Form5->Label3.SetCaption(number);
    Form5->ShowModal();
}

void TForm1::SpeedButton2Click() { EditDeveloper("1", Edit2, Edit3); }
void TForm1::SpeedButton3Click() { EditDeveloper("2", Edit4, Edit5); }
void TForm1::SpeedButton4Click() { EditDeveloper("3", Edit6, Edit7); }

void TForm1::Image3Click() {
    // The legal texts editor covers the whole client panel until its OK hides it.
    Form2->Embed(&Panel1);
    Form2->Show();
}

void TForm1::Image2MouseDown(ui::MouseButton button) {
    if (button != ui::MouseButton::Left) return;
    ReleaseCapture();
    // Move by the caption area: the title strip drags the window like a caption bar.
    SendMessageA(Handle(), WM_SYSCOMMAND, 0xF012, 0);
}

void TForm1::Minimize1Click() { ShowWindow(Handle(), SW_MINIMIZE); }

void TForm1::Image4Click() {
    if (Building && !Completed) {
        // The build must stop first: the package it replaces stays as it was.
        if (QuitAfterBuild) return;
        int answer = ui::desktop().MessageBox(Handle(), "A build is running. Stop the build and quit?", "Skykit Builder",
                                              MB_YESNO | MB_ICONQUESTION);
        if (answer != IDYES) return;
        QuitAfterBuild = true;
        if (Form3) Form3->Button1Click();
        CancelBuild();
        return;
    }
    ui::IniFile ini(ui::InstallDir() + "Kitforge.ini");
    // The caption of the label beside the selected type is the type that is remembered.
    bool stored = true;
    if (RadioButton1.Checked()) stored = ini.WriteString("Addon", "Type", Label7.Caption());
    if (RadioButton2.Checked()) stored = ini.WriteString("Addon", "Type", Label8.Caption());
    if (RadioButton3.Checked()) stored = ini.WriteString("Addon", "Type", Label9.Caption());
    if (RadioButton4.Checked()) stored = ini.WriteString("Addon", "Type", Label10.Caption());
    if (RadioButton5.Checked()) stored = ini.WriteString("Addon", "Type", Label18.Caption());
    stored = ini.WriteString("SKKT", "Path", ui::InstallDir()) && stored;
    if (!stored) SettingsNotWritten();
    Close();
}

void TForm1::SettingsNotWritten() {
    // Said once a run: every later write fails the same way and for the same reason.
    if (settingsFailureSaid_) return;
    settingsFailureSaid_ = true;
    ui::desktop().MessageBox(Handle(),
                             "The settings file can not be written:\n" + ui::InstallDir() +
                                 "Kitforge.ini\nThe developers and the add-on type will not be remembered.",
                             "Skykit Builder", 0x30);
}

void TForm1::FormDestroy() {
    // The screenshot, splash and subdirectory choices hold for one run only.
    try {
        ui::IniFile ini(ui::InstallDir() + "Kitforge.ini");
        for (const char* key : {"One", "Two", "Three", "Four", "Splash", "Splash_Width", "Splash_Height", "Project"})
            ini.DeleteKey("Temp", key);
    } catch (...) {
    }
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
    ZipPacker1.Unload_Zip_Eng();
}

// ---------------------------------------------------------------------------------------
// Build

std::string FormatElapsed(DWORD milliseconds) {
    DWORD seconds = milliseconds / 1000;
    auto two = [](DWORD v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    return two(seconds / 60) + ":" + two(seconds % 60);
}

namespace {

// Progress of the build's archive (program-wide, as the bars' owner keeps them).
int32_t fileSize = 0, fileDone = 0, batchTotal = 0, batchDone = 0;

int BarPosition(int32_t done, int32_t total) { return (int)((int64_t)done * 10000 / total + 1); }

void SaveLines(const std::string& path, const std::vector<std::string>& lines) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw ui::EFCreateError("Cannot create file \"" + path + "\"");
    std::string text;
    for (const std::string& l : lines) text += l + "\r\n";
    DWORD written = 0;
    bool ok = WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr) && written == text.size();
    CloseHandle(h);
    if (!ok) {
        DeleteFileA(path.c_str());
        throw ui::EFCreateError("Cannot write file \"" + path + "\"");
    }
}

}  // namespace

void TForm1::Image7Click() {
    Image7.LoadSkin(SkinModule, ui::kSkinButton.rest);
    if (Building) {
        // The running build still writes the archive; a second one would write into it too.
        ui::desktop().MessageBox(Handle(), "A build is running. Please wait until it is complete.", "Skykit Builder",
                                 MB_OK | MB_ICONINFORMATION);
        return;
    }
    ui::IniFile ini(ui::InstallDir() + "Kitforge.ini");
    try {
        HeldVersion = ini.ReadString("Flightsim", "Version", HeldVersion);
        // What the settings dialog left is the whole choice: a cleared splash reads empty.
        SplashWidth = ini.ReadString("Temp", "Splash_Width", "");
        SplashHeight = ini.ReadString("Temp", "Splash_Height", "");
        SplashFile = ini.ReadString("Temp", "Splash", "");
    } catch (...) {
    }
    if (HeldVersion.empty()) HeldVersion = "Flightsimulator 2000";
    if (Edit1.Text().empty()) Edit1.SetText("Skykit Project 1.0");

    auto refuse = [this](const char* text, ui::Edit& focus) {
        ui::desktop().MessageBox(Handle(), text, "Skykit Builder", 0x30);
        focus.SetFocus();
    };
    // What is packed is the folder the location box names, so it must be there.
    std::string location = Edit8.Text();
    if (location.empty() || !ui::DirectoryExists(location))
        return refuse("Please choose the path where your project files are stored.", Edit8);
    // Compared as paths: "C:\FS2000", "c:\fs2000\" and "C:\FLIGHT~1\." are one folder. A
    // folder that holds the simulator, or the builder's own folder, would be packed whole.
    if (PathWithin(SimFolder, location) || PathWithin(Label27.Caption(), location) ||
        PathWithin(ui::InstallDir(), location))
        return refuse("Can not build FS2000. Please choose a subdirectory,\nor choose another directory on your harddrive.",
                      Edit8);
    if (Edit9.Text().empty())
        return refuse("Please type the name of the Kitforge subdirectory,\nwhere your Skykit project will be build.",
                      Edit9);
    // The package directory is one folder of the install directory, never a path out of it.
    if (!PlainFolderName(Edit9.Text()))
        return refuse("The master subdirectory must be a plain folder name:\n"
                      "not \".\" or \"..\", and none of \\ / : * ? \" < > |",
                      Edit9);
    // The package directory itself would be packed into its own archive, and cleared of the
    // files the build writes.
    if (PathWithin(location, ui::InstallDir() + Edit9.Text()))
        return refuse("Can not build FS2000. Please choose a subdirectory,\nor choose another directory on your harddrive.",
                      Edit8);

    PackageDir = ui::InstallDir() + Edit9.Text();
    const bool newPackage = !ui::DirectoryExists(PackageDir);
    ui::ForceDirectories(PackageDir);
    Written.clear();
    // The legal texts are written now, so that a text that cannot be saved stops the build
    // before anything is packed, but under temporary names: the package's own texts are
    // replaced only when the build completes.
    auto discardTexts = [this] {
        for (const auto& t : PendingTexts) DeleteFileA(t.first.c_str());
        PendingTexts.clear();
    };
    discardTexts();
    struct Text {
        const ui::RichEdit& memo;
        const char* name;
    } const texts[] = {{Form2->Memo1, "licens.skh"}, {Form2->Memo2, "File_id.diz"}};
    for (const Text& t : texts) {
        if (t.memo.Text().empty()) continue;
        char temp[MAX_PATH + 1];
        if (!GetTempFileNameA(PackageDir.c_str(), "txt", 0, temp)) {
            discardTexts();
            throw ui::EFCreateError("Cannot create file \"" + PackageDir + "\\" + t.name + "\"");
        }
        PendingTexts.push_back({temp, PackageDir + "\\" + t.name});
        try {
            SaveLines(temp, t.memo.Lines());
        } catch (...) {
            discardTexts();
            throw;
        }
    }

    Open1.initialDir = PackageDir;
    Open1.fileName = PackageDir + "\\Setup.skb";
    PackageDir = ui::ExtractFilePath(Open1.fileName);
    SetArchiveName(Open1.fileName, true);
    // The archive is made anew under a temporary name and takes the place of the old one
    // only once it is complete: the package holds what the add-on folder holds now, and a
    // failed or cancelled build leaves the earlier package as it was.
    char temp[MAX_PATH + 1];
    if (!GetTempFileNameA(PackageDir.c_str(), "skb", 0, temp)) {
        discardTexts();
        ui::desktop().MessageBox(Handle(), "The package directory can not be written:\n" + PackageDir, "Skykit Builder",
                                 0x30);
        return;
    }
    DeleteFileA(temp);
    PendingArchive = temp;
    ZipPacker1.SetZipFileName(PendingArchive);

    Form3->OnCancel = [this] { CancelBuild(); };
    Form3->Show();
    ZipPacker1.FSpecArgs.push_back("*.*");
    SetCurrentDirectoryA(location.c_str());
    Building = true;
    Completed = Cancelled = QuitAfterBuild = false;
    // From here on the project information is that of this build, once it completes.
    CompletedPackage.clear();
    BuildStart = GetTickCount();
    ZipPacker1.Add();
    Building = false;
    if (!PendingArchive.empty()) DeleteFileA(PendingArchive.c_str());  // the add did not complete
    PendingArchive.clear();
    discardTexts();
    ZipPacker1.SetZipFileName(ArchiveFileName);
    Form3->Finish();  // an archive that failed or stopped never reaches its completion
    if (!Completed) {
        BuildEnd = GetTickCount();
        // A package directory this build made and left empty is no package.
        if (newPackage) RemoveDirectoryA(PackageDir.c_str());
        TimeLabel.SetCaption(FormatElapsed(BuildEnd - BuildStart));
        Label24.SetCaption("0");
        Label26.SetCaption(Cancelled ? "Build cancelled" : "Build failed");
        if (!Cancelled && !QuitAfterBuild) {
            std::string why = ZipPacker1.ErrorText.empty() ? "" : "\n" + ZipPacker1.ErrorText;
            ui::desktop().MessageBox(Handle(),
                                     "The build failed; the package was not changed." + why, "Skykit Builder", 0x30);
        }
    }
    if (QuitAfterBuild) {
        QuitAfterBuild = false;
        Image4Click();
    }
}

void TForm1::CancelBuild() {
    if (!Building || Completed) return;
    Cancelled = true;
    ZipPacker1.CancelRequested = true;
}

void TForm1::FormClose(bool& allowHide) {
    // Closing the window while a build runs is the same question as Quit.
    if (!Building || Completed) return;
    allowHide = false;
    Image4Click();
}

void TForm1::ZipPacker1Progress(TObject*, ProgressType ProgrType, const std::string&, long FileSize) {
    switch (ProgrType) {
        case ptFileStart:
            Form3->ProgressBar1.SetPosition(1);
            fileSize = (int32_t)FileSize;
            fileDone = 0;
            break;
        case ptBytesDone:
            fileDone += (int32_t)FileSize;
            batchDone += (int32_t)FileSize;
            Form3->ProgressBar1.SetPosition(fileSize != 0 ? BarPosition(fileDone, fileSize) : 10001);
            if (batchTotal != 0) Form3->ProgressBar2.SetPosition(BarPosition(batchDone, batchTotal));
            break;
        case ptFileCount:
            break;
        case ptByteCount:
            Form3->ProgressBar2.SetPosition(1);
            batchTotal = (int32_t)FileSize;
            batchDone = 0;
            break;
        case ptBatchDone:
            CompletePackage();
            break;
    }
}

void TForm1::CompletePackage() {
    Form3->ProgressBar1.SetPosition(1);
    Form3->ProgressBar2.SetPosition(1);
    std::vector<std::string> missing;

    // The new archive is complete: now it and the legal texts replace the earlier ones.
    for (const auto& t : PendingTexts) {
        if (MoveFileExA(t.first.c_str(), t.second.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            Written.push_back(ui::ExtractFileName(t.second));
        else
            missing.push_back(ui::ExtractFileName(t.second));
    }
    PendingTexts.clear();
    if (!PendingArchive.empty()) {
        if (MoveFileExA(PendingArchive.c_str(), (PackageDir + "Setup.skb").c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            PendingArchive.clear();
        } else {
            missing.push_back("Setup.skb");
        }
    }
    // The installer reads what the main form calls files: the archive's files, not its folders.
    ArchivedFiles = 0;
    {
        TZipPacker reader;
        reader.Unattended = true;
        reader.SetZipFileName(PackageDir + "Setup.skb");
        for (int i = 0; i < reader.GetCount(); ++i) {
            const std::string& name = reader.DirEntry(i).FileName;
            if (!name.empty() && name.back() != '\\' && name.back() != '/') ++ArchivedFiles;
        }
    }
    // Files of the add-on folder that the engine could not read are not in the package.
    if (ZipPacker1.ErrorCode != 0 && !ZipPacker1.ErrorText.empty()) missing.push_back(ZipPacker1.ErrorText);

    ui::IniFile settings(ui::InstallDir() + "Kitforge.ini");
    std::string sources[5] = {settings.ReadString("Temp", "One", ""), settings.ReadString("Temp", "Two", ""),
                              settings.ReadString("Temp", "Three", ""), settings.ReadString("Temp", "Four", ""),
                              settings.ReadString("Temp", "Splash", "")};
    bool splash = !SplashFile.empty() && !sources[4].empty();

    // "Kitsetup.ini" is written whole under another name and then takes the old one's place:
    // no key of an earlier build survives.
    std::string setupName = PackageDir + "Kitsetup.ini";
    std::string setupNew = PackageDir + "Kitsetup.new";
    DeleteFileA(setupNew.c_str());
    {
        kit::KitsetupIni ini;
        if (splash) ini.splashWidth = SplashWidth, ini.splashHeight = SplashHeight, ini.splashFile = "Splash.bmp";
        ui::Edit* const names[3] = {&Edit2, &Edit4, &Edit6};
        ui::Edit* const emails[3] = {&Edit3, &Edit5, &Edit7};
        for (int n = 0; n < 3; ++n) ini.authorName[n] = names[n]->Text(), ini.authorEmail[n] = emails[n]->Text();
        ini.version = HeldVersion;
        if (RadioButton1.Checked()) ini.type = Label7.Caption();
        if (RadioButton2.Checked()) ini.type = Label8.Caption();
        if (RadioButton3.Checked()) ini.type = Label9.Caption();
        if (RadioButton4.Checked()) ini.type = Label10.Caption();
        if (RadioButton5.Checked() && (HeldVersion == "Flightsimulator 2000" || HeldVersion == "Flightsimulator 98"))
            ini.type = "Adv";
        ini.condition = CheckBox1.Checked() ? "Freeware" : "Shareware";
        // Written whole each time: without a version given the package has none.
        ini.addonVersion = Edit10.Text();
        ini.title = Edit1.Text();
        WriteKitsetupFile(setupNew, ini);
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, setupNew.c_str());  // flush before the move
    if (!MoveFileExA(setupNew.c_str(), setupName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(setupNew.c_str());
        missing.push_back("Kitsetup.ini");
    }

    Form3->Close();

    RegistryPath.clear();
    ui::ReadRegistryString(HKEY_CURRENT_USER, "\\Software\\SKKT\\CurrentVersion", "Path", RegistryPath);
    ui::desktop().AddToRecentDocs(RegistryPath + Edit9.Text() + "\\Setup.exe");

    Label26.SetCaption("Completing Setup. Please wait...");

    struct Program {
        const char* from;
        const char* to;
        const char* failure;
    } const programs[] = {{"Skin32.dll", "Skin32.dll", "Copy Skin32.dll failed"},
                          {"Unzeng.dll", "Unzeng.dll", "Copy Unzeng.dll failed"},
                          {"Setup.dll", "Setup.exe", "Copy Setup.exe failed"}};
    for (const Program& p : programs)
        if (!CopyFileA((ui::InstallDir() + p.from).c_str(), (PackageDir + p.to).c_str(), FALSE)) {
            ui::App->MessageBox(p.failure, "Error", MB_OK);
            missing.push_back(p.to);
        }
    for (int i = 0; i < 5; ++i) {
        if (sources[i].empty() || (i == 4 && !splash)) continue;
        std::string target = PackageDir + kPictureTargets[i];
        // A reopened package may name its own copy as the source: it is in place already.
        if (ComparablePath(sources[i]) == ComparablePath(target) ||
            CopyFileA(sources[i].c_str(), target.c_str(), FALSE)) {
            Written.push_back(kPictureTargets[i]);
        } else {
            missing.push_back(kPictureTargets[i]);
            // The installer must not look for a splash screen that is not there.
            if (i == 4) {
                ui::IniFile setup(setupName);
                kit::RemoveKitsetupSplash(
                    [&setup](const std::string& section, const std::string& key) { setup.DeleteKey(section, key); });
            }
        }
    }
    // What an earlier build wrote and this one did not is no part of this package.
    for (const char* name : kBuilderWrittenFiles)
        if (std::find(Written.begin(), Written.end(), name) == Written.end())
            DeleteFileA((PackageDir + name).c_str());

    // The package is complete: the last dialog shows it, and the project information too
    // when it packed any file.
    Completed = true;
    if (ArchivedFiles > 0) CompletedPackage = Edit9.Text();
    settings.WriteString("Temp", "Project", Edit9.Text());
    RememberPackage(sources);

    if (missing.empty()) {
        Label26.SetCaption("Setup Complete");
    } else {
        Label26.SetCaption("Setup incomplete");
        std::string list;
        for (const std::string& m : missing) list += "\n" + m;
        ui::desktop().MessageBox(Handle(), "The package is not complete. Missing from " + PackageDir + ":" + list,
                                 "Skykit Builder", 0x30);
    }
    // The time is the build's own, not the minutes the last dialog stays open.
    BuildEnd = GetTickCount();
    TimeLabel.SetCaption(FormatElapsed(BuildEnd - BuildStart));
    Label24.SetCaption(std::to_string(ArchivedFiles));
    // What the distribution ZIP and the download hold: the files this build made, never an
    // earlier ZIP, download or anything else lying in the package directory.
    std::vector<std::string> files = {"Setup.skb", "Kitsetup.ini", "Skin32.dll", "Unzeng.dll", "Setup.exe"};
    files.insert(files.end(), Written.begin(), Written.end());
    Done1->PackageFiles.clear();
    for (const std::string& f : files)
        if (ui::FileExists(PackageDir + f) &&
            std::find(Done1->PackageFiles.begin(), Done1->PackageFiles.end(), f) == Done1->PackageFiles.end())
            Done1->PackageFiles.push_back(f);
    Done1->ShowModal();
}

// ---------------------------------------------------------------------------------------
// Toolbar and About

void TForm1::Image6Click() {
    Image6.LoadSkin(SkinModule, ui::kSkinButton.rest);
    AuxForm* about = MakeAboutForm(Handle());
    AuxShowModal(about);
    AuxFreeForm(about);
}

void TForm1::SpeedButton7Click() {
    // Only a completed build has a package to show: after a refused or failed build the
    // last dialog shows the package of the last completed one.
    if (CompletedPackage.empty())
        ui::ShowMessage(
            "SKKT did not register a new Project. You need to build a Project\nbefore you can view the SKKT Project "
            "information, and create a\nsingle Zip file.");
    else
        Done1->ShowModal();
}

void TForm1::SpeedButton6Click() { ui::desktop().ShellExecute(GetDesktopWindow(), "open", "MailTo:", "", "", 0); }

void TForm1::SpeedButton9Click() {
    AuxForm* sites = MakeUrlForm(Handle());
    AuxShowModal(sites);
    AuxFreeForm(sites);
}

void TForm1::SpeedButton10Click() {
    try {
        ui::desktop().WinExec("\"" + ui::InstallDir() + "Kitlens.exe\"", SW_SHOWNORMAL);
    } catch (...) {
    }
}

void TForm1::SpeedButton8Click() {
    ui::desktop().ShellExecute(Handle(), "open", ui::InstallDir() + "help\\Index.htm", "", "", SW_SHOWDEFAULT);
}
