// The thin form framework shared by the builder and the explorer.
//
// A form is a top-level window whose controls are members named as in the product's design
// (Edit9, Label27, Image7). Controls are placed from one layout table per form and carry
// their own event handlers. Labels, images, shapes, bevels and speed buttons are drawn by
// the panel or form they sit on (they have no window of their own), so a label is truly
// transparent over a skin bitmap; edits, buttons, radio buttons and the like are real
// Win32 child windows.
//
// Panels and forms share one window procedure. It hands each control its own part of a
// message through virtual hooks: a drawn control paints itself, shows the pointer over it and
// a press on it, and reports its texts; a windowed control gets back the commands,
// notifications and colour requests its parent receives for it. No container asks what kind
// a control is.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ProgressScale.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ui {

// The module (program or DLL) this framework is linked into: its window classes are its own.
inline HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

class Form;
class Container;
class PopupMenu;
namespace textreport {
struct Item;
}

// The framework's exception class: anything thrown out of a handler that derives from it
// (or from std::exception) is shown by the application's standard exception display.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// A named resource (a skin bitmap) that a library does not hold.
class EResNotFound : public Error {
public:
    using Error::Error;
};
// A file that cannot be created or written.
class EFCreateError : public Error {
public:
    using Error::Error;
};

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

enum class MouseButton { Left, Right, Middle };

struct Font {
    std::string name = "MS Sans Serif";
    int size = 8;          // points
    int pixelHeight = 0;   // when not 0, the cell height in pixels instead of the point size
    bool bold = false;
    bool italic = false;
    bool underline = false;
    COLORREF color = RGB(0, 0, 0);
    HFONT handle() const;  // created on first use, cached process-wide
};

enum class Align { Left, Center, Right };

// ---------------------------------------------------------------------------------------
// Controls

class Control {
public:
    explicit Control(const char* name) : Name(name) {}
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    std::string Name;
    std::string Hint;
    ui::Font Font;
    HCURSOR Cursor = nullptr;
    PopupMenu* Popup = nullptr;
    int Tag = 0;

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void(MouseButton, int x, int y)> OnMouseDown;
    std::function<void(MouseButton, int x, int y)> OnMouseUp;
    std::function<void(int x, int y)> OnMouseMove;

    Container* Parent() const { return parent_; }
    // The form the control sits on (a form is its own); nullptr before it is placed.
    virtual Form* OwnerForm() const;
    const Rect& Bounds() const { return bounds_; }
    void SetBounds(const Rect& r);
    void SetLeft(int x) { SetBounds({x, bounds_.y, bounds_.w, bounds_.h}); }
    void SetTop(int y) { SetBounds({bounds_.x, y, bounds_.w, bounds_.h}); }
    void SetHeight(int h) { SetBounds({bounds_.x, bounds_.y, bounds_.w, h}); }
    void SetWidth(int w) { SetBounds({bounds_.x, bounds_.y, w, bounds_.h}); }
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool v);
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool e);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool on);
    void SetHint(const std::string& hint);

    virtual std::string Caption() const { return caption_; }
    virtual void SetCaption(const std::string& text);

    // Windowed controls have a handle; drawn controls return their container's.
    virtual HWND Handle() const;
    virtual bool Windowed() const { return false; }
    // Screen rectangle of the control (for drivers and popup placement).
    RECT ScreenRect() const;
    void Invalidate();
    virtual void SetFocus();
    bool Focused() const;

    // Mouse and click dispatch, also used by tests to press a control as a person would.
    void Click();
    void DblClick();
    void MouseDown(MouseButton b, int x = 1, int y = 1);
    void MouseUp(MouseButton b, int x = 1, int y = 1);
    void MouseMove(int x = 1, int y = 1);

    // Internal: placement by the layout table.
    virtual void Attach(Container* parent, const Rect& r);
    void RefreshTool();

    // Hooks through which the container a control sits on hands it its part of the window's
    // work; each kind of control overrides what concerns it.
    // Drawn controls: paint into the container's client area (already clipped to the control).
    virtual void Paint(HDC) {}
    // Drawn controls: the pointer came over the control or left it; a button of the mouse
    // went down on it or came up again.
    virtual void HoverChanged(bool /*over*/) {}
    virtual void PressChanged(bool /*down*/) {}
    // Adds the texts the control shows to a test driver's report (see TextReport.h); `area`
    // is the client area of its container, which cuts what reaches past it.
    virtual void ReportText(const std::string& /*window*/, const Rect& /*area*/,
                            std::vector<textreport::Item>& /*out*/) const {}
    // The place a windowed control asked for in its form's tab order; -1 for none.
    virtual int TabPosition() const { return -1; }

