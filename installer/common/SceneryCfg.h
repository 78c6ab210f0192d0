// The simulator's scenery library, "scenery.cfg" (the format of every simulator of the family
// from Flight Simulator 98 to Prepar3D v3, and of FS2004's NewScenery.cfg; Simulators.h says
// where each keeps it): a [General] section, then one [Area.NNN] section per scenery area with
// Title, Local, Layer, Active and Required, and whatever other keys and comments the simulator
// or other tools put there.
//
// The file is held as its bytes and changed only where an area is added or taken out: every
// other byte (comments, order, line ends, keys we do not know) stays as it was, so that a
// file written back after an add and a remove is the file that was read.
#pragma once

#include <string>
#include <vector>

#include "Simulators.h"

namespace kit {

struct SceneryArea {
    int number = 0;
    std::string title;
    std::string local;
    int layer = 0;
    bool active = false;
};

// What an add brought into the file, for taking it out again: the area's number, the line
// ends put before its header (when the file did not end in an empty line) and its Local, by
// which it is found again when the simulator has renumbered the areas since.
struct AddedArea {
    int number = 0;
    std::string separator;
    std::string local;
    std::string library;  // the file it went into, when it is not scenery.cfg in the simulator's folder
};

class SceneryCfg {
public:
    explicit SceneryCfg(std::string bytes) : bytes_(std::move(bytes)) {}
    const std::string& Bytes() const { return bytes_; }

    std::vector<SceneryArea> Areas() const;

    // The number of the area whose Local names folder (absolute; a relative Local counts
    // from simFolder), compared as Windows compares names; 0 when there is none.
    int FindLocal(const std::string& folder, const std::string& simFolder) const;

    // A new area behind the last: the next free number, the layer above the highest, active,
    // not required, in the line ends the file already uses.
    AddedArea AddArea(const std::string& title, const std::string& local);

    // Takes out the area's header and keys (up to its last line that is not empty) and the
    // separator that the add put before it, when that is still there. The area is the one of
    // that number when its Local is still the added one, else the one with that Local. False
    // when the file has no such area: another area is never taken out in its place.
    bool RemoveArea(const AddedArea& area);

    // The text of a number as the file writes it: "Area.007".
    static std::string SectionName(int number);

private:
    struct Section {
        std::string name;    // between the brackets
        size_t begin = 0;    // first byte of the header line
        size_t end = 0;      // first byte after the section's last line
    };
    std::vector<Section> Sections() const;
    std::string bytes_;
};

// A Local value as a full path: relative values count from simFolder, "." and ".." are
// resolved; no trailing '\'.
std::string ResolveLocal(const std::string& local, const std::string& simFolder);

// The line end a text already uses ("\r\n" or "\n"; "\r\n" for a text of one line): what an
// added line is written with.
std::string LineEndOf(const std::string& bytes);

// A library kept as UTF-16 text: Setup leaves it alone rather than add 8-bit lines to it.
bool IsWideText(const std::string& bytes);
// Why Setup leaves a library alone ("is kept as UTF-16 text", "holds bytes that are not
// text"), "" when it is plain text to add to and take out of.
std::string LibraryTextProblem(const std::string& bytes);

// Files on disk, written safely: the previous file is copied to backup (when not empty), the
// new bytes go to a temporary name beside the file and then replace it. Empty on success,
// else the reason.
std::string ReadWholeFile(const std::string& path, std::string& bytes);
std::string ReplaceFileSafely(const std::string& path, const std::string& bytes, const std::string& backup);

}  // namespace kit
