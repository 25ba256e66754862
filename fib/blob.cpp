#include "fib/blob.h"

#include <algorithm>

#include "fib/client_library.h"
#include "fib/errors.h"

namespace nimbus {

namespace {

constexpr unsigned short kSegmentSize = 32767;

// Closes `blob` after a failure; the error already raised is the one to report.
void CloseQuietly(IIBClientLibrary& library, isc_blob_handle& blob) {
  if (blob)
    library.isc_close_blob(StatusVector(), &blob);
  blob = 0;
}

} // namespace

std::string ReadBlob(IIBClientLibrary& library, isc_db_handle* db, isc_tr_handle* tr, ISC_QUAD id,
                     const TComponent* raiser) {
  isc_blob_handle blob = 0;
  CheckStatus(library.isc_open_blob2(StatusVector(), db, tr, &blob, &id, 0, nullptr), true, library,
              raiser);
  std::string content;
  try {
    char buffer[kSegmentSize];
    for (;;) {
      unsigned short actual = 0;
      const ISC_STATUS status =
          library.isc_get_segment(StatusVector(), &blob, &actual, sizeof(buffer), buffer);
      if (status == isc_segstr_eof)
        break;
      // isc_segment: a part of a longer segment came; the loop fetches the rest.
      if (status != 0 && status != isc_segment)
        CheckStatus(status, true, library, raiser);
      content.append(buffer, std::min<size_t>(actual, sizeof(buffer)));
    }
    CheckStatus(library.isc_close_blob(StatusVector(), &blob), true, library, raiser);
  } catch (...) {
    CloseQuietly(library, blob);
    throw;
  }
  return content;
}

ISC_QUAD WriteBlob(IIBClientLibrary& library, isc_db_handle* db, isc_tr_handle* tr, short subtype,
                   std::string_view bytes, const TComponent* raiser) {
  // Same source and target type: the server applies no filter.
  const char bpb[] = {isc_bpb_version1,           isc_bpb_source_type, 1,
                      static_cast<char>(subtype), isc_bpb_target_type, 1,
                      static_cast<char>(subtype)};
  const bool plain = subtype == 0;
  isc_blob_handle blob = 0;
  ISC_QUAD id{};
  CheckStatus(library.isc_create_blob2(StatusVector(), db, tr, &blob, &id,
                                       plain ? 0 : static_cast<short>(sizeof(bpb)),
                                       plain ? nullptr : bpb),
              true, library, raiser);
  try {
    for (size_t at = 0; at < bytes.size(); at += kSegmentSize) {
      const auto length =
          static_cast<unsigned short>(std::min<size_t>(kSegmentSize, bytes.size() - at));
      CheckStatus(library.isc_put_segment(StatusVector(), &blob, length, bytes.data() + at), true,
                  library, raiser);
    }
    CheckStatus(library.isc_close_blob(StatusVector(), &blob), true, library, raiser);
  } catch (...) {
    CloseQuietly(library, blob);
    throw;
  }
  return id;
}

} // namespace nimbus
