#pragma once

// A database of its own on the test server for one benchmark program:
// created on first use, attached with the connection procedure's lines,
// dropped at exit.

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "fib/access_layer.h"
#include "fib/client_library.h"
#include "fib/database.h"
#include "fib/errors.h"
#include "fib/transaction.h"

namespace nimbus::bench {

inline std::string Password() {
  const char* password = std::getenv("NIMBUS_TEST_PASSWORD");
  return password && *password ? password : "ZEPHYRINE";
}

class TBenchDatabase {
public:
  // The program's one T, made on first use; null when the server cannot be
  // reached (the benchmark then skips).
  template <typename T> static T* Shared() {
    static std::unique_ptr<T> shared = [] {
      try {
        return std::make_unique<T>();
      } catch (const std::exception&) {
        return std::unique_ptr<T>();
      }
    }();
    return shared.get();
  }

  // `stem` names the database file, made unique by the process id.
  explicit TBenchDatabase(const std::string& stem) {
    InitAccessLayer();
    path = "/var/lib/firebird/3.0/data/" + stem + "_" + std::to_string(getpid()) + ".fdb";
    db.SetLibraryName("libfbclient.so.2");
    db.SetSQLDialect(3);
    db.SetDBName("127.0.0.1:" + path);
    db.DBParams().Assign({"USER 'SYSDBA'", "PASSWORD '" + Password() + "'", "PAGE_SIZE 8192",
                          "DEFAULT CHARACTER SET ISO8859_1"});
    db.CreateDatabase();
    db.Close();
    db.DBParams().Assign({"user_name=SYSDBA", "password=" + Password(), "lc_ctype=ISO8859_1"});
    db.SetConnected(true);
    tr.SetDefaultDatabase(&db);
    tr.TPBMode = tpbDefault;
    tr.TRParams().Assign({"write", "nowait", "rec_version", "read_committed"});
  }

  ~TBenchDatabase() {
    try {
      if (tr.Active())
        tr.Commit();
      db.DropDatabase();
    } catch (...) {
    }
  }

  // Runs `sql` in tr, started when needed.
  void Immediate(const std::string& sql) {
    if (!tr.Active())
      tr.StartTransaction();
    Check(Library().isc_dsql_execute_immediate(StatusVector(), db.HandleAddress(),
                                               tr.HandleAddress(), 0, sql.c_str(), 3, nullptr));
  }

  void Check(ISC_STATUS status) { tr.CheckStatus(status, true); }
  IIBClientLibrary& Library() { return *db.ClientLibrary(); }

  TpFIBDatabase db;
  TpFIBTransaction tr;
  std::string path;
};

} // namespace nimbus::bench
