// The about box and the favourite-sites dialog of Aux32.dll.
#define AUX32_BUILD
#include "Aux32.h"

#include <shellapi.h>

#include "ui.h"

namespace {

const char* const kProduct = "Skykit Builder";
const char* const kVersion = "Version 1.0";

struct Site {
    const char* name;
    const char* url;
};
const Site kSites[] = {
    {"AVSIM - the flight simulation community", "https://www.avsim.com/"},
    {"FlightSim.Com - news, files and forums", "https://www.flightsim.com/"},
    {"FSDeveloper - scenery and aircraft design", "https://www.fsdeveloper.com/"},
    {"Simviation - free add-ons for every simulator", "https://www.simviation.com/"},
    {"Flightsim.to - the add-on library", "https://flightsim.to/"},
};

class AboutForm : public ui::Form {
public:
    ui::Image Logo{"Logo"};
    ui::Label Product{"Product"}, Version{"Version"}, Credits{"Credits"}, Copyright{"Copyright"};
    ui::BevelLine Line{"Line"};
    ui::Button OK{"OK"};

    explicit AboutForm(HWND owner) : Form("AboutForm", 330, 232) {
        Title = "About Skykit";
        Help = {"first-package.htm", "toolbar"};
        Color = RGB(244, 247, 251);
        owner_ = owner;
        Product.Font.bold = true;
        Product.Font.size = 12;
        Credits.WordWrap = true;
        Credits.AutoSize = false;
        OK.Default = true;
        Build({
            {Logo, nullptr, {16, 16, 48, 48}},
            {Product, nullptr, {80, 18, 0, 0}, kProduct},
            {Version, nullptr, {80, 42, 0, 0}, kVersion},
            {Line, nullptr, {16, 72, 298, 4}},
            {Credits, nullptr, {16, 84, 298, 96},
             "Skykit Builder and Skykit Explorer turn a folder of scenery, aircraft, sound, panel "
             "or adventure files into a package for Flight Simulator 98 and 2000.\n\n"
             "Made by the Skykit team for the add-on authors of the flight simulation community."},
            {Copyright, nullptr, {16, 199, 0, 0}, "Freeware for add-on authors."},
            {OK, nullptr, {240, 194, 75, 25}, "OK"},
        });
        HICON icon = static_cast<HICON>(LoadImageA(nullptr, MAKEINTRESOURCEA(32516), IMAGE_ICON, 0, 0, LR_SHARED));
        HICON own = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
        Logo.SetIcon(own ? own : icon);
        Logo.Center = true;
        OK.OnClick = [this] {
            ModalResult = ui::mrOk;
        };
    }
    HWND owner_;
};

class UrlForm : public ui::Form {
public:
    ui::Label Intro{"Intro"};
    ui::ListBox Sites{"Sites"};
    ui::Button Visit{"Visit"}, CloseBtn{"CloseBtn"};

    explicit UrlForm(HWND owner) : Form("UrlForm", 340, 214) {
        Title = "My favourite fs sites";
        Help = {"first-package.htm", "toolbar"};
        Color = RGB(244, 247, 251);
        owner_ = owner;
        Visit.Default = true;
        Build({
            {Intro, nullptr, {12, 12, 0, 0}, "Double-click a site to open it in your web browser:"},
            {Sites, nullptr, {12, 32, 316, 136}},
            {Visit, nullptr, {172, 178, 75, 25}, "&Visit"},
            {CloseBtn, nullptr, {253, 178, 75, 25}, "Close"},
        });
        for (const Site& s : kSites) Sites.AddItem(s.name);
        Sites.SetItemIndex(0);
        Sites.OnDblClick = [this] { OpenChosen(); };
        Visit.OnClick = [this] { OpenChosen(); };
        CloseBtn.OnClick = [this] { ModalResult = ui::mrCancel; };
    }

    void OpenChosen() {
        int i = Sites.ItemIndex();
        if (i < 0 || i >= (int)(sizeof(kSites) / sizeof(kSites[0]))) return;
        ui::desktop().ShellExecute(Handle(), "open", kSites[i].url, "", "", SW_SHOWNORMAL);
    }
    HWND owner_;
};

}  // namespace

struct AuxForm {
    ui::Form* form;
};

extern "C" {

AuxForm* __stdcall MakeAboutForm(HWND owner) { return new AuxForm{new AboutForm(owner)}; }
AuxForm* __stdcall MakeUrlForm(HWND owner) { return new AuxForm{new UrlForm(owner)}; }

int __stdcall AuxShowModal(AuxForm* f) {
    if (!f) return ui::mrCancel;
    ui::App->Terminated = false;
    return f->form->ShowModal();
}

void __stdcall AuxFreeForm(AuxForm* f) {
    if (!f) return;
    delete f->form;
    delete f;
}

HWND __stdcall AuxFormHandle(AuxForm* f) { return f ? f->form->Handle() : nullptr; }

void __stdcall AuxSetDesktop(void* desktop) { ui::SetDesktop(static_cast<ui::Desktop*>(desktop)); }
}
