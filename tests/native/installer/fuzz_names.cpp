// libFuzzer target: arbitrary bytes as a member name. Whatever the rule accepts must stay
// below the folder by an independent reading of the path as Windows would take it, and the
// engine's and the installer's verdicts must be the same.
#include <algorithm>
#include <cstdint>
#include <string>

#include "Oracles.h"
#include "SafeName.h"
#include "SafePath.h"
#include "Names.h"

namespace {

// True when rel, joined below a folder, could name anything but a file inside it.
bool LeavesTheFolder(const std::string& rel) {
    if (rel.empty()) return false;
    for (const std::string& c : oracle::Split(rel, '/'))
        if (!oracle::PlainName(c)) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    zip::NameVerdict v = zip::CheckMemberName(name);
    if (v.Ok() && LeavesTheFolder(v.rel)) __builtin_trap();
    if (!v.Ok() && !v.rel.empty()) __builtin_trap();
    std::string engineRel, engineWhy, kitRel, kitWhy;
    bool engine = zip::SafeRelativePath(name, engineRel, engineWhy);
    bool kit = kit::SafeMemberPath(name, kitRel, kitWhy);
    std::replace(kitRel.begin(), kitRel.end(), '\\', '/');
    if (engine != v.Ok() || kit != v.Ok() || engineRel != kitRel) __builtin_trap();
    if (engine != engineWhy.empty()) __builtin_trap();
    return 0;
}
