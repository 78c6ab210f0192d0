// The explorer's tables: entry kinds by extension, statuses towards the builder, the order of
// a listing, the size line and the shortened path.
#include <gtest/gtest.h>

#include "Kitlensform.h"

TEST(KindTable, EachVariantGivesItsImageAndEverythingElseTheGenericPage) {
    const std::pair<const char*, int> rows[] = {
        {"a.DB", 3},    {"a.db", 3},    {"a.txt", 5},   {"a.TXT", 5},   {"a.ini", 6},   {"a.Ini", 6},
        {"a.INI", 6},   {"a.inf", 6},   {"a.Inf", 6},   {"a.INF", 6},   {"a.dll", 7},   {"a.DLL", 7},
        {"a.sys", 7},   {"a.SYS", 7},   {"a.exe", 23},  {"a.Exe", 23},  {"a.EXE", 23},  {"a.com", 8},
        {"a.COM", 8},   {"a.bat", 9},   {"a.BAT", 9},   {"a.zip", 10},  {"a.ZIP", 10},  {"a.cab", 10},
        {"a.CAB", 10},  {"a.bmp", 13},  {"a.BMP", 13},  {"a.gif", 14},  {"a.GIF", 14},  {"a.hlp", 15},
        {"a.HLP", 15},  {"a.msi", 16},  {"a.MSI", 16},  {"a.wav", 17},  {"a.WAV", 17},  {"a.html", 18},
        {"a.HTML", 18}, {"a.htm", 18},  {"a.HTM", 18},  {"a.jpg", 19},  {"a.JPG", 19},  {"a.ocx", 22},
        {"a.OCX", 22},  {"a.diz", 24},  {"a.DIZ", 24},
    };
    for (auto& [name, image] : rows) EXPECT_EQ(KindImageIndex(name), image) << name;
    // Only the listed spellings match; the last dot decides.
    for (const char* other : {"photo.Jpg", "photo.jpeg", "notes.Txt", "README", "a.Db", "a.zip.bak", "a.", ".hidden"})
        EXPECT_EQ(KindImageIndex(other), 12) << other;
    EXPECT_EQ(KindImageIndex("archive.tar.zip"), 10);
    EXPECT_EQ(KindImageIndex(".txt"), 5);
}

TEST(StatusTable, DirectoriesByTheirExactName) {
    EXPECT_EQ(EntryStatus("Help", true, false), "Used by Skykit Builder");
    EXPECT_EQ(EntryStatus("Help", true, true), "Used by Skykit Builder");
    EXPECT_EQ(EntryStatus("help", true, false), "User project folder");
    EXPECT_EQ(EntryStatus("HELP", true, false), "User project folder");
    EXPECT_EQ(EntryStatus("notes.txt", true, false), "User project folder");
    // A directory named like a protected file is still a project folder.
    EXPECT_EQ(EntryStatus("Readme.txt", true, false), "User project folder");
}

TEST(StatusTable, FilesByTheirExactNameInBothColumns) {
    const char* bothProtected[] = {"KitPress.exe", "Kitpress.exe", "Kitpress.EXE", "KitPress.EXE", "kitpress.exe",
                                   "kitpress.EXE", "Aux32.dll",    "Setup.dll",    "License.skh",  "license.skh",
                                   "Kitforge.ini", "Readme.txt",   "hyper.add",    "KitLens.exe",  "Kitlens.exe",
                                   "KitLens.EXE",  "Kitlens.EXE",  "Help"};
    for (const char* n : bothProtected) {
        EXPECT_EQ(EntryStatus(n, false, false), "Protected by Skykit Builder") << n;
        EXPECT_EQ(EntryStatus(n, false, true), "Protected by Skykit Builder") << n;
    }
    for (const char* n : {"Skin32.dll", "Unzeng.dll"}) {
        EXPECT_EQ(EntryStatus(n, false, false), "Protected by Skykit Builder") << n;
        EXPECT_EQ(EntryStatus(n, false, true), "Not used by Skykit Builder") << n;
    }
    for (const char* n : {"KITPRESS.EXE", "kitlens.exe", "KITLENS.EXE", "readme.txt", "Setup.exe", "ZIPENG.DLL",
                          "UNZENG.DLL", "skin32.dll", "help", "Kitforge.INI", "Hyper.add"}) {
        EXPECT_EQ(EntryStatus(n, false, false), "Not used by Skykit Builder") << n;
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
    EXPECT_EQ(MinimizeName(p, chars, 100), p);
    EXPECT_EQ(MinimizeName(p, chars, (int)p.size()), p);
    EXPECT_EQ(MinimizeName(p, chars, (int)p.size() - 1), "C:\\...\\Skykit\\Scenery\\file.txt");
    EXPECT_EQ(MinimizeName(p, chars, 26), "C:\\...\\Scenery\\file.txt");
    EXPECT_EQ(MinimizeName(p, chars, 20), "C:\\...\\file.txt");
    EXPECT_EQ(MinimizeName(p, chars, 14), "...\\file.txt");
    EXPECT_EQ(MinimizeName(p, chars, 5), "file.txt");
    // A directory path (trailing backslash) keeps its last folder longest.
    EXPECT_EQ(MinimizeName("C:\\a\\bb\\cc\\", chars, 10), "C:\\...\\cc\\");
}
