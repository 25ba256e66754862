// A script of 10,000 single-row INSERTs (about 1.2 MB) applied to the test
// server in one transaction: by RunScript, and by isql-fb -q -i in one
// process, in the same iteration so both meet the same server state. Targets:
// statement by statement the runner takes at most 0.6 of isql-fb's time
// (time_ratio <= 0.6), which plain statements in one round trip make
// possible (immediate:0 measures the prepare-and-execute path beside it);
// with {$EXECUTE_BLOCK ON} it is at least 8 times faster than isql-fb on the
// plain script (time_ratio <= 0.125).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_database.h"
#include "fib/query.h"
#include "script/runner.h"

namespace {

using namespace nimbus;
using Clock = std::chrono::steady_clock;

constexpr int kStatements = 10'000;

// Rows of about 120 bytes, as a data script of the product has them.
std::string InsertScript(const std::string& table) {
  std::string text;
  text.reserve(kStatements * 124);
  char row[200];
  for (int n = 1; n <= kStatements; ++n) {
    std::snprintf(row, sizeof row,
                  "INSERT INTO %s (ID, CODE, NAME, AMOUNT) VALUES (%d, 'C%06d', "
                  "'Adh\xE9rent num\xE9ro %06d du centre', %d.%02d);\r\n",
                  table.c_str(), n, n, n, n % 1000, n % 100);
    text += row;
  }
  return text;
}

class BenchDatabase : public bench::TBenchDatabase {
public:
  static BenchDatabase* Get() { return Shared<BenchDatabase>(); }

  BenchDatabase() : TBenchDatabase("nimbus_runbench") {}

  // A fresh table for one run of the script, committed.
  std::string NewTable() {
    const std::string table = "ROWS_" + std::to_string(++tables);
    const std::string sql = "CREATE TABLE " + table +
                            " (ID INTEGER NOT NULL PRIMARY KEY, CODE CHAR(7), "
                            "NAME VARCHAR(60), AMOUNT NUMERIC(9,2))";
    Immediate(sql);
    tr.Commit();
    return table;
  }

  int tables = 0;
};

// Seconds RunScript takes for `text`, with the commit. `immediate` off
// sends every statement through prepare and execute, as before plain
// statements took one round trip.
double RunnerSeconds(BenchDatabase& bench, const std::string& text, int& errors, bool immediate) {
  TpFIBScripter scripter;
  scripter.OwnStatement()->ImmediateWhenPlain = immediate;
  scripter.SetDatabase(&bench.db);
  scripter.SetTransaction(&bench.tr);
  scripter.OnExecuteError = [&errors](TpFIBScripter*, std::int32_t, std::int32_t,
                                      const std::vector<std::string>&, std::int32_t,
                                      const std::string&, bool& doRollBack, bool& Stop) {
    ++errors;
    doRollBack = Stop = false;
  };
  const Clock::time_point start = Clock::now();
  scripter.Script().SetText(text);
  scripter.RunScript(1);
  bench.tr.Commit();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds isql-fb takes for the same statements in one process; negative
// when it fails.
double IsqlSeconds(BenchDatabase& bench, const std::string& text) {
  const std::string file = "/tmp/nimbus_runbench_" + std::to_string(getpid()) + ".sql";
  std::ofstream(file, std::ios::binary) << text << "COMMIT;\r\n";
  // Credentials through the environment, never on a command line.
  setenv("ISC_USER", "SYSDBA", 1);
  setenv("ISC_PASSWORD", bench::Password().c_str(), 1);
  const std::string command =
      "isql-fb -q -ch ISO8859_1 -bail -i " + file + " 127.0.0.1:" + bench.path + " >/dev/null 2>&1";
  const Clock::time_point start = Clock::now();
  const int status = std::system(command.c_str());
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  unsetenv("ISC_PASSWORD");
  std::remove(file.c_str());
  return status == 0 ? seconds : -1;
}

// Both tools in every iteration; the manual time is the runner's, which
// runs the script after `head`, with plain statements in one round trip or
// not (`immediate`).
void CompareWithIsql(benchmark::State& state, const std::string& head, bool immediate) {
  BenchDatabase* bench = BenchDatabase::Get();
  if (!bench) {
    state.SkipWithError("the test server is not available");
    return;
  }
  double runner = 0;
  double isql = 0;
  int errors = 0;
  bool isqlFirst = false;
  for (auto _ : state) {
    // Alternating the order keeps a server that slows down or warms up
    // from favouring one side.
    double other = isqlFirst ? IsqlSeconds(*bench, InsertScript(bench->NewTable())) : 0;
    const double seconds =
        RunnerSeconds(*bench, head + InsertScript(bench->NewTable()), errors, immediate);
    if (!isqlFirst)
      other = IsqlSeconds(*bench, InsertScript(bench->NewTable()));
    isqlFirst = !isqlFirst;
    state.SetIterationTime(seconds);
    runner += seconds;
    if (other < 0) {
      state.SkipWithError("isql-fb failed");
      return;
    }
    isql += other;
  }
  if (errors > 0)
    state.SkipWithError("statements failed in the runner");
  const double iterations = static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kStatements);
  state.counters["runner_stmt_per_s"] = kStatements * iterations / runner;
  state.counters["isql_stmt_per_s"] = kStatements * iterations / isql;
  state.counters["time_ratio"] = runner / isql;
  state.counters["script_bytes"] = static_cast<double>(InsertScript("ROWS_1").size());
}

// The argument is 1 for the runner as it is, 0 for prepare-and-execute only.
void BM_RunScript_AgainstIsql(benchmark::State& state) {
  CompareWithIsql(state, std::string(), state.range(0) != 0);
}

void BM_RunScript_ExecuteBlock_AgainstIsql(benchmark::State& state) {
  CompareWithIsql(state, "{$EXECUTE_BLOCK ON}\r\n", true);
}

BENCHMARK(BM_RunScript_AgainstIsql)
    ->ArgName("immediate")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(6)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunScript_ExecuteBlock_AgainstIsql)
    ->Iterations(6)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
