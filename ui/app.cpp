// The application object, timers, popup menus and the desktop seam.
#include "ui.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <set>

namespace ui {

static Application theApp;
Application* App = &theApp;

const char* const SkinErrorText = "Error while reading 'Skin32.dll'. This application will terminate.";

// ---------------------------------------------------------------------------------------
// Application

void Application::Own(Form* f, bool mayBeMain) {
    forms_.push_back(f);
    if (!MainForm && mayBeMain) MainForm = f;
}

bool Application::HandleMessage(MSG& msg) {
    if (msg.message == WM_QUIT) {
        Terminated = true;
        return false;
    }
    if (HelpKey(msg)) return true;
    // A non-modal dialog handles its own keys: Tab between its fields, Enter, Escape.
    for (HWND d : dialogs_)
        if (IsWindow(d) && IsDialogMessageA(d, &msg)) return true;
    // Tab moves between the controls of the active form; every other key goes to its control.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
        HWND top = GetAncestor(msg.hwnd, GA_ROOT);
        if (top && IsDialogMessageA(top, &msg)) return true;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

void Application::Run() {
    if (Terminated) return;
    if (MainForm) MainForm->Show();
    running_ = true;
    MSG msg;
    while (!Terminated) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            Terminated = true;
            break;
        }
        HandleMessage(msg);
    }
}

void Application::ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!HandleMessage(msg)) {
            // Keep the quit request for the loop that owns it.
            PostQuitMessage((int)msg.wParam);
            break;
        }
    }
}

void Application::Terminate() {
    if (Terminated) return;
    Terminated = true;
    // Before the loop runs there is nothing to wake; a quit message would only end the next
    // message box early (each form still tells the user about a missing skin).
    if (running_) PostQuitMessage(0);
}

void Application::Minimize() {
    if (MainForm && MainForm->Handle()) ShowWindow(MainForm->Handle(), SW_MINIMIZE);
}

void Application::DestroyForms() {
    // FormDestroy of every form runs before any form is freed: a destroy handler may still
    // reach another form's members.
    for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) (*it)->Destroy();
    while (!forms_.empty()) {
        Form* f = forms_.back();
        forms_.pop_back();
        delete f;
    }
    MainForm = nullptr;
}

void Application::ShowException(const std::exception& e) {
    std::string text = e.what();
    if (!text.empty() && text.back() != '.') text += '.';
    desktop().MessageBox(ActiveWindow(), text, Title, MB_OK | MB_ICONSTOP);
}

void Application::Guard(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

int Application::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    return desktop().MessageBox(ActiveWindow(), text, caption, flags);
}

HWND Application::ActiveWindow() const {
    HWND a = GetActiveWindow();
    if (a) return a;
    return MainForm ? MainForm->Handle() : nullptr;
}

void Application::AddDialog(HWND dialog) {
    if (dialog && std::find(dialogs_.begin(), dialogs_.end(), dialog) == dialogs_.end()) dialogs_.push_back(dialog);
}

void Application::RemoveDialog(HWND dialog) { std::erase(dialogs_, dialog); }

void ShowMessage(const std::string& text) { desktop().MessageBox(App->ActiveWindow(), text, App->Title, MB_OK); }

// ---------------------------------------------------------------------------------------
// Timers: one hidden window receives every timer's ticks.

static std::set<Timer*>& LiveTimers() {
    static std::set<Timer*> s;
    return s;
}

static LRESULT CALLBACK TimerWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER) {
        auto* t = reinterpret_cast<Timer*>(wp);
        if (LiveTimers().count(t)) t->Fire();
        return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

static HWND TimerWindow() {
    static HWND w = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = TimerWndProc;
        wc.hInstance = ModuleInstance();
        wc.lpszClassName = "TSkykitTimers";
        RegisterClassA(&wc);
        return CreateWindowExA(0, "TSkykitTimers", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               ModuleInstance(), nullptr);
    }();
    return w;
}

