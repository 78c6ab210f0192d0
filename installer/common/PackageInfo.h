// What a package tells its installer: the settings file "Kitsetup.ini" that the builder writes
// beside "Setup.exe", and the files the installer looks for in the package folder.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "KitsetupIni.h"

namespace kit {

// File names inside a package folder (the settings file's own name is in KitsetupIni.h).
inline constexpr const char* kArchiveFile = "Setup.skb";
inline constexpr const char* kDescriptionFile = "File_id.diz";
inline constexpr const char* kTermsFile = "licens.skh";
inline constexpr const char* kSkinFile = "Skin32.dll";
inline constexpr const char* kUnzipFile = "Unzeng.dll";
inline constexpr int kMaxScreenshots = 4;
// "Screen1.jpg" .. "Screen4.jpg"
std::string ScreenshotFile(int n);

enum class FsVersion { Unknown, Fs98, Fs2000 };
enum class AddonType { Unknown, Scenery, SceneryMD, Aircraft, Sound, Panel, Adventure };

struct Author {
    std::string name;
    std::string email;
};

// The settings file as the installer uses it: trimmed, sizes parsed, developers listed.
struct PackageInfo {
    // Splash width and height (pixels, 0 when absent or not a number), file
    int splashWidth = 0;
    int splashHeight = 0;
    std::string splashFile;
    // The developers in the file's order; a developer with neither name nor address is left out.
    std::vector<Author> authors;
    // The simulator's version, the add-on's type and condition, the title: as written.
    std::string version;
    std::string type;
    std::string condition;
    std::string title;
    // The add-on's own version as its author gives it ("1.1"); "" for a package without one.
    std::string addonVersion;

    FsVersion Fs() const;
    AddonType Type() const;
    bool Freeware() const;
    // The title, or a neutral name when the package has none.
    std::string DisplayTitle() const;
    // The title and the version, when there is one: "Heathrow Mini 1.1".
    std::string TitleWithVersion() const;
};

// Reads one key; returns "" when the section or key is absent.
using IniReader = std::function<std::string(const std::string& section, const std::string& key)>;

PackageInfo ReadPackageInfo(const IniReader& read);
// The same from a file, through the platform's private-profile calls.
PackageInfo ReadPackageInfoFile(const std::string& path);

// Names shown to the person installing.
std::string FsDisplayName(FsVersion v);   // "Microsoft Flight Simulator 2000", ...
std::string TypeDisplayName(AddonType t, const std::string& raw);

// Text helpers shared by the installer and the self-extractor.
std::string Trim(const std::string& s);
bool EqualsNoCase(const std::string& a, const std::string& b);
// "0 bytes", "812 bytes", "14.2 KB", "3.5 MB", "1.25 GB"
std::string FormatSize(unsigned long long bytes);

}  // namespace kit
