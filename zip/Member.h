// One member's data out of an archive: the checks before it (method, strong encryption, the
// encryption header against a password), inflating with the announced size as a hard limit,
// the stored size, the CRC; and writing it through a temporary name that takes the target's
// only when everything was right, with the member's time and attributes.
//
// Used by the engine's Extract and Test and by the installer's and self-extractor's unpacking.
// Faults come back as facts (MemberFault); each caller words them for its own readers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Directory.h"
#include "FileSystem.h"

namespace zip {

// Offset of a member's data, after checking its local header; also checks that the data lies
// inside the file. Throws ZipError(kFormat) naming the member.
uint64_t DataOffset(File& f, const Entry& e, uint64_t fileSize);

// Length of the data descriptor after a member's data (0 without flag bit 3): 12 or 16 bytes
// with 4-byte sizes, 20 or 24 with 8-byte ones; the one whose fields match the entry wins.
uint64_t DescriptorLength(File& f, const Entry& e, uint64_t dataEnd, uint64_t fileSize);

struct MemberFault {
    enum Kind {
        Aes,     // encrypted with AES (method 99, in `count`)
        Method,  // another method than stored or deflated: `count` is its number
        StrongEncryption,
        NoPassword,     // encrypted, and there is no password to try
        WrongPassword,  // no password given fitted
        HeaderMissing,  // the data is shorter than the encryption header
        StoredSize,     // stored with `count` bytes of data for a size of `size`
        ArchiveEnds,    // the archive ends inside the member's data
        Inflate,        // the deflate data is corrupt: `detail` says how
        EndsEarly,      // the deflate data ends before its stream does
        TooLong,        // more data than the size of `size`
        WrongSize,      // `count` bytes instead of `size`
        Crc,
        Rename,  // the finished temporary file could not take `path`: `detail` says why
    };
    Kind kind;
    uint64_t count = 0, size = 0;
    std::string detail, path;
    // The engine's error code for it (kUnsupported, kPassword, kFormat, kEof, kBadCrc, kCreate).
    int Code() const;
};

enum class PasswordReply { Given, NoneGiven, NoMoreTries };

class MemberDecoder {
public:
    // The text of a fault of the member named `name`, for the person reading it.
    using Wording = std::string (*)(const MemberFault& fault, const std::string& name);
    // The next password to try on an encrypted member (retry: the last one did not fit).
    using Passwords = std::function<PasswordReply(std::string& password, bool retry)>;
    // Bytes written since the last call; true asks to stop (Cancelled is thrown).
    using Progress = std::function<bool(uint64_t bytes)>;
    using Sink = std::function<void(const uint8_t* data, size_t n)>;

    MemberDecoder(File& archive, uint64_t fileSize, Wording wording, Passwords passwords, Progress progress)
        : archive_(archive),
          fileSize_(fileSize),
          wording_(wording),
          passwords_(std::move(passwords)),
          progress_(std::move(progress)) {}

    // Decodes e, each piece of its data to sink. Throws ZipError (worded) or Cancelled.
    void Decode(const Entry& e, const Sink& sink);

    // Decodes e into target through target + suffix, which replaces target (its read-only bit
    // cleared first: `existing` is what stat says is there now) only when complete; then the
    // member's time, and its DOS attributes (with unixReadOnly, also a Unix mode without the
    // owner's write bit as read-only). On failure nothing is left under the temporary name.
    void Write(FileSystem& fs, const Entry& e, const std::string& target, const char* suffix, const FileInfo& existing,
               bool unixReadOnly);

private:
    [[noreturn]] void Fail(const Entry& e, MemberFault::Kind kind, uint64_t count = 0, uint64_t size = 0,
                           std::string detail = {}, std::string path = {}) const;

    File& archive_;
    uint64_t fileSize_;
    Wording wording_;
    Passwords passwords_;
    Progress progress_;
};

}  // namespace zip
