// libFuzzer target: an archive unpacked as the self-extractor and the installer unpack it
// (directory, plan, member decoder) into a scratch folder, which must stay the only place
// written, with no temporary file left behind.
#include <unistd.h>

#include <cstdio>

#include "SfxRun.h"

namespace {

const std::filesystem::path& Base() {
    static const std::filesystem::path base = [] {
        auto b = std::filesystem::temp_directory_path() / ("sfx-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(b / "work");
        return b;
    }();
    return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string zip = (Base() / "in.zip").string();
    FILE* f = std::fopen(zip.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const std::filesystem::path work = Base() / "work";
    const sfxrun::Outcome o = sfxrun::UnpackInto(zip, (work / "target").string());
    if (!sfxrun::Strays(work, o).empty()) __builtin_trap();
    for (auto& p : std::filesystem::directory_iterator(Base()))
        if (p.path().filename() != "work" && p.path().filename() != "in.zip") __builtin_trap();
    std::filesystem::remove_all(work / "target");
    return 0;
}
