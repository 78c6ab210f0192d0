#include "SpanFormat.h"

#include "Records.h"

namespace zip {

std::string PartNumberText(int diskIndex) { return std::to_string(diskIndex + 1001).substr(1); }

std::string PartFileName(const std::string& target, int diskIndex) {
    size_t slash = target.find_last_of("\\/:");
    size_t dot = target.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = target.size();
    return target.substr(0, dot) + PartNumberText(diskIndex) + target.substr(dot);
}

std::string ExtensionOf(const std::string& name) {
    size_t slash = name.find_last_of("\\/:");
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return name.substr(dot);
}

std::string WithExtension(const std::string& name, const std::string& ext) {
    return name.substr(0, name.size() - ExtensionOf(name).size()) + ext;
}

std::string ZipStylePartName(const std::string& target, int diskIndex, int lastDisk) {
    if (diskIndex == lastDisk) return target;
    std::string n = std::to_string(diskIndex + 1);
    if (n.size() < 2) n = "0" + n;
    return WithExtension(target, ".z" + n);
}

bool IsZipStylePart(const std::string& file) {
    std::string ext = ExtensionOf(file);
    if (ext.size() < 4 || (ext[1] != 'z' && ext[1] != 'Z')) return false;
    for (size_t i = 2; i < ext.size(); ++i)
        if (ext[i] < '0' || ext[i] > '9') return false;
    return true;
}

std::array<uint8_t, 22> EmptyArchiveEnd(uint32_t centralOffset) {
    ZipEndOfCentral e;
    e.HeaderSig = zip::kEndSig;
    e.CentralOffset = centralOffset;
    std::array<uint8_t, 22> out{};
    e.Encode(out.data());
    return out;
}

}  // namespace zip
