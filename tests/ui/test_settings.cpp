// The settings file and registry services, against the real private-profile calls and
// the test prefix's registry.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ui.h"

using namespace testing_support;

TEST(Settings, MissingFileAndKeysReadTheirDefaults) {
    TempInstallDir dir;
    ui::IniFile ini(dir.ini());
    EXPECT_EQ(ini.ReadString("Authors", "Name1", "kept"), "kept");
    EXPECT_EQ(ini.ReadInteger("Temp", "Splash_Width", 500), 500);
    EXPECT_FALSE(ui::FileExists(dir.ini()));
}

TEST(Settings, WritesReachTheFileAtOnceAndDeletesRemoveOnlyTheirKey) {
    TempInstallDir dir;
    ui::IniFile ini(dir.ini());
    ini.WriteString("Temp", "One", "C:\\pics\\a.jpg");
    ini.WriteInteger("Temp", "Splash_Width", 480);
    EXPECT_EQ(IniValue(dir.ini(), "Temp", "One"), "C:\\pics\\a.jpg");
    EXPECT_EQ(IniValue(dir.ini(), "Temp", "Splash_Width"), "480");
    ini.DeleteKey("Temp", "One");
    EXPECT_EQ(IniValue(dir.ini(), "Temp", "One"), "<absent>");
    EXPECT_EQ(ini.ReadInteger("Temp", "Splash_Width", 0), 480);
}

TEST(Settings, LongAndSingleByteTextsComeBackUnchanged) {
    TempInstallDir dir;
    ui::IniFile ini(dir.ini());
    std::string longText(10000, 'x');
    longText += "end";
    std::string accents = "J\xF8rgen S\xE6ther \xC5se";  // single-byte code page text
    ini.WriteString("Authors", "Name1", longText);
    ini.WriteString("Authors", "Name2", accents);
    EXPECT_EQ(ini.ReadString("Authors", "Name1", ""), longText);
    EXPECT_EQ(ini.ReadString("Authors", "Name2", ""), accents);
}

TEST(Settings, NonsenseAndReadOnlyFilesNeitherThrowNorStop) {
    TempInstallDir dir;
    WriteFile(dir.ini(), "\x01\x02 garbage ]]][[[\n=only value\n[Addon\nType=Sound\n\n[Temp]\nOne\n");
    ui::IniFile ini(dir.ini());
    EXPECT_NO_THROW(ini.ReadString("Addon", "Type", ""));
    SetFileAttributesA(dir.ini().c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_NO_THROW(ini.WriteString("Addon", "Type", "Aircraft"));
    EXPECT_NO_THROW(ini.DeleteKey("Temp", "One"));
    SetFileAttributesA(dir.ini().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Registry, ReadsAnExistingValueAndNeverCreatesAMissingKey) {
    const char* key = "Software\\SkykitTest\\Probe";
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(h, "path", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\FS2000\\"), 11);
    RegCloseKey(h);

    std::string v = "before";
    EXPECT_TRUE(ui::ReadRegistryString(HKEY_CURRENT_USER, std::string("\\") + key, "path", v));
    EXPECT_EQ(v, "C:\\FS2000\\");

    v = "before";
    EXPECT_FALSE(ui::ReadRegistryString(HKEY_CURRENT_USER, "\\Software\\SkykitTest\\Absent", "path", v));
    EXPECT_EQ(v, "before");
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\SkykitTest\\Absent", 0, KEY_READ, &h), ERROR_SUCCESS);
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

TEST(Paths, InstallDirEndsWithABackslashAndFollowsTheTestOverride) {
    std::string real = ui::InstallDir();
    ASSERT_FALSE(real.empty());
    EXPECT_EQ(real.back(), '\\');
    EXPECT_EQ(real, ExeDir());
    ui::SetInstallDirForTests("C:\\x");
    EXPECT_EQ(ui::InstallDir(), "C:\\x\\");
    ui::SetInstallDirForTests("");
    EXPECT_EQ(ui::InstallDir(), real);
}

TEST(Paths, FileNameHelpersAndNestedDirectories) {
    EXPECT_EQ(ui::ExtractFilePath("C:\\a\\b\\Setup.skb"), "C:\\a\\b\\");
    EXPECT_EQ(ui::ExtractFileName("C:\\a\\b\\Setup.skb"), "Setup.skb");
    EXPECT_EQ(ui::ExtractFilePath("Setup.skb"), "");
    TempInstallDir dir;
    std::string deep = dir.path() + "one\\two\\three";
    EXPECT_TRUE(ui::ForceDirectories(deep));
    EXPECT_TRUE(ui::DirectoryExists(deep));
    EXPECT_TRUE(ui::ForceDirectories(deep + "\\"));
}