protected:
    Container* parent_ = nullptr;
    Rect bounds_;
    bool visible_ = true;
    bool enabled_ = true;
    bool showHint_ = false;
    std::string caption_;
};

// A control that other controls sit on: a panel or a form. It draws its drawn children
// (labels, images...) in their order, and routes mouse input over them.
class Container : public Control {
public:
    using Control::Control;
    HWND Handle() const override { return hwnd_; }
    bool Windowed() const override { return true; }
    COLORREF Color = GetSysColor(COLOR_BTNFACE);
    const std::vector<Control*>& Children() const { return children_; }
    void AddChild(Control* c) { children_.push_back(c); }
    void RemoveChild(Control* c);
    // The drawn child at a client point, topmost first; nullptr when none.
    Control* DrawnChildAt(int x, int y) const;
    // The window procedure of panels and forms: the window's container handles its messages.
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    virtual LRESULT HandleMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    void SetVisible(bool v) override;
    void SetEnabled(bool e) override;
    // The texts of everything on the container, each cut by the container's own client area.
    void ReportText(const std::string& window, const Rect& area, std::vector<textreport::Item>& out) const override;

protected:
    HWND hwnd_ = nullptr;
    std::vector<Control*> children_;
    Control* captured_ = nullptr;
    Control* hover_ = nullptr;
    void PaintAll(HDC dc, const RECT& client);
    // Drawn over the background and the drawn children (a panel's bevels).
    virtual void PaintFrame(HDC, const RECT& /*client*/) {}
};

// A windowed child control (edit, button, list...). Subclassed so that it routes its own
// commands, mouse events, cursor and popup menu.
class WinControl : public Control {
public:
    using Control::Control;
    HWND Handle() const override { return hwnd_; }
    bool Windowed() const override { return true; }
    void SetVisible(bool v) override;
    void SetEnabled(bool e) override;
    std::string Caption() const override;
    void SetCaption(const std::string& text) override;
    std::function<void()> OnChange;
    std::function<void(WPARAM key, bool& handled)> OnKeyDown;
    // A typed character; setting it to 0 swallows it.
    std::function<void(char& key)> OnKeyPress;
    int TabOrder = -1;
    bool TabStop = true;
    int TabPosition() const override { return TabOrder; }
    // Background colour for radio buttons and check boxes (CLR_INVALID: the parent's).
    COLORREF Color = CLR_INVALID;
    void Attach(Container* parent, const Rect& r) override;
    // Hooks for what the control's parent receives about it: commands (WM_COMMAND) and
    // notifications (WM_NOTIFY) routed back to the control that sent them, and the colours
    // of its background (WM_CTLCOLOR...); nullptr leaves them to the system.
    virtual void Command(WORD /*code*/) {}
    virtual LRESULT Notify(NMHDR*) { return 0; }
    virtual HBRUSH CtlColor(HDC dc, COLORREF parentColor);
    HBRUSH BackgroundBrush();
    // Buttons and check boxes report their captions; edits and lists show what the user
    // typed or scroll, and are left out.
    void ReportText(const std::string& window, const Rect& area, std::vector<textreport::Item>& out) const override;

protected:
    HWND hwnd_ = nullptr;
    HBRUSH brush_ = nullptr;
    COLORREF brushColor_ = CLR_INVALID;
    virtual const char* WindowClass() const = 0;
    virtual DWORD Style() const { return 0; }
    virtual DWORD ExStyle() const { return 0; }
    virtual void Created() {}
    // Enter is a key the control uses itself (a new line), not only one its key-down
    // handler takes.
    virtual bool WantsReturn() const { return false; }
    // The control reports its double-clicks itself (or has none), so its window's
    // WM_LBUTTONDBLCLK is not one.
    virtual bool OwnDblClick() const { return false; }
    // A message of the control's own window that the control handles itself (true: taken).
    virtual bool OwnMessage(UINT /*msg*/, WPARAM /*wp*/, LPARAM /*lp*/) { return false; }
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};

