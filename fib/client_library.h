#pragma once

#include "platform/dynamic_library.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include <ibase.h>

namespace nimbus {

// Client functions that ibase.h does not declare (InterBase's batch calls).
using isc_dsql_batch_execute_immed_fn = ISC_STATUS (*)(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                                       unsigned short, ISC_ULONG, char**,
                                                       ISC_ULONG*);
using isc_dsql_batch_execute_fn = ISC_STATUS (*)(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*,
                                                 unsigned short, XSQLDA*, unsigned short, XSQLVAR**,
                                                 ISC_ULONG*);
// Declared deprecated in ibase.h; spelled out to keep the warning away.
using isc_interprete_fn = ISC_LONG (*)(ISC_SCHAR*, ISC_STATUS**);

// Client functions typed from their ibase.h prototypes.
#define NIMBUS_TYPED_CLIENT_FUNCTIONS(X)                                                           \
  X(isc_attach_database)                                                                           \
  X(isc_array_get_slice)                                                                           \
  X(isc_array_lookup_bounds)                                                                       \
  X(isc_array_lookup_desc)                                                                         \
  X(isc_array_set_desc)                                                                            \
  X(isc_array_put_slice)                                                                           \
  X(isc_blob_info)                                                                                 \
  X(isc_cancel_events)                                                                             \
  X(isc_que_events)                                                                                \
  X(isc_wait_for_event)                                                                            \
  X(isc_close_blob)                                                                                \
  X(isc_create_blob2)                                                                              \
  X(isc_commit_retaining)                                                                          \
  X(isc_commit_transaction)                                                                        \
  X(isc_transaction_info)                                                                          \
  X(isc_database_info)                                                                             \
  X(isc_decode_date)                                                                               \
  X(isc_decode_sql_date)                                                                           \
  X(isc_decode_sql_time)                                                                           \
  X(isc_decode_timestamp)                                                                          \
  X(isc_detach_database)                                                                           \
  X(isc_drop_database)                                                                             \
  X(isc_dsql_alloc_statement2)                                                                     \
  X(isc_dsql_describe)                                                                             \
  X(isc_dsql_describe_bind)                                                                        \
  X(isc_dsql_execute)                                                                              \
  X(isc_dsql_execute2)                                                                             \
  X(isc_dsql_execute_immediate)                                                                    \
  X(isc_dsql_exec_immed2)                                                                          \
  X(isc_dsql_fetch)                                                                                \
  X(isc_dsql_free_statement)                                                                       \
  X(isc_dsql_prepare)                                                                              \
  X(isc_dsql_set_cursor_name)                                                                      \
  X(isc_dsql_sql_info)                                                                             \
  X(isc_encode_date)                                                                               \
  X(isc_encode_sql_date)                                                                           \
  X(isc_encode_sql_time)                                                                           \
  X(isc_encode_timestamp)                                                                          \
  X(isc_event_block)                                                                               \
  X(isc_event_counts)                                                                              \
  X(isc_free)                                                                                      \
  X(isc_get_segment)                                                                               \
  X(isc_put_segment)                                                                               \
  X(fb_interpret)                                                                                  \
  X(isc_open_blob2)                                                                                \
  X(isc_prepare_transaction2)                                                                      \
  X(isc_rollback_retaining)                                                                        \
  X(isc_rollback_transaction)                                                                      \
  X(isc_start_multiple)                                                                            \
  X(isc_sqlcode)                                                                                   \
  X(isc_sql_interprete)                                                                            \
  X(isc_vax_integer)                                                                               \
  X(isc_prepare_transaction)                                                                       \
  X(BLOB_put)                                                                                      \
  X(BLOB_get)                                                                                      \
  X(fb_cancel_operation)                                                                           \
  X(fb_shutdown)                                                                                   \
  X(isc_service_attach)                                                                            \
  X(isc_service_detach)                                                                            \
  X(isc_service_query)                                                                             \
  X(isc_service_start)                                                                             \
  X(isc_get_client_version)                                                                        \
  X(isc_get_client_major_version)                                                                  \
  X(isc_get_client_minor_version)                                                                  \
  X(isc_portable_integer)

// One pointer per client function; null when not resolved. Tests may replace
// entries of a loaded library to inject faults (TIBClientLibrary::EntryPoints).
struct TClientEntryPoints {
#define NIMBUS_ENTRY_POINT(name) decltype(&::name) name = nullptr;
  NIMBUS_TYPED_CLIENT_FUNCTIONS(NIMBUS_ENTRY_POINT)
#undef NIMBUS_ENTRY_POINT
  isc_interprete_fn isc_interprete = nullptr;
  isc_dsql_batch_execute_immed_fn isc_dsql_batch_execute_immed = nullptr;
  isc_dsql_batch_execute_fn isc_dsql_batch_execute = nullptr;
};

// One loaded client library. Each client operation takes the client
// function's arguments and returns its result unchanged. An operation whose
// entry point is not resolved throws Exception "Can't find procedure <name>
// in <LibraryName>".
class IIBClientLibrary {
public:
  virtual ~IIBClientLibrary() = default;

