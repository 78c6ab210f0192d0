// The installer's work apart from its window: what the package's archive holds, what is
// already at the destination, the unpacking's problems turned into one clear outcome, the
// removal of what an unfinished installation left behind, and the installation itself as a
// sequence of steps over one Installation (at the end of this file).
//
// Paths here are in the ANSI code page, as the installer's window and the engine's block use.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ExitCodes.h"
#include "InstallLog.h"
#include "PackageInfo.h"
#include "Uninstall.h"
#include "Unpack.h"

namespace kit {

// The package's archive, read once: its directory serves the pages, the survey of the
// destination and the unpacking, over the file held open from the reading on.
struct ArchiveScan {
    enum class Problem { None, Missing, Damaged, Unsupported };
    Problem problem = Problem::None;
    std::string detail;                  // the reader's own words for the problem
    std::shared_ptr<zip::File> file;
    zc::Directory directory;
    std::vector<std::string> names;      // every member, '/'-separated, ANSI
    std::vector<std::string> files;      // the file members as relative '\' paths
    std::vector<uint32_t> crcs;          // and, beside each, its CRC and size
    std::vector<uint64_t> sizes;
    std::vector<std::string> refused;    // members whose names would leave the destination
    uint64_t bytes = 0;                  // uncompressed size of the files
};

// Reads the directory; members that share their data (a zip bomb) or a directory that does
// not match its end record make the archive damaged.
ArchiveScan ScanArchive(const std::string& path);

// What the person is told when the package cannot be installed from ("" when it can): the
// archive is missing, damaged or unusable, or holds no files.
std::string PackageProblem(const ArchiveScan& scan, const std::string& title, const std::string& packageDir);

// What an installation into dest would touch.
struct TargetSurvey {
    std::string dest;
    std::vector<std::string> existing;     // files of the add-on that are there already
    std::vector<std::string> newFiles;     // full paths that do not exist yet
    std::vector<std::string> newFolders;   // full paths of folders to be made, parents first
};

TargetSurvey SurveyTarget(const ArchiveScan& scan, const std::string& dest);

// Removes what an installation created: the new files that are there now (and any partial
// file the unpacking left beside them), then the new folders that are empty, deepest first.
// Returns the number of files removed.
int RemoveInstalled(const TargetSurvey& survey);

// Free bytes for the caller on the drive of path (or of its nearest existing parent); -1
// when the drive does not answer.
int64_t FreeBytes(const std::string& path);

// Makes dest and the folders above it; empty on success, else the system's reason.
std::string MakeFolders(const std::string& dest);

// Tries to create a file in dest; empty when that works, else the system's reason.
std::string ProbeWrite(const std::string& dest);

// What the unpacking of one run came to, judged for the person installing.
struct UnpackOutcome {
    enum class Kind { Ok, Cancelled, Damaged, DiskFull, NoAccess, Password, Unsupported, Missing, Other };
    Kind kind = Kind::Ok;
    std::vector<std::string> errors;      // texts of the problems that made the kind
    std::vector<std::string> refused;     // members left out for their names
    // The kind of failure an engine error code (zip::kBadCrc, zip::kWrite, ...) stands for.
    static Kind KindOf(int code);
    // The unpacking's problems, member by member: members with unusable names are left out
    // (no failure), the rest fail the run; and a cancel.
    static UnpackOutcome Of(const UnpackResult& r);
    // The first failure names the outcome; a cancel wins over what it caused.
    void Add(Kind k, const std::string& text);
    bool Failed() const { return kind != Kind::Ok; }
    // Advice for the person installing, one or two sentences.
    std::string Advice() const;
};

std::string LastErrorText(unsigned long code);

// Paths for the file calls of the installer's own checks and clean-up: wide, and in the
// "\\?\" form past MAX_PATH, as the engine writes them, so that whatever the engine could
// write Setup can find and remove again.
std::wstring LongPath(const std::string& ansi);
bool PathExists(const std::string& path);
bool IsFilePath(const std::string& path);   // exists and is not a folder

ExitCode ExitCodeFor(UnpackOutcome::Kind kind);

std::string Plural(size_t n, const char* one, const char* many);   // "1 file", "2 files"

// The record of an earlier installation of the add-on into folder, when it is whole and its
// own; how the versions stand (below 0: this package is the older one), and what an update
// will do, in a sentence for the person.
bool FindEarlier(const PackageInfo& info, const std::string& folder, InstallLog& earlier);
int UpgradeOrder(const PackageInfo& info, const InstallLog& earlier);
std::string UpgradeNote(const PackageInfo& info, const InstallLog& earlier);

// --- The installation ----------------------------------------------------------------------

// The person at the other end of an installation: the questions and messages of its steps
// (answered as by a message box: IDYES, IDNO, IDCANCEL, IDOK), and the unpacking's progress.
// The wizard shows them; without a window each question takes the answer that installs.
class InstallPerson : public UnpackEvents {
public:
    virtual int Ask(const std::string& text, unsigned flags) = 0;
    // After the unpacking's last report: true when the person asked to stop after all.
    virtual bool Stopped() = 0;
    // Setup replaces or keeps files by one rule and cannot ask for a password.
    Answer AskOverwrite(const std::string&, const zc::Entry&) override { return Answer::No; }
    bool AskPassword(std::string&, bool) override { return false; }
};

// One installation of the package into one folder: what the wizard gives, and what the
// steps learn and do, in their order.
struct Installation {
    Installation(const PackageInfo& package, ArchiveScan& archiveScan, Journal& runLog)
        : info(package), scan(archiveScan), journal(runLog) {}
    // Given.
    const PackageInfo& info;
    ArchiveScan& scan;              // the wizard's, read again by Survey
    Journal& journal;               // what was done, for "/LOG="
    std::string archive;            // the package's "Setup.skb"
    std::string packageDir;         // with trailing backslash
    std::string dest;               // the add-on's folder as chosen
    SceneryLibrary library;         // where the add-on's scenery areas go
    std::string running;            // the simulator that is running (it rewrites its library), or ""
    bool silent = false;
    bool keepCopies = true;         // of the person's files that are replaced
    // Survey.
    TargetSurvey survey;
    std::string folder, identity, logPath;
    InstallLog earlier;
    bool upgrading = false;
    std::vector<InstallLog> others;     // the other add-ons installed through Setup
    // Confirm.
    std::set<std::string> own;          // files of the earlier installation, lower case
    std::vector<std::string> foreign;   // files already there that are not: the question is about them
    std::vector<std::string> changed;   // of those, files of the earlier installation the person changed
    std::map<std::string, const InstallLog*> belongs;   // of those, another add-on's (lower case)
    bool overwrite = true;
    // Prepare.
    UninstallPlace place;
    InstallLog log;
    std::map<std::string, size_t> fileIndex;   // lower-case path: index into scan.files
    std::vector<std::string> aside;     // the earlier installation's files, moved out of the way
    // Unpack.
    UnpackOutcome outcome;
    // Replace the earlier version, register, record.
    std::vector<std::string> keptChanged, removedOld, putBackOld;
    std::string registration, recordProblem, removal;
    ExitCode exitCode = kExitCancelled;
};

// The steps, in their order; each that can stop the installation returns false after telling
// the person why, with run.exitCode set. Nothing is changed on the disk before Prepare.
//   Survey:  reads the archive (once for the rest) and looks at the destination and at an
//            earlier installation there.
//   Confirm: a newer version there, files of the person's there, the free space.
//   Prepare: makes the folder, the uninstaller's place, copies of the files to be replaced.
//   Unpack:  writes the files; every one must be there afterwards.
//   RollBack (after a failed unpack): takes out what the run made; returns the message.
//   ReplaceEarlier, Register (the scenery library), Record (the record, the uninstaller and
//   the entry of the list of programs); Report: the text of the last page.
bool Survey(Installation& run, InstallPerson& person);
// The question about the files already there (run.foreign): which they are, whose, and what
// Yes and No do.
std::string ReplaceQuestion(const Installation& run);
bool Confirm(Installation& run, InstallPerson& person);
bool Prepare(Installation& run, InstallPerson& person);
void Unpack(Installation& run, InstallPerson& person);
std::string RollBack(Installation& run);
void ReplaceEarlier(Installation& run);
void Register(Installation& run);
void Record(Installation& run);
std::string Report(const Installation& run);

}  // namespace kit
