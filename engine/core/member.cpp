#include "member.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "codec.h"
#include "errors.h"
#include "ZipCrypto.h"

namespace zc {

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

}  // namespace

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
    uint64_t pos = data_offset(archive_, e, fileSize_);
    uint64_t left = e.csize;
    std::unique_ptr<ZipCrypto> keys;
    if (e.Encrypted()) {
        if (left < ZipCrypto::kHeaderSize) Fail(e, MemberFault::HeaderMissing);
        uint8_t head[ZipCrypto::kHeaderSize];
        archive_.read_at(pos, head, sizeof head, "an encryption header");
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
            if (z->finished()) break;
            size_t used = 0;
            // At most one byte past the announced size, to notice data that is too long.
            size_t room = size_t(std::min<uint64_t>(kOutChunk, e.usize - produced + 1));
            if (!z->feed(in.data() + inOff, inAvail, used, out, room)) Fail(e, MemberFault::Inflate, 0, 0, z->error());
            inOff += used;
            inAvail -= used;
            if (used == 0 && out.empty() && !z->finished() && (inAvail > 0 || left == 0))
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
        fs.remove_file(temp);
        throw;
    }
    out.reset();
    if (existing.exists && (existing.attrs & kAttrReadOnly)) fs.set_attrs(target, existing.attrs & ~kAttrReadOnly);
    if (!fs.replace_file(temp, target)) {
        std::string err = fs.last_error();
        fs.remove_file(temp);
        Fail(e, MemberFault::Rename, 0, 0, err, target);
    }
    fs.set_mtime(target, fs.from_dos_time(e.dostime));
    const uint8_t host = e.Host();
    const uint32_t mode = e.extAttr >> 16;
    uint32_t attrs = 0;
    if (host == kHostFat || host == kHostNtfs || host == kHostHpfs)
        attrs = e.extAttr & (kAttrReadOnly | kAttrHidden | kAttrSystem);
    else if (unixReadOnly && host == kHostUnix && mode && !(mode & 0200))
        attrs = kAttrReadOnly;
    if (attrs) fs.set_attrs(target, attrs | kAttrArchive);
}

}  // namespace zc
