// A stand-in for the platform's Simple MAPI library, for the explorer's tests.
//
// Built as "mapi32.dll" and placed beside the program under test (or in its DLL search
// path), it records every call and the records it was handed in "mapi32.log" beside itself,
// one line per call or record, and answers as a small, predictable mail system:
//   - a name containing "unknown" cannot be resolved (MAPI_E_UNKNOWN_RECIPIENT, also with
//     the dialog);
//   - a name containing "ambiguous" is ambiguous until the user picks (MAPI_DIALOG), then it
//     resolves to "Picked Person" <SMTP:picked@example.com>;
//   - a name containing "[" resolves to the directory's own entry "Directory Entry"
//     <SMTP:directory@example.com>;
//   - every other name resolves to itself with the address "SMTP:" + name.
// "mapi32.cfg" beside it may set results ([double] logon=N, logonui=N, send=N).
// Built with MAPI_DOUBLE_PARTIAL, it lacks the entry point MAPIAddress.
#include <windows.h>

#include <mapi.h>

#include <cstdio>
#include <string>

namespace {

HMODULE self = nullptr;

std::string Here() {
    char p[MAX_PATH] = "";
    GetModuleFileNameA(self, p, MAX_PATH);
    std::string s = p;
    return s.substr(0, s.find_last_of('\\') + 1);
}

std::string Esc(const char* s) {
    if (!s) return "(null)";
    std::string out;
    for (; *s; ++s) {
        if (*s == '\r')
            out += "\\r";
        else if (*s == '\n')
            out += "\\n";
        else
            out += *s;
    }
    return out;
}

void Log(const std::string& line) {
    FILE* f = fopen((Here() + "mapi32.log").c_str(), "ab");
    if (!f) return;
    fprintf(f, "%s\n", line.c_str());
    fclose(f);
}

ULONG Cfg(const char* key) {
    return GetPrivateProfileIntA("double", key, 0, (Here() + "mapi32.cfg").c_str());
}

// One allocation holds the record and its texts, as MAPIFreeBuffer frees it in one piece.
lpMapiRecipDesc NewRecip(const std::string& name, const std::string& address) {
    size_t size = sizeof(MapiRecipDesc) + name.size() + 1 + address.size() + 1 + 4;
    auto* block = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    auto* r = reinterpret_cast<lpMapiRecipDesc>(block);
    char* n = block + sizeof(MapiRecipDesc);
    char* a = n + name.size() + 1;
    char* eid = a + address.size() + 1;
    memcpy(n, name.c_str(), name.size() + 1);
    memcpy(a, address.c_str(), address.size() + 1);
    memcpy(eid, "EID1", 4);
    r->ulRecipClass = MAPI_TO;
    r->lpszName = n;
    r->lpszAddress = a;
    r->ulEIDSize = 4;
    r->lpEntryID = eid;
    return r;
}

long long FileBytes(const char* path) {
    if (!path) return -1;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    long long total = 0;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got) total += got;
    CloseHandle(h);
    return total;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE h, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) self = h;
    return TRUE;
}

__declspec(dllexport) ULONG WINAPI MAPILogon(ULONG_PTR, LPSTR profile, LPSTR password, FLAGS flags, ULONG,
                                             LPLHANDLE session) {
    Log("MAPILogon|" + Esc(profile) + "|" + Esc(password) + "|" + std::to_string(flags));
    ULONG fail = (flags & MAPI_LOGON_UI) ? Cfg("logonui") : Cfg("logon");
    if (fail) return fail;
    *session = 0x5e55;
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR, FLAGS flags, ULONG) {
    Log("MAPILogoff|" + std::to_string(session) + "|" + std::to_string(flags));
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI MAPIResolveName(LHANDLE session, ULONG_PTR, LPSTR name, FLAGS flags, ULONG,
                                                   lpMapiRecipDesc* recip) {
    std::string n = name ? name : "";
    Log("MAPIResolveName|" + std::to_string(session) + "|" + n + "|" + std::to_string(flags));
    if (n.find("unknown") != std::string::npos) return MAPI_E_UNKNOWN_RECIPIENT;
    if (n.find("ambiguous") != std::string::npos) {
        if (!(flags & MAPI_DIALOG)) return MAPI_E_AMBIGUOUS_RECIPIENT;
        *recip = NewRecip("Picked Person", "SMTP:picked@example.com");
        return SUCCESS_SUCCESS;
    }
    if (n.find('[') != std::string::npos) {
        *recip = NewRecip("Directory Entry", "SMTP:directory@example.com");
        return SUCCESS_SUCCESS;
    }
    *recip = NewRecip(n, "SMTP:" + n);
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI MAPIFreeBuffer(LPVOID p) {
    Log("MAPIFreeBuffer");
    if (p) HeapFree(GetProcessHeap(), 0, p);
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR ui, lpMapiMessage m, FLAGS flags, ULONG) {
    Log("MAPISendMail|" + std::to_string(session) + "|" + std::to_string(ui) + "|" + std::to_string(flags) + "|" +
        Esc(m->lpszSubject) + "|" + Esc(m->lpszNoteText) + "|" + std::to_string(m->flFlags) + "|" +
        std::to_string(m->nRecipCount) + "|" + std::to_string(m->nFileCount) + "|" + (m->lpRecips ? "recips" : "(null)") +
        "|" + (m->lpFiles ? "files" : "(null)"));
    for (ULONG i = 0; m->lpRecips && i < m->nRecipCount; ++i) {
        const MapiRecipDesc& r = m->lpRecips[i];
        Log("recip|" + std::to_string(r.ulRecipClass) + "|" + Esc(r.lpszName) + "|" + Esc(r.lpszAddress) + "|" +
            std::to_string(r.ulEIDSize) + "|" +
            (r.lpEntryID ? std::string(static_cast<char*>(r.lpEntryID), r.ulEIDSize) : std::string("(null)")));
    }
    for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i) {
        const MapiFileDesc& f = m->lpFiles[i];
        Log("file|" + Esc(f.lpszPathName) + "|" + Esc(f.lpszFileName) + "|" + std::to_string((long)f.nPosition) + "|" +
            std::to_string(f.flFlags) + "|" + (f.lpFileType ? "type" : "(null)") + "|" +
            std::to_string(FileBytes(f.lpszPathName)));
    }
    return Cfg("send");
}

__declspec(dllexport) ULONG WINAPI MAPIFindNext(LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR) {
    Log("MAPIFindNext");
    return MAPI_E_NOT_SUPPORTED;
}

__declspec(dllexport) ULONG WINAPI MAPIReadMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage*) {
    Log("MAPIReadMail");
    return MAPI_E_NOT_SUPPORTED;
}

__declspec(dllexport) ULONG WINAPI MAPIDeleteMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG) {
    Log("MAPIDeleteMail");
    return MAPI_E_NOT_SUPPORTED;
}

__declspec(dllexport) ULONG WINAPI MAPISaveMail(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR) {
    Log("MAPISaveMail");
    return MAPI_E_NOT_SUPPORTED;
}

#ifndef MAPI_DOUBLE_PARTIAL
__declspec(dllexport) ULONG WINAPI MAPIAddress(LHANDLE, ULONG_PTR, LPSTR, ULONG, LPSTR, ULONG, lpMapiRecipDesc, FLAGS,
                                               ULONG, LPULONG, lpMapiRecipDesc*) {
    Log("MAPIAddress");
    return MAPI_E_NOT_SUPPORTED;
}
#endif
}
