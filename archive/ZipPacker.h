// TZipPacker: the non-visual archive component. It drives the zip engine (ZIPENG.DLL adds and
// deletes, UNZENG.DLL extracts and tests), reads archive directories through the one reader of
// zip/ (ZipFormat.h says by which rule) and reports everything through its events, its message
// table and message boxes.
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
#include <unordered_map>
#include <vector>

#include "EngineBlocks.h"
#include "NameRule.h"
#include "SfxHeader.h"
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
enum DeleteOpts { htdFinal, htdAllowUndo };
enum ProgressType { ptFileStart, ptBytesDone, ptBatchDone, ptFileCount, ptByteCount };

using AddOpts = TSet<AddOptsEnum, uint16_t>;
using ExtrOpts = TSet<ExtrOptsEnum, uint8_t>;
using SFXOpts = TSet<SFXOptsEnum, uint8_t>;

// The CodePage property: how names without the UTF-8 flag are read, the system's one name rule.
// The component's spellings of its values stay for its callers.
using CPOpts = zip::NameRule;
constexpr CPOpts cpAUTO = zip::NameRule::Auto, cpNone = zip::NameRule::None, cpOEM = zip::NameRule::Oem;

using ZipEndOfCentral = zip::ZipEndOfCentral;

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
    // The table text followed by ": " and what it is about (the file, the part, the member).
    EZipPacker(int id, bool display, const std::string& about);
    bool DisplayMsg;
    int ResId;
};

// The disk queries of disk sets: drive type, volume label and serial number, free space and
// size, and writing a label. Tests put a drive of their own in place (a removable disk whose
// label changes when a disk is "swapped", which Wine's drives cannot show while its server runs).
class TDiskDrive {
public:
    virtual ~TDiskDrive() = default;
    virtual UINT DriveType(const std::string& root);
    // False with the platform's error code when the volume cannot be read.
    virtual bool VolumeInformation(const std::string& root, std::string& label, DWORD& serial, DWORD& error);
    // Free space for the caller and the size of the disk; -1 for what cannot be read.
    virtual void FreeAndSize(const std::string& root, int64_t& free, int64_t& size);
    virtual bool SetVolumeLabel(const std::string& root, const std::string& label);
};
TDiskDrive& diskDrive();
// Replaces the disk queries (tests); nullptr restores the real ones.
void SetDiskDrive(TDiskDrive* d);

// A table text with its format directives (%s, %d, %.1d) replaced by the arguments in order.
std::string FormatZipStr(const std::string& fmt, const std::vector<std::string>& args);

// One member of a disk set while it is split or joined.
struct MDZipData {
    int DiskStart = 0;          // disk of its local header
    int64_t RelOffLocal = 0;    // offset of its local header in that part (or in the joined file)
    uint16_t FileNameLen = 0;
    std::string FileName;
    uint32_t ComprSize = 0;
    bool Seen = false;          // its local header has been met
    // What a join checks each local header and the data against.
    uint16_t Flag = 0, Method = 0;
    uint32_t Crc = 0, UncomprSize = 0;
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
    std::string SFXCaption = zip::kSfxDefaultCaption;
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
    // ---- Self-extractors (0 success, -1 output not creatable, -2 write error, -3 stub or
    // archive not readable, -9 other failure)
    int ConvertSFX(bool Auto = false);
    int ConvertZIP();
    // Run-time choice of programs that keep what they were given: a conversion leaves its
    // source archive or program in place instead of erasing it.
    bool KeepSourceOnConvert = false;
    // Copies the directory from in to out with every local-header offset and the directory's
    // own offset moved by shift; then the end record and the comment. 0, or -2 on any error.
    int RWCentralDir(HANDLE in, HANDLE out, const ZipEndOfCentral& eoc, int64_t shift);
    // Shell format of a removable disk for a set: -3 not started, -1 error, -2 cancelled.
    int ZipFormat();

    // ---- Disk sets (0 success, -7 reported error, -8 out of memory, -9 other failure)
    int SpanFailure();
    bool ArchiveEnd(ZipEndOfCentral& eoc);
    int WriteSpan(const std::string& InFileName, const std::string& OutFileName);
    int ReadSpan(const std::string& InFileName, std::string& TmpFile);
    UINT CheckForDisk();
    bool IsRightDisk(UINT driveType);
    void GetNewDisk(int disk);
    void WriteSplit(const void* buf, int64_t len, int64_t keepTogether);
    void WriteJoin(const void* buf, int64_t len, int errId);
    void RWSplitData(int64_t len, int errId);
    void RWJoinData(int64_t len, int errId);
    void AllocSpanMem(int count);
    void DeleteSpanMem();
    int FindZipEntry(const std::string& name);
    int CurrentDisk() const { return diskNr_; }
    const std::vector<MDZipData>& SpanTable() const { return mdz_; }
    const std::string& VolumeLabel() const { return volumeLabel_; }

    // ---- The shell format thread's shared state (see ShellFormat.h)
    int FormatDrive = 0;             // 0 = A
    std::string FormatLabel;         // "PKBACK# " + part number
    HWND FormatDialog = nullptr;
    volatile LONG FormatState = 0;   // 0 waiting, 1 dialog found, 2 thread finished
    volatile LONG FormatResult = -3;
    volatile LONG FormatAutoStart = 0;
    HANDLE FormatThread = nullptr;
    DWORD FormatThreadId = 0;
    static BOOL CALLBACK EnumThreadWndProc(HWND wnd, LPARAM self);
    HWND ApplicationWindow() const { return AppWindow(); }

