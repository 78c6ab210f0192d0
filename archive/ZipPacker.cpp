#include "ZipPacker.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "../ui/ui.h"
#include "ZipPackerInternal.h"

// ---------------------------------------------------------------------------------------
// Messages

// Substitutes the format directives of a table text (%s, %d, %.1d...) with the arguments in
// order; "%%" stands for a percent sign. Table texts are ours, but an argument is never treated
// as a format.
std::string FormatZipStr(const std::string& fmt, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%' || i + 1 >= fmt.size()) {
            out += fmt[i];
            continue;
        }
        if (fmt[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < fmt.size() && (isdigit(static_cast<unsigned char>(fmt[j])) || fmt[j] == '.' || fmt[j] == '-')) ++j;
        if (j < fmt.size() && next < args.size()) {
            out += args[next++];
            i = j;
        } else {
            out += fmt[i];
        }
    }
    return out;
}

std::string MissingZipStr(int Ident) {
    return "The message table is probably not bound to the executable\nMissing String ID is: " + std::to_string(Ident);
}

std::string LoadZipStr(int Ident, const std::string& Default) {
    // With a zero buffer length LoadStringW hands out a pointer into the resource itself, so
    // no text is cut at a buffer size we would have to guess.
    const wchar_t* p = nullptr;
    int n = LoadStringW(GetModuleHandleW(nullptr), UINT(Ident), reinterpret_cast<LPWSTR>(&p), 0);
    if (n <= 0 || !p) return Default;
    int len = WideCharToMultiByte(CP_ACP, 0, p, n, nullptr, 0, nullptr, nullptr);
    std::string s(size_t(std::max(len, 0)), '\0');
    if (len <= 0 || WideCharToMultiByte(CP_ACP, 0, p, n, s.data(), len, nullptr, nullptr) != len) return Default;
    return s;
}

EZipPacker::EZipPacker(int id, bool display)
    : std::runtime_error(LoadZipStr(id, MissingZipStr(id))), DisplayMsg(display), ResId(id) {}

EZipPacker::EZipPacker(int id, int arg)
    : std::runtime_error(FormatZipStr(LoadZipStr(id, MissingZipStr(id)), {std::to_string(arg)})), DisplayMsg(true), ResId(id) {}

EZipPacker::EZipPacker(int id, const std::string& arg)
    : std::runtime_error(FormatZipStr(LoadZipStr(id, MissingZipStr(id)), {arg})), DisplayMsg(true), ResId(id) {}

EZipPacker::EZipPacker(int id, bool display, const std::string& about)
    : std::runtime_error(LoadZipStr(id, MissingZipStr(id)) + ": " + about), DisplayMsg(display), ResId(id) {}

std::string UnattendedDummyPassword() {
    std::string s;
    for (int i = 0; i < 79; ++i) s += char('A' + 25);  // 'Z', one printable character
    return s;
}

// ---------------------------------------------------------------------------------------
// Construction and properties

TZipPacker::TZipPacker(TComponent* owner) : TComponent(owner) { appHandle_ = AppWindow(); }

TZipPacker::~TZipPacker() { FreeZipDirEntryRecords(); }

HWND TZipPacker::AppWindow() const {
    if (appHandle_) return appHandle_;
    if (ui::App && ui::App->MainForm) return ui::App->MainForm->Handle();
    return nullptr;
}

void TZipPacker::SetZipFileName(const std::string& name) {
    zipFileName_ = name;
    if (!Designing) List();
}

void TZipPacker::SetDLLDirectory(const std::string& dir) {
    if (dir == dllDirectory_) return;
    dllDirectory_ = dir;
    if (!dllDirectory_.empty() && dllDirectory_.back() == '\\') dllDirectory_.pop_back();
}

void TZipPacker::SetKeepFreeOnDisk1(long v) {
    if (v >= 0) keepFreeOnDisk1_ = v;
}
void TZipPacker::SetMaxVolumeSize(long v) {
    if (v >= 0) maxVolumeSize_ = v;
}
void TZipPacker::SetMinFreeVolumeSize(long v) {
    if (v >= 1) minFreeVolumeSize_ = v;
}

void TZipPacker::ResetResult() {
    ErrorCode = 0;
    FilesProcessed = 0;
    ErrorText.clear();
}

// ---------------------------------------------------------------------------------------
// Messages and errors

