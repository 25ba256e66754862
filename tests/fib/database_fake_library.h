#pragma once

// The system's client library with the attachment and transaction calls
// replaced by a scripted server, for tests that need no Firebird server:
// status vectors and messages still come from the real library.

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fib/client_library.h"

namespace nimbus::test {

struct FakeServer {
  // Failure codes (0 = succeed) of the next calls, and what the calls saw.
  static inline ISC_STATUS attach_error = 0, detach_error = 0, start_error = 0, commit_error = 0,
                           rollback_error = 0, retaining_error = 0;
  static inline short dialect = 3;
  static inline std::vector<std::string> calls;
  static inline std::string db_name, dpb, tpb, sql;
  static inline short db_name_length = 0;
  static inline short database_count = 0;
  static inline isc_db_handle next_db = 0;
  static inline isc_tr_handle next_tr = 0;
  // Raw isc_database_info replies by item (the dialect item, when absent,
  // answers `dialect`); an item not listed answers isc_info_end. A request
  // for `info_error_item` fails with `info_error`.
  static inline std::map<int, std::string> info_replies;
  static inline int info_error_item = 0;
  static inline ISC_STATUS info_error = 0;
  // The service manager: what attach saw, and the next query's reply.
  static inline ISC_STATUS service_attach_error = 0, service_detach_error = 0,
                           service_query_error = 0;
  static inline std::string service_name, spb, service_request, service_reply;
  static inline unsigned short service_buffer_length = 0;
  static inline isc_svc_handle next_svc = 0;

  // An integer item as the server sends it: item, length 4, value.
  static std::string IntItem(int item, int32_t value) {
    std::string reply{static_cast<char>(item), 4, 0};
    for (int shift = 0; shift < 32; shift += 8)
      reply += static_cast<char>((static_cast<uint32_t>(value) >> shift) & 0xFF);
    return reply;
  }
  // A text item: item, length, count, then each string with its length byte.
  static std::string TextItem(int item, const std::vector<std::string>& texts) {
    std::string body(1, static_cast<char>(texts.size()));
    for (const std::string& t : texts)
      body += static_cast<char>(t.size()) + t;
    return std::string{static_cast<char>(item), static_cast<char>(body.size() & 0xFF),
                       static_cast<char>(body.size() >> 8)} +
           body;
  }
  // isc_info_user_names: one entry per name, then isc_info_end.
  static std::string UserNames(const std::vector<std::string>& names) {
    std::string reply;
    for (const std::string& n : names)
      reply += std::string{isc_info_user_names, static_cast<char>(n.size() + 1), 0,
                           static_cast<char>(n.size())} +
               n;
    return reply + static_cast<char>(isc_info_end);
  }
  // A Firebird 3.0.11 server, database of ODS 12.0 attached as ISO8859_1.
  static std::map<int, std::string> Firebird3Replies() {
    return {
        {isc_info_attachment_id, IntItem(isc_info_attachment_id, 42)},
        {isc_info_firebird_version,
         TextItem(isc_info_firebird_version,
                  {"LI-V3.0.11.33637 Firebird 3.0", "LI-V3.0.11.33637 Firebird 3.0/tcp (h)/P15",
                   "LI-V3.0.11.33637 Firebird 3.0/tcp (h)/P15"})},
        {isc_info_version, TextItem(isc_info_version, {"LI-V6.3.11.33637 Firebird 3.0"})},
        {isc_info_ods_version, IntItem(isc_info_ods_version, 12)},
        {isc_info_ods_minor_version, IntItem(isc_info_ods_minor_version, 0)},
        {frb_info_att_charset, IntItem(frb_info_att_charset, 21)},
        {isc_info_user_names, UserNames({"SYSDBA"})},
    };
  }

  static void Reset() {
    attach_error = detach_error = start_error = commit_error = rollback_error = retaining_error = 0;
    dialect = 3;
    calls.clear();
    db_name.clear();
    dpb.clear();
    tpb.clear();
    sql.clear();
    db_name_length = database_count = 0;
    info_replies = Firebird3Replies();
    info_error_item = 0;
    info_error = 0;
    service_attach_error = service_detach_error = service_query_error = 0;
    service_name.clear();
    spb.clear();
    service_request.clear();
    service_reply = std::string{isc_info_svc_running, 0, 0, 0, 0, isc_info_end};
    service_buffer_length = 0;
    ResetStatement();
  }

