// Kitbuild: the builder's Build on the command line, for authors who make their releases from a
// script. It takes the project from an earlier package, as reopening it in the builder does,
// changes what the command line says, and runs the very steps of the Build button
// (builder/Package.h) and, for -z and -x, the release of the project-complete dialog
// (builder/Release.h). It never opens a window or a message box: progress and errors go to the
// console and the log, and the exit code says what kind of failure ended the run, as Kitzip's do.
#include <windows.h>

#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "Destination.h"
#include "Package.h"
#include "PackageFiles.h"
#include "PackageInfo.h"
#include "Release.h"
#include "ToolExit.h"
#include "ui.h"

using namespace tool;

namespace {

const char kUsage[] =
    "Kitbuild - the Skykit Builder's Build on the command line\n"
    "\n"
    "  Kitbuild EARLIER ADDON [options]\n"
    "\n"
    "  EARLIER  an earlier package: its folder or its Kitsetup.ini. The project is taken from\n"
    "           it as the builder's \"Open an earlier package\" brings it back.\n"
    "  ADDON    the add-on's folder: everything below it is packed into Setup.skb.\n"
    "\n"
    "The project (each changes what the earlier package holds):\n"
    "  -t, --title TITLE        the title\n"
    "  -v, --version VERSION    the add-on's own version (\"1.1\"; \"\" for none)\n"
    "  --type TYPE              Scenery, \"Scenery MD\", Aircraft, Sound, Panel, Adventure or none\n"
    "  --freeware, --shareware  the condition\n"
    "  --developer N NAME       the name of developer N (1 to 3); \"\" removes it\n"
    "  --email N ADDRESS        the e-mail address of developer N; \"\" removes it\n"
    "  --simulator LIST         the simulators the add-on is for, comma-separated, any of\n"
    "                           @SIMULATORS@\n"
    "  --splash FILE.bmp        the splash bitmap, at most 500 x 375 pixels; --no-splash: none\n"
    "  --screenshot N FILE.jpg  screenshot N (1 to 4); \"\" empties the slot; --no-screenshots\n"
    "  --description FILE       the description (File_id.diz) from a text file; \"\" for none\n"
    "  --terms FILE             the terms of use (licens.skh) from a text file; \"\" for none\n"
    "\n"
    "The results:\n"
    "  -o FOLDER                the package folder (default: the earlier package's own); a\n"
    "                           package there is replaced only once the new one is complete\n"
    "  -z NAME.zip              then the distribution ZIP of the package\n"
    "  -x NAME.exe              then the one-file download, which unpacks the package into a\n"
    "                           temporary folder and starts its Setup.exe\n"
    "  -q                       no progress on the console (errors are still shown)\n"
    "  --log FILE               the progress and every error also into FILE\n"
    "  -h, --help, /?           this text\n"
    "\n"
    "Ctrl+C stops the build; the earlier package, ZIP and download stay as they were.\n"
    "\n"
    "Exit codes:\n"
    "  0  success: the package complete, and the ZIP or download made\n"
    "  1  bad arguments (an unknown option, a missing or wrong value)\n"
    "  2  a file not found (the earlier package, the add-on folder, a picture, a text)\n"
    "  3  a damaged file (an earlier package's Kitsetup.ini, a splash that is no bitmap)\n"
    "  4  disk full or a write refused (the package folder, the ZIP, the download, the log)\n"
    "  5  cancelled (Ctrl+C)\n"
    "  6  any other failure (the zip engine, Setup.dll or the self-extractor stub missing)\n";

const int kMaxSplashWidth = 500, kMaxSplashHeight = 375;

// Ctrl+C, Ctrl+Break or the console closing: the build stops at the engine's next report.
volatile LONG stopRequested = 0;
// Set when the run has tidied up: a console that closes waits for it, or the temporary files
// of a stopped build would stay behind.
HANDLE runFinished = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    InterlockedExchange(&stopRequested, 1);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && runFinished) WaitForSingleObject(runFinished, 4500);
    return TRUE;
}

