// UNZENG.DLL: Extract and Test for the archive component.
#include <windows.h>

#include "callback.h"

using namespace zc;

extern "C" {

__declspec(dllexport) int32_t __stdcall GetUnzEngVersion() { return kUnzEngVersion; }

// Returns the number of members extracted or tested; errors go through callback action 4.
__declspec(dllexport) int32_t __stdcall UnzEngExec(UnzExecParams* p) {
    return RunBlock<UnzExecParamsOld>(
        p, false, [](const UnzExecParams& b, std::vector<std::string>& patterns, bool, zc::Progress& progress) {
            const UnzExecHead& h = b.head;
            zc::ExtractOptions o;
            o.archive = BlockString(h.zipName);
            o.patterns = patterns;
            o.password = BlockBytes(h.password);
            o.testOnly = h.testOnly != 0;
            o.dirNames = h.directories != 0;
            o.overwrite = h.overwrite != 0;
            o.update = h.update != 0;
            o.freshen = h.freshen != 0 && !o.update;
            o.names = h.codePage == 1 ? zc::NameRule::None : h.codePage == 2 ? zc::NameRule::Oem : zc::NameRule::Auto;
            o.verbose = h.verbose || h.trace;
            return zc::UnzipExtract(zip::HostFs(), o, progress);
        });
}

}  // extern "C"
