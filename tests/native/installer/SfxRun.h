// The self-extractor's way through an archive, without its windows: read the directory, plan
// the members below a folder, unpack them with every file overwritten and "pw" as the one
// password the person offers. The target folder is made first, as the self-extractor does. Shared by the
// problem-archive test and the fuzz target.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "Unpack.h"
#include "errors.h"
#include "zipformat.h"

namespace sfxrun {

struct Outcome {
    bool read = false;         // the directory was read
    std::string refusal;       // why not, when it was not
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
    zc::FileSystem& fs = zc::host_fs();
    std::filesystem::create_directories(target);  // the self-extractor makes it first
    try {
        std::unique_ptr<zc::File> f = fs.open_read(zip);
        zc::Directory d = zc::read_directory(*f);
        o.read = true;
        Quiet events;
        o.result = kit::RunUnpack(fs, *f, d, kit::PlanUnpack(fs, d, target), kit::Overwrite::Always, events);
    } catch (const zc::ZipError& e) {
        o.refusal = e.what();
    }
    return o;
}

// Everything below root that is not below root/target, and every temporary file left.
inline std::string Strays(const std::filesystem::path& root) {
    std::string found;
    for (auto& p : std::filesystem::recursive_directory_iterator(root)) {
        std::string rel = std::filesystem::relative(p.path(), root).generic_string();
        bool inside = rel == "target" || rel.rfind("target/", 0) == 0;
        if (!inside || rel.find(kit::kPartialSuffix) != std::string::npos) found += rel + "\n";
    }
    return found;
}

}  // namespace sfxrun
