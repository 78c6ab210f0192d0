// The installer's files through the Win32 API: the package settings read with the platform's
// private-profile calls, and the scenery library read and replaced safely. Kept apart so that
// the rest of this folder is portable and builds natively with the tests.
#include <windows.h>

#include "PackageInfo.h"
#include "SceneryCfg.h"

namespace kit {

PackageInfo ReadPackageInfoFile(const std::string& path) {
    return ReadPackageInfo([&path](const std::string& section, const std::string& key) {
        char buf[2048] = "";
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buf, sizeof buf, path.c_str());
        return std::string(buf);
    });
}

std::string ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? "the file is not there"
                                                                          : "it cannot be read (system error " +
                                                                                std::to_string(err) + ")";
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(f, &size);
    // A scenery library of thousands of areas is a few hundred kilobytes.
    if (size.QuadPart > 16 * 1024 * 1024) {
        CloseHandle(f);
        return "it is too large to be a scenery library";
    }
    bytes.resize(size_t(size.QuadPart));
    DWORD got = 0;
    bool ok = bytes.empty() || (ReadFile(f, bytes.data(), DWORD(bytes.size()), &got, nullptr) && got == bytes.size());
    CloseHandle(f);
    return ok ? "" : "it could not be read to its end";
}

namespace {

std::string WriteNew(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "system error " + std::to_string(GetLastError());
    DWORD put = 0;
    bool ok = bytes.empty() || (WriteFile(f, bytes.data(), DWORD(bytes.size()), &put, nullptr) && put == bytes.size());
    DWORD err = GetLastError();
    ok = FlushFileBuffers(f) && ok;
    CloseHandle(f);
    if (!ok) {
        DeleteFileA(path.c_str());
        return "system error " + std::to_string(err);
    }
    return "";
}

}  // namespace

std::string ReplaceFileSafely(const std::string& path, const std::string& bytes, const std::string& backup) {
    // Someone protected the file: it is not ours to replace.
    DWORD attrs = GetFileAttributesA(path.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY)) return "it is read-only";
    std::string old;
    if (ReadWholeFile(path, old).empty() && !backup.empty()) {
        std::string tmpBackup = backup + ".skk~tmp";
        if (std::string err = WriteNew(tmpBackup, old); !err.empty()) return "the backup could not be written: " + err;
        if (!MoveFileExA(tmpBackup.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            DeleteFileA(tmpBackup.c_str());
            return "the backup could not be written (system error " + std::to_string(GetLastError()) + ")";
        }
    }
    std::string tmp = path + ".skk~tmp";
    if (std::string err = WriteNew(tmp, bytes); !err.empty()) return "the new file could not be written: " + err;
    if (!MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD err = GetLastError();
        DeleteFileA(tmp.c_str());
        return "it could not be replaced (system error " + std::to_string(err) + ")";
    }
    return "";
}

}  // namespace kit
