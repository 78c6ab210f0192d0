#include "Pictures.h"

#include <ole2.h>
#include <olectl.h>

#include <cstring>
#include <vector>

namespace kit {

void FitInside(int w, int h, int maxW, int maxH, int& outW, int& outH) {
    if (w <= 0 || h <= 0) {
        outW = outH = 1;
        return;
    }
    if (w <= maxW && h <= maxH) {
        outW = w;
        outH = h;
        return;
    }
    // Scale by the tighter of the two limits, in 64 bits so large pictures cannot overflow.
    if (int64_t(w) * maxH >= int64_t(h) * maxW) {
        outW = maxW;
        outH = int(int64_t(h) * maxW / w);
    } else {
        outH = maxH;
        outW = int(int64_t(w) * maxH / h);
    }
    if (outW < 1) outW = 1;
    if (outH < 1) outH = 1;
}

namespace {

uint32_t U32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

bool PictureBytesSound(const unsigned char* p, size_t n) {
    if (n >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) return true;                 // JPEG
    if (n >= 6 && (std::memcmp(p, "GIF87a", 6) == 0 || std::memcmp(p, "GIF89a", 6) == 0)) return true;
    if (n < 26 || p[0] != 'B' || p[1] != 'M') return false;
    const uint64_t offBits = U32(p + 10), headerSize = U32(p + 14);
    int64_t w, h;
    unsigned bpp;
    uint32_t compression = 0, sizeImage = 0, colours = 0;
    unsigned entry = 4;
    if (headerSize == 12) {   // the old OS/2 header
        w = U16(p + 18);
        h = U16(p + 20);
        bpp = U16(p + 24);
        entry = 3;
    } else {
        if (headerSize < 40 || n < 14 + 40) return false;
        w = int32_t(U32(p + 18));
        h = int32_t(U32(p + 22));
        bpp = U16(p + 28);
        compression = U32(p + 30);
        sizeImage = U32(p + 34);
        colours = U32(p + 46);
    }
    if (h < 0) h = -h;
    if (w <= 0 || h <= 0 || w > 32768 || h > 32768) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    uint64_t table = 14 + headerSize;
    if (bpp <= 8) table += uint64_t(colours && colours <= (1u << bpp) ? colours : 1u << bpp) * entry;
    if (compression == 3 && headerSize == 40) table += 12;   // the colour masks
    if (table > n || offBits > n) return false;
    if (compression == 0 || compression == 3) {
        const uint64_t stride = (uint64_t(w) * bpp + 31) / 32 * 4;
        return offBits + stride * uint64_t(h) <= n;
    }
    // Run-length coded rows: their announced size must lie inside the file.
    if (compression == 1 || compression == 2) return sizeImage > 0 && offBits + sizeImage <= n;
    return false;
}

bool PictureFileSound(const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(f, nullptr);
    std::vector<unsigned char> bytes;
    bool ok = size != INVALID_FILE_SIZE && size > 0 && size <= 64u * 1024 * 1024;
    if (ok) {
        bytes.resize(size);
        DWORD got = 0;
        ok = ReadFile(f, bytes.data(), size, &got, nullptr) && got == size;
    }
    CloseHandle(f);
    return ok && PictureBytesSound(bytes.data(), bytes.size());
}

HBITMAP LoadPictureFitted(const std::string& path, int maxW, int maxH, int& w, int& h) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return nullptr;
    DWORD size = GetFileSize(f, nullptr);
    // A screenshot is a few hundred kilobytes; anything far larger is not worth the memory.
    if (size == INVALID_FILE_SIZE || size == 0 || size > 64u * 1024 * 1024) {
        CloseHandle(f);
        return nullptr;
    }
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
    bool ok = false;
    if (mem) {
        void* p = GlobalLock(mem);
        DWORD got = 0;
        ok = ReadFile(f, p, size, &got, nullptr) && got == size && PictureBytesSound(static_cast<unsigned char*>(p), size);
        GlobalUnlock(mem);
    }
    CloseHandle(f);
    if (!ok) {
        if (mem) GlobalFree(mem);
        return nullptr;
    }
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(mem, TRUE, &stream))) {
        GlobalFree(mem);
        return nullptr;
    }
    IPicture* pic = nullptr;
    HRESULT hr = OleLoadPicture(stream, LONG(size), FALSE, IID_IPicture, reinterpret_cast<void**>(&pic));
    stream->Release();
    if (FAILED(hr) || !pic) return nullptr;

    OLE_XSIZE_HIMETRIC hmW = 0;
    OLE_YSIZE_HIMETRIC hmH = 0;
    pic->get_Width(&hmW);
    pic->get_Height(&hmH);
    HDC screen = GetDC(nullptr);
    // The picture's size is in hundredths of a millimetre; in pixels at the screen's resolution.
    int pw = MulDiv(hmW, GetDeviceCaps(screen, LOGPIXELSX), 2540);
    int ph = MulDiv(hmH, GetDeviceCaps(screen, LOGPIXELSY), 2540);
    FitInside(pw, ph, maxW, maxH, w, h);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    SetStretchBltMode(dc, HALFTONE);
    hr = pic->Render(dc, 0, 0, w, h, 0, hmH, hmW, -hmH, nullptr);
    SelectObject(dc, old);
    DeleteDC(dc);
    pic->Release();
    if (FAILED(hr)) {
        DeleteObject(bmp);
        return nullptr;
    }
    return bmp;
}

}  // namespace kit
