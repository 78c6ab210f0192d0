// The engine's file system layer on POSIX, for the native build (tests, fuzzer, bench tool).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Errors.h"
#include "FileSystem.h"
#include "Names.h"

namespace zc {

using namespace zip;
namespace {

std::string ErrText(int e) { return std::strerror(e); }

class PosixFile : public File {
public:
    PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    size_t read(void* buf, size_t n) override {
        size_t got = 0;
        while (got < n) {
            ssize_t r = ::read(fd_, static_cast<char*>(buf) + got, n - got);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) throw ZipError(kRead, "Could not read " + path_ + ": " + ErrText(errno));
            if (r == 0) break;
            got += size_t(r);
        }
        return got;
    }
    void write(const void* buf, size_t n) override {
        size_t done = 0;
        while (done < n) {
            ssize_t r = ::write(fd_, static_cast<const char*>(buf) + done, n - done);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) throw ZipError(kWrite, "Could not write " + path_ + ": " + ErrText(errno));
            done += size_t(r);
        }
    }
    void seek(uint64_t pos) override {
        if (::lseek(fd_, off_t(pos), SEEK_SET) < 0)
            throw ZipError(kRead, "Could not seek in " + path_ + ": " + ErrText(errno));
    }
    uint64_t tell() override { return uint64_t(::lseek(fd_, 0, SEEK_CUR)); }
    uint64_t size() override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) throw ZipError(kRead, "Could not read the size of " + path_);
        return uint64_t(st.st_size);
    }
    void truncate() override {
        if (::ftruncate(fd_, ::lseek(fd_, 0, SEEK_CUR)) != 0) throw ZipError(kWrite, "Could not truncate " + path_);
    }
    void close() override {
        if (fd_ < 0) return;
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) throw ZipError(kWrite, "Could not write " + path_ + ": " + ErrText(errno));
    }

private:
    int fd_;
    std::string path_;
};

FileInfo InfoOf(const struct stat& st, const std::string& name) {
    FileInfo i;
    i.exists = true;
    i.isDir = S_ISDIR(st.st_mode);
    i.size = i.isDir ? 0 : uint64_t(st.st_size);
    i.mtime = int64_t(st.st_mtime);
    if (!(st.st_mode & S_IWUSR)) i.attrs |= kAttrReadOnly;
    if (!name.empty() && name[0] == '.') i.attrs |= kAttrHidden;  // as Wine shows dot files
    if (i.isDir)
        i.attrs |= kAttrDir;
    else
        i.attrs |= kAttrArchive;
    return i;
}

std::string BaseName(const std::string& p) {
    size_t s = p.rfind('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

class PosixFs : public FileSystem {
public:
    std::unique_ptr<File> OpenRead(const std::string& path) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw ZipError(kOpen, "Could not open " + path + ": " + ErrText(errno));
        return std::make_unique<PosixFile>(fd, path);
    }
    std::unique_ptr<File> create(const std::string& path) override {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) throw ZipError(kCreate, "Could not create " + path + ": " + ErrText(errno));
        return std::make_unique<PosixFile>(fd, path);
    }
    FileInfo stat(const std::string& path) override {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) return FileInfo();
        return InfoOf(st, BaseName(path));
    }
    bool ListDir(const std::string& dir, std::vector<DirEntry>& out) override {
        DIR* d = ::opendir(dir.c_str());
        if (!d) {
            errno_ = errno;
            return false;
        }
        while (dirent* e = ::readdir(d)) {
            if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
            struct stat st;
            std::string p = dir + "/" + e->d_name;
            if (::stat(p.c_str(), &st) != 0) continue;
            if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;
            out.push_back({e->d_name, InfoOf(st, e->d_name)});
        }
        ::closedir(d);
        return true;
    }
    bool MakeDir(const std::string& p) override { return keep(::mkdir(p.c_str(), 0777) == 0); }
    bool RemoveFile(const std::string& p) override { return keep(::unlink(p.c_str()) == 0); }
    bool RemoveDir(const std::string& p) override { return keep(::rmdir(p.c_str()) == 0); }
    bool ReplaceFile(const std::string& from, const std::string& to) override {
        return keep(::rename(from.c_str(), to.c_str()) == 0);
    }
    bool SetMtime(const std::string& p, int64_t t) override {
        struct timeval tv[2] = {{time_t(t), 0}, {time_t(t), 0}};
        return keep(::utimes(p.c_str(), tv) == 0);
    }
    bool SetAttrs(const std::string& p, uint32_t attrs) override {
        struct stat st;
        if (::stat(p.c_str(), &st) != 0) return keep(false);
        mode_t m = st.st_mode & 07777;
        m = (attrs & kAttrReadOnly) ? (m & ~mode_t(0222)) : (m | S_IWUSR);
        return keep(::chmod(p.c_str(), m) == 0);
    }
    std::string CurrentDir() override {
        char buf[PATH_MAX];
        return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
    }
    std::string FullPath(const std::string& path) override {
        std::string p = path.empty() || path[0] != '/' ? CurrentDir() + "/" + path : path;
        // Lexical normalisation: drop ".", empty components, resolve "..".
        std::vector<std::string> parts;
        size_t i = 0;
        while (i <= p.size()) {
            size_t j = p.find('/', i);
            if (j == std::string::npos) j = p.size();
            std::string c = p.substr(i, j - i);
            if (c == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!c.empty() && c != ".")
                parts.push_back(c);
            i = j + 1;
        }
        std::string out;
        for (auto& c : parts) out += "/" + c;
        return out.empty() ? "/" : out;
    }
    bool CaseInsensitive() const override { return false; }
    uint32_t ToDosTime(int64_t t) override {
        time_t tt = time_t(t);
        struct tm tm;
        if (!::localtime_r(&tt, &tm)) return zip::PackDosTime(1980, 1, 1, 0, 0, 0);
        // DOS times have 2-second steps; round odd seconds up as Info-ZIP does.
        if (tm.tm_sec & 1) {
            tt += 1;
            ::localtime_r(&tt, &tm);
        }
        return zip::PackDosTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    }
    int64_t FromDosTime(uint32_t dos) override {
        struct tm tm = {};
        zip::UnpackDosTime(dos, tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        tm.tm_year -= 1900;
        tm.tm_mon -= 1;
        tm.tm_isdst = -1;
        return int64_t(::mktime(&tm));
    }
    std::string LastError() override { return ErrText(errno_); }

private:
    bool keep(bool ok) {
        if (!ok) errno_ = errno;
        return ok;
    }
    int errno_ = 0;
};

}  // namespace

}  // namespace zc

// The file system of the running platform, declared with the seam in zip/FileSystem.h.
zip::FileSystem& zip::HostFs() {
    static zc::PosixFs fs;
    return fs;
}
