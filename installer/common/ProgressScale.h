// The scale of every progress bar of the builder, the installer and the self-extractor: from
// kBarEmpty to kBarFull, so that a fraction f shows as f x 10000 + 1.
#pragma once

#include <cstdint>

namespace kit {

inline constexpr int kBarEmpty = 1, kBarFull = 10001;

// The position for `done` of `total`: worked out in 64 bits and truncated, so that totals of
// gigabytes neither overflow nor round up to a full bar early. Nothing to do (a total of 0)
// is a full bar; what runs past either end stays at it.
constexpr int BarPosition(int64_t done, int64_t total) {
    if (total <= 0) return kBarFull;
    if (done <= 0) return kBarEmpty;
    if (done >= total) return kBarFull;
    return int(done * (kBarFull - kBarEmpty) / total + kBarEmpty);
}

}  // namespace kit
