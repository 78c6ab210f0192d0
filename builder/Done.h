// The project-complete dialog: the package summary, the distribution ZIP and Run Setup.
#pragma once
#include "ui.h"

class TDone1 : public ui::Form {
public:
    TDone1();
};

extern TDone1* Done1;
