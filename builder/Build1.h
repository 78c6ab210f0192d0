// The builder's main project form.
#pragma once
#include "Package.h"
#include "Simulators.h"
#include "ZipPacker.h"
#include "ui.h"

// Elapsed build time as minutes and seconds, "01:05"; minutes may grow past two digits.
std::string FormatElapsed(DWORD milliseconds);

// The form is the person its builds ask and show things to.
class TForm1 : public ui::Form, public BuildPerson {
public:
    TForm1();

    // Title strip
    ui::Panel Panel4{"Panel4"};
    ui::Image Image2{"Image2"};
    ui::Image Image5{"Image5"};
    ui::Label Label14{"Label14"};
    ui::SpeedButton Close1{"Close1"};
    ui::BevelLine Bevel4{"Bevel4"};

    // Client panel
    ui::Panel Panel1{"Panel1"};
    ui::Image Image1{"Image1"};
    ui::Label Label13{"Label13"};
    ui::Edit Edit1{"Edit1"};
    ui::Label Label28{"Label28"};
    ui::Edit Edit10{"Edit10"};  // the add-on's version, "1.1"; empty for none
    ui::Label Label22{"Label22"};
    ui::Edit Edit9a{"Edit9a"};
    ui::Edit Edit9{"Edit9"};
    ui::CheckBox CheckBox1{"CheckBox1"};
    ui::Label Label21{"Label21"};
    ui::Label Label16{"Label16"};
    ui::Label Label1{"Label1"}, Label2{"Label2"}, Label3{"Label3"}, Label4{"Label4"}, Label5{"Label5"},
        Label6{"Label6"};
    ui::Edit Edit2a{"Edit2a"}, Edit3a{"Edit3a"}, Edit4a{"Edit4a"}, Edit5a{"Edit5a"}, Edit6a{"Edit6a"},
        Edit7a{"Edit7a"};
    ui::Edit Edit2{"Edit2"}, Edit3{"Edit3"}, Edit4{"Edit4"}, Edit5{"Edit5"}, Edit6{"Edit6"}, Edit7{"Edit7"};
    ui::SpeedButton SpeedButton2{"SpeedButton2"}, SpeedButton3{"SpeedButton3"}, SpeedButton4{"SpeedButton4"};
    ui::Label Label17{"Label17"};
    ui::RadioButton RadioButton1{"RadioButton1"}, RadioButton2{"RadioButton2"}, RadioButton3{"RadioButton3"},
        RadioButton4{"RadioButton4"}, RadioButton5{"RadioButton5"};
    ui::Label Label7{"Label7"}, Label8{"Label8"}, Label9{"Label9"}, Label10{"Label10"}, Label18{"Label18"};
    ui::Label Label26{"Label26"};
    ui::Panel Panel2{"Panel2"};
    ui::Label Label23{"Label23"}, Label24{"Label24"}, Label25{"Label25"}, TimeLabel{"TimeLabel"};
    ui::Label Label20{"Label20"};
    ui::Edit Edit8{"Edit8"};
    ui::SpeedButton SpeedButton1{"SpeedButton1"};
    ui::Label ZipFName{"ZipFName"};
    ui::Label Label27{"Label27"};

    // Bottom bar
    ui::Image Image6{"Image6"}, Image3{"Image3"}, Image7{"Image7"}, Image4{"Image4"};
    ui::Label Label15{"Label15"}, Label11{"Label11"}, Label19{"Label19"}, Label12{"Label12"};
    ui::Panel Panel3{"Panel3"};
    ui::SpeedButton SpeedButton7{"SpeedButton7"}, SpeedButton6{"SpeedButton6"}, SpeedButton9{"SpeedButton9"},
        SpeedButton10{"SpeedButton10"}, SpeedButton8{"SpeedButton8"};
    ui::SpeedButton SpeedButton11{"SpeedButton11"};  // "Open an earlier package"
    ui::BevelLine Bevel3{"Bevel3"}, Bevel5{"Bevel5"}, Bevel6{"Bevel6"};

