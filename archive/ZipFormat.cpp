#include "ZipFormat.h"

#include <algorithm>
#include <cstring>

#include "ZipMsg.h"

namespace zipfmt {

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

void ZipDirEntry::DecodeHeader(const uint8_t* p) {
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

size_t MemorySource::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (offset >= data_.size()) return 0;
    size_t got = std::min<uint64_t>(n, data_.size() - offset);
    std::memcpy(buf, data_.data() + offset, got);
    return got;
}

bool SequentialReader::Fill() {
    if (buf_.size() != cap_) buf_.resize(cap_);
    len_ = src_->ReadAt(pos_, buf_.data(), cap_);
    at_ = 0;
    pos_ += len_;
    return len_ > 0;
}

bool SequentialReader::Read(void* out, size_t n) {
    auto* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
        if (at_ == len_ && !Fill()) return false;
        size_t take = std::min(n, len_ - at_);
        std::memcpy(dst, buf_.data() + at_, take);
        at_ += take;
        dst += take;
        n -= take;
    }
    return true;
}

bool SequentialReader::Skip(uint64_t n) {
    size_t inBuf = len_ - at_;
    if (n <= inBuf) {
        at_ += size_t(n);
        return true;
    }
    n -= inBuf;
    at_ = len_ = 0;
    // A skip that would leave the file is a seek past its end: the record lies.
    if (pos_ + n > src_->Size()) return false;
    pos_ += n;
    return true;
}

bool NeedsOemConversion(CodePageMode mode, uint8_t host, uint8_t version) {
    switch (mode) {
    case CodePageMode::None: return false;
    case CodePageMode::Oem: return true;
    case CodePageMode::Auto: return host == 0 || host == 6 || (host == 11 && version == 50);
    }
    return false;
}

void ConvertHighBytes(std::string& s, const std::array<char, 128>& table) {
    for (char& c : s) {
        auto b = static_cast<uint8_t>(c);
        if (b & 0x80) c = table[b - 128];
    }
}

EndRecordResult FindEndRecord(ByteSource& src) {
    EndRecordResult r;
    r.fileSize = r.usableSize = src.Size();
    uint8_t head[8];
    if (src.ReadAt(0, head, 8) == 8 && Get32(head) == kSpanMarkerSig && Get32(head + 4) == kLocalHeaderSig)
        r.spanFirstPart = true;
    // A file shorter than the record itself holds no archive.
    if (r.fileSize < kEndOfCentralSize) return r;

    uint8_t last[kEndOfCentralSize];
    if (src.ReadAt(r.fileSize - kEndOfCentralSize, last, kEndOfCentralSize) != kEndOfCentralSize) {
        r.error = ZIPMSG_EOC_READ;
        return r;
    }
    if (Get32(last) == kEndOfCentralSig) {
        // No room for a comment after it: whatever its length field says, there is none.
        r.found = true;
        r.eoc = ZipEndOfCentral::Decode(last);
        r.endPos = r.fileSize - kEndOfCentralSize;
        return r;
    }

    size_t tailLen = size_t(std::min<uint64_t>(r.fileSize, kMaxCommentLen + kEndOfCentralSize));
    uint64_t tailStart = r.fileSize - tailLen;
    std::vector<uint8_t> tail(tailLen);
    if (src.ReadAt(tailStart, tail.data(), tailLen) != tailLen) {
        r.error = ZIPMSG_EOC_READ;
        return r;
    }
    // Backwards from the last place a whole record could start but the one already tried; the
    // hit nearest the end wins.
    for (size_t i = tailLen - kEndOfCentralSize; i-- > 0;) {
        if (tail[i] != 'P' || tail[i + 1] != 'K' || tail[i + 2] != 5 || tail[i + 3] != 6) continue;
        ZipEndOfCentral e = ZipEndOfCentral::Decode(&tail[i]);
        uint64_t end = tailStart + i + kEndOfCentralSize + e.ZipCommentLen;
        // A comment that would run past the end of the file belongs to no end record: these are
        // just the same four bytes inside some member's data.
        if (end > r.fileSize) continue;
        r.found = true;
        r.eoc = e;
        r.endPos = tailStart + i;
        r.comment.assign(reinterpret_cast<const char*>(&tail[i + kEndOfCentralSize]), e.ZipCommentLen);
        uint64_t surplus = r.fileSize - end;
        if (surplus > 0) {
            r.usableSize = end;
            bool zeroFill = r.fileSize % 512 == 0 && surplus < 512 &&
                            std::all_of(tail.begin() + (end - tailStart), tail.end(), [](uint8_t b) { return b == 0; });
            r.garbage = !zeroFill;
        }
        return r;
    }
    return r;
}

