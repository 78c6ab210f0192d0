// UNZENG.DLL: Extract and Test for the archive component.
#include <windows.h>

#include "../core/engine.h"
#include "../core/errors.h"
#include "callback.h"

using namespace zeng;

extern "C" {

__declspec(dllexport) int32_t __stdcall GetUnzEngVersion() { return kUnzEngVersion; }

// Returns the number of members extracted or tested; errors go through callback action 4.
__declspec(dllexport) int32_t __stdcall UnzEngExec(UnzExecParams* p) {
  if (!p) return 0;
  BlockProgress progress(p->window, p->caller, p->callback, false,
                         p->trace != 0 || (p->verbose != 0 && p->quiet == 0));
  try {
    bool old = reinterpret_cast<const UnzExecParamsOld*>(p)->check == kCheckValue;
    if (!old && p->check != kCheckValue) {
      progress.message(zc::kParams, "UNZENG: the parameter block is not recognised (check value missing)");
      return 0;
    }
    zc::ExtractOptions o;
    o.archive = block_string(p->zip_name);
    o.patterns = old ? block_argv(reinterpret_cast<const UnzExecParamsOld*>(p)->argv, p->argc)
                  : block_specs(p->fspecs, p->argc, kUnzSpecRecordSize);
    o.password = block_bytes(p->password);
    o.test_only = p->test_only != 0;
    o.dir_names = p->directories != 0;
    o.overwrite = p->overwrite != 0;
    o.update = p->update != 0;
    o.freshen = p->freshen != 0 && !o.update;
    o.names = p->code_page == 1 ? zc::NameRule::None : p->code_page == 2 ? zc::NameRule::Oem : zc::NameRule::Auto;
    o.verbose = p->verbose || p->trace;
    return zc::unzip_extract(zc::host_fs(), o, progress);
  } catch (const std::exception& e) {
    progress.message(zc::kLogic, std::string("UNZENG internal error: ") + e.what());
  } catch (...) {
    progress.message(zc::kLogic, "UNZENG internal error");
  }
  return 0;
}

}  // extern "C"
