// The project settings dialog. "Next >>" hands the simulators and the pictures to the rest of
// the builder through the settings file; the dialog itself copies no file.
#include "Build9.h"

#include <algorithm>
#include <iterator>

#include "Build1.h"
#include "Kitforge.h"
#include "KitsetupIni.h"
#include "Skinning.h"

TOption1* Option1 = nullptr;

namespace {

const kit::Simulator& kFs98 = *kit::FindSimulator(kit::FsVersion::Fs98);
const kit::Simulator& kFs2000 = *kit::FindSimulator(kit::FsVersion::Fs2000);
const int kSimulatorCount = int(std::size(kit::kSimulators));
const int kMaxSplashWidth = 500, kMaxSplashHeight = 375;
const int kPreviewWidth = 226, kPreviewHeight = 123;

// The builder's own hand cursor; the system's hand should the resource ever be missing.
HCURSOR HandCursor() {
    static HCURSOR hand = [] {
        HCURSOR c = LoadCursorA(ui::ModuleInstance(), "hacursor");
        return c ? c : LoadCursor(nullptr, IDC_HAND);
    }();
    return hand;
}

HBITMAP BuiltIn(const char* name) { return LoadBitmapA(ui::ModuleInstance(), name); }

}  // namespace

TOption1::TOption1() : Form("Option1", 411, 327) {
    Title = "SKKT Project settings";
    Help = {"first-package.htm", "settings"};
    Panel4.Color = RGB(28, 60, 112);
    Panel1.Color = RGB(207, 209, 213);
    Image1.Stretch = true;
    Image2.Stretch = true;
    Image5.Center = true;
    Label14.Font.bold = true;
    Label14.Font.color = RGB(255, 255, 255);
    Close1.SetGlyph(LoadBitmapA(ui::ModuleInstance(), "G_CLOSE"));
    Close1.Hint = "Close";
    Screenshots.Font.bold = true;
    Label7.Font.bold = true;
    Label7.Font.size = 7;
    Label7.Font.color = RGB(110, 112, 118);
    for (ui::Image* i : {&Image10, &Image11, &Image12, &Image13}) i->Center = true;
    Image16.Center = true;
    // The width stands right-aligned before its "x", whatever its number of digits.
    Widt.AutoSize = false;
    Widt.Alignment = ui::Align::Right;
    Panel3.Color = RGB(210, 212, 216);  // the read-out's inside, seen while the marker is blank
    for (int i = 0; i < kSimulatorCount; ++i) SimulatorBox(i)->TabOrder = i;

    Build({
        {Panel4, nullptr, {0, 0, 411, 25}},
        {Image2, &Panel4, {0, 0, 411, 25}},
        {Image5, &Panel4, {6, 4, 16, 16}},
        {Label14, &Panel4, {32, 6, 0, 0}, "SKKT Project settings"},
        {Close1, &Panel4, {387, 2, 23, 22}},
        {Panel1, nullptr, {0, 25, 411, 302}},
        {Image1, &Panel1, {0, 0, 411, 302}},

        {Screenshots, &Panel1, {16, 12, 0, 0}, "Project screenshots"},
        {Image7, &Panel1, {16, 32, 46, 48}},
        {Image6, &Panel1, {70, 32, 46, 48}},
        {Image8, &Panel1, {16, 88, 46, 48}},
        {Image9, &Panel1, {70, 88, 46, 48}},
        {Image10, &Panel1, {20, 38, 38, 36}},
        {Image11, &Panel1, {74, 38, 38, 36}},
        {Image12, &Panel1, {20, 94, 38, 36}},
        {Image13, &Panel1, {74, 94, 38, 36}},

        {Label6, &Panel1, {16, 150, 0, 0}, "This add-on is for"},
        {CheckBox1, &Panel1, {16, 168, 16, 17}},
        {Label5, &Panel1, {34, 170, 0, 0}, kit::kSimulators[0].name},
        {CheckBox2, &Panel1, {16, 186, 16, 17}},
        {Label4, &Panel1, {34, 188, 0, 0}, kit::kSimulators[1].name},
        {CheckBox3, &Panel1, {16, 204, 16, 17}},
        {Label2, &Panel1, {34, 206, 0, 0}, kit::kSimulators[2].name},
        {CheckBox4, &Panel1, {16, 222, 16, 17}},
        {Label18, &Panel1, {34, 224, 0, 0}, kit::kSimulators[3].name},
        {CheckBox5, &Panel1, {16, 240, 16, 17}},
        {Label19, &Panel1, {34, 242, 0, 0}, kit::kSimulators[4].name},
        {CheckBox6, &Panel1, {16, 258, 16, 17}},
        {Label20, &Panel1, {34, 260, 0, 0}, kit::kSimulators[5].name},

        {Label7, &Panel1, {158, 13, 0, 0}, "Splashscreen"},
        {Image18, &Panel1, {156, 28, 240, 137}},
        {Image16, &Panel1, {163, 35, 226, 123}},
        {Panel2, &Panel1, {156, 172, 72, 19}},
        {Image14, &Panel2, {0, 0, 72, 19}},
        {Label3, &Panel2, {0, 0, 72, 19}, "Import..."},
        {Panel5, &Panel1, {240, 172, 72, 19}},
        {Image21, &Panel5, {0, 0, 72, 19}},
        {Label16, &Panel5, {0, 0, 72, 19}, "Clear image"},
        {Panel6, &Panel1, {324, 172, 72, 19}},
        {Image22, &Panel6, {0, 0, 72, 19}},
        {Label17, &Panel6, {0, 0, 72, 19}, "Full size"},

        {Image15, &Panel1, {156, 200, 100, 24}},
        {Image19, &Panel1, {161, 204, 16, 16}},
        {Widt, &Panel1, {178, 205, 26, 14}, "500"},
        {Label8, &Panel1, {208, 205, 0, 0}, "x"},
        {Heigh, &Panel1, {217, 205, 0, 0}, "375"},
        {Image17, &Panel1, {264, 200, 132, 24}},
        {Panel3, &Panel1, {269, 204, 16, 16}},
        {Image20, &Panel3, {0, 0, 16, 16}},
        {Label13, &Panel1, {290, 205, 0, 0}, "Max"},
        {Label9, &Panel1, {314, 205, 0, 0}, "500"},
        {Label10, &Panel1, {336, 205, 0, 0}, "x"},
        {Label11, &Panel1, {346, 205, 0, 0}, "375"},
        {Label15, &Panel1, {368, 205, 0, 0}, "px"},

        {Image3, &Panel1, {250, 262, 65, 25}},
        {Label1, &Panel1, {250, 262, 65, 25}, "Cancel"},
        {Image4, &Panel1, {331, 262, 65, 25}},
        {Label12, &Panel1, {331, 262, 65, 25}, "Next >>"},
    });
    CheckBox2.SetChecked(true);
    Close1.SetShowHint(true);

    // Built-in pictures of the dialog itself.
    for (ui::Image* frame : {&Image7, &Image6, &Image8, &Image9}) frame->SetBitmap(BuiltIn("SLOTFRAME"));
    Image18.SetBitmap(BuiltIn("PREVIEWFRAME"));
    Image15.SetBitmap(BuiltIn("SIZEREADOUT"));
    Image17.SetBitmap(BuiltIn("LIMITREADOUT"));
    Image19.SetBitmap(BuiltIn("SIZEICON"));

    // Handlers
    Close1.OnClick = [this] { Close1Click(); };
    skin::BindButton(Image3, Label1, SkinModule, [this] { Close1Click(); });
    skin::BindButton(Image4, Label12, SkinModule, [this] { Image4Click(); });
    skin::BindButton(Image14, Label3, SkinModule, [this] { Image14Click(); }, "bv1", "bv1a");
    skin::BindButton(Image21, Label16, SkinModule, [this] { Image21Click(); }, "bv2", "bv2a");
    skin::BindButton(Image22, Label17, SkinModule, [this] { Image22Click(); }, "bv1", "bv1a");
    DragBy({&Image2, &Image5, &Label14});
    Label5.OnClick = [this] { Label5Click(); };
    Label4.OnClick = [this] { Label4Click(); };
    for (int i = 2; i < kSimulatorCount; ++i) SimulatorLabel(i)->OnClick = [this, i] { SimulatorLabelClick(i); };
    for (int i = 0; i < kSimulatorCount; ++i) SimulatorLabel(i)->Cursor = LoadCursor(nullptr, IDC_HAND);
    Image10.OnClick = [this] { Image10Click(); };
    Image11.OnClick = [this] { Image11Click(); };
    Image12.OnClick = [this] { Image12Click(); };
    Image13.OnClick = [this] { Image13Click(); };
    // Each slot's frame points at its slot as its picture does, so the slot menu never acts
    // on a slot the pointer has left.
    Image10.OnMouseMove = Image7.OnMouseMove = [this](int, int) { Image10MouseMove(); };
    Image11.OnMouseMove = Image6.OnMouseMove = [this](int, int) { Image11MouseMove(); };
    Image12.OnMouseMove = Image8.OnMouseMove = [this](int, int) { Image12MouseMove(); };
    Image13.OnMouseMove = Image9.OnMouseMove = [this](int, int) { Image13MouseMove(); };
    PopupMenu1.Items = {{"View1", "View screenshot", [this] { View1Click(); }},
                        {"N1", "-", nullptr},
                        {"Clear1", "Clear image", [this] { Clear1Click(); }}};
    for (ui::Image* i : {&Image6, &Image7, &Image8, &Image9, &Image10, &Image11, &Image12, &Image13})
        i->Popup = &PopupMenu1;

    OpenDialog1.title = "Please select a screenshot";
    OpenDialog1.filter = "JPEG Image file (*.JPG)|*.jpg";
    OpenDialog1.defaultExt = "*.jpg";
    OpenDialog1.mustExist = true;
    OpenDialog2.title = "Import splashscreen";
    OpenDialog2.filter = "Bitmaps (*.BMP)|*.bmp";
    OpenDialog2.mustExist = true;
    Timer1.SetInterval(300);
    Timer1.OnTimer = [this] { Timer1Timer(); };

    SkinModule = skin::LoadFor(*this);
    if (SkinModule) {
        skin::LoadAll(SkinModule, {{&Image1, "QForm"},
                                   {&Image2, "Top"},
                                   {&Image5, "Aircraft"},
                                   {&Image4, ui::kSkinButton.rest},
                                   {&Image3, ui::kSkinButton.rest},
                                   {&Image14, "bv1"},
                                   {&Image21, "bv2"},
                                   {&Image22, "bv1"}});
        // The limit marker's resting picture.
        skin::LoadAll(SkinModule, {{&Image20, "Au"}});
    }
    for (int i = 0; i < kSimulatorCount; ++i) {
        SimulatorBox(i)->Color = RGB(212, 212, 212);
        SimulatorBox(i)->Invalidate();
    }
}

