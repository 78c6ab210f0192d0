#include "Build3.h"

#include "Skinning.h"

TForm3* Form3 = nullptr;

TForm3::TForm3() : Form("Form3", 254, 113) {
    TopMost = true;
    Title = "Building...";
    Help = {"first-package.htm", "building"};
    Image1.Stretch = true;
    Label1.Font.pixelHeight = 13;
    Label1.Font.bold = true;
    Build({
        {Image1, nullptr, {0, 0, 254, 113}},
        {Label1, nullptr, {14, 10, 0, 0}, "Building..."},
        {ProgressBar1, nullptr, {14, 33, 225, 16}},
        {ProgressBar2, nullptr, {14, 56, 225, 16}},
        {Button1, nullptr, {164, 80, 75, 23}, "Cancel"},
    });
    Button1.OnClick = [this] { Button1Click(); };
    // Escape on the form stops the build as Cancel does.
    Button1.OnKeyDown = [this](WPARAM key, bool& handled) {
        if (key != VK_ESCAPE) return;
        handled = true;
        Button1Click();
    };
    SkinModule = skin::LoadFor(*this);
    if (SkinModule) skin::LoadAll(SkinModule, {{&Image1, "QForm"}});
}

void TForm3::FormShow() {
    Label1.SetCaption("Building...");
    Button1.SetEnabled(true);
    Button1.SetFocus();
}

void TForm3::Button1Click() {
    if (!Showing() || !Button1.Enabled()) return;
    Label1.SetCaption("Stopping...");
    Button1.SetEnabled(false);
    if (OnCancel) OnCancel();
}

void TForm3::FormClose(bool& allowHide) {
    // The close box of a running build is a Cancel: the form stays until the build has
    // stopped, so no stale picture of it is left on the screen.
    if (finishing_) return;
    allowHide = false;
    Button1Click();
}

void TForm3::Finish() {
    finishing_ = true;
    if (Showing()) Close();
    finishing_ = false;
}

void TForm3::FormDestroy() {
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
}
