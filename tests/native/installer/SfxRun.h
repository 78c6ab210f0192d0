// The self-extractor's way through an archive, without its windows: read the directory, plan
// the members below a folder, unpack them with every file overwritten and "pw" as the one
// password the person offers. The target folder is made first, as the self-extractor does. Shared by the
// problem-archive test and the fuzz target.
#pragma once

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "Unpack.h"
#include "Errors.h"
#include "zipformat.h"

namespace sfxrun {

struct Outcome {
    bool read = false;         // the directory was read
    std::string refusal;       // why not, when it was not
    kit::UnpackPlan plan;      // when it was: what each member was to become
    kit::UnpackResult result;  // when it was
};

class Quiet : public kit::UnpackEvents {
public:
    bool Progress(const std::string&, uint64_t, uint64_t) override { return false; }
    kit::Answer AskOverwrite(const std::string&, const zc::Entry&) override { return kit::Answer::Yes; }
    bool AskPassword(std::string& password, bool retry) override {
        password = "pw";
        return !retry;
    }
};

inline Outcome UnpackInto(const std::string& zip, const std::string& target) {
    Outcome o;
    zip::FileSystem& fs = zip::HostFs();
    std::filesystem::create_directories(target);  // the self-extractor makes it first
    try {
        std::unique_ptr<zip::File> f = fs.OpenRead(zip);
        zc::Directory d = zc::ReadDirectory(*f);
        o.read = true;
        Quiet events;
        o.plan = kit::PlanUnpack(fs, d, target);
        o.result = kit::RunUnpack(fs, *f, d, o.plan, kit::Overwrite::Always, events);
    } catch (const zip::ZipError& e) {
        o.refusal = e.what();
    }
    return o;
}

// Everything below root that is not below root/target, and every file below it that the
// archive did not name: a temporary file the unpacker left. A member whose own name holds the
// temporary suffix ("dir/..skx~partxt") is the archive's, not a leftover.
inline std::string Strays(const std::filesystem::path& root, const Outcome& o) {
    std::set<std::string> named;
    for (const kit::UnpackItem& it : o.plan.items) {
        if (it.isDir || it.rel.empty()) continue;
        std::string rel = "target/" + it.rel;
        std::replace(rel.begin(), rel.end(), '\\', '/');
        named.insert(rel);
    }
    std::string found;
    for (auto& p : std::filesystem::recursive_directory_iterator(root)) {
        std::string rel = std::filesystem::relative(p.path(), root).generic_string();
        bool inside = rel == "target" || rel.rfind("target/", 0) == 0;
        if (!inside || (!p.is_directory() && !named.count(rel))) found += rel + "\n";
    }
    return found;
}

}  // namespace sfxrun
