// Encrypted scripts: any bytes either decrypt to a plain text of the size the
// layout gives or are refused as "Invalid file format"; an encrypt of any
// bytes decrypts back to them.
#include <array>
#include <string>

#include "crypto/script_file.h"
#include "crypto/script_key.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace nimbus;

std::array<std::uint8_t, 16> KeyOf(std::string_view passphrase) {
  std::array<std::uint8_t, 16> key{};
  DeriveScriptKey(key.data(), key.size(), passphrase);
  return key;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint8_t, 16> key = KeyOf("nimbus fuzz");
  fuzz::Input input(data, size);
  const std::uint8_t options = input.Byte();
  const std::string bytes(input.Rest());

  if (options & 1) {
    FUZZ_REQUIRE(KeyOf(bytes) == KeyOf(bytes));
    return 0;
  }
  try {
    const std::string plain = TransformScriptBytes(bytes, key.data(), key.size(), false);
    FUZZ_REQUIRE(bytes.size() >= 32);
    const std::size_t body = (bytes.size() / 16 - 2) * 16;
    FUZZ_REQUIRE(plain.size() >= body && plain.size() < body + 16);
  } catch (const ECipherException& error) {
    FUZZ_REQUIRE(std::string(error.what()) == "Invalid file format");
  }

  const std::string encrypted = TransformScriptBytes(bytes, key.data(), key.size(), true);
  FUZZ_REQUIRE(encrypted.size() == 16 * (bytes.size() / 16 + 2));
  FUZZ_REQUIRE(TransformScriptBytes(encrypted, key.data(), key.size(), false) == bytes);
  return 0;
}
