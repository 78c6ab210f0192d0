#include "Splash.h"

TSplash* Splash = nullptr;

TSplash::TSplash() : Form("Splash", 399, 300) {
    Border = ui::BorderStyle::None;
    Help = {"Index.htm", ""};
    TopMost = true;
    Panel1.Outer = ui::Panel::Bevel::Lowered;
    Panel1.Inner = ui::Panel::Bevel::Raised;
    Build({
        {Panel1, nullptr, {0, 0, 400, 300}},
        {Image1, &Panel1, {2, 2, 396, 296}},
    });
    Image1.SetBitmap(LoadBitmapA(ui::ModuleInstance(), "SPLASH"));
    Image1.OnClick = [this] { Image1Click(); };
    Timer1.SetInterval(2000);
    Timer1.OnTimer = [this] { Timer1Timer(); };
}

void TSplash::FormShow() { Timer1.SetEnabled(true); }

void TSplash::Timer1Timer() {
    Timer1.SetEnabled(false);
    Close();
}

// The timer stays on; its tick closes the closed form again, which does nothing.
void TSplash::Image1Click() { Close(); }
