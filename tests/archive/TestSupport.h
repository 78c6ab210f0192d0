// Shared pieces of the component's tests: a desktop that records message boxes instead of
// showing them, scratch folders, and the recording engine's directories.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../../ui/ui.h"
#include "ZipPacker.h"

struct RecordedBox {
    std::string text, caption;
    UINT flags;
};

class RecordingDesktop : public ui::Desktop {
public:
    std::vector<RecordedBox> boxes;
    int answer = IDOK;
    int MessageBox(HWND, const std::string& text, const std::string& caption, UINT flags) override {
        boxes.push_back({text, caption, flags});
        return answer;
    }
};

inline std::string ExeDir() {
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    std::string s(buf, n);
    return s.substr(0, s.find_last_of('\\') + 1);
}

inline std::string RecorderDir(const char* which) { return ExeDir() + "archive\\" + which; }

// A fresh folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        static int n = 0;
        path_ = std::string(tmp) + "zptest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++n);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchDir() { Remove(path_); }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
    static void Remove(const std::string& dir) {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string n = fd.cFileName;
                if (n == "." || n == "..") continue;
                std::string p = dir + "\\" + n;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(p);
                else {
                    SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(p.c_str());
                }
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The engine of the build: the install directory, else beside the tests.
inline std::string EngineDir() {
    const char* dist = std::getenv("SKYKIT_DIST");
    if (dist && *dist) {
        // SKYKIT_DIST is a host path: Wine shows it under Z:.
        std::string p = std::string("Z:") + dist;
        for (char& c : p)
            if (c == '/') c = '\\';
        if (ui::FileExists(p + "\\ZIPENG.DLL")) return p;
    }
    return ExeDir();
}

// The host path of a Windows path, through Wine's own mapping.
inline std::string UnixPath(const std::string& win) {
    typedef char*(__cdecl * Fn)(LPCWSTR);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!fn) return "";
    std::wstring w(win.begin(), win.end());
    char* p = fn(w.c_str());
    std::string s = p ? p : "";
    if (p) HeapFree(GetProcessHeap(), 0, p);
    return s;
}

// Runs a host shell command and returns its output, or "<not run>".
inline std::string Host(const std::string& command, const ScratchDir& dir) {
    static int n = 0;
    std::string out = dir / ("host-out" + std::to_string(++n) + ".txt");
    std::string line = "/bin/sh -c \"" + command + " > '" + UnixPath(out) + "' 2>&1; echo rc=$? >> '" + UnixPath(out) + "'\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::vector<char> cmd(line.begin(), line.end());
    cmd.push_back(0);
    if (!CreateProcessA("Z:\\bin\\sh", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return "<not run>";
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    // A host program started from Wine is not waited for through its handle: its last line
    // tells that it has finished.
    std::string text;
    for (int i = 0; i < 1200 && text.find("rc=") == std::string::npos; ++i) {
        Sleep(100);
        text = ReadBytes(out);
    }
    return text;
}

// Every test gets a recording desktop and a quiet component.
class ComponentTest : public ::testing::Test {
protected:
    RecordingDesktop desk;
    ScratchDir scratch;
    void SetUp() override { ui::SetDesktop(&desk); }
    void TearDown() override { ui::SetDesktop(nullptr); }
};
