// What the explorer's form tests share: the window in a temporary install directory, a
// desktop that records, real mouse messages on the list, and the Simple MAPI stand-in.
#pragma once
#include <gtest/gtest.h>

#include "Kitlensform.h"
#include "TestSupport.h"

namespace explorer_test {

using testing_support::Call;
using testing_support::Exists;

// A recording desktop that also keeps what the shell's file operation and extended execute
// were handed, byte for byte.
class ExplorerDesktop : public testing_support::FakeDesktop {
public:
    std::string fromList;  // the whole source list of the last file operation, NULs included
    SHFILEOPSTRUCTA fileOp{};
    SHELLEXECUTEINFOA exec{};
    std::string execFile, execVerb;
    int FileOperation(SHFILEOPSTRUCTA* op) override;
    BOOL ShellExecuteEx(SHELLEXECUTEINFOA* info) override;
};

void MakeFile(const std::string& path, size_t bytes = 10);
void MakeDir(const std::string& path);

class ExplorerTest : public ::testing::Test {
protected:
    ExplorerDesktop desk;
    testing_support::TempInstallDir dir;
    TKitlens* form = nullptr;

    void TearDown() override;
    // Creates the window and shows it (the first listing of the install directory).
    void Open();
    // Closes and frees the window as the program's end does.
    void Shut();

    std::vector<std::string> Items() const;
    int Item(const std::string& caption) const;
    // A person's click and double-click on an item: real mouse messages to the list.
    void ClickItem(int index);
    void DblClickItem(int index);
    void Click(const std::string& caption);
    void DblClick(const std::string& caption);
    std::vector<Call> Boxes() const { return desk.Of("MessageBox"); }
};

// The Simple MAPI stand-in copied into the install directory and bound as at start-up.
class MapiFixture {
public:
    // installed: what the registry says; copy: which stand-in lies in the install directory
    // ("mapi-double", "mapi-partial" or "" for none).
    MapiFixture(const std::string& installDir, bool installed, const std::string& copy = "mapi-double",
                bool bind = true);
    ~MapiFixture();
    // Binds Simple MAPI as the program's start does.
    void Bind();
    std::vector<std::string> Log() const;
    // Lines of the log that start with `prefix`.
    std::vector<std::string> Lines(const std::string& prefix) const;
    void Config(const std::string& key, int value);
    void ClearLog();

private:
    std::string dir_;
    bool hadValue_ = false;
    std::string oldValue_;
};

std::vector<std::string> Split(const std::string& line, char sep = '|');

}  // namespace explorer_test
