// The self-extractor: a small program that the archive component puts in front of a ZIP
// archive, with a 256-byte settings header between the two. It finds its archive in its own
// file, shows the caption, folder and overwrite rule from the header, extracts with a CRC
// check and progress, and runs the header's command line afterwards.
//
// The dialog runs on the main thread; the extraction runs on a worker that reports progress
// with posted messages and asks its questions (replace a file? password?) with sent ones, so
// the window stays responsive and Cancel works at any moment.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ExitCodes.h"
#include "PackageInfo.h"
#include "ProgressScale.h"
#include "SfxLayout.h"
#include "Unpack.h"
#include "Errors.h"
#include "os/win32_text.h"
#include "resource.h"
#include "threads.h"
#include "TextReport.h"

namespace {

enum : UINT {
    WM_APP_PROGRESS = WM_APP + 1,   // new progress figures are waiting in the shared state
    WM_APP_ASK = WM_APP + 2,        // lParam: Question*, answered before SendMessage returns
    WM_APP_DONE = WM_APP + 3,       // the worker has finished
    WM_APP_AUTOSTART = WM_APP + 4,
};

std::wstring W(const std::string& utf8) { return zc::widen(utf8); }
std::string U8(const std::wstring& w) { return zc::narrow(w, CP_UTF8); }
// The header's texts are in the ANSI code page of the machine that made the archive.
std::wstring FromAnsi(const std::string& s) { return W(zc::AnsiToUtf8(s.c_str())); }
std::wstring Backslashes(std::wstring s) {
    for (wchar_t& c : s)
        if (c == L'/') c = L'\\';
    return s;
}

std::wstring SizeText(unsigned long long n) { return W(kit::FormatSize(n)); }

std::wstring ItemText(HWND dlg, int id) {
    HWND h = GetDlgItem(dlg, id);
    int n = GetWindowTextLengthW(h);
    std::wstring s(size_t(n) + 1, L'\0');
    GetWindowTextW(h, &s[0], n + 1);
    s.resize(size_t(n));
    return s;
}

std::wstring SystemError(DWORD code) {
    wchar_t* buf = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring s = buf ? buf : L"";
    if (buf) LocalFree(buf);
    while (!s.empty() && (s.back() == L'\n' || s.back() == L'\r' || s.back() == L' ')) s.pop_back();
    return s.empty() ? L"error " + std::to_wstring(code) : s;
}

std::wstring FileTimeText(int64_t unixTime) {
    ULARGE_INTEGER u;
    u.QuadPart = uint64_t(unixTime) * 10000000ull + 116444736000000000ull;
    FILETIME ft{u.LowPart, u.HighPart}, local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) return L"";
    wchar_t d[64] = L"", t[64] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, d, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, t, 64);
    return std::wstring(d) + L" " + t;
}

// A question the worker asks through the dialog.
struct Question {
    enum Kind { Overwrite, Password } kind = Overwrite;
    std::wstring text;
    kit::Answer answer = kit::Answer::Cancel;
    std::string password;
    bool retry = false;
};

struct Sfx;

class Events : public kit::UnpackEvents {
public:
    explicit Events(Sfx& s) : s_(s) {}
    bool Progress(const std::string& name, uint64_t done, uint64_t total) override;
    kit::Answer AskOverwrite(const std::string& target, const zc::Entry& e) override;
    bool AskPassword(std::string& password, bool retry) override;

private:
    Sfx& s_;
    DWORD lastPost_ = 0;
    std::string lastName_;
};

// Everything the self-extractor knows about itself and its current run.
struct Sfx {
    std::wstring exePath, exeDir, exeName;
    std::unique_ptr<zip::File> file;
    zc::Directory dir;
    kit::SfxLocation where;
    std::wstring caption;
    HWND dlg = nullptr;
    bool autoRun = false;
    // /S: no window and no question; the command runs (an auto-run Setup.exe with /S too) and
    // is waited for. /D=folder: the folder to extract to, instead of the header's.
    bool silent = false;
    std::wstring folderSwitch;
    // The exit codes of Setup.exe, for the same kinds of outcome.
    int exitCode = kit::kExitCancelled;
    // The command started after the extraction, and whether what was extracted goes when it
    // has ended: only from a folder this run made, and not when the person keeps the files.
    HANDLE command = nullptr;
    bool madeTarget = false;
    bool keepFiles = false;

    // The run in progress.
    zc::Thread worker;
    std::atomic<bool> cancel{false};
    bool working = false;
    std::wstring target;
    kit::UnpackPlan plan;
    kit::UnpackResult result;
    kit::Overwrite rule = kit::Overwrite::Confirm;
    zc::Mutex lock;                // guards the three progress fields
    std::string progressName;
    uint64_t progressDone = 0, progressTotal = 0;

