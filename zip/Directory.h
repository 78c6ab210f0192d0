// Reading an archive's directory: the end record, the ZIP64 end record and its locator, and the
// central headers, through a ByteSource. Every reader of ours goes through here: the
// component's List, its disk sets and conversions, the engine, the installer and the
// self-extractor.
//
// Nothing is thrown: what was wrong comes back as a Fault with the numbers that explain it, and
// the members read before it stay in the result. Each caller turns a fault into its own
// message. Where the callers want different things (which end record to trust, when to stop,
// how much damage to let through), the reader offers named rules (DirectoryRules).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Records.h"

namespace zip {

// One member as its central header records it, sizes and offset widened from the ZIP64 field.
struct Entry {
    uint16_t madeBy = 0, needed = 0, flags = 0, method = 0;
    uint32_t dostime = 0, crc = 0;
    uint64_t csize = 0, usize = 0;
    uint16_t diskStart = 0, intAttr = 0;
    uint32_t extAttr = 0;
    uint64_t localOffset = 0;
    std::string rawName, extra, comment;  // extra without any ZIP64 field (rebuilt on writing)
    uint16_t extraLength = 0, commentLength = 0;  // as the central header records them
    bool zip64Sizes = false;              // the sizes were in a ZIP64 field (kept so when copied)
    uint64_t headerPos = 0;               // where its local header is in the file (offset + shift)
    std::string name;                     // decoded to UTF-8 by the caller's name rule

    bool IsDir() const { return !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\'); }
    bool Encrypted() const { return flags & kFlagEncrypted; }
    uint8_t Host() const { return uint8_t(madeBy >> 8); }
};

// What stopped the reading, with the numbers that explain it. Which fields are set is said for
// each kind.
struct Fault {
    enum Kind {
        None = 0,
        TooShort,                // fileSize: fewer bytes than an end record
        EndUnreadable,           // need, found: the last bytes of the file could not be read
        NoEndRecord,             // no end record signature where one can stand
        Spanned,                 // index (of the member, or count when the records said so): part
                                 // of a disk set, refused under the strict rules
        Zip64EndMissing,         // offset: the locator points where no ZIP64 end record is
        DirectoryTooLarge,       // need: recorded directory size; found: bytes before the end record
        DirectoryOffsetTooLate,  // offset: recorded start; limit: where it can start at most
        DiskMissing,             // disk: the disk holding the directory is not at hand
        DirectoryUnreadable,     // offset, need, found: the source failed inside the directory
        HeaderCut,               // index; found: bytes left where its 46 bytes should be
        HeaderSignature,         // index, offset
        NameCut,                 // index; need: name, extra and comment; found: bytes left
        ExtraCut,                //   after the fixed part of the header (same for all three)
        CommentCut,              //
        Zip64FieldMissing,       // index, name: saturated sizes without a ZIP64 field for them
        LocalHeaderPastData,     // index, offset (its local header), limit (directory start)
    };
    Kind kind = None;
    uint64_t index = 0, offset = 0, limit = 0, need = 0, found = 0, fileSize = 0;
    uint32_t disk = 0;
    std::string name;  // raw name of the header concerned, when it was read

    explicit operator bool() const { return kind != None; }
};

// The end record as found, with what lies around it.
struct EndRecord {
    ZipEndOfCentral record;
    bool found = false;
    uint64_t fileSize = 0;
    uint64_t usableSize = 0;     // the file without garbage after the archive
    uint64_t endPos = 0;         // position of the end record
    std::string comment;         // raw bytes, as far as the file holds them
    bool garbage = false;        // bytes after the archive that are not zero fill to 512
    bool spanFirstPart = false;  // the file starts as the first part of a disk set does
    Fault fault;
};

// Which end record to trust when the signature stands more than once in the last bytes.
enum class EndRule {
    // The nearest record whose comment fits in the file, else the nearest one at all: a
    // comment cut short loses nothing of the members, and a signature inside a comment or in
    // member data is passed over when a whole record follows. The engine rewrites archives and
    // must find the real directory.
    WholeComment,
    // A record in the last 22 bytes wins whatever its comment length says (there is no room for
    // a comment, so there is none), else the nearest whole one, else none. The component's
    // listing reads the last 22 bytes first, as archivers of disk sets do, and reports files
    // whose comment length is all that is wrong as the archives they are.
    TrailingFirst,
};

// Where the walk through the central headers stops.
enum class Walk {
    // Every header the directory's recorded size holds, whatever the count says: a count that
    // lies must not make members vanish. Bytes that are not a header end the directory; that is
    // a fault only while fewer headers than counted were read.
    WholeDirectory,
    // As many headers as the end record counts, reading on past the recorded size and onto the
    // following disks: disk sets whose directory starts on one disk and ends on the next.
    Counted,
};

// How much damage the reader lets through.
enum class Tolerance {
    // Refuses disk sets, a ZIP64 locator without its record, a directory recorded behind where
    // it lies, saturated sizes without a ZIP64 field and members whose header lies past the
    // data: whoever rewrites or extracts an archive must not act on records that lie.
    Strict,
    // Lists what can be read and leaves the judgement to the caller: ZIP64 fields are used as
    // far as they reach, a member whose name was read is kept even when its extra field or
    // comment is cut short, and a shifted directory is only a fact (shift).
    Listing,
};

struct DirectoryRules {
    EndRule end = EndRule::WholeComment;
    Walk walk = Walk::WholeDirectory;
    Tolerance tolerance = Tolerance::Strict;
    // Disk sets (Listing only): the source of another disk, nullptr when it is not at hand.
    std::function<ByteSource*(uint32_t disk)> diskSource;
};

// The engine, the installer and the self-extractor: they extract and rewrite.
inline DirectoryRules RewriteRules() { return {}; }
// The component's listing: it shows what is there and warns.
inline DirectoryRules ListingRules() { return {EndRule::TrailingFirst, Walk::Counted, Tolerance::Listing, nullptr}; }

struct Directory {
    std::vector<Entry> entries;  // the members read, also when a fault stopped the walk
    EndRecord end;
    uint64_t fileSize = 0;
    uint64_t count = 0;       // members the end record (or the ZIP64 one) counts
    bool zip64 = false;       // the ZIP64 end record was used
    uint64_t cdStart = 0;     // where the central directory lies (on its disk)
    uint64_t cdSize = 0;      // its recorded size
    uint64_t cdOffset = 0;    // where it was recorded to start
    int64_t shift = 0;        // lies minus recorded: the length of a stub the offsets leave out
    uint64_t dataStart = 0;   // the first local header; bytes before it are a stub (self-extractor)
    uint16_t lastMadeBy = 0;  // "version made by" of the last header read (the archive comment's
                              // character set follows the host of its writer)
    Fault fault;

    bool CountDiffers() const { return entries.size() != count; }
};

Directory ReadDirectory(ByteSource& src, const DirectoryRules& rules = RewriteRules());
EndRecord ReadEndRecord(ByteSource& src, EndRule rule);

}  // namespace zip
