// Writes a new archive into a temporary file beside the target (or in the temp directory) and
// puts it in place only at the end: a failed or cancelled operation leaves the old archive. A
// temporary file beside the target replaces it by a rename; one in the temp directory (perhaps
// on another volume) is copied over it, with a copy of the old archive kept until the new one is
// complete, so that a full disk never leaves a partial archive behind.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "engine.h"
#include "zipformat.h"

namespace zc {

class ArchiveWriter {
public:
    ArchiveWriter(FileSystem& fs, const std::string& target, const std::string& tempDir);
    ~ArchiveWriter();  // removes the temporary file unless commit() ran
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    const std::string& TempPath() const { return temp_; }
    uint64_t pos() const { return pos_; }
    void write(const void* p, size_t n);
    void write(const std::vector<uint8_t>& v) { write(v.data(), v.size()); }
    // Overwrites bytes already written (flushes first), then returns to the end.
    void patch(uint64_t at, const void* p, size_t n);
    // Goes back to an earlier position and drops everything after it.
    void RewindTo(uint64_t at);
    // Copies n bytes from src at offset; calls tick now and then (cancel throws Cancelled).
    void CopyFrom(File& src, uint64_t offset, uint64_t n, Progress* progress);
    // Copies an existing member whole (local header, data, descriptor) and records its central
    // header with the new offset.
    void CopyMember(File& src, const Entry& e, uint64_t srcSize, Progress* progress);
    // Records the central header of a member written by the caller (localOffset must be set).
    void AddCentral(const Entry& e) { central_.push_back(e); }
    // The offset a new local header gets.
    uint64_t MemberOffset() const { return pos_; }
    // Central directory and end record, then close.
    void finish(const std::string& comment);
    // Replaces the target with the finished file.
    void commit();
    size_t count() const { return central_.size(); }
    const std::vector<Entry>& central() const { return central_; }

private:
    void flush();
    void CopyOverTarget();
    void copy_file(const std::string& from, const std::string& to);
    std::string MakeTemp(const std::string& dir);
    FileSystem& fs_;
    std::string target_, temp_;
    bool beside_ = true;  // the temporary file is in the target's folder
    std::unique_ptr<File> out_;
    std::vector<uint8_t> buf_;
    uint64_t pos_ = 0;  // logical position (written + buffered)
    std::vector<Entry> central_;
    bool committed_ = false;
};

}  // namespace zc
