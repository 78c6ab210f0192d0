#include "TestSupport.h"

#include <fstream>
#include <sstream>

namespace testing_support {

int FakeDesktop::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    calls.push_back({"MessageBox", text, caption, flags, owner, ""});
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
    return fileOperationResult;
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

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

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

void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        ui::App->ProcessMessages();
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

}  // namespace testing_support
