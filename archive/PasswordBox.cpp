// The password question: a small modal box with a prompt, a masked edit line, OK and Cancel,
// built from an in-memory dialog template so that no resource has to ship with it.
#include <cstring>
#include <vector>

#include "../ui/ui.h"
#include "ZipPacker.h"

namespace {

constexpr int kEditId = 100, kPromptId = 101;

struct BoxState {
    std::string prompt;
    std::string* value;
};

void Align(std::vector<WORD>& t) {
    if (t.size() % 2) t.push_back(0);  // DLGITEMTEMPLATE starts on a DWORD boundary
}

void AddText(std::vector<WORD>& t, const std::string& s) {
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> w(size_t(n > 0 ? n : 1));
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, w.data(), n);
    for (wchar_t c : w) t.push_back(WORD(c));
}

void AddItem(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls, const std::string& text) {
    Align(t);
    DLGITEMTEMPLATE it{};
    it.style = style | WS_CHILD | WS_VISIBLE;
    it.x = x; it.y = y; it.cx = cx; it.cy = cy; it.id = id;
    const WORD* p = reinterpret_cast<const WORD*>(&it);
    t.insert(t.end(), p, p + sizeof it / 2);
    t.push_back(0xFFFF);
    t.push_back(cls);  // 0x0080 button, 0x0081 edit, 0x0082 static
    AddText(t, text);
    t.push_back(0);    // no creation data
}

INT_PTR CALLBACK BoxProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        auto* st = reinterpret_cast<BoxState*>(lp);
        SetWindowLongPtrA(h, DWLP_USER, lp);
        SetDlgItemTextA(h, kPromptId, st->prompt.c_str());
        SendDlgItemMessageA(h, kEditId, EM_LIMITTEXT, 255, 0);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            auto* st = reinterpret_cast<BoxState*>(GetWindowLongPtrA(h, DWLP_USER));
            char buf[256] = {};
            GetDlgItemTextA(h, kEditId, buf, sizeof buf);
            *st->value = buf;
            EndDialog(h, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(h, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

bool PasswordBox(const std::string& caption, const std::string& prompt, std::string& value) {
    std::vector<WORD> t;
    DLGTEMPLATE d{};
    d.style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    d.cdit = 4;
    d.cx = 180;
    d.cy = 62;
    const WORD* p = reinterpret_cast<const WORD*>(&d);
    t.insert(t.end(), p, p + sizeof d / 2);
    t.push_back(0);  // no menu
    t.push_back(0);  // standard dialog class
    AddText(t, caption);
    t.push_back(8);  // font size
    AddText(t, "MS Shell Dlg");
    AddItem(t, SS_LEFT, 7, 7, 166, 10, kPromptId, 0x0082, prompt);
    AddItem(t, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 20, 166, 13, kEditId, 0x0081, "");
    AddItem(t, BS_DEFPUSHBUTTON | WS_TABSTOP, 69, 40, 50, 14, IDOK, 0x0080, "OK");
    AddItem(t, BS_PUSHBUTTON | WS_TABSTOP, 123, 40, 50, 14, IDCANCEL, 0x0080, "Cancel");
    BoxState st{prompt, &value};
    HWND owner = ui::App ? ui::App->ActiveWindow() : nullptr;
    INT_PTR r = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), owner,
                                        BoxProc, reinterpret_cast<LPARAM>(&st));
    return r == IDOK;
}

}  // namespace

std::function<bool(const std::string&, const std::string&, std::string&)> TZipPacker::InputQuery = PasswordBox;
