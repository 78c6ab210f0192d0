#include "SceneryCfg.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstdio>

#include "PackageInfo.h"

namespace kit {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

// The number of an "Area.NNN" section name, 0 for other sections.
int AreaNumber(const std::string& name) {
    std::string n = Lower(Trim(name));
    if (n.compare(0, 5, "area.") != 0 || n.size() == 5) return 0;
    int v = 0;
    for (size_t i = 5; i < n.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(n[i])) || v > 100000) return 0;
        v = v * 10 + (n[i] - '0');
    }
    return v;
}

// Calls f(lineBegin, lineEnd, nextLine) for each line of s between from and to; lineEnd is
// before the line end characters.
template <class F>
void ForLines(const std::string& s, size_t from, size_t to, F f) {
    size_t i = from;
    while (i < to) {
        size_t nl = s.find('\n', i);
        size_t next = nl == std::string::npos || nl >= to ? to : nl + 1;
        size_t e = next;
        while (e > i && (s[e - 1] == '\n' || s[e - 1] == '\r')) --e;
        f(i, e, next);
        i = next;
    }
}

std::string NoTrailingSlash(std::string p) {
    while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

}  // namespace

std::string ResolveLocal(const std::string& local, const std::string& simFolder) {
    std::string l = Trim(local);
    bool absolute = (l.size() >= 2 && l[1] == ':') || (!l.empty() && (l[0] == '\\' || l[0] == '/'));
    std::string path = NoTrailingSlash(absolute ? l : NoTrailingSlash(simFolder) + "\\" + l);
    // "Addon Scenery\x\..\Dotted" is the folder "Addon Scenery\Dotted", as Windows opens it.
    std::string root;
    if (path.size() >= 2 && path[1] == ':') root = path.substr(0, 2) + "\\";
    else if (path.compare(0, 2, "\\\\") == 0) root = "\\\\";
    else if (!path.empty() && path[0] == '\\') root = "\\";
    std::vector<std::string> parts;
    for (size_t i = root.size(); i <= path.size();) {
        size_t j = std::min(path.find('\\', i), path.size());
        std::string part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out = root;
    for (size_t k = 0; k < parts.size(); ++k) out += (k ? "\\" : "") + parts[k];
    return out;
}

bool IsWideText(const std::string& bytes) {
    if (bytes.size() >= 2 && ((bytes[0] == '\xff' && bytes[1] == '\xfe') || (bytes[0] == '\xfe' && bytes[1] == '\xff')))
        return true;
    // Without a byte order mark: every other byte of plain text is zero.
    size_t zeros = 0, n = std::min<size_t>(bytes.size(), 512);
    for (size_t k = 0; k < n; ++k) zeros += bytes[k] == '\0';
    return n >= 4 && zeros * 4 >= n;
}

std::string LibraryTextProblem(const std::string& bytes) {
    if (IsWideText(bytes)) return "is kept as UTF-16 text";
    // A NUL, as in the block of zeros a file cut short by a crash may end with: the simulator
    // reads no further, so an area added behind it would never be seen.
    if (bytes.find('\0') != std::string::npos) return "holds bytes that are not text";
    return "";
}

std::string SceneryCfg::SectionName(int number) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Area.%03d", number);
    return buf;
}

std::vector<SceneryCfg::Section> SceneryCfg::Sections() const {
    std::vector<Section> out;
    ForLines(bytes_, 0, bytes_.size(), [&](size_t b, size_t e, size_t) {
        size_t p = bytes_.find_first_not_of(" \t", b);
        if (p >= e || bytes_[p] != '[') return;
        size_t close = bytes_.find(']', p);
        if (close == std::string::npos || close >= e) return;
        if (!out.empty()) out.back().end = b;
        out.push_back({bytes_.substr(p + 1, close - p - 1), b, bytes_.size()});
    });
    return out;
}

