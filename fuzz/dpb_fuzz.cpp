// Database parameter blocks from any parameter lines: a block that is built is
// a version byte and well-formed items (code, length, that many bytes) that
// fit the 16-bit length; a refused one is a client or conversion error.
#include <string>
#include <vector>

#include "fib/access_layer.h"
#include "fib/dpb.h"
#include "fib/errors.h"
#include "fuzz/fuzz_support.h"
#include "platform/exception.h"

namespace {

using namespace nimbus;

bool Trimmed(const std::string& line) {
  return line.empty() || (static_cast<unsigned char>(line.front()) > 32 &&
                          static_cast<unsigned char>(line.back()) > 32);
}

void CheckBlock(const std::string& dpb, std::int16_t length) {
  FUZZ_REQUIRE(length >= 1 && static_cast<std::size_t>(length) == dpb.size());
  FUZZ_REQUIRE(dpb[0] == 1);
  std::size_t at = 1;
  while (at < dpb.size()) {
    const auto code = static_cast<unsigned char>(dpb[at]);
    FUZZ_REQUIRE(code >= 1 && code <= kDPBNameCount);
    FUZZ_REQUIRE(at + 1 < dpb.size());
    at += 2 + static_cast<unsigned char>(dpb[at + 1]);
  }
  FUZZ_REQUIRE(at == dpb.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitAccessLayer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t options = input.Byte();
  const int code = input.Byte() % (kDPBNameCount + 2); // 0 and 84 lie outside the table
  const std::string_view rest = input.Rest();
  const std::size_t split = rest.find('\0');

  TDBParams params;
  params.Assign(fuzz::SplitAtLineFeeds(rest.substr(0, split)));
  std::string dpb;
  std::int16_t length = 0;
  try {
    BuildDPB(params, dpb, length, (options & 1) != 0);
    CheckBlock(dpb, length);
  } catch (const EFIBClientError&) {
  } catch (const EConvertError&) {
  }
  // Lines are trimmed in place up to the one that failed, if any.
  if (!params.Empty())
    FUZZ_REQUIRE(Trimmed(params[0]));

  // What is written is read back, through the same first matching line.
  if (split != std::string_view::npos) {
    const std::string value(rest.substr(split + 1));
    params.WriteParam(code, value);
    if (code >= 1 && code <= kDPBNameCount && !value.empty())
      FUZZ_REQUIRE(params.ReadParam(code) == value);
    else if (code < 1 || code > kDPBNameCount)
      FUZZ_REQUIRE(params.ReadParam(code).empty());
  }
  return 0;
}
