// Installations side by side, updated and removed: each keeps its own identity, an update
// leaves exactly the new release, and the uninstaller acts only on what its installation owns.
#include <gtest/gtest.h>

#include "Destination.h"
#include "InstallerTest.h"
#include "QuietProgress.h"
#include "SetupForm.h"
#include "TestSupport.h"
#include "Uninstall.h"
#include "engine.h"
#include "os/win32_text.h"

#include <algorithm>

using namespace kit;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;
using Files = std::vector<std::pair<std::string, std::string>>;

namespace {

const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kCfg = "[General]\r\nTitle=FS\r\n\r\n[Area.001]\r\nTitle=World\r\nLocal=Scenery\\World\r\nLayer=1\r\n";

class Installations : public ::testing::Test {
protected:
    void SetUp() override { base = testing_support::MakeTempDir(); }
    void TearDown() override { testing_support::RemoveTree(base); }
    // A package of these files, as the builder makes one.
    std::string Package(const std::string& name, const std::string& title, const char* type, const char* version,
                        const Files& files) {
        std::string pkg = base + name + "\\", src = pkg + "src\\";
        for (const auto& [rel, data] : files) {
            MakeFolders(JoinPath(src, rel.substr(0, rel.find_last_of('\\') + 1)));
            WriteFile(src + rel, data);
        }
        char old[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, old);
        SetCurrentDirectoryA(src.c_str());
        testing_support::QuietProgress quiet;
        zc::AddOptions o;
        o.archive = zc::AnsiToUtf8((pkg + "Setup.skb").c_str());
        o.patterns = {"*.*"};
        o.recurse = true;
        zc::ZipAdd(zip::HostFs(), o, quiet);
        SetCurrentDirectoryA(old);
        testing_support::RemoveTree(src);
        for (auto [s, k, v] : {std::tuple{"Title", "hl", title.c_str()}, {"Addon", "Type", type}, {"Addon", "Version", version},
                               {"Authors", "1", "dev@example.dk"}})
            WritePrivateProfileStringA(s, k, v, (pkg + "Kitsetup.ini").c_str());
        return pkg;
    }
    int Install(const std::string& pkg, const std::string& dest) {
        testing_support::FakeDesktop desk;
        TSetupForm form(pkg);
        return form.InstallSilently(dest);
    }
    static std::string Record(const std::string& folder, const std::string& title = "") {
        WIN32_FIND_DATAA d;
        HANDLE h = FindFirstFileA((folder + "\\Uninstall " + title + "*.log").c_str(), &d);
        if (h == INVALID_HANDLE_VALUE) return "";
        FindClose(h);
        return folder + "\\" + d.cFileName;
    }
    // Removes the installation through its record; the journal's lines, when asked for.
    static int Uninstall(const std::string& folder, const std::string& title = "", std::string* said = nullptr) {
        testing_support::FakeDesktop desk;
        Journal journal;
        int code = RunUninstall(Record(folder, title), true, journal);
        if (said) for (const std::string& l : journal.lines) *said += l + "\n";
        return code;
    }
    // A value of each entry of this test's installations of a title.
    std::vector<std::string> Entries(const std::string& title, const char* value = "DisplayName") {
        std::vector<std::string> out;
        HKEY k;
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            if (RegOpenKeyExA(root, kUninstall, 0, KEY_READ, &k)) continue;
            char sub[256];
            for (DWORD i = 0; RegEnumKeyA(k, i, sub, sizeof sub) == ERROR_SUCCESS; ++i) {
                std::string name, v, where, key = std::string(kUninstall) + "\\" + sub;
                ui::ReadRegistryString(root, key, "DisplayName", name);
                ui::ReadRegistryString(root, key, "InstallLocation", where);
                ui::ReadRegistryString(root, key, value, v);
                if (name.rfind(title, 0) == 0 && where.rfind(base, 0) == 0) out.push_back(v);
            }
            RegCloseKey(k);
        }
        return out;
    }
    static std::vector<std::string> Tree(const std::string& dir, const std::string& rel = "") {
        std::vector<std::string> out;
        WIN32_FIND_DATAA d;
        HANDLE h = FindFirstFileA((JoinPath(dir, rel) + "\\*").c_str(), &d);
        for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &d)) {
            std::string n = d.cFileName, r = rel.empty() ? n : rel + "\\" + n;
            if (n == "." || n == "..") continue;
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                auto sub = Tree(dir, r);
                out.insert(out.end(), sub.begin(), sub.end());
            } else if (n.rfind("Uninstall ", 0) != 0) {
                out.push_back(r);
            }
        }
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string base;
};

}  // namespace

