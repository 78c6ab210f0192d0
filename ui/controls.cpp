// Controls: drawn ones (label, image, shape, bevel, speed button) and windowed ones.
#include "ui.h"
#include "TextReport.h"

#include <richedit.h>

#include <algorithm>
#include <climits>
#include <map>

namespace ui {

HFONT Font::handle() const {
    // Fonts are few and live as long as the process: cache by their description.
    static std::map<std::string, HFONT> cache;
    std::string key = name + "|" + std::to_string(size) + "|" + std::to_string(pixelHeight) + "|" +
                      (bold ? "b" : "") + (italic ? "i" : "") + (underline ? "u" : "");
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    int height = pixelHeight ? -pixelHeight : -MulDiv(size, 96, 72);
    HFONT f = CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, underline, FALSE,
                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, name.c_str());
    cache[key] = f;
    return f;
}

// ---------------------------------------------------------------------------------------
// Control

Control::~Control() {
    if (parent_) parent_->RemoveChild(this);
}

Form* Control::OwnerForm() const { return parent_ ? parent_->OwnerForm() : nullptr; }

HWND Control::Handle() const { return parent_ ? parent_->Handle() : nullptr; }

void Control::SetBounds(const Rect& r) {
    RECT old{bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h};
    bounds_ = r;
    if (Windowed()) {
        if (Handle() && Handle() != (parent_ ? parent_->Handle() : nullptr))
            MoveWindow(Handle(), r.x, r.y, r.w, r.h, TRUE);
    } else if (parent_ && parent_->Handle()) {
        InvalidateRect(parent_->Handle(), &old, TRUE);
        Invalidate();
    }
    RefreshTool();
}

void Control::SetVisible(bool v) {
    visible_ = v;
    Invalidate();
    if (!v && parent_ && parent_->Handle()) {
        RECT r{bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h};
        InvalidateRect(parent_->Handle(), &r, TRUE);
    }
}

void Control::SetEnabled(bool e) {
    enabled_ = e;
    Invalidate();
}

void Control::SetShowHint(bool on) {
    showHint_ = on;
    RefreshTool();
}

void Control::SetHint(const std::string& hint) {
    Hint = hint;
    RefreshTool();
}

void Control::SetCaption(const std::string& text) {
    caption_ = text;
    Invalidate();
}

RECT Control::ScreenRect() const {
    RECT r{};
    if (Windowed() && Handle()) {
        GetWindowRect(Handle(), &r);
        return r;
    }
    POINT p{bounds_.x, bounds_.y};
    if (parent_ && parent_->Handle()) ClientToScreen(parent_->Handle(), &p);
    return RECT{p.x, p.y, p.x + bounds_.w, p.y + bounds_.h};
}

void Control::Invalidate() {
    if (Windowed()) {
        if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
        return;
    }
    if (parent_ && parent_->Handle()) {
        RECT r{bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h};
        InvalidateRect(parent_->Handle(), &r, TRUE);
    }
}

void Control::SetFocus() {
    if (!Windowed() || !Handle()) return;
    if (Form* f = OwnerForm()) f->WantFocus(Handle());
    ::SetFocus(Handle());
}

bool Control::Focused() const { return Windowed() && Handle() && GetFocus() == Handle(); }

void Control::Click() {
    if (OnClick) App->Guard(OnClick);
}
void Control::DblClick() {
    if (OnDblClick) App->Guard(OnDblClick);
}
void Control::MouseDown(MouseButton b, int x, int y) {
    if (OnMouseDown) App->Guard([&] { OnMouseDown(b, x, y); });
}
void Control::MouseUp(MouseButton b, int x, int y) {
    if (OnMouseUp) App->Guard([&] { OnMouseUp(b, x, y); });
}
void Control::MouseMove(int x, int y) {
    if (OnMouseMove) App->Guard([&] { OnMouseMove(x, y); });
}

void Control::Attach(Container* parent, const Rect& r) {
    parent_ = parent;
    bounds_ = r;
    if (parent) parent->AddChild(this);
}

