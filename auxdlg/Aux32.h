// Aux32.dll: the dialog library both programs link against by import.
//
// Each Make function creates a form owned by the given window and returns it; the caller
// shows it modally with AuxShowModal and then destroys it with AuxFreeForm.
#pragma once
#include <windows.h>

#ifdef AUX32_BUILD
#define AUX32_API __declspec(dllexport)
#else
#define AUX32_API __declspec(dllimport)
#endif

extern "C" {
typedef struct AuxForm AuxForm;

// The about box: product name, version and credits.
AUX32_API AuxForm* __stdcall MakeAboutForm(HWND owner);
// Favourite flight-simulation sites; the chosen one opens in the user's browser.
AUX32_API AuxForm* __stdcall MakeUrlForm(HWND owner);
// Shows the form modally; returns its modal result (1 OK, 2 Cancel).
AUX32_API int __stdcall AuxShowModal(AuxForm* form);
AUX32_API void __stdcall AuxFreeForm(AuxForm* form);
// The form's window while it exists (for tests and drivers).
AUX32_API HWND __stdcall AuxFormHandle(AuxForm* form);
// What the forms hand to the shell (a site, the guide) goes through the caller's desktop seam,
// a ui::Desktop of a program built with the same form framework; nullptr: the library's own.
AUX32_API void __stdcall AuxSetDesktop(void* desktop);
}