  static ISC_STATUS Result(ISC_STATUS* status, ISC_STATUS code) {
    status[0] = isc_arg_gds;
    status[1] = code;
    status[2] = isc_arg_end;
    return code;
  }

  static ISC_STATUS Attach(ISC_STATUS* status, short length, const ISC_SCHAR* name,
                           isc_db_handle* db, short dpb_length, const ISC_SCHAR* block) {
    calls.push_back("attach");
    db_name_length = length;
    db_name.assign(name, length);
    dpb.assign(block, dpb_length);
    if (!attach_error)
      *db = ++next_db;
    return Result(status, attach_error);
  }
  static ISC_STATUS Detach(ISC_STATUS* status, isc_db_handle* db) {
    calls.push_back("detach");
    if (!detach_error)
      *db = 0;
    return Result(status, detach_error);
  }
  static ISC_STATUS Info(ISC_STATUS* status, isc_db_handle* db, short, const ISC_SCHAR* items,
                         short length, ISC_SCHAR* result) {
    if (!db || *db == 0)
      return Result(status, isc_bad_db_handle);
    const int item = static_cast<unsigned char>(items[0]);
    if (item == info_error_item && info_error)
      return Result(status, info_error);
    std::string reply(1, static_cast<char>(isc_info_end));
    if (auto it = info_replies.find(item); it != info_replies.end())
      reply = it->second;
    else if (item == isc_info_db_sql_dialect)
      reply = std::string{isc_info_db_sql_dialect, 1, 0, static_cast<char>(dialect), isc_info_end};
    std::copy_n(reply.begin(), std::min<std::size_t>(reply.size(), length), result);
    return Result(status, 0);
  }
  static ISC_STATUS ExecuteImmediate(ISC_STATUS* status, isc_db_handle* db, isc_tr_handle*,
                                     unsigned short, const ISC_SCHAR* text, unsigned short,
                                     const XSQLDA*) {
    calls.push_back("execute_immediate");
    sql = text;
    // Attached: a statement; detached: CREATE DATABASE.
    if (*db)
      return Result(status, execute_error);
    if (!attach_error)
      *db = ++next_db;
    return Result(status, attach_error);
  }
  struct Teb {
    isc_db_handle* db;
    int32_t length;
    const char* tpb;
  };
  static ISC_STATUS Start(ISC_STATUS* status, isc_tr_handle* tr, short count, void* tebs) {
    calls.push_back("start");
    database_count = count;
    const Teb* teb = static_cast<const Teb*>(tebs);
    tpb.assign(teb[0].tpb, teb[0].length);
    if (!start_error)
      *tr = ++next_tr;
    return Result(status, start_error);
  }
  static ISC_STATUS Commit(ISC_STATUS* status, isc_tr_handle* tr) {
    calls.push_back("commit");
    if (!commit_error)
      *tr = 0;
    return Result(status, commit_error);
  }
  static ISC_STATUS Rollback(ISC_STATUS* status, isc_tr_handle* tr) {
    calls.push_back("rollback");
    if (!rollback_error)
      *tr = 0;
    return Result(status, rollback_error);
  }
  static ISC_STATUS CommitRetaining(ISC_STATUS* status, isc_tr_handle*) {
    calls.push_back("commit_retaining");
    return Result(status, retaining_error);
  }
  static ISC_STATUS RollbackRetaining(ISC_STATUS* status, isc_tr_handle*) {
    calls.push_back("rollback_retaining");
    return Result(status, retaining_error);
  }
  static ISC_STATUS ServiceAttach(ISC_STATUS* status, unsigned short length, const ISC_SCHAR* name,
                                  isc_svc_handle* svc, unsigned short spb_length,
                                  const ISC_SCHAR* block) {
    calls.push_back("service_attach");
    service_name.assign(name, length);
    spb.assign(block, spb_length);
    if (!service_attach_error)
      *svc = ++next_svc;
    return Result(status, service_attach_error);
  }
  static ISC_STATUS ServiceDetach(ISC_STATUS* status, isc_svc_handle* svc) {
    calls.push_back("service_detach");
    *svc = 0; // the client drops its handle even when the server failed
    return Result(status, service_detach_error);
  }
  static ISC_STATUS ServiceQuery(ISC_STATUS* status, isc_svc_handle* svc, isc_resv_handle*,
                                 unsigned short, const ISC_SCHAR*, unsigned short request_length,
                                 const ISC_SCHAR* request, unsigned short length,
                                 ISC_SCHAR* result) {
    calls.push_back("service_query");
    if (!svc || *svc == 0)
      return Result(status, isc_bad_svc_handle);
    service_request.assign(request, request_length);
    service_buffer_length = length;
    if (service_query_error)
      return Result(status, service_query_error);
    std::copy_n(service_reply.begin(), std::min<std::size_t>(service_reply.size(), length), result);
    return Result(status, 0);
  }

