// The package installer's window: a wizard in the skin of the package ("Skin32.dll"), one page
// at a time: welcome (splash, title, authors, type, condition, screenshots), description,
// terms of use, destination, installation with progress, and the result.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Install.h"
#include "InstallLog.h"
#include "Uninstall.h"
#include "PackageInfo.h"
#include "ui.h"

namespace kit {

// An image button of the skin (ui::kSkinButton: one face at rest, one while pressed), a caption
// on top. Without the skin a plain rounded face stands in for the bitmaps.
struct SkinButton {
    explicit SkinButton(const char* name);
    ui::Shape Face;
    ui::Image Picture;
    ui::Label Caption;
    void Bind(HMODULE& skin, std::function<void()> onClick);
    void SetCaption(const std::string& text) { Caption.SetCaption(text); }
    void SetVisible(bool on);
    void SetEnabled(bool on);
    bool Visible() const { return Picture.Visible(); }
    // The three parts, for the pages' lists of what they show.
    std::vector<ui::Control*> Parts() { return {&Face, &Picture, &Caption}; }
};

class TSetupForm : public ui::Form {
public:
    enum class Page { Welcome, Description, Terms, Destination, Ready, Finish };

    explicit TSetupForm(const std::string& packageDir);

    // Title strip
    ui::Panel TitleStrip{"TitleStrip"};
    ui::Image TitleImage{"TitleImage"};
    ui::Image TitleIcon{"TitleIcon"};
    ui::Label TitleLabel{"TitleLabel"};
    ui::SpeedButton CloseButton{"CloseButton"};
    ui::BevelLine TitleEdge{"TitleEdge"};

    // Body
    ui::Panel Body{"Body"};
    ui::Image Background{"Background"};
    ui::Label Heading{"Heading"};
    ui::Label SubHeading{"SubHeading"};
    ui::Label StepLabel{"StepLabel"};
    ui::BevelLine BottomEdge{"BottomEdge"};
    SkinButton BackButton{"BackButton"};
    SkinButton NextButton{"NextButton"};
    SkinButton CancelButton{"CancelButton"};

    // Welcome
    ui::BevelLine PictureFrame{"PictureFrame"};
    ui::Image Picture{"Picture"};
    ui::Label ShotsLabel{"ShotsLabel"};
    ui::BevelLine ShotFrame1{"ShotFrame1"}, ShotFrame2{"ShotFrame2"}, ShotFrame3{"ShotFrame3"}, ShotFrame4{"ShotFrame4"};
    ui::Image Shot1{"Shot1"}, Shot2{"Shot2"}, Shot3{"Shot3"}, Shot4{"Shot4"};
    ui::Label ShotText1{"ShotText1"}, ShotText2{"ShotText2"}, ShotText3{"ShotText3"}, ShotText4{"ShotText4"};
    ui::Label WelcomeLabel{"WelcomeLabel"};
    ui::Label AddonTitle{"AddonTitle"};
    ui::Label TypeCaption{"TypeCaption"}, TypeValue{"TypeValue"};
    ui::Label FsCaption{"FsCaption"}, FsValue{"FsValue"};
    ui::Label ConditionCaption{"ConditionCaption"}, ConditionValue{"ConditionValue"};
    ui::Label AuthorsCaption{"AuthorsCaption"};
    ui::Label AuthorName1{"AuthorName1"}, AuthorName2{"AuthorName2"}, AuthorName3{"AuthorName3"};
    ui::Label AuthorMail1{"AuthorMail1"}, AuthorMail2{"AuthorMail2"}, AuthorMail3{"AuthorMail3"};
    ui::Label WelcomeHint{"WelcomeHint"};

    // Description and terms
    ui::RichEdit DescriptionMemo{"DescriptionMemo"};
    ui::RichEdit TermsMemo{"TermsMemo"};

    // Destination: the simulators found, by name and folder, and the folders themselves
    ui::Label SimListCaption{"SimListCaption"};
    ui::ListBox SimList{"SimList"};
    ui::Label FsFoundLabel{"FsFoundLabel"};
    ui::Label FsFolderCaption{"FsFolderCaption"};
    ui::Edit FsFolderEdit{"FsFolderEdit"};
    SkinButton BrowseButton{"BrowseButton"};
    ui::Label SubfolderCaption{"SubfolderCaption"};
    ui::Edit SubfolderEdit{"SubfolderEdit"};
    ui::Label TargetCaption{"TargetCaption"};
    ui::Label TargetLabel{"TargetLabel"};
    ui::Label SpaceLabel{"SpaceLabel"};

