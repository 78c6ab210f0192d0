#include "SetupForm.h"

#include <richedit.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <set>

#include "Destination.h"
#include "Pictures.h"
#include "SafePath.h"
#include "SceneryCfg.h"
#include "Uninstall.h"
#include "os/win32_text.h"

namespace kit {

namespace {

const COLORREF kNavy = RGB(28, 60, 112);
const COLORREF kBodyGrey = RGB(207, 209, 213);
const COLORREF kWarnRed = RGB(160, 24, 24);
const COLORREF kLinkBlue = RGB(0, 51, 153);
const int kPictureW = 240, kPictureH = 180;
const int kShotW = 54, kShotH = 40;

std::string ReadTextFile(const std::string& path, bool& found) {
    found = false;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "";
    found = true;
    std::string text;
    char buf[8192];
    DWORD got = 0;
    // Texts of a package are short; a megabyte is more than any description or licence.
    while (text.size() < (1u << 20) && ReadFile(f, buf, sizeof buf, &got, nullptr) && got) text.append(buf, got);
    CloseHandle(f);
    // The rich edit shows bare line feeds as breaks too, but CR LF keeps copies to the
    // clipboard right for every program.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        if (text[i] != '\0') out += text[i];
    }
    return out;
}

bool FileThere(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WithSlash(std::string s) {
    if (!s.empty() && s.back() != '\\') s += '\\';
    return s;
}

// The package's splash picture, taken from the package folder only.
std::string SplashPath(const std::string& packageDir, const PackageInfo& info) { return packageDir + info.SplashName(); }

void SetMemoReadOnly(ui::RichEdit& memo) {
    SendMessageA(memo.Handle(), EM_SETREADONLY, TRUE, 0);
    SendMessageA(memo.Handle(), EM_SETBKGNDCOLOR, 0, RGB(250, 250, 247));
}

}  // namespace

// --- SkinButton ----------------------------------------------------------------------------

SkinButton::SkinButton(const char* name)
    : Face((std::string(name) + "Face").c_str()), Picture(name), Caption((std::string(name) + "Caption").c_str()) {
    Face.Rounded = true;
    Face.Pen = RGB(72, 92, 124);
    Face.Brush = RGB(226, 231, 239);
    Picture.Stretch = true;
    Caption.Alignment = ui::Align::Center;
    Caption.AutoSize = false;
    Caption.VCenter = true;
}

void SkinButton::Bind(HMODULE& skin, std::function<void()> onClick) {
    auto load = [this, &skin](const char* name) {
        if (!skin) return;
        try {
            Picture.LoadSkin(skin, name);
        } catch (const ui::Error&) {
        }
    };
    auto down = [load](ui::MouseButton b, int, int) {
        if (b == ui::MouseButton::Left) load(ui::kSkinButton.pressed);
    };
    auto up = [load](ui::MouseButton, int, int) { load(ui::kSkinButton.rest); };
    Picture.OnMouseDown = Caption.OnMouseDown = down;
    Picture.OnMouseUp = Caption.OnMouseUp = up;
    Picture.OnClick = Caption.OnClick = std::move(onClick);
    Caption.Cursor = Picture.Cursor = LoadCursor(nullptr, IDC_HAND);
}

void SkinButton::SetVisible(bool on) {
    Face.SetVisible(on);
    Picture.SetVisible(on);
    Caption.SetVisible(on);
}

void SkinButton::SetEnabled(bool on) {
    Face.SetEnabled(on);
    Picture.SetEnabled(on);
    Caption.SetEnabled(on);
}

// --- Construction --------------------------------------------------------------------------

TSetupForm::TSetupForm(const std::string& packageDir) : Form("SetupForm", 514, 393), PackageDir(WithSlash(packageDir)) {
    Info = ReadPackageInfoFile(PackageDir + kSettingsFile);
    Title = Info.DisplayTitle() + " Setup";
    BuildLayout();
    LoadSkin();
    FillWelcome();

    Pages.push_back(Page::Welcome);
    if (FileThere(PackageDir + kDescriptionFile)) Pages.push_back(Page::Description);
    if (FileThere(PackageDir + kTermsFile)) Pages.push_back(Page::Terms);
    Pages.push_back(Page::Destination);
    Pages.push_back(Page::Ready);
    Pages.push_back(Page::Finish);
    ShowPage();
}

void TSetupForm::AdjustCreateParams(ui::CreateParams& p) {
    // The caption-less frame of the skin, moved by its title strip; a class of its own so
    // that the installer is not taken for the builder.
    SkinnedFrame(p);
    p.ClassName = "Skykit Setup";
    p.Style |= WS_MINIMIZEBOX | WS_SYSMENU;
}

void TSetupForm::BuildLayout() {
    TitleStrip.Color = kNavy;
    TitleImage.Stretch = true;
    TitleIcon.Center = true;
    TitleLabel.Font.bold = true;
    TitleLabel.Font.color = RGB(255, 255, 255);
    CloseButton.SetGlyph(LoadBitmapA(ui::ModuleInstance(), "X_CLOSE"));
    CloseButton.Hint = "Close Setup";
    Body.Color = kBodyGrey;
    Background.Stretch = true;

    // Tahoma: on every system from Windows 98 on, and in Wine; Arial is not in Wine.
    Heading.Font.name = "Tahoma";
    Heading.Font.pixelHeight = 19;
    Heading.Font.bold = true;
    Heading.Font.color = kNavy;
    SubHeading.AutoSize = false;
    SubHeading.WordWrap = true;
    StepLabel.Font.color = RGB(80, 88, 100);

    PictureFrame.Box = true;
    Picture.Stretch = true;
    for (ui::BevelLine* f : {&ShotFrame1, &ShotFrame2, &ShotFrame3, &ShotFrame4}) f->Box = true;
    for (ui::Image* s : {&Shot1, &Shot2, &Shot3, &Shot4}) {
        s->Stretch = true;
        s->Cursor = LoadCursor(nullptr, IDC_HAND);
        s->SetShowHint(true);
    }
    for (ui::Label* t : {&ShotText1, &ShotText2, &ShotText3, &ShotText4}) {
        t->AutoSize = false;
        t->Alignment = ui::Align::Center;
        t->VCenter = true;
        t->Font.color = kLinkBlue;
        t->Font.underline = true;
        t->Cursor = LoadCursor(nullptr, IDC_HAND);
    }
    ShotsLabel.Font.color = RGB(60, 66, 76);
    AddonTitle.AutoSize = false;
    AddonTitle.WordWrap = true;
    AddonTitle.Font.name = "Tahoma";
    AddonTitle.Font.pixelHeight = 20;
    AddonTitle.Font.bold = true;
    AddonTitle.Font.color = kNavy;
    for (ui::Label* c : {&TypeCaption, &FsCaption, &ConditionCaption, &AuthorsCaption}) c->Font.color = RGB(60, 66, 76);
    for (ui::Label* v : {&TypeValue, &FsValue, &ConditionValue}) {
        v->Font.bold = true;
        v->AutoSize = false;
    }
    FsValue.WordWrap = true;
    for (ui::Label* n : {&AuthorName1, &AuthorName2, &AuthorName3}) {
        n->Font.bold = true;
        n->AutoSize = false;
    }
    for (ui::Label* m : {&AuthorMail1, &AuthorMail2, &AuthorMail3}) {
        m->Font.color = kLinkBlue;
        m->Font.underline = true;
        m->Cursor = LoadCursor(nullptr, IDC_HAND);
    }
    WelcomeHint.AutoSize = false;
    WelcomeHint.WordWrap = true;


    FsFoundLabel.AutoSize = false;
    FsFoundLabel.WordWrap = true;
    FsFoundLabel.Font.color = kWarnRed;
    TargetLabel.AutoSize = false;
    TargetLabel.WordWrap = true;
    TargetLabel.Font.bold = true;
    TargetLabel.Font.color = kNavy;
    SpaceLabel.AutoSize = false;
    RunningLabel.AutoSize = false;
    RunningLabel.WordWrap = true;
    RunningLabel.Font.color = kWarnRed;
    RunningTimer.SetInterval(1000);
    RunningTimer.OnTimer = [this] { CheckRunning(); };

    for (ui::Label* v : {&ReadyAddon, &ReadyFiles, &ReadyInto, &ReadyFree}) {
        v->AutoSize = false;
        v->WordWrap = true;
    }
    ReadyAddon.Font.bold = true;
    ReadyInto.Font.bold = true;
    ReadyInto.Font.color = kNavy;
    for (ui::Label* c : {&ReadyAddonCaption, &ReadyFilesCaption, &ReadyIntoCaption, &ReadyFreeCaption})
        c->Font.color = RGB(60, 66, 76);
    TargetCaption.AutoSize = false;
    FileLabel.AutoSize = false;
    TotalLabel.AutoSize = false;
    NextStepLabel.AutoSize = false;
    NextStepLabel.WordWrap = true;

    const int by = 329;   // the row of the wizard's buttons, inside the body
    Build({
        {TitleStrip, nullptr, {0, 0, 514, 25}},
        {TitleImage, &TitleStrip, {0, 0, 514, 25}},
        {TitleIcon, &TitleStrip, {6, 4, 16, 16}},
        {TitleLabel, &TitleStrip, {32, 6, 0, 0}, Title.c_str()},
        {CloseButton, &TitleStrip, {490, 2, 23, 22}},
        {TitleEdge, nullptr, {0, 25, 514, 1}},
        {Body, nullptr, {0, 26, 514, 367}},
        {Background, &Body, {0, 0, 514, 367}},

        {Heading, &Body, {16, 14, 0, 0}},
        {SubHeading, &Body, {16, 40, 482, 30}},

        // Welcome
        {PictureFrame, &Body, {14, 14, kPictureW + 4, kPictureH + 4}},
        {Picture, &Body, {16, 16, kPictureW, kPictureH}},
        {ShotsLabel, &Body, {16, 206, 0, 0}, "Screenshots (click to enlarge):"},
        {ShotFrame1, &Body, {14, 222, kShotW + 4, kShotH + 4}},
        {ShotFrame2, &Body, {76, 222, kShotW + 4, kShotH + 4}},
        {ShotFrame3, &Body, {138, 222, kShotW + 4, kShotH + 4}},
        {ShotFrame4, &Body, {200, 222, kShotW + 4, kShotH + 4}},
        {Shot1, &Body, {16, 224, kShotW, kShotH}},
        {Shot2, &Body, {78, 224, kShotW, kShotH}},
        {Shot3, &Body, {140, 224, kShotW, kShotH}},
        {Shot4, &Body, {202, 224, kShotW, kShotH}},
        {ShotText1, &Body, {16, 224, kShotW, kShotH}, "1"},
        {ShotText2, &Body, {78, 224, kShotW, kShotH}, "2"},
        {ShotText3, &Body, {140, 224, kShotW, kShotH}, "3"},
        {ShotText4, &Body, {202, 224, kShotW, kShotH}, "4"},
        {WelcomeLabel, &Body, {276, 16, 0, 0}, "Welcome to the setup of"},
        {AddonTitle, &Body, {276, 34, 222, 48}},
        {TypeCaption, &Body, {276, 92, 0, 0}, "Add-on type:"},
        {TypeValue, &Body, {356, 92, 142, 14}},
        {FsCaption, &Body, {276, 110, 0, 0}, "Made for:"},
        {FsValue, &Body, {356, 110, 142, 28}},
        {ConditionCaption, &Body, {276, 142, 0, 0}, "Condition:"},
        {ConditionValue, &Body, {356, 142, 142, 14}},
        {AuthorsCaption, &Body, {276, 166, 0, 0}, "Made by:"},
        {AuthorName1, &Body, {356, 166, 142, 14}},
        {AuthorMail1, &Body, {356, 180, 0, 0}},
        {AuthorName2, &Body, {356, 200, 142, 14}},
        {AuthorMail2, &Body, {356, 214, 0, 0}},
        {AuthorName3, &Body, {356, 234, 142, 14}},
        {AuthorMail3, &Body, {356, 248, 0, 0}},
        {WelcomeHint, &Body, {276, 272, 222, 42}},

        // Description and terms
        {DescriptionMemo, &Body, {16, 72, 482, 236}},
        {TermsMemo, &Body, {16, 72, 482, 236}},

        // Destination
        {SimListCaption, &Body, {16, 74, 0, 0}},
        {SimList, &Body, {16, 90, 482, 84}},
        {FsFoundLabel, &Body, {16, 92, 482, 42}},
        {FsFolderCaption, &Body, {16, 185, 0, 0}, "Simulator folder:"},
        {FsFolderEdit, &Body, {124, 182, 288, 21}},
        {BrowseButton.Face, &Body, {420, 180, 78, 25}},
        {BrowseButton.Picture, &Body, {420, 180, 78, 25}},
        {BrowseButton.Caption, &Body, {420, 180, 78, 25}, "Browse..."},
        {SubfolderCaption, &Body, {16, 213, 0, 0}, "Add-on's folder in it:"},
        {SubfolderEdit, &Body, {124, 210, 374, 21}},
        {TargetCaption, &Body, {16, 240, 482, 14}, "Setup will install the files into:"},
        {TargetLabel, &Body, {16, 256, 482, 30}},
        {SpaceLabel, &Body, {16, 290, 482, 14}},

        // Ready and installing
        {ReadyAddonCaption, &Body, {16, 80, 0, 0}, "Add-on:"},
        {ReadyAddon, &Body, {126, 80, 372, 14}},
        {ReadyFilesCaption, &Body, {16, 100, 0, 0}, "Files:"},
        {ReadyFiles, &Body, {126, 100, 372, 14}},
        {ReadyIntoCaption, &Body, {16, 120, 0, 0}, "Into the folder:"},
        {ReadyInto, &Body, {126, 120, 372, 30}},
        {ReadyFreeCaption, &Body, {16, 154, 0, 0}, "Free on the drive:"},
        {ReadyFree, &Body, {126, 154, 372, 14}},
        {KeepBackups, &Body, {16, 174, 482, 18}, "Keep a copy of each file that is replaced, to put it back when the add-on is removed"},
        {FileLabel, &Body, {16, 198, 482, 14}},
        {RunningLabel, &Body, {16, 198, 482, 30}},
        {FileBar, &Body, {16, 214, 482, 14}},
        {TotalLabel, &Body, {16, 242, 482, 14}},
        {TotalBar, &Body, {16, 258, 482, 18}},

        // Result
        {ResultMemo, &Body, {16, 72, 482, 160}},
        {NextStepLabel, &Body, {16, 240, 482, 32}},
        {OpenFolderButton.Face, &Body, {16, 278, 160, 25}},
        {OpenFolderButton.Picture, &Body, {16, 278, 160, 25}},
        {OpenFolderButton.Caption, &Body, {16, 278, 160, 25}, "Open the add-on's folder"},

        // Wizard buttons
        {StepLabel, &Body, {16, by + 6, 0, 0}},
        {BottomEdge, &Body, {16, by - 12, 482, 2}},
        {BackButton.Face, &Body, {290, by, 65, 25}},
        {BackButton.Picture, &Body, {290, by, 65, 25}},
        {BackButton.Caption, &Body, {290, by, 65, 25}, "< Back"},
        {NextButton.Face, &Body, {362, by, 65, 25}},
        {NextButton.Picture, &Body, {362, by, 65, 25}},
        {NextButton.Caption, &Body, {362, by, 65, 25}, "Next >"},
        {CancelButton.Face, &Body, {434, by, 65, 25}},
        {CancelButton.Picture, &Body, {434, by, 65, 25}},
        {CancelButton.Caption, &Body, {434, by, 65, 25}, "Cancel"},
    });

    for (ui::RichEdit* m : {&DescriptionMemo, &TermsMemo, &ResultMemo}) SetMemoReadOnly(*m);
    FsFolderEdit.OnChange = [this] { FolderChange(); };
    SimList.OnClick = [this] { SimListChange(); };
    SubfolderEdit.OnChange = [this] { FolderChange(); };
    CloseButton.OnClick = [this] { CancelClick(); };
    CloseButton.SetShowHint(true);
    BackButton.Bind(SkinModule, [this] { BackClick(); });
    NextButton.Bind(SkinModule, [this] { NextClick(); });
    CancelButton.Bind(SkinModule, [this] { CancelClick(); });
    BrowseButton.Bind(SkinModule, [this] { BrowseClick(); });
    OpenFolderButton.Bind(SkinModule, [this] { OpenFolderClick(); });
    ui::Image* shots[] = {&Shot1, &Shot2, &Shot3, &Shot4};
    ui::Label* texts[] = {&ShotText1, &ShotText2, &ShotText3, &ShotText4};
    for (int i = 0; i < 4; ++i) {
        shots[i]->OnClick = texts[i]->OnClick = [this, i] { ShotClick(i + 1); };
    }
    ui::Label* mails[] = {&AuthorMail1, &AuthorMail2, &AuthorMail3};
    for (int i = 0; i < 3; ++i) mails[i]->OnClick = [this, i] { AuthorMailClick(i); };
    // The keyboard works the wizard as in any installer: Enter goes on, Escape cancels,
    // wherever the focus is.
    auto keys = [this](WPARAM key, bool& handled) { handled = Key(key); };
    for (ui::WinControl* c : std::initializer_list<ui::WinControl*>{&FsFolderEdit, &SubfolderEdit, &DescriptionMemo,
                                                                    &TermsMemo, &ResultMemo})
        c->OnKeyDown = keys;
    for (HWND h : {Handle(), Body.Handle(), TitleStrip.Handle()}) SetWindowSubclass(h, KeyProc, 1, reinterpret_cast<DWORD_PTR>(this));
    DragBy({&TitleImage, &TitleIcon, &TitleLabel});
    KeepBackups.SetChecked(true);
}

bool TSetupForm::Key(WPARAM key) {
    if (key == VK_RETURN) {
        // The person gets to see what Enter pressed: the same as a click on the button.
        if (CurrentPage() == Page::Finish) CancelClick();
        else if (NextButton.Picture.Enabled()) NextClick();
        return true;
    }
    if (key == VK_ESCAPE) {
        CancelClick();
        return true;
    }
    return false;
}

LRESULT CALLBACK TSetupForm::KeyProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
    if (msg == WM_KEYDOWN && reinterpret_cast<TSetupForm*>(self)->Key(wp)) return 0;
    return DefSubclassProc(h, msg, wp, lp);
}

