// The ZIP format (PKWARE APPNOTE): reading an archive's directory and writing its records.
//
// Sanity rules are written above their checks. Everything read is bounds-checked against the
// file; a damaged archive throws ZipError (never reads past what it has, never loops on a count
// that lies). ZIP64 records (end record and locator, extra fields, 8-byte data descriptors) are
// read, and written only where a member or the archive needs them. Spanned (multi-disk) archives
// are refused: the spanning code of the component joins a disk set into one plain archive first.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "NameRule.h"
#include "Records.h"
#include "fsys.h"

namespace zc {

// The format's signatures, sizes, flags and record codecs are the shared ones.
using namespace zip;

// One member as its central directory header records it.
struct Entry {
  uint16_t made_by = 0, needed = 0, flags = 0, method = 0;
  uint32_t dostime = 0, crc = 0;
  uint64_t csize = 0, usize = 0;
  uint16_t disk_start = 0, int_attr = 0;
  uint32_t ext_attr = 0;
  uint64_t local_offset = 0;
  std::string raw_name, extra, comment;   // extra without any ZIP64 field (rebuilt on writing)
  bool zip64_sizes = false;  // the sizes were recorded in a ZIP64 field (kept so when copied)
  uint64_t header_pos = 0;   // where its local header is in the file (offset corrected by shift)
  std::string name;          // decoded to UTF-8, slashes as in the archive

  bool is_dir() const { return !raw_name.empty() && (raw_name.back() == '/' || raw_name.back() == '\\'); }
  bool encrypted() const { return flags & kFlagEncrypted; }
  uint8_t host() const { return uint8_t(made_by >> 8); }
};

struct Directory {
  std::vector<Entry> entries;
  uint64_t file_size = 0;
  uint64_t end_pos = 0;       // position of the end record
  uint64_t cd_start = 0;      // actual position of the central directory
  uint64_t cd_size = 0;
  bool zip64 = false;         // a ZIP64 end record and locator were found
  // Non-empty when the end record's count differs from the members the central directory holds
  // (the text says how): the readable members may be extracted, but the archive is not rewritten.
  std::string count_mismatch;
  uint64_t shift = 0;         // actual minus recorded central directory offset (a stub in front
                              // whose length the offsets do not include)
  uint64_t data_start = 0;    // first local header; bytes before it are a prefix (SFX stub)
  std::string comment;        // raw bytes
};

// Reads the directory of an archive; names decoded by rule. Throws ZipError:
// kNoArchive (no end record), kFormat/kEof (damaged), kUnsupported (spanned).
Directory read_directory(File& f, NameRule rule = NameRule::Auto);

// Refuses (kFormat, naming both) members whose local header, data and descriptor overlap another
// member's or the central directory: many entries on one data record is how zip bombs multiply.
void check_member_ranges(File& f, const Directory& d);

// Refuses (kFormat, naming the reason) to rewrite an archive whose directory does not match its
// end record: members the count leaves out would be lost.
void check_rewritable(const Directory& d);

// Decodes a member name: a valid Unicode path field, else the UTF-8 flag, else by the rule.
std::string decode_name(const Entry& e, NameRule rule);

// Offset of a member's data, after checking its local header; also checks that the data lies
// inside the file. Throws ZipError(kFormat) naming the member.
uint64_t data_offset(File& f, const Entry& e, uint64_t file_size);

// Length of the data descriptor after a member's data (0 without flag bit 3): 12 or 16 bytes
// with 4-byte sizes, 20 or 24 with 8-byte ones; the one whose fields match the entry wins.
uint64_t descriptor_length(File& f, const Entry& e, uint64_t data_end, uint64_t file_size);

// Record writers. The local header takes its fields from the entry (sizes and CRC as given);
// with zip64 set it carries the ZIP64 field with both sizes (at offset zip64_sizes_at() of the
// header, for patching after the data is written).
std::vector<uint8_t> local_header(const Entry& e, const std::string& local_extra, bool zip64 = false);
inline size_t zip64_sizes_at(const Entry& e) { return kLocalSize + e.raw_name.size() + 4; }
// The central header; sizes and offset that do not fit 32 bits go into a ZIP64 field.
std::vector<uint8_t> central_header(const Entry& e);
// The end record, preceded by a ZIP64 end record and locator when the count, the size or the
// offset of the central directory does not fit the classic one.
std::vector<uint8_t> end_record(uint64_t count, uint64_t cd_size, uint64_t cd_offset, const std::string& comment);
bool needs_zip64_end(uint64_t count, uint64_t cd_size, uint64_t cd_offset);

// The Unicode path extra field for a name stored in another character set.
std::string unicode_path_extra(const std::string& stored_name, const std::string& utf8_name);

// The encoded name of a member for Add: ASCII as it is; otherwise code page 437 when every
// character exists there (with a Unicode path field), else UTF-8 with flag bit 11.
struct EncodedName {
  std::string bytes;
  std::string extra;   // Unicode path field or empty
  bool utf8 = false;
};
EncodedName encode_name(const std::string& utf8_name);

}  // namespace zc