// A ZIP64 archive: a locator right before the end record points at the ZIP64 end record, which
// holds the count, size and offset of the directory (the end record has them only when they fit)
// and after which nothing but the locator comes. Where the locator says, or right before it when
// a stub in front shifts the offsets.
struct Zip64End {
    uint64_t pos = 0, total = 0, size = 0, offset = 0;
};

bool ReadZip64End(ByteSource& src, uint64_t endPos, Zip64End& z) {
    uint8_t loc[20], rec[56];
    if (endPos < 20 + 56 || src.ReadAt(endPos - 20, loc, 20) != 20 || Get32(loc) != 0x07064B50) return false;
    uint64_t recorded = Get32(loc + 8) | (uint64_t(Get32(loc + 12)) << 32);
    for (uint64_t at : {recorded, endPos - 20 - 56}) {
        if (at > endPos - 20 - 56 || src.ReadAt(at, rec, 56) != 56 || Get32(rec) != 0x06064B50) continue;
        auto u64 = [&](int o) { return Get32(rec + o) | (uint64_t(Get32(rec + o + 4)) << 32); };
        z = {at, u64(32), u64(40), u64(48)};
        return true;
    }
    return false;
}

// Sizes and offset saturated in the central header come from its ZIP64 field, in the order the
// format gives; values past 4 GiB stay saturated (the fields are 32 bits).
void FillZip64Sizes(ZipDirEntry& e, const std::string& extra) {
    bool u = e.UncomprSize == 0xFFFFFFFF, c = e.ComprSize == 0xFFFFFFFF, o = e.RelOffLocalHdr == 0xFFFFFFFF;
    if (!u && !c && !o) return;
    auto p = reinterpret_cast<const uint8_t*>(extra.data());
    for (size_t i = 0; i + 4 <= extra.size();) {
        size_t len = Get16(p + i + 2);
        if (Get16(p + i) == 1) {
            size_t at = i + 4, end = std::min(extra.size(), at + len);
            for (uint32_t* f : {u ? &e.UncomprSize : nullptr, c ? &e.ComprSize : nullptr, o ? &e.RelOffLocalHdr : nullptr}) {
                if (!f) continue;
                if (at + 8 > end) return;
                if (Get32(p + at + 4) == 0) *f = Get32(p + at);
                at += 8;
            }
            return;
        }
        i += 4 + len;
    }
}

int NotFoundError(bool spanFirstPart, int labelDisk) {
    if (spanFirstPart) return labelDisk == 1 ? ZIPMSG_FIRST_DISK : ZIPMSG_FIRST_FILE;
    if (labelDisk >= 0) return ZIPMSG_NTH_DISK;
    return ZIPMSG_NOT_A_ZIP;
}