TEST_F(Installations, OneTitleInTwoFoldersKeepsEachPersonsOriginal) {
    const std::string fs98 = base + "FS98\\Sound", fs2000 = base + "FS2000\\Sound";
    std::string pkg = Package("Pkg", "Engine Pack", "Sound", "1.0", {{"engine.wav", "new engine"}});
    for (bool reverse : {false, true}) {
        MakeFolders(fs98);
        MakeFolders(fs2000);
        WriteFile(fs98 + "\\engine.wav", "FS98's own engine");
        WriteFile(fs2000 + "\\engine.wav", "FS2000's own engine");
        ASSERT_EQ(Install(pkg, fs98), 0);
        ASSERT_EQ(Install(pkg, fs2000), 0);
        std::vector<std::string> names = Entries("Engine Pack");
        ASSERT_EQ(names.size(), 2u);
        EXPECT_NE(names[0], names[1]);
        EXPECT_EQ(ReadFile(fs98 + "\\engine.wav"), "new engine");
        EXPECT_EQ(Uninstall(reverse ? fs2000 : fs98), 0);
        EXPECT_EQ(Uninstall(reverse ? fs98 : fs2000), 0);
        EXPECT_EQ(ReadFile(fs98 + "\\engine.wav"), "FS98's own engine");
        EXPECT_EQ(ReadFile(fs2000 + "\\engine.wav"), "FS2000's own engine");
        EXPECT_TRUE(Entries("Engine Pack").empty());
    }
    // Titles alike in their first 64 characters, into one folder.
    const std::string same(64, 'T');
    ASSERT_EQ(Install(Package("P1", same + " - Part 1", "Sound", "", {{"one.wav", "1"}}), fs98), 0);
    ASSERT_EQ(Install(Package("P2", same + " - Part 2", "Sound", "", {{"two.wav", "2"}}), fs98), 0);
    EXPECT_EQ(Entries(same).size(), 2u);
    EXPECT_EQ(Uninstall(fs98), 0);
    EXPECT_EQ(Entries(same).size(), 1u);
    EXPECT_EQ(Tree(fs98).size(), 2u);   // the person's engine.wav and the other part's file
    EXPECT_EQ(Uninstall(fs98), 0);
    EXPECT_EQ(Tree(fs98), std::vector<std::string>{"engine.wav"});
}

TEST_F(Installations, AnUpdateLeavesExactlyTheNewReleaseAndTheChangedFile) {
    const std::string fs = base + "FS", dest = fs + "\\Addon Scenery\\Demo";
    MakeFolders(dest);
    WriteFile(fs + "\\scenery.cfg", kCfg);
    ASSERT_EQ(Install(Package("V10", "Demo", "Scenery", "1.0",
                              {{"scenery\\demo.bgl", "1.0 bgl"}, {"old.txt", "o"}, {"sub\\before.txt", "b"}, {"mine.txt", "m"}}),
                      dest), 0);
    WriteFile(dest + "\\mine.txt", "changed by me");
    ASSERT_EQ(Install(Package("V11", "Demo", "Scenery", "1.1", {{"scenery\\demo.bgl", "1.1 bgl"}, {"sub2\\after.txt", "b"}}),
                      dest), 0);
    EXPECT_EQ(Tree(dest), (std::vector<std::string>{"mine.txt", "scenery\\demo.bgl", "sub2\\after.txt"}));
    EXPECT_FALSE(Exists(dest + "\\sub"));
    EXPECT_EQ(ReadFile(dest + "\\scenery\\demo.bgl"), "1.1 bgl");
    std::string cfg = ReadFile(fs + "\\scenery.cfg");
    EXPECT_EQ(cfg.find("Local=Addon Scenery\\Demo"), cfg.rfind("Local=Addon Scenery\\Demo"));
    EXPECT_EQ(Entries("Demo", "DisplayVersion"), std::vector<std::string>{"1.1"});
    EXPECT_EQ(Entries("Demo", "Contact"), std::vector<std::string>{"dev@example.dk"});
    EXPECT_EQ(Uninstall(dest), 0);
    EXPECT_EQ(ReadFile(fs + "\\scenery.cfg"), kCfg);
    EXPECT_EQ(ReadFile(fs + "\\scenery.cfg.bak"), kCfg);   // restoring it brings no dangling area back
    EXPECT_EQ(Tree(dest), std::vector<std::string>{"mine.txt"});
}