  // --- the scripted statement -------------------------------------------------
  // One described entry: the record the server fills in and, for columns,
  // the raw bytes it writes at each fetch (VARYING: with its length prefix).
  struct Var {
    short type = SQL_LONG + 1;
    short len = 4;
    short scale = 0;
    short subtype = 0;
    std::string alias;
    std::string value;
    bool null = false;
    short alias_length = -1; // when set, replaces alias.size()
  };
  // What the client sent for one input entry.
  struct Sent {
    short type;
    short len;
    std::string bytes;
    bool null;
  };

  static inline std::vector<Var> columns, inputs;
  static inline std::string stmt_info;
  static inline int rows = 1, fetched = 0;
  static inline ISC_STATUS prepare_error = 0, execute_error = 0, fetch_error = 0, free_error = 0;
  static inline std::string prepared_sql;
  static inline unsigned short prepared_length = 0;
  static inline std::vector<Sent> sent;
  static inline std::vector<std::string> dsql;
  static inline isc_stmt_handle next_stmt = 0;

  static std::string TypeInfo(int type) {
    return {isc_info_sql_stmt_type, 4, 0, static_cast<char>(type), 0, 0, 0, isc_info_end};
  }

  // The attachment's server-time query is answered with 2000-01-01 12:00.
  static void ResetStatement() {
    ISC_TIMESTAMP noon{51544, 432'000'000};
    columns = {Var{SQL_TIMESTAMP, 8, 0, 0, "CAST", std::string(reinterpret_cast<char*>(&noon), 8)}};
    inputs.clear();
    stmt_info = TypeInfo(isc_info_sql_stmt_select);
    rows = 1;
    fetched = 0;
    prepare_error = execute_error = fetch_error = free_error = 0;
    prepared_sql.clear();
    prepared_length = 0;
    sent.clear();
    dsql.clear();
  }

  // Bytes the client library moves for an entry of this type.
  static size_t Width(const XSQLVAR& v) {
    switch (v.sqltype & ~1) {
    case SQL_TEXT:
      return v.sqllen;
    case SQL_VARYING:
      return v.sqllen + 2;
    case SQL_SHORT:
      return 2;
    case SQL_LONG:
    case SQL_FLOAT:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
      return 4;
    case SQL_BOOLEAN:
      return 1;
    case SQL_NULL:
      return 0;
    default:
      return 8;
    }
  }

  static void Describe(XSQLDA* area, const std::vector<Var>& list) {
    area->sqld = static_cast<short>(list.size());
    for (int i = 0; i < std::min<int>(area->sqln, area->sqld); ++i) {
      XSQLVAR& r = area->sqlvar[i];
      const Var& v = list[i];
      r.sqltype = v.type;
      r.sqllen = v.len;
      r.sqlscale = v.scale;
      r.sqlsubtype = v.subtype;
      std::memset(r.aliasname, 0, sizeof(r.aliasname));
      std::memcpy(r.aliasname, v.alias.data(), std::min(v.alias.size(), sizeof(r.aliasname)));
      r.aliasname_length =
          v.alias_length >= 0 ? v.alias_length : static_cast<short>(v.alias.size());
    }
  }

