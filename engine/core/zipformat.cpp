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

namespace {

std::string num(uint64_t v) { return std::to_string(v); }

// Removes the ZIP64 field from an extra block (its values live in the entry's fields).
std::string without_zip64(const std::string& extra) {
  std::string out;
  size_t i = 0;
  while (i + 4 <= extra.size()) {
    uint16_t id = get16(reinterpret_cast<const uint8_t*>(extra.data() + i));
    size_t len = get16(reinterpret_cast<const uint8_t*>(extra.data() + i + 2));
    if (i + 4 + len > extra.size()) break;
    if (id != kExtraZip64) out.append(extra, i, 4 + len);
    i += 4 + len;
  }
  if (i < extra.size()) out.append(extra, i, std::string::npos);   // a broken tail stays as it was
  return out;
}

// Fills the saturated fields of a central header from its ZIP64 field, in the order the format
// gives: uncompressed size, compressed size, local header offset, disk.
void read_zip64_extra(Entry& e, const std::string& which) {
  bool u = e.usize == kZip64Mark, c = e.csize == kZip64Mark, o = e.local_offset == kZip64Mark;
  bool disk = e.disk_start == 0xFFFF;
  if (!u && !c && !o && !disk) return;
  ByteReader r(reinterpret_cast<const uint8_t*>(e.extra.data()), e.extra.size());
  while (r.has(4)) {
    uint16_t id = r.u16(), len = r.u16();
    const uint8_t* body = r.bytes(len);
    if (!body) break;
    if (id != kExtraZip64) continue;
    ByteReader z(body, len);
    auto get64 = [&](uint64_t& v) {
      if (!z.has(8)) return false;
      uint64_t lo = z.u32();
      v = lo | (uint64_t(z.u32()) << 32);
      return true;
    };
    if ((u && !get64(e.usize)) || (c && !get64(e.csize)) || (o && !get64(e.local_offset))) break;
    if (disk) {
      if (!z.has(4)) break;
      e.disk_start = uint16_t(std::min<uint32_t>(z.u32(), 0xFFFF));
    }
    e.zip64_sizes = u || c;
    return;
  }
  throw ZipError(kFormat, "The zip file is damaged: " + which + " (\"" + e.raw_name +
                              "\") marks its sizes as ZIP64 but its ZIP64 field is missing or too short");
}

// The end record, searched backwards in the last 22 + 65,535 bytes; the nearest one whose
// comment fits in the file wins, else the nearest one at all (a comment cut short loses nothing
// of the members).
struct EndRecord {
  uint64_t pos = 0;
  uint16_t this_disk = 0, cd_disk = 0, n_disk = 0, n_total = 0;
  uint32_t cd_size = 0, cd_offset = 0;
  std::string comment;
};

EndRecord find_end_record(File& f, uint64_t file_size) {
  uint64_t tail_len = std::min<uint64_t>(file_size, kEndSize + 0xFFFF);
  std::vector<uint8_t> tail(tail_len);
  f.read_at(file_size - tail_len, tail.data(), tail.size(), "the end of the archive");
  int64_t found = -1, cut = -1;
  for (int64_t i = int64_t(tail_len) - int64_t(kEndSize); i >= 0; --i) {
    if (get32(&tail[i]) != kEndSig) continue;
    uint16_t clen = get16(&tail[i + 20]);
    if (uint64_t(i) + kEndSize + clen <= tail_len) { found = i; break; }
    if (cut < 0) cut = i;
  }
  if (found < 0) found = cut;
  if (found < 0) throw ZipError(kNoArchive, "This is not a zip archive (no end of central directory record)");
  const uint8_t* end = &tail[found];
  EndRecord r;
  r.pos = file_size - tail_len + uint64_t(found);
  r.this_disk = get16(end + 4);
  r.cd_disk = get16(end + 6);
  r.n_disk = get16(end + 8);
  r.n_total = get16(end + 10);
  r.cd_size = get32(end + 12);
  r.cd_offset = get32(end + 16);
  size_t clen = std::min<size_t>(get16(end + 20), tail_len - found - kEndSize);
  r.comment.assign(reinterpret_cast<const char*>(end + 22), clen);
  return r;
}

}  // namespace

