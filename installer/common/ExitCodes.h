// The exit codes of Setup.exe and of the self-extractor (for the same kinds of outcome), and of
// the uninstaller. Documented for people who install many add-ons by script (installer/README.md).
#pragma once

namespace kit {

enum ExitCode {
    kExitOk = 0,
    kExitCancelled = 1,       // the person cancelled or declined the terms; for the self-extractor
                              // also its stub alone and a setting the person must correct
    kExitNoSimulator = 2,     // no Flight Simulator folder was found, and none was given
    kExitDamaged = 3,         // the package (archive, engine) is missing, damaged or unusable
    kExitNoSpace = 4,         // not enough free space
    kExitWriteRefused = 5,    // a folder or file could not be created, written or removed
    kExitBadCommandLine = 6,  // a switch that is not understood
    kExitNotRegistered = 7,   // installed, but the scenery library could not be updated
};

}  // namespace kit
