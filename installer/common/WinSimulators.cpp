// The simulators on this computer through the Win32 API: the registry in both of its views,
// the system's folders, and the programs that are running. Kept apart so that Simulators.cpp
// stays portable.
#include <windows.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include "PackageInfo.h"
#include "Simulators.h"

namespace kit {

std::string ReadRegistryValue(Hive hive, bool view64, const std::string& key, const std::string& name) {
    HKEY h = nullptr;
    const REGSAM view = view64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    if (RegOpenKeyExA(hive == Hive::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, key.c_str(), 0,
                      KEY_QUERY_VALUE | view, &h) != ERROR_SUCCESS)
        return "";
    DWORD type = 0, size = 0;
    std::string value;
    if (RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size < 65536) {
        value.resize(size);
        if (RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
            ERROR_SUCCESS)
            size = 0;
        value.resize(strnlen(value.c_str(), size));
    }
    RegCloseKey(h);
    if (type == REG_EXPAND_SZ && !value.empty()) {
        char expanded[MAX_PATH * 2] = "";
        DWORD n = ExpandEnvironmentStringsA(value.c_str(), expanded, sizeof expanded);
        if (n > 0 && n <= sizeof expanded) value = expanded;
    }
    return value;
}

std::vector<FoundSimulator> InstalledSimulators() {
    return FindSimulators(ReadRegistryValue, [](const std::string& path) {
        DWORD a = GetFileAttributesA(path.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    });
}

bool RegisteredFolder(FsVersion simulator, std::string& folder) {
    // The value as the registry holds it, whether or not the folder is there: the builder only
    // proposes it and keeps the add-on out of it.
    std::vector<const SimulatorEdition*> editions;
    for (const SimulatorEdition& e : kEditions)
        if (e.family == simulator) editions.insert(editions.begin(), &e);  // the newest first
    for (const SimulatorEdition* e : editions)
        for (const RegistryValue& r : e->found) {
            if (!r.key) break;
            for (bool view64 : {true, false}) {
                std::string value = ReadRegistryValue(r.hive, view64, r.key, r.value);
                if (Trim(value).empty()) continue;
                folder = value;
                return true;
            }
        }
    return false;
}

SystemFolders TheSystemFolders() {
    SystemFolders f;
    auto get = [](int csidl) {
        char path[MAX_PATH] = "";
        return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path)) ? std::string(path) : std::string();
    };
    f.commonAppData = get(CSIDL_COMMON_APPDATA);
    f.userAppData = get(CSIDL_APPDATA);
    f.documents = get(CSIDL_PERSONAL);
    return f;
}

std::vector<std::string> RunningPrograms() {
    std::vector<std::string> programs;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return programs;
    PROCESSENTRY32 p{};
    p.dwSize = sizeof p;
    for (BOOL more = Process32First(snap, &p); more; more = Process32Next(snap, &p)) {
        std::string exe = p.szExeFile;
        size_t cut = exe.find_last_of("\\/");
        programs.push_back(cut == std::string::npos ? exe : exe.substr(cut + 1));
    }
    CloseHandle(snap);
    return programs;
}

}  // namespace kit
