// Where the parts of a self-extracting program are: the stub program's bytes, then the 256-byte
// settings header (SfxHeader.h), then the ZIP archive. The archive's offsets may count from the
// start of the file (shifted by stub + header) or from the start of the archive; the directory
// reader copes with both.
#pragma once

#include <cstdint>
#include <string>

#include "SfxHeader.h"
#include "FileSystem.h"

namespace kit {

using zip::BuildSfxHeader;
using zip::kSfxHeaderSize;
using zip::Overwrite;
using zip::ParseSfxHeader;
using zip::SfxHeader;
using enum zip::SfxBits;

// Where a program's own bytes end: the end of its last section's raw data, or of the symbol
// table when one follows. 0 when the file is not a Windows program.
uint64_t ProgramImageEnd(zip::File& f);

struct SfxLocation {
    bool hasHeader = false;
    uint64_t headerPos = 0;   // where the header starts (= length of the stub)
    SfxHeader header;
};

// Finds the header of the self-extractor f: first right after the program's own image, then
// 256 bytes before the first byte of the archive behind it (which needs a readable archive).
// False when neither place holds one.
bool LocateSfxHeader(zip::File& f, SfxLocation& where);

// True when the end record of an archive lies at or after `from`. The stub's own code holds
// the end record's signature too, so an archive that is missing must not be looked for
// inside the program in front of it.
bool HasArchiveAfter(zip::File& f, uint64_t from);

}  // namespace kit