void TZipPacker::ShowZipMessage(int Ident, const std::string& UserStr) {
    std::string text = LoadZipStr(Ident, MissingZipStr(Ident)) + UserStr;
    ErrorCode = Ident;
    ErrorText = text;
    if (!Unattended) ui::desktop().MessageBox(AppWindow(), text, ui::App ? ui::App->Title : "", MB_OK);
    if (OnMessage) OnMessage(this, 0, text);
}

void TZipPacker::ShowExceptionError(const EZipPacker& E) {
    if (!Unattended && E.DisplayMsg)
        ui::desktop().MessageBox(AppWindow(), E.what(), ui::App ? ui::App->Title : "", MB_OK);
    ErrorCode = E.ResId;
    ErrorText = E.what();
    if (OnMessage) OnMessage(this, 0, E.what());
}

// ---------------------------------------------------------------------------------------
// Passwords

std::string TZipPacker::GetPassword(int kind) {
    std::string prompt = kind == 0 ? "Confirm Password" : kind == 1 ? "Enter Password" : std::string("Enter Password") + " for New Archive";
    std::string answer;
    bool ok = InputQuery ? InputQuery("Password", prompt, answer) : false;
    if (!ok || answer.size() > 80) return "";
    return answer;
}

void TZipPacker::GetAddPassword() {
    if (Unattended) {
        ShowZipMessage(ZIPMSG_NO_ADD_PW, "");
        return;
    }
    Password.clear();
    std::string first = GetPassword(2);
    if (first.empty()) return;
    std::string second = GetPassword(0);
    if (second.empty()) return;
    if (second != first) {
        ShowZipMessage(ZIPMSG_PW_MISMATCH, "");
        return;
    }
    Password = first;
}

void TZipPacker::GetExtrPassword() {
    if (Unattended) {
        ShowZipMessage(ZIPMSG_NO_EXTR_PW, "");
        return;
    }
    Password = GetPassword(1);
}

// ---------------------------------------------------------------------------------------
// Engine binding

std::string TZipPacker::DllPath(const char* name) const {
    if (!dllDirectory_.empty()) {
        std::string full = dllDirectory_ + "\\" + name;
        if (ui::FileExists(full)) return full;
    }
    return name;
}

bool TZipPacker::LoadEngine(const char* dll, const char* execName, const char* versName, HMODULE& h,
                            ExecFn& exec, VersFn& vers, int loadedMsg, int execMissing, int versMissing,
                            int dllMissing) {
    std::string path = DllPath(dll);
    try {
        UINT old = SetErrorMode(3);
        h = LoadLibraryA(path.c_str());
        SetErrorMode(old);
    } catch (...) {
    }
    if (!h) {
        ShowZipMessage(dllMissing, "");
        return false;
    }
    exec = reinterpret_cast<ExecFn>(reinterpret_cast<void*>(GetProcAddress(h, execName)));
    vers = reinterpret_cast<VersFn>(reinterpret_cast<void*>(GetProcAddress(h, versName)));
    int missing = !exec ? execMissing : !vers ? versMissing : 0;
    if (missing) {
        FreeLibrary(h);
        h = nullptr;
        exec = nullptr;
        vers = nullptr;
        ShowZipMessage(missing, "");
        return false;
    }
    if (Trace) ShowZipMessage(loadedMsg, "");
    return true;
}

void TZipPacker::Load_Zip_Eng() {
    if (zipDll_) return;
    LoadEngine("ZIPENG.DLL", "ZipEngExec", "GetZipEngVersion", zipDll_, ZipEngExec_, GetZipEngVersion_,
               ZIPMSG_ZIP_LOADED, ZIPMSG_ZIPEXEC_MISSING, ZIPMSG_ZIPVERS_MISSING, ZIPMSG_ZIPENG_MISSING);
}

void TZipPacker::Load_Unz_Eng() {
    if (unzDll_) return;
    LoadEngine("UNZENG.DLL", "UnzEngExec", "GetUnzEngVersion", unzDll_, UnzEngExec_, GetUnzEngVersion_,
               ZIPMSG_UNZ_LOADED, ZIPMSG_UNZEXEC_MISSING, ZIPMSG_UNZVERS_MISSING, ZIPMSG_UNZENG_MISSING);
}

void TZipPacker::Unload_Zip_Eng() {
    if (zipDll_) FreeLibrary(zipDll_);
    zipDll_ = nullptr;
    ZipEngExec_ = nullptr;
    GetZipEngVersion_ = nullptr;
}

