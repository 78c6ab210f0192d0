#include "SafeName.h"

namespace zip {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

NameVerdict Refuse(NameFault fault, std::string part = {}) {
    NameVerdict v;
    v.fault = fault;
    v.part = std::move(part);
    return v;
}

}  // namespace

bool IsDeviceName(const std::string& component) {
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = Lower(c);
    for (const char* device : {"con", "prn", "aux", "nul", "clock$", "conin$", "conout$"})
        if (base == device) return true;
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

NameVerdict CheckMemberName(const std::string& name) {
    // Whole-name faults first, in the order their reasons are most telling.
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) return Refuse(NameFault::Absolute);
    if (name.size() >= 2 && name[1] == ':') return Refuse(NameFault::Drive);
    for (unsigned char c : name)
        if (c < 32 || c == 127) return Refuse(NameFault::Control);
    if (name.find(':') != std::string::npos) return Refuse(NameFault::Colon);
    NameVerdict v;
    size_t i = 0;
    while (i <= name.size()) {
        size_t j = name.find_first_of("/\\", i);
        if (j == std::string::npos) j = name.size();
        std::string part = name.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") return Refuse(NameFault::DotDot);
        // Windows drops trailing dots and spaces, so "... " would walk up like "..".
        if (part.find_first_not_of(". ") == std::string::npos) return Refuse(NameFault::DotsOnly);
        if (IsDeviceName(part)) return Refuse(NameFault::Device, part);
        if (!v.rel.empty()) v.rel += '/';
        v.rel += part;
    }
    if (size_t bad = name.find_first_of("*?\"<>|"); bad != std::string::npos)
        return Refuse(NameFault::Reserved, name.substr(bad, 1));
    return v;
}

}  // namespace zip
