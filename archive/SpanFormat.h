// Portable pieces of multi-disk sets and self-extracting archives: part numbering and names,
// and the empty archive behind a fresh stub. The self-extractor's settings header is in
// SfxHeader.h of the shared format library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zipfmt {

// "001" for the first part (disk index 0): the text of index + 1001 without its first digit.
std::string PartNumberText(int diskIndex);

// The file of a part on a fixed or network drive: base + part number + extension, where base
// and extension come from the target name ("D:\out\set.zip", 1 -> "D:\out\set002.zip").
std::string PartFileName(const std::string& target, int diskIndex);

// The 22-byte end record of an empty archive whose directory would start at offset.
std::array<uint8_t, 22> EmptyArchiveEnd(uint32_t centralOffset);

}  // namespace zipfmt
