// The address box: Go and Enter open the address and add it to the link list "hyper.add",
// whose lines fill the drop-down list; closing empties the file and the list, and the text
// of the box comes back at the next start.
#include "ExplorerTest.h"

using namespace explorer_test;
using testing_support::IniValue;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class Address : public ExplorerTest {
protected:
    std::string Links() { return ReadFile(dir.file("hyper.add")); }
    void Type(char key) { SendMessageA(form->ComboBox1.EditHandle(), WM_CHAR, (unsigned char)key, 0); }
};

}  // namespace

TEST_F(Address, GoOpensTheAddressAndListsEveryGoInOrder) {
    Open();
    form->ComboBox1.SetText("http://example.org/");
    form->SpeedButton5.Click();
    form->SpeedButton5.Click();
    auto opened = desk.Of("ShellExecute");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].caption, "open");
    EXPECT_EQ(opened[0].text, "http://example.org/");
    EXPECT_EQ(opened[0].extra, "|");
    EXPECT_EQ(opened[0].flags, (UINT)SW_SHOWDEFAULT);
    EXPECT_EQ(opened[0].owner, form->Handle());
    EXPECT_EQ(Links(), "http://example.org/\r\nhttp://example.org/\r\n");
    EXPECT_EQ(form->ComboBox1.Items(), (std::vector<std::string>{"http://example.org/", "http://example.org/"}));
    EXPECT_EQ(form->ComboBox1.Text(), "http://example.org/");
    form->ComboBox1.SetText("C:\\");
    form->SpeedButton5.Click();
    EXPECT_EQ(form->ComboBox1.Items().back(), "C:\\");
    EXPECT_EQ(form->ComboBox1.Items().size(), 3u);
}

TEST_F(Address, GoWithAnEmptyBoxOpensNothingButAddsAnEmptyLine) {
    Open();
    form->ComboBox1.SetText("");
    form->SpeedButton5.Click();
    EXPECT_TRUE(desk.Of("ShellExecute").empty());
    EXPECT_EQ(Links(), "\r\n");
    EXPECT_EQ(form->ComboBox1.Items(), std::vector<std::string>{""});
}

TEST_F(Address, EnterGoesOnlyWithText) {
    Open();
    form->ComboBox1.SetText("");
    Type('\r');
    EXPECT_TRUE(desk.Of("ShellExecute").empty());
    EXPECT_FALSE(ui::FileExists(dir.file("hyper.add")));
    form->ComboBox1.SetText("fs");
    SendMessageA(form->ComboBox1.EditHandle(), EM_SETSEL, 2, 2);
    Type('x');  // other keys type as usual
    EXPECT_EQ(form->ComboBox1.Text(), "fsx");
    Type('\r');
    ASSERT_EQ(desk.Of("ShellExecute").size(), 1u);
    EXPECT_EQ(desk.Of("ShellExecute")[0].text, "fsx");
    EXPECT_EQ(Links(), "fsx\r\n");
    EXPECT_EQ(form->ComboBox1.Text(), "fsx");  // the key was taken, not typed
}

TEST_F(Address, LinesLeftByARunThatDidNotCloseAreKeptAndReadWithAnyLineEnd) {
    WriteFile(dir.file("hyper.add"), "one\ntwo\rthree\r\nfour");
    Open();
    EXPECT_TRUE(form->ComboBox1.Items().empty());
    form->ComboBox1.SetText("five");
    form->SpeedButton5.Click();
    EXPECT_EQ(form->ComboBox1.Items(), (std::vector<std::string>{"one", "two", "three", "four", "five"}));
    EXPECT_EQ(Links(), "one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n");
}

TEST_F(Address, ClosingEmptiesTheLinkListAndTheNextStartShowsTheSavedAddress) {
    Open();
    form->ComboBox1.SetText("http://example.org/a");
    form->SpeedButton5.Click();
    form->ComboBox1.SetText("http://example.org/typed-but-not-opened");
    form->Image4.Click();
    EXPECT_TRUE(ui::FileExists(dir.file("hyper.add")));
    EXPECT_EQ(Links(), "");
    EXPECT_TRUE(form->ComboBox1.Items().empty());
    EXPECT_EQ(IniValue(dir.ini(), "Skykit Explorer", "Url"), "http://example.org/typed-but-not-opened");
    Shut();
    TearDown();
    Open();
    EXPECT_EQ(form->ComboBox1.Text(), "http://example.org/typed-but-not-opened");
    EXPECT_TRUE(form->ComboBox1.Items().empty());
}

TEST_F(Address, ClosingByOtherMeansEmptiesTheListButSavesNoAddress) {
    Open();
    form->ComboBox1.SetText("http://example.org/");
    form->SpeedButton5.Click();
    SendMessageA(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(Links(), "");
    EXPECT_EQ(IniValue(dir.ini(), "Skykit Explorer", "Url"), "<absent>");
}

TEST_F(Address, AnUnwritableLinkListIsSaidBeforeTheAddressOpensAndTheAddressStays) {
    Open();
    CreateDirectoryA(dir.file("hyper.add").c_str(), nullptr);  // a folder where the file should be
    form->ComboBox1.SetText("http://example.org/");
    form->SpeedButton5.Click();
    ASSERT_EQ(desk.calls.size(), 2u);
    EXPECT_EQ(desk.calls[0].kind + " " + desk.calls[1].kind, "MessageBox ShellExecute");
    EXPECT_NE(desk.calls[0].text.find("hyper.add"), std::string::npos) << desk.calls[0].text;
    EXPECT_EQ(form->ComboBox1.Items(), std::vector<std::string>{form->ComboBox1.Text()});
    EXPECT_EQ(form->ComboBox1.Text(), "http://example.org/");
    RemoveDirectoryA(dir.file("hyper.add").c_str());
}
