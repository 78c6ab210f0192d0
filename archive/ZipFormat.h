// The component's listing of an archive: the one directory reader (zip/Directory.h) under the
// listing rules, its members as the component shows them (names in the character set the name
// rule says, backslashes), and its faults as the component's message ids. Plain portable C++
// (no windows.h), so that it builds and is fuzzed natively as well; TZipPacker::List
// (ZipPacker.cpp) drives it and shows its outcome.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Directory.h"
#include "NameRule.h"
#include "Records.h"

// One archive member: the 42 bytes of its central header after the signature, decoded, then
// its name (forward slashes turned into backslashes) and comment.
struct ZipDirEntry : zip::CentralHeader {
    std::string FileName;
    std::string FileComment;
};

// Replaces every byte with the high bit set through a 128-entry table (OEM byte 128+i maps to
// table[i]).
void ConvertHighBytes(std::string& s, const std::array<char, 128>& table);

// The end record of a file as the component reads it: a record in the last 22 bytes first (as
// archivers of disk sets do), else the nearest whole one.
zip::EndRecord ReadComponentEndRecord(zip::ByteSource& src);

// The message id of "not found" for CheckIfLastDisk with MustFind: it tells a first part of a
// backup set and a numbered disk apart from a file that is just no archive. labelDisk is the
// number read from a "PKBACK# " volume label, or -1.
int NotFoundMessage(bool spanFirstPart, int labelDisk);

// The component's tolerance, as one rule: the message id that a fault of the reader stands for
// (0 for none). The members read before the fault are listed all the same; a file without an
// end record says what it is (NotFoundMessage), a directory on a disk not at hand or cut short
// is 11013, and a header, name, extra field or comment cut short names which.
int ListingFault(const zip::Fault& fault, bool spanFirstPart, int labelDisk);

// The listing of one archive, in the order the component reports it.
struct ZipListing {
    std::vector<ZipDirEntry> entries;
    zip::EndRecord end;
    int64_t centralStart = 0;        // where the central directory lies (on its disk)
    int64_t dataStart = 0;
    bool structureWarning = false;   // 10203: recorded central directory offset is not where it lies
    int error = 0;                   // the fault's message id, 0 when the whole directory was read
    uint8_t lastHost = 0, lastVersion = 0;
};

struct ZipListOptions {
    zip::NameRule codePage = zip::NameRule::Auto;
    const std::array<char, 128>* oemTable = nullptr;  // nullptr: names are kept as stored
    int labelDisk = -1;
    // Spanned sets whose central directory starts on another disk: supplies that disk's source
    // (and the following ones on short reads). Unset: such an archive ends with 11013.
    std::function<zip::ByteSource*(int disk)> diskSource;
};

// Reads the directory of the archive in src. Never throws for bad data; errors end up in
// ZipListing::error with the entries read so far kept.
ZipListing ReadZipListing(zip::ByteSource& src, const ZipListOptions& opt = {});
