// The builder's main project form: construction, the caption-less frame and quitting.
#include "Build1.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>

#include "Build2.h"
#include "Build3.h"
#include "Build5.h"
#include "Build9.h"
#include "Done.h"
#include "Kitforge.h"
#include "PackageFiles.h"
#include "PackageInfo.h"
#include "Skinning.h"

#include "Aux32.h"

TForm1* Form1 = nullptr;

namespace {

HBITMAP Glyph(const char* name) { return LoadBitmapA(ui::ModuleInstance(), name); }

const COLORREF kRadioGrey = 13619151;  // RGB(207, 207, 207)

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
    Help = {"first-package.htm", "main"};
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
        ui::IniFile ini = kitforge::Open();
        Edit2.SetText(ini.ReadString("Authors", "Name1", Edit2.Text()));
        Edit3.SetText(ini.ReadString("Authors", "Email1", Edit3.Text()));
        Edit4.SetText(ini.ReadString("Authors", "Name2", Edit4.Text()));
        Edit5.SetText(ini.ReadString("Authors", "Email2", Edit5.Text()));
        Edit6.SetText(ini.ReadString("Authors", "Name3", Edit6.Text()));
        Edit7.SetText(ini.ReadString("Authors", "Email3", Edit7.Text()));
        type = ini.ReadString("Addon", "Type", "");
        HeldVersion = ini.ReadString(kitforge::kFlightsim, kitforge::kVersion, HeldVersion);
    }

    // Where the target simulator lives, from the registry (read only, keys never created).
    // With no version chosen yet: the default simulator's folder; then, when another one is
    // installed, that one becomes the target (the version always names a simulator).
    if (HeldVersion.empty()) {
        ReadSimulatorFolder(*kit::FindSimulator(kit::kDefaultSimulator));
        for (const kit::Simulator& s : kit::kSimulators)
            if (s.version != kit::kDefaultSimulator && ReadSimulatorFolder(s)) {
                HeldVersion = s.name;
                break;
            }
    }
    if (const kit::Simulator* s = kit::SimulatorNamed(HeldVersion)) ReadSimulatorFolder(*s);

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
        HeldVersion = kitforge::Open().ReadString(kitforge::kFlightsim, kitforge::kVersion, HeldVersion);
    } catch (...) {
    }
    SimFolder = Label27.Caption();
    Open1.owner = Handle();
    Open1.initialDir = SimFolder;
    Open1.fileName = kit::kArchiveFile;
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
    d.filter = std::string("Skykit package (") + kit::kSettingsFile + ")|" + kit::kSettingsFile;
    d.initialDir = ui::InstallDir();
    d.fileName = kit::kSettingsFile;
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
                                     "\nPlease choose a package folder of the builder's directory, or its \"" +
                                     kit::kSettingsFile + "\".",
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
    Project p;
    if (!ReadPackageProject(subdir, p)) return false;
    Edit1.SetText(p.title);
    Edit10.SetText(p.addonVersion);
    Edit9.SetText(p.subdir);
    ui::Edit* names[3] = {&Edit2, &Edit4, &Edit6};
    ui::Edit* emails[3] = {&Edit3, &Edit5, &Edit7};
    for (int n = 0; n < 3; ++n) names[n]->SetText(p.developers[n].name), emails[n]->SetText(p.developers[n].email);
    CheckBox1.SetChecked(p.freeware);
    if (p.type == "Scenery" || p.type == "Scenery MD") {
        RadioButton1.SetChecked(true);
        Label7.SetCaption(p.type);
    }
    if (p.type == "Aircraft") RadioButton2.SetChecked(true);
    if (p.type == "Sound") RadioButton3.SetChecked(true);
    if (p.type == "Panel") RadioButton4.SetChecked(true);
    if (p.type == "Adventure") RadioButton5.SetChecked(true);
    Form2->Memo1.SetLines(p.terms);
    Form2->Memo2.SetLines(p.description);

    // The settings dialog and the build take the version and pictures from the settings file.
    ui::IniFile ini = kitforge::Open();
    if (!p.simulators.empty()) {
        HeldVersion = kit::FlightsimVersion(SimulatorVersions(p.simulators));
        ini.WriteString(kitforge::kFlightsim, kitforge::kVersion, HeldVersion);
        ini.WriteString(kitforge::kFlightsim, kitforge::kSimulators,
                        kit::SimulatorList(SimulatorVersions(p.simulators)));
        ReadSimulatorFolder(*kit::SimulatorNamed(p.simulators.front()));
    }
    if (Option1) Option1->ForgetPictures();
    kitforge::ForgetPictures(ini);
    for (int i = 0; i < 4; ++i)
        if (!p.screenshots[i].empty()) ini.WriteString(kitforge::kTemp, kitforge::kPictureKeys[i], p.screenshots[i]);
    if (!p.splash.empty()) {
        ini.WriteString(kitforge::kTemp, kitforge::kSplash, p.splash);
        ini.WriteString(kitforge::kTemp, kitforge::kSplashWidth, p.splashWidth);
        ini.WriteString(kitforge::kTemp, kitforge::kSplashHeight, p.splashHeight);
    }

    if (p.location.empty()) {
        Edit8.SetText("");
    } else {
        std::string folder = p.location;
        if (folder.back() != '\\') folder += '\\';
        Edit8.SetText(folder);
        SetArchiveName(folder + kit::kArchiveFile, true);
    }
    return true;
}

