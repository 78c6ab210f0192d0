#include "Destination.h"

#include <cctype>

#include "SafePath.h"

namespace kit {

std::string FolderNameFromTitle(const std::string& title) {
    std::string out;
    for (unsigned char c : title) {
        if (c < 32 || std::string("\\/:*?\"<>|").find(char(c)) != std::string::npos) continue;
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += char(c);
    }
    auto trimEnds = [](std::string& s) {
        while (!s.empty() && (s.back() == ' ' || s.back() == '.')) s.pop_back();
        size_t b = 0;
        while (b < s.size() && (s[b] == ' ' || s[b] == '.')) ++b;
        s.erase(0, b);
    };
    trimEnds(out);
    if (out.size() > 64) {
        out.resize(64);
        trimEnds(out);
    }
    if (out.empty()) return "Addon";
    // A device stays one whatever extension follows it ("nul.txt"): the suffix goes on its stem.
    if (IsDeviceName(out)) {
        const size_t dot = out.find('.');
        std::string stem = out.substr(0, dot);
        while (stem.back() == ' ') stem.pop_back();
        out = stem + " Addon" + (dot == std::string::npos ? "" : out.substr(dot));
    }
    return out;
}

namespace {

std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : name) {
        if (c == '/' || c == '\\') {
            if (!cur.empty() && cur != ".") parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty() && cur != ".") parts.push_back(cur);
    return parts;
}

bool IsOneOf(const std::string& name, std::initializer_list<const char*> list) {
    for (const char* s : list)
        if (EqualsNoCase(name, s)) return true;
    return false;
}

}  // namespace

std::string SingleTopFolder(const std::vector<std::string>& memberNames) {
    std::string top;
    bool any = false;
    for (const std::string& n : memberNames) {
        std::vector<std::string> parts = Components(n);
        if (parts.empty()) continue;
        bool isDir = !n.empty() && (n.back() == '/' || n.back() == '\\');
        // A file at the top level: the archive is not one folder.
        if (parts.size() == 1 && !isDir) return "";
        if (!any) {
            top = parts[0];
            any = true;
        } else if (!EqualsNoCase(top, parts[0])) {
            return "";
        }
    }
    return any ? top : "";
}

std::string AddonSubfolder(AddonType type, const std::string& title, const std::vector<std::string>& memberNames,
                           FsVersion simulator) {
    const std::string own = FolderNameFromTitle(title);
    const std::string top = SingleTopFolder(memberNames);
    switch (type) {
        case AddonType::Scenery:
            // An area holds "scenery" and "texture" folders; a lone one of those is not an area.
            if (!top.empty() && !IsOneOf(top, {"scenery", "texture"})) return "Addon Scenery";
            return "Addon Scenery\\" + own;
        case AddonType::SceneryMD: return "Addon Scenery";
        case AddonType::Aircraft: {
            const std::string aircraft = FindSimulator(simulator) ? FindSimulator(simulator)->aircraft : "Aircraft";
            if (!top.empty() && !IsOneOf(top, {"model", "panel", "sound", "texture"})) return aircraft;
            return aircraft + "\\" + own;
        }
        case AddonType::Sound: return "Sound";
        case AddonType::Panel: return "Gauges";
        case AddonType::Adventure: return "Adventures";
        default: return own;
    }
}

std::string TypeNote(AddonType type, FsVersion simulator) {
    const Simulator* sim = FindSimulator(simulator);
    const std::string aircraft = sim ? sim->aircraft : "Aircraft";
    switch (type) {
        case AddonType::Scenery:
            return "Scenery is installed as an area of its own below \"Addon Scenery\" and added to the simulator's "
                   "Scenery Library.";
        case AddonType::SceneryMD:
            return "This scenery brings its own area folders; they are placed in \"Addon Scenery\" and each is "
                   "added to the simulator's Scenery Library.";
        case AddonType::Aircraft:
            return "Aircraft go to the \"" + aircraft +
                   "\" folder, each in a folder of its own. Choose the new aircraft in the simulator's aircraft menu.";
        case AddonType::Sound: return "Sounds go to the simulator's \"Sound\" folder.";
        case AddonType::Panel: return "Panels and gauges go to the simulator's \"Gauges\" folder.";
        case AddonType::Adventure: return "Adventures go to the simulator's \"Adventures\" folder.";
        default: return "The files go to a folder named after the add-on in the simulator's folder.";
    }
}

std::string JoinPath(const std::string& base, const std::string& rel) {
    if (rel.empty()) return base;
    if (base.empty()) return rel;
    std::string b = base;
    while (b.size() > 1 && (b.back() == '\\' || b.back() == '/') && !(b.size() == 3 && b[1] == ':')) b.pop_back();
    if (b.back() == '\\' || b.back() == '/') return b + rel;
    return b + "\\" + rel;
}

std::string NoTrailingSlash(std::string p) {
    while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    return p;
}

bool CleanSubfolder(const std::string& typed, std::string& clean, std::string& why) {
    std::string t = Trim(typed);
    for (char& c : t)
        if (c == '/') c = '\\';
    if (!t.empty() && t[0] == '\\') {
        why = "it starts with \"\\\"; give a folder inside the simulator's folder";
        return false;
    }
    while (!t.empty() && (t.back() == '\\' || t.back() == ' ')) t.pop_back();
    if (t.empty()) {
        clean.clear();
        return true;
    }
    std::string rel;
    if (!SafeMemberPath(t, rel, why)) return false;
    clean = rel;
    return true;
}

}  // namespace kit
