// What a package tells its installer: the settings file "Kitsetup.ini" that the builder writes
// beside "Setup.exe", and the files the installer looks for in the package folder.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "KitsetupIni.h"
#include "Simulators.h"

namespace kit {

// File names inside a package folder (the settings file's own name is in KitsetupIni.h).
inline constexpr const char* kArchiveFile = "Setup.skb";
inline constexpr const char* kDescriptionFile = "File_id.diz";
inline constexpr const char* kTermsFile = "licens.skh";
inline constexpr const char* kSkinFile = "Skin32.dll";
inline constexpr const char* kUnzipFile = "Unzeng.dll";
inline constexpr const char* kSetupFile = "Setup.exe";
inline constexpr const char* kSplashFile = "Splash.bmp";
inline constexpr int kMaxScreenshots = 4;
inline constexpr const char* kScreenshotFiles[kMaxScreenshots] = {"Screen1.jpg", "Screen2.jpg", "Screen3.jpg",
                                                                  "Screen4.jpg"};
// "Screen1.jpg" .. "Screen4.jpg" for n = 1 .. 4
std::string ScreenshotFile(int n);

// A package's own files: first those every build writes, then (from kFirstOptionalFile on)
// those it writes when the project has them. A build removes the optional ones it did not
// write again; a release of the package (a ZIP or a download) holds what the last build
// wrote, and may take none of these names.
inline constexpr const char* kPackageFiles[] = {kArchiveFile,        kSettingsFile,       kSkinFile,
                                                kUnzipFile,          kSetupFile,          kTermsFile,
                                                kDescriptionFile,    kSplashFile,         kScreenshotFiles[0],
                                                kScreenshotFiles[1], kScreenshotFiles[2], kScreenshotFiles[3]};
inline constexpr size_t kFirstOptionalFile = 5;

// The installer as the builder's install directory keeps it: under a library's name, so that
// nobody starts it there. Each package gets a copy named kSetupFile.
inline constexpr const char* kInstallerLibrary = "Setup.dll";
// The programs a package carries, copied from the builder's install directory, in this order.
struct PackageProgram {
    const char* source;  // in the install directory
    const char* target;  // in the package
};
inline constexpr PackageProgram kPackagePrograms[] = {
    {kSkinFile, kSkinFile}, {kUnzipFile, kUnzipFile}, {kInstallerLibrary, kSetupFile}};

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
    // The simulator's version and the list of simulators, the add-on's type and condition,
    // the title: as written.
    std::string version;
    std::string simulators;
    std::string type;
    std::string condition;
    std::string title;
    // The add-on's own version as its author gives it ("1.1"); "" for a package without one.
    std::string addonVersion;

    // The simulators the add-on is for (KitsetupIni's SimulatorsOf); a package that names none
    // is for FS98 and FS2000, as Setup always took it.
    std::vector<FsVersion> Targets() const;
    AddonType Type() const;
    bool Freeware() const;
    // The title, or a neutral name when the package has none.
    std::string DisplayTitle() const;
    // The title and the version, when there is one: "Heathrow Mini 1.1".
    std::string TitleWithVersion() const;
    // The splash picture's name in the package folder: the file the settings name (a name
    // with folders in it is cut to its last part), "Splash.bmp" when none is named or the
    // name is no file's (a device, dots).
    std::string SplashName() const;
};

// Reads one key; returns "" when the section or key is absent.
using IniReader = std::function<std::string(const std::string& section, const std::string& key)>;

PackageInfo ReadPackageInfo(const IniReader& read);
// The same from a file, through the platform's private-profile calls.
PackageInfo ReadPackageInfoFile(const std::string& path);

// Names shown to the person installing.
std::string TypeDisplayName(AddonType t, const std::string& raw);

// Text helpers shared by the installer and the self-extractor.
std::string Trim(const std::string& s);
bool EqualsNoCase(const std::string& a, const std::string& b);
// A..Z as a..z, every other byte as it is: names compared as Windows compares them.
std::string LowerCase(std::string s);
// "0 bytes", "812 bytes", "14.2 KB", "3.5 MB", "1.25 GB"
std::string FormatSize(unsigned long long bytes);

}  // namespace kit
