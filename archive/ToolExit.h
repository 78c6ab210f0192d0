// The exit codes of the command-line tools (Kitzip, Kitbuild), documented for the people who
// script their releases with them, and the kind of failure behind each report of the archive
// component. A new failure of the component gets its kind here, once, for both tools.
#pragma once

#include <string>

class TZipPacker;

namespace tool {

enum Exit {
    kOk = 0,
    kArgs = 1,       // bad arguments: unknown command or option, a missing value
    kNotFound = 2,   // a file not found
    kDamaged = 3,    // a damaged archive or member
    kWrite = 4,      // disk full or a write refused
    kCancelled = 5,  // cancelled
    kOther = 6,      // anything else: the zip engine or the self-extractor stub missing, no memory
};

// The kind of failure behind a message of the component's table; kOk for a note.
int ExitOfMessage(int id);
// The kind of failure behind an engine error code (the codes of Info-ZIP's tools) and its text.
int ExitOfEngineCode(int code, const std::string& text);
// The kind of failure behind a report of the component's OnMessage: an engine error carries its
// code; the component's own errors set ErrorText and a table id just before they are passed
// on; anything else is a note (kOk).
int ExitOfReport(const TZipPacker& packer, int code, const std::string& text);

}  // namespace tool
