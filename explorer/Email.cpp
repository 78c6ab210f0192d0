// The mail component and its binding to Simple MAPI.
#include "Email.h"

#include <memory>

#include "Kitlens.rh"

namespace {

// Simple MAPI's ten entry points, looked up by name when the program starts.
struct SimpleMapi {
    bool available = false;
    HMODULE library = nullptr;
    LPMAPIFINDNEXT FindNext = nullptr;
    LPMAPILOGOFF Logoff = nullptr;
    LPMAPILOGON Logon = nullptr;
    LPMAPISENDMAIL SendMail = nullptr;
    LPMAPIREADMAIL ReadMail = nullptr;
    LPMAPIDELETEMAIL DeleteMail = nullptr;
    LPMAPIRESOLVENAME ResolveName = nullptr;
    LPMAPIFREEBUFFER FreeBuffer = nullptr;
    LPMAPIADDRESS Address = nullptr;
    LPMAPISAVEMAIL SaveMail = nullptr;
};
SimpleMapi mapi;

// The texts of the two exceptions are string resources of the program.
std::string ResourceText(UINT id, const char* fallback) {
    char buf[256];
    int n = LoadStringA(GetModuleHandleA(nullptr), id, buf, sizeof(buf));
    return n > 0 ? std::string(buf, n) : fallback;
}

bool MapiInstalled() {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof(v);
    GetVersionExA(&v);
    if (v.dwMajorVersion > 3 || (v.dwMajorVersion == 3 && v.dwMinorVersion > 51)) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem", 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return false;
        char value[9] = "";
        DWORD size = sizeof(value) - 1, type = 0;
        LONG r = RegQueryValueExA(key, "MAPI", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
        return r == ERROR_SUCCESS && std::string(value) == "1";
    }
    return GetProfileIntA("Mail", "MAPI", 0) != 0;
}

HMODULE LoadQuietly(const char* name) {
    // No "insert a disk" or "file not found" boxes from the system while we look.
    UINT old = SetErrorMode(0x8001);
    HMODULE h = LoadLibraryA(name);
    SetErrorMode(old);
    return h;
}

template <class T>
void Lookup(T& fn, const char* name, bool& allFound) {
    fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(mapi.library, name)));
    if (!fn) allFound = false;
}

std::string Cut255(const std::string& s) { return s.size() > 255 ? s.substr(0, 255) : s; }

char* OrNull(std::string& s) { return s.empty() ? nullptr : s.data(); }

const size_t kMaxEntries = 89478485;  // keeps 24-byte records within a signed 32-bit size

}  // namespace

EMapiUnavailable::EMapiUnavailable()
    : ui::Error(ResourceText(IDS_MAPI_UNAVAILABLE, "MAPI services are not available on this system")) {}

EMapiDllError::EMapiDllError()
    : ui::Error(ResourceText(IDS_MAPI_DLLERROR, "GetProcAddress for MAPI.DLL function(s) failed")) {}

void BindSimpleMapi() {
    if (mapi.library) return;
    if (!MapiInstalled()) return;
    mapi.library = LoadQuietly("mapi32");
    if (!mapi.library) mapi.library = LoadQuietly("mapi32.dll");
    if (!mapi.library) return;
    mapi.available = true;
    bool all = true;
    Lookup(mapi.FindNext, "MAPIFindNext", all);
    Lookup(mapi.Logoff, "MAPILogoff", all);
    Lookup(mapi.Logon, "MAPILogon", all);
    Lookup(mapi.SendMail, "MAPISendMail", all);
    Lookup(mapi.ReadMail, "MAPIReadMail", all);
    Lookup(mapi.DeleteMail, "MAPIDeleteMail", all);
    Lookup(mapi.ResolveName, "MAPIResolveName", all);
    Lookup(mapi.FreeBuffer, "MAPIFreeBuffer", all);
    Lookup(mapi.Address, "MAPIAddress", all);
    Lookup(mapi.SaveMail, "MAPISaveMail", all);
    if (!all) throw EMapiDllError();
}

void UnbindSimpleMapi() {
    if (mapi.library) FreeLibrary(mapi.library);
    mapi = SimpleMapi{};
}

bool SimpleMapiAvailable() { return mapi.available; }

// ---------------------------------------------------------------------------------------
// TEmail

TEmail::TEmail(void*) {}

TEmail::~TEmail() {
    if (session_) {
        try {
            Logoff();
        } catch (...) {
        }
    }
}

void TEmail::SetSubject(const std::string& s) { subject_ = Cut255(s); }
void TEmail::SetText(const std::string& s) { text_ = Cut255(s); }
void TEmail::SetProfile(const std::string& s) { profile_ = Cut255(s); }
void TEmail::SetPassword(const std::string& s) { password_ = Cut255(s); }

