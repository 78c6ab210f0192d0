// The engine's file system layer on Win32 (wide-character API; paths UTF-8 inside the engine).
#include <windows.h>

#include <cwchar>

#include "Errors.h"
#include "FileSystem.h"
#include "Names.h"
#include "win32_text.h"

namespace zc {

using namespace zip;

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &w[0], n);
    return w;
}

std::string narrow(const std::wstring& w, unsigned codepage) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(codepage, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(codepage, 0, w.data(), int(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::string AnsiToUtf8(const char* ansi) {
    if (!ansi || !*ansi) return std::string();
    int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::wstring w(size_t(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, ansi, -1, &w[0], n);
    return narrow(w, CP_UTF8);
}

std::string Utf8ToAnsi(const std::string& utf8) { return narrow(widen(utf8), CP_ACP); }

namespace {

std::wstring wpath(const std::string& p) {
    std::wstring w = widen(p);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

std::string ErrorText(DWORD code) {
    wchar_t* buf = nullptr;
    DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring w = n && buf ? std::wstring(buf, n) : std::wstring();
    if (buf) LocalFree(buf);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ' || w.back() == L'.')) w.pop_back();
    if (w.empty()) return "system error " + std::to_string(code);
    return narrow(w, CP_UTF8);
}

const int64_t kEpochDiff = 116444736000000000LL;  // 1601 to 1970 in 100 ns steps

int64_t ToUnix(const FILETIME& ft) {
    int64_t v = (int64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (v - kEpochDiff) / 10000000;
}

FILETIME FromUnix(int64_t t) {
    int64_t v = t * 10000000 + kEpochDiff;
    FILETIME ft;
    ft.dwLowDateTime = DWORD(v);
    ft.dwHighDateTime = DWORD(v >> 32);
    return ft;
}

uint32_t DosAttrs(DWORD a) {
    uint32_t r = 0;
    if (a & FILE_ATTRIBUTE_READONLY) r |= kAttrReadOnly;
    if (a & FILE_ATTRIBUTE_HIDDEN) r |= kAttrHidden;
    if (a & FILE_ATTRIBUTE_SYSTEM) r |= kAttrSystem;
    if (a & FILE_ATTRIBUTE_DIRECTORY) r |= kAttrDir;
    if (a & FILE_ATTRIBUTE_ARCHIVE) r |= kAttrArchive;
    return r;
}

FileInfo InfoOf(DWORD attrs, const FILETIME& mtime, DWORD sizeHi, DWORD sizeLo) {
    FileInfo i;
    i.exists = true;
    i.isDir = (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
    i.size = i.isDir ? 0 : (uint64_t(sizeHi) << 32 | sizeLo);
    i.mtime = ToUnix(mtime);
    i.attrs = DosAttrs(attrs);
    return i;
}

class Win32File : public File {
public:
    Win32File(HANDLE h, std::string path) : h_(h), path_(std::move(path)) {}
    ~Win32File() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    size_t read(void* buf, size_t n) override {
        size_t got = 0;
        while (got < n) {
            DWORD chunk = DWORD(std::min<size_t>(n - got, 1u << 30)), r = 0;
            if (!ReadFile(h_, static_cast<char*>(buf) + got, chunk, &r, nullptr))
                throw ZipError(kRead, "Could not read " + path_ + ": " + ErrorText(GetLastError()));
            if (r == 0) break;
            got += r;
        }
        return got;
    }
    void write(const void* buf, size_t n) override {
        size_t done = 0;
        while (done < n) {
            DWORD chunk = DWORD(std::min<size_t>(n - done, 1u << 30)), w = 0;
            if (!WriteFile(h_, static_cast<const char*>(buf) + done, chunk, &w, nullptr) || w == 0)
                throw ZipError(kWrite, "Could not write " + path_ + ": " + ErrorText(GetLastError()));
            done += w;
        }
    }
    void seek(uint64_t pos) override {
        LARGE_INTEGER li;
        li.QuadPart = LONGLONG(pos);
        if (!SetFilePointerEx(h_, li, nullptr, FILE_BEGIN))
            throw ZipError(kRead, "Could not seek in " + path_ + ": " + ErrorText(GetLastError()));
    }
    uint64_t tell() override {
        LARGE_INTEGER zero, now;
        zero.QuadPart = 0;
        SetFilePointerEx(h_, zero, &now, FILE_CURRENT);
        return uint64_t(now.QuadPart);
    }
    uint64_t size() override {
        LARGE_INTEGER li;
        if (!GetFileSizeEx(h_, &li)) throw ZipError(kRead, "Could not read the size of " + path_);
        return uint64_t(li.QuadPart);
    }
    void truncate() override {
        if (!SetEndOfFile(h_)) throw ZipError(kWrite, "Could not truncate " + path_ + ": " + ErrorText(GetLastError()));
    }
    void close() override {
        if (h_ == INVALID_HANDLE_VALUE) return;
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        if (!CloseHandle(h)) throw ZipError(kWrite, "Could not write " + path_ + ": " + ErrorText(GetLastError()));
    }

private:
    HANDLE h_;
    std::string path_;
};

class Win32Fs : public FileSystem {
public:
    std::unique_ptr<File> OpenRead(const std::string& path) override {
        HANDLE h = CreateFileW(wpath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            throw ZipError(kOpen, "Could not open " + path + ": " + ErrorText(GetLastError()));
        return std::unique_ptr<File>(new Win32File(h, path));
    }
    std::unique_ptr<File> create(const std::string& path) override {
        HANDLE h = CreateFileW(wpath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            throw ZipError(kCreate, "Could not create " + path + ": " + ErrorText(GetLastError()));
        return std::unique_ptr<File>(new Win32File(h, path));
    }
    FileInfo stat(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA d;
        if (!GetFileAttributesExW(wpath(path).c_str(), GetFileExInfoStandard, &d)) return FileInfo();
        return InfoOf(d.dwFileAttributes, d.ftLastWriteTime, d.nFileSizeHigh, d.nFileSizeLow);
    }
    bool ListDir(const std::string& dir, std::vector<DirEntry>& out) override {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((wpath(dir) + L"\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) {
            err_ = GetLastError();
            return err_ == ERROR_FILE_NOT_FOUND;
        }
        do {
            if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT && fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            out.push_back({narrow(fd.cFileName, CP_UTF8),
                           InfoOf(fd.dwFileAttributes, fd.ftLastWriteTime, fd.nFileSizeHigh, fd.nFileSizeLow)});
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        return true;
    }
    bool MakeDir(const std::string& p) override { return keep(CreateDirectoryW(wpath(p).c_str(), nullptr)); }
    bool RemoveFile(const std::string& p) override {
        std::wstring w = wpath(p);
        DWORD a = GetFileAttributesW(w.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(w.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
        return keep(DeleteFileW(w.c_str()));
    }
    bool RemoveDir(const std::string& p) override { return keep(RemoveDirectoryW(wpath(p).c_str())); }
    bool ReplaceFile(const std::string& from, const std::string& to) override {
        // A rename only: a copy across volumes that fails half-way would leave a partial file where
        // the old one was (callers copy across volumes themselves, keeping the old file until done).
        return keep(
            MoveFileExW(wpath(from).c_str(), wpath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    }
    bool SetMtime(const std::string& p, int64_t t) override {
        HANDLE h = CreateFileW(wpath(p).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return keep(false);
        FILETIME ft = FromUnix(t);
        bool ok = SetFileTime(h, nullptr, nullptr, &ft);
        CloseHandle(h);
        return keep(ok);
    }
    bool SetAttrs(const std::string& p, uint32_t attrs) override {
        DWORD a = 0;
        if (attrs & kAttrReadOnly) a |= FILE_ATTRIBUTE_READONLY;
        if (attrs & kAttrHidden) a |= FILE_ATTRIBUTE_HIDDEN;
        if (attrs & kAttrSystem) a |= FILE_ATTRIBUTE_SYSTEM;
        if (attrs & kAttrArchive) a |= FILE_ATTRIBUTE_ARCHIVE;
        return keep(SetFileAttributesW(wpath(p).c_str(), a ? a : FILE_ATTRIBUTE_NORMAL));
    }
    std::string CurrentDir() override {
        wchar_t buf[MAX_PATH * 4];
        DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, buf);
        std::string s = narrow(std::wstring(buf, n), CP_UTF8);
        s = zip::ToSlashes(s);
        if (s.size() > 3 && s.back() == '/') s.pop_back();
        return s;
    }
    std::string FullPath(const std::string& path) override {
        wchar_t buf[MAX_PATH * 4];
        std::wstring w = wpath(path.empty() ? "." : path);
        DWORD n = GetFullPathNameW(w.c_str(), MAX_PATH * 4, buf, nullptr);
        if (n == 0 || n >= MAX_PATH * 4) return zip::ToSlashes(path);
        std::string s = zip::ToSlashes(narrow(std::wstring(buf, n), CP_UTF8));
        if (s.size() > 3 && s.back() == '/') s.pop_back();
        return s;
    }
    bool CaseInsensitive() const override { return true; }
    uint32_t ToDosTime(int64_t t) override {
        FILETIME ft = FromUnix(t), local;
        WORD date = 0, time = 0;
        // Odd seconds round up, so a member is never older than its file (as Info-ZIP does).
        if (t & 1) ft = FromUnix(t + 1);
        if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToDosDateTime(&local, &date, &time))
            return zip::PackDosTime(1980, 1, 1, 0, 0, 0);
        return uint32_t(date) << 16 | time;
    }
    int64_t FromDosTime(uint32_t dos) override {
        FILETIME local, ft;
        if (!DosDateTimeToFileTime(WORD(dos >> 16), WORD(dos), &local) || !LocalFileTimeToFileTime(&local, &ft))
            return 315532800;
        return ToUnix(ft);
    }
    std::string LastError() override { return ErrorText(err_); }

private:
    bool keep(BOOL ok) {
        if (!ok) err_ = GetLastError();
        return ok != FALSE;
    }
    DWORD err_ = 0;
};

}  // namespace

}  // namespace zc

// The file system of the running platform, declared with the seam in zip/FileSystem.h.
zip::FileSystem& zip::HostFs() {
    static zc::Win32Fs fs;
    return fs;
}
