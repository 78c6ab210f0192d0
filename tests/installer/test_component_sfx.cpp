// A self-extractor as the archive component really makes one: TZipPacker adding to a new
// ".exe" puts the shipped stub and its settings header in front, and our engine adds the
// members behind them. The stub's reading of that file is checked here: the header's texts and
// bits, the archive found behind it, and every file unpacked as it went in.
#include <gtest/gtest.h>

#include "InstallerTest.h"
#include "SfxLayout.h"
#include "TestSupport.h"
#include "Unpack.h"
#include "ZipPacker.h"
#include "os/win32_text.h"
#include "zipformat.h"

using namespace kit;
using namespace installer_test;

namespace {

class Quiet : public UnpackEvents {
public:
    bool Progress(const std::string&, uint64_t, uint64_t) override { return false; }
    Answer AskOverwrite(const std::string&, const zc::Entry&) override { return Answer::Yes; }
    bool AskPassword(std::string&, bool) override { return false; }
};

}  // namespace

TEST(ComponentSelfExtractor, TheStubReadsWhatTheComponentWrites) {
    std::string base = testing_support::MakeTempDir();
    std::string src = base + "src", exe = base + "Demo.exe", out = base + "out";
    CreateDirectoryA(src.c_str(), nullptr);
    CreateDirectoryA((src + "\\model").c_str(), nullptr);
    WriteBytes(src + "\\model\\plane.mdl", PlaneMdl());
    testing_support::WriteFile(src + "\\aircraft.cfg", AircraftCfg());

    TZipPacker p;
    p.Unattended = true;
    p.SFXPath = DistFile("SFXSTUB.BIN");
    p.SFXCaption = "Component Archive";
    p.SFXDefaultDir = "C:\\Games\\Demo";
    p.SFXCommandLine = "aircraft.cfg";
    p.SFXOverWriteMode = OvrNever;
    p.SFXOptions = SFXOpts{SFXAskFiles, SFXHideOverWriteBox};
    p.AddOptions = AddOpts{AddDirNames, AddRecurseDirs};
    p.SetZipFileName(exe);
    char old[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof old, old);
    SetCurrentDirectoryA(src.c_str());
    p.FSpecArgs = {"*.*"};
    p.Add();
    SetCurrentDirectoryA(old);
    ASSERT_EQ(p.FilesProcessed, 2) << p.ErrorText;

    std::unique_ptr<zip::File> f = zip::HostFs().OpenRead(zc::AnsiToUtf8(exe.c_str()));
    SfxLocation where;
    ASSERT_TRUE(LocateSfxHeader(*f, where));
    EXPECT_EQ(where.headerPos, ReadBytes(DistFile("SFXSTUB.BIN")).size());
    EXPECT_EQ(where.header.caption, "Component Archive");
    EXPECT_EQ(where.header.defaultDir, "C:\\Games\\Demo");
    EXPECT_EQ(where.header.commandLine, "aircraft.cfg");
    EXPECT_TRUE(where.header.AskFiles());
    EXPECT_TRUE(where.header.HideOverwriteBox());
    EXPECT_EQ(where.header.OverwriteRule(), Overwrite::Never);
    EXPECT_FALSE(where.header.CheckSize());   // SFXCheckSize was left out of the options
    EXPECT_FALSE(where.header.AutoRun());
    ASSERT_TRUE(HasArchiveAfter(*f, where.headerPos + kSfxHeaderSize));

    zc::Directory d = zc::ReadDirectory(*f);
    EXPECT_EQ(d.dataStart, where.headerPos + kSfxHeaderSize);
    UnpackPlan plan = PlanUnpack(zip::HostFs(), d, zc::AnsiToUtf8(out.c_str()));
    CreateDirectoryA(out.c_str(), nullptr);
    Quiet q;
    UnpackResult r = RunUnpack(zip::HostFs(), *f, d, plan, where.header.OverwriteRule(), q);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.files, 2);
    EXPECT_EQ(ReadBytes(out + "\\model\\plane.mdl"), PlaneMdl());
    EXPECT_EQ(testing_support::ReadFile(out + "\\aircraft.cfg"), AircraftCfg());
    f.reset();
    testing_support::RemoveTree(base);
}