void TEmail::SetDownLoadFirst(bool on) {
    downLoadFirst_ = on;
    logonFlags_ = on ? (logonFlags_ | MAPI_FORCE_DOWNLOAD) : (logonFlags_ & ~(FLAGS)MAPI_FORCE_DOWNLOAD);
}

void TEmail::SetNewSession(bool on) {
    newSession_ = on;
    logonFlags_ = on ? (logonFlags_ | MAPI_NEW_SESSION) : (logonFlags_ & ~(FLAGS)MAPI_NEW_SESSION);
}

bool TEmail::MapiAvail() const { return mapi.available; }

void TEmail::CheckMapi() {
    if (!mapi.available) throw EMapiUnavailable();
}

std::string TEmail::ShortenFileName(const std::string& name) {
    std::string s = Cut255(name);
    if (s.size() <= 12) return s;
    size_t dot = s.find('.');
    // A dot after the 9th character: keep the 8 characters before it and the rest from it on.
    if (dot != std::string::npos && dot + 1 > 9) s = s.substr(dot - 8);
    if (s.size() > 12) s = s.substr(s.size() - 12);
    size_t lead = s.find_first_not_of('.');
    s.erase(0, lead == std::string::npos ? s.size() : lead);
    return s;
}

void TEmail::DoBeforeLogon() { if (OnBeforeLogon) OnBeforeLogon(this); }
void TEmail::DoAfterLogon() { if (OnAfterLogon) OnAfterLogon(this); }
void TEmail::DoBeforeLogoff() { if (OnBeforeLogoff) OnBeforeLogoff(this); }
void TEmail::DoAfterLogoff() { if (OnAfterLogoff) OnAfterLogoff(this); }
void TEmail::DoBeforeSaveMail() { if (OnBeforeSaveMail) OnBeforeSaveMail(this); }
void TEmail::DoAfterSaveMail() { if (OnAfterSaveMail) OnAfterSaveMail(this); }
void TEmail::DoBeforeSendMail() { if (OnBeforeSendMail) OnBeforeSendMail(this); }
void TEmail::DoAfterSendMail() { if (OnAfterSendMail) OnAfterSendMail(this); }
void TEmail::DoMapiError(int errorCode) { if (OnMapiError) OnMapiError(this, errorCode); }

int TEmail::Logon() {
    CheckMapi();
    if (session_) return 0;
    if (UseDefProfile) {
        const char* nt = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
        const char* old = "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";
        HKEY probe;
        const char* key = old;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, nt, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
            RegCloseKey(probe);
            key = nt;
        }
        std::string value;
        if (ui::ReadRegistryString(HKEY_CURRENT_USER, key, "DefaultProfile", value)) SetProfile(value);
    }
    DoBeforeLogon();
    std::string profile = profile_, password = password_;
    ULONG r = mapi.Logon(0, OrNull(profile), OrNull(password), logonFlags_, 0, &session_);
    if (r != SUCCESS_SUCCESS) {
        // Let the mail system ask the user for the profile.
        session_ = 0;
        r = mapi.Logon(0, nullptr, nullptr, logonFlags_ | MAPI_LOGON_UI, 0, &session_);
    }
    if (r != SUCCESS_SUCCESS) {
        session_ = 0;
        DoMapiError((int)r);
    } else {
        DoAfterLogon();
    }
    return (int)r;
}

int TEmail::Logoff() {
    CheckMapi();
    if (!session_) return 0;
    DoBeforeLogoff();
    ULONG r = mapi.Logoff(session_, 0, 0, 0);
    session_ = 0;
    DoAfterLogoff();
    return (int)r;
}

// One recipient of the message, with the texts it points at kept alive until it is sent.
struct TEmail::Recip {
    ULONG recipClass = MAPI_TO;
    std::string name, address;
    std::vector<BYTE> entryId;
};