void TSetupForm::LoadSkin() {
    // The package's own copy of the skin. Without it the installer still works, in plain colours.
    SkinModule = LoadLibraryA((PackageDir + kSkinFile).c_str());
    auto load = [this](ui::Image& image, const char* name) {
        if (!SkinModule) return;
        try {
            image.LoadSkin(SkinModule, name);
        } catch (const ui::Error&) {
        }
    };
    load(Background, "QForm");
    load(TitleImage, "top");
    load(TitleIcon, "Aircraft");
    for (SkinButton* b : {&BackButton, &NextButton, &CancelButton, &BrowseButton, &OpenFolderButton})
        load(b->Picture, ui::kSkinButton.rest);
    if (TitleIcon.Empty())
        TitleIcon.SetIcon(static_cast<HICON>(LoadImageA(ui::ModuleInstance(), "MAINICON", IMAGE_ICON, 16, 16, 0)));
}

// --- Welcome -------------------------------------------------------------------------------

void TSetupForm::FillWelcome() {
    AddonTitle.SetCaption(Info.TitleWithVersion());
    TypeValue.SetCaption(TypeDisplayName(Info.Type(), Info.type));
    FsValue.SetCaption(SimulatorsText(Info.Targets()));
    ConditionValue.SetCaption(Info.condition.empty() ? "Not stated" : Info.condition);

    ui::Label* names[] = {&AuthorName1, &AuthorName2, &AuthorName3};
    ui::Label* mails[] = {&AuthorMail1, &AuthorMail2, &AuthorMail3};
    for (size_t i = 0; i < 3; ++i) {
        const Author* a = i < Info.authors.size() ? &Info.authors[i] : nullptr;
        names[i]->SetCaption(a ? (a->name.empty() ? a->email : a->name) : "");
        mails[i]->SetCaption(a && !a->name.empty() ? a->email : "");
        mails[i]->SetHint(a && !a->email.empty() ? "Write to " + a->email : "");
        mails[i]->SetShowHint(true);
    }
    AuthorsCaption.SetVisible(!Info.authors.empty());

    // The splash picture of the package, or the installer's own.
    int w = 0, h = 0;
    std::string splash = SplashPath(PackageDir, Info);
    HBITMAP pic = nullptr;
    if (FileThere(splash)) pic = LoadPictureFitted(splash, kPictureW, kPictureH, w, h);
    if (!pic) {
        pic = static_cast<HBITMAP>(LoadImageA(ui::ModuleInstance(), "BANNER", IMAGE_BITMAP, 0, 0, 0));
        w = kPictureW;
        h = kPictureH;
    }
    Picture.SetBitmap(pic);
    Picture.SetBounds({16 + (kPictureW - w) / 2, 16 + (kPictureH - h) / 2, w, h});

    ui::Image* shots[] = {&Shot1, &Shot2, &Shot3, &Shot4};
    ui::Label* texts[] = {&ShotText1, &ShotText2, &ShotText3, &ShotText4};
    ui::BevelLine* frames[] = {&ShotFrame1, &ShotFrame2, &ShotFrame3, &ShotFrame4};
    bool any = false;
    for (int i = 0; i < kMaxScreenshots; ++i) {
        std::string file = PackageDir + ScreenshotFile(i + 1);
        bool there = FileThere(file);
        any = any || there;
        shots[i]->Tag = there;
        if (there) {
            int tw = 0, th = 0;
            if (HBITMAP thumb = LoadPictureFitted(file, kShotW, kShotH, tw, th)) {
                shots[i]->SetBitmap(thumb);
                const ui::Rect& r = frames[i]->Bounds();
                shots[i]->SetBounds({r.x + 2 + (kShotW - tw) / 2, r.y + 2 + (kShotH - th) / 2, tw, th});
                texts[i]->Tag = 0;   // the picture itself is the button
            } else {
                texts[i]->Tag = 1;   // unreadable here: the shell may still show it
            }
            shots[i]->SetHint("Show " + ScreenshotFile(i + 1));
        }
    }
    ShotsLabel.Tag = any;
    WelcomeHint.SetCaption("Press Next to continue, or Cancel to leave Setup without installing anything.");
}

