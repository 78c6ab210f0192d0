// Disk sets: a finished archive split over removable disks (each labelled "PKBACK# 001"...) or
// into numbered part files side by side on a fixed or network drive, and such a set joined
// back into one archive. The engine never sees a set: Add splits the temporary archive it
// wrote, Extract reads a joined temporary one.
//
// The input and the output go through buffers of their own; the disk dialogue (prompts,
// labels, free space) goes through the Desktop and the disk queries, so tests can swap disks.
#include <zlib.h>

#include <cstring>
#include <memory>

#include "Bytes.h"
#include "SpanFormat.h"
#include "ZipPacker.h"
#include "ZipPackerInternal.h"

namespace {

const char kLabelPrefix[] = "PKBACK# ";
// Data is copied in chunks of this size; each chunk lets the window repaint and a cancel in.
constexpr int64_t kChunk = 8192;
constexpr DWORD kInBuffer = 1 << 20;

std::string DirOf(const std::string& name) {
    size_t slash = name.find_last_of("\\/:");
    return slash == std::string::npos ? "." : name.substr(0, slash + 1);
}

// The three characters before the extension as a number (a part file's number), or -1.
int NumberBeforeExt(const std::string& name) {
    std::string base = zip::WithExtension(name, "");
    if (base.size() < 3) return -1;
    std::string d = base.substr(base.size() - 3);
    for (char c : d)
        if (!isdigit(static_cast<unsigned char>(c))) return -1;
    return std::stoi(d);
}

bool SameLabel(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

std::string Title() { return ui::App ? ui::App->Title : ""; }

// Lets the windows repaint and a cancel in, a few dozen times a second: a round of the message
// queue for every chunk would cost more than the copying itself.
void Breathe() {
    static DWORD last = 0;
    DWORD now = GetTickCount();
    if (now - last < 25) return;
    last = now;
    ProcessPending();
}

// Full paths compared as the platform compares file names.
bool SamePath(const std::string& a, const std::string& b) {
    char fa[MAX_PATH + 1] = {}, fb[MAX_PATH + 1] = {};
    DWORD na = GetFullPathNameA(a.c_str(), MAX_PATH, fa, nullptr), nb = GetFullPathNameA(b.c_str(), MAX_PATH, fb, nullptr);
    if (!na || na > MAX_PATH || !nb || nb > MAX_PATH) return lstrcmpiA(a.c_str(), b.c_str()) == 0;
    return lstrcmpiA(fa, fb) == 0;
}

// A member's data as a join copies it: unpacked on the way (stored or deflated) so that its
// CRC and size can be held against the directory. Encrypted members and other methods cannot be
// unpacked here; their local header is still checked.
class MemberCheck {
public:
    MemberCheck(uint16_t method) : method_(method) {
        if (method_ == 8) {
            z_ = std::make_unique<z_stream>();
            std::memset(z_.get(), 0, sizeof(z_stream));
            if (inflateInit2(z_.get(), -MAX_WBITS) != Z_OK) {
                z_.reset();
                failed_ = "it could not be unpacked (no memory)";
            }
        }
    }
    ~MemberCheck() {
        if (z_) inflateEnd(z_.get());
    }
    void Feed(const char* p, size_t n) {
        if (!failed_.empty() || n == 0) return;
        if (method_ == 0) {
            crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(p), uInt(n));
            size_ += n;
            return;
        }
        if (ended_) {
            failed_ = "its deflated data goes on after its end";
            return;
        }
        z_->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(p));
        z_->avail_in = uInt(n);
        while (z_->avail_in > 0 && !ended_) {
            size_t made = 0;
            int r = Step(Z_NO_FLUSH, made);
            if (r != Z_OK && r != Z_BUF_ERROR && r != Z_STREAM_END) {
                failed_ = std::string("its deflated data is damaged (") + (z_->msg ? z_->msg : "inflate error") + ")";
                return;
            }
            if (r == Z_BUF_ERROR && made == 0) break;
        }
    }
    // Empty when the data is what the directory says, else why not.
    std::string Verdict(uint32_t crc, uint32_t size) {
        if (!failed_.empty()) return failed_;
        // The end may still be inside inflate's window.
        while (method_ == 8 && !ended_) {
            z_->next_in = nullptr;
            z_->avail_in = 0;
            size_t made = 0;
            Step(Z_FINISH, made);
            if (!ended_ && made == 0) return "its deflated data ends too early";
        }
        if (uint32_t(size_) != size)
            return "it unpacks to " + std::to_string(size_) + " bytes instead of " + std::to_string(size);
        if (crc_ != crc) return "its CRC check failed";
        return "";
    }

private:
    // One round of inflate into the window; its bytes go into the CRC and the size.
    int Step(int flush, size_t& made) {
        z_->next_out = window_;
        z_->avail_out = sizeof window_;
        int r = inflate(z_.get(), flush);
        made = sizeof window_ - z_->avail_out;
        crc_ = crc32(crc_, window_, uInt(made));
        size_ += made;
        if (r == Z_STREAM_END) ended_ = true;
        return r;
    }
    uint16_t method_;
    Bytef window_[16384];
    std::unique_ptr<z_stream> z_;
    uLong crc_ = crc32(0, nullptr, 0);
    uint64_t size_ = 0;
    bool ended_ = false;
    std::string failed_;
};

}  // namespace

void TZipPacker::Progress(ProgressType t, const std::string& name, int64_t size) {
    if (OnProgress) OnProgress(this, t, name, long(size));
}

