#include "TestSupport.h"

#include <fstream>
#include <sstream>

namespace testing_support {

int FakeDesktop::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    calls.push_back({"MessageBox", text, caption, flags, owner, ""});
    if (onMessage) return onMessage(text);
    if (messageAnswers.empty()) return IDOK;
    int a = messageAnswers.front();
    messageAnswers.pop_front();
    return a;
}

bool FakeDesktop::OpenFile(ui::FileDialog& d) {
    calls.push_back({"OpenFile", d.fileName, d.title, 0, d.owner, d.filter + "|" + d.initialDir + "|" + d.defaultExt});
    if (onOpenFile) onOpenFile(d);
    if (fileAnswers.empty()) return false;
    std::string a = fileAnswers.front();
    fileAnswers.pop_front();
    if (a.empty()) return false;
    d.fileName = a;
    return true;
}

INT_PTR FakeDesktop::ShellExecute(HWND owner, const std::string& verb, const std::string& file,
                                  const std::string& params, const std::string& dir, int show) {
    calls.push_back({"ShellExecute", file, verb, (UINT)show, owner, params + "|" + dir});
    return 42;
}

BOOL FakeDesktop::ShellExecuteEx(SHELLEXECUTEINFOA* info) {
    calls.push_back({"ShellExecuteEx", info->lpFile ? info->lpFile : "", info->lpVerb ? info->lpVerb : "",
                     (UINT)info->nShow, info->hwnd, info->lpParameters ? info->lpParameters : ""});
    return TRUE;
}

UINT FakeDesktop::WinExec(const std::string& cmdLine, UINT show) {
    calls.push_back({"WinExec", cmdLine, "", show, nullptr, ""});
    return 33;
}

bool FakeDesktop::RunAndWait(const std::string& cmdLine, int show) {
    calls.push_back({"RunAndWait", cmdLine, "", (UINT)show, nullptr, ""});
    return runAndWaitResult;
}

int FakeDesktop::FileOperation(SHFILEOPSTRUCTA* op) {
    std::string from = op->pFrom ? op->pFrom : "";
    calls.push_back({"FileOperation", from, "", op->wFunc, op->hwnd, std::to_string(op->fFlags)});
    return realFileOperations ? ui::Desktop::FileOperation(op) : fileOperationResult;
}

void FakeDesktop::AddToRecentDocs(const std::string& path) { calls.push_back({"AddToRecentDocs", path}); }

HWND FakeDesktop::ReplaceText(FINDREPLACEA* fr) {
    calls.push_back({"ReplaceText", fr->lpstrFindWhat ? fr->lpstrFindWhat : "", "", (UINT)fr->Flags, fr->hwndOwner,
                     fr->lpstrReplaceWith ? fr->lpstrReplaceWith : ""});
    return nullptr;
}

std::vector<Call> FakeDesktop::Of(const std::string& kind) const {
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.kind == kind) out.push_back(c);
    return out;
}

std::string MakeTempDir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    for (;;) {
        std::string d = std::string(base) + "skytest-" + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(++counter);
        if (CreateDirectoryA(d.c_str(), nullptr)) return d + "\\";
    }
}

void RemoveTree(const std::string& dir) {
    std::string d = dir;
    if (!d.empty() && d.back() == '\\') d.pop_back();
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((d + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = fd.cFileName;
            if (n == "." || n == "..") continue;
            std::string p = d + "\\" + n;
            SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(p);
            else
                DeleteFileA(p.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(d.c_str());
}

TempInstallDir::TempInstallDir() : path_(MakeTempDir()) { ui::SetInstallDirForTests(path_); }

TempInstallDir::~TempInstallDir() {
    ui::SetInstallDirForTests("");
    RemoveTree(path_);
}

ScratchDir::ScratchDir() : path_(MakeTempDir()) { path_.pop_back(); }

ScratchDir::~ScratchDir() { RemoveTree(path_); }

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f << data;
}

std::string IniValue(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& def) {
    char buf[8192];
    GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buf, sizeof(buf), path.c_str());
    return buf;
}

std::string ExeDir() {
    char p[MAX_PATH];
    GetModuleFileNameA(nullptr, p, MAX_PATH);
    return ui::ExtractFilePath(p);
}

std::string DistFile(const std::string& name) { return ExeDir() + "..\\dist\\" + name; }

void PressF1(HWND window) {
    PostMessageA(window, WM_KEYDOWN, VK_F1, 0);
    ui::App->ProcessMessages();
}

std::string GuideProblem(const std::vector<Call>& shell, const ui::HelpTopic& topic) {
    if (shell.size() != 1) return std::to_string(shell.size()) + " calls of the shell";
    // A page's top opens as a document; a section needs the browser and the page's address.
    const std::string asked = shell[0].text + " " + shell[0].extra;
    const std::string want = topic.section.empty() ? ui::InstallDir() + "Help\\" + topic.page : ui::HelpAddress(topic);
    if (asked.find(want) == std::string::npos) return "the shell was asked for " + asked + ", not " + want;
    const std::string page = ReadFile(DistFile("Help\\" + topic.page));
    if (page.empty()) return "the guide has no page " + topic.page;
    if (!topic.section.empty() && page.find("id=\"" + topic.section + "\"") == std::string::npos)
        return topic.page + " has no section " + topic.section;
    return "";
}

std::string UnixPath(const std::string& win) {
    typedef char*(__cdecl * Fn)(LPCWSTR);
    auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!fn) return "";
    std::wstring w(win.begin(), win.end());
    char* p = fn(w.c_str());
    std::string s = p ? p : "";
    if (p) HeapFree(GetProcessHeap(), 0, p);
    return s;
}

std::string Host(const std::string& command, const ScratchDir& dir) {
    static int n = 0;
    std::string out = dir / ("host-out" + std::to_string(++n) + ".txt");
    std::string line =
        "/bin/sh -c \"" + command + " > '" + UnixPath(out) + "' 2>&1; echo rc=$? >> '" + UnixPath(out) + "'\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::vector<char> cmd(line.begin(), line.end());
    cmd.push_back(0);
    if (!CreateProcessA("Z:\\bin\\sh", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return "<not run>";
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    // A host program started from Wine is not waited for through its handle: its last line
    // tells that it has finished.
    std::string text;
    for (int i = 0; i < 1200 && text.find("rc=") == std::string::npos; ++i) {
        Sleep(100);
        text = ReadFile(out);
    }
    return text;
}

void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        ui::App->ProcessMessages();
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

}  // namespace testing_support
