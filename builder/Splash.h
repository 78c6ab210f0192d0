// The start-up picture: closes itself after two seconds, or at once on a click.
#pragma once
#include "ui.h"

class TSplash : public ui::Form {
public:
    TSplash();
    ui::Panel Panel1{"Panel1"};
    ui::Image Image1{"Image1"};
    ui::Timer Timer1{"Timer1"};

    void FormShow() override;
    void Image1Click();
    void Timer1Timer();
};

extern TSplash* Splash;
