// libFuzzer target over every reader of an archive's directory, on the same bytes: the
// component's List (with a disk set whose other disks are the same bytes), the engine's strict
// reader with its overlap check, and the self-extractor's search for its header and archive.
//   run: ./fuzz 600 readers_fuzzer
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "SfxLayout.h"
#include "ZipFormat.h"
#include "Errors.h"
#include "zipformat.h"

namespace {

std::string Input() {
    static std::string path = std::filesystem::temp_directory_path().string() + "/readers-fuzz-" +
                              std::to_string(getpid()) + ".zip";
    return path;
}

std::array<char, 128> Table() {
    std::array<char, 128> t;
    for (int i = 0; i < 128; ++i) t[size_t(i)] = char(i ^ 0x55);
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::array<char, 128> table = Table();
    std::vector<uint8_t> bytes(data, data + size);

    zip::MemorySource src(bytes), other(bytes);
    ZipListOptions opt;
    opt.oemTable = &table;
    opt.codePage = zip::NameRule(size % 3);
    int asked = 0;
    opt.diskSource = [&](int) -> zip::ByteSource* { return ++asked < 4 ? &other : nullptr; };
    ZipListing L = ReadZipListing(src, opt);
    if (L.entries.size() > size) __builtin_trap();  // every entry takes 46 bytes of the input

    FILE* f = std::fopen(Input().c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::unique_ptr<zip::File> file = zip::HostFs().OpenRead(Input());
    try {
        zc::Directory d = zc::ReadDirectory(*file);
        zip::CheckMemberRanges(*file, d);
        for (const zc::Entry& e : d.entries)
            if (e.headerPos + zip::kLocalSize > d.cdStart) __builtin_trap();  // checked on reading
    } catch (const zip::ZipError&) {
    }
    kit::SfxLocation where;
    kit::LocateSfxHeader(*file, where);
    kit::HasArchiveAfter(*file, kit::ProgramImageEnd(*file));
    return 0;
}
