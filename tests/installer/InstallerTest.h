// What the installer tests share: the fixture archives, an archive held in memory, and a
// self-extractor put together the way the archive component writes one.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "Bytes.h"
#include "Errors.h"
#include "FileSystem.h"
#include "TestSupport.h"

namespace installer_test {

// The shared helpers the installer tests use.
using testing_support::DistFile;
using testing_support::Exists;

// A host path from the environment as Wine shows it (under Z:).
inline std::string HostDir(const char* var) {
    const char* v = std::getenv(var);
    std::string p = v ? v : "";
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char& c : p)
        if (c == '/') c = '\\';
    if (!p.empty() && p.back() != '\\') p += '\\';
    return p;
}

inline std::string Fixture(const std::string& name) { return HostDir("SKYKIT_ROOT") + "tests\\installer\\data\\" + name; }

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read " + path);
    std::vector<uint8_t> out(GetFileSize(h, nullptr));
    DWORD got = 0;
    if (!out.empty()) ReadFile(h, out.data(), DWORD(out.size()), &got, nullptr);
    CloseHandle(h);
    out.resize(got);
    return out;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
    DWORD put = 0;
    if (!data.empty()) WriteFile(h, data.data(), DWORD(data.size()), &put, nullptr);
    CloseHandle(h);
}

// The fixed contents of the fixture archives (see data/make_fixtures.py).
inline std::vector<uint8_t> PlaneMdl() {
    std::vector<uint8_t> v(20000);
    for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t((i * 7 + 3) % 251);
    return v;
}
inline std::string AircraftCfg() { return "[fltsim.0]\r\ntitle=Skykit Demo\r\n"; }

// An archive in memory, read through the engine's file interface.
class MemFile : public zip::File {
public:
    explicit MemFile(std::vector<uint8_t> data) : data_(std::move(data)) {}
    size_t read(void* buf, size_t n) override {
        size_t k = pos_ >= data_.size() ? 0 : std::min(n, data_.size() - size_t(pos_));
        if (k) std::memcpy(buf, data_.data() + pos_, k);
        pos_ += k;
        return k;
    }
    void write(const void*, size_t) override { throw zip::ZipError(zip::kWrite, "read-only"); }
    void seek(uint64_t pos) override { pos_ = pos; }
    uint64_t tell() override { return pos_; }
    uint64_t size() override { return data_.size(); }
    void truncate() override {}
    void close() override {}

private:
    std::vector<uint8_t> data_;
    uint64_t pos_ = 0;
};

// The archive's offsets moved by delta, as the archive component does when it puts a stub and
// the header in front: every local header offset of the directory and the directory's own.
inline std::vector<uint8_t> Shifted(std::vector<uint8_t> archive, uint32_t delta) {
    size_t end = archive.size() - 22;
    while (zip::Get32(&archive[end]) != 0x06054B50) --end;
    uint16_t n = zip::Get16(&archive[end + 10]);
    uint32_t cd = zip::Get32(&archive[end + 16]);
    size_t p = cd;
    for (uint16_t i = 0; i < n; ++i) {
        if (zip::Get32(&archive[p]) != 0x02014B50) throw std::runtime_error("central header expected");
        zip::Put32(&archive[p + 42], zip::Get32(&archive[p + 42]) + delta);
        p += 46 + zip::Get16(&archive[p + 28]) + zip::Get16(&archive[p + 30]) + zip::Get16(&archive[p + 32]);
    }
    zip::Put32(&archive[end + 16], cd + delta);
    return archive;
}

// stub + 256-byte header + archive, with or without shifted offsets.
inline std::vector<uint8_t> SelfExtractor(const std::vector<uint8_t>& stub, const uint8_t* header,
                                          const std::vector<uint8_t>& zip, bool shift) {
    std::vector<uint8_t> out(stub);
    out.insert(out.end(), header, header + 256);
    std::vector<uint8_t> z = shift ? Shifted(zip, uint32_t(stub.size() + 256)) : zip;
    out.insert(out.end(), z.begin(), z.end());
    return out;
}

}  // namespace installer_test
