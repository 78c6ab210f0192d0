// TEmail: sends a message with attachments through the platform's Simple MAPI service.
//
// Simple MAPI ("mapi32") is bound once per program run, by name, when the program starts
// (BindSimpleMapi) and released when it ends (UnbindSimpleMapi). Every public operation of
// the component first checks that the service is there and throws EMapiUnavailable if not.
#pragma once
#include <windows.h>

#include <mapi.h>

#include <functional>
#include <string>
#include <vector>

#include "ui.h"

// "MAPI services are not available on this system"
class EMapiUnavailable : public ui::Error {
public:
    EMapiUnavailable();
};
// "GetProcAddress for MAPI.DLL function(s) failed"
class EMapiDllError : public ui::Error {
public:
    EMapiDllError();
};

// Decides whether Simple MAPI is installed, loads it and looks up its ten entry points.
// Not installed or not loadable: it stays unavailable, silently. A library that lacks one of
// the entry points throws EMapiDllError (the program does not start with it).
void BindSimpleMapi();
// Frees the library, if loaded, and forgets the entry points.
void UnbindSimpleMapi();
bool SimpleMapiAvailable();

class TEmail;
using TNotifyEvent = std::function<void(TEmail* sender)>;
using TMapiErrorEvent = std::function<void(TEmail* sender, int errorCode)>;

class TEmail {
public:
    explicit TEmail(void* owner = nullptr);
    virtual ~TEmail();
    TEmail(const TEmail&) = delete;
    TEmail& operator=(const TEmail&) = delete;

    // Published properties
    bool Acknowledge = false;          // ask for a read receipt
    bool ShowDialog = false;           // send through the mail program's dialog even with recipients
    bool TruncAttFN = true;            // shorten attachment names shown to the receiver
    bool UseDefProfile = false;        // take the default profile name from the registry before logon
    bool UseLongMessageID = true;      // stored only
    bool UnreadOnly = false;           // stored only

    const std::vector<std::string>& Attachment() const { return attachment_; }
    const std::vector<std::string>& Recipient() const { return recipient_; }
    const std::vector<std::string>& CC() const { return cc_; }
    const std::vector<std::string>& Bcc() const { return bcc_; }
    // Setting a list copies the lines into the component's own list.
    void SetAttachment(const std::vector<std::string>& v) { attachment_ = v; }
    void SetRecipient(const std::vector<std::string>& v) { recipient_ = v; }
    void SetCC(const std::vector<std::string>& v) { cc_ = v; }
    void SetBcc(const std::vector<std::string>& v) { bcc_ = v; }

    // Short texts hold at most 255 characters; longer values are cut.
    const std::string& Subject() const { return subject_; }
    const std::string& Text() const { return text_; }
    const std::string& Profile() const { return profile_; }
    const std::string& Password() const { return password_; }
    void SetSubject(const std::string& s);
    void SetText(const std::string& s);
    void SetProfile(const std::string& s);
    void SetPassword(const std::string& s);

    bool DownLoadFirst() const { return downLoadFirst_; }
    void SetDownLoadFirst(bool on);
    bool NewSession() const { return newSession_; }
    void SetNewSession(bool on);

    bool MapiAvail() const;
    std::string Version() const { return "2.09.02"; }

    TNotifyEvent OnBeforeLogon, OnAfterLogon, OnBeforeLogoff, OnAfterLogoff, OnBeforeSendMail, OnAfterSendMail,
        OnBeforeSaveMail, OnAfterSaveMail;
    TMapiErrorEvent OnMapiError;

    // Operations; each returns Simple MAPI's result code (0 = success).
    int Logon();
    int Logoff();
    int SendMail();
    // The recipient lines of the last SendMail that the mail system could not resolve; they
    // did not get the message.
    std::vector<std::string> FailedRecipients;

    // The session handle (0 = none) and the flags that Logon passes.
    LHANDLE Session() const { return session_; }
    FLAGS LogonFlags() const { return logonFlags_; }

    virtual void CheckMapi();
    // A name of at most 12 characters, as old mail programs show attachment names.
    virtual std::string ShortenFileName(const std::string& name);
    virtual void DoBeforeLogon();
    virtual void DoAfterLogon();
    virtual void DoBeforeLogoff();
    virtual void DoAfterLogoff();
    virtual void DoBeforeSaveMail();
    virtual void DoAfterSaveMail();
    virtual void DoBeforeSendMail();
    virtual void DoAfterSendMail();
    virtual void DoMapiError(int errorCode);

private:
    std::vector<std::string> attachment_, recipient_, cc_, bcc_;
    std::string subject_, text_, profile_, password_;
    bool downLoadFirst_ = false, newSession_ = false;
    LHANDLE session_ = 0;
    FLAGS logonFlags_ = 0;

    struct Recip;
    void Resolve(std::vector<std::string>& list, ULONG recipClass, std::vector<Recip>& out);
};