// Full, so that a name keeps its meaning while the engine packs from the add-on folder.
std::string FullPath(const std::string& path) {
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full, n) : path;
}

bool EndsWith(const std::string& s, const char* end) {
    size_t n = lstrlenA(end);
    return s.size() >= n && lstrcmpiA(s.c_str() + s.size() - n, end) == 0;
}

// The messages of the builder are written for a message box.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

// A simulator by its short name ("fs2004"), its label ("FS2004"), its name in the builder
// ("Flightsimulator 2004") or the one people know ("Microsoft Flight Simulator 2004").
const kit::Simulator* SimulatorCalled(const std::string& given) {
    const std::string word = kit::Trim(given);
    for (const kit::Simulator& s : kit::kSimulators)
        if (lstrcmpiA(word.c_str(), s.label) == 0 || lstrcmpiA(word.c_str(), s.displayName) == 0) return &s;
    return kit::SimulatorNamed(word);
}

// "FS98, FS2000, ...": the labels --simulator takes, oldest first.
std::string KnownSimulators() {
    std::string simulators;
    for (const kit::Simulator& s : kit::kSimulators) simulators += (simulators.empty() ? "" : ", ") + std::string(s.label);
    return simulators;
}

std::string Usage() {
    std::string text = kUsage;
    text.replace(text.find("@SIMULATORS@"), 12, KnownSimulators());
    return text;
}

// What the command line asks for; an option not given keeps what the earlier package holds.
struct Options {
    std::string earlier, addon;
    std::optional<std::string> title, version, type, simulator, splash, description, terms;
    std::optional<std::string> output, zip, download, log;
    std::optional<bool> freeware;
    std::optional<std::string> developer[3], email[3], screenshot[kit::kMaxScreenshots];
    bool quiet = false;
};

struct ValueOption {
    const char* name;
    const char* alias;
    std::optional<std::string> Options::*field;
    const char* value;  // what it takes, for the message when it is missing
};
const ValueOption kValueOptions[] = {
    {"-t", "--title", &Options::title, "the title"},
    {"-v", "--version", &Options::version, "the add-on's version"},
    {"--type", nullptr, &Options::type, "the add-on type"},
    {"--simulator", nullptr, &Options::simulator, "the simulator"},
    {"--splash", nullptr, &Options::splash, "a bitmap"},
    {"--description", nullptr, &Options::description, "a text file"},
    {"--terms", nullptr, &Options::terms, "a text file"},
    {"-o", nullptr, &Options::output, "the package folder"},
    {"-z", nullptr, &Options::zip, "the ZIP's name"},
    {"-x", nullptr, &Options::download, "the download's name"},
    {"--log", nullptr, &Options::log, "the log file"},
};

// What is wrong with the arguments: the argument and why; both empty when they make sense.
struct Wrong {
    std::string what, why;
};

