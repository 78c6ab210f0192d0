// The legal texts editor: the add-on's description and its terms of use.
#pragma once
#include "ui.h"

class TForm2 : public ui::Form {
public:
    TForm2();
    ui::Image Image1{"Image1"};
    ui::Image Image2{"Image2"}, Image3{"Image3"}, Image4{"Image4"}, Image5{"Image5"};
    HMODULE SkinModule = nullptr;
    void FormDestroy() override;
};

extern TForm2* Form2;