    int Message(const std::wstring& text, UINT flags) const {
        // Silent: nobody to read it; the exit code says what happened.
        if (silent) return (flags & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
        return MessageBoxW(dlg, text.c_str(), caption.c_str(), flags);
    }
};

bool Events::Progress(const std::string& name, uint64_t done, uint64_t total) {
    {
        zc::Lock g(s_.lock);
        s_.progressName = name;
        s_.progressDone = done;
        s_.progressTotal = total;
    }
    // A few posted messages a second keep the window current; one per file would make tens of
    // thousands of small files wait for as many repaints.
    DWORD now = GetTickCount();
    if (now - lastPost_ >= 40 || done == total) {
        lastName_ = name;
        lastPost_ = now;
        PostMessageW(s_.dlg, WM_APP_PROGRESS, 0, 0);
    }
    return s_.cancel.load();
}

kit::Answer Events::AskOverwrite(const std::string& target, const zc::Entry& e) {
    Question q;
    q.kind = Question::Overwrite;
    WIN32_FILE_ATTRIBUTE_DATA a{};
    std::wstring there;
    if (GetFileAttributesExW(Backslashes(W(target)).c_str(), GetFileExInfoStandard, &a)) {
        ULARGE_INTEGER t{{a.ftLastWriteTime.dwLowDateTime, a.ftLastWriteTime.dwHighDateTime}};
        int64_t unix = int64_t((t.QuadPart - 116444736000000000ull) / 10000000ull);
        there = SizeText((uint64_t(a.nFileSizeHigh) << 32) | a.nFileSizeLow) + L", " + FileTimeText(unix);
    }
    std::wstring inArchive = SizeText(e.usize) + L", " + FileTimeText(zip::HostFs().FromDosTime(e.dostime));
    q.text = L"This file is already there:\n" + Backslashes(W(target)) + L"\n(" + there +
             L")\n\nReplace it with the one from the archive (" + inArchive + L")?";
    SendMessageW(s_.dlg, WM_APP_ASK, 0, reinterpret_cast<LPARAM>(&q));
    return q.answer;
}

bool Events::AskPassword(std::string& password, bool retry) {
    if (s_.silent) return false;  // nobody to ask: encrypted members are reported, not guessed
    Question q;
    q.kind = Question::Password;
    q.retry = retry;
    SendMessageW(s_.dlg, WM_APP_ASK, 0, reinterpret_cast<LPARAM>(&q));
    if (q.answer != kit::Answer::Yes) return false;
    password = q.password;
    return true;
}

// --- Small dialogs ---------------------------------------------------------------------

INT_PTR CALLBACK OverwriteProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (ui::textreport::AnswerDialog(h, msg, wp)) return TRUE;
    switch (msg) {
        case WM_INITDIALOG: {
            auto* q = reinterpret_cast<Question*>(lp);
            SetWindowLongPtrW(h, DWLP_USER, lp);
            SetDlgItemTextW(h, IDC_OVR_TEXT, q->text.c_str());
            SendDlgItemMessageW(h, IDC_OVR_ICON, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_QUESTION)), 0);
            return TRUE;
        }
        case WM_COMMAND: {
            auto* q = reinterpret_cast<Question*>(GetWindowLongPtrW(h, DWLP_USER));
            switch (LOWORD(wp)) {
                case IDYES: q->answer = kit::Answer::Yes; break;
                case IDC_YESALL: q->answer = kit::Answer::YesToAll; break;
                case IDNO: q->answer = kit::Answer::No; break;
                case IDC_NOALL: q->answer = kit::Answer::NoToAll; break;
                case IDCANCEL: q->answer = kit::Answer::Cancel; break;
                default: return FALSE;
            }
            EndDialog(h, 0);
            return TRUE;
        }
    }
    return FALSE;
}

INT_PTR CALLBACK PasswordProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (ui::textreport::AnswerDialog(h, msg, wp)) return TRUE;
    switch (msg) {
        case WM_INITDIALOG: {
            auto* q = reinterpret_cast<Question*>(lp);
            SetWindowLongPtrW(h, DWLP_USER, lp);
            SetDlgItemTextW(h, IDC_PW_TEXT,
                            q->retry ? L"That password is not right. Please enter the password again:"
                                     : L"Files in this archive are protected by a password. Please enter it:");
            SendDlgItemMessageW(h, IDC_PW, EM_LIMITTEXT, 80, 0);
            return TRUE;
        }
        case WM_COMMAND: {
            auto* q = reinterpret_cast<Question*>(GetWindowLongPtrW(h, DWLP_USER));
            if (LOWORD(wp) == IDOK) {
                // Passwords are bytes in the ANSI code page, as the archive component sets them.
                char buf[128] = "";
                GetDlgItemTextA(h, IDC_PW, buf, sizeof buf);
                q->password = buf;
                q->answer = kit::Answer::Yes;
                EndDialog(h, 0);
                return TRUE;
            }
            if (LOWORD(wp) == IDCANCEL) {
                q->answer = kit::Answer::Cancel;
                EndDialog(h, 0);
                return TRUE;
            }
            return FALSE;
        }
    }
    return FALSE;
}

// --- Layout ----------------------------------------------------------------------------

