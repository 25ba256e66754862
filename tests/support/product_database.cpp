#include "tests/support/product_database.h"

#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include <gtest/gtest.h>

#include "fib/access_layer.h"
#include "fib/errors.h"
#include "fib/query.h"
#include "fib/transaction.h"
#include "tests/support/test_server.h"

namespace nimbus::test {

namespace {

constexpr const char* kLibrary = "libfbclient.so.2";

const std::vector<std::string> kSchema = {
    "CREATE TABLE CENTRE (CTR_ID INTEGER, CTR_GENERATOR BIGINT)",
    "CREATE SEQUENCE IDGENERIQUE",
    "ALTER SEQUENCE IDGENERIQUE RESTART WITH 100000000000",
    "CREATE TABLE CONTEXT_LOG (CTL_MODE INTEGER, CTL_CENTRE INTEGER, CTL_TEXT VARCHAR(255), "
    "CTL_AT TIMESTAMP)",
    "CREATE PROCEDURE CONTEXT_ACTIVATION (P_MODE INTEGER, P_CENTRE INTEGER, P_TEXT VARCHAR(255))\n"
    "AS\n"
    "BEGIN\n"
    "  INSERT INTO CONTEXT_LOG (CTL_MODE, CTL_CENTRE, CTL_TEXT, CTL_AT)\n"
    "    VALUES (:P_MODE, :P_CENTRE, :P_TEXT, CURRENT_TIMESTAMP);\n"
    "END",
};

void SetLogin(TFIBDatabase& db) {
  db.SetLibraryName(kLibrary);
  db.SetSQLDialect(3);
  db.DBParams().Assign(
      {"user_name=" + ServerUser(), "password=" + ServerPassword(), "lc_ctype=ISO8859_1"});
}

// An attachment with one transaction, for one helper call.
struct Session {
  explicit Session(const std::string& name) {
    tr.SetDefaultDatabase(&db);
    tr.TRParams().Assign({"write", "nowait", "rec_version", "read_committed"});
    db.SetDBName(name);
    SetLogin(db);
    db.SetConnected(true);
    tr.StartTransaction();
  }
  ~Session() {
    try {
      if (tr.Active())
        tr.Rollback();
      db.Close();
    } catch (...) {
    }
  }
  void Exec(const std::string& sql) {
    tr.CheckStatus(
        db.ClientLibrary()->isc_dsql_execute_immediate(
            StatusVector(), db.HandleAddress(), tr.HandleAddress(), 0, sql.c_str(), 3, nullptr),
        true);
  }

