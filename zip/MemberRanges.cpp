#include "MemberRanges.h"

#include <algorithm>

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

}  // namespace zip
