// The simulators over a computer described to the lookups: where Setup finds each edition,
// which library it changes, what /SIM= chooses, the add-on package file, and what an uninstall
// plans for each library. Portable: also native.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "AddOnXml.h"
#include "InstallLog.h"
#include "KitsetupIni.h"
#include "UninstallPlan.h"

using namespace kit;

namespace {

const std::string kFs = "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\";
const std::string kP3d = "Software\\Lockheed Martin\\Prepar3D v";

// A computer with every edition: registry values as "M64|key|value" (hive M or U, view 64 or
// 32), and the folders that are there.
const std::map<std::string, std::string> kValues = {
    {"M32|" + kFs + "6.1|path", "C:\\FS98"},
    {"M32|" + kFs + "7.0|EXE Path", "C:\\FS2000\\"},
    {"M32|" + kFs + "8.0|EXE Path", "\"C:\\FS2002\\FS2002.exe\""},
    {"M32|Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Flight Simulator 9.0|InstallLocation", "D:\\FS9"},
    {"M32|" + kFs + "10.0|SetupPath", "C:\\Removed FSX"},  // left behind: its folder is gone
    {"U32|" + kFs + "10.0|AppPath", "C:\\FSX"},
    {"U64|Software\\Microsoft\\Microsoft Games\\Flight Simulator - Steam Edition\\10.0|AppPath", "D:\\Steam\\FSX"},
    {"M32|Software\\LockheedMartin\\Prepar3D|SetupPath", "C:\\P3D"},
    {"U32|" + kP3d + "2|AppPath", "C:\\P3D2"},
    {"M32|" + kP3d + "3|SetupPath", "C:\\P3D3"},
    {"M64|" + kP3d + "4|SetupPath", "C:\\P3D4"},
    {"M64|" + kP3d + "5|SetupPath", "E:\\P3D5\\"}};
const std::set<std::string> kFolders = {"C:\\FS98", "C:\\FS2000", "C:\\FS2002", "D:\\FS9",  "C:\\FSX", "D:\\Steam\\FSX",
                                        "C:\\P3D",  "C:\\P3D2",   "C:\\P3D3",   "C:\\P3D4", "E:\\P3D5"};

std::string Ids(const std::vector<FoundSimulator>& found) {
    std::string out;
    for (const FoundSimulator& f : found) out += std::string(out.empty() ? "" : " ") + f.edition->id + "=" + f.folder;
    return out;
}

}  // namespace

TEST(Simulators, EveryEditionIsFoundInItsHiveAndViewTheNewestFirst) {
    const std::vector<FoundSimulator> found = FindSimulators(
        [](Hive h, bool view64, const std::string& key, const std::string& name) {
            auto it = kValues.find((h == Hive::Machine ? "M" : "U") + std::string(view64 ? "64|" : "32|") + key + "|" +
                                   name);
            return it == kValues.end() ? std::string() : it->second;
        },
        [](const std::string& p) { return kFolders.count(p) > 0; });
    EXPECT_EQ(Ids(found),
              "p3d5=E:\\P3D5 p3d4=C:\\P3D4 p3d3=C:\\P3D3 fsxse=D:\\Steam\\FSX p3d2=C:\\P3D2 p3d1=C:\\P3D fsx=C:\\FSX "
              "fs2004=D:\\FS9 fs2002=C:\\FS2002 fs2000=C:\\FS2000 fs98=C:\\FS98");
    EXPECT_EQ(Ids(FoundFor(found, {FsVersion::Fs2004, FsVersion::Fsx})),
              "fsxse=D:\\Steam\\FSX fsx=C:\\FSX fs2004=D:\\FS9");

    // /SIM=: a simulator names its newest edition, an id one edition; each refusal says why.
    const std::vector<FsVersion> targets = {FsVersion::Fs2004, FsVersion::Fsx, FsVersion::Prepar3D};
    const std::vector<FoundSimulator> mine = FoundFor(found, targets);
    struct Case {
        const char *name, *chosen, *why;
        bool unknown;
    } cases[] = {{"fsx", "fsx", "", false},
                 {"fsxse", "fsxse", "", false},
                 {"P3D", "p3d5", "", false},
                 {"p3d2", "p3d2", "", false},
                 {"fs2000", "",
                  "This add-on is made for FS2004, FSX and Prepar3D, not for Microsoft Flight Simulator 2000.", false},
                 {"msfs", "", "\"msfs\" is no simulator that Setup knows. Setup.exe /? lists the names.", true}};
    for (const Case& c : cases) {
        SimulatorChoice choice = ChooseSimulator(c.name, mine, targets);
        EXPECT_EQ(choice.chosen ? choice.chosen->edition->id : "", std::string(c.chosen)) << c.name;
        EXPECT_EQ(choice.why, c.why);
        EXPECT_EQ(choice.unknown, c.unknown);
    }
    EXPECT_EQ(ChooseSimulator("fs2004", {}, targets).why,
              "Microsoft Flight Simulator 2004 was not found on this computer.");
    // Without boxed FSX, its name chooses the Steam Edition.
    const std::vector<FoundSimulator> steam = {mine[3]};
    EXPECT_STREQ(ChooseSimulator("fsx", steam, targets).chosen->edition->id, "fsxse");
}

