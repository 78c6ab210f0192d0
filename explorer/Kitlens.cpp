// Kitlens, the Skykit Explorer: start-up.
#include "Kitlens.h"

#include "Email.h"
#include "Kitlensform.h"

void RunKitlens() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    ui::App->Title = "Skykit Explorer";
    try {
        // Simple MAPI is bound once, before the window exists; a library without all of its
        // entry points stops the program here.
        BindSimpleMapi();
        ui::App->CreateForm(Kitlens);
        ui::App->Run();
    } catch (const std::exception& e) {
        ui::App->ShowException(e);
    }
    ui::App->DestroyForms();
    Kitlens = nullptr;
    UnbindSimpleMapi();
}
