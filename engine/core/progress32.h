// Sizes over 2 GiB through the 32-bit fields of the component's progress events.
//
// The component and the builder read an event's size as a signed 32-bit number. While the
// batch's total fits, sizes go as they are. Past 2 GiB every size goes in units of 2^shift bytes,
// the smallest unit that makes the total fit; each member's size is the difference of its end
// and start in the running total (both in units), and each step the difference of its progress
// so far, so a member's steps still add up to its announced size and all sizes to the total.
#pragma once
#include <algorithm>
#include <cstdint>

namespace zc {

class SizeScaler {
public:
    // The batch's total bytes; returns it in units.
    uint32_t total(uint64_t n) {
        shift_ = 0;
        while ((n >> shift_) > 0x7FFFFFFF) ++shift_;
        next_ = cur_ = end_ = 0;
        return uint32_t(n >> shift_);
    }
    // A member of size bytes starts; returns its size in units.
    uint32_t start(uint64_t size) {
        cur_ = next_;
        end_ = next_ + size;
        next_ = end_;
        return unit(end_) - unit(cur_);
    }
    // n more bytes of the current member are done; returns the step in units (0: nothing to send).
    uint32_t done(uint64_t n) {
        uint64_t before = cur_;
        cur_ = std::min(end_, cur_ + n);
        return unit(cur_) - unit(before);
    }
    int shift() const { return shift_; }

private:
    uint32_t unit(uint64_t v) const { return uint32_t(v >> shift_); }
    int shift_ = 0;
    uint64_t next_ = 0, cur_ = 0, end_ = 0;
};

}  // namespace zc