Directory read_directory(File& f, NameRule rule) {
  Directory d;
  d.file_size = f.size();
  if (d.file_size < kEndSize)
    throw ZipError(kNoArchive, "This is not a zip archive (" + num(d.file_size) +
                                   " bytes, less than the 22 of an end record)");
  EndRecord end = find_end_record(f, d.file_size);
  d.end_pos = end.pos;
  d.comment = end.comment;
  uint64_t n_total = end.n_total, n_disk = end.n_disk, cd_offset = end.cd_offset;
  uint32_t this_disk = end.this_disk, cd_disk = end.cd_disk;
  d.cd_size = end.cd_size;
  uint64_t cd_end = d.end_pos;

  // A ZIP64 locator right before the end record points at the ZIP64 end record, whose fields
  // replace the classic ones. Without a locator a count of 0xFFFF is just that count.
  if (d.end_pos >= kZip64LocatorSize) {
    uint8_t loc[kZip64LocatorSize];
    f.read_at(d.end_pos - kZip64LocatorSize, loc, sizeof loc, "the ZIP64 locator");
    if (get32(loc) == kZip64LocatorSig) {
      uint64_t recorded = get32(loc + 8) | (uint64_t(get32(loc + 12)) << 32);
      if (get32(loc + 4) != 0 || get32(loc + 16) > 1)
        throw ZipError(kUnsupported, "This is part of a spanned (multi-disk) archive; join the disks into one "
                                     "archive first");
      // Where the locator says, or (a stub in front shifts everything) right before the locator.
      uint8_t z[kZip64EndSize];
      uint64_t at = recorded;
      auto is_end64 = [&](uint64_t pos) {
        if (pos + kZip64EndSize > d.end_pos - kZip64LocatorSize) return false;
        f.read_at(pos, z, sizeof z, "the ZIP64 end record");
        return get32(z) == kZip64EndSig;
      };
      if (!is_end64(at)) {
        at = d.end_pos - kZip64LocatorSize - kZip64EndSize;
        if (d.end_pos < kZip64LocatorSize + kZip64EndSize || !is_end64(at))
          throw ZipError(kFormat, "The zip file is damaged: its ZIP64 locator points at offset " + num(recorded) +
                                      ", where there is no ZIP64 end record");
      }
      auto u64 = [&](size_t o) { return get32(z + o) | (uint64_t(get32(z + o + 4)) << 32); };
      d.zip64 = true;
      this_disk = get32(z + 16);
      cd_disk = get32(z + 20);
      n_disk = u64(24);
      n_total = u64(32);
      d.cd_size = u64(40);
      cd_offset = u64(48);
      cd_end = at;
    }
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
    if (r.left() == 0) break;
    if (!r.has(kCentralSize)) {
      damage = "The zip file is damaged: " + which + " is truncated (need 46 bytes, found " + num(r.left()) + ")";
      break;
    }
    if (get32(cd.data() + r.pos()) != kCentralSig) {
      damage = "The zip file is damaged: " + which + " has a wrong signature";
      break;
    }
    r.skip(4);
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
    if (!r.has(size_t(nlen) + xlen + clen)) {
      damage = "The zip file is damaged: the name, extra field and comment of " + which +
               " run past the central directory (need " + num(nlen + xlen + clen) + " bytes, found " +
               num(r.left()) + ")";
      break;
    }
    e.raw_name.assign(reinterpret_cast<const char*>(r.bytes(nlen)), nlen);
    e.extra.assign(reinterpret_cast<const char*>(r.bytes(xlen)), xlen);
    e.comment.assign(reinterpret_cast<const char*>(r.bytes(clen)), clen);
    read_zip64_extra(e, which);
    e.extra = without_zip64(e.extra);
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

namespace {

struct Range {
  uint64_t from, to;
  const Entry* e;
};

}  // namespace

void check_member_ranges(File& f, const Directory& d) {
  std::vector<Range> ranges;
  ranges.reserve(d.entries.size());
  for (const Entry& e : d.entries) {
    // A member whose header or data cannot be read fails on its own; it still holds its header.
    uint64_t to = e.header_pos + kLocalSize;
    try {
      uint64_t data = data_offset(f, e, d.file_size);
      to = data + e.csize;
      to += descriptor_length(f, e, to, d.file_size);
    } catch (const ZipError&) {
    }
    ranges.push_back({e.header_pos, to, &e});
  }
  std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) {
    return a.from != b.from ? a.from < b.from : a.to < b.to;
  });
  for (size_t i = 0; i < ranges.size(); ++i) {
    const Range& a = ranges[i];
    if (i + 1 < ranges.size() && a.to > ranges[i + 1].from)
      throw ZipError(kFormat, "The zip file is damaged or hostile: the data of \"" + ranges[i + 1].e->name +
                                  "\" overlaps that of \"" + a.e->name +
                                  "\" (one piece of data counted twice, as zip bombs do); nothing is read from it");
    if (a.to > d.cd_start)
      throw ZipError(kFormat, "The zip file is damaged or hostile: the data of \"" + a.e->name +
                                  "\" overlaps the central directory; nothing is read from it");
  }
}

