// The component against the recording engine: the blocks it sends, byte for byte, for an old
// and a new engine; the callback dispatch into events; the operations' checks, busy flags,
// results and the engine's load/unload rule.
#include <cstring>

#include "RecorderEngine.h"
#include "ComponentTest.h"

using namespace testing_support;

namespace {

// The expected block, written field by field at the offsets the engine reads.
struct Block {
    std::vector<uint8_t> b;
    std::vector<int> pointers;  // offsets of pointer fields, compared through their texts
    explicit Block(size_t n) : b(n, 0) {}
    void I32(int off, int32_t v) { std::memcpy(&b[off], &v, 4); }
    void I16(int off, int16_t v) { std::memcpy(&b[off], &v, 2); }
    void Ptr(int off) { pointers.push_back(off); }
};

uint32_t At(const RecordedCall& r, int off) {
    uint32_t v;
    std::memcpy(&v, r.block + off, 4);
    return v;
}

void ExpectBlock(const RecordedCall& r, const Block& want) {
    ASSERT_EQ(size_t(r.size), want.b.size());
    for (size_t i = 0; i < want.b.size(); ++i) {
        bool ptr = false;
        for (int p : want.pointers) ptr |= i >= size_t(p) && i < size_t(p) + 4;
        if (ptr) continue;
        EXPECT_EQ(int(r.block[i]), int(want.b[i])) << "byte " << i;
    }
}

class EngineTest : public ComponentTest {
protected:
    TZipPacker z;
    HMODULE zipRec = nullptr, unzRec = nullptr;
    std::vector<std::string> events;

    void UseEngine(const char* which) {
        z.SetDLLDirectory(RecorderDir(which));
        // Held by the test as well, so the recording outlives the component's unload.
        zipRec = LoadLibraryA((RecorderDir(which) + "\\ZIPENG.DLL").c_str());
        unzRec = LoadLibraryA((RecorderDir(which) + "\\UNZENG.DLL").c_str());
        ASSERT_TRUE(zipRec && unzRec) << RecorderDir(which);
        Script(zipRec, {}, 1);
        Script(unzRec, {}, 1);
    }
    void TearDown() override {
        if (zipRec) FreeLibrary(zipRec);
        if (unzRec) FreeLibrary(unzRec);
        ComponentTest::TearDown();
    }
    static void Script(HMODULE m, const std::vector<ScriptStep>& steps, int result) {
        auto set = reinterpret_cast<RecorderSetScriptFn>(reinterpret_cast<void*>(GetProcAddress(m, "RecorderSetScript")));
        set(steps.data(), int(steps.size()), result);
    }
    static const RecordedCall& Last(HMODULE m) {
        auto last = reinterpret_cast<RecorderLastFn>(reinterpret_cast<void*>(GetProcAddress(m, "RecorderLast")));
        return *last();
    }
    void Record() {
        z.OnProgress = [&](TObject*, ProgressType t, const std::string& name, long size) {
            events.push_back("P" + std::to_string(int(t)) + ":" + name + ":" + std::to_string(size));
        };
        z.OnMessage = [&](TObject*, int code, const std::string& text) {
            events.push_back("M" + std::to_string(code) + ":" + text);
        };
    }
    int AppHandle() const { return 0; }
};

void CommonZip(Block& w, const TZipPacker& z) {
    w.I32(4, int32_t(reinterpret_cast<intptr_t>(&z)));
    w.I32(8, 158);
    w.I32(12, int32_t(reinterpret_cast<intptr_t>(&TZipPacker::ZCallback)));
    w.Ptr(0);  // the application's window: whatever the framework has
    w.Ptr(20);
    w.Ptr(124);
}

}  // namespace

