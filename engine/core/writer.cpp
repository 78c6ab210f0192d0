#include "writer.h"

#include <chrono>
#include <cstring>
#include <random>

#include "errors.h"

namespace zc {

void check_zip32(uint64_t value, const char* what) {
  if (value >= 0xFFFFFFFFull)
    throw ZipError(kTooBig, std::string("The archive would exceed the 4 GiB limit of the ZIP format (") + what +
                                "); nothing was changed");
}

static std::string dir_of(const std::string& path) {
  size_t s = path.rfind('/');
  return s == std::string::npos ? std::string(".") : s == 0 ? std::string("/") : path.substr(0, s);
}

ArchiveWriter::ArchiveWriter(FileSystem& fs, const std::string& target, const std::string& temp_dir)
    : fs_(fs), target_(target) {
  std::string dir = dir_of(target);
  // Beside the target, so the final replace is a rename; the temp directory only when asked
  // and the target's directory cannot take it.
  std::mt19937 rng(uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 20 && !out_; ++attempt) {
    std::string base = attempt < 10 || temp_dir.empty() ? dir : temp_dir;
    char name[32];
    std::snprintf(name, sizeof name, "/zi%06x.tmp", unsigned(rng() & 0xFFFFFF));
    std::string cand = base + name;
    if (fs_.stat(cand).exists) continue;
    try {
      out_ = fs_.create(cand);
      temp_ = cand;
    } catch (const ZipError&) {
      if (attempt == 19) throw;
    }
  }
  if (!out_) throw ZipError(kTemp, "Could not create a temporary file beside " + target);
  buf_.reserve(1 << 20);
}

ArchiveWriter::~ArchiveWriter() {
  if (committed_) return;
  try {
    if (out_) out_->close();
  } catch (...) {
  }
  out_.reset();
  if (!temp_.empty()) fs_.remove_file(temp_);
}

void ArchiveWriter::flush() {
  if (buf_.empty()) return;
  out_->write(buf_.data(), buf_.size());
  buf_.clear();
}

void ArchiveWriter::write(const void* p, size_t n) {
  if (n >= (1u << 20)) {
    flush();
    out_->write(p, n);
  } else {
    if (buf_.size() + n > (1u << 20)) flush();
    auto* b = static_cast<const uint8_t*>(p);
    buf_.insert(buf_.end(), b, b + n);
  }
  pos_ += n;
}

void ArchiveWriter::patch(uint64_t at, const void* p, size_t n) {
  flush();
  out_->seek(at);
  out_->write(p, n);
  out_->seek(pos_);
}

void ArchiveWriter::rewind_to(uint64_t at) {
  flush();
  out_->seek(at);
  out_->truncate();
  pos_ = at;
}

void ArchiveWriter::copy_from(File& src, uint64_t offset, uint64_t n, Progress* progress) {
  std::vector<uint8_t> chunk(std::min<uint64_t>(n, 1 << 20));
  src.seek(offset);
  while (n > 0) {
    size_t k = size_t(std::min<uint64_t>(n, chunk.size()));
    if (src.read(chunk.data(), k) != k) throw ZipError(kEof, "Unexpected end of the old archive while copying it");
    write(chunk.data(), k);
    n -= k;
    if (progress && progress->tick()) throw Cancelled();
  }
}

uint32_t ArchiveWriter::member_offset() {
  check_zip32(pos_, "member offset");
  return uint32_t(pos_);
}

void ArchiveWriter::copy_member(File& src, const Entry& e, uint64_t src_size, Progress* progress) {
  uint64_t data = data_offset(src, e, src_size);
  uint64_t end = data + e.csize;
  end += descriptor_length(src, e, end, src_size);
  Entry copy = e;
  copy.local_offset = member_offset();
  copy_from(src, e.header_pos, end - e.header_pos, progress);
  central_.push_back(std::move(copy));
}

void ArchiveWriter::finish(const std::string& comment) {
  if (central_.size() > 0xFFFF)
    throw ZipError(kTooBig, "The archive would hold " + std::to_string(central_.size()) +
                                " members, more than the 65,535 of the ZIP format; nothing was changed");
  uint64_t cd_start = pos_;
  check_zip32(cd_start, "central directory offset");
  for (const Entry& e : central_) write(central_header(e));
  uint64_t cd_size = pos_ - cd_start;
  check_zip32(cd_start + cd_size, "archive size");
  write(end_record(central_.size(), uint32_t(cd_size), uint32_t(cd_start), comment));
  flush();
  out_->close();
  out_.reset();
}

void ArchiveWriter::commit() {
  if (!fs_.replace_file(temp_, target_))
    throw ZipError(kTemp, "Could not replace " + target_ + " with the new archive: " + fs_.last_error());
  committed_ = true;
}

}  // namespace zc