Wrong Parse(const std::vector<std::string>& args, Options& o) {
    std::vector<std::string> names;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const ValueOption* valued = nullptr;
        for (const ValueOption& v : kValueOptions)
            if (a == v.name || (v.alias && a == v.alias)) valued = &v;
        if (valued) {
            if (i + 1 >= args.size()) return {a, std::string("needs a value: ") + valued->value};
            o.*(valued->field) = args[++i];
            continue;
        }
        // Options of a developer or a screenshot slot: a number, then the value.
        struct Numbered {
            const char* name;
            std::optional<std::string>* slots;
            int count;
            const char* value;
        } const numbered[] = {{"--developer", o.developer, 3, "a name"},
                              {"--email", o.email, 3, "an address"},
                              {"--screenshot", o.screenshot, kit::kMaxScreenshots, "a JPEG file"}};
        bool wasNumbered = false;
        for (const Numbered& n : numbered) {
            if (a != n.name) continue;
            if (i + 2 >= args.size()) return {a, std::string("needs a number and ") + n.value};
            const std::string& number = args[++i];
            if (number.size() != 1 || number[0] < '1' || number[0] >= '1' + n.count)
                return {a, "takes a number from 1 to " + std::to_string(n.count) + ", not " + number};
            n.slots[number[0] - '1'] = args[++i];
            wasNumbered = true;
        }
        if (wasNumbered) continue;
        if (a == "--freeware" || a == "--shareware")
            o.freeware = a == "--freeware";
        else if (a == "--no-splash")
            o.splash = "";
        else if (a == "--no-screenshots")
            for (auto& slot : o.screenshot) slot = "";
        else if (a == "-q" || a == "--quiet")
            o.quiet = true;
        else if (a.size() > 1 && a[0] == '-')
            return {a, "unknown option"};
        else
            names.push_back(a);
    }
    if (names.size() != 2) return {"Kitbuild", "an earlier package and the add-on folder are needed, in this order"};
    o.earlier = names[0], o.addon = names[1];
    if (o.type) {
        std::string type;
        for (const char* t : kProjectTypes)
            if (lstrcmpiA(o.type->c_str(), t) == 0) type = t;
        if (type.empty() && lstrcmpiA(o.type->c_str(), "none") != 0 && !o.type->empty())
            return {"--type",
                    "takes Scenery, \"Scenery MD\", Aircraft, Sound, Panel, Adventure or none, not " + *o.type};
        o.type = type;
    }
    if (o.simulator) {
        // "fs2004,fsx": each known, at least one; kept as the short names a project holds.
        std::vector<kit::FsVersion> list;
        std::string rest = *o.simulator + ",";
        for (size_t comma; (comma = rest.find(',')) != std::string::npos; rest.erase(0, comma + 1)) {
            const std::string word = rest.substr(0, comma);
            if (word.find_first_not_of(' ') == std::string::npos) continue;
            const kit::Simulator* s = SimulatorCalled(word);
            if (!s) return {"--simulator", "does not know " + word + "; it knows " + KnownSimulators()};
            list.push_back(s->version);
        }
        if (list.empty()) return {"--simulator", "names no simulator; it knows " + KnownSimulators()};
        o.simulator = kit::SimulatorList(list);
    }
    return {};
}

// The console, the log, and the first failure of the run. It is the person a build tells
// what happens.
class Console : public BuildPerson {
public:
    std::string addonDir, packageDir;  // named in the errors about them
    int failure = kOk;

    Console(bool quiet, FILE* log) : quiet_(quiet), log_(log) {
        DWORD mode;
        console_ = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    }
    // A line of progress.
    void Say(const std::string& line) {
        EndPercent();
        if (!quiet_) std::printf("%s\n", line.c_str()), std::fflush(stdout);
        Log(line);
    }
    // An error; the run's exit code is the kind of its first one.
    int Fail(int kind, const std::string& what, const std::string& why) {
        EndPercent();
        const std::string line = "Kitbuild: error: " + what + ": " + OneLine(why);
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
        Log(line);
        if (failure == kOk) failure = kind;
        return failure;
    }
    // The archive component's reports as a percentage of the whole batch.
    void Report(ProgressType type, long size) {
        if (type == ptByteCount) total_ = size, done_ = 0, shown_ = -1;
        if (type != ptBytesDone || total_ <= 0) return;
        done_ += size;
        const int percent = int(done_ * 100 / total_);
        if (percent == shown_ || percent > 100) return;
        // On a console the figure counts up in place; a file or a pipe gets a line each tenth.
        const bool line = percent / 10 != shown_ / 10 || shown_ < 0;
        shown_ = percent;
        if (console_ && !quiet_) {
            std::printf("\r  %3d%%", percent), std::fflush(stdout);
            open_ = true;
        } else if (line && !quiet_) {
            std::printf("  %3d%%\n", percent / 10 * 10), std::fflush(stdout);
        }
        if (line) Log("  " + std::to_string(percent / 10 * 10) + "%");
    }

