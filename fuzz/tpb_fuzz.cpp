// Transaction parameter blocks from any parameter lines: a block that is
// built fits the 16-bit length and every table reservation carries its own
// length; unknown or unsupported names are client errors.
#include <string>
#include <vector>

#include <ibase.h>

#include "fib/access_layer.h"
#include "fib/errors.h"
#include "fib/tpb.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace nimbus;

// Walks the block item by item: lock_read and lock_write carry a table name
// with its length byte, lock_timeout a 2-byte value when it has one.
void CheckBlock(const std::string& tpb, std::int16_t length, bool lockTimeout) {
  FUZZ_REQUIRE(length >= 0 && static_cast<std::size_t>(length) == tpb.size());
  if (tpb.empty())
    return;
  FUZZ_REQUIRE(tpb[0] == isc_tpb_version3);
  std::size_t at = 1;
  while (at < tpb.size()) {
    const auto code = static_cast<unsigned char>(tpb[at++]);
    FUZZ_REQUIRE(code >= 1 && code <= 21);
    if (code == isc_tpb_lock_read || code == isc_tpb_lock_write) {
      FUZZ_REQUIRE(at < tpb.size());
      at += 1 + static_cast<unsigned char>(tpb[at]);
    } else if (code == isc_tpb_lock_timeout && lockTimeout) {
      FUZZ_REQUIRE(at < tpb.size() && tpb[at] == 2);
      at += 3;
    }
  }
  FUZZ_REQUIRE(at == tpb.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitAccessLayer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const bool lockTimeout = (input.Byte() & 1) != 0;
  std::vector<std::string> params = fuzz::SplitAtLineFeeds(input.Rest());

  std::string tpb;
  std::int16_t length = 0;
  try {
    BuildTPB(params, tpb, length, lockTimeout);
    CheckBlock(tpb, length, lockTimeout);
  } catch (const EFIBClientError&) {
  }
  return 0;
}
