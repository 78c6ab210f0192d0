#include "zipformat.h"

#include "MemberRanges.h"

#include <algorithm>

#include "errors.h"
#include "Text.h"
#include "ZipCrypto.h"

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
    if (crc != Crc32Update(0, e.rawName.data(), e.rawName.size())) continue;
    out.assign(reinterpret_cast<const char*>(body + 5), len - 5);
    return IsValidUtf8(out) && !out.empty();
  }
  return false;
}

}  // namespace

std::string decode_name(const Entry& e, NameRule rule) {
  std::string u;
  if (unicode_path(e, u)) return u;
  if ((e.flags & kFlagUtf8) && IsValidUtf8(e.rawName)) return e.rawName;
  if (IsAscii(e.rawName)) return e.rawName;
  switch (rule) {
    case NameRule::Oem:
      return CpToUtf8(e.rawName, CodePage::Oem437);
    case NameRule::None:
      return CpToUtf8(e.rawName, CodePage::Ansi1252);
    case NameRule::Auto:
    default: {
      uint8_t host = e.Host();
      if (host == kHostFat || host == kHostHpfs || host == kHostNtfs) return CpToUtf8(e.rawName, CodePage::Oem437);
      // Unix and the rest: today's tools write UTF-8 without saying so; older ones a Latin set.
      if (IsValidUtf8(e.rawName)) return e.rawName;
      return CpToUtf8(e.rawName, CodePage::Ansi1252);
    }
  }
}

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

const char* const kSpanned =
    "This is part of a spanned (multi-disk) archive; join the disks into one archive first";

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
    case F::DiskMissing:
      throw ZipError(kUnsupported, kSpanned);
    case F::Zip64EndMissing:
      throw ZipError(kFormat, damaged + "its ZIP64 locator points at offset " + num(f.offset) +
                                  ", where there is no ZIP64 end record");
    case F::DirectoryTooLarge:
      throw ZipError(kFormat, damaged + "its central directory (" + num(f.need) +
                                  " bytes) is larger than the space before the end record (" + num(f.found) +
                                  " bytes)");
    case F::DirectoryOffsetTooLate:
      throw ZipError(kFormat, damaged + "central directory recorded at " + num(f.offset) + " but it can start at " +
                                  num(f.limit) + " at most");
    case F::DirectoryUnreadable:
      throw ZipError(kEof, "Unexpected end of the zip file while reading the central directory: need " +
                               num(d.cdSize) + " bytes, found " + num(f.offset - d.cdStart));
    case F::HeaderCut:
      throw ZipError(kFormat, damaged + which + " is truncated (need 46 bytes, found " + num(f.found) + ")");
    case F::HeaderSignature:
      throw ZipError(kFormat, damaged + which + " has a wrong signature");
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
    case F::None:
      break;
  }
  throw ZipError(kLogic, "Reading the central directory failed");
}

}  // namespace

Directory ReadDirectory(File& f, NameRule rule) {
  FileBytes bytes(f);
  Directory d = zip::ReadDirectory(bytes, zip::RewriteRules());
  if (d.fault) Throw(d.fault, d);
  for (Entry& e : d.entries) e.name = decode_name(e, rule);
  return d;
}

std::string CountMismatchNote(const Directory& d) {
  if (!d.CountDiffers()) return "";
  return "its end record counts " + num(d.count) + " member" + (d.count == 1 ? "" : "s") +
         " but its central directory holds " + num(d.entries.size());
}

void check_rewritable(const Directory& d) {
  if (d.CountDiffers())
    throw ZipError(kFormat, "The zip file is damaged: " + CountMismatchNote(d) +
                                "; it is not rewritten, since members could be lost. Extract what it holds "
                                "and make a new archive");
}

void check_member_ranges(File& f, const Directory& d) {
  std::vector<zip::MemberRange> ranges;
  ranges.reserve(d.entries.size());
  for (size_t i = 0; i < d.entries.size(); ++i) {
    const Entry& e = d.entries[i];
    // A member whose header or data cannot be read fails on its own; it still holds its header.
    uint64_t to = e.headerPos + kLocalSize;
    try {
      uint64_t data = data_offset(f, e, d.fileSize);
      to = data + e.csize;
      to += descriptor_length(f, e, to, d.fileSize);
    } catch (const ZipError&) {
    }
    ranges.push_back({e.headerPos, to, i});
  }
  zip::RangeClash c = zip::FindRangeClash(std::move(ranges), d.cdStart);
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
  f.read_at(e.headerPos, h, sizeof h, "a local header");
  if (Get32(h) != kLocalSig)
    throw ZipError(kFormat, "The zip file is damaged: the local header of \"" + e.name + "\" at offset " +
                                num(e.headerPos) + " has a wrong signature");
  LocalHeader lh;
  lh.DecodeHeader(h + 4);
  uint64_t start = e.headerPos + lh.Length();
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
  h.FileNameLength = uint16_t(e.rawName.size());
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
  w.Str(e.rawName);
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
  static_cast<MemberFields&>(h) = member_fields(e, z64.size() + e.extra.size(), !z64.empty(), c, u);
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

bool needs_zip64_end(uint64_t count, uint64_t cdSize, uint64_t cd_offset) {
  // 65,535 members still fit: readers take 0xFFFF as a count where no locator follows.
  return count > 0xFFFF || cdSize >= kZip64Mark || cd_offset >= kZip64Mark;
}

std::vector<uint8_t> end_record(uint64_t count, uint64_t cdSize, uint64_t cd_offset, const std::string& comment) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  if (needs_zip64_end(count, cdSize, cd_offset)) {
    uint64_t at = cd_offset + cdSize;
    w.U32(kZip64EndSig);
    w.U64(kZip64EndSize - 12);
    w.U16(uint32_t(kHostFat << 8 | 45));
    w.U16(45);
    w.U32(0);
    w.U32(0);
    w.U64(count);
    w.U64(count);
    w.U64(cdSize);
    w.U64(cd_offset);
    w.U32(kZip64LocatorSig);
    w.U32(0);
    w.U64(at);
    w.U32(1);
  }
  ZipEndOfCentral end;
  end.HeaderSig = kEndSig;
  end.CentralEntries = end.TotalEntries = uint16_t(std::min<uint64_t>(count, 0xFFFF));
  end.CentralSize = uint32_t(std::min<uint64_t>(cdSize, kZip64Mark));
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
  w.U32(Crc32Update(0, stored_name.data(), stored_name.size()));
  w.Str(utf8_name);
  return std::string(out.begin(), out.end());
}

EncodedName encode_name(const std::string& utf8_name) {
  EncodedName n;
  if (IsAscii(utf8_name)) {
    n.bytes = utf8_name;
  } else if (Utf8ToCp(utf8_name, CodePage::Oem437, n.bytes)) {
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