    void Refuse(const std::string& text, Field field) override {
        // The project was checked before; what is left is where it would go.
        Fail(step_ == BuildStep::Stage ? kWrite : kArgs, field == Field::Location ? addonDir : packageDir, text);
    }
    void Starting(BuildStep step) override {
        step_ = step;
        static const char* const kSteps[] = {
            "Checking the project",      "Preparing the package folder",
            "Packing the add-on folder", "Putting the new archive and texts in place",
            "Writing Kitsetup.ini",      "Copying Setup.exe, Skin32.dll and Unzeng.dll",
            "Copying the pictures",      "Removing what the earlier build had and this one has not",
            "Checking the package"};
        static_assert(std::size(kSteps) == int(BuildStep::Report) + 1, "a line for each step");
        Say(kSteps[int(step)]);
    }
    void Progress(ProgressType type, long size) override { Report(type, size); }
    bool Stopped() override { return stopRequested != 0; }
    void CopyFailed(const std::string&) override {}  // the package's report names it

private:
    bool quiet_, console_ = false, open_ = false;
    FILE* log_;
    long long total_ = 0, done_ = 0;
    int shown_ = -1;
    BuildStep step_ = BuildStep::Validate;

    void EndPercent() {
        if (open_) std::printf("\n"), std::fflush(stdout);
        open_ = false;
    }
    void Log(const std::string& line) {
        if (log_) std::fprintf(log_, "%s\r\n", line.c_str()), std::fflush(log_);
    }
};

// Nobody answers: the archive component asks nothing when unattended, and whatever else would
// reach a person is told on the console and answered as no one being there.
class NoOne : public ui::Desktop {
public:
    explicit NoOne(Console& c) : console_(c) {}
    int MessageBox(HWND, const std::string& text, const std::string&, UINT flags) override {
        console_.Say(OneLine(text));
        const UINT kind = flags & MB_TYPEMASK;
        return kind == MB_OK ? IDOK : kind == MB_YESNO ? IDNO : IDCANCEL;
    }
    bool OpenFile(ui::FileDialog&) override { return false; }
    int FileOperation(SHFILEOPSTRUCTA* op) override {
        op->fFlags |= FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
        return ui::Desktop::FileOperation(op);
    }

private:
    Console& console_;
};

// The files the command line names: each there, and the splash a bitmap of the allowed size
// (its size then taken into the project). The exit code of the first that is not, else kOk.
int CheckFiles(const Options& o, Project& p, Console& out) {
    std::vector<std::pair<std::string, std::string>> files;  // path, what it is
    if (o.splash && !o.splash->empty()) files.push_back({*o.splash, "the splash bitmap"});
    for (const auto& shot : o.screenshot)
        if (shot && !shot->empty()) files.push_back({*shot, "a screenshot"});
    if (o.description && !o.description->empty()) files.push_back({*o.description, "the description"});
    if (o.terms && !o.terms->empty()) files.push_back({*o.terms, "the terms of use"});
    for (const auto& [path, what] : files)
        if (!ui::FileExists(path) || ui::DirectoryExists(path))
            return out.Fail(kNotFound, path, what + " is not there");
    if (!o.splash || o.splash->empty()) return kOk;
    // Measured as the settings dialog measures it: the platform's bitmap loader.
    auto bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, o.splash->c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    BITMAP info{};
    const bool read = bitmap && GetObjectA(bitmap, sizeof info, &info) == sizeof info;
    if (bitmap) DeleteObject(bitmap);
    if (!read) return out.Fail(kDamaged, *o.splash, "the splash is no bitmap that Windows can read");
    if (info.bmWidth > kMaxSplashWidth || info.bmHeight > kMaxSplashHeight)
        return out.Fail(kArgs, *o.splash,
                        "the splash is " + std::to_string(info.bmWidth) + " x " + std::to_string(info.bmHeight) +
                            " pixels; at most 500 x 375 fit the installer's window");
    p.splashWidth = std::to_string(info.bmWidth), p.splashHeight = std::to_string(info.bmHeight);
    return kOk;
}