TEST(Simulators, EachEditionsLibraryAndProgram) {
    const SystemFolders system{"C:\\ProgramData", "C:\\Users\\me\\AppData\\Roaming", "C:\\Users\\me\\Documents"};
    auto edition = [](const std::string& id) {
        for (const SimulatorEdition& e : kEditions)
            if (id == e.id) return &e;
        return static_cast<const SimulatorEdition*>(nullptr);
    };
    const std::set<std::string> newScenery = {"D:\\FS9\\NewScenery.cfg", "C:\\Hand\\FS9.EXE"};
    auto exists = [&newScenery](const std::string& p) { return newScenery.count(p) > 0; };
    struct Case {
        const char *id, *folder, *want;
    } cases[] = {{"fs2004", "D:\\FS9\\", "D:\\FS9\\NewScenery.cfg"},
                 {"fs2004", "C:\\FS9", "C:\\FS9\\scenery.cfg"},
                 {"p3d5", "E:\\P3D5", "xml C:\\Users\\me\\Documents\\Prepar3D v5 Add-ons\\Heathrow Mini\\add-on.xml"},
                 {"", "C:\\Hand", "C:\\Hand\\scenery.cfg"}};
    for (const Case& c : cases) {
        SceneryLibrary lib = LibraryOf(edition(c.id), c.folder, system, "Heathrow Mini", exists);
        EXPECT_EQ((lib.kind == SceneryLibrary::Kind::AddOn ? "xml " : "") + lib.path, c.want) << c.id;
    }
    EXPECT_EQ(LibraryOf(edition("fsx"), "C:\\FSX", {}, "A", exists).why, "the application data folder is not known");
    EXPECT_EQ(EditionInFolder("C:\\Hand\\", exists), edition("fs2004"));
    EXPECT_TRUE(IsRunning(*edition("fsxse"), {"explorer.exe", "fsx.exe"}));
    EXPECT_FALSE(IsRunning(*edition("fs2004"), {"explorer.exe", "fsx.exe"}));
}

TEST(AddOnPackage, ComponentsAreAddedAndTakenOutLeavingEveryOtherByteOrTheFileIsLeftAndSaid) {
    const std::pair<std::string, bool> docs[] = {
        {"", true},
        // LF, tabs, a component of its own, and one that is only a comment.
        {"<SimBase.Document Type=\"AddOnXml\">\n\t<AddOn.Name>Own</AddOn.Name>\n\t<!-- <AddOn.Component><Category>"
         "Scenery</Category><Path>C:\\P3D\\Addon Scenery\\A &amp; B</Path></AddOn.Component> -->\n\t"
         "<AddOn.Component><Category>Effects</Category><Path>fx</Path></AddOn.Component>\n</SimBase.Document>",
         true},
        // The end tag right after other text.
        {"<SimBase.Document><AddOn.Name>x</AddOn.Name></SimBase.Document>\r\n", true},
        // Elements not closed in order: a component left unclosed before one that is closed
        // (an added one takes no other lines along), and the document's end tag inside a
        // component begun before the document (an added one would become part of it).
        {"<SimBase.Document>\r\n    <AddOn.Component>\r\n    <AddOn.Component>\r\n        <Path>Mine</Path>\r\n"
         "    </AddOn.Component>\r\n    <AddOn.Component>\r\n</SimBase.Document>\r\n",
         true},
        {"<AddOn.Component>\r\n<SimBase.Document>\r\n<Category>Scenery</Category>\r\n</SimBase.Document>\r\n"
         "</AddOn.Component>\r\n",
         false},
        {"<html><body/></html>", false}};
    for (const auto& [original, added] : docs) {
        AddOnXml xml(original);
        AddedArea a, b;
        std::string why;
        EXPECT_EQ(xml.AddScenery("A & B", "A & B", "C:\\P3D\\Addon Scenery\\A & B", a, why), added) << original;
        EXPECT_EQ(why.empty(), added) << original;
        if (added) {
            ASSERT_TRUE(xml.AddScenery("A & B", "Two", "Two\\Area", b, why)) << why;
            EXPECT_EQ(xml.FindPath("c:\\p3d\\addon scenery\\a & b\\", "C:\\Docs\\A"), a.number);
            EXPECT_EQ(xml.FindPath("C:\\Docs\\A\\Two\\Area", "C:\\Docs\\A"), b.number);
            EXPECT_EQ(xml.Components().back().name, "Two");
            AddOnXml one = xml, two = xml;
            EXPECT_TRUE(one.RemoveScenery(a) && one.RemoveScenery(b));
            EXPECT_TRUE(two.RemoveScenery(b) && two.RemoveScenery(a));
            EXPECT_EQ(one.Bytes(), original);
            xml = two;
            EXPECT_FALSE(two.RemoveScenery(a));
        }
        EXPECT_EQ(xml.Bytes(), original);
    }
    EXPECT_EQ(XmlUnescape("&lt;&#65;&#x42;&amp;amp;&bogus;"), "<AB&amp;&bogus;");
}

