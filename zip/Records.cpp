#include "Records.h"

#include <algorithm>
#include <cstring>

#include "Bytes.h"

namespace zip {

size_t MemorySource::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (offset >= data_.size()) return 0;
    size_t got = size_t(std::min<uint64_t>(n, data_.size() - offset));
    std::memcpy(buf, data_.data() + offset, got);
    return got;
}

ZipEndOfCentral ZipEndOfCentral::Decode(const uint8_t* p) {
    ZipEndOfCentral e;
    e.HeaderSig = Get32(p);
    e.ThisDiskNo = Get16(p + 4);
    e.CentralDiskNo = Get16(p + 6);
    e.CentralEntries = Get16(p + 8);
    e.TotalEntries = Get16(p + 10);
    e.CentralSize = Get32(p + 12);
    e.CentralOffset = Get32(p + 16);
    e.ZipCommentLen = Get16(p + 20);
    return e;
}

void ZipEndOfCentral::Encode(uint8_t* p) const {
    Put32(p, HeaderSig);
    Put16(p + 4, ThisDiskNo);
    Put16(p + 6, CentralDiskNo);
    Put16(p + 8, CentralEntries);
    Put16(p + 10, TotalEntries);
    Put32(p + 12, CentralSize);
    Put32(p + 16, CentralOffset);
    Put16(p + 20, ZipCommentLen);
}

EndRecordHits FindEndRecord(const uint8_t* tail, size_t n) {
    EndRecordHits hits;
    if (n < kEndSize) return hits;
    for (size_t i = n - kEndSize + 1; i-- > 0;) {
        if (Get32(tail + i) != kEndSig) continue;
        if (hits.nearest < 0) hits.nearest = int64_t(i);
        // A comment that would run past the end belongs to no end record that is still whole.
        if (i + kEndSize + Get16(tail + i + 20) <= n) {
            hits.complete = int64_t(i);
            break;
        }
    }
    return hits;
}

Zip64Lookup FindZip64End(ByteSource& src, uint64_t endPos) {
    Zip64Lookup z;
    uint8_t loc[kZip64LocatorSize];
    if (endPos < kZip64LocatorSize || !src.ReadExactly(endPos - kZip64LocatorSize, loc, sizeof loc) ||
        Get32(loc) != kZip64LocatorSig)
        return z;
    z.hasLocator = true;
    z.endDisk = Get32(loc + 4);
    z.recordedPos = Get64(loc + 8);
    z.totalDisks = Get32(loc + 16);
    // The record ends where the locator starts; a stub in front shifts every recorded offset, so
    // right before the locator is the second place to look.
    if (endPos < kZip64LocatorSize + kZip64EndSize) return z;
    const uint64_t last = endPos - kZip64LocatorSize - kZip64EndSize;
    uint8_t rec[kZip64EndSize];
    for (uint64_t at : {z.recordedPos, last}) {
        if (at > last || !src.ReadExactly(at, rec, sizeof rec) || Get32(rec) != kZip64EndSig) continue;
        z.found = true;
        z.pos = at;
        z.thisDisk = Get32(rec + 16);
        z.centralDisk = Get32(rec + 20);
        z.centralEntries = Get64(rec + 24);
        z.totalEntries = Get64(rec + 32);
        z.centralSize = Get64(rec + 40);
        z.centralOffset = Get64(rec + 48);
        break;
    }
    return z;
}

void CentralHeader::DecodeHeader(const uint8_t* p) {
    MadeByVersion = p[0];
    HostVersionNo = p[1];
    VersionNeeded = Get16(p + 2);
    Flag = Get16(p + 4);
    ComprMethod = Get16(p + 6);
    ModifTime = Get16(p + 8);
    ModifDate = Get16(p + 10);
    CRC32 = Get32(p + 12);
    ComprSize = Get32(p + 16);
    UncomprSize = Get32(p + 20);
    FileNameLength = Get16(p + 24);
    ExtraFieldLength = Get16(p + 26);
    FileCommentLen = Get16(p + 28);
    StartOnDisk = Get16(p + 30);
    IntFileAttrib = Get16(p + 32);
    ExtFileAttrib = Get32(p + 34);
    RelOffLocalHdr = Get32(p + 38);
}

void CentralHeader::EncodeHeader(uint8_t* p) const {
    p[0] = MadeByVersion;
    p[1] = HostVersionNo;
    Put16(p + 2, VersionNeeded);
    Put16(p + 4, Flag);
    Put16(p + 6, ComprMethod);
    Put16(p + 8, ModifTime);
    Put16(p + 10, ModifDate);
    Put32(p + 12, CRC32);
    Put32(p + 16, ComprSize);
    Put32(p + 20, UncomprSize);
    Put16(p + 24, FileNameLength);
    Put16(p + 26, ExtraFieldLength);
    Put16(p + 28, FileCommentLen);
    Put16(p + 30, StartOnDisk);
    Put16(p + 32, IntFileAttrib);
    Put32(p + 34, ExtFileAttrib);
    Put32(p + 38, RelOffLocalHdr);
}

void LocalHeader::DecodeHeader(const uint8_t* p) {
    VersionNeeded = Get16(p);
    Flag = Get16(p + 2);
    ComprMethod = Get16(p + 4);
    DosTime = Get32(p + 6);
    CRC32 = Get32(p + 10);
    ComprSize = Get32(p + 14);
    UncomprSize = Get32(p + 18);
    FileNameLength = Get16(p + 22);
    ExtraFieldLength = Get16(p + 24);
}

void LocalHeader::EncodeHeader(uint8_t* p) const {
    Put16(p, VersionNeeded);
    Put16(p + 2, Flag);
    Put16(p + 4, ComprMethod);
    Put32(p + 6, DosTime);
    Put32(p + 10, CRC32);
    Put32(p + 14, ComprSize);
    Put32(p + 18, UncomprSize);
    Put16(p + 22, FileNameLength);
    Put16(p + 24, ExtraFieldLength);
}

const uint8_t* FindExtraField(const uint8_t* extra, size_t n, uint16_t id, size_t& len) {
    ByteReader r(extra, n);
    while (r.Has(4)) {
        uint16_t fieldId = r.U16();
        len = r.U16();
        const uint8_t* body = r.Bytes(len);
        if (!body) return nullptr;
        if (fieldId == id) return body;
    }
    return nullptr;
}

std::string WithoutExtraField(const std::string& extra, uint16_t id) {
    std::string out;
    auto p = reinterpret_cast<const uint8_t*>(extra.data());
    size_t i = 0;
    while (i + 4 <= extra.size()) {
        size_t len = Get16(p + i + 2);
        if (i + 4 + len > extra.size()) break;
        if (Get16(p + i) != id) out.append(extra, i, 4 + len);
        i += 4 + len;
    }
    if (i < extra.size()) out.append(extra, i, std::string::npos);
    return out;
}

bool ReadZip64Extra(const uint8_t* extra, size_t n, bool uncompressed, bool compressed, bool offset, bool disk,
                    Zip64Values& v) {
    size_t len = 0;
    const uint8_t* body = FindExtraField(extra, n, kExtraZip64, len);
    if (!body) return false;
    ByteReader r(body, len);
    for (auto [wanted, value] : {std::pair{uncompressed, &v.uncompressed}, {compressed, &v.compressed}, {offset, &v.offset}}) {
        if (!wanted) continue;
        if (!r.Has(8)) return false;
        *value = r.U64();
    }
    if (disk) {
        if (!r.Has(4)) return false;
        v.disk = r.U32();
    }
    return true;
}

}  // namespace zip