// The command line's changes to the earlier package's project.
void Apply(const Options& o, Project& p) {
    if (o.title) p.title = *o.title;
    if (o.version) p.addonVersion = *o.version;
    if (o.type) p.type = *o.type;
    if (o.freeware) p.freeware = *o.freeware;
    if (o.simulator) p.simulators = SimulatorNames(kit::ParseSimulatorList(*o.simulator));
    for (int n = 0; n < 3; ++n) {
        if (o.developer[n]) p.developers[n].name = *o.developer[n];
        if (o.email[n]) p.developers[n].email = *o.email[n];
    }
    if (o.splash) p.splash = o.splash->empty() ? "" : FullPath(*o.splash);  // its size: CheckFiles
    if (p.splash.empty()) p.splashWidth.clear(), p.splashHeight.clear();
    for (int i = 0; i < kit::kMaxScreenshots; ++i)
        if (o.screenshot[i]) p.screenshots[i] = o.screenshot[i]->empty() ? "" : FullPath(*o.screenshot[i]);
    if (o.description)
        p.description = o.description->empty() ? std::vector<std::string>{} : ReadTextLines(*o.description);
    if (o.terms) p.terms = o.terms->empty() ? std::vector<std::string>{} : ReadTextLines(*o.terms);
}

// The earlier package's project; kOk, or the exit code after saying why there is none.
int ReadEarlier(const std::string& given, const Options& o, Project& p, std::string& folder, Console& out) {
    const std::string path = kit::NoTrailingSlash(FullPath(given));
    if (!ui::FileExists(path) && !ui::DirectoryExists(path))
        return out.Fail(kNotFound, given, "the earlier package is not there");
    if (ui::DirectoryExists(path)) {
        folder = path;
    } else if (lstrcmpiA(ui::ExtractFileName(path).c_str(), kit::kSettingsFile) == 0) {
        folder = kit::NoTrailingSlash(ui::ExtractFilePath(path));
    } else {
        return out.Fail(kArgs, given, std::string("give the earlier package's folder or its ") + kit::kSettingsFile);
    }
    const std::string settings = folder + "\\" + kit::kSettingsFile;
    if (!ui::FileExists(settings))
        return out.Fail(kNotFound, folder, std::string("no ") + kit::kSettingsFile + ": this is no package folder");
    // Every build writes these three keys: a file without them is no package's settings.
    const char* const kAbsent = "\x01";
    kit::KitsetupIni absent;
    absent.version = absent.condition = absent.title = kAbsent;
    const kit::KitsetupIni setup = ReadKitsetupFile(settings, absent);
    const char* lacking = setup.title == kAbsent       ? "[Title] hl"
                          : setup.version == kAbsent   ? "[Flightsim] Version"
                          : setup.condition == kAbsent ? "[Addon] Condition"
                                                       : nullptr;
    if (lacking) return out.Fail(kDamaged, settings, std::string("the file is damaged: it has no ") + lacking);
    if (!o.simulator && kit::SimulatorsOf(setup).empty())
        return out.Fail(kDamaged, settings,
                        "names no simulator Kitbuild knows: \"" + setup.version + "\" (give them with --simulator)");
    // A package of the builder's own folder comes back as the builder reopens it, with the
    // pictures from where the author keeps them.
    const std::string subdir = PackageSubdirOf(folder);
    if (!(subdir.empty() ? ReadPackageFolder(folder, p) : ReadPackageProject(subdir, p)))
        return out.Fail(kNotFound, folder, std::string("no ") + kit::kSettingsFile + ": this is no package folder");
    return kOk;
}

// The exit code for what a complete build's package lacks, after naming each.
int Incomplete(const PackageBuild& b, const std::string& installDir, int packFailure, Console& out) {
    for (const std::string& missing : b.missing) {
        int kind = kWrite;  // a file of the package that could not be written
        for (const kit::PackageProgram& program : kit::kPackagePrograms)
            if (missing == program.target && !ui::FileExists(installDir + program.source)) kind = kOther;
        bool packageFile = false;
        for (const char* f : kit::kPackageFiles) packageFile = packageFile || missing == f;
        if (!packageFile) {
            // The engine's words about files of the add-on folder it could not pack.
            out.Fail(packFailure != kOk ? packFailure : kDamaged, out.addonDir, missing);
            continue;
        }
        out.Fail(kind, out.packageDir, "the package lacks " + missing);
    }
    return out.Fail(kWrite, out.packageDir, "the package is not complete; no ZIP or download was made");
}

