// Sending a file by e-mail: the mail component against a Simple MAPI of our own that records
// what it is handed, and the explorer's two-press Send.
#include "ExplorerTest.h"

using namespace explorer_test;
using testing_support::WriteFile;

namespace {

class Mail : public ExplorerTest {
protected:
    std::unique_ptr<MapiFixture> mapi;
    std::vector<int> errors;
    void SetUp() override { mapi = std::make_unique<MapiFixture>(dir.path(), true); }
    void TearDown() override {
        ExplorerTest::TearDown();
        mapi.reset();
    }
    void OpenWithRecorder() {
        Open();
        form->Email1.OnMapiError = [this](TEmail*, int code) { errors.push_back(code); };
    }
    // The first press queues the clicked file, the second sends.
    void Send(const std::string& file, const std::string& to, const std::string& subject = "",
              const std::string& text = "") {
        Click(file);
        form->SpeedButton3.Click();
        form->Edit1.SetText(to);
        form->Edit2.SetText(subject);
        form->Memo1.SetText(text);
        form->SpeedButton3.Click();
    }
    std::vector<std::string> SendLine() {
        auto l = mapi->Lines("MAPISendMail|");
        return l.empty() ? std::vector<std::string>{} : Split(l.back());
    }
};

class MailComponent : public ::testing::Test {
protected:
    testing_support::TempInstallDir dir;
    std::unique_ptr<MapiFixture> mapi;
    std::vector<std::string> events;
    void Record(TEmail& m) {
        m.OnBeforeLogon = [this](TEmail*) { events.push_back("before logon"); };
        m.OnAfterLogon = [this](TEmail*) { events.push_back("after logon"); };
        m.OnBeforeLogoff = [this](TEmail*) { events.push_back("before logoff"); };
        m.OnAfterLogoff = [this](TEmail*) { events.push_back("after logoff"); };
        m.OnBeforeSendMail = [this](TEmail*) { events.push_back("before send"); };
        m.OnAfterSendMail = [this](TEmail*) { events.push_back("after send"); };
        m.OnMapiError = [this](TEmail*, int code) { events.push_back("error " + std::to_string(code)); };
    }
};

}  // namespace

TEST(MailNames, LongAttachmentNamesAreShortenedToTwelve) {
    TEmail m;
    EXPECT_EQ(m.ShortenFileName("LongFileName.txt"), "FileName.txt");
    EXPECT_EQ(m.ShortenFileName("readme.first.txt"), "me.first.txt");
    EXPECT_EQ(m.ShortenFileName("MyScenery_Final.zip"), "ry_Final.zip");
    EXPECT_EQ(m.ShortenFileName("TwelveChars1"), "TwelveChars1");
    EXPECT_EQ(m.ShortenFileName("abcdefgh.txt"), "abcdefgh.txt");
    EXPECT_EQ(m.ShortenFileName("abcdefghijklmnop"), "efghijklmnop");
    EXPECT_EQ(m.ShortenFileName("abcdefghij............z"), "z");
    EXPECT_EQ(m.ShortenFileName("abcdefghij.............."), "");
}

TEST(MailProperties, LogonFlagsFollowTheTwoSwitchesAndTextsAreCut) {
    TEmail m;
    EXPECT_EQ(m.LogonFlags(), 0u);
    m.SetDownLoadFirst(true);
    m.SetNewSession(true);
    EXPECT_EQ(m.LogonFlags(), (FLAGS)(MAPI_FORCE_DOWNLOAD | MAPI_NEW_SESSION));
    m.SetDownLoadFirst(false);
    EXPECT_EQ(m.LogonFlags(), (FLAGS)MAPI_NEW_SESSION);
    m.SetSubject(std::string(300, 's'));
    EXPECT_EQ(m.Subject().size(), 255u);
}

TEST_F(MailComponent, WithoutSimpleMapiEveryOperationRefuses) {
    mapi = std::make_unique<MapiFixture>(dir.path(), false);
    TEmail m;
    EXPECT_FALSE(m.MapiAvail());
    for (auto op : {&TEmail::Logon, &TEmail::Logoff, &TEmail::SendMail}) {
        try {
            (m.*op)();
            ADD_FAILURE() << "no exception";
        } catch (const EMapiUnavailable& e) {
            EXPECT_STREQ(e.what(), "MAPI services are not available on this system");
        }
    }
    EXPECT_FALSE(ui::FileExists(dir.file("mapi32.log")));
}

