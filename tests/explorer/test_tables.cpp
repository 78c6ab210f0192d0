// The explorer's tables: entry kinds by extension, statuses towards the builder, the order of
// a listing, the size line and the shortened path.
#include <gtest/gtest.h>

#include "Kitlensform.h"

TEST(KindTable, OnlyTheListedSpellingsMatchAndTheLastDotDecides) {
    const std::pair<const char*, int> rows[] = {{"a.db", 3},    {"a.TXT", 5},  {"a.Inf", 6},   {"a.SYS", 7},
                                                {"a.Exe", 23},  {"a.com", 8},  {"a.BAT", 9},   {"a.CAB", 10},
                                                {"a.bmp", 13},  {"a.GIF", 14}, {"a.hlp", 15},  {"a.MSI", 16},
                                                {"a.wav", 17},  {"a.HTML", 18}, {"a.htm", 18}, {"a.JPG", 19},
                                                {"a.ocx", 22},  {"a.DIZ", 24}, {"b.tar.zip", 10}, {".txt", 5}};
    for (auto& [name, image] : rows) EXPECT_EQ(KindImageIndex(name), image) << name;
    for (const char* other : {"photo.Jpg", "photo.jpeg", "notes.Txt", "README", "a.Db", "a.zip.bak", "a."})
        EXPECT_EQ(KindImageIndex(other), 12) << other;
}

TEST(StatusTable, TheBuildersFilesWhateverTheirSpellingAndTheLibrariesAreTheUsersInAProjectFolder) {
    EXPECT_EQ(EntryStatus("Help", true, false), "Used by Skykit Builder");
    EXPECT_EQ(EntryStatus("help", true, false), "User project folder");
    EXPECT_EQ(EntryStatus("Readme.txt", true, false), "User project folder");  // a folder of that name
    for (bool project : {false, true}) {
        for (const char* n : {"Help", "HELP", "kitpress.EXE", "KITPRESS.EXE", "kitlens.exe", "Setup.DLL", "LICENSE.SKH",
                              "hyper.add", "readme.txt", "KitForge.INI", "AUX32.DLL"})
            EXPECT_EQ(EntryStatus(n, false, project), "Protected by Skykit Builder") << n << project;
        for (const char* n : {"Setup.exe", "Kitpress.exe.bak", "Kitpres.exe", "Zipeng.dl"})
            EXPECT_EQ(EntryStatus(n, false, project), "Not used by Skykit Builder") << n << project;
    }
    // The zip engine as it ships, in capitals, is the builder's; a package's copy is the user's.
    for (const char* n : {"Skin32.dll", "Unzeng.dll", "UNZENG.DLL", "ZIPENG.DLL", "zipeng.dll", "SKIN32.DLL"}) {
        EXPECT_EQ(EntryStatus(n, false, false), "Protected by Skykit Builder") << n;
        EXPECT_EQ(EntryStatus(n, false, true), "Not used by Skykit Builder") << n;
    }
}

TEST(Order, DirectoriesFirstThenNamesWithLettersFolded) {
    std::vector<FolderEntry> v = {{"gamma.TXT", 5, false}, {"alpha.txt", 5, false}, {"zeta", 2, true},
                                  {"Beta.txt", 5, false},  {"notes.txt", 2, true},  {"_under", 12, false},
                                  {"Zulu", 12, false},     {"Alpha", 2, true},      {"a", 12, false}};
    std::stable_sort(v.begin(), v.end(), EntryBefore);
    std::vector<std::string> names;
    for (auto& e : v) names.push_back(e.Name);
    // "_" comes after the capital letters, as every non-letter goes by its own code.
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "notes.txt", "zeta", "a", "alpha.txt", "Beta.txt",
                                               "gamma.TXT", "Zulu", "_under"}));
    EXPECT_FALSE(EntryBefore({"b", 12, false}, {"B", 12, false}));
    EXPECT_FALSE(EntryBefore({"B", 12, false}, {"b", 12, false}));
}

TEST(SizeLine, ThousandsOfBytesCutDown) {
    EXPECT_EQ(SizeText(0), "0 KB");
    EXPECT_EQ(SizeText(999), "0 KB");
    EXPECT_EQ(SizeText(1000), "1 KB");
    EXPECT_EQ(SizeText(1999), "1 KB");
    EXPECT_EQ(SizeText(2500000), "2500 KB");
    EXPECT_EQ(SizeText(5000000000ULL), "5000000 KB");
}

TEST(PathLabel, ShortenedFromTheLeftStepByStep) {
    auto chars = [](const std::string& s) { return (int)s.size(); };
    const std::string p = "C:\\Games\\Skykit\\Scenery\\file.txt";
    EXPECT_EQ(ui::MinimizeName(p, chars, 100), p);
    EXPECT_EQ(ui::MinimizeName(p, chars, (int)p.size()), p);
    EXPECT_EQ(ui::MinimizeName(p, chars, (int)p.size() - 1), "C:\\...\\Skykit\\Scenery\\file.txt");
    EXPECT_EQ(ui::MinimizeName(p, chars, 26), "C:\\...\\Scenery\\file.txt");
    EXPECT_EQ(ui::MinimizeName(p, chars, 20), "C:\\...\\file.txt");
    EXPECT_EQ(ui::MinimizeName(p, chars, 14), "...\\file.txt");
    EXPECT_EQ(ui::MinimizeName(p, chars, 5), "file.txt");
    // A directory path (trailing backslash) keeps its last folder longest.
    EXPECT_EQ(ui::MinimizeName("C:\\a\\bb\\cc\\", chars, 10), "C:\\...\\cc\\");
}