Timer::~Timer() {
    if (enabled_) KillTimer(TimerWindow(), reinterpret_cast<UINT_PTR>(this));
    LiveTimers().erase(this);
}

void Timer::SetInterval(UINT ms) {
    interval_ = ms;
    if (enabled_) SetTimer(TimerWindow(), reinterpret_cast<UINT_PTR>(this), interval_, nullptr);
}

void Timer::SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    if (on) {
        LiveTimers().insert(this);
        SetTimer(TimerWindow(), reinterpret_cast<UINT_PTR>(this), interval_, nullptr);
    } else {
        KillTimer(TimerWindow(), reinterpret_cast<UINT_PTR>(this));
    }
}

void Timer::Fire() {
    if (OnTimer) App->Guard(OnTimer);
}

// ---------------------------------------------------------------------------------------
// Popup menus

MenuItem* PopupMenu::Item(const std::string& name) {
    for (auto& i : Items)
        if (i.Name == name) return &i;
    return nullptr;
}

void PopupMenu::Popup(HWND owner, int x, int y) {
    HMENU m = CreatePopupMenu();
    for (size_t i = 0; i < Items.size(); ++i) {
        const MenuItem& it = Items[i];
        if (it.Caption == "-")
            AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuA(m, MF_STRING | (it.Enabled ? 0 : MF_GRAYED), i + 1, it.Caption.c_str());
    }
    // The owner must be in front, or the menu does not close when the user clicks elsewhere.
    SetForegroundWindow(owner);
    int chosen = TrackPopupMenu(m, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, x, y, 0, owner, nullptr);
    PostMessageA(owner, WM_NULL, 0, 0);
    DestroyMenu(m);
    if (chosen > 0 && (size_t)chosen <= Items.size() && Items[chosen - 1].OnClick) {
        auto handler = Items[chosen - 1].OnClick;
        App->Guard(handler);
    }
}

// ---------------------------------------------------------------------------------------
// The real desktop

int Desktop::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

bool Desktop::OpenFile(FileDialog& d) {
    // "Text|*.ext|Text|*.ext" becomes the NUL-separated, double-NUL-terminated list.
    std::string filter = d.filter;
    std::replace(filter.begin(), filter.end(), '|', '\0');
    filter.push_back('\0');
    filter.push_back('\0');
    char file[MAX_PATH * 4] = "";
    lstrcpynA(file, d.fileName.c_str(), sizeof(file));
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = d.owner;
    ofn.lpstrFilter = d.filter.empty() ? nullptr : filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof(file);
    ofn.lpstrInitialDir = d.initialDir.empty() ? nullptr : d.initialDir.c_str();
    ofn.lpstrTitle = d.title.empty() ? nullptr : d.title.c_str();
    // The platform wants the bare extension ("jpg"), not a pattern ("*.jpg") or ".jpg":
    // it appends what it is given to a name typed without one.
    std::string ext = d.defaultExt;
    if (ext.rfind("*.", 0) == 0) ext.erase(0, 2);
    if (ext.rfind(".", 0) == 0) ext.erase(0, 1);
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLESIZING | (d.mustExist ? OFN_FILEMUSTEXIST : 0);
    if (!GetOpenFileNameA(&ofn)) return false;
    d.fileName = file;
    return true;
}

INT_PTR Desktop::ShellExecute(HWND owner, const std::string& verb, const std::string& file, const std::string& params,
                              const std::string& dir, int show) {
    return reinterpret_cast<INT_PTR>(::ShellExecuteA(owner, verb.empty() ? nullptr : verb.c_str(), file.c_str(),
                                                     params.empty() ? nullptr : params.c_str(),
                                                     dir.empty() ? nullptr : dir.c_str(), show));
}

BOOL Desktop::ShellExecuteEx(SHELLEXECUTEINFOA* info) { return ::ShellExecuteExA(info); }

UINT Desktop::WinExec(const std::string& cmdLine, UINT show) { return ::WinExec(cmdLine.c_str(), show); }

