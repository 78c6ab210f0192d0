// Small pieces shared by the component's source files: an hourglass for a scope, an owned
// file handle, an archive file as a byte source, and the extension test.
//
// How a failure travels inside the component, one way: the code below a public method throws an
// EZipPacker carrying the message-table id that names exactly what failed, and nothing on the
// way catches it to pass on something vaguer. The directory reader returns its faults as data;
// they become such an id by one rule (ListingFault, ZipFormat.h). Each public method turns the exception into
// its documented result in one place: List shows it (ShowExceptionError) and forgets the archive;
// WriteSpan and ReadSpan show it and return -7 (SpanFailure); ConvertSFX and ConvertZIP return
// the code the id stands for (ConvertInto, ZipSfx.cpp) without a message, as RWCentralDir
// returns -2.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

#include "../ui/ui.h"
#include "ZipFormat.h"

// File-local in every source file that includes it.
namespace {

// An hourglass for the length of a scope.
class WaitCursor {
public:
    WaitCursor() : old_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(old_); }

private:
    HCURSOR old_;
};

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    void Close() {
        if (Ok()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

// An archive opened for reading with others denied writing.
class FileSource : public zip::ByteSource {
public:
    explicit FileSource(const std::string& path)
        : h_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
        LARGE_INTEGER sz;
        if (h_.Ok() && GetFileSizeEx(h_.Get(), &sz)) size_ = uint64_t(sz.QuadPart);
    }
    bool Ok() const { return h_.Ok(); }
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        LARGE_INTEGER pos;
        pos.QuadPart = LONGLONG(offset);
        if (!SetFilePointerEx(h_.Get(), pos, nullptr, FILE_BEGIN)) return 0;
        size_t total = 0;
        while (total < n) {
            DWORD got = 0;
            DWORD want = DWORD(std::min<size_t>(n - total, 1u << 24));
            if (!ReadFile(h_.Get(), static_cast<char*>(buf) + total, want, &got, nullptr) || got == 0) break;
            total += got;
        }
        return total;
    }

private:
    Handle h_;
    uint64_t size_ = 0;
};

inline void ProcessPending() {
    if (ui::App) ui::App->ProcessMessages();
}

inline std::string UpperExt(const std::string& name) {
    size_t dot = name.find_last_of('.');
    size_t slash = name.find_last_of("\\/:");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = name.substr(dot);
    for (char& c : ext) c = char(toupper(static_cast<unsigned char>(c)));
    return ext;
}


}  // namespace
