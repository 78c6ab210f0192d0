// skydriver: drives the real programs from outside, as a person would, for end-to-end tests.
//
// One command per run; results on standard output, one fact per line; exit code 0 on
// success, 1 when the awaited thing did not happen in time, 2 on a usage error.
//
//   wait CLASS TITLE MS          a visible top-level window ("*" matches any) -> "hwnd x y w h"
//   gone CLASS TITLE MS          until no such window is visible
//   click CLASS TITLE X Y [right|double]   press at a point of the window's client area
//   drag CLASS TITLE X Y DX DY   left-button drag from a client point by DX, DY
//   msgbox MS [BUTTON]           a message box: prints "caption|text|icon", presses BUTTON (default: OK/first)
//   menu MS [KEY...]             an open popup menu: prints its rectangle, then presses up/down/enter/escape
//   texts CLASS TITLE            every child window: "class|text|x y w h|enabled|visible"
//   settext CLASS TITLE INDEX TEXT  types a text into the INDEX-th edit (0-based, creation order)
//   key CLASS TITLE VK           sends a key press to the window's focused control
//   close CLASS TITLE            asks the window to close (as the taskbar's Close does)
//   iconic CLASS TITLE           prints "iconic" or "normal"
//   kill EXE                     ends every process of that program name (left over by a failed test)
//   clickwatch CLASS TITLE X Y PCLASS PTITLE DCLASS DTITLE EVERY_MS LIMIT_MS SHOT.bmp [CANCEL_AT]
//                                clicks, then samples PCLASS's progress bars until DCLASS shows;
//                                with CANCEL_AT, presses PCLASS's "Cancel" once its second bar
//                                reaches that position, or ("tMS") that many ms after the click
//                                ("cancel MS"), and ends also when PCLASS has gone ("gone MS");
//                                "shot X Y W H": PCLASS's rectangle when SHOT.bmp was saved
//   bars CLASS TITLE             the positions of the window's progress bars, one a line
//   warmup                       draws a text once (builds Wine's font cache in a new prefix)
//   list                         every visible top-level window
//   press CLASS TITLE TEXT       clicks the child button captioned TEXT ('&' ignored), by message
//   boxwith MS TEXT [BUTTON]     like msgbox, for the dialog whose text contains TEXT (when a
//                                program's own dialog has the same class and caption as its boxes)
//   fit                          asks every window for the texts it shows (the programs answer
//                                with each text's box, font and format) and measures each in its
//                                own font: a line "window|control (kind)|text|needs WxH, has WxH"
//                                for each that does not fit, "font" lines for a font that is not
//                                installed; last "checked N texts in M windows"; exit code 1 on any
//   items CLASS TITLE            the items of the window's list view: "index|text|x y w h|selected",
//                                the rectangle in the window's client coordinates
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Found {
    std::string cls, title;
    HWND hwnd = nullptr;
};

bool Matches(HWND h, const std::string& cls, const std::string& title) {
    if (!IsWindowVisible(h)) return false;
    char c[256] = "", t[512] = "";
    GetClassNameA(h, c, sizeof(c));
    GetWindowTextA(h, t, sizeof(t));
    return (cls == "*" || cls == c) && (title == "*" || title == t);
}

BOOL CALLBACK FindProc(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    if (Matches(h, f->cls, f->title)) {
        f->hwnd = h;
        return FALSE;
    }
    return TRUE;
}

HWND Find(const std::string& cls, const std::string& title) {
    Found f{cls, title};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
    return f.hwnd;
}

HWND WaitFor(const std::string& cls, const std::string& title, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = Find(cls, title)) return h;
        if (GetTickCount() - start > ms) return nullptr;
        Sleep(50);
    }
}

void PrintRect(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    printf("%p %ld %ld %ld %ld\n", (void*)h, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void MoveTo(int x, int y) {
    SetCursorPos(x, y);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof(in));
}

void Button(DWORD flag) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flag;
    SendInput(1, &in, sizeof(in));
}

POINT ClientToScreenPt(HWND h, int x, int y) {
    POINT p{x, y};
    ClientToScreen(h, &p);
    return p;
}

std::string Text(HWND h) {
    char buf[4096] = "";
    SendMessageA(h, WM_GETTEXT, sizeof(buf), reinterpret_cast<LPARAM>(buf));
    return buf;
}

