// A self-extracting program as the archive component writes it: the stub program's bytes,
// then a 256-byte settings header, then the ZIP archive. The archive's offsets may count from
// the start of the file (shifted by stub + header) or from the start of the archive; the
// directory reader copes with both.
//
// Header (zero-filled, texts without terminators):
//   0  3  "SKX"
//   3  1  option bits (below)
//   4  1  length of the caption
//   5  1  length of the default directory
//   6  1  length of the command line
//   7  .. the three texts one after another (together below 250 bytes)
#pragma once

#include <cstdint>
#include <string>

#include "fsys.h"

namespace kit {

inline constexpr size_t kSfxHeaderSize = 256;

enum SfxBits : uint8_t {
    kSfxAskCmdLine = 1,         // the person decides whether the command line runs
    kSfxAskFiles = 2,           // the person picks the files to extract
    kSfxHideOverwriteBox = 4,   // the overwrite rule is fixed, not offered
    kSfxOverwriteAlways = 8,
    kSfxOverwriteNever = 16,
    kSfxNoCheckSize = 32,       // no free-space check before extracting
    kSfxAutoRun = 64,           // extract at once into the default directory, no questions
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

// The 256 header bytes for the given settings (what the archive component writes); false when
// the texts together reach 250 bytes.
bool BuildSfxHeader(const SfxHeader& h, uint8_t out[kSfxHeaderSize]);

// Where a program's own bytes end: the end of its last section's raw data, or of the symbol
// table when one follows. 0 when the file is not a Windows program.
uint64_t ProgramImageEnd(zc::File& f);

struct SfxLocation {
    bool hasHeader = false;
    uint64_t headerPos = 0;   // where the header starts (= length of the stub)
    SfxHeader header;
};

// Finds the header of the self-extractor f: first right after the program's own image, then
// 256 bytes before the first byte of the archive behind it (which needs a readable archive).
// False when neither place holds one.
bool LocateSfxHeader(zc::File& f, SfxLocation& where);

// True when the end record of an archive lies at or after `from`. The stub's own code holds
// the end record's signature too, so an archive that is missing must not be looked for
// inside the program in front of it.
bool HasArchiveAfter(zc::File& f, uint64_t from);

}  // namespace kit
