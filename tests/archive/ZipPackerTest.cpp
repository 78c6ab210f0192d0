// The component's own behaviour without an engine: its message table, properties, message
// output, passwords and file utilities.
#include "ExpectedMessages.h"
#include "ComponentTest.h"

using namespace testing_support;

TEST(MessageTable, EveryIdHasItsTextExactly) {
    for (const ExpectedMessage& m : kExpectedMessages)
        EXPECT_EQ(LoadZipStr(m.id, "<missing>"), m.text) << "id " << m.id;
    EXPECT_EQ(std::size(kExpectedMessages), 98u);
}

TEST(MessageTable, MissingIdsFallBack) {
    EXPECT_EQ(LoadZipStr(10999, "dflt"), "dflt");
    EXPECT_EQ(EZipPacker(10999, true).what(),
              std::string("The message table is probably not bound to the executable\nMissing String ID is: 10999"));
    EXPECT_EQ(EZipPacker(ZIPMSG_NTH_DISK, 4).what(),
              std::string("This is the 4th disk in a backup set,\nplease insert the last disk of this set"));
    EXPECT_EQ(EZipPacker(ZIPMSG_DRIVE_UNDEFINED, std::string("Q:\\")).what(), std::string("Drive Q:\\ is NOT defined"));
    EZipPacker e(ZIPMSG_CANCELED, false);
    EXPECT_FALSE(e.DisplayMsg);
    EXPECT_EQ(e.ResId, ZIPMSG_CANCELED);
    // An argument is text, never a format.
    EXPECT_EQ(EZipPacker(ZIPMSG_BAD_DRIVE, std::string("%s%d")).what(), std::string("Not a valid drive: %s%d"));
}

TEST_F(ComponentTest, ShowZipMessageReportsEverywhere) {
    TZipPacker z;
    std::vector<std::pair<int, std::string>> msgs;
    z.OnMessage = [&](TObject* s, int code, const std::string& text) {
        EXPECT_EQ(s, &z);
        msgs.push_back({code, text});
    };
    z.ShowZipMessage(ZIPMSG_NO_ZIPFILE, " (extra)");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "Error - no zip file specified! (extra)");
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NO_ZIPFILE);
    EXPECT_EQ(z.ErrorText, "Error - no zip file specified! (extra)");
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].first, 0);  // OnMessage gets 0, not the id
    z.ShowZipMessage(10998, "+");
    EXPECT_EQ(z.ErrorText, "The message table is probably not bound to the executable\nMissing String ID is: 10998+");
}

TEST_F(ComponentTest, UnattendedShowsNoBoxYetReports) {
    TZipPacker z;
    z.Unattended = true;
    int events = 0;
    z.OnMessage = [&](TObject*, int, const std::string&) { ++events; };
    z.ShowZipMessage(ZIPMSG_NOTHING_TO_ZIP, "");
    z.ShowExceptionError(EZipPacker(ZIPMSG_NOT_A_ZIP, true));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(events, 2);
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NOT_A_ZIP);
    EXPECT_EQ(z.ErrorText, "This archive is not a valid Zip archive");

    // Attended, an exception without its display flag still shows nothing.
    z.Unattended = false;
    z.ShowExceptionError(EZipPacker(ZIPMSG_CANCELED, false));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(z.ErrorCode, ZIPMSG_CANCELED);
    z.ShowExceptionError(EZipPacker(ZIPMSG_CANCELED, true));
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST(Properties, DefaultsAndSetterRules) {
    TZipPacker z;
    EXPECT_FALSE(z.Verbose);
    EXPECT_FALSE(z.Trace);
    EXPECT_EQ(z.AddCompLevel, 9);
    EXPECT_TRUE(z.AddOptions.Empty());
    EXPECT_TRUE(z.ExtrOptions.Empty());
    EXPECT_EQ(z.SFXOptions.ToBits(), 1 << 4);
    EXPECT_EQ(z.SFXOverWriteMode, OvrConfirm);
    EXPECT_EQ(z.SFXCaption, "Self-extracting Archive");
    EXPECT_EQ(z.MinFreeVolumeSize(), 65536);
    EXPECT_TRUE(z.ConfirmErase);
    EXPECT_FALSE(z.Unattended);
    EXPECT_EQ(z.CodePage, cpAUTO);
    EXPECT_EQ(z.HowToDelete, htdAllowUndo);
    EXPECT_EQ(z.GetCount(), 0);

    z.SetDLLDirectory("C:\\engines\\\\");
    EXPECT_EQ(z.DLLDirectory(), "C:\\engines\\");  // one backslash dropped, not both
    z.SetDLLDirectory("D:\\x\\");
    EXPECT_EQ(z.DLLDirectory(), "D:\\x");

    z.SetMaxVolumeSize(100000);
    z.SetMaxVolumeSize(-5);
    EXPECT_EQ(z.MaxVolumeSize(), 100000);
    z.SetKeepFreeOnDisk1(-1);
    EXPECT_EQ(z.KeepFreeOnDisk1(), 0);
    z.SetMinFreeVolumeSize(0);
    EXPECT_EQ(z.MinFreeVolumeSize(), 65536);
    z.SetMinFreeVolumeSize(1);
    EXPECT_EQ(z.MinFreeVolumeSize(), 1);

    z.SetVersionInfo("9.99");
    EXPECT_EQ(z.VersionInfo(), "1.52 M");

    AddOpts o{AddDirNames, AddSeparateDirs, AddDiskSpanErase};
    EXPECT_EQ(o.ToBits(), (1 << 0) | (1 << 9) | (1 << 11));
}

