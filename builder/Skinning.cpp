#include "Skinning.h"

namespace skin {

HMODULE LoadFor(ui::Form& form) {
    HMODULE lib = ui::LoadSkinLibrary();
    if (!lib) {
        ui::desktop().MessageBox(form.Handle(), ui::SkinErrorText, "Skykit Builder", MB_OK | MB_ICONEXCLAMATION);
        ui::App->Terminate();
    }
    return lib;
}

void LoadAll(HMODULE lib, std::initializer_list<std::pair<ui::Image*, const char*>> list) {
    try {
        for (auto& [image, name] : list) image->LoadSkin(lib, name);
    } catch (const ui::Error&) {
    }
}

void BindButton(ui::Image& image, ui::Label& label, HMODULE& lib, std::function<void()> onClick, const char* rest,
                const char* pressed) {
    auto down = [&image, &lib, pressed](ui::MouseButton, int, int) { image.LoadSkin(lib, pressed); };
    auto up = [&image, &lib, rest](ui::MouseButton, int, int) { image.LoadSkin(lib, rest); };
    image.OnMouseDown = label.OnMouseDown = down;
    image.OnMouseUp = label.OnMouseUp = up;
    image.OnClick = label.OnClick = std::move(onClick);
    // The caption sits centred on its button, whatever its length.
    label.Alignment = ui::Align::Center;
    label.AutoSize = false;
    label.VCenter = true;
    label.SetBounds(image.Bounds());
}

}  // namespace skin
