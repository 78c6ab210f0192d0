// The simulator's scenery library as Setup changes it, and the record an installation leaves.
#include <gtest/gtest.h>

#include "InstallLog.h"
#include "SceneryCfg.h"
#include "TestSupport.h"

using namespace kit;

namespace {

// As Flight Simulator 2000 writes it, with a comment, a key of another tool and CR LF ends.
const std::string kFs2000 =
    "[General]\r\nTitle=FS2000 World Scenery\r\nDescription=FS2000 Scenery Data\r\nClean_on_Exit=TRUE\r\n\r\n"
    "; areas below\r\n[Area.001]\r\nTitle=Default Terrain\r\nTexture_ID=1\r\nRemote=\r\nLocal=Scenery\\World\r\n"
    "Layer=1\r\nActive=TRUE\r\nRequired=TRUE\r\n\r\n[Area.007]\r\nTitle=Propeller Airfields\r\n"
    "Local=C:\\Add-ons\\Props\r\nLayer=12\r\nActive=FALSE\r\nRequired=FALSE\r\nX_Tool=kept\r\n";

}  // namespace

TEST(SceneryLibrary, AddsFindsAndRemovesAreasLeavingEveryOtherByte) {
    for (const std::string& original : {kFs2000, kFs2000.substr(0, kFs2000.size() - 2), std::string("[General]\nTitle=x\n")}) {
        const bool fs2000 = original.find("[Area.007]") != std::string::npos;
        SceneryCfg cfg(original);
        AddedArea a = cfg.AddArea("EKCH Copenhagen", "Addon Scenery\\EKCH");
        AddedArea b = cfg.AddArea("Second", "D:\\Scenery\\Two");
        // What was there stays in front, byte for byte.
        EXPECT_EQ(cfg.Bytes().compare(0, original.size(), original), 0);
        std::vector<SceneryArea> areas = cfg.Areas();
        ASSERT_GE(areas.size(), 2u);
        const SceneryArea& added = areas[areas.size() - 2];
        EXPECT_EQ(added.number, fs2000 ? 8 : 1);
        EXPECT_EQ(added.layer, fs2000 ? 13 : 1);
        EXPECT_EQ(added.title, "EKCH Copenhagen");
        EXPECT_TRUE(added.active);
        EXPECT_EQ(areas.back().number, added.number + 1);
        EXPECT_EQ(areas.back().layer, added.layer + 1);
        // The new lines in the file's own line ends.
        bool lf = original.find('\r') == std::string::npos;
        EXPECT_EQ(cfg.Bytes().find("\r\n[Area", original.size()) != std::string::npos, !lf);
        EXPECT_NE(cfg.Bytes().find("Required=FALSE", original.size()), std::string::npos);

        // Relative Locals count from the simulator's folder; names compare as Windows does.
        EXPECT_EQ(cfg.FindLocal("c:\\fs2000\\ADDON SCENERY\\ekch\\", "C:\\FS2000"), a.number);
        EXPECT_EQ(cfg.FindLocal("d:\\scenery\\two", "C:\\FS2000"), b.number);
        EXPECT_EQ(cfg.FindLocal("C:\\FS2000\\Scenery\\World", "C:\\FS2000\\"), fs2000 ? 1 : 0);
        EXPECT_EQ(cfg.FindLocal("C:\\FS2000\\Addon Scenery", "C:\\FS2000"), 0);

        // Taken out in either order, the file is what it was.
        SceneryCfg one = cfg, two = cfg;
        EXPECT_TRUE(one.RemoveArea(b));
        EXPECT_TRUE(one.RemoveArea(a));
        EXPECT_EQ(one.Bytes(), original);
        EXPECT_TRUE(two.RemoveArea(a));
        EXPECT_TRUE(two.RemoveArea(b));
        EXPECT_EQ(two.Bytes(), original);
        EXPECT_FALSE(two.RemoveArea(a));
    }
    // Renumbered by the simulator since: the area is found by its Local, and an area of someone
    // else's under the old number stays.
    SceneryCfg cfg(kFs2000);
    AddedArea ours = cfg.AddArea("EKCH", "Addon Scenery\\EKCH");
    SceneryCfg renumbered("[Area.008]\r\nTitle=Other\r\nLocal=D:\\Other\r\n\r\n[Area.009]\r\nTitle=EKCH\r\n"
                          "Local=Addon Scenery\\EKCH\r\n");
    EXPECT_TRUE(renumbered.RemoveArea(ours));
    EXPECT_EQ(renumbered.Bytes(), "[Area.008]\r\nTitle=Other\r\nLocal=D:\\Other\r\n");
    EXPECT_FALSE(renumbered.RemoveArea(ours));
}

