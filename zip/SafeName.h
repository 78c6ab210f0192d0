// The one rule for member names written below a folder: what a name may become as a path, and
// why a name is refused. Callers word the reason themselves; the verdict is the same for all.
#pragma once

#include <string>

namespace zip {

enum class NameFault {
    None,
    Absolute,  // a leading '/' or '\' (also "\\server\share" and "\\?\" forms)
    Drive,     // "C:" or "C:name"
    Control,   // a control character, DEL included
    Colon,     // ':' elsewhere (an alternate data stream on NTFS)
    DotDot,    // a ".." component
    DotsOnly,  // a component of dots and spaces only, which Windows would shorten to ".." or "."
    Device,    // a component that names a device (CON, NUL, COM1, CONIN$...)
    Reserved,  // one of * ? " < > |, which no Windows file name holds
};

struct NameVerdict {
    NameFault fault = NameFault::None;
    std::string rel;   // when accepted: the components joined by '/' ("" = nothing to write)
    std::string part;  // the component at fault (Device), or the character (Reserved)
    bool Ok() const { return fault == NameFault::None; }
    // Absolute, Drive and DotDot are the ways out of the folder; the others are names that
    // Windows cannot hold as files.
    bool Escapes() const {
        return fault == NameFault::Absolute || fault == NameFault::Drive || fault == NameFault::DotDot;
    }
};

// Separators may be '/' or '\'; empty and "." components are dropped.
NameVerdict CheckMemberName(const std::string& name);

// True for the names Windows keeps for devices, with or without an extension and trailing
// spaces: "nul.txt" opens the device, not a file.
bool IsDeviceName(const std::string& component);

}  // namespace zip