std::vector<SceneryArea> SceneryCfg::Areas() const {
    std::vector<SceneryArea> areas;
    for (const Section& s : Sections()) {
        int n = AreaNumber(s.name);
        if (!n) continue;
        SceneryArea a;
        a.number = n;
        ForLines(bytes_, s.begin, s.end, [&](size_t b, size_t e, size_t) {
            std::string line = bytes_.substr(b, e - b);
            size_t eq = line.find('=');
            std::string t = Trim(line);
            if (eq == std::string::npos || t.empty() || t[0] == ';' || t[0] == '[') return;
            std::string key = Lower(Trim(line.substr(0, eq)));
            std::string value = Trim(line.substr(eq + 1));
            if (key == "title") a.title = value;
            else if (key == "local") a.local = value;
            else if (key == "layer") {
                // A layer beyond what an int holds is the highest there is, not a negative one.
                long long v = std::strtoll(value.c_str(), nullptr, 10);
                a.layer = int(std::clamp<long long>(v, INT_MIN, INT_MAX));
            }
            else if (key == "active") a.active = EqualsNoCase(value, "TRUE");
        });
        areas.push_back(a);
    }
    return areas;
}

int SceneryCfg::FindLocal(const std::string& folder, const std::string& simFolder) const {
    std::string want = Lower(NoTrailingSlash(folder));
    for (const SceneryArea& a : Areas())
        if (!Trim(a.local).empty() && Lower(ResolveLocal(a.local, simFolder)) == want) return a.number;
    return 0;
}

std::string LineEndOf(const std::string& bytes) {
    size_t nl = bytes.find('\n');
    if (nl == std::string::npos) return "\r\n";
    return nl > 0 && bytes[nl - 1] == '\r' ? "\r\n" : "\n";
}

AddedArea SceneryCfg::AddArea(const std::string& title, const std::string& local) {
    int number = 0, layer = 0;
    for (const SceneryArea& a : Areas()) {
        number = std::max(number, a.number);
        layer = std::max(layer, a.layer);
    }
    const std::string le = LineEndOf(bytes_);
    AddedArea added;
    added.number = number + 1;
    added.local = local;
    // An empty line between the last section and the new one, as the simulator writes it.
    if (!bytes_.empty()) {
        if (bytes_.back() != '\n') added.separator += le;
        size_t lastStart = bytes_.find_last_of('\n', bytes_.size() - 1 - (bytes_.back() == '\n' ? 1 : 0));
        lastStart = lastStart == std::string::npos ? 0 : lastStart + 1;
        if (!Blank(bytes_.substr(lastStart))) added.separator += le;
    }
    bytes_ += added.separator + "[" + SectionName(added.number) + "]" + le + "Title=" + title + le + "Local=" + local +
              le + "Layer=" + std::to_string(layer == INT_MAX ? layer : layer + 1) + le + "Active=TRUE" + le + "Required=FALSE" + le;
    return added;
}

bool SceneryCfg::RemoveArea(const AddedArea& area) {
    std::vector<SceneryArea> areas = Areas();
    auto sameLocal = [&](const SceneryArea& a) { return Lower(Trim(a.local)) == Lower(Trim(area.local)); };
    int number = 0;
    for (const SceneryArea& a : areas)
        if (a.number == area.number && (area.local.empty() || sameLocal(a))) number = a.number;
    for (const SceneryArea& a : areas)
        if (!number && !area.local.empty() && sameLocal(a)) number = a.number;
    if (!number) return false;
    for (const Section& s : Sections()) {
        if (AreaNumber(s.name) != number) continue;
        // The section's own lines end with its last line that holds something; empty lines
        // after it separate it from the next section and stay.
        size_t end = s.begin;
        ForLines(bytes_, s.begin, s.end, [&](size_t b, size_t e, size_t next) {
            if (!Blank(bytes_.substr(b, e - b))) end = next;
        });
        size_t begin = s.begin;
        const std::string& sep = area.separator;
        // The line ends the add put before the header go with it, when they are still there.
        if (!sep.empty() && begin >= sep.size() && bytes_.compare(begin - sep.size(), sep.size(), sep) == 0)
            begin -= sep.size();
        bytes_.erase(begin, end - begin);
        return true;
    }
    return false;
}

}  // namespace kit