TEST_F(MailComponent, AnInstalledServiceThatCannotBeLoadedIsUnavailableSilently) {
    mapi = std::make_unique<MapiFixture>(dir.path(), true, "");
    EXPECT_FALSE(SimpleMapiAvailable());
}

TEST_F(MailComponent, ALibraryWithoutAllTenEntryPointsStopsTheStart) {
    mapi = std::make_unique<MapiFixture>(dir.path(), true, "mapi-partial", false);
    std::string got;
    try {
        mapi->Bind();
    } catch (const EMapiDllError& e) {
        got = e.what();
    }
    EXPECT_EQ(got, "GetProcAddress for MAPI.DLL function(s) failed");
}

TEST_F(MailComponent, LogonOncePerSessionAndLogoffEndsIt) {
    mapi = std::make_unique<MapiFixture>(dir.path(), true);
    TEmail m;
    Record(m);
    EXPECT_TRUE(m.MapiAvail());
    EXPECT_EQ(m.Logon(), 0);
    EXPECT_NE(m.Session(), 0u);
    EXPECT_EQ(m.Logon(), 0);
    EXPECT_EQ(mapi->Log(), std::vector<std::string>{"MAPILogon|(null)|(null)|0"});
    EXPECT_EQ(m.Logoff(), 0);
    EXPECT_EQ(m.Session(), 0u);
    EXPECT_EQ(m.Logoff(), 0);
    EXPECT_EQ(mapi->Lines("MAPILogoff").size(), 1u);
    EXPECT_EQ(events, (std::vector<std::string>{"before logon", "after logon", "before logoff", "after logoff"}));
}

TEST_F(MailComponent, TheDefaultProfileComesFromTheRegistryTheNewerKeyFirst) {
    mapi = std::make_unique<MapiFixture>(dir.path(), true);
    const char* nt = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
    const char* old = "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";
    auto set = [](const char* key, const char* value) {
        HKEY k;
        RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
        RegSetValueExA(k, "DefaultProfile", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), (DWORD)strlen(value) + 1);
        RegCloseKey(k);
    };
    set(old, "Home");
    {
        TEmail m;
        m.UseDefProfile = true;
        m.Logon();
        EXPECT_EQ(m.Profile(), "Home");
        m.Logoff();
    }
    set(nt, "Work");
    {
        TEmail m;
        m.UseDefProfile = true;
        m.Logon();
        EXPECT_EQ(m.Profile(), "Work");
    }
    // Leave the test prefix as it was: neither key existed before.
    RegDeleteKeyA(HKEY_CURRENT_USER, nt);
    RegDeleteKeyA(HKEY_CURRENT_USER, old);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows Messaging Subsystem");
    auto logons = mapi->Lines("MAPILogon|");
    ASSERT_EQ(logons.size(), 2u);
    EXPECT_EQ(logons[0], "MAPILogon|Home|(null)|0");
    EXPECT_EQ(logons[1], "MAPILogon|Work|(null)|0");
}

TEST_F(MailComponent, AFailedLogonAsksTheMailSystemThenReportsBothCodes) {
    mapi = std::make_unique<MapiFixture>(dir.path(), true);
    mapi->Config("logon", 3);
    mapi->Config("logonui", 1);  // the person cancelled
    TEmail m;
    Record(m);
    m.SetProfile("Work");
    m.SetPassword("secret");
    m.SetNewSession(true);
    m.SetRecipient({"a@example.com"});
    EXPECT_EQ(m.SendMail(), 3);
    EXPECT_EQ(mapi->Log(), (std::vector<std::string>{"MAPILogon|Work|secret|2", "MAPILogon|(null)|(null)|3"}));
    EXPECT_EQ(events, (std::vector<std::string>{"before logon", "error 1", "error 3"}));
}