RECT ClientRectOf(HWND dlg, int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dlg, id), &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Takes the band of the window between the tops of two controls out: what starts inside it
// is hidden, what starts below it moves up, and the window shrinks by the band's height.
void RemoveBand(HWND dlg, int firstId, int nextId) {
    int top = ClientRectOf(dlg, firstId).top, bottom = ClientRectOf(dlg, nextId).top;
    int dy = bottom - top;
    if (dy <= 0) return;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        if (r.top >= top && r.top < bottom) {
            ShowWindow(c, SW_HIDE);
            EnableWindow(c, FALSE);
        } else if (r.top >= bottom) {
            SetWindowPos(c, nullptr, r.left, r.top - dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    RECT w;
    GetWindowRect(dlg, &w);
    SetWindowPos(dlg, nullptr, 0, 0, w.right - w.left, w.bottom - w.top - dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CenterOnScreen(HWND dlg) {
    RECT w;
    GetWindowRect(dlg, &w);
    int x = (GetSystemMetrics(SM_CXSCREEN) - (w.right - w.left)) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - (w.bottom - w.top)) / 2;
    SetWindowPos(dlg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- The main dialog ---------------------------------------------------------------------

// The first "%NAME%" left in an expanded folder name, when NAME is not set; "" otherwise.
std::wstring UnsetVariable(const std::wstring& expanded) {
    size_t a = expanded.find(L'%');
    while (a != std::wstring::npos) {
        size_t b = expanded.find(L'%', a + 1);
        if (b == std::wstring::npos) break;
        std::wstring name = expanded.substr(a + 1, b - a - 1);
        if (!name.empty() && !GetEnvironmentVariableW(name.c_str(), nullptr, 0)) return L"%" + name + L"%";
        a = expanded.find(L'%', b + 1);
    }
    return L"";
}

// The folder the header proposes: environment variables expanded; a relative folder counts
// from the self-extractor's own folder, and no folder at all means that folder itself.
std::wstring DefaultFolder(const Sfx& s) {
    std::wstring d = FromAnsi(s.where.header.defaultDir);
    if (!d.empty()) {
        wchar_t buf[MAX_PATH * 2] = L"";
        DWORD n = ExpandEnvironmentStringsW(d.c_str(), buf, MAX_PATH * 2);
        if (n && n <= MAX_PATH * 2) d = buf;
    }
    if (d.empty()) return s.exeDir;
    bool absolute = (d.size() >= 2 && d[1] == L':') || (d.size() >= 1 && (d[0] == L'\\' || d[0] == L'/'));
    if (!absolute) d = s.exeDir + L"\\" + d;
    wchar_t full[MAX_PATH * 2] = L"";
    DWORD n = GetFullPathNameW(d.c_str(), MAX_PATH * 2, full, nullptr);
    return n && n < MAX_PATH * 2 ? std::wstring(full) : d;
}

void FillFiles(Sfx& s) {
    HWND list = GetDlgItem(s.dlg, IDC_FILES);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT r;
    GetClientRect(list, &r);
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = const_cast<wchar_t*>(L"Name");
    c.cx = r.right - 90 - GetSystemMetrics(SM_CXVSCROLL);
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&c));
    c.pszText = const_cast<wchar_t*>(L"Size");
    c.cx = 90;
    SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&c));
    int row = 0;
    for (size_t i = 0; i < s.dir.entries.size(); ++i) {
        const zc::Entry& e = s.dir.entries[i];
        if (e.IsDir()) continue;
        std::wstring name = Backslashes(W(e.name)), size = SizeText(e.usize);
        LVITEMW it{};
        it.mask = LVIF_TEXT | LVIF_PARAM;
        it.iItem = row++;
        it.pszText = &name[0];
        it.lParam = LPARAM(i);
        int at = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)));
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = &size[0];
        SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
        ListView_SetCheckState(list, at, TRUE);
    }
}

void CheckAll(Sfx& s, bool on) {
    HWND list = GetDlgItem(s.dlg, IDC_FILES);
    int n = ListView_GetItemCount(list);
    for (int i = 0; i < n; ++i) ListView_SetCheckState(list, i, on ? TRUE : FALSE);
}

void SetWorking(Sfx& s, bool on) {
    s.working = on;
    for (int id : {IDC_DIR, IDC_BROWSE, IDC_OVR_ASK, IDC_OVR_ALWAYS, IDC_OVR_NEVER, IDC_FILES, IDC_ALL, IDC_NONE, IDOK})
        if (IsWindowVisible(GetDlgItem(s.dlg, id))) EnableWindow(GetDlgItem(s.dlg, id), on ? FALSE : TRUE);
    if (IsWindowVisible(GetDlgItem(s.dlg, IDC_RUN)) && s.where.header.AskCmdLine())
        EnableWindow(GetDlgItem(s.dlg, IDC_RUN), on ? FALSE : TRUE);
}

