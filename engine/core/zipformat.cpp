#include "zipformat.h"

#include "MemberRanges.h"

#include <algorithm>

#include "Errors.h"
#include "Text.h"
#include "ZipCrypto.h"

namespace zc {

namespace {

std::string num(uint64_t v) { return std::to_string(v); }

// The engine's files as the format's readers see them.
class FileBytes : public ByteSource {
public:
    explicit FileBytes(File& f) : f_(f), size_(f.size()) {}
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t pos, void* buf, size_t n) override {
        if (pos > size_) return 0;
        f_.seek(pos);
        return f_.read(buf, n);
    }

private:
    File& f_;
    uint64_t size_;
};

const char* const kSpanned = "This is part of a spanned (multi-disk) archive; join the disks into one archive first";

// The engine's code and text for each fault of the reader.
[[noreturn]] void Throw(const zip::Fault& f, const Directory& d) {
    using F = zip::Fault;
    const std::string damaged = "The zip file is damaged: ";
    const std::string which = "central header " + num(f.index + 1) + " of " + num(d.count);
    switch (f.kind) {
        case F::TooShort:
            throw ZipError(kNoArchive, "This is not a zip archive (" + num(f.fileSize) +
                                           " bytes, less than the 22 of an end record)");
        case F::EndUnreadable:
            throw ZipError(kEof, "Unexpected end of the zip file while reading the end of the archive: need " +
                                     num(f.need) + " bytes, found " + num(f.found));
        case F::NoEndRecord:
            throw ZipError(kNoArchive, "This is not a zip archive (no end of central directory record)");
        case F::Spanned:
        case F::DiskMissing: throw ZipError(kUnsupported, kSpanned);
        case F::Zip64EndMissing:
            throw ZipError(kFormat, damaged + "its ZIP64 locator points at offset " + num(f.offset) +
                                        ", where there is no ZIP64 end record");
        case F::DirectoryTooLarge:
            throw ZipError(kFormat, damaged + "its central directory (" + num(f.need) +
                                        " bytes) is larger than the space before the end record (" + num(f.found) +
                                        " bytes)");
        case F::DirectoryOffsetTooLate:
            throw ZipError(kFormat, damaged + "central directory recorded at " + num(f.offset) +
                                        " but it can start at " + num(f.limit) + " at most");
        case F::DirectoryUnreadable:
            throw ZipError(kEof, "Unexpected end of the zip file while reading the central directory: need " +
                                     num(d.cdSize) + " bytes, found " + num(f.offset - d.cdStart));
        case F::HeaderCut:
            throw ZipError(kFormat, damaged + which + " is truncated (need 46 bytes, found " + num(f.found) + ")");
        case F::HeaderSignature: throw ZipError(kFormat, damaged + which + " has a wrong signature");
        case F::NameCut:
        case F::ExtraCut:
        case F::CommentCut:
            throw ZipError(kFormat, damaged + "the name, extra field and comment of " + which +
                                        " run past the central directory (need " + num(f.need) + " bytes, found " +
                                        num(f.found) + ")");
        case F::Zip64FieldMissing:
            throw ZipError(kFormat, damaged + which + " (\"" + f.name +
                                        "\") marks its sizes as ZIP64 but its ZIP64 field is missing or too short");
        case F::LocalHeaderPastData:
            throw ZipError(kFormat, damaged + which + " points at offset " + num(f.offset) +
                                        ", past the member data (which ends at " + num(f.limit) + ")");
        case F::None: break;
    }
    throw ZipError(kLogic, "Reading the central directory failed");
}

}  // namespace

Directory ReadDirectory(File& f, NameRule rule) {
    FileBytes bytes(f);
    Directory d = zip::ReadDirectory(bytes, zip::RewriteRules());
    if (d.fault) Throw(d.fault, d);
    for (Entry& e : d.entries) e.name = DecodeName(e, rule);
    return d;
}

std::string CountMismatchNote(const Directory& d) {
    if (!d.CountDiffers()) return "";
    return "its end record counts " + num(d.count) + " member" + (d.count == 1 ? "" : "s") +
           " but its central directory holds " + num(d.entries.size());
}

void CheckRewritable(const Directory& d) {
    if (d.CountDiffers())
        throw ZipError(kFormat, "The zip file is damaged: " + CountMismatchNote(d) +
                                    "; it is not rewritten, since members could be lost. Extract what it holds "
                                    "and make a new archive");
}

