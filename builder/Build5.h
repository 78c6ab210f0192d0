// The authors dialog: name and e-mail address of one developer.
#pragma once
#include "ui.h"

class TForm5 : public ui::Form {
public:
    TForm5();

    // Title strip
    ui::Panel Panel1{"Panel1"};
    ui::Image Image2{"Image2"};
    ui::Image Image5{"Image5"};
    ui::Label Label14{"Label14"};
    ui::Label Label3{"Label3"};  // the developer number, "1" to "3", set by the main form
    ui::BevelLine Bevel1{"Bevel1"};

    ui::Image Image1{"Image1"};
    ui::Label Label1{"Label1"};
    ui::Edit Edit2{"Edit2"};
    ui::Label Label2{"Label2"};
    ui::Edit Edit3{"Edit3"};
    ui::Image Image3{"Image3"}, Image4{"Image4"};
    ui::Label Label19{"Label19"}, Label12{"Label12"};

    HMODULE SkinModule = nullptr;

    void AdjustCreateParams(ui::CreateParams& p) override { SkinnedFrame(p); }
    void FormShow() override;
    void FormDestroy() override;
    void Image3Click();  // OK
    void Image4Click();  // Cancel
};

extern TForm5* Form5;
