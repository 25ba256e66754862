#pragma once

#include <string>
#include <string_view>

#include <ibase.h>

namespace nimbus {

class IIBClientLibrary;
class TComponent;

// Blob transfer for parameter and column values. Server failures raise
// EFIBInterBaseError with `raiser`; an open blob is closed first.

// The whole content of blob `id`.
std::string ReadBlob(IIBClientLibrary& library, isc_db_handle* db, isc_tr_handle* tr, ISC_QUAD id,
                     const TComponent* raiser);

// A new blob of `subtype` holding `bytes`, written in segments of at most
// 32,767 bytes; returns its id.
ISC_QUAD WriteBlob(IIBClientLibrary& library, isc_db_handle* db, isc_tr_handle* tr, short subtype,
                   std::string_view bytes, const TComponent* raiser);

} // namespace nimbus