// Each control with a hint is one tool of its form's tooltip window.
void Control::RefreshTool() {
    Form* f = OwnerForm();
    if (!f || !f->Tooltip() || !parent_) return;
    TOOLINFOA ti{};
    ti.cbSize = sizeof(ti);
    if (Windowed()) {
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = parent_->Handle();
        ti.uId = reinterpret_cast<UINT_PTR>(Handle());
    } else {
        ti.uFlags = TTF_SUBCLASS;
        ti.hwnd = parent_->Handle();
        ti.uId = reinterpret_cast<UINT_PTR>(this);
        ti.rect = RECT{bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h};
    }
    if (!ti.hwnd || (Windowed() && !Handle())) return;
    SendMessageA(f->Tooltip(), TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    if (showHint_ && !Hint.empty()) {
        ti.lpszText = const_cast<char*>(Hint.c_str());
        SendMessageA(f->Tooltip(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

// ---------------------------------------------------------------------------------------
// Container

void Container::RemoveChild(Control* c) {
    for (auto it = children_.begin(); it != children_.end(); ++it)
        if (*it == c) {
            children_.erase(it);
            break;
        }
    if (captured_ == c) captured_ = nullptr;
    if (hover_ == c) hover_ = nullptr;
}

Control* Container::DrawnChildAt(int x, int y) const {
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        Control* c = *it;
        if (c->Windowed() || !c->Visible()) continue;
        const Rect& r = c->Bounds();
        if (x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h) return c;
    }
    return nullptr;
}

void Container::SetVisible(bool v) {
    visible_ = v;
    if (hwnd_ && parent_) ShowWindow(hwnd_, v ? SW_SHOW : SW_HIDE);
}

void Container::SetEnabled(bool e) {
    enabled_ = e;
    if (hwnd_) EnableWindow(hwnd_, e);
}

void Container::PaintAll(HDC dc, const RECT& client) {
    HBRUSH br = CreateSolidBrush(Color);
    FillRect(dc, &client, br);
    DeleteObject(br);
    for (Control* c : children_) {
        if (c->Windowed() || !c->Visible()) continue;
        const Rect& r = c->Bounds();
        RECT rc{r.x, r.y, r.x + r.w, r.y + r.h}, tmp;
        if (!IntersectRect(&tmp, &rc, &client)) continue;
        int saved = SaveDC(dc);
        IntersectClipRect(dc, rc.left, rc.top, rc.right, rc.bottom);
        c->Paint(dc);
        RestoreDC(dc, saved);
    }
    PaintFrame(dc, client);
}

void Container::ReportText(const std::string& window, const Rect&, std::vector<textreport::Item>& out) const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    const Rect area{0, 0, client.right, client.bottom};
    for (Control* c : children_)
        if (c->Visible()) c->ReportText(window, area, out);
}

static MouseButton ButtonOf(UINT msg) {
    switch (msg) {
        case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return MouseButton::Right;
        case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: return MouseButton::Middle;
        default: return MouseButton::Left;
    }
}

static void PopupAtCursor(Control* c) {
    if (!c || !c->Popup) return;
    POINT p;
    GetCursorPos(&p);
    HWND owner = c->OwnerForm() ? c->OwnerForm()->Handle() : c->Handle();
    c->Popup->Popup(owner, p.x, p.y);
}

// Routes messages of a panel or form to its drawn children and its windowed children's
// commands back to the control that sent them.
LRESULT Container::HandleMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    handled = true;
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            RECT client;
            GetClientRect(h, &client);
            // Paint into a memory bitmap first: a background image with labels over it would
            // flicker when drawn straight to the screen.
            HDC mem = CreateCompatibleDC(dc);
            HBITMAP bmp = CreateCompatibleBitmap(dc, client.right, client.bottom);
            HGDIOBJ old = SelectObject(mem, bmp);
            PaintAll(mem, client);
            BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                   ps.rcPaint.bottom - ps.rcPaint.top, mem, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
            SelectObject(mem, old);
            DeleteObject(bmp);
            DeleteDC(mem);
            EndPaint(h, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK: {
            int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
            Control* c = DrawnChildAt(x, y);
            Control* target = c ? c : this;
            if (c && !c->Enabled()) return 0;
            if (c) {
                captured_ = c;
                SetCapture(h);
                c->PressChanged(true);
            }
            const Rect& r = target->Bounds();
            target->MouseDown(ButtonOf(msg), c ? x - r.x : x, c ? y - r.y : y);
            if (msg == WM_LBUTTONDBLCLK) target->DblClick();
            return 0;
        }
        case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP: {
            int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
            Control* c = captured_;
            captured_ = nullptr;
            if (GetCapture() == h) ReleaseCapture();
            if (!c) c = DrawnChildAt(x, y);
            Control* target = c ? c : this;
            const Rect& r = target->Bounds();
            int cx = c ? x - r.x : x, cy = c ? y - r.y : y;
            bool inside = c && cx >= 0 && cy >= 0 && cx < r.w && cy < r.h;
            if (c) c->PressChanged(false);
            target->MouseUp(ButtonOf(msg), cx, cy);
            // A click is a press and release of the left button over the same control.
            if (msg == WM_LBUTTONUP && inside && c->Enabled()) c->Click();
            if (msg == WM_RBUTTONUP) PopupAtCursor(c ? c : this);
            return 0;
        }
        case WM_MOUSEMOVE: {
            int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
            Control* c = captured_ ? captured_ : DrawnChildAt(x, y);
            if (c != hover_) {
                if (hover_) hover_->HoverChanged(false);
                hover_ = c;
                if (c) c->HoverChanged(true);
                TRACKMOUSEEVENT t{sizeof(t), TME_LEAVE, h, 0};
                TrackMouseEvent(&t);
            }
            Control* target = c ? c : this;
            const Rect& r = target->Bounds();
            target->MouseMove(c ? x - r.x : x, c ? y - r.y : y);
            return 0;
        }
        case WM_MOUSELEAVE:
            if (hover_) hover_->HoverChanged(false);
            hover_ = nullptr;
            return 0;
        case WM_SETCURSOR: {
            if (reinterpret_cast<HWND>(wp) != h || LOWORD(lp) != HTCLIENT) break;
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(h, &p);
            Control* c = DrawnChildAt(p.x, p.y);
            HCURSOR cur = c && c->Cursor ? c->Cursor : Cursor;
            if (!cur) break;
            SetCursor(cur);
            return TRUE;
        }
        case WM_COMMAND: {
            HWND child = reinterpret_cast<HWND>(lp);
            if (child) {
                auto* c = reinterpret_cast<WinControl*>(GetWindowLongPtrA(child, GWLP_USERDATA));
                if (c) App->Guard([&] { c->Command(HIWORD(wp)); });
                return 0;
            }
            break;
        }
        case WM_NOTIFY: {
            auto* nm = reinterpret_cast<NMHDR*>(lp);
            auto* c = reinterpret_cast<WinControl*>(GetWindowLongPtrA(nm->hwndFrom, GWLP_USERDATA));
            if (c && nm->hwndFrom != nullptr && GetParent(nm->hwndFrom) == h) {
                LRESULT r = 0;
                App->Guard([&] { r = c->Notify(nm); });
                return r;
            }
            break;
        }
        case WM_CTLCOLORSTATIC: case WM_CTLCOLORBTN: {
            HWND child = reinterpret_cast<HWND>(lp);
            auto* c = reinterpret_cast<WinControl*>(GetWindowLongPtrA(child, GWLP_USERDATA));
            if (c && c->Enabled())
                if (HBRUSH b = c->CtlColor(reinterpret_cast<HDC>(wp), Color)) return reinterpret_cast<LRESULT>(b);
            break;
        }
        case WM_CONTEXTMENU: {
            HWND from = reinterpret_cast<HWND>(wp);
            if (from != h) {
                auto* c = reinterpret_cast<WinControl*>(GetWindowLongPtrA(from, GWLP_USERDATA));
                if (c && c->Popup) {
                    PopupAtCursor(c);
                    return 0;
                }
            }
            break;
        }
        default:
            break;
    }
    handled = false;
    return 0;
}

// The window stores its container at creation (before that, the system's defaults answer).
LRESULT CALLBACK Container::WndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (auto* c = reinterpret_cast<Container*>(GetWindowLongPtrA(h, GWLP_USERDATA))) {
        bool handled;
        LRESULT r = c->HandleMessage(h, msg, wp, lp, handled);
        if (handled) return r;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

// ---------------------------------------------------------------------------------------
// Panel: a container with its own child window.

void Panel::Attach(Container* parent, const Rect& r) {
    Control::Attach(parent, r);
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = WndProc;
        wc.hInstance = ModuleInstance();
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = "TSkykitPanel";
        RegisterClassA(&wc);
        registered = true;
    }
    hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, "TSkykitPanel", "",
                            WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (visible_ ? WS_VISIBLE : 0), r.x,
                            r.y, r.w, r.h, parent->Handle(), nullptr, ModuleInstance(), nullptr);
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<Container*>(this)));
}