void TZipPacker::Unload_Unz_Eng() {
    if (unzDll_) FreeLibrary(unzDll_);
    unzDll_ = nullptr;
    UnzEngExec_ = nullptr;
    GetUnzEngVersion_ = nullptr;
}

int TZipPacker::GetZipVers() {
    if (zipDll_) return GetZipEngVersion_();
    Load_Zip_Eng();
    if (!zipDll_) return 0;
    int v = GetZipEngVersion_();
    Unload_Zip_Eng();
    return v;
}

int TZipPacker::GetUnzVers() {
    if (unzDll_) return GetUnzEngVersion_();
    Load_Unz_Eng();
    if (!unzDll_) return 0;
    int v = GetUnzEngVersion_();
    Unload_Unz_Eng();
    return v;
}

// ---------------------------------------------------------------------------------------
// Callback dispatch

BOOL __stdcall TZipPacker::ZCallback(zc::ZCallBackStruct* rec) {
    auto* self = static_cast<TZipPacker*>(rec->caller.get());
    if (!self) return 0;
    // Nothing may unwind through the engine's frames: a handler's exception stops the engine
    // and is reported when the call returns.
    try {
        self->Dispatch(*rec);
    } catch (...) {
        self->handlerFailed_ = true;
    }
    return (self->CancelRequested || self->handlerFailed_) ? 1 : 0;
}

void TZipPacker::Dispatch(const zc::ZCallBackStruct& rec) {
    if (OnProgress) {
        switch (rec.action) {
        case zc::kActionFileStart: OnProgress(this, ptFileStart, ReplaceForwardSlash(rec.text), rec.size); break;
        case zc::kActionBytesDone: OnProgress(this, ptBytesDone, "", rec.size); break;
        case zc::kActionBatchDone:
            // Held while a spanned Add lets the engine write its temporary archive: the batch
            // is done when the set is, and its handlers hear of it once.
            if (holdBatchDone_) batchHeld_ = true;
            else OnProgress(this, ptBatchDone, "", 0);
            break;
        case zc::kActionFileCount: OnProgress(this, ptFileCount, "", rec.size); break;
        case zc::kActionByteCount: OnProgress(this, ptByteCount, "", rec.size); break;
        default: break;
        }
    }
    if (rec.action == zc::kActionMessage) {
        std::string msg = ReplaceForwardSlash(rec.text);
        while (!msg.empty() && static_cast<unsigned char>(msg.back()) <= 32) msg.pop_back();
        if (rec.errorCode != 0) {
            ErrorCode = static_cast<int8_t>(rec.errorCode & 0xFF);
            FullErrorCode = rec.errorCode;
        }
        ErrorText = msg;
        if (OnMessage) OnMessage(this, rec.errorCode, msg);
    }
    if (rec.action == zc::kActionByteCount) TotalBytes = rec.size;
    // Windows repaint and a Cancel gets in a few dozen times a second: a round of the message
    // queue on every one of a build's thousands of reports costs more than it shows. The
    // engine's "still working" report keeps the rounds coming while a large file is packed.
    DWORD now = GetTickCount();
    if (rec.action == zc::kActionBatchDone || now - lastPump_ >= kPumpInterval) {
        lastPump_ = now;
        ProcessPending();
    }
}

// ---------------------------------------------------------------------------------------
// Engine calls

namespace {

// NUL-terminated copies owned by the caller for the duration of an engine call.
struct StringCopies {
    std::vector<std::unique_ptr<char[]>> held;
    char* Copy(const std::string& s) {
        auto p = std::make_unique<char[]>(s.size() + 1);
        std::memcpy(p.get(), s.c_str(), s.size() + 1);
        held.push_back(std::move(p));
        return held.back().get();
    }
    std::vector<char*> CopyAll(const std::vector<std::string>& list) {
        std::vector<char*> out;
        for (const std::string& s : list) out.push_back(Copy(s));
        return out;
    }
};

}  // namespace

