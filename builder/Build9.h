// The project settings dialog: the simulators the add-on is for, splash bitmap and screenshots.
#pragma once
#include <string>
#include <vector>

#include "Simulators.h"
#include "ui.h"

class TOption1 : public ui::Form {
public:
    TOption1();

    // Title strip
    ui::Panel Panel4{"Panel4"};
    ui::Image Image2{"Image2"};
    ui::Image Image5{"Image5"};
    ui::Label Label14{"Label14"};
    ui::SpeedButton Close1{"Close1"};

    // Client panel
    ui::Panel Panel1{"Panel1"};
    ui::Image Image1{"Image1"};
    ui::Label Screenshots{"Screenshots"};
    ui::Image Image7{"Image7"}, Image6{"Image6"}, Image8{"Image8"}, Image9{"Image9"};  // slot frames 1-4
    ui::Image Image10{"Image10"}, Image11{"Image11"}, Image12{"Image12"}, Image13{"Image13"};  // slot pictures 1-4
    ui::Label Label6{"Label6"};
    // "This add-on is for": one box and its label per simulator of kit::kSimulators, in its order
    // (FS98, FS2000, FS2002, FS2004, FSX, Prepar3D).
    ui::CheckBox CheckBox1{"CheckBox1"}, CheckBox2{"CheckBox2"}, CheckBox3{"CheckBox3"}, CheckBox4{"CheckBox4"},
        CheckBox5{"CheckBox5"}, CheckBox6{"CheckBox6"};
    ui::Label Label5{"Label5"}, Label4{"Label4"}, Label2{"Label2"}, Label18{"Label18"}, Label19{"Label19"},
        Label20{"Label20"};
    ui::Label Label7{"Label7"};
    ui::Image Image18{"Image18"};  // frame of the splash preview
    ui::Image Image16{"Image16"};  // the splash preview
    ui::Panel Panel2{"Panel2"}, Panel5{"Panel5"}, Panel6{"Panel6"};
    ui::Image Image14{"Image14"}, Image21{"Image21"}, Image22{"Image22"};
    ui::Label Label3{"Label3"}, Label16{"Label16"}, Label17{"Label17"};
    // Size read-out: the chosen bitmap's width and height
    ui::Image Image15{"Image15"}, Image19{"Image19"};
    ui::Label Widt{"Widt"}, Label8{"Label8"}, Heigh{"Heigh"};
    // Limit read-out with its warning marker
    ui::Image Image17{"Image17"};
    ui::Panel Panel3{"Panel3"};
    ui::Image Image20{"Image20"};
    ui::Label Label13{"Label13"}, Label9{"Label9"}, Label10{"Label10"}, Label11{"Label11"}, Label15{"Label15"};
    ui::Image Image3{"Image3"}, Image4{"Image4"};
    ui::Label Label1{"Label1"}, Label12{"Label12"};

    // Non-visual
    ui::PopupMenu PopupMenu1{"PopupMenu1"};
    ui::FileDialog OpenDialog1;  // the screenshot chooser
    ui::FileDialog OpenDialog2;  // the splash chooser
    ui::Timer Timer1{"Timer1"};

    // What the dialog holds between showings.
    std::string Version;
    std::string SlotPath[4];
    std::string CurrentSlot;  // "1" to "4": the slot the slot menu acts on
    std::string SplashPath;
    int SplashWidth = 0, SplashHeight = 0;
    std::string SimFolder;
    int BlinkStep = 0;
    HMODULE SkinModule = nullptr;

    void AdjustCreateParams(ui::CreateParams& p) override { SkinnedFrame(p); }
    void FormShow() override;
    void FormDestroy() override;
    void Close1Click();
    void Image4Click();  // "Next >>"
    void Label5Click();  // Flight Simulator 98
    void Label4Click();  // Flight Simulator 2000
    // A simulator's label (0 = FS98 ... 5 = Prepar3D): ticks or unticks its box; a tick reads
    // the simulator's folder from the registry for the main form.
    void SimulatorLabelClick(int index);
    // The simulators ticked, oldest first.
    std::vector<kit::FsVersion> Simulators();
    void Image10Click();
    void Image11Click();
    void Image12Click();
    void Image13Click();
    void Image10MouseMove();
    void Image11MouseMove();
    void Image12MouseMove();
    void Image13MouseMove();
    void View1Click();
    void Clear1Click();
    void Image14Click();  // "Import..."
    void Image21Click();  // "Clear image"
    void Image22Click();  // "Full size"
    void Timer1Timer();
    // A project ends or another one is opened: its pictures are no choice of the next one.
    void ForgetPictures();

private:
    ui::Image* SlotPicture(int slot);
    void ChooseScreenshot(int slot);
    void PointAtSlot(int slot);
    ui::CheckBox* SimulatorBox(int index);
    ui::Label* SimulatorLabel(int index);
    void RejectSplash();
    // Preview and size read-out of the splash the settings file names.
    void ShowSplashChoice();
};

extern TOption1* Option1;
