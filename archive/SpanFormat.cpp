#include "SpanFormat.h"

#include "ZipFormat.h"

namespace zipfmt {

std::string PartNumberText(int diskIndex) { return std::to_string(diskIndex + 1001).substr(1); }

std::string PartFileName(const std::string& target, int diskIndex) {
    size_t slash = target.find_last_of("\\/:");
    size_t dot = target.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = target.size();
    return target.substr(0, dot) + PartNumberText(diskIndex) + target.substr(dot);
}

std::array<uint8_t, 22> EmptyArchiveEnd(uint32_t centralOffset) {
    ZipEndOfCentral e;
    e.HeaderSig = zip::kEndSig;
    e.CentralOffset = centralOffset;
    std::array<uint8_t, 22> out{};
    e.Encode(out.data());
    return out;
}

}  // namespace zipfmt
