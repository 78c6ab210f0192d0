// The "Building..." form that shows the progress of a build's compression.
#pragma once
#include <functional>

#include "ui.h"

class TForm3 : public ui::Form {
public:
    TForm3();
    ui::Image Image1{"Image1"};
    ui::Label Label1{"Label1"};
    ui::ProgressBar ProgressBar1{"ProgressBar1"};
    ui::ProgressBar ProgressBar2{"ProgressBar2"};
    ui::Button Button1{"Button1"};  // "Cancel"
    HMODULE SkinModule = nullptr;
    // What Cancel, Escape and the close box ask for while a build runs.
    std::function<void()> OnCancel;

    void AdjustCreateParams(ui::CreateParams& p) override { SkinnedFrame(p); }
    void FormShow() override;
    void FormClose(bool& allowHide) override;
    void FormDestroy() override;
    void Button1Click();
    // The build has finished (or stopped): the form may close for good.
    void Finish();

private:
    bool finishing_ = false;
};

extern TForm3* Form3;
