// Package paths, the builder's own package files and reopening an earlier package.
#include "PackageFiles.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "Kitforge.h"
#include "PackageInfo.h"
#include "ui.h"

namespace {

const char* const kRecentSection = "Recent packages";

std::string Upper(std::string s) {
    if (!s.empty()) CharUpperBuffA(s.data(), (DWORD)s.size());
    return s;
}

}  // namespace

std::vector<std::string> ReadTextLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    const std::string text = s.str();
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const size_t next = end + 1;
        if (end > at && text[end - 1] == '\r') --end;
        lines.push_back(text.substr(at, end - at));
        at = next;
    }
    return lines;
}

std::string ComparablePath(const std::string& path) {
    if (path.empty()) return "";
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    std::string p = (n > 0 && n < sizeof full) ? std::string(full, n) : path;
    // Short names ("FLIGHT~1") name the same folder as the long ones; only an existing
    // path can be lengthened, which is all a guard needs.
    char longName[MAX_PATH * 4];
    n = GetLongPathNameA(p.c_str(), longName, sizeof longName);
    if (n > 0 && n < sizeof longName) p.assign(longName, n);
    std::replace(p.begin(), p.end(), '/', '\\');
    while (p.size() > 3 && p.back() == '\\') p.pop_back();
    if (p.size() == 2 && p[1] == ':') p += '\\';
    return Upper(p);
}

bool PathWithin(const std::string& inner, const std::string& outer) {
    if (inner.empty() || outer.empty()) return false;
    std::string in = ComparablePath(inner), out = ComparablePath(outer);
    if (in == out) return true;
    if (out.back() != '\\') out += '\\';
    return in.compare(0, out.size(), out) == 0;
}

bool PlainFolderName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (unsigned char c : name)
        if (c < 32 || std::string("<>:\"/\\|?*").find((char)c) != std::string::npos) return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    // Device names stay devices whatever extension follows them.
    std::string stem = Upper(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (const char* device : {"CON", "PRN", "AUX", "NUL"})
        if (stem == device) return false;
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
        stem[3] <= '9')
        return false;
    return true;
}

std::string PackageSection(const std::string& subdir) { return "Package " + subdir; }

std::vector<std::string> RecentPackages() {
    std::vector<std::string> list;
    ui::IniFile ini = kitforge::Open();
    for (int i = 1; i <= kMaxRecent; ++i) {
        std::string s = ini.ReadString(kRecentSection, std::to_string(i), "");
        if (s.empty() || !PlainFolderName(s) || !ui::FileExists(ui::InstallDir() + s + "\\" + kit::kSettingsFile))
            continue;
        if (std::find(list.begin(), list.end(), s) == list.end()) list.push_back(s);
    }
    return list;
}

void RememberRecentPackage(const std::string& subdir) {
    std::vector<std::string> list = RecentPackages();
    auto same = [&](const std::string& s) { return Upper(s) == Upper(subdir); };
    list.erase(std::remove_if(list.begin(), list.end(), same), list.end());
    list.insert(list.begin(), subdir);
    ui::IniFile ini = kitforge::Open();
    for (int i = 1; i <= kMaxRecent; ++i) {
        if (i <= (int)list.size())
            ini.WriteString(kRecentSection, std::to_string(i), list[i - 1]);
        else
            ini.DeleteKey(kRecentSection, std::to_string(i));
    }
}

std::vector<std::string> SimulatorNames(const std::vector<kit::FsVersion>& list) {
    std::vector<std::string> names;
    for (const kit::Simulator& s : kit::kSimulators)
        if (std::find(list.begin(), list.end(), s.version) != list.end()) names.push_back(s.shortName);
    return names;
}

std::vector<std::string> SimulatorNames(const std::string& version, const std::string& list) {
    std::vector<kit::FsVersion> simulators = kit::ParseSimulatorList(list);
    if (simulators.empty())
        if (const kit::Simulator* s = kit::SimulatorNamed(version)) simulators.push_back(s->version);
    return SimulatorNames(simulators);
}

std::vector<kit::FsVersion> SimulatorVersions(const std::vector<std::string>& names) {
    std::vector<kit::FsVersion> list;
    for (const std::string& n : names)
        if (const kit::Simulator* s = kit::SimulatorNamed(n)) list.push_back(s->version);
    return list;
}

