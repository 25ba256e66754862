// A stand-in client library for loader tests. It exports every entry point
// the loader requires; the build variants drop or add single ones:
//   FAKE_NO_ROLLBACK_RETAINING  an old (5.0) client without the 6.0 group
//   FAKE_CLIENT_VERSION         exports isc_get_client_version (reports 4.2)
//   FAKE_NO_DSQL_PREPARE        lacks a required entry point
// Stubs that nothing calls are declared without parameters: the loader only
// looks them up by name.

#define STUB(name)                                                                                 \
  extern "C" __attribute__((visibility("default"))) void name() {}

STUB(BLOB_get)
STUB(BLOB_put)
STUB(isc_interprete)
STUB(fb_interpret)
STUB(isc_vax_integer)
STUB(isc_blob_info)
STUB(isc_open_blob2)
STUB(isc_close_blob)
STUB(isc_get_segment)
STUB(isc_put_segment)
STUB(isc_create_blob2)
STUB(isc_decode_date)
STUB(isc_encode_date)
STUB(isc_dsql_free_statement)
STUB(isc_dsql_execute2)
STUB(isc_dsql_execute)
STUB(isc_dsql_set_cursor_name)
STUB(isc_dsql_fetch)
STUB(isc_dsql_sql_info)
STUB(isc_dsql_alloc_statement2)
#ifndef FAKE_NO_DSQL_PREPARE
STUB(isc_dsql_prepare)
#endif
STUB(isc_dsql_describe_bind)
STUB(isc_dsql_describe)
STUB(isc_dsql_execute_immediate)
STUB(isc_dsql_exec_immed2)
STUB(isc_drop_database)
STUB(isc_detach_database)
STUB(isc_attach_database)
STUB(isc_database_info)
STUB(isc_start_multiple)
STUB(isc_commit_transaction)
STUB(isc_commit_retaining)
STUB(isc_rollback_transaction)
STUB(isc_cancel_events)
STUB(isc_que_events)
STUB(isc_event_counts)
STUB(isc_event_block)
STUB(isc_free)
STUB(isc_array_lookup_bounds)
STUB(isc_array_get_slice)
STUB(isc_array_put_slice)
STUB(isc_wait_for_event)
STUB(isc_transaction_info)
STUB(isc_prepare_transaction)
STUB(isc_prepare_transaction2)

extern "C" __attribute__((visibility("default"))) int isc_sqlcode(const void*) {
  return -999;
}
extern "C" __attribute__((visibility("default"))) void isc_sql_interprete(short, char* buffer,
                                                                          short) {
  buffer[0] = '\0';
}

#ifndef FAKE_NO_ROLLBACK_RETAINING
STUB(isc_rollback_retaining)
STUB(isc_service_attach)
STUB(isc_service_detach)
STUB(isc_service_query)
STUB(isc_service_start)
STUB(isc_decode_sql_date)
STUB(isc_decode_sql_time)
STUB(isc_decode_timestamp)
STUB(isc_encode_sql_date)
STUB(isc_encode_sql_time)
STUB(isc_encode_timestamp)
STUB(isc_portable_integer)
#endif

#ifdef FAKE_CLIENT_VERSION
extern "C" __attribute__((visibility("default"))) void isc_get_client_version(char* buffer) {
  buffer[0] = '\0';
}
extern "C" __attribute__((visibility("default"))) int isc_get_client_major_version() {
  return 4;
}
extern "C" __attribute__((visibility("default"))) int isc_get_client_minor_version() {
  return 2;
}
#endif
