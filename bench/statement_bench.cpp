// Statements per second against the test server: a 3-column INSERT with
// parameters and literal INSERT texts, each prepared and executed as the
// script runner does (a new text every time), through TFIBQuery and through
// the same raw client calls; isc_dsql_execute_immediate of the literal text
// is the floor. The statement layer should add at most 10% to the raw calls.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "bench/bench_database.h"
#include "fib/access_layer.h"
#include "fib/client_library.h"
#include "fib/database.h"
#include "fib/errors.h"
#include "fib/query.h"
#include "fib/transaction.h"

namespace {

using namespace nimbus;

constexpr const char* kParamInsert =
    "INSERT INTO T (ID, NAME, AMOUNT) VALUES (:ID, :NAME, :AMOUNT)";
// Rows per commit, the same in every benchmark.
constexpr int kCommitEvery = 1000;

std::string LiteralInsert(int64_t n) {
  return "INSERT INTO T (ID, NAME, AMOUNT) VALUES (" + std::to_string(n) + ", 'name " +
         std::to_string(n) + "', 12.5)";
}

// The table T in the program's own database.
class BenchDatabase : public bench::TBenchDatabase {
public:
  static BenchDatabase* Get() { return Shared<BenchDatabase>(); }

  BenchDatabase() : TBenchDatabase("nimbus_bench") {
    Immediate("CREATE TABLE T (ID INTEGER, NAME VARCHAR(40), AMOUNT NUMERIC(9,2))");
    tr.Commit();
  }

  // Commits every kCommitEvery rows so the transaction stays small.
  void RowDone(int64_t n) {
    if (n % kCommitEvery == 0)
      tr.CommitRetaining();
  }
};

// Runs `row` once per iteration with the row number, committing as often
// in every benchmark.
template <typename F> void Rows(benchmark::State& state, F row) {
  BenchDatabase* bench = BenchDatabase::Get();
  if (!bench) {
    state.SkipWithError("the test server is not available");
    return;
  }
  if (!bench->tr.Active())
    bench->tr.StartTransaction();
  int64_t n = 0;
  for (auto _ : state) {
    row(*bench, ++n);
    bench->RowDone(n);
  }
  bench->tr.Commit();
  state.SetItemsProcessed(state.iterations());
}

void BM_Statement_ParamInsert(benchmark::State& state) {
  TFIBQuery q;
  Rows(state, [&q](BenchDatabase& bench, int64_t n) {
    q.SetTransaction(&bench.tr); // and so its database
    q.SQL().Assign({kParamInsert});
    TFIBXSQLDA& params = q.Params();
    params.Vars(0).SetAsInteger(static_cast<int32_t>(n));
    params.Vars(1).SetAsString("name " + std::to_string(n));
    params.Vars(2).SetAsString("12.5");
    q.ExecQuery();
  });
}

// Allocate, prepare and ask the statement type, as TFIBQuery's prepare does.
isc_stmt_handle RawPrepare(BenchDatabase& bench, const std::string& text) {
  IIBClientLibrary& lib = bench.Library();
  alignas(XSQLDA) char out_buffer[XSQLDA_LENGTH(1)] = {};
  auto* out = reinterpret_cast<XSQLDA*>(out_buffer);
  out->version = SQLDA_VERSION1;
  out->sqln = out->sqld = 1;
  isc_stmt_handle stmt = 0;
  bench.Check(lib.isc_dsql_alloc_statement2(StatusVector(), bench.db.HandleAddress(), &stmt));
  bench.Check(lib.isc_dsql_prepare(StatusVector(), bench.tr.HandleAddress(), &stmt, 0, text.c_str(),
                                   3, out));
  const char item = isc_info_sql_stmt_type;
  char reply[8];
  bench.Check(lib.isc_dsql_sql_info(StatusVector(), &stmt, 1, &item, sizeof(reply), reply));
  return stmt;
}

void RawExecuteAndDrop(BenchDatabase& bench, isc_stmt_handle stmt, const XSQLDA* in) {
  IIBClientLibrary& lib = bench.Library();
  bench.Check(lib.isc_dsql_execute(StatusVector(), bench.tr.HandleAddress(), &stmt, 3, in));
  bench.Check(lib.isc_dsql_free_statement(StatusVector(), &stmt, DSQL_drop));
}

// The calls TFIBQuery makes for the same statement, by hand.
void BM_Raw_ParamInsert(benchmark::State& state) {
  const std::string server_text = "INSERT INTO T (ID, NAME, AMOUNT) VALUES (?  , ?    , ?      )";
  Rows(state, [&](BenchDatabase& bench, int64_t n) {
    alignas(XSQLDA) char in_buffer[XSQLDA_LENGTH(3)] = {};
    alignas(XSQLDA) char described_buffer[XSQLDA_LENGTH(3)] = {};
    auto* in = reinterpret_cast<XSQLDA*>(in_buffer);
    auto* described = reinterpret_cast<XSQLDA*>(described_buffer);
    isc_stmt_handle stmt = RawPrepare(bench, server_text);
    in->version = described->version = SQLDA_VERSION1;
    in->sqln = in->sqld = described->sqln = described->sqld = 3;
    bench.Check(bench.Library().isc_dsql_describe_bind(StatusVector(), &stmt, 3, described));
    int32_t id = static_cast<int32_t>(n);
    std::string name = "name " + std::to_string(n);
    char amount[] = "12.5";
    in->sqlvar[0].sqltype = SQL_LONG;
    in->sqlvar[0].sqllen = 4;
    in->sqlvar[0].sqldata = reinterpret_cast<char*>(&id);
    in->sqlvar[1].sqltype = SQL_TEXT;
    in->sqlvar[1].sqllen = static_cast<short>(name.size());
    in->sqlvar[1].sqldata = name.data();
    in->sqlvar[2].sqltype = SQL_TEXT;
    in->sqlvar[2].sqllen = 4;
    in->sqlvar[2].sqldata = amount;
    RawExecuteAndDrop(bench, stmt, in);
  });
}

void BM_Statement_LiteralInsert(benchmark::State& state) {
  TFIBQuery q;
  Rows(state, [&q](BenchDatabase& bench, int64_t n) {
    q.SetTransaction(&bench.tr);
    q.SQL().Assign({LiteralInsert(n)});
    q.ExecQuery();
  });
}

void BM_Raw_LiteralInsert(benchmark::State& state) {
  Rows(state, [](BenchDatabase& bench, int64_t n) {
    RawExecuteAndDrop(bench, RawPrepare(bench, LiteralInsert(n) + "\r\n"), nullptr);
  });
}

// The floor: one call per statement, nothing prepared or described.
void BM_ExecuteImmediate_LiteralInsert(benchmark::State& state) {
  Rows(state, [](BenchDatabase& bench, int64_t n) { bench.Immediate(LiteralInsert(n)); });
}

BENCHMARK(BM_Statement_ParamInsert)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Raw_ParamInsert)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Statement_LiteralInsert)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Raw_LiteralInsert)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ExecuteImmediate_LiteralInsert)->MinTime(2.0)->UseRealTime();

} // namespace