    // Ready and installing
    ui::Label ReadyAddonCaption{"ReadyAddonCaption"}, ReadyAddon{"ReadyAddon"};
    ui::Label ReadyFilesCaption{"ReadyFilesCaption"}, ReadyFiles{"ReadyFiles"};
    ui::Label ReadyIntoCaption{"ReadyIntoCaption"}, ReadyInto{"ReadyInto"};
    ui::Label ReadyFreeCaption{"ReadyFreeCaption"}, ReadyFree{"ReadyFree"};
    ui::CheckBox KeepBackups{"KeepBackups"};
    ui::Label RunningLabel{"RunningLabel"};  // in the place of the file's progress while Setup waits
    ui::Timer RunningTimer{"RunningTimer"};
    ui::Label FileLabel{"FileLabel"};
    ui::ProgressBar FileBar{"FileBar"};
    ui::Label TotalLabel{"TotalLabel"};
    ui::ProgressBar TotalBar{"TotalBar"};

    // Result
    ui::RichEdit ResultMemo{"ResultMemo"};
    ui::Label NextStepLabel{"NextStepLabel"};
    SkinButton OpenFolderButton{"OpenFolderButton"};

    // State
    std::string PackageDir;     // with trailing backslash
    PackageInfo Info;
    ArchiveScan Scan;
    HMODULE SkinModule = nullptr;
    std::vector<Page> Pages;    // the pages this package has, in order
    size_t Current = 0;
    bool Installing = false;
    bool CancelRequested = false;
    bool Installed = false;
    // The simulators on this computer that the add-on is for, newest first.
    std::vector<FoundSimulator> Found;
    // The one of them that is running and whose library would change, or "": the ready page
    // waits for it to close.
    std::string Running;
    // Silent mode ("/S"): no window is shown, questions take their default answers and
    // messages go to Messages; the exit code says how it ended.
    bool Silent = false;
    std::vector<std::string> Messages;
    int ExitCode = kExitCancelled;
    std::string DestOverride;    // "/D=": the add-on's folder itself
    std::string SimulatorSwitch; // "/SIM=": the simulator proposed (and, silent, the one installed into)
    std::string Registered;      // what the last page says about the scenery library
    Journal RunLog;              // "/LOG=": what was done

    Page CurrentPage() const { return Pages[Current]; }
    // The folder the add-on goes to, as the destination page shows it now.
    std::string Destination() const;
    // Checks the package before the first page: the archive and the unzip engine must be
    // there and readable. False after telling the person why.
    bool CheckPackage();
    // "/S": checks the package and installs into the folder the wizard would propose (of the
    // simulator "/SIM=" names, when it names one), or into dest. Returns the exit code.
    int InstallSilently(const std::string& dest, const std::string& simulator = "");
    // The simulator of the folder on the destination page: one found (nullptr for a folder
    // chosen by hand).
    const FoundSimulator* ChosenSimulator() const;
    // The library that gets the add-on's areas: the chosen simulator's; for "/D=" without
    // "/SIM=", that of a simulator whose folder holds it, else of the nearest folder above it
    // that holds a scenery.cfg.
    SceneryLibrary Library() const;

    // Handlers
    void NextClick();
    void BackClick();
    void CancelClick();
    void BrowseClick();
    void OpenFolderClick();
    void ShotClick(int n);
    void AuthorMailClick(int n);
    void FolderChange();
    void SimListChange();
    // Whether the chosen simulator runs, for a package that changes its library; shown on the
    // ready page, whose Install waits for it to close.
    void CheckRunning();
    // Enter and Escape, from whichever window has the focus; true when the key was used.
    bool Key(WPARAM key);

    void AdjustCreateParams(ui::CreateParams& p) override;
    void FormClose(bool& allowHide) override;
    void FormDestroy() override;

private:
    void BuildLayout();
    static LRESULT CALLBACK KeyProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
    void LoadSkin();
    void FillWelcome();
    void FillDestination();
    void ShowPage();
    bool LeaveDestination();
    // The installation's steps (Install.h), with the person asked and shown through Person.
    void Install();
    class Person;
    int Ask(const std::string& text, UINT flags);
    std::vector<ui::Control*> PageControls(Page p);
    bool destinationFilled_ = false;
    bool simulatorNamed_ = false;  // "/SIM=" chose the simulator
    void PickSimulator(int index);
    std::string installedTo_;
};

// Runs the installer for the package in packageDir (the program's own folder).
// Switches: "/S" silent, "/LOG=file", "/SIM=name", "/?" usage, "/D=folder" (last, the rest of
// the line), "/U=log" uninstall.
int RunSetup(const std::string& packageDir, const std::string& commandLine = "");

}  // namespace kit