int TZipPacker::RunZipEngine(bool forDelete, const std::string& target) {
    StringCopies copies;
    zc::ZipBlock block(GetZipVers() > zc::kZipNewLayoutAbove, AppWindow(), this, &TZipPacker::ZCallback);
    if (!block.SetPatterns(copies.CopyAll(FSpecArgs))) {
        ShowZipMessage(ZIPMSG_ZIPENG_ABORT, "\nMore than 4097 file patterns for this engine version");
        return 0;
    }
    const AddOpts& o = AddOptions;
    zc::ZipExecHead& h = block.Head();
    h.trace = Trace;
    h.password = copies.Copy(Password);
    h.encrypt = o.Contains(AddEncrypt);
    h.systemFiles = o.Contains(AddHiddenFiles);
    h.noDirEntries = !o.Contains(AddSeparateDirs);
    h.verbose = Verbose || Trace;
    h.quiet = 1;
    h.level = AddCompLevel;
    h.junkDirNames = !o.Contains(AddDirNames);
    h.recurse = o.Contains(AddRecurseDirs);
    h.grow = 1;
    h.forceDos = o.Contains(AddForceDOS);
    h.move = o.Contains(AddMove);
    h.deleteEntries = 0;
    h.update = o.Contains(AddUpdate);
    h.freshen = o.Contains(AddFreshen) && !o.Contains(AddUpdate);
    h.latestTime = o.Contains(AddZipTime);
    if (forDelete) {
        h.deleteEntries = 1;
        h.grow = h.junkDirNames = h.move = h.freshen = h.update = h.encrypt = 0;
        h.recurse = 0;
    }
    h.zipName = copies.Copy(target);
    if (block.New()) block.New()->tempDir = TempDir.empty() ? nullptr : copies.Copy(TempDir);
    handlerFailed_ = false;
    int result = 0;
    try {
        result = ZipEngExec_(block.Data());
    } catch (...) {
        handlerFailed_ = true;
    }
    if (handlerFailed_) {
        handlerFailed_ = false;
        ShowZipMessage(ZIPMSG_ZIPENG_ABORT, "");
        return 0;
    }
    return result;
}

void TZipPacker::Add() {
    ResetResult();
    if (FSpecArgs.empty()) return ShowZipMessage(ZIPMSG_NOTHING_TO_ZIP, "");
    if (zipFileName_.empty()) return ShowZipMessage(ZIPMSG_NO_ZIPFILE, "");
    if (Unattended && AddOptions.Contains(AddEncrypt) && Password.empty())
        return ShowZipMessage(ZIPMSG_UNATTENDED_PW, "");
    if (zipBusy_) return;
    CancelRequested = false;

    const bool exe = UpperExt(zipFileName_) == ".EXE";
    // A spanned set is written by the engine as one temporary archive and split afterwards.
    // Its refusals come before anything is written: a refused set leaves no stub behind.
    const bool span = AddOptions.Contains(AddDiskSpan) || AddOptions.Contains(AddDiskSpanErase);
    if (span && (AddOptions.Contains(AddFreshen) || AddOptions.Contains(AddUpdate)))
        return ShowZipMessage(ZIPMSG_SPAN_FRESHEN, "");
    if (span && exe) return ShowZipMessage(ZIPMSG_SFX_NO_SPAN, "");
    // A new self-extracting archive starts as a stub with an empty directory.
    if (exe && dataStart_ == 0 && !ui::FileExists(zipFileName_)) ConvertSFX(true);

    bool loadedHere = false;
    if (!zipDll_) {
        Load_Zip_Eng();
        loadedHere = zipDll_ != nullptr;
    }
    if (!zipDll_) return;

    std::string target = zipFileName_;
    if (span) {
        std::string dir;
        if (TempDir.empty()) {
            char buf[MAX_PATH + 1];
            DWORD n = GetTempPathA(sizeof buf, buf);
            dir.assign(buf, n);
        } else {
            TempDir = AppendSlash(TempDir);
            dir = TempDir;
        }
        char tmp[MAX_PATH + 1];
        if (!GetTempFileNameA(dir.c_str(), "zip", 0, tmp)) {
            if (loadedHere) Unload_Zip_Eng();
            return ShowZipMessage(ZIPMSG_TEMP_CREATE, "");
        }
        DeleteFileA(tmp);
        target = tmp;
        if (Verbose && OnMessage) OnMessage(this, 0, "Temporary zipfile: " + target);
    }

    zipBusy_ = true;
    holdBatchDone_ = span;
    batchHeld_ = false;
    FilesProcessed = RunZipEngine(false, target);
    holdBatchDone_ = false;
    if (span) {
        // WriteSpan ends with the one end-of-batch event; without it, the engine's goes out now.
        if (FilesProcessed != 0) {
            if (WriteSpan(target, zipFileName_) != 0) FilesProcessed = 0;
        } else if (batchHeld_ && OnProgress) {
            OnProgress(this, ptBatchDone, "", 0);
        }
        DeleteFileA(target.c_str());
    }
    FSpecArgs.clear();
    if (loadedHere) Unload_Zip_Eng();
    CancelRequested = false;
    zipBusy_ = false;
    if (FilesProcessed > 0) List();
}

