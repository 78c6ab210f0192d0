#include "Simulators.h"

#include <algorithm>

#include "Destination.h"
#include "PackageInfo.h"

namespace kit {

namespace {

// The folder a registry value names: the value itself, or the folder of the program it names.
std::string FolderOf(const std::string& value, const PathTest& isFolder) {
    std::string v = NoTrailingSlash(Trim(value));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.empty()) return "";
    if (isFolder(v)) return v;
    size_t cut = v.find_last_of('\\');
    if (cut != std::string::npos && v.size() > 4 && EqualsNoCase(v.substr(v.size() - 4), ".exe") &&
        isFolder(v.substr(0, cut)))
        return NoTrailingSlash(v.substr(0, cut));
    return "";
}

bool Targets(const std::vector<FsVersion>& targets, FsVersion v) {
    return std::find(targets.begin(), targets.end(), v) != targets.end();
}

}  // namespace

const Simulator* FindSimulator(FsVersion v) {
    for (const Simulator& s : kSimulators)
        if (s.version == v) return &s;
    return nullptr;
}

const Simulator* SimulatorNamed(const std::string& name) {
    for (const Simulator& s : kSimulators)
        if (EqualsNoCase(Trim(name), s.name) || EqualsNoCase(Trim(name), s.shortName)) return &s;
    return nullptr;
}

std::string SimulatorList(const std::vector<FsVersion>& list) {
    std::string out;
    for (const Simulator& s : kSimulators)
        if (Targets(list, s.version)) out += (out.empty() ? "" : ",") + std::string(s.shortName);
    return out;
}

std::vector<FsVersion> ParseSimulatorList(const std::string& text) {
    std::vector<std::string> names;
    for (size_t i = 0; i <= text.size();) {
        size_t comma = std::min(text.find(',', i), text.size());
        names.push_back(LowerCase(Trim(text.substr(i, comma - i))));
        i = comma + 1;
    }
    std::vector<FsVersion> list;
    for (const Simulator& s : kSimulators)
        if (std::find(names.begin(), names.end(), s.shortName) != names.end()) list.push_back(s.version);
    return list;
}

std::string SimulatorsText(const std::vector<FsVersion>& list) {
    if (list.size() == 1 && FindSimulator(list[0])) return FindSimulator(list[0])->displayName;
    std::string out;
    for (size_t i = 0; i < list.size(); ++i) {
        const Simulator* s = FindSimulator(list[i]);
        if (!s) continue;
        out += (out.empty() ? "" : i + 1 == list.size() ? " and " : ", ") + std::string(s->label);
    }
    return out;
}

std::vector<FoundSimulator> FindSimulators(const RegistryRead& read, const PathTest& isFolder) {
    std::vector<FoundSimulator> found;
    for (const SimulatorEdition& e : kEditions) {
        std::string folder;
        for (const RegistryValue& r : e.found) {
            if (!r.key) break;
            // A 64-bit simulator records itself in the 64-bit view, a 32-bit one in the other.
            for (bool view64 : {true, false}) {
                folder = FolderOf(read(r.hive, view64, r.key, r.value), isFolder);
                if (!folder.empty()) break;
            }
            if (!folder.empty()) break;
        }
        if (!folder.empty()) found.push_back({&e, folder});
    }
    std::stable_sort(found.begin(), found.end(), [](const FoundSimulator& a, const FoundSimulator& b) {
        return a.edition->year > b.edition->year;
    });
    return found;
}

std::vector<FoundSimulator> FoundFor(const std::vector<FoundSimulator>& found, const std::vector<FsVersion>& targets) {
    std::vector<FoundSimulator> out;
    for (const FoundSimulator& f : found)
        if (Targets(targets, f.edition->family)) out.push_back(f);
    return out;
}

const SimulatorEdition* EditionInFolder(const std::string& folder, const PathTest& isFile) {
    // Only the simulators that keep their library in their own folder: a program name several
    // editions share would not tell whose library it is.
    for (const SimulatorEdition& e : kEditions)
        if ((e.library == LibraryPlace::InFolder || e.library == LibraryPlace::InFolderOrNew) &&
            isFile(JoinPath(NoTrailingSlash(folder), e.program)))
            return &e;
    return nullptr;
}

