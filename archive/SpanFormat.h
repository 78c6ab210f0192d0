// Portable pieces of multi-disk sets and self-extracting archives: part numbering and names,
// the self-extractor's settings header and the empty archive behind a fresh stub.
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

// Option bits of the self-extractor header.
enum SfxHeaderBits : uint8_t {
    kSfxAskCmdLine = 1,
    kSfxAskFiles = 2,
    kSfxHideOverwriteBox = 4,
    kSfxOverwriteAlways = 8,
    kSfxOverwriteNever = 16,
    kSfxNoCheckSize = 32,
    kSfxAutoRun = 64,
};

constexpr size_t kSfxHeaderSize = 256;

// The 256-byte header that follows the stub: "SKX", the option bits, three lengths and the
// three texts without terminators. The texts together must stay below 250 bytes; false if not.
bool BuildSfxHeader(uint8_t bits, const std::string& caption, const std::string& defaultDir,
                    const std::string& commandLine, std::array<uint8_t, kSfxHeaderSize>& out);

// The 22-byte end record of an empty archive whose directory would start at offset.
std::array<uint8_t, 22> EmptyArchiveEnd(uint32_t centralOffset);

}  // namespace zipfmt