void TSetupForm::ShotClick(int n) {
    std::string file = PackageDir + ScreenshotFile(n);
    INT_PTR r = ui::desktop().ShellExecute(Handle(), "open", file, "", PackageDir, SW_SHOWNORMAL);
    if (r <= 32) Ask("The screenshot " + ScreenshotFile(n) + " could not be opened: no program on this computer shows it.",
                     MB_OK | MB_ICONINFORMATION);
}

void TSetupForm::AuthorMailClick(int n) {
    if (size_t(n) >= Info.authors.size() || Info.authors[n].email.empty()) return;
    ui::desktop().ShellExecute(Handle(), "open", "mailto:" + Info.authors[n].email, "", "", SW_SHOWNORMAL);
}

// --- Pages ---------------------------------------------------------------------------------

std::vector<ui::Control*> TSetupForm::PageControls(Page p) {
    switch (p) {
        case Page::Welcome: {
            std::vector<ui::Control*> v{&PictureFrame, &Picture, &WelcomeLabel, &AddonTitle, &TypeCaption, &TypeValue,
                                        &FsCaption, &FsValue, &ConditionCaption, &ConditionValue, &AuthorsCaption,
                                        &AuthorName1, &AuthorName2, &AuthorName3, &AuthorMail1, &AuthorMail2,
                                        &AuthorMail3, &WelcomeHint};
            if (ShotsLabel.Tag) {
                v.push_back(&ShotsLabel);
                ui::Image* shots[] = {&Shot1, &Shot2, &Shot3, &Shot4};
                ui::Label* texts[] = {&ShotText1, &ShotText2, &ShotText3, &ShotText4};
                ui::BevelLine* frames[] = {&ShotFrame1, &ShotFrame2, &ShotFrame3, &ShotFrame4};
                for (int i = 0; i < 4; ++i) {
                    if (!shots[i]->Tag) continue;
                    v.push_back(frames[i]);
                    v.push_back(shots[i]);
                    if (texts[i]->Tag) v.push_back(texts[i]);
                }
            }
            return v;
        }
        case Page::Description: return {&Heading, &SubHeading, &DescriptionMemo};
        case Page::Terms: return {&Heading, &SubHeading, &TermsMemo};
        case Page::Destination:
            return {&Heading, &SubHeading, &SimListCaption, &SimList, &FsFoundLabel, &FsFolderCaption, &FsFolderEdit,
                    &BrowseButton.Face, &BrowseButton.Picture, &BrowseButton.Caption, &SubfolderCaption,
                    &SubfolderEdit, &TargetCaption, &TargetLabel, &SpaceLabel};
        case Page::Ready:
            return {&Heading, &SubHeading, &ReadyAddonCaption, &ReadyAddon, &ReadyFilesCaption, &ReadyFiles,
                    &ReadyIntoCaption, &ReadyInto, &ReadyFreeCaption, &ReadyFree, &KeepBackups, &FileLabel, &FileBar, &TotalLabel,
                    &TotalBar};
        case Page::Finish:
            return {&Heading, &SubHeading, &ResultMemo, &NextStepLabel, &OpenFolderButton.Face,
                    &OpenFolderButton.Picture, &OpenFolderButton.Caption};
    }
    return {};
}

