#include "Build3.h"

#include "Skinning.h"

TForm3* Form3 = nullptr;

TForm3::TForm3() : Form("Form3", 254, 83) {
    TopMost = true;
    Title = "Building...";
    Image1.Stretch = true;
    Label1.Font.pixelHeight = 13;
    Label1.Font.bold = true;
    Build({
        {Image1, nullptr, {0, 0, 254, 83}},
        {Label1, nullptr, {14, 10, 0, 0}, "Building..."},
        {ProgressBar1, nullptr, {14, 33, 225, 16}},
        {ProgressBar2, nullptr, {14, 56, 225, 16}},
    });
    SkinModule = skin::LoadFor(*this);
    if (SkinModule) skin::LoadAll(SkinModule, {{&Image1, "QForm"}});
}

void TForm3::FormShow() { Label1.SetCaption("Building..."); }

void TForm3::FormDestroy() {
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
}
