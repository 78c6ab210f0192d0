// Member names: wildcard matching, normalisation, the refusal of names that would leave the
// target directory, DOS 8.3 names and DOS date/time packing.
#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "Directory.h"
#include "NameRule.h"
#include "SafeName.h"

namespace zip {

// True when s contains '*' or '?'.
bool HasWildcards(const std::string& s);

// Case-insensitive (ASCII letters) DOS-style wildcard match: '*' any run, '?' one character.
// "*.*" matches every name, also one without a dot; "name.*" also matches "name".
// With crossDirs false, neither wildcard matches a '/'.
bool WildMatch(const std::string& pattern, const std::string& name, bool crossDirs = true);

// ASCII lower case, for case-insensitive name comparison.
std::string FoldCase(const std::string& s);

// Backslashes to slashes.
std::string ToSlashes(std::string s);

// The reason a name is refused, in a few words ("\"..\" in path", "device name \"nul\"").
std::string UnsafeNameReason(const zip::NameVerdict& v);

// The relative path ('/'-separated) a member may be extracted to, or false with the reason, by
// zip::CheckMemberName. A name that is empty after dropping gives an empty result and no reason.
bool SafeRelativePath(const std::string& name, std::string& rel, std::string& why);

// The member-name form of a file path for Add: slashes, no drive or UNC server, no leading
// slashes, no "." or ".." components.
std::string CleanAddPath(const std::string& path);

// The DOS 8.3 form of one name component, upper case, unique within `used` (which it extends):
// "Long File Name.text" -> "LONGFI~1.TEX".
std::string Dos83Name(const std::string& component, std::set<std::string>& used);

// DOS date/time stamp (date in the high 16 bits, time in the low 16, 2-second resolution) from
// calendar fields and back. Years before 1980 clamp to 1980-01-01 00:00:00.
uint32_t PackDosTime(int year, int month, int day, int hour, int minute, int second);
void UnpackDosTime(uint32_t dos, int& year, int& month, int& day, int& hour, int& minute, int& second);

// Decodes a member name: a valid Unicode path field, else the UTF-8 flag, else by the rule.
std::string DecodeName(const Entry& e, NameRule rule);

// The Unicode path extra field for a name stored in another character set.
std::string UnicodePathExtra(const std::string& storedName, const std::string& utf8Name);

// The encoded name of a member for Add: ASCII as it is; otherwise code page 437 when every
// character exists there (with a Unicode path field), else UTF-8 with flag bit 11.
struct EncodedName {
    std::string bytes;
    std::string extra;  // Unicode path field or empty
    bool utf8 = false;
};
EncodedName EncodeName(const std::string& utf8Name);

}  // namespace zip
