#include "SafePath.h"

#include <cctype>

#include "names.h"

namespace kit {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool IsDeviceName(const std::string& component) {
    std::string base = Upper(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
        base[3] <= '9')
        return true;
    return false;
}

bool SafeMemberPath(const std::string& name, std::string& rel, std::string& why) {
    rel.clear();
    why.clear();
    // What the engine refuses to write is left out here too, so that such a name is listed
    // as left out instead of failing the installation when the engine passes it by.
    std::string engineRel;
    if (!zc::safe_relative_path(name, engineRel, why)) return false;
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) {
        why = "it is an absolute path";
        return false;
    }
    if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') {
        why = "it names a drive";
        return false;
    }
    std::string part;
    auto flush = [&]() -> bool {
        if (part.empty() || part == ".") {
            part.clear();
            return true;
        }
        if (part.find_first_not_of(". ") == std::string::npos) {
            why = part == ".." ? "it contains \"..\"" : "it contains a name made only of dots";
            return false;
        }
        if (IsDeviceName(part)) {
            why = "\"" + part + "\" is a device name";
            return false;
        }
        if (!rel.empty()) rel += '\\';
        rel += part;
        part.clear();
        return true;
    };
    for (unsigned char c : name) {
        if (c == '/' || c == '\\') {
            if (!flush()) return false;
            continue;
        }
        if (c < 32) {
            why = "it contains a control character";
            return false;
        }
        if (c == ':') {
            why = "it contains \":\"";
            return false;
        }
        if (std::string("*?\"<>|").find(char(c)) != std::string::npos) {
            why = std::string("it contains \"") + char(c) + "\"";
            return false;
        }
        part += char(c);
    }
    if (!flush()) return false;
    return true;
}

bool IsInside(const std::string& dir, const std::string& path) {
    std::string d = Upper(dir), p = Upper(path);
    while (!d.empty() && d.back() == '\\') d.pop_back();
    if (d.empty() || p.size() <= d.size() + 1) return false;
    return p.compare(0, d.size(), d) == 0 && p[d.size()] == '\\';
}

}  // namespace kit
