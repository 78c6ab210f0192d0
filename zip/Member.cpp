#include "Member.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "Bytes.h"
#include "Errors.h"
#include "Inflater.h"
#include "ZipCrypto.h"

namespace zip {

namespace {

constexpr size_t kInChunk = 256u << 10;
constexpr size_t kOutChunk = 1u << 20;

// The last byte of the decrypted header checks the password: the CRC's high byte, or with a
// data descriptor (whose CRC was not known when the header was written, as Info-ZIP zip -e
// does) the time's.
bool Fits(const Entry& e, const uint8_t* head, std::unique_ptr<ZipCrypto>& keys, const std::string& password) {
    keys = std::make_unique<ZipCrypto>(password);
    uint8_t h[ZipCrypto::kHeaderSize];
    std::copy(head, head + sizeof h, h);
    keys->Decrypt(h, sizeof h);
    return h[11] == uint8_t(e.crc >> 24) || ((e.flags & kFlagDescriptor) && h[11] == uint8_t(e.dostime >> 8));
}

std::string Num(uint64_t v) { return std::to_string(v); }

}  // namespace

uint64_t DataOffset(File& f, const Entry& e, uint64_t fileSize) {
    uint8_t h[kLocalSize];
    f.ReadAt(e.headerPos, h, sizeof h, "a local header");
    if (Get32(h) != kLocalSig)
        throw ZipError(kFormat, "The zip file is damaged: the local header of \"" + e.name + "\" at offset " +
                                    Num(e.headerPos) + " has a wrong signature");
    LocalHeader lh;
    lh.DecodeHeader(h + 4);
    uint64_t start = e.headerPos + lh.Length();
    // The data must lie inside the file.
    if (start > fileSize || e.csize > fileSize - start)
        throw ZipError(kFormat, "The zip file is damaged: the data of \"" + e.name + "\" (" + Num(e.csize) +
                                    " bytes at offset " + Num(start) + ") runs past the end of the file (" +
                                    Num(fileSize) + " bytes)");
    return start;
}

uint64_t DescriptorLength(File& f, const Entry& e, uint64_t dataEnd, uint64_t fileSize) {
    if (!(e.flags & kFlagDescriptor)) return 0;
    if (dataEnd + 12 > fileSize) return 0;
    uint8_t b[24] = {};
    size_t have = size_t(std::min<uint64_t>(24, fileSize - dataEnd));
    f.ReadAt(dataEnd, b, have, "a data descriptor");
    bool sig = Get32(b) == kDescriptorSig;
    auto matches = [&](size_t at, bool wide) {
        size_t len = at + 4 + (wide ? 16 : 8);
        if (len > have || Get32(b + at) != e.crc) return false;
        uint64_t c = wide ? Get64(b + at + 4) : Get32(b + at + 4);
        uint64_t u = wide ? Get64(b + at + 12) : Get32(b + at + 8);
        return c == e.csize && u == e.usize;
    };
    // With a signature, 4-byte sizes, then 8-byte ones (ZIP64); without one likewise.
    if (sig && matches(4, false)) return 16;
    if (sig && matches(4, true)) return 24;
    if (matches(0, false)) return 12;
    if (matches(0, true)) return 20;
    // Fields that do not match the directory: the shortest reading that fits.
    uint64_t len = sig ? 16 : 12;
    return dataEnd + len <= fileSize ? len : 12;
}

int MemberFault::Code() const {
    switch (kind) {
        case Aes:
        case Method:
        case StrongEncryption: return kUnsupported;
        case NoPassword:
        case WrongPassword: return kPassword;
        case ArchiveEnds:
        case EndsEarly: return kEof;
        case Crc: return kBadCrc;
        case Rename: return kCreate;
        default: return kFormat;
    }
}

void MemberDecoder::Fail(const Entry& e, MemberFault::Kind kind, uint64_t count, uint64_t size, std::string detail,
                         std::string path) const {
    MemberFault fault{kind, count, size, std::move(detail), std::move(path)};
    throw ZipError(fault.Code(), wording_(fault, e.name));
}

void MemberDecoder::Decode(const Entry& e, const Sink& sink) {
    if (e.method == kMethodAes) Fail(e, MemberFault::Aes, e.method);
    if (e.method != kMethodStored && e.method != kMethodDeflated) Fail(e, MemberFault::Method, e.method);
    if (e.flags & 0x40) Fail(e, MemberFault::StrongEncryption);
    uint64_t pos = DataOffset(archive_, e, fileSize_);
    uint64_t left = e.csize;
    std::unique_ptr<ZipCrypto> keys;
    if (e.Encrypted()) {
        if (left < ZipCrypto::kHeaderSize) Fail(e, MemberFault::HeaderMissing);
        uint8_t head[ZipCrypto::kHeaderSize];
        archive_.ReadAt(pos, head, sizeof head, "an encryption header");
        // The keys that fit have read the header and are ready for the data.
        std::string password;
        for (bool retry = false;; retry = true) {
            PasswordReply reply = passwords_(password, retry);
            if (reply == PasswordReply::NoneGiven) Fail(e, MemberFault::NoPassword);
            if (reply == PasswordReply::NoMoreTries) Fail(e, MemberFault::WrongPassword);
            if (Fits(e, head, keys, password)) break;
        }
        pos += sizeof head;
        left -= sizeof head;
    }
    if (e.method == kMethodStored && left != e.usize) Fail(e, MemberFault::StoredSize, left, e.usize);
    std::unique_ptr<StreamInflater> z;
    if (e.method == kMethodDeflated) z = std::make_unique<StreamInflater>();
    std::vector<uint8_t> in(size_t(std::min<uint64_t>(std::max<uint64_t>(left, 1), kInChunk))), out;
    size_t inOff = 0, inAvail = 0;
    uint64_t produced = 0;
    uint32_t crc = 0;
    archive_.seek(pos);
    for (;;) {
        if (inAvail == 0 && left > 0) {
            size_t n = size_t(std::min<uint64_t>(left, in.size()));
            if (archive_.read(in.data(), n) != n) Fail(e, MemberFault::ArchiveEnds);
            if (keys) keys->Decrypt(in.data(), n);
            left -= n;
            inOff = 0;
            inAvail = n;
        }
        out.clear();
        if (z) {
            if (z->Finished()) break;
            size_t used = 0;
            // At most one byte past the announced size, to notice data that is too long.
            size_t room = size_t(std::min<uint64_t>(kOutChunk, e.usize - produced + 1));
            if (!z->Feed(in.data() + inOff, inAvail, used, out, room)) Fail(e, MemberFault::Inflate, 0, 0, z->Error());
            inOff += used;
            inAvail -= used;
            if (used == 0 && out.empty() && !z->Finished() && (inAvail > 0 || left == 0))
                Fail(e, MemberFault::EndsEarly);
        } else {
            if (inAvail == 0) break;
            out.assign(in.begin() + inOff, in.begin() + inOff + inAvail);
            inOff += inAvail;
            inAvail = 0;
        }
        produced += out.size();
        if (produced > e.usize) Fail(e, MemberFault::TooLong, produced, e.usize);
        crc = Crc32Update(crc, out.data(), out.size());
        if (!out.empty()) {
            sink(out.data(), out.size());
            if (progress_(out.size())) throw Cancelled();
        }
    }
    if (produced != e.usize) Fail(e, MemberFault::WrongSize, produced, e.usize);
    if (crc != e.crc) Fail(e, MemberFault::Crc);
}

void MemberDecoder::Write(FileSystem& fs, const Entry& e, const std::string& target, const char* suffix,
                          const FileInfo& existing, bool unixReadOnly) {
    // The temporary name may already be taken: by a member extracted before this one (a
    // member may be called "x.unz~tmp" itself) or by a file of the person's. Writing through
    // it would overwrite that file and then carry it away under target's name.
    std::string temp = target + suffix;
    for (int n = 1; fs.stat(temp).exists; ++n) temp = target + suffix + std::to_string(n);
    std::unique_ptr<File> out = fs.create(temp);
    try {
        Decode(e, [&](const uint8_t* p, size_t n) { out->write(p, n); });
        out->close();
    } catch (...) {
        out.reset();
        fs.RemoveFile(temp);
        throw;
    }
    out.reset();
    if (existing.exists && (existing.attrs & kAttrReadOnly)) fs.SetAttrs(target, existing.attrs & ~kAttrReadOnly);
    if (!fs.ReplaceFile(temp, target)) {
        std::string err = fs.LastError();
        fs.RemoveFile(temp);
        Fail(e, MemberFault::Rename, 0, 0, err, target);
    }
    fs.SetMtime(target, fs.FromDosTime(e.dostime));
    const uint8_t host = e.Host();
    const uint32_t mode = e.extAttr >> 16;
    uint32_t attrs = 0;
    if (host == kHostFat || host == kHostNtfs || host == kHostHpfs)
        attrs = e.extAttr & (kAttrReadOnly | kAttrHidden | kAttrSystem);
    else if (unixReadOnly && host == kHostUnix && mode && !(mode & 0200))
        attrs = kAttrReadOnly;
    if (attrs) fs.SetAttrs(target, attrs | kAttrArchive);
}

}  // namespace zip