class Panel : public Container {
public:
    enum class Bevel { None, Raised, Lowered };
    using Container::Container;
    Bevel Outer = Bevel::None;
    Bevel Inner = Bevel::None;
    void Attach(Container* parent, const Rect& r) override;

protected:
    void PaintFrame(HDC dc, const RECT& client) override;
};

class Label : public Control {
public:
    using Control::Control;
    bool Transparent = true;
    bool AutoSize = true;
    bool WordWrap = false;
    bool VCenter = false;  // one line, centred in the label's height (captions of image buttons)
    Align Alignment = Align::Left;
    COLORREF Color = GetSysColor(COLOR_BTNFACE);
    void SetCaption(const std::string& text) override;
    void Attach(Container* parent, const Rect& r) override;
    void Paint(HDC) override;
    void ReportText(const std::string& window, const Rect& area, std::vector<textreport::Item>& out) const override;
    // Width of a text in this label's font, in pixels.
    int TextWidth(const std::string& text) const;

private:
    void Fit();
};

class Image : public Control {
public:
    using Control::Control;
    ~Image() override;
    bool Stretch = false;
    bool Center = false;
    // Loads a named bitmap from a resource library; throws EResNotFound when it has none.
    void LoadSkin(HMODULE library, const char* name);
    // Loads a Windows bitmap file; throws Error when it is not one.
    void LoadFromFile(const std::string& path);
    // Shows a bitmap; the image owns it from now on.
    void SetBitmap(HBITMAP bmp);
    // Shows an icon (not owned).
    void SetIcon(HICON icon);
    void Clear();
    bool Empty() const { return !bitmap_ && !icon_; }
    int PictureWidth() const { return picW_; }
    int PictureHeight() const { return picH_; }
    HBITMAP Bitmap() const { return bitmap_; }
    HICON Icon() const { return icon_; }
    void Paint(HDC) override;

private:
    HBITMAP bitmap_ = nullptr;
    HICON icon_ = nullptr;
    int picW_ = 0, picH_ = 0;
};

class Shape : public Control {
public:
    using Control::Control;
    COLORREF Pen = RGB(0, 0, 0);
    COLORREF Brush = RGB(255, 255, 255);
    bool Rounded = false;
    void Paint(HDC) override;
};

class BevelLine : public Control {
public:
    using Control::Control;
    bool Vertical = false;
    bool Lowered = true;
    bool Box = false;  // a frame round the whole rectangle instead of one line
    void Paint(HDC) override;
};

// A flat button drawn with an optional glyph; its hint is its tooltip.
class SpeedButton : public Control {
public:
    using Control::Control;
    ~SpeedButton() override;
    bool Flat = true;
    bool GlyphAbove = false;        // glyph on top, caption below (toolbar style)
    void SetGlyph(HBITMAP glyph);   // owned; the colour of the bottom-left pixel is transparent
    void SetGlyphIcon(HICON icon);  // owned
    void Paint(HDC) override;
    void HoverChanged(bool over) override {
        hot = over;
        Invalidate();
    }
    void PressChanged(bool pressed) override {
        down = pressed;
        Invalidate();
    }
    void ReportText(const std::string& window, const Rect& area, std::vector<textreport::Item>& out) const override;
    bool hot = false, down = false;  // under the pointer; pressed

private:
    HBITMAP glyph_ = nullptr;
    HICON icon_ = nullptr;
};

class Edit : public WinControl {
public:
    using WinControl::WinControl;
    bool Framed = true;      // a sunken frame; the borderless edits sit on framed, disabled ones
    int MaxLength = 0;
    bool ReadOnly = false;
    std::string Text() const { return Caption(); }
    void SetText(const std::string& t) { SetCaption(t); }
    void SetMaxLength(int n);
    void SelectAll();
    void Command(WORD code) override;

protected:
    const char* WindowClass() const override { return "EDIT"; }
    DWORD Style() const override;
    DWORD ExStyle() const override;
    void Created() override;
    HBRUSH CtlColor(HDC, COLORREF) override { return nullptr; }  // an edit keeps the system's colours
};