namespace {

// The fields both headers of a member record. Sizes marked c (compressed) and u
// (uncompressed) are saturated: their values go into the ZIP64 field, which needs version 4.5.
MemberFields MemberFieldsOf(const Entry& e, size_t extraLen, bool zip64Field, bool c, bool u) {
    MemberFields h;
    h.VersionNeeded = zip64Field ? std::max<uint16_t>(e.needed, 45) : e.needed;
    h.Flag = e.flags;
    h.ComprMethod = e.method;
    h.ModifTime = uint16_t(e.dostime);
    h.ModifDate = uint16_t(e.dostime >> 16);
    h.CRC32 = e.crc;
    h.ComprSize = c ? uint32_t(kZip64Mark) : uint32_t(e.csize);
    h.UncomprSize = u ? uint32_t(kZip64Mark) : uint32_t(e.usize);
    h.FileNameLength = uint16_t(e.rawName.size());
    h.ExtraFieldLength = uint16_t(extraLen);
    return h;
}

}  // namespace

std::vector<uint8_t> LocalHeaderBytes(const Entry& e, const std::string& localExtra, bool zip64) {
    LocalHeader h;
    static_cast<MemberFields&>(h) = MemberFieldsOf(e, localExtra.size() + (zip64 ? 20 : 0), zip64, zip64, zip64);
    std::vector<uint8_t> out(kLocalSize);
    out.reserve(h.Length());
    Put32(out.data(), kLocalSig);
    h.EncodeHeader(out.data() + 4);
    ByteWriter w(out);
    w.Str(e.rawName);
    if (zip64) {
        // First in the extra block, so that its values sit at Zip64SizesAt().
        w.U16(kExtraZip64);
        w.U16(16);
        w.U64(e.usize);
        w.U64(e.csize);
    }
    w.Str(localExtra);
    return out;
}

std::vector<uint8_t> CentralHeaderBytes(const Entry& e) {
    bool u = e.zip64Sizes || e.usize >= kZip64Mark, c = e.zip64Sizes || e.csize >= kZip64Mark;
    bool o = e.localOffset >= kZip64Mark;
    std::vector<uint8_t> z64;
    if (u || c || o) {
        ByteWriter zw(z64);
        zw.U16(kExtraZip64);
        zw.U16(8 * (u + c + o));
        for (auto [on, v] : {std::pair<bool, uint64_t>{u, e.usize}, {c, e.csize}, {o, e.localOffset}})
            if (on) zw.U64(v);
    }
    CentralHeader h;
    static_cast<MemberFields&>(h) = MemberFieldsOf(e, z64.size() + e.extra.size(), !z64.empty(), c, u);
    h.MadeByVersion = uint8_t(e.madeBy);
    h.HostVersionNo = uint8_t(e.madeBy >> 8);
    h.FileCommentLen = uint16_t(e.comment.size());
    h.StartOnDisk = e.diskStart;
    h.IntFileAttrib = e.intAttr;
    h.ExtFileAttrib = e.extAttr;
    h.RelOffLocalHdr = o ? uint32_t(kZip64Mark) : uint32_t(e.localOffset);
    std::vector<uint8_t> out(kCentralSize);
    out.reserve(kCentralSize + h.VariableLength());
    Put32(out.data(), kCentralSig);
    h.EncodeHeader(out.data() + 4);
    ByteWriter w(out);
    w.Str(e.rawName);
    w.Bytes(z64.data(), z64.size());
    w.Str(e.extra);
    w.Str(e.comment);
    return out;
}

bool NeedsZip64End(uint64_t count, uint64_t cdSize, uint64_t cdOffset) {
    // 65,535 members still fit: readers take 0xFFFF as a count where no locator follows.
    return count > 0xFFFF || cdSize >= kZip64Mark || cdOffset >= kZip64Mark;
}

std::vector<uint8_t> EndRecordBytes(uint64_t count, uint64_t cdSize, uint64_t cdOffset, const std::string& comment) {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    if (NeedsZip64End(count, cdSize, cdOffset)) {
        uint64_t at = cdOffset + cdSize;
        w.U32(kZip64EndSig);
        w.U64(kZip64EndSize - 12);
        w.U16(uint32_t(kHostFat << 8 | 45));
        w.U16(45);
        w.U32(0);
        w.U32(0);
        w.U64(count);
        w.U64(count);
        w.U64(cdSize);
        w.U64(cdOffset);
        w.U32(kZip64LocatorSig);
        w.U32(0);
        w.U64(at);
        w.U32(1);
    }
    ZipEndOfCentral end;
    end.HeaderSig = kEndSig;
    end.CentralEntries = end.TotalEntries = uint16_t(std::min<uint64_t>(count, 0xFFFF));
    end.CentralSize = uint32_t(std::min<uint64_t>(cdSize, kZip64Mark));
    end.CentralOffset = uint32_t(std::min<uint64_t>(cdOffset, kZip64Mark));
    end.ZipCommentLen = uint16_t(comment.size());
    out.resize(out.size() + kEndSize);
    end.Encode(out.data() + out.size() - kEndSize);
    w.Str(comment);
    return out;
}

}  // namespace zc