void Panel::PaintFrame(HDC dc, const RECT& client) {
    RECT r = client;
    for (Bevel b : {Outer, Inner}) {
        if (b == Bevel::None) continue;
        DrawEdge(dc, &r, b == Bevel::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
        InflateRect(&r, -1, -1);
    }
}

// ---------------------------------------------------------------------------------------
// Label

int Label::TextWidth(const std::string& text) const {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font.handle());
    SIZE s{};
    GetTextExtentPoint32A(dc, text.c_str(), (int)text.size(), &s);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return s.cx;
}

void Label::Fit() {
    if (!AutoSize || WordWrap || VCenter) return;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font.handle());
    RECT r{0, 0, 0, 0};
    std::string t = caption_.empty() ? " " : caption_;
    DrawTextA(dc, t.c_str(), (int)t.size(), &r, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    RECT oldR{bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h};
    if (parent_ && parent_->Handle()) InvalidateRect(parent_->Handle(), &oldR, TRUE);
    bounds_.w = r.right;
    bounds_.h = r.bottom;
}

void Label::SetCaption(const std::string& text) {
    caption_ = text;
    Fit();
    Invalidate();
    RefreshTool();
}

void Label::Attach(Container* parent, const Rect& r) {
    Control::Attach(parent, r);
    Fit();
}

void Label::Paint(HDC dc) {
    RECT r{bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h};
    if (!Transparent) {
        HBRUSH b = CreateSolidBrush(Color);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, Font.handle());
    UINT fmt = DT_NOPREFIX | (WordWrap ? DT_WORDBREAK : 0) | (VCenter ? DT_VCENTER | DT_SINGLELINE : 0);
    if (Alignment == Align::Center) fmt |= DT_CENTER;
    if (Alignment == Align::Right) fmt |= DT_RIGHT;
    if (!enabled_) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(dc, Font.color);
    }
    DrawTextA(dc, caption_.c_str(), (int)caption_.size(), &r, fmt);
}

