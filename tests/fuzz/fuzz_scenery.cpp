// libFuzzer target: any bytes as a scenery library, and an area to add (the input's first line,
// "title|Local"; the rest is the library), added and taken out as Setup and its uninstaller do:
// as a scenery.cfg (FS98 to Prepar3D v3, and FS2004's NewScenery.cfg) and as a Prepar3D v4/v5
// add-on.xml. What must hold:
//   - a library that is not text (UTF-16, or a NUL) is said to be so;
//   - adding changes no byte but inserts the area: into a scenery.cfg one section appended on
//     lines of its own, in the file's line ends; into an add-on.xml one component (a missing
//     file becomes the document Setup makes). The result reads back with the same areas plus
//     the one added, found again by its Local or Path. An add-on.xml that cannot be added to
//     is left as it was, and said;
//   - taking out what was added, one area or two in either order, gives the library back byte
//     for byte (an add-on.xml left holding only the document Setup makes goes as a whole);
//     taking it out of the scenery.cfg beside it, which never got it, changes nothing.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "AddOnXml.h"
#include "Oracles.h"
#include "PackageInfo.h"
#include "SceneryCfg.h"

using oracle::Require;

namespace {

const std::string kSim = "C:\\FS2000";
const std::string kAddOns = "C:\\Documents and Settings\\Ann\\My Documents\\Prepar3D v5 Add-ons\\Addon";

bool SameArea(const kit::SceneryArea& a, const kit::SceneryArea& b) {
    return a.number == b.number && a.title == b.title && a.local == b.local && a.layer == b.layer &&
           a.active == b.active;
}

// Adds the area as Setup does (not when the library names its folder already) and checks the
// bytes it appended; false when it was not added.
bool Add(kit::SceneryCfg& cfg, const std::string&, const std::string& title, const std::string& local,
         kit::AddedArea& added) {
    if (cfg.FindLocal(kit::ResolveLocal(local, kSim), kSim)) return false;
    const std::string before = cfg.Bytes();
    const std::vector<kit::SceneryArea> areas = cfg.Areas();
    added = cfg.AddArea(title, local);
    const std::string& after = cfg.Bytes();
    Require(after.compare(0, before.size(), before) == 0, "adding changed a byte of the library");
    const std::string tail = after.substr(before.size());
    const size_t nl = before.find('\n');
    const std::string le = nl == std::string::npos || (nl > 0 && before[nl - 1] == '\r') ? "\r\n" : "\n";
    std::vector<std::string> lines;
    for (size_t i = 0, j; i < tail.size(); i = j + le.size())
        lines.push_back(tail.substr(i, (j = std::min(tail.find(le, i), tail.size())) - i));
    const size_t header = std::find_if(lines.begin(), lines.end(), [](auto& l) { return !l.empty(); }) - lines.begin();
    bool own = tail.size() >= le.size() && tail.compare(tail.size() - le.size(), le.size(), le) == 0 &&
               header < lines.size() && lines[header].rfind("[Area.", 0) == 0 &&
               (before.empty() || before.back() == '\n' || header > 0);
    for (size_t k = 0; k < lines.size(); ++k)
        own = own && lines[k].find_first_of("\r\n") == std::string::npos && (k == header || lines[k].rfind('[', 0));
    Require(own, "the added area is not one section on lines of its own, in the file's line ends");

    const std::vector<kit::SceneryArea> now = kit::SceneryCfg(after).Areas();
    Require(now.size() == areas.size() + 1 && std::equal(areas.begin(), areas.end(), now.begin(), SameArea),
            "the library does not read back with the same areas");
    const kit::SceneryArea& a = now.back();
    Require(a.number == added.number && a.title == title && a.local == local && a.active,
            "the added area does not read back as added");
    for (const kit::SceneryArea& b : areas)
        Require(a.number > b.number && (a.layer > b.layer || a.layer == INT_MAX), "the added area is not on top");
    Require(kit::SceneryCfg(after).FindLocal(kit::ResolveLocal(local, kSim), kSim) == a.number,
            "the added area is not found by its Local");
    kit::SceneryCfg beside(before);
    beside.RemoveArea(added);
    Require(beside.Bytes() == before, "taking the area out of the library beside it, which never got it, changed it");
    return true;
}

bool SameComponent(const kit::AddOnXml::Component& a, const kit::AddOnXml::Component& b) {
    return a.category == b.category && a.path == b.path && a.name == b.name;
}

// Adds the area as a scenery component as Setup does (not when a component names its folder
// already) and checks what changed; false when it was not added.
bool Add(kit::AddOnXml& xml, const std::string& title, const std::string& name, const std::string& path,
                  kit::AddedArea& added) {
    if (xml.FindPath(path, kAddOns)) return false;
    const std::string before = xml.Bytes().empty() ? kit::AddOnXml::EmptyDocument(title) : xml.Bytes();
    const std::vector<kit::AddOnXml::Component> components = kit::AddOnXml(before).Components();
    std::string why;
    if (!xml.AddScenery(title, name, path, added, why)) {
        Require(xml.Bytes() == before && !why.empty(),
                "an add-on package that was not added to is changed or not said");
        return false;
    }
    const std::string& after = xml.Bytes();
    size_t head = 0, tail = 0;
    while (head < before.size() && before[head] == after[head]) ++head;
    while (tail < before.size() - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
    Require(after.size() > before.size() && head + tail == before.size(),
            "adding changed a byte of the add-on package");
    const std::vector<kit::AddOnXml::Component> now = kit::AddOnXml(after).Components();
    Require(now.size() == components.size() + 1 && added.number >= 1 && size_t(added.number) <= now.size() &&
                std::equal(components.begin(), components.begin() + (added.number - 1), now.begin(), SameComponent) &&
                std::equal(components.begin() + (added.number - 1), components.end(), now.begin() + added.number,
                           SameComponent),
            "the add-on package does not read back with the same components");
    const kit::AddOnXml::Component& c = now[added.number - 1];
    const char* blanks = " \t\r\n";
    Require(c.category == "Scenery" && c.path == oracle::Trim(path, blanks) && c.name == oracle::Trim(name, blanks),
            "the added component does not read back as added");
    Require(kit::AddOnXml(after).FindPath(path, kAddOns) == added.number,
            "the added component is not found by its Path");
    return true;
}

bool TakeOut(kit::SceneryCfg& cfg, const kit::AddedArea& a) { return cfg.RemoveArea(a); }
bool TakeOut(kit::AddOnXml& xml, const kit::AddedArea& a) { return xml.RemoveScenery(a); }

// Adds the area and one more below it; taking out the first alone, and both in either order,
// gives `back` each time.
template <class Library>
void AddAndTakeOut(Library library, const std::string& back, const std::string& title, const std::string& where) {
    kit::AddedArea first, second;
    if (!Add(library, title, title, where, first)) return;
    Library one = library;
    Require(TakeOut(one, first) && one.Bytes() == back, "taking out the area did not give the library back");
    if (!Add(library, title, title + " - two", where + "\\two", second)) return;
    for (bool firstFirst : {false, true}) {
        Library two = library;
        Require(TakeOut(two, firstFirst ? first : second) && TakeOut(two, firstFirst ? second : first) &&
                    two.Bytes() == back,
                "taking out two areas did not give the library back");
    }
}

// The library as an add-on.xml of Prepar3D v4 or v5; the area's Path is its whole folder.
void CheckAddOnXml(const std::string& library, const std::string& title, const std::string& local) {
    // A folder as Setup names one: whole, each of its names one Windows keeps as it is.
    std::string path = kSim;
    std::string relative = local;
    std::replace(relative.begin(), relative.end(), '/', '\\');
    for (const std::string& name : oracle::Split(relative, '\\'))
        if (oracle::PlainName(name) && name.back() != '.' && name.back() != ' ' && name.front() != ' ')
            path += "\\" + name;
    if (path == kSim) return;
    // What a file goes back to once its last component is out: nothing, when it held nothing
    // but the document Setup makes (one it made, or one it left behind).
    const size_t name = library.find("<AddOn.Name>"), end = library.find("</AddOn.Name>");
    std::string leftover = library;
    for (const char* le : {"\r\n", "\n"})
        if (name != std::string::npos && end > name &&
            library == kit::AddOnXml::EmptyDocument(kit::XmlUnescape(library.substr(name + 12, end - name - 12)), le))
            leftover.clear();
    AddAndTakeOut(kit::AddOnXml(library), leftover, title, path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nl = input.find('\n');
    if (nl == std::string::npos) return 0;
    std::string line = input.substr(0, nl);
    line.erase(std::remove_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\0'; }), line.end());
    const size_t bar = line.find('|');
    // A title as Setup gives one: trimmed, never empty.
    std::string title = kit::Trim(bar == std::string::npos ? "" : line.substr(0, bar));
    if (title.empty()) title = "Addon";
    const std::string local = kit::Trim(bar == std::string::npos ? line : line.substr(bar + 1));
    const std::string library = input.substr(nl + 1);
    if (local.empty()) return 0;

    const bool wide = library.rfind("\xff\xfe", 0) == 0 || library.rfind("\xfe\xff", 0) == 0;
    const bool said = !kit::LibraryTextProblem(library).empty();
    Require(said || !(wide || library.find('\0') != std::string::npos),
            "a library that cannot be read safely is not said to be so");
    if (said) return 0;
    CheckAddOnXml(library, title, local);

    AddAndTakeOut(kit::SceneryCfg(library), library, title, local);
    return 0;
}
