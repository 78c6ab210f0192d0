#include "ToolExit.h"

#include "ZipMsg.h"
#include "ZipPacker.h"

namespace tool {

int ExitOfMessage(int id) {
    switch (id) {
        case 0:
        case ZIPMSG_GARBAGE:  // a warning: the archive itself reads
            return kOk;
        case ZIPMSG_NO_ZIPFILE:
        case ZIPMSG_NO_EXE:
        case ZIPMSG_INPUT_MISSING:
        case ZIPMSG_OPEN_FAILED:
        case ZIPMSG_NOTHING_TO_ZIP:
        case ZIPMSG_NOTHING_TO_DELETE: return kNotFound;
        case ZIPMSG_CANCELED: return kCancelled;
        case ZIPMSG_SAME_ARCHIVE:
        case ZIPMSG_SPAN_FRESHEN: return kArgs;
        case ZIPMSG_CREATE_OUTPUT:
        case ZIPMSG_WRITE_OUTPUT:
        case ZIPMSG_TEMP_CREATE:
        case ZIPMSG_LOH_WRITE:
        case ZIPMSG_CEH_WRITE:
        case ZIPMSG_EOC_WRITE:
        case ZIPMSG_DISK_FULL:
        case ZIPMSG_LABEL_SET:
        case ZIPMSG_UNATTENDED_SPAN: return kWrite;
        default: break;
    }
    if ((id >= 10201 && id <= 10203) || id == ZIPMSG_NOT_ZIP_INPUT || id == ZIPMSG_NOT_EXE_INPUT ||
        id == ZIPMSG_SFX_TYPE || id == ZIPMSG_SFX_NO_SPAN || (id >= 11008 && id <= 11023) ||
        id == ZIPMSG_LOH_NOT_FOUND || id == ZIPMSG_EXT_LOCAL_SIG || (id >= 11036 && id <= 11038) ||
        (id >= 11042 && id <= 11045))
        return kDamaged;
    return kOther;
}

int ExitOfEngineCode(int code, const std::string& text) {
    switch (code) {
        case 0:
        case 83:  // a file kept as it was: a note
            return kOk;
        case 1:  // something was left out: a file or folder not found, or members with errors
            return text.find("not found") != std::string::npos ? kNotFound : kDamaged;
        case 12:  // nothing matched
        case 18:  // a file to add could not be opened
            return kNotFound;
        case 9: return kCancelled;
        case 10:
        case 14:
        case 15: return kWrite;
        case 2:
        case 3:
        case 11:
        case 13:
        case 35:
        case 51:
        case 81:
        case 82: return kDamaged;
        default: return kOther;
    }
}

int ExitOfReport(const TZipPacker& z, int code, const std::string& text) {
    if (code != 0) return ExitOfEngineCode(code, text);
    return text == z.ErrorText && z.ErrorCode >= 10000 ? ExitOfMessage(z.ErrorCode) : kOk;
}

}  // namespace tool
