// What every skinned builder form does with the skin library.
#pragma once
#include "ui.h"

namespace skin {

// Loads "Skin32.dll" for a form. When it cannot be loaded, tells the user (a box owned by
// the form) and asks the application to end; the form is then built without its bitmaps.
HMODULE LoadFor(ui::Form& form);

// Loads bitmaps in order; the first one the library lacks ends the list silently, as a
// missing bitmap is not worth stopping the program for.
void LoadAll(HMODULE lib, std::initializer_list<std::pair<ui::Image*, const char*>> list);

// An image button: the image shows its faces (the skin's common button unless given) at rest
// and while the mouse button is down; the image and its label share the press handlers and
// the click handler.
void BindButton(ui::Image& image, ui::Label& label, HMODULE& lib, std::function<void()> onClick,
                const char* rest = ui::kSkinButton.rest, const char* pressed = ui::kSkinButton.pressed);

}  // namespace skin