TEST_F(EngineTest, AddBlockForANewEngine) {
    UseEngine("recnew");
    z.AddOptions = {AddRecurseDirs, AddMove, AddFreshen, AddZipTime, AddForceDOS, AddHiddenFiles, AddEncrypt};
    z.Trace = true;
    z.AddCompLevel = 6;
    z.Password = "pw";
    z.TempDir = "C:\\tmp";
    z.SetZipFileName(scratch / "new.zip");
    z.FSpecArgs = {"*.*", "sub\\*.txt"};
    z.Add();
    const RecordedCall& r = Last(zipRec);
    Block w(216);
    CommonZip(w, z);
    w.I32(16, 1);   // trace
    w.I32(28, 1);   // encrypt
    w.I32(32, 1);   // hidden and system files
    w.I32(44, 1);   // no directory entries
    w.I32(52, 1);   // verbose, from trace
    w.I32(56, 1);   // quiet
    w.I32(60, 6);   // level
    w.I32(72, 1);   // junk directory names
    w.I16(76, 1);   // recurse, 16 bits
    w.I32(80, 1);   // grow
    w.I32(84, 1);   // DOS names
    w.I32(88, 1);   // move
    w.I32(100, 1);  // freshen
    w.I32(108, 1);  // latest time
    w.I32(120, 2);  // argc
    w.Ptr(128);
    w.Ptr(140);
    w.I32(212, 7);
    ExpectBlock(r, w);
    EXPECT_STREQ(r.password, "pw");
    EXPECT_EQ(r.zipName, scratch / "new.zip");
    EXPECT_EQ(r.tempDirNull, 0);
    EXPECT_STREQ(r.tempDir, "C:\\tmp");
    EXPECT_STREQ(r.patterns[0], "*.*");
    EXPECT_STREQ(r.patterns[1], "sub\\*.txt");
    EXPECT_EQ(r.recordNotZero, 0);
    // Trace shows the load message.
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes()[0].text, "ZIP DLL Loaded");
    EXPECT_TRUE(z.FSpecArgs.empty());
}

