// Disk sets and self-extractors: part files on a fixed drive, disks swapped in a drive whose
// label and free space the test controls (Wine cannot show a changed label while its server
// runs), the floppy drive A: of the test prefix for what each disk really receives, cancelled
// and refused operations that must leave nothing behind, and ConvertSFX / ConvertZIP.
#include "SpanFormat.h"

#include "ComponentTest.h"

using namespace testing_support;

namespace {

// A removable drive whose disks are folders: the drive's folder holds the set file of the disk
// that is in; each disk keeps its own label.
class SwappedDisks : public TDiskDrive {
public:
    std::string drive;
    std::vector<std::string> labels;
    int in = -1;
    std::string Disk(int d) const { return drive + ".disk" + std::to_string(d); }
    UINT DriveType(const std::string&) override { return DRIVE_REMOVABLE; }
    bool VolumeInformation(const std::string&, std::string& label, DWORD& serial, DWORD& err) override {
        err = ERROR_NOT_READY;
        if (in < 0) return false;
        label = labels[size_t(in)];
        serial = DWORD(in);
        return true;
    }
    void FreeAndSize(const std::string&, int64_t& free, int64_t& size) override {
        size = in < 0 ? -1 : 150000;
        free = in < 0 ? -1 : 150000 - int64_t(ReadFile(drive + "\\set.zip").size());
    }
    bool SetVolumeLabel(const std::string&, const std::string& label) override {
        labels[size_t(in)] = label;
        return true;
    }
    void Insert(int d) {
        if (in >= 0) MoveFileA((drive + "\\set.zip").c_str(), (Disk(in) + "\\set.zip").c_str());
        if (labels.size() <= size_t(d)) labels.resize(size_t(d) + 1);
        CreateDirectoryA(Disk(d).c_str(), nullptr);
        MoveFileA((Disk(d) + "\\set.zip").c_str(), (drive + "\\set.zip").c_str());
        in = d;
    }
};

// A source archive written by Info-ZIP: a member streamed from standard input (so it carries a
// data descriptor), an incompressible one and a compressible one, and an archive comment.
class SpanTest : public ComponentTest {
protected:
    TZipPacker z;
    std::string source;
    int64_t size = 0;
    void SetUp() override {
        source = scratch / "source.zip";
        Host("cd '" + UnixPath(scratch.Path()) + "' && head -c 200000 /dev/urandom > noise.bin && seq 1 40000 > count.txt && "
             "printf streamed | zip -q source.zip - && echo 'set comment' | zip -q -z source.zip noise.bin count.txt", scratch);
        size = int64_t(ReadFile(source).size());
        ASSERT_GT(size, 200000) << "Info-ZIP zip is needed";
        z.HowToDelete = htdFinal;
    }
    void TearDown() override { SetDiskDrive(nullptr); }
    std::string Part(int n) { return scratch / ("set" + zip::PartNumberText(n - 1) + ".zip"); }
};

}  // namespace

TEST_F(SpanTest, FixedDrivePartsJoinBackByteForByte) {
    z.SetMaxVolumeSize(100000);
    z.SetKeepFreeOnDisk1(30000);
    int64_t reported = 0;
    z.OnProgress = [&](TObject*, ProgressType t, const std::string&, long n) {
        if (t == ptBytesDone) reported += n;
    };
    ASSERT_EQ(z.WriteSpan(source, scratch / "set.zip"), 0) << z.ErrorText;
    EXPECT_TRUE(Boxes().empty());
    int64_t total = 0;
    int parts = 0;
    for (; Exists(Part(parts + 1)); ++parts) {
        std::string part = ReadFile(Part(parts + 1));
        EXPECT_LE(part.size(), parts == 0 ? 70000u : 100000u) << "part " << parts + 1;
        total += int64_t(part.size());
    }
    ASSERT_GE(parts, 3);
    EXPECT_EQ(ReadFile(scratch / "set001.zip").substr(0, 4), std::string("PK\x07\x08", 4));
    EXPECT_EQ(reported, total - 4);  // all but the spanning marker

    // Other archivers read the set under their own names.
    std::string u = UnixPath(scratch.Path());
    std::string renames;
    for (int i = 1; i <= parts; ++i)
        renames += "cp set00" + std::to_string(i) + ".zip 7z." + (i == parts ? std::string("zip") : "z0" + std::to_string(i)) + " && ";
    std::string r = Host("cd '" + u + "' && " + renames + "7z t 7z.zip", scratch);
    EXPECT_NE(r.find("Everything is Ok"), std::string::npos) << r;

    // The first part does not start a join; the last one does, and gives the source back.
    std::string out = scratch / "joined.zip";
    EXPECT_EQ(z.ReadSpan(scratch / "set001.zip", out), -7);
    EXPECT_EQ(z.ErrorCode, ZIPMSG_FIRST_DISK);
    EXPECT_TRUE(out.empty());
    out = scratch / "joined.zip";
    ASSERT_EQ(z.ReadSpan(Part(parts), out), 0) << z.ErrorText;
    EXPECT_EQ(out, scratch / "joined.zip");
    EXPECT_TRUE(ReadFile(out) == ReadFile(source));
}

