// The "Building..." form that shows the progress of a build's compression.
#pragma once
#include "ui.h"

class TForm3 : public ui::Form {
public:
    TForm3();
    ui::Image Image1{"Image1"};
    ui::Label Label1{"Label1"};
    ui::ProgressBar ProgressBar1{"ProgressBar1"};
    ui::ProgressBar ProgressBar2{"ProgressBar2"};
    HMODULE SkinModule = nullptr;

    void AdjustCreateParams(ui::CreateParams& p) override { SkinnedFrame(p); }
    void FormShow() override;
    void FormDestroy() override;
};

extern TForm3* Form3;
