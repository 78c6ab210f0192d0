// The one overlap rule for every reader of ours that extracts (the engine, the self-extractor):
// each member's bytes, from its local header to the end of its data descriptor, lie apart from
// every other member's and before the central directory. Many directory entries on one data
// record is how a zip bomb turns a few kilobytes into gigabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Directory.h"
#include "FileSystem.h"

namespace zip {

// The bytes of one member in the file: [from, to).
struct MemberRange {
    uint64_t from = 0, to = 0;
    size_t member = 0;  // the caller's index of the member
};

struct RangeClash {
    bool found = false;
    bool withDirectory = false;  // `first` runs into the central directory (second unused)
    size_t first = 0, second = 0;
};

// The first clash in file order, or none.
RangeClash FindRangeClash(std::vector<MemberRange> ranges, uint64_t directoryStart);

// Refuses (ZipError kFormat, naming both) an archive where the rule is broken; nothing is read
// from it.
void CheckMemberRanges(File& f, const Directory& d);

}  // namespace zip