// Multi-line plain-text rich edit.
class RichEdit : public WinControl {
public:
    using WinControl::WinControl;
    bool WordWrap = true;
    std::string Text() const { return Caption(); }
    void SetText(const std::string& t) { SetCaption(t); }
    std::vector<std::string> Lines() const;
    void SetLines(const std::vector<std::string>& lines);
    // Selection in character positions (line breaks count as the control reports them).
    int SelStart() const;
    int SelLength() const;
    void SetSel(int start, int length);
    std::string SelText() const;
    void SetSelText(const std::string& t);
    // The text as the selection positions count it: a rich edit counts a line break as one
    // character, while Text() gives it as the two of "\r\n".
    std::string PositionText() const;
    void Command(WORD code) override;

protected:
    const char* WindowClass() const override;
    DWORD Style() const override;
    DWORD ExStyle() const override { return WS_EX_CLIENTEDGE; }
    void Created() override;
    bool WantsReturn() const override { return true; }
};

class Button : public WinControl {
public:
    using WinControl::WinControl;
    bool Default = false;
    void Command(WORD code) override;

protected:
    const char* WindowClass() const override { return "BUTTON"; }
    DWORD Style() const override { return Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON; }
    bool OwnDblClick() const override { return true; }  // a second press is a second click
};

// Check box and radio button. Radio buttons of one parent exclude each other.
class CheckBox : public WinControl {
public:
    using WinControl::WinControl;
    bool Checked() const;
    virtual void SetChecked(bool on);
    void Command(WORD code) override;

protected:
    const char* WindowClass() const override { return "BUTTON"; }
    DWORD Style() const override { return BS_CHECKBOX; }
};

class RadioButton : public CheckBox {
public:
    using CheckBox::CheckBox;
    void SetChecked(bool on) override;
    void Command(WORD code) override;

protected:
    DWORD Style() const override { return BS_RADIOBUTTON; }
};

class ProgressBar : public WinControl {
public:
    using WinControl::WinControl;
    int Min = kit::kBarEmpty, Max = kit::kBarFull;
    int Position() const { return pos_; }
    void SetPosition(int p);
    // Shows `done` of `total` on the common scale (ProgressScale.h); a total of 0 is full.
    void SetFraction(int64_t done, int64_t total) { SetPosition(kit::BarPosition(done, total)); }

protected:
    const char* WindowClass() const override { return PROGRESS_CLASSA; }
    void Created() override;
    bool OwnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    int pos_ = 1;
    int shownPixel_ = -1;  // the filled width last drawn
    DWORD shownAt_ = 0;    // when the control last took a position
    bool catchingUp_ = false;  // a timer brings the control the latest position
    void Draw();
};

class ComboBox : public WinControl {
public:
    using WinControl::WinControl;
    std::string Text() const { return Caption(); }
    void SetText(const std::string& t) { SetCaption(t); }
    void ClearItems();
    void AddItem(const std::string& s);
    std::vector<std::string> Items() const;
    void Command(WORD code) override;
    // The edit field inside the box, where the keys arrive.
    HWND EditHandle() const;

protected:
    const char* WindowClass() const override { return "COMBOBOX"; }
    DWORD Style() const override { return CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL; }
    void Created() override;
};

class ListBox : public WinControl {
public:
    using WinControl::WinControl;
    void ClearItems();
    void AddItem(const std::string& s);
    int Count() const;
    std::string Item(int i) const;
    int ItemIndex() const;
    void SetItemIndex(int i);
    void Command(WORD code) override;

protected:
    const char* WindowClass() const override { return "LISTBOX"; }
    DWORD Style() const override { return LBS_NOTIFY | WS_VSCROLL | WS_BORDER; }
};

