#include "PackageInfo.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "SafePath.h"

namespace kit {

std::string ScreenshotFile(int n) { return kScreenshotFiles[n - 1]; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string LowerCase(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string FormatSize(unsigned long long bytes) {
    char buf[64];
    if (bytes < 1024) {
        std::snprintf(buf, sizeof buf, "%llu %s", bytes, bytes == 1 ? "byte" : "bytes");
    } else if (bytes < 1024ull * 1024) {
        std::snprintf(buf, sizeof buf, "%.1f KB", bytes / 1024.0);
    } else if (bytes < 1024ull * 1024 * 1024) {
        std::snprintf(buf, sizeof buf, "%.1f MB", bytes / (1024.0 * 1024));
    } else {
        std::snprintf(buf, sizeof buf, "%.2f GB", bytes / (1024.0 * 1024 * 1024));
    }
    return buf;
}

namespace {

// A size in pixels as the builder writes it: decimal digits only; anything else counts as absent.
int Pixels(const std::string& text) {
    std::string t = Trim(text);
    if (t.empty() || t.size() > 6) return 0;
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    return std::atoi(t.c_str());
}

}  // namespace

PackageInfo ReadPackageInfo(const IniReader& read) {
    KitsetupIni ini = ReadKitsetup(
        [&read](const std::string& section, const std::string& key, const std::string&) { return read(section, key); });
    PackageInfo p;
    p.splashWidth = Pixels(ini.splashWidth);
    p.splashHeight = Pixels(ini.splashHeight);
    p.splashFile = Trim(ini.splashFile);
    for (int n = 0; n < 3; ++n) {
        Author a{Trim(ini.authorName[n]), Trim(ini.authorEmail[n])};
        if (!a.name.empty() || !a.email.empty()) p.authors.push_back(a);
    }
    p.version = Trim(ini.version);
    p.simulators = Trim(ini.simulators);
    p.type = Trim(ini.type);
    p.condition = Trim(ini.condition);
    p.title = Trim(ini.title);
    p.addonVersion = Trim(ini.addonVersion);
    return p;
}

std::vector<FsVersion> PackageInfo::Targets() const {
    KitsetupIni ini;
    ini.version = version;
    ini.simulators = simulators;
    std::vector<FsVersion> list = SimulatorsOf(ini);
    if (list.empty()) return {FsVersion::Fs98, FsVersion::Fs2000};
    return list;
}

AddonType PackageInfo::Type() const {
    if (EqualsNoCase(type, "Scenery")) return AddonType::Scenery;
    if (EqualsNoCase(type, "Scenery MD")) return AddonType::SceneryMD;
    if (EqualsNoCase(type, "Aircraft")) return AddonType::Aircraft;
    if (EqualsNoCase(type, "Sound")) return AddonType::Sound;
    if (EqualsNoCase(type, "Panel")) return AddonType::Panel;
    // The builder writes adventures as "Adv"; the long form is taken as well.
    if (EqualsNoCase(type, kAdventureType) || EqualsNoCase(type, "Adventure")) return AddonType::Adventure;
    return AddonType::Unknown;
}

bool PackageInfo::Freeware() const { return !EqualsNoCase(condition, "Shareware"); }

std::string PackageInfo::DisplayTitle() const { return title.empty() ? std::string("Flight Simulator add-on") : title; }

std::string PackageInfo::TitleWithVersion() const {
    return DisplayTitle() + (addonVersion.empty() ? "" : " " + addonVersion);
}

std::string PackageInfo::SplashName() const {
    std::string name = splashFile, rel, why;
    size_t cut = name.find_last_of("\\/:");
    if (cut != std::string::npos) name = name.substr(cut + 1);
    // A device ("COM1", "nul.bmp") or dots are no file of the package folder.
    return SafeMemberPath(name, rel, why) && !rel.empty() ? rel : std::string(kSplashFile);
}

std::string TypeDisplayName(AddonType t, const std::string& raw) {
    switch (t) {
        case AddonType::Scenery: return "Scenery";
        case AddonType::SceneryMD: return "Scenery (with its own folders)";
        case AddonType::Aircraft: return "Aircraft";
        case AddonType::Sound: return "Sound";
        case AddonType::Panel: return "Panel";
        case AddonType::Adventure: return "Adventure";
        default: return raw.empty() ? std::string("Add-on") : raw;
    }
}

}  // namespace kit
