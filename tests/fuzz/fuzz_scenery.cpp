// libFuzzer target: any bytes as a scenery library, and an area to add (the input's first line,
// "title|Local", one line each as Setup makes them; the rest is the library), added and taken
// out as Setup and its uninstaller do it. What must hold:
//   - a library that cannot be read safely (UTF-16, or a NUL: not text) is said to be so;
//   - adding appends the area's lines, in the file's line ends, after line ends that put them
//     on lines of their own, and changes nothing else; the result reads back with the same
//     areas plus the one added, found again by its Local;
//   - taking out what was added gives the library back byte for byte, also for two areas
//     taken out in either order.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "Oracles.h"
#include "PackageInfo.h"
#include "SceneryCfg.h"

using oracle::Require;

namespace {

const std::string kSim = "C:\\FS2000";

bool SameArea(const kit::SceneryArea& a, const kit::SceneryArea& b) {
    return a.number == b.number && a.title == b.title && a.local == b.local && a.layer == b.layer &&
           a.active == b.active;
}

// Adds the area as Setup does (not when the library names its folder already) and checks the
// bytes it appended; false when it was not added.
bool Add(kit::SceneryCfg& cfg, const std::string& title, const std::string& local, kit::AddedArea& added) {
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
    return true;
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

    kit::SceneryCfg cfg(library);
    kit::AddedArea first, second;
    if (!Add(cfg, title, local, first)) return 0;
    kit::SceneryCfg one = cfg;
    Require(one.RemoveArea(first) && one.Bytes() == library, "taking out the area did not give the library back");
    if (!Add(cfg, title + " - two", local + "\\two", second)) return 0;
    for (bool firstFirst : {false, true}) {
        kit::SceneryCfg two = cfg;
        Require(two.RemoveArea(firstFirst ? first : second) && two.RemoveArea(firstFirst ? second : first) &&
                    two.Bytes() == library,
                "taking out two areas did not give the library back");
    }
    return 0;
}
