// The authors dialog: name and e-mail address of one developer.
#pragma once
#include "ui.h"

class TForm5 : public ui::Form {
public:
    TForm5();
    ui::Image Image1{"Image1"}, Image2{"Image2"}, Image3{"Image3"}, Image4{"Image4"}, Image5{"Image5"};
    HMODULE SkinModule = nullptr;
    void AdjustCreateParams(ui::CreateParams& p) override { SkinnedFrame(p); }
    void FormDestroy() override;
};

extern TForm5* Form5;
