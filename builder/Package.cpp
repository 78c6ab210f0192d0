// The Build's steps (Package.h says what each does and in which order).
#include "Package.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "PackageFiles.h"
#include "PackageInfo.h"
#include "ui.h"

namespace {

const char* const kDefaultTitle = "Skykit Project 1.0";
const char* const kSimulatorFolderText =
    "Can not build FS2000. Please choose a subdirectory,\nor choose another directory on your harddrive.";

// Replaces `to` by `from` once `from` is complete, through the disk as well.
bool Replace(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void SaveLines(const std::string& path, const std::vector<std::string>& lines) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw ui::EFCreateError("Cannot create file \"" + path + "\"");
    std::string text;
    for (const std::string& l : lines) text += l + "\r\n";
    DWORD written = 0;
    bool ok = WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr) && written == text.size();
    CloseHandle(h);
    if (!ok) {
        DeleteFileA(path.c_str());
        throw ui::EFCreateError("Cannot write file \"" + path + "\"");
    }
}

// What Stage wrote goes again: the earlier package stays as it was.
void Discard(PackageBuild& b) {
    for (const auto& t : b.pendingTexts) DeleteFileA(t.first.c_str());
    b.pendingTexts.clear();
    if (!b.pendingArchive.empty()) DeleteFileA(b.pendingArchive.c_str());
    b.pendingArchive.clear();
    // A package directory this build made and left empty is no package.
    if (b.newPackage) RemoveDirectoryA(b.packageDir.c_str());
}

bool Has(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

}  // namespace

bool Validate(PackageBuild& b, BuildPerson& person) {
    Project& p = b.project;
    if (p.title.empty()) p.title = kDefaultTitle;
    using Field = BuildPerson::Field;
    auto refuse = [&](const std::string& text, Field field) {
        person.Refuse(text, field);
        return false;
    };
    // The simulators by their short names, each once and in the table's order.
    std::vector<kit::FsVersion> simulators;
    for (const std::string& name : p.simulators) {
        const kit::Simulator* s = kit::SimulatorNamed(name);
        if (!s) {
            std::string known;
            for (const kit::Simulator& k : kit::kSimulators)
                known += std::string(known.empty() ? "" : ", ") + k.shortName;
            return refuse("This builder knows no simulator \"" + name + "\".\nAn add-on can be for " + known + ".",
                          Field::None);
        }
        simulators.push_back(s->version);
    }
    if (simulators.empty()) simulators.push_back(kit::kDefaultSimulator);
    p.simulators = SimulatorNames(simulators);
    // What is packed is the folder the location names, so it must be there.
    if (p.location.empty() || !ui::DirectoryExists(p.location))
        return refuse("Please choose the path where your project files are stored.", Field::Location);
    // Compared as paths: "C:\FS2000", "c:\fs2000\" and "C:\FLIGHT~1\." are one folder. A folder
    // that holds the simulator, or the builder's own folder, would be packed whole.
    for (const std::string& sim : b.simulatorFolders)
        if (PathWithin(sim, p.location)) return refuse(kSimulatorFolderText, Field::Location);
    if (PathWithin(b.installDir, p.location)) return refuse(kSimulatorFolderText, Field::Location);
    if (p.subdir.empty())
        return refuse("Please type the name of the Kitforge subdirectory,\nwhere your Skykit project will be build.",
                      Field::Subdir);
    // The package directory is one folder of the install directory, never a path out of it.
    if (!PlainFolderName(p.subdir))
        return refuse(
            "The master subdirectory must be a plain folder name:\n"
            "not \".\" or \"..\", and none of \\ / : * ? \" < > |",
            Field::Subdir);
    b.packageDir = b.outputDir.empty() ? b.installDir + p.subdir : b.outputDir;
    if (b.packageDir.back() != '\\' && b.packageDir.back() != '/') b.packageDir += '\\';
    // The package directory itself would be packed into its own archive, and so would one
    // below the add-on folder.
    if (PathWithin(p.location, b.packageDir) || PathWithin(b.packageDir, p.location))
        return refuse(kSimulatorFolderText, Field::Location);
    return true;
}