void InitMain(Sfx& s, HWND dlg) {
    s.dlg = dlg;
    SetWindowTextW(dlg, s.caption.c_str());
    HICON big = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_SFX), IMAGE_ICON, 32, 32, 0));
    HICON small = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_SFX), IMAGE_ICON, 16, 16, 0));
    SendMessageW(dlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    uint64_t bytes = 0;
    int files = 0;
    for (const zc::Entry& e : s.dir.entries)
        if (!e.IsDir()) {
            ++files;
            bytes += e.usize;
        }
    std::wstring intro = L"This archive holds " + std::to_wstring(files) + (files == 1 ? L" file" : L" files") + L" (" +
                         SizeText(bytes) + L").\nChoose the folder to extract " + (files == 1 ? L"it" : L"them") +
                         L" to, then press Extract.";
    SetDlgItemTextW(dlg, IDC_INTRO, intro.c_str());
    SetDlgItemTextW(dlg, IDC_DIR, (s.folderSwitch.empty() ? DefaultFolder(s) : s.folderSwitch).c_str());
    SHAutoComplete(GetDlgItem(dlg, IDC_DIR), SHACF_FILESYS_DIRS);

    const kit::SfxHeader& h = s.where.header;
    int radio = h.OverwriteRule() == kit::Overwrite::Always  ? IDC_OVR_ALWAYS
                : h.OverwriteRule() == kit::Overwrite::Never ? IDC_OVR_NEVER
                                                             : IDC_OVR_ASK;
    CheckRadioButton(dlg, IDC_OVR_ASK, IDC_OVR_NEVER, radio);

    std::wstring cmd = FromAnsi(h.commandLine);
    if (!cmd.empty()) {
        SetDlgItemTextW(dlg, IDC_RUN, (L"&Run \"" + cmd + L"\" afterwards").c_str());
        CheckDlgButton(dlg, IDC_RUN, BST_CHECKED);
        // Without the "ask" option the command is part of the archive's purpose: shown, fixed.
        EnableWindow(GetDlgItem(dlg, IDC_RUN), h.AskCmdLine() ? TRUE : FALSE);
    }
    if (h.AskFiles()) FillFiles(s);

    // Bands that this archive does not use go, from the bottom up.
    if (!h.AskFiles()) RemoveBand(dlg, IDC_FILES_LABEL, IDC_STATUS);
    if (cmd.empty()) RemoveBand(dlg, IDC_RUN, IDC_FILES_LABEL);
    if (h.HideOverwriteBox()) RemoveBand(dlg, IDC_OVR_GROUP, IDC_RUN);
    CenterOnScreen(dlg);

    SendDlgItemMessageW(dlg, IDC_PROGRESS, PBM_SETRANGE32, kit::kBarEmpty, kit::kBarFull);
    SetDlgItemTextW(dlg, IDC_STATUS, L"Ready.");
    if (s.autoRun || s.silent) PostMessageW(dlg, WM_APP_AUTOSTART, 0, 0);
}

// A control's own visibility: the window may be hidden as a whole (silent).
bool Shown(HWND dlg, int id) { return (GetWindowLongW(GetDlgItem(dlg, id), GWL_STYLE) & WS_VISIBLE) != 0; }

bool IsSetupProgram(const std::wstring& file) {
    size_t cut = file.find_last_of(L"\\/");
    std::wstring name = cut == std::wstring::npos ? file : file.substr(cut + 1);
    return lstrcmpiW(name.c_str(), W(kit::kSetupFile).c_str()) == 0;
}

int CALLBACK BrowseCallback(HWND h, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED) SendMessageW(h, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

void Browse(Sfx& s) {
    std::wstring current = ItemText(s.dlg, IDC_DIR);
    BROWSEINFOW bi{};
    bi.hwndOwner = s.dlg;
    bi.lpszTitle = L"Choose the folder to extract the files to:";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    bi.lpfn = BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(current.c_str());
    LPITEMIDLIST pidl = SHBrowseForFolderW(&bi);
    if (!pidl) return;
    wchar_t path[MAX_PATH] = L"";
    if (SHGetPathFromIDListW(pidl, path)) SetDlgItemTextW(s.dlg, IDC_DIR, path);
    CoTaskMemFree(pidl);
}

// Makes a folder and the folders above it; empty on success, else the system's reason.
std::wstring MakeFolders(const std::wstring& dir) {
    DWORD a = GetFileAttributesW(dir.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) return (a & FILE_ATTRIBUTE_DIRECTORY) ? L"" : L"a file of that name is in the way";
    size_t cut = dir.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 0 && !(cut == 2 && dir[1] == L':')) {
        std::wstring parent = dir.substr(0, cut);
        if (parent.size() > 2 || parent.back() != L':') {
            std::wstring why = MakeFolders(parent);
            if (!why.empty()) return why;
        }
    }
    if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return SystemError(GetLastError());
    return L"";
}

