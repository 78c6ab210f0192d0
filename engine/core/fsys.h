// The operating-system layer of the engine: files, directories, times and names.
//
// The portable core (format, compression, add, extract) uses only this interface; win32_fs.cpp
// implements it with the Win32 wide-character API for the DLLs, posix_fs.cpp for native tests.
// Paths are UTF-8 with '/' as separator inside the core; implementations convert as they need.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zc {

// DOS attribute bits as they go into the low byte of a ZIP external attribute.
enum : uint32_t {
  kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrSystem = 0x04, kAttrDir = 0x10, kAttrArchive = 0x20
};

struct FileInfo {
  bool exists = false;
  bool is_dir = false;
  uint64_t size = 0;
  int64_t mtime = 0;      // seconds since 1970 UTC
  uint32_t attrs = 0;     // kAttr* bits
};

struct DirEntry {
  std::string name;       // one path component
  FileInfo info;
};

// An open file. Errors throw ZipError with the path and the system's reason.
class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes; returns fewer only at the end of the file.
  virtual size_t read(void* buf, size_t n) = 0;
  virtual void write(const void* buf, size_t n) = 0;
  virtual void seek(uint64_t pos) = 0;
  virtual uint64_t tell() = 0;
  virtual uint64_t size() = 0;
  // Cuts the file at the current position.
  virtual void truncate() = 0;
  // Flushes and closes; a failure here is a write error (a full disk shows up late).
  virtual void close() = 0;
  // Reads exactly n bytes at pos or throws (kEof) naming what was being read.
  void read_at(uint64_t pos, void* buf, size_t n, const char* what);
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::unique_ptr<File> open_read(const std::string& path) = 0;
  // Creates or truncates a file for writing.
  virtual std::unique_ptr<File> create(const std::string& path) = 0;
  virtual FileInfo stat(const std::string& path) = 0;
  // Lists a directory without "." and ".."; false when it cannot be read.
  virtual bool list_dir(const std::string& dir, std::vector<DirEntry>& out) = 0;
  virtual bool make_dir(const std::string& path) = 0;
  virtual bool remove_file(const std::string& path) = 0;
  virtual bool remove_dir(const std::string& path) = 0;
  // Renames from over to, replacing to when it exists; fails across volumes, touching nothing.
  virtual bool replace_file(const std::string& from, const std::string& to) = 0;
  virtual bool set_mtime(const std::string& path, int64_t mtime) = 0;
  virtual bool set_attrs(const std::string& path, uint32_t attrs) = 0;
  virtual std::string current_dir() = 0;
  // Absolute, normalised form of a path ('/' separators), relative ones against current_dir.
  virtual std::string full_path(const std::string& path) = 0;
  // True where "A" and "a" name the same file.
  virtual bool case_insensitive() const = 0;
  // Local-time conversions for DOS date/time stamps.
  virtual uint32_t to_dos_time(int64_t mtime) = 0;
  virtual int64_t from_dos_time(uint32_t dos) = 0;
  // The last system error as text, for messages.
  virtual std::string last_error() = 0;
};

// The file system of the running platform (Win32 in the DLLs, POSIX natively).
FileSystem& host_fs();

}  // namespace zc