  // Writes one row as the client library would: through sqldata and sqlind.
  static void WriteRow(const XSQLDA* area) {
    for (int i = 0; i < std::min<int>(area->sqld, static_cast<int>(columns.size())); ++i) {
      const XSQLVAR& r = area->sqlvar[i];
      const Var& v = columns[i];
      if (r.sqlind)
        *r.sqlind = v.null ? -1 : 0;
      if (!v.null)
        std::memcpy(r.sqldata, v.value.data(), std::min(v.value.size(), Width(r)));
    }
  }

  static ISC_STATUS Alloc(ISC_STATUS* status, isc_db_handle*, isc_stmt_handle* stmt) {
    dsql.push_back("alloc");
    *stmt = ++next_stmt;
    return Result(status, 0);
  }
  static ISC_STATUS Prepare(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*,
                            unsigned short length, const ISC_SCHAR* text, unsigned short,
                            XSQLDA* out) {
    dsql.push_back("prepare");
    prepared_length = length;
    prepared_sql = length ? std::string(text, length) : std::string(text);
    if (prepare_error)
      return Result(status, prepare_error);
    if (out)
      Describe(out, columns);
    return Result(status, 0);
  }
  static ISC_STATUS SqlInfo(ISC_STATUS* status, isc_stmt_handle*, short, const ISC_SCHAR*,
                            short length, ISC_SCHAR* buffer) {
    dsql.push_back("info");
    std::memcpy(buffer, stmt_info.data(), std::min<size_t>(stmt_info.size(), length));
    return Result(status, 0);
  }
  static ISC_STATUS DescribeOut(ISC_STATUS* status, isc_stmt_handle*, unsigned short,
                                XSQLDA* area) {
    dsql.push_back("describe");
    Describe(area, columns);
    return Result(status, 0);
  }
  static ISC_STATUS DescribeIn(ISC_STATUS* status, isc_stmt_handle*, unsigned short, XSQLDA* area) {
    dsql.push_back("describe_bind");
    Describe(area, inputs);
    return Result(status, 0);
  }
  static void RecordInputs(const XSQLDA* in) {
    sent.clear();
    for (int i = 0; in && i < in->sqld; ++i) {
      const XSQLVAR& r = in->sqlvar[i];
      const bool null = (r.sqltype & 1) && r.sqlind && *r.sqlind == -1;
      const size_t width = (r.sqltype & ~1) == SQL_VARYING
                               ? 2 + *reinterpret_cast<const unsigned short*>(r.sqldata)
                               : Width(r);
      sent.push_back({r.sqltype, r.sqllen, null ? "" : std::string(r.sqldata, width), null});
    }
  }
  static ISC_STATUS Execute(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                            const XSQLDA* in) {
    dsql.push_back("execute");
    RecordInputs(in);
    fetched = 0;
    return Result(status, execute_error);
  }
  static ISC_STATUS Execute2(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                             const XSQLDA* in, const XSQLDA* out) {
    dsql.push_back("execute2");
    RecordInputs(in);
    if (execute_error)
      return Result(status, execute_error);
    if (out)
      WriteRow(out);
    return Result(status, 0);
  }
  static ISC_STATUS Fetch(ISC_STATUS* status, isc_stmt_handle*, unsigned short, const XSQLDA* out) {
    dsql.push_back("fetch");
    if (fetch_error)
      return Result(status, fetch_error);
    if (fetched >= rows) {
      Result(status, 0);
      return 100;
    }
    ++fetched;
    WriteRow(out);
    return Result(status, 0);
  }
  static ISC_STATUS Free(ISC_STATUS* status, isc_stmt_handle* stmt, unsigned short option) {
    dsql.push_back(option == DSQL_close ? "close" : "drop");
    if (free_error)
      return Result(status, free_error);
    if (option == DSQL_drop)
      *stmt = 0;
    return Result(status, 0);
  }
  static ISC_STATUS CursorName(ISC_STATUS* status, isc_stmt_handle*, const ISC_SCHAR*,
                               unsigned short) {
    dsql.push_back("cursor_name");
    return Result(status, 0);
  }
};

// Installs the scripted server into the system library for one test.
class FakeLibraryTest : public ::testing::Test {
protected:
  static constexpr const char* kLibrary = "libfbclient.so.2";

  void SetUp() override {
    library_ = GetClientLibrary(kLibrary);
    auto* loaded = dynamic_cast<TIBClientLibrary*>(library_.get());
    ASSERT_NE(loaded, nullptr);
    saved_ = loaded->EntryPoints();
    TClientEntryPoints& entry = loaded->EntryPoints();
    entry.isc_attach_database = &FakeServer::Attach;
    entry.isc_detach_database = &FakeServer::Detach;
    entry.isc_database_info = &FakeServer::Info;
    entry.isc_start_multiple = &FakeServer::Start;
    entry.isc_commit_transaction = &FakeServer::Commit;
    entry.isc_rollback_transaction = &FakeServer::Rollback;
    entry.isc_commit_retaining = &FakeServer::CommitRetaining;
    entry.isc_rollback_retaining = &FakeServer::RollbackRetaining;
    entry.isc_dsql_execute_immediate = &FakeServer::ExecuteImmediate;
    entry.isc_service_attach = &FakeServer::ServiceAttach;
    entry.isc_service_detach = &FakeServer::ServiceDetach;
    entry.isc_service_query = &FakeServer::ServiceQuery;
    entry.isc_dsql_alloc_statement2 = &FakeServer::Alloc;
    entry.isc_dsql_prepare = &FakeServer::Prepare;
    entry.isc_dsql_sql_info = &FakeServer::SqlInfo;
    entry.isc_dsql_describe = &FakeServer::DescribeOut;
    entry.isc_dsql_describe_bind = &FakeServer::DescribeIn;
    entry.isc_dsql_execute = &FakeServer::Execute;
    entry.isc_dsql_execute2 = &FakeServer::Execute2;
    entry.isc_dsql_fetch = &FakeServer::Fetch;
    entry.isc_dsql_free_statement = &FakeServer::Free;
    entry.isc_dsql_set_cursor_name = &FakeServer::CursorName;
    FakeServer::Reset();
  }
  void TearDown() override {
    if (auto* loaded = dynamic_cast<TIBClientLibrary*>(library_.get()))
      loaded->EntryPoints() = saved_;
  }

private:
  IIBClientLibraryPtr library_;
  TClientEntryPoints saved_;
};

} // namespace nimbus::test

#include "fib/database.h"
#include "fib/errors.h"
#include "fib/transaction.h"
#include "tests/fib/expect_client_error.h"

namespace nimbus::test {

// The main window's pair: Form1.dbNimbus and Form1.TransNimbus over the
// scripted server, freed with the form (the transaction first).
struct FakeAttachment {
  TComponent form;
  TpFIBDatabase* db;
  TpFIBTransaction* tr;

  FakeAttachment() {
    form.SetName("Form1");
    db = new TpFIBDatabase(&form);
    db->SetName("dbNimbus");
    db->SetDBName("127.0.0.1:nimbus_test");
    db->SetLibraryName(FakeLibraryTestName());
    db->DBParams().Assign({"user_name=SYSDBA", "password=secret", "lc_ctype=ISO8859_1"});
    db->SetSQLDialect(3);
    tr = new TpFIBTransaction(&form);
    tr->SetName("TransNimbus");
    tr->SetDefaultDatabase(db);
    tr->SetTimeoutAction(TACommit);
    tr->TPBMode = tpbDefault;
    tr->TRParams().Assign({"write", "nowait", "rec_version", "read_committed"});
  }
  static const char* FakeLibraryTestName() { return "libfbclient.so.2"; }
};

// The pair over the scripted server, fresh for each test.
class FakeAttachmentTest : public FakeLibraryTest {
protected:
  void SetUp() override {
    FakeLibraryTest::SetUp();
    pair_ = std::make_unique<FakeAttachment>();
    db = pair_->db;
    tr = pair_->tr;
  }
  void TearDown() override {
    pair_.reset();
    FakeLibraryTest::TearDown();
  }

  std::unique_ptr<FakeAttachment> pair_;
  TpFIBDatabase* db = nullptr;
  TpFIBTransaction* tr = nullptr;
};

} // namespace nimbus::test