ui::CheckBox* TOption1::SimulatorBox(int index) {
    ui::CheckBox* boxes[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5, &CheckBox6};
    return boxes[index];
}

ui::Label* TOption1::SimulatorLabel(int index) {
    ui::Label* labels[] = {&Label5, &Label4, &Label2, &Label18, &Label19, &Label20};
    return labels[index];
}

std::vector<kit::FsVersion> TOption1::Simulators() {
    std::vector<kit::FsVersion> list;
    for (int i = 0; i < kSimulatorCount; ++i)
        if (SimulatorBox(i)->Checked()) list.push_back(kit::kSimulators[i].version);
    return list;
}

ui::Image* TOption1::SlotPicture(int slot) {
    ui::Image* pictures[4] = {&Image10, &Image11, &Image12, &Image13};
    return pictures[slot - 1];
}

void TOption1::FormShow() {
    std::string list;
    try {
        ui::IniFile ini = kitforge::Open();
        Version = ini.ReadString(kitforge::kFlightsim, kitforge::kVersion, Version);
        list = ini.ReadString(kitforge::kFlightsim, kitforge::kSimulators, "");
        for (int i = 0; i < 4; ++i)
            SlotPath[i] = ini.ReadString(kitforge::kTemp, kitforge::kPictureKeys[i], SlotPath[i]);
        SplashPath = ini.ReadString(kitforge::kTemp, kitforge::kSplash, SplashPath);
    } catch (...) {
    }
    ShowSplashChoice();
    for (ui::Control* c : std::initializer_list<ui::Control*>{&Image10, &Image11, &Image12, &Image13, &Image14, &Image21,
                                                              &Image22, &Label3, &Label16, &Label17})
        c->Cursor = HandCursor();
    for (int slot = 1; slot <= 4; ++slot)
        SlotPicture(slot)->LoadSkin(SkinModule, SlotPath[slot - 1].empty() ? "mappe_hvid" : "ie");
    // The list when the settings file has one; else the simulator of the version (FS2000 when
    // there is none); any other version leaves the boxes as they were.
    std::vector<kit::FsVersion> ticked = kit::ParseSimulatorList(list);
    if (ticked.empty() && (Version == kFs2000.name || Version.empty())) ticked = {kit::FsVersion::Fs2000};
    if (ticked.empty() && Version == kFs98.name) ticked = {kit::FsVersion::Fs98};
    if (ticked.empty()) return;
    for (int i = 0; i < kSimulatorCount; ++i)
        SimulatorBox(i)->SetChecked(std::find(ticked.begin(), ticked.end(), kit::kSimulators[i].version) !=
                                    ticked.end());
}