bool Desktop::RunAndWait(const std::string& cmdLine, int show) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = (WORD)show;
    PROCESS_INFORMATION pi{};
    std::string cmd = cmdLine;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    // Keep painting our windows while the program runs.
    while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, INFINITE, QS_PAINT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&msg);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

int Desktop::FileOperation(SHFILEOPSTRUCTA* op) { return SHFileOperationA(op); }

void Desktop::AddToRecentDocs(const std::string& path) { SHAddToRecentDocs(SHARD_PATHA, path.c_str()); }

HWND Desktop::ReplaceText(FINDREPLACEA* fr) { return ::ReplaceTextA(fr); }

// ---------------------------------------------------------------------------------------
// The find-and-replace dialog

UINT ReplaceDialog::Message() {
    static UINT msg = RegisterWindowMessageA(FINDMSGSTRINGA);
    return msg;
}

ReplaceDialog::~ReplaceDialog() {
    // The report of the closing dialog must not reach a dialog object that is gone.
    fr_.lCustData = 0;
    CloseDialog();
}

void ReplaceDialog::Execute(HWND owner) {
    if (hwnd_ && IsWindow(hwnd_)) {
        ShowWindow(hwnd_, SW_SHOW);
        SetForegroundWindow(hwnd_);
        return;
    }
    lstrcpynA(find_, FindText.c_str(), sizeof(find_));
    lstrcpynA(replace_, ReplaceText.c_str(), sizeof(replace_));
    fr_ = FINDREPLACEA{};
    fr_.lStructSize = sizeof(fr_);
    // The top-level window owns it, so it stays in front of a form embedded in another one;
    // its reports still come here through whichever form's window receives them.
    HWND root = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    fr_.hwndOwner = root ? root : owner;
    fr_.Flags = Options & (FR_DOWN | FR_MATCHCASE | FR_WHOLEWORD);
    fr_.lpstrFindWhat = find_;
    fr_.wFindWhatLen = sizeof(find_);
    fr_.lpstrReplaceWith = replace_;
    fr_.wReplaceWithLen = sizeof(replace_);
    fr_.lCustData = reinterpret_cast<LPARAM>(this);
    hwnd_ = desktop().ReplaceText(&fr_);
    if (hwnd_) App->AddDialog(hwnd_);
}

void ReplaceDialog::CloseDialog() {
    HWND h = hwnd_;
    hwnd_ = nullptr;
    if (h) {
        App->RemoveDialog(h);
        if (IsWindow(h)) DestroyWindow(h);
    }
}

void ReplaceDialog::Dispatch(LPARAM findReplace) {
    auto* fr = reinterpret_cast<FINDREPLACEA*>(findReplace);
    auto* d = fr ? reinterpret_cast<ReplaceDialog*>(fr->lCustData) : nullptr;
    if (!d || fr != &d->fr_) return;
    d->Options = fr->Flags;
    d->FindText = d->find_;
    d->ReplaceText = d->replace_;
    if (fr->Flags & FR_DIALOGTERM) {
        App->RemoveDialog(d->hwnd_);
        d->hwnd_ = nullptr;
    } else if (fr->Flags & FR_FINDNEXT) {
        if (d->OnFind) App->Guard(d->OnFind);
    } else if (fr->Flags & (FR_REPLACE | FR_REPLACEALL)) {
        if (d->OnReplace) App->Guard(d->OnReplace);
    }
    // A handler that puts the focus back into the text activates the owner; the dialog stays
    // in front of it all the same.
    if (d->hwnd_ && IsWindow(d->hwnd_))
        SetWindowPos(d->hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

static Desktop realDesktop;
static Desktop* currentDesktop = &realDesktop;

Desktop& desktop() { return *currentDesktop; }
void SetDesktop(Desktop* d) { currentDesktop = d ? d : &realDesktop; }

// ---------------------------------------------------------------------------------------
// Services

static std::string installDirOverride;

std::string InstallDir() {
    if (!installDirOverride.empty()) return installDirOverride;
    char path[MAX_PATH * 2] = "";
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return ExtractFilePath(path);
}

void SetInstallDirForTests(const std::string& dir) {
    installDirOverride = dir;
    if (!installDirOverride.empty() && installDirOverride.back() != '\\') installDirOverride += '\\';
}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    // The profile call truncates to the buffer without saying so: grow until the value fits.
    std::string buf(2048, '\0');
    for (;;) {
        DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buf.data(), (DWORD)buf.size(),
                                           path_.c_str());
        if (n + 1 < buf.size() || buf.size() > (64u << 20)) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 4);
    }
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
    std::string s = ReadString(section, key, "");
    if (s.empty()) return def;
    char* end = nullptr;
    long v = strtol(s.c_str(), &end, 10);
    return (end && *end == '\0') ? (int)v : def;
}