// A text drawn by the container, with the part of its box the container leaves visible (a
// label wider than its panel is cut at the panel's edge) and at most maxHeight of it.
static void ReportDrawnText(const Control& c, const char* kind, UINT format, int maxHeight, const std::string& window,
                            const Rect& area, std::vector<textreport::Item>& out) {
    if (c.Caption().empty()) return;
    const Rect& r = c.Bounds();
    textreport::Item it;
    it.window = window;
    it.name = c.Name;
    it.kind = kind;
    it.text = c.Caption();
    it.boxW = std::max(0, std::min(r.x + r.w, area.w) - std::max(r.x, 0));
    it.boxH = std::min(maxHeight, std::max(0, std::min(r.y + r.h, area.h) - std::max(r.y, 0)));
    it.font = c.Font.handle();
    it.format = format;
    out.push_back(std::move(it));
}

void Label::ReportText(const std::string& window, const Rect& area, std::vector<textreport::Item>& out) const {
    ReportDrawnText(*this, "label", DT_NOPREFIX | (WordWrap ? DT_WORDBREAK : DT_SINGLELINE), INT_MAX, window, area,
                    out);
}

// ---------------------------------------------------------------------------------------
// Image

Image::~Image() { Clear(); }

void Image::SetBitmap(HBITMAP bmp) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = bmp;
    icon_ = nullptr;
    picW_ = picH_ = 0;
    if (bmp) {
        BITMAP bm{};
        GetObjectA(bmp, sizeof(bm), &bm);
        picW_ = bm.bmWidth;
        picH_ = bm.bmHeight;
    }
    Invalidate();
}

void Image::SetIcon(HICON icon) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = nullptr;
    icon_ = icon;
    picW_ = GetSystemMetrics(SM_CXICON);
    picH_ = GetSystemMetrics(SM_CYICON);
    Invalidate();
}

void Image::LoadSkin(HMODULE library, const char* name) {
    HBITMAP b = library ? LoadBitmapA(library, name) : nullptr;
    if (!b) throw EResNotFound(std::string("Resource ") + name + " not found");
    SetBitmap(b);
}

void Image::LoadFromFile(const std::string& path) {
    if (!FileExists(path)) throw Error("Cannot open file \"" + path + "\". The system cannot find the file specified");
    auto* b = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                              LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!b) throw Error("Bitmap image is not valid");
    SetBitmap(b);
}

void Image::Clear() {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = nullptr;
    icon_ = nullptr;
    picW_ = picH_ = 0;
    Invalidate();
}

void Image::Paint(HDC dc) {
    if (icon_) {
        int x = bounds_.x, y = bounds_.y;
        if (Center) {
            x += (bounds_.w - picW_) / 2;
            y += (bounds_.h - picH_) / 2;
        }
        DrawIconEx(dc, x, y, icon_, 0, 0, 0, nullptr, DI_NORMAL);
        return;
    }
    if (!bitmap_) return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap_);
    if (Stretch) {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, bounds_.x, bounds_.y, bounds_.w, bounds_.h, mem, 0, 0, picW_, picH_, SRCCOPY);
    } else {
        int x = bounds_.x, y = bounds_.y;
        if (Center) {
            x += (bounds_.w - picW_) / 2;
            y += (bounds_.h - picH_) / 2;
        }
        BitBlt(dc, x, y, picW_, picH_, mem, 0, 0, SRCCOPY);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
}

// ---------------------------------------------------------------------------------------
// Shape, bevel, speed button

void Shape::Paint(HDC dc) {
    HPEN pen = CreatePen(PS_SOLID, 1, Pen);
    HBRUSH br = CreateSolidBrush(Brush);
    HGDIOBJ op = SelectObject(dc, pen), ob = SelectObject(dc, br);
    if (Rounded)
        RoundRect(dc, bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h, 8, 8);
    else
        Rectangle(dc, bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h);
    SelectObject(dc, op);
    SelectObject(dc, ob);
    DeleteObject(pen);
    DeleteObject(br);
}

void BevelLine::Paint(HDC dc) {
    RECT r{bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h};
    UINT edge = Lowered ? EDGE_ETCHED : EDGE_BUMP;
    if (Box) {
        DrawEdge(dc, &r, edge, BF_RECT);
        return;
    }
    if (Vertical) {
        r.left = bounds_.x + bounds_.w / 2 - 1;
        r.right = r.left + 2;
        DrawEdge(dc, &r, edge, BF_LEFT);
    } else {
        r.top = bounds_.y + bounds_.h / 2 - 1;
        r.bottom = r.top + 2;
        DrawEdge(dc, &r, edge, BF_TOP);
    }
}

SpeedButton::~SpeedButton() {
    if (glyph_) DeleteObject(glyph_);
    if (icon_) DestroyIcon(icon_);
}

void SpeedButton::SetGlyph(HBITMAP glyph) {
    if (glyph_) DeleteObject(glyph_);
    glyph_ = glyph;
    Invalidate();
}

void SpeedButton::SetGlyphIcon(HICON icon) {
    if (icon_) DestroyIcon(icon_);
    icon_ = icon;
    Invalidate();
}

