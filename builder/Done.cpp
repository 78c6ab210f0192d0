// The project-complete dialog.
#include "Done.h"

#include <shellapi.h>

#include <algorithm>

#include "Build1.h"
#include "Build9.h"
#include "Kitforge.h"
#include "PackageFiles.h"
#include "PackageInfo.h"
#include "Release.h"

TDone1* Done1 = nullptr;

namespace {

// Progress of the distribution ZIP (module-wide, as the bars' owner keeps them).
int32_t fileSize = 0, fileDone = 0, totalSize = 0, totalDone = 0;

// The dialog's heights: summary and buttons; with the progress bars; collapsed to close.
const int kIdleHeight = 312, kBusyHeight = 374, kClosingHeight = 274;

bool SameName(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

}  // namespace

int CountPackageFiles(const std::string& dir) {
    std::string d = dir;
    if (!d.empty() && d.back() != '\\') d += '\\';
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((d + "*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do {
        std::string name = fd.cFileName;
        if (name != "." && name != "..") ++n;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return n;
}

TDone1::TDone1() : Form("Done1", 282, 325) {
    Title = "SKKT Project Builder";
    Help = {"first-package.htm", "complete"};
    Label1.Font.pixelHeight = 19;
    Label1.Font.bold = true;
    Label1.Font.color = RGB(28, 60, 112);
    for (ui::Label* l : {&Label9, &Label11, &ZipFName, &Label6, &Label13, &Label15}) l->Font.bold = true;
    ZipFName.AutoSize = false;
    Label5.AutoSize = false;
    Image1.Center = true;
    Edit1.TabOrder = 0;
    Button1.Default = true;

    Build({
        {Image1, nullptr, {12, 10, 32, 32}},
        {Label1, nullptr, {54, 16, 0, 0}, "SKKT - Project Complete"},
        {Label8, nullptr, {12, 56, 0, 0}, "Project name:"},
        {Label9, nullptr, {100, 56, 0, 0}},
        {Label10, nullptr, {12, 74, 0, 0}, "Addon type:"},
        {Label11, nullptr, {100, 74, 0, 0}},
        {Label4, nullptr, {12, 92, 0, 0}, "Setup directory:"},
        {Label5, nullptr, {100, 92, 174, 13}},
        {ZipFName, nullptr, {100, 92, 174, 13}},
        {Label2, nullptr, {12, 110, 0, 0}, "Package files:"},
        {Label6, nullptr, {100, 110, 0, 0}},
        {Label12, nullptr, {12, 128, 0, 0}, "Splashscreen:"},
        {Label13, nullptr, {100, 128, 0, 0}},
        {Label14, nullptr, {12, 146, 0, 0}, "Screenshots:"},
        {Label15, nullptr, {100, 146, 0, 0}},
        {Bevel1, nullptr, {8, 166, 266, 4}},
        {Label3, nullptr, {12, 178, 0, 0}, "Zip filename:"},
        {Edit1, nullptr, {8, 194, 265, 21}},
        {CheckBox1, nullptr, {10, 221, 263, 17}, "One-file download (.exe) that starts Setup"},
        {Button3, nullptr, {8, 248, 85, 25}, "Run Setup"},
        {Button1, nullptr, {98, 248, 85, 25}, "Create Zip"},
        {Button2, nullptr, {188, 248, 85, 25}, "Cancel"},
        {Label7, nullptr, {12, 286, 0, 0}, "Compressing..."},
        {ProgressBar1, nullptr, {8, 304, 265, 14}},
        {ProgressBar2, nullptr, {8, 324, 265, 14}},
    });
    Label5.SetVisible(false);
    CheckBox1.SetHint("Instead of a ZIP, one program for a download: it unpacks the package\n"
                      "into a temporary folder and starts its Setup.exe");
    CheckBox1.SetShowHint(true);
    CheckBox1.OnClick = [this] { CheckBox1Click(); };

    Button1.OnClick = [this] { Button1Click(); };
    Button2.OnClick = [this] { Button2Click(); };
    Button3.OnClick = [this] { Button3Click(); };

    ZipPacker2.Name = "ZipPacker2";
    ZipPacker2.Verbose = true;
    ZipPacker2.AddOptions = {AddRecurseDirs, AddHiddenFiles, AddSeparateDirs};
    ZipPacker2.ExtrOptions = {ExtrDirNames};
    ZipPacker2.SFXOptions = {SFXCheckSize};
    ZipPacker2.SFXCaption = zip::kSfxDefaultCaption;
    ZipPacker2.OnProgress = [this](TObject* s, ProgressType t, const std::string& f, long size) {
        ZipPacker2Progress(s, t, f, size);
    };
    OpenDialog1.InitialDir.clear();
}

void TDone1::FormShow() {
    SetWindowHeight(kIdleHeight);
    Edit1.SetFocus();

    // The package is that of the last completed build, whatever the main form holds now.
    ui::IniFile settings = kitforge::Open();
    FirstScreenshot = settings.ReadString(kitforge::kTemp, kitforge::kPictureKeys[0], FirstScreenshot);
    ProjectDir = settings.ReadString(kitforge::kTemp, kitforge::kProject, ProjectDir);
    std::string packagePath = ui::InstallDir() + ProjectDir;
    kit::KitsetupIni shown;
    shown.title = ProjectTitle, shown.type = AddonType, shown.splashFile = SplashFile;
    // A version is the package's own: one built without any has none.
    const kit::KitsetupIni setup = ReadKitsetupFile(packagePath + "\\" + kit::kSettingsFile, shown);
    ProjectTitle = setup.title, AddonType = setup.type, SplashFile = setup.splashFile;
    AddonVersion = setup.addonVersion;

    // The summary tells what is in the package on disk now.
    int files = 0;
    bool splash = false, screenshots = false;
    for (const std::string& f : PackageFiles) {
        if (!ui::FileExists(packagePath + "\\" + f)) continue;
        ++files;
        if (SameName(f, kit::kSplashFile)) splash = !SplashFile.empty();
        for (const char* shot : kit::kScreenshotFiles) screenshots = screenshots || SameName(f, shot);
    }
    Label13.SetCaption(splash ? "Yes" : "No");
    Label15.SetCaption(screenshots ? "Yes" : "No");

    SHFILEINFOA info{};
    std::string exe = ui::InstallDir() + "Kitpress.exe";
    auto list = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoA(exe.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_ICON | SHGFI_SHELLICONSIZE));
    if (info.hIcon) DestroyIcon(info.hIcon);
    if (list) {
        ImageList1 = list;
        if (HICON icon = ImageList_GetIcon(ImageList1, info.iIcon, ILD_NORMAL)) Image1.SetIcon(icon);
    } else {
        Image1.Clear();
    }

    Label11.SetCaption(AddonType);
    Label9.SetCaption(ProjectTitle);

    Label5.SetCaption(packagePath);
    ZipFName.SetCaption(
        ui::MinimizeName(packagePath, [this](const std::string& t) { return ZipFName.TextWidth(t); }, 174));
    bool wide = ZipFName.TextWidth(packagePath) > 174;
    ZipFName.SetHint(wide ? packagePath : "");
    ZipFName.SetShowHint(wide);

    Label6.SetCaption(std::to_string(files));
    // Each release gets a name of its own, never the previous one's, and starts as a ZIP.
    Edit1.SetText(ProposedName());
    CheckBox1.SetChecked(false);
    CheckBox1Click();
    ui::App->ProcessMessages();
}

std::string TDone1::ProposedName() const {
    std::string name = ProjectTitle.empty() ? ProjectDir : ProjectTitle;
    if (!AddonVersion.empty()) name += " " + AddonVersion;
    // Only what a file name may hold: spaces become hyphens, and so do the forbidden signs.
    for (char& c : name)
        if (c == ' ' || (unsigned char)c < 32 || std::string("<>:\"/\\|?*").find(c) != std::string::npos) c = '-';
    while (!name.empty() && (name.back() == '.' || name.back() == '-')) name.pop_back();
    return name;
}

void TDone1::CheckBox1Click() {
    const bool download = CheckBox1.Checked();
    Label3.SetCaption(download ? "Download filename:" : "Zip filename:");
    Button1.SetCaption(download ? "Create .exe" : "Create Zip");
}

void TDone1::Button1Click() {
    SetWindowHeight(kBusyHeight);
    auto refuse = [this](const std::string& text) {
        ui::desktop().MessageBox(Handle(), text, ui::App->Title, MB_OK | MB_ICONWARNING);
        Edit1.SetFocus();
    };
    if (Edit1.Text().empty()) {
        ui::App->MessageBox("Please name the Zip file you want to create.", ui::App->Title, MB_OK);
        Edit1.SetFocus();
        return;
    }
    // Without a completed build there is no package: never pack the builder's own folder.
    if (ProjectDir.empty() || !ui::FileExists(ui::InstallDir() + ProjectDir + "\\" + kit::kSettingsFile)) {
        ui::App->MessageBox("There is no completed package to pack. Please build the project first.", ui::App->Title,
                            MB_OK);
        return;
    }
    // ".zip" is always added to what was typed; the download gets ".exe" (once).
    Release release;
    release.download = CheckBox1.Checked();
    release.packageDir = ui::InstallDir() + ProjectDir + "\\";
    release.files = PackageFiles;
    release.subdir = ProjectDir;
    release.title = ProjectTitle;
    const std::string fileName = ReleaseFileName(Edit1.Text(), release.download);
    if (!PlainFolderName(fileName))
        return refuse("Please type a plain file name, without a folder and without \\ / : * ? \" < > |");
    release.target = release.packageDir + fileName;
    if (const ReleaseRefusal refused = CheckRelease(release, ui::InstallDir()); refused.kind != ReleaseRefusal::None)
        return refuse(refused.text);
    OpenDialog1.InitialDir = release.packageDir;
    OpenDialog1.FileName = release.target;
    if (ui::FileExists(release.target)) {
        int answer = ui::desktop().MessageBox(Handle(), "Overwrite Existing File: " + release.target + "?", "Confirm",
                                              MB_YESNO | MB_ICONQUESTION);
        if (answer != IDYES) return;
    }
    // While the file is made, Cancel (and the close box) stop it; nothing else can be pressed.
    Packing(true);
    stopRequested_ = false;
    std::string problem;
    const ReleaseOutcome outcome =
        MakeRelease(release, ui::InstallDir(), ZipPacker2, [this] { return stopRequested_; }, problem);
    Packing(false);
    ProgressBar1.SetPosition(kit::kBarEmpty);
    ProgressBar2.SetPosition(kit::kBarEmpty);
    if (outcome == ReleaseOutcome::Made) {
        ui::desktop().MessageBox(
            Handle(),
            std::string(release.download ? "The download is ready:\n" : "The Zip file is ready:\n") + release.target,
            ui::App->Title, MB_OK | MB_ICONINFORMATION);
        SetWindowHeight(kClosingHeight);
        Button2Click();
    } else if (outcome == ReleaseOutcome::Stopped) {
        // Stopped: the earlier file of that name is as it was, and the author may try again.
        SetWindowHeight(kIdleHeight);
        Edit1.SetFocus();
    } else {
        std::string why = problem.empty() ? "" : "\n" + problem;
        ui::desktop().MessageBox(Handle(), "The file could not be made: " + release.target + why, ui::App->Title,
                                 MB_OK | MB_ICONWARNING);
    }
}

void TDone1::Packing(bool on) {
    packing_ = on;
    for (ui::WinControl* c : std::initializer_list<ui::WinControl*>{&Edit1, &CheckBox1, &Button1, &Button3})
        c->SetEnabled(!on);
    Label7.SetCaption("Compressing...");
    Button2.SetEnabled(true);
    if (on) Button2.SetFocus();
}

void TDone1::FormClose(bool& allowHide) {
    // The close box leaves the dialog as Cancel does, clean-up included.
    if (closing_) return;
    allowHide = false;
    Button2Click();
}

void TDone1::ZipPacker2Progress(TObject*, ProgressType ProgrType, const std::string&, long FileSize) {
    switch (ProgrType) {
        case ptFileStart:
            ProgressBar1.SetPosition(kit::kBarEmpty);
            fileSize = (int32_t)FileSize;
            fileDone = 0;
            break;
        case ptBytesDone:
            fileDone += (int32_t)FileSize;
            totalDone += (int32_t)FileSize;
            ProgressBar1.SetFraction(fileDone, fileSize);  // an empty file is done at once
            if (totalSize != 0) ProgressBar2.SetFraction(totalDone, totalSize);
            break;
        case ptBatchDone: break;
        case ptFileCount:
            break;
        case ptByteCount:
            ProgressBar2.SetPosition(kit::kBarEmpty);
            totalSize = (int32_t)FileSize;
            totalDone = 0;
            break;
    }
}

void TDone1::Button2Click() {
    if (packing_) {
        // While the file is made, Cancel stops it (the engine at its next report).
        stopRequested_ = ZipPacker2.CancelRequested = true;
        Label7.SetCaption("Stopping...");
        Button2.SetEnabled(false);
        return;
    }
    try {
        ui::IniFile settings = kitforge::Open();
        kitforge::ForgetPictures(settings);
    } catch (...) {
    }
    if (Option1) Option1->ForgetPictures();
    if (Form1) {
        Form1->Edit1.SetText("");
        Form1->Edit8.SetText("");
        Form1->Edit9.SetText("");
        Form1->Edit10.SetText("");
        Form1->Edit1.SetFocus();
    }
    closing_ = true;
    Close();
    closing_ = false;
}

void TDone1::Button3Click() {
    ui::App->Minimize();
    // Quoted: an install directory may hold spaces.
    ui::desktop().WinExec("\"" + ui::InstallDir() + ProjectDir + "\\" + kit::kSetupFile + "\"", SW_SHOWNORMAL);
}
