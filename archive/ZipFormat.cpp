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
    if (eoc.ThisDiskNo == eoc.CentralDiskNo) {
        // The directory lies directly in front of the end record.
        L.expectedCentralOffset = int64_t(L.end.endPos) - int64_t(eoc.CentralSize);
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
    L.structureWarning = L.expectedCentralOffset != int64_t(eoc.CentralOffset);
    // Until a member says otherwise the data starts where the directory was recorded to start,
    // which for an empty archive behind a stub is the stub's length.
    L.dataStart = eoc.CentralOffset;
    int64_t shift = L.expectedCentralOffset - int64_t(eoc.CentralOffset);

    auto finish = [&] {
        L.dataStart = std::clamp<int64_t>(L.dataStart + shift, 0, int64_t(src.Size()));
        return L;
    };
    if (L.expectedCentralOffset < 0) {
        L.error = ZIPMSG_SEEK_LIST;
        return finish();
    }

    SequentialReader in(*disk, uint64_t(L.expectedCentralOffset));
    L.entries.reserve(eoc.TotalEntries);
    uint8_t hdr[kCentralHeaderSize];
    std::string field;
    for (unsigned n = 0; n < eoc.TotalEntries; ++n) {
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
        if (!in.Skip(e.ExtraFieldLength)) {
            L.entries.push_back(std::move(e));
            L.error = ZIPMSG_SEEK_LIST;
            return finish();
        }
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
