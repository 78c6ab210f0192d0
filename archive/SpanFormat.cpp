#include "SpanFormat.h"

#include <cstring>

#include "ZipFormat.h"

namespace zipfmt {

std::string PartNumberText(int diskIndex) { return std::to_string(diskIndex + 1001).substr(1); }

std::string PartFileName(const std::string& target, int diskIndex) {
    size_t slash = target.find_last_of("\\/:");
    size_t dot = target.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = target.size();
    return target.substr(0, dot) + PartNumberText(diskIndex) + target.substr(dot);
}

bool BuildSfxHeader(uint8_t bits, const std::string& caption, const std::string& defaultDir,
                    const std::string& commandLine, std::array<uint8_t, kSfxHeaderSize>& out) {
    out.fill(0);
    size_t total = caption.size() + defaultDir.size() + commandLine.size();
    if (total >= 250) return false;
    std::memcpy(out.data(), "SKX", 3);
    out[3] = bits;
    out[4] = uint8_t(caption.size());
    out[5] = uint8_t(defaultDir.size());
    out[6] = uint8_t(commandLine.size());
    size_t at = 7;
    for (const std::string* s : {&caption, &defaultDir, &commandLine}) {
        std::memcpy(out.data() + at, s->data(), s->size());
        at += s->size();
    }
    return true;
}

std::array<uint8_t, 22> EmptyArchiveEnd(uint32_t centralOffset) {
    ZipEndOfCentral e;
    e.HeaderSig = kEndOfCentralSig;
    e.CentralOffset = centralOffset;
    std::array<uint8_t, 22> out{};
    e.Encode(out.data());
    return out;
}

}  // namespace zipfmt
