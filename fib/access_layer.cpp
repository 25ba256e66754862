#include "fib/access_layer.h"

#include "fib/client_library.h"
#include "fib/database.h"
#include "fib/dpb.h"
#include "fib/errors.h"
#include "fib/tpb.h"
#include "platform/fpu.h"

namespace nimbus {

void InitAccessLayer() {
  DefaultFPUControlWord(); // recorded before any client library can change it
  InitClientLibraryRegistry();
  ErrorMessageParts();
  InitDPBLookupList();
  TPBLookupList();
  InitDatabaseList();
}

} // namespace nimbus