void TZipPacker::Delete() {
    ResetResult();
    if (FSpecArgs.empty()) return ShowZipMessage(ZIPMSG_NOTHING_TO_DELETE, "");
    if (!ui::FileExists(zipFileName_)) return ShowZipMessage(ZIPMSG_NO_ZIPFILE, "");
    if (zipBusy_) return;
    CancelRequested = false;
    bool loadedHere = false;
    if (!zipDll_) {
        Load_Zip_Eng();
        loadedHere = zipDll_ != nullptr;
    }
    if (!zipDll_) return;
    zipBusy_ = true;
    FilesProcessed = RunZipEngine(true, zipFileName_);
    FSpecArgs.clear();
    if (loadedHere) Unload_Zip_Eng();
    zipBusy_ = false;
    if (FilesProcessed >= 1) List();
}

void TZipPacker::Extract() {
    ResetResult();
    if (!ui::FileExists(zipFileName_)) return ShowZipMessage(ZIPMSG_NO_ZIPFILE, "");
    CancelRequested = false;
    if (unzBusy_) return;
    // The dummy stands in for this call only: left in Password, it would silently become the
    // password of the next encrypted Add, one that nobody knows.
    bool dummyPassword = false;
    if (Unattended && AddOptions.Contains(AddEncrypt) && Password.empty()) {
        Password = UnattendedDummyPassword();
        dummyPassword = true;
        ShowZipMessage(ZIPMSG_UNATTENDED_EXTRACT, "");
    }
    auto restorePassword = [&] {
        if (dummyPassword) Password.clear();
    };
    bool loadedHere = false;
    if (!unzDll_) {
        Load_Unz_Eng();
        loadedHere = unzDll_ != nullptr;
    }
    if (!unzDll_) return restorePassword();

    std::string source = zipFileName_;
    std::string joined;
    if (endDiskNo_ != 0) {
        if (TempDir.empty()) {
            char buf[MAX_PATH + 1];
            DWORD n = GetTempPathA(sizeof buf, buf);
            joined.assign(buf, n);
        } else {
            joined = AppendSlash(TempDir);
        }
        if (ReadSpan(zipFileName_, joined) != 0) return restorePassword();
        source = joined;
    }

    unzBusy_ = true;
    if (!ExtrBaseDir.empty() && ui::DirectoryExists(ExtrBaseDir)) SetCurrentDirectoryA(ExtrBaseDir.c_str());

    StringCopies copies;
    zc::UnzBlock block(GetUnzVers() > zc::kUnzNewLayoutAbove, AppWindow(), this, &TZipPacker::ZCallback);
    if (!block.SetPatterns(copies.CopyAll(FSpecArgs))) {
        ShowZipMessage(ZIPMSG_UNZENG_ABORT, "\nMore than 4097 file patterns for this engine version");
    } else {
        const ExtrOpts& o = ExtrOptions;
        zc::UnzExecHead& h = block.Head();
        h.trace = Trace;
        h.codePage = uint16_t(CodePage);
        h.password = copies.Copy(Password);
        h.testOnly = o.Contains(ExtrTest);
        h.quiet = 1;
        h.verbose = Verbose || Trace;
        h.update = o.Contains(ExtrUpdate);
        h.freshen = o.Contains(ExtrFreshen) && !o.Contains(ExtrUpdate);
        h.directories = o.Contains(ExtrDirNames);
        h.overwrite = o.Contains(ExtrOverWrite);
        h.zipName = copies.Copy(source);
        handlerFailed_ = false;
        try {
            FilesProcessed = UnzEngExec_(block.Data());
        } catch (...) {
            handlerFailed_ = true;
        }
        if (handlerFailed_) {
            handlerFailed_ = false;
            FilesProcessed = 0;
            ShowZipMessage(ZIPMSG_UNZENG_ABORT, "");
        }
    }
    if (!joined.empty() && joined != zipFileName_) DeleteFileA(joined.c_str());
    FSpecArgs.clear();
    if (loadedHere) Unload_Unz_Eng();
    CancelRequested = false;
    unzBusy_ = false;
    restorePassword();
}