    static BOOL __stdcall ZCallback(zc::ZCallBackStruct* rec);

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

    // Disk set state: one set at a time.
    int diskNr_ = 0;              // current disk index (-1: not yet known while joining)
    int lastDisk_ = 0;            // index of the set's last disk while joining
    int64_t usable_ = 0;          // bytes still usable on the current part
    int64_t partOffset_ = 0;      // running offset within the current part
    bool newDisk_ = true;         // another disk is needed before the next write or read
    bool showProgress_ = false;   // written byte counts go to OnProgress
    bool reading_ = false;        // joining (the prompts differ)
    UINT driveType_ = 0;
    std::string spanIn_;          // the file read: the single archive, or the current part
    std::string spanOut_;         // the set's target name (writing) or the joined file
    std::string partName_;        // the part being written
    std::vector<std::string> partsWritten_;  // on fixed drives: removed again if the set fails
    HANDLE inFile_ = INVALID_HANDLE_VALUE, outFile_ = INVALID_HANDLE_VALUE;
    // Info-ZIP's naming of a set's parts (name.z01 ... name.zip) rather than ours.
    bool zipStyle_ = false;
    std::string setName_;         // in that naming: the last part, which names the set
    // A part of an earlier set was overwritten: its parts after the new set's last go too.
    bool overwroteOld_ = false;
    // Sees every byte of a member's data while a join copies it (the CRC check).
    std::function<void(const char*, size_t)> joinTap_;
    std::string PartPath(int disk) const;
    void DetectZipStyle();
    FILETIME spanDate_{};
    int64_t inSize_ = 0;
    int64_t outPos_ = 0;          // joined file position
    std::vector<MDZipData> mdz_;
    std::unordered_multimap<std::string, int> mdzIndex_;
    std::vector<char> inBuf_, outBuf_;  // the input read ahead, the output written behind
    size_t inAt_ = 0, inLen_ = 0, outLen_ = 0;
    void FlushOut();
    void PutOut(const void* buf, int64_t len);
    bool FixedDrive() const { return driveType_ == DRIVE_FIXED || driveType_ == DRIVE_REMOTE; }
    void OpenPart();
    void ClosePart();
    void CloseSpanFiles();
    void ReadIn(void* buf, int64_t len, int errId, bool crossDisks);
    zip::CentralHeader ReadCentralHeader(uint8_t* ch, std::string& name, bool crossDisks);
    MDZipData& ReadLocalHeader(uint8_t* lh, bool started, zip::LocalHeader& h, std::string& name, std::string& shown,
                               bool crossDisks);
    int64_t ReadDescriptor(uint8_t* dd, bool crossDisks);
    bool OpenIn();
    void SetDriveRoot(const std::string& path);
    void Progress(ProgressType t, const std::string& name, int64_t size);
    HWND appHandle_ = nullptr;

    HMODULE zipDll_ = nullptr, unzDll_ = nullptr;
    typedef int(__stdcall* ExecFn)(void* params);
    typedef int(__stdcall* VersFn)();
    ExecFn ZipEngExec_ = nullptr, UnzEngExec_ = nullptr;
    VersFn GetZipEngVersion_ = nullptr, GetUnzEngVersion_ = nullptr;

    // An exception thrown by an event handler during an engine call: the engine is asked to
    // stop, and the call is then reported as aborted.
    bool handlerFailed_ = false;
    // A spanned Add: the engine's end of batch is held back for the one WriteSpan sends.
    bool holdBatchDone_ = false, batchHeld_ = false;
    // When the last round of pending window messages ran during an engine call (tick count).
    DWORD lastPump_ = 0;
    static constexpr DWORD kPumpInterval = 25;

    HWND AppWindow() const;
    std::string DllPath(const char* name) const;
    bool LoadEngine(const char* dll, const char* execName, const char* versName, HMODULE& h,
                    ExecFn& exec, VersFn& vers, int loadedMsg, int execMissing, int versMissing,
                    int dllMissing);
    void ResetResult();
    void Dispatch(const zc::ZCallBackStruct& rec);
    int RunZipEngine(bool forDelete, const std::string& target);
    void ReportEndRecord(const zip::EndRecord& r, bool MustFind, int labelDisk);
    int LabelDiskNumber() const;
    int ReplaceWithTemp(const std::string& temp, const std::string& target);
    bool RefuseSetPart();
    // The conversions' work; each failure is an EZipPacker naming it (see ZipPackerInternal.h).
    int ConvertInto(const std::string& out, const std::function<void(const std::string& temp)>& write);
    void CopyCentralDir(HANDLE in, HANDLE out, const ZipEndOfCentral& eoc, int64_t shift);
    void WriteSfx(const std::string& temp, bool Auto);
    void WriteWithoutStub(const std::string& temp, int64_t start);
    const std::array<char, 128>& OemTable() const;
};

// The dummy password an unattended Extract uses so that the engine never has to ask.
std::string UnattendedDummyPassword();
