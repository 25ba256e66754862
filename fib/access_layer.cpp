#include "fib/access_layer.h"

#include "fib/client_library.h"
#include "fib/dpb.h"
#include "fib/errors.h"
#include "platform/fpu.h"

namespace nimbus {

void InitAccessLayer() {
  DefaultFPUControlWord();
  InitClientLibraryRegistry();
  ErrorMessageParts();
  InitDPBLookupList();
}

} // namespace nimbus