bool Stage(PackageBuild& b, BuildPerson& person) {
    const std::string dir = b.packageDir.substr(0, b.packageDir.size() - 1);
    b.newPackage = !ui::DirectoryExists(dir);
    ui::ForceDirectories(dir);
    // The legal texts are written now, so that a text that cannot be saved stops the build
    // before anything is packed; under temporary names, as the package's own texts are
    // replaced only once the archive is complete.
    struct Text {
        const std::vector<std::string>& lines;
        const char* name;
    } const texts[] = {{b.project.terms, kit::kTermsFile}, {b.project.description, kit::kDescriptionFile}};
    for (const Text& t : texts) {
        if (t.lines.empty()) continue;
        char temp[MAX_PATH + 1];
        if (!GetTempFileNameA(dir.c_str(), "txt", 0, temp)) {
            Discard(b);
            throw ui::EFCreateError("Cannot create file \"" + b.packageDir + t.name + "\"");
        }
        b.pendingTexts.push_back({temp, b.packageDir + t.name});
        try {
            SaveLines(temp, t.lines);
        } catch (...) {
            Discard(b);
            throw;
        }
    }
    // The archive is made anew under a temporary name: the package then holds what the
    // add-on folder holds now.
    char temp[MAX_PATH + 1];
    if (!GetTempFileNameA(dir.c_str(), "skb", 0, temp)) {
        Discard(b);
        person.Refuse("The package directory can not be written:\n" + dir, BuildPerson::Field::None);
        return false;
    }
    DeleteFileA(temp);
    b.pendingArchive = temp;
    return true;
}

bool Pack(PackageBuild& b, BuildPerson& person) {
    TZipPacker& zip = b.packer;
    zip.AddOptions = kPackOptions;
    zip.FSpecArgs = {"*.*"};
    // The engine packs the current directory.
    SetCurrentDirectoryA(b.project.location.c_str());
    zip.SetZipFileName(b.pendingArchive);
    // The end of the batch comes after the engine has put the whole archive in place.
    bool complete = false, stopped = false;
    TProgressEvent shown = std::move(zip.OnProgress);
    zip.OnProgress = [&](TObject*, ProgressType type, const std::string&, long size) {
        if (type == ptBatchDone) complete = true;
        person.Progress(type, size);
        if (!complete && person.Stopped()) stopped = zip.CancelRequested = true;
    };
    const DWORD start = GetTickCount();
    zip.Add();
    b.packMs = GetTickCount() - start;
    zip.OnProgress = std::move(shown);
    if (complete && ui::FileExists(b.pendingArchive)) return true;
    b.outcome = stopped || person.Stopped() ? PackageBuild::Outcome::Cancelled : PackageBuild::Outcome::Failed;
    b.packProblem = zip.ErrorText;
    Discard(b);
    return false;
}

void Commit(PackageBuild& b) {
    b.outcome = PackageBuild::Outcome::Complete;
    for (const auto& t : b.pendingTexts) {
        if (Replace(t.first, t.second)) {
            b.written.push_back(ui::ExtractFileName(t.second));
        } else {
            DeleteFileA(t.first.c_str());
            b.missing.push_back(ui::ExtractFileName(t.second));
        }
    }
    b.pendingTexts.clear();
    // The installer counts what the main form calls files: the archive's files, not its folders.
    // The component read the new archive's directory when it was complete.
    b.archivedFiles = 0;
    for (int i = 0; i < b.packer.GetCount(); ++i) {
        const std::string& name = b.packer.DirEntry(i).FileName;
        if (!name.empty() && name.back() != '\\' && name.back() != '/') ++b.archivedFiles;
    }
    if (!Replace(b.pendingArchive, b.packageDir + kit::kArchiveFile)) {
        DeleteFileA(b.pendingArchive.c_str());
        b.missing.push_back(kit::kArchiveFile);
    }
    b.pendingArchive.clear();
    // Files of the add-on folder that the engine could not read are not in the package.
    if (b.packer.ErrorCode != 0 && !b.packer.ErrorText.empty()) b.missing.push_back(b.packer.ErrorText);
}

