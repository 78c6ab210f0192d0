// Extraction for the self-extractor: members of an archive written below one folder, each
// through a temporary file that takes the member's name only after its CRC was right, with
// the overwrite rule applied file by file and progress in bytes.
//
// Paths are UTF-8 (the engine's file-system layer); the caller converts for its windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SfxLayout.h"
#include "FileSystem.h"
#include "zipformat.h"

namespace kit {

struct UnpackItem {
    size_t entry = 0;         // index into the directory's entries
    std::string rel;          // path below the target folder, '\'-separated ("" = nothing)
    std::string refusal;      // why the member is not written (unsafe name); "" when it may be
    bool isDir = false;
    bool exists = false;      // a file of that name is there already
    bool selected = true;     // the person may leave members out
};

struct UnpackPlan {
    std::string targetDir;    // absolute, '/'-separated, as the file-system layer gives it
    std::vector<UnpackItem> items;
    // Over the selected, writable file members:
    uint64_t Bytes(const zc::Directory& d) const;
    int Files() const;
    int Existing() const;
};

// Decides what each member becomes below targetDir (which need not exist yet).
UnpackPlan PlanUnpack(zip::FileSystem& fs, const zc::Directory& d, const std::string& targetDir);

enum class Answer { Yes, YesToAll, No, NoToAll, Cancel };

class UnpackEvents {
public:
    virtual ~UnpackEvents() = default;
    // Before each member and while its bytes are written; true asks to stop.
    virtual bool Progress(const std::string& name, uint64_t done, uint64_t total) = 0;
    // A file exists and the rule is to ask.
    virtual Answer AskOverwrite(const std::string& target, const zc::Entry& e) = 0;
    // An encrypted member needs a password; false when the person gives none.
    virtual bool AskPassword(std::string& password, bool retry) = 0;
};

struct UnpackResult {
    int files = 0;                   // files written
    int folders = 0;                 // folders made for folder members
    int skipped = 0;                 // kept existing files, members left out
    bool cancelled = false;
    bool diskFull = false;           // a write failed: the rest was not tried
    std::vector<std::string> problems;  // one line per member that failed or was refused
    int refused = 0;                 // of those, members left out for their names
    int damaged = 0;                 // of those, members whose data in the archive is bad
    bool Ok() const { return !cancelled && !diskFull && problems.empty(); }
    // Everything that could be written was: only members with unusable names were left out,
    // which the installer counts as a success too.
    bool Complete() const { return !cancelled && !diskFull && int(problems.size()) == refused; }
};

UnpackResult RunUnpack(zip::FileSystem& fs, zip::File& archive, const zc::Directory& d, const UnpackPlan& plan,
                       Overwrite rule, UnpackEvents& events);

// The suffix of the temporary file a member is written to before it gets its name.
inline constexpr const char* kPartialSuffix = ".skx~part";

}  // namespace kit
