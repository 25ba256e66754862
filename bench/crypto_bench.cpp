#include <benchmark/benchmark.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "crypto/script_file.h"
#include "crypto/script_key.h"

namespace {

constexpr std::size_t ScriptSize = 10 * 1024 * 1024;

// A 10 MB script and its encrypted form, made once for all runs.
struct Files {
  std::filesystem::path folder;
  std::string plain, encrypted, output;
  std::array<std::uint8_t, 16> key{};

  Files() {
    std::random_device device;
    folder = std::filesystem::temp_directory_path() / ("nimbus-bench-" + std::to_string(device()));
    std::filesystem::create_directories(folder);
    plain = (folder / "plain.sql").string();
    encrypted = (folder / "script.rhtz").string();
    output = (folder / "out.sql").string();
    std::mt19937 random(7);
    std::string bytes(ScriptSize, '\0');
    for (char& c : bytes)
      c = static_cast<char>(random());
    std::ofstream(plain, std::ios::binary) << bytes;
    nimbus::DeriveScriptKey(key.data(), key.size(), "bench passphrase");
    nimbus::DecryptScriptFile(plain, encrypted, key.data(), key.size(), true);
  }
  ~Files() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

Files& SharedFiles() {
  static Files files;
  return files;
}

void BM_DecryptScriptFile(benchmark::State& state) {
  Files& files = SharedFiles();
  for (auto _ : state)
    nimbus::DecryptScriptFile(files.encrypted, files.output, files.key.data(), files.key.size(),
                              false);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ScriptSize));
}
BENCHMARK(BM_DecryptScriptFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncryptScriptFile(benchmark::State& state) {
  Files& files = SharedFiles();
  for (auto _ : state)
    nimbus::DecryptScriptFile(files.plain, files.output, files.key.data(), files.key.size(), true);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ScriptSize));
}
BENCHMARK(BM_EncryptScriptFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeriveScriptKey(benchmark::State& state) {
  std::array<std::uint8_t, 16> key{};
  for (auto _ : state) {
    nimbus::DeriveScriptKey(key.data(), key.size(), "bench passphrase");
    benchmark::DoNotOptimize(key);
  }
}
BENCHMARK(BM_DeriveScriptKey);

} // namespace
