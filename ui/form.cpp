// Forms: top-level windows that own a layout of controls.
#include "ui.h"
#include "TextReport.h"

#include <algorithm>

namespace ui {

static const char* const kSkinnedClass = "Skykit Builder";

static void RegisterFormClass(const std::string& name) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExA(ModuleInstance(), name.c_str(), &existing)) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Form::WndProc;
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconA(ModuleInstance(), "MAINICON");
    if (!wc.hIcon) wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.lpszClassName = name.c_str();
    RegisterClassExA(&wc);
}

Form::Form(const char* name, int clientWidth, int clientHeight)
    : Container(name), clientW_(clientWidth), clientH_(clientHeight) {
    visible_ = false;
    bounds_ = {0, 0, clientWidth, clientHeight};
}

Form::~Form() {
    Destroy();
    if (tooltip_) DestroyWindow(tooltip_);
    if (hwnd_) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void Form::SkinnedFrame(CreateParams& p) {
    p.Style &= ~WS_DLGFRAME;
    p.Style |= WS_POPUP;
    p.ClassName = kSkinnedClass;
}

void Form::TitleMouseDown(MouseButton button) {
    if (button != MouseButton::Left || !hwnd_) return;
    ReleaseCapture();
    SendMessageA(hwnd_, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
}

void Form::DragBy(std::initializer_list<Control*> strip) {
    for (Control* c : strip) c->OnMouseDown = [this](MouseButton b, int, int) { TitleMouseDown(b); };
}

void Form::CreateWindowFor() {
    CreateParams p;
    switch (Border) {
        case BorderStyle::Dialog:
            p.Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
            p.ExStyle = WS_EX_DLGMODALFRAME;
            break;
        case BorderStyle::Single:
            p.Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
            break;
        case BorderStyle::None:
            p.Style = WS_POPUP;
            break;
    }
    p.Style |= WS_CLIPCHILDREN;
    p.ExStyle |= WS_EX_CONTROLPARENT;
    if (TopMost) p.ExStyle |= WS_EX_TOPMOST;
    AdjustCreateParams(p);
    RegisterFormClass(p.ClassName);

    RECT r{0, 0, clientW_, clientH_};
    AdjustWindowRectEx(&r, p.Style, FALSE, p.ExStyle);
    int w = r.right - r.left, h = r.bottom - r.top;
    int x = Left, y = Top;
    if (Placement == Position::ScreenCenter) {
        x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    }
    // Secondary forms belong to the main form, so they stay above it and leave the taskbar to it.
    HWND owner = p.Parent;
    if (!owner && App && App->MainForm && App->MainForm != this) owner = App->MainForm->Handle();
    hwnd_ = CreateWindowExA(p.ExStyle, p.ClassName.c_str(), Title.c_str(), p.Style, x, y, w, h, owner, nullptr,
                            ModuleInstance(), this);
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<Container*>(this)));

    tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               ModuleInstance(), nullptr);
    // Hints may hold line breaks.
    SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);
}

void Form::Build(std::initializer_list<Place> layout) {
    if (!hwnd_) CreateWindowFor();
    Layout(layout);
}

void Form::Layout(std::initializer_list<Place> layout) {
    for (const Place& p : layout) {
        Container* parent = p.parent ? p.parent : this;
        if (p.caption) p.control.SetCaption(p.caption);
        p.control.Attach(parent, p.bounds);
        all_.push_back(&p.control);
    }
    // Tab order: windowed controls that name one are put in that order after the others.
    std::vector<Control*> ordered;
    for (Control* c : all_)
        if (c->TabPosition() >= 0) ordered.push_back(c);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](Control* a, Control* b) { return a->TabPosition() < b->TabPosition(); });
    HWND prev = HWND_TOP;
    for (Control* w : ordered) {
        SetWindowPos(w->Handle(), prev, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        prev = w->Handle();
    }
    for (Control* c : all_) c->RefreshTool();
}

Control* Form::FindControl(const std::string& name) const {
    for (Control* c : all_)
        if (c->Name == name) return c;
    return nullptr;
}

std::vector<Control*> Form::AllControls() const { return all_; }

void Form::Show() {
    if (!hwnd_) CreateWindowFor();
    if (embeddedIn_) {
        RECT r;
        GetClientRect(embeddedIn_->Handle(), &r);
        MoveWindow(hwnd_, 0, 0, r.right, r.bottom, TRUE);
    }
    bool wasVisible = IsWindowVisible(hwnd_);
    visible_ = true;
    if (!wasVisible) {
        wantFocus_ = nullptr;
        App->Guard([this] { FormShow(); });
    }
    if (!visible_) return;  // the show handler closed the form again
    ShowWindow(hwnd_, SW_SHOW);
    if (!embeddedIn_) SetForegroundWindow(hwnd_);
    // The show handler ran while the window was hidden: its focus choice holds now.
    if (!wasVisible && wantFocus_ && IsWindow(wantFocus_) && IsChild(hwnd_, wantFocus_) && GetFocus() != wantFocus_)
        ::SetFocus(wantFocus_);
    UpdateWindow(hwnd_);
}