void TEmail::Resolve(std::vector<std::string>& list, ULONG recipClass, std::vector<Recip>& out) {
    for (std::string& line : list) {
        if (line.empty()) continue;
        std::string asked = line;
        lpMapiRecipDesc found = nullptr;
        ULONG r = mapi.ResolveName(session_, 0, asked.data(), 0, 0, &found);
        if (r == MAPI_E_UNKNOWN_RECIPIENT || r == MAPI_E_AMBIGUOUS_RECIPIENT) {
            // Let the user pick the recipient.
            found = nullptr;
            r = mapi.ResolveName(session_, 0, asked.data(), MAPI_DIALOG, 0, &found);
        }
        if (r != SUCCESS_SUCCESS) {
            FailedRecipients.push_back(line);
            DoMapiError((int)r);
            continue;
        }
        if (!found) continue;
        std::string display = found->lpszName ? found->lpszName : "";
        Recip e;
        e.recipClass = recipClass;
        bool bracketed = line.find('[') != std::string::npos && line.find(']') != std::string::npos;
        if (bracketed && display.find('[') == std::string::npos && display.find(']') == std::string::npos) {
            // "[address]" is passed on as typed, without its brackets, whatever the mail
            // system resolved it to.
            mapi.FreeBuffer(found);
            // A long line may lose its "]" to the cut: only the brackets that are left go.
            std::string typed = Cut255(line);
            size_t close = typed.find(']');
            if (close != std::string::npos) typed.erase(close, 1);
            size_t open = typed.find('[');
            if (open != std::string::npos) typed.erase(open, 1);
            e.name = e.address = typed;
        } else {
            line = display;
            e.name = display;
            e.address = found->lpszAddress && *found->lpszAddress ? found->lpszAddress : display;
            if (found->lpEntryID && found->ulEIDSize)
                e.entryId.assign(static_cast<BYTE*>(found->lpEntryID),
                                 static_cast<BYTE*>(found->lpEntryID) + found->ulEIDSize);
            mapi.FreeBuffer(found);
        }
        out.push_back(std::move(e));
    }
}

int TEmail::SendMail() {
    CheckMapi();
    FailedRecipients.clear();
    if (recipient_.size() + cc_.size() + bcc_.size() > kMaxEntries) {
        DoMapiError(MAPI_E_TOO_MANY_RECIPIENTS);
        return MAPI_E_TOO_MANY_RECIPIENTS;
    }
    if (attachment_.size() > kMaxEntries) {
        DoMapiError(MAPI_E_TOO_MANY_FILES);
        return MAPI_E_TOO_MANY_FILES;
    }
    bool hadSession = session_ != 0;
    if (Logon() != SUCCESS_SUCCESS) {
        DoMapiError(MAPI_E_LOGIN_FAILURE);
        return MAPI_E_LOGIN_FAILURE;
    }
    auto finish = [&](int result) {
        if (!hadSession) Logoff();
        return result;
    };

    std::string subject = subject_, text = text_;
    MapiMessage msg{};
    msg.lpszSubject = OrNull(subject);
    msg.lpszNoteText = OrNull(text);

    std::vector<Recip> recips;
    Resolve(recipient_, MAPI_TO, recips);
    Resolve(cc_, MAPI_CC, recips);
    Resolve(bcc_, MAPI_BCC, recips);
    std::vector<MapiRecipDesc> recipDescs(recips.size());
    for (size_t i = 0; i < recips.size(); ++i) {
        MapiRecipDesc& d = recipDescs[i];
        d.ulRecipClass = recips[i].recipClass;
        d.lpszName = recips[i].name.data();
        d.lpszAddress = recips[i].address.data();
        d.ulEIDSize = (ULONG)recips[i].entryId.size();
        d.lpEntryID = recips[i].entryId.empty() ? nullptr : recips[i].entryId.data();
    }
    FLAGS sendFlags = MAPI_DIALOG;
    if (!recips.empty()) {
        msg.nRecipCount = (ULONG)recips.size();
        msg.lpRecips = recipDescs.data();
        sendFlags = ShowDialog ? MAPI_DIALOG : 0;
    }

    std::vector<std::string> paths, names;
    for (const std::string& line : attachment_) {
        std::string path = Cut255(line);
        if (!ui::FileExists(path)) {
            DoMapiError(MAPI_E_ATTACHMENT_NOT_FOUND);
            return finish(MAPI_E_ATTACHMENT_NOT_FOUND);
        }
        std::string name = ui::ExtractFileName(path);
        paths.push_back(path);
        names.push_back(TruncAttFN ? ShortenFileName(name) : name);
    }
    std::vector<MapiFileDesc> files(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        files[i].nPosition = (ULONG)-1;
        files[i].lpszPathName = paths[i].data();
        files[i].lpszFileName = names[i].data();
    }
    msg.nFileCount = (ULONG)files.size();
    if (!files.empty()) msg.lpFiles = files.data();
    if (Acknowledge) msg.flFlags |= MAPI_RECEIPT_REQUESTED;

    DoBeforeSendMail();
    ULONG r = mapi.SendMail(session_, 0, &msg, sendFlags, 0);
    if (r != SUCCESS_SUCCESS)
        DoMapiError((int)r);
    else
        DoAfterSendMail();
    return finish((int)r);
}
