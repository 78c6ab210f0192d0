#include "Build2.h"

#include "Skinning.h"

TForm2* Form2 = nullptr;

TForm2::TForm2() : Form("Form2", 509, 377) {
    Border = ui::BorderStyle::None;
    Image1.Stretch = true;
    Build({{Image1, nullptr, {0, 0, 509, 377}}});
    SkinModule = skin::LoadFor(*this);
    if (SkinModule)
        skin::LoadAll(SkinModule, {{&Image1, "QForm"}, {&Image2, "b1"}, {&Image3, "b1"}, {&Image4, "b1"}, {&Image5, "b1"}});
}

void TForm2::FormDestroy() {
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
}