// ---------------------------------------------------------------------------------------
// File utilities

std::string TZipPacker::AppendSlash(const std::string& s) {
    if (s.empty() || s.back() == '\\') return s;
    return s + '\\';
}

std::string TZipPacker::ReplaceForwardSlash(const char* p) {
    std::string s = p ? p : "";
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

int TZipPacker::EraseFile(const std::string& FileName, DeleteOpts How) {
    if (!ui::FileExists(FileName)) return -1;
    char full[MAX_PATH + 2] = {};
    DWORD n = GetFullPathNameA(FileName.c_str(), MAX_PATH, full, nullptr);
    std::string from = (n > 0 && n < MAX_PATH) ? std::string(full, n) : FileName;
    from.push_back('\0');  // the shell wants a list ended by two NULs; c_str() adds the second
    SHFILEOPSTRUCTA op{};
    op.hwnd = AppWindow();
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | (How == htdAllowUndo ? FOF_ALLOWUNDO : 0);
    return ui::desktop().FileOperation(&op);
}

int TZipPacker::CopyBuffer(HANDLE InFile, HANDLE OutFile, int ReadLen) {
    const DWORD chunk = 8192;
    std::unique_ptr<char[]> buf(new (std::nothrow) char[chunk]);
    if (!buf) return -2;
    int64_t remaining = ReadLen;
    for (;;) {
        DWORD want = ReadLen == -1 ? chunk : DWORD(std::min<int64_t>(chunk, remaining));
        if (want == 0) break;
        DWORD got = 0;
        if (!ReadFile(InFile, buf.get(), want, &got, nullptr)) return -2;
        if (got == 0) {
            // The end of the input: fine when copying to the end, a failure when a length
            // was asked for and the input ran out first.
            if (ReadLen == -1) break;
            return -2;
        }
        DWORD written = 0;
        if (!WriteFile(OutFile, buf.get(), got, &written, nullptr) || written != got) return -2;
        if (ReadLen != -1) remaining -= got;
        ProcessPending();
    }
    return 0;
}

int TZipPacker::CopyFile(const std::string& InFile, const std::string& OutFile) {
    WaitCursor wait;
    Handle in(CreateFileA(InFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!in.Ok()) return -3;
    if (ui::FileExists(OutFile)) EraseFile(OutFile, HowToDelete);
    int result;
    {
        Handle out(CreateFileA(OutFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Ok()) return -1;
        result = CopyBuffer(in.Get(), out.Get(), -1);
        if (result == 0) {
            FILETIME created, accessed, written;
            if (!GetFileTime(in.Get(), &created, &accessed, &written) || !SetFileTime(out.Get(), nullptr, nullptr, &written))
                result = -4;
        }
    }
    in.Close();
    if (result == 0 || result == -4) {
        WIN32_FILE_ATTRIBUTE_DATA a{}, b{};
        if (!GetFileAttributesExA(InFile.c_str(), GetFileExInfoStandard, &a) ||
            !GetFileAttributesExA(OutFile.c_str(), GetFileExInfoStandard, &b) ||
            a.nFileSizeHigh != b.nFileSizeHigh || a.nFileSizeLow != b.nFileSizeLow)
            result = -9;
    }
    if (result != 0 && result != -4) DeleteFileA(OutFile.c_str());
    return result;
}

// ---------------------------------------------------------------------------------------
// Code page rule

const std::array<char, 128>& TZipPacker::OemTable() const {
    static const std::array<char, 128> table = [] {
        std::array<char, 128> t{};
        for (int i = 0; i < 128; ++i) {
            char in[2] = {char(128 + i), 0}, out[2] = {0, 0};
            OemToCharBuffA(in, out, 1);
            t[i] = out[0];
        }
        return t;
    }();
    return table;
}

void TZipPacker::ConvertOem2Iso(char* text) {
    if (!text || !zip::ListingOemByHost(CodePage, lastHost_, lastVersion_)) return;
    const auto& t = OemTable();
    for (char* p = text; *p; ++p)
        if (static_cast<unsigned char>(*p) & 0x80) *p = t[static_cast<unsigned char>(*p) - 128];
}

// ---------------------------------------------------------------------------------------
// Listing

int TZipPacker::GetCount() const { return zipFileName_.empty() ? 0 : int(dir_.size()); }

std::string TZipPacker::GetZipComment() const {
    std::string c = zipComment_;
    if (zip::ListingOemByHost(CodePage, lastHost_, lastVersion_))
        ConvertHighBytes(c, OemTable());
    return c;
}

void TZipPacker::FreeZipDirEntryRecords() { dir_.clear(); }

// ---------------------------------------------------------------------------------------
// Disk queries

UINT TDiskDrive::DriveType(const std::string& root) { return GetDriveTypeA(root.c_str()); }

bool TDiskDrive::VolumeInformation(const std::string& root, std::string& label, DWORD& serial, DWORD& error) {
    char buf[MAX_PATH + 1] = {};
    DWORD maxLen = 0, fsFlags = 0;
    serial = 0;
    BOOL ok = GetVolumeInformationA(root.c_str(), buf, sizeof buf, &serial, &maxLen, &fsFlags, nullptr, 0);
    error = ok ? 0 : GetLastError();
    label = ok ? buf : "";
    return ok;
}

void TDiskDrive::FreeAndSize(const std::string& root, int64_t& free, int64_t& size) {
    free = size = -1;
    typedef BOOL(WINAPI * FreeEx)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    auto ex = reinterpret_cast<FreeEx>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "GetDiskFreeSpaceExA")));
    ULARGE_INTEGER avail, total, all;
    if (ex && ex(root.c_str(), &avail, &total, &all)) {
        free = int64_t(avail.QuadPart);
        size = int64_t(total.QuadPart);
        return;
    }
    DWORD spc, bps, freeClusters, totalClusters;
    if (GetDiskFreeSpaceA(root.c_str(), &spc, &bps, &freeClusters, &totalClusters)) {
        free = int64_t(freeClusters) * spc * bps;
        size = int64_t(totalClusters) * spc * bps;
    }
}

