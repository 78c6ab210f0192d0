// "Kitsetup.ini" as the builder writes it, and the destination rules that follow from it.
#include <gtest/gtest.h>

#include <map>

#include "Destination.h"
#include "PackageInfo.h"
#include "SafePath.h"
#include "TestSupport.h"

using namespace kit;

namespace {

IniReader MapReader(const std::map<std::string, std::string>& keys) {
    return [keys](const std::string& section, const std::string& key) {
        auto it = keys.find(section + "/" + key);
        return it == keys.end() ? std::string() : it->second;
    };
}

}  // namespace

TEST(PackageSettings, ReadsEveryKeyOfARealFile) {
    std::string dir = testing_support::MakeTempDir();
    std::string ini = dir + "Kitsetup.ini";
    // Written as the builder does: through the private-profile calls, in its order.
    auto put = [&](const char* s, const char* k, const char* v) { WritePrivateProfileStringA(s, k, v, ini.c_str()); };
    put("Splash", "Width", "396");
    put("Splash", "Height", "296");
    put("Splash", "Filename", "Splash.bmp");
    put("Authors", "2", "Jens Hansen");
    put("Authors", "1", "jens@example.dk");
    put("Authors", "6", "Third Dev");
    put("Authors", "5", "third@example.com");
    put("Flightsim", "Version", "Flightsimulator 2000");
    put("Addon", "Type", "Adv");
    put("Addon", "Condition", "Shareware");
    put("Title", "hl", "Greenland Adventure");

    PackageInfo p = ReadPackageInfoFile(ini);
    EXPECT_EQ(p.splashWidth, 396);
    EXPECT_EQ(p.splashHeight, 296);
    EXPECT_EQ(p.splashFile, "Splash.bmp");
    // Developer 2 is absent; developer 3 keeps its place after developer 1.
    ASSERT_EQ(p.authors.size(), 2u);
    EXPECT_EQ(p.authors[0].name, "Jens Hansen");
    EXPECT_EQ(p.authors[0].email, "jens@example.dk");
    EXPECT_EQ(p.authors[1].name, "Third Dev");
    EXPECT_EQ(p.authors[1].email, "third@example.com");
    EXPECT_EQ(SimulatorList(p.Targets()), "fs2000");
    EXPECT_EQ(p.Type(), AddonType::Adventure);
    EXPECT_FALSE(p.Freeware());
    EXPECT_EQ(p.DisplayTitle(), "Greenland Adventure");
    testing_support::RemoveTree(dir);
}

TEST(PackageSettings, AMissingFileGivesNeutralValues) {
    PackageInfo p = ReadPackageInfoFile("C:\\no such folder\\Kitsetup.ini");
    EXPECT_EQ(p.splashWidth, 0);
    EXPECT_TRUE(p.authors.empty());
    EXPECT_EQ(SimulatorList(p.Targets()), "fs98,fs2000");  // what Setup always tried
    EXPECT_EQ(p.Type(), AddonType::Unknown);
    EXPECT_TRUE(p.Freeware());
    EXPECT_EQ(p.DisplayTitle(), "Flight Simulator add-on");
}

