#include "MemberRanges.h"

#include <algorithm>

#include "Errors.h"
#include "Member.h"

namespace zip {

RangeClash FindRangeClash(std::vector<MemberRange> ranges, uint64_t directoryStart) {
    std::sort(ranges.begin(), ranges.end(), [](const MemberRange& a, const MemberRange& b) {
        return a.from != b.from ? a.from < b.from : a.to < b.to;
    });
    RangeClash c;
    for (size_t i = 0; i < ranges.size(); ++i) {
        const MemberRange& a = ranges[i];
        // Sorted by start, a member that reaches into the next one's start shares bytes with it.
        if (i + 1 < ranges.size() && a.to > ranges[i + 1].from) {
            c.found = true;
            c.first = a.member;
            c.second = ranges[i + 1].member;
            return c;
        }
        if (a.to > directoryStart) {
            c.found = c.withDirectory = true;
            c.first = a.member;
            return c;
        }
    }
    return c;
}

void CheckMemberRanges(File& f, const Directory& d) {
    std::vector<MemberRange> ranges;
    ranges.reserve(d.entries.size());
    for (size_t i = 0; i < d.entries.size(); ++i) {
        const Entry& e = d.entries[i];
        // A member whose header or data cannot be read fails on its own; it still holds its header.
        uint64_t to = e.headerPos + kLocalSize;
        try {
            uint64_t data = DataOffset(f, e, d.fileSize);
            to = data + e.csize;
            to += DescriptorLength(f, e, to, d.fileSize);
        } catch (const ZipError&) {
        }
        ranges.push_back({e.headerPos, to, i});
    }
    RangeClash c = FindRangeClash(std::move(ranges), d.cdStart);
    if (!c.found) return;
    if (c.withDirectory)
        throw ZipError(kFormat, "The zip file is damaged or hostile: the data of \"" + d.entries[c.first].name +
                                    "\" overlaps the central directory; nothing is read from it");
    throw ZipError(kFormat, "The zip file is damaged or hostile: the data of \"" + d.entries[c.second].name +
                                "\" overlaps that of \"" + d.entries[c.first].name +
                                "\" (one piece of data counted twice, as zip bombs do); nothing is read from it");
}

}  // namespace zip
