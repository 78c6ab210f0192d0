// libFuzzer target: any bytes as the record of an installation, planned for uninstalling as
// the uninstaller plans it (alone, beside a later add-on that replaced its files, and under a
// record path of another installation). What the plan may never hold:
//   - anything at all, unless the record is whole: of the earlier format (its first line, byte
//     for byte) or ended by an End= line that counts its lines and their CRC-32;
//   - a file outside the add-on's folder (the record's own), a kept copy outside this
//     identity's Backup, an uninstaller or data folder not this identity's own;
//   - a registry key other than "Skykit <identity>", the identity its record's name carries;
//   - an area whose Local (resolved against the simulator's folder) is outside the add-on's
//     folder, or whose library is not one a simulator of the record's Simulator folder keeps:
//     scenery.cfg or NewScenery.cfg there, the Scenery.CFG of FSX (boxed or Steam) or Prepar3D
//     v1 to v3 in application data (the person's for v2), the add-on.xml of the add-on's folder
//     name in the Prepar3D v4 or v5 add-ons folder of the documents;
//   - a folder beside the add-on's: only it, folders inside it, and folders above it (which
//     are only ever removed when empty) may be planned.
#include <zlib.h>

#include <cstdint>
#include <string>

#include "Destination.h"
#include "Oracles.h"
#include "UninstallPlan.h"

using oracle::Require;

namespace {

const char* const kRoots[] = {"C:\\ProgramData", "C:\\Documents and Settings\\Ann\\Local Settings\\Application Data"};

const char* const kCommonAppData = "C:\\ProgramData";
const char* const kUserAppData = "C:\\Documents and Settings\\Ann\\Application Data";
const char* const kDocuments = "C:\\Documents and Settings\\Ann\\My Documents";

const std::string kWholeMark = "; Written by Setup. This record is whole only when it ends with its End= line.";

// The line that ends a whole record after body: its lines and their CRC-32.
std::string EndLine(const std::string& body) {
    char crc[12];
    std::snprintf(crc, sizeof crc, "%08lx", crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())));
    return "End=" + std::to_string(std::count(body.begin(), body.end(), '\n')) + " " + crc;
}

bool FirstLineIs(const std::string& text, const std::string& first) {
    return text.compare(0, first.size(), first) == 0 && text.find_first_of("\r\n") == first.size();
}

// Whole as the format defines it: announced by its first line, ended by its End= line; or a
// record of the earlier format, which has no end line.
bool Whole(const std::string& text) {
    if (FirstLineIs(text, "; Written by Setup: what it installed here, so that the add-on can be removed again."))
        return true;
    std::string t = text;
    if (t.size() >= 2 && t.compare(t.size() - 2, 2, "\r\n") == 0) t.resize(t.size() - 2);
    const size_t cut = t.rfind('\n');
    return FirstLineIs(t, kWholeMark) && cut != std::string::npos && t.substr(cut + 1) == EndLine(t.substr(0, cut + 1));
}

bool Same(const std::string& a, const std::string& b) {
    return !oracle::Resolve(a).empty() && oracle::Resolve(a) == oracle::Resolve(b);
}

