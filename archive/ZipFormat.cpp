#include "ZipFormat.h"

#include <algorithm>

#include "ZipMsg.h"

void ConvertHighBytes(std::string& s, const std::array<char, 128>& table) {
    for (char& c : s) {
        auto b = static_cast<uint8_t>(c);
        if (b & 0x80) c = table[b - 128];
    }
}

zip::EndRecord ReadComponentEndRecord(zip::ByteSource& src) { return zip::ReadEndRecord(src, zip::EndRule::TrailingFirst); }

int NotFoundMessage(bool spanFirstPart, int labelDisk) {
    if (spanFirstPart) return labelDisk == 1 ? ZIPMSG_FIRST_DISK : ZIPMSG_FIRST_FILE;
    if (labelDisk >= 0) return ZIPMSG_NTH_DISK;
    return ZIPMSG_NOT_A_ZIP;
}

int ListingFault(const zip::Fault& fault, bool spanFirstPart, int labelDisk) {
    using F = zip::Fault;
    switch (fault.kind) {
    case F::None: return 0;
    case F::TooShort:
    case F::NoEndRecord: return NotFoundMessage(spanFirstPart, labelDisk);
    case F::EndUnreadable: return ZIPMSG_EOC_READ;
    case F::DirectoryTooLarge: return ZIPMSG_SEEK_LIST;
    case F::HeaderSignature: return ZIPMSG_CEH_SIG;
    case F::NameCut: return ZIPMSG_CEH_NAME;
    case F::ExtraCut: return ZIPMSG_SEEK_LIST;
    case F::CommentCut: return ZIPMSG_FILE_COMMENT;
    // The rest: the directory, or its disk, is not there to read (the strict reader's refusals
    // never come under the listing rules).
    default: return ZIPMSG_CEH_READ;
    }
}

namespace {

// A member as the component shows it. Sizes and offset past 4 GiB stay saturated (the fields
// are 32 bits).
ZipDirEntry ToDirEntry(zip::Entry&& e) {
    ZipDirEntry d;
    d.VersionNeeded = e.needed;
    d.Flag = e.flags;
    d.ComprMethod = e.method;
    d.ModifTime = uint16_t(e.dostime);
    d.ModifDate = uint16_t(e.dostime >> 16);
    d.CRC32 = e.crc;
    d.ComprSize = uint32_t(std::min<uint64_t>(e.csize, zip::kZip64Mark));
    d.UncomprSize = uint32_t(std::min<uint64_t>(e.usize, zip::kZip64Mark));
    d.FileNameLength = uint16_t(e.rawName.size());
    d.ExtraFieldLength = e.extraLength;
    d.FileCommentLen = e.commentLength;
    d.MadeByVersion = uint8_t(e.madeBy);
    d.HostVersionNo = e.Host();
    d.StartOnDisk = e.diskStart;
    d.IntFileAttrib = e.intAttr;
    d.ExtFileAttrib = e.extAttr;
    d.RelOffLocalHdr = uint32_t(std::min<uint64_t>(e.localOffset, zip::kZip64Mark));
    d.FileName = std::move(e.rawName);
    d.FileComment = std::move(e.comment);
    return d;
}

}  // namespace

ZipListing ReadZipListing(zip::ByteSource& src, const ZipListOptions& opt) {
    zip::DirectoryRules rules = zip::ListingRules();
    if (opt.diskSource) rules.diskSource = [&opt](uint32_t disk) { return opt.diskSource(int(disk)); };
    zip::Directory d = zip::ReadDirectory(src, rules);
    ZipListing L;
    L.end = std::move(d.end);
    L.error = ListingFault(d.fault, L.end.spanFirstPart, opt.labelDisk);
    if (!L.end.found) return L;
    L.centralStart = int64_t(d.cdStart);
    L.structureWarning = d.shift != 0;
    L.dataStart = int64_t(d.dataStart);
    L.lastHost = uint8_t(d.lastMadeBy >> 8);
    L.lastVersion = uint8_t(d.lastMadeBy);
    // A member cut short in its comment is listed with the comment as stored.
    const size_t commentCut = d.fault.kind == zip::Fault::CommentCut ? d.entries.size() - 1 : d.entries.size();
    L.entries.reserve(d.entries.size());
    for (size_t i = 0; i < d.entries.size(); ++i) {
        ZipDirEntry e = ToDirEntry(std::move(d.entries[i]));
        if (opt.oemTable && zip::ListingOemByHost(opt.codePage, e.HostVersionNo, e.MadeByVersion)) {
            ConvertHighBytes(e.FileName, *opt.oemTable);
            if (i != commentCut) ConvertHighBytes(e.FileComment, *opt.oemTable);
        }
        std::replace(e.FileName.begin(), e.FileName.end(), '/', '\\');
        L.entries.push_back(std::move(e));
    }
    return L;
}
