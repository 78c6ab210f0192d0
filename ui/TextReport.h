// The texts a window shows, reported to a test driver in another process so that it can
// check that each one fits where it is drawn.
//
// Many of our texts have no window of their own (labels are drawn by their panel), so nothing
// outside the process can see them; and a font handle means nothing in another process. On
// the registered message below, a window answers with one WM_COPYDATA to the window in wParam:
// for every visible text, its window, control, kind, text, the box it is drawn in, its font
// and its DrawText format. The driver measures; the program only tells. Header only, so that
// the self-extractor (which has no form framework) answers the same way.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui::textreport {

inline UINT Message() {
    static const UINT m = RegisterWindowMessageA("Skykit.TextReport");
    return m;
}

enum : DWORD { kCopyDataId = 0x54585452 };  // "TXTR"

struct Item {
    std::string window, name, kind, text;
    int boxW = 0, boxH = 0;
    HFONT font = nullptr;
    UINT format = 0;  // DrawText flags the text is drawn with
};

// Texts go as they are drawn: in the ANSI code page, as the forms hold them.
inline std::string WindowTextOf(HWND h) {
    std::string s(GetWindowTextLengthA(h) + 1, '\0');
    s.resize(GetWindowTextA(h, s.data(), (int)s.size()));
    return s;
}

// A windowed static text, push button, check box, radio button or group box; other windows
// (edits, lists, bars) show what the user typed or scroll, and are left out.
inline void AddWindowed(HWND h, const std::string& window, const std::string& name, std::vector<Item>& out) {
    if (!IsWindowVisible(h)) return;
    char cls[32] = "";
    GetClassNameA(h, cls, sizeof(cls));
    LONG style = GetWindowLongA(h, GWL_STYLE);
    Item it;
    it.window = window;
    it.name = name;
    it.text = WindowTextOf(h);
    if (it.text.empty()) return;
    if (lstrcmpiA(cls, "Static") == 0) {
        LONG type = style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP &&
            type != SS_SIMPLE)
            return;
        // A text that shortens itself with an ellipsis fits by design.
        if (style & (SS_ENDELLIPSIS | SS_PATHELLIPSIS | SS_WORDELLIPSIS)) return;
        it.kind = "static";
        it.format = (style & SS_NOPREFIX ? DT_NOPREFIX : 0) |
                    (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT ? DT_WORDBREAK : DT_SINGLELINE);
    } else if (lstrcmpiA(cls, "Button") == 0) {
        LONG type = style & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) it.kind = "button";
        else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE)
            it.kind = "checkbox";
        else if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) it.kind = "radio";
        else if (type == BS_GROUPBOX) it.kind = "group";
        else return;
        if (style & (BS_BITMAP | BS_ICON)) return;
        it.format = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    } else {
        return;
    }
    RECT r;
    GetClientRect(h, &r);
    it.boxW = r.right;
    it.boxH = r.bottom;
    it.font = reinterpret_cast<HFONT>(SendMessageA(h, WM_GETFONT, 0, 0));
    if (!it.font) it.font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    out.push_back(std::move(it));
}

// Every windowed text of a dialog, named by its control id.
inline void AddDialogChildren(HWND dialog, std::vector<Item>& out) {
    std::string window = WindowTextOf(dialog);
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        AddWindowed(c, window, "control " + std::to_string(GetDlgCtrlID(c)), out);
}

// One line a text: window, control, kind, text, box width and height, font face, height,
// weight, italic, format; fields separated by 0x1F (no text holds it).
inline void Send(HWND replyTo, HWND from, const std::vector<Item>& items) {
    std::string data;
    for (const Item& it : items) {
        LOGFONTA lf{};
        GetObjectA(it.font, sizeof(lf), &lf);
        const char sep = 0x1F;
        data += it.window + sep + it.name + sep + it.kind + sep + it.text + sep + std::to_string(it.boxW) + sep +
                std::to_string(it.boxH) + sep + lf.lfFaceName + sep + std::to_string(lf.lfHeight) + sep +
                std::to_string(lf.lfWeight) + sep + std::to_string(lf.lfItalic ? 1 : 0) + sep +
                std::to_string(it.format) + "\n";
    }
    COPYDATASTRUCT cds{kCopyDataId, static_cast<DWORD>(data.size() + 1), data.data()};
    SendMessageTimeoutA(replyTo, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&cds),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
}

// For a dialog procedure: answers the request when msg is it.
inline bool AnswerDialog(HWND dialog, UINT msg, WPARAM wp) {
    if (msg != Message()) return false;
    std::vector<Item> items;
    AddDialogChildren(dialog, items);
    Send(reinterpret_cast<HWND>(wp), dialog, items);
    return true;
}

}  // namespace ui::textreport