TEST(SceneryLibrary, WritesSafelyWithABackup) {
    std::string dir = testing_support::MakeTempDir();
    std::string path = dir + "scenery.cfg", backup = dir + "scenery.cfg.bak";
    testing_support::WriteFile(path, kFs2000);
    EXPECT_EQ(ReplaceFileSafely(path, "new", backup), "");
    EXPECT_EQ(testing_support::ReadFile(path), "new");
    EXPECT_EQ(testing_support::ReadFile(backup), kFs2000);
    std::string bytes;
    EXPECT_NE(ReadWholeFile(dir + "missing.cfg", bytes), "");
    // A library that may not be replaced stays as it was, and no temporary file is left.
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_NE(ReplaceFileSafely(path, "newer", ""), "");
    EXPECT_EQ(testing_support::ReadFile(path), "new");
    EXPECT_EQ(GetFileAttributesA((path + ".skk~tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    testing_support::RemoveTree(dir);
}

TEST(InstallRecord, ReadsBackWhatItWroteAndMergesAnEarlierRun) {
    InstallLog first;
    first.title = "EKCH";
    first.folder = "C:\\FS\\Addon Scenery\\EKCH";
    first.dirs = {"C:\\FS\\Addon Scenery\\EKCH", "C:\\FS\\Addon Scenery\\EKCH\\scenery"};
    first.files = {{"scenery\\a b.bgl", 0xdeadbeef, 300000, false}};
    first.replaced = {{"Readme.txt", 0x01020304, 12, true}};
    first.areas = {{8, "\r\n", "Addon Scenery\\EKCH"}};
    InstallLog back = InstallLog::Parse(first.Text());
    EXPECT_EQ(back.Text(), first.Text());
    EXPECT_EQ(back.files[0].rel, "scenery\\a b.bgl");
    EXPECT_EQ(back.files[0].crc, 0xdeadbeefu);
    EXPECT_EQ(back.areas[0].separator, "\r\n");
    EXPECT_EQ(back.areas[0].local, "Addon Scenery\\EKCH");
    EXPECT_TRUE(back.replaced[0].backup);

    // Run again: the files it made are "replaced" now, but stay made by the installation;
    // the person's file keeps the copy of the first run.
    InstallLog second;
    second.dirs = {};
    second.replaced = {{"SCENERY\\a b.bgl", 0xdeadbeef, 300000, false}, {"readme.txt", 0x01020304, 12, false}};
    second.MergeEarlier(back);
    ASSERT_EQ(second.files.size(), 1u);
    ASSERT_EQ(second.replaced.size(), 1u);
    EXPECT_TRUE(second.replaced[0].backup);
    EXPECT_EQ(second.dirs.size(), 2u);
    EXPECT_EQ(second.areas.size(), 1u);
}

TEST(InstallRecord, AnAlteredFirstLineIsNoEarlierRecord) {
    const std::string rest = "\r\nTitle=A\r\nFolder=C:\\A\r\nKey=" + UninstallKeyName("A", "C:\\A") + "\r\n";
    EXPECT_EQ(InstallLog::Parse("; Written by Setup: what it installed here, so that the add-on can be removed again." + rest).damage, "");
    // Not the earlier format's first line, nor the whole one's: a record cut or damaged there.
    for (const char* first : {"; Written by Setup: what it installed here, so that the add-on can be removed egain.",
                              "; Written by Setup. This record is whole"})
        EXPECT_NE(InstallLog::Parse(first + rest).damage, "") << first;
}

TEST(SceneryLibrary, DottedLocalsAndTheHighestLayerAreNoSecondAreaNorANegativeOne) {
    SceneryCfg cfg("[Area.001]\r\nLocal=Addon Scenery\\x\\..\\Dotted\\.\r\nLayer=2147483647\r\n");
    EXPECT_EQ(cfg.FindLocal("C:\\FS\\Addon Scenery\\Dotted", "C:\\FS"), 1);
    cfg.AddArea("New", "D:\\New");
    EXPECT_GT(cfg.Areas().back().layer, 0);
}

TEST(InstallRecord, DamagedRecordsAndVersionsAreToldApart) {
    InstallLog log;
    log.title = "A";
    log.folder = "C:\\A";
    log.key = UninstallKeyName(log.title, log.folder);
    EXPECT_EQ(InstallLog::Parse(log.Text()).damage, "");
    for (const std::string& bad : {std::string("\x01\x02 noise"), log.Text() + "File=xyz 1 a\r\n", log.Text() + "Rm=C:\\\r\n"})
        EXPECT_NE(InstallLog::Parse(bad).damage, "") << bad;
    EXPECT_NE(InstallIdentity("A", "C:\\A"), InstallIdentity("A", "C:\\B"));
    EXPECT_EQ(InstallIdentity("A", "c:\\a\\"), InstallIdentity("A", "C:\\A"));
    EXPECT_LT(CompareVersions("1.9", "1.10"), 0);
    EXPECT_GT(CompareVersions("2.0b", "2.0a"), 0);
    EXPECT_EQ(CompareVersions("1.01", "1.1"), 0);
}