struct Children {
    std::vector<HWND> list;
};
BOOL CALLBACK ChildProc(HWND h, LPARAM lp) {
    reinterpret_cast<Children*>(lp)->list.push_back(h);
    return TRUE;
}
std::vector<HWND> AllChildren(HWND h) {
    Children c;
    EnumChildWindows(h, ChildProc, reinterpret_cast<LPARAM>(&c));
    return c.list;
}

std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\n') c = '~';
    std::string out;
    for (char c : s)
        if (c != '\r') out += c;
    return out;
}

BOOL CALLBACK ListProc(HWND h, LPARAM) {
    if (!IsWindowVisible(h)) return TRUE;
    char c[256] = "", t[512] = "";
    GetClassNameA(h, c, sizeof(c));
    GetWindowTextA(h, t, sizeof(t));
    RECT r;
    GetWindowRect(h, &r);
    printf("%s|%s|%ld %ld %ld %ld\n", c, t, r.left, r.top, r.right - r.left, r.bottom - r.top);
    return TRUE;
}

// Icons are compared by what the screen shows: icon handles of another process cannot be
// read here, so the icon control's pixels are matched against each system icon drawn on the
// same background.
std::vector<COLORREF> Grab(HDC src, int x, int y, int w, int h) {
    std::vector<COLORREF> px;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) px.push_back(GetPixel(src, x + i, y + j));
    return px;
}

