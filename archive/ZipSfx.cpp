// Self-extracting programs: a stub program and the 256-byte settings header put in front of an
// archive (ConvertSFX, also used by Add to start a new one), and taken away again (ConvertZIP).
// The archive's offsets move with it: RWCentralDir rewrites its directory.
#include <algorithm>

#include "../ui/ui.h"
#include "Bytes.h"
#include "SfxHeader.h"
#include "SpanFormat.h"
#include "ZipPacker.h"
#include "ZipPackerInternal.h"

namespace {

uint8_t SfxBits(const SFXOpts& o, OvrOpts mode) {
    uint8_t b = 0;
    if (o.Contains(SFXAskCmdLine)) b |= zip::kSfxAskCmdLine;
    if (o.Contains(SFXAskFiles)) b |= zip::kSfxAskFiles;
    if (o.Contains(SFXHideOverWriteBox)) b |= zip::kSfxHideOverwriteBox;
    if (mode == OvrAlways) b |= zip::kSfxOverwriteAlways;
    if (mode == OvrNever) b |= zip::kSfxOverwriteNever;
    if (!o.Contains(SFXCheckSize)) b |= zip::kSfxNoCheckSize;
    if (o.Contains(SFXAutoRun)) b |= zip::kSfxAutoRun;
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


int64_t FileLength(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &a)) return -1;
    return (int64_t(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

bool Seek(HANDLE h, int64_t pos) {
    LARGE_INTEGER p;
    p.QuadPart = pos;
    return SetFilePointerEx(h, p, nullptr, FILE_BEGIN) != 0;
}

bool ReadAll(HANDLE h, void* p, DWORD n) {
    DWORD got = 0;
    return ReadFile(h, p, n, &got, nullptr) && got == n;
}

// A fresh name beside target for the file that will replace it: written there whole first, so
// that a conversion that fails (a full disk) never costs the earlier file of that name.
std::string TempBeside(const std::string& target) {
    size_t slash = target.find_last_of("\\/:");
    std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    char tmp[MAX_PATH + 1];
    if (!GetTempFileNameA(dir.c_str(), "sfx", 0, tmp)) return "";
    return tmp;
}

// The documented result of a conversion that failed with this message id: -1 the new file could
// not be made, -2 copying into it failed, -9 it did not come out as long as it must; anything
// else is the stub or the archive that could not be read (-3).
int ConversionResult(int id) {
    switch (id) {
    case ZIPMSG_CREATE_OUTPUT: return -1;
    case ZIPMSG_SFX_HEADER_COPY:
    case ZIPMSG_SFX_DATA_COPY:
    case ZIPMSG_CEH_READ:
    case ZIPMSG_CEH_SIG:
    case ZIPMSG_CEH_WRITE:
    case ZIPMSG_CEH_NAME_COPY:
    case ZIPMSG_EOC_SKIP:
    case ZIPMSG_EOC_WRITE:
    case ZIPMSG_ZIP_COMMENT_COPY: return -2;
    case ZIPMSG_COPY_FAILED: return -9;
    default: return -3;
    }
}

HANDLE OpenForReading(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                       nullptr);
}

}  // namespace

int TZipPacker::RWCentralDir(HANDLE in, HANDLE out, const ZipEndOfCentral& eoc, int64_t shift) {
    try {
        CopyCentralDir(in, out, eoc, shift);
        return 0;
    } catch (const EZipPacker&) {
        return -2;
    }
}

void TZipPacker::CopyCentralDir(HANDLE in, HANDLE out, const ZipEndOfCentral& eoc, int64_t shift) {
    for (unsigned i = 0; i < eoc.TotalEntries; ++i) {
        uint8_t ch[zip::kCentralSize];
        if (!ReadAll(in, ch, sizeof ch)) throw EZipPacker(ZIPMSG_CEH_READ, true);
        if (zip::Get32(ch) != zip::kCentralSig) throw EZipPacker(ZIPMSG_CEH_SIG, true);
        zip::CentralHeader h;
        h.DecodeHeader(ch + 4);
        int64_t offset = int64_t(h.RelOffLocalHdr) + shift;
        if (offset < 0 || offset > 0xFFFFFFFFll) throw EZipPacker(ZIPMSG_CEH_WRITE, true);
        h.RelOffLocalHdr = uint32_t(offset);
        h.EncodeHeader(ch + 4);
        if (!WriteAll(out, ch, sizeof ch)) throw EZipPacker(ZIPMSG_CEH_WRITE, true);
        if (CopyBuffer(in, out, int(h.VariableLength())) != 0) throw EZipPacker(ZIPMSG_CEH_NAME_COPY, true);
    }
    uint8_t end[zip::kEndSize];
    if (!ReadAll(in, end, sizeof end)) throw EZipPacker(ZIPMSG_EOC_SKIP, true);
    ZipEndOfCentral e = ZipEndOfCentral::Decode(end);
    int64_t offset = int64_t(e.CentralOffset) + shift;
    if (offset < 0 || offset > 0xFFFFFFFFll) throw EZipPacker(ZIPMSG_EOC_WRITE, true);
    e.CentralOffset = uint32_t(offset);
    e.Encode(end);
    if (!WriteAll(out, end, sizeof end)) throw EZipPacker(ZIPMSG_EOC_WRITE, true);
    if (CopyBuffer(in, out, e.ZipCommentLen) != 0) throw EZipPacker(ZIPMSG_ZIP_COMMENT_COPY, true);
}

// The end record of the archive as it stands; false when it has none (a damaged one is
// reported by the reader).
bool TZipPacker::ArchiveEnd(ZipEndOfCentral& eoc) {
    try {
        return CheckIfLastDisk(eoc, true);
    } catch (const EZipPacker&) {
        return false;
    }
}

// Puts a finished conversion in place of target: the earlier file goes only now (as the
// component erases files), then the new one takes its name. Non-zero when either step failed;
// the new file is removed then and an earlier one is still there unless its erasing succeeded.
int TZipPacker::ReplaceWithTemp(const std::string& temp, const std::string& target) {
    if (ui::FileExists(target)) EraseFile(target, HowToDelete);
    if (ui::FileExists(target) || !MoveFileA(temp.c_str(), target.c_str())) {
        DeleteFileA(temp.c_str());
        ShowZipMessage(ZIPMSG_CREATE_OUTPUT, ": " + target);
        return -1;
    }
    return 0;
}

// The one place where a conversion's failure becomes its result: the new file is written beside
// out under a temporary name and takes out's place only when whole. 0, or the code of what failed.
int TZipPacker::ConvertInto(const std::string& out, const std::function<void(const std::string& temp)>& write) {
    const std::string temp = TempBeside(out);
    if (temp.empty()) return -1;
    try {
        write(temp);
    } catch (const EZipPacker& e) {
        DeleteFileA(temp.c_str());
        return ConversionResult(e.ResId);
    }
    return ReplaceWithTemp(temp, out) != 0 ? -1 : 0;
}

// A part of a disk set is no archive of its own: converted, its set could no longer be joined.
bool TZipPacker::RefuseSetPart() {
    if (EndDiskNo() == 0 && !Spanned()) return false;
    ShowZipMessage(ZIPMSG_SFX_NO_SPAN, ": " + ZipFileName() + " is a part of a disk set; join the set first");
    return true;
}

int TZipPacker::ConvertSFX(bool Auto) {
    if (!Auto && !ui::FileExists(ZipFileName())) {
        ShowZipMessage(ZIPMSG_NO_ZIPFILE, "");
        return -9;
    }
    if (!Auto && RefuseSetPart()) return -9;
    size_t sum = SFXCaption.size() + SFXDefaultDir.size() + SFXCommandLine.size();
    if (sum >= zip::kSfxTextLimit) {
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
    WaitCursor wait;
    std::string out = ZipFileName();
    if (!Auto) {
        if (UpperExt(out) != ".ZIP") {
            ShowZipMessage(ZIPMSG_NOT_ZIP_INPUT, "");
            return -9;
        }
        out = zip::WithExtension(out, ".exe");
    }
    if (int r = ConvertInto(out, [&](const std::string& temp) { WriteSfx(temp, Auto); })) return r;
    if (!Auto) {
        if (!KeepSourceOnConvert) EraseFile(ZipFileName(), HowToDelete);
        SetZipFileName(out);
    }
    return 0;
}

// Writes the self-extractor into temp: the stub, the settings header, then the archive with
// every offset moved behind them (for a new one, the end record of an empty archive).
void TZipPacker::WriteSfx(const std::string& temp, bool Auto) {
    std::array<uint8_t, zip::kSfxHeaderSize> header;
    zip::BuildSfxHeader(SfxBits(SFXOptions, SFXOverWriteMode), SFXCaption, SFXDefaultDir, SFXCommandLine, header);
    int64_t stubLen = 0;
    {
        Handle o(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!o.Ok()) throw EZipPacker(ZIPMSG_CREATE_OUTPUT, false);
        Handle stub(CreateFileA(SFXPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        LARGE_INTEGER len{};
        if (!stub.Ok() || !GetFileSizeEx(stub.Get(), &len) || len.QuadPart > 0x7FFFFF00)
            throw EZipPacker(ZIPMSG_NO_STUB, false);
        if (CopyBuffer(stub.Get(), o.Get(), -1) != 0 || !WriteAll(o.Get(), header.data(), DWORD(header.size())))
            throw EZipPacker(ZIPMSG_SFX_HEADER_COPY, false);
        stubLen = len.QuadPart;
        if (Auto) {
            auto end = zip::EmptyArchiveEnd(uint32_t(stubLen + zip::kSfxHeaderSize));
            if (!WriteAll(o.Get(), end.data(), DWORD(end.size()))) throw EZipPacker(ZIPMSG_SFX_DATA_COPY, false);
            return;
        }
        const int64_t shift = stubLen + int64_t(zip::kSfxHeaderSize);
        ZipEndOfCentral eoc;
        if (!CheckIfLastDisk(eoc, true)) throw EZipPacker(ZIPMSG_NOT_A_ZIP, false);
        Handle in(OpenForReading(ZipFileName()));
        if (!in.Ok()) throw EZipPacker(ZIPMSG_OPEN_FAILED, false);
        if (StructureWarning()) {
            // Offsets that do not match the file are copied as they are: shifting them would
            // not mend them.
            if (CopyBuffer(in.Get(), o.Get(), -1) != 0) throw EZipPacker(ZIPMSG_SFX_DATA_COPY, false);
        } else {
            if (CopyBuffer(in.Get(), o.Get(), int(eoc.CentralOffset)) != 0) throw EZipPacker(ZIPMSG_SFX_DATA_COPY, false);
            CopyCentralDir(in.Get(), o.Get(), eoc, shift);
        }
    }
    // Garbage after the archive is not taken along: the archive as used is what counts.
    int64_t inLen = StructureWarning() ? FileLength(ZipFileName()) : int64_t(usableSize_);
    if (FileLength(temp) != stubLen + int64_t(zip::kSfxHeaderSize) + inLen) throw EZipPacker(ZIPMSG_COPY_FAILED, false);
}

int TZipPacker::ConvertZIP() {
    if (!ui::FileExists(ZipFileName())) {
        ShowZipMessage(ZIPMSG_NO_EXE, "");
        return -3;
    }
    if (UpperExt(ZipFileName()) != ".EXE") {
        ShowZipMessage(ZIPMSG_NOT_EXE_INPUT, "");
        return -3;
    }
    if (RefuseSetPart()) return -9;
    const int64_t start = DataStart();
    if (start == 0) {
        ShowZipMessage(ZIPMSG_SFX_TYPE, "");
        return -9;
    }
    WaitCursor wait;
    const std::string out = zip::WithExtension(ZipFileName(), ".zip");
    if (int r = ConvertInto(out, [&](const std::string& temp) { WriteWithoutStub(temp, start); })) return r;
    if (!KeepSourceOnConvert) EraseFile(ZipFileName(), HowToDelete);
    SetZipFileName(out);
    return 0;
}

// Writes the archive into temp without the start bytes in front of it, every offset moved back
// by as many.
void TZipPacker::WriteWithoutStub(const std::string& temp, int64_t start) {
    {
        Handle o(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!o.Ok()) throw EZipPacker(ZIPMSG_CREATE_OUTPUT, false);
        ZipEndOfCentral eoc;
        if (!CheckIfLastDisk(eoc, true)) throw EZipPacker(ZIPMSG_NOT_A_ZIP, false);
        Handle in(OpenForReading(ZipFileName()));
        if (!in.Ok()) throw EZipPacker(ZIPMSG_OPEN_FAILED, false);
        if (!Seek(in.Get(), start)) throw EZipPacker(ZIPMSG_SEEK_INPUT, false);
        if (StructureWarning()) {
            if (CopyBuffer(in.Get(), o.Get(), -1) != 0) throw EZipPacker(ZIPMSG_SFX_DATA_COPY, false);
        } else {
            if (int64_t(eoc.CentralOffset) < start || CopyBuffer(in.Get(), o.Get(), int(eoc.CentralOffset - start)) != 0)
                throw EZipPacker(ZIPMSG_SFX_DATA_COPY, false);
            CopyCentralDir(in.Get(), o.Get(), eoc, -start);
        }
    }
    int64_t inLen = StructureWarning() ? FileLength(ZipFileName()) : int64_t(usableSize_);
    if (FileLength(temp) != inLen - start) throw EZipPacker(ZIPMSG_COPY_FAILED, false);
}