// List view with one image list of small icons: report style (columns) by default, or a
// plain list of small icons. OnChange follows every added or changed item.
class ListView : public WinControl {
public:
    using WinControl::WinControl;
    bool ListStyle = false;       // small icons in columns, no header
    bool Border = true;
    bool FlatScrollBars = false;
    void AddColumn(const std::string& caption, int width);
    void SetImageList(HIMAGELIST list);
    void ClearItems();
    int AddItem(const std::string& caption, int image, const std::vector<std::string>& sub = {});
    void DeleteItem(int i);
    int Count() const;
    std::string ItemText(int i, int sub = 0) const;
    int ItemImage(int i) const;
    int Selected() const;
    void SetSelected(int i);
    LRESULT Notify(NMHDR*) override;
    std::function<void()> OnSelect;

protected:
    const char* WindowClass() const override { return WC_LISTVIEWA; }
    DWORD Style() const override {
        return (ListStyle ? LVS_LIST : LVS_REPORT) | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    }
    DWORD ExStyle() const override { return Border ? WS_EX_CLIENTEDGE : 0; }
    void Created() override;
    bool OwnDblClick() const override { return true; }  // NM_DBLCLK, once
};

// A list of equally sized images drawn with a transparent colour (list view icons).
class ImageList {
public:
    ImageList(int width, int height);
    ~ImageList();
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;
    // Cuts a strip of images laid side by side into the list; `key` is the transparent colour.
    // Returns the number of images added.
    int AddStrip(HBITMAP strip, COLORREF key);
    int Count() const;
    HIMAGELIST Handle() const { return list_; }

private:
    HIMAGELIST list_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// Non-visual members

class Timer {
public:
    explicit Timer(const char* name = "") : Name(name) {}
    ~Timer();
    Timer(const Timer&) = delete;
    std::string Name;
    std::function<void()> OnTimer;
    UINT Interval() const { return interval_; }
    void SetInterval(UINT ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    void Fire();  // what a tick does; also for tests

private:
    UINT interval_ = 1000;
    bool enabled_ = false;
};

struct MenuItem {
    std::string Name;
    std::string Caption;  // "-" for a separator
    std::function<void()> OnClick;
    bool Enabled = true;
};

class PopupMenu {
public:
    explicit PopupMenu(const char* name = "") : Name(name) {}
    std::string Name;
    std::vector<MenuItem> Items;
    MenuItem* Item(const std::string& name);
    // Shows the menu at a screen point and runs the chosen item's handler.
    void Popup(HWND owner, int screenX, int screenY);
};

// ---------------------------------------------------------------------------------------
// Forms

enum class BorderStyle { None, Dialog, Single };
enum class Position { Designed, ScreenCenter };
enum ModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

struct CreateParams {
    DWORD Style = 0;
    DWORD ExStyle = 0;
    std::string ClassName = "TSkykitForm";
    HWND Parent = nullptr;
};

// A place in the guide (the help pages in the folder "Help" beside the program): a page and
// one of its sections, "" for the page's top.
struct HelpTopic {
    std::string page;
    std::string section;
    bool operator==(const HelpTopic&) const = default;
};

// One entry of a form's layout table.
struct Place {
    Control& control;
    Container* parent;  // nullptr: the form itself
    Rect bounds;
    const char* caption = nullptr;
};

class Form : public Container {
public:
    Form(const char* name, int clientWidth, int clientHeight);
    ~Form() override;

    std::string Title;
    ui::BorderStyle Border = BorderStyle::Dialog;
    ui::Position Placement = Position::ScreenCenter;
    int Left = 0, Top = 0;
    bool TopMost = false;
    int ModalResult = mrNone;
    // Where F1 opens the guide while the form (or a control on it) has the keyboard.
    HelpTopic Help;

    // Creates the window and every control of the layout table, in table order (which is
    // also the tab order of the windowed controls unless they say otherwise).
    void Build(std::initializer_list<Place> layout);
    void Layout(std::initializer_list<Place> layout);
    void Show();
    void Hide();
    int ShowModal();
    void Close();
    bool Showing() const { return hwnd_ && IsWindowVisible(hwnd_); }
    bool Modal() const { return modal_; }
    int ClientWidth() const { return clientW_; }
    int ClientHeight() const { return clientH_; }
    void SetClientHeight(int h);
    void SetWindowHeight(int h);
    int WindowHeight() const;
    // Makes this form a child window of a panel (maximised over it), or top-level again.
    void Embed(Container* panel);
    // The control that asked for the focus last; the show handler's choice outlives the
    // window's activation, which would otherwise focus the form itself.
    void WantFocus(HWND control) { wantFocus_ = control; }