struct ReleaseAsked {
    std::string target;
    bool download;
};

int Run(const Options& o, Console& out) {
    const std::string installDir = ui::InstallDir();
    Project project;
    std::string earlierFolder;
    if (int failed = ReadEarlier(o.earlier, o, project, earlierFolder, out); failed != kOk) return failed;
    const std::string addon = kit::NoTrailingSlash(FullPath(o.addon));
    out.addonDir = addon;
    if (!ui::DirectoryExists(addon)) return out.Fail(kNotFound, o.addon, "the add-on folder is not there");
    const std::string packageDir = o.output ? kit::NoTrailingSlash(FullPath(*o.output)) : earlierFolder;
    out.packageDir = packageDir;
    if (ComparablePath(packageDir) == ComparablePath(installDir))
        return out.Fail(kArgs, packageDir, "the builder's own folder is no package folder");
    if (PathWithin(packageDir, addon) || PathWithin(addon, packageDir))
        return out.Fail(kArgs, packageDir,
                        "the package folder and the add-on folder must lie apart: "
                        "the package would be packed into itself");
    if (int failed = CheckFiles(o, project, out); failed != kOk) return failed;
    Apply(o, project);
    project.location = addon;
    project.subdir = ui::ExtractFileName(packageDir);

    // The releases are checked before anything is written.
    std::vector<ReleaseAsked> releases;
    if (o.zip) releases.push_back({FullPath(EndsWith(*o.zip, ".zip") ? *o.zip : *o.zip + ".zip"), false});
    if (o.download) releases.push_back({FullPath(ReleaseFileName(*o.download, true)), true});
    for (const ReleaseAsked& asked : releases) {
        Release release{packageDir + "\\", {}, project.subdir, project.title, asked.download, asked.target};
        const ReleaseRefusal refused = CheckRelease(release, installDir);
        if (refused.kind != ReleaseRefusal::None)
            return out.Fail(refused.kind == ReleaseRefusal::NoStub ? kOther : kArgs, asked.target, refused.text);
        const std::string folder = kit::NoTrailingSlash(ui::ExtractFilePath(asked.target));
        if (!ui::DirectoryExists(folder) && ComparablePath(folder) != ComparablePath(packageDir))
            return out.Fail(kWrite, asked.target, "the folder " + folder + " is not there");
    }

    // The packers as the builder's: the engine from the install directory, no questions.
    TZipPacker packer, releaser;
    int packFailure = kOk;
    for (TZipPacker* z : {&packer, &releaser}) {
        z->SetDLLDirectory(installDir);
        z->Unattended = true;
        z->OnMessage = [&out, &packFailure, &packer, z](TObject*, int code, const std::string& text) {
            const int kind = ExitOfReport(*z, code, text);
            if (kind == kOk || kind == kCancelled) return;
            if (packFailure == kOk) packFailure = kind;
            // Said as it comes: a build may meet several files it cannot read.
            if (z == &packer) out.Say("  " + text);
        };
    }
    releaser.OnProgress = [&out](TObject*, ProgressType type, const std::string&, long size) {
        out.Report(type, size);
    };

    PackageBuild build(project, installDir, packer);
    build.outputDir = packageDir;
    // No simulator's folder on this computer is packed whole, whichever the add-on is for.
    for (const kit::FoundSimulator& f : kit::InstalledSimulators()) build.simulatorFolders.push_back(f.folder);
    out.Say("Building " + packageDir + " from " + addon);
    const DWORD start = GetTickCount();
    bool complete = false;
    try {
        complete = BuildPackage(build, out);
    } catch (const std::exception& e) {
        // A legal text that could not be saved: nothing of the earlier package was touched.
        return out.Fail(kWrite, packageDir, e.what());
    }
    if (build.outcome == PackageBuild::Outcome::Refused) return out.failure != kOk ? out.failure : kOther;
    if (build.outcome == PackageBuild::Outcome::Cancelled)
        return out.Fail(kCancelled, packageDir, "cancelled; the earlier package is as it was");
    if (!complete) {
        const int kind = packFailure != kOk ? packFailure : kOther;
        const std::string why = build.packProblem.empty() ? "the archive could not be made" : build.packProblem;
        return out.Fail(kind, kind == kWrite ? packageDir : addon, why + "; the earlier package is as it was");
    }
    // Reopened in the builder, a package of its folder brings back the add-on folder too.
    if (!PackageSubdirOf(packageDir).empty()) RememberPackage(build.project);
    if (!build.report.empty()) return Incomplete(build, installDir, packFailure, out);
    if (stopRequested && releases.empty()) out.Say("Ctrl+C came too late: the package was complete");
    out.Say("Package complete: " + packageDir + " (" + std::to_string(build.archivedFiles) + " files packed, " +
            std::to_string((GetTickCount() - start) / 1000) + " s)");

    for (const ReleaseAsked& asked : releases) {
        // A Ctrl+C that came when the package was complete stops what is still to come.
        if (stopRequested)
            return out.Fail(kCancelled, asked.target, "cancelled; the package is complete, this was not made");
        out.Say(std::string(asked.download ? "Making the download " : "Making the ZIP ") + asked.target);
        Release release{packageDir + "\\",   build.packageFiles, build.project.subdir,
                        build.project.title, asked.download,     asked.target};
        packFailure = kOk;
        std::string problem;
        const ReleaseOutcome made = MakeRelease(
            release, installDir, releaser, [] { return stopRequested != 0; }, problem);
        if (made == ReleaseOutcome::Stopped)
            return out.Fail(kCancelled, asked.target, "cancelled; an earlier file of that name is as it was");
        if (made == ReleaseOutcome::Failed)
            return out.Fail(packFailure != kOk ? packFailure : kWrite, asked.target,
                            (problem.empty() ? "the file could not be made" : problem) +
                                "; an earlier file of that name is as it was");
        out.Say(std::string(asked.download ? "Download ready: " : "ZIP ready: ") + asked.target);
    }
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    // No box of the system either: a missing disk or a crash is an exit code here.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args)
        if (a == "-h" || a == "--help" || a == "/?") return std::printf("%s", Usage().c_str()), kOk;
    if (args.empty()) return std::printf("%s", Usage().c_str()), kOk;
    Options options;
    if (const Wrong wrong = Parse(args, options); !wrong.what.empty()) {
        std::fprintf(stderr, "Kitbuild: error: %s: %s\n(Kitbuild -h lists the options and the exit codes)\n",
                     wrong.what.c_str(), wrong.why.c_str());
        return kArgs;
    }
    FILE* log = nullptr;
    if (options.log && !(log = std::fopen(options.log->c_str(), "wb"))) {
        std::fprintf(stderr, "Kitbuild: error: %s: the log can not be written\n", options.log->c_str());
        return kWrite;
    }
    Console out(options.quiet, log);
    if (log) {
        std::string command = "Kitbuild";
        for (const std::string& a : args) command += a.find(' ') == std::string::npos ? " " + a : " \"" + a + "\"";
        std::fprintf(log, "%s\r\n", command.c_str());
    }
    NoOne nobody(out);
    ui::SetDesktop(&nobody);
    runFinished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    int code = kOther;
    try {
        code = Run(options, out);
    } catch (const std::exception& e) {
        code = out.Fail(kOther, "Kitbuild", e.what());
    }
    if (log) std::fprintf(log, "exit code %d\r\n", code), std::fclose(log);
    SetEvent(runFinished);
    return code;
}
