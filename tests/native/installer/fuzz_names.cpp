// libFuzzer target: arbitrary bytes as a member name. Whatever the rule accepts must stay
// below the folder by an independent reading of the path as Windows would take it, and the
// engine's and the installer's verdicts must be the same.
#include <algorithm>
#include <cstdint>
#include <string>

#include "SafeName.h"
#include "SafePath.h"
#include "Names.h"

namespace {

// A component as Windows opens it: trailing dots and spaces dropped, case folded.
std::string AsWindowsOpens(std::string c) {
    while (!c.empty() && (c.back() == '.' || c.back() == ' ')) c.pop_back();
    std::transform(c.begin(), c.end(), c.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
    return c;
}

bool NamesADevice(const std::string& component) {
    std::string stem = AsWindowsOpens(component.substr(0, component.find('.')));
    static const char* devices[] = {"con", "prn", "aux", "nul", "clock$", "conin$", "conout$"};
    for (const char* d : devices)
        if (stem == d) return true;
    return stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) && stem[3] > '0' &&
           stem[3] <= '9';
}

// True when rel, joined below a folder, could name anything but a file inside it.
bool LeavesTheFolder(const std::string& rel) {
    if (rel.empty()) return false;
    if (rel.front() == '/' || rel.back() == '/') return true;
    size_t start = 0;
    for (;;) {
        size_t end = rel.find('/', start);
        std::string c = rel.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string w = AsWindowsOpens(c);
        if (w.empty() || w == "." || w == ".." || NamesADevice(c)) return true;
        for (unsigned char ch : c)
            if (ch < 32 || ch == 127 || std::string("\\:*?\"<>|").find(char(ch)) != std::string::npos) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
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