// The command line of the header, started in the extraction folder. A program or document
// named by a relative path is looked for there first.
void RunCommand(Sfx& s) {
    std::wstring cmd = FromAnsi(s.where.header.commandLine);
    while (!cmd.empty() && cmd[0] == L' ') cmd.erase(0, 1);
    if (cmd.empty()) return;
    std::wstring file, params;
    if (cmd[0] == L'"') {
        size_t q = cmd.find(L'"', 1);
        file = cmd.substr(1, q == std::wstring::npos ? std::wstring::npos : q - 1);
        params = q == std::wstring::npos ? L"" : cmd.substr(q + 1);
    } else {
        size_t sp = cmd.find(L' ');
        file = cmd.substr(0, sp);
        params = sp == std::wstring::npos ? L"" : cmd.substr(sp + 1);
    }
    while (!params.empty() && params[0] == L' ') params.erase(0, 1);
    // A silent download installs silently: its own Setup.exe gets the switch as well.
    if (s.silent && s.autoRun && IsSetupProgram(file)) params = params.empty() ? L"/S" : params + L" /S";
    std::wstring local = s.target + L"\\" + file;
    bool relative = !(file.size() >= 2 && file[1] == L':') && !(file.size() >= 1 && file[0] == L'\\');
    if (relative && GetFileAttributesW(local.c_str()) != INVALID_FILE_ATTRIBUTES) file = local;
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    sei.hwnd = s.dlg;
    sei.lpVerb = L"open";
    sei.lpFile = file.c_str();
    sei.lpParameters = params.empty() ? nullptr : params.c_str();
    sei.lpDirectory = s.target.c_str();
    sei.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&sei)) {
        s.Message(L"The files were extracted, but the command\n\n" + cmd + L"\n\ncould not be started: " +
                      SystemError(GetLastError()) + L".",
                  MB_OK | MB_ICONWARNING);
        if (s.silent) s.exitCode = kit::kExitWriteRefused;
        return;
    }
    // Waited for once the window is gone (WaitForCommand). A document opened by a program that
    // was running already gives no process: then nobody can tell when it is done with the files.
    s.command = sei.hProcess;
    s.keepFiles = s.keepFiles || !sei.hProcess || (Shown(s.dlg, IDC_KEEP) && IsDlgButtonChecked(s.dlg, IDC_KEEP));
}