    // Hooks. The names are the handlers' names in the product's design.
    virtual void FormShow() {}
    virtual void FormClose(bool& allowHide) { (void)allowHide; }
    virtual void FormDestroy() {}
    virtual void AdjustCreateParams(CreateParams& p) { (void)p; }
    // The guide's place for what the form shows now; a form that shows more than one thing
    // in turn tells which.
    virtual HelpTopic CurrentHelp() const { return Help; }

    // Makes the window caption-less and skinned: pop-up style without the dialog frame, in
    // the window class "Skykit Builder" that both programs' windows use.
    static void SkinnedFrame(CreateParams& p);
    // A caption-less window moves as a caption bar would move it: a press of the left button
    // on its title strip starts the move (other buttons do nothing). DragBy binds the strip's
    // controls to it.
    void TitleMouseDown(MouseButton button);
    void DragBy(std::initializer_list<Control*> strip);

    // Runs FormDestroy once; the application calls it before deleting the form.
    void Destroy();
    HWND Tooltip() const { return tooltip_; }
    Control* FindControl(const std::string& name) const;
    std::vector<Control*> AllControls() const;
    Form* OwnerForm() const override { return const_cast<Form*>(this); }
    LRESULT HandleMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

protected:
    int clientW_, clientH_;
    bool modal_ = false;
    bool destroyed_ = false;
    bool shownOnce_ = false;
    HWND tooltip_ = nullptr;
    Container* embeddedIn_ = nullptr;
    HWND wantFocus_ = nullptr;
    std::vector<Control*> all_;
    void CreateWindowFor();
};

// ---------------------------------------------------------------------------------------
// The seam: everything that waits for a person or leaves the process goes through here.

struct FileDialog {
    HWND owner = nullptr;
    std::string title;
    std::string filter;      // "Description|*.ext|..." as in the form designer
    std::string defaultExt;
    std::string initialDir;
    std::string fileName;    // proposed name in, chosen full path out
    bool mustExist = false;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);
    virtual bool OpenFile(FileDialog& d);
    virtual INT_PTR ShellExecute(HWND owner, const std::string& verb, const std::string& file,
                                 const std::string& params, const std::string& dir, int show);
    virtual BOOL ShellExecuteEx(SHELLEXECUTEINFOA* info);
    virtual UINT WinExec(const std::string& cmdLine, UINT show);
    // Starts a program and waits until it ends; false when it could not be started.
    virtual bool RunAndWait(const std::string& cmdLine, int show);
    virtual int FileOperation(SHFILEOPSTRUCTA* op);
    virtual void AddToRecentDocs(const std::string& path);
    // Opens the platform's non-modal find-and-replace dialog; its window, or nullptr.
    virtual HWND ReplaceText(FINDREPLACEA* fr);
};

Desktop& desktop();
// Replaces the desktop (tests); nullptr restores the real one.
void SetDesktop(Desktop* d);

// The platform's non-modal find-and-replace dialog. It reports each press of its buttons to
// its owner form, which hands the report here; the handlers then read the texts and options.
class ReplaceDialog {
public:
    explicit ReplaceDialog(const char* name = "") : Name(name) {}
    ~ReplaceDialog();
    ReplaceDialog(const ReplaceDialog&) = delete;
    ReplaceDialog& operator=(const ReplaceDialog&) = delete;

    std::string Name;
    std::string FindText, ReplaceText;
    // FR_DOWN, FR_MATCHCASE, FR_WHOLEWORD as the person left them; after a press also the
    // button: FR_FINDNEXT, FR_REPLACE or FR_REPLACEALL.
    DWORD Options = FR_DOWN;
    std::function<void()> OnFind;     // Find Next
    std::function<void()> OnReplace;  // Replace and Replace All

    // Opens the dialog owned by a form's window, or brings it to the front when it is open.
    void Execute(HWND owner);
    void CloseDialog();
    HWND Handle() const { return hwnd_; }
    bool MatchCase() const { return Options & FR_MATCHCASE; }
    bool WholeWord() const { return Options & FR_WHOLEWORD; }
    bool ReplaceAll() const { return Options & FR_REPLACEALL; }

