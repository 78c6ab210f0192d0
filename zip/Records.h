// The records of the ZIP format (PKWARE's published APPNOTE), as every reader and writer of ours
// sees them: the component's List, its disk sets and conversions, the engine, the installer and
// the self-extractor. Signatures and sizes, the end record and the search for it, the ZIP64 end
// record and locator, the central and local headers, and the extra fields.
//
// Decoding only: what a damaged field means is decided by the caller. The component lists what
// it can and warns; the engine refuses; both start from the same decoded facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zip {

constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
// The optional signature of a data descriptor. The first part of a disk set starts with it too,
// directly followed by a local header.
constexpr uint32_t kDescriptorSig = 0x08074B50;
constexpr uint32_t kSpanMarkerSig = kDescriptorSig;
// What some archivers write instead when the whole set fitted on one disk ("PK00").
constexpr uint32_t kOneDiskMarkerSig = 0x30304B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;

constexpr size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22;
constexpr size_t kZip64LocatorSize = 20, kZip64EndSize = 56;
constexpr size_t kMaxCommentLen = 0xFFFF;

constexpr uint16_t kExtraZip64 = 0x0001, kExtraUnicodePath = 0x7075, kExtraAes = 0x9901;
constexpr uint16_t kMethodStored = 0, kMethodDeflated = 8, kMethodAes = 99;
constexpr uint16_t kFlagEncrypted = 1, kFlagDescriptor = 8, kFlagStrongEncryption = 0x40, kFlagUtf8 = 0x800;
// Host systems of "version made by" (its high byte).
constexpr uint8_t kHostFat = 0, kHostUnix = 3, kHostHpfs = 6, kHostNtfs = 11;
// A size or offset from this value on is saturated: the real one is in the ZIP64 extra field.
constexpr uint64_t kZip64Mark = 0xFFFFFFFF;

// Random-access reading of an archive: a file, one part of a disk set, or bytes in memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to n bytes at offset; returns how many were read (short at the end or on error).
    virtual size_t ReadAt(uint64_t offset, void* buf, size_t n) = 0;
    // Exactly n bytes at offset, or false.
    bool ReadExactly(uint64_t offset, void* buf, size_t n) { return ReadAt(offset, buf, n) == n; }
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::vector<uint8_t> data) : data_(std::move(data)) {}
    uint64_t Size() const override { return data_.size(); }
    size_t ReadAt(uint64_t offset, void* buf, size_t n) override;

private:
    std::vector<uint8_t> data_;
};

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

// Where end records stand in the last bytes of a file. The record is followed by a comment of
// up to 65,535 bytes, so it is searched backwards; its signature may also stand inside member
// data or inside the comment, and the nearest one to the end wins.
struct EndRecordHits {
    int64_t complete = -1;  // the nearest record whose comment ends inside the bytes
    int64_t nearest = -1;   // the nearest record at all (its comment may be cut short)
};
EndRecordHits FindEndRecord(const uint8_t* tail, size_t n);
// How many bytes at the end of a file hold every place an end record can start.
inline uint64_t EndSearchLength(uint64_t fileSize) {
    return fileSize < kEndSize + kMaxCommentLen ? fileSize : kEndSize + kMaxCommentLen;
}

// A ZIP64 archive: a locator right before the end record points at the ZIP64 end record, which
// holds the count, size and offset of the central directory (the end record has them only when
// they fit).
struct Zip64Lookup {
    bool hasLocator = false;   // a locator stands right before the end record
    uint32_t endDisk = 0;      // the locator's disk of the ZIP64 end record
    uint64_t recordedPos = 0;  // where the locator says the ZIP64 end record is
    uint32_t totalDisks = 0;
    bool found = false;  // the ZIP64 end record was found (fields below)
    uint64_t pos = 0;    // where: as recorded, or right before the locator when a stub
                         // in front shifts every offset
    uint32_t thisDisk = 0, centralDisk = 0;
    uint64_t centralEntries = 0, totalEntries = 0, centralSize = 0, centralOffset = 0;
};
Zip64Lookup FindZip64End(ByteSource& src, uint64_t endPos);

// What the local and the central header of a member both record.
struct MemberFields {
    uint16_t VersionNeeded = 0;
    uint16_t Flag = 0;
    uint16_t ComprMethod = 0;
    uint16_t ModifTime = 0;  // DOS time
    uint16_t ModifDate = 0;  // DOS date
    uint32_t CRC32 = 0;
    uint32_t ComprSize = 0;
    uint32_t UncomprSize = 0;
    uint16_t FileNameLength = 0;
    uint16_t ExtraFieldLength = 0;
};

// The 42 bytes of a central header that follow its signature.
struct CentralHeader : MemberFields {
    uint8_t MadeByVersion = 0;  // version of the format the writer followed
    uint8_t HostVersionNo = 0;  // host system of the writer (kHost*)
    uint16_t FileCommentLen = 0;
    uint16_t StartOnDisk = 0;
    uint16_t IntFileAttrib = 0;
    uint32_t ExtFileAttrib = 0;
    uint32_t RelOffLocalHdr = 0;

    void DecodeHeader(const uint8_t* p);
    void EncodeHeader(uint8_t* p) const;
    size_t VariableLength() const { return size_t(FileNameLength) + ExtraFieldLength + FileCommentLen; }
};

// The 26 bytes of a local header that follow its signature.
struct LocalHeader : MemberFields {
    void DecodeHeader(const uint8_t* p);
    void EncodeHeader(uint8_t* p) const;
    // Header, name and extra field: where the member's data starts after the header's offset.
    uint64_t Length() const { return kLocalSize + FileNameLength + ExtraFieldLength; }
};

// The body of the first extra field with this id (its length in len), or nullptr.
const uint8_t* FindExtraField(const uint8_t* extra, size_t n, uint16_t id, size_t& len);
// The extra block without any field of this id; a broken tail is kept as it is.
std::string WithoutExtraField(const std::string& extra, uint16_t id);

// The values of a ZIP64 extra field. It holds only the fields the header saturated, in the
// format's order: uncompressed size, compressed size, local header offset, disk. Those asked
// for are filled in that order as far as the field reaches; false when it is missing or ends
// before all of them.
struct Zip64Values {
    uint64_t uncompressed = 0, compressed = 0, offset = 0;
    uint32_t disk = 0;
};
bool ReadZip64Extra(const uint8_t* extra, size_t n, bool uncompressed, bool compressed, bool offset, bool disk,
                    Zip64Values& v);

}  // namespace zip
