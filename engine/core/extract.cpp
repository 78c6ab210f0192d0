// Extract and Test: reads the directory, picks the members named by the patterns and
// inflates each one (decrypting on the way) into a temporary file that replaces the target only
// when its CRC is right. Names that would leave the target directory are refused.
#include <algorithm>
#include <memory>

#include "bytes.h"
#include "codec.h"
#include "engine.h"
#include "errors.h"
#include "names.h"
#include "zipcrypt.h"

namespace zc {

bool member_selected(const std::vector<std::string>& patterns, const std::string& name) {
  if (patterns.empty()) return true;
  std::string n = to_slashes(name);
  for (const std::string& s : patterns) {
    std::string p = to_slashes(s);
    if (p.empty()) continue;
    if (wild_match(p, n)) return true;
    // A folder name selects what is in it.
    std::string folder = p.back() == '/' ? p : p + "/";
    if (wild_match(folder + "*", n)) return true;
  }
  return false;
}

namespace {

constexpr size_t kInChunk = 256u << 10;
constexpr size_t kOutChunk = 1u << 20;

class Extractor {
 public:
  Extractor(FileSystem& fs, const ExtractOptions& o, Progress& p) : fs_(fs), o_(o), p_(p) {}
  int run();

 private:
  // Decodes member e; each piece of output goes to sink. Throws ZipError on damage.
  template <class Sink>
  void decode(const Entry& e, Sink&& sink);
  bool extract_one(const Entry& e);
  void check(bool cancel) { if (cancel) throw Cancelled(); }