TEST(PackageSettings, ValuesAsTheBuilderWritesThem) {
    struct Case {
        const char* type;
        AddonType want;
    } types[] = {{"Scenery", AddonType::Scenery},   {"Scenery MD", AddonType::SceneryMD}, {"Aircraft", AddonType::Aircraft},
                 {"Sound", AddonType::Sound},       {"Panel", AddonType::Panel},          {"Adv", AddonType::Adventure},
                 {"scenery md", AddonType::SceneryMD}, {"Misc.", AddonType::Unknown},       {"", AddonType::Unknown}};
    for (const Case& c : types) {
        PackageInfo p = ReadPackageInfo(MapReader({{"Addon/Type", c.type}}));
        EXPECT_EQ(p.Type(), c.want) << c.type;
    }
    // A package's list names what it is for; without one, its Version (only ever FS98 or FS2000) does.
    struct Target {
        const char *version, *list, *want;
    } targets[] = {{"Flightsimulator 98", "", "fs98"},
                   {"Flightsimulator 2002", "", "fs98,fs2000"},
                   {"Flightsimulator 2000", "fsx, FS2004,p3d,msfs", "fs2004,fsx,p3d"},
                   {"Flightsimulator 98", "msfs", "fs98"}};
    for (const Target& t : targets) {
        const IniReader ini = MapReader({{"Flightsim/Version", t.version}, {"Flightsim/Simulators", t.list}});
        EXPECT_EQ(SimulatorList(ReadPackageInfo(ini).Targets()), t.want) << t.list;
    }
    KitsetupIni both;  // of FS98 and FS2000, earlier Setups read FS2000
    SetSimulators(both, {FsVersion::Fs98, FsVersion::Fs2000});
    EXPECT_EQ(both.version + "|" + both.simulators, "Flightsimulator 2000|fs98,fs2000");
    // Sizes that are not plain numbers count as absent rather than as garbage sizes.
    PackageInfo p = ReadPackageInfo(MapReader({{"Splash/Width", "12x"}, {"Splash/Height", "-5"}}));
    EXPECT_EQ(p.splashWidth, 0);
    EXPECT_EQ(p.splashHeight, 0);
    // An author with only an address is still listed.
    p = ReadPackageInfo(MapReader({{"Authors/3", "solo@example.org"}}));
    ASSERT_EQ(p.authors.size(), 1u);
    EXPECT_EQ(p.authors[0].name, "");
    EXPECT_EQ(p.authors[0].email, "solo@example.org");
}

TEST(PackageSettings, ValuesInQuotesOrBlanksReadBackAsTheBuilderWroteThem) {
    const std::string ini = testing_support::MakeTempDir() + "Kitsetup.ini";
    KitsetupIni built;
    built.title = "\"Top Gun\" Carrier \"Nimitz\"", built.authorName[0] = " Ann ", built.authorEmail[0] = "'ann@x.org'";
    built.version = "Flightsimulator 2000", built.condition = "Freeware", built.addonVersion = "\t1.1";
    WriteKitsetup(built, [&](const std::string& s, const std::string& k, const std::string& v) {
        WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), ini.c_str());
    });
    EXPECT_TRUE(ReadKitsetup([&](const std::string& s, const std::string& k, const std::string& absent) {
                    return testing_support::IniValue(ini, s, k, absent);
                }) == built);
    EXPECT_EQ(ReadPackageInfoFile(ini).title, built.title);
}

TEST(PackageSettings, ASplashNamedAfterADeviceOrDotsIsTheDefaultOne) {
    const std::pair<const char*, const char*> names[] = {
        {"", "Splash.bmp"}, {"Intro.bmp", "Intro.bmp"}, {"C:\\pics\\Intro.bmp", "Intro.bmp"}, {"COM1", "Splash.bmp"},
        {"pics/nul.bmp", "Splash.bmp"}, {"..", "Splash.bmp"}, {"a:.", "Splash.bmp"}};
    for (const auto& [named, used] : names) {
        PackageInfo p;
        p.splashFile = named;
        EXPECT_EQ(p.SplashName(), used) << named;
    }
}

TEST(PackageSettings, SizesForPeople) {
    EXPECT_EQ(FormatSize(0), "0 bytes");
    EXPECT_EQ(FormatSize(1), "1 byte");
    EXPECT_EQ(FormatSize(1023), "1023 bytes");
    EXPECT_EQ(FormatSize(1536), "1.5 KB");
    EXPECT_EQ(FormatSize(5ull << 20), "5.0 MB");
    EXPECT_EQ(FormatSize(3ull << 30), "3.00 GB");
}

TEST(Destination, TitleAsFolderName) {
    EXPECT_EQ(FolderNameFromTitle("Copenhagen Kastrup"), "Copenhagen Kastrup");
    EXPECT_EQ(FolderNameFromTitle("  A/B: \"Best\" <v2>?  "), "AB Best v2");
    EXPECT_EQ(FolderNameFromTitle("...Hidden..."), "Hidden");
    EXPECT_EQ(FolderNameFromTitle("???"), "Addon");
    EXPECT_EQ(FolderNameFromTitle(""), "Addon");
    EXPECT_EQ(FolderNameFromTitle("CON"), "CON Addon");
    EXPECT_EQ(FolderNameFromTitle("lpt1.txt"), "lpt1 Addon.txt");
    EXPECT_EQ(FolderNameFromTitle(std::string(100, 'x')).size(), 64u);
}