SimulatorChoice ChooseSimulator(const std::string& name, const std::vector<FoundSimulator>& found,
                                const std::vector<FsVersion>& targets) {
    SimulatorChoice c;
    const std::string want = LowerCase(Trim(name));
    const Simulator* family = nullptr;
    const SimulatorEdition* edition = nullptr;
    for (const Simulator& s : kSimulators)
        if (want == s.shortName) family = &s;
    for (const SimulatorEdition& e : kEditions)
        if (want == e.id) edition = &e;
    if (!family && !edition) {
        c.unknown = true;
        c.why = "\"" + name + "\" is no simulator that Setup knows. Setup.exe /? lists the names.";
        return c;
    }
    if (!family) family = FindSimulator(edition->family);
    const std::string wanted = family && !edition ? family->displayName : edition->displayName;
    if (!Targets(targets, family->version)) {
        c.why = "This add-on is made for " + SimulatorsText(targets) + ", not for " + wanted + ".";
        return c;
    }
    // An edition's own name ("fsx" is also boxed FSX's) chooses it when it is installed; a
    // simulator's name otherwise chooses its newest edition found.
    for (const FoundSimulator& f : found)
        if (!c.chosen && f.edition == edition) c.chosen = &f;
    const bool familyName = want == family->shortName;
    for (const FoundSimulator& f : found)
        if (!c.chosen && familyName && f.edition->family == family->version) c.chosen = &f;
    if (!c.chosen) c.why = std::string(familyName ? family->displayName : wanted) + " was not found on this computer.";
    return c;
}

std::string SimulatorSwitchNames() {
    std::string out;
    auto line = [&out](const std::string& name, const std::string& what) {
        out += "  " + name + std::string(name.size() < 8 ? 8 - name.size() : 1, ' ') + what + "\n";
    };
    for (const Simulator& s : kSimulators) line(s.shortName, std::string(s.displayName) + ", the newest edition found");
    // (fs98 ... fsx are also the names of one edition, chosen first when it is there.)
    for (const SimulatorEdition& e : kEditions)
        if (!SimulatorNamed(e.id)) line(e.id, e.displayName);
    return out;
}

SceneryLibrary LibraryOf(const SimulatorEdition* edition, const std::string& simFolder, const SystemFolders& folders,
                         const std::string& addonFolder, const PathTest& isFile) {
    SceneryLibrary lib;
    lib.simFolder = NoTrailingSlash(simFolder);
    const LibraryPlace place = edition ? edition->library : LibraryPlace::InFolderOrNew;
    auto below = [&](const std::string& root, const char* what, const std::string& file, SceneryLibrary::Kind kind) {
        if (root.empty()) {
            lib.why = std::string("the ") + what + " folder is not known";
            return lib;
        }
        lib.kind = kind;
        lib.path = JoinPath(JoinPath(NoTrailingSlash(root), edition->libraryDir), file);
        return lib;
    };
    switch (place) {
        case LibraryPlace::CommonAppData:
            return below(folders.commonAppData, "application data", kAppDataSceneryFile, SceneryLibrary::Kind::Cfg);
        case LibraryPlace::UserAppData:
            return below(folders.userAppData, "application data", kAppDataSceneryFile, SceneryLibrary::Kind::Cfg);
        case LibraryPlace::AddOnPackage:
            return below(folders.documents, "documents", JoinPath(addonFolder, kAddOnXmlFile), SceneryLibrary::Kind::AddOn);
        case LibraryPlace::InFolderOrNew:
            if (isFile(JoinPath(lib.simFolder, kNewSceneryCfgFile))) {
                lib.kind = SceneryLibrary::Kind::Cfg;
                lib.path = JoinPath(lib.simFolder, kNewSceneryCfgFile);
                return lib;
            }
            [[fallthrough]];
        case LibraryPlace::InFolder:
            if (lib.simFolder.empty()) {
                lib.why = "no simulator folder is known";
                return lib;
            }
            lib.kind = SceneryLibrary::Kind::Cfg;
            lib.path = JoinPath(lib.simFolder, kSceneryCfgFile);
            return lib;
    }
    return lib;
}

bool IsRunning(const SimulatorEdition& edition, const std::vector<std::string>& programs) {
    for (const std::string& p : programs)
        if (EqualsNoCase(p, edition.program)) return true;
    return false;
}

}  // namespace kit
