// What the tests under Wine share: a desktop that records instead of showing, a temporary
// install directory, scratch folders, small file helpers and commands run on the host.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui.h"

namespace testing_support {

// One call that would have reached a person or left the process.
struct Call {
    std::string kind;     // "MessageBox", "OpenFile", "ShellExecute", "WinExec", "RunAndWait", ...
    std::string text;     // message text, file, command line
    std::string caption;  // caption, verb, title
    UINT flags = 0;       // message box flags, show command
    HWND owner = nullptr;
    std::string extra;    // parameters, directory, filter...
};

// Records every call and answers from a script. Install it for the life of a test.
class FakeDesktop : public ui::Desktop {
public:
    FakeDesktop() { ui::SetDesktop(this); }
    ~FakeDesktop() override { ui::SetDesktop(nullptr); }

    std::vector<Call> calls;
    std::deque<int> messageAnswers;             // next message box results (default IDOK)
    std::deque<std::string> fileAnswers;        // next chosen files ("" = cancelled)
    std::function<void(ui::FileDialog&)> onOpenFile;  // sees each open-file request
    // When set, answers every message box in place of messageAnswers.
    std::function<int(const std::string& text)> onMessage;
    int fileOperationResult = 0;
    bool realFileOperations = false;  // file operations are recorded and also carried out
    bool runAndWaitResult = true;

    int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) override;
    bool OpenFile(ui::FileDialog& d) override;
    INT_PTR ShellExecute(HWND owner, const std::string& verb, const std::string& file, const std::string& params,
                         const std::string& dir, int show) override;
    BOOL ShellExecuteEx(SHELLEXECUTEINFOA* info) override;
    UINT WinExec(const std::string& cmdLine, UINT show) override;
    bool RunAndWait(const std::string& cmdLine, int show) override;
    int FileOperation(SHFILEOPSTRUCTA* op) override;
    void AddToRecentDocs(const std::string& path) override;
    HWND ReplaceText(FINDREPLACEA* fr) override;  // recorded; no dialog opens

    std::vector<Call> Of(const std::string& kind) const;
    void Clear() { calls.clear(); }
};

// A fresh directory that the forms take as their install directory; removed afterwards.
class TempInstallDir {
public:
    TempInstallDir();
    ~TempInstallDir();
    const std::string& path() const { return path_; }  // with trailing backslash
    std::string file(const std::string& name) const { return path_ + name; }
    std::string ini() const { return file("Kitforge.ini"); }

private:
    std::string path_;
};

// A fresh folder for a test's own files, removed with everything in it afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }  // without trailing backslash
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);  // a file or a folder
void WriteFile(const std::string& path, const std::string& data);
std::string IniValue(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& def = "<absent>");
std::string MakeTempDir();
void RemoveTree(const std::string& dir);
// The program's own directory (where the test program and its copies of the DLLs are).
std::string ExeDir();
// A file of the build's install directory (the programs, DLLs and stub the tests copy).
std::string DistFile(const std::string& name);
// The host's path of a Windows path, through Wine's own mapping; "" outside Wine.
std::string UnixPath(const std::string& win);
// Runs a host shell command and returns its output with a last line "rc=N", or "<not run>".
// The output is kept in a file of dir.
std::string Host(const std::string& command, const ScratchDir& dir);
// Lets pending window messages run for a while (timers, repaints).
void Pump(DWORD ms);

// Runs `action` from inside the next modal loop (or message pump), `ms` from now, once.
class Later {
public:
    Later(UINT ms, std::function<void()> action) : action_(std::move(action)) {
        timer_.SetInterval(ms);
        timer_.OnTimer = [this] {
            timer_.SetEnabled(false);
            action_();
        };
        timer_.SetEnabled(true);
    }

private:
    ui::Timer timer_;
    std::function<void()> action_;
};

// A press of F1 on a window, through the program's message loop.
void PressF1(HWND window);
// What is wrong with the shell calls of one F1 for the guide's `topic`: "" when there was one
// call, it asked for the topic's page and section, and the guide that ships has both.
std::string GuideProblem(const std::vector<Call>& shell, const ui::HelpTopic& topic);

}  // namespace testing_support