// After the command has ended: a script that runs the download silently learns how it ended
// (its exit code becomes ours when it is not 0), and the files extracted for it go, with the
// folders, when this run made the folder and the person did not keep them.
void WaitForCommand(Sfx& s) {
    if (!s.command) return;
    WaitForSingleObject(s.command, INFINITE);
    DWORD code = 0;
    if (s.silent && GetExitCodeProcess(s.command, &code) && code != 0) s.exitCode = int(code);
    CloseHandle(s.command);
    s.command = nullptr;
    if (!s.madeTarget || s.keepFiles) return;
    std::vector<std::wstring> folders{s.target};
    for (const kit::UnpackItem& it : s.plan.items) {
        if (it.rel.empty() || !it.refusal.empty()) continue;
        std::wstring path = s.target + L"\\" + W(it.rel);
        if (it.isDir) {
            folders.push_back(path);
            continue;
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        for (size_t cut = path.find_last_of(L'\\'); cut > s.target.size(); cut = path.find_last_of(L'\\', cut - 1))
            folders.push_back(path.substr(0, cut));
    }
    // Deepest first; a folder that still holds something (a file the command made, one still
    // open in another program) stays.
    std::sort(folders.begin(), folders.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& f : folders) RemoveDirectoryW(f.c_str());
}

// Checks the folder and starts the extraction; false (after saying why) when it did not start.
bool Start(Sfx& s) {
    std::wstring typed = ItemText(s.dlg, IDC_DIR);
    while (!typed.empty() && typed.back() == L' ') typed.pop_back();
    while (!typed.empty() && typed[0] == L' ') typed.erase(0, 1);
    if (typed.empty()) {
        s.Message(L"Please choose the folder to extract the files to.", MB_OK | MB_ICONEXCLAMATION);
        SetFocus(GetDlgItem(s.dlg, IDC_DIR));
        return false;
    }
    wchar_t expanded[MAX_PATH * 2] = L"";
    DWORD n = ExpandEnvironmentStringsW(typed.c_str(), expanded, MAX_PATH * 2);
    std::wstring d = n && n <= MAX_PATH * 2 ? std::wstring(expanded) : typed;
    // A variable that is not set stays as "%NAME%" and would become a folder of that name.
    if (std::wstring unset = UnsetVariable(d); !unset.empty()) {
        s.Message(L"The folder\n\n" + typed + L"\n\nnames the environment variable " + unset +
                      L", which is not set on this computer. Please choose the folder to extract the files to.",
                  MB_OK | MB_ICONEXCLAMATION);
        // A setting the person must correct, as the table of exit codes has it; nothing is written.
        s.exitCode = kit::kExitCancelled;
        SetFocus(GetDlgItem(s.dlg, IDC_DIR));
        return false;
    }
    bool absolute = (d.size() >= 2 && d[1] == L':') || (!d.empty() && (d[0] == L'\\' || d[0] == L'/'));
    if (!absolute) d = s.exeDir + L"\\" + d;
    wchar_t full[MAX_PATH * 2] = L"";
    n = GetFullPathNameW(Backslashes(d).c_str(), MAX_PATH * 2, full, nullptr);
    if (!n || n >= MAX_PATH * 2) {
        s.Message(L"\"" + typed + L"\" is not a folder name that can be used.", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    s.target = full;
    while (s.target.size() > 3 && s.target.back() == L'\\') s.target.pop_back();

    zip::FileSystem& fs = zip::HostFs();
    s.plan = kit::PlanUnpack(fs, s.dir, U8(s.target));
    if (s.where.header.AskFiles()) {
        HWND list = GetDlgItem(s.dlg, IDC_FILES);
        std::vector<bool> chosen(s.dir.entries.size(), true);
        int rows = ListView_GetItemCount(list);
        for (int i = 0; i < rows; ++i) {
            LVITEMW it{};
            it.mask = LVIF_PARAM;
            it.iItem = i;
            SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
            chosen[size_t(it.lParam)] = ListView_GetCheckState(list, i) != 0;
        }
        for (kit::UnpackItem& it : s.plan.items)
            if (!it.isDir) it.selected = chosen[it.entry];
        if (s.plan.Files() == 0) {
            s.Message(L"No file is chosen. Tick the files to extract in the list.", MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
    }

    if (s.where.header.CheckSize()) {
        ULARGE_INTEGER avail{};
        uint64_t need = s.plan.Bytes(s.dir);
        // The target may not exist yet: its drive answers through the nearest folder that does.
        std::wstring probe = s.target;
        while (probe.size() > 3 && GetFileAttributesW(probe.c_str()) == INVALID_FILE_ATTRIBUTES)
            probe = probe.substr(0, probe.find_last_of(L'\\') == std::wstring::npos ? 3 : probe.find_last_of(L'\\'));
        if (GetDiskFreeSpaceExW((probe + L"\\").c_str(), &avail, nullptr, nullptr) && avail.QuadPart < need) {
            s.Message(L"The files need " + SizeText(need) + L", but only " + SizeText(avail.QuadPart) +
                          L" are free on the drive of\n\n" + s.target +
                          L"\n\nPlease free some space or choose another folder.",
                      MB_OK | MB_ICONSTOP);
            s.exitCode = kit::kExitNoSpace;
            return false;
        }
    }
    // Only now that every check has passed is anything made on the disk.
    s.madeTarget = GetFileAttributesW(s.target.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (std::wstring why = MakeFolders(s.target); !why.empty()) {
        s.Message(L"The folder\n\n" + s.target + L"\n\ncould not be made: " + why + L".", MB_OK | MB_ICONSTOP);
        s.exitCode = kit::kExitWriteRefused;
        SetFocus(GetDlgItem(s.dlg, IDC_DIR));
        return false;
    }

    if (s.where.header.HideOverwriteBox() || s.silent) {
        s.rule = s.where.header.OverwriteRule();
        // Nobody to ask: what is there already is kept.
        if (s.silent && s.rule == kit::Overwrite::Confirm) s.rule = kit::Overwrite::Never;
    } else {
        s.rule = IsDlgButtonChecked(s.dlg, IDC_OVR_ALWAYS) ? kit::Overwrite::Always
                 : IsDlgButtonChecked(s.dlg, IDC_OVR_NEVER) ? kit::Overwrite::Never
                                                              : kit::Overwrite::Confirm;
    }
    s.cancel = false;
    s.result = kit::UnpackResult{};
    SetWorking(s, true);
    SendDlgItemMessageW(s.dlg, IDC_PROGRESS, PBM_SETPOS, kit::kBarEmpty, 0);
    SetDlgItemTextW(s.dlg, IDC_STATUS, L"Extracting...");
    s.worker = zc::Thread([&s] {
        Events ev(s);
        s.result = kit::RunUnpack(zip::HostFs(), *s.file, s.dir, s.plan, s.rule, ev);
        PostMessageW(s.dlg, WM_APP_DONE, 0, 0);
    });
    return true;
}

std::wstring Problems(const kit::UnpackResult& r) {
    std::wstring out;
    size_t shown = 0;
    for (const kit::UnpackProblem& p : r.problems) {
        if (shown == 8) {
            out += L"\n(and " + std::to_wstring(r.problems.size() - shown) + L" more)";
            break;
        }
        out += L"\n" + Backslashes(W(p.Line()));
        ++shown;
    }
    return out;
}

void Finished(Sfx& s) {
    if (s.worker.joinable()) s.worker.join();
    SetWorking(s, false);
    const kit::UnpackResult& r = s.result;
    std::wstring count = std::to_wstring(r.files) + (r.files == 1 ? L" file was" : L" files were");
    if (r.cancelled) {
        SetDlgItemTextW(s.dlg, IDC_STATUS, L"Cancelled.");
        s.Message(L"Extraction was cancelled. " + count + L" extracted before that; no file was left half-written.",
                  MB_OK | MB_ICONINFORMATION);
        s.exitCode = kit::kExitCancelled;
        if (s.silent) EndDialog(s.dlg, IDCANCEL);
        return;
    }
    if (r.diskFull) {
        SetDlgItemTextW(s.dlg, IDC_STATUS, L"Stopped: a file could not be written.");
        s.Message(L"Extraction stopped because a file could not be written:\n" + Problems(r) +
                      L"\n\nThe disk may be full. Please free some space or choose another folder, then press Extract again.",
                  MB_OK | MB_ICONSTOP);
        s.exitCode = kit::kExitNoSpace;
        if (s.silent) EndDialog(s.dlg, IDCANCEL);
        return;
    }
    SendDlgItemMessageW(s.dlg, IDC_PROGRESS, PBM_SETPOS, kit::kBarFull, 0);
    // Members left out for their names alone do not make the run a failure (as in Setup); a
    // member whose data is damaged makes it a damaged archive, one that could not be written
    // a failure to write.
    s.exitCode = r.Complete() ? kit::kExitOk : r.Damaged() > 0 ? kit::kExitDamaged : kit::kExitWriteRefused;
    if (!r.problems.empty()) {
        SetDlgItemTextW(s.dlg, IDC_STATUS, L"Done, with problems.");
        s.Message(std::to_wstring(r.problems.size()) + (r.problems.size() == 1 ? L" file" : L" files") +
                      L" could not be extracted:\n" + Problems(r) + L"\n\n" + count + L" extracted to " + s.target + L".",
                  MB_OK | MB_ICONWARNING);
        SetDlgItemTextW(s.dlg, IDCANCEL, L"Close");
        if ((s.autoRun && r.Complete()) || s.silent) EndDialog(s.dlg, IDOK);
        return;
    }
    SetDlgItemTextW(s.dlg, IDC_STATUS, L"Done.");
    bool run = Shown(s.dlg, IDC_RUN) && IsDlgButtonChecked(s.dlg, IDC_RUN);
    if (!s.autoRun && !run)
        s.Message(count + L" extracted to\n" + s.target + L"." +
                      (r.skipped ? L"\n" + std::to_wstring(r.skipped) + L" kept as they were." : L""),
                  MB_OK | MB_ICONINFORMATION);
    s.exitCode = kit::kExitOk;
    if (run) RunCommand(s);
    EndDialog(s.dlg, IDOK);
}

void ShowProgress(Sfx& s) {
    std::string name;
    uint64_t done, total;
    {
        zc::Lock g(s.lock);
        name = s.progressName;
        done = s.progressDone;
        total = s.progressTotal;
    }
    int pos = total ? kit::BarPosition(int64_t(done), int64_t(total)) : kit::kBarEmpty;
    SendDlgItemMessageW(s.dlg, IDC_PROGRESS, PBM_SETPOS, pos, 0);
    if (!name.empty()) SetDlgItemTextW(s.dlg, IDC_STATUS, (L"Extracting " + Backslashes(W(name))).c_str());
}

void AskCancel(Sfx& s) {
    if (!s.working) {
        EndDialog(s.dlg, IDCANCEL);
        return;
    }
    if (s.Message(L"Stop extracting? The files extracted so far are kept.", MB_YESNO | MB_ICONQUESTION) == IDYES)
        s.cancel = true;
}

INT_PTR CALLBACK MainProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (ui::textreport::AnswerDialog(h, msg, wp)) return TRUE;
    Sfx* s = reinterpret_cast<Sfx*>(GetWindowLongPtrW(h, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(h, DWLP_USER, lp);
            InitMain(*reinterpret_cast<Sfx*>(lp), h);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDOK:
                    if (!s->working) Start(*s);
                    return TRUE;
                case IDCANCEL: AskCancel(*s); return TRUE;
                case IDC_BROWSE: Browse(*s); return TRUE;
                case IDC_ALL: CheckAll(*s, true); return TRUE;
                case IDC_NONE: CheckAll(*s, false); return TRUE;
                case IDC_RUN:  // keeping the files is a choice only when the command runs
                    EnableWindow(GetDlgItem(h, IDC_KEEP), IsDlgButtonChecked(h, IDC_RUN) ? TRUE : FALSE);
                    return TRUE;
            }
            return FALSE;
        case WM_APP_AUTOSTART:
            // When the default folder cannot be used, the window stays for the person to choose.
            if (!Start(*s)) {
                if (s->silent) EndDialog(h, IDCANCEL);
                else ShowWindow(h, SW_SHOW);
            }
            return TRUE;
        case WM_WINDOWPOSCHANGING:
            // Silent: the dialog does its work without ever being shown.
            if (s && s->silent) reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~SWP_SHOWWINDOW;
            return FALSE;
        case WM_APP_PROGRESS:
            ShowProgress(*s);
            return TRUE;
        case WM_APP_ASK: {
            auto* q = reinterpret_cast<Question*>(lp);
            DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(q->kind == Question::Overwrite ? IDD_OVERWRITE : IDD_PASSWORD),
                            h, q->kind == Question::Overwrite ? OverwriteProc : PasswordProc, lp);
            return TRUE;
        }
        case WM_APP_DONE:
            Finished(*s);
            return TRUE;
        case WM_CLOSE:
            AskCancel(*s);
            return TRUE;
    }
    return FALSE;
}

bool gSilent = false;

void Fail(const std::wstring& caption, const std::wstring& text) {
    if (!gSilent) MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
}

// The switches after the program's name: /S, and /D=folder, which comes last and takes the
// rest of the line (spaces allowed, no quotes needed), as Setup.exe's. False for anything else.
bool ReadSwitches(Sfx& s, std::wstring& bad) {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    for (;;) {
        while (*p == L' ' || *p == L'\t') ++p;
        if (!*p) return true;
        // A switch may come in quotes as a whole ("/D=C:\My Add-ons").
        const bool quoted = *p == L'"';
        if (quoted) ++p;
        if ((p[0] == L'/' || p[0] == L'-') && (p[1] == L'D' || p[1] == L'd') && p[2] == L'=') {
            s.folderSwitch = p + 3;
            while (!s.folderSwitch.empty() && (s.folderSwitch.back() == L' ' || s.folderSwitch.back() == L'"'))
                s.folderSwitch.pop_back();
            if (!s.folderSwitch.empty() && s.folderSwitch[0] == L'"') s.folderSwitch.erase(0, 1);
            return true;
        }
        const wchar_t* end = p;
        while (*end && *end != L' ' && *end != L'\t' && *end != L'"') ++end;
        std::wstring word(p, end);
        if (quoted && *end == L'"') ++end;
        if (lstrcmpiW(word.c_str(), L"/S") == 0 || lstrcmpiW(word.c_str(), L"-S") == 0) {
            s.silent = gSilent = true;
        } else {
            bad = word;
            return false;
        }
        p = end;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    CoInitialize(nullptr);

    Sfx s;
    wchar_t self[MAX_PATH * 2] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    s.exePath = self;
    size_t cut = s.exePath.find_last_of(L'\\');
    s.exeDir = cut == std::wstring::npos ? L"." : s.exePath.substr(0, cut);
    s.exeName = cut == std::wstring::npos ? s.exePath : s.exePath.substr(cut + 1);
    s.caption = W(zip::kSfxDefaultCaption);
    if (std::wstring bad; !ReadSwitches(s, bad)) {
        Fail(s.caption, L"The switch " + bad + L" is not understood. This self-extractor takes /S (silent: no "
                        L"window, no questions) and /D=folder (the folder to extract to; it comes last).");
        return kit::kExitCancelled;
    }

    try {
        s.file = zip::HostFs().OpenRead(U8(s.exePath));
    } catch (const zip::ZipError& e) {
        Fail(s.caption, L"This self-extractor cannot read its own file:\n" + W(e.what()));
        return kit::kExitCancelled;
    }
    kit::LocateSfxHeader(*s.file, s.where);
    if (s.where.hasHeader && !s.where.header.caption.empty()) s.caption = FromAnsi(s.where.header.caption);
    try {
        // Only what follows the program (and its settings) can be the archive.
        uint64_t from = s.where.hasHeader ? s.where.headerPos + kit::kSfxHeaderSize : kit::ProgramImageEnd(*s.file);
        if (!kit::HasArchiveAfter(*s.file, from)) throw zip::ZipError(zip::kNoArchive, "no archive follows the program");
        s.dir = zc::ReadDirectory(*s.file);
        // The same rule as the engine's: members that share their data are a zip bomb.
        zip::CheckMemberRanges(*s.file, s.dir);
    } catch (const zip::ZipError& e) {
        if (!s.where.hasHeader && e.code() == zip::kNoArchive)
            Fail(s.caption, L"This is the Skykit self-extractor program on its own. No archive is joined to it, "
                            L"so there is nothing to extract.");
        else if (e.code() == zip::kNoArchive)
            Fail(s.caption, L"The archive of this self-extracting program is missing: " + s.exeName +
                                L" ends before it. The file was probably cut short while it was copied or "
                                L"downloaded; please get a new copy.");
        else
            Fail(s.caption, L"The archive of this self-extracting program is damaged:\n" + W(e.what()) +
                                L"\n\nNothing was extracted. Please get a new copy of " + s.exeName + L".");
        // The stub on its own is no damaged package; an archive missing or cut short is.
        return !s.where.hasHeader && e.code() == zip::kNoArchive ? kit::kExitCancelled : kit::kExitDamaged;
    }
    // Room for the settings between the program and its archive, but no settings there: they
    // are damaged, and defaults would extract somewhere else, without the author's rules.
    if (!s.where.hasHeader && s.dir.dataStart >= kit::ProgramImageEnd(*s.file) + kit::kSfxHeaderSize) {
        Fail(s.caption, L"The settings of this self-extracting program are damaged, so it does not know where "
                        L"and how to extract its files. Nothing was extracted. Please get a new copy of " +
                            s.exeName + L".");
        return kit::kExitDamaged;
    }
    if (s.dir.entries.empty()) {
        if (!s.silent) MessageBoxW(nullptr, L"This self-extracting archive holds no files.", s.caption.c_str(), MB_OK | MB_ICONINFORMATION);
        return kit::kExitOk;
    }
    s.autoRun = s.where.header.AutoRun();
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainProc, reinterpret_cast<LPARAM>(&s));
    if (s.worker.joinable()) {
        s.cancel = true;
        s.worker.join();
    }
    WaitForCommand(s);
    CoUninitialize();
    return s.exitCode;
}
