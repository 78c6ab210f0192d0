// The project-complete dialog's one-file download: a name ending in ".exe" packs the package
// into one self-extracting program that asks nothing, unpacks into a temporary folder and
// starts the package's installer there.
#include <windows.h>
#include <tlhelp32.h>

#include "BuilderForms.h"

using namespace testing_support;
using namespace builder_tests;

namespace {

struct Find {
    DWORD pid;
    HWND found = nullptr;
};

BOOL CALLBACK VisibleOf(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<Find*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == f->pid && IsWindowVisible(w)) f->found = w;
    return f->found == nullptr;
}

// The visible window of a running "Setup.exe", or nullptr; its process id in pid.
HWND InstallerWindow(DWORD& pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe{sizeof pe};
    pid = 0;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (lstrcmpiA(pe.szExeFile, "Setup.exe") == 0) pid = pe.th32ProcessID;
    CloseHandle(snap);
    Find f{pid};
    if (pid) EnumWindows(VisibleOf, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

}  // namespace

using DoneDownload = DoneDialog;

TEST_F(DoneDownload, OneFileStartsTheInstallerFromATemporaryFolder) {
    CopyFileA(DistFile("SFXSTUB.BIN").c_str(), dir.file("SFXSTUB.BIN").c_str(), FALSE);
    const std::string pkg = Project("DLTEST");
    CopyFileA(DistFile("Setup.dll").c_str(), (pkg + "Setup.exe").c_str(), FALSE);
    WriteFile(pkg + "Kitsetup.ini", "[Title]\r\nhl=Download Test\r\n");
    Done1->PackageFiles = {"Setup.exe", "Kitsetup.ini"};

    WhileShown([] {
        Done1->CheckBox1.SetChecked(true), Done1->Edit1.SetText("Download");
        Done1->Button1Click();
    });
    const std::string exe = pkg + "Download.exe";
    ASSERT_TRUE(ui::FileExists(exe));
    EXPECT_FALSE(ui::FileExists(exe + ".zip"));
    // The settings header behind the stub: run at once, replace without asking, the folder
    // and the command.
    std::string bytes = ReadFile(exe);
    size_t h = ReadFile(dir.file("SFXSTUB.BIN")).size();
    ASSERT_EQ(bytes.substr(h, 3), "SKX");
    EXPECT_EQ((unsigned char)bytes[h + 3], 64 | 8 | 4);
    std::string texts = bytes.substr(h + 7, size_t((unsigned char)bytes[h + 4] + (unsigned char)bytes[h + 5] + (unsigned char)bytes[h + 6]));
    EXPECT_EQ(texts, "Download Test%TEMP%\\DLTESTSetup.exe");

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    RemoveTree(std::string(temp) + "DLTEST");
    STARTUPINFOA si{sizeof si};
    PROCESS_INFORMATION pi;
    std::string cmd = "\"" + exe + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    DWORD pid = 0;
    HWND installer = nullptr;
    for (int i = 0; i < 600 && !installer; ++i) {
        Pump(100);
        installer = InstallerWindow(pid);
    }
    EXPECT_NE(installer, nullptr) << "no installer window came up";
    EXPECT_TRUE(ui::FileExists(std::string(temp) + "DLTEST\\Kitsetup.ini"));
    if (pid) {
        HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        TerminateProcess(p, 0);
        CloseHandle(p);
    }
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    RemoveTree(std::string(temp) + "DLTEST");
}