  TpFIBDatabase db;
  TpFIBTransaction tr;
};

// Drops the database `dropper` is attached to, ending first the
// attachments a test that failed half-way may have left open.
void DropAttached(TpFIBDatabase& dropper) {
  {
    TpFIBTransaction tr;
    tr.SetDefaultDatabase(&dropper);
    tr.StartTransaction();
    tr.CheckStatus(dropper.ClientLibrary()->isc_dsql_execute_immediate(
                       StatusVector(), dropper.HandleAddress(), tr.HandleAddress(), 0,
                       "DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION",
                       3, nullptr),
                   true);
    tr.Commit();
  }
  dropper.DropDatabase();
}

} // namespace

ProductDatabase::ProductDatabase(bool site) {
  InitAccessLayer();
  static std::atomic<int> serial = 0;
  path_ = ServerDataFolder() + "/nimbus_product_" + std::to_string(getpid()) + "_" +
          std::to_string(++serial) + ".fdb";
  TpFIBDatabase creator;
  creator.SetLibraryName(kLibrary);
  creator.SetSQLDialect(3);
  creator.SetDBName(Name());
  creator.DBParams().Assign({"USER '" + ServerUser() + "'", "PASSWORD '" + ServerPassword() + "'",
                             "PAGE_SIZE 8192", "DEFAULT CHARACTER SET ISO8859_1"});
  creator.CreateDatabase();
  creator.Close();
  // DDL takes effect at commit: each object before the next one uses it.
  for (const std::string& statement : kSchema)
    Exec({statement});
  if (site)
    Exec({"INSERT INTO CENTRE (CTR_ID, CTR_GENERATOR) VALUES (1000, 100000000000)"});
}

ProductDatabase::~ProductDatabase() {
  try {
    TpFIBDatabase dropper;
    dropper.SetDBName(Name());
    SetLogin(dropper);
    dropper.SetConnected(true);
    DropAttached(dropper);
  } catch (const std::exception& error) {
    ADD_FAILURE() << "could not drop " << path_ << ": " << error.what();
  }
}

std::string ProductDatabase::Name() const {
  return ServerAddress() + ":" + path_;
}

void ProductDatabase::Exec(const std::vector<std::string>& statements) {
  Session session(Name());
  for (const std::string& sql : statements)
    session.Exec(sql);
  session.tr.Commit();
}

std::int64_t ProductDatabase::QueryInt(const std::string& sql) {
  return QueryIntAt(Name(), sql);
}

std::int64_t QueryIntAt(const std::string& name, const std::string& sql) {
  Session session(name);
  const TVariant value = session.db.QueryValue(sql, 0, &session.tr);
  if (value.IsNull() || value.IsEmpty())
    return -1;
  if (value.Is<std::int32_t>())
    return value.Get<std::int32_t>();
  if (value.Is<std::int64_t>())
    return value.Get<std::int64_t>();
  throw std::runtime_error("not an integer: " + sql);
}

std::vector<std::string> ProductDatabase::QueryTexts(const std::string& sql) {
  Session session(Name());
  TpFIBQuery query;
  query.SetDatabase(&session.db);
  query.SetTransaction(&session.tr);
  query.SQL().Assign({sql});
  query.ExecQuery();
  std::vector<std::string> rows;
  while (!query.Eof()) {
    const TVariant value = query.Fields(0).AsVariant();
    if (value.Is<std::string>())
      rows.push_back(value.Get<std::string>());
    else if (value.Is<std::int32_t>())
      rows.push_back(std::to_string(value.Get<std::int32_t>()));
    else if (value.Is<std::int64_t>())
      rows.push_back(std::to_string(value.Get<std::int64_t>()));
    else
      rows.push_back(value.IsNull() ? "<null>" : "<?>");
    query.Next();
  }
  query.Close();
  return rows;
}

std::unique_ptr<TpFIBDatabase> ProductDatabase::Attach() {
  auto db = std::make_unique<TpFIBDatabase>();
  db->SetDBName(Name());
  SetLogin(*db);
  db->SetConnected(true);
  return db;
}

void SetForcedWrites(const std::string& name, bool on) {
  TpFIBDatabase db;
  db.SetDBName(name);
  SetLogin(db);
  db.DBParams().Add(on ? "force_write=1" : "force_write=0");
  db.SetConnected(true);
  db.Close();
}

ScratchDatabase::ScratchDatabase() {
  InitAccessLayer();
  static std::atomic<int> serial = 0;
  path_ = ServerDataFolder() + "/nimbus_scratch_" + std::to_string(getpid()) + "_" +
          std::to_string(++serial) + ".fdb";
}

ScratchDatabase::~ScratchDatabase() {
  TpFIBDatabase dropper;
  dropper.SetDBName(Name());
  SetLogin(dropper);
  try {
    dropper.SetConnected(true);
  } catch (...) {
    return; // never created, or dropped by the test
  }
  try {
    DropAttached(dropper);
  } catch (const std::exception& error) {
    ADD_FAILURE() << "could not drop " << path_ << ": " << error.what();
  }
}

std::string ScratchDatabase::Name() const {
  return ServerAddress() + ":" + path_;
}

bool ScratchDatabase::Exists() const {
  TpFIBDatabase probe;
  probe.SetDBName(Name());
  SetLogin(probe);
  try {
    probe.SetConnected(true);
  } catch (const EFIBError&) {
    return false;
  }
  probe.Close();
  return true;
}

std::int64_t ScratchDatabase::QueryInt(const std::string& sql) const {
  return QueryIntAt(Name(), sql);
}

} // namespace nimbus::test
