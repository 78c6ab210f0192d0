// ZIPENG.DLL: Add and Delete for the archive component.
#include <windows.h>

#include "../core/engine.h"
#include "../core/errors.h"
#include "callback.h"

using namespace zeng;

extern "C" {

__declspec(dllexport) int32_t __stdcall GetZipEngVersion() { return kZipEngVersion; }

// Returns the number of files added or deleted; 0 when nothing was done. Errors go through
// callback action 4; nothing escapes.
__declspec(dllexport) int32_t __stdcall ZipEngExec(ZipExecParams* p) {
  if (!p) return 0;
  BlockProgress progress(p->window, p->caller, p->callback, true,
                         p->trace != 0 || (p->verbose != 0 && p->quiet == 0));
  try {
    // The old layout has the check value where the current one has the temp-dir pointer.
    bool old = reinterpret_cast<const ZipExecParamsOld*>(p)->check == kCheckValue;
    if (!old && p->check != kCheckValue) {
      progress.message(zc::kParams, "ZIPENG: the parameter block is not recognised (check value missing)");
      return 0;
    }
    std::vector<std::string> patterns =
        old ? block_argv(reinterpret_cast<const ZipExecParamsOld*>(p)->argv, p->argc)
            : block_specs(p->fspecs, p->argc, kZipSpecRecordSize);
    std::string temp_dir = old ? std::string() : block_string(p->temp_dir);
    if (p->delete_entries) {
      zc::DeleteOptions o;
      o.archive = block_string(p->zip_name);
      o.patterns = patterns;
      o.temp_dir = temp_dir;
      o.verbose = p->verbose || p->trace;
      return zc::zip_delete(zc::host_fs(), o, progress);
    }
    zc::AddOptions o;
    o.archive = block_string(p->zip_name);
    o.patterns = patterns;
    o.temp_dir = temp_dir;
    o.password = block_bytes(p->password);
    o.level = p->level < 0 ? 0 : p->level > 9 ? 9 : p->level;
    o.encrypt = p->encrypt != 0;
    o.system_files = p->system_files != 0;
    o.dir_entries = p->no_dir_entries == 0;
    o.junk_dirs = p->junk_dir_names != 0;
    o.recurse = p->recurse != 0;
    o.force_dos = p->force_dos != 0;
    o.move = p->move != 0;
    o.update = p->update != 0;
    o.freshen = p->freshen != 0 && !o.update;
    o.latest_time = p->latest_time != 0;
    o.verbose = p->verbose || p->trace;
    return zc::zip_add(zc::host_fs(), o, progress);
  } catch (const std::exception& e) {
    progress.message(zc::kLogic, std::string("ZIPENG internal error: ") + e.what());
  } catch (...) {
    progress.message(zc::kLogic, "ZIPENG internal error");
  }
  return 0;
}

}  // extern "C"