bool TDiskDrive::SetVolumeLabel(const std::string& root, const std::string& label) {
    return ::SetVolumeLabelA(root.c_str(), label.c_str()) != 0;
}

namespace {
TDiskDrive realDrive;
TDiskDrive* currentDrive = &realDrive;
}  // namespace

TDiskDrive& diskDrive() { return *currentDrive; }
void SetDiskDrive(TDiskDrive* d) { currentDrive = d ? d : &realDrive; }

void TZipPacker::DiskFreeAndSize(int flags) {
    int64_t free = -1, size = -1;
    diskDrive().FreeAndSize(driveRoot_, free, size);
    if (flags & 1) diskFree_ = free;
    if (flags & 2) diskSize_ = size;
}

bool TZipPacker::IsDiskPresent() {
    const bool network = !driveRoot_.empty() && driveRoot_[0] == '\\';
    if (!network) {
        char d = driveRoot_.empty() ? 0 : char(toupper(static_cast<unsigned char>(driveRoot_[0])));
        if (d < 'A' || d > 'Z') throw EZipPacker(ZIPMSG_BAD_DRIVE, driveRoot_);
        if (!(GetLogicalDrives() & (1u << (d - 'A')))) throw EZipPacker(ZIPMSG_DRIVE_UNDEFINED, driveRoot_);
    }
    UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    DiskFreeAndSize(3);
    std::string label;
    DWORD serial = 0, err = 0;
    bool ok = diskDrive().VolumeInformation(driveRoot_, label, serial, err);
    SetErrorMode(old);
    if (!ok) {
        volumeLabel_.clear();
        volumeSerial_ = 0;
        // An unformatted disk answers with a general failure; spanning with erase formats it.
        return err == ERROR_GEN_FAILURE && AddOptions.Contains(AddDiskSpanErase);
    }
    volumeLabel_ = label;
    volumeSerial_ = serial;
    return network || diskSize_ != -1;
}

int TZipPacker::LabelDiskNumber() const {
    // Other archivers write the label without the space ("PKBACK#001"): read both forms.
    size_t at;
    if (volumeLabel_.compare(0, 8, "PKBACK# ") == 0) at = 8;
    else if (volumeLabel_.compare(0, 7, "PKBACK#") == 0) at = 7;
    else return -1;
    std::string digits = volumeLabel_.substr(at, 3);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return isdigit(static_cast<unsigned char>(c)); }))
        return 0;
    return std::stoi(digits);
}

