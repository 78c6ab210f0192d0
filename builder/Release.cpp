// A release of a built package: the distribution ZIP or the one-file download.
#include "Release.h"

#include <windows.h>

#include "PackageFiles.h"
#include "PackageInfo.h"
#include "SfxHeader.h"
#include "ui.h"

namespace {

const char* const kStubFile = "SFXSTUB.BIN";

bool EndsWith(const std::string& name, const char* ext) {
    size_t n = lstrlenA(ext);
    return name.size() >= n && lstrcmpiA(name.c_str() + name.size() - n, ext) == 0;
}

// A file that starts as a Windows program does.
bool IsProgram(const std::string& path) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char mz[2] = {};
    DWORD got = 0;
    bool ok = ReadFile(h, mz, 2, &got, nullptr) && got == 2 && mz[0] == 'M' && mz[1] == 'Z';
    CloseHandle(h);
    return ok;
}

}  // namespace

std::string ReleaseFileName(const std::string& typed, bool download) {
    return typed + (download ? (EndsWith(typed, ".exe") ? "" : ".exe") : ".zip");
}

ReleaseRefusal CheckRelease(const Release& r, const std::string& installDir) {
    // The package's own files are what the release carries: a release of their name would
    // replace one of them and break both.
    const std::string name = ui::ExtractFileName(r.target);
    if (ComparablePath(ui::ExtractFilePath(r.target)) == ComparablePath(r.packageDir)) {
        bool own = false;
        for (const char* f : kit::kPackageFiles) own = own || lstrcmpiA(name.c_str(), f) == 0;
        for (const std::string& f : r.files) own = own || lstrcmpiA(name.c_str(), f.c_str()) == 0;
        if (own)
            return {ReleaseRefusal::PackageFile,
                    "\"" + name + "\" is a file of the package itself.\nPlease choose another name."};
    }
    if (r.download && !ui::FileExists(installDir + kStubFile))
        return {ReleaseRefusal::NoStub, std::string("The self-extractor \"") + kStubFile + "\" is missing from " +
                                            installDir + "\nThe download can not be made; the package is unchanged."};
    return {};
}

ReleaseOutcome MakeRelease(const Release& r, const std::string& installDir, TZipPacker& zip,
                           const std::function<bool()>& stopped, std::string& problem) {
    problem.clear();
    // Written under a temporary name beside the target.
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(r.target.c_str(), sizeof full, full, nullptr);
    const std::string folder = ui::ExtractFilePath(n > 0 && n < sizeof full ? std::string(full, n) : r.target);
    char temp[MAX_PATH + 1];
    if (!GetTempFileNameA(folder.c_str(), "zip", 0, temp)) {
        problem = "Can not write into " + folder;
        return ReleaseOutcome::Failed;
    }
    DeleteFileA(temp);
    // The component makes a self-extracting program of an archive whose name ends in ".exe".
    const std::string pending = std::string(temp) + (r.download ? ".exe" : "");
    // Each file under its bare name, hidden ones too.
    zip.AddOptions = {AddRecurseDirs, AddHiddenFiles, AddSeparateDirs};
    zip.FSpecArgs.clear();
    for (const std::string& f : r.files)
        if (ui::FileExists(r.packageDir + f)) zip.FSpecArgs.push_back(r.packageDir + f);
    if (r.download) {
        zip.SFXPath = installDir + kStubFile;
        zip.SFXOptions = {SFXCheckSize, SFXAutoRun, SFXHideOverWriteBox};
        zip.SFXOverWriteMode = OvrAlways;
        zip.SFXDefaultDir = "%TEMP%\\" + r.subdir;
        zip.SFXCommandLine = kit::kSetupFile;
        const size_t room = zip::SfxCaptionRoom(zip.SFXDefaultDir, zip.SFXCommandLine);
        zip.SFXCaption = (r.title.empty() ? std::string(zip::kSfxDefaultCaption) : r.title).substr(0, room);
    }
    zip.SetZipFileName(pending);
    // The end of the batch comes after the engine has put the whole file in place.
    bool complete = false, stop = false;
    TProgressEvent shown = std::move(zip.OnProgress);
    zip.OnProgress = [&](TObject* sender, ProgressType type, const std::string& name, long size) {
        if (type == ptBatchDone) complete = true;
        if (shown) shown(sender, type, name, size);
        if (!complete && stopped && stopped()) stop = zip.CancelRequested = true;
    };
    zip.Add();
    zip.OnProgress = std::move(shown);
    // A download must be a program: without its stub it would be a ZIP named ".exe".
    const bool made =
        complete && (!r.download || IsProgram(pending)) &&
        MoveFileExA(pending.c_str(), r.target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (made) return ReleaseOutcome::Made;
    DeleteFileA(pending.c_str());
    if (stop || (stopped && stopped())) return ReleaseOutcome::Stopped;
    problem = zip.ErrorText;
    if (problem.empty() && complete) problem = "The file could not take its name: " + r.target;
    return ReleaseOutcome::Failed;
}
