#include "zipformat.h"

#include <algorithm>

#include "bytes.h"
#include "errors.h"
#include "text.h"
#include "zipcrypt.h"

namespace zc {

void File::read_at(uint64_t pos, void* buf, size_t n, const char* what) {
  seek(pos);
  size_t got = read(buf, n);
  if (got != n)
    throw ZipError(kEof, std::string("Unexpected end of the zip file while reading ") + what + ": need " +
                             std::to_string(n) + " bytes, found " + std::to_string(got));
}

namespace {

// Finds the Unicode path field (0x7075, version 1) whose CRC matches the stored name.
bool unicode_path(const Entry& e, std::string& out) {
  ByteReader r(reinterpret_cast<const uint8_t*>(e.extra.data()), e.extra.size());
  while (r.has(4)) {
    uint16_t id = r.u16(), len = r.u16();
    const uint8_t* body = r.bytes(len);
    if (!body) return false;
    if (id != kExtraUnicodePath || len < 5 || body[0] != 1) continue;
    uint32_t crc = get32(body + 1);
    if (crc != crc32_update(0, e.raw_name.data(), e.raw_name.size())) continue;
    out.assign(reinterpret_cast<const char*>(body + 5), len - 5);
    return is_valid_utf8(out) && !out.empty();
  }
  return false;
}

}  // namespace

std::string decode_name(const Entry& e, NameRule rule) {
  std::string u;
  if (unicode_path(e, u)) return u;
  if ((e.flags & kFlagUtf8) && is_valid_utf8(e.raw_name)) return e.raw_name;
  if (is_ascii(e.raw_name)) return e.raw_name;
  switch (rule) {
    case NameRule::Oem:
      return cp_to_utf8(e.raw_name, CodePage::Oem437);
    case NameRule::None:
      return cp_to_utf8(e.raw_name, CodePage::Ansi1252);
    case NameRule::Auto:
    default: {
      uint8_t host = e.host();
      if (host == kHostFat || host == kHostHpfs || host == kHostNtfs) return cp_to_utf8(e.raw_name, CodePage::Oem437);
      // Unix and the rest: today's tools write UTF-8 without saying so; older ones a Latin set.
      if (is_valid_utf8(e.raw_name)) return e.raw_name;
      return cp_to_utf8(e.raw_name, CodePage::Ansi1252);
    }
  }
}

Directory read_directory(File& f, NameRule rule) {
  Directory d;
  d.file_size = f.size();
  if (d.file_size < kEndSize)
    throw ZipError(kNoArchive, "This is not a zip archive (" + std::to_string(d.file_size) +
                                   " bytes, less than the 22 of an end record)");

  // The end record is within the last 22 + 65,535 bytes (its comment is at most 65,535 long).
  uint64_t tail_len = std::min<uint64_t>(d.file_size, kEndSize + 0xFFFF);
  std::vector<uint8_t> tail(tail_len);
  f.read_at(d.file_size - tail_len, tail.data(), tail.size(), "the end of the archive");
  // Search backwards; the nearest hit whose comment fits in the file wins.
  int64_t found = -1;
  for (int64_t i = int64_t(tail_len) - int64_t(kEndSize); i >= 0; --i) {
    if (get32(&tail[i]) != kEndSig) continue;
    uint16_t clen = get16(&tail[i + 20]);
    if (uint64_t(i) + kEndSize + clen <= tail_len) { found = i; break; }
  }
  if (found < 0) throw ZipError(kNoArchive, "This is not a zip archive (no end of central directory record)");
  const uint8_t* end = &tail[found];
  d.end_pos = d.file_size - tail_len + uint64_t(found);
  uint16_t this_disk = get16(end + 4), cd_disk = get16(end + 6);
  uint16_t n_disk = get16(end + 8), n_total = get16(end + 10);
  d.cd_size = get32(end + 12);
  uint32_t cd_offset = get32(end + 16);
  d.comment.assign(reinterpret_cast<const char*>(end + 22), get16(end + 20));

  // A ZIP64 locator right before the end record, or saturated fields, mean a ZIP64 archive.
  if (d.end_pos >= 20) {
    uint8_t loc[4];
    f.read_at(d.end_pos - 20, loc, 4, "the ZIP64 locator");
    if (get32(loc) == kZip64LocatorSig || n_total == 0xFFFF || cd_offset == 0xFFFFFFFF || d.cd_size == 0xFFFFFFFF)
      throw ZipError(kUnsupported, "This archive uses the ZIP64 format (over 4 GiB or 65,535 members), "
                                   "which this engine does not support");
  }
  if (this_disk != 0 || cd_disk != 0 || n_disk != n_total)
    throw ZipError(kUnsupported, "This is part of a spanned (multi-disk) archive; join the disks into one "
                                 "archive first");

  // The central directory cannot extend past the end record.
  if (d.cd_size > d.end_pos)
    throw ZipError(kFormat, "The zip file is damaged: its central directory (" + std::to_string(d.cd_size) +
                                " bytes) is larger than the space before the end record (" +
                                std::to_string(d.end_pos) + " bytes)");
  d.cd_start = d.end_pos - d.cd_size;
  // Offsets recorded without the length of a stub in front are corrected by the difference.
  if (cd_offset > d.cd_start)
    throw ZipError(kFormat, "The zip file is damaged: central directory recorded at " + std::to_string(cd_offset) +
                                " but it can start at " + std::to_string(d.cd_start) + " at most");
  d.shift = d.cd_start - cd_offset;

  // Each central header takes at least 46 bytes: a count that cannot fit is a lie.
  if (uint64_t(n_total) * kCentralSize > d.cd_size)
    throw ZipError(kFormat, "The zip file is damaged: " + std::to_string(n_total) + " entries announced but the " +
                                "central directory has room for " + std::to_string(d.cd_size / kCentralSize));
  std::vector<uint8_t> cd(d.cd_size);
  if (!cd.empty()) f.read_at(d.cd_start, cd.data(), cd.size(), "the central directory");

  d.entries.reserve(n_total);
  ByteReader r(cd.data(), cd.size());
  d.data_start = d.cd_start;
  for (unsigned i = 0; i < n_total; ++i) {
    std::string which = "central header " + std::to_string(i + 1) + " of " + std::to_string(n_total);
    if (!r.has(kCentralSize))
      throw ZipError(kFormat, "The zip file is damaged: " + which + " is truncated (need 46 bytes, found " +
                                  std::to_string(r.left()) + ")");
    if (r.u32() != kCentralSig) throw ZipError(kFormat, "The zip file is damaged: " + which + " has a wrong signature");
    Entry e;
    e.made_by = r.u16();
    e.needed = r.u16();
    e.flags = r.u16();
    e.method = r.u16();
    e.dostime = r.u16();
    e.dostime |= uint32_t(r.u16()) << 16;
    e.crc = r.u32();
    e.csize = r.u32();
    e.usize = r.u32();
    uint16_t nlen = r.u16(), xlen = r.u16(), clen = r.u16();
    e.disk_start = r.u16();
    e.int_attr = r.u16();
    e.ext_attr = r.u32();
    e.local_offset = r.u32();
    if (!r.has(size_t(nlen) + xlen + clen))
      throw ZipError(kFormat, "The zip file is damaged: the name, extra field and comment of " + which +
                                  " run past the central directory (need " + std::to_string(nlen + xlen + clen) +
                                  " bytes, found " + std::to_string(r.left()) + ")");
    e.raw_name.assign(reinterpret_cast<const char*>(r.bytes(nlen)), nlen);
    e.extra.assign(reinterpret_cast<const char*>(r.bytes(xlen)), xlen);
    e.comment.assign(reinterpret_cast<const char*>(r.bytes(clen)), clen);
    if (e.csize == 0xFFFFFFFF || e.usize == 0xFFFFFFFF || e.local_offset == 0xFFFFFFFF)
      throw ZipError(kUnsupported, "Member \"" + e.raw_name + "\" uses ZIP64 sizes (over 4 GiB), which this "
                                   "engine does not support");
    e.header_pos = uint64_t(e.local_offset) + d.shift;
    // A local header lies before the central directory.
    if (e.header_pos + kLocalSize > d.cd_start)
      throw ZipError(kFormat, "The zip file is damaged: " + which + " points at offset " +
                                  std::to_string(e.header_pos) + ", past the member data (which ends at " +
                                  std::to_string(d.cd_start) + ")");
    e.name = decode_name(e, rule);
    d.data_start = std::min(d.data_start, e.header_pos);
    d.entries.push_back(std::move(e));
  }
  if (d.entries.empty()) d.data_start = d.cd_start;
  return d;
}

uint64_t data_offset(File& f, const Entry& e, uint64_t file_size) {
  uint8_t h[kLocalSize];
  f.read_at(e.header_pos, h, sizeof h, "a local header");
  if (get32(h) != kLocalSig)
    throw ZipError(kFormat, "The zip file is damaged: the local header of \"" + e.name + "\" at offset " +
                                std::to_string(e.header_pos) + " has a wrong signature");
  uint64_t start = e.header_pos + kLocalSize + get16(h + 26) + get16(h + 28);
  // The data must lie inside the file.
  if (start > file_size || e.csize > file_size - start)
    throw ZipError(kFormat, "The zip file is damaged: the data of \"" + e.name + "\" (" + std::to_string(e.csize) +
                                " bytes at offset " + std::to_string(start) + ") runs past the end of the file (" +
                                std::to_string(file_size) + " bytes)");
  return start;
}

uint64_t descriptor_length(File& f, const Entry& e, uint64_t data_end, uint64_t file_size) {
  if (!(e.flags & kFlagDescriptor)) return 0;
  if (data_end + 12 > file_size) return 0;
  uint8_t sig[4];
  f.read_at(data_end, sig, 4, "a data descriptor");
  uint64_t len = get32(sig) == kDescriptorSig ? 16 : 12;
  return data_end + len <= file_size ? len : 12;
}

std::vector<uint8_t> local_header(const Entry& e, const std::string& local_extra) {
  std::vector<uint8_t> out;
  out.reserve(kLocalSize + e.raw_name.size() + local_extra.size());
  ByteWriter w(out);
  w.u32(kLocalSig);
  w.u16(e.needed);
  w.u16(e.flags);
  w.u16(e.method);
  w.u32(e.dostime);  // time in the low half, date in the high half: time is written first
  w.u32(e.crc);
  w.u32(e.csize);
  w.u32(e.usize);
  w.u16(uint32_t(e.raw_name.size()));
  w.u16(uint32_t(local_extra.size()));
  w.str(e.raw_name);
  w.str(local_extra);
  return out;
}

std::vector<uint8_t> central_header(const Entry& e) {
  std::vector<uint8_t> out;
  out.reserve(kCentralSize + e.raw_name.size() + e.extra.size() + e.comment.size());
  ByteWriter w(out);
  w.u32(kCentralSig);
  w.u16(e.made_by);
  w.u16(e.needed);
  w.u16(e.flags);
  w.u16(e.method);
  w.u32(e.dostime);
  w.u32(e.crc);
  w.u32(e.csize);
  w.u32(e.usize);
  w.u16(uint32_t(e.raw_name.size()));
  w.u16(uint32_t(e.extra.size()));
  w.u16(uint32_t(e.comment.size()));
  w.u16(e.disk_start);
  w.u16(e.int_attr);
  w.u32(e.ext_attr);
  w.u32(e.local_offset);
  w.str(e.raw_name);
  w.str(e.extra);
  w.str(e.comment);
  return out;
}

std::vector<uint8_t> end_record(size_t count, uint32_t cd_size, uint32_t cd_offset, const std::string& comment) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.u32(kEndSig);
  w.u16(0);
  w.u16(0);
  w.u16(uint32_t(count));
  w.u16(uint32_t(count));
  w.u32(cd_size);
  w.u32(cd_offset);
  w.u16(uint32_t(comment.size()));
  w.str(comment);
  return out;
}

std::string unicode_path_extra(const std::string& stored_name, const std::string& utf8_name) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.u16(kExtraUnicodePath);
  w.u16(uint32_t(5 + utf8_name.size()));
  uint8_t version = 1;
  w.bytes(&version, 1);
  w.u32(crc32_update(0, stored_name.data(), stored_name.size()));
  w.str(utf8_name);
  return std::string(out.begin(), out.end());
}

EncodedName encode_name(const std::string& utf8_name) {
  EncodedName n;
  if (is_ascii(utf8_name)) {
    n.bytes = utf8_name;
  } else if (utf8_to_cp(utf8_name, CodePage::Oem437, n.bytes)) {
    n.extra = unicode_path_extra(n.bytes, utf8_name);
  } else {
    // Not in code page 437: UTF-8 with flag bit 11 (Python, 7-Zip), and the Unicode path field
    // as well, since Info-ZIP unzip converts names of a FAT host from OEM even with bit 11.
    n.bytes = utf8_name;
    n.utf8 = true;
    n.extra = unicode_path_extra(n.bytes, utf8_name);
  }
  return n;
}

}  // namespace zc
