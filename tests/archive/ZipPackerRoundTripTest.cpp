// The component with our real engine (ZIPENG.DLL, UNZENG.DLL of the build): add, list,
// extract and delete a folder with empty files, an empty folder, deep folders, a large file
// and a non-ASCII name; the progress order the builder relies on; and every archive checked
// by the peers users have (Info-ZIP unzip -t, 7z t, Python's zipfile), run from here as the
// host's own programs.
#include <cstdlib>
#include <cstring>
#include <map>

#include "ComponentTest.h"

using namespace testing_support;

namespace {

void ExpectPeersAccept(const std::string& zip, const ScratchDir& dir, const std::string& password = "") {
    std::string u = UnixPath(zip);
    ASSERT_FALSE(u.empty());
    std::string pw = password.empty() ? "" : " -P " + password;
    std::string r = Host("unzip -t" + pw + " '" + u + "'", dir);
    EXPECT_NE(r.find("No errors detected"), std::string::npos) << r;
    EXPECT_NE(r.find("rc=0"), std::string::npos) << r;
    r = Host("7z t " + std::string(password.empty() ? "" : "-p" + password + " ") + "'" + u + "'", dir);
    EXPECT_NE(r.find("Everything is Ok"), std::string::npos) << r;
    r = Host("python3 -c 'import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); z.setpassword(sys.argv[2].encode()); print(\\\"bad:\\\", z.testzip())' '" + u + "' '" + password + "'", dir);
    EXPECT_NE(r.find("bad: None"), std::string::npos) << r;
}

void MakeTree(const ScratchDir& s) {
    CreateDirectoryA((s / "src").c_str(), nullptr);
    CreateDirectoryA((s / "src\\empty dir").c_str(), nullptr);
    std::string deep = s / "src";
    for (int i = 0; i < 12; ++i) {
        deep += "\\level" + std::to_string(i);
        CreateDirectoryA(deep.c_str(), nullptr);
    }
    WriteFile(deep + "\\bottom.txt", "at the bottom");
    WriteFile(s / "src\\empty1.txt", "");
    WriteFile(s / "src\\empty2.cfg", "");
    std::string big;
    uint32_t x = 1;
    for (int i = 0; i < 3 * 1024 * 1024; ++i) big += char(i % 251 < 200 ? 'a' + i % 7 : (x = x * 1103515245 + 12345) >> 24);
    WriteFile(s / "src\\large.bin", big);
    WriteFile(s / "src\\M\xFCller Caf\xE9.txt", "non-ASCII name");
}

class RoundTrip : public ComponentTest {
protected:
    TZipPacker z;
    void SetUp() override {
        ComponentTest::SetUp();
        z.SetDLLDirectory(EngineDir());
        if (!ui::FileExists(z.DLLDirectory() + "\\ZIPENG.DLL")) GTEST_SKIP() << "no engine built";
        z.Unattended = true;
        MakeTree(scratch);
        GetCurrentDirectoryA(MAX_PATH, cwd_);
        SetCurrentDirectoryA((scratch / "src").c_str());
    }
    void TearDown() override {
        SetCurrentDirectoryA(cwd_);
        ComponentTest::TearDown();
    }
    char cwd_[MAX_PATH] = {};
};

}  // namespace

