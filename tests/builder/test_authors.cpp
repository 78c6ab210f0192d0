// The authors dialog: one dialog for the three developers.
#include "BuilderForms.h"

using namespace testing_support;
using namespace builder_tests;

namespace {

using AuthorsDialog = BuilderForms;

}  // namespace

TEST_F(AuthorsDialog, OkWritesTheDevelopersKeysAndCopiesBackToTheMainForm) {
    struct Case {
        const char* number;
        const char* nameKey;
        const char* emailKey;
        ui::Edit* name;
        ui::Edit* email;
    };
    for (Case c : {Case{"1", "Name1", "Email1", &Form1->Edit2, &Form1->Edit3},
                   Case{"2", "Name2", "Email2", &Form1->Edit4, &Form1->Edit5},
                   Case{"3", "Name3", "Email3", &Form1->Edit6, &Form1->Edit7}}) {
        Form5->Label3.SetCaption(c.number);
        Form5->Edit2.SetText(std::string("Dev ") + c.number);
        Form5->Edit3.SetText(std::string("dev") + c.number + "@example");  // not checked
        Form5->Show();
        Form5->Label19.Click();  // "OK"
        EXPECT_FALSE(Form5->Showing());
        EXPECT_EQ(Ini("Authors", c.nameKey), std::string("Dev ") + c.number);
        EXPECT_EQ(Ini("Authors", c.emailKey), std::string("dev") + c.number + "@example");
        EXPECT_EQ(c.name->Text(), std::string("Dev ") + c.number);
        EXPECT_EQ(c.email->Text(), std::string("dev") + c.number + "@example");
    }
}

TEST_F(AuthorsDialog, OkWithEmptyBoxesForgetsTheDeveloper) {
    SetIni("Authors", "Name2", "Bob");
    SetIni("Authors", "Email2", "bob@example.com");
    Form1->Edit4.SetText("Bob");
    Form1->Edit5.SetText("bob@example.com");
    Form5->Label3.SetCaption("2");
    Form5->Edit2.SetText("");
    Form5->Edit3.SetText("");
    Form5->Image3Click();
    EXPECT_EQ(Ini("Authors", "Name2"), "");
    EXPECT_EQ(Ini("Authors", "Email2"), "");
    EXPECT_EQ(Form1->Edit4.Text(), "");
    EXPECT_EQ(Form1->Edit5.Text(), "");
    EXPECT_EQ(Ini("Authors", "Name1"), "<absent>");
}

TEST_F(AuthorsDialog, CancelChangesNothingAndTheNextShowingGetsFreshValues) {
    Form1->Show();
    Form1->Edit4.SetText("Bob");
    Form1->Edit5.SetText("bob@example.com");
    std::string typed;
    Later edit(50, [&] {
        Form5->Edit2.SetText("Robert");
        typed = Form5->Edit2.Text();
        Form5->Label12.Click();  // "Cancel"
    });
    Form1->SpeedButton3Click();
    EXPECT_EQ(typed, "Robert");
    EXPECT_FALSE(ui::FileExists(dir.ini()));
    EXPECT_EQ(Form1->Edit4.Text(), "Bob");

    std::string shown;
    bool focused = false;
    Later look(50, [&] {
        shown = Form5->Edit2.Text();
        focused = Form5->Edit2.Focused();
        Form5->Image4Click();
    });
    Form1->SpeedButton3Click();
    EXPECT_EQ(shown, "Bob");
    EXPECT_TRUE(focused);
}

TEST_F(AuthorsDialog, AnUnknownNumberWritesNothing) {
    Form5->Label3.SetCaption("0");
    Form5->Edit2.SetText("Nobody");
    Form5->Image3Click();
    EXPECT_FALSE(ui::FileExists(dir.ini()));
    EXPECT_EQ(Form1->Edit2.Text(), "");
}