void TOption1::SimulatorLabelClick(int index) {
    ui::CheckBox& box = *SimulatorBox(index);
    box.SetChecked(!box.Checked());
    box.SetFocus();
    if (!box.Checked()) return;
    std::string folder;
    if (kit::RegisteredFolder(kit::kSimulators[index].version, folder)) SimFolder = folder;
    if (Form1) Form1->Label27.SetCaption(SimFolder);
}

void TOption1::Label5Click() { SimulatorLabelClick(0); }
void TOption1::Label4Click() { SimulatorLabelClick(1); }

void TOption1::ChooseScreenshot(int slot) {
    ui::Image* picture = SlotPicture(slot);
    std::string& path = SlotPath[slot - 1];
    OpenDialog1.owner = Handle();
    // Cancel changes nothing: a slot that held a picture keeps it (the slot menu clears it).
    if (!ui::desktop().OpenFile(OpenDialog1)) return;
    path = OpenDialog1.fileName;
    picture->LoadSkin(SkinModule, "ie");
    long long size = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path.c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        size = (static_cast<long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        FindClose(h);
    }
    picture->SetHint("Screenshot " + ui::IntToStr(slot) + " loaded\n" + path + "\nFilesize: " + ui::IntToStr(size / 1000) +
                     " KB");
    picture->SetShowHint(true);
}