TEST_F(Installations, ALibraryThatIsNoPlainTextIsLeftAsItWas) {
    const std::string fs = base + "FS", dest = fs + "\\Addon Scenery\\Demo";
    const std::string pkg = Package("Pkg", "Demo", "Scenery", "1", {{"scenery\\demo.bgl", "d"}});
    // Cut short by a crash, the rest of its last block zeros; kept as UTF-16.
    const std::string cut = kCfg + "; " + std::string(600, '-') + "\r\n[Area.002]\r\nTit" + std::string(64, '\0');
    for (const std::string& cfg : {cut, std::string("\xff\xfe[\0G\0", 6)}) {
        MakeFolders(dest);
        WriteFile(fs + "\\scenery.cfg", cfg);
        EXPECT_EQ(Install(pkg, dest), 7);
        EXPECT_EQ(ReadFile(fs + "\\scenery.cfg"), cfg);
        EXPECT_EQ(Uninstall(dest), 0);
    }
}

TEST_F(Installations, AnUninstallStoppedByAFileInUseCanBeRunAgain) {
    const std::string dest = base + "Addon";
    ASSERT_EQ(Install(Package("Pkg", "Busy", "Aircraft", "2", {{"a.air", "a"}, {"model\\b.mdl", "b"}}), dest), 0);
    HANDLE held = CreateFileA((dest + "\\model\\b.mdl").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Uninstall(dest), 5);
    CloseHandle(held);
    EXPECT_NE(Record(dest), "");
    EXPECT_EQ(Entries("Busy").size(), 1u);
    EXPECT_EQ(Uninstall(dest), 0);
    EXPECT_FALSE(Exists(dest));
    EXPECT_TRUE(Entries("Busy").empty());
}

