// The project settings dialog: simulator version, splash bitmap and screenshots.
#pragma once
#include "ui.h"

class TOption1 : public ui::Form {
public:
    TOption1();
    ui::Image Image1{"Image1"}, Image2{"Image2"}, Image3{"Image3"}, Image4{"Image4"}, Image5{"Image5"};
    ui::Image Image14{"Image14"}, Image21{"Image21"}, Image22{"Image22"};
    HMODULE SkinModule = nullptr;
    void AdjustCreateParams(ui::CreateParams& p) override { SkinnedFrame(p); }
    void FormDestroy() override;
};

extern TOption1* Option1;
