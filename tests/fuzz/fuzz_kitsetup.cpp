// libFuzzer target: any bytes as "Kitsetup.ini", read through a model of the private-profile
// calls (below) by Setup (PackageInfo, through its 2,048-byte buffer) and by the builder's
// reopening (the shared KitsetupIni reading). What must hold:
//   - no crash and no hang;
//   - every name Setup makes of it is a plain name that stays in its folder (Oracles.h): the
//     add-on's folder for each type, the installation's identity, record, key and uninstaller's
//     folder, the splash picture's name;
//   - what a build writes reads back the same: the settings as reopened, written through the
//     shared writer and read again; and the simulators a build is for (those the file names,
//     and a set the input's first byte picks), as Setup and the reopening read them back.
//
// The model: lines end at CR or LF; blanks around a line, a key and a value do not count; a
// line "[name]" (up to its last ']') begins a section; names compare without case, and the
// first section and key of a name are the ones read; a key without '=' has no value; a value
// in matching quotes ('...' or "...") is read without them, up to a NUL; writing a value drops
// its leading blanks.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Destination.h"
#include "InstallLog.h"
#include "KitsetupIni.h"
#include "Oracles.h"
#include "PackageInfo.h"

using oracle::Require;

namespace {

struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::optional<std::string>>> keys;
};
using Profile = std::vector<Section>;

std::string Strip(const std::string& s) { return oracle::Trim(s, " \t\v\f\x1a"); }

Profile Parse(const std::string& bytes) {
    Profile p;
    for (size_t i = 0; i < bytes.size();) {
        const size_t end = std::min(bytes.find_first_of("\r\n", i), bytes.size());
        const std::string line = Strip(bytes.substr(i, end - i));
        i = end + 1;
        const size_t close = line.rfind(']'), eq = line.find('=');
        if (line.empty()) continue;
        if (line[0] == '[' && close != std::string::npos) {
            p.push_back({line.substr(1, close - 1), {}});
            continue;
        }
        if (p.empty()) p.push_back({});
        if (eq == std::string::npos) p.back().keys.push_back({line, std::nullopt});
        else p.back().keys.push_back({Strip(line.substr(0, eq)), Strip(line.substr(eq + 1))});
    }
    return p;
}

kit::IniLookup Reader(const Profile& p, size_t room) {
    return [&p, room](const std::string& section, const std::string& key, const std::string& absent) {
        for (const Section& s : p) {
            if (oracle::Lower(s.name) != oracle::Lower(section)) continue;
            for (const auto& [name, value] : s.keys) {
                if (oracle::Lower(name) != oracle::Lower(key)) continue;
                if (!value) return absent;
                std::string v = *value;
                if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
                return v.substr(0, std::min(v.find('\0'), room));
            }
            return absent;
        }
        return absent;
    };
}

// The file as Setup reads it, through its 2,048-byte buffer.
kit::PackageInfo SetupReads(const Profile& p) {
    const kit::IniLookup read = Reader(p, 2047);
    return kit::ReadPackageInfo([&read](const std::string& s, const std::string& k) { return read(s, k, ""); });
}

// A new file, written key by key.
std::string Written(const kit::KitsetupIni& ini) {
    std::vector<std::pair<std::string, std::string>> sections;
    kit::WriteKitsetup(ini, [&](const std::string& section, const std::string& key, const std::string& value) {
        auto s = std::find_if(sections.begin(), sections.end(), [&](auto& x) { return x.first == section; });
        if (s == sections.end()) s = sections.insert(s, {section, ""});
        s->second += key + "=" + value.substr(std::min(value.find_first_not_of(" \t"), value.size())) + "\r\n";
    });
    std::string text;
    for (const auto& [name, keys] : sections) text += "[" + name + "]\r\n" + keys + "\r\n";
    return text;
}

void RequirePlain(const std::string& name) { Require(oracle::PlainName(name), "a name that leaves its folder"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Profile file = Parse(std::string(reinterpret_cast<const char*>(data), size));

    const kit::PackageInfo info = SetupReads(file);
    const std::vector<kit::FsVersion> targets = info.Targets();
    Require(!targets.empty(), "a package for no simulator");
    for (kit::AddonType t : {kit::AddonType::Unknown, kit::AddonType::Scenery, kit::AddonType::SceneryMD,
                             kit::AddonType::Aircraft, kit::AddonType::Sound, kit::AddonType::Panel,
                             kit::AddonType::Adventure})
        for (kit::FsVersion v : targets)
            for (const std::string& name : oracle::Split(kit::AddonSubfolder(t, info.title, {}, v), '\\'))
                RequirePlain(name);
    const std::string folder = kit::JoinPath("C:\\FS2000", kit::AddonSubfolder(info.Type(), info.title, {}));
    const std::string identity = kit::InstallIdentity(info.title, folder);
    RequirePlain(identity);
    RequirePlain(kit::LogFileName(info.title, folder));
    Require(kit::UninstallKeyName(info.title, folder) == "Skykit " + identity, "a key that is not the identity's");
    const std::string own = kit::DataFolderBelow("C:\\ProgramData\\", identity), below = "C:\\ProgramData\\Skykit\\Uninstall";
    Require(oracle::FileBelow(own, below) && oracle::Resolve(own).size() == oracle::Resolve(below).size() + 1,
            "an uninstaller's folder that is not one folder of its own");
    RequirePlain(info.SplashName());
    (void)kit::TypeDisplayName(info.Type(), info.type), (void)info.TitleWithVersion();
    (void)kit::SimulatorsText(targets), (void)kit::TypeNote(info.Type(), targets.front());

    const kit::KitsetupIni reopened = kit::ReadKitsetup(Reader(file, std::string::npos));
    const Profile rewritten = Parse(Written(reopened));
    Require(kit::ReadKitsetup(Reader(rewritten, std::string::npos)) == reopened,
            "what a build writes does not read back the same");

    std::vector<kit::FsVersion> picked;
    for (size_t i = 0; i < std::size(kit::kSimulators); ++i)
        if (size && (data[0] >> i & 1)) picked.push_back(kit::kSimulators[i].version);
    for (const std::vector<kit::FsVersion>& list : {kit::SimulatorsOf(reopened), picked}) {
        kit::KitsetupIni built = reopened;
        kit::SetSimulators(built, list);
        const Profile file = Parse(Written(built));
        const std::vector<kit::FsVersion> want = list.empty() ? std::vector{kit::kDefaultSimulator} : list;
        Require(kit::SimulatorsOf(kit::ReadKitsetup(Reader(file, std::string::npos))) == want &&
                    SetupReads(file).Targets() == want,
                "the simulators a build is for do not read back as built");
    }
    return 0;
}
