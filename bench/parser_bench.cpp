// Parsing speed on a generated script of INSERTs, comments, quoted text over
// several lines and procedure bodies (with and without SET TERM), at 1 MB and
// 10 MB, and the heap the parse takes beyond the maps: statement text is never
// copied, so heap bytes stay near the map's own size whatever the script holds.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "script/parser.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> heapBytes{0};
std::atomic<std::size_t> heapBlocks{0};

} // namespace

void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) {
    heapBytes.fetch_add(size, std::memory_order_relaxed);
    heapBlocks.fetch_add(1, std::memory_order_relaxed);
  }
  if (void* p = std::malloc(size ? size : 1))
    return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

using nimbus::TDirectivesMap;
using nimbus::TpFIBScriptParser;
using nimbus::TScriptMap;

std::vector<std::string> GenerateScript(std::size_t bytes) {
  std::vector<std::string> lines;
  std::size_t size = 0;
  const auto add = [&](std::string line) {
    size += line.size() + 2;
    lines.push_back(std::move(line));
  };
  for (int n = 0; size < bytes; ++n) {
    const std::string id = std::to_string(n);
    add("-- client " + id + "; imported from the old base;");
    add("INSERT INTO CLIENT (ID, NOM, VILLE) VALUES (" + id + ", 'Dupont; " + id +
        "', 'Saint-\xc9tienne');");
    add("/* note; */ UPDATE CLIENT SET NOM = 'x' WHERE ID = " + id + ";");
    add("INSERT INTO NOTE (ID, TEXTE) VALUES (" + id + ", 'first line;");
    add("second line ^ of the note');");
    if (n % 40 == 0) {
      add("SET TERM ^ ;");
      add("CREATE OR ALTER PROCEDURE P_" + id + " (A INTEGER) RETURNS (B INTEGER)");
      add("AS");
      add("DECLARE VARIABLE I INTEGER;");
      add("BEGIN");
      add("  I = 0; /* ^ inside a comment */");
      add("  WHILE (I < A) DO");
      add("  BEGIN");
      add("    B = CASE WHEN I > 2 THEN I ELSE 0 END;");
      add("    I = I + 1;");
      add("  END");
      add("  SUSPEND;");
      add("END^");
      add("SET TERM ; ^");
    }
    if (n % 40 == 20) {
      add("EXECUTE BLOCK AS");
      add("DECLARE VARIABLE X INTEGER;");
      add("BEGIN");
      add("  X = " + id + ";");
      add("  UPDATE CLIENT SET VILLE = 'Lyon; Rh\xf4ne' WHERE ID = :X;");
      add("END;");
      add("COMMIT;");
    }
  }
  return lines;
}

std::size_t ScriptBytes(const std::vector<std::string>& script) {
  std::size_t bytes = 0;
  for (const std::string& line : script)
    bytes += line.size() + 2;
  return bytes;
}

// A parse into empty maps, as the runner's first parse of a script: the map
// grows step by step and that growth is all the heap it takes.
void BM_ParseFreshMaps(benchmark::State& state) {
  const std::vector<std::string> script = GenerateScript(std::size_t(state.range(0)) << 20);
  const std::size_t bytes = ScriptBytes(script);
  TpFIBScriptParser parser;
  std::size_t heap = 0, blocks = 0, count = 0, capacity = 0;
  for (auto _ : state) {
    TScriptMap statements;
    TDirectivesMap directives;
    std::string terminator = ";";
    heapBytes = 0;
    heapBlocks = 0;
    counting = true;
    parser.Parse(script, terminator, true, directives, statements);
    counting = false;
    heap = heapBytes;
    blocks = heapBlocks;
    count = statements.size();
    capacity = statements.capacity();
    state.PauseTiming(); // the maps' release is not part of the parse
    statements = {};
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  const double mapBytes = double(capacity) * sizeof(nimbus::TStatementDesc);
  state.counters["script_MB"] = double(bytes) / (1 << 20);
  state.counters["statements"] = double(count);
  state.counters["map_MB"] = mapBytes / (1 << 20);
  state.counters["heap_MB"] = double(heap) / (1 << 20);
  state.counters["heap_blocks"] = double(blocks);
}

// A parse into maps that already have room, as a reparse of the same script:
// no heap at all, so nothing is copied per statement.
void BM_Parse(benchmark::State& state) {
  const std::vector<std::string> script = GenerateScript(std::size_t(state.range(0)) << 20);
  const std::size_t bytes = ScriptBytes(script);
  TpFIBScriptParser parser;
  TScriptMap statements;
  TDirectivesMap directives;
  std::size_t heap = 0, blocks = 0;
  for (auto _ : state) {
    std::string terminator = ";";
    heapBytes = 0;
    heapBlocks = 0;
    counting = true;
    parser.Parse(script, terminator, true, directives, statements);
    counting = false;
    heap = heapBytes;
    blocks = heapBlocks;
    benchmark::DoNotOptimize(statements.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["statements"] = double(statements.size());
  state.counters["heap_bytes"] = double(heap);
  state.counters["heap_blocks"] = double(blocks);
}

BENCHMARK(BM_Parse)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseFreshMaps)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace
