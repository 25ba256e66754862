#include "fib/client_library.h"

#include "platform/exception.h"
#include "platform/fpu.h"
#include "platform/os.h"

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace nimbus {

namespace {

struct LibraryRegistryState {
  std::mutex lock; // RegistryLock
  std::vector<IIBClientLibraryPtr> entries;
};

// Lives until the process ends and is never destroyed: unloading a client
// library during exit, while its own threads may still run, can crash the
// exit path. The system unmaps the libraries with the process.
LibraryRegistryState& Registry() {
  static LibraryRegistryState* registry = new LibraryRegistryState;
  return *registry;
}

} // namespace

void InitClientLibraryRegistry() {
  Registry();
}

IIBClientLibraryPtr GetClientLibrary(const std::string& name) {
  LibraryRegistryState& registry = Registry();
  std::lock_guard guard(registry.lock);
  for (const IIBClientLibraryPtr& entry : registry.entries) {
    if (entry->GetLibraryName() == name) {
      if (!entry->IsLoaded())
        entry->Load();
      return entry;
    }
  }
  auto library = std::make_shared<TIBClientLibrary>(name);
  registry.entries.push_back(library);
  return library;
}

void ShutdownClientLibraries(std::uint32_t waitMs) noexcept {
  if (os::ThreadCount() <= 1)
    return;
  {
    LibraryRegistryState& registry = Registry();
    std::lock_guard guard(registry.lock);
    for (const IIBClientLibraryPtr& entry : registry.entries)
      if (auto* library = dynamic_cast<TIBClientLibrary*>(entry.get()))
        library->Shutdown();
  }
  // fb_shutdown joins the threads it ends; the wait covers any that end a
  // moment later.
  constexpr std::uint32_t kSteadyMs = 20;
  const std::uint32_t start = os::TickCount();
  std::uint32_t steadySince = start;
  for (int count = os::ThreadCount(); count > 1;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const std::uint32_t now = os::TickCount();
    const int latest = os::ThreadCount();
    if (latest != count) {
      count = latest;
      steadySince = now;
    } else if (now - steadySince >= kSteadyMs || now - start >= waitMs) {
      break;
    }
  }
}

// Busy for the duration of one client call, also when it throws.
class TIBClientLibrary::BusyScope {
public:
  explicit BusyScope(std::atomic<bool>& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

private:
  std::atomic<bool>& busy_;
};

TIBClientLibrary::TIBClientLibrary(std::string name) : name_(std::move(name)) {
  Load();
}

TIBClientLibrary::~TIBClientLibrary() {
  Unload();
}

void TIBClientLibrary::CantFind(const char* function) const {
  throw Exception("Can't find procedure " + std::string(function) + " in " + name_);
}

void TIBClientLibrary::Unload() {
  // The addresses die with the mapping: forget them so a later call fails
  // with "Can't find procedure" instead of jumping into unmapped memory.
  entry_ = {};
  library_.Close();
}

void TIBClientLibrary::Shutdown() noexcept {
  if (entry_.fb_shutdown)
    entry_.fb_shutdown(0, fb_shutrsn_app_stopped);
}

void TIBClientLibrary::Load() {
  entry_ = {};
  library_ = DynamicLibrary::Open(name_);
  try {
    ResolveEntryPoints();
  } catch (...) {
    entry_ = {};
    library_.Close();
    throw;
  }
  SetExtendedFPUPrecision();
}

void TIBClientLibrary::ResolveEntryPoints() {
  TClientEntryPoints& e = entry_;
  auto required = [this](auto& slot, const char* symbol) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(library_.Require(symbol));
  };
  auto optional = [this](auto& slot, const char* symbol) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(library_.Find(symbol));
  };
#define NIMBUS_REQUIRED(name) required(e.name, #name);
#define NIMBUS_OPTIONAL(name) optional(e.name, #name);
  NIMBUS_REQUIRED(BLOB_get)
  NIMBUS_REQUIRED(BLOB_put)
  NIMBUS_REQUIRED(isc_sqlcode)
  NIMBUS_REQUIRED(isc_sql_interprete)
  NIMBUS_REQUIRED(isc_interprete)
  NIMBUS_OPTIONAL(fb_interpret)
  NIMBUS_REQUIRED(isc_vax_integer)
  NIMBUS_REQUIRED(isc_blob_info)
  NIMBUS_REQUIRED(isc_open_blob2)
  NIMBUS_REQUIRED(isc_close_blob)
  NIMBUS_REQUIRED(isc_get_segment)
  NIMBUS_REQUIRED(isc_put_segment)
  NIMBUS_REQUIRED(isc_create_blob2)
  NIMBUS_REQUIRED(isc_decode_date)
  NIMBUS_REQUIRED(isc_encode_date)
  NIMBUS_REQUIRED(isc_dsql_free_statement)
  NIMBUS_REQUIRED(isc_dsql_execute2)
  NIMBUS_REQUIRED(isc_dsql_execute)
  NIMBUS_REQUIRED(isc_dsql_set_cursor_name)
  NIMBUS_REQUIRED(isc_dsql_fetch)
  NIMBUS_REQUIRED(isc_dsql_sql_info)
  NIMBUS_REQUIRED(isc_dsql_alloc_statement2)
  NIMBUS_REQUIRED(isc_dsql_prepare)
  NIMBUS_REQUIRED(isc_dsql_describe_bind)
  NIMBUS_REQUIRED(isc_dsql_describe)
  NIMBUS_REQUIRED(isc_dsql_execute_immediate)
  NIMBUS_REQUIRED(isc_dsql_exec_immed2)
  NIMBUS_REQUIRED(isc_drop_database)
  NIMBUS_REQUIRED(isc_detach_database)
  NIMBUS_REQUIRED(isc_attach_database)
  NIMBUS_REQUIRED(isc_database_info)
  NIMBUS_REQUIRED(isc_start_multiple)
  NIMBUS_REQUIRED(isc_commit_transaction)
  NIMBUS_REQUIRED(isc_commit_retaining)
  NIMBUS_REQUIRED(isc_rollback_transaction)
  NIMBUS_REQUIRED(isc_cancel_events)
  NIMBUS_REQUIRED(isc_que_events)
  NIMBUS_REQUIRED(isc_event_counts)
  NIMBUS_REQUIRED(isc_event_block)
  NIMBUS_REQUIRED(isc_free)
  NIMBUS_REQUIRED(isc_array_lookup_bounds)
  NIMBUS_REQUIRED(isc_array_get_slice)
  NIMBUS_REQUIRED(isc_array_put_slice)
  NIMBUS_REQUIRED(isc_wait_for_event)
  NIMBUS_REQUIRED(isc_transaction_info)
  NIMBUS_REQUIRED(isc_prepare_transaction)
  NIMBUS_REQUIRED(isc_prepare_transaction2)
  NIMBUS_OPTIONAL(isc_rollback_retaining)
  if (e.isc_rollback_retaining) {
    major_ = 6;
    minor_ = 0;
    NIMBUS_REQUIRED(isc_service_attach)
    NIMBUS_REQUIRED(isc_service_detach)
    NIMBUS_REQUIRED(isc_service_query)
    NIMBUS_REQUIRED(isc_service_start)
    NIMBUS_REQUIRED(isc_decode_sql_date)
    NIMBUS_REQUIRED(isc_decode_sql_time)
    NIMBUS_REQUIRED(isc_decode_timestamp)
    NIMBUS_REQUIRED(isc_encode_sql_date)
    NIMBUS_REQUIRED(isc_encode_sql_time)
    NIMBUS_REQUIRED(isc_encode_timestamp)
    NIMBUS_REQUIRED(isc_portable_integer)
  } else {
    major_ = 5;
    minor_ = 0;
  }
  NIMBUS_OPTIONAL(isc_get_client_version)
  if (e.isc_get_client_version) {
    NIMBUS_REQUIRED(isc_get_client_major_version)
    NIMBUS_REQUIRED(isc_get_client_minor_version)
    major_ = e.isc_get_client_major_version();
    minor_ = e.isc_get_client_minor_version();
    NIMBUS_OPTIONAL(isc_dsql_batch_execute_immed)
    NIMBUS_OPTIONAL(isc_dsql_batch_execute)
    NIMBUS_OPTIONAL(fb_cancel_operation)
    NIMBUS_OPTIONAL(fb_shutdown)
  }
#undef NIMBUS_REQUIRED
#undef NIMBUS_OPTIONAL
}