TEST_F(RoundTrip, AddListExtractDelete) {
    // The builder's configuration.
    z.Verbose = true;
    z.AddOptions = {AddDirNames, AddRecurseDirs, AddHiddenFiles, AddSeparateDirs};
    std::vector<std::pair<ProgressType, long>> ev;
    std::map<std::string, long> starts;
    z.OnProgress = [&](TObject*, ProgressType t, const std::string& name, long size) {
        ev.push_back({t, size});
        if (t == ptFileStart) starts[name] = size;
    };
    std::string zip = scratch / "Setup.skb";
    z.SetZipFileName(zip);
    z.FSpecArgs = {"*.*"};
    z.Add();
    EXPECT_GT(z.FilesProcessed, 0) << z.ErrorText;

    // Counts first, one start per file with its bytes adding up, exactly one batch end last.
    ASSERT_GE(ev.size(), 3u);
    EXPECT_EQ(ev[0].first, ptFileCount);
    EXPECT_EQ(ev[1].first, ptByteCount);
    EXPECT_EQ(ev.back().first, ptBatchDone);
    int batches = 0;
    long pending = 0, total = 0;
    bool inFile = false;
    for (size_t i = 2; i < ev.size(); ++i) {
        if (ev[i].first == ptFileStart) {
            if (inFile) EXPECT_EQ(pending, 0);
            pending = ev[i].second;
            inFile = true;
        } else if (ev[i].first == ptBytesDone) {
            ASSERT_TRUE(inFile);
            pending -= ev[i].second;
            total += ev[i].second;
        } else if (ev[i].first == ptBatchDone) {
            ++batches;
        }
    }
    EXPECT_EQ(pending, 0);
    EXPECT_EQ(batches, 1);
    EXPECT_EQ(total, ev[1].second);
    EXPECT_EQ(starts.count("large.bin"), 1u);
    EXPECT_EQ(starts["large.bin"], 3 * 1024 * 1024);

    // The directory as List reads it.
    std::map<std::string, const ZipDirEntry*> byName;
    for (int i = 0; i < z.GetCount(); ++i) byName[z.DirEntry(i).FileName] = &z.DirEntry(i);
    EXPECT_TRUE(byName.count("empty1.txt"));
    EXPECT_TRUE(byName.count("empty dir\\"));
    EXPECT_TRUE(byName.count("M\xFCller Caf\xE9.txt")) << "non-ASCII name as listed";
    std::string deep = "level0\\level1\\level2\\level3\\level4\\level5\\level6\\level7\\level8\\level9\\level10\\level11\\bottom.txt";
    EXPECT_TRUE(byName.count(deep));
    EXPECT_FALSE(byName.count("Setup.skb")) << "the archive was added to itself";
    ExpectPeersAccept(zip, scratch);

    // Extract into a fresh folder and compare bytes and times.
    CreateDirectoryA((scratch / "out").c_str(), nullptr);
    z.ExtrBaseDir = scratch / "out";
    z.ExtrOptions = {ExtrDirNames, ExtrOverWrite};
    z.Extract();
    EXPECT_GT(z.FilesProcessed, 0) << z.ErrorText;
    for (std::string name : {std::string("large.bin"), std::string("empty1.txt"), deep, std::string("M\xFCller Caf\xE9.txt")}) {
        std::string a = scratch / ("src\\" + name), b = scratch / ("out\\" + name);
        EXPECT_EQ(ReadFile(a), ReadFile(b)) << name;
        WIN32_FILE_ATTRIBUTE_DATA fa, fb;
        ASSERT_TRUE(GetFileAttributesExA(b.c_str(), GetFileExInfoStandard, &fb)) << name;
        GetFileAttributesExA(a.c_str(), GetFileExInfoStandard, &fa);
        // DOS times have two-second steps.
        int64_t ta = (int64_t(fa.ftLastWriteTime.dwHighDateTime) << 32 | fa.ftLastWriteTime.dwLowDateTime) / 10000000;
        int64_t tb = (int64_t(fb.ftLastWriteTime.dwHighDateTime) << 32 | fb.ftLastWriteTime.dwLowDateTime) / 10000000;
        EXPECT_LE(std::llabs(ta - tb), 2) << name;
    }
    EXPECT_TRUE(ui::DirectoryExists(scratch / "out\\empty dir"));
    SetCurrentDirectoryA((scratch / "src").c_str());

    // Delete one member: the directory follows.
    int before = z.GetCount();
    z.FSpecArgs = {"large.bin"};
    z.Delete();
    EXPECT_EQ(z.FilesProcessed, 1) << z.ErrorText;
    EXPECT_EQ(z.GetCount(), before - 1);
    ExpectPeersAccept(zip, scratch);
}

TEST_F(RoundTrip, EncryptedMembers) {
    z.AddOptions = {AddEncrypt};
    z.Password = "s3cret";
    std::string zip = scratch / "enc.zip";
    z.SetZipFileName(zip);
    z.FSpecArgs = {"large.bin", "empty1.txt"};
    z.Add();
    ASSERT_EQ(z.FilesProcessed, 2) << z.ErrorText;
    EXPECT_TRUE(z.DirEntry(0).Flag & 1);
    ExpectPeersAccept(zip, scratch, "s3cret");

    CreateDirectoryA((scratch / "dec").c_str(), nullptr);
    z.ExtrBaseDir = scratch / "dec";
    z.Password = "wrong";
    z.Extract();
    EXPECT_FALSE(ReadFile(scratch / "dec\\large.bin") == ReadFile(scratch / "src\\large.bin"));
    z.Password = "s3cret";
    z.ExtrOptions = {ExtrOverWrite};
    z.Extract();
    EXPECT_EQ(ReadFile(scratch / "dec\\large.bin"), ReadFile(scratch / "src\\large.bin"));
    SetCurrentDirectoryA((scratch / "src").c_str());
}

TEST_F(RoundTrip, ArchiveInsideThePackedFolderIsNotAddedToItself) {
    z.AddOptions = {AddRecurseDirs, AddHiddenFiles, AddSeparateDirs};
    std::string zip = scratch / "src\\package.zip";
    z.SetZipFileName(zip);
    z.FSpecArgs = {(scratch / "src") + "\\*.*"};
    z.Add();
    ASSERT_GT(z.FilesProcessed, 0) << z.ErrorText;
    for (int i = 0; i < z.GetCount(); ++i) EXPECT_NE(z.DirEntry(i).FileName, "package.zip");
    ExpectPeersAccept(zip, scratch);
}
