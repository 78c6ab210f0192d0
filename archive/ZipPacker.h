// TZipPacker: the non-visual archive component. It drives the zip engine (ZIPENG.DLL adds and
// deletes, UNZENG.DLL extracts and tests), reads archive directories itself and reports
// everything through its events, its message table and message boxes.
//
// All operations run on the caller's thread and return when done; engine callbacks arrive on
// that thread too, and pending window messages are processed between them so the program
// stays responsive and a cancel button can set CancelRequested.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZipEngineBlocks.h"
#include "ZipFormat.h"
#include "ZipMsg.h"

class TObject {
public:
    virtual ~TObject() = default;
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner = nullptr) : Owner(owner) {}
    TComponent* Owner;
    std::string Name;
    // Placed in a form designer rather than running: no archive is read then.
    bool Designing = false;
};

// A Delphi-style set over an enumeration: bit N for member N.
template <class E, class Bits>
class TSet {
public:
    TSet() = default;
    TSet(std::initializer_list<E> members) {
        for (E e : members) Include(e);
    }
    bool Contains(E e) const { return (bits_ >> int(e)) & 1; }
    TSet& Include(E e) { bits_ = Bits(bits_ | (Bits(1) << int(e))); return *this; }
    TSet& Exclude(E e) { bits_ = Bits(bits_ & ~(Bits(1) << int(e))); return *this; }
    Bits ToBits() const { return bits_; }
    bool Empty() const { return bits_ == 0; }
    bool operator==(const TSet&) const = default;

private:
    Bits bits_ = 0;
};

enum AddOptsEnum {
    AddDirNames, AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddZipTime, AddForceDOS,
    AddHiddenFiles, AddEncrypt, AddSeparateDirs, AddDiskSpan, AddDiskSpanErase
};
enum ExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
enum SFXOptsEnum { SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize };
enum OvrOpts { OvrConfirm, OvrAlways, OvrNever };
enum CPOpts { cpAUTO, cpNone, cpOEM };
enum DeleteOpts { htdFinal, htdAllowUndo };
enum ProgressType { ptFileStart, ptBytesDone, ptBatchDone, ptFileCount, ptByteCount };

using AddOpts = TSet<AddOptsEnum, uint16_t>;
using ExtrOpts = TSet<ExtrOptsEnum, uint8_t>;
using SFXOpts = TSet<SFXOptsEnum, uint8_t>;

using ZipDirEntry = zipfmt::ZipDirEntry;
using ZipEndOfCentral = zipfmt::ZipEndOfCentral;

using TProgressEvent = std::function<void(TObject* Sender, ProgressType ProgrType,
                                          const std::string& FileName, long FileSize)>;
using TMessageEvent = std::function<void(TObject* Sender, int ErrCode, const std::string& Message)>;
using TNotifyEvent = std::function<void(TObject* Sender)>;

// The component's internal error: a message-table id, its (formatted) text, and whether it is
// to be shown in a box. Never escapes a public operation.
class EZipPacker : public std::runtime_error {
public:
    EZipPacker(int id, bool display);
    EZipPacker(int id, int arg);
    EZipPacker(int id, const std::string& arg);
    bool DisplayMsg;
    int ResId;
};

// Text of a table id: the string of the running program's message table, or Default when it
// has none (or an empty one).
std::string LoadZipStr(int Ident, const std::string& Default);
// The fallback text for an id that the table lacks.
std::string MissingZipStr(int Ident);

class TZipPacker : public TComponent {
public:
    explicit TZipPacker(TComponent* owner = nullptr);
    ~TZipPacker() override;
    TZipPacker(const TZipPacker&) = delete;
    TZipPacker& operator=(const TZipPacker&) = delete;

    // ---- Published properties (defaults as a new component has them)
    bool Verbose = false;
    bool Trace = false;
    int AddCompLevel = 9;
    AddOpts AddOptions;
    ExtrOpts ExtrOptions;
    SFXOpts SFXOptions{SFXCheckSize};
    std::string ExtrBaseDir;
    std::vector<std::string> FSpecArgs;  // assigning copies the given list
    const std::string& ZipFileName() const { return zipFileName_; }
    // Stores the name and, unless in a designer, reads the archive's directory (List).
    void SetZipFileName(const std::string& name);
    std::string Password;
    std::string SFXPath;
    const std::string& DLLDirectory() const { return dllDirectory_; }
    // A changed value is stored without one trailing backslash.
    void SetDLLDirectory(const std::string& dir);
    OvrOpts SFXOverWriteMode = OvrConfirm;
    std::string SFXCaption = "Self-extracting Archive";
    std::string SFXDefaultDir;
    std::string SFXCommandLine;
    std::string TempDir;
    long KeepFreeOnDisk1() const { return keepFreeOnDisk1_; }
    void SetKeepFreeOnDisk1(long v);     // negative values are ignored
    long MaxVolumeSize() const { return maxVolumeSize_; }
    void SetMaxVolumeSize(long v);       // negative values are ignored
    long MinFreeVolumeSize() const { return minFreeVolumeSize_; }
    void SetMinFreeVolumeSize(long v);   // values below 1 are ignored
    bool ConfirmErase = true;
    bool Unattended = false;
    CPOpts CodePage = cpAUTO;
    DeleteOpts HowToDelete = htdAllowUndo;
    std::string VersionInfo() const { return "1.52 M"; }
    void SetVersionInfo(const std::string&) {}  // read-only in effect
    TProgressEvent OnProgress;
    TMessageEvent OnMessage;
    TNotifyEvent OnDirUpdate;