TEST_F(SpanTest, SetOverALongerOneLeavesNoStalePartAndTooManyPartsAreRefused) {
    z.SetMaxVolumeSize(50000);
    z.SetMinFreeVolumeSize(1000);
    ASSERT_EQ(z.WriteSpan(source, scratch / "set.zip"), 0) << z.ErrorText;
    ASSERT_TRUE(Exists(Part(5)));
    desk.onMessage = [](const std::string&) { return IDYES; };  // overwrite the earlier parts
    z.SetMaxVolumeSize(150000);
    ASSERT_EQ(z.WriteSpan(source, scratch / "set.zip"), 0) << z.ErrorText;
    EXPECT_TRUE(Exists(Part(2)));
    EXPECT_FALSE(Exists(Part(3)));
    std::string out = scratch / "joined.zip";
    ASSERT_EQ(z.ReadSpan(Part(2), out), 0) << z.ErrorText;
    EXPECT_TRUE(ReadFile(out) == ReadFile(source));
    // 1,000 parts would wrap round onto the set's first: refused before anything is written.
    z.SetMaxVolumeSize(200);
    z.SetMinFreeVolumeSize(100);
    EXPECT_EQ(z.WriteSpan(source, scratch / "many.zip"), -7);
    EXPECT_FALSE(Exists(scratch / "many001.zip"));
}

TEST_F(SpanTest, CancelledJoinLeavesOldArchiveAndNoTemporaryFile) {
    z.SetMaxVolumeSize(100000);
    ASSERT_EQ(z.WriteSpan(source, scratch / "set.zip"), 0);
    CreateDirectoryA((scratch / "out").c_str(), nullptr);
    WriteFile(scratch / "out\\joined.zip", "older archive");
    z.OnProgress = [&](TObject*, ProgressType t, const std::string&, long) {
        if (t == ptBytesDone) z.CancelRequested = true;
    };
    std::string out = scratch / "out\\joined.zip";
    EXPECT_EQ(z.ReadSpan(Part(3), out), -7);
    EXPECT_EQ(z.ErrorCode, ZIPMSG_CANCELED);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(ReadFile(scratch / "out\\joined.zip"), "older archive");
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((scratch / "out\\*.*").c_str(), &fd);
    int files = 0;
    do files += !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    EXPECT_EQ(files, 1);
}