TEST_F(ComponentTest, AddPasswordIsAskedTwiceAndMustMatch) {
    TZipPacker z;
    std::vector<std::string> answers, prompts;
    TZipPacker::InputQuery = [&](const std::string& caption, const std::string& prompt, std::string& value) {
        EXPECT_EQ(caption, "Password");
        prompts.push_back(prompt);
        if (answers.empty()) return false;
        value = answers.front();
        answers.erase(answers.begin());
        return true;
    };
    answers = {"Secret1", "Secret1"};
    z.GetAddPassword();
    EXPECT_EQ(z.Password, "Secret1");
    EXPECT_EQ(prompts, (std::vector<std::string>{"Enter Password for New Archive", "Confirm Password"}));

    answers = {"Secret1", "secret1"};  // case counts
    z.GetAddPassword();
    EXPECT_EQ(z.Password, "");
    EXPECT_EQ(z.ErrorCode, ZIPMSG_PW_MISMATCH);
    EXPECT_EQ(Boxes().back().text, "Error - passwords do NOT match\nPassword ignored");

    answers = {std::string(81, 'p')};  // too long counts as no answer: no second question
    prompts.clear();
    z.GetAddPassword();
    EXPECT_EQ(z.Password, "");
    EXPECT_EQ(prompts.size(), 1u);

    answers = {std::string(80, 'p')};
    prompts.clear();
    z.GetExtrPassword();
    EXPECT_EQ(z.Password, std::string(80, 'p'));
    EXPECT_EQ(prompts, (std::vector<std::string>{"Enter Password"}));

    z.Unattended = true;
    size_t before = prompts.size();
    z.GetAddPassword();
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NO_ADD_PW);
    z.GetExtrPassword();
    EXPECT_EQ(z.ErrorCode, ZIPMSG_NO_EXTR_PW);
    EXPECT_EQ(prompts.size(), before);
    TZipPacker::InputQuery = nullptr;
}

TEST(FileUtilities, SlashHelpers) {
    EXPECT_EQ(TZipPacker::AppendSlash(""), "");
    EXPECT_EQ(TZipPacker::AppendSlash("C:\\a"), "C:\\a\\");
    EXPECT_EQ(TZipPacker::AppendSlash("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(TZipPacker::ReplaceForwardSlash("a/b/c.txt"), "a\\b\\c.txt");
    EXPECT_EQ(TZipPacker::ReplaceForwardSlash(nullptr), "");
}

TEST_F(ComponentTest, CopyFileKeepsDateAndReportsFailures) {
    TZipPacker z;
    z.HowToDelete = htdFinal;
    std::string in = scratch / "in.bin", out = scratch / "out.bin";
    std::string data;
    for (int i = 0; i < 20000; ++i) data += char(i * 7);
    WriteFile(in, data);
    HANDLE h = CreateFileA(in.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SYSTEMTIME st{2004, 6, 0, 1, 12, 30, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    WriteFile(out, "old content");

    EXPECT_EQ(z.CopyFile(in, out), 0);
    EXPECT_EQ(ReadFile(out), data);
    WIN32_FILE_ATTRIBUTE_DATA a;
    ASSERT_TRUE(GetFileAttributesExA(out.c_str(), GetFileExInfoStandard, &a));
    EXPECT_EQ(CompareFileTime(&a.ftLastWriteTime, &ft), 0);

    EXPECT_EQ(z.CopyFile(scratch / "missing.bin", out), -3);
    EXPECT_EQ(z.CopyFile(in, scratch / "no\\such\\dir\\x.bin"), -1);
}

TEST_F(ComponentTest, EraseAndCopyBuffer) {
    TZipPacker z;
    std::string f = scratch / "gone.txt";
    EXPECT_EQ(z.EraseFile(f, htdFinal), -1);
    WriteFile(f, "x");
    EXPECT_EQ(z.EraseFile(f, htdFinal), 0);
    EXPECT_FALSE(ui::FileExists(f));

    std::string in = scratch / "in.bin", out = scratch / "out.bin";
    WriteFile(in, std::string(20000, 'q') + "tail");
    HANDLE hi = CreateFileA(in.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE ho = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    SetFilePointer(hi, 100, nullptr, FILE_BEGIN);
    EXPECT_EQ(z.CopyBuffer(hi, ho, 16390), 0);  // two whole chunks and a part
    EXPECT_EQ(z.CopyBuffer(hi, ho, 100000), -2);  // asks for more than is left
    CloseHandle(hi);
    CloseHandle(ho);
    EXPECT_EQ(ReadFile(out).substr(0, 16390), std::string(16390, 'q'));
}
