// A release of a built package, apart from any window: the files its last build made, packed
// into one distribution ZIP, or into one self-extracting program (the one-file download) that
// asks nothing, unpacks the package into a folder of its own under %TEMP% and starts its
// Setup.exe there. The project-complete dialog makes releases through here, and so does the
// command-line build.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ZipPacker.h"

struct Release {
    std::string packageDir;          // with a trailing backslash
    std::vector<std::string> files;  // the package's files as its last build left them
    std::string subdir;              // the master subdirectory: the download's folder under %TEMP%
    std::string title;               // the download's caption; "" for the component's own
    bool download = false;           // the one-file download instead of a ZIP
    std::string target;              // the file to make
};

// The name a typed release name becomes: ".zip" always added to a ZIP's, ".exe" once to a
// download's.
std::string ReleaseFileName(const std::string& typed, bool download);

// Why a release can not be made as asked; nothing has been written.
struct ReleaseRefusal {
    enum Kind { None, PackageFile, NoStub } kind = None;
    std::string text;  // as the author is told it
};
// A file of the package itself as the target would replace one of the files it packs; a
// download needs the self-extractor stub "SFXSTUB.BIN" of the install directory.
ReleaseRefusal CheckRelease(const Release& release, const std::string& installDir);

enum class ReleaseOutcome { Made, Stopped, Failed };
// Packs the release under a temporary name beside the target; only when it is complete does it
// take the target's place, so a stopped or failed one leaves an earlier file of that name as it
// was. `stopped` is asked after each of the component's reports. The component's own progress
// handler sees every report. On Failed, `problem` holds the component's words (may be empty).
ReleaseOutcome MakeRelease(const Release& release, const std::string& installDir, TZipPacker& packer,
                           const std::function<bool()>& stopped, std::string& problem);
