#include "writer.h"

#include <chrono>
#include <cstring>
#include <random>

#include "Errors.h"

namespace zc {

static std::string DirOf(const std::string& path) {
    size_t s = path.rfind('/');
    return s == std::string::npos ? std::string(".") : s == 0 ? std::string("/") : path.substr(0, s);
}

ArchiveWriter::ArchiveWriter(FileSystem& fs, const std::string& target, const std::string& tempDir)
    : fs_(fs), target_(target) {
    // Beside the target, so the final replace is a rename; the temp directory only when asked
    // and the target's folder cannot take it.
    try {
        temp_ = MakeTemp(DirOf(target));
    } catch (const ZipError&) {
        if (tempDir.empty()) throw;
        temp_ = MakeTemp(tempDir);
        beside_ = false;
    }
    buf_.reserve(1 << 20);
}

// Creates a new file zi??????.tmp in dir (out_ holds it); throws when ten names all fail.
std::string ArchiveWriter::MakeTemp(const std::string& dir) {
    static std::mt19937 rng(uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0;; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "/zi%06x.tmp", unsigned(rng() & 0xFFFFFF));
        std::string cand = dir + name;
        if (fs_.stat(cand).exists) continue;
        try {
            out_ = fs_.create(cand);
            return cand;
        } catch (const ZipError& e) {
            if (attempt == 9) throw ZipError(kTemp, "Could not create a temporary file in " + dir + ": " + e.what());
        }
    }
}

ArchiveWriter::~ArchiveWriter() {
    if (committed_) return;
    try {
        if (out_) out_->close();
    } catch (...) {
    }
    out_.reset();
    if (!temp_.empty()) fs_.RemoveFile(temp_);
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

void ArchiveWriter::RewindTo(uint64_t at) {
    flush();
    out_->seek(at);
    out_->truncate();
    pos_ = at;
}

void ArchiveWriter::CopyFrom(File& src, uint64_t offset, uint64_t n, Progress* progress) {
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

void ArchiveWriter::CopyMember(File& src, const Entry& e, uint64_t srcSize, Progress* progress) {
    uint64_t data = DataOffset(src, e, srcSize);
    uint64_t end = data + e.csize;
    end += DescriptorLength(src, e, end, srcSize);
    Entry copy = e;
    copy.localOffset = MemberOffset();
    CopyFrom(src, e.headerPos, end - e.headerPos, progress);
    central_.push_back(std::move(copy));
}

void ArchiveWriter::finish(const std::string& comment) {
    uint64_t cdStart = pos_;
    for (const Entry& e : central_) write(CentralHeaderBytes(e));
    write(EndRecordBytes(central_.size(), pos_ - cdStart, cdStart, comment));
    flush();
    out_->close();
    out_.reset();
}

void ArchiveWriter::copy_file(const std::string& from, const std::string& to) {
    std::unique_ptr<File> in = fs_.OpenRead(from);
    std::unique_ptr<File> out = fs_.create(to);
    std::vector<uint8_t> chunk(1 << 20);
    for (;;) {
        size_t n = in->read(chunk.data(), chunk.size());
        if (n == 0) break;
        out->write(chunk.data(), n);
    }
    out->close();
}

// The new archive is in another folder: the old one is copied aside first (in that folder), the
// new one copied over it and checked by its size; when that fails the old one is put back.
void ArchiveWriter::CopyOverTarget() {
    std::string backup;
    if (fs_.stat(target_).exists) {
        try {
            backup = MakeTemp(DirOf(temp_));
            out_.reset();
            copy_file(target_, backup);
        } catch (const ZipError& e) {
            out_.reset();
            if (!backup.empty()) fs_.RemoveFile(backup);
            throw ZipError(kTemp, "Could not keep a copy of the old archive while replacing it (" +
                                      std::string(e.what()) + "); the archive was not changed");
        }
    }
    uint64_t size = fs_.stat(temp_).size;
    std::string failure;
    try {
        copy_file(temp_, target_);
        if (fs_.stat(target_).size != size) failure = "the copy is incomplete";
    } catch (const ZipError& e) {
        failure = e.what();
    }
    if (failure.empty()) {
        if (!backup.empty()) fs_.RemoveFile(backup);
        return;
    }
    if (backup.empty()) {
        fs_.RemoveFile(target_);
        throw ZipError(kWrite,
                       "Could not write the new archive " + target_ + " (" + failure + "); nothing was written");
    }
    try {
        copy_file(backup, target_);
        if (fs_.stat(target_).size != fs_.stat(backup).size) throw ZipError(kWrite, "the old archive is incomplete");
    } catch (const ZipError& e) {
        // The old archive is kept whole where it was copied; the person is told where.
        throw ZipError(kWrite, "Could not write the new archive over " + target_ + " (" + failure +
                                   "), nor put the old one back (" + e.what() + "); the old archive is kept as " +
                                   backup);
    }
    fs_.RemoveFile(backup);
    throw ZipError(kWrite, "Could not write the new archive over " + target_ + " (" + failure +
                               "); the old archive was put back unchanged");
}

void ArchiveWriter::commit() {
    if (!beside_) {
        CopyOverTarget();
        fs_.RemoveFile(temp_);
        committed_ = true;
        return;
    }
    if (!fs_.ReplaceFile(temp_, target_))
        throw ZipError(kTemp, "Could not replace " + target_ + " with the new archive: " + fs_.LastError());
    committed_ = true;
}

}  // namespace zc