void TZipPacker::SetDriveRoot(const std::string& path) {
    char full[MAX_PATH + 1] = {};
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    fullPath_ = (n > 0 && n <= MAX_PATH) ? std::string(full, n) : path;
    if (fullPath_.size() >= 2 && fullPath_[0] == '\\' && fullPath_[1] == '\\') {
        // \\server\share\ is the root of a network path.
        size_t share = fullPath_.find('\\', 2);
        size_t end = share == std::string::npos ? std::string::npos : fullPath_.find('\\', share + 1);
        driveRoot_ = AppendSlash(fullPath_.substr(0, end));
    } else {
        driveRoot_ = fullPath_.substr(0, 2) + "\\";
    }
}

// ---------------------------------------------------------------------------------------
// The member table

void TZipPacker::AllocSpanMem(int count) {
    mdz_.assign(size_t(std::max(count, 0)), MDZipData{});
    mdzIndex_.clear();
}

void TZipPacker::DeleteSpanMem() {
    mdz_.clear();
    mdz_.shrink_to_fit();
    mdzIndex_.clear();
}

// The first row of that name whose local header has not been met yet: an archive may hold
// two members of one name.
int TZipPacker::FindZipEntry(const std::string& name) {
    if (mdzIndex_.empty())
        for (size_t i = 0; i < mdz_.size(); ++i) mdzIndex_.emplace(mdz_[i].FileName, int(i));
    auto range = mdzIndex_.equal_range(name);
    for (auto it = range.first; it != range.second; ++it)
        if (!mdz_[size_t(it->second)].Seen) return it->second;
    return -1;
}

// ---------------------------------------------------------------------------------------
// Disks

UINT TZipPacker::CheckForDisk() {
    driveType_ = diskDrive().DriveType(driveRoot_);
    ProcessPending();
    while (!IsDiskPresent() || newDisk_) {
        if (FixedDrive()) break;
        if (Unattended) throw EZipPacker(ZIPMSG_UNATTENDED_SPAN, true);
        std::string text;
        UINT icon = MB_ICONINFORMATION;
        if (reading_ && diskNr_ < 0) {
            text = LoadZipStr(ZIPMSG_INSERT_LAST, "Please insert last disk");
            icon = MB_ICONSTOP;
        } else if (reading_) {
            text = FormatZipStr(LoadZipStr(ZIPMSG_INSERT_VOLUME_OF, "Please insert disk volume %.1d of %.1d"),
                                {std::to_string(diskNr_ + 1), std::to_string(lastDisk_ + 1)});
        } else {
            int64_t partSize = maxVolumeSize_ ? (diskSize_ > 0 ? std::min<int64_t>(maxVolumeSize_, diskSize_) : maxVolumeSize_) : diskSize_;
            if (partSize > 0) {
                int64_t last = std::max<int64_t>(diskNr_, (inSize_ + 4 + keepFreeOnDisk1_) / partSize);
                text = FormatZipStr(LoadZipStr(ZIPMSG_INSERT_VOLUME_OF, "Please insert disk volume %.1d of %.1d"),
                                    {std::to_string(diskNr_ + 1), std::to_string(last + 1)});
            } else {
                text = FormatZipStr(LoadZipStr(ZIPMSG_INSERT_VOLUME, "Please insert disk volume %.1d"), {std::to_string(diskNr_ + 1)});
            }
        }
        text += FormatZipStr(LoadZipStr(ZIPMSG_IN_DRIVE, "\nin drive: %s"), {driveRoot_.substr(0, 2)});
        int answer = ui::desktop().MessageBox(AppWindow(), text, Title(), MB_OKCANCEL | icon);
        if (answer == 0) throw EZipPacker(ZIPMSG_MSGBOX_MEMORY, true);
        if (answer != IDOK) throw EZipPacker(ZIPMSG_CANCELED, false);
        newDisk_ = false;
    }
    newDisk_ = false;
    return driveType_;
}

bool TZipPacker::IsRightDisk(UINT driveType) {
    std::string number = zip::PartNumberText(diskNr_);
    if (driveType == DRIVE_FIXED || driveType == DRIVE_REMOTE) {
        spanIn_ = PartPath(diskNr_);
        return true;
    }
    // Other archivers label their disks without the space: both are the same disk.
    return SameLabel(volumeLabel_, kLabelPrefix + number) || SameLabel(volumeLabel_, "PKBACK#" + number);
}

// Info-ZIP's naming on a fixed or network drive: any part names the set, whose last part is
// name.zip.
void TZipPacker::DetectZipStyle() {
    zipStyle_ = false;
    if (!FixedDrive()) return;
    if (zip::IsZipStylePart(spanIn_)) {
        zipStyle_ = true;
        spanIn_ = zip::WithExtension(spanIn_, ".zip");
    } else if (!zip::ExtensionOf(spanIn_).empty() && ui::FileExists(zip::WithExtension(spanIn_, ".z01"))) {
        zipStyle_ = true;
    }
    setName_ = spanIn_;
}

// The file of a part on a fixed or network drive, named as the set being read names its parts.
std::string TZipPacker::PartPath(int disk) const {
    if (zipStyle_) return zip::ZipStylePartName(setName_, disk, lastDisk_);
    // A set of one part is the file itself, whatever its name.
    if (reading_ && lastDisk_ == 0) return spanIn_;
    std::string name = spanIn_;
    std::string base = zip::WithExtension(name, "");
    if (base.size() >= 3) name.replace(base.size() - 3, 3, zip::PartNumberText(disk));
    return name;
}