void Form::Hide() {
    visible_ = false;
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

static BOOL CALLBACK CollectEnabled(HWND h, LPARAM lp) {
    auto* v = reinterpret_cast<std::vector<HWND>*>(lp);
    if (IsWindowVisible(h) && IsWindowEnabled(h)) v->push_back(h);
    return TRUE;
}

int Form::ShowModal() {
    if (!hwnd_) CreateWindowFor();
    HWND previous = GetActiveWindow();
    // Every other window of the program waits while a modal form is up.
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), CollectEnabled, reinterpret_cast<LPARAM>(&disabled));
    std::erase(disabled, hwnd_);
    std::erase(disabled, tooltip_);
    for (HWND h : disabled) EnableWindow(h, FALSE);

    modal_ = true;
    ModalResult = mrNone;
    Show();
    MSG msg;
    while (ModalResult == mrNone && !App->Terminated) {
        if (!visible_) {
            ModalResult = mrCancel;
            break;
        }
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            App->Terminated = true;
            if (got == 0) PostQuitMessage((int)msg.wParam);
            break;
        }
        if (App->HelpKey(msg)) continue;
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && IsDialogMessageA(hwnd_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    modal_ = false;
    for (HWND h : disabled)
        if (IsWindow(h)) EnableWindow(h, TRUE);
    Hide();
    // The window that was active before gets the keyboard back, as after any dialog.
    if (previous && previous != hwnd_ && IsWindow(previous) && IsWindowVisible(previous)) SetForegroundWindow(previous);
    int result = ModalResult == mrNone ? mrCancel : ModalResult;
    return result;
}

void Form::Close() {
    bool allow = true;
    App->Guard([&] { FormClose(allow); });
    if (!allow) return;
    if (modal_) {
        ModalResult = mrCancel;
        Hide();
        return;
    }
    Hide();
    if (App && App->MainForm == this) App->Terminate();
}

void Form::SetClientHeight(int h) {
    clientH_ = h;
    if (!hwnd_) return;
    RECT r{0, 0, clientW_, h};
    AdjustWindowRectEx(&r, GetWindowLongA(hwnd_, GWL_STYLE), FALSE, GetWindowLongA(hwnd_, GWL_EXSTYLE));
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window's outer height, borders included, as the forms' designs give it.
void Form::SetWindowHeight(int h) {
    if (!hwnd_) CreateWindowFor();
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT c;
    GetClientRect(hwnd_, &c);
    clientH_ = c.bottom;
}

int Form::WindowHeight() const {
    RECT r{};
    if (hwnd_) GetWindowRect(hwnd_, &r);
    return r.bottom - r.top;
}

void Form::Embed(Container* panel) {
    if (!hwnd_) CreateWindowFor();
    embeddedIn_ = panel;
    LONG style = GetWindowLongA(hwnd_, GWL_STYLE);
    if (panel) {
        style = (style & ~(WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME)) | WS_CHILD;
        SetWindowLongA(hwnd_, GWL_STYLE, style);
        SetWindowLongA(hwnd_, GWL_EXSTYLE, GetWindowLongA(hwnd_, GWL_EXSTYLE) & ~(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST));
        SetParent(hwnd_, panel->Handle());
        RECT r;
        GetClientRect(panel->Handle(), &r);
        SetWindowPos(hwnd_, HWND_TOP, 0, 0, r.right, r.bottom, SWP_FRAMECHANGED);
    }
}

void Form::Destroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (App) App->Guard([this] { FormDestroy(); });
}

// Messages for the form itself; everything else is its container's.
LRESULT Form::HandleMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    handled = true;
    // A find-and-replace dialog owned by this form reports a button press.
    if (msg == ReplaceDialog::Message()) {
        ReplaceDialog::Dispatch(lp);
        return 0;
    }
    if (msg == textreport::Message()) {
        std::vector<textreport::Item> items;
        ReportText(Name + " \"" + Title + "\"", {}, items);
        textreport::Send(reinterpret_cast<HWND>(wp), hwnd_, items);
        return 1;
    }
    if (msg == WM_CLOSE) {
        Close();
        return 0;
    }
    return Container::HandleMessage(h, msg, wp, lp, handled);
}

}  // namespace ui
