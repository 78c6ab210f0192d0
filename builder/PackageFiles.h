// What the builder knows about a package directory beyond one form: paths compared as
// Windows compares them, the names the builder itself writes there, and what it takes to
// reopen an earlier package.
#pragma once
#include <string>
#include <vector>

#include "KitsetupIni.h"

// A path as Windows resolves it: full, "." and ".." resolved, short names made long, no
// trailing backslash (a drive root keeps its own), letters folded to upper case.
std::string ComparablePath(const std::string& path);
// `inner` is `outer` itself or lies somewhere below it.
bool PathWithin(const std::string& inner, const std::string& outer);
// A name Windows accepts for one folder: not "." or "..", no separators, none of
// < > : " / \ | ? * or control characters, no trailing dot or space, no device name.
bool PlainFolderName(const std::string& name);

// The files the builder writes into a package apart from the archive, the installer's
// settings and the three program copies; a build removes those it does not write again.
extern const char* const kBuilderWrittenFiles[7];
// The targets of the four screenshots and of the splash bitmap, in that order.
extern const char* const kPictureTargets[5];

// The settings-file section that remembers, beside the builder, where a package's add-on
// files and pictures came from. Never written into the package: it ships to users.
std::string PackageSection(const std::string& subdir);
// The most recent packages first, as master subdirectories that still exist.
std::vector<std::string> RecentPackages();
// Puts a package first in the recent list (at most kMaxRecent entries).
void RememberRecentPackage(const std::string& subdir);
constexpr int kMaxRecent = 4;

// "Kitsetup.ini" through the platform's private-profile calls.
void WriteKitsetupFile(const std::string& path, const kit::KitsetupIni& ini);
kit::KitsetupIni ReadKitsetupFile(const std::string& path, const kit::KitsetupIni& absent = {});

// An earlier package as its directory tells it, with what the settings file remembers.
struct PackageProject {
    std::string subdir;       // the master subdirectory
    kit::KitsetupIni setup;   // its "Kitsetup.ini"
    std::string terms, description;   // "licens.skh" and "File_id.diz", empty when absent
    bool hasTerms = false, hasDescription = false;
    std::string location;     // the add-on folder, when remembered and still there
    std::string pictures[5];  // screenshots 1 to 4 and the splash: where to copy them from
};
// The package directory of a folder or of its "Kitsetup.ini": the install directory's
// subfolder that holds "Kitsetup.ini". Empty when the path is no package of this builder.
std::string PackageSubdirOf(const std::string& path);
// Reads a package of the install directory; false when it has no "Kitsetup.ini".
bool ReadPackageProject(const std::string& subdir, PackageProject& project);