TEST_F(EngineTest, AddBlockForAnOldEngine) {
    UseEngine("recold");
    z.AddOptions = {AddDirNames, AddSeparateDirs, AddUpdate, AddFreshen};
    z.Verbose = true;
    z.SetZipFileName(scratch / "old.zip");
    z.FSpecArgs = {"a.txt", "b.txt", "c\\*.*"};
    z.Add();
    const RecordedCall& r = Last(zipRec);
    Block w(16520);
    CommonZip(w, z);
    w.I32(52, 1);   // verbose
    w.I32(56, 1);
    w.I32(60, 9);   // the default level
    w.I32(80, 1);
    w.I32(96, 1);   // update; freshen is not sent with it
    w.I32(120, 3);
    w.I32(128, 7);
    w.Ptr(132);
    w.Ptr(136);
    w.Ptr(140);
    ExpectBlock(r, w);
    EXPECT_STREQ(r.password, "");
    EXPECT_STREQ(r.patterns[2], "c\\*.*");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(EngineTest, DeleteBlockClearsTheAddSwitches) {
    UseEngine("recnew");
    WriteFile(scratch / "d.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    z.SetZipFileName(scratch / "d.zip");
    z.AddOptions = {AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddEncrypt, AddHiddenFiles};
    z.FSpecArgs = {"old.txt"};
    z.Delete();
    const RecordedCall& r = Last(zipRec);
    Block w(216);
    CommonZip(w, z);
    w.I32(32, 1);  // hidden files stay as they are
    w.I32(44, 1);
    w.I32(56, 1);
    w.I32(60, 9);
    w.I32(92, 1);  // delete entries
    w.I32(120, 1);
    w.Ptr(140);
    w.I32(212, 7);
    ExpectBlock(r, w);
    EXPECT_EQ(r.tempDirNull, 1);
    EXPECT_EQ(z.FilesProcessed, 1);
    EXPECT_TRUE(z.FSpecArgs.empty());
}

TEST_F(EngineTest, ExtractBlocksOldAndNew) {
    for (const char* which : {"recnew", "recold"}) {
        UseEngine(which);
        WriteFile(scratch / "e.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
        z.SetZipFileName(scratch / "e.zip");
        z.ExtrOptions = {ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest};
        z.CodePage = cpOEM;
        z.Password = "x";
        z.FSpecArgs = {"one", "two"};
        z.Extract();
        const RecordedCall& r = Last(unzRec);
        bool isNew = std::string(which) == "recnew";
        Block w(isNew ? 148 : 16464);
        w.I32(4, int32_t(reinterpret_cast<intptr_t>(&z)));
        w.I32(8, 152);
        w.I32(12, int32_t(reinterpret_cast<intptr_t>(&TZipPacker::ZCallback)));
        w.Ptr(0);
        w.I16(20, 2);   // code page ordinal, 16 bits
        w.Ptr(24);
        w.I32(28, 1);   // test
        w.I32(40, 1);   // quiet
        w.I32(48, 1);   // update; freshen not sent with it
        w.I32(56, 1);   // directories
        w.I32(60, 1);   // overwrite
        w.I32(64, 2);
        w.Ptr(68);
        if (isNew) {
            w.Ptr(72);
            w.I32(144, 7);
        } else {
            w.I32(72, 7);
            w.Ptr(76);
            w.Ptr(80);
        }
        ExpectBlock(r, w);
        EXPECT_STREQ(r.password, "x");
        EXPECT_STREQ(r.patterns[1], "two");
        EXPECT_EQ(r.recordNotZero, 0);
        EXPECT_TRUE(z.FSpecArgs.empty());
        FreeLibrary(zipRec);
        FreeLibrary(unzRec);
        zipRec = unzRec = nullptr;
    }
}

TEST_F(EngineTest, CallbacksBecomeEventsInOrder) {
    UseEngine("recnew");
    Record();
    std::vector<std::pair<int, int>> codesAtMessage;
    auto onMessage = z.OnMessage;
    z.OnMessage = [&](TObject* s, int code, const std::string& text) {
        codesAtMessage.push_back({z.ErrorCode, z.FullErrorCode});
        onMessage(s, code, text);
    };
    Script(zipRec,
           {{5, 0, 2, ""}, {6, 0, 1000, ""}, {1, 0, 600, "dir/a.txt"}, {2, 0, 600, ""}, {1, 0, 0, "b.txt"},
            {2, 0, 0, ""}, {4, 0x1234, 0, "Disk/full \r\n"}, {4, 0, 0, "note"}, {4, 0x80, 0, "bad"}, {0, 0, 0, ""},
            {3, 0, 0, ""}},
           2);
    z.SetZipFileName(scratch / "c.zip");
    z.FSpecArgs = {"*.*"};
    z.Add();
    std::vector<std::string> want = {"P3::2", "P4::1000", "P0:dir\\a.txt:600", "P1::600", "P0:b.txt:0", "P1::0",
                                     "M4660:Disk\\full", "M0:note", "M128:bad", "P2::0"};
    EXPECT_EQ(events, want);
    ASSERT_EQ(codesAtMessage.size(), 3u);
    EXPECT_EQ(codesAtMessage[0], std::make_pair(0x34, 0x1234));
    EXPECT_EQ(codesAtMessage[1], std::make_pair(0x34, 0x1234));  // code 0 leaves both
    EXPECT_EQ(codesAtMessage[2], std::make_pair(-128, 0x80));
    EXPECT_EQ(z.ErrorText, "bad");
    EXPECT_EQ(z.TotalBytes, 1000);
    EXPECT_EQ(z.FilesProcessed, 2);
    EXPECT_TRUE(Boxes().empty());  // engine messages raise no box
}

TEST_F(EngineTest, WithoutHandlersTheStateStillFollows) {
    UseEngine("recnew");
    Script(zipRec, {{6, 0, 4242, ""}, {4, 0x1FF, 0, "oops"}}, 0);
    z.SetZipFileName(scratch / "c.zip");
    z.FSpecArgs = {"*.*"};
    int updates = 0;
    z.OnDirUpdate = [&](TObject*) { ++updates; };
    z.Add();
    EXPECT_EQ(z.TotalBytes, 4242);
    EXPECT_EQ(z.ErrorCode, -1);
    EXPECT_EQ(z.FullErrorCode, 0x1FF);
    EXPECT_EQ(z.ErrorText, "oops");
    EXPECT_EQ(z.FilesProcessed, 0);
    EXPECT_EQ(updates, 0);  // nothing added: no new listing
}

TEST_F(EngineTest, CancelStopsTheEngineAtTheNextCallback) {
    UseEngine("recnew");
    Script(zipRec, {{5, 0, 3, ""}, {1, 0, 10, "a"}, {2, 0, 10, ""}, {1, 0, 10, "b"}, {3, 0, 0, ""}}, 1);
    z.OnProgress = [&](TObject*, ProgressType t, const std::string&, long) {
        if (t == ptFileStart) z.CancelRequested = true;
    };
    z.SetZipFileName(scratch / "c.zip");
    z.FSpecArgs = {"*.*"};
    z.Add();
    EXPECT_EQ(Last(zipRec).cancelledAt, 1);
    EXPECT_FALSE(z.CancelRequested);
    EXPECT_EQ(z.FilesProcessed, 1);  // what the engine returned
}

TEST_F(EngineTest, HandlerExceptionAbortsTheCall) {
    UseEngine("recnew");
    Script(zipRec, {{5, 0, 3, ""}, {1, 0, 10, "a"}, {2, 0, 10, ""}}, 3);
    z.OnProgress = [&](TObject*, ProgressType t, const std::string&, long) {
        if (t == ptFileStart) throw std::runtime_error("handler failed");
    };
    z.SetZipFileName(scratch / "c.zip");
    z.FSpecArgs = {"*.*"};
    z.Add();
    EXPECT_EQ(Last(zipRec).cancelledAt, 1);
    EXPECT_EQ(z.FilesProcessed, 0);
    EXPECT_EQ(z.ErrorCode, ZIPMSG_ZIPENG_ABORT);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "Fatal Error in ZipEng.DLL: abort exception");
}

TEST_F(EngineTest, AddChecksInOrderAndKeepsThePatternsOnRefusal) {
    UseEngine("recnew");
    int before = Last(zipRec).calls;
    z.Add();  // nothing to add and no name: the list is tested first
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NOTHING_TO_ZIP);
    z.FSpecArgs = {"*.*"};
    z.Add();
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NO_ZIPFILE);
    EXPECT_EQ(z.FSpecArgs.size(), 1u);
    z.SetZipFileName(scratch / "c.zip");
    z.Unattended = true;
    z.AddOptions = {AddEncrypt};
    desk.Clear();
    z.Add();
    EXPECT_EQ(z.ErrorCode, ZIPMSG_UNATTENDED_PW);
    EXPECT_EQ(z.ErrorText, "Unattended action not possible without a password");
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(z.FSpecArgs.size(), 1u);
    EXPECT_EQ(Last(zipRec).calls, before);
    EXPECT_EQ(z.FilesProcessed, 0);

    z.Password = "p";
    z.Add();
    EXPECT_EQ(Last(zipRec).calls, before + 1);
    EXPECT_TRUE(z.FSpecArgs.empty());
    z.Add();  // a second Add without new file patterns
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NOTHING_TO_ZIP);
}

