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

namespace {

// A record's fields are listed once, in their order, and walked by a decoder or an encoder
// that takes as many bytes as the field is wide.
struct Decoder {
    const uint8_t* p;
    template <class T>
    void operator()(T& v) {
        v = sizeof v == 1 ? T(*p) : sizeof v == 2 ? T(Get16(p)) : T(Get32(p));
        p += sizeof v;
    }
};
struct Encoder {
    uint8_t* p;
    template <class T>
    void operator()(const T& v) {
        sizeof v == 1 ? void(*p = uint8_t(v)) : sizeof v == 2 ? Put16(p, v) : Put32(p, v);
        p += sizeof v;
    }
};

template <class R, class Io>
void EndFields(R& r, Io io) {
    for (auto* f : {&r.ThisDiskNo, &r.CentralDiskNo, &r.CentralEntries, &r.TotalEntries}) io(*f);
    io(r.CentralSize), io(r.CentralOffset), io(r.ZipCommentLen);
}

template <class R, class Io>
void CentralFields(R& r, Io io) {
    io(r.MadeByVersion), io(r.HostVersionNo), io(r.VersionNeeded), io(r.Flag), io(r.ComprMethod);
    io(r.ModifTime), io(r.ModifDate), io(r.CRC32), io(r.ComprSize), io(r.UncomprSize);
    io(r.FileNameLength), io(r.ExtraFieldLength), io(r.FileCommentLen), io(r.StartOnDisk);
    io(r.IntFileAttrib), io(r.ExtFileAttrib), io(r.RelOffLocalHdr);
}

template <class R, class Io>
void LocalFields(R& r, Io io) {
    io(r.VersionNeeded), io(r.Flag), io(r.ComprMethod), io(r.ModifTime), io(r.ModifDate), io(r.CRC32);
    io(r.ComprSize), io(r.UncomprSize), io(r.FileNameLength), io(r.ExtraFieldLength);
}

}  // namespace

ZipEndOfCentral ZipEndOfCentral::Decode(const uint8_t* p) {
    ZipEndOfCentral e;
    e.HeaderSig = Get32(p);
    EndFields(e, Decoder{p + 4});
    return e;
}

void ZipEndOfCentral::Encode(uint8_t* p) const {
    Put32(p, HeaderSig);
    EndFields(*this, Encoder{p + 4});
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

void CentralHeader::DecodeHeader(const uint8_t* p) { CentralFields(*this, Decoder{p}); }
void CentralHeader::EncodeHeader(uint8_t* p) const { CentralFields(*this, Encoder{p}); }
void LocalHeader::DecodeHeader(const uint8_t* p) { LocalFields(*this, Decoder{p}); }
void LocalHeader::EncodeHeader(uint8_t* p) const { LocalFields(*this, Encoder{p}); }

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
    for (auto [wanted, value] :
         {std::pair{uncompressed, &v.uncompressed}, {compressed, &v.compressed}, {offset, &v.offset}}) {
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