    // ---- Run-time state
    int FilesProcessed = 0;
    int ErrorCode = 0;       // last message id, or the signed low byte of the last engine error
    int FullErrorCode = 0;   // the last non-zero engine error code in full
    std::string ErrorText;
    bool CancelRequested = false;
    int TotalBytes = 0;
    bool ZipBusy() const { return zipBusy_; }
    bool UnzBusy() const { return unzBusy_; }

    // ---- Engine operations (outcome in FilesProcessed, ErrorCode, ErrorText)
    void Add();
    void Delete();
    void Extract();

    // ---- The archive directory
    void List();
    int GetCount() const;
    const ZipDirEntry& DirEntry(int index) const { return dir_.at(index); }
    std::string GetZipComment() const;
    void FreeZipDirEntryRecords();
    // Offset of the first member's local header: the length of what precedes the ZIP data.
    int64_t DataStart() const { return dataStart_; }
    // Non-zero: the archive is one disk of a spanned set.
    int EndDiskNo() const { return endDiskNo_; }
    bool Spanned() const { return spanned_; }
    bool StructureWarning() const { return structureWarning_; }
    bool CheckIfLastDisk(ZipEndOfCentral& eoc, bool MustFind);
    bool IsDiskPresent();
    // Flags 1 free space, 2 size; values not available are -1.
    void DiskFreeAndSize(int flags);
    int64_t DiskFree() const { return diskFree_; }
    int64_t DiskSize() const { return diskSize_; }

    // ---- Engine binding
    void Load_Zip_Eng();
    void Load_Unz_Eng();
    void Unload_Zip_Eng();
    void Unload_Unz_Eng();
    int GetZipVers();
    int GetUnzVers();
    bool ZipEngineLoaded() const { return zipDll_ != nullptr; }
    bool UnzEngineLoaded() const { return unzDll_ != nullptr; }

    // ---- Passwords
    std::string GetPassword(int kind);
    void GetAddPassword();
    void GetExtrPassword();
    // How the password question reaches a person: caption, prompt, answer in/out; false when
    // cancelled. Tests replace it with a scripted answer.
    static std::function<bool(const std::string& caption, const std::string& prompt, std::string& value)> InputQuery;

    // ---- Messages
    void ShowZipMessage(int Ident, const std::string& UserStr);
    void ShowExceptionError(const EZipPacker& E);

    // ---- File utilities
    int CopyFile(const std::string& InFile, const std::string& OutFile);
    int EraseFile(const std::string& FileName, DeleteOpts How);
    int CopyBuffer(HANDLE InFile, HANDLE OutFile, int ReadLen);
    static std::string AppendSlash(const std::string& s);
    static std::string ReplaceForwardSlash(const char* p);
    void ConvertOem2Iso(char* text);

    // ---- Self-extractor and spanning entry points used by Add and Extract
    int ConvertSFX(bool Auto = false);
    int WriteSpan(const std::string& InFileName, const std::string& OutFileName);
    int ReadSpan(const std::string& InFileName, std::string& TmpFile);

    static BOOL __stdcall ZCallback(ZCallBackStruct* rec);

private:
    std::string zipFileName_;
    std::string dllDirectory_;
    long keepFreeOnDisk1_ = 0;
    long maxVolumeSize_ = 0;
    long minFreeVolumeSize_ = 65536;

    std::vector<ZipDirEntry> dir_;
    std::string zipComment_;     // raw bytes as stored
    int64_t dataStart_ = 0;
    int endDiskNo_ = 0;
    bool spanned_ = false;
    bool structureWarning_ = false;
    uint8_t lastHost_ = 0, lastVersion_ = 0;
    std::string fullPath_, driveRoot_;
    std::string volumeLabel_;
    DWORD volumeSerial_ = 0;
    int64_t diskFree_ = -1, diskSize_ = -1;
    uint64_t fileSize_ = 0, usableSize_ = 0;

    bool zipBusy_ = false, unzBusy_ = false;
    HWND appHandle_ = nullptr;

    HMODULE zipDll_ = nullptr, unzDll_ = nullptr;
    typedef int(__stdcall* ExecFn)(void* params);
    typedef int(__stdcall* VersFn)();
    ExecFn ZipEngExec_ = nullptr, UnzEngExec_ = nullptr;
    VersFn GetZipEngVersion_ = nullptr, GetUnzEngVersion_ = nullptr;

    // An exception thrown by an event handler during an engine call: the engine is asked to
    // stop, and the call is then reported as aborted.
    bool handlerFailed_ = false;

    HWND AppWindow() const;
    std::string DllPath(const char* name) const;
    bool LoadEngine(const char* dll, const char* execName, const char* versName, HMODULE& h,
                    ExecFn& exec, VersFn& vers, int loadedMsg, int execMissing, int versMissing,
                    int dllMissing);
    void ResetResult();
    void Dispatch(const ZCallBackStruct& rec);
    int RunZipEngine(bool forDelete, const std::string& target);
    void ReportEndRecord(const zipfmt::EndRecordResult& r, bool MustFind, int labelDisk);
    int LabelDiskNumber() const;
    const std::array<char, 128>& OemTable() const;
};

// The dummy password an unattended Extract uses so that the engine never has to ask.
std::string UnattendedDummyPassword();
