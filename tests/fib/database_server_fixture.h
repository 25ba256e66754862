#pragma once

// Each test gets its own database on the test server, created through the
// attachment under test and dropped afterwards. Statements run through the
// client library's execute-immediate calls.

#include <unistd.h>

#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "fib/access_layer.h"
#include "fib/database.h"
#include "fib/errors.h"
#include "fib/transaction.h"
#include "tests/support/test_server.h"

namespace nimbus::test {

class ServerDatabaseTest : public ::testing::Test {
protected:
  static constexpr const char* kLibrary = "libfbclient.so.2";

  void SetUp() override {
    InitAccessLayer();
    static std::atomic<int> serial = 0;
    path_ = ServerDataFolder() + "/nimbus_fibdb_" + std::to_string(getpid()) + "_" +
            std::to_string(++serial) + ".fdb";
    form.SetName("Form1");
    db = new TpFIBDatabase(&form);
    db->SetName("dbNimbus");
    db->SetLibraryName(kLibrary);
    db->SetSQLDialect(3);
    db->SetDBName(DatabaseName());
    tr = new TpFIBTransaction(&form);
    tr->SetName("TransNimbus");
    tr->SetDefaultDatabase(db);
    tr->TPBMode = tpbDefault;
    tr->SetTimeoutAction(TACommit);
    tr->TRParams().Assign({"write", "nowait", "rec_version", "read_committed"});
  }

  void TearDown() override {
    // Drop through a fresh attachment whatever state the test left.
    try {
      db->Close();
    } catch (...) {
    }
    if (created_) {
      TpFIBDatabase dropper;
      dropper.SetLibraryName(kLibrary);
      dropper.SetDBName(DatabaseName());
      SetAttachLines(dropper);
      try {
        dropper.SetConnected(true);
      } catch (...) {
        return; // the test dropped it already
      }
      try {
        dropper.DropDatabase();
      } catch (const std::exception& e) {
        ADD_FAILURE() << "could not drop the test database: " << e.what();
      }
    }
  }

  std::string DatabaseName() const { return ServerAddress() + ":" + path_; }

  // The connection procedure's three lines.
  static void SetAttachLines(TFIBDatabase& d, const std::string& password = ServerPassword()) {
    d.DBParams().Assign(
        {"user_name=" + ServerUser(), "password=" + password, "lc_ctype=ISO8859_1"});
  }

  // Creates the database with `dialect` and leaves `db` detached with the
  // attach lines in place.
  void CreateTestDatabase(int dialect = 3) {
    db->SetSQLDialect(dialect);
    db->DBParams().Assign({"USER '" + ServerUser() + "'", "PASSWORD '" + ServerPassword() + "'",
                           "PAGE_SIZE 4096", "DEFAULT CHARACTER SET ISO8859_1"});
    db->CreateDatabase();
    created_ = true;
    db->Close();
    SetAttachLines(*db);
    db->SetSQLDialect(3);
  }

  // Runs `sql` in `t` (started when needed) on t's main database.
  static void Exec(TFIBTransaction& t, const std::string& sql) {
    if (!t.Active())
      t.StartTransaction();
    TFIBDatabase& d = *t.MainDatabase();
    t.CheckStatus(d.ClientLibrary()->isc_dsql_execute_immediate(
                      StatusVector(), d.HandleAddress(), t.HandleAddress(), 0, sql.c_str(),
                      static_cast<unsigned short>(d.SQLDialect()), nullptr),
                  true);
  }

  // A single integer from a singleton SELECT.
  static int32_t QueryInt(TFIBTransaction& t, const std::string& sql) {
    if (!t.Active())
      t.StartTransaction();
    TFIBDatabase& d = *t.MainDatabase();
    alignas(XSQLDA) char buffer[XSQLDA_LENGTH(1)] = {};
    auto* out = reinterpret_cast<XSQLDA*>(buffer);
    out->version = SQLDA_VERSION1;
    out->sqln = out->sqld = 1;
    int32_t value = 0;
    short null = 0;
    out->sqlvar[0].sqltype = SQL_LONG + 1;
    out->sqlvar[0].sqllen = sizeof(value);
    out->sqlvar[0].sqldata = reinterpret_cast<ISC_SCHAR*>(&value);
    out->sqlvar[0].sqlind = &null;
    t.CheckStatus(d.ClientLibrary()->isc_dsql_exec_immed2(
                      StatusVector(), d.HandleAddress(), t.HandleAddress(), 0, sql.c_str(),
                      static_cast<unsigned short>(d.SQLDialect()), nullptr, out),
                  true);
    return value;
  }

  // For tests that create the database themselves.
  void MarkCreated() { created_ = true; }

  TComponent form;
  TpFIBDatabase* db = nullptr;
  TpFIBTransaction* tr = nullptr;

private:
  std::string path_;
  bool created_ = false;
};

} // namespace nimbus::test