void TSetupForm::ShowPage() {
    const Page page = CurrentPage();
    std::vector<ui::Control*> on = PageControls(page);
    for (Page p : {Page::Welcome, Page::Description, Page::Terms, Page::Destination, Page::Ready, Page::Finish})
        for (ui::Control* c : PageControls(p))
            if (std::find(on.begin(), on.end(), c) == on.end()) c->SetVisible(false);
    // The screenshot parts that this package lacks stay hidden whatever the page.
    for (ui::Control* c : {static_cast<ui::Control*>(&ShotsLabel), static_cast<ui::Control*>(&Shot1),
                           static_cast<ui::Control*>(&Shot2), static_cast<ui::Control*>(&Shot3),
                           static_cast<ui::Control*>(&Shot4), static_cast<ui::Control*>(&ShotText1),
                           static_cast<ui::Control*>(&ShotText2), static_cast<ui::Control*>(&ShotText3),
                           static_cast<ui::Control*>(&ShotText4), static_cast<ui::Control*>(&ShotFrame1),
                           static_cast<ui::Control*>(&ShotFrame2), static_cast<ui::Control*>(&ShotFrame3),
                           static_cast<ui::Control*>(&ShotFrame4)})
        c->SetVisible(false);
    for (ui::Control* c : on) c->SetVisible(true);

    const std::string title = Info.DisplayTitle();
    // On the last page one button is left, "Finish", in the place of Cancel.
    BackButton.SetVisible(Current > 0 && page != Page::Finish);
    BackButton.SetEnabled(true);
    NextButton.SetVisible(page != Page::Finish);
    NextButton.SetEnabled(true);
    CancelButton.SetVisible(true);
    CancelButton.SetEnabled(true);
    NextButton.SetCaption("Next >");
    CancelButton.SetCaption("Cancel");
    switch (page) {
        case Page::Welcome: break;
        case Page::Description: {
            Heading.SetCaption("About this add-on");
            SubHeading.SetCaption("What the author says about " + title + ":");
            bool found = false;
            DescriptionMemo.SetText(ReadTextFile(PackageDir + kDescriptionFile, found));
            break;
        }
        case Page::Terms: {
            Heading.SetCaption("Terms of use");
            SubHeading.SetCaption("Please read the terms of use of " + title +
                                  ". Press Accept to agree to them and go on, or Decline to leave Setup.");
            bool found = false;
            TermsMemo.SetText(ReadTextFile(PackageDir + kTermsFile, found));
            NextButton.SetCaption("Accept");
            CancelButton.SetCaption("Decline");
            break;
        }
        case Page::Destination:
            Heading.SetCaption("Where to install");
            FillDestination();
            break;
        case Page::Ready: {
            Heading.SetCaption("Ready to install");
            std::string folder = Destination();
            while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
            InstallLog earlier;
            SubHeading.SetCaption(FindEarlier(Info, folder, earlier)
                                      ? UpgradeNote(Info, earlier)
                                      : "Press Install to copy the files of " + title + " onto your computer.");
            ReadyAddon.SetCaption(Info.TitleWithVersion());
            ReadyFiles.SetCaption(Plural(Scan.files.size(), "file", "files") + ", " + FormatSize(Scan.bytes));
            ReadyInto.SetCaption(Destination());
            int64_t free = FreeBytes(Destination());
            ReadyFree.SetCaption(free >= 0 ? FormatSize(uint64_t(free)) : std::string("unknown"));
            FileLabel.SetCaption("Waiting for you to press Install.");
            TotalLabel.SetCaption("Overall progress");
            FileBar.SetPosition(1);
            TotalBar.SetPosition(1);
            NextButton.SetCaption("Install");
            break;
        }
        case Page::Finish:
            CancelButton.SetCaption("Finish");
            break;
    }
    std::string step = "Step " + std::to_string(Current + 1) + " of " + std::to_string(Pages.size());
    StepLabel.SetCaption(page == Page::Finish ? std::string() : step);
    CheckRunning();
    Invalidate();
    if (Body.Handle()) InvalidateRect(Body.Handle(), nullptr, TRUE);
    if (page == Page::Destination && FsFolderEdit.Handle()) FsFolderEdit.SetFocus();
}

