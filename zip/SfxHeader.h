// The settings header of a self-extracting program as the archive component writes it and the
// self-extractor reads it: the stub program's bytes, then these 256 bytes, then the ZIP archive.
//
// Header (zero-filled, texts without terminators):
//   0  3  "SKX"
//   3  1  option bits (below)
//   4  1  length of the caption
//   5  1  length of the default directory
//   6  1  length of the command line
//   7  .. the three texts one after another (together below kSfxTextLimit bytes)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zip {

inline constexpr size_t kSfxHeaderSize = 256;
// The three texts together stay below this many bytes.
inline constexpr size_t kSfxTextLimit = 250;
// The caption of a self-extractor whose maker gave none.
inline constexpr const char* kSfxDefaultCaption = "Self-extracting Archive";

// How many bytes of caption fit beside a default directory and a command line (0 when none).
inline size_t SfxCaptionRoom(const std::string& defaultDir, const std::string& commandLine) {
    size_t used = defaultDir.size() + commandLine.size();
    return used < kSfxTextLimit ? kSfxTextLimit - 1 - used : 0;
}

enum SfxBits : uint8_t {
    kSfxAskCmdLine = 1,        // the person decides whether the command line runs
    kSfxAskFiles = 2,          // the person picks the files to extract
    kSfxHideOverwriteBox = 4,  // the overwrite rule is fixed, not offered
    kSfxOverwriteAlways = 8,
    kSfxOverwriteNever = 16,
    kSfxNoCheckSize = 32,  // no free-space check before extracting
    kSfxAutoRun = 64,      // extract at once into the default directory, no questions
};

enum class Overwrite { Confirm, Always, Never };

struct SfxHeader {
    uint8_t bits = 0;
    std::string caption;
    std::string defaultDir;
    std::string commandLine;

    bool AskCmdLine() const { return bits & kSfxAskCmdLine; }
    bool AskFiles() const { return bits & kSfxAskFiles; }
    bool HideOverwriteBox() const { return bits & kSfxHideOverwriteBox; }
    bool CheckSize() const { return !(bits & kSfxNoCheckSize); }
    bool AutoRun() const { return bits & kSfxAutoRun; }
    // Both rule bits set cannot come from one setting; "never" then wins, as it loses nothing.
    Overwrite OverwriteRule() const {
        if (bits & kSfxOverwriteNever) return Overwrite::Never;
        if (bits & kSfxOverwriteAlways) return Overwrite::Always;
        return Overwrite::Confirm;
    }
};

// Decodes a header of kSfxHeaderSize bytes. False with a reason when the mark is wrong or the
// lengths run past the header.
bool ParseSfxHeader(const uint8_t* p, size_t n, SfxHeader& out, std::string& why);

// The 256 header bytes for the given settings; false when the texts together reach kSfxTextLimit.
bool BuildSfxHeader(const SfxHeader& h, uint8_t out[kSfxHeaderSize]);
bool BuildSfxHeader(uint8_t bits, const std::string& caption, const std::string& defaultDir,
                    const std::string& commandLine, std::array<uint8_t, kSfxHeaderSize>& out);

}  // namespace zip
