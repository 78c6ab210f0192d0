// The seam to the operating system: files, directories, times and names.
//
// The portable code (zip/, the engine's core, the installer's unpacking) uses only this
// interface. The implementations stay with the programs that choose the platform, so that zip/
// builds the same natively and for Windows: engine/os/win32_fs.cpp with the Win32
// wide-character API (the DLLs and programs), engine/os/posix_fs.cpp natively (tests, bench).
// Paths are UTF-8 with '/' as separator inside; implementations convert as they need.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zip {

// DOS attribute bits as they go into the low byte of a ZIP external attribute.
enum : uint32_t { kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrSystem = 0x04, kAttrDir = 0x10, kAttrArchive = 0x20 };

struct FileInfo {
    bool exists = false;
    bool isDir = false;
    uint64_t size = 0;
    int64_t mtime = 0;   // seconds since 1970 UTC
    uint32_t attrs = 0;  // kAttr* bits
};

struct DirEntry {
    std::string name;  // one path component
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
    void ReadAt(uint64_t pos, void* buf, size_t n, const char* what);
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual std::unique_ptr<File> OpenRead(const std::string& path) = 0;
    // Creates or truncates a file for writing.
    virtual std::unique_ptr<File> create(const std::string& path) = 0;
    virtual FileInfo stat(const std::string& path) = 0;
    // Lists a directory without "." and ".."; false when it cannot be read.
    virtual bool ListDir(const std::string& dir, std::vector<DirEntry>& out) = 0;
    virtual bool MakeDir(const std::string& path) = 0;
    virtual bool RemoveFile(const std::string& path) = 0;
    virtual bool RemoveDir(const std::string& path) = 0;
    // Renames from over to, replacing to when it exists; fails across volumes, touching nothing.
    virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
    virtual bool SetMtime(const std::string& path, int64_t mtime) = 0;
    virtual bool SetAttrs(const std::string& path, uint32_t attrs) = 0;
    virtual std::string CurrentDir() = 0;
    // Absolute, normalised form of a path ('/' separators), relative ones against CurrentDir.
    virtual std::string FullPath(const std::string& path) = 0;
    // True where "A" and "a" name the same file.
    virtual bool CaseInsensitive() const = 0;
    // Local-time conversions for DOS date/time stamps.
    virtual uint32_t ToDosTime(int64_t mtime) = 0;
    virtual int64_t FromDosTime(uint32_t dos) = 0;
    // The last system error as text, for messages.
    virtual std::string LastError() = 0;
};

// The file system of the running platform (Win32 in the DLLs, POSIX natively), defined by the
// implementation the program links.
FileSystem& HostFs();

}  // namespace zip