bool TForm1::ReadSimulatorFolder(const kit::Simulator& simulator) {
    std::string folder;
    if (!kit::RegisteredFolder(simulator.version, folder)) return false;
    SimFolder = folder;
    Label27.SetCaption(folder);
    return true;
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

void TForm1::Image2MouseDown(ui::MouseButton button) { TitleMouseDown(button); }

void TForm1::Minimize1Click() { ShowWindow(Handle(), SW_MINIMIZE); }

void TForm1::Image4Click() {
    if (Building) {
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
    ui::IniFile ini = kitforge::Open();
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
                             "The settings file can not be written:\n" + ui::InstallDir() + kitforge::kFileName +
                                 "\nThe developers and the add-on type will not be remembered.",
                             "Skykit Builder", 0x30);
}

void TForm1::FormDestroy() {
    // The screenshot, splash and subdirectory choices hold for one run only.
    try {
        ui::IniFile ini = kitforge::Open();
        kitforge::ForgetPictures(ini);
        ini.DeleteKey(kitforge::kTemp, kitforge::kProject);
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

}  // namespace

Project TForm1::CurrentProject() {
    Project p;
    p.title = Edit1.Text();
    p.subdir = Edit9.Text();
    ui::Edit* const names[3] = {&Edit2, &Edit4, &Edit6};
    ui::Edit* const emails[3] = {&Edit3, &Edit5, &Edit7};
    for (int n = 0; n < 3; ++n) p.developers[n] = {names[n]->Text(), emails[n]->Text()};
    // The type is the caption of the label beside the chosen button.
    ui::RadioButton* const buttons[5] = {&RadioButton1, &RadioButton2, &RadioButton3, &RadioButton4, &RadioButton5};
    ui::Label* const labels[5] = {&Label7, &Label8, &Label9, &Label10, &Label18};
    for (int i = 0; i < 5; ++i)
        if (buttons[i]->Checked()) p.type = labels[i]->Caption();
    p.freeware = CheckBox1.Checked();
    p.addonVersion = Edit10.Text();
    p.location = Edit8.Text();
    if (Form2) p.terms = Form2->Memo1.Lines(), p.description = Form2->Memo2.Lines();
    // The version and the pictures are what the settings dialog left: a cleared splash reads empty.
    ui::IniFile ini = kitforge::Open();
    std::string simulators;
    try {
        HeldVersion = ini.ReadString(kitforge::kFlightsim, kitforge::kVersion, HeldVersion);
        simulators = ini.ReadString(kitforge::kFlightsim, kitforge::kSimulators, "");
        for (int i = 0; i < 4; ++i) p.screenshots[i] = ini.ReadString(kitforge::kTemp, kitforge::kPictureKeys[i], "");
        p.splash = ini.ReadString(kitforge::kTemp, kitforge::kSplash, "");
        p.splashWidth = ini.ReadString(kitforge::kTemp, kitforge::kSplashWidth, "");
        p.splashHeight = ini.ReadString(kitforge::kTemp, kitforge::kSplashHeight, "");
    } catch (...) {
    }
    p.simulators = SimulatorNames(HeldVersion, simulators);
    return p;
}

void TForm1::Image7Click() {
    Image7.LoadSkin(SkinModule, ui::kSkinButton.rest);
    if (Building) {
        // The running build still writes the archive; a second one would write into it too.
        ui::desktop().MessageBox(Handle(), "A build is running. Please wait until it is complete.", "Skykit Builder",
                                 MB_OK | MB_ICONINFORMATION);
        return;
    }
    PackageBuild build(CurrentProject(), ui::InstallDir(), ZipPacker1);
    build.simulatorFolders = {SimFolder, Label27.Caption()};
    // No simulator's folder on this computer is packed whole, whichever the add-on is for.
    for (const kit::FoundSimulator& f : kit::InstalledSimulators()) build.simulatorFolders.push_back(f.folder);
    Cancelled = QuitAfterBuild = false;
    // The defaults the project took are the form's too, however the build ends.
    auto takeDefaults = [&] {
        Building = false;
        Edit1.SetText(build.project.title);
        HeldVersion = kit::FlightsimVersion(SimulatorVersions(build.project.simulators));
    };
    bool complete = false;
    try {
        complete = BuildPackage(build, *this);
    } catch (...) {
        takeDefaults();
        throw;
    }
    takeDefaults();
    if (build.outcome == PackageBuild::Outcome::Refused) return;
    BuildEnd = GetTickCount();
    TimeLabel.SetCaption(FormatElapsed(BuildEnd - BuildStart));
    // The progress window goes before anything else is shown: the build has ended.
    Form3->Finish();
    if (!complete) {
        Label24.SetCaption("0");
        Label26.SetCaption(Cancelled ? "Build cancelled" : "Build failed");
        if (!Cancelled && !QuitAfterBuild) {
            std::string why = build.packProblem.empty() ? "" : "\n" + build.packProblem;
            ui::desktop().MessageBox(Handle(), "The build failed; the package was not changed." + why, "Skykit Builder",
                                     0x30);
        }
    } else {
        Label24.SetCaption(std::to_string(build.archivedFiles));
        // The project information shows this package when the build packed any file.
        if (build.archivedFiles > 0) CompletedPackage = build.project.subdir;
        ui::IniFile ini = kitforge::Open();
        ini.WriteString(kitforge::kTemp, kitforge::kProject, build.project.subdir);
        RememberPackage(build.project);
        // How long the build and its archive took, in milliseconds, beside the package's
        // other remembered facts (the Time above shows minutes and seconds).
        ini.WriteInteger(PackageSection(build.project.subdir), "BuildTime", (int)(BuildEnd - BuildStart));
        ini.WriteInteger(PackageSection(build.project.subdir), "PackTime", (int)build.packMs);
        RefreshPackageMenu();
        Label26.SetCaption(build.report.empty() ? "Setup Complete" : "Setup incomplete");
        if (!build.report.empty()) ui::desktop().MessageBox(Handle(), build.report, "Skykit Builder", 0x30);
        Done1->PackageFiles = build.packageFiles;
        Done1->ShowModal();
    }
    // The archive component names the package's archive again, old or new.
    ZipPacker1.SetZipFileName(ArchiveFileName);
    if (QuitAfterBuild) {
        QuitAfterBuild = false;
        Image4Click();
    }
}

void TForm1::Refuse(const std::string& text, Field field) {
    ui::desktop().MessageBox(Handle(), text, "Skykit Builder", 0x30);
    if (field == Field::Location) Edit8.SetFocus();
    if (field == Field::Subdir) Edit9.SetFocus();
}

void TForm1::Starting(BuildStep step) {
    if (step == BuildStep::Pack) {
        // The archive's name is shown without reading the earlier archive.
        ArchiveFileName = ui::InstallDir() + Edit9.Text() + "\\" + kit::kArchiveFile;
        Open1.initialDir = ui::ExtractFilePath(ArchiveFileName);
        Open1.fileName = ArchiveFileName;
        SetArchiveName(ArchiveFileName, false);
        // From here on the project information is that of this build, once it completes.
        CompletedPackage.clear();
        Building = true;
        Form3->OnCancel = [this] { CancelBuild(); };
        Form3->Show();
        BuildStart = GetTickCount();
    } else if (step == BuildStep::CopyPrograms) {
        // The archive and the installer's settings are in place: nothing stops the build now.
        Form3->Finish();
        std::string registered;
        ui::ReadRegistryString(HKEY_CURRENT_USER, "\\Software\\SKKT\\CurrentVersion", "Path", registered);
        ui::desktop().AddToRecentDocs(registered + Edit9.Text() + "\\" + kit::kSetupFile);
        Label26.SetCaption("Completing Setup. Please wait...");
    }
}

void TForm1::Progress(ProgressType type, long size) { ZipPacker1Progress(&ZipPacker1, type, "", size); }

bool TForm1::Stopped() { return Cancelled; }

void TForm1::CopyFailed(const std::string& text) { ui::App->MessageBox(text, "Error", MB_OK); }

void TForm1::CancelBuild() {
    if (Building) Cancelled = true;
}

void TForm1::FormClose(bool& allowHide) {
    // Closing the window while a build runs is the same question as Quit.
    if (!Building) return;
    allowHide = false;
    Image4Click();
}

void TForm1::ZipPacker1Progress(TObject*, ProgressType ProgrType, const std::string&, long FileSize) {
    switch (ProgrType) {
        case ptFileStart:
            Form3->ProgressBar1.SetPosition(kit::kBarEmpty);
            fileSize = (int32_t)FileSize;
            fileDone = 0;
            break;
        case ptBytesDone:
            fileDone += (int32_t)FileSize;
            batchDone += (int32_t)FileSize;
            Form3->ProgressBar1.SetFraction(fileDone, fileSize);  // an empty file is done at once
            if (batchTotal != 0) Form3->ProgressBar2.SetFraction(batchDone, batchTotal);
            break;
        case ptFileCount:
            break;
        case ptByteCount:
            Form3->ProgressBar2.SetPosition(kit::kBarEmpty);
            batchTotal = (int32_t)FileSize;
            batchDone = 0;
            break;
        case ptBatchDone:
            Form3->ProgressBar1.SetPosition(kit::kBarEmpty);
            Form3->ProgressBar2.SetPosition(kit::kBarEmpty);
            break;
    }
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
