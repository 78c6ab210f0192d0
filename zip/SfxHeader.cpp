#include "SfxHeader.h"

#include <cstring>

namespace zip {

bool ParseSfxHeader(const uint8_t* p, size_t n, SfxHeader& out, std::string& why) {
    if (n < kSfxHeaderSize) {
        why = "the header is " + std::to_string(n) + " bytes long, not " + std::to_string(kSfxHeaderSize);
        return false;
    }
    if (std::memcmp(p, "SKX", 3) != 0) {
        why = "the header does not start with \"SKX\"";
        return false;
    }
    size_t a = p[4], b = p[5], c = p[6];
    // The texts follow the 7 fixed bytes and must end inside the header.
    if (7 + a + b + c > kSfxHeaderSize) {
        why = "the header's texts (" + std::to_string(a + b + c) + " bytes) do not fit in it";
        return false;
    }
    out.bits = p[3];
    const char* t = reinterpret_cast<const char*>(p + 7);
    out.caption.assign(t, a);
    out.defaultDir.assign(t + a, b);
    out.commandLine.assign(t + a + b, c);
    return true;
}

bool BuildSfxHeader(const SfxHeader& h, uint8_t out[kSfxHeaderSize]) {
    std::memset(out, 0, kSfxHeaderSize);
    if (h.caption.size() + h.defaultDir.size() + h.commandLine.size() >= kSfxTextLimit) return false;
    std::memcpy(out, "SKX", 3);
    out[3] = h.bits;
    out[4] = uint8_t(h.caption.size());
    out[5] = uint8_t(h.defaultDir.size());
    out[6] = uint8_t(h.commandLine.size());
    size_t at = 7;
    for (const std::string* s : {&h.caption, &h.defaultDir, &h.commandLine}) {
        std::memcpy(out + at, s->data(), s->size());
        at += s->size();
    }
    return true;
}

bool BuildSfxHeader(uint8_t bits, const std::string& caption, const std::string& defaultDir,
                    const std::string& commandLine, std::array<uint8_t, kSfxHeaderSize>& out) {
    return BuildSfxHeader(SfxHeader{bits, caption, defaultDir, commandLine}, out.data());
}

}  // namespace zip