// Areas come out only of a library a simulator of the record's folder keeps (its scenery.cfg
// and NewScenery.cfg both, as FS2004 makes one of the other), and only with a Local of the add-on.
TEST(AddOnPackage, AnUninstallPlansAreasOnlyOfLibrariesItsSimulatorKeeps) {
    InstallLog log;
    log.title = "T";
    log.folder = "C:\\FS9\\Addon Scenery\\T";
    log.simulator = "C:\\FS9";
    log.key = UninstallKeyName(log.title, log.folder);
    UninstallContext context;
    context.recordPath = log.folder + "\\" + LogFileName(log.title, log.folder);
    context.folders = {"C:\\ProgramData", "C:\\Users\\A\\AppData\\Roaming", "C:\\Users\\A\\Documents"};
    const std::string cfgs = "C:\\FS9\\scenery.cfg C:\\FS9\\NewScenery.cfg ";
    struct Case {
        const char *library, *planned, *local = "Addon Scenery\\T";
    } cases[] = {
        {"", cfgs.c_str()},
        {"c:\\fs9\\NewScenery.cfg", "c:\\fs9\\NewScenery.cfg C:\\FS9\\scenery.cfg "},
        {"C:\\ProgramData\\Microsoft\\FSX\\Scenery.CFG", "C:\\ProgramData\\Microsoft\\FSX\\Scenery.CFG "},
        {"C:\\Users\\A\\AppData\\Roaming\\Lockheed Martin\\Prepar3D v2\\Scenery.CFG",
         "C:\\Users\\A\\AppData\\Roaming\\Lockheed Martin\\Prepar3D v2\\Scenery.CFG "},
        {"C:\\Users\\A\\Documents\\Prepar3D v4 Add-ons\\T\\add-on.xml",
         "C:\\Users\\A\\Documents\\Prepar3D v4 Add-ons\\T\\add-on.xml ", "C:\\FS9\\Addon Scenery\\T"},
        {"", "", "Addon Scenery\\Other"},
        {"C:\\FS9\\T.cfg", ""},
        {"C:\\Windows\\scenery.cfg", ""},
        {"D:\\FS9\\NewScenery.cfg", ""},
        {"C:\\ProgramData\\Microsoft\\FSX\\..\\..\\Other\\scenery.cfg", ""},
        {"C:\\ProgramData\\Lockheed Martin\\Prepar3D v2\\Scenery.CFG", ""},
        {"C:\\Users\\A\\Documents\\Prepar3D v4 Add-ons\\Other\\add-on.xml", ""},
    };
    for (const Case& c : cases) {
        log.areas = {{1, "", c.local, c.library}};
        const UninstallPlan plan = PlanUninstall(log.Text(), context);
        ASSERT_EQ(plan.refusal, "") << c.library;
        std::string libraries;
        for (const PlannedArea& a : plan.areas) libraries += a.library + " ";
        EXPECT_EQ(libraries, c.planned) << c.library;
        EXPECT_EQ(plan.skipped, std::vector<std::string>(*c.planned ? 0 : 1, "Area=1 " + std::string(c.local)));
    }
}
