// The explorer's window.
#include "Kitlensform.h"

#include <shellapi.h>

#include <algorithm>
#include <fstream>

#include "Aux32.h"
#include "Kitforge.h"

TKitlens* Kitlens = nullptr;

const char* const kProtected = "Protected by Skykit Builder";
const char* const kUsed = "Used by Skykit Builder";
const char* const kNotUsed = "Not used by Skykit Builder";
const char* const kUserFolder = "User project folder";

namespace {

const char* const kCaption = "Skykit Builder";
// The address box's designed text: a flight-simulation community site.
const char* const kDesignedUrl = "https://www.flightsim.com/";
const char* const kSection = "Skykit Explorer";
const int kFolderImage = 2;

struct Kind {
    std::vector<const char*> extensions;
    int image;
};
// The first row whose variant matches the extension exactly wins.
const Kind kKinds[] = {
    {{".DB", ".db"}, 3},
    {{".txt", ".TXT"}, 5},
    {{".ini", ".Ini", ".INI", ".inf", ".Inf", ".INF"}, 6},
    {{".dll", ".DLL", ".sys", ".SYS"}, 7},
    {{".exe", ".Exe", ".EXE"}, 23},
    {{".com", ".COM"}, 8},
    {{".bat", ".BAT"}, 9},
    {{".zip", ".ZIP", ".cab", ".CAB"}, 10},
    {{".bmp", ".BMP"}, 13},
    {{".gif", ".GIF"}, 14},
    {{".hlp", ".HLP"}, 15},
    {{".msi", ".MSI"}, 16},
    {{".wav", ".WAV"}, 17},
    {{".html", ".HTML", ".htm", ".HTM"}, 18},
    {{".jpg", ".JPG"}, 19},
    {{".ocx", ".OCX"}, 22},
    {{".diz", ".DIZ"}, 24},
};
const int kOtherImage = 12;

struct Rule {
    std::vector<const char*> names;
    bool protectedInProject;  // false: the user's own file when it lies in a project folder
};
// The builder's own files. Windows names are the same file whatever their case, so they are
// matched without it: "UNZENG.DLL" as it ships is the builder's unzip engine.
const Rule kRules[] = {
    {{"Kitpress.exe"}, true},
    {{"Aux32.dll"}, true},
    {{"Skin32.dll"}, false},
    {{"Setup.dll"}, true},
    {{"license.skh"}, true},
    {{kitforge::kFileName}, true},
    {{"Unzeng.dll"}, false},
    // The zip engine: without it the builder can not make a package.
    {{"Zipeng.dll"}, false},
    {{"Readme.txt"}, true},
    {{"hyper.add"}, true},
    {{"Kitlens.exe"}, true},
    {{"Help"}, true},
};

char Fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool SameName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return i == a.size() && !b[i];
}

