#include "ExplorerTest.h"

#include <fstream>
#include <sstream>

namespace explorer_test {

using namespace testing_support;

int ExplorerDesktop::FileOperation(SHFILEOPSTRUCTA* op) {
    fileOp = *op;
    // The list ends at the first empty entry: two NULs in a row.
    fromList.clear();
    if (op->pFrom) {
        const char* p = op->pFrom;
        while (p[0] || p[1]) fromList += *p++;
        fromList += std::string(2, '\0');
    }
    return FakeDesktop::FileOperation(op);
}

BOOL ExplorerDesktop::ShellExecuteEx(SHELLEXECUTEINFOA* info) {
    exec = *info;
    execFile = info->lpFile ? info->lpFile : "";
    execVerb = info->lpVerb ? info->lpVerb : "";
    return FakeDesktop::ShellExecuteEx(info);
}

void MakeFile(const std::string& path, size_t bytes) { WriteFile(path, std::string(bytes, 'x')); }
void MakeDir(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

void ExplorerTest::Open() {
    ui::App->Terminated = false;
    ui::App->Title = "Skykit Explorer";
    form = new TKitlens();
    Kitlens = form;
    ui::App->MainForm = form;
    form->Show();
}

void ExplorerTest::Shut() {
    if (!form) return;
    form->Destroy();
    if (ui::App->MainForm == form) ui::App->MainForm = nullptr;
    delete form;
    form = nullptr;
    Kitlens = nullptr;
}

void ExplorerTest::TearDown() {
    Shut();
    ui::App->Terminated = false;
    // A quit request left by a closed main window must not end the next test's message loop.
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

std::vector<std::string> ExplorerTest::Items() const {
    std::vector<std::string> out;
    for (int i = 0; i < form->ListView1.Count(); ++i) out.push_back(form->ListView1.ItemText(i));
    return out;
}

int ExplorerTest::Item(const std::string& caption) const {
    for (int i = 0; i < form->ListView1.Count(); ++i)
        if (form->ListView1.ItemText(i) == caption) return i;
    return -1;
}

static LPARAM ItemPoint(HWND lv, int index) {
    RECT r{};
    r.left = LVIR_LABEL;
    SendMessageA(lv, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    return MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2);
}

// A press on the item's label as the mouse gives it: down and up, and for a double-click the
// second press that Windows reports as a double-click.
static void PressItem(HWND lv, int index, bool twice) {
    SendMessageA(lv, LVM_ENSUREVISIBLE, index, FALSE);
    LPARAM at = ItemPoint(lv, index);
    SendMessageA(lv, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(lv, WM_LBUTTONUP, 0, at);
    if (!twice) return;
    SendMessageA(lv, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageA(lv, WM_LBUTTONUP, 0, at);
}

void ExplorerTest::ClickItem(int index) {
    ASSERT_GE(index, 0);
    PressItem(form->ListView1.Handle(), index, false);
}

void ExplorerTest::DblClickItem(int index) {
    ASSERT_GE(index, 0);
    PressItem(form->ListView1.Handle(), index, true);
}

void ExplorerTest::Click(const std::string& caption) { ClickItem(Item(caption)); }
void ExplorerTest::DblClick(const std::string& caption) { DblClickItem(Item(caption)); }

// ---------------------------------------------------------------------------------------

static const char* const kMessaging = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

static void SetMapiValue(const std::string* value) {
    HKEY k;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMessaging, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
        return;
    if (value)
        RegSetValueExA(k, "MAPI", 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()), (DWORD)value->size() + 1);
    else
        RegDeleteValueA(k, "MAPI");
    RegCloseKey(k);
}

MapiFixture::MapiFixture(const std::string& installDir, bool installed, const std::string& copy, bool bind)
    : dir_(installDir) {
    hadValue_ = ui::ReadRegistryString(HKEY_LOCAL_MACHINE, kMessaging, "MAPI", oldValue_);
    std::string v = installed ? "1" : "0";
    SetMapiValue(&v);
    if (!copy.empty())
        CopyFileA((ExeDir() + copy + "\\mapi32.dll").c_str(), (dir_ + "mapi32.dll").c_str(), FALSE);
    // The test program's own folder holds no mapi32.dll; the install directory is searched next.
    SetDllDirectoryA(dir_.c_str());
    UnbindSimpleMapi();
    if (bind) Bind();
}

void MapiFixture::Bind() { BindSimpleMapi(); }

MapiFixture::~MapiFixture() {
    UnbindSimpleMapi();
    SetDllDirectoryA(nullptr);
    SetMapiValue(hadValue_ ? &oldValue_ : nullptr);
}

std::vector<std::string> MapiFixture::Log() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(dir_ + "mapi32.log"));
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::vector<std::string> MapiFixture::Lines(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : Log())
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

void MapiFixture::Config(const std::string& key, int value) {
    WritePrivateProfileStringA("double", key.c_str(), std::to_string(value).c_str(), (dir_ + "mapi32.cfg").c_str());
}

void MapiFixture::ClearLog() { DeleteFileA((dir_ + "mapi32.log").c_str()); }

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : line) {
        if (c == sep) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

}  // namespace explorer_test