TEST_F(MailComponent, RecipientsOfAllThreeClassesWithAReceipt) {
    mapi = std::make_unique<MapiFixture>(dir.path(), true);
    TEmail m;
    Record(m);
    m.SetRecipient({"to@example.com", ""});
    m.SetCC({"ambiguous smith"});
    m.SetBcc({"bcc@example.com"});
    m.Acknowledge = true;
    m.SetSubject("Hello");
    EXPECT_EQ(m.SendMail(), 0);
    auto send = Split(mapi->Lines("MAPISendMail|")[0]);
    EXPECT_EQ(send[3], "0");                                    // recipients given: no dialog
    EXPECT_EQ(send[4], "Hello");
    EXPECT_EQ(send[5], "(null)");                               // no text
    EXPECT_EQ(send[6], std::to_string(MAPI_RECEIPT_REQUESTED));
    EXPECT_EQ(send[7], "3");
    EXPECT_EQ(send[8], "0");
    EXPECT_EQ(send[10], "(null)");                              // no files: no array
    EXPECT_EQ(mapi->Lines("recip|"),
              (std::vector<std::string>{"recip|1|to@example.com|SMTP:to@example.com|4|EID1",
                                        "recip|2|Picked Person|SMTP:picked@example.com|4|EID1",
                                        "recip|3|bcc@example.com|SMTP:bcc@example.com|4|EID1"}));
    // The ambiguous name was asked once more with the dialog; the list now holds the picked name.
    auto resolves = mapi->Lines("MAPIResolveName|");
    ASSERT_EQ(resolves.size(), 4u);
    EXPECT_EQ(Split(resolves[1])[3], "0");
    EXPECT_EQ(Split(resolves[2])[3], std::to_string(MAPI_DIALOG));
    EXPECT_EQ(m.CC(), std::vector<std::string>{"Picked Person"});
    EXPECT_EQ(mapi->Lines("MAPIFreeBuffer").size(), 3u);
    EXPECT_EQ(mapi->Lines("MAPILogoff").size(), 1u);
    EXPECT_EQ(events, (std::vector<std::string>{"before logon", "after logon", "before send", "after send",
                                                "before logoff", "after logoff"}));
}

TEST_F(MailComponent, ABracketedRecipientGoesOutAsTyped) {
    mapi = std::make_unique<MapiFixture>(dir.path(), true);
    TEmail m;
    m.SetRecipient({"Bob [bob@example.com]"});
    m.ShowDialog = true;
    EXPECT_EQ(m.SendMail(), 0);
    EXPECT_EQ(mapi->Lines("recip|"), std::vector<std::string>{"recip|1|Bob bob@example.com|Bob bob@example.com|0|(null)"});
    EXPECT_EQ(Split(mapi->Lines("MAPISendMail|")[0])[3], std::to_string(MAPI_DIALOG));
    EXPECT_EQ(mapi->Lines("MAPIFreeBuffer").size(), 1u);
}

TEST_F(MailComponent, ARecipientLineOver255CharactersIsCutNotThrown) {
    mapi = std::make_unique<MapiFixture>(dir.path(), true);
    std::string name(255, 'n');  // the brackets lie beyond the cut: the rest goes out as typed
    TEmail m;
    m.SetRecipient({name + "nn [far@example.com]"});
    EXPECT_EQ(m.SendMail(), 0);
    EXPECT_EQ(mapi->Lines("recip|"), std::vector<std::string>{"recip|1|" + name + "|" + name + "|0|(null)"});
}

TEST_F(MailComponent, AnOpenSessionIsKeptAndTheDestructorClosesIt) {
    mapi = std::make_unique<MapiFixture>(dir.path(), true);
    {
        TEmail m;
        m.Logon();
        m.SetRecipient({"x@example.com"});
        m.SendMail();
        EXPECT_TRUE(mapi->Lines("MAPILogoff").empty());
        EXPECT_EQ(mapi->Lines("MAPILogon").size(), 1u);
    }
    EXPECT_EQ(mapi->Lines("MAPILogoff").size(), 1u);
}

// F1 opens the guide's page about the explorer, and its part about mailing while a message
// is being written.
TEST_F(Mail, F1OpensTheGuideAtTheExplorerOrAtMailing) {
    Open();
    MakeFile(dir.file("Harbour.zip"));
    form->SpeedButton4Click();
    testing_support::PressF1(form->ListView1.Handle());
    EXPECT_EQ(testing_support::GuideProblem(desk.Of("ShellExecute"), {"explorer.htm", ""}), "");
    Click("Harbour.zip");
    form->SpeedButton3.Click();
    desk.Clear();
    testing_support::PressF1(form->Edit1.Handle());
    EXPECT_EQ(testing_support::GuideProblem(desk.Of("ShellExecute"), {"explorer.htm", "mail"}), "");
}

