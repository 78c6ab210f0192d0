// libFuzzer target over the engine's readers: the directory, local headers, inflate,
// decryption and extraction (into a scratch folder that must stay the only thing written).
//   run: ./fuzz 300 engine_fuzzer
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "QuietProgress.h"
#include "engine.h"

namespace {

std::string Base() {
  static std::string base = [] {
    std::string b = std::filesystem::temp_directory_path().string() + "/engine-fuzz-" + std::to_string(getpid());
    std::filesystem::create_directories(b + "/target");
    return b;
  }();
  return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string zip = Base() + "/in.zip";
  FILE* f = std::fopen(zip.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  testing_support::QuietProgress q;
  zc::ExtractOptions x;
  x.archive = zip;
  x.password = "pw";
  x.testOnly = true;
  zc::UnzipExtract(zip::HostFs(), x, q);
  x.testOnly = false;
  x.dirNames = x.overwrite = true;
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(Base() + "/target");
  zc::UnzipExtract(zip::HostFs(), x, q);
  std::filesystem::current_path(old);
  for (auto& p : std::filesystem::directory_iterator(Base()))
    if (p.path().filename() != "target" && p.path().filename() != "in.zip") __builtin_trap();
  std::filesystem::remove_all(Base() + "/target");
  std::filesystem::create_directories(Base() + "/target");
  return 0;
}
