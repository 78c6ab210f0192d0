#include "SafePath.h"

#include <algorithm>
#include <cctype>

#include "Names.h"

namespace kit {

bool SafeMemberPath(const std::string& name, std::string& rel, std::string& why) {
    // The engine's rule, so that a name the engine will not write is listed as left out here
    // instead of failing the installation when the engine passes it by; worded as the engine
    // words it, but for the characters no Windows file name holds.
    zip::NameVerdict v = zip::CheckMemberName(name);
    why = v.fault == zip::NameFault::Reserved ? "it contains \"" + v.part + "\"" : zip::UnsafeNameReason(v);
    rel = v.rel;
    std::replace(rel.begin(), rel.end(), '/', '\\');
    return v.Ok();
}

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool IsInside(const std::string& dir, const std::string& path) {
    std::string d = Upper(dir), p = Upper(path);
    while (!d.empty() && d.back() == '\\') d.pop_back();
    if (d.empty() || p.size() <= d.size() + 1) return false;
    return p.compare(0, d.size(), d) == 0 && p[d.size()] == '\\';
}

}  // namespace kit
