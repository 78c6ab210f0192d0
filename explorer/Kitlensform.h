// The explorer's window: the install directory and one project folder at a time, with each
// entry's kind and its status towards the builder, the actions on the selected entry, the
// message panel that mails it, and the address box.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "Email.h"
#include "ui.h"

// One listed entry of a folder.
struct FolderEntry {
    std::string Name;       // file name without directory
    int ImageIndex = 12;    // index into ImageList1; 2 for every directory
    bool IsDirectory = false;
};

// The four statuses the detail panel shows.
extern const char* const kProtected;   // "Protected by Skykit Builder"
extern const char* const kUsed;        // "Used by Skykit Builder"
extern const char* const kNotUsed;     // "Not used by Skykit Builder"
extern const char* const kUserFolder;  // "User project folder"

// Image index of a file by the exact (case-sensitive) text of its extension.
int KindImageIndex(const std::string& fileName);
// Status of an entry; names are compared exactly. `projectFolder` selects the column of a
// project folder, where the skin and unzip libraries are the user's own files.
std::string EntryStatus(const std::string& name, bool isDirectory, bool projectFolder);
// Directories first, then by name with the letters a to z folded to capitals.
bool EntryBefore(const FolderEntry& a, const FolderEntry& b);
// The size line: bytes divided by 1000, " KB".
std::string SizeText(unsigned long long bytes);
// The link list file: one line per address; a CR, an LF or the pair ends a line.
std::vector<std::string> ReadLines(const std::string& path);
// Writes every line followed by CR LF, replacing the file; throws ui::EFCreateError.
void WriteLines(const std::string& path, const std::vector<std::string>& lines);

class TKitlens : public ui::Form {
public:
    TKitlens();
    ~TKitlens() override;

    // Title strip
    ui::Panel Panel4{"Panel4"};
    ui::Image Image2{"Image2"};
    ui::Image Image5{"Image5"};
    ui::Label Label14{"Label14"};
    ui::SpeedButton Close1{"Close1"};
    // Main panel and address row
    ui::Panel Panel1{"Panel1"};
    ui::Image Image1{"Image1"};
    ui::BevelLine Bevel4{"Bevel4"};
    ui::Label Label7{"Label7"};
    ui::ComboBox ComboBox1{"ComboBox1"};
    ui::SpeedButton SpeedButton5{"SpeedButton5"};
    // Browser: detail panel and list
    ui::Panel Panel2{"Panel2"};
    ui::Panel Eks{"Eks"};
    ui::Image Image6{"Image6"}, Image9{"Image9"}, Image7{"Image7"};
    ui::Shape Shape1{"Shape1"};
    ui::Label mappe{"mappe"}, navn{"navn"}, Label8{"Label8"}, Label9{"Label9"}, Label3{"Label3"}, Label4{"Label4"};
    ui::ListView ListView1{"ListView1"};
    // Button bar
    ui::Panel Panel3{"Panel3"};
    ui::SpeedButton SpeedButton4{"SpeedButton4"}, SpeedButton3{"SpeedButton3"}, SpeedButton2{"SpeedButton2"},
        SpeedButton1{"SpeedButton1"};
    ui::Image Image4{"Image4"}, Image3{"Image3"};
    ui::Label Label12{"Label12"}, Label1{"Label1"};
    // Path bar
    ui::Panel Panel5{"Panel5"};
    ui::Image Image8{"Image8"};
    ui::Label ZipFName{"ZipFName"}, Label5{"Label5"};
    ui::Label Label6{"Label6"};  // hidden: the current path every action works on
    // Message panel
    ui::Panel Panel6{"Panel6"}, Panel7{"Panel7"};
    ui::Label Label10{"Label10"}, Label13{"Label13"}, Label11{"Label11"}, Label15{"Label15"}, Label16{"Label16"};
    ui::Edit Edit1{"Edit1"}, Edit2{"Edit2"};
    ui::ListBox ListView2{"ListView2"};
    ui::RichEdit Memo1{"Memo1"};
    // Non-visual
    ui::ImageList ImageList1{17, 16};
    TEmail Email1{this};
    ui::PopupMenu PopupMenu1{"PopupMenu1"};

    // State
    HMODULE SkinLibrary = nullptr;
    std::vector<FolderEntry> Entries;
    std::string ListDirectory;      // what the next listing reads; emptied when a listing ends
    std::string ViewDirectory;      // what the list shows
    std::string ProjectFolderFlag;  // "Yes" while a project folder is shown, else "No"

    static constexpr int kPanelShown = 514;
    static constexpr int kPanelHidden = 375;

    // Handlers
    void AdjustCreateParams(ui::CreateParams& p) override;
    void FormCreate();
    void FormShow() override;
    // With the message panel shown, F1 explains mailing.
    ui::HelpTopic CurrentHelp() const override;
    void FormClose(bool& allowHide) override;
    void FormDestroy() override;
    void SpeedButton4Click();
    void ResetToInstallDir();
    void ListFolder();
    void ListView1Change();
    void ListView1Click();
    void ShowPath();
    void Image2MouseDown(ui::MouseButton button);
    void ListView1DblClick();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton5Click();
    void ComboBox1KeyPress(char& key);
    void AboutSkykitExplorer1Click();
    void Image4Click();
    void Image3Click();
    void Image4MouseDown();
    void Image3MouseDown();
    // Starts a program and waits until it ends; false when it could not be started.
    bool StartProgramAndWait(const std::string& path, const std::string& arguments, int show);

    // The form's outer height: kPanelShown with the message panel, kPanelHidden without.
    int FormHeight() const { return WindowHeight(); }
    void SetFormHeight(int h);
    bool Listing() const { return listing_; }

private:
    bool listing_ = false;   // a listing is filling the list
    bool relist_ = false;    // a new listing was asked for while one was running
    std::string panelName_;  // the entry the detail panel describes (empty: none)
    std::string panelDir_;

    void BuildLayout();
    void EnableMenu(bool on);
    void Warn(const std::string& text);
    // An action on the selected entry first makes the panel and the current path describe
    // it, as a click would, when the selection moved without one (keyboard, right button).
    void SyncPanel();
    void CloseWith(ui::Image& button);
    void ShowCount();
};

extern TKitlens* Kitlens;