  FileSystem& fs_;
  const ExtractOptions& o_;
  Progress& p_;
  std::unique_ptr<File> f_;
  Directory dir_;
  uint64_t reported_ = 0;   // bytes_done sent for the current member
};

template <class Sink>
void Extractor::decode(const Entry& e, Sink&& sink) {
  if (e.method == kMethodAes)
    throw ZipError(kUnsupported, "\"" + e.name + "\" is encrypted with AES, which this engine does not support");
  if (e.method != kMethodStored && e.method != kMethodDeflated)
    throw ZipError(kUnsupported, "\"" + e.name + "\" uses compression method " + std::to_string(e.method) +
                                     ", which this engine does not support (only stored and deflated)");
  if (e.flags & 0x40)
    throw ZipError(kUnsupported, "\"" + e.name + "\" uses strong encryption, which this engine does not support");
  uint64_t pos = data_offset(*f_, e, dir_.file_size);
  uint64_t left = e.csize;
  std::unique_ptr<ZipCrypto> keys;
  if (e.encrypted()) {
    if (o_.password.empty()) throw ZipError(kPassword, "\"" + e.name + "\" is encrypted and no password was given");
    if (left < ZipCrypto::kHeaderSize) throw ZipError(kFormat, "\"" + e.name + "\" is damaged: its encryption header is missing");
    uint8_t h[ZipCrypto::kHeaderSize];
    f_->read_at(pos, h, sizeof h, "an encryption header");
    keys.reset(new ZipCrypto(o_.password));
    keys->decrypt(h, sizeof h);
    // The last byte checks the password: the CRC's high byte, or with a data descriptor (whose
    // CRC was not known when the header was written, as Info-ZIP zip -e does) the time's.
    bool ok = h[11] == uint8_t(e.crc >> 24) || ((e.flags & kFlagDescriptor) && h[11] == uint8_t(e.dostime >> 8));
    if (!ok) throw ZipError(kPassword, "Wrong password for \"" + e.name + "\"");
    pos += ZipCrypto::kHeaderSize;
    left -= ZipCrypto::kHeaderSize;
  }
  if (e.method == kMethodStored && left != e.usize)
    throw ZipError(kFormat, "\"" + e.name + "\" is damaged: stored with " + std::to_string(left) +
                                " bytes of data for a size of " + std::to_string(e.usize));
  std::unique_ptr<StreamInflater> z;
  if (e.method == kMethodDeflated) z.reset(new StreamInflater());
  std::vector<uint8_t> in(size_t(std::min<uint64_t>(std::max<uint64_t>(left, 1), kInChunk))), out;
  size_t in_off = 0, in_avail = 0;
  uint64_t produced = 0;
  uint32_t crc = 0;
  f_->seek(pos);
  for (;;) {
    if (in_avail == 0 && left > 0) {
      size_t n = size_t(std::min<uint64_t>(left, in.size()));
      if (f_->read(in.data(), n) != n) throw ZipError(kEof, "Unexpected end of the archive in \"" + e.name + "\"");
      if (keys) keys->decrypt(in.data(), n);
      left -= n;
      in_off = 0;
      in_avail = n;
    }
    out.clear();
    if (z) {
      if (z->finished()) break;
      size_t used = 0;
      // At most one byte past the announced size, to notice data that is too long.
      size_t room = size_t(std::min<uint64_t>(kOutChunk, e.usize - produced + 1));
      if (!z->feed(in.data() + in_off, in_avail, used, out, room))
        throw ZipError(kFormat, "\"" + e.name + "\" is damaged: " + z->error());
      in_off += used;
      in_avail -= used;
      if (used == 0 && out.empty() && !z->finished() && (in_avail > 0 || left == 0))
        throw ZipError(kEof, "\"" + e.name + "\" is damaged: its compressed data ends too early");
    } else {
      if (in_avail == 0) break;
      out.assign(in.begin() + in_off, in.begin() + in_off + in_avail);
      in_off += in_avail;
      in_avail = 0;
    }
    produced += out.size();
    if (produced > e.usize)
      throw ZipError(kFormat, "\"" + e.name + "\" is damaged: it holds more than its size of " + std::to_string(e.usize) + " bytes");
    crc = crc32_update(crc, out.data(), out.size());
    if (!out.empty()) {
      sink(out.data(), out.size());
      uint64_t step = std::min<uint64_t>(out.size(), e.usize - reported_);
      reported_ += step;
      if (step) check(p_.bytes_done(step));
    }
  }
  if (produced != e.usize)
    throw ZipError(kFormat, "\"" + e.name + "\" is damaged: " + std::to_string(produced) + " bytes instead of " + std::to_string(e.usize));
  if (crc != e.crc) throw ZipError(kBadCrc, "CRC error in \"" + e.name + "\": the data is damaged");
}

// Returns true when the member counts as processed.
bool Extractor::extract_one(const Entry& e) {
  reported_ = 0;
  if (o_.test_only) {
    if (e.is_dir()) return true;
    decode(e, [](const uint8_t*, size_t) {});
    if (o_.verbose) check(p_.message(0, "  testing: " + e.name + "  OK"));
    return true;
  }
  zip::NameVerdict name = zip::CheckMemberName(e.name);
  if (!name.Ok()) {
    // Escapes are said as such; names Windows cannot hold as files (devices, streams, control
    // characters) are said for what they are.
    std::string why = unsafe_name_reason(name);
    std::string reason = name.Escapes() ? why + " would leave the target folder"
                         : name.fault == zip::NameFault::Device
                             ? "\"" + name.part + "\" is the name of a device on Windows, not of a file"
                             : why + " cannot be used in a file name on Windows";
    check(p_.message(kUnsafeName, "Refused to extract \"" + e.name + "\": " + reason));
    return false;
  }
  std::string rel = name.rel;
  if (rel.empty()) return false;
  if (!o_.dir_names) {
    if (e.is_dir()) return false;
    rel = rel.substr(rel.rfind('/') == std::string::npos ? 0 : rel.rfind('/') + 1);
  }
  std::string base = fs_.current_dir();
  // Folders on the way are made as needed.
  auto make_parents = [&](const std::string& r, bool include_last) {
    size_t i = 0;
    for (;;) {
      size_t j = r.find('/', i);
      if (j == std::string::npos && !include_last) break;
      std::string part = base + "/" + (j == std::string::npos ? r : r.substr(0, j));
      FileInfo st = fs_.stat(part);
      if (!st.exists && !fs_.make_dir(part))
        throw ZipError(kCreate, "Could not create the folder " + part + ": " + fs_.last_error());
      if (st.exists && !st.is_dir) throw ZipError(kCreate, "Could not create the folder " + part + ": a file has that name");
      if (j == std::string::npos) break;
      i = j + 1;
    }
  };
  if (e.is_dir()) {
    make_parents(rel, true);
    return true;
  }
  std::string target = base + "/" + rel;
  FileInfo st = fs_.stat(target);
  if (st.is_dir) throw ZipError(kCreate, "Could not extract \"" + e.name + "\": a folder has that name");
  if (st.exists) {
    if (o_.update || o_.freshen) {
      if (e.dostime <= fs_.to_dos_time(st.mtime)) return false;   // the file is as new
    } else if (!o_.overwrite) {
      if (o_.verbose) check(p_.message(0, "Skipped \"" + e.name + "\": the file exists"));
      return false;
    }
  } else if (o_.freshen) {
    return false;
  }
  make_parents(rel, false);
  std::string temp = target + ".unz~tmp";
  std::unique_ptr<File> out = fs_.create(temp);
  try {
    decode(e, [&](const uint8_t* p, size_t n) { out->write(p, n); });
    out->close();
  } catch (...) {
    out.reset();
    fs_.remove_file(temp);
    throw;
  }
  out.reset();
  if (st.exists && (st.attrs & kAttrReadOnly)) fs_.set_attrs(target, st.attrs & ~kAttrReadOnly);
  if (!fs_.replace_file(temp, target)) {
    std::string err = fs_.last_error();
    fs_.remove_file(temp);
    throw ZipError(kCreate, "Could not write " + target + ": " + err);
  }
  fs_.set_mtime(target, fs_.from_dos_time(e.dostime));
  uint8_t host = e.host();
  uint32_t attrs = 0;
  if (host == kHostFat || host == kHostNtfs || host == kHostHpfs) attrs = e.ext_attr & (kAttrReadOnly | kAttrHidden | kAttrSystem);
  else if (host == kHostUnix && !((e.ext_attr >> 16) & 0200) && (e.ext_attr >> 16)) attrs = kAttrReadOnly;
  if (attrs) fs_.set_attrs(target, attrs | kAttrArchive);
  if (o_.verbose) check(p_.message(0, "  inflating: " + rel));
  return true;
}

int Extractor::run() {
  if (o_.archive.empty()) throw ZipError(kParams, "No archive name given");
  std::string path = fs_.full_path(to_slashes(o_.archive));
  FileInfo info = fs_.stat(path);
  if (!info.exists || info.is_dir) throw ZipError(kNoArchive, "The archive " + o_.archive + " does not exist");
  f_ = fs_.open_read(path);
  dir_ = read_directory(*f_, o_.names);
  check_member_ranges(*f_, dir_);
  if (!dir_.count_mismatch.empty())
    check(p_.message(kFormat, "Warning: the zip file is damaged: " + dir_.count_mismatch + "; the " +
                                  std::to_string(dir_.entries.size()) + " members found are read"));

  std::vector<const Entry*> chosen;
  uint64_t bytes = 0;
  for (const Entry& e : dir_.entries)
    if (member_selected(o_.patterns, e.name)) {
      chosen.push_back(&e);
      bytes += e.usize;
    }
  check(p_.file_count(chosen.size()));
  check(p_.byte_count(bytes));
  int done = 0, failed = 0;
  for (const Entry* e : chosen) {
    check(p_.file_start(e->name, e->usize));
    try {
      if (extract_one(*e)) ++done;
    } catch (const ZipError& err) {
      ++failed;
      check(p_.message(err.code(), err.what()));
    }
    // The bytes of a member skipped or refused still count, so the totals add up.
    if (reported_ < e->usize) check(p_.bytes_done(e->usize - reported_));
  }
  if (chosen.empty())
    p_.message(kNothing, o_.patterns.empty() ? "The archive is empty" : "No member matches " + o_.patterns.front());
  else if (failed)
    p_.message(kWarning, std::to_string(failed) + " of " + std::to_string(chosen.size()) + " members had errors");
  p_.batch_done();
  return done;
}

}  // namespace

int unzip_extract(FileSystem& fs, const ExtractOptions& o, Progress& progress) {
  Extractor x(fs, o, progress);
  try {
    return x.run();
  } catch (const Cancelled&) {
    progress.message(kAbort, o.test_only ? "Test cancelled" : "Extraction cancelled");
  } catch (const ZipError& e) {
    progress.message(e.code(), e.what());
  } catch (const std::bad_alloc&) {
    progress.message(kMemory, "Out of memory");
  } catch (const std::exception& e) {
    progress.message(kLogic, std::string("Internal error: ") + e.what());
  }
  return 0;
}

}  // namespace zc