  virtual const std::string& GetLibraryName() const = 0;
  virtual std::int32_t GetClientMajorVersion() const = 0;
  virtual std::int32_t GetClientMinorVersion() const = 0;
  // True while a client call made through this object runs.
  virtual bool IsBusy() const = 0;

  virtual ISC_STATUS isc_attach_database(ISC_STATUS*, short, const ISC_SCHAR*, isc_db_handle*,
                                         short, const ISC_SCHAR*) = 0;
  virtual ISC_STATUS isc_array_get_slice(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*,
                                         const ISC_ARRAY_DESC*, void*, ISC_LONG*) = 0;
  virtual ISC_STATUS isc_array_lookup_bounds(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                             const ISC_SCHAR*, const ISC_SCHAR*,
                                             ISC_ARRAY_DESC*) = 0;
  virtual ISC_STATUS isc_array_lookup_desc(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                           const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC*) = 0;
  virtual ISC_STATUS isc_array_set_desc(ISC_STATUS*, const ISC_SCHAR*, const ISC_SCHAR*,
                                        const short*, const short*, const short*,
                                        ISC_ARRAY_DESC*) = 0;
  virtual ISC_STATUS isc_array_put_slice(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*,
                                         const ISC_ARRAY_DESC*, void*, ISC_LONG*) = 0;
  virtual ISC_STATUS isc_blob_info(ISC_STATUS*, isc_blob_handle*, short, const ISC_SCHAR*, short,
                                   ISC_SCHAR*) = 0;
  virtual ISC_STATUS isc_cancel_events(ISC_STATUS*, isc_db_handle*, ISC_LONG*) = 0;
  virtual ISC_STATUS isc_que_events(ISC_STATUS*, isc_db_handle*, ISC_LONG*, short, const ISC_UCHAR*,
                                    ISC_EVENT_CALLBACK, void*) = 0;
  virtual ISC_STATUS isc_wait_for_event(ISC_STATUS*, isc_db_handle*, short, const ISC_UCHAR*,
                                        ISC_UCHAR*) = 0;
  virtual ISC_STATUS isc_close_blob(ISC_STATUS*, isc_blob_handle*) = 0;
  virtual ISC_STATUS isc_create_blob2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, isc_blob_handle*,
                                      ISC_QUAD*, short, const ISC_SCHAR*) = 0;
  virtual ISC_STATUS isc_commit_retaining(ISC_STATUS*, isc_tr_handle*) = 0;
  virtual ISC_STATUS isc_commit_transaction(ISC_STATUS*, isc_tr_handle*) = 0;
  virtual ISC_STATUS isc_transaction_info(ISC_STATUS*, isc_tr_handle*, short, const ISC_SCHAR*,
                                          short, ISC_SCHAR*) = 0;
  virtual ISC_STATUS isc_database_info(ISC_STATUS*, isc_db_handle*, short, const ISC_SCHAR*, short,
                                       ISC_SCHAR*) = 0;
  virtual void isc_decode_date(const ISC_QUAD*, void*) = 0;
  virtual void isc_decode_sql_date(const ISC_DATE*, void*) = 0;
  virtual void isc_decode_sql_time(const ISC_TIME*, void*) = 0;
  virtual void isc_decode_timestamp(const ISC_TIMESTAMP*, void*) = 0;
  virtual ISC_STATUS isc_detach_database(ISC_STATUS*, isc_db_handle*) = 0;
  virtual ISC_STATUS isc_drop_database(ISC_STATUS*, isc_db_handle*) = 0;
  virtual ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS*, isc_db_handle*, isc_stmt_handle*) = 0;
  virtual ISC_STATUS isc_dsql_describe(ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*) = 0;
  virtual ISC_STATUS isc_dsql_describe_bind(ISC_STATUS*, isc_stmt_handle*, unsigned short,
                                            XSQLDA*) = 0;
  virtual ISC_STATUS isc_dsql_execute(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                      const XSQLDA*) = 0;
  virtual ISC_STATUS isc_dsql_execute2(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*,
                                       unsigned short, const XSQLDA*, const XSQLDA*) = 0;
  virtual ISC_STATUS isc_dsql_execute_immediate(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                                unsigned short, const ISC_SCHAR*, unsigned short,
                                                const XSQLDA*) = 0;
  virtual ISC_STATUS isc_dsql_exec_immed2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                          unsigned short, const ISC_SCHAR*, unsigned short,
                                          const XSQLDA*, const XSQLDA*) = 0;
  virtual ISC_STATUS isc_dsql_fetch(ISC_STATUS*, isc_stmt_handle*, unsigned short,
                                    const XSQLDA*) = 0;
  virtual ISC_STATUS isc_dsql_free_statement(ISC_STATUS*, isc_stmt_handle*, unsigned short) = 0;
  virtual ISC_STATUS isc_dsql_prepare(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                      const ISC_SCHAR*, unsigned short, XSQLDA*) = 0;
  virtual ISC_STATUS isc_dsql_set_cursor_name(ISC_STATUS*, isc_stmt_handle*, const ISC_SCHAR*,
                                              unsigned short) = 0;
  virtual ISC_STATUS isc_dsql_sql_info(ISC_STATUS*, isc_stmt_handle*, short, const ISC_SCHAR*,
                                       short, ISC_SCHAR*) = 0;
  virtual void isc_encode_date(const void*, ISC_QUAD*) = 0;
  virtual void isc_encode_sql_date(const void*, ISC_DATE*) = 0;
  virtual void isc_encode_sql_time(const void*, ISC_TIME*) = 0;
  virtual void isc_encode_timestamp(const void*, ISC_TIMESTAMP*) = 0;
  // The client function takes up to 15 event names as variable arguments.
  virtual ISC_LONG isc_event_block(ISC_UCHAR** eventBuffer, ISC_UCHAR** resultBuffer,
                                   std::span<const char* const> names) = 0;
  virtual void isc_event_counts(ISC_ULONG*, short, ISC_UCHAR*, const ISC_UCHAR*) = 0;
  virtual ISC_LONG isc_free(ISC_SCHAR*) = 0;
  virtual ISC_STATUS isc_get_segment(ISC_STATUS*, isc_blob_handle*, unsigned short*, unsigned short,
                                     ISC_SCHAR*) = 0;
  virtual ISC_STATUS isc_put_segment(ISC_STATUS*, isc_blob_handle*, unsigned short,
                                     const ISC_SCHAR*) = 0;
  virtual ISC_LONG isc_interprete(ISC_SCHAR*, ISC_STATUS**) = 0;
  // Falls back to isc_interprete (dropping the length) without fb_interpret.
  virtual ISC_LONG fb_interpret(ISC_SCHAR*, unsigned int, const ISC_STATUS**) = 0;
  virtual ISC_STATUS isc_open_blob2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, isc_blob_handle*,
                                    ISC_QUAD*, ISC_USHORT, const ISC_UCHAR*) = 0;
  virtual ISC_STATUS isc_prepare_transaction2(ISC_STATUS*, isc_tr_handle*, ISC_USHORT,
                                              const ISC_UCHAR*) = 0;
  virtual ISC_STATUS isc_rollback_retaining(ISC_STATUS*, isc_tr_handle*) = 0;
  virtual ISC_STATUS isc_rollback_transaction(ISC_STATUS*, isc_tr_handle*) = 0;
  virtual ISC_STATUS isc_start_multiple(ISC_STATUS*, isc_tr_handle*, short, void*) = 0;
  virtual ISC_LONG isc_sqlcode(const ISC_STATUS*) = 0;
  virtual void isc_sql_interprete(short, ISC_SCHAR*, short) = 0;
  virtual ISC_LONG isc_vax_integer(const ISC_SCHAR*, short) = 0;
  virtual ISC_STATUS isc_prepare_transaction(ISC_STATUS*, isc_tr_handle*) = 0;
  virtual int BLOB_put(ISC_SCHAR, FB_BLOB_STREAM) = 0;
  virtual int BLOB_get(FB_BLOB_STREAM) = 0;
  virtual ISC_STATUS isc_dsql_batch_execute_immed(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                                  unsigned short, ISC_ULONG, char**,
                                                  ISC_ULONG*) = 0;
  virtual ISC_STATUS isc_dsql_batch_execute(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*,
                                            unsigned short, XSQLDA*, unsigned short, XSQLVAR**,
                                            ISC_ULONG*) = 0;
  virtual ISC_STATUS fb_cancel_operation(ISC_STATUS*, isc_db_handle*, ISC_USHORT) = 0;
  virtual ISC_STATUS isc_service_attach(ISC_STATUS*, unsigned short, const ISC_SCHAR*,
                                        isc_svc_handle*, unsigned short, const ISC_SCHAR*) = 0;
  virtual ISC_STATUS isc_service_detach(ISC_STATUS*, isc_svc_handle*) = 0;
  virtual ISC_STATUS isc_service_query(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*,
                                       unsigned short, const ISC_SCHAR*, unsigned short,
                                       const ISC_SCHAR*, unsigned short, ISC_SCHAR*) = 0;
  virtual ISC_STATUS isc_service_start(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*,
                                       unsigned short, const ISC_SCHAR*) = 0;
  virtual void isc_get_client_version(ISC_SCHAR*) = 0;
  virtual int isc_get_client_major_version() = 0;
  virtual int isc_get_client_minor_version() = 0;
  virtual ISC_INT64 isc_portable_integer(const ISC_UCHAR*, short) = 0;

  // Unloads the file; later calls fail with "Can't find procedure" until Load.
  virtual void Unload() = 0;
  // Loads the file and resolves the entry points; throws EOSError when the
  // file cannot be loaded or lacks a required entry point (then not loaded).
  virtual void Load() = 0;
  virtual bool IsLoaded() const = 0;
};

