#include "KitsetupIni.h"

#include <algorithm>
#include <cctype>

#include "PackageInfo.h"

namespace kit {

namespace {

const char* const kSplash = "Splash";

// Visits every key of the file in its order: section, key, field, and whether the key is
// written even when empty.
template <class Ini, class Visit>
void EachKey(Ini& ini, Visit visit) {
    visit(kSplash, "Width", ini.splashWidth, false);
    visit(kSplash, "Height", ini.splashHeight, false);
    visit(kSplash, "Filename", ini.splashFile, false);
    const char* const authors = "Authors";
    for (int n = 1; n <= 3; ++n) {
        visit(authors, std::to_string(2 * n), ini.authorName[n - 1], false);
        visit(authors, std::to_string(2 * n - 1), ini.authorEmail[n - 1], false);
    }
    visit("Flightsim", "Version", ini.version, true);
    visit("Flightsim", "Simulators", ini.simulators, false);
    const char* const addon = "Addon";
    visit(addon, "Type", ini.type, false);
    visit(addon, "Condition", ini.condition, true);
    visit(addon, "Version", ini.addonVersion, false);
    visit("Title", "hl", ini.title, true);
}

// The private-profile calls read a value without the blanks around it, and without quotes
// around it: a value that begins or ends with either goes into the file in quotes of its own,
// which the reading takes off again.
std::string AsWritten(const std::string& value) {
    if (value.empty()) return value;
    auto loose = [](unsigned char c) { return std::isspace(c) || c == '\x1a' || c == '"' || c == '\''; };
    return loose(value.front()) || loose(value.back()) ? "\"" + value + "\"" : value;
}

}  // namespace

void WriteKitsetup(const KitsetupIni& ini, const IniWrite& write) {
    EachKey(ini, [&](const std::string& section, const std::string& key, const std::string& value, bool always) {
        if (always || !value.empty()) write(section, key, AsWritten(value));
    });
}

KitsetupIni ReadKitsetup(const IniLookup& read, const KitsetupIni& absent) {
    KitsetupIni ini = absent;
    EachKey(ini, [&](const std::string& section, const std::string& key, std::string& value, bool) {
        value = read(section, key, value);
    });
    return ini;
}

std::string FlightsimVersion(const std::vector<FsVersion>& list) {
    auto has = [&list](FsVersion v) { return std::find(list.begin(), list.end(), v) != list.end(); };
    return FindSimulator(has(FsVersion::Fs98) && !has(FsVersion::Fs2000) ? FsVersion::Fs98 : FsVersion::Fs2000)->name;
}

void SetSimulators(KitsetupIni& ini, const std::vector<FsVersion>& list) {
    const std::vector<FsVersion> all = list.empty() ? std::vector<FsVersion>{kDefaultSimulator} : list;
    ini.version = FlightsimVersion(all);
    const FsVersion version = SimulatorNamed(ini.version)->version;
    ini.simulators = all.size() == 1 && all[0] == version ? "" : SimulatorList(all);
}

std::vector<FsVersion> SimulatorsOf(const KitsetupIni& ini) {
    std::vector<FsVersion> list = ParseSimulatorList(ini.simulators);
    if (!list.empty()) return list;
    // Only FS98 and FS2000 ever were a Version.
    const Simulator* s = SimulatorNamed(ini.version);
    if (s && (s->version == FsVersion::Fs98 || s->version == FsVersion::Fs2000) &&
        EqualsNoCase(Trim(ini.version), s->name))
        return {s->version};
    return {};
}

void RemoveKitsetupSplash(const IniRemove& remove) {
    KitsetupIni none;
    EachKey(none, [&](const std::string& section, const std::string& key, std::string&, bool) {
        if (section == kSplash) remove(section, key);
    });
}

}  // namespace kit