void WriteSettings(PackageBuild& b) {
    const Project& p = b.project;
    kit::KitsetupIni ini;
    if (!p.splash.empty())
        ini.splashWidth = p.splashWidth, ini.splashHeight = p.splashHeight, ini.splashFile = kit::kSplashFile;
    for (int n = 0; n < 3; ++n) ini.authorName[n] = p.developers[n].name, ini.authorEmail[n] = p.developers[n].email;
    std::vector<kit::FsVersion> simulators;
    bool adventures = false;
    for (const std::string& name : p.simulators)
        if (const kit::Simulator* s = kit::SimulatorNamed(name))
            simulators.push_back(s->version), adventures |= s->adventures;
    kit::SetSimulators(ini, simulators);
    // Adventures are a type of their own only in the simulators that fly them.
    ini.type = p.type != "Adventure" ? p.type : adventures ? kit::kAdventureType : "";
    ini.condition = p.freeware ? "Freeware" : "Shareware";
    ini.addonVersion = p.addonVersion;
    ini.title = p.title;
    // Written whole under another name, then in the old one's place: no key of an earlier
    // build survives.
    const std::string name = b.packageDir + kit::kSettingsFile, fresh = name + ".new";
    DeleteFileA(fresh.c_str());
    WriteKitsetupFile(fresh, ini);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, fresh.c_str());  // flushed before the move
    if (!Replace(fresh, name)) {
        DeleteFileA(fresh.c_str());
        b.missing.push_back(kit::kSettingsFile);
    }
}

void CopyPrograms(PackageBuild& b, BuildPerson& person) {
    for (const kit::PackageProgram& p : kit::kPackagePrograms)
        if (!CopyFileA((b.installDir + p.source).c_str(), (b.packageDir + p.target).c_str(), FALSE)) {
            person.CopyFailed(std::string("Copy ") + p.target + " failed");
            b.missing.push_back(p.target);
        }
}

void CopyPictures(PackageBuild& b) {
    const Project& p = b.project;
    for (int i = 0; i < 5; ++i) {
        const std::string& source = i < 4 ? p.screenshots[i] : p.splash;
        const char* name = i < 4 ? kit::kScreenshotFiles[i] : kit::kSplashFile;
        if (source.empty()) continue;
        const std::string target = b.packageDir + name;
        // A reopened package may name its own copy as the source: it is in place already.
        if (ComparablePath(source) == ComparablePath(target) || CopyFileA(source.c_str(), target.c_str(), FALSE)) {
            b.written.push_back(name);
            continue;
        }
        b.missing.push_back(name);
        // The installer must not look for a splash screen that is not there.
        if (i == 4) {
            ui::IniFile setup(b.packageDir + kit::kSettingsFile);
            kit::RemoveKitsetupSplash([&setup](const std::string& s, const std::string& k) { setup.DeleteKey(s, k); });
        }
    }
}

void Prune(PackageBuild& b) {
    for (size_t i = kit::kFirstOptionalFile; i < std::size(kit::kPackageFiles); ++i)
        if (!Has(b.written, kit::kPackageFiles[i])) DeleteFileA((b.packageDir + kit::kPackageFiles[i]).c_str());
}

std::string Report(PackageBuild& b) {
    // What a release of the package holds: the files this build made, never an earlier
    // release or anything else lying in the package directory.
    b.packageFiles.clear();
    for (size_t i = 0; i < std::size(kit::kPackageFiles); ++i) {
        const char* name = kit::kPackageFiles[i];
        if ((i < kit::kFirstOptionalFile || Has(b.written, name)) && ui::FileExists(b.packageDir + name))
            b.packageFiles.push_back(name);
    }
    if (b.missing.empty()) return "";
    std::string text = "The package is not complete. Missing from " + b.packageDir + ":";
    for (const std::string& m : b.missing) text += "\n" + m;
    return text;
}

bool BuildPackage(PackageBuild& b, BuildPerson& person) {
    b.outcome = PackageBuild::Outcome::Refused;
    person.Starting(BuildStep::Validate);
    if (!Validate(b, person)) return false;
    person.Starting(BuildStep::Stage);
    if (!Stage(b, person)) return false;
    person.Starting(BuildStep::Pack);
    if (!Pack(b, person)) return false;
    person.Starting(BuildStep::Commit);
    Commit(b);
    person.Starting(BuildStep::WriteSettings);
    WriteSettings(b);
    person.Starting(BuildStep::CopyPrograms);
    CopyPrograms(b, person);
    person.Starting(BuildStep::CopyPictures);
    CopyPictures(b);
    person.Starting(BuildStep::Prune);
    Prune(b);
    person.Starting(BuildStep::Report);
    b.report = Report(b);
    return true;
}