void TSetupForm::NextClick() {
    if (Installing) return;
    switch (CurrentPage()) {
        case Page::Destination:
            if (!LeaveDestination()) return;
            break;
        case Page::Ready:
            Install();
            return;
        case Page::Finish:
            Close();
            return;
        default: break;
    }
    if (Current + 1 < Pages.size()) {
        ++Current;
        ShowPage();
    }
}

void TSetupForm::BackClick() {
    if (Installing || Current == 0 || CurrentPage() == Page::Finish) return;
    --Current;
    ShowPage();
}

void TSetupForm::CancelClick() {
    if (Installing) {
        if (Ask("Stop the installation? The files that Setup has installed so far will be removed again.",
                MB_YESNO | MB_ICONQUESTION) == IDYES)
            CancelRequested = true;
        return;
    }
    if (CurrentPage() == Page::Finish) {
        Close();
        return;
    }
    const std::string title = Info.DisplayTitle();
    std::string text = CurrentPage() == Page::Terms
                           ? "Setup cannot install " + title + " unless you accept its terms of use.\n\nLeave Setup?"
                           : title + " is not installed yet.\n\nLeave Setup?";
    if (Ask(text, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        Installed = false;
        Pages.assign(1, Page::Finish);   // nothing left to do: closing is allowed now
        Current = 0;
        Close();
    }
}

void TSetupForm::FormClose(bool& allowHide) {
    // Closing from the taskbar or with Alt+F4 means the same as Cancel; while files are being
    // copied it only asks to stop.
    if (Installing) {
        allowHide = false;
        CancelClick();
        return;
    }
    if (CurrentPage() != Page::Finish) {
        allowHide = false;
        CancelClick();
    }
}

void TSetupForm::FormDestroy() {
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
}

int TSetupForm::Ask(const std::string& text, UINT flags) {
    if (!Silent) return ui::desktop().MessageBox(Handle(), text, Title, flags);
    // Without a window every question takes the answer that installs: replace, go on.
    Messages.push_back(text);
    UINT kind = flags & MB_TYPEMASK;
    return kind == MB_YESNO || kind == MB_YESNOCANCEL ? IDYES : IDOK;
}

// --- The package check ---------------------------------------------------------------------

bool TSetupForm::CheckPackage() {
    Scan = ScanArchive(PackageDir + kArchiveFile);
    const std::string problem = PackageProblem(Scan, Info.DisplayTitle(), PackageDir);
    if (problem.empty()) return true;
    Ask(problem, MB_OK | MB_ICONSTOP);
    return false;
}

// --- Destination ---------------------------------------------------------------------------

void TSetupForm::FillDestination() {
    const std::vector<FsVersion> targets = Info.Targets();
    if (!destinationFilled_) {
        destinationFilled_ = true;
        Found = FoundFor(InstalledSimulators(), targets);
        SimList.ClearItems();
        for (const FoundSimulator& f : Found) SimList.AddItem(std::string(f.edition->displayName) + " - " + f.folder);
        SubfolderEdit.SetText(AddonSubfolder(Info.Type(), Info.title, Scan.names, targets.front()));
        // The one "/SIM=" names, else the newest, is proposed.
        const SimulatorChoice named = ChooseSimulator(SimulatorSwitch, Found, targets);
        if (!Found.empty()) PickSimulator(named.chosen ? int(named.chosen - Found.data()) : 0);
        // A "/SIM=" that names none of them is said, not passed over: the person chooses here.
        if (!Silent && !SimulatorSwitch.empty() && !named.chosen)
            Ask(named.why + "\n\nPlease choose where to install the add-on.", MB_OK | MB_ICONINFORMATION);
    }
    SimListCaption.SetCaption(Found.empty() ? std::string("This add-on is for " + SimulatorsText(targets) + ".")
                                            : "Found on this computer (this add-on is for " + SimulatorsText(targets) +
                                                  "):");
    SimList.SetVisible(!Found.empty());
    FsFoundLabel.SetVisible(Found.empty());
    FsFoundLabel.SetCaption("None of them was found on this computer. Please choose the folder where one of them is "
                            "installed.");
    const FoundSimulator* sim = ChosenSimulator();
    SubHeading.SetCaption(TypeNote(Info.Type(), sim ? sim->edition->family : targets.front()));
    FolderChange();
}

void TSetupForm::PickSimulator(int index) {
    if (index < 0 || size_t(index) >= Found.size()) return;
    const FoundSimulator& f = Found[size_t(index)];
    SimList.SetItemIndex(index);
    FsFolderEdit.SetText(f.folder);
    // Each simulator has its own folder for some types (aircraft).
    SubfolderEdit.SetText(AddonSubfolder(Info.Type(), Info.title, Scan.names, f.edition->family));
    SubHeading.SetCaption(TypeNote(Info.Type(), f.edition->family));
}

void TSetupForm::SimListChange() { PickSimulator(SimList.ItemIndex()); }

const FoundSimulator* TSetupForm::ChosenSimulator() const {
    const std::string folder = NoTrailingSlash(Trim(FsFolderEdit.Text()));
    for (const FoundSimulator& f : Found)
        if (EqualsNoCase(f.folder, folder)) return &f;
    return nullptr;
}

std::string TSetupForm::Destination() const {
    if (!DestOverride.empty()) return DestOverride;
    std::string sub, why;
    if (!CleanSubfolder(SubfolderEdit.Text(), sub, why)) sub = SubfolderEdit.Text();
    return JoinPath(NoTrailingSlash(Trim(FsFolderEdit.Text())), sub);
}

void TSetupForm::FolderChange() {
    std::string fs = Trim(FsFolderEdit.Text());
    // A folder typed or browsed to is one of the list's when it is one's folder.
    const FoundSimulator* sim = ChosenSimulator();
    SimList.SetItemIndex(sim ? int(sim - Found.data()) : -1);
    TargetLabel.SetCaption(fs.empty() ? "(choose the simulator's folder first)" : Destination());
    std::string space = "Space needed: " + FormatSize(Scan.bytes);
    if (!fs.empty()) {
        int64_t free = FreeBytes(Destination());
        if (free >= 0) space += "    Free on the drive: " + FormatSize(uint64_t(free));
    }
    SpaceLabel.SetCaption(space);
    SpaceLabel.Invalidate();
}

int CALLBACK BrowseInit(HWND h, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) SendMessageA(h, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

void TSetupForm::BrowseClick() {
    std::string current = Trim(FsFolderEdit.Text());
    BROWSEINFOA bi{};
    bi.hwndOwner = Handle();
    std::string prompt = "Choose the folder where " + SimulatorsText(Info.Targets()) + " is installed:";
    bi.lpszTitle = prompt.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = BrowseInit;
    bi.lParam = current.empty() ? 0 : reinterpret_cast<LPARAM>(current.c_str());
    OleInitialize(nullptr);
    LPITEMIDLIST pidl = SHBrowseForFolderA(&bi);
    if (pidl) {
        char path[MAX_PATH] = "";
        if (SHGetPathFromIDListA(pidl, path)) FsFolderEdit.SetText(path);
        CoTaskMemFree(pidl);
    }
    FolderChange();
}

bool TSetupForm::LeaveDestination() {
    std::string fs = Trim(FsFolderEdit.Text());
    if (fs.empty()) {
        Ask("Please choose the folder where " + SimulatorsText(Info.Targets()) + " is installed.",
            MB_OK | MB_ICONEXCLAMATION);
        FsFolderEdit.SetFocus();
        return false;
    }
    bool absolute = (fs.size() >= 3 && fs[1] == ':' && (fs[2] == '\\' || fs[2] == '/')) ||
                    (fs.size() >= 2 && fs[0] == '\\' && fs[1] == '\\');
    if (!absolute) {
        Ask("\"" + fs + "\" is not a complete folder name. Please give the whole path, for example "
            "C:\\Program Files\\Microsoft Games\\FS2000.",
            MB_OK | MB_ICONEXCLAMATION);
        FsFolderEdit.SetFocus();
        return false;
    }
    std::string sub, why;
    if (!CleanSubfolder(SubfolderEdit.Text(), sub, why)) {
        Ask("The add-on's folder \"" + SubfolderEdit.Text() + "\" cannot be used: " + why + ".", MB_OK | MB_ICONEXCLAMATION);
        SubfolderEdit.SetFocus();
        return false;
    }
    DWORD a = GetFileAttributesA(fs.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        Ask("\"" + fs + "\" is a file, not a folder.", MB_OK | MB_ICONEXCLAMATION);
        FsFolderEdit.SetFocus();
        return false;
    }
    if (a == INVALID_FILE_ATTRIBUTES &&
        Ask("The folder\n" + fs + "\ndoes not exist, so the simulator is probably not installed there.\n\n"
            "Install the add-on there anyway?",
            MB_YESNO | MB_ICONQUESTION) != IDYES) {
        FsFolderEdit.SetFocus();
        return false;
    }
    return true;
}

// --- Installing ----------------------------------------------------------------------------

// The person as the wizard meets them: the installation's questions in message boxes, and the
// unpacking on the installing page. The window is brought up to date a few times a second,
// not for each file: with tens of thousands of small files, repainting for every one of them
// would take longer than unpacking them.
class TSetupForm::Person : public InstallPerson {
public:
    explicit Person(TSetupForm& f) : f_(f) {}
    int Ask(const std::string& text, unsigned flags) override { return f_.Ask(text, flags); }
    bool Progress(const std::string& name, uint64_t done, uint64_t total) override {
        if (!name.empty() && name != name_ && name.back() != '/' && name.back() != '\\') {   // a file begins
            if (sizes_.empty())
                for (const zc::Entry& e : f_.Scan.directory.entries) sizes_[e.name] = e.usize;
            ++started_;
            name_ = name;
            fileSize_ = sizes_[name];
            fileStart_ = done;
        }
        done_ = done;
        total_ = total;
        return Pump(false);
    }
    // The last state, shown whatever the time since the last update.
    bool Stopped() override {
        Pump(true);
        return f_.CancelRequested;
    }

private:
    bool Pump(bool now) {
        if (f_.Silent) return false;
        DWORD tick = GetTickCount();
        if (!now && tick - last_ < 50) return f_.CancelRequested;
        last_ = tick;
        std::string shown = zc::Utf8ToAnsi(name_);
        std::replace(shown.begin(), shown.end(), '/', '\\');
        if (!shown.empty()) f_.FileLabel.SetCaption("Installing " + shown);
        const uint64_t fileDone = std::min(done_ - std::min(done_, fileStart_), fileSize_);
        f_.FileBar.SetFraction(int64_t(fileDone), int64_t(fileSize_));
        if (total_)
            f_.TotalBar.SetFraction(int64_t(done_), int64_t(total_));
        else
            f_.TotalBar.SetPosition(kBarEmpty);
        const int files = int(f_.Scan.files.size());
        f_.TotalLabel.SetCaption("Overall progress: file " + std::to_string(started_) + " of " +
                                 std::to_string(std::max(files, started_)));
        ui::App->ProcessMessages();
        return f_.CancelRequested;
    }
    TSetupForm& f_;
    std::map<std::string, uint64_t> sizes_;   // of the members, by name
    DWORD last_ = 0;
    std::string name_;
    int started_ = 0;
    uint64_t total_ = 0, done_ = 0, fileSize_ = 0, fileStart_ = 0;
};

void TSetupForm::Install() {
    const std::string title = Info.DisplayTitle();
    Installation run(Info, Scan, RunLog);
    run.archive = PackageDir + kArchiveFile;
    run.packageDir = PackageDir;
    run.dest = Destination();
    run.silent = Silent;
    run.keepCopies = Silent || KeepBackups.Checked();
    Person person(*this);
    const bool ready = Survey(run, person) && Confirm(run, person) && Prepare(run, person);
    ExitCode = run.exitCode;
    if (!ready) return;

    Installing = true;
    CancelRequested = false;
    BackButton.SetEnabled(false);
    NextButton.SetEnabled(false);
    CancelButton.SetCaption("Stop");
    Heading.SetCaption("Installing");
    SubHeading.SetCaption("Please wait while Setup copies the files of " + title + ".");
    FileLabel.SetCaption("Preparing...");
    if (!Silent) ui::App->ProcessMessages();
    Unpack(run, person);
    Installing = false;
    if (run.outcome.Failed()) {
        const std::string text = RollBack(run);
        ShowPage();
        Ask(text, MB_OK | (run.outcome.kind == UnpackOutcome::Kind::Cancelled ? MB_ICONINFORMATION : MB_ICONSTOP));
        ExitCode = run.exitCode;
        return;
    }

    // Installed: the earlier version's leftovers go, the scenery areas into the simulator's
    // library, then the record and the uninstaller, so that the add-on can be taken out again.
    ReplaceEarlier(run);
    run.library = Library();
    CheckRunning();
    run.running = Running;
    Register(run);
    Record(run);
    ExitCode = run.exitCode;
    Registered = run.registration;
    if (!run.registration.empty()) Messages.push_back(run.registration);
    Messages.push_back(run.removal);
    Installed = true;
    installedTo_ = run.dest;
    if (Silent) return;
    Current = Pages.size() - 1;
    ShowPage();
    Heading.SetCaption("Installation complete");
    SubHeading.SetCaption(title + " is ready to use. Press Finish to leave Setup.");
    ResultMemo.SetText(Report(run));
    // The label is two lines: the entry's whole name (with its folder) is in the memo above.
    const std::string removalShort = run.recordProblem.empty()
                                         ? "To remove " + title + ", use Add or Remove Programs in the Control Panel."
                                         : run.removal;
    NextStepLabel.SetCaption(run.registration.empty() ? removalShort : run.registration + " " + removalShort);
}

SceneryLibrary TSetupForm::Library() const {
    const FoundSimulator* sim = ChosenSimulator();
    std::string folder = NoTrailingSlash(Trim(FsFolderEdit.Text()));
    if (!DestOverride.empty() && !simulatorNamed_) {
        // A folder given on the command line: the simulator it lies in.
        const std::string d = NoTrailingSlash(Trim(DestOverride));
        sim = nullptr;
        folder.clear();
        for (const FoundSimulator& f : Found)
            if (!sim && (EqualsNoCase(d, f.folder) || IsInside(f.folder, d))) sim = &f, folder = f.folder;
        for (std::string p = d; !sim && folder.empty() && p.size() > 3;) {
            size_t cut = p.find_last_of('\\');
            if (cut == std::string::npos) break;
            p = p.substr(0, cut);
            if (FileThere(JoinPath(p, kSceneryCfgFile))) folder = p;
        }
        if (folder.empty()) {
            SceneryLibrary none;
            none.why = "no simulator's folder holds " + d;
            return none;
        }
    }
    return LibraryOf(sim ? sim->edition : EditionInFolder(folder, FileThere), folder, TheSystemFolders(),
                     FolderNameFromTitle(Info.DisplayTitle()), FileThere);
}

void TSetupForm::CheckRunning() {
    Running.clear();
    const AddonType type = Info.Type();
    const FoundSimulator* sim = ChosenSimulator();
    const SimulatorEdition* edition =
        sim ? sim->edition : EditionInFolder(NoTrailingSlash(Trim(FsFolderEdit.Text())), FileThere);
    if ((type == AddonType::Scenery || type == AddonType::SceneryMD) && edition &&
        IsRunning(*edition, RunningPrograms()))
        Running = edition->displayName;
    const bool wait = !Running.empty() && !Silent && !Installed && !Installing && CurrentPage() == Page::Ready;
    RunningLabel.SetCaption(wait ? Running + " is running. Setup waits for it to close, because the simulator "
                                             "rewrites its Scenery Library when it starts and when it stops."
                                 : "");
    RunningLabel.SetVisible(wait);
    if (CurrentPage() == Page::Ready && !Installing) {
        FileLabel.SetVisible(!wait);
        FileBar.SetVisible(!wait);
        NextButton.SetEnabled(!wait);
    }
    RunningTimer.SetEnabled(wait);
}

int TSetupForm::InstallSilently(const std::string& dest, const std::string& simulator) {
    Silent = true;
    SimulatorSwitch = simulator;
    if (!CheckPackage()) return kExitDamaged;
    FillDestination();
    if (!simulator.empty()) {
        const SimulatorChoice choice = ChooseSimulator(simulator, Found, Info.Targets());
        if (!choice.chosen) {
            Messages.push_back(choice.why);
            return choice.unknown ? kExitBadCommandLine : kExitNoSimulator;
        }
        simulatorNamed_ = true;
    }
    if (dest.empty() && Found.empty()) {
        Messages.push_back("None of the simulators this add-on is for (" + SimulatorsText(Info.Targets()) +
                           ") was found on this computer; give the folder with /D=.");
        return kExitNoSimulator;
    }
    DestOverride = dest;
    Install();
    return ExitCode;
}

void TSetupForm::OpenFolderClick() {
    if (installedTo_.empty()) return;
    ui::desktop().ShellExecute(Handle(), "open", installedTo_, "", "", SW_SHOWNORMAL);
}

// --- The program ---------------------------------------------------------------------------

namespace {

// The package's splash picture, shown alone for a moment before the wizard, at the size the
// package gives for it.
class TSplashWindow : public ui::Form {
public:
    TSplashWindow(const std::string& file, int w, int h) : Form("SplashWindow", w, h) {
        Border = ui::BorderStyle::None;
        TopMost = true;
        Picture.Stretch = true;
        Build({{Picture, nullptr, {0, 0, w, h}}});
        Picture.LoadFromFile(file);
        Picture.OnClick = [this] { Close(); };
        OnClick = [this] { Close(); };
        Timer.SetInterval(2500);
        Timer.OnTimer = [this] {
            Timer.SetEnabled(false);
            Close();
        };
    }
    void FormShow() override { Timer.SetEnabled(true); }
    void AdjustCreateParams(ui::CreateParams& p) override {
        p.ClassName = "Skykit Setup Splash";
        p.Style |= WS_BORDER;
    }
    ui::Image Picture{"Picture"};
    ui::Timer Timer{"Timer"};
};

void ShowSplash(const std::string& packageDir, const PackageInfo& info) {
    std::string file = SplashPath(packageDir, info);
    // A picture cut short would take the system's bitmap loader past the end of the file.
    if (!FileThere(file) || !PictureFileSound(file)) return;
    HBITMAP probe = static_cast<HBITMAP>(LoadImageA(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (!probe) return;
    BITMAP bm{};
    GetObject(probe, sizeof bm, &bm);
    DeleteObject(probe);
    int w = info.splashWidth > 0 ? info.splashWidth : bm.bmWidth;
    int h = info.splashHeight > 0 ? info.splashHeight : bm.bmHeight;
    // A size the package gives wrongly must not make a window larger than the screen.
    FitInside(w, h, std::min(640, GetSystemMetrics(SM_CXSCREEN)), std::min(480, GetSystemMetrics(SM_CYSCREEN)), w, h);
    try {
        TSplashWindow splash(file, w, h);
        splash.ShowModal();
    } catch (const ui::Error&) {
    }
}

}  // namespace

namespace {

// "/S", "/LOG=file", "/SIM=name", "/?", "/D=folder" and "/U=log" as the common installer builders
// take them: switches apart by spaces, "/LOG=" up to the next space (or in quotes), and "/D=" or
// "/U=" last, the rest of the line its path (spaces allowed, quotes around it dropped).
struct Switches {
    bool silent = false, help = false;
    std::string dest, uninstallLog, log, simulator;
    std::string bad;
};

std::string Upper(std::string x) {
    for (char& c : x) c = char(std::toupper(static_cast<unsigned char>(c)));
    return x;
}

Switches ParseSwitches(const std::string& line) {
    Switches sw;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        std::string rest = line.substr(i);
        // A program that quotes each argument with spaces turns /D=a b into "/D=a b".
        bool quoted = rest[0] == '"';
        std::string head = Upper(rest.substr(quoted ? 1 : 0, 3));
        if (head == "/D=" || head == "/U=") {
            std::string path = Trim(rest.substr(quoted ? 4 : 3));
            if (quoted && !path.empty() && path.back() == '"') path.pop_back();
            if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
            (head == "/D=" ? sw.dest : sw.uninstallLog) = path;
            break;
        }
        if (Upper(rest.substr(quoted ? 1 : 0, 5)) == "/LOG=") {
            size_t from = i + (quoted ? 6 : 5);
            bool valueQuoted = !quoted && from < line.size() && line[from] == '"';
            size_t end = quoted || valueQuoted ? line.find('"', from + (valueQuoted ? 1 : 0)) : line.find(' ', from);
            sw.log = line.substr(from + (valueQuoted ? 1 : 0), end == std::string::npos ? std::string::npos
                                                                                          : end - from - (valueQuoted ? 1 : 0));
            i = end == std::string::npos ? line.size() : end + (quoted || valueQuoted ? 1 : 0);
            continue;
        }
        size_t end = line.find(' ', i);
        std::string word = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
        if (Upper(word) == "/S") sw.silent = true;
        else if (Upper(word.substr(0, 5)) == "/SIM=" && word.size() > 5) sw.simulator = word.substr(5);
        else if (word == "/?" || Upper(word) == "/H" || Upper(word) == "/HELP") sw.help = true;
        else if (sw.bad.empty()) sw.bad = word;
        i = end == std::string::npos ? line.size() : end;
    }
    return sw;
}

std::string OutcomeText(int code) {
    switch (code) {
        case kExitOk: return "installed";
        case kExitCancelled: return "cancelled, nothing changed";
        case kExitNoSimulator: return "no simulator found that the add-on is for";
        case kExitDamaged: return "damaged package";
        case kExitNoSpace: return "not enough free space";
        case kExitWriteRefused: return "a folder or file could not be made or written";
        case kExitBadCommandLine: return "a switch that is not understood";
        case kExitNotRegistered: return "installed, but the scenery library was not changed";
        default: return "ended";
    }
}

}  // namespace

std::string SetupUsage() {
    return "Setup.exe [/S] [/LOG=file] [/SIM=name] [/D=folder]\n"
           "  /S  install without windows, into the folder the wizard would propose\n"
           "  /LOG=file  write what was done (files, areas, outcome) into file\n"
           "  /SIM=name  install into this simulator (the newest found of those the add-on is for\n"
           "        when none is named):\n" +
           SimulatorSwitchNames() +
           "  /D=folder  install into this folder (last, without quotes; relative to the current folder)\n"
           "  /?  this help\n\n"
           "Uninstall.exe [/S] [/LOG=file] /U=record  remove an installation (/S without windows)\n\n"
           "Exit codes:\n"
           "  0  installed (uninstaller: removed)\n"
           "  1  cancelled, terms declined or a newer version kept\n"
           "  2  no simulator found that the add-on is for, or /SIM= names one it is not for or that\n"
           "     is not installed\n"
           "  3  damaged package (uninstaller: record missing, damaged, incomplete or not its own)\n"
           "  4  not enough free space\n"
           "  5  a folder or file could not be made, written or removed\n"
           "  6  a switch that is not understood\n"
           "  7  installed, but the scenery library was not changed (missing, unreadable, UTF-16, or\n"
           "     the simulator was running)";
}

int RunSetup(const std::string& packageDir, const std::string& commandLine) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    OleInitialize(nullptr);
    Switches sw = ParseSwitches(commandLine);
    if (sw.help) {
        ui::desktop().MessageBox(nullptr, SetupUsage(), "Setup", MB_OK | MB_ICONINFORMATION);
        OleUninitialize();
        return kExitOk;
    }
    if (!sw.bad.empty()) {
        if (!sw.silent)
            ui::desktop().MessageBox(nullptr, "Setup does not know the switch \"" + sw.bad + "\".\n\n" + SetupUsage(),
                                     "Setup", MB_OK | MB_ICONSTOP);
        return kExitBadCommandLine;
    }
    const std::string logFile = FullPath(sw.log);
    if (!sw.uninstallLog.empty()) {
        Journal journal;
        journal.path = logFile;
        int r = RunUninstall(FullPath(sw.uninstallLog), sw.silent, journal);
        OleUninitialize();
        return r;
    }
    const std::string dest = FullPath(sw.dest);
    std::string dir = WithSlash(packageDir);
    PackageInfo info = ReadPackageInfoFile(dir + kSettingsFile);
    ui::App->Title = info.DisplayTitle() + " Setup";
    auto journalOf = [&logFile](TSetupForm& form, int result) {
        form.RunLog.path = logFile;
        if (form.Silent)
            for (const std::string& m : form.Messages) form.RunLog.Add("Message: " + m);
        form.RunLog.Add("Outcome: " + OutcomeText(result) + " (exit code " + std::to_string(result) + ")");
        form.RunLog.Write();
    };
    if (sw.silent) {
        int result = kExitDamaged;
        try {
            TSetupForm form(dir);
            result = form.InstallSilently(dest, sw.simulator);
            journalOf(form, result);
        } catch (const std::exception&) {
        }
        OleUninitialize();
        return result;
    }
    ShowSplash(dir, info);
    TSetupForm* form = nullptr;
    int result = kExitCancelled;
    try {
        form = new TSetupForm(dir);
        form->SimulatorSwitch = sw.simulator;
        ui::App->Own(form, true);
        form->Show();
        ui::App->ProcessMessages();
        if (form->CheckPackage()) {
            ui::App->Run();
            result = form->Installed ? form->ExitCode : kExitCancelled;
        } else {
            result = kExitDamaged;
        }
        journalOf(*form, result);
    } catch (const std::exception& e) {
        ui::App->ShowException(e);
    }
    ui::App->DestroyForms();
    OleUninitialize();
    return result;
}

}  // namespace kit