TEST_F(Installations, AnEditedRecordRemovesNothingOutsideTheAddon) {
    const std::string fs = base + "FS", dest = fs + "\\Addon Scenery\\Evil", foreign = base + "Foreign";
    MakeFolders(dest);
    MakeFolders(foreign);
    WriteFile(fs + "\\scenery.cfg", kCfg);
    for (const char* f : {"\\victim.txt", "\\tool.exe"}) WriteFile(foreign + f, "keep me");
    WriteFile(fs + "\\outside.txt", "x");
    uint32_t crc = 0;
    uint64_t size = 0;
    FileCrc(fs + "\\outside.txt", crc, size);
    char line[64];
    snprintf(line, sizeof line, "File=%08lx 1 ..\\..\\outside.txt\r\n", static_cast<unsigned long>(crc));
    std::string pkg = Package("Pkg", "Evil", "Scenery", "1", {{"scenery\\e.bgl", "e"}});
    ASSERT_EQ(Install(pkg, dest), 0);
    // Edited as a record of an earlier Setup, which has no end line to give the edit away.
    std::string record = ReadFile(Record(dest)), edited =
        "; Written by Setup: what it installed here, so that the add-on can be removed again.\r\n";
    for (size_t i = record.find('\n') + 1, nl; i < record.size(); i = nl + 1) {
        nl = record.find('\n', i);
        std::string l = record.substr(i, nl - i + 1);
        if (l.rfind("End=", 0) == 0) continue;
        if (l.rfind("Backups=", 0) == 0) l = "Backups=" + foreign + "\r\nReplaced=1 00000000 0 victim.txt\r\n";
        if (l.rfind("Uninstaller=", 0) == 0) l = "Uninstaller=" + foreign + "\\tool.exe\r\n";
        edited += l;
    }
    WriteFile(Record(dest), edited + line + "Area=1 0d0a \r\n");
    EXPECT_EQ(Uninstall(dest), 0);
    EXPECT_EQ(ReadFile(fs + "\\outside.txt"), "x");
    EXPECT_EQ(ReadFile(foreign + "\\victim.txt"), "keep me");
    EXPECT_EQ(ReadFile(foreign + "\\tool.exe"), "keep me");
    EXPECT_EQ(ReadFile(fs + "\\scenery.cfg"), kCfg);
    // A record of random bytes is refused, and nothing is removed.
    ASSERT_EQ(Install(pkg, dest), 0);
    std::string noise(300, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = char(i * 73 + 11);
    WriteFile(Record(dest), noise);
    EXPECT_EQ(Uninstall(dest), 3);
    EXPECT_EQ(ReadFile(dest + "\\scenery\\e.bgl"), "e");
    DeleteUninstallEntry(UninstallKeyName("Evil", dest));
    testing_support::RemoveTree(UninstallDataFolder(InstallIdentity("Evil", dest), true));
}

TEST_F(Installations, EveryKeptCopyIsRecordedAndComesBack) {
    const std::string dest = base + "Sound", data = UninstallDataFolder(InstallIdentity("Kept", dest), true);
    const std::string v10 =
        Package("V10", "Kept", "Sound", "1.0", {{"readme.txt", "1.0"}, {"a.wav", "a"}, {"gone\\b.wav", "b"}});
    const std::string v11 =
        Package("V11", "Kept", "Sound", "1.1", {{"readme.txt", "1.1"}, {"a.wav", "a"}, {"new.wav", "n"}});
    MakeFolders(dest);
    WriteFile(dest + "\\a.wav", "mine");                    // a first install replaces the person's file
    ASSERT_EQ(Install(v10, dest), 0);
    WriteFile(dest + "\\readme.txt", "notes");              // an update replaces the person's notes
    ASSERT_EQ(Install(v11, dest), 0);
    const std::string record = ReadFile(Record(dest));   // it lists exactly what is installed now
    EXPECT_EQ(record.find("gone"), std::string::npos) << record;
    WriteFile(dest + "\\readme.txt", "more notes");         // a reinstall: a second copy of theirs
    ASSERT_EQ(Install(v11, dest), 0);
    DeleteFileA((dest + "\\new.wav").c_str());               // a repair
    ASSERT_EQ(Install(v11, dest), 0);
    EXPECT_EQ(ReadFile(dest + "\\new.wav"), "n");
    std::string said;
    EXPECT_EQ(Uninstall(dest, "", &said), 0);
    EXPECT_EQ(ReadFile(dest + "\\a.wav"), "mine");
    EXPECT_EQ(ReadFile(dest + "\\readme.txt"), "notes");
    EXPECT_EQ(Tree(dest), (std::vector<std::string>{"a.wav", "readme.txt"}));
    // The further copy cannot take the place of the first: it stays where it is, and is named.
    EXPECT_EQ(ReadFile(data + "\\Backup\\readme.txt.skk~2"), "more notes");
    EXPECT_NE(said.find("Kept copy not put back: " + data + "\\Backup\\readme.txt.skk~2"), std::string::npos) << said;
    EXPECT_EQ(Tree(data + "\\Backup"), std::vector<std::string>{"readme.txt.skk~2"});
    testing_support::RemoveTree(data);
}

TEST_F(Installations, TwoAddonsSharingAFileAreRemovedInEitherOrder) {
    const std::string gauges = base + "Gauges";
    const std::string a = Package("A", "Panel A", "Panel", "1", {{"common.gau", "A's"}, {"a.gau", "a"}});
    const std::string b = Package("B", "Panel B", "Panel", "1", {{"common.gau", "B's"}, {"b.gau", "b"}});
    for (bool aFirst : {true, false}) {
        ASSERT_EQ(Install(a, gauges), 0);
        ASSERT_EQ(Install(b, gauges), 0);   // replaces A's common.gau, keeping A's
        EXPECT_EQ(Uninstall(gauges, aFirst ? "Panel A" : "Panel B"), 0);
        // What the add-on still installed needs stays; the one removed first gets its own back.
        EXPECT_EQ(ReadFile(gauges + "\\common.gau"), aFirst ? "B's" : "A's");
        EXPECT_EQ(Uninstall(gauges, aFirst ? "Panel B" : "Panel A"), 0);
        EXPECT_EQ(Tree(gauges), std::vector<std::string>{});
        for (const char* t : {"Panel A", "Panel B"})
            EXPECT_FALSE(Exists(UninstallDataFolder(InstallIdentity(t, gauges), true) + "\\Backup"));
        testing_support::RemoveTree(gauges);
    }
}

TEST_F(Installations, ARecordCutAtAnyLineIsRefusedWithNothingRemoved) {
    const std::string fs = base + "FS", dest = fs + "\\Addon Scenery\\Cut";
    MakeFolders(dest);
    WriteFile(fs + "\\scenery.cfg", kCfg);
    WriteFile(dest + "\\readme.txt", "mine");
    ASSERT_EQ(Install(Package("Pkg", "Cut", "Scenery", "1", {{"scenery\\c.bgl", "c"}, {"readme.txt", "r"}}), dest), 0);
    const std::string record = Record(dest), whole = ReadFile(record), cfg = ReadFile(fs + "\\scenery.cfg");
    for (size_t cut = 0; cut < whole.size(); cut = whole.find('\n', cut) + 1) {
        WriteFile(record, whole.substr(0, cut));
        std::string said;
        ASSERT_EQ(Uninstall(dest, "", &said), 3) << cut;
        if (cut > 0) {
            EXPECT_NE(said.find("it is incomplete"), std::string::npos) << said;
        }
        EXPECT_EQ(ReadFile(dest + "\\scenery\\c.bgl"), "c");
        EXPECT_EQ(ReadFile(fs + "\\scenery.cfg"), cfg);
        EXPECT_EQ(Entries("Cut").size(), 1u);
    }
    WriteFile(record, whole);
    EXPECT_EQ(Uninstall(dest), 0);
    EXPECT_EQ(Tree(dest), std::vector<std::string>{"readme.txt"});
    EXPECT_EQ(ReadFile(dest + "\\readme.txt"), "mine");
    EXPECT_EQ(ReadFile(fs + "\\scenery.cfg"), kCfg);
}

// A simulator's program running: a copy of the test driver of its name, waiting for a window
// that never comes.
struct RunningProgram {
    PROCESS_INFORMATION pi{};
    explicit RunningProgram(const std::string& exe) {
        CopyFileA((testing_support::ExeDir() + "skydriver.exe").c_str(), exe.c_str(), FALSE);
        std::string line = "\"" + exe + "\" wait NoSuchClass NoSuchWindow 60000";
        STARTUPINFOA si{sizeof si};
        CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    }
    ~RunningProgram() { Stop(); }
    void Stop() {
        if (!pi.hProcess) return;
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hProcess), CloseHandle(pi.hThread);
        pi = {};
    }
};

