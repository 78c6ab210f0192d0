// Member names of an archive as paths below a chosen folder: nothing may land outside it.
#pragma once

#include <string>

namespace kit {

// True for the names Windows keeps for devices (CON, PRN, AUX, NUL, COM1-9, LPT1-9), with or
// without an extension: "nul.txt" opens the device, not a file.
bool IsDeviceName(const std::string& component);

// The relative path (components joined by '\') a member may be written to, or false with the
// reason. Separators may be '/' or '\'; empty and "." components are dropped. Refused:
//  - a leading separator (an absolute path, also "\\server\share" and "\\?\" forms),
//  - a drive ("C:", also "C:name") or any ':' (alternate data streams),
//  - ".." and every other component made only of dots and spaces (Windows strips trailing
//    dots and spaces, so "..." or ".. " would walk up as well),
//  - control characters and the characters * ? " < > |,
//  - device names.
// A name that is empty after dropping gives true with an empty rel (nothing to write).
bool SafeMemberPath(const std::string& name, std::string& rel, std::string& why);

// True when path (absolute, '\'-separated, already resolved) lies strictly inside dir.
// Case-insensitive as Windows names are. The last line of defence after SafeMemberPath.
bool IsInside(const std::string& dir, const std::string& path);

}  // namespace kit