using IIBClientLibraryPtr = std::shared_ptr<IIBClientLibrary>;

// The registry's entry for `name` (exact, case-sensitive match), created on
// first use; loaded on return. Throws what Load throws, registering nothing.
IIBClientLibraryPtr GetClientLibrary(const std::string& name);

// Creates the registry and its lock (part of the access layer's start-up).
void InitClientLibraryRegistry();

// Called last, before the process exits. The client library's worker
// threads run until its exit handlers stop them; the sanitizer runtime
// misrecords their TLS, and its leak checker crashes reading it while they
// live or are ending. So: ends every loaded library's work and threads
// (fb_shutdown joins them) and waits, at most `waitMs`, until the number of
// threads holds still. One client thread, without such TLS, stays parked
// until the exit handlers end it, so a leak check belongs here, not at exit
// (os::CheckLeaksNow). A process that runs no other thread is left alone:
// fb_shutdown starts one. No client call may follow.
void ShutdownClientLibraries(std::uint32_t waitMs) noexcept;

// A client library file loaded with dlopen, never linked.
class TIBClientLibrary final : public IIBClientLibrary {
public:
  // Stores the name and loads it.
  explicit TIBClientLibrary(std::string name);
  ~TIBClientLibrary() override;

  const std::string& GetLibraryName() const override { return name_; }
  std::int32_t GetClientMajorVersion() const override { return major_; }
  std::int32_t GetClientMinorVersion() const override { return minor_; }
  bool IsBusy() const override { return busy_; }