TEST_F(Mail, FirstSendQueuesSecondWithoutRecipientDiscards) {
    MakeFile(dir.file("scenery.zip"));
    OpenWithRecorder();
    Click("scenery.zip");
    form->SpeedButton3.Click();
    EXPECT_EQ(form->FormHeight(), 514);
    ASSERT_EQ(form->ListView2.Count(), 1);
    EXPECT_EQ(form->ListView2.Item(0), dir.file("scenery.zip"));
    EXPECT_TRUE(form->Edit1.Focused());
    EXPECT_TRUE(IsWindowVisible(form->Edit1.Handle()));

    form->Edit2.SetText("A subject");
    form->Memo1.SetText("kept");
    form->SpeedButton3.Click();
    EXPECT_EQ(form->FormHeight(), 375);
    EXPECT_EQ(form->ListView2.Count(), 0);
    EXPECT_EQ(form->Edit1.Text(), "");
    EXPECT_EQ(form->Edit2.Text(), "");
    EXPECT_EQ(form->Memo1.Text(), "kept");
    EXPECT_TRUE(mapi->Log().empty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(Mail, NothingSelectedOrAFolderIsRefusedAndThePanelStays) {
    MakeDir(dir.file("Project"));
    OpenWithRecorder();
    form->SpeedButton3.Click();
    Click("Project");
    form->SpeedButton3.Click();
    auto b = Boxes();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].text, "Please select a file you want to send with your e-mail.");
    EXPECT_EQ(b[1].text,
              "You can not send a Directory. It is suggested that you create\na single zip file which contains the "
              "files located in this directory.");
    for (auto& c : b) {
        EXPECT_EQ(c.caption, "Skykit Builder");
        EXPECT_EQ(c.flags, (UINT)(MB_OK | MB_ICONWARNING));
        EXPECT_EQ(c.owner, form->Handle());
    }
    EXPECT_EQ(form->FormHeight(), 375);
    EXPECT_EQ(form->ListView2.Count(), 0);
}

TEST_F(Mail, TheFileGoesOutWithSubjectTextAndItsShortName) {
    MakeFile(dir.file("MyScenery_Final.zip"), 12345);
    OpenWithRecorder();
    Send("MyScenery_Final.zip", "pilot@example.com", "New scenery", "Line one\r\nLine two");
    auto send = SendLine();
    ASSERT_FALSE(send.empty());
    EXPECT_EQ(send[1], "24149");  // the session of the logon
    EXPECT_EQ(send[2], "0");      // no parent window
    EXPECT_EQ(send[3], "0");
    EXPECT_EQ(send[4], "New scenery");
    EXPECT_EQ(send[5], "Line one\\r\\nLine two");
    EXPECT_EQ(send[7], "1");
    EXPECT_EQ(send[8], "1");
    EXPECT_EQ(mapi->Lines("file|"),
              std::vector<std::string>{"file|" + dir.file("MyScenery_Final.zip") + "|ry_Final.zip|-1|0|(null)|12345"});
    EXPECT_EQ(mapi->Lines("recip|"),
              std::vector<std::string>{"recip|1|pilot@example.com|SMTP:pilot@example.com|4|EID1"});
    EXPECT_EQ(form->ListView2.Count(), 0);
    EXPECT_EQ(form->Edit1.Text(), "pilot@example.com");  // kept for the next message
    EXPECT_EQ(form->Edit2.Text(), "New scenery");
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(mapi->Lines("MAPILogoff").size(), 1u);
}

TEST_F(Mail, AnEmptySubjectIsSkykitAndLongTextsAreCut) {
    MakeFile(dir.file("a.zip"));
    OpenWithRecorder();
    std::string text(300, 'm');
    Send("a.zip", "p@example.com", "", text);
    auto send = SendLine();
    ASSERT_FALSE(send.empty());
    EXPECT_EQ(send[4], "Skykit");
    EXPECT_EQ(send[5], std::string(255, 'm'));
    mapi->ClearLog();
    Send("a.zip", "p@example.com", std::string(300, 's'), "");
    send = SendLine();
    ASSERT_FALSE(send.empty());
    EXPECT_EQ(send[4], std::string(255, 's'));
    EXPECT_EQ(send[5], "(null)");
}