void WriteKitsetupFile(const std::string& path, const kit::KitsetupIni& ini) {
    ui::IniFile file(path);
    kit::WriteKitsetup(ini, [&file](const std::string& section, const std::string& key, const std::string& value) {
        file.WriteString(section, key, value);
    });
}

kit::KitsetupIni ReadKitsetupFile(const std::string& path, const kit::KitsetupIni& absent) {
    ui::IniFile file(path);
    return kit::ReadKitsetup([&file](const std::string& section, const std::string& key,
                                     const std::string& fallback) { return file.ReadString(section, key, fallback); },
                             absent);
}

std::string PackageSubdirOf(const std::string& path) {
    if (path.empty()) return "";
    std::string dir = path;
    if (ui::FileExists(path) && !ui::DirectoryExists(path)) {
        if (Upper(ui::ExtractFileName(path)) != Upper(kit::kSettingsFile)) return "";
        dir = ui::ExtractFilePath(path);
    }
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(dir.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return "";
    dir.assign(full, n);
    while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
    std::string name = ui::ExtractFileName(dir);
    // Only a package of this install directory can be built again under its name.
    if (!PlainFolderName(name) || ComparablePath(ui::ExtractFilePath(dir)) != ComparablePath(ui::InstallDir()))
        return "";
    if (!ui::FileExists(dir + "\\" + kit::kSettingsFile)) return "";
    return name;
}

bool ReadPackageFolder(const std::string& folder, Project& p) {
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
    if (folder.empty() || !ui::FileExists(dir + kit::kSettingsFile)) return false;
    const kit::KitsetupIni setup = ReadKitsetupFile(dir + kit::kSettingsFile);
    p = Project{};
    p.subdir = ui::ExtractFileName(dir.substr(0, dir.size() - 1));
    p.title = setup.title;
    for (int n = 0; n < 3; ++n) p.developers[n] = {setup.authorName[n], setup.authorEmail[n]};
    p.type = setup.type == kit::kAdventureType ? "Adventure" : setup.type;
    p.freeware = setup.condition != "Shareware";
    p.simulators = SimulatorNames(kit::SimulatorsOf(setup));
    p.addonVersion = setup.addonVersion;
    p.terms = ReadTextLines(dir + kit::kTermsFile);
    p.description = ReadTextLines(dir + kit::kDescriptionFile);
    // The package's own copies of the pictures.
    for (int i = 0; i < kit::kMaxScreenshots; ++i)
        if (ui::FileExists(dir + kit::kScreenshotFiles[i])) p.screenshots[i] = dir + kit::kScreenshotFiles[i];
    if (!setup.splashFile.empty() && ui::FileExists(dir + kit::kSplashFile)) {
        p.splash = dir + kit::kSplashFile;
        p.splashWidth = setup.splashWidth, p.splashHeight = setup.splashHeight;
    }
    return true;
}

bool ReadPackageProject(const std::string& subdir, Project& p) {
    if (subdir.empty() || !ReadPackageFolder(ui::InstallDir() + subdir, p)) return false;
    p.subdir = subdir;
    const kit::KitsetupIni setup = ReadKitsetupFile(ui::InstallDir() + subdir + "\\" + kit::kSettingsFile);
    ui::IniFile settings = kitforge::Open();
    const std::string section = PackageSection(subdir);
    std::string location = settings.ReadString(section, "Location", "");
    if (!location.empty() && ui::DirectoryExists(location)) p.location = location;
    for (int i = 0; i < 5; ++i) {
        if (i == 4 && setup.splashFile.empty()) break;
        // The author's own picture when it is still there, else the package's copy of it.
        const std::string source = settings.ReadString(section, kitforge::kPictureKeys[i], "");
        if (!source.empty() && ui::FileExists(source)) (i < 4 ? p.screenshots[i] : p.splash) = source;
    }
    if (!p.splash.empty()) p.splashWidth = setup.splashWidth, p.splashHeight = setup.splashHeight;
    return true;
}

void RememberPackage(const Project& p) {
    ui::IniFile ini = kitforge::Open();
    const std::string section = PackageSection(p.subdir);
    ini.WriteString(section, "Location", p.location);
    for (int i = 0; i < 5; ++i) {
        const std::string& picture = i < 4 ? p.screenshots[i] : p.splash;
        if (picture.empty())
            ini.DeleteKey(section, kitforge::kPictureKeys[i]);
        else
            ini.WriteString(section, kitforge::kPictureKeys[i], picture);
    }
    RememberRecentPackage(p.subdir);
}