bool TZipPacker::OpenIn() {
    if (inFile_ != INVALID_HANDLE_VALUE) CloseHandle(inFile_);
    inFile_ = CreateFileA(spanIn_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    inAt_ = inLen_ = 0;
    return inFile_ != INVALID_HANDLE_VALUE;
}

void TZipPacker::GetNewDisk(int disk) {
    if (inFile_ != INVALID_HANDLE_VALUE) CloseHandle(inFile_);
    inFile_ = INVALID_HANDLE_VALUE;
    diskNr_ = disk;
    for (;;) {
        for (;;) {
            UINT type = CheckForDisk();
            if (IsRightDisk(type)) break;
            newDisk_ = true;  // a wrong disk: ask again
        }
        if (OpenIn()) return;
        // The part that is missing, by its number and its file.
        if (FixedDrive())
            throw EZipPacker(ZIPMSG_INPUT_MISSING, true, "part " + zip::PartNumberText(disk) + " of the set, " + spanIn_);
        ShowZipMessage(ZIPMSG_INPUT_MISSING, "");
        newDisk_ = true;
    }
}

// Reads exactly len bytes of the input; at the end of a part the next disk of the set follows
// when crossDisks allows it.
void TZipPacker::ReadIn(void* buf, int64_t len, int errId, bool crossDisks) {
    char* p = static_cast<char*>(buf);
    while (len > 0) {
        if (inAt_ == inLen_) {
            if (inBuf_.size() != kInBuffer) inBuf_.resize(kInBuffer);
            DWORD got = 0;
            if (inFile_ == INVALID_HANDLE_VALUE || !ReadFile(inFile_, inBuf_.data(), kInBuffer, &got, nullptr))
                throw EZipPacker(errId, true);
            inAt_ = 0;
            inLen_ = got;
            if (got == 0) {
                if (crossDisks && diskNr_ >= 0 && diskNr_ < lastDisk_) {
                    GetNewDisk(diskNr_ + 1);
                    continue;
                }
                throw EZipPacker(errId, true);
            }
        }
        size_t take = size_t(std::min<int64_t>(len, int64_t(inLen_ - inAt_)));
        std::memcpy(p, inBuf_.data() + inAt_, take);
        inAt_ += take;
        p += take;
        len -= int64_t(take);
    }
}

void TZipPacker::CloseSpanFiles() {
    if (inFile_ != INVALID_HANDLE_VALUE) CloseHandle(inFile_);
    inFile_ = INVALID_HANDLE_VALUE;
    if (outFile_ != INVALID_HANDLE_VALUE) CloseHandle(outFile_);
    outFile_ = INVALID_HANDLE_VALUE;
}

// ---------------------------------------------------------------------------------------
// The headers of the input, one walk for splitting and joining

// The next central header: its fixed part (raw in ch, decoded in the result) and its name; the
// extra field and the comment are left for the caller to copy.
zip::CentralHeader TZipPacker::ReadCentralHeader(uint8_t* ch, std::string& name, bool crossDisks) {
    ReadIn(ch, zip::kCentralSize, ZIPMSG_CEH_READ, crossDisks);
    if (zip::Get32(ch) != zip::kCentralSig) throw EZipPacker(ZIPMSG_CEH_SIG, true);
    zip::CentralHeader h;
    h.DecodeHeader(ch + 4);
    name.assign(h.FileNameLength, '\0');
    ReadIn(name.data(), h.FileNameLength, ZIPMSG_CEH_NAME, crossDisks);
    return h;
}

// The next local header (its signature already in lh when started), its name as stored and as
// shown, and the member's row in the table, marked as met.
MDZipData& TZipPacker::ReadLocalHeader(uint8_t* lh, bool started, zip::LocalHeader& h, std::string& name,
                                       std::string& shown, bool crossDisks) {
    if (started) ReadIn(lh + 4, zip::kLocalSize - 4, ZIPMSG_LOH_READ, crossDisks);
    else ReadIn(lh, zip::kLocalSize, ZIPMSG_LOH_READ, crossDisks);
    if (zip::Get32(lh) != zip::kLocalSig) throw EZipPacker(ZIPMSG_LOH_SIG, true);
    h.DecodeHeader(lh + 4);
    name.assign(h.FileNameLength, '\0');
    ReadIn(name.data(), h.FileNameLength, ZIPMSG_LOH_NAME, crossDisks);
    shown = ReplaceForwardSlash(name.c_str());
    int row = FindZipEntry(shown);
    if (row < 0) throw EZipPacker(ZIPMSG_LOH_NOT_FOUND, true);
    MDZipData& r = mdz_[size_t(row)];
    r.Seen = true;
    return r;
}

// A data descriptor into dd: 16 bytes with its signature, 12 without one. Returns its length.
int64_t TZipPacker::ReadDescriptor(uint8_t* dd, bool crossDisks) {
    ReadIn(dd, 4, ZIPMSG_DATA_DESC, crossDisks);
    int64_t len = zip::Get32(dd) == zip::kDescriptorSig ? 16 : 12;
    ReadIn(dd + 4, len - 4, ZIPMSG_DATA_DESC, crossDisks);
    return len;
}

// ---------------------------------------------------------------------------------------
// Writing a set

void TZipPacker::OpenPart() {
    for (;;) {
        if (diskNr_ >= zip::kMaxParts)
            throw EZipPacker(ZIPMSG_CREATE_OUTPUT, true, "a set has at most 999 parts; choose larger parts");
        CheckForDisk();
        partName_ = FixedDrive() ? zip::PartFileName(spanOut_, diskNr_) : spanOut_;
        if (!FixedDrive() && AddOptions.Contains(AddDiskSpanErase)) {
            FormatLabel = kLabelPrefix + zip::PartNumberText(diskNr_);
            int r = ZipFormat();
            if (r == -2) throw EZipPacker(ZIPMSG_CANCELED, false);
            if (r == -1) throw EZipPacker(ZIPMSG_CANCELED, true);
            // -3: no format dialog on this system; the disk is used as it is.
        }
        if (ui::FileExists(partName_)) {
            if (Unattended) throw EZipPacker(ZIPMSG_UNATTENDED_SPAN, true);
            int labelNo = LabelDiskNumber();
            if (labelNo <= 0) labelNo = 1;
            bool sameDate = false;
            {
                Handle h(CreateFileA(partName_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
                FILETIME c, a, w;
                if (h.Ok() && GetFileTime(h.Get(), &c, &a, &w)) sameDate = CompareFileTime(&w, &spanDate_) == 0;
            }
            // On a fixed drive a label says nothing about a part: only its name does.
            std::string text =
                !FixedDrive() && sameDate && labelNo <= diskNr_
                    ? FormatZipStr(LoadZipStr(ZIPMSG_PREVIOUS_DISK, ""), {std::to_string(labelNo)})
                    : FormatZipStr(LoadZipStr(ZIPMSG_FILE_EXISTS, ""), {partName_});
            int answer = ui::desktop().MessageBox(AppWindow(), text, "Confirm", MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
            if (answer == 0) throw EZipPacker(ZIPMSG_MSGBOX_MEMORY, true);
            if (answer == IDCANCEL) throw EZipPacker(ZIPMSG_CANCELED, false);
            if (answer == IDNO) {
                // Another disk can be put in a drive, but a fixed drive would only ask the same
                // question again: there No ends the set like Cancel.
                if (FixedDrive()) throw EZipPacker(ZIPMSG_CANCELED, false);
                newDisk_ = true;
                continue;
            }
            overwroteOld_ = true;
        }
        outFile_ = CreateFileA(partName_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (outFile_ == INVALID_HANDLE_VALUE) throw EZipPacker(ZIPMSG_CREATE_OUTPUT, true);
        if (FixedDrive()) partsWritten_.push_back(partName_);
        DiskFreeAndSize(3);
        int64_t usable = diskFree_;
        if (maxVolumeSize_ > 0 && (usable < 0 || usable > maxVolumeSize_)) usable = maxVolumeSize_;
        if (diskNr_ == 0) usable -= keepFreeOnDisk1_;
        if (usable < minFreeVolumeSize_) {
            CloseHandle(outFile_);
            outFile_ = INVALID_HANDLE_VALUE;
            DeleteFileA(partName_.c_str());
            if (FixedDrive()) partsWritten_.pop_back();
            if (Unattended) throw EZipPacker(ZIPMSG_UNATTENDED_SPAN, true);
            int answer = ui::desktop().MessageBox(AppWindow(), LoadZipStr(ZIPMSG_DISK_FULL, ""), Title(), MB_RETRYCANCEL | MB_ICONERROR);
            if (answer == 0) throw EZipPacker(ZIPMSG_MSGBOX_MEMORY, true);
            if (answer != IDRETRY) throw EZipPacker(ZIPMSG_CANCELED, false);
            newDisk_ = true;
            continue;
        }
        usable_ = usable;
        if (!FixedDrive()) {
            std::string label = kLabelPrefix + zip::PartNumberText(diskNr_);
            if (!diskDrive().SetVolumeLabel(driveRoot_, label)) throw EZipPacker(ZIPMSG_LABEL_SET, true);
            volumeLabel_ = label;
        }
        partOffset_ = 0;
        newDisk_ = false;
        return;
    }
}

void TZipPacker::FlushOut() {
    if (outLen_ == 0) return;
    DWORD written = 0;
    bool ok = WriteFile(outFile_, outBuf_.data(), DWORD(outLen_), &written, nullptr) && written == outLen_;
    outLen_ = 0;
    if (!ok) throw EZipPacker(ZIPMSG_WRITE_OUTPUT, true);
}

void TZipPacker::PutOut(const void* buf, int64_t len) {
    if (outBuf_.size() != kInBuffer) outBuf_.resize(kInBuffer);
    const char* p = static_cast<const char*>(buf);
    while (len > 0) {
        if (outLen_ == outBuf_.size()) FlushOut();
        size_t take = size_t(std::min<int64_t>(len, int64_t(outBuf_.size() - outLen_)));
        std::memcpy(outBuf_.data() + outLen_, p, take);
        outLen_ += take;
        p += take;
        len -= int64_t(take);
    }
}

void TZipPacker::ClosePart() {
    if (outFile_ == INVALID_HANDLE_VALUE) return;
    FlushOut();
    SetFileTime(outFile_, nullptr, nullptr, &spanDate_);
    CloseHandle(outFile_);
    outFile_ = INVALID_HANDLE_VALUE;
}

void TZipPacker::WriteSplit(const void* buf, int64_t len, int64_t keepTogether) {
    Breathe();
    if (CancelRequested) throw EZipPacker(ZIPMSG_CANCELED, false);
    const char* p = static_cast<const char*>(buf);
    for (;;) {
        if (outFile_ == INVALID_HANDLE_VALUE) OpenPart();
        if (keepTogether > usable_) {
            // What must stay together is larger than a whole part: no disk of this size holds it.
            if (partOffset_ == 0) throw EZipPacker(ZIPMSG_DISK_FULL, true);
            ClosePart();
            ++diskNr_;
            newDisk_ = true;
            continue;
        }
        int64_t n = std::min(len, usable_);
        if (n > 0) {
            PutOut(p, n);
            if (showProgress_) Progress(ptBytesDone, "", n);
            usable_ -= n;
            partOffset_ += n;
            p += n;
            len -= n;
        }
        if (len == 0) return;
        ClosePart();
        ++diskNr_;
        newDisk_ = true;
        keepTogether = 0;
    }
}

void TZipPacker::RWSplitData(int64_t len, int errId) {
    char buf[kChunk];
    while (len > 0) {
        int64_t n = std::min(len, kChunk);
        ReadIn(buf, n, errId, false);
        WriteSplit(buf, n, 0);
        len -= n;
    }
}

// Reports what ended a split or a join, from inside its catch handler, and gives the result:
// -7 a failure of the component's own (already in its message table), -8 out of memory,
// -9 anything else.
int TZipPacker::SpanFailure() {
    try {
        throw;
    } catch (const EZipPacker& e) {
        ShowExceptionError(e);
        return -7;
    } catch (const std::bad_alloc&) {
        ShowZipMessage(ZIPMSG_NO_MEMORY, "");
        return -8;
    } catch (const std::exception& e) {
        ShowZipMessage(ZIPMSG_SPAN_UNKNOWN, e.what());
        return -9;
    }
}

int TZipPacker::WriteSpan(const std::string& InFileName, const std::string& OutFileName) {
    const bool wasBusy = zipBusy_;
    zipBusy_ = true;
    WaitCursor wait;
    int result = 0;
    reading_ = false;
    showProgress_ = false;
    partsWritten_.clear();
    try {
        SetDriveRoot(OutFileName);
        spanOut_ = OutFileName;
        spanIn_ = InFileName;
        diskNr_ = lastDisk_ = 0;
        usable_ = partOffset_ = 0;
        newDisk_ = true;
        if (Verbose && OnMessage) OnMessage(this, 0, "Now creating spanning chunks from " + InFileName + " to " + OutFileName);
        if (!ui::FileExists(InFileName)) throw EZipPacker(ZIPMSG_INPUT_MISSING, true);
        ZipListing L;
        {
            FileSource src(InFileName);
            if (!src.Ok()) throw EZipPacker(ZIPMSG_INPUT_MISSING, true);
            L = ReadZipListing(src);
            ReportEndRecord(L.end, true, -1);
            if (L.error) throw EZipPacker(L.error, true);
        }
        const ZipEndOfCentral eoc = L.end.record;
        AllocSpanMem(int(L.entries.size()));
        for (size_t i = 0; i < L.entries.size(); ++i) {
            mdz_[i].FileName = L.entries[i].FileName;
            mdz_[i].FileNameLen = L.entries[i].FileNameLength;
            mdz_[i].ComprSize = L.entries[i].ComprSize;
        }
        if (!OpenIn()) throw EZipPacker(ZIPMSG_INPUT_MISSING, true);
        FILETIME c, a;
        LARGE_INTEGER size;
        if (!GetFileTime(inFile_, &c, &a, &spanDate_) || !GetFileSizeEx(inFile_, &size)) throw EZipPacker(ZIPMSG_SEEK_INPUT, true);
        inSize_ = size.QuadPart;

        // Three digits number at most 999 parts: a set that needs more is refused before
        // anything is written (numbers would wrap round onto the set's own first parts).
        const UINT outType = diskDrive().DriveType(driveRoot_);
        if ((outType == DRIVE_FIXED || outType == DRIVE_REMOTE) && maxVolumeSize_ > 0) {
            int64_t parts = (inSize_ + 4 + keepFreeOnDisk1_ + maxVolumeSize_ - 1) / maxVolumeSize_;
            if (parts > zip::kMaxParts)
                throw EZipPacker(ZIPMSG_CREATE_OUTPUT, true,
                                 "a set has at most 999 parts, and parts of " + std::to_string(maxVolumeSize_) +
                                     " bytes would make " + std::to_string(parts) + "; choose larger parts");
        }
        overwroteOld_ = false;
        uint8_t marker[4];
        zip::Put32(marker, zip::kSpanMarkerSig);
        WriteSplit(marker, 4, 0);
        showProgress_ = true;
        Progress(ptFileCount, "", int64_t(mdz_.size()));
        Progress(ptByteCount, "", inSize_);
        const std::string copying = LoadZipStr(ZIPMSG_COPYING, "Copying: ");

        for (size_t i = 0; i < mdz_.size(); ++i) {
            uint8_t lh[zip::kLocalSize];
            zip::LocalHeader h;
            std::string name, shown;
            MDZipData& r = ReadLocalHeader(lh, false, h, name, shown, false);
            uint16_t n = h.FileNameLength, e = h.ExtraFieldLength;
            // The central directory's size: a member written with a data descriptor may hold
            // 0 in its local header.
            const bool descriptor = h.Flag & zip::kFlagDescriptor;
            if (OnMessage) OnMessage(this, 0, copying + shown);
            Progress(ptFileStart, shown, int64_t(h.Length()) + r.ComprSize + (descriptor ? 16 : 0));
            WriteSplit(lh, sizeof lh, int64_t(sizeof lh) + n + e);
            r.DiskStart = diskNr_;
            r.RelOffLocal = partOffset_ - int64_t(sizeof lh);
            WriteSplit(name.data(), n, 0);
            RWSplitData(e, ZIPMSG_LOH_EXTRA);
            RWSplitData(r.ComprSize, ZIPMSG_ZIPPED_DATA);
            if (descriptor) {
                // 16 bytes with its signature, 12 without one.
                uint8_t dd[16];
                WriteSplit(dd, ReadDescriptor(dd, false), 0);
            }
        }

        const std::string cdText = LoadZipStr(ZIPMSG_CENTRAL_DIR, "central directory");
        if (OnMessage) OnMessage(this, 0, copying + cdText);
        Progress(ptFileStart, cdText, int64_t(eoc.CentralSize) + eoc.ZipCommentLen + 22);
        // Members and directory lie back to back, but an archive may hold more between them.
        LARGE_INTEGER pos;
        pos.QuadPart = L.centralStart;
        if (!SetFilePointerEx(inFile_, pos, nullptr, FILE_BEGIN)) throw EZipPacker(ZIPMSG_SEEK_INPUT, true);
        inAt_ = inLen_ = 0;
        int cdDisk = -1;
        int64_t cdOffset = 0;
        for (size_t i = 0; i < mdz_.size(); ++i) {
            uint8_t ch[zip::kCentralSize];
            std::string name;
            zip::CentralHeader h = ReadCentralHeader(ch, name, false);
            uint16_t n = h.FileNameLength, e = h.ExtraFieldLength, c = h.FileCommentLen;
            // Rows are in directory order: this header's member is row i.
            const MDZipData& r = mdz_[i];
            if (!r.Seen) throw EZipPacker(ZIPMSG_LOH_NOT_FOUND, true);
            h.StartOnDisk = uint16_t(r.DiskStart);
            h.RelOffLocalHdr = uint32_t(r.RelOffLocal);
            h.EncodeHeader(ch + 4);
            WriteSplit(ch, sizeof ch, int64_t(sizeof ch) + n + e + c);
            if (cdDisk < 0) {
                // Where the first header really went: on the next disk when this one was full.
                cdDisk = diskNr_;
                cdOffset = partOffset_ - int64_t(sizeof ch);
            }
            WriteSplit(name.data(), n, 0);
            RWSplitData(e, ZIPMSG_CEH_EXTRA);
            RWSplitData(c, ZIPMSG_FILE_COMMENT);
        }
        uint8_t end[zip::kEndSize];
        ReadIn(end, sizeof end, ZIPMSG_SEEK_INPUT, false);
        // The end record and the comment stay together: make room first, then number it.
        WriteSplit(nullptr, 0, int64_t(sizeof end) + eoc.ZipCommentLen);
        if (cdDisk < 0) {
            cdDisk = diskNr_;
            cdOffset = partOffset_;
        }
        ZipEndOfCentral out = eoc;
        out.ThisDiskNo = uint16_t(diskNr_);
        out.CentralDiskNo = uint16_t(cdDisk);
        out.CentralOffset = uint32_t(cdOffset);
        out.Encode(end);
        WriteSplit(end, sizeof end, 0);
        RWSplitData(eoc.ZipCommentLen, ZIPMSG_ZIP_COMMENT);
        ClosePart();
        // Written over an earlier, longer set: its parts after this set's last would be taken
        // for this set's by a join, so they go now that the new set is complete.
        if (FixedDrive() && overwroteOld_)
            for (int k = diskNr_ + 1; k < zip::kMaxParts && ui::FileExists(zip::PartFileName(spanOut_, k)); ++k)
                DeleteFileA(zip::PartFileName(spanOut_, k).c_str());
    } catch (...) {
        result = SpanFailure();
    }
    Progress(ptBatchDone, "", 0);
    showProgress_ = false;
    outLen_ = 0;
    CloseSpanFiles();
    // A set that did not come to an end is no set: its parts on a fixed drive go again (parts
    // on disks already handed back cannot be reached).
    if (result != 0)
        for (const std::string& p : partsWritten_) DeleteFileA(p.c_str());
    partsWritten_.clear();
    DeleteSpanMem();
    zipBusy_ = wasBusy;
    return result;
}

// ---------------------------------------------------------------------------------------
// Joining a set

void TZipPacker::WriteJoin(const void* buf, int64_t len, int errId) {
    try {
        PutOut(buf, len);
    } catch (const EZipPacker&) {
        throw EZipPacker(errId, true);
    }
    outPos_ += len;
    if (showProgress_ && len > 0) Progress(ptBytesDone, "", len);
}

void TZipPacker::RWJoinData(int64_t len, int errId) {
    char buf[kChunk];
    while (len > 0) {
        Breathe();
        if (CancelRequested) throw EZipPacker(ZIPMSG_CANCELED, false);
        int64_t n = std::min(len, kChunk);
        ReadIn(buf, n, errId, true);
        if (joinTap_) joinTap_(buf, size_t(n));
        WriteJoin(buf, n, ZIPMSG_WRITE_OUTPUT);
        len -= n;
    }
}

int TZipPacker::ReadSpan(const std::string& InFileName, std::string& TmpFile) {
    const bool wasBusy = unzBusy_;
    unzBusy_ = true;
    WaitCursor wait;
    int result = 0;
    reading_ = true;
    showProgress_ = false;
    std::string target, joined;
    try {
        SetDriveRoot(InFileName);
        spanIn_ = InFileName;
        diskNr_ = -1;
        lastDisk_ = 0;
        newDisk_ = false;
        outPos_ = 0;
        outLen_ = 0;
        // The joined archive is written under a temporary name and only takes its own name
        // when complete, so a join that fails leaves neither a partial archive nor a damaged
        // older one.
        const bool dirOnly = TmpFile.empty() || TmpFile.back() == '\\' || TmpFile.back() == '/';
        std::string dir = dirOnly ? (TmpFile.empty() ? std::string(".\\") : TmpFile) : DirOf(TmpFile);
        char tmp[MAX_PATH + 1];
        if (!GetTempFileNameA(dir.c_str(), "zip", 0, tmp)) throw EZipPacker(ZIPMSG_TEMP_CREATE, true);
        if (dirOnly) {
            DeleteFileA(tmp);
            target = joined = zip::WithExtension(tmp, ".zip");
        } else {
            // The name as given: a join asked for "out.bin" writes "out.bin".
            joined = tmp;
            target = TmpFile;
        }
        outFile_ = CreateFileA(joined.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (outFile_ == INVALID_HANDLE_VALUE) {
            DeleteFileA(joined.c_str());
            throw EZipPacker(ZIPMSG_CREATE_OUTPUT, true);
        }

        // The last part: it holds the end record.
        CheckForDisk();
        DetectZipStyle();
        zip::EndRecord end;
        for (;;) {
            {
                FileSource src(spanIn_);
                if (src.Ok()) end = ReadComponentEndRecord(src);
                else if (FixedDrive()) throw EZipPacker(ZIPMSG_INPUT_MISSING, true);
            }
            if (end.found) break;
            if (end.fault.kind == zip::Fault::EndUnreadable) throw EZipPacker(ListingFault(end.fault, false, -1), true);
            if (FixedDrive()) {
                int number = NumberBeforeExt(spanIn_);
                if (zipStyle_ || number < 0)
                    throw EZipPacker(ZIPMSG_NOT_A_ZIP, true, spanIn_ + " has no end record and is no numbered part of a set");
                if (number == 1) throw EZipPacker(ZIPMSG_FIRST_DISK, true);
                throw EZipPacker(ZIPMSG_NTH_DISK, number);
            }
            newDisk_ = true;
            CheckForDisk();
        }
        const ZipEndOfCentral eoc = end.record;
        lastDisk_ = diskNr_ = eoc.ThisDiskNo;
        // The joined archive must not take the place of a part it is made from.
        if (FixedDrive() && !dirOnly)
            for (int k = 0; k <= lastDisk_; ++k)
                if (SamePath(PartPath(k), target))
                    throw EZipPacker(ZIPMSG_SAME_ARCHIVE, true, target + " is part " + zip::PartNumberText(k) + " of the set");
        if (!OpenIn()) throw EZipPacker(ZIPMSG_INPUT_MISSING, true, spanIn_);
        FILETIME c, a;
        GetFileTime(inFile_, &c, &a, &spanDate_);

        // The central directory first: every member's name and size.
        AllocSpanMem(eoc.TotalEntries);
        if (eoc.CentralDiskNo != diskNr_) GetNewDisk(eoc.CentralDiskNo);
        LARGE_INTEGER pos;
        pos.QuadPart = eoc.CentralOffset;
        if (!SetFilePointerEx(inFile_, pos, nullptr, FILE_BEGIN)) throw EZipPacker(ZIPMSG_CEH_READ, true);
        inAt_ = inLen_ = 0;
        int64_t total = 0;
        std::string field;
        for (MDZipData& r : mdz_) {
            uint8_t ch[zip::kCentralSize];
            zip::CentralHeader h = ReadCentralHeader(ch, r.FileName, true);
            uint16_t n = h.FileNameLength, e = h.ExtraFieldLength, cl = h.FileCommentLen;
            r.FileNameLen = n;
            r.FileName = ReplaceForwardSlash(r.FileName.c_str());
            r.ComprSize = h.ComprSize;
            r.Flag = h.Flag;
            r.Method = h.ComprMethod;
            r.Crc = h.CRC32;
            r.UncomprSize = h.UncomprSize;
            field.resize(size_t(e) + cl);
            ReadIn(field.data(), int64_t(e) + cl, ZIPMSG_CEH_EXTRA, true);
            total += int64_t(n) + r.ComprSize + e + cl;
        }

        GetNewDisk(0);
        showProgress_ = true;
        Progress(ptFileCount, "", int64_t(mdz_.size()));
        Progress(ptByteCount, "", total);
        uint8_t lh[zip::kLocalSize];
        ReadIn(lh, 4, ZIPMSG_EXT_LOCAL_SIG, true);
        // A set starts with the spanning marker (or the marker of a set that fitted on one
        // disk); some archivers start the first part with the first member instead.
        bool pending = zip::Get32(lh) == zip::kLocalSig;
        if (!pending && zip::Get32(lh) != zip::kSpanMarkerSig && zip::Get32(lh) != zip::kOneDiskMarkerSig)
            throw EZipPacker(ZIPMSG_EXT_LOCAL_SIG, true);
        const std::string copying = LoadZipStr(ZIPMSG_COPYING, "Copying: ");
        for (size_t i = 0; i < mdz_.size(); ++i) {
            zip::LocalHeader h;
            std::string name, shown;
            MDZipData& r = ReadLocalHeader(lh, pending, h, name, shown, true);
            pending = false;
            uint16_t n = h.FileNameLength, e = h.ExtraFieldLength;
            uint32_t size = h.ComprSize;
            r.DiskStart = 0;
            r.RelOffLocal = outPos_;
            // The directory's size when the local header has none: 0 behind a data descriptor,
            // all ones when the size is in a Zip64 field (Info-ZIP writes members read from a
            // pipe so).
            const bool descriptor = h.Flag & zip::kFlagDescriptor;
            // Each local header agrees with its directory row: parts of two sets with the same
            // member names, mixed, differ here (or, failing that, in the data's CRC below).
            const bool sizeKnown = size != 0 && size != 0xFFFFFFFFu;
            if (h.ComprMethod != r.Method || (h.Flag & zip::kFlagEncrypted) != (r.Flag & zip::kFlagEncrypted) ||
                (sizeKnown && size != r.ComprSize) || (!(descriptor && h.CRC32 == 0) && h.CRC32 != r.Crc))
                throw EZipPacker(ZIPMSG_LOH_NOT_FOUND, true,
                                 "the local header of \"" + shown + "\" in " + spanIn_ +
                                     " does not agree with the set's directory; the parts come from different sets or are damaged");
            if (!sizeKnown) size = r.ComprSize;
            if (OnMessage) OnMessage(this, 0, copying + shown);
            Progress(ptFileStart, shown, int64_t(h.Length()) + size + (descriptor ? 16 : 0));
            WriteJoin(lh, sizeof lh, ZIPMSG_LOH_WRITE);
            WriteJoin(name.data(), n, ZIPMSG_LOH_WRITE);
            RWJoinData(e, ZIPMSG_LOH_EXTRA);
            std::unique_ptr<MemberCheck> check;
            if (!(r.Flag & zip::kFlagEncrypted) && (r.Method == 0 || r.Method == 8) && r.UncomprSize != 0xFFFFFFFFu) {
                check = std::make_unique<MemberCheck>(r.Method);
                joinTap_ = [&check](const char* p, size_t n) { check->Feed(p, n); };
            }
            RWJoinData(size, ZIPMSG_ZIPPED_DATA);
            joinTap_ = nullptr;
            if (check) {
                std::string why = check->Verdict(r.Crc, r.UncomprSize);
                if (!why.empty())
                    throw EZipPacker(ZIPMSG_ZIPPED_DATA, true,
                                     "\"" + shown + "\" (up to " + spanIn_ + "): " + why +
                                         "; the parts come from different sets or are damaged");
            }
            if (descriptor) {
                uint8_t dd[16];
                WriteJoin(dd, ReadDescriptor(dd, true), ZIPMSG_DATA_DESC);
            }
        }

        const int64_t cdStart = outPos_;
        for (size_t i = 0; i < mdz_.size(); ++i) {
            uint8_t ch[zip::kCentralSize];
            zip::CentralHeader h = ReadCentralHeader(ch, field, true);
            uint16_t n = h.FileNameLength, e = h.ExtraFieldLength, cl = h.FileCommentLen;
            if (!mdz_[i].Seen) throw EZipPacker(ZIPMSG_LOH_NOT_FOUND, true);
            h.StartOnDisk = 0;
            h.RelOffLocalHdr = uint32_t(mdz_[i].RelOffLocal);
            h.EncodeHeader(ch + 4);
            WriteJoin(ch, sizeof ch, ZIPMSG_CEH_WRITE);
            WriteJoin(field.data(), n, ZIPMSG_CEH_WRITE);
            RWJoinData(e, ZIPMSG_CEH_EXTRA);
            RWJoinData(cl, ZIPMSG_FILE_COMMENT);
        }
        uint8_t eb[zip::kEndSize];
        ReadIn(eb, sizeof eb, ZIPMSG_SEEK_INPUT, true);
        if (zip::Get32(eb) != zip::kEndSig) throw EZipPacker(ZIPMSG_EOC_READ, true);
        ZipEndOfCentral out = ZipEndOfCentral::Decode(eb);
        out.ThisDiskNo = out.CentralDiskNo = 0;
        out.CentralEntries = out.TotalEntries;
        out.CentralSize = uint32_t(outPos_ - cdStart);
        out.CentralOffset = uint32_t(cdStart);
        out.Encode(eb);
        WriteJoin(eb, sizeof eb, ZIPMSG_EOC_WRITE);
        RWJoinData(out.ZipCommentLen, ZIPMSG_ZIP_COMMENT);
        Progress(ptBatchDone, "", 0);
        showProgress_ = false;
        FlushOut();
        SetFileTime(outFile_, nullptr, nullptr, &spanDate_);
        CloseSpanFiles();
        if (joined != target) {
            if (ui::FileExists(target)) EraseFile(target, HowToDelete);
            if (!MoveFileA(joined.c_str(), target.c_str())) throw EZipPacker(ZIPMSG_CREATE_OUTPUT, true);
        }
        TmpFile = target;
    } catch (...) {
        joinTap_ = nullptr;
        result = SpanFailure();
    }
    zipStyle_ = false;
    if (showProgress_) Progress(ptBatchDone, "", 0);
    showProgress_ = false;
    outLen_ = 0;
    CloseSpanFiles();
    if (result != 0) {
        if (!joined.empty()) DeleteFileA(joined.c_str());
        TmpFile.clear();
    }
    DeleteSpanMem();
    reading_ = false;
    unzBusy_ = wasBusy;
    return result;
}