    // The message the dialog sends to its owner ("commdlg_FindReplace"); forms pass it on.
    static UINT Message();
    static void Dispatch(LPARAM findReplace);

private:
    FINDREPLACEA fr_{};
    char find_[256] = "";
    char replace_[256] = "";
    HWND hwnd_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// The application

class Application {
public:
    std::string Title = "";
    Form* MainForm = nullptr;
    bool Terminated = false;
    HINSTANCE Instance = ModuleInstance();

    // The application's form-creation call: the first form created through it is the main form.
    template <class T>
    void CreateForm(T*& ref) {
        ref = new T();
        Own(ref, true);
    }
    // Owned forms are destroyed by the application at exit.
    void Own(Form* f, bool mayBeMain = false);
    void Run();
    void ProcessMessages();
    // F1 opens the guide at the topic of the form that has the keyboard; true when the
    // message was that key and has been dealt with. Every message loop asks first.
    bool HelpKey(const MSG& msg);
    void Terminate();
    void Minimize();
    // Destroys every owned form, the last created first.
    void DestroyForms();
    // The standard exception display.
    void ShowException(const std::exception& e);
    // Runs a handler with the standard exception display around it.
    void Guard(const std::function<void()>& handler);
    int MessageBox(const std::string& text, const std::string& caption, UINT flags);
    HWND ActiveWindow() const;
    const std::vector<Form*>& Forms() const { return forms_; }
    // Non-modal dialogs whose keys (Tab, Enter, Escape) the message loop hands to them.
    void AddDialog(HWND dialog);
    void RemoveDialog(HWND dialog);

private:
    std::vector<Form*> forms_;
    std::vector<HWND> dialogs_;
    bool running_ = false;
    bool HandleMessage(MSG& msg);
};

extern Application* App;

// The framework's simple message box: the text, the application title, an OK button.
void ShowMessage(const std::string& text);

// ---------------------------------------------------------------------------------------
// Small services shared by both programs

// The directory of the running program, with a trailing backslash. Tests may point it at a
// test install directory.
std::string InstallDir();
// The address of a topic of the guide: "file:///C:/Skykit/Help/page.htm#section".
std::string HelpAddress(const HelpTopic& topic);
// Opens the guide at a topic in the person's web browser, through the desktop's shell call.
// A section needs the browser itself: asked to open a file's address, the shell opens the
// file and drops what follows "#". Without a registered browser (or when it does not start)
// the page is opened as a document; nothing is said when that fails too, as for the
// toolbar's Help.
void OpenHelp(HWND owner, const HelpTopic& topic);
void SetInstallDirForTests(const std::string& dir);

// A Windows initialisation file, opened by full path through the private-profile calls for
// each access; nothing is held open. Failed writes are silent.
class IniFile {
public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    // False when the file could not be written (a read-only file or medium).
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);
    void DeleteKey(const std::string& section, const std::string& key);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The system's text for an error code (GetLastError), without its closing line break and full
// stop; "system error N" for a code the system has no text for.
std::string SystemErrorText(DWORD code);

// Reads a string value of a registry key opened read-only (never created). False when the
// key does not open; `value` is then unchanged. A missing value inside an open key reads as "".
bool ReadRegistryString(HKEY root, const std::string& key, const std::string& name, std::string& value);

// A path shortened from its left to fit `maxWidth` as measured by `width`: leading folders
// give way to "...\" one by one ("C:\...\Folder\file.txt"), then the drive ("...\file.txt"),
// and the last name always stays.
std::string MinimizeName(const std::string& path, const std::function<int(const std::string&)>& width, int maxWidth);

// Text helpers
std::string ExtractFilePath(const std::string& path);  // with trailing backslash
std::string ExtractFileName(const std::string& path);
std::string IntToStr(long long v);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool ForceDirectories(const std::string& dir);

// An image button of a skin shows one bitmap at rest and another while the mouse holds it down.
struct ButtonFaces {
    const char* rest;
    const char* pressed;
};
// The skin's common button, as the builder, the explorer and the installer show it.
inline constexpr ButtonFaces kSkinButton{"b1", "b2"};

// Loads a skin library by plain name; the program's own directory comes first.
HMODULE LoadSkinLibrary();
extern const char* const SkinErrorText;  // "Error while reading 'Skin32.dll'. ..."

}  // namespace ui
