#include "Build5.h"

#include "Skinning.h"

TForm5* Form5 = nullptr;

TForm5::TForm5() : Form("Form5", 375, 130) {
    Image1.Stretch = true;
    Image2.Stretch = true;
    Build({{Image2, nullptr, {0, 0, 375, 25}}, {Image1, nullptr, {0, 26, 375, 104}}});
    SkinModule = skin::LoadFor(*this);
    if (SkinModule)
        skin::LoadAll(SkinModule,
                      {{&Image1, "QForm"}, {&Image2, "top"}, {&Image3, "b1"}, {&Image4, "b1"}, {&Image5, "Aircraft"}});
}

void TForm5::FormDestroy() {
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
}