TEST_F(EngineTest, EngineLoadedByTheOperationIsUnloadedAfterIt) {
    UseEngine("recnew");
    z.SetZipFileName(scratch / "c.zip");
    z.FSpecArgs = {"*.*"};
    z.Add();
    EXPECT_FALSE(z.ZipEngineLoaded());
    z.Load_Zip_Eng();
    ASSERT_TRUE(z.ZipEngineLoaded());
    z.FSpecArgs = {"*.*"};
    z.Add();
    EXPECT_TRUE(z.ZipEngineLoaded());
    z.Unload_Zip_Eng();
    EXPECT_FALSE(z.ZipEngineLoaded());
    EXPECT_EQ(z.GetZipVers(), 158);
    EXPECT_EQ(z.GetUnzVers(), 152);
    EXPECT_FALSE(z.ZipEngineLoaded());
}

TEST_F(EngineTest, MissingEntryPointOrLibrary) {
    z.SetDLLDirectory(RecorderDir("noexec"));
    z.SetZipFileName(scratch / "c.zip");
    z.FSpecArgs = {"*.*"};
    z.Add();
    EXPECT_EQ(z.ErrorCode, ZIPMSG_ZIPEXEC_MISSING);
    EXPECT_EQ(Boxes().at(0).text, "ZipEngExec function not found in ZIPENG.DLL!");
    EXPECT_EQ(z.FSpecArgs.size(), 1u);
    EXPECT_FALSE(z.ZipEngineLoaded());

    HMODULE anywhere = LoadLibraryA("UNZENG.DLL");
    if (anywhere) {
        FreeLibrary(anywhere);
        GTEST_SKIP() << "an UNZENG.DLL is on the search path here";
    }
    z.SetDLLDirectory(scratch.Path());
    WriteFile(scratch / "e.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    z.SetZipFileName(scratch / "e.zip");
    z.Extract();
    EXPECT_EQ(z.ErrorCode, ZIPMSG_UNZENG_MISSING);
    EXPECT_EQ(z.GetUnzVers(), 0);
}

TEST_F(EngineTest, BusyFlagsKeepOperationsOfOneKindApart) {
    UseEngine("recnew");
    WriteFile(scratch / "b.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    z.SetZipFileName(scratch / "b.zip");
    Script(zipRec, {{5, 0, 1, ""}}, 1);
    int zipCallsInside = -1, unzCallsBefore = Last(unzRec).calls;
    z.OnProgress = [&](TObject*, ProgressType, const std::string&, long) {
        EXPECT_TRUE(z.ZipBusy());
        int before = Last(zipRec).calls;
        z.FSpecArgs = {"again"};
        z.Add();  // same kind: returns at once
        z.FSpecArgs = {"x"};
        z.Delete();
        zipCallsInside = Last(zipRec).calls - before;
        z.Extract();  // the other kind runs
    };
    z.FSpecArgs = {"*.*"};
    z.Add();
    EXPECT_EQ(zipCallsInside, 0);
    EXPECT_EQ(Last(unzRec).calls, unzCallsBefore + 1);
    EXPECT_FALSE(z.ZipBusy());
    EXPECT_FALSE(z.UnzBusy());
}

TEST_F(EngineTest, ExtractAndDeleteEdgeCases) {
    UseEngine("recnew");
    z.SetZipFileName(scratch / "missing.zip");
    z.Delete();
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NOTHING_TO_DELETE);  // the list is tested first
    z.Extract();
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NO_ZIPFILE);

    WriteFile(scratch / "e.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    z.SetZipFileName(scratch / "e.zip");
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    z.ExtrBaseDir = scratch / "does-not-exist";
    z.Extract();
    char now[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, now);
    EXPECT_STREQ(now, cwd);

    CreateDirectoryA((scratch / "out").c_str(), nullptr);
    z.ExtrBaseDir = scratch / "out";
    z.Extract();
    GetCurrentDirectoryA(MAX_PATH, now);
    EXPECT_EQ(std::string(now), scratch / "out");
    SetCurrentDirectoryA(cwd);

    // Unattended with encryption asked for but no password: a dummy stands in for the call.
    z.Unattended = true;
    z.AddOptions = {AddEncrypt};
    desk.Clear();
    z.Extract();
    std::string dummy = Last(unzRec).password;
    ASSERT_EQ(dummy.size(), 79u);
    EXPECT_EQ(dummy.find_first_not_of(dummy[0]), std::string::npos);
    EXPECT_TRUE(isprint(static_cast<unsigned char>(dummy[0])));
    EXPECT_EQ(z.ErrorText, "Warning - Unattended Extract: possible not all files extracted");
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(z.Password, "");  // not kept for a later Add
}

TEST_F(EngineTest, NewSelfExtractorStartsWithTheStub) {
    UseEngine("recnew");
    std::string stub = "MZ" + std::string(998, 's');
    WriteFile(scratch / "stub.bin", stub);
    z.SFXPath = scratch / "stub.bin";
    z.SFXCaption = "Cap";
    z.SetZipFileName(scratch / "pack.exe");
    z.FSpecArgs = {"*.*"};
    z.Add();
    std::string exe = ReadFile(scratch / "pack.exe");
    ASSERT_EQ(exe.size(), 1000u + 256 + 22);
    EXPECT_EQ(exe.substr(0, 1000), stub);
    EXPECT_EQ(exe.substr(1000, 3), "SKX");
    EXPECT_EQ(exe[1004], 3);
    EXPECT_EQ(exe.substr(1007, 3), "Cap");
    EXPECT_EQ(exe.substr(1256, 4), std::string("PK\x05\x06", 4));
    uint32_t cd;
    std::memcpy(&cd, exe.data() + 1256 + 16, 4);
    EXPECT_EQ(cd, 1256u);
    EXPECT_EQ(Last(zipRec).zipName, scratch / "pack.exe");
    // The engine said it added one file, so the directory was read again: an empty archive
    // behind the stub, starting right after it.
    EXPECT_EQ(z.DataStart(), 1256);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(EngineTest, NewSelfExtractorWithoutAStubIsStillAdded) {
    UseEngine("recnew");
    if (ui::FileExists(ui::InstallDir() + "SFXSTUB.BIN") || ui::FileExists(RecorderDir("recnew") + "\\SFXSTUB.BIN"))
        GTEST_SKIP() << "a stub lies beside the test program";
    z.SFXPath = scratch / "no-stub.bin";
    z.SetZipFileName(scratch / "plain.exe");
    z.FSpecArgs = {"*.*"};
    z.Add();
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes()[0].text, "Error - SFXSTUB.BIN not found!");
    EXPECT_EQ(Last(zipRec).zipName, scratch / "plain.exe");
    EXPECT_EQ(z.FilesProcessed, 1);
}
