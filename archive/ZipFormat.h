// Reading the directory of a ZIP archive: the end-of-central-directory record and the central
// headers. Plain portable C++ (no windows.h), so that it builds and is fuzzed natively as well;
// TZipPacker::List (ZipPacker.cpp) drives it and turns its outcome into the component's messages.
//
// Errors are data here: every failure is one of the message ids of the component's table
// (ZipMsg.h), and the caller decides how to show it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "NameRule.h"
#include "Records.h"

// One archive member: the 42 bytes of its central header after the signature, decoded, then
// its name (forward slashes turned into backslashes) and comment.
struct ZipDirEntry : zip::CentralHeader {
    std::string FileName;
    std::string FileComment;
};

// Reads a run of bytes front to back through a buffer, so that a directory of tens of
// thousands of headers costs a handful of reads of the file instead of three per member.
class SequentialReader {
public:
    SequentialReader(zip::ByteSource& src, uint64_t start, size_t bufferSize = 1 << 20)
        : src_(&src), pos_(start), cap_(bufferSize) {}
    // Copies exactly n bytes; false (with what was there copied) on a short read.
    bool Read(void* out, size_t n);
    bool Skip(uint64_t n);
    uint64_t Pos() const { return pos_ - (len_ - at_); }

private:
    zip::ByteSource* src_;
    uint64_t pos_;  // file position of the end of the buffered bytes
    size_t cap_;
    std::vector<uint8_t> buf_;
    size_t at_ = 0, len_ = 0;
    bool Fill();
};

// The component's reading of the name rule: true when the names and comments written by this
// host and version are in the DOS (OEM) character set and are converted for showing. Auto says
// so for FAT and HPFS, and for NTFS of format version 5.0.
bool NamesInOemCharset(zip::NameRule rule, uint8_t host, uint8_t version);

// Replaces every byte with the high bit set through a 128-entry table (OEM byte 128+i maps to
// table[i]).
void ConvertHighBytes(std::string& s, const std::array<char, 128>& table);

// What finding the end record yielded.
struct ZipEndRecord {
    bool found = false;
    zip::ZipEndOfCentral eoc;
    uint64_t fileSize = 0;     // as found
    uint64_t usableSize = 0;   // without garbage after the archive
    uint64_t endPos = 0;       // position of the end record
    std::string comment;       // raw bytes
    bool garbage = false;      // 10204 is due
    bool spanFirstPart = false;
    int error = 0;             // message id when reading failed (11008, 11011)
};

// Finds the end record: the fast path of the last 22 bytes, then a backward search over the
// last 65,557 bytes. Garbage after the archive is noted, except zero fill to a multiple of 512.
ZipEndRecord FindZipEndRecord(zip::ByteSource& src);

// The message id of "not found" for CheckIfLastDisk with MustFind: it tells a first part of a
// backup set and a numbered disk apart from a file that is just no archive. labelDisk is the
// number read from a "PKBACK# " volume label, or -1.
int NotFoundMessage(bool spanFirstPart, int labelDisk);

// The listing of one archive, in the order the component reports it.
struct ZipListing {
    std::vector<ZipDirEntry> entries;
    ZipEndRecord end;
    int64_t expectedCentralOffset = 0;
    int64_t dataStart = 0;
    bool structureWarning = false;   // 10203: recorded central directory offset is not where it lies
    int error = 0;                   // first fatal message id, 0 when the whole directory was read
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
