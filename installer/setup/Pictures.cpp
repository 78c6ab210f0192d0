#include "Pictures.h"

#include <ole2.h>
#include <olectl.h>

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
        ok = ReadFile(f, p, size, &got, nullptr) && got == size;
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