Listing ReadDirectory(ByteSource& src, const ListOptions& opt) {
    Listing L;
    L.end = FindEndRecord(src);
    if (L.end.error) {
        L.error = L.end.error;
        return L;
    }
    if (!L.end.found) {
        L.error = NotFoundError(L.end.spanFirstPart, opt.labelDisk);
        return L;
    }
    const ZipEndOfCentral& eoc = L.end.eoc;
    ByteSource* disk = &src;
    int diskNo = eoc.ThisDiskNo;
    uint64_t centralEnd = L.end.endPos, centralSize = eoc.CentralSize, centralOffset = eoc.CentralOffset;
    uint64_t totalEntries = eoc.TotalEntries;
    Zip64End z64;
    if (eoc.ThisDiskNo == eoc.CentralDiskNo && ReadZip64End(src, L.end.endPos, z64)) {
        centralEnd = z64.pos;
        centralSize = z64.size;
        centralOffset = z64.offset;
        totalEntries = z64.total;
    }
    if (eoc.ThisDiskNo == eoc.CentralDiskNo) {
        // The directory lies directly in front of the end record (or the ZIP64 one).
        L.expectedCentralOffset = int64_t(centralEnd) - int64_t(centralSize);
    } else {
        ByteSource* other = opt.diskSource ? opt.diskSource(eoc.CentralDiskNo) : nullptr;
        if (!other) {
            L.error = ZIPMSG_CEH_READ;
            return L;
        }
        disk = other;
        diskNo = eoc.CentralDiskNo;
        L.expectedCentralOffset = eoc.CentralOffset;
    }
    L.structureWarning = L.expectedCentralOffset != int64_t(centralOffset);
    // Until a member says otherwise the data starts where the directory was recorded to start,
    // which for an empty archive behind a stub is the stub's length.
    L.dataStart = int64_t(centralOffset);
    int64_t shift = L.expectedCentralOffset - int64_t(centralOffset);

    auto finish = [&] {
        L.dataStart = std::clamp<int64_t>(L.dataStart + shift, 0, int64_t(src.Size()));
        return L;
    };
    if (L.expectedCentralOffset < 0) {
        L.error = ZIPMSG_SEEK_LIST;
        return finish();
    }

    SequentialReader in(*disk, uint64_t(L.expectedCentralOffset));
    // A count that cannot fit in the directory is not taken for the reservation.
    L.entries.reserve(size_t(std::min<uint64_t>(totalEntries, centralSize / kCentralHeaderSize + 1)));
    uint8_t hdr[kCentralHeaderSize];
    std::string field;
    for (uint64_t n = 0; n < totalEntries; ++n) {
        while (!in.Read(hdr, kCentralHeaderSize)) {
            ByteSource* next = (diskNo != eoc.ThisDiskNo && opt.diskSource) ? opt.diskSource(diskNo + 1) : nullptr;
            if (!next) {
                L.error = ZIPMSG_CEH_READ;
                return finish();
            }
            // A header is never split over two disks: re-read it whole on the next one.
            ++diskNo;
            disk = next;
            in = SequentialReader(*disk, 0);
        }
        if (Get32(hdr) != kCentralHeaderSig) {
            L.error = ZIPMSG_CEH_SIG;
            return finish();
        }
        ZipDirEntry e;
        e.DecodeHeader(hdr + 4);
        L.lastHost = e.HostVersionNo;
        L.lastVersion = e.MadeByVersion;
        bool convert = opt.oemTable && NeedsOemConversion(opt.codePage, e.HostVersionNo, e.MadeByVersion);
        e.FileName.resize(e.FileNameLength);
        if (!in.Read(e.FileName.data(), e.FileNameLength)) {
            L.error = ZIPMSG_CEH_NAME;
            return finish();
        }
        if (convert) ConvertHighBytes(e.FileName, *opt.oemTable);
        std::replace(e.FileName.begin(), e.FileName.end(), '/', '\\');
        field.resize(e.ExtraFieldLength);
        if (!in.Read(field.data(), field.size())) {
            L.entries.push_back(std::move(e));
            L.error = ZIPMSG_SEEK_LIST;
            return finish();
        }
        FillZip64Sizes(e, field);
        if (e.FileCommentLen) {
            e.FileComment.resize(e.FileCommentLen);
            if (!in.Read(e.FileComment.data(), e.FileCommentLen)) {
                L.entries.push_back(std::move(e));
                L.error = ZIPMSG_FILE_COMMENT;
                return finish();
            }
            if (convert) ConvertHighBytes(e.FileComment, *opt.oemTable);
        }
        L.dataStart = std::min<int64_t>(L.dataStart, e.RelOffLocalHdr);
        L.entries.push_back(std::move(e));
    }
    return finish();
}

}  // namespace zipfmt
