// The shell's format dialog for the disks of a set, run on a worker thread so that the
// component can drive the dialog: it prepares the volume label, fixes the dialog's options and,
// when ConfirmErase is off, starts the format and closes the dialog by itself.
#pragma once

#include <windows.h>

class TZipPacker;

class TFormatThread {
public:
    // Created running; it frees itself when it ends. The component gets the thread's id and a
    // handle of its own to wait on (FormatThread, FormatThreadId) before the thread runs. Only one format runs in the process at a
    // time: a second thread ends at once and reports a format error.
    TFormatThread(TZipPacker* owner, bool CreateSuspended);

    static LRESULT CALLBACK CallWndRetProc(int code, WPARAM wParam, LPARAM lParam);

private:
    ~TFormatThread();
    void Execute();
    static DWORD WINAPI ThreadProc(LPVOID self);

    TZipPacker* owner_;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
    bool terminated_ = false;  // another format was running when this one was made
    HHOOK hook_ = nullptr;
    // The component served by the running format thread.
    static TZipPacker* active_;
    static HHOOK activeHook_;
};
