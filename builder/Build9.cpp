#include "Build9.h"

#include "Skinning.h"

TOption1* Option1 = nullptr;

TOption1::TOption1() : Form("Option1", 411, 327) {
    Image1.Stretch = true;
    Image2.Stretch = true;
    Build({{Image2, nullptr, {0, 0, 411, 25}}, {Image1, nullptr, {0, 26, 411, 301}}});
    SkinModule = skin::LoadFor(*this);
    if (SkinModule)
        skin::LoadAll(SkinModule, {{&Image1, "QForm"},
                                   {&Image2, "Top"},
                                   {&Image5, "Aircraft"},
                                   {&Image4, "b1"},
                                   {&Image3, "b1"},
                                   {&Image14, "bv1"},
                                   {&Image21, "bv2"},
                                   {&Image22, "bv1"}});
}

void TOption1::FormDestroy() {
    if (SkinModule) FreeLibrary(SkinModule);
    SkinModule = nullptr;
}