void TOption1::Image10Click() { ChooseScreenshot(1); }
void TOption1::Image11Click() { ChooseScreenshot(2); }
void TOption1::Image12Click() { ChooseScreenshot(3); }
void TOption1::Image13Click() { ChooseScreenshot(4); }

void TOption1::PointAtSlot(int slot) {
    CurrentSlot = ui::IntToStr(slot);
    bool filled = !SlotPath[slot - 1].empty();
    PopupMenu1.Item("View1")->Enabled = filled;
    PopupMenu1.Item("Clear1")->Enabled = filled;
    if (!filled) SlotPicture(slot)->SetShowHint(false);
}

void TOption1::Image10MouseMove() { PointAtSlot(1); }
void TOption1::Image11MouseMove() { PointAtSlot(2); }
void TOption1::Image12MouseMove() { PointAtSlot(3); }
void TOption1::Image13MouseMove() { PointAtSlot(4); }

void TOption1::View1Click() {
    if (CurrentSlot.size() != 1 || CurrentSlot[0] < '1' || CurrentSlot[0] > '4') return;
    const std::string& path = SlotPath[CurrentSlot[0] - '1'];
    if (!path.empty()) ui::desktop().ShellExecute(Handle(), "open", path, "", "", SW_SHOWDEFAULT);
}

