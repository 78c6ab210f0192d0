#include "zipformat.h"

#include "MemberRanges.h"

#include <algorithm>

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
  while (r.Has(4)) {
    uint16_t id = r.U16(), len = r.U16();
    const uint8_t* body = r.Bytes(len);
    if (!body) return false;
    if (id != kExtraUnicodePath || len < 5 || body[0] != 1) continue;
    uint32_t crc = Get32(body + 1);
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

namespace {

std::string num(uint64_t v) { return std::to_string(v); }

// Fills the saturated fields of a central header from its ZIP64 field.
void read_zip64_extra(Entry& e, const std::string& which) {
  bool u = e.usize == kZip64Mark, c = e.csize == kZip64Mark, o = e.local_offset == kZip64Mark;
  bool disk = e.disk_start == 0xFFFF;
  if (!u && !c && !o && !disk) return;
  Zip64Values v;
  if (!ReadZip64Extra(reinterpret_cast<const uint8_t*>(e.extra.data()), e.extra.size(), u, c, o, disk, v))
    throw ZipError(kFormat, "The zip file is damaged: " + which + " (\"" + e.raw_name +
                                "\") marks its sizes as ZIP64 but its ZIP64 field is missing or too short");
  if (u) e.usize = v.uncompressed;
  if (c) e.csize = v.compressed;
  if (o) e.local_offset = v.offset;
  if (disk) e.disk_start = uint16_t(std::min<uint32_t>(v.disk, 0xFFFF));
  e.zip64_sizes = u || c;
}

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

// The end record: the nearest one whose comment fits in the file wins, else the nearest one at
// all (a comment cut short loses nothing of the members).
ZipEndOfCentral find_end_record(File& f, uint64_t file_size, uint64_t& pos, std::string& comment) {
  uint64_t tail_len = EndSearchLength(file_size);
  std::vector<uint8_t> tail(tail_len);
  f.read_at(file_size - tail_len, tail.data(), tail.size(), "the end of the archive");
  EndRecordHits hits = FindEndRecord(tail.data(), tail.size());
  int64_t found = hits.complete >= 0 ? hits.complete : hits.nearest;
  if (found < 0) throw ZipError(kNoArchive, "This is not a zip archive (no end of central directory record)");
  ZipEndOfCentral end = ZipEndOfCentral::Decode(&tail[found]);
  pos = file_size - tail_len + uint64_t(found);
  size_t clen = std::min<size_t>(end.ZipCommentLen, tail_len - found - kEndSize);
  comment.assign(reinterpret_cast<const char*>(&tail[found + kEndSize]), clen);
  return end;
}

}  // namespace

Directory read_directory(File& f, NameRule rule) {
  Directory d;
  d.file_size = f.size();
  if (d.file_size < kEndSize)
    throw ZipError(kNoArchive, "This is not a zip archive (" + num(d.file_size) +
                                   " bytes, less than the 22 of an end record)");
  ZipEndOfCentral end = find_end_record(f, d.file_size, d.end_pos, d.comment);
  uint64_t n_total = end.TotalEntries, n_disk = end.CentralEntries, cd_offset = end.CentralOffset;
  uint32_t this_disk = end.ThisDiskNo, cd_disk = end.CentralDiskNo;
  d.cd_size = end.CentralSize;
  uint64_t cd_end = d.end_pos;

  // A ZIP64 locator right before the end record points at the ZIP64 end record, whose fields
  // replace the classic ones. Without a locator a count of 0xFFFF is just that count.
  FileBytes bytes(f);
  Zip64Lookup z = FindZip64End(bytes, d.end_pos);
  if (z.hasLocator) {
    if (z.endDisk != 0 || z.totalDisks > 1)
      throw ZipError(kUnsupported, "This is part of a spanned (multi-disk) archive; join the disks into one "
                                   "archive first");
    if (!z.found)
      throw ZipError(kFormat, "The zip file is damaged: its ZIP64 locator points at offset " + num(z.recordedPos) +
                                  ", where there is no ZIP64 end record");
    d.zip64 = true;
    this_disk = z.thisDisk;
    cd_disk = z.centralDisk;
    n_disk = z.centralEntries;
    n_total = z.totalEntries;
    d.cd_size = z.centralSize;
    cd_offset = z.centralOffset;
    cd_end = z.pos;
  }
  if (this_disk != 0 || cd_disk != 0 || n_disk != n_total)
    throw ZipError(kUnsupported, "This is part of a spanned (multi-disk) archive; join the disks into one "
                                 "archive first");

  // The central directory cannot extend past the end record.
  if (d.cd_size > cd_end)
    throw ZipError(kFormat, "The zip file is damaged: its central directory (" + num(d.cd_size) +
                                " bytes) is larger than the space before the end record (" + num(cd_end) + " bytes)");
  d.cd_start = cd_end - d.cd_size;
  // Offsets recorded without the length of a stub in front are corrected by the difference.
  if (cd_offset > d.cd_start)
    throw ZipError(kFormat, "The zip file is damaged: central directory recorded at " + num(cd_offset) +
                                " but it can start at " + num(d.cd_start) + " at most");
  d.shift = d.cd_start - cd_offset;

  std::vector<uint8_t> cd(size_t(d.cd_size));
  if (!cd.empty()) f.read_at(d.cd_start, cd.data(), cd.size(), "the central directory");

  // Every central header there is, whatever the count says: a count that lies must not make
  // members vanish. Headers stop at the end of the directory or at bytes that are not one.
  ByteReader r(cd.data(), cd.size());
  d.data_start = d.cd_start;
  std::string damage;   // why reading stopped before the directory's end
  for (uint64_t i = 0;; ++i) {
    std::string which = "central header " + num(i + 1) + " of " + num(n_total);
    if (r.Left() == 0) break;
    if (!r.Has(kCentralSize)) {
      damage = "The zip file is damaged: " + which + " is truncated (need 46 bytes, found " + num(r.Left()) + ")";
      break;
    }
    if (Get32(cd.data() + r.Pos()) != kCentralSig) {
      damage = "The zip file is damaged: " + which + " has a wrong signature";
      break;
    }
    CentralHeader h;
    h.DecodeHeader(r.Bytes(kCentralSize) + 4);
    Entry e;
    e.made_by = uint16_t(h.HostVersionNo << 8 | h.MadeByVersion);
    e.needed = h.VersionNeeded;
    e.flags = h.Flag;
    e.method = h.ComprMethod;
    e.dostime = uint32_t(h.ModifDate) << 16 | h.ModifTime;
    e.crc = h.CRC32;
    e.csize = h.ComprSize;
    e.usize = h.UncomprSize;
    uint16_t nlen = h.FileNameLength, xlen = h.ExtraFieldLength, clen = h.FileCommentLen;
    e.disk_start = h.StartOnDisk;
    e.int_attr = h.IntFileAttrib;
    e.ext_attr = h.ExtFileAttrib;
    e.local_offset = h.RelOffLocalHdr;
    if (!r.Has(size_t(nlen) + xlen + clen)) {
      damage = "The zip file is damaged: the name, extra field and comment of " + which +
               " run past the central directory (need " + num(nlen + xlen + clen) + " bytes, found " +
               num(r.Left()) + ")";
      break;
    }
    e.raw_name.assign(reinterpret_cast<const char*>(r.Bytes(nlen)), nlen);
    e.extra.assign(reinterpret_cast<const char*>(r.Bytes(xlen)), xlen);
    e.comment.assign(reinterpret_cast<const char*>(r.Bytes(clen)), clen);
    read_zip64_extra(e, which);
    e.extra = WithoutExtraField(e.extra, kExtraZip64);
    e.header_pos = e.local_offset + d.shift;
    // A local header lies before the central directory.
    if (e.local_offset > d.cd_start || e.header_pos + kLocalSize > d.cd_start)
      throw ZipError(kFormat, "The zip file is damaged: " + which + " points at offset " + num(e.header_pos) +
                                  ", past the member data (which ends at " + num(d.cd_start) + ")");
    if (e.disk_start != 0)
      throw ZipError(kUnsupported, "This is part of a spanned (multi-disk) archive; join the disks into one "
                                   "archive first");
    e.name = decode_name(e, rule);
    d.data_start = std::min(d.data_start, e.header_pos);
    d.entries.push_back(std::move(e));
  }
  uint64_t found = d.entries.size();
  // Fewer headers than counted and stopped by damage: the directory itself is broken.
  if (found < n_total && !damage.empty()) throw ZipError(kFormat, damage);
  if (found != n_total)
    d.count_mismatch = "its end record counts " + num(n_total) + " member" + (n_total == 1 ? "" : "s") +
                       " but its central directory holds " + num(found);
  if (d.entries.empty()) d.data_start = d.cd_start;
  return d;
}

void check_rewritable(const Directory& d) {
  if (!d.count_mismatch.empty())
    throw ZipError(kFormat, "The zip file is damaged: " + d.count_mismatch +
                                "; it is not rewritten, since members could be lost. Extract what it holds "
                                "and make a new archive");
}

void check_member_ranges(File& f, const Directory& d) {
  std::vector<zip::MemberRange> ranges;
  ranges.reserve(d.entries.size());
  for (size_t i = 0; i < d.entries.size(); ++i) {
    const Entry& e = d.entries[i];
    // A member whose header or data cannot be read fails on its own; it still holds its header.
    uint64_t to = e.header_pos + kLocalSize;
    try {
      uint64_t data = data_offset(f, e, d.file_size);
      to = data + e.csize;
      to += descriptor_length(f, e, to, d.file_size);
    } catch (const ZipError&) {
    }
    ranges.push_back({e.header_pos, to, i});
  }
  zip::RangeClash c = zip::FindRangeClash(std::move(ranges), d.cd_start);
  if (!c.found) return;
  if (c.withDirectory)
    throw ZipError(kFormat, "The zip file is damaged or hostile: the data of \"" + d.entries[c.first].name +
                                "\" overlaps the central directory; nothing is read from it");
  throw ZipError(kFormat, "The zip file is damaged or hostile: the data of \"" + d.entries[c.second].name +
                              "\" overlaps that of \"" + d.entries[c.first].name +
                              "\" (one piece of data counted twice, as zip bombs do); nothing is read from it");
}

uint64_t data_offset(File& f, const Entry& e, uint64_t file_size) {
  uint8_t h[kLocalSize];
  f.read_at(e.header_pos, h, sizeof h, "a local header");
  if (Get32(h) != kLocalSig)
    throw ZipError(kFormat, "The zip file is damaged: the local header of \"" + e.name + "\" at offset " +
                                num(e.header_pos) + " has a wrong signature");
  LocalHeader lh;
  lh.DecodeHeader(h + 4);
  uint64_t start = e.header_pos + lh.Length();
  // The data must lie inside the file.
  if (start > file_size || e.csize > file_size - start)
    throw ZipError(kFormat, "The zip file is damaged: the data of \"" + e.name + "\" (" + num(e.csize) +
                                " bytes at offset " + num(start) + ") runs past the end of the file (" +
                                num(file_size) + " bytes)");
  return start;
}

uint64_t descriptor_length(File& f, const Entry& e, uint64_t data_end, uint64_t file_size) {
  if (!(e.flags & kFlagDescriptor)) return 0;
  if (data_end + 12 > file_size) return 0;
  uint8_t b[24] = {};
  size_t have = size_t(std::min<uint64_t>(24, file_size - data_end));
  f.read_at(data_end, b, have, "a data descriptor");
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
  return data_end + len <= file_size ? len : 12;
}

namespace {

// The fields both headers of a member record. Sizes marked c (compressed) and u
// (uncompressed) are saturated: their values go into the ZIP64 field, which needs version 4.5.
MemberFields member_fields(const Entry& e, size_t extra_len, bool zip64_field, bool c, bool u) {
  MemberFields h;
  h.VersionNeeded = zip64_field ? std::max<uint16_t>(e.needed, 45) : e.needed;
  h.Flag = e.flags;
  h.ComprMethod = e.method;
  h.ModifTime = uint16_t(e.dostime);
  h.ModifDate = uint16_t(e.dostime >> 16);
  h.CRC32 = e.crc;
  h.ComprSize = c ? uint32_t(kZip64Mark) : uint32_t(e.csize);
  h.UncomprSize = u ? uint32_t(kZip64Mark) : uint32_t(e.usize);
  h.FileNameLength = uint16_t(e.raw_name.size());
  h.ExtraFieldLength = uint16_t(extra_len);
  return h;
}

}  // namespace

std::vector<uint8_t> local_header(const Entry& e, const std::string& local_extra, bool zip64) {
  LocalHeader h;
  static_cast<MemberFields&>(h) = member_fields(e, local_extra.size() + (zip64 ? 20 : 0), zip64, zip64, zip64);
  std::vector<uint8_t> out(kLocalSize);
  out.reserve(h.Length());
  Put32(out.data(), kLocalSig);
  h.EncodeHeader(out.data() + 4);
  ByteWriter w(out);
  w.Str(e.raw_name);
  if (zip64) {
    // First in the extra block, so that its values sit at zip64_sizes_at().
    w.U16(kExtraZip64);
    w.U16(16);
    w.U64(e.usize);
    w.U64(e.csize);
  }
  w.Str(local_extra);
  return out;
}

std::vector<uint8_t> central_header(const Entry& e) {
  bool u = e.zip64_sizes || e.usize >= kZip64Mark, c = e.zip64_sizes || e.csize >= kZip64Mark;
  bool o = e.local_offset >= kZip64Mark;
  std::vector<uint8_t> z64;
  if (u || c || o) {
    ByteWriter zw(z64);
    zw.U16(kExtraZip64);
    zw.U16(8 * (u + c + o));
    for (auto [on, v] : {std::pair<bool, uint64_t>{u, e.usize}, {c, e.csize}, {o, e.local_offset}})
      if (on) zw.U64(v);
  }
  CentralHeader h;
  static_cast<MemberFields&>(h) = member_fields(e, z64.size() + e.extra.size(), !z64.empty(), c, u);
  h.MadeByVersion = uint8_t(e.made_by);
  h.HostVersionNo = uint8_t(e.made_by >> 8);
  h.FileCommentLen = uint16_t(e.comment.size());
  h.StartOnDisk = e.disk_start;
  h.IntFileAttrib = e.int_attr;
  h.ExtFileAttrib = e.ext_attr;
  h.RelOffLocalHdr = o ? uint32_t(kZip64Mark) : uint32_t(e.local_offset);
  std::vector<uint8_t> out(kCentralSize);
  out.reserve(kCentralSize + h.VariableLength());
  Put32(out.data(), kCentralSig);
  h.EncodeHeader(out.data() + 4);
  ByteWriter w(out);
  w.Str(e.raw_name);
  w.Bytes(z64.data(), z64.size());
  w.Str(e.extra);
  w.Str(e.comment);
  return out;
}

bool needs_zip64_end(uint64_t count, uint64_t cd_size, uint64_t cd_offset) {
  // 65,535 members still fit: readers take 0xFFFF as a count where no locator follows.
  return count > 0xFFFF || cd_size >= kZip64Mark || cd_offset >= kZip64Mark;
}

std::vector<uint8_t> end_record(uint64_t count, uint64_t cd_size, uint64_t cd_offset, const std::string& comment) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  if (needs_zip64_end(count, cd_size, cd_offset)) {
    uint64_t at = cd_offset + cd_size;
    w.U32(kZip64EndSig);
    w.U64(kZip64EndSize - 12);
    w.U16(uint32_t(kHostFat << 8 | 45));
    w.U16(45);
    w.U32(0);
    w.U32(0);
    w.U64(count);
    w.U64(count);
    w.U64(cd_size);
    w.U64(cd_offset);
    w.U32(kZip64LocatorSig);
    w.U32(0);
    w.U64(at);
    w.U32(1);
  }
  ZipEndOfCentral end;
  end.HeaderSig = kEndSig;
  end.CentralEntries = end.TotalEntries = uint16_t(std::min<uint64_t>(count, 0xFFFF));
  end.CentralSize = uint32_t(std::min<uint64_t>(cd_size, kZip64Mark));
  end.CentralOffset = uint32_t(std::min<uint64_t>(cd_offset, kZip64Mark));
  end.ZipCommentLen = uint16_t(comment.size());
  out.resize(out.size() + kEndSize);
  end.Encode(out.data() + out.size() - kEndSize);
  w.Str(comment);
  return out;
}

std::string unicode_path_extra(const std::string& stored_name, const std::string& utf8_name) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.U16(kExtraUnicodePath);
  w.U16(uint32_t(5 + utf8_name.size()));
  uint8_t version = 1;
  w.Bytes(&version, 1);
  w.U32(crc32_update(0, stored_name.data(), stored_name.size()));
  w.Str(utf8_name);
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
