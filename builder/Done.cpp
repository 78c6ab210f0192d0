#include "Done.h"

TDone1* Done1 = nullptr;

TDone1::TDone1() : Form("Done1", 282, 325) {
    Title = "SKKT Project Builder";
    Build({});
}
