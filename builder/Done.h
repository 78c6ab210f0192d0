// The project-complete dialog: the package summary, the distribution ZIP and Run Setup.
#pragma once
#include <functional>

#include "ZipPacker.h"
#include "ui.h"

// Entries of a directory listed with "*.*", "." and ".." not counted; 0 when it is missing.
int CountPackageFiles(const std::string& dir);

class TDone1 : public ui::Form {
public:
    TDone1();

    ui::Image Image1{"Image1"};
    ui::Label Label1{"Label1"};
    ui::Label Label8{"Label8"}, Label9{"Label9"};
    ui::Label Label10{"Label10"}, Label11{"Label11"};
    ui::Label Label4{"Label4"}, ZipFName{"ZipFName"}, Label5{"Label5"};
    ui::Label Label2{"Label2"}, Label6{"Label6"};
    ui::Label Label12{"Label12"}, Label13{"Label13"};
    ui::Label Label14{"Label14"}, Label15{"Label15"};
    ui::BevelLine Bevel1{"Bevel1"};
    ui::Label Label3{"Label3"};
    ui::Edit Edit1{"Edit1"};
    ui::CheckBox CheckBox1{"CheckBox1"};  // the one-file download instead of a ZIP
    ui::Button Button3{"Button3"}, Button1{"Button1"}, Button2{"Button2"};
    ui::Label Label7{"Label7"};
    ui::ProgressBar ProgressBar1{"ProgressBar1"}, ProgressBar2{"ProgressBar2"};
    HIMAGELIST ImageList1 = nullptr;  // the shell's system image list, shared: never freed here
    struct {
        std::string InitialDir, FileName;
    } OpenDialog1;
    TZipPacker ZipPacker2;

    // Kept between showings.
    std::string ProjectTitle, AddonType, SplashFile, FirstScreenshot, ProjectDir, AddonVersion;
    // The files the last completed build made in the package directory: all that the ZIP and
    // the download hold, and all that the summary counts.
    std::vector<std::string> PackageFiles;

    void FormShow() override;
    void FormClose(bool& allowHide) override;
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void CheckBox1Click();
    // The proposed name of the ZIP or the download: the project's title and its version.
    std::string ProposedName() const;
    void ZipPacker2Progress(TObject* Sender, ProgressType ProgrType, const std::string& FileName, long FileSize);

private:
    bool closing_ = false;  // Cancel's own close, not the close box
    // A ZIP or download is being made; Cancel was pressed meanwhile.
    bool packing_ = false, stopRequested_ = false;
    void Packing(bool on);
};

extern TDone1* Done1;
