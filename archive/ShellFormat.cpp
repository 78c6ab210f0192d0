#include "ShellFormat.h"

#include "ZipPacker.h"
#include "ZipPackerInternal.h"

namespace {

// Ids of the controls of the platform's format dialog.
enum : int {
    kStart = 1,            // "Start"
    kClose = 2,            // "Close"
    kCapacity = 35,
    kLabel = 38,
    kQuick = 39,
    kSystemFiles = 41,
    kDialogReady = WM_USER + 2,  // the dialog's private message 1026
};
constexpr LPARAM kFormatDefaultSize = 0xFFFF;

}  // namespace

TZipPacker* TFormatThread::active_ = nullptr;
HHOOK TFormatThread::activeHook_ = nullptr;

TFormatThread::TFormatThread(TZipPacker* owner, bool CreateSuspended) : owner_(owner) {
    if (active_) {
        terminated_ = true;
    } else {
        active_ = owner;
        owner->FormatAutoStart = 1;
    }
    // Made suspended so that nothing runs before the object is complete.
    thread_ = CreateThread(nullptr, 0, &TFormatThread::ThreadProc, this, CREATE_SUSPENDED, &id_);
    if (!thread_) {
        if (!terminated_) active_ = nullptr;
        throw std::runtime_error("the format thread could not be created");
    }
    owner->FormatThreadId = id_;
    owner->FormatThread = nullptr;
    DuplicateHandle(GetCurrentProcess(), thread_, GetCurrentProcess(), &owner->FormatThread, SYNCHRONIZE, FALSE, 0);
    if (!CreateSuspended) ResumeThread(thread_);
}

TFormatThread::~TFormatThread() {
    if (!terminated_) active_ = nullptr;
    if (thread_) CloseHandle(thread_);
}

DWORD WINAPI TFormatThread::ThreadProc(LPVOID p) {
    auto* self = static_cast<TFormatThread*>(p);
    self->Execute();
    delete self;
    return 0;
}

void TFormatThread::Execute() {
    LONG result = -1;
    if (!terminated_) {
        typedef DWORD(WINAPI * FormatFn)(HWND, UINT, UINT, UINT);
        UINT old = SetErrorMode(SEM_FAILCRITICALERRORS);
        HMODULE shell = LoadLibraryA("Shell32.dll");
        auto format = shell ? reinterpret_cast<FormatFn>(reinterpret_cast<void*>(GetProcAddress(shell, "SHFormatDrive"))) : nullptr;
        if (format) {
            hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, &TFormatThread::CallWndRetProc, nullptr, GetCurrentThreadId());
            activeHook_ = hook_;
            result = LONG(format(owner_->ApplicationWindow(), UINT(owner_->FormatDrive), UINT(kFormatDefaultSize), 0));
            if (hook_) UnhookWindowsHookEx(hook_);
            activeHook_ = nullptr;
        } else {
            result = -3;
        }
        if (shell) FreeLibrary(shell);
        SetErrorMode(old);
    }
    InterlockedExchange(&owner_->FormatResult, result);
    InterlockedExchange(&owner_->FormatState, 2);
}

LRESULT CALLBACK TFormatThread::CallWndRetProc(int code, WPARAM wParam, LPARAM lParam) {
    TZipPacker* z = active_;
    if (code == HC_ACTION && z) {
        Sleep(1);
        auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        HWND dlg = z->FormatDialog;
        if (dlg && (m->hwnd == dlg || GetParent(m->hwnd) == dlg)) {
            if (m->message == WM_SHOWWINDOW || m->message == WM_ENABLE) {
                // Capacity and label are the set's to choose; quick format on, no system files.
                EnableWindow(GetDlgItem(dlg, kCapacity), FALSE);
                EnableWindow(GetDlgItem(dlg, kLabel), FALSE);
                CheckDlgButton(dlg, kQuick, BST_CHECKED);
                EnableWindow(GetDlgItem(dlg, kQuick), FALSE);
                CheckDlgButton(dlg, kSystemFiles, BST_UNCHECKED);
            } else if (m->message == kDialogReady && m->hwnd == dlg) {
                if (!z->ConfirmErase && z->FormatAutoStart) {
                    z->FormatAutoStart = 0;
                    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(kStart, BN_CLICKED), LPARAM(GetDlgItem(dlg, kStart)));
                }
            } else if (m->message == WM_SETTEXT && m->hwnd == GetDlgItem(dlg, kLabel)) {
                char text[13] = {};
                GetWindowTextA(m->hwnd, text, sizeof text);
                if (z->FormatLabel != text) SetWindowTextA(m->hwnd, z->FormatLabel.c_str());
            } else if (m->message == BM_SETSTYLE && m->wParam == 0 && !z->ConfirmErase) {
                PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(kClose, BN_CLICKED), LPARAM(GetDlgItem(dlg, kClose)));
            }
        }
    }
    return CallNextHookEx(activeHook_, code, wParam, lParam);
}

// The first window of the format thread owned by the application window is the dialog.
BOOL CALLBACK TZipPacker::EnumThreadWndProc(HWND wnd, LPARAM p) {
    auto* self = reinterpret_cast<TZipPacker*>(p);
    HWND parent = GetParent(wnd);
    if (parent && parent == self->ApplicationWindow()) {
        self->FormatDialog = wnd;
        InterlockedCompareExchange(&self->FormatState, 1, 0);
        return FALSE;
    }
    return TRUE;
}

int TZipPacker::ZipFormat() {
    FormatState = 0;
    FormatResult = -3;
    FormatDialog = nullptr;
    std::string root = driveRoot_.empty() ? "A" : driveRoot_;
    FormatDrive = toupper(static_cast<unsigned char>(root[0])) - 'A';
    FormatThread = nullptr;
    try {
        new TFormatThread(this, false);  // frees itself
    } catch (...) {
        return -3;
    }
    HANDLE thread = FormatThread;
    DWORD id = FormatThreadId;
    if (!thread) return -3;
    // Waiting keeps this thread's windows answering: the dialog's owner lives here.
    while (FormatState == 0) {
        ProcessPending();
        EnumThreadWindows(id, &TZipPacker::EnumThreadWndProc, reinterpret_cast<LPARAM>(this));
        if (FormatState == 0) MsgWaitForMultipleObjects(1, &thread, FALSE, 10, QS_ALLINPUT);
    }
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    CloseHandle(thread);
    FormatDialog = nullptr;
    return int(FormatResult);
}
