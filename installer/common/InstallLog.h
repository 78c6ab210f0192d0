// The record an installation leaves in the add-on's folder, so that its uninstaller can take
// out exactly what it brought, long after the package folder is gone:
//
//   ; Written by Setup. This record is whole only when it ends with its End= line.
//   ; It lists what Setup installed here ...
//   Title=Copenhagen Kastrup Airport
//   Version=1.1                                                    as the package gives it, or none
//   Folder=C:\FS2000\Addon Scenery\Copenhagen Kastrup Airport      the add-on's folder
//   Simulator=C:\FS2000                                            its scenery.cfg, if any
//   Key=Skykit Copenhagen Kastrup Airport 1f2e3d4c                 the Uninstall registry key
//   Uninstaller=C:\...\Skykit\Uninstall\...\Uninstall.exe
//   Backups=C:\...\Skykit\Uninstall\...\Backup                     copies of replaced files
//   Dir=C:\FS2000\Addon Scenery                                    folders made, full paths
//   File=1a2b3c4d 300000 scenery\EKCH.bgl                          files made: CRC, size, path
//   Replaced=1 1a2b3c4d 512 texture\ground.bmp                     files replaced (1: copy kept)
//   Copy=5e6f7a8b 498 texture\ground.bmp                           the kept copy (Backups\path): CRC, size
//   Owner=Skykit Other Addon 0a1b2c3d|texture\ground.bmp           the replaced file was that add-on's
//   Spare=2 9c8d7e6f 610 texture\ground.bmp                        a further copy of the person's
//                                                                  version (Backups\path.skk~2)
//   Area=12 0d0a Addon Scenery\EKCH                               areas added: number, separator
//                                                                  in hex, Local [|library file when
//                                                                  not Simulator\scenery.cfg]
//   End=17 0badf00d                                                the number of lines before it
//                                                                  and the CRC-32 of their bytes
//
// The first line announces the end line, which is written last: a record cut short (a crash
// while it was written, a disk error) lacks it and is known to be incomplete. Records written
// before the end line existed begin with another first line and are read without it.
//
// Paths of files are relative to Folder. A second installation of the same add-on into the
// same folder merges into the first record, so one uninstall takes out both.
//
// One installation is the add-on (its title) in one folder: the identity, "<title as a folder
// name> <8 hex digits of both>", names the record, the registry key and the uninstaller's
// folder, so that the same add-on in two folders, or two titles alike in their first 64
// characters, never share any of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SceneryCfg.h"

namespace kit {

struct LoggedFile {
    std::string rel;
    uint32_t crc = 0;     // of the installed contents
    uint64_t size = 0;
    bool backup = false;  // (replaced files) a copy of the previous file was kept
    uint32_t copyCrc = 0; // and what that copy holds, checked before it is put back
    uint64_t copySize = 0;
    bool copyKnown = false;
    std::string owner;    // (replaced files) the key of the installation whose file it was; "" the person's
};

// A further copy of the person's version of a file whose first copy is kept already (they
// changed it again, and it was replaced again): kept as "<Backups>\<rel>.skk~<slot>".
struct SpareCopy {
    int slot = 2;
    std::string rel;
    uint32_t crc = 0;
    uint64_t size = 0;
};
std::string SpareCopyName(const SpareCopy& s);

struct InstallLog {
    std::string title, version, folder, simulator, key, uninstaller, backups;
    std::vector<std::string> dirs;
    std::vector<LoggedFile> files;      // made by the installation
    std::vector<LoggedFile> replaced;   // there before, replaced by the installation
    std::vector<SpareCopy> spares;
    std::vector<AddedArea> areas;

    // Set by Parse when the text is not a whole record as Setup writes it (a line it does not
    // know, a number that is not one, a key missing, the end line missing or not matching):
    // such a record is not acted on. Incomplete: it announced an end line it does not end with.
    std::string damage;
    bool incomplete = false;

    std::string Text() const;
    static InstallLog Parse(const std::string& text);

    // Takes in what an earlier installation into the same folder recorded: its files stay
    // made by the installation (and its replaced files replaced), its folders and areas stay
    // to be removed.
    void MergeEarlier(const InstallLog& earlier);
};

// The identity of the add-on titled title installed into folder (a full path).
std::string InstallIdentity(const std::string& title, const std::string& folder);
// "<appData>\Skykit\Uninstall\<identity>": where the uninstaller and the kept copies of one
// installation live, below the application data folder of all users or of the person.
std::string DataFolderBelow(const std::string& appData, const std::string& identity);
// "Skykit <identity>": the key below ...\CurrentVersion\Uninstall.
std::string UninstallKeyName(const std::string& title, const std::string& folder);
// "Uninstall <identity>.log", the record's name in the add-on's folder.
std::string LogFileName(const std::string& title, const std::string& folder);

// "1.10" against "1.9": numbers compare as numbers, the rest as text, case aside. Below 0
// when a is the earlier version.
int CompareVersions(const std::string& a, const std::string& b);

}  // namespace kit
