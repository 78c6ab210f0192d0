// Member names of an archive as paths below a chosen folder: nothing may land outside it.
#pragma once

#include <string>

#include "SafeName.h"

namespace kit {

using zip::IsDeviceName;

// The relative path (components joined by '\') a member may be written to, or false with the
// reason, by zip::CheckMemberName: nothing absolute, no drive or ':', no ".." or other names of
// dots and spaces only, no control characters or * ? " < > |, no device names. A name that is
// empty after dropping "." and empty components gives true with an empty rel.
bool SafeMemberPath(const std::string& name, std::string& rel, std::string& why);

// True when path (absolute, '\'-separated, already resolved) lies strictly inside dir.
// Case-insensitive as Windows names are. The last line of defence after SafeMemberPath.
bool IsInside(const std::string& dir, const std::string& path);

}  // namespace kit