TEST_F(SpanTest, SwappedDisksAreLabelledAskedForAndChecked) {
    SwappedDisks disks;
    disks.drive = scratch / "drive";
    CreateDirectoryA(disks.drive.c_str(), nullptr);
    SetDiskDrive(&disks);
    bool reinsertedOld = false;
    desk.onMessage = [&](const std::string& text) {
        if (text.rfind("ATTENTION", 0) == 0) return IDNO;
        int n = atoi(text.c_str() + text.find("volume ") + 7);
        // The first time disk 2 is asked for, disk 1 goes in again.
        if (n == 2 && !reinsertedOld) {
            reinsertedOld = true;
            disks.Insert(0);
        } else {
            disks.Insert(n - 1);
        }
        return IDOK;
    };
    const std::string set = disks.drive + "\\set.zip";
    disks.Insert(0);
    ASSERT_EQ(z.WriteSpan(source, set), 0) << z.ErrorText;
    ASSERT_GE(Boxes().size(), 4u);
    EXPECT_EQ(Boxes()[0].text, "Please insert disk volume 1 of " + std::to_string((size + 4) / 150000 + 1) + "\nin drive: " +
                                      disks.drive.substr(0, 2));
    EXPECT_EQ(Boxes()[0].flags, UINT(MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(Boxes()[2].text, "ATTENTION: This is previous disk no 1!!!\nAre you sure you want to overwrite the contents");
    EXPECT_EQ(Boxes()[2].caption, "Confirm");
    EXPECT_EQ(Boxes()[2].flags, UINT(MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON2));
    const int count = int(disks.labels.size());
    ASSERT_GE(count, 2);
    for (int d = 0; d < count; ++d) EXPECT_EQ(disks.labels[size_t(d)], "PKBACK# " + zip::PartNumberText(d));
    disks.Insert(0);
    EXPECT_EQ(ReadFile(set).substr(0, 4), std::string("PK\x07\x08", 4));

    // Joining: disk 1 is in, so the last disk is asked for; a wrong disk is refused; the label
    // that other archivers write (without the space) is read as well.
    disks.labels[1] = "PKBACK#002";
    desk.Clear();
    bool wrongGiven = false;
    desk.onMessage = [&](const std::string& text) {
        if (text.rfind("Please insert last disk", 0) == 0) {
            disks.Insert(count - 1);
        } else {
            int n = atoi(text.c_str() + text.find("volume ") + 7);
            disks.Insert(!wrongGiven && n == 1 ? count - 1 : n - 1);
            wrongGiven = wrongGiven || n == 1;
        }
        return IDOK;
    };
    std::string out = scratch / "joined.zip";
    ASSERT_EQ(z.ReadSpan(set, out), 0) << z.ErrorText;
    EXPECT_TRUE(ReadFile(out) == ReadFile(source));
    ASSERT_GE(Boxes().size(), 3u);
    EXPECT_EQ(Boxes()[0].text, "Please insert last disk\nin drive: " + disks.drive.substr(0, 2));
    EXPECT_EQ(Boxes()[0].flags, UINT(MB_OKCANCEL | MB_ICONSTOP));
    int asksForFirst = 0;
    for (const Call& b : Boxes()) asksForFirst += b.text.rfind("Please insert disk volume 1 of " + std::to_string(count), 0) == 0;
    EXPECT_EQ(asksForFirst, 2);

    // Cancel at a prompt ends the set quietly; nobody to swap disks: refused without a box.
    desk.Clear();
    desk.onMessage = [](const std::string&) { return IDCANCEL; };
    EXPECT_EQ(z.WriteSpan(source, set), -7);
    EXPECT_EQ(z.ErrorCode, ZIPMSG_CANCELED);
    EXPECT_EQ(Boxes().size(), 1u);
    desk.Clear();
    z.Unattended = true;
    EXPECT_EQ(z.WriteSpan(source, set), -7);
    EXPECT_EQ(z.ErrorCode, ZIPMSG_UNATTENDED_SPAN);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SpanTest, FloppyDriveDisksReceiveTheirPartAndLabel) {
    ASSERT_EQ(GetDriveTypeA("A:\\"), UINT(DRIVE_REMOVABLE)) << "A: is declared a floppy drive by scripts/env.sh";
    DeleteFileA("A:\\set.zip");
    std::vector<std::string> labels;
    auto takeOut = [&] {
        int d = int(labels.size());
        labels.push_back(ReadFile("A:\\.windows-label"));
        CopyFileA("A:\\set.zip", Part(d + 1).c_str(), FALSE);
        DeleteFileA("A:\\set.zip");
    };
    desk.onMessage = [&](const std::string& text) {
        if (text.find("volume 1 of") == std::string::npos) takeOut();
        return IDOK;
    };
    z.SetMaxVolumeSize(100000);
    // Each disk is first offered to the shell's format dialog on its own thread; Wine has
    // none (-3), and the disk is used as it is.
    z.AddOptions = {AddDiskSpanErase};
    ASSERT_EQ(z.ZipFormat(), -3);
    ASSERT_EQ(z.WriteSpan(source, "A:\\set.zip"), 0) << z.ErrorText;
    takeOut();
    const std::string count = std::to_string((size + 4) / 100000 + 1);
    ASSERT_EQ(std::to_string(labels.size()), count);
    for (size_t d = 0; d < labels.size(); ++d) EXPECT_EQ(labels[d].substr(0, 11), "PKBACK# " + zip::PartNumberText(int(d)));
    EXPECT_EQ(Boxes()[0].text, "Please insert disk volume 1 of " + count + "\nin drive: A:");
    // The disks' files, laid side by side as parts, are the set.
    std::string out = scratch / "joined.zip";
    ASSERT_EQ(z.ReadSpan(Part(int(labels.size())), out), 0) << z.ErrorText;
    EXPECT_TRUE(ReadFile(out) == ReadFile(source));
}

TEST_F(SpanTest, SpannedAddEndsItsBatchOnce) {
    z.Unattended = true;
    z.SetDLLDirectory(EngineDir());
    z.AddOptions = {AddDiskSpan};
    z.SetMaxVolumeSize(100000);
    z.SetMinFreeVolumeSize(1000);
    int batches = 0;
    z.OnProgress = [&](TObject*, ProgressType t, const std::string&, long) { batches += t == ptBatchDone; };
    z.SetZipFileName(scratch / "set.zip");
    z.FSpecArgs = {scratch / "noise.bin", scratch / "count.txt"};
    z.Add();
    EXPECT_EQ(z.FilesProcessed, 2) << z.ErrorText;
    EXPECT_TRUE(Exists(Part(3)));
    EXPECT_EQ(batches, 1);
}

TEST_F(SpanTest, AddRefusesASpannedSelfExtractorBeforeWritingIt) {
    z.Unattended = true;
    z.SetDLLDirectory(EngineDir());
    z.AddOptions = {AddDiskSpan};
    z.SetZipFileName(scratch / "new.exe");
    z.FSpecArgs = {scratch / "count.txt"};
    z.Add();
    EXPECT_EQ(z.ErrorCode, ZIPMSG_SFX_NO_SPAN);
    EXPECT_FALSE(Exists(scratch / "new.exe"));
}

TEST_F(SpanTest, SelfExtractorPassesPeersExtractsAndConvertsBack) {
    const std::string zip = scratch / "pack.zip", exe = scratch / "pack.exe";
    CopyFileA(source.c_str(), zip.c_str(), FALSE);
    z.SFXPath = EngineDir() + "\\SFXSTUB.BIN";
    z.SFXOptions = {SFXAutoRun, SFXHideOverWriteBox};
    z.SFXOverWriteMode = OvrAlways;
    z.SFXDefaultDir = scratch / "out";
    z.SetZipFileName(zip);
    ASSERT_EQ(z.ConvertSFX(), 0) << z.ErrorText;
    EXPECT_FALSE(Exists(zip));
    EXPECT_EQ(z.ZipFileName(), exe);
    EXPECT_EQ(z.DataStart(), int64_t(ReadFile(z.SFXPath).size()) + 256);
    for (const char* peer : {"unzip -t", "7z t"}) {
        std::string r = Host(std::string(peer) + " '" + UnixPath(exe) + "'", scratch);
        EXPECT_NE(r.find("rc=0"), std::string::npos) << r;
    }
    STARTUPINFOA si{sizeof si};
    PROCESS_INFORMATION pi;
    std::string cmd = "\"" + exe + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(ReadFile(scratch / "out\\count.txt"), ReadFile(scratch / "count.txt"));

    ASSERT_EQ(z.ConvertZIP(), 0) << z.ErrorText;
    EXPECT_FALSE(Exists(exe));
    EXPECT_TRUE(ReadFile(zip) == ReadFile(source));

    // An .EXE without a stub in front is no self-extractor.
    CopyFileA(source.c_str(), (scratch / "bare.EXE").c_str(), FALSE);
    z.SetZipFileName(scratch / "bare.EXE");
    EXPECT_EQ(z.ConvertZIP(), -9);
    EXPECT_EQ(z.ErrorCode, ZIPMSG_SFX_TYPE);

    // The header's three texts: 249 characters fit, 250 do not.
    z.SFXCaption = std::string(200, 'c');
    z.SFXDefaultDir = std::string(40, 'd');
    z.SFXCommandLine = std::string(9, 'x');
    z.SetZipFileName(scratch / "limit.exe");
    EXPECT_EQ(z.ConvertSFX(true), 0);
    z.SFXCommandLine += 'x';
    desk.Clear();
    EXPECT_EQ(z.ConvertSFX(true), -9);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].text.find("SFXCaption + SFXDefaultDir + SFXCommandLine = 250"), std::string::npos);
}
