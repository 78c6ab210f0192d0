// Member names: wildcard matching, normalisation, the refusal of names that would leave the
// target directory, DOS 8.3 names and DOS date/time packing.
#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "SafeName.h"

namespace zc {

// True when s contains '*' or '?'.
bool has_wildcards(const std::string& s);

// Case-insensitive (ASCII letters) DOS-style wildcard match: '*' any run, '?' one character.
// "*.*" matches every name, also one without a dot; "name.*" also matches "name".
// With cross_dirs false, neither wildcard matches a '/'.
bool wild_match(const std::string& pattern, const std::string& name, bool cross_dirs = true);

// ASCII lower case, for case-insensitive name comparison.
std::string fold_case(const std::string& s);

// Backslashes to slashes.
std::string to_slashes(std::string s);

// The reason a name is refused, in a few words ("\"..\" in path", "device name \"nul\"").
std::string unsafe_name_reason(const zip::NameVerdict& v);

// The relative path ('/'-separated) a member may be extracted to, or false with the reason, by
// zip::CheckMemberName. A name that is empty after dropping gives an empty result and no reason.
bool safe_relative_path(const std::string& name, std::string& rel, std::string& why);

// The member-name form of a file path for Add: slashes, no drive or UNC server, no leading
// slashes, no "." or ".." components.
std::string clean_add_path(const std::string& path);

// The DOS 8.3 form of one name component, upper case, unique within `used` (which it extends):
// "Long File Name.text" -> "LONGFI~1.TEX".
std::string dos83_name(const std::string& component, std::set<std::string>& used);

// DOS date/time stamp (date in the high 16 bits, time in the low 16, 2-second resolution) from
// calendar fields and back. Years before 1980 clamp to 1980-01-01 00:00:00.
uint32_t pack_dos_time(int year, int month, int day, int hour, int minute, int second);
void unpack_dos_time(uint32_t dos, int& year, int& month, int& day, int& hour, int& minute, int& second);

}  // namespace zc
