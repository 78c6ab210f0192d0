// How a package is built, apart from any window: the Build is a sequence of named steps over
// one PackageBuild (at the end of this file), as the installer's installation is. The main
// form runs them through BuildPackage, and so can a program without a window: the steps touch
// no form, and what they ask and show goes through a BuildPerson.
//
// What a build writes, in its order (the package directory is the install directory followed
// by the master subdirectory, unless the build is given another):
//   the legal texts and the archive under temporary names; then, once the archive is complete,
//   they take the places of "licens.skh", "File_id.diz" and "Setup.skb"; "Kitsetup.ini";
//   "Skin32.dll", "Unzeng.dll" and "Setup.exe"; the screenshots and the splash bitmap; and
//   last the optional files an earlier build wrote and this one did not are removed.
// Until the archive is complete nothing of the earlier package is touched: a refused, failed
// or stopped build leaves it byte for byte, and nothing temporary behind.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ZipPacker.h"

// One developer of the add-on.
struct Developer {
    std::string name, email;
    bool operator==(const Developer&) const = default;
};

// The add-on types a project may have, as the main form's labels name them.
inline constexpr const char* kProjectTypes[] = {"Scenery", "Scenery MD", "Aircraft", "Sound", "Panel", "Adventure"};

// The project as the author describes it: with the install directory, all a build needs.
struct Project {
    std::string title;
    std::string subdir;  // the master subdirectory: the package directory's name
    Developer developers[3];
    // "Scenery", "Scenery MD", "Aircraft", "Sound", "Panel" or "Adventure"; "" for none.
    std::string type;
    bool freeware = true;
    std::vector<std::string> simulators;          // what the add-on is for: short names of kit::kSimulators
                                                  // ("fs2004", "fsx"); none: the default one
    std::string addonVersion;                     // the add-on's own ("1.1"); "" for none
    std::string splash;                           // the splash bitmap to copy; "" for none
    std::string splashWidth, splashHeight;        // its size in pixels, as written ("400")
    std::string screenshots[4];                   // the JPEG files to copy; "" for an empty slot
    std::vector<std::string> terms, description;  // the lines of the legal texts; none: no file
    std::string location;                         // the add-on folder: all below it is packed
    bool operator==(const Project&) const = default;
};

// The archive's design: folder names kept, folders recursed, hidden files included, folders
// as members of their own.
inline const AddOpts kPackOptions{AddDirNames, AddRecurseDirs, AddHiddenFiles, AddSeparateDirs};

enum class BuildStep { Validate, Stage, Pack, Commit, WriteSettings, CopyPrograms, CopyPictures, Prune, Report };

// The person at the other end of a build: its refusals and problems, the archive's progress,
// and a way to stop it. The main form shows them; a program without a window prints them.
class BuildPerson {
public:
    enum class Field { None, Location, Subdir };
    virtual ~BuildPerson() = default;
    // The project cannot be built as it is; nothing has been written. The field to correct.
    virtual void Refuse(const std::string& text, Field field) = 0;
    // A step begins.
    virtual void Starting(BuildStep) {}
    // The archive component's reports while the add-on folder is packed.
    virtual void Progress(ProgressType, long /*size*/) {}
    // Asked after each report: true once the person wants the build stopped.
    virtual bool Stopped() = 0;
    // A program of the package could not be copied; the build goes on without it.
    virtual void CopyFailed(const std::string& text) = 0;
};

// One build of one project.
struct PackageBuild {
    enum class Outcome { Refused, Failed, Cancelled, Complete };
    PackageBuild(Project p, std::string install, TZipPacker& zip)
        : project(std::move(p)), installDir(std::move(install)), packer(zip) {}
    // Given.
    Project project;
    std::string installDir;                     // with a trailing backslash: the programs come from here
    TZipPacker& packer;                         // makes the archive
    std::vector<std::string> simulatorFolders;  // the target simulator's folder, never packed whole
    // The package directory when it is not the install directory's master subdirectory (the
    // command-line build writes anywhere); its last folder's name is the master subdirectory.
    std::string outputDir;
    // Validate.
    std::string packageDir;  // with a trailing backslash
    // Stage.
    bool newPackage = false;                                        // the package directory did not exist before
    std::vector<std::pair<std::string, std::string>> pendingTexts;  // temporary name, final name
    std::string pendingArchive;
    // Pack.
    Outcome outcome = Outcome::Refused;
    std::string packProblem;  // the engine's words when the archive could not be made
    DWORD packMs = 0;         // how long the archive took
    // Commit and after.
    int archivedFiles = 0;                  // files of the archive, its folders not counted
    std::vector<std::string> written;       // the optional package files this build wrote
    std::vector<std::string> missing;       // what the package lacks, and why
    std::vector<std::string> packageFiles;  // the package's own files as the build left them
    std::string report;                     // Report's text, when BuildPackage ran it
};

// The steps, in their order. Validate and Stage return false after telling the person why
// (outcome Refused); Stage throws ui::EFCreateError when a legal text cannot be saved. Pack
// returns false when the archive was not completed (outcome Failed or Cancelled); it has
// then removed what Stage wrote. From Commit on the package is complete and nothing stops.
//   Validate:      the project's defaults and its checks (simulators it knows); the package
//                  directory's name.
//   Stage:         makes the package directory; the legal texts and a name for the archive.
//   Pack:          the archive of the add-on folder, under its temporary name.
//   Commit:        the archive and the texts replace the earlier ones.
//   WriteSettings: "Kitsetup.ini", written whole.
//   CopyPrograms, CopyPictures: from the install directory and from where the author keeps them.
//   Prune:         the optional files of an earlier build that this one did not write.
//   Report:        what the package lacks, as the author is told it ("" when it is complete).
bool Validate(PackageBuild& build, BuildPerson& person);
bool Stage(PackageBuild& build, BuildPerson& person);
bool Pack(PackageBuild& build, BuildPerson& person);
void Commit(PackageBuild& build);
void WriteSettings(PackageBuild& build);
void CopyPrograms(PackageBuild& build, BuildPerson& person);
void CopyPictures(PackageBuild& build);
void Prune(PackageBuild& build);
std::string Report(PackageBuild& build);

// Runs the steps in their order, telling the person as each starts; true when the package is
// complete (Report's text may still list what it lacks).
bool BuildPackage(PackageBuild& build, BuildPerson& person);
