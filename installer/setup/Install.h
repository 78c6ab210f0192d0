// The installer's work apart from its window: what the package's archive holds, what is
// already at the destination, the engine's messages turned into one clear outcome, and the
// removal of what an unfinished installation left behind.
//
// Paths here are in the ANSI code page, as the installer's window and the engine's block use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

struct ArchiveScan {
    enum class Problem { None, Missing, Damaged, Unsupported };
    Problem problem = Problem::None;
    std::string detail;                  // the reader's own words for the problem
    std::vector<std::string> names;      // every member, '/'-separated, ANSI
    std::vector<std::string> files;      // the file members as relative '\' paths
    std::vector<uint32_t> crcs;          // and, beside each, its CRC and size
    std::vector<uint64_t> sizes;
    std::vector<std::string> refused;    // members whose names would leave the destination
    uint64_t bytes = 0;                  // uncompressed size of the files
};

ArchiveScan ScanArchive(const std::string& path);

// What an installation into dest would touch.
struct TargetSurvey {
    std::string dest;
    std::vector<std::string> existing;     // files of the add-on that are there already
    std::vector<std::string> newFiles;     // full paths that do not exist yet
    std::vector<std::string> newFolders;   // full paths of folders to be made, parents first
};

TargetSurvey SurveyTarget(const ArchiveScan& scan, const std::string& dest);

// Removes what an installation created: the new files that are there now (and any partial
// file an engine left beside them), then the new folders that are empty, deepest first.
// Returns the number of files removed.
int RemoveInstalled(const TargetSurvey& survey);

// Free bytes for the caller on the drive of path (or of its nearest existing parent); -1
// when the drive does not answer.
int64_t FreeBytes(const std::string& path);

// Makes dest and the folders above it; empty on success, else the system's reason.
std::string MakeFolders(const std::string& dest);

// Tries to create a file in dest; empty when that works, else the system's reason.
std::string ProbeWrite(const std::string& dest);

// The engine's messages of one run, judged.
struct EngineOutcome {
    enum class Kind { Ok, Cancelled, Damaged, DiskFull, NoAccess, Password, Unsupported, Missing, Other };
    Kind kind = Kind::Ok;
    std::vector<std::string> errors;      // texts of the messages that made the kind
    std::vector<std::string> refused;     // members the engine refused for their names
    // Members this installer leaves out itself (ArchiveScan::refused): an engine that tries
    // them anyway and fails (a device name such as "nul.txt") does not fail the installation.
    std::vector<std::string> leftOut;
    void Add(int code, const std::string& text);
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

// Exit codes of Setup.exe (and of the self-extractor for the same kinds of failure), and of
// the uninstaller. Documented for people who install many add-ons by script.
enum ExitCode {
    kExitOk = 0,
    kExitCancelled = 1,       // the person cancelled or declined the terms
    kExitNoSimulator = 2,     // no Flight Simulator folder was found, and none was given
    kExitDamaged = 3,         // the package (archive, engine) is missing, damaged or unusable
    kExitNoSpace = 4,         // not enough free space
    kExitWriteRefused = 5,    // a folder or file could not be created, written or removed
    kExitBadCommandLine = 6,  // a switch that is not understood
    kExitNotRegistered = 7,   // installed, but the scenery library could not be updated
};
ExitCode ExitCodeFor(EngineOutcome::Kind kind);

}  // namespace kit