std::string IconName(HWND iconControl) {
    RECT r;
    GetWindowRect(iconControl, &r);
    const int w = 32, h = 32;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    std::vector<COLORREF> shown = Grab(mem, 0, 0, w, h);
    COLORREF bg = shown[0];
    struct Std {
        LPCSTR id;
        const char* name;
    } const all[] = {{IDI_EXCLAMATION, "exclamation"}, {IDI_HAND, "stop"}, {IDI_QUESTION, "question"},
                     {IDI_ASTERISK, "information"}};
    std::string best = "icon";
    size_t bestDiff = w * h / 10;
    for (const Std& s : all) {
        HBRUSH b = CreateSolidBrush(bg);
        RECT all{0, 0, w, h};
        FillRect(mem, &all, b);
        DeleteObject(b);
        DrawIconEx(mem, 0, 0, LoadIconA(nullptr, s.id), w, h, 0, nullptr, DI_NORMAL);
        std::vector<COLORREF> drawn = Grab(mem, 0, 0, w, h);
        size_t diff = 0;
        for (size_t i = 0; i < drawn.size(); ++i) diff += drawn[i] != shown[i];
        if (diff < bestDiff) {
            bestDiff = diff;
            best = s.name;
        }
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return best;
}

// A dialog box whose static text holds a fragment.
struct BoxSearch {
    std::string fragment, text;
    HWND box = nullptr;
};

BOOL CALLBACK BoxProc(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<BoxSearch*>(lp);
    char cls[64] = "";
    GetClassNameA(h, cls, sizeof(cls));
    if (!IsWindowVisible(h) || lstrcmpA(cls, "#32770") != 0) return TRUE;
    for (HWND c : AllChildren(h)) {
        char k[64] = "";
        GetClassNameA(c, k, sizeof(k));
        if (lstrcmpiA(k, "Static") != 0) continue;
        std::string t = Text(c);
        if (t.find(s->fragment) != std::string::npos) {
            s->box = h;
            s->text = t;
            return FALSE;
        }
    }
    return TRUE;
}

// The whole screen as a 24-bit bitmap file.
bool SaveScreen(const char* path) {
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    GdiFlush();
    DWORD stride = ((w * 3 + 3) & ~3), size = stride * h;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(BITMAPINFOHEADER);
    fh.bfSize = fh.bfOffBits + size;
    bool ok = false;
    if (FILE* f = fopen(path, "wb")) {
        ok = fwrite(&fh, sizeof(fh), 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof(bi.bmiHeader), 1, f) == 1 &&
             fwrite(bits, 1, size, f) == size;
        fclose(f);
    }
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

int Usage() {
    fprintf(stderr, "usage: skydriver wait|gone|click|drag|msgbox|menu|texts|settext|key|list ...\n");
    return 2;
}


// --- fit: the texts of every window against the boxes they are drawn in ---------------------

std::vector<std::string> g_reports;  // one WM_COPYDATA answer each
int g_answers = 0;

LRESULT CALLBACK FitSinkProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(lp);
        if (cds->dwData == 0x54585452 && cds->cbData > 0) {
            g_reports.emplace_back(static_cast<const char*>(cds->lpData), cds->cbData - 1);
            ++g_answers;
        }
        return TRUE;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

BOOL CALLBACK CollectWindows(HWND h, LPARAM lp) {
    if (IsWindowVisible(h)) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t i = 0; i <= line.size(); ++i)
        if (i == line.size() || line[i] == '\x1f') {
            f.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    return f;
}

// The face Windows draws a name with: its own, or the one the system substitutes for it
// ("MS Shell Dlg" is Tahoma).
std::string SubstituteOf(const std::string& face) {
    char value[LF_FACESIZE * 2] = "";
    DWORD size = sizeof(value);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return face;
    LONG rc = RegQueryValueExA(key, face.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return face;
    std::string v = value;
    return v.substr(0, v.find(','));
}

int Fit() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = FitSinkProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SkydriverFitSink";
    RegisterClassA(&wc);
    HWND sink = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    const UINT ask = RegisterWindowMessageA("Skykit.TextReport");
    std::vector<HWND> tops, all;
    EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&tops));
    for (HWND t : tops) {
        all.push_back(t);
        EnumChildWindows(t, CollectWindows, reinterpret_cast<LPARAM>(&all));
    }
    for (HWND h : all) {
        DWORD_PTR r = 0;
        SendMessageTimeoutA(h, ask, reinterpret_cast<WPARAM>(sink), 0, SMTO_ABORTIFHUNG, 3000, &r);
    }
    HDC dc = GetDC(nullptr);
    int texts = 0, problems = 0;
    std::vector<std::string> badFonts;
    {
        // The caption buttons of every framed window are letters of this font: without it
        // the close box shows an "r".
        HFONT marlett = CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, SYMBOL_CHARSET, 0, 0, 0, 0, "Marlett");
        HGDIOBJ old = SelectObject(dc, marlett);
        char used[LF_FACESIZE] = "";
        GetTextFaceA(dc, sizeof(used), used);
        SelectObject(dc, old);
        DeleteObject(marlett);
        if (lstrcmpiA(used, "Marlett") != 0) {
            printf("font|Marlett is not installed (drawn in %s)\n", used);
            ++problems;
        }
    }
    for (const std::string& report : g_reports) {
        size_t start = 0;
        while (start < report.size()) {
            size_t end = report.find('\n', start);
            if (end == std::string::npos) end = report.size();
            std::vector<std::string> f = SplitFields(report.substr(start, end - start));
            start = end + 1;
            if (f.size() < 11) continue;
            const std::string &window = f[0], &name = f[1], &kind = f[2], &text = f[3], &face = f[6];
            int boxW = atoi(f[4].c_str()), boxH = atoi(f[5].c_str());
            UINT format = strtoul(f[10].c_str(), nullptr, 10);
            HFONT font = CreateFontA(atoi(f[7].c_str()), 0, 0, 0, atoi(f[8].c_str()), atoi(f[9].c_str()), 0, 0,
                                     DEFAULT_CHARSET, 0, 0, 0, 0, face.c_str());
            HGDIOBJ old = SelectObject(dc, font);
            char used[LF_FACESIZE] = "";
            GetTextFaceA(dc, sizeof(used), used);
            std::string want = SubstituteOf(face);
            if (lstrcmpiA(used, want.c_str()) != 0 && lstrcmpiA(used, face.c_str()) != 0) {
                std::string msg = "font|" + face + " is not installed (drawn in " + used + ")";
                bool seen = false;
                for (auto& b : badFonts) seen = seen || b == msg;
                if (!seen) {
                    badFonts.push_back(msg);
                    printf("%s\n", msg.c_str());
                    ++problems;
                }
            }
            // What the control keeps for itself around its text: a push button's frame, the
            // box or circle before a check box's or radio button's text, a group box's frame.
            int padW = 0, padH = 0;
            if (kind == "button") padW = 4, padH = 2;
            else if (kind == "checkbox" || kind == "radio") padW = 17;
            else if (kind == "group") padW = 16;
            TEXTMETRICA tm{};
            GetTextMetricsA(dc, &tm);
            int availW = boxW - padW, availH = boxH - padH;
            // A text moved out of view by design (below a dialog's lower edge until the dialog
            // grows) shows at most the empty rows above its letters.
            if (boxW <= 0 || boxH <= tm.tmInternalLeading) {
                SelectObject(dc, old);
                DeleteObject(font);
                continue;
            }
            // A check box or radio button no wider than its circle shows no text by design: a
            // label beside it carries the text (the main form's add-on types).
            if ((kind == "checkbox" || kind == "radio") && availW <= 0) {
                SelectObject(dc, old);
                DeleteObject(font);
                continue;
            }
            RECT r{0, 0, (format & DT_WORDBREAK) ? std::max(availW, 1) : 0, 0};
            DrawTextA(dc, text.c_str(), (int)text.size(), &r, format | DT_CALCRECT);
            SelectObject(dc, old);
            DeleteObject(font);
            ++texts;
            int needW = r.right - r.left, needH = r.bottom - r.top;
            if (kind == "group") needH = 0;  // its caption sits on the frame, not inside it
            if (needW > availW || needH > availH) {
                std::string shown;
                for (char c : text) shown += (c == '\r' || c == '\n') ? ' ' : c;
                printf("%s|%s (%s)|%s|needs %dx%d, has %dx%d\n", window.c_str(), name.c_str(), kind.c_str(),
                       shown.c_str(), needW + padW, needH + padH, boxW, boxH);
                ++problems;
            }
        }
    }
    ReleaseDC(nullptr, dc);
    DestroyWindow(sink);
    printf("checked %d texts in %d windows\n", texts, g_answers);
    return problems ? 1 : 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    setvbuf(stdout, nullptr, _IONBF, 0);

    if (cmd == "warmup") {
        // The first text drawn in a new Wine prefix builds Wine's font cache, which takes long:
        // pay for it once, before any test waits on a window.
        HDC dc = GetDC(nullptr);
        HFONT f = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
        SelectObject(dc, f);
        SIZE sz;
        GetTextExtentPoint32A(dc, "Skykit", 6, &sz);
        ReleaseDC(nullptr, dc);
        DeleteObject(f);
        printf("%ld\n", sz.cx);
        return 0;
    }
    if (cmd == "fit") return Fit();
    if (cmd == "list") {
        EnumWindows(ListProc, 0);
        return 0;
    }
    if ((cmd == "wait" || cmd == "gone") && argc >= 5) {
        DWORD ms = strtoul(argv[4], nullptr, 10), start = GetTickCount();
        if (cmd == "wait") {
            HWND h = WaitFor(argv[2], argv[3], ms);
            if (!h) return 1;
            PrintRect(h);
            return 0;
        }
        while (Find(argv[2], argv[3])) {
            if (GetTickCount() - start > ms) return 1;
            Sleep(50);
        }
        return 0;
    }
    if (cmd == "click" && argc >= 6) {
        HWND h = WaitFor(argv[2], argv[3], 5000);
        if (!h) return 1;
        std::string how = argc >= 7 ? argv[6] : "left";
        POINT p = ClientToScreenPt(h, atoi(argv[4]), atoi(argv[5]));
        SetForegroundWindow(h);
        MoveTo(p.x, p.y);
        Sleep(50);
        int times = how == "double" ? 2 : 1;
        for (int i = 0; i < times; ++i) {
            if (how == "right") {
                Button(MOUSEEVENTF_RIGHTDOWN);
                Sleep(30);
                Button(MOUSEEVENTF_RIGHTUP);
            } else {
                Button(MOUSEEVENTF_LEFTDOWN);
                Sleep(30);
                Button(MOUSEEVENTF_LEFTUP);
            }
            Sleep(30);
        }
        Sleep(100);
        return 0;
    }
    if (cmd == "drag" && argc >= 8) {
        HWND h = WaitFor(argv[2], argv[3], 5000);
        if (!h) return 1;
        POINT p = ClientToScreenPt(h, atoi(argv[4]), atoi(argv[5]));
        int dx = atoi(argv[6]), dy = atoi(argv[7]);
        SetForegroundWindow(h);
        MoveTo(p.x, p.y);
        Sleep(100);
        Button(MOUSEEVENTF_LEFTDOWN);
        Sleep(200);
        for (int i = 1; i <= 10; ++i) {
            MoveTo(p.x + dx * i / 10, p.y + dy * i / 10);
            Sleep(40);
        }
        Sleep(200);
        Button(MOUSEEVENTF_LEFTUP);
        Sleep(300);
        return 0;
    }
    if (cmd == "msgbox" && argc >= 3) {
        HWND box = WaitFor("#32770", "*", strtoul(argv[2], nullptr, 10));
        if (!box) return 1;
        Sleep(100);
        std::string caption = Text(box), text, icon = "none", want = argc >= 4 ? argv[3] : "";
        HWND press = nullptr;
        for (HWND c : AllChildren(box)) {
            char cls[64] = "";
            GetClassNameA(c, cls, sizeof(cls));
            std::string k = cls;
            if (k == "Static") {
                LONG style = GetWindowLongA(c, GWL_STYLE);
                if ((style & SS_TYPEMASK) == SS_ICON) {
                    icon = IconName(c);
                } else if (!Text(c).empty()) {
                    text = Text(c);
                }
            } else if (k == "Button") {
                std::string t = Text(c);
                std::string plain;
                for (char ch : t)
                    if (ch != '&') plain += ch;
                if (!press && (want.empty() || plain == want)) press = c;
            }
        }
        printf("%s|%s|%s\n", caption.c_str(), OneLine(text).c_str(), icon.c_str());
        if (press) PostMessageA(press, BM_CLICK, 0, 0);
        // Wait until this box is gone, so the next command sees the next window.
        DWORD start = GetTickCount();
        while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < 5000) Sleep(30);
        return press ? 0 : 1;
    }
    if (cmd == "menu" && argc >= 3) {
        // Menus of another process cannot be read here: the command reports the open menu's
        // size and works it with the keyboard (e.g. "up enter" picks the last item).
        HWND m = WaitFor("#32768", "*", strtoul(argv[2], nullptr, 10));
        if (!m) return 1;
        PrintRect(m);
        for (int i = 3; i < argc; ++i) {
            std::string k = argv[i];
            BYTE vk = k == "up" ? VK_UP : k == "down" ? VK_DOWN : k == "enter" ? VK_RETURN : VK_ESCAPE;
            keybd_event(vk, 0, 0, 0);
            keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
            Sleep(80);
        }
        Sleep(200);
        return 0;
    }
    if (cmd == "texts" && argc >= 4) {
        HWND h = WaitFor(argv[2], argv[3], 5000);
        if (!h) return 1;
        for (HWND c : AllChildren(h)) {
            char cls[64] = "";
            GetClassNameA(c, cls, sizeof(cls));
            RECT r;
            GetWindowRect(c, &r);
            POINT p{r.left, r.top};
            ScreenToClient(h, &p);
            printf("%s|%s|%ld %ld %ld %ld|%d|%d\n", cls, OneLine(Text(c)).c_str(), p.x, p.y, r.right - r.left,
                   r.bottom - r.top, IsWindowEnabled(c) ? 1 : 0, IsWindowVisible(c) ? 1 : 0);
        }
        return 0;
    }
    if (cmd == "settext" && argc >= 6) {
        HWND h = WaitFor(argv[2], argv[3], 5000);
        if (!h) return 1;
        int want = atoi(argv[4]), i = 0;
        for (HWND c : AllChildren(h)) {
            char cls[64] = "";
            GetClassNameA(c, cls, sizeof(cls));
            if (lstrcmpiA(cls, "Edit") != 0 && lstrcmpiA(cls, "RichEdit20A") != 0) continue;
            if (i++ != want) continue;
            // Typed character by character, so length limits and change handlers apply.
            SendMessageA(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
            SetForegroundWindow(h);
            for (const char* s = argv[5]; *s; ++s) SendMessageA(c, WM_CHAR, (unsigned char)*s, 0);
            return 0;
        }
        return 1;
    }
    if (cmd == "key" && argc >= 5) {
        HWND h = WaitFor(argv[2], argv[3], 5000);
        if (!h) return 1;
        SetForegroundWindow(h);
        Sleep(50);
        BYTE vk = (BYTE)strtoul(argv[4], nullptr, 0);
        keybd_event(vk, 0, 0, 0);
        keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
        Sleep(100);
        return 0;
    }
    if (cmd == "clickwatch" && argc >= 13) {
        // Clicks, then watches a progress window until another window shows, in this one
        // process (so that watching costs the watched program next to nothing): prints
        // "MS BAR1 BAR2" per look and "done MS" at the end, MS counted from the click.
        HWND h = WaitFor(argv[2], argv[3], 5000);
        if (!h) return 1;
        POINT p = ClientToScreenPt(h, atoi(argv[4]), atoi(argv[5]));
        DWORD every = strtoul(argv[10], nullptr, 10), limit = strtoul(argv[11], nullptr, 10);
        const char* shotFile = argv[12];
        const char* cancelArg = argc >= 14 ? argv[13] : "-1";
        // By time the bars are not read before the press: a busy program answers late.
        const bool byTime = cancelArg[0] == 't';
        const long cancelAt = atol(cancelArg + (byTime ? 1 : 0));
        bool shotTaken = false, cancelled = false;
        SetForegroundWindow(h);
        MoveTo(p.x, p.y);
        Sleep(50);
        Button(MOUSEEVENTF_LEFTDOWN);
        Sleep(20);
        DWORD start = GetTickCount();
        Button(MOUSEEVENTF_LEFTUP);
        for (;;) {
            DWORD now = GetTickCount() - start;
            if (Find(argv[8], argv[9])) {
                printf("done %lu\n", now);
                return 0;
            }
            HWND prog = Find(argv[6], argv[7]);
            if (prog) {
                std::vector<long> pos;
                HWND cancel = nullptr;
                for (HWND c : AllChildren(prog)) {
                    char cls[64] = "", text[64] = "";
                    GetClassNameA(c, cls, sizeof(cls));
                    GetWindowTextA(c, text, sizeof(text));
                    if (lstrcmpiA(cls, "Button") == 0 && std::string(text) == "Cancel") cancel = c;
                }
                if (!cancelled && byTime && (long)now >= cancelAt && cancel) {
                    PostMessageA(cancel, BM_CLICK, 0, 0);
                    cancelled = true;
                    printf("cancel %lu\n", now);
                }
                for (HWND c : AllChildren(prog)) {
                    char cls[64] = "";
                    GetClassNameA(c, cls, sizeof(cls));
                    if (lstrcmpiA(cls, "msctls_progress32") == 0 && (!byTime || cancelled))
                        pos.push_back((long)SendMessageA(c, PBM_GETPOS, 0, 0));
                }
                if (pos.size() == 2) {
                    printf("%lu %ld %ld\n", now, pos[0], pos[1]);
                    if (!shotTaken && pos[1] > 2000 && pos[1] < 9000 && (shotTaken = SaveScreen(shotFile))) {
                        RECT r;
                        GetWindowRect(prog, &r);
                        printf("shot %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
                    }
                    if (!cancelled && !byTime && cancelAt >= 0 && pos[1] >= cancelAt && cancel) {
                        PostMessageA(cancel, BM_CLICK, 0, 0);
                        cancelled = true;
                        printf("cancel %lu\n", GetTickCount() - start);
                    }
                }
            } else if (cancelled) {
                printf("gone %lu\n", now);
                return 0;
            }
            if (now > limit) return 1;
            Sleep(every);
        }
    }
    if (cmd == "bars" && argc >= 4) {
        HWND h = Find(argv[2], argv[3]);
        if (!h) return 1;
        for (HWND c : AllChildren(h)) {
            char cls[64] = "";
            GetClassNameA(c, cls, sizeof(cls));
            if (lstrcmpiA(cls, "msctls_progress32") == 0) printf("%ld\n", (long)SendMessageA(c, PBM_GETPOS, 0, 0));
        }
        return 0;
    }
    if (cmd == "kill" && argc >= 3) {
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 pe{};
        pe.dwSize = sizeof(pe);
        for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) {
            if (lstrcmpiA(pe.szExeFile, argv[2]) != 0) continue;
            if (HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, pe.th32ProcessID)) {
                TerminateProcess(p, 1);
                CloseHandle(p);
            }
        }
        CloseHandle(snap);
        return 0;
    }
    if (cmd == "iconic" && argc >= 4) {
        Found f{argv[2], argv[3]};
        EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
        if (!f.hwnd) {
            // A minimised window may be hidden from the search for visible ones; look wider.
            f.hwnd = FindWindowA(argv[2], argv[3]);
        }
        if (!f.hwnd) return 1;
        printf("%s\n", IsIconic(f.hwnd) ? "iconic" : "normal");
        return 0;
    }
    if (cmd == "close" && argc >= 4) {
        HWND h = WaitFor(argv[2], argv[3], 5000);
        if (!h) return 1;
        PostMessageA(h, WM_CLOSE, 0, 0);
        return 0;
    }
    if (cmd == "boxwith" && argc >= 4) {
        DWORD ms = strtoul(argv[2], nullptr, 10), start = GetTickCount();
        std::string fragment = argv[3], want = argc >= 5 ? argv[4] : "";
        BoxSearch s{fragment};
        while (!s.box) {
            EnumWindows(BoxProc, reinterpret_cast<LPARAM>(&s));
            if (s.box) break;
            if (GetTickCount() - start > ms) return 1;
            Sleep(50);
        }
        Sleep(100);
        HWND press = nullptr;
        for (HWND c : AllChildren(s.box)) {
            char k[64] = "";
            GetClassNameA(c, k, sizeof(k));
            if (lstrcmpiA(k, "Button") != 0 || !IsWindowVisible(c)) continue;
            std::string plain;
            for (char ch : Text(c))
                if (ch != '&') plain += ch;
            if (!press && (want.empty() || plain == want)) press = c;
        }
        printf("%s|%s\n", Text(s.box).c_str(), OneLine(s.text).c_str());
        if (press) PostMessageA(press, BM_CLICK, 0, 0);
        DWORD t0 = GetTickCount();
        while (IsWindow(s.box) && IsWindowVisible(s.box) && GetTickCount() - t0 < 5000) Sleep(30);
        return press ? 0 : 1;
    }
    if (cmd == "press" && argc >= 5) {
        HWND h = WaitFor(argv[2], argv[3], 5000);
        if (!h) return 1;
        for (HWND c : AllChildren(h)) {
            char cls[64] = "";
            GetClassNameA(c, cls, sizeof(cls));
            if (lstrcmpiA(cls, "Button") != 0 || !IsWindowVisible(c)) continue;
            std::string plain;
            for (char ch : Text(c))
                if (ch != '&') plain += ch;
            if (plain != argv[4]) continue;
            if (!IsWindowEnabled(c)) return 1;
            PostMessageA(c, BM_CLICK, 0, 0);
            Sleep(150);
            return 0;
        }
        return 1;
    }
    if (cmd == "items" && argc >= 4) {
        HWND h = WaitFor(argv[2], argv[3], 5000);
        if (!h) return 1;
        HWND lv = nullptr;
        for (HWND c : AllChildren(h)) {
            char cls[64] = "";
            GetClassNameA(c, cls, sizeof(cls));
            if (lstrcmpiA(cls, WC_LISTVIEWA) == 0) {
                lv = c;
                break;
            }
        }
        if (!lv) return 1;
        // The list lives in the other process: its records and texts go through memory there.
        DWORD pid = 0;
        GetWindowThreadProcessId(lv, &pid);
        HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!proc) return 1;
        const SIZE_T textSize = 512;
        char* remote = static_cast<char*>(
            VirtualAllocEx(proc, nullptr, sizeof(LVITEMA) + textSize, MEM_COMMIT, PAGE_READWRITE));
        int n = (int)SendMessageA(lv, LVM_GETITEMCOUNT, 0, 0);
        for (int i = 0; i < n; ++i) {
            LVITEMA it{};
            it.iSubItem = 0;
            it.pszText = remote + sizeof(LVITEMA);
            it.cchTextMax = (int)textSize;
            WriteProcessMemory(proc, remote, &it, sizeof(it), nullptr);
            SendMessageA(lv, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(remote));
            char text[512] = "";
            ReadProcessMemory(proc, remote + sizeof(LVITEMA), text, sizeof(text) - 1, nullptr);
            RECT r{};
            r.left = LVIR_BOUNDS;
            WriteProcessMemory(proc, remote, &r, sizeof(r), nullptr);
            SendMessageA(lv, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(remote));
            ReadProcessMemory(proc, remote, &r, sizeof(r), nullptr);
            MapWindowPoints(lv, h, reinterpret_cast<POINT*>(&r), 2);
            bool selected = SendMessageA(lv, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED;
            printf("%d|%s|%ld %ld %ld %ld|%d\n", i, text, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   selected ? 1 : 0);
        }
        VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
        CloseHandle(proc);
        return 0;
    }
    return Usage();
}