    // Non-visual
    ui::FileDialog Open1;
    ui::PopupMenu PopupMenu1{"PopupMenu1"};
    ui::Timer Timer1{"Timer1"};

    // The skin library's handle; 0 when it could not be loaded.
    HMODULE SkinModule = nullptr;
    // The target simulator: "Flightsimulator 2000", "Flightsimulator 98" or empty.
    std::string HeldVersion;
    // The target simulator's install folder, as the registry gives it.
    std::string SimFolder;
    // The archive the build writes; shown shortened in ZipFName.
    std::string ArchiveFileName;
    // The archive component that packs the add-on files into the package's "Setup.skb".
    TZipPacker ZipPacker1;
    // Tick counts from the start of the archive to the end of the build.
    DWORD BuildStart = 0, BuildEnd = 0;
    // A build is packing or completing: a second Build must not start another Add into the
    // same archive.
    bool Building = false;
    // The author asked the running build to stop; and to quit once it has.
    bool Cancelled = false;
    bool QuitAfterBuild = false;
    // The master subdirectory of the last completed build; empty before the first.
    std::string CompletedPackage;

    // Handlers
    void AdjustCreateParams(ui::CreateParams& p) override;
    void FormShow() override;
    void FormDestroy() override;
    void FormClose(bool& allowHide) override;
    void Image2MouseDown(ui::MouseButton button);
    void Minimize1Click();
    void Image4Click();
    void Label7Click();
    void Label8Click();
    void Label9Click();
    void Label10Click();
    void Label18Click();
    void Label7DblClick();
    void SpeedButton1Click();
    void Timer1Timer();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void Image3Click();
    // Build: the project on the forms through the steps of Package.h, then the last dialog.
    void Image7Click();
    // The project as the forms and the settings file hold it now.
    Project CurrentProject();
    // Cancel, Escape or the close box of the "Building..." form: the engine stops at its next
    // report and the earlier package stays as it was.
    void CancelBuild();
    // What the build asks and shows.
    void Refuse(const std::string& text, Field field) override;
    void Starting(BuildStep step) override;
    void Progress(ProgressType type, long size) override;
    bool Stopped() override;
    void CopyFailed(const std::string& text) override;
    void ZipPacker1Progress(TObject* Sender, ProgressType ProgrType, const std::string& FileName, long FileSize);
    void Image6Click();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton8Click();
    void SpeedButton9Click();
    void SpeedButton10Click();

    // Lets the author open the folder of the add-on files and accept the proposed archive name.
    void AddonLocationDialog();
    // The archive-name operation: sets the archive's name (when asked to) and shows it.
    void SetArchiveName(const std::string& name, bool setComponent);

    // Reopening an earlier package: a folder or "Kitsetup.ini" of the install directory.
    void OpenPackage(const std::string& path);
    // Loads the project of a package of the install directory into the forms.
    bool LoadPackage(const std::string& subdir);
    void OpenPackage1Click();  // "Open package..." of the right-button menu
    // The right-button menu: minimise, open a package, the recent packages, quit.
    void RefreshPackageMenu();
    // Files dropped on the window: a package folder or its "Kitsetup.ini".
    void FormDropFiles(const std::vector<std::string>& paths);
    // A press on the frame around a borderless edit box: the box takes the focus.
    void Panel1MouseDown(ui::MouseButton button, int x, int y);

    // Tells the author, once a run, that the settings file cannot be written.
    void SettingsNotWritten();

private:
    bool settingsFailureSaid_ = false;
    void BuildLayout();
    // The folder of a simulator, from the registry, into SimFolder and Label27; false when
    // it is not installed.
    bool ReadSimulatorFolder(const kit::Simulator& simulator);
    void SelectType(ui::RadioButton& button);
    void EditDeveloper(const char* number, ui::Edit& name, ui::Edit& email);
};

extern TForm1* Form1;
