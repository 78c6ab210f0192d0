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

namespace zipfmt {

constexpr uint32_t kLocalHeaderSig = 0x04034B50;
constexpr uint32_t kCentralHeaderSig = 0x02014B50;
constexpr uint32_t kEndOfCentralSig = 0x06054B50;
// The first part of a spanned set starts with this marker, directly followed by a local header.
constexpr uint32_t kSpanMarkerSig = 0x08074B50;

constexpr size_t kEndOfCentralSize = 22;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kMaxCommentLen = 65535;

// Little-endian decoding that refuses to read past the end of its buffer.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Has(size_t n) const { return n <= size_ - pos_; }
    size_t Pos() const { return pos_; }
    uint8_t U8() { return Has(1) ? data_[pos_++] : (ok_ = false, 0); }
    uint16_t U16() {
        if (!Has(2)) return ok_ = false, 0;
        uint16_t v = uint16_t(data_[pos_] | data_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    uint32_t U32() {
        if (!Has(4)) return ok_ = false, 0;
        uint32_t v = uint32_t(data_[pos_]) | uint32_t(data_[pos_ + 1]) << 8 |
                     uint32_t(data_[pos_ + 2]) << 16 | uint32_t(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return v;
    }
    bool Ok() const { return ok_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

inline uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
inline void Put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }

// The 22-byte end-of-central-directory record.
struct ZipEndOfCentral {
    uint32_t HeaderSig = 0;
    uint16_t ThisDiskNo = 0;
    uint16_t CentralDiskNo = 0;
    uint16_t CentralEntries = 0;
    uint16_t TotalEntries = 0;
    uint32_t CentralSize = 0;
    uint32_t CentralOffset = 0;
    uint16_t ZipCommentLen = 0;

    static ZipEndOfCentral Decode(const uint8_t* p);
    void Encode(uint8_t* p) const;
};

// One archive member: the 42 bytes of its central header after the signature, decoded, then
// its name (forward slashes turned into backslashes) and comment.
struct ZipDirEntry {
    uint8_t MadeByVersion = 0;   // version of the format the writer followed
    uint8_t HostVersionNo = 0;   // host system of the writer (0 FAT, 3 Unix, 6 HPFS, 11 NTFS)
    uint16_t VersionNeeded = 0;
    uint16_t Flag = 0;
    uint16_t ComprMethod = 0;
    uint16_t ModifTime = 0;      // DOS time
    uint16_t ModifDate = 0;      // DOS date
    uint32_t CRC32 = 0;
    uint32_t ComprSize = 0;
    uint32_t UncomprSize = 0;
    uint16_t FileNameLength = 0;
    uint16_t ExtraFieldLength = 0;
    uint16_t FileCommentLen = 0;
    uint16_t StartOnDisk = 0;
    uint16_t IntFileAttrib = 0;
    uint32_t ExtFileAttrib = 0;
    uint32_t RelOffLocalHdr = 0;
    std::string FileName;
    std::string FileComment;

    // Decodes the 42 bytes that follow the signature.
    void DecodeHeader(const uint8_t* p);
};

// Random-access reading of an archive file (or of a buffer in tests).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to n bytes at offset; returns how many were read (short at the end or on error).
    virtual size_t ReadAt(uint64_t offset, void* buf, size_t n) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::vector<uint8_t> data) : data_(std::move(data)) {}
    uint64_t Size() const override { return data_.size(); }
    size_t ReadAt(uint64_t offset, void* buf, size_t n) override;

private:
    std::vector<uint8_t> data_;
};

// Reads a run of bytes front to back through a buffer, so that a directory of tens of
// thousands of headers costs a handful of reads of the file instead of three per member.
class SequentialReader {
public:
    SequentialReader(ByteSource& src, uint64_t start, size_t bufferSize = 1 << 20)
        : src_(&src), pos_(start), cap_(bufferSize) {}
    // Copies exactly n bytes; false (with what was there copied) on a short read.
    bool Read(void* out, size_t n);
    bool Skip(uint64_t n);
    uint64_t Pos() const { return pos_ - (len_ - at_); }

private:
    ByteSource* src_;
    uint64_t pos_;  // file position of the end of the buffered bytes
    size_t cap_;
    std::vector<uint8_t> buf_;
    size_t at_ = 0, len_ = 0;
    bool Fill();
};

// Which character set conversion applies to the names and comments read from an archive.
enum class CodePageMode { Auto = 0, None = 1, Oem = 2 };

// True when names written by this host and version are in the OEM character set.
bool NeedsOemConversion(CodePageMode mode, uint8_t host, uint8_t version);

// Replaces every byte with the high bit set through a 128-entry table (OEM byte 128+i maps to
// table[i]).
void ConvertHighBytes(std::string& s, const std::array<char, 128>& table);

// What finding the end record yielded.
struct EndRecordResult {
    bool found = false;
    ZipEndOfCentral eoc;
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
EndRecordResult FindEndRecord(ByteSource& src);

// The message id of "not found" for CheckIfLastDisk with MustFind: it tells a first part of a
// backup set and a numbered disk apart from a file that is just no archive. labelDisk is the
// number read from a "PKBACK# " volume label, or -1.
int NotFoundError(bool spanFirstPart, int labelDisk);

// The listing of one archive, in the order the component reports it.
struct Listing {
    std::vector<ZipDirEntry> entries;
    EndRecordResult end;
    int64_t expectedCentralOffset = 0;
    int64_t dataStart = 0;
    bool structureWarning = false;   // 10203: recorded central directory offset is not where it lies
    int error = 0;                   // first fatal message id, 0 when the whole directory was read
    uint8_t lastHost = 0, lastVersion = 0;
};

struct ListOptions {
    CodePageMode codePage = CodePageMode::Auto;
    const std::array<char, 128>* oemTable = nullptr;  // nullptr: names are kept as stored
    int labelDisk = -1;
    // Spanned sets whose central directory starts on another disk: supplies that disk's source
    // (and the following ones on short reads). Unset: such an archive ends with 11013.
    std::function<ByteSource*(int disk)> diskSource;
};

// Reads the directory of the archive in src. Never throws for bad data; errors end up in
// Listing::error with the entries read so far kept.
Listing ReadDirectory(ByteSource& src, const ListOptions& opt = {});

}  // namespace zipfmt