// A toolbar button's caption has a 14-pixel strip under its glyph.
void SpeedButton::ReportText(const std::string& window, const Rect& area, std::vector<textreport::Item>& out) const {
    ReportDrawnText(*this, "speedbutton", DT_NOPREFIX | DT_SINGLELINE, GlyphAbove ? 14 : INT_MAX, window, area, out);
}

void SpeedButton::Paint(HDC dc) {
    RECT r{bounds_.x, bounds_.y, bounds_.x + bounds_.w, bounds_.y + bounds_.h};
    if (!Flat) {
        HBRUSH face = CreateSolidBrush(hot ? RGB(232, 238, 246) : GetSysColor(COLOR_BTNFACE));
        FillRect(dc, &r, face);
        DeleteObject(face);
    }
    if (down)
        DrawEdge(dc, &r, Flat ? BDR_SUNKENOUTER : EDGE_SUNKEN, BF_RECT);
    else if (!Flat)
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
    else if (hot || !Flat)
        DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
    int off = down ? 1 : 0;
    if (GlyphAbove && glyph_) {
        // Toolbar style: the glyph in the upper part, the caption under it.
        BITMAP bm{};
        GetObjectA(glyph_, sizeof(bm), &bm);
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, glyph_);
        COLORREF key = GetPixel(mem, 0, bm.bmHeight - 1);
        int textH = caption_.empty() ? 0 : 14;
        int top = r.top + (bounds_.h - bm.bmHeight - textH) / 2 + off;
        TransparentBlt(dc, r.left + (bounds_.w - bm.bmWidth) / 2 + off, top, bm.bmWidth, bm.bmHeight, mem, 0, 0,
                       bm.bmWidth, bm.bmHeight, key);
        SelectObject(mem, old);
        DeleteDC(mem);
        if (!caption_.empty()) {
            SetBkMode(dc, TRANSPARENT);
            SelectObject(dc, Font.handle());
            SetTextColor(dc, enabled_ ? Font.color : GetSysColor(COLOR_GRAYTEXT));
            RECT t{r.left + off, top + bm.bmHeight + 1, r.right + off, top + bm.bmHeight + 1 + textH};
            DrawTextA(dc, caption_.c_str(), (int)caption_.size(), &t, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        }
    } else if (icon_) {
        DrawIconEx(dc, r.left + (bounds_.w - 16) / 2 + off, r.top + (bounds_.h - 16) / 2 + off, icon_, 16, 16, 0,
                   nullptr, DI_NORMAL);
    } else if (glyph_) {
        BITMAP bm{};
        GetObjectA(glyph_, sizeof(bm), &bm);
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, glyph_);
        COLORREF key = GetPixel(mem, 0, bm.bmHeight - 1);
        TransparentBlt(dc, r.left + (bounds_.w - bm.bmWidth) / 2 + off, r.top + (bounds_.h - bm.bmHeight) / 2 + off,
                       bm.bmWidth, bm.bmHeight, mem, 0, 0, bm.bmWidth, bm.bmHeight, key);
        SelectObject(mem, old);
        DeleteDC(mem);
    } else if (!caption_.empty()) {
        SetBkMode(dc, TRANSPARENT);
        SelectObject(dc, Font.handle());
        SetTextColor(dc, enabled_ ? Font.color : GetSysColor(COLOR_GRAYTEXT));
        OffsetRect(&r, off, off);
        DrawTextA(dc, caption_.c_str(), (int)caption_.size(), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
}

// ---------------------------------------------------------------------------------------
// Windowed controls

void WinControl::Attach(Container* parent, const Rect& r) {
    Control::Attach(parent, r);
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | Style() | (visible_ ? WS_VISIBLE : 0) | (TabStop ? WS_TABSTOP : 0) |
                  (enabled_ ? 0 : WS_DISABLED);
    hwnd_ = CreateWindowExA(ExStyle(), WindowClass(), caption_.c_str(), style, r.x, r.y, r.w, r.h, parent->Handle(),
                            nullptr, ModuleInstance(), nullptr);
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Font.handle()), FALSE);
    SetWindowSubclass(hwnd_, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
    Created();
}

// Radio buttons and check boxes are drawn transparently over their own colour, by default the
// parent's (remembered from the first time they ask).
HBRUSH WinControl::CtlColor(HDC dc, COLORREF parentColor) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Font.color);
    if (Color == CLR_INVALID) Color = parentColor;
    return BackgroundBrush();
}

void WinControl::ReportText(const std::string& window, const Rect&, std::vector<textreport::Item>& out) const {
    textreport::AddWindowed(hwnd_, window, Name, out);
}

HBRUSH WinControl::BackgroundBrush() {
    if (brush_ && brushColor_ == Color) return brush_;
    if (brush_) DeleteObject(brush_);
    brush_ = CreateSolidBrush(Color);
    brushColor_ = Color;
    return brush_;
}

void WinControl::SetVisible(bool v) {
    visible_ = v;
    if (hwnd_) ShowWindow(hwnd_, v ? SW_SHOW : SW_HIDE);
}

void WinControl::SetEnabled(bool e) {
    enabled_ = e;
    if (hwnd_) EnableWindow(hwnd_, e);
}