TEST_F(Mail, TwoMessagesEachReachOnlyTheirOwnRecipient) {
    MakeFile(dir.file("a.zip"));
    MakeFile(dir.file("b.zip"));
    OpenWithRecorder();
    Send("a.zip", "first@example.com");
    auto first = mapi->Lines("recip|");
    mapi->ClearLog();
    Send("b.zip", "second@example.com");
    auto second = mapi->Lines("recip|");
    EXPECT_EQ(first, std::vector<std::string>{"recip|1|first@example.com|SMTP:first@example.com|4|EID1"});
    EXPECT_EQ(second, std::vector<std::string>{"recip|1|second@example.com|SMTP:second@example.com|4|EID1"});
    ASSERT_EQ(mapi->Lines("file|").size(), 1u);
    EXPECT_EQ(Split(mapi->Lines("file|")[0])[1], dir.file("b.zip"));
}

TEST_F(Mail, AFailedSendIsSaidAndKeepsTheMessageAndItsAttachment) {
    MakeFile(dir.file("gone.zip"));
    OpenWithRecorder();
    Click("gone.zip");
    form->SpeedButton3.Click();
    DeleteFileA(dir.file("gone.zip").c_str());
    form->Edit1.SetText("p@example.com");
    form->SpeedButton3.Click();
    EXPECT_EQ(errors, std::vector<int>{11});
    EXPECT_TRUE(mapi->Lines("MAPISendMail").empty());
    EXPECT_EQ(mapi->Lines("MAPILogoff").size(), 1u);
    // Said in the window; the panel and its attachment stay, ready to send again.
    auto kept = [&](const std::string& said) {
        EXPECT_EQ(Boxes().size() == 1 ? Boxes()[0].text : "", "The e-mail was not sent: " + said);
        EXPECT_EQ(form->FormHeight(), 514);
        EXPECT_EQ(form->ListView2.Count() == 1 ? form->ListView2.Item(0) : "", dir.file("gone.zip"));
        desk.Clear();
    };
    kept("an attached file is no longer there.");
    MakeFile(dir.file("gone.zip"));  // the logon refused, then the send failing, a recipient not found
    mapi->Config("logon", MAPI_E_FAILURE), mapi->Config("logonui", MAPI_E_LOGIN_FAILURE);
    form->SpeedButton3.Click();
    kept("the mail system refused the logon.");
    mapi->Config("logon", 0), mapi->Config("logonui", 0), mapi->Config("send", MAPI_E_FAILURE);
    form->Edit1.SetText("unknown person");
    form->SpeedButton3.Click();
    kept("the mail system reported error 2.\nThese recipients could not be found:\n    unknown person");
}

TEST_F(Mail, AnUnknownRecipientLeavesTheMailProgramToAsk) {
    MakeFile(dir.file("a.zip"));
    OpenWithRecorder();
    Send("a.zip", "unknown person", "Subject", "Text");
    EXPECT_EQ(errors, std::vector<int>{MAPI_E_UNKNOWN_RECIPIENT});
    auto resolves = mapi->Lines("MAPIResolveName|");
    ASSERT_EQ(resolves.size(), 2u);
    EXPECT_EQ(Split(resolves[1])[3], std::to_string(MAPI_DIALOG));
    auto send = SendLine();
    ASSERT_FALSE(send.empty());
    EXPECT_EQ(send[3], std::to_string(MAPI_DIALOG));
    EXPECT_EQ(send[7], "0");
    EXPECT_EQ(send[9], "(null)");
    EXPECT_EQ(send[4], "Subject");
    EXPECT_EQ(send[8], "1");
}

TEST_F(Mail, WithoutSimpleMapiTheSecondSendSaysSoAndKeepsTheFile) {
    mapi.reset();
    mapi = std::make_unique<MapiFixture>(dir.path(), false);
    MakeFile(dir.file("a.zip"));
    OpenWithRecorder();
    Click("a.zip");
    form->SpeedButton3.Click();
    form->Edit1.SetText("p@example.com");
    form->SpeedButton3.Click();
    auto b = Boxes();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].text.rfind("MAPI services are not available on this system", 0), 0u) << b[0].text;
    EXPECT_EQ(b[0].caption, "Skykit Explorer");
    EXPECT_EQ(form->FormHeight(), 375);
    ASSERT_EQ(form->ListView2.Count(), 1);
    EXPECT_EQ(form->ListView2.Item(0), dir.file("a.zip"));
}