bool IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str()) != FALSE;
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::DeleteKey(const std::string& section, const std::string& key) {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, path_.c_str());
}

std::string SystemErrorText(DWORD code) {
    char* buf = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<char*>(&buf), 0, nullptr);
    std::string s = buf ? buf : "";
    if (buf) LocalFree(buf);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s.empty() ? "system error " + std::to_string(code) : s;
}

bool ReadRegistryString(HKEY root, const std::string& key, const std::string& name, std::string& value) {
    std::string k = key;
    if (!k.empty() && k[0] == '\\') k.erase(0, 1);
    HKEY h;
    if (RegOpenKeyExA(root, k.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    std::string out;
    if (RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
        out.resize(size);
        RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(out.data()), &size);
        out.resize(strnlen(out.c_str(), size));
    }
    RegCloseKey(h);
    value = out;
    return true;
}

std::string MinimizeName(const std::string& path, const std::function<int(const std::string&)>& width, int maxWidth) {
    std::string drive = (path.size() >= 2 && path[1] == ':') ? path.substr(0, 2) : "";
    std::string rest = path.substr(drive.size());
    size_t last = rest.rfind('\\');
    std::string dir = last == std::string::npos ? "" : rest.substr(0, last + 1);
    std::string name = last == std::string::npos ? rest : rest.substr(last + 1);

    while (width(drive + dir + name) > maxWidth && (!drive.empty() || !dir.empty())) {
        if (dir == "\\...\\") {
            drive.clear();
            dir = "...\\";
        } else if (dir.empty()) {
            drive.clear();
        } else {
            // Cut the first directory: a leading "\" is kept aside, an earlier ellipsis goes,
            // then everything up to the next "\" gives way to a new ellipsis.
            std::string lead;
            if (dir[0] == '\\') {
                lead = "\\";
                dir.erase(0, 1);
            }
            if (dir.rfind("...\\", 0) == 0) dir.erase(0, 4);
            size_t p = dir.find('\\');
            dir = p == std::string::npos ? "" : "...\\" + dir.substr(p + 1);
            dir = lead + dir;
        }
    }
    return drive + dir + name;
}

std::string ExtractFilePath(const std::string& path) {
    size_t p = path.find_last_of("\\:/");
    return p == std::string::npos ? "" : path.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& path) {
    size_t p = path.find_last_of("\\:/");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string IntToStr(long long v) { return std::to_string(v); }

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& dir) {
    std::string d = dir;
    while (!d.empty() && (d.back() == '\\' || d.back() == '/')) d.pop_back();
    if (d.empty() || DirectoryExists(d)) return true;
    std::string parent = ExtractFilePath(d);
    if (parent.size() < d.size() && !parent.empty() && parent.back() != ':' &&
        !(parent.size() == 3 && parent[1] == ':'))
        ForceDirectories(parent);
    return CreateDirectoryA(d.c_str(), nullptr) || DirectoryExists(d);
}

HMODULE LoadSkinLibrary() {
    // By plain name: the program's own directory is searched first.
    return LoadLibraryA("Skin32.dll");
}

}  // namespace ui