std::string WinControl::Caption() const {
    if (!hwnd_) return caption_;
    int n = GetWindowTextLengthA(hwnd_);
    std::string s(n + 1, '\0');
    n = GetWindowTextA(hwnd_, s.data(), n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

void WinControl::SetCaption(const std::string& text) {
    caption_ = text;
    if (hwnd_) SetWindowTextA(hwnd_, text.c_str());
}

LRESULT CALLBACK WinControl::SubclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* c = reinterpret_cast<WinControl*>(data);
    if (c->OwnMessage(msg, wp, lp)) return 0;
    switch (msg) {
        case WM_KEYDOWN:
            if (c->OnKeyDown) {
                bool handled = false;
                App->Guard([&] { c->OnKeyDown(wp, handled); });
                if (handled) return 0;
            }
            break;
        case WM_CHAR:
            if (c->OnKeyPress) {
                char key = (char)wp;
                App->Guard([&] { c->OnKeyPress(key); });
                if (key == 0) return 0;
                wp = (unsigned char)key;
            }
            // The key-down handler took Enter; do not let the edit beep at it.
            if (wp == VK_RETURN && c->OnKeyDown && !c->WantsReturn()) return 0;
            break;
        case WM_SETCURSOR:
            if (c->Cursor && LOWORD(lp) == HTCLIENT) {
                SetCursor(c->Cursor);
                return TRUE;
            }
            break;
        case WM_RBUTTONUP:
            if (c->Popup) {
                PopupAtCursor(c);
                return 0;
            }
            break;
        case WM_LBUTTONDBLCLK:
            if (c->OnDblClick && !c->OwnDblClick()) {
                LRESULT r = DefSubclassProc(h, msg, wp, lp);
                c->DblClick();
                return r;
            }
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(h, SubclassProc, 1);
            break;
        default:
            break;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

// Edit

DWORD Edit::Style() const { return ES_AUTOHSCROLL | (ReadOnly ? ES_READONLY : 0); }
DWORD Edit::ExStyle() const { return Framed ? WS_EX_CLIENTEDGE : 0; }

void Edit::Created() {
    if (MaxLength) SendMessageA(hwnd_, EM_SETLIMITTEXT, MaxLength, 0);
    SendMessageA(hwnd_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(2, 2));
}

void Edit::SetMaxLength(int n) {
    MaxLength = n;
    if (hwnd_) SendMessageA(hwnd_, EM_SETLIMITTEXT, n, 0);
}

void Edit::SelectAll() {
    if (hwnd_) SendMessageA(hwnd_, EM_SETSEL, 0, -1);
}

void Edit::Command(WORD code) {
    if (code == EN_CHANGE && OnChange) OnChange();
}

// RichEdit

const char* RichEdit::WindowClass() const {
    static bool loaded = LoadLibraryA("riched20.dll") != nullptr;
    return loaded ? RICHEDIT_CLASSA : "EDIT";
}

DWORD RichEdit::Style() const {
    return ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL | ES_AUTOVSCROLL | (WordWrap ? 0 : (WS_HSCROLL | ES_AUTOHSCROLL));
}

void RichEdit::Created() {
    // Plain text: the author types notes, not formatted documents.
    SendMessageA(hwnd_, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
    SendMessageA(hwnd_, EM_EXLIMITTEXT, 0, 0x7FFFFFF);
    SendMessageA(hwnd_, EM_SETEVENTMASK, 0, ENM_CHANGE);
}

std::vector<std::string> RichEdit::Lines() const {
    std::vector<std::string> out;
    std::string t = Text(), line;
    for (size_t i = 0; i < t.size(); ++i) {
        char ch = t[i];
        if (ch == '\r' || ch == '\n') {
            out.push_back(line);
            line.clear();
            if (ch == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
        } else {
            line += ch;
        }
    }
    if (!line.empty()) out.push_back(line);
    return out;
}

void RichEdit::SetLines(const std::vector<std::string>& lines) {
    std::string t;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) t += "\r\n";
        t += lines[i];
    }
    SetText(t);
}

int RichEdit::SelStart() const {
    CHARRANGE r{};
    SendMessageA(hwnd_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
    return r.cpMin;
}

int RichEdit::SelLength() const {
    CHARRANGE r{};
    SendMessageA(hwnd_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
    return r.cpMax - r.cpMin;
}

void RichEdit::SetSel(int start, int length) {
    CHARRANGE r{start, start + length};
    SendMessageA(hwnd_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
}

std::string RichEdit::SelText() const {
    int n = SelLength();
    std::string s(n + 1, '\0');
    LRESULT got = SendMessageA(hwnd_, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(s.data()));
    s.resize(got > 0 ? got : 0);
    return s;
}

void RichEdit::SetSelText(const std::string& t) {
    SendMessageA(hwnd_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(t.c_str()));
}

std::string RichEdit::PositionText() const {
    char cls[32] = "";
    GetClassNameA(hwnd_, cls, sizeof(cls));
    if (lstrcmpiA(cls, "EDIT") == 0) return Text();
    GETTEXTLENGTHEX len{GTL_DEFAULT | GTL_NUMBYTES, CP_ACP};
    LRESULT n = SendMessageA(hwnd_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&len), 0);
    if (n < 0) return Text();
    std::string s((size_t)n + 1, '\0');
    GETTEXTEX get{(DWORD)s.size(), GT_DEFAULT, CP_ACP, nullptr, nullptr};
    LRESULT got = SendMessageA(hwnd_, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(s.data()));
    s.resize(got > 0 ? (size_t)got : 0);
    return s;
}

void RichEdit::Command(WORD code) {
    if (code == EN_CHANGE && OnChange) OnChange();
}

// Buttons

void Button::Command(WORD code) {
    if (code == BN_CLICKED && OnClick) OnClick();
}

bool CheckBox::Checked() const { return SendMessageA(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void CheckBox::SetChecked(bool on) { SendMessageA(hwnd_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }

void CheckBox::Command(WORD code) {
    if (code != BN_CLICKED) return;
    SetChecked(!Checked());
    if (OnClick) OnClick();
}

void RadioButton::SetChecked(bool on) {
    // The radio buttons among the windows of one parent, as the dialog manager tells them.
    if (on && parent_) {
        for (Control* c : parent_->Children())
            if (c != this && c->Windowed() && (SendMessageA(c->Handle(), WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON))
                SendMessageA(c->Handle(), BM_SETCHECK, BST_UNCHECKED, 0);
    }
    CheckBox::SetChecked(on);
}

void RadioButton::Command(WORD code) {
    if (code != BN_CLICKED) return;
    SetChecked(true);
    if (OnClick) OnClick();
}

// Progress bar

void ProgressBar::Created() {
    SendMessageA(hwnd_, PBM_SETRANGE32, Min, Max);
    SendMessageA(hwnd_, PBM_SETPOS, pos_, 0);
}

namespace {
// The control is drawn anew with each position it takes, which on some systems costs
// milliseconds: a build of thousands of small files, each taking its bar from empty to full,
// would spend seconds on pictures nobody can follow. So a bar takes at most ten positions a
// second, and a timer brings it the last one.
const DWORD kBarInterval = 100;
const UINT_PTR kBarTimer = 0x5B;
}  // namespace

void ProgressBar::SetPosition(int p) {
    if (p < Min) p = Min;
    if (p > Max) p = Max;
    pos_ = p;
    if (!hwnd_ || catchingUp_) return;
    // The bar is some 200 pixels wide: a step that moves no pixel shows nothing new.
    RECT r;
    GetClientRect(hwnd_, &r);
    int pixel = Max > Min ? (int)((int64_t)(p - Min) * r.right / (Max - Min)) : 0;
    if (pixel == shownPixel_ && p != Min && p != Max) return;
    if (GetTickCount() - shownAt_ < kBarInterval) {
        catchingUp_ = SetTimer(hwnd_, kBarTimer, kBarInterval, nullptr) != 0;
        if (catchingUp_) return;
    }
    Draw();
}

void ProgressBar::Draw() {
    RECT r;
    GetClientRect(hwnd_, &r);
    shownPixel_ = Max > Min ? (int)((int64_t)(pos_ - Min) * r.right / (Max - Min)) : 0;
    shownAt_ = GetTickCount();
    SendMessageA(hwnd_, PBM_SETPOS, pos_, 0);
}

bool ProgressBar::OwnMessage(UINT msg, WPARAM wp, LPARAM) {
    if (msg != WM_TIMER || wp != kBarTimer) return false;
    KillTimer(hwnd_, kBarTimer);
    catchingUp_ = false;
    if ((int)SendMessageA(hwnd_, PBM_GETPOS, 0, 0) != pos_) Draw();
    return true;
}

// Combo box

// Typed characters arrive at the edit field inside the box, not at the box: route them to
// the box's own key-press handler.
static LRESULT CALLBACK ComboEditProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* c = reinterpret_cast<ComboBox*>(data);
    if (msg == WM_CHAR && c->OnKeyPress) {
        char key = (char)wp;
        App->Guard([&] { c->OnKeyPress(key); });
        if (key == 0) return 0;
        wp = (unsigned char)key;
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(h, ComboEditProc, 2);
    }
    return DefSubclassProc(h, msg, wp, lp);
}

void ComboBox::Created() {
    SendMessageA(hwnd_, CB_SETEXTENDEDUI, TRUE, 0);
    if (HWND edit = EditHandle()) SetWindowSubclass(edit, ComboEditProc, 2, reinterpret_cast<DWORD_PTR>(this));
}

HWND ComboBox::EditHandle() const {
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (hwnd_ && GetComboBoxInfo(hwnd_, &info)) return info.hwndItem;
    return nullptr;
}

void ComboBox::ClearItems() {
    std::string keep = Text();
    SendMessageA(hwnd_, CB_RESETCONTENT, 0, 0);
    SetText(keep);
}

void ComboBox::AddItem(const std::string& s) { SendMessageA(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str())); }

std::vector<std::string> ComboBox::Items() const {
    std::vector<std::string> out;
    int n = (int)SendMessageA(hwnd_, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        int len = (int)SendMessageA(hwnd_, CB_GETLBTEXTLEN, i, 0);
        std::string s(len + 1, '\0');
        SendMessageA(hwnd_, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(s.data()));
        s.resize(len);
        out.push_back(s);
    }
    return out;
}

void ComboBox::Command(WORD code) {
    if ((code == CBN_EDITCHANGE || code == CBN_SELCHANGE) && OnChange) OnChange();
}

// List box

void ListBox::ClearItems() { SendMessageA(hwnd_, LB_RESETCONTENT, 0, 0); }
void ListBox::AddItem(const std::string& s) { SendMessageA(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str())); }
int ListBox::Count() const { return (int)SendMessageA(hwnd_, LB_GETCOUNT, 0, 0); }
std::string ListBox::Item(int i) const {
    int len = (int)SendMessageA(hwnd_, LB_GETTEXTLEN, i, 0);
    if (len < 0) return "";
    std::string s(len + 1, '\0');
    SendMessageA(hwnd_, LB_GETTEXT, i, reinterpret_cast<LPARAM>(s.data()));
    s.resize(len);
    return s;
}
int ListBox::ItemIndex() const { return (int)SendMessageA(hwnd_, LB_GETCURSEL, 0, 0); }
void ListBox::SetItemIndex(int i) { SendMessageA(hwnd_, LB_SETCURSEL, i, 0); }
void ListBox::Command(WORD code) {
    if (code == LBN_SELCHANGE && OnClick) OnClick();
    if (code == LBN_DBLCLK && OnDblClick) OnDblClick();
}

// List view

void ListView::Created() {
    ListView_SetExtendedListViewStyle(hwnd_, LVS_EX_FULLROWSELECT | (FlatScrollBars ? LVS_EX_FLATSB : 0));
}

void ListView::AddColumn(const std::string& caption, int width) {
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<char*>(caption.c_str());
    col.cx = width;
    int n = Header_GetItemCount(ListView_GetHeader(hwnd_));
    SendMessageA(hwnd_, LVM_INSERTCOLUMNA, n, reinterpret_cast<LPARAM>(&col));
}

void ListView::SetImageList(HIMAGELIST list) { ListView_SetImageList(hwnd_, list, LVSIL_SMALL); }
void ListView::ClearItems() { ListView_DeleteAllItems(hwnd_); }

int ListView::AddItem(const std::string& caption, int image, const std::vector<std::string>& sub) {
    LVITEMA it{};
    it.mask = LVIF_TEXT | LVIF_IMAGE;
    it.iItem = Count();
    it.pszText = const_cast<char*>(caption.c_str());
    it.iImage = image;
    int idx = (int)SendMessageA(hwnd_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
    for (size_t i = 0; i < sub.size(); ++i) {
        LVITEMA s{};
        s.iSubItem = (int)i + 1;
        s.pszText = const_cast<char*>(sub[i].c_str());
        SendMessageA(hwnd_, LVM_SETITEMTEXTA, idx, reinterpret_cast<LPARAM>(&s));
    }
    return idx;
}

void ListView::DeleteItem(int i) { ListView_DeleteItem(hwnd_, i); }
int ListView::Count() const { return ListView_GetItemCount(hwnd_); }

std::string ListView::ItemText(int i, int sub) const {
    char buf[1024] = "";
    LVITEMA it{};
    it.iSubItem = sub;
    it.pszText = buf;
    it.cchTextMax = sizeof(buf);
    SendMessageA(hwnd_, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&it));
    return buf;
}

int ListView::ItemImage(int i) const {
    LVITEMA it{};
    it.mask = LVIF_IMAGE;
    it.iItem = i;
    SendMessageA(hwnd_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
    return it.iImage;
}

int ListView::Selected() const { return ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); }

void ListView::SetSelected(int i) {
    ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (i >= 0) ListView_SetItemState(hwnd_, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

LRESULT ListView::Notify(NMHDR* nm) {
    if (nm->code == NM_CLICK && OnClick) OnClick();
    if (nm->code == NM_DBLCLK && OnDblClick) OnDblClick();
    if (nm->code == LVN_ITEMCHANGED && OnSelect) {
        auto* v = reinterpret_cast<NMLISTVIEW*>(nm);
        if ((v->uChanged & LVIF_STATE) && (v->uNewState & LVIS_SELECTED)) OnSelect();
    }
    if ((nm->code == LVN_ITEMCHANGED || nm->code == LVN_INSERTITEM) && OnChange) OnChange();
    return 0;
}

// Image list

ImageList::ImageList(int width, int height) { list_ = ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, 8, 8); }

ImageList::~ImageList() {
    if (list_) ImageList_Destroy(list_);
}

int ImageList::AddStrip(HBITMAP strip, COLORREF key) {
    if (!strip || !list_) return 0;
    int before = Count();
    ImageList_AddMasked(list_, strip, key);
    return Count() - before;
}

int ImageList::Count() const { return list_ ? ImageList_GetImageCount(list_) : 0; }

}  // namespace ui
