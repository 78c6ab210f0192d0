#include "Directory.h"

#include <algorithm>

#include "Bytes.h"

namespace zip {

namespace {

// A stretch of a source read front to back in large pieces, each record handed out in place: a
// directory of tens of thousands of headers costs a handful of reads instead of three per member.
class Stretch {
public:
    Stretch(ByteSource& src, uint64_t from, uint64_t to) : src_(&src), pos_(from), end_(to) {}
    // The next n bytes, or nullptr when fewer are left before the end (or the source failed).
    const uint8_t* Take(size_t n) {
        if (n > Left()) return nullptr;
        if (n > have_.size() - at_ && !Load(n)) return nullptr;
        at_ += n;
        pos_ += n;
        return have_.data() + at_ - n;
    }
    // What is left of the next n bytes, as far as the source holds them.
    std::string Rest(size_t n) {
        n = size_t(std::min<uint64_t>(n, Left()));
        Load(n);
        return std::string(reinterpret_cast<const char*>(have_.data() + at_), std::min(n, have_.size() - at_));
    }
    uint64_t Pos() const { return pos_; }
    uint64_t Left() const { return end_ - pos_; }
    bool SourceFailed() const { return failed_; }

private:
    bool Load(size_t n) {
        have_.erase(have_.begin(), have_.begin() + at_);
        at_ = 0;
        size_t kept = have_.size();
        size_t want = size_t(std::min<uint64_t>(std::max<size_t>(n, 1 << 20), Left())) - kept;
        have_.resize(kept + want);
        size_t got = src_->ReadAt(pos_ + kept, have_.data() + kept, want);
        have_.resize(kept + got);
        failed_ = got < want;
        return have_.size() >= n;
    }
    ByteSource* src_;
    uint64_t pos_, end_;
    std::vector<uint8_t> have_;
    size_t at_ = 0;
    bool failed_ = false;
};

Fault Make(Fault::Kind kind) {
    Fault f;
    f.kind = kind;
    return f;
}

Entry FromHeader(const CentralHeader& h) {
    Entry e;
    e.madeBy = uint16_t(h.HostVersionNo << 8 | h.MadeByVersion);
    e.needed = h.VersionNeeded;
    e.flags = h.Flag;
    e.method = h.ComprMethod;
    e.dostime = uint32_t(h.ModifDate) << 16 | h.ModifTime;
    e.crc = h.CRC32;
    e.csize = h.ComprSize;
    e.usize = h.UncomprSize;
    e.diskStart = h.StartOnDisk;
    e.intAttr = h.IntFileAttrib;
    e.extAttr = h.ExtFileAttrib;
    e.localOffset = h.RelOffLocalHdr;
    e.extraLength = h.ExtraFieldLength;
    e.commentLength = h.FileCommentLen;
    return e;
}

// Fills the saturated fields from the ZIP64 field. Strictly the field must hold every one of
// them (false otherwise); for a listing it is used as far as it reaches, and the disk number,
// which a listing does not show, is left alone.
bool WidenFromZip64(Entry& e, const std::string& extra, Tolerance tolerance) {
    bool strict = tolerance == Tolerance::Strict;
    bool u = e.usize == kZip64Mark, c = e.csize == kZip64Mark, o = e.localOffset == kZip64Mark;
    bool disk = strict && e.diskStart == 0xFFFF;
    if (!u && !c && !o && !disk) return true;
    Zip64Values v{e.usize, e.csize, e.localOffset, e.diskStart};
    bool whole = ReadZip64Extra(reinterpret_cast<const uint8_t*>(extra.data()), extra.size(), u, c, o, disk, v);
    if (strict && !whole) return false;
    e.usize = v.uncompressed;
    e.csize = v.compressed;
    e.localOffset = v.offset;
    if (disk) e.diskStart = uint16_t(std::min<uint32_t>(v.disk, 0xFFFF));
    e.zip64Sizes = u || c;
    return true;
}

}  // namespace

EndRecord ReadEndRecord(ByteSource& src, EndRule rule) {
    EndRecord r;
    r.fileSize = r.usableSize = src.Size();
    uint8_t head[8];
    r.spanFirstPart = src.ReadExactly(0, head, 8) && Get32(head) == kSpanMarkerSig && Get32(head + 4) == kLocalSig;
    if (r.fileSize < kEndSize) {
        r.fault = Make(Fault::TooShort);
        r.fault.fileSize = r.fileSize;
        return r;
    }
    size_t tailLen = size_t(EndSearchLength(r.fileSize));
    uint64_t tailStart = r.fileSize - tailLen;
    std::vector<uint8_t> tail(tailLen);
    size_t got = src.ReadAt(tailStart, tail.data(), tailLen);
    if (got != tailLen) {
        r.fault = Make(Fault::EndUnreadable);
        r.fault.need = tailLen;
        r.fault.found = got;
        return r;
    }
    EndRecordHits hits = FindEndRecord(tail.data(), tailLen);
    const int64_t last = int64_t(tailLen - kEndSize);
    int64_t at = rule == EndRule::WholeComment ? (hits.complete >= 0 ? hits.complete : hits.nearest)
                                               : (hits.nearest == last ? last : hits.complete);
    if (at < 0) {
        r.fault = Make(Fault::NoEndRecord);
        return r;
    }
    r.found = true;
    r.record = ZipEndOfCentral::Decode(&tail[at]);
    r.endPos = tailStart + uint64_t(at);
    size_t commentLen = std::min<size_t>(r.record.ZipCommentLen, tailLen - size_t(at) - kEndSize);
    r.comment.assign(reinterpret_cast<const char*>(&tail[at + kEndSize]), commentLen);
    // Bytes after the comment: zero fill up to a multiple of 512 is what copying to some media
    // leaves, anything else was appended by someone.
    uint64_t end = r.endPos + kEndSize + commentLen;
    if (end < r.fileSize) {
        r.usableSize = end;
        bool zeroFill = r.fileSize % 512 == 0 && r.fileSize - end < 512 &&
                        std::all_of(tail.begin() + (end - tailStart), tail.end(), [](uint8_t b) { return b == 0; });
        r.garbage = !zeroFill;
    }
    return r;
}

Directory ReadDirectory(ByteSource& src, const DirectoryRules& rules) {
    const bool strict = rules.tolerance == Tolerance::Strict;
    Directory d;
    d.fileSize = src.Size();
    d.end = ReadEndRecord(src, rules.end);
    if (d.end.fault) {
        d.fault = d.end.fault;
        return d;
    }
    const ZipEndOfCentral& eoc = d.end.record;
    d.count = eoc.TotalEntries;
    d.cdSize = eoc.CentralSize;
    d.cdOffset = eoc.CentralOffset;
    uint64_t countHere = eoc.CentralEntries, cdEnd = d.end.endPos;
    uint32_t thisDisk = eoc.ThisDiskNo, cdDisk = eoc.CentralDiskNo;
    auto fail = [&d](Fault::Kind kind) -> Fault& {
        d.fault = Make(kind);
        return d.fault;
    };

    // A ZIP64 locator right before the end record points at the ZIP64 end record, whose fields
    // replace the classic ones. Without a locator a count of 0xFFFF is just that count. A
    // listing looks for it only where the directory is on the end record's disk.
    if (strict || thisDisk == cdDisk) {
        Zip64Lookup z = FindZip64End(src, d.end.endPos);
        if (strict && z.hasLocator && (z.endDisk != 0 || z.totalDisks > 1)) {
            fail(Fault::Spanned).index = d.count;
            return d;
        }
        if (strict && z.hasLocator && !z.found) {
            fail(Fault::Zip64EndMissing).offset = z.recordedPos;
            return d;
        }
        if (z.found) {
            d.zip64 = true;
            d.count = z.totalEntries;
            d.cdSize = z.centralSize;
            d.cdOffset = z.centralOffset;
            cdEnd = z.pos;
            if (strict) thisDisk = z.thisDisk, cdDisk = z.centralDisk, countHere = z.centralEntries;
        }
    }
    if (strict && (thisDisk != 0 || cdDisk != 0 || countHere != d.count)) {
        fail(Fault::Spanned).index = d.count;
        return d;
    }

    ByteSource* disk = &src;
    uint32_t diskNo = thisDisk;
    if (thisDisk == cdDisk) {
        // The directory lies directly in front of the end record (or the ZIP64 one); its
        // recorded offset leaves out the length of any stub in front.
        d.shift = int64_t(cdEnd - d.cdSize - d.cdOffset);  // unsigned arithmetic: no overflow
        if (d.cdSize > cdEnd) {
            Fault& f = fail(Fault::DirectoryTooLarge);
            f.need = d.cdSize;
            f.found = cdEnd;
            return d;
        }
        d.cdStart = cdEnd - d.cdSize;
    } else {
        disk = rules.diskSource ? rules.diskSource(cdDisk) : nullptr;
        if (!disk) {
            fail(Fault::DiskMissing).disk = cdDisk;
            return d;
        }
        diskNo = cdDisk;
        d.cdStart = d.cdOffset;
    }
    if (strict && d.shift < 0) {
        Fault& f = fail(Fault::DirectoryOffsetTooLate);
        f.offset = d.cdOffset;
        f.limit = d.cdStart;
        return d;
    }

    // Until a member says otherwise the data starts where the directory was recorded to start,
    // which for an empty archive behind a stub is the stub's length.
    uint64_t firstOffset = d.cdOffset;
    // Hands the result on by moving it: a copy of tens of thousands of entries costs more than
    // reading them.
    auto finish = [&]() -> Directory&& {
        d.dataStart = uint64_t(std::clamp<int64_t>(int64_t(firstOffset + uint64_t(d.shift)), 0, int64_t(src.Size())));
        return std::move(d);
    };

    const bool counted = rules.walk == Walk::Counted;
    Stretch in(*disk, d.cdStart, counted ? disk->Size() : d.cdStart + d.cdSize);
    // A count that cannot fit in the directory is not taken for the reservation.
    d.entries.reserve(size_t(std::min<uint64_t>(d.count, d.cdSize / kCentralSize + 1)));
    for (uint64_t i = 0;; ++i) {
        if (counted ? i >= d.count : in.Left() == 0) break;
        const uint8_t* h = in.Take(kCentralSize);
        // A header is never split over two disks: it is read whole from the next one.
        while (!h && counted && diskNo != thisDisk && rules.diskSource) {
            ByteSource* next = rules.diskSource(diskNo + 1);
            if (!next) break;
            ++diskNo;
            in = Stretch(*next, 0, next->Size());
            h = in.Take(kCentralSize);
        }
        if (!h) {
            fail(Fault::HeaderCut).found = in.Left();
        } else if (Get32(h) != kCentralSig) {
            fail(Fault::HeaderSignature).offset = in.Pos() - kCentralSize;
        }
        if (d.fault) {
            d.fault.index = i;
            break;
        }
        CentralHeader ch;
        ch.DecodeHeader(h + 4);
        Entry e = FromHeader(ch);
        d.lastMadeBy = e.madeBy;
        const uint64_t left = in.Left();
        auto cut = [&](Fault::Kind kind) {
            Fault& f = fail(kind);
            f.index = i;
            f.need = ch.VariableLength();
            f.found = left;
            f.name = e.rawName;
        };
        const uint8_t* p = in.Take(ch.FileNameLength);
        if (!p) {
            cut(Fault::NameCut);
            break;
        }
        e.rawName.assign(reinterpret_cast<const char*>(p), ch.FileNameLength);
        p = in.Take(ch.ExtraFieldLength);
        if (!p) {
            cut(Fault::ExtraCut);
            if (!strict) d.entries.push_back(std::move(e));
            break;
        }
        std::string extra(reinterpret_cast<const char*>(p), ch.ExtraFieldLength);
        p = in.Take(ch.FileCommentLen);
        if (!p) {
            cut(Fault::CommentCut);
            if (!strict) {
                // Listed at its recorded length, with what the file still holds of it.
                e.comment = in.Rest(ch.FileCommentLen);
                e.comment.resize(ch.FileCommentLen);
                WidenFromZip64(e, extra, rules.tolerance);
                d.entries.push_back(std::move(e));
            }
            break;
        }
        e.comment.assign(reinterpret_cast<const char*>(p), ch.FileCommentLen);
        if (!WidenFromZip64(e, extra, rules.tolerance)) {
            Fault& f = fail(Fault::Zip64FieldMissing);
            f.index = i;
            f.name = e.rawName;
            return finish();
        }
        e.extra = WithoutExtraField(extra, kExtraZip64);
        e.headerPos = e.localOffset + uint64_t(d.shift);
        if (strict) {
            // A local header lies before the central directory.
            if (e.localOffset > d.cdStart || e.headerPos + kLocalSize > d.cdStart) {
                Fault& f = fail(Fault::LocalHeaderPastData);
                f.index = i;
                f.offset = e.headerPos;
                f.limit = d.cdStart;
                f.name = e.rawName;
                return finish();
            }
            if (e.diskStart != 0) {
                fail(Fault::Spanned).index = i;
                return finish();
            }
        }
        firstOffset = std::min(firstOffset, e.localOffset);
        d.entries.push_back(std::move(e));
    }
    if (d.fault && in.SourceFailed()) {
        // Not the records but the reading failed.
        uint64_t index = d.fault.index;
        Fault& f = fail(Fault::DirectoryUnreadable);
        f.index = index;
        f.offset = in.Pos();
    }
    // The whole directory was read as far as it goes; bytes that are not a header after every
    // counted one just end it.
    if (!counted && d.fault && d.fault.kind != Fault::DirectoryUnreadable && d.entries.size() >= d.count)
        d.fault = Fault();
    return finish();
}

}  // namespace zip
