// What the builder's form tests share: the forms that reach each other, created as the
// program creates them, a fresh install directory, the simulators' registry keys, bitmaps,
// and the project-complete dialog over a package directory.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Build1.h"
#include "Build2.h"
#include "Build5.h"
#include "Build9.h"
#include "Done.h"
#include "TestSupport.h"

namespace builder_tests {

inline const char* const kFs2000Key = "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\7.0";
inline const char* const kFs98Key = "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\6.1";

// A simulator's key in the test prefix's registry, with its "path" value, for the life of
// the object. The programs only read these keys; the tests write them.
class SimulatorKey {
public:
    SimulatorKey(const char* key, const std::string& path) : key_(key) {
        HKEY h;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(h, "path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()), (DWORD)path.size() + 1);
            RegCloseKey(h);
        }
    }
    ~SimulatorKey() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, key_); }
    SimulatorKey(const SimulatorKey&) = delete;

private:
    const char* key_;
};

inline void RemoveSimulatorKeys() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFs2000Key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFs98Key);
}

// A 24-bit Windows bitmap file of the given size, filled with one colour.
inline void WriteBitmap(const std::string& path, int w, int h, COLORREF colour = RGB(40, 90, 160)) {
    int stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof(ih);
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = stride * h;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    std::string data(reinterpret_cast<char*>(&fh), sizeof(fh));
    data.append(reinterpret_cast<char*>(&ih), sizeof(ih));
    std::string row(stride, '\0');
    for (int x = 0; x < w; ++x) {
        row[x * 3] = (char)GetBValue(colour);
        row[x * 3 + 1] = (char)GetGValue(colour);
        row[x * 3 + 2] = (char)GetRValue(colour);
    }
    for (int y = 0; y < h; ++y) data += row;
    testing_support::WriteFile(path, data);
}

// The builder's forms that reach each other, with a recording desktop and an empty install
// directory. The simulators' keys are absent unless a test writes them.
struct BuilderForms : ::testing::Test {
    testing_support::FakeDesktop desk;
    testing_support::TempInstallDir dir;

    void SetUp() override {
        ui::App->Terminated = false;
        RemoveSimulatorKeys();
        Form1 = new TForm1();
        Form2 = new TForm2();
        Form5 = new TForm5();
        Option1 = new TOption1();
    }
    void TearDown() override {
        for (ui::Form* f : std::initializer_list<ui::Form*>{Option1, Form5, Form2, Form1}) f->Destroy();
        delete Option1;
        delete Form5;
        delete Form2;
        delete Form1;
        Option1 = nullptr;
        Form5 = nullptr;
        Form2 = nullptr;
        Form1 = nullptr;
        RemoveSimulatorKeys();
        ui::App->Terminated = false;
    }

    std::string Ini(const std::string& section, const std::string& key) {
        return testing_support::IniValue(dir.ini(), section, key);
    }
    void SetIni(const std::string& section, const std::string& key, const std::string& value) {
        ui::IniFile(dir.ini()).WriteString(section, key, value);
    }
    std::vector<testing_support::Call> Messages() const { return desk.Of("MessageBox"); }
    // Three developers on the main form, each with a name and an address.
    void FillAuthors() {
        Form1->Edit2.SetText("Ann");
        Form1->Edit3.SetText("ann@example.com");
        Form1->Edit4.SetText("Bob");
        Form1->Edit5.SetText("bob@example.com");
        Form1->Edit6.SetText("Cid");
        Form1->Edit7.SetText("cid@example.com");
    }
};

// The project-complete dialog and the main form behind it, with a recording desktop and an
// install directory holding the builder (the dialog shows the shell's icon of it).
struct DoneDialog : ::testing::Test {
    testing_support::FakeDesktop desk;
    testing_support::TempInstallDir dir;
    TDone1* done = nullptr;
    void SetUp() override {
        CopyFileA(testing_support::DistFile("Kitpress.exe").c_str(), dir.file("Kitpress.exe").c_str(), FALSE);
        ui::App->Terminated = false;
        ui::App->Title = "Skykit Builder";
        Form1 = new TForm1();
        done = Done1 = new TDone1();
    }
    void TearDown() override {
        delete Done1;
        Done1 = nullptr;
        Form1->Destroy();
        delete Form1;
        Form1 = nullptr;
    }
    // The project as a completed build leaves it: its package directory (returned) named in the
    // settings and on the main form.
    std::string Project(const std::string& sub) {
        std::string pkg = dir.path() + sub + "\\";
        ui::ForceDirectories(pkg);
        ui::IniFile(dir.ini()).WriteString("Temp", "Project", sub);
        Form1->Edit9.SetText(sub);
        return pkg;
    }
    // A package directory with five files and one subdirectory.
    std::string MakePackage(const std::string& sub) {
        std::string pkg = Project(sub);
        ui::ForceDirectories(pkg + "Textures");
        for (const char* f : {"Setup.skb", "Setup.exe", "Kitsetup.ini", "Skin32.dll", "Unzeng.dll"})
            testing_support::WriteFile(pkg + f, std::string(1000, 'x'));
        testing_support::WriteFile(pkg + "Textures\\ground.bmp", "BM");
        done->PackageFiles = {"Setup.skb", "Setup.exe", "Kitsetup.ini", "Skin32.dll", "Unzeng.dll"};
        return pkg;
    }
    // Runs the dialog modally and does something inside it, as a person would.
    void WhileShown(std::function<void()> action) {
        ui::Timer t;
        t.SetInterval(50);
        t.OnTimer = [&] {
            t.SetEnabled(false);
            action();
            if (done->Modal()) done->ModalResult = ui::mrCancel;
        };
        t.SetEnabled(true);
        done->ShowModal();
    }
};

}  // namespace builder_tests
