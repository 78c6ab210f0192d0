// The guide one key away: F1 finds the form that has the keyboard and opens its topic in the
// person's web browser.
#include "ui.h"

#include <shlwapi.h>

#include <string_view>

namespace ui {

namespace {

// Characters an address may carry as they are; every other byte of the path's UTF-8 form is
// written as %XX, so that spaces and letters beyond ASCII survive every browser.
bool KeptInAddress(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("-._~/:!$&'()*+,;=@").find(c) != std::string_view::npos;
}

std::string Utf8(const std::string& ansi) {
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), (int)ansi.size(), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), (int)ansi.size(), wide.data(), n);
    int m = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), n, nullptr, 0, nullptr, nullptr);
    std::string out(m, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), n, out.data(), m, nullptr, nullptr);
    return out;
}

// The guide ships in the folder "Help" beside the programs (the explorer protects it by that name).
std::string HelpFile(const HelpTopic& topic) { return InstallDir() + "Help\\" + topic.page; }

// The program and the arguments the shell starts for a web address, the address put where
// the registration says ("%1"), or last. False when no browser is registered.
bool BrowserCommand(const std::string& address, std::string& program, std::string& args) {
    char command[2048] = "";
    DWORD size = sizeof(command);
    if (AssocQueryStringA(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, "http", "open", command, &size) != S_OK) return false;
    std::string line = command;
    size_t end;
    if (!line.empty() && line[0] == '"') {
        end = line.find('"', 1);
        if (end == std::string::npos) return false;
        program = line.substr(1, end - 1);
        ++end;
    } else {
        // An unquoted program path may hold spaces: it ends with its ".exe".
        std::string lower = line;
        CharLowerBuffA(lower.data(), (DWORD)lower.size());
        end = lower.find(".exe");
        end = end == std::string::npos ? line.find(' ') : end + 4;
        program = line.substr(0, end);
    }
    args = end < line.size() ? line.substr(end) : "";
    bool placed = false;
    for (const char* mark : {"%1", "%L", "%l"})
        for (size_t at; (at = args.find(mark)) != std::string::npos; placed = true) args.replace(at, 2, address);
    if (!placed) args += " " + address;
    while (!args.empty() && args.front() == ' ') args.erase(0, 1);
    return !program.empty();
}

// The topic of the nearest form of this program around a window (the window itself, the
// control's form, a form shown inside another) that has one. Windows of other modules (a
// dialog library's forms) and of the system are not this program's forms.
Form* FormWithHelp(HWND h) {
    for (; h && h != GetDesktopWindow(); h = GetAncestor(h, GA_PARENT)) {
        if (GetClassLongPtrA(h, GCLP_WNDPROC) != reinterpret_cast<ULONG_PTR>(&Container::WndProc)) continue;
        auto* c = reinterpret_cast<Container*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        if (c && c->OwnerForm() == c && !static_cast<Form*>(c)->CurrentHelp().page.empty())
            return static_cast<Form*>(c);
    }
    return nullptr;
}

}  // namespace

std::string HelpAddress(const HelpTopic& topic) {
    std::string path = Utf8(HelpFile(topic)), address = "file:";
    // A share's path ("\\server\share") keeps its two slashes as the address's host part.
    if (path.rfind("\\\\", 0) != 0) address += "///";
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : path) {
        if (c == '\\')
            address += '/';
        else if (KeptInAddress(c))
            address += (char)c;
        else
            address += {'%', kHex[c >> 4], kHex[c & 15]};
    }
    if (!topic.section.empty()) address += "#" + topic.section;
    return address;
}

void OpenHelp(HWND owner, const HelpTopic& topic) {
    std::string program, args;
    if (!topic.section.empty() && BrowserCommand(HelpAddress(topic), program, args) &&
        desktop().ShellExecute(owner, "open", program, args, "", SW_SHOWNORMAL) > 32)
        return;
    desktop().ShellExecute(owner, "open", HelpFile(topic), "", "", SW_SHOWDEFAULT);
}

bool Application::HelpKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_F1) return false;
    Form* form = FormWithHelp(msg.hwnd);
    if (!form) return false;
    Guard([&] { OpenHelp(form->Handle(), form->CurrentHelp()); });
    return true;
}

}  // namespace ui