void TOption1::Clear1Click() {
    if (CurrentSlot.size() != 1 || CurrentSlot[0] < '1' || CurrentSlot[0] > '4') return;
    int slot = CurrentSlot[0] - '0';
    if (SlotPath[slot - 1].empty()) return;
    SlotPath[slot - 1].clear();
    SlotPicture(slot)->LoadSkin(SkinModule, "mappe_hvid");
    SlotPicture(slot)->SetShowHint(false);
}

void TOption1::Image14Click() {
    Image14.LoadSkin(SkinModule, "bv1");
    OpenDialog2.owner = Handle();
    // Cancel changes nothing: the earlier choice and its preview stay.
    if (!ui::desktop().OpenFile(OpenDialog2)) return;
    // A file that is no bitmap ends the import here with the loader's message; the earlier
    // choice stays.
    Image16.LoadFromFile(OpenDialog2.fileName);
    SplashPath = OpenDialog2.fileName;
    SplashWidth = Image16.PictureWidth();
    SplashHeight = Image16.PictureHeight();
    Heigh.SetCaption(ui::IntToStr(SplashHeight));
    Widt.SetCaption(ui::IntToStr(SplashWidth));
    if (SplashHeight > kMaxSplashHeight) {
        ui::desktop().MessageBox(Handle(),
                                 "This image is to high. Maximum height is 375 pixels.\n"
                                 "Please resize current image, or select another.",
                                 "Skykit Builder", MB_OK | MB_ICONWARNING);
        RejectSplash();
        return;
    }
    if (SplashWidth > kMaxSplashWidth) {
        ui::desktop().MessageBox(Handle(),
                                 "This image is to wide. Maximum width is 500 pixels.\n"
                                 "Please resize current image, or select another.",
                                 "Skykit Builder", MB_OK | MB_ICONWARNING);
        RejectSplash();
        return;
    }
    // A picture larger than the preview box is shrunk into it; a smaller one is shown as it is.
    bool larger = SplashWidth > kPreviewWidth || SplashHeight > kPreviewHeight;
    Image16.Stretch = larger;
    Image16.Center = !larger;
    Image16.Invalidate();
}

void TOption1::ForgetPictures() {
    for (std::string& slot : SlotPath) slot.clear();
    SplashPath.clear();
    SplashWidth = kMaxSplashWidth;
    SplashHeight = kMaxSplashHeight;
}

void TOption1::ShowSplashChoice() {
    Image16.Clear();
    SplashWidth = kMaxSplashWidth;
    SplashHeight = kMaxSplashHeight;
    if (!SplashPath.empty()) {
        try {
            Image16.LoadFromFile(SplashPath);
            SplashWidth = Image16.PictureWidth();
            SplashHeight = Image16.PictureHeight();
        } catch (const std::exception&) {
            Image16.Clear();
        }
        // A picture that is gone or too large is no splash of this project any more.
        if (Image16.PictureWidth() == 0 || SplashWidth > kMaxSplashWidth || SplashHeight > kMaxSplashHeight) {
            Image16.Clear();
            SplashPath.clear();
            SplashWidth = kMaxSplashWidth;
            SplashHeight = kMaxSplashHeight;
        }
    }
    bool larger = SplashWidth > kPreviewWidth || SplashHeight > kPreviewHeight;
    Image16.Stretch = larger;
    Image16.Center = !larger;
    Heigh.SetCaption(ui::IntToStr(SplashHeight));
    Widt.SetCaption(ui::IntToStr(SplashWidth));
    Image16.Invalidate();
}