void TZipPacker::ReportEndRecord(const zip::EndRecord& r, bool MustFind, int labelDisk) {
    if (r.found) {
        if (r.garbage) ShowZipMessage(ZIPMSG_GARBAGE, "");
        return;
    }
    // A file that could not be read is an error; one without an end record only when asked.
    if (!MustFind && r.fault.kind != zip::Fault::EndUnreadable) return;
    int id = ListingFault(r.fault, r.spanFirstPart, labelDisk);
    if (id == ZIPMSG_NTH_DISK) throw EZipPacker(id, labelDisk);
    throw EZipPacker(id, true);
}

bool TZipPacker::CheckIfLastDisk(ZipEndOfCentral& eoc, bool MustFind) {
    zipComment_.clear();
    FileSource src(zipFileName_);
    if (!src.Ok()) {
        if (MustFind) throw EZipPacker(ZIPMSG_INPUT_MISSING, true);
        ShowZipMessage(ZIPMSG_OPEN_FAILED, "");
        return false;
    }
    zip::EndRecord r = ReadComponentEndRecord(src);
    if (r.spanFirstPart) spanned_ = true;
    ReportEndRecord(r, MustFind, LabelDiskNumber());
    if (!r.found) return false;
    eoc = r.record;
    zipComment_ = r.comment;
    fileSize_ = r.fileSize;
    usableSize_ = r.usableSize;
    return true;
}

void TZipPacker::List() {
    if (Designing) return;
    FreeZipDirEntryRecords();
    dataStart_ = 0;
    endDiskNo_ = 0;
    spanned_ = false;
    structureWarning_ = false;
    zipComment_.clear();
    if (zipFileName_.empty() || !ui::FileExists(zipFileName_)) {
        if (OnDirUpdate) OnDirUpdate(this);
        return;
    }
    {
        WaitCursor wait;
        bool failed = false;
        try {
            SetDriveRoot(zipFileName_);
            if (!IsDiskPresent()) throw EZipPacker(ZIPMSG_DRIVE_UNDEFINED, driveRoot_);

            FileSource src(fullPath_);
            if (!src.Ok()) throw EZipPacker(ZIPMSG_INPUT_MISSING, true);
            ZipListOptions opt;
            opt.codePage = CodePage;
            opt.oemTable = &OemTable();
            int labelDisk = LabelDiskNumber();
            opt.labelDisk = labelDisk;
            // The last disk of a set whose directory starts on an earlier disk: that disk (and
            // the ones after it) are asked for.
            std::unique_ptr<FileSource> other;
            opt.diskSource = [&](int disk) -> zip::ByteSource* {
                if (!other) {
                    zip::EndRecord e = ReadComponentEndRecord(src);
                    reading_ = true;
                    spanIn_ = fullPath_;
                    lastDisk_ = diskNr_ = e.record.ThisDiskNo;
                    newDisk_ = false;
                    driveType_ = diskDrive().DriveType(driveRoot_);
                    DetectZipStyle();
                }
                other.reset();
                GetNewDisk(disk);
                CloseSpanFiles();
                other = std::make_unique<FileSource>(spanIn_);
                return other->Ok() ? other.get() : nullptr;
            };
            ZipListing L;
            try {
                L = ReadZipListing(src, opt);
            } catch (...) {
                reading_ = zipStyle_ = false;
                throw;
            }
            reading_ = zipStyle_ = false;
            if (L.end.spanFirstPart) spanned_ = true;
            ReportEndRecord(L.end, true, labelDisk);
            zipComment_ = L.end.comment;
            fileSize_ = L.end.fileSize;
            usableSize_ = L.end.usableSize;
            endDiskNo_ = L.end.record.ThisDiskNo;
            if (endDiskNo_ != 0) spanned_ = true;
            if (L.structureWarning) {
                structureWarning_ = true;
                ShowZipMessage(ZIPMSG_STRUCTURE, "");
            }
            dir_ = std::move(L.entries);
            dataStart_ = L.dataStart;
            lastHost_ = L.lastHost;
            lastVersion_ = L.lastVersion;
            if (L.error) throw EZipPacker(L.error, true);
        } catch (const EZipPacker& e) {
            ShowExceptionError(e);
            failed = true;
        } catch (const std::bad_alloc&) {
            ShowZipMessage(ZIPMSG_NO_MEMORY, "");
            failed = true;
        } catch (const std::exception& e) {
            ShowZipMessage(ZIPMSG_LIST_UNKNOWN, e.what());
            failed = true;
        }
        if (failed) {
            zipFileName_.clear();
            dataStart_ = 0;
        }
    }
    if (OnDirUpdate) OnDirUpdate(this);
}
