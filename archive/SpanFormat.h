// Portable pieces of multi-disk sets and self-extracting archives: part numbering and names,
// and the empty archive behind a fresh stub. The self-extractor's settings header is in
// SfxHeader.h of the shared format library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zip {

// "001" for the first part (disk index 0): the text of index + 1001 without its first digit.
std::string PartNumberText(int diskIndex);

// The file of a part on a fixed or network drive: base + part number + extension, where base
// and extension come from the target name ("D:\out\set.zip", 1 -> "D:\out\set002.zip").
std::string PartFileName(const std::string& target, int diskIndex);

// Our numbering has three digits: a set has at most this many parts.
constexpr int kMaxParts = 999;

// The naming of Info-ZIP's and 7-Zip's sets: every part but the last is name.z01, name.z02...
// (name.z100 on from the hundredth), the last one is the target name itself ("D:\out\set.zip").
std::string ZipStylePartName(const std::string& target, int diskIndex, int lastDisk);
// True for a file named like a part other than the last in that naming (".z" and digits).
bool IsZipStylePart(const std::string& file);

// The name with its extension replaced (or added): ("set.z03", ".zip") -> "set.zip".
std::string WithExtension(const std::string& name, const std::string& ext);
// The extension with its dot, or "".
std::string ExtensionOf(const std::string& name);

// The 22-byte end record of an empty archive whose directory would start at offset.
std::array<uint8_t, 22> EmptyArchiveEnd(uint32_t centralOffset);

}  // namespace zip
