// Service parameter blocks from any parameter lines: a block that is built is
// the version bytes and one well-formed item per line (a text with its length
// byte, or a 4-byte number) within the 16-bit length; a refused one is a
// client or conversion error.
#include <string>

#include "fib/access_layer.h"
#include "fib/errors.h"
#include "fib/service.h"
#include "fuzz/fuzz_support.h"
#include "platform/exception.h"

namespace {

using namespace nimbus;

const TSPBName* ByCode(unsigned char code) {
  for (const TSPBName& entry : SPBNameTable)
    if (entry.Code == code && entry.Kind != TSPBItemKind::NotSupported)
      return &entry;
  return nullptr;
}

void CheckBlock(const std::string& spb) {
  FUZZ_REQUIRE(spb.size() >= 2 && spb.size() <= 65535);
  FUZZ_REQUIRE(spb[0] == isc_spb_version && spb[1] == isc_spb_current_version);
  std::size_t at = 2;
  while (at < spb.size()) {
    const TSPBName* entry = ByCode(static_cast<unsigned char>(spb[at]));
    FUZZ_REQUIRE(entry != nullptr && at + 1 < spb.size());
    if (entry->Kind == TSPBItemKind::Integer)
      FUZZ_REQUIRE(spb[at + 1] == 4);
    at += 2 + static_cast<unsigned char>(spb[at + 1]);
  }
  FUZZ_REQUIRE(at == spb.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitAccessLayer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  TParamLines params;
  params.Assign(fuzz::SplitAtLineFeeds(input.Rest()));
  try {
    CheckBlock(BuildSPB(params));
  } catch (const EFIBClientError&) {
  } catch (const EConvertError&) {
  }
  return 0;
}