uint64_t data_offset(File& f, const Entry& e, uint64_t file_size) {
  uint8_t h[kLocalSize];
  f.read_at(e.header_pos, h, sizeof h, "a local header");
  if (get32(h) != kLocalSig)
    throw ZipError(kFormat, "The zip file is damaged: the local header of \"" + e.name + "\" at offset " +
                                num(e.header_pos) + " has a wrong signature");
  uint64_t start = e.header_pos + kLocalSize + get16(h + 26) + get16(h + 28);
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
  bool sig = get32(b) == kDescriptorSig;
  auto matches = [&](size_t at, bool wide) {
    size_t len = at + 4 + (wide ? 16 : 8);
    if (len > have || get32(b + at) != e.crc) return false;
    uint64_t c = wide ? get32(b + at + 4) | (uint64_t(get32(b + at + 8)) << 32) : get32(b + at + 4);
    uint64_t u = wide ? get32(b + at + 12) | (uint64_t(get32(b + at + 16)) << 32) : get32(b + at + 8);
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

std::vector<uint8_t> local_header(const Entry& e, const std::string& local_extra, bool zip64) {
  std::vector<uint8_t> out;
  out.reserve(kLocalSize + e.raw_name.size() + local_extra.size() + (zip64 ? 20 : 0));
  ByteWriter w(out);
  w.u32(kLocalSig);
  w.u16(zip64 ? std::max<uint16_t>(e.needed, 45) : e.needed);
  w.u16(e.flags);
  w.u16(e.method);
  w.u32(e.dostime);  // time in the low half, date in the high half: time is written first
  w.u32(e.crc);
  w.u32(zip64 ? uint32_t(kZip64Mark) : uint32_t(e.csize));
  w.u32(zip64 ? uint32_t(kZip64Mark) : uint32_t(e.usize));
  w.u16(uint32_t(e.raw_name.size()));
  w.u16(uint32_t(local_extra.size() + (zip64 ? 20 : 0)));
  w.str(e.raw_name);
  if (zip64) {
    // First in the extra block, so that its values sit at zip64_sizes_at().
    w.u16(kExtraZip64);
    w.u16(16);
    w.u32(uint32_t(e.usize));
    w.u32(uint32_t(e.usize >> 32));
    w.u32(uint32_t(e.csize));
    w.u32(uint32_t(e.csize >> 32));
  }
  w.str(local_extra);
  return out;
}

std::vector<uint8_t> central_header(const Entry& e) {
  bool u = e.zip64_sizes || e.usize >= kZip64Mark, c = e.zip64_sizes || e.csize >= kZip64Mark;
  bool o = e.local_offset >= kZip64Mark;
  std::vector<uint8_t> z64;
  if (u || c || o) {
    ByteWriter zw(z64);
    zw.u16(kExtraZip64);
    zw.u16(8 * (u + c + o));
    for (auto [on, v] : {std::pair<bool, uint64_t>{u, e.usize}, {c, e.csize}, {o, e.local_offset}})
      if (on) {
        zw.u32(uint32_t(v));
        zw.u32(uint32_t(v >> 32));
      }
  }
  std::vector<uint8_t> out;
  out.reserve(kCentralSize + e.raw_name.size() + z64.size() + e.extra.size() + e.comment.size());
  ByteWriter w(out);
  w.u32(kCentralSig);
  w.u16(e.made_by);
  w.u16(z64.empty() ? e.needed : std::max<uint16_t>(e.needed, 45));
  w.u16(e.flags);
  w.u16(e.method);
  w.u32(e.dostime);
  w.u32(e.crc);
  w.u32(c ? uint32_t(kZip64Mark) : uint32_t(e.csize));
  w.u32(u ? uint32_t(kZip64Mark) : uint32_t(e.usize));
  w.u16(uint32_t(e.raw_name.size()));
  w.u16(uint32_t(z64.size() + e.extra.size()));
  w.u16(uint32_t(e.comment.size()));
  w.u16(e.disk_start);
  w.u16(e.int_attr);
  w.u32(e.ext_attr);
  w.u32(o ? uint32_t(kZip64Mark) : uint32_t(e.local_offset));
  w.str(e.raw_name);
  w.bytes(z64.data(), z64.size());
  w.str(e.extra);
  w.str(e.comment);
  return out;
}

bool needs_zip64_end(uint64_t count, uint64_t cd_size, uint64_t cd_offset) {
  // 65,535 members still fit: readers take 0xFFFF as a count where no locator follows.
  return count > 0xFFFF || cd_size >= kZip64Mark || cd_offset >= kZip64Mark;
}

std::vector<uint8_t> end_record(uint64_t count, uint64_t cd_size, uint64_t cd_offset, const std::string& comment) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  auto w64 = [&](uint64_t v) { w.u32(uint32_t(v)); w.u32(uint32_t(v >> 32)); };
  if (needs_zip64_end(count, cd_size, cd_offset)) {
    uint64_t at = cd_offset + cd_size;
    w.u32(kZip64EndSig);
    w64(kZip64EndSize - 12);
    w.u16(uint32_t(kHostFat << 8 | 45));
    w.u16(45);
    w.u32(0);
    w.u32(0);
    w64(count);
    w64(count);
    w64(cd_size);
    w64(cd_offset);
    w.u32(kZip64LocatorSig);
    w.u32(0);
    w64(at);
    w.u32(1);
  }
  w.u32(kEndSig);
  w.u16(0);
  w.u16(0);
  w.u16(uint32_t(std::min<uint64_t>(count, 0xFFFF)));
  w.u16(uint32_t(std::min<uint64_t>(count, 0xFFFF)));
  w.u32(uint32_t(std::min<uint64_t>(cd_size, kZip64Mark)));
  w.u32(uint32_t(std::min<uint64_t>(cd_offset, kZip64Mark)));
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