TEST(Destination, ATitleThatIsADeviceWithAnExtensionMakesNoDeviceFolder) {
    for (const char* title : {"CON.2000", "nul .cfg", "clock$..Sp", "Com7.Airfield", "AUX"})
        EXPECT_FALSE(IsDeviceName(FolderNameFromTitle(title))) << title;
}

TEST(Destination, SingleTopFolder) {
    EXPECT_EQ(SingleTopFolder({"Demo/", "Demo/aircraft.cfg", "Demo/model/plane.mdl"}), "Demo");
    EXPECT_EQ(SingleTopFolder({"Demo\\aircraft.cfg", "demo\\model\\plane.mdl"}), "Demo");
    EXPECT_EQ(SingleTopFolder({"Demo/aircraft.cfg", "readme.txt"}), "");
    EXPECT_EQ(SingleTopFolder({"scenery/a.bgl", "texture/b.bmp"}), "");
    EXPECT_EQ(SingleTopFolder({}), "");
}

TEST(Destination, FolderByType) {
    const std::vector<std::string> loose = {"scenery/a.bgl", "texture/a.bmp"};
    const std::vector<std::string> wrapped = {"Kastrup/", "Kastrup/scenery/a.bgl", "Kastrup/texture/a.bmp"};
    const std::vector<std::string> lone = {"scenery/a.bgl", "scenery/b.bgl"};
    EXPECT_EQ(AddonSubfolder(AddonType::Scenery, "EKCH 2000", loose), "Addon Scenery\\EKCH 2000");
    EXPECT_EQ(AddonSubfolder(AddonType::Scenery, "EKCH 2000", wrapped), "Addon Scenery");
    // A lone "scenery" folder is the inside of an area, not an area.
    EXPECT_EQ(AddonSubfolder(AddonType::Scenery, "EKCH 2000", lone), "Addon Scenery\\EKCH 2000");
    EXPECT_EQ(AddonSubfolder(AddonType::SceneryMD, "EKCH 2000", loose), "Addon Scenery");
    EXPECT_EQ(AddonSubfolder(AddonType::Aircraft, "Cessna: 172", {"aircraft.cfg", "model/c.mdl"}), "Aircraft\\Cessna 172");
    EXPECT_EQ(AddonSubfolder(AddonType::Aircraft, "Cessna", {"C172/aircraft.cfg", "C172/model/c.mdl"}), "Aircraft");
    EXPECT_EQ(AddonSubfolder(AddonType::Aircraft, "Cessna", {"model/c.mdl"}, FsVersion::Prepar3D),
              "SimObjects\\Airplanes\\Cessna");
    EXPECT_EQ(AddonSubfolder(AddonType::Aircraft, "Cessna", {"model/c.mdl", "model/d.mdl"}), "Aircraft\\Cessna");
    EXPECT_EQ(AddonSubfolder(AddonType::Sound, "Engines", loose), "Sound");
    EXPECT_EQ(AddonSubfolder(AddonType::Panel, "Gauges Pack", loose), "Gauges");
    EXPECT_EQ(AddonSubfolder(AddonType::Adventure, "Tour", loose), "Adventures");
    EXPECT_EQ(AddonSubfolder(AddonType::Unknown, "My Thing", loose), "My Thing");
}

TEST(Destination, JoiningAndTypedFolders) {
    EXPECT_EQ(JoinPath("C:\\FS2000", "Aircraft"), "C:\\FS2000\\Aircraft");
    EXPECT_EQ(JoinPath("C:\\FS2000\\", "Aircraft"), "C:\\FS2000\\Aircraft");
    EXPECT_EQ(JoinPath("C:\\", "Aircraft"), "C:\\Aircraft");
    EXPECT_EQ(JoinPath("C:\\FS2000", ""), "C:\\FS2000");

    std::string clean, why;
    EXPECT_TRUE(CleanSubfolder(" Addon Scenery/My Area\\ ", clean, why));
    EXPECT_EQ(clean, "Addon Scenery\\My Area");
    EXPECT_TRUE(CleanSubfolder("", clean, why));
    EXPECT_EQ(clean, "");
    for (const char* bad : {"..\\Windows", "Addon\\..\\..\\x", "C:\\Windows", "\\Windows", "a:b", "x|y"}) {
        EXPECT_FALSE(CleanSubfolder(bad, clean, why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}
