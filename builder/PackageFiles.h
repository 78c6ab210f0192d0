// What the builder knows about a package directory beyond one form: paths compared as
// Windows compares them, the names the builder itself writes there, and what it takes to
// reopen an earlier package.
#pragma once
#include <string>
#include <vector>

#include "KitsetupIni.h"
#include "Package.h"

// A path as Windows resolves it: full, "." and ".." resolved, short names made long, no
// trailing backslash (a drive root keeps its own), letters folded to upper case.
std::string ComparablePath(const std::string& path);
// `inner` is `outer` itself or lies somewhere below it.
bool PathWithin(const std::string& inner, const std::string& outer);
// A name Windows accepts for one folder: not "." or "..", no separators, none of
// < > : " / \ | ? * or control characters, no trailing dot or space, no device name.
bool PlainFolderName(const std::string& name);

// The settings-file section that remembers, beside the builder, where a package's add-on
// files and pictures came from. Never written into the package: it ships to users.
std::string PackageSection(const std::string& subdir);
// The most recent packages first, as master subdirectories that still exist.
std::vector<std::string> RecentPackages();
// Puts a package first in the recent list (at most kMaxRecent entries).
void RememberRecentPackage(const std::string& subdir);
constexpr int kMaxRecent = 4;

// The short names of simulators ("fs2000"), as a Project keeps them: each once, oldest first.
std::vector<std::string> SimulatorNames(const std::vector<kit::FsVersion>& list);
// The builder's settings file's [Flightsim]: its Simulators list, else the simulator its Version
// names (by the builder's name for it).
std::vector<std::string> SimulatorNames(const std::string& version, const std::string& list);
// The simulators of short names (names it does not know left out).
std::vector<kit::FsVersion> SimulatorVersions(const std::vector<std::string>& names);

// "Kitsetup.ini" through the platform's private-profile calls.
void WriteKitsetupFile(const std::string& path, const kit::KitsetupIni& ini);
kit::KitsetupIni ReadKitsetupFile(const std::string& path, const kit::KitsetupIni& absent = {});

// The package directory of a folder or of its "Kitsetup.ini": the install directory's
// subfolder that holds "Kitsetup.ini". Empty when the path is no package of this builder.
std::string PackageSubdirOf(const std::string& path);
// The lines of a text file, without their line breaks (Windows' or Unix').
std::vector<std::string> ReadTextLines(const std::string& path);
// The project of a package folder anywhere, as its files alone tell it: the pictures are the
// package's own copies, the add-on folder unknown; the master subdirectory is the folder's
// name. False when the folder holds no "Kitsetup.ini".
bool ReadPackageFolder(const std::string& folder, Project& project);
// The project of an earlier package of the install directory, as its files tell it: the
// pictures from where the author kept them when that is remembered and still there, else the
// package's own copies; the add-on folder when remembered and still there. False when the
// folder holds no "Kitsetup.ini".
bool ReadPackageProject(const std::string& subdir, Project& project);
// Remembers beside the builder where a built package's add-on folder and pictures are, for
// reopening it, and puts it first in the recent list.
void RememberPackage(const Project& project);