// Busy for the call; the entry point must be resolved (else "Can't find").
#define NIMBUS_CALL(name, ...)                                                                     \
  auto fn = Entry(entry_.name, #name);                                                             \
  BusyScope busy(busy_);                                                                           \
  return fn(__VA_ARGS__)
// Calls that leave Busy alone (blob streams, arrays, cancel).
#define NIMBUS_CALL_NOT_BUSY(name, ...) return Entry(entry_.name, #name)(__VA_ARGS__)

ISC_STATUS TIBClientLibrary::isc_attach_database(ISC_STATUS* a, short b, const ISC_SCHAR* c,
                                                 isc_db_handle* d, short e, const ISC_SCHAR* f) {
  NIMBUS_CALL(isc_attach_database, a, b, c, d, e, f);
}
ISC_STATUS TIBClientLibrary::isc_array_get_slice(ISC_STATUS* a, isc_db_handle* b, isc_tr_handle* c,
                                                 ISC_QUAD* d, const ISC_ARRAY_DESC* e, void* f,
                                                 ISC_LONG* g) {
  NIMBUS_CALL_NOT_BUSY(isc_array_get_slice, a, b, c, d, e, f, g);
}
ISC_STATUS TIBClientLibrary::isc_array_lookup_bounds(ISC_STATUS* a, isc_db_handle* b,
                                                     isc_tr_handle* c, const ISC_SCHAR* d,
                                                     const ISC_SCHAR* e, ISC_ARRAY_DESC* f) {
  NIMBUS_CALL_NOT_BUSY(isc_array_lookup_bounds, a, b, c, d, e, f);
}
ISC_STATUS TIBClientLibrary::isc_array_lookup_desc(ISC_STATUS* a, isc_db_handle* b,
                                                   isc_tr_handle* c, const ISC_SCHAR* d,
                                                   const ISC_SCHAR* e, ISC_ARRAY_DESC* f) {
  NIMBUS_CALL_NOT_BUSY(isc_array_lookup_desc, a, b, c, d, e, f);
}
ISC_STATUS TIBClientLibrary::isc_array_set_desc(ISC_STATUS* a, const ISC_SCHAR* b,
                                                const ISC_SCHAR* c, const short* d, const short* e,
                                                const short* f, ISC_ARRAY_DESC* g) {
  NIMBUS_CALL_NOT_BUSY(isc_array_set_desc, a, b, c, d, e, f, g);
}
ISC_STATUS TIBClientLibrary::isc_array_put_slice(ISC_STATUS* a, isc_db_handle* b, isc_tr_handle* c,
                                                 ISC_QUAD* d, const ISC_ARRAY_DESC* e, void* f,
                                                 ISC_LONG* g) {
  NIMBUS_CALL_NOT_BUSY(isc_array_put_slice, a, b, c, d, e, f, g);
}
ISC_STATUS TIBClientLibrary::isc_blob_info(ISC_STATUS* a, isc_blob_handle* b, short c,
                                           const ISC_SCHAR* d, short e, ISC_SCHAR* f) {
  NIMBUS_CALL(isc_blob_info, a, b, c, d, e, f);
}
ISC_STATUS TIBClientLibrary::isc_cancel_events(ISC_STATUS* a, isc_db_handle* b, ISC_LONG* c) {
  NIMBUS_CALL(isc_cancel_events, a, b, c);
}
ISC_STATUS TIBClientLibrary::isc_que_events(ISC_STATUS* a, isc_db_handle* b, ISC_LONG* c, short d,
                                            const ISC_UCHAR* e, ISC_EVENT_CALLBACK f, void* g) {
  NIMBUS_CALL(isc_que_events, a, b, c, d, e, f, g);
}
ISC_STATUS TIBClientLibrary::isc_wait_for_event(ISC_STATUS* a, isc_db_handle* b, short c,
                                                const ISC_UCHAR* d, ISC_UCHAR* e) {
  NIMBUS_CALL(isc_wait_for_event, a, b, c, d, e);
}
ISC_STATUS TIBClientLibrary::isc_close_blob(ISC_STATUS* a, isc_blob_handle* b) {
  NIMBUS_CALL(isc_close_blob, a, b);
}
ISC_STATUS TIBClientLibrary::isc_create_blob2(ISC_STATUS* a, isc_db_handle* b, isc_tr_handle* c,
                                              isc_blob_handle* d, ISC_QUAD* e, short f,
                                              const ISC_SCHAR* g) {
  NIMBUS_CALL(isc_create_blob2, a, b, c, d, e, f, g);
}
ISC_STATUS TIBClientLibrary::isc_commit_retaining(ISC_STATUS* a, isc_tr_handle* b) {
  NIMBUS_CALL(isc_commit_retaining, a, b);
}
ISC_STATUS TIBClientLibrary::isc_commit_transaction(ISC_STATUS* a, isc_tr_handle* b) {
  NIMBUS_CALL(isc_commit_transaction, a, b);
}
ISC_STATUS TIBClientLibrary::isc_transaction_info(ISC_STATUS* a, isc_tr_handle* b, short c,
                                                  const ISC_SCHAR* d, short e, ISC_SCHAR* f) {
  NIMBUS_CALL(isc_transaction_info, a, b, c, d, e, f);
}
ISC_STATUS TIBClientLibrary::isc_database_info(ISC_STATUS* a, isc_db_handle* b, short c,
                                               const ISC_SCHAR* d, short e, ISC_SCHAR* f) {
  NIMBUS_CALL(isc_database_info, a, b, c, d, e, f);
}
void TIBClientLibrary::isc_decode_date(const ISC_QUAD* a, void* b) {
  NIMBUS_CALL(isc_decode_date, a, b);
}
void TIBClientLibrary::isc_decode_sql_date(const ISC_DATE* a, void* b) {
  NIMBUS_CALL(isc_decode_sql_date, a, b);
}
void TIBClientLibrary::isc_decode_sql_time(const ISC_TIME* a, void* b) {
  NIMBUS_CALL(isc_decode_sql_time, a, b);
}
void TIBClientLibrary::isc_decode_timestamp(const ISC_TIMESTAMP* a, void* b) {
  NIMBUS_CALL(isc_decode_timestamp, a, b);
}
ISC_STATUS TIBClientLibrary::isc_detach_database(ISC_STATUS* a, isc_db_handle* b) {
  NIMBUS_CALL(isc_detach_database, a, b);
}
ISC_STATUS TIBClientLibrary::isc_drop_database(ISC_STATUS* a, isc_db_handle* b) {
  NIMBUS_CALL(isc_drop_database, a, b);
}
ISC_STATUS TIBClientLibrary::isc_dsql_alloc_statement2(ISC_STATUS* a, isc_db_handle* b,
                                                       isc_stmt_handle* c) {
  NIMBUS_CALL(isc_dsql_alloc_statement2, a, b, c);
}
ISC_STATUS TIBClientLibrary::isc_dsql_describe(ISC_STATUS* a, isc_stmt_handle* b, unsigned short c,
                                               XSQLDA* d) {
  NIMBUS_CALL(isc_dsql_describe, a, b, c, d);
}
ISC_STATUS TIBClientLibrary::isc_dsql_describe_bind(ISC_STATUS* a, isc_stmt_handle* b,
                                                    unsigned short c, XSQLDA* d) {
  NIMBUS_CALL(isc_dsql_describe_bind, a, b, c, d);
}
ISC_STATUS TIBClientLibrary::isc_dsql_execute(ISC_STATUS* a, isc_tr_handle* b, isc_stmt_handle* c,
                                              unsigned short d, const XSQLDA* e) {
  NIMBUS_CALL(isc_dsql_execute, a, b, c, d, e);
}
ISC_STATUS TIBClientLibrary::isc_dsql_execute2(ISC_STATUS* a, isc_tr_handle* b, isc_stmt_handle* c,
                                               unsigned short d, const XSQLDA* e, const XSQLDA* f) {
  NIMBUS_CALL(isc_dsql_execute2, a, b, c, d, e, f);
}
ISC_STATUS TIBClientLibrary::isc_dsql_execute_immediate(ISC_STATUS* a, isc_db_handle* b,
                                                        isc_tr_handle* c, unsigned short d,
                                                        const ISC_SCHAR* e, unsigned short f,
                                                        const XSQLDA* g) {
  NIMBUS_CALL(isc_dsql_execute_immediate, a, b, c, d, e, f, g);
}
ISC_STATUS TIBClientLibrary::isc_dsql_exec_immed2(ISC_STATUS* a, isc_db_handle* b, isc_tr_handle* c,
                                                  unsigned short d, const ISC_SCHAR* e,
                                                  unsigned short f, const XSQLDA* g,
                                                  const XSQLDA* h) {
  NIMBUS_CALL(isc_dsql_exec_immed2, a, b, c, d, e, f, g, h);
}
ISC_STATUS TIBClientLibrary::isc_dsql_fetch(ISC_STATUS* a, isc_stmt_handle* b, unsigned short c,
                                            const XSQLDA* d) {
  NIMBUS_CALL(isc_dsql_fetch, a, b, c, d);
}
ISC_STATUS TIBClientLibrary::isc_dsql_free_statement(ISC_STATUS* a, isc_stmt_handle* b,
                                                     unsigned short c) {
  NIMBUS_CALL(isc_dsql_free_statement, a, b, c);
}
ISC_STATUS TIBClientLibrary::isc_dsql_prepare(ISC_STATUS* a, isc_tr_handle* b, isc_stmt_handle* c,
                                              unsigned short d, const ISC_SCHAR* e,
                                              unsigned short f, XSQLDA* g) {
  NIMBUS_CALL(isc_dsql_prepare, a, b, c, d, e, f, g);
}
ISC_STATUS TIBClientLibrary::isc_dsql_set_cursor_name(ISC_STATUS* a, isc_stmt_handle* b,
                                                      const ISC_SCHAR* c, unsigned short d) {
  NIMBUS_CALL(isc_dsql_set_cursor_name, a, b, c, d);
}
ISC_STATUS TIBClientLibrary::isc_dsql_sql_info(ISC_STATUS* a, isc_stmt_handle* b, short c,
                                               const ISC_SCHAR* d, short e, ISC_SCHAR* f) {
  NIMBUS_CALL(isc_dsql_sql_info, a, b, c, d, e, f);
}
void TIBClientLibrary::isc_encode_date(const void* a, ISC_QUAD* b) {
  NIMBUS_CALL(isc_encode_date, a, b);
}
void TIBClientLibrary::isc_encode_sql_date(const void* a, ISC_DATE* b) {
  NIMBUS_CALL(isc_encode_sql_date, a, b);
}
void TIBClientLibrary::isc_encode_sql_time(const void* a, ISC_TIME* b) {
  NIMBUS_CALL(isc_encode_sql_time, a, b);
}
void TIBClientLibrary::isc_encode_timestamp(const void* a, ISC_TIMESTAMP* b) {
  NIMBUS_CALL(isc_encode_timestamp, a, b);
}
ISC_LONG TIBClientLibrary::isc_event_block(ISC_UCHAR** eventBuffer, ISC_UCHAR** resultBuffer,
                                           std::span<const char* const> names) {
  // The client reads `count` names from its variable arguments; pass all 15
  // slots so fewer names never make it read past what was passed.
  constexpr std::size_t kMaxNames = 15;
  const char* n[kMaxNames] = {};
  std::size_t count = std::min(names.size(), kMaxNames);
  for (std::size_t i = 0; i < count; ++i)
    n[i] = names[i];
  NIMBUS_CALL(isc_event_block, eventBuffer, resultBuffer, static_cast<ISC_USHORT>(count), n[0],
              n[1], n[2], n[3], n[4], n[5], n[6], n[7], n[8], n[9], n[10], n[11], n[12], n[13],
              n[14]);
}
void TIBClientLibrary::isc_event_counts(ISC_ULONG* a, short b, ISC_UCHAR* c, const ISC_UCHAR* d) {
  NIMBUS_CALL(isc_event_counts, a, b, c, d);
}
ISC_LONG TIBClientLibrary::isc_free(ISC_SCHAR* a) {
  NIMBUS_CALL(isc_free, a);
}
ISC_STATUS TIBClientLibrary::isc_get_segment(ISC_STATUS* a, isc_blob_handle* b, unsigned short* c,
                                             unsigned short d, ISC_SCHAR* e) {
  NIMBUS_CALL(isc_get_segment, a, b, c, d, e);
}
ISC_STATUS TIBClientLibrary::isc_put_segment(ISC_STATUS* a, isc_blob_handle* b, unsigned short c,
                                             const ISC_SCHAR* d) {
  NIMBUS_CALL(isc_put_segment, a, b, c, d);
}
ISC_LONG TIBClientLibrary::isc_interprete(ISC_SCHAR* a, ISC_STATUS** b) {
  NIMBUS_CALL(isc_interprete, a, b);
}
ISC_LONG TIBClientLibrary::fb_interpret(ISC_SCHAR* buffer, unsigned int length,
                                        const ISC_STATUS** cursor) {
  if (!entry_.fb_interpret)
    return isc_interprete(buffer, const_cast<ISC_STATUS**>(cursor));
  NIMBUS_CALL(fb_interpret, buffer, length, cursor);
}
ISC_STATUS TIBClientLibrary::isc_open_blob2(ISC_STATUS* a, isc_db_handle* b, isc_tr_handle* c,
                                            isc_blob_handle* d, ISC_QUAD* e, ISC_USHORT f,
                                            const ISC_UCHAR* g) {
  NIMBUS_CALL(isc_open_blob2, a, b, c, d, e, f, g);
}
ISC_STATUS TIBClientLibrary::isc_prepare_transaction2(ISC_STATUS* a, isc_tr_handle* b, ISC_USHORT c,
                                                      const ISC_UCHAR* d) {
  NIMBUS_CALL(isc_prepare_transaction2, a, b, c, d);
}
ISC_STATUS TIBClientLibrary::isc_rollback_retaining(ISC_STATUS* a, isc_tr_handle* b) {
  NIMBUS_CALL(isc_rollback_retaining, a, b);
}
ISC_STATUS TIBClientLibrary::isc_rollback_transaction(ISC_STATUS* a, isc_tr_handle* b) {
  NIMBUS_CALL(isc_rollback_transaction, a, b);
}
ISC_STATUS TIBClientLibrary::isc_start_multiple(ISC_STATUS* a, isc_tr_handle* b, short c, void* d) {
  NIMBUS_CALL(isc_start_multiple, a, b, c, d);
}
ISC_LONG TIBClientLibrary::isc_sqlcode(const ISC_STATUS* a) {
  NIMBUS_CALL(isc_sqlcode, a);
}
void TIBClientLibrary::isc_sql_interprete(short a, ISC_SCHAR* b, short c) {
  NIMBUS_CALL(isc_sql_interprete, a, b, c);
}
ISC_LONG TIBClientLibrary::isc_vax_integer(const ISC_SCHAR* a, short b) {
  NIMBUS_CALL(isc_vax_integer, a, b);
}
ISC_STATUS TIBClientLibrary::isc_prepare_transaction(ISC_STATUS* a, isc_tr_handle* b) {
  NIMBUS_CALL(isc_prepare_transaction, a, b);
}
int TIBClientLibrary::BLOB_put(ISC_SCHAR a, FB_BLOB_STREAM b) {
  NIMBUS_CALL_NOT_BUSY(BLOB_put, a, b);
}
int TIBClientLibrary::BLOB_get(FB_BLOB_STREAM a) {
  NIMBUS_CALL_NOT_BUSY(BLOB_get, a);
}
ISC_STATUS TIBClientLibrary::isc_dsql_batch_execute_immed(ISC_STATUS* a, isc_db_handle* b,
                                                          isc_tr_handle* c, unsigned short d,
                                                          ISC_ULONG e, char** f, ISC_ULONG* g) {
  NIMBUS_CALL(isc_dsql_batch_execute_immed, a, b, c, d, e, f, g);
}
ISC_STATUS TIBClientLibrary::isc_dsql_batch_execute(ISC_STATUS* a, isc_tr_handle* b,
                                                    isc_stmt_handle* c, unsigned short d, XSQLDA* e,
                                                    unsigned short f, XSQLVAR** g, ISC_ULONG* h) {
  NIMBUS_CALL(isc_dsql_batch_execute, a, b, c, d, e, f, g, h);
}
ISC_STATUS TIBClientLibrary::fb_cancel_operation(ISC_STATUS* a, isc_db_handle* b, ISC_USHORT c) {
  // Made to be called while another call is busy, so it leaves the flag alone.
  NIMBUS_CALL_NOT_BUSY(fb_cancel_operation, a, b, c);
}
ISC_STATUS TIBClientLibrary::isc_service_attach(ISC_STATUS* a, unsigned short b, const ISC_SCHAR* c,
                                                isc_svc_handle* d, unsigned short e,
                                                const ISC_SCHAR* f) {
  NIMBUS_CALL(isc_service_attach, a, b, c, d, e, f);
}
ISC_STATUS TIBClientLibrary::isc_service_detach(ISC_STATUS* a, isc_svc_handle* b) {
  NIMBUS_CALL(isc_service_detach, a, b);
}
ISC_STATUS TIBClientLibrary::isc_service_query(ISC_STATUS* a, isc_svc_handle* b, isc_resv_handle* c,
                                               unsigned short d, const ISC_SCHAR* e,
                                               unsigned short f, const ISC_SCHAR* g,
                                               unsigned short h, ISC_SCHAR* i) {
  NIMBUS_CALL(isc_service_query, a, b, c, d, e, f, g, h, i);
}
ISC_STATUS TIBClientLibrary::isc_service_start(ISC_STATUS* a, isc_svc_handle* b, isc_resv_handle* c,
                                               unsigned short d, const ISC_SCHAR* e) {
  NIMBUS_CALL(isc_service_start, a, b, c, d, e);
}
void TIBClientLibrary::isc_get_client_version(ISC_SCHAR* a) {
  NIMBUS_CALL(isc_get_client_version, a);
}
int TIBClientLibrary::isc_get_client_major_version() {
  NIMBUS_CALL(isc_get_client_major_version);
}
int TIBClientLibrary::isc_get_client_minor_version() {
  NIMBUS_CALL(isc_get_client_minor_version);
}
ISC_INT64 TIBClientLibrary::isc_portable_integer(const ISC_UCHAR* a, short b) {
  NIMBUS_CALL(isc_portable_integer, a, b);
}

#undef NIMBUS_CALL
#undef NIMBUS_CALL_NOT_BUSY

} // namespace nimbus