  // The resolved table; writable so tests can inject faults.
  TClientEntryPoints& EntryPoints() { return entry_; }

  ISC_STATUS isc_attach_database(ISC_STATUS*, short, const ISC_SCHAR*, isc_db_handle*, short,
                                 const ISC_SCHAR*) override;
  ISC_STATUS isc_array_get_slice(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*,
                                 const ISC_ARRAY_DESC*, void*, ISC_LONG*) override;
  ISC_STATUS isc_array_lookup_bounds(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*,
                                     const ISC_SCHAR*, ISC_ARRAY_DESC*) override;
  ISC_STATUS isc_array_lookup_desc(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*,
                                   const ISC_SCHAR*, ISC_ARRAY_DESC*) override;
  ISC_STATUS isc_array_set_desc(ISC_STATUS*, const ISC_SCHAR*, const ISC_SCHAR*, const short*,
                                const short*, const short*, ISC_ARRAY_DESC*) override;
  ISC_STATUS isc_array_put_slice(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*,
                                 const ISC_ARRAY_DESC*, void*, ISC_LONG*) override;
  ISC_STATUS isc_blob_info(ISC_STATUS*, isc_blob_handle*, short, const ISC_SCHAR*, short,
                           ISC_SCHAR*) override;
  ISC_STATUS isc_cancel_events(ISC_STATUS*, isc_db_handle*, ISC_LONG*) override;
  ISC_STATUS isc_que_events(ISC_STATUS*, isc_db_handle*, ISC_LONG*, short, const ISC_UCHAR*,
                            ISC_EVENT_CALLBACK, void*) override;
  ISC_STATUS isc_wait_for_event(ISC_STATUS*, isc_db_handle*, short, const ISC_UCHAR*,
                                ISC_UCHAR*) override;
  ISC_STATUS isc_close_blob(ISC_STATUS*, isc_blob_handle*) override;
  ISC_STATUS isc_create_blob2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, isc_blob_handle*,
                              ISC_QUAD*, short, const ISC_SCHAR*) override;
  ISC_STATUS isc_commit_retaining(ISC_STATUS*, isc_tr_handle*) override;
  ISC_STATUS isc_commit_transaction(ISC_STATUS*, isc_tr_handle*) override;
  ISC_STATUS isc_transaction_info(ISC_STATUS*, isc_tr_handle*, short, const ISC_SCHAR*, short,
                                  ISC_SCHAR*) override;
  ISC_STATUS isc_database_info(ISC_STATUS*, isc_db_handle*, short, const ISC_SCHAR*, short,
                               ISC_SCHAR*) override;
  void isc_decode_date(const ISC_QUAD*, void*) override;
  void isc_decode_sql_date(const ISC_DATE*, void*) override;
  void isc_decode_sql_time(const ISC_TIME*, void*) override;
  void isc_decode_timestamp(const ISC_TIMESTAMP*, void*) override;
  ISC_STATUS isc_detach_database(ISC_STATUS*, isc_db_handle*) override;
  ISC_STATUS isc_drop_database(ISC_STATUS*, isc_db_handle*) override;
  ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS*, isc_db_handle*, isc_stmt_handle*) override;
  ISC_STATUS isc_dsql_describe(ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*) override;
  ISC_STATUS isc_dsql_describe_bind(ISC_STATUS*, isc_stmt_handle*, unsigned short,
                                    XSQLDA*) override;
  ISC_STATUS isc_dsql_execute(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                              const XSQLDA*) override;
  ISC_STATUS isc_dsql_execute2(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                               const XSQLDA*, const XSQLDA*) override;
  ISC_STATUS isc_dsql_execute_immediate(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short,
                                        const ISC_SCHAR*, unsigned short, const XSQLDA*) override;
  ISC_STATUS isc_dsql_exec_immed2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short,
                                  const ISC_SCHAR*, unsigned short, const XSQLDA*,
                                  const XSQLDA*) override;
  ISC_STATUS isc_dsql_fetch(ISC_STATUS*, isc_stmt_handle*, unsigned short, const XSQLDA*) override;
  ISC_STATUS isc_dsql_free_statement(ISC_STATUS*, isc_stmt_handle*, unsigned short) override;
  ISC_STATUS isc_dsql_prepare(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                              const ISC_SCHAR*, unsigned short, XSQLDA*) override;
  ISC_STATUS isc_dsql_set_cursor_name(ISC_STATUS*, isc_stmt_handle*, const ISC_SCHAR*,
                                      unsigned short) override;
  ISC_STATUS isc_dsql_sql_info(ISC_STATUS*, isc_stmt_handle*, short, const ISC_SCHAR*, short,
                               ISC_SCHAR*) override;
  void isc_encode_date(const void*, ISC_QUAD*) override;
  void isc_encode_sql_date(const void*, ISC_DATE*) override;
  void isc_encode_sql_time(const void*, ISC_TIME*) override;
  void isc_encode_timestamp(const void*, ISC_TIMESTAMP*) override;
  ISC_LONG isc_event_block(ISC_UCHAR**, ISC_UCHAR**, std::span<const char* const>) override;
  void isc_event_counts(ISC_ULONG*, short, ISC_UCHAR*, const ISC_UCHAR*) override;
  ISC_LONG isc_free(ISC_SCHAR*) override;
  ISC_STATUS isc_get_segment(ISC_STATUS*, isc_blob_handle*, unsigned short*, unsigned short,
                             ISC_SCHAR*) override;
  ISC_STATUS isc_put_segment(ISC_STATUS*, isc_blob_handle*, unsigned short,
                             const ISC_SCHAR*) override;
  ISC_LONG isc_interprete(ISC_SCHAR*, ISC_STATUS**) override;
  ISC_LONG fb_interpret(ISC_SCHAR*, unsigned int, const ISC_STATUS**) override;
  ISC_STATUS isc_open_blob2(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, isc_blob_handle*,
                            ISC_QUAD*, ISC_USHORT, const ISC_UCHAR*) override;
  ISC_STATUS isc_prepare_transaction2(ISC_STATUS*, isc_tr_handle*, ISC_USHORT,
                                      const ISC_UCHAR*) override;
  ISC_STATUS isc_rollback_retaining(ISC_STATUS*, isc_tr_handle*) override;
  ISC_STATUS isc_rollback_transaction(ISC_STATUS*, isc_tr_handle*) override;
  ISC_STATUS isc_start_multiple(ISC_STATUS*, isc_tr_handle*, short, void*) override;
  ISC_LONG isc_sqlcode(const ISC_STATUS*) override;
  void isc_sql_interprete(short, ISC_SCHAR*, short) override;
  ISC_LONG isc_vax_integer(const ISC_SCHAR*, short) override;
  ISC_STATUS isc_prepare_transaction(ISC_STATUS*, isc_tr_handle*) override;
  int BLOB_put(ISC_SCHAR, FB_BLOB_STREAM) override;
  int BLOB_get(FB_BLOB_STREAM) override;
  ISC_STATUS isc_dsql_batch_execute_immed(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                          unsigned short, ISC_ULONG, char**, ISC_ULONG*) override;
  ISC_STATUS isc_dsql_batch_execute(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                    XSQLDA*, unsigned short, XSQLVAR**, ISC_ULONG*) override;
  ISC_STATUS fb_cancel_operation(ISC_STATUS*, isc_db_handle*, ISC_USHORT) override;
  ISC_STATUS isc_service_attach(ISC_STATUS*, unsigned short, const ISC_SCHAR*, isc_svc_handle*,
                                unsigned short, const ISC_SCHAR*) override;
  ISC_STATUS isc_service_detach(ISC_STATUS*, isc_svc_handle*) override;
  ISC_STATUS isc_service_query(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*, unsigned short,
                               const ISC_SCHAR*, unsigned short, const ISC_SCHAR*, unsigned short,
                               ISC_SCHAR*) override;
  ISC_STATUS isc_service_start(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*, unsigned short,
                               const ISC_SCHAR*) override;
  void isc_get_client_version(ISC_SCHAR*) override;
  int isc_get_client_major_version() override;
  int isc_get_client_minor_version() override;
  ISC_INT64 isc_portable_integer(const ISC_UCHAR*, short) override;

  void Unload() override;
  void Load() override;
  bool IsLoaded() const override { return library_.IsOpen(); }
  // fb_shutdown, when the library has it.
  void Shutdown() noexcept;

private:
  class BusyScope;
  void ResolveEntryPoints();
  [[noreturn]] void CantFind(const char* function) const;
  template <class Fn> Fn Entry(Fn fn, const char* function) const {
    if (!fn)
      CantFind(function);
    return fn;
  }

  const std::string name_;
  DynamicLibrary library_;
  std::int32_t major_ = 0;
  std::int32_t minor_ = 0;
  TClientEntryPoints entry_;
  std::atomic<bool> busy_ = false;
};

} // namespace nimbus