void Check(const std::string& text, const kit::UninstallContext& context) {
    const kit::UninstallPlan plan = kit::PlanUninstall(text, context);
    if (!plan.refusal.empty()) {
        Require(plan.files.empty() && plan.areas.empty() && plan.dirs.empty() && plan.spares.empty() &&
                    plan.key.empty() && plan.backups.empty() && plan.uninstaller.empty() && plan.dataFolder.empty(),
                "a refused record has something planned");
        return;
    }
    Require(Whole(text), "a record that is not whole is planned from");
    const std::string& record = context.recordPath;
    const std::string folder = record.substr(0, record.find_last_of('\\'));
    const std::string name = record.substr(folder.size() + 1);
    Require(name.rfind("Uninstall ", 0) == 0 && name.size() > 14 && name.substr(name.size() - 4) == ".log",
            "a record not named as a record is planned from");
    const std::string identity = name.substr(10, name.size() - 14);
    Require(plan.key == "Skykit " + identity, "a registry key other than its own entry");

    auto own = [&](const std::string& path, const std::string& below, bool inside) {
        for (const char* root : kRoots) {
            const std::string data = std::string(root) + "\\Skykit\\Uninstall\\" + identity;
            if (inside ? oracle::FileBelow(path, data + below) : Same(path, data + below)) return true;
        }
        return false;
    };
    Require(plan.backups.empty() || own(plan.backups, "\\Backup", false), "a Backup that is not its own");
    Require(plan.uninstaller.empty() || own(plan.uninstaller, "\\Uninstall.exe", false), "an uninstaller not its own");
    Require(plan.dataFolder.empty() || own(plan.dataFolder, "", false), "a data folder not its own");
    for (const kit::PlannedFile& f : plan.files) {
        Require(oracle::FileBelow(f.path, folder), "a file outside the add-on's folder");
        Require(f.copy.empty() || own(f.copy, "\\Backup", true), "a kept copy outside its own Backup");
    }
    for (const kit::PlannedSpare& s : plan.spares) Require(own(s.copy, "\\Backup", true), "a spare copy outside its own Backup");
    const std::vector<std::string> addon = oracle::Resolve(folder);
    for (const std::string& d : plan.dirs) {
        const std::vector<std::string> dir = oracle::Resolve(d);
        Require(oracle::Within(dir, addon) || oracle::Within(addon, dir), "a folder beside the add-on's folder");
    }
    const std::string simulator = kit::Trim(plan.log.simulator), named = identity.substr(0, identity.size() - 9);
    std::vector<std::vector<std::string>> libraries;
    for (const std::string& l : {simulator + "\\scenery.cfg", simulator + "\\NewScenery.cfg",
                                 std::string(kUserAppData) + "\\Lockheed Martin\\Prepar3D v2\\Scenery.CFG"})
        libraries.push_back(oracle::Resolve(l));
    for (const char* dir :
         {"Microsoft\\FSX", "Microsoft\\FSX-SE", "Lockheed Martin\\Prepar3D", "Lockheed Martin\\Prepar3D v3"})
        libraries.push_back(oracle::Resolve(std::string(kCommonAppData) + "\\" + dir + "\\Scenery.CFG"));
    for (const char* v : {"v4", "v5"})
        libraries.push_back(
            oracle::Resolve(std::string(kDocuments) + "\\Prepar3D " + v + " Add-ons\\" + named + "\\add-on.xml"));
    for (const kit::PlannedArea& a : plan.areas) {
        // Values are read without the blanks around them; a Local is relative to the
        // simulator's folder unless it names a drive or a share.
        const std::string local = kit::Trim(a.area.local);
        const bool full = (local.size() > 1 && local[1] == ':') || local.rfind("\\\\", 0) == 0;
        const std::string path = full ? local : simulator + "\\" + local;
        Require(oracle::Within(oracle::Resolve(path), addon), "an area whose Local is outside the add-on's folder");
        const std::vector<std::string> library = oracle::Resolve(a.library);
        Require(!library.empty() && std::find(libraries.begin(), libraries.end(), library) != libraries.end(),
                "an area of a library that is not one its simulator keeps");
    }
}

// Plans the record alone, beside a later add-on that replaced each of its files, and given a
// record path of another installation.
void PlanEach(const std::string& text) {
    const kit::InstallLog log = kit::InstallLog::Parse(text);
    kit::UninstallContext context;
    context.appDataRoots.assign(std::begin(kRoots), std::end(kRoots));
    context.folders = {kCommonAppData, kUserAppData, kDocuments};
    context.recordPath = kit::JoinPath(kit::WholePath(log.folder), kit::LogFileName(log.title, log.folder));
    Check(text, context);
    kit::OtherInstallation later = kit::OtherInstallation::Of(log);
    later.key = "Skykit Later Addon 0a1b2c3d";
    for (const std::string& f : later.files) later.replacedFrom[f] = log.key;
    context.others.push_back(later);
    Check(text, context);
    context.recordPath = "C:\\FS2000\\Addon Scenery\\EKCH\\Uninstall Copenhagen 1f2e3d4c.log";
    Check(text, context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    PlanEach(text);
    // The same lines sealed with the end line they lack, so that a whole record's edits are
    // planned from too.
    if (text.rfind(kWholeMark, 0) == 0) {
        const size_t end = text.rfind("\nEnd=");
        std::string body = end == std::string::npos ? text : text.substr(0, end + 1);
        if (body.back() != '\n') body += "\r\n";
        PlanEach(body + EndLine(body) + "\r\n");
    }
    return 0;
}