void TOption1::RejectSplash() {
    Image16.Clear();
    Heigh.SetCaption("375");
    Widt.SetCaption("500");
    SplashWidth = kMaxSplashWidth;
    SplashHeight = kMaxSplashHeight;
    SplashPath.clear();
    // Each rejection starts the blink of the limit marker again.
    BlinkStep = 0;
    Timer1.SetEnabled(true);
}

void TOption1::Timer1Timer() {
    if (BlinkStep < 6) {
        if (BlinkStep % 2 == 0)
            Image20.Clear();
        else
            Image20.LoadSkin(SkinModule, "Au");
        Image20.Invalidate();
        UpdateWindow(Panel3.Handle());
        ++BlinkStep;
    }
    // Three blinks, ending on the marker.
    if (BlinkStep >= 6) Timer1.SetEnabled(false);
}

void TOption1::Image21Click() {
    Image21.LoadSkin(SkinModule, "bv2");
    Image16.Clear();
    SplashPath.clear();
    Heigh.SetCaption("375");
    Widt.SetCaption("500");
    SplashWidth = kMaxSplashWidth;
    SplashHeight = kMaxSplashHeight;
}

void TOption1::Image22Click() {
    Image22.LoadSkin(SkinModule, "bv1");
    if (!SplashPath.empty()) ui::desktop().ShellExecute(Handle(), "open", SplashPath, "", "", SW_SHOWDEFAULT);
}

void TOption1::Image4Click() {
    const std::vector<kit::FsVersion> simulators = Simulators();
    if (simulators.empty()) {
        ui::desktop().MessageBox(Handle(), "Please tick the simulators this add-on is for.", "Skykit Builder",
                                 MB_OK | MB_ICONWARNING);
        CheckBox2.SetFocus();
        return;
    }
    // The version earlier Setups read, and the whole list.
    Version = kit::FlightsimVersion(simulators);
    ui::IniFile ini = kitforge::Open();
    ini.WriteString(kitforge::kFlightsim, kitforge::kVersion, Version);
    ini.WriteString(kitforge::kFlightsim, kitforge::kSimulators, kit::SimulatorList(simulators));
    // A slot or splash that is empty now was cleared or rejected: its earlier key goes too,
    // so the build does not package a picture the author took out.
    for (int i = 0; i < 4; ++i) {
        if (!SlotPath[i].empty())
            ini.WriteString(kitforge::kTemp, kitforge::kPictureKeys[i], SlotPath[i]);
        else
            ini.DeleteKey(kitforge::kTemp, kitforge::kPictureKeys[i]);
    }
    if (!SplashPath.empty()) {
        ini.WriteString(kitforge::kTemp, kitforge::kSplash, SplashPath);
        ini.WriteInteger(kitforge::kTemp, kitforge::kSplashWidth, SplashWidth);
        ini.WriteInteger(kitforge::kTemp, kitforge::kSplashHeight, SplashHeight);
    } else {
        for (const char* key : {kitforge::kSplash, kitforge::kSplashWidth, kitforge::kSplashHeight})
            ini.DeleteKey(kitforge::kTemp, key);
    }
    Close();
    // The main form's timer opens the add-on location dialog once this dialog is gone.
    if (Form1) Form1->Timer1.SetEnabled(true);
}

void TOption1::Close1Click() { Close(); }

void TOption1::FormDestroy() {
    Timer1.SetEnabled(false);
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
}
