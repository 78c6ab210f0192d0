// The record an installation leaves in the add-on's folder, so that its uninstaller can take
// out exactly what it brought, long after the package folder is gone:
//
//   ; Written by Setup ...
//   Title=Copenhagen Kastrup Airport
//   Folder=C:\FS2000\Addon Scenery\Copenhagen Kastrup Airport      the add-on's folder
//   Simulator=C:\FS2000                                            its scenery.cfg, if any
//   Key=Skykit Copenhagen Kastrup Airport                          the Uninstall registry key
//   Uninstaller=C:\...\Skykit\Uninstall\...\Uninstall.exe
//   Backups=C:\...\Skykit\Uninstall\...\Backup                     copies of replaced files
//   Dir=C:\FS2000\Addon Scenery                                    folders made, full paths
//   File=1a2b3c4d 300000 scenery\EKCH.bgl                          files made: CRC, size, path
//   Replaced=1 1a2b3c4d 512 texture\ground.bmp                     files replaced (1: copy kept)
//   Area=12 0d0a Addon Scenery\EKCH                               areas added: number, separator
//                                                                  in hex, Local
//
// Paths of files are relative to Folder. A second installation of the same add-on into the
// same folder merges into the first record, so one uninstall takes out both.
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
};

struct InstallLog {
    std::string title, folder, simulator, key, uninstaller, backups;
    std::vector<std::string> dirs;
    std::vector<LoggedFile> files;      // made by the installation
    std::vector<LoggedFile> replaced;   // there before, replaced by the installation
    std::vector<AddedArea> areas;

    std::string Text() const;
    static InstallLog Parse(const std::string& text);

    // Takes in what an earlier installation into the same folder recorded: its files stay
    // made by the installation (and its replaced files replaced), its folders and areas stay
    // to be removed.
    void MergeEarlier(const InstallLog& earlier);
};

// "Uninstall <name>.log" for the add-on's title made a folder name.
std::string LogFileName(const std::string& title);

}  // namespace kit
