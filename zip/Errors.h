// The error codes of the engine and of everything that reads archives through zip/, and the
// exception that carries one with its text.
//
// The codes follow Info-ZIP's zip (ZE_*) and unzip (PK_*) exit codes, so that people who know
// those tools recognise them; they reach the component through callback action 4.
#pragma once
#include <stdexcept>
#include <string>

namespace zip {

enum ErrorCode : int {
    kOk = 0,
    kWarning = 1,       // something was skipped; the rest is fine
    kEof = 2,           // unexpected end of an archive
    kFormat = 3,        // archive structure invalid
    kMemory = 4,        // out of memory
    kLogic = 5,         // internal error
    kTooBig = 6,        // member or archive too large for the classic ZIP format (4 GiB, 65,535)
    kAbort = 9,         // cancelled by the user
    kTemp = 10,         // temporary file could not be written or renamed
    kRead = 11,         // read or seek error
    kNothing = 12,      // nothing to do
    kNoArchive = 13,    // archive missing, empty or not a zip file
    kWrite = 14,        // write error (disk full?)
    kCreate = 15,       // file could not be created
    kParams = 16,       // bad parameters in the block
    kOpen = 18,         // a file to add could not be opened
    kUnsafeName = 35,   // member name would leave the target directory: refused
    kBadCrc = 51,       // CRC error in a member
    kPassword = 82,     // no or wrong password for an encrypted member
    kUnsupported = 81,  // unsupported compression method, ZIP64, spanned archive
    kExists = 83,       // target file exists and is not to be overwritten (note only)
};

// An engine failure: a code from the list above and a text for the person reading it.
class ZipError : public std::runtime_error {
public:
    ZipError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// Thrown when a callback asked to cancel.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Operation cancelled by the user"; }
};

}  // namespace zip
