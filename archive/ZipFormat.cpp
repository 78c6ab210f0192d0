#include "ZipFormat.h"

#include <algorithm>
#include <cstring>

#include "Bytes.h"
#include "ZipMsg.h"

using zip::Get32;
using zip::ByteSource;
using zip::ZipEndOfCentral;

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

bool NamesInOemCharset(zip::NameRule rule, uint8_t host, uint8_t version) {
    switch (rule) {
    case zip::NameRule::None: return false;
    case zip::NameRule::Oem: return true;
    case zip::NameRule::Auto: return host == 0 || host == 6 || (host == 11 && version == 50);
    }
    return false;
}

void ConvertHighBytes(std::string& s, const std::array<char, 128>& table) {
    for (char& c : s) {
        auto b = static_cast<uint8_t>(c);
        if (b & 0x80) c = table[b - 128];
    }
}

ZipEndRecord FindZipEndRecord(ByteSource& src) {
    ZipEndRecord r;
    r.fileSize = r.usableSize = src.Size();
    uint8_t head[8];
    if (src.ReadExactly(0, head, 8) && Get32(head) == zip::kSpanMarkerSig && Get32(head + 4) == zip::kLocalSig)
        r.spanFirstPart = true;
    // A file shorter than the record itself holds no archive.
    if (r.fileSize < zip::kEndSize) return r;

    size_t tailLen = size_t(zip::EndSearchLength(r.fileSize));
    uint64_t tailStart = r.fileSize - tailLen;
    std::vector<uint8_t> tail(tailLen);
    if (!src.ReadExactly(tailStart, tail.data(), tailLen)) {
        r.error = ZIPMSG_EOC_READ;
        return r;
    }
    zip::EndRecordHits hits = zip::FindEndRecord(tail.data(), tailLen);
    // A record in the last 22 bytes has no room for a comment: whatever its length field says,
    // there is none.
    int64_t at = hits.nearest == int64_t(tailLen - zip::kEndSize) ? hits.nearest : hits.complete;
    if (at < 0) return r;
    r.found = true;
    r.eoc = ZipEndOfCentral::Decode(&tail[at]);
    r.endPos = tailStart + at;
    if (at == int64_t(tailLen - zip::kEndSize)) return r;
    r.comment.assign(reinterpret_cast<const char*>(&tail[at + zip::kEndSize]), r.eoc.ZipCommentLen);
    uint64_t end = r.endPos + zip::kEndSize + r.eoc.ZipCommentLen;
    uint64_t surplus = r.fileSize - end;
    if (surplus > 0) {
        r.usableSize = end;
        bool zeroFill = r.fileSize % 512 == 0 && surplus < 512 &&
                        std::all_of(tail.begin() + (end - tailStart), tail.end(), [](uint8_t b) { return b == 0; });
        r.garbage = !zeroFill;
    }
    return r;
}

// Sizes and offset saturated in the central header come from its ZIP64 field; values past
// 4 GiB stay saturated (the fields are 32 bits).
void FillZip64Sizes(ZipDirEntry& e, const std::string& extra) {
    bool u = e.UncomprSize == 0xFFFFFFFF, c = e.ComprSize == 0xFFFFFFFF, o = e.RelOffLocalHdr == 0xFFFFFFFF;
    if (!u && !c && !o) return;
    zip::Zip64Values v{e.UncomprSize, e.ComprSize, e.RelOffLocalHdr};
    zip::ReadZip64Extra(reinterpret_cast<const uint8_t*>(extra.data()), extra.size(), u, c, o, false, v);
    for (auto [field, value] : {std::pair{&e.UncomprSize, v.uncompressed}, {&e.ComprSize, v.compressed},
                                {&e.RelOffLocalHdr, v.offset}})
        if (value <= 0xFFFFFFFF) *field = uint32_t(value);
}

int NotFoundMessage(bool spanFirstPart, int labelDisk) {
    if (spanFirstPart) return labelDisk == 1 ? ZIPMSG_FIRST_DISK : ZIPMSG_FIRST_FILE;
    if (labelDisk >= 0) return ZIPMSG_NTH_DISK;
    return ZIPMSG_NOT_A_ZIP;
}

ZipListing ReadZipListing(ByteSource& src, const ZipListOptions& opt) {
    ZipListing L;
    L.end = FindZipEndRecord(src);
    if (L.end.error) {
        L.error = L.end.error;
        return L;
    }
    if (!L.end.found) {
        L.error = NotFoundMessage(L.end.spanFirstPart, opt.labelDisk);
        return L;
    }
    const ZipEndOfCentral& eoc = L.end.eoc;
    ByteSource* disk = &src;
    int diskNo = eoc.ThisDiskNo;
    uint64_t centralEnd = L.end.endPos, centralSize = eoc.CentralSize, centralOffset = eoc.CentralOffset;
    uint64_t totalEntries = eoc.TotalEntries;
    if (eoc.ThisDiskNo == eoc.CentralDiskNo) {
        zip::Zip64Lookup z64 = zip::FindZip64End(src, L.end.endPos);
        if (z64.found) {
            centralEnd = z64.pos;
            centralSize = z64.centralSize;
            centralOffset = z64.centralOffset;
            totalEntries = z64.totalEntries;
        }
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
    L.entries.reserve(size_t(std::min<uint64_t>(totalEntries, centralSize / zip::kCentralSize + 1)));
    uint8_t hdr[zip::kCentralSize];
    std::string field;
    for (uint64_t n = 0; n < totalEntries; ++n) {
        while (!in.Read(hdr, zip::kCentralSize)) {
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
        if (Get32(hdr) != zip::kCentralSig) {
            L.error = ZIPMSG_CEH_SIG;
            return finish();
        }
        ZipDirEntry e;
        e.DecodeHeader(hdr + 4);
        L.lastHost = e.HostVersionNo;
        L.lastVersion = e.MadeByVersion;
        bool convert = opt.oemTable && NamesInOemCharset(opt.codePage, e.HostVersionNo, e.MadeByVersion);
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