TEST_F(Installations, ARunningSimulatorIsWaitedForAndItsLibraryLeftAlone) {
    const std::string fs = base + "FS2000", key = "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\7.0";
    MakeFolders(fs);
    WriteFile(fs + "\\scenery.cfg", kCfg);
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), 0);
    RegSetValueExA(h, "path", 0, REG_SZ, reinterpret_cast<const BYTE*>(fs.c_str()), DWORD(fs.size() + 1));
    RegCloseKey(h);
    const std::string pkg = Package("Pkg", "Runway", "Scenery", "1", {{"scenery\\r.bgl", "r"}});
    RunningProgram sim(base + "FS2000.EXE");
    testing_support::FakeDesktop desk;
    TSetupForm form(pkg), silent(pkg);
    ASSERT_TRUE(form.CheckPackage());
    form.NextClick();
    form.NextClick();
    ASSERT_EQ(form.CurrentPage(), TSetupForm::Page::Ready);
    EXPECT_EQ(form.RunningLabel.Caption(), "Microsoft Flight Simulator 2000 is running. Setup waits for it to close, "
                                           "because the simulator rewrites its Scenery Library when it starts and "
                                           "when it stops.");
    EXPECT_TRUE(form.RunningLabel.Visible() && form.RunningTimer.Enabled());
    EXPECT_FALSE(form.NextButton.Picture.Enabled());
    // Without a window: installed, the library left alone, and the reason.
    EXPECT_EQ(silent.InstallSilently(""), kExitNotRegistered);
    EXPECT_NE(silent.Registered.find("Microsoft Flight Simulator 2000 is running"), std::string::npos)
        << silent.Registered;
    EXPECT_EQ(ReadFile(fs + "\\Addon Scenery\\Runway\\scenery\\r.bgl"), "r");
    EXPECT_EQ(ReadFile(fs + "\\scenery.cfg"), kCfg);
    sim.Stop();
    form.CheckRunning();  // the timer's next tick
    EXPECT_FALSE(form.RunningLabel.Visible());
    EXPECT_TRUE(form.NextButton.Picture.Enabled());
    EXPECT_EQ(Uninstall(fs + "\\Addon Scenery\\Runway"), 0);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}
