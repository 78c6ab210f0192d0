// ZIPENG.DLL: Add and Delete for the archive component.
#include <windows.h>

#include "callback.h"

using namespace zc;

extern "C" {

__declspec(dllexport) int32_t __stdcall GetZipEngVersion() { return kZipEngVersion; }

// Returns the number of files added or deleted; 0 when nothing was done. Errors go through
// callback action 4; nothing escapes.
__declspec(dllexport) int32_t __stdcall ZipEngExec(ZipExecParams* p) {
    return RunBlock<ZipExecParamsOld>(
        p, true, [](const ZipExecParams& b, std::vector<std::string>& patterns, bool old, zc::Progress& progress) {
            const ZipExecHead& h = b.head;
            std::string tempDir = old ? std::string() : BlockString(b.tempDir);
            if (h.deleteEntries) {
                zc::DeleteOptions o;
                o.archive = BlockString(h.zipName);
                o.patterns = patterns;
                o.tempDir = tempDir;
                o.verbose = h.verbose || h.trace;
                return zc::ZipDelete(zip::HostFs(), o, progress);
            }
            zc::AddOptions o;
            o.archive = BlockString(h.zipName);
            o.patterns = patterns;
            o.tempDir = tempDir;
            o.password = BlockBytes(h.password);
            o.level = h.level < 0 ? 0 : h.level > 9 ? 9 : h.level;
            o.encrypt = h.encrypt != 0;
            o.systemFiles = h.systemFiles != 0;
            o.dirEntries = h.noDirEntries == 0;
            o.junkDirs = h.junkDirNames != 0;
            o.recurse = h.recurse != 0;
            o.forceDos = h.forceDos != 0;
            o.move = h.move != 0;
            o.update = h.update != 0;
            o.freshen = h.freshen != 0 && !o.update;
            o.latestTime = h.latestTime != 0;
            o.verbose = h.verbose || h.trace;
            return zc::ZipAdd(zip::HostFs(), o, progress);
        });
}

}  // extern "C"
