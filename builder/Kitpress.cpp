// Kitpress, the Skykit Builder: start-up and the form set.
#include "Aux32.h"
#include "Build1.h"
#include "Build2.h"
#include "Build3.h"
#include "Build5.h"
#include "Build9.h"
#include "Done.h"
#include "Splash.h"
#include "Kitpress.h"

void RunKitpress() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    ui::App->Title = "Skykit Builder";
    try {
        // The splash holds start-up until it closes itself (two seconds) or is clicked.
        Splash = new TSplash();
        ui::App->Own(Splash);
        Splash->ShowModal();

        ui::App->CreateForm(Form1);
        ui::App->CreateForm(Form2);
        ui::App->CreateForm(Form5);
        ui::App->CreateForm(Done1);
        ui::App->CreateForm(Form3);
        ui::App->CreateForm(Splash);
        ui::App->CreateForm(Option1);
        ui::App->Run();
    } catch (const ui::Error& e) {
        ui::App->ShowException(e);
    }
    ui::App->DestroyForms();
}