HBITMAP Picture(const char* name) { return LoadBitmapA(GetModuleHandleA(nullptr), name); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Tables and helpers

int KindImageIndex(const std::string& fileName) {
    size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return kOtherImage;
    std::string ext = fileName.substr(dot);
    for (const Kind& k : kKinds)
        for (const char* e : k.extensions)
            if (ext == e) return k.image;
    return kOtherImage;
}

std::string EntryStatus(const std::string& name, bool isDirectory, bool projectFolder) {
    if (isDirectory) return name == "Help" ? kUsed : kUserFolder;
    for (const Rule& r : kRules)
        for (const char* n : r.names)
            if (SameName(name, n)) return (!projectFolder || r.protectedInProject) ? kProtected : kNotUsed;
    return kNotUsed;
}

bool EntryBefore(const FolderEntry& a, const FolderEntry& b) {
    if (a.IsDirectory != b.IsDirectory) return a.IsDirectory;
    size_t n = std::min(a.Name.size(), b.Name.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = Fold(a.Name[i]), y = Fold(b.Name[i]);
        if (x != y) return x < y;
    }
    return a.Name.size() < b.Name.size();
}

std::string SizeText(unsigned long long bytes) { return std::to_string(bytes / 1000) + " KB"; }

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream f(path, std::ios::binary);
    if (!f) return lines;
    std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::string line;
    for (size_t i = 0; i < data.size(); ++i) {
        char c = data[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// What a Simple MAPI result means to the person who sent the message.
static std::string MailErrorText(int code) {
    switch (code) {
        case MAPI_USER_ABORT: return "it was cancelled.";
        case MAPI_E_LOGIN_FAILURE: return "the mail system refused the logon.";
        case MAPI_E_INSUFFICIENT_MEMORY: return "there is not enough memory.";
        case MAPI_E_TOO_MANY_FILES: return "there are too many attachments.";
        case MAPI_E_TOO_MANY_RECIPIENTS: return "there are too many recipients.";
        case MAPI_E_ATTACHMENT_NOT_FOUND: return "an attached file is no longer there.";
        case MAPI_E_ATTACHMENT_OPEN_FAILURE: return "an attached file can not be opened.";
        case MAPI_E_UNKNOWN_RECIPIENT: return "a recipient is unknown.";
        default: return "the mail system reported error " + std::to_string(code) + ".";
    }
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string data;
    for (const std::string& l : lines) data += l + "\r\n";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw ui::EFCreateError("Cannot create file \"" + path + "\". " + ui::SystemErrorText(GetLastError()) + ".");
    DWORD written = 0;
    BOOL ok = data.empty() || WriteFile(h, data.data(), (DWORD)data.size(), &written, nullptr);
    DWORD err = GetLastError();
    CloseHandle(h);
    if (!ok || written != data.size())
        throw ui::EFCreateError("Cannot write file \"" + path + "\". " + ui::SystemErrorText(err) + ".");
}

// ---------------------------------------------------------------------------------------
// Construction

TKitlens::TKitlens() : Form("Kitlens", 473, 508) {
    Title = "Skykit Explorer";
    Help = {"explorer.htm", ""};
    Placement = ui::Position::Designed;
    Left = 192;
    Top = 108;
    BuildLayout();
    FormCreate();

    SkinLibrary = ui::LoadSkinLibrary();
    if (!SkinLibrary) {
        ui::desktop().MessageBox(Handle(), ui::SkinErrorText, kCaption, MB_OK | MB_ICONWARNING);
        ui::App->Terminate();
        return;
    }
    // A missing bitmap leaves it and the ones after it empty; the window still works.
    try {
        Image1.LoadSkin(SkinLibrary, "QForm");
        Image2.LoadSkin(SkinLibrary, "Top");
        Image5.LoadSkin(SkinLibrary, "Aircraft");
        Image4.LoadSkin(SkinLibrary, ui::kSkinButton.rest);
        Image3.LoadSkin(SkinLibrary, ui::kSkinButton.rest);
    } catch (const ui::Error&) {
    }
    ui::IniFile ini = kitforge::Open();
    ComboBox1.SetText(ini.ReadString(kSection, "Url", kDesignedUrl));
    Entries.clear();
    Label6.SetCaption(ui::InstallDir());
}

TKitlens::~TKitlens() = default;

void TKitlens::BuildLayout() {
    Color = RGB(210, 212, 216);
    const COLORREF bar = RGB(210, 212, 216);
    Label14.Font.bold = true;
    Label14.Font.color = RGB(255, 255, 255);
    Image2.Stretch = true;
    Image1.Stretch = true;
    Image5.Center = true;
    Panel4.Color = RGB(28, 60, 112);
    Panel1.Color = RGB(207, 209, 213);
    Close1.SetGlyph(Picture("G_XCLOSE"));
    Close1.Hint = "Close";
    SpeedButton5.SetGlyph(Picture("G_GO"));
    SpeedButton5.Hint = "Go";

    Panel2.Outer = ui::Panel::Bevel::Lowered;
    Panel2.Color = bar;
    Eks.Color = RGB(255, 255, 255);
    ui::Font tahoma;
    tahoma.name = "Tahoma";
    for (ui::Label* l : {&mappe, &navn, &Label8, &Label9, &Label3, &Label4, &ZipFName, &Label5}) l->Font = tahoma;
    for (ui::Label* l : {&mappe, &Label8, &Label3}) l->Font.bold = true;
    navn.AutoSize = false;
    Label9.AutoSize = false;
    Label4.AutoSize = false;
    Image6.Stretch = true;
    Image9.Stretch = true;
    Image6.SetBitmap(Picture("EKS_TOP"));
    Image9.SetBitmap(Picture("EKS_BOTTOM"));
    Image7.SetBitmap(Picture("EKS_ICON"));
    Image8.SetBitmap(Picture("FOLDER16"));
    Shape1.Pen = RGB(47, 168, 74);
    Shape1.Brush = RGB(47, 168, 74);

    ListView1.ListStyle = true;
    ListView1.Border = false;
    ListView1.FlatScrollBars = true;
    ListView1.Popup = &PopupMenu1;
    ListView1.TabOrder = 1;
    ComboBox1.TabOrder = 0;

    Panel3.Outer = ui::Panel::Bevel::Lowered;
    Panel3.Color = bar;
    SpeedButton4.SetGlyph(Picture("G_REFRESH"));
    SpeedButton3.SetGlyph(Picture("G_SEND"));
    SpeedButton2.SetGlyph(Picture("G_PROPS"));
    SpeedButton1.SetGlyph(Picture("G_DELETE"));
    for (ui::SpeedButton* b : {&SpeedButton4, &SpeedButton3, &SpeedButton2, &SpeedButton1}) b->GlyphAbove = true;
    Image4.Stretch = Image3.Stretch = true;
    for (ui::Label* l : {&Label12, &Label1}) {
        l->Alignment = ui::Align::Center;
        l->AutoSize = false;
        l->VCenter = true;
    }

    Panel5.Outer = ui::Panel::Bevel::Lowered;
    Panel5.Color = bar;
    ZipFName.AutoSize = false;
    ZipFName.WordWrap = true;

    for (ui::Panel* p : {&Panel6, &Panel7}) {
        p->Outer = ui::Panel::Bevel::Lowered;
        p->Color = bar;
    }
    Edit1.TabOrder = 2;
    Edit2.TabOrder = 3;
    Memo1.TabOrder = 4;

    Build({
        {Panel4, nullptr, {0, 0, 473, 25}},
        {Image2, &Panel4, {0, 0, 473, 25}},
        {Image5, &Panel4, {6, 4, 16, 16}},
        {Label14, &Panel4, {28, 6, 0, 0}, "Skykit Explorer"},
        {Close1, &Panel4, {449, 2, 22, 21}},

        {Panel1, nullptr, {0, 25, 473, 483}},
        {Image1, &Panel1, {0, 0, 473, 483}},
        {Bevel4, &Panel1, {0, 0, 473, 2}},
        {Label7, &Panel1, {8, 13, 0, 0}, "Address:"},
        {ComboBox1, &Panel1, {56, 9, 385, 200}},
        {SpeedButton5, &Panel1, {444, 8, 22, 22}},

        {Panel2, &Panel1, {8, 38, 457, 193}},
        {Eks, &Panel2, {2, 2, 227, 189}},
        {Image6, &Eks, {0, 0, 227, 6}},
        {Image7, &Eks, {10, 16, 32, 32}},
        {mappe, &Eks, {50, 18, 0, 0}, "Directory"},
        {navn, &Eks, {50, 34, 172, 14}},
        {Shape1, &Eks, {10, 56, 207, 2}},
        {Label8, &Eks, {10, 66, 0, 0}, "Status:"},
        {Label9, &Eks, {10, 82, 210, 14}},
        {Label3, &Eks, {10, 104, 0, 0}, "Size:"},
        {Label4, &Eks, {10, 120, 210, 14}},
        {Image9, &Eks, {0, 159, 227, 30}},
        {ListView1, &Panel2, {231, 2, 224, 189}},

        {Panel3, &Panel1, {8, 238, 457, 48}},
        {SpeedButton4, &Panel3, {4, 3, 58, 42}, "Refresh"},
        {SpeedButton3, &Panel3, {62, 3, 58, 42}, "Send"},
        {SpeedButton2, &Panel3, {120, 3, 64, 42}, "Properties"},
        {SpeedButton1, &Panel3, {184, 3, 58, 42}, "Delete"},
        {Image4, &Panel3, {308, 12, 65, 25}},
        {Label12, &Panel3, {308, 12, 65, 25}, "OK"},
        {Image3, &Panel3, {382, 12, 65, 25}},
        {Label1, &Panel3, {382, 12, 65, 25}, "Close"},

        {Panel5, &Panel1, {8, 292, 457, 44}},
        {Image8, &Panel5, {8, 14, 16, 16}},
        {ZipFName, &Panel5, {30, 8, 182, 30}, "<none>"},
        {Label5, &Panel5, {246, 15, 0, 0}},
        {Label6, &Panel5, {246, 28, 0, 0}},

        {Panel6, &Panel1, {8, 352, 224, 28}},
        {Label10, &Panel6, {8, 7, 0, 0}, "To"},
        {Label13, &Panel6, {56, 7, 0, 0}, ":"},
        {Edit1, &Panel6, {64, 4, 154, 20}},
        {Panel7, &Panel1, {8, 386, 224, 28}},
        {Label11, &Panel7, {8, 7, 0, 0}, "Subject"},
        {Label15, &Panel7, {56, 7, 0, 0}, ":"},
        {Edit2, &Panel7, {64, 4, 154, 20}},
        {ListView2, &Panel1, {8, 420, 224, 20}},
        {Label16, &Panel1, {242, 352, 0, 0}, "Message:"},
        {Memo1, &Panel1, {242, 368, 223, 104}},
    });

    Label6.SetVisible(false);
    navn.SetVisible(false);
    for (ui::SpeedButton* b : {&Close1, &SpeedButton5}) b->SetShowHint(true);

    ImageList1.AddStrip(Picture("KINDS"), RGB(255, 0, 255));
    ListView1.SetImageList(ImageList1.Handle());

    PopupMenu1.Items = {{"Properties1", "Properties", [this] { SpeedButton2Click(); }},
                        {"Delete1", "Delete", [this] { SpeedButton1Click(); }},
                        {"N1", "-", nullptr},
                        {"SendviaEmail1", "Send via E-mail", [this] { SpeedButton3Click(); }},
                        {"N2", "-", nullptr},
                        {"AboutSkykitExplorer1", "About Skykit Builder", [this] { AboutSkykitExplorer1Click(); }}};

    for (ui::Control* c : {static_cast<ui::Control*>(&Image2), static_cast<ui::Control*>(&Image5),
                           static_cast<ui::Control*>(&Label14)})
        c->OnMouseDown = [this](ui::MouseButton b, int, int) { Image2MouseDown(b); };
    Close1.OnClick = [this] { Image3Click(); };
    Image4.OnClick = Label12.OnClick = [this] { Image4Click(); };
    Image3.OnClick = Label1.OnClick = [this] { Image3Click(); };
    Image4.OnMouseDown = Label12.OnMouseDown = [this](ui::MouseButton, int, int) { Image4MouseDown(); };
    Image3.OnMouseDown = Label1.OnMouseDown = [this](ui::MouseButton, int, int) { Image3MouseDown(); };
    SpeedButton4.OnClick = [this] { SpeedButton4Click(); };
    SpeedButton3.OnClick = [this] { SpeedButton3Click(); };
    SpeedButton2.OnClick = [this] { SpeedButton2Click(); };
    SpeedButton1.OnClick = [this] { SpeedButton1Click(); };
    SpeedButton5.OnClick = [this] { SpeedButton5Click(); };
    ComboBox1.OnKeyPress = [this](char& key) { ComboBox1KeyPress(key); };
    ListView1.OnChange = [this] { ListView1Change(); };
    ListView1.OnClick = [this] { ListView1Click(); };
    ListView1.OnDblClick = [this] { ListView1DblClick(); };

    // The window's own mail component: no session kept, no handlers.
    Email1.SetDownLoadFirst(false);
    Email1.SetNewSession(false);
    Email1.UnreadOnly = false;
}

void TKitlens::AdjustCreateParams(ui::CreateParams& p) { SkinnedFrame(p); }

void TKitlens::FormCreate() {
    ListDirectory = ui::InstallDir();
    ViewDirectory = ui::InstallDir();
}

void TKitlens::FormShow() {
    EnableMenu(false);
    SetFormHeight(kPanelHidden);
    ZipFName.SetCaption(ui::InstallDir());
    SpeedButton4Click();
}

ui::HelpTopic TKitlens::CurrentHelp() const { return Memo1.Visible() ? ui::HelpTopic{Help.page, "mail"} : Help; }

void TKitlens::FormDestroy() {
    Entries.clear();
    if (SkinLibrary) FreeLibrary(SkinLibrary);
    SkinLibrary = nullptr;
}

void TKitlens::SetFormHeight(int h) {
    SetWindowHeight(h);
    // Hidden fields of a collapsed panel must not take the keyboard focus.
    bool shown = h >= kPanelShown;
    for (ui::Control* c : std::initializer_list<ui::Control*>{&Panel6, &Panel7, &ListView2, &Label16, &Memo1})
        c->SetVisible(shown);
}

void TKitlens::EnableMenu(bool on) {
    for (const char* n : {"Properties1", "Delete1", "SendviaEmail1"}) PopupMenu1.Item(n)->Enabled = on;
}

void TKitlens::Warn(const std::string& text) {
    ui::desktop().MessageBox(Handle(), text, kCaption, MB_OK | MB_ICONWARNING);
}

void TKitlens::Image2MouseDown(ui::MouseButton button) { TitleMouseDown(button); }

// ---------------------------------------------------------------------------------------
// Listing

void TKitlens::SpeedButton4Click() {
    SetFormHeight(kPanelHidden);
    Edit1.SetText("");
    Edit2.SetText("");
    ListView2.ClearItems();
    ResetToInstallDir();
}

void TKitlens::ResetToInstallDir() {
    ProjectFolderFlag = "No";
    ListDirectory = ui::InstallDir();
    ViewDirectory = ui::InstallDir();
    Label6.SetCaption(ui::InstallDir());
    ZipFName.SetCaption(ui::InstallDir());
    ZipFName.SetShowHint(false);
    ListFolder();
}

void TKitlens::ListFolder() {
    // The list lets the window repaint (and so handle clicks) while it fills. A handler that
    // asks for another listing then does not start one over this one: this one starts over
    // with the new directory, so the list never mixes two folders.
    if (listing_) {
        relist_ = true;
        return;
    }
    listing_ = true;
    HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
    Cursor = ListView1.Cursor = wait;
    SetCursor(wait);
    HWND lv = ListView1.Handle();
    do {
        relist_ = false;
        std::string dir = ListDirectory;
        Entries.clear();
        panelName_.clear();
        SendMessageA(lv, WM_SETREDRAW, FALSE, 0);
        ListView1.ClearItems();
        SendMessageA(lv, WM_SETREDRAW, TRUE, 0);

        WIN32_FIND_DATAA fd;
        HANDLE h = dir.empty() ? INVALID_HANDLE_VALUE : FindFirstFileA((dir + "*.*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string name = fd.cFileName;
                if (name == "." || name == "..") continue;
                FolderEntry e;
                e.Name = name;
                e.IsDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                e.ImageIndex = e.IsDirectory ? kFolderImage : KindImageIndex(name);
                Entries.push_back(e);
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        std::stable_sort(Entries.begin(), Entries.end(), EntryBefore);

        std::vector<FolderEntry> order = Entries;
        for (const FolderEntry& e : order) {
            if (relist_) break;
            SendMessageA(lv, WM_SETREDRAW, FALSE, 0);
            ListView1.AddItem(e.Name, e.ImageIndex);
            SendMessageA(lv, WM_SETREDRAW, TRUE, 0);
        }
    } while (relist_);
    ListDirectory.clear();
    // The count also says so when a folder turns out empty.
    ShowCount();
    InvalidateRect(lv, nullptr, TRUE);
    Cursor = ListView1.Cursor = nullptr;
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    listing_ = false;
}

void TKitlens::ShowCount() {
    // Right-aligned by hand: the label takes its text's width and ends at the bar's right.
    const int right = 448;
    Label5.SetCaption(ui::IntToStr(ListView1.Count()) + " file(s) found");
    // A little room on the right: the last letter may reach past the text's measured width.
    ui::Rect r = Label5.Bounds();
    Label5.SetBounds({right - r.w - 3, r.y, r.w + 3, r.h});
}

void TKitlens::ListView1Change() {
    ShowCount();
    // While the list fills, the window repaints item by item.
    if (listing_) ui::App->ProcessMessages();
}

void TKitlens::ListView1Click() {
    int sel = ListView1.Selected();
    if (sel < 0) {
        EnableMenu(false);
        return;
    }
    EnableMenu(true);
    std::string caption = ListView1.ItemText(sel);
    panelName_ = caption;
    panelDir_ = ViewDirectory;
    navn.SetVisible(true);
    navn.SetCaption(caption);
    Label6.SetCaption(ViewDirectory + caption);
    ShowPath();
    if (ListView1.ItemImage(sel) == kFolderImage) {
        mappe.SetCaption("Directory");
        PopupMenu1.Item("SendviaEmail1")->Enabled = false;
        Label9.SetCaption(EntryStatus(caption, true, false));
        Label4.SetCaption("");
    } else {
        mappe.SetCaption("File");
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExA(Label6.Caption().c_str(), GetFileExInfoStandard, &data))
            Label4.SetCaption(SizeText((unsigned long long)data.nFileSizeHigh << 32 | data.nFileSizeLow));
        else
            Label4.SetCaption("");  // gone since it was listed
        Label9.SetCaption(EntryStatus(caption, false, ProjectFolderFlag == "Yes"));
    }
}

void TKitlens::ShowPath() {
    std::string path = Label6.Caption();
    if (path.empty()) {
        ZipFName.SetCaption("<none>");
        ZipFName.SetShowHint(false);
        return;
    }
    int room = ZipFName.Bounds().w;
    auto width = [this](const std::string& s) { return ZipFName.TextWidth(s); };
    ZipFName.SetCaption(ui::MinimizeName(path, width, room));
    if (width(path) > room) {
        ZipFName.SetHint(path);
        ZipFName.SetShowHint(true);
    } else {
        ZipFName.SetShowHint(false);
    }
}

void TKitlens::SyncPanel() {
    int sel = ListView1.Selected();
    if (sel >= 0 && (ListView1.ItemText(sel) != panelName_ || panelDir_ != ViewDirectory)) ListView1Click();
}

// ---------------------------------------------------------------------------------------
// File actions

void TKitlens::ListView1DblClick() {
    SyncPanel();
    int sel = ListView1.Selected();
    if (sel < 0) {
        EnableMenu(false);
        return;
    }
    EnableMenu(true);
    std::string caption = ListView1.ItemText(sel);
    if (caption == "Help") {
        Warn("This folder is protected by Skykit Builder and can not be viewed.");
        return;
    }
    int image = ListView1.ItemImage(sel);
    if (image == kFolderImage) {
        // The folder the user sees: in a project folder that is one of its subfolders.
        std::string folder = ViewDirectory + caption + "\\";
        ProjectFolderFlag = "Yes";
        ListDirectory = folder;
        ViewDirectory = folder;
        Label6.SetCaption(folder);
        ZipFName.SetCaption(folder);
        ZipFName.SetShowHint(false);
        ListFolder();
        return;
    }
    std::string path = Label6.Caption();
    switch (image) {
        case 23:
            StartProgramAndWait(path, "", SW_SHOWNORMAL);
            break;
        case 18:
        case 13:
        case 14:
        case 19:
            ui::desktop().ShellExecute(Handle(), "open", path, "", "", SW_SHOWDEFAULT);
            break;
        case 5:
        case 24:
            // Quoted, or a path with a space would open the wrong file.
            ui::desktop().WinExec("Notepad.exe \"" + path + "\"", SW_SHOWNORMAL);
            break;
        default:
            break;
    }
}

bool TKitlens::StartProgramAndWait(const std::string& path, const std::string& arguments, int show) {
    std::string cmd = "\"" + path + "\"";
    if (!arguments.empty()) cmd += " " + arguments;
    return ui::desktop().RunAndWait(cmd, show);
}

void TKitlens::SpeedButton1Click() {
    SyncPanel();
    int sel = ListView1.Selected();
    if (sel < 0) {
        Warn("Please select a file you want to delete.");
        return;
    }
    std::string caption = ListView1.ItemText(sel);
    std::string status = Label9.Caption();
    if (status == kProtected) {
        Warn(caption + " is protected by SKKT and can not be deleted by Skykit Explorer.");
        return;
    }
    if (status == kUsed) {
        Warn("The help section can not be deleted as this folder is used by SKKT.");
        return;
    }
    std::string path = Label6.Caption();
    if (ListView1.ItemImage(sel) == kFolderImage) {
        // To the recycle bin, with the shell's own confirmation.
        std::string from = path;
        from.push_back('\0');
        from.push_back('\0');
        SHFILEOPSTRUCTA op{};
        op.hwnd = nullptr;
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.pTo = nullptr;
        op.fFlags = FOF_ALLOWUNDO;
        ui::desktop().FileOperation(&op);
        ResetToInstallDir();
        return;
    }
    if (ui::desktop().MessageBox(nullptr, "Are you sure you want to delete " + caption + "?", "Delete file",
                                 MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (!DeleteFileA(path.c_str())) {
        // The file stays, and so does its item: say why.
        DWORD err = GetLastError();
        Warn(caption + " could not be deleted. " + ui::SystemErrorText(err) + ".");
        return;
    }
    ListView1.DeleteItem(sel);
    ShowCount();
    ui::App->ProcessMessages();
    navn.SetCaption("");
    Label9.SetCaption("");
    Label4.SetCaption("");
    panelName_.clear();
}

void TKitlens::SpeedButton2Click() {
    SyncPanel();
    if (ListView1.Selected() < 0) {
        EnableMenu(false);
        return;
    }
    EnableMenu(true);
    std::string path = Label6.Caption();
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.lpVerb = "properties";
    info.lpFile = path.c_str();
    info.hwnd = nullptr;
    info.nShow = 0;
    ui::desktop().ShellExecuteEx(&info);
}

void TKitlens::AboutSkykitExplorer1Click() {
    AuxForm* about = MakeAboutForm(Handle());
    if (!about) return;
    AuxShowModal(about);
    AuxFreeForm(about);
}

void TKitlens::Image4MouseDown() { Image4.LoadSkin(SkinLibrary, ui::kSkinButton.pressed); }
void TKitlens::Image3MouseDown() { Image3.LoadSkin(SkinLibrary, ui::kSkinButton.pressed); }

void TKitlens::CloseWith(ui::Image& button) {
    ui::IniFile ini = kitforge::Open();
    ini.WriteString(kSection, "Url", ComboBox1.Text());
    try {
        button.LoadSkin(SkinLibrary, ui::kSkinButton.rest);
    } catch (const ui::Error&) {
        // A missing bitmap must not keep the window open.
    }
    Close();
}

void TKitlens::Image4Click() { CloseWith(Image4); }
void TKitlens::Image3Click() { CloseWith(Image3); }

// ---------------------------------------------------------------------------------------
// Send via e-mail

void TKitlens::SpeedButton3Click() {
    SyncPanel();
    int sel = ListView1.Selected();
    if (sel < 0) {
        Warn("Please select a file you want to send with your e-mail.");
        return;
    }
    if (ListView1.ItemImage(sel) == kFolderImage) {
        Warn("You can not send a Directory. It is suggested that you create\n"
             "a single zip file which contains the files located in this directory.");
        return;
    }
    if (FormHeight() != kPanelShown) {
        // The first press prepares the message.
        ListView2.AddItem(Label6.Caption());
        SetFormHeight(kPanelShown);
        Edit1.SetFocus();
        return;
    }
    SetFormHeight(kPanelHidden);
    if (Edit1.Text().empty()) {
        Edit1.SetText("");
        Edit2.SetText("");
        ListView2.ClearItems();
        return;
    }
    std::string text;
    std::vector<std::string> lines = Memo1.Lines();
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
    Email1.SetText(text.substr(0, 255));
    std::vector<std::string> files;
    for (int i = 0; i < ListView2.Count(); ++i) files.push_back(ListView2.Item(i));
    Email1.SetAttachment(files);
    Email1.SetRecipient({Edit1.Text()});
    std::string subject = Edit2.Text();
    Email1.SetSubject(subject.empty() ? "Skykit" : subject.substr(0, 255));
    int result = Email1.SendMail();
    std::string failed;
    for (const std::string& r : Email1.FailedRecipients) failed += "\n    " + r;
    if (result != SUCCESS_SUCCESS) {
        // Nothing went out: the message stays as it was, ready to send again.
        SetFormHeight(kPanelShown);
        Warn("The e-mail was not sent: " + MailErrorText(result) +
             (failed.empty() ? "" : "\nThese recipients could not be found:" + failed));
        return;
    }
    ListView2.ClearItems();
    if (!failed.empty()) Warn("These recipients could not be found and did not get the e-mail:" + failed);
}

// ---------------------------------------------------------------------------------------
// Address box

void TKitlens::SpeedButton5Click() {
    std::string address = ComboBox1.Text();
    // The address is recorded before it is opened: a link list that cannot be written is
    // said at once, and the address still opens and stays in the box and its list.
    std::string file = ui::InstallDir() + "hyper.add";
    std::vector<std::string> lines = ReadLines(file);
    lines.push_back(address);
    std::string failure;
    try {
        WriteLines(file, lines);
        lines = ReadLines(file);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    ComboBox1.ClearItems();
    for (const std::string& l : lines) ComboBox1.AddItem(l);
    ComboBox1.SetText(address);
    if (!failure.empty()) Warn("The address list could not be saved:\n" + failure);
    // An empty address opens nothing (the shell would open some folder of its choosing).
    if (!address.empty()) ui::desktop().ShellExecute(Handle(), "open", address, "", "", SW_SHOWDEFAULT);
}

void TKitlens::ComboBox1KeyPress(char& key) {
    if (key == '\r' && !ComboBox1.Text().empty()) {
        SpeedButton5Click();
        key = 0;
    }
}

void TKitlens::FormClose(bool&) {
    std::string file = ui::InstallDir() + "hyper.add";
    std::vector<std::string> lines = ReadLines(file);
    lines.clear();
    WriteLines(file, lines);
    ComboBox1.ClearItems();
}
