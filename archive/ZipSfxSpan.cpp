// Self-extractor creation and the entry points of multi-disk sets, as far as adding and
// extracting need them.
#include <algorithm>

#include "../ui/ui.h"
#include "SpanFormat.h"
#include "ZipPacker.h"

namespace {

uint8_t SfxBits(const SFXOpts& o, OvrOpts mode) {
    uint8_t b = 0;
    if (o.Contains(SFXAskCmdLine)) b |= zipfmt::kSfxAskCmdLine;
    if (o.Contains(SFXAskFiles)) b |= zipfmt::kSfxAskFiles;
    if (o.Contains(SFXHideOverWriteBox)) b |= zipfmt::kSfxHideOverwriteBox;
    if (mode == OvrAlways) b |= zipfmt::kSfxOverwriteAlways;
    if (mode == OvrNever) b |= zipfmt::kSfxOverwriteNever;
    if (!o.Contains(SFXCheckSize)) b |= zipfmt::kSfxNoCheckSize;
    if (o.Contains(SFXAutoRun)) b |= zipfmt::kSfxAutoRun;
    return b;
}

std::string Dir(UINT(WINAPI* get)(LPSTR, UINT)) {
    char buf[MAX_PATH + 1] = {};
    UINT n = get(buf, MAX_PATH);
    return (n > 0 && n <= MAX_PATH) ? std::string(buf, n) : std::string();
}

bool WriteAll(HANDLE h, const void* p, DWORD n) {
    DWORD w = 0;
    return WriteFile(h, p, n, &w, nullptr) && w == n;
}

}  // namespace

int TZipPacker::ConvertSFX(bool Auto) {
    if (!Auto) {
        // Turning an existing archive into a self-extractor belongs with ConvertZIP and the
        // directory rewriting; this build only starts new self-extracting archives.
        return -9;
    }
    size_t sum = SFXCaption.size() + SFXDefaultDir.size() + SFXCommandLine.size();
    if (sum >= 250) {
        ShowZipMessage(ZIPMSG_SFX_STRINGS, "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine = " + std::to_string(sum));
        return -9;
    }
    // The stub: where SFXPath says, else beside the work, the program, the system, the
    // platform, and the engine.
    std::vector<std::string> candidates;
    candidates.push_back(SFXPath);
    candidates.push_back("SFXSTUB.BIN");
    candidates.push_back(ui::InstallDir() + "SFXSTUB.BIN");
    candidates.push_back(AppendSlash(Dir(GetSystemDirectoryA)) + "SFXSTUB.BIN");
    candidates.push_back(AppendSlash(Dir(GetWindowsDirectoryA)) + "SFXSTUB.BIN");
    if (!DLLDirectory().empty()) candidates.push_back(AppendSlash(DLLDirectory()) + "SFXSTUB.BIN");
    bool found = false;
    for (const std::string& c : candidates) {
        SFXPath = c;
        if (!c.empty() && ui::FileExists(c)) {
            found = true;
            break;
        }
    }
    if (!found) {
        ShowZipMessage(ZIPMSG_NO_STUB, "");
        return -9;
    }
    std::array<uint8_t, zipfmt::kSfxHeaderSize> header;
    zipfmt::BuildSfxHeader(SfxBits(SFXOptions, SFXOverWriteMode), SFXCaption, SFXDefaultDir, SFXCommandLine, header);

    HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const std::string out = ZipFileName();
    if (ui::FileExists(out)) EraseFile(out, HowToDelete);
    int result = 0;
    HANDLE o = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (o == INVALID_HANDLE_VALUE) {
        SetCursor(old);
        return -1;
    }
    HANDLE stub = CreateFileA(SFXPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER stubLen{};
    if (stub == INVALID_HANDLE_VALUE || !GetFileSizeEx(stub, &stubLen) || stubLen.QuadPart > 0x7FFFFF00) {
        result = -3;
    } else if (CopyBuffer(stub, o, -1) != 0) {
        result = -2;
    } else if (!WriteAll(o, header.data(), DWORD(header.size()))) {
        result = -2;
    } else {
        auto end = zipfmt::EmptyArchiveEnd(uint32_t(stubLen.QuadPart + zipfmt::kSfxHeaderSize));
        if (!WriteAll(o, end.data(), DWORD(end.size()))) result = -2;
    }
    if (stub != INVALID_HANDLE_VALUE) CloseHandle(stub);
    CloseHandle(o);
    if (result != 0) DeleteFileA(out.c_str());
    SetCursor(old);
    return result;
}

int TZipPacker::WriteSpan(const std::string& InFileName, const std::string& OutFileName) {
    // Splitting onto a disk set is not part of this build: say so rather than pretend.
    (void)InFileName;
    (void)OutFileName;
    ShowZipMessage(ZIPMSG_SPAN_UNKNOWN, "Writing a disk set is not available in this version.");
    return -9;
}

int TZipPacker::ReadSpan(const std::string& InFileName, std::string& TmpFile) {
    (void)InFileName;
    ShowZipMessage(ZIPMSG_SPAN_UNKNOWN, "Reading a disk set is not available in this version.");
    TmpFile.clear();
    return -9;
}
