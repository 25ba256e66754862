// Parsing speed on a generated script of INSERTs, comments, quoted text over
// several lines and procedure bodies (with and without SET TERM), at 1 MB and
// 10 MB, and the heap a parse takes. Statement text is never copied: a parse
// into empty maps takes only the map's growth steps (peak = the last two
// arrays), and a reparse into maps with room takes no heap at all.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "script/parser.h"

namespace {

// Heap accounting while `counting`: bytes and blocks taken, and the peak of
// bytes live at once (each block carries its size in front of it).
std::atomic<bool> counting{false};
std::atomic<std::size_t> heapBytes{0};
std::atomic<std::size_t> heapBlocks{0};
std::atomic<std::ptrdiff_t> liveBytes{0};
std::atomic<std::ptrdiff_t> peakBytes{0};
constexpr std::size_t kHeader = alignof(std::max_align_t);

void StartCounting() {
  heapBytes = 0;
  heapBlocks = 0;
  liveBytes = 0;
  peakBytes = 0;
  counting = true;
}

} // namespace

void* operator new(std::size_t size) {
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (!block)
    throw std::bad_alloc();
  const bool counted = counting.load(std::memory_order_relaxed);
  std::memcpy(block, &size, sizeof size);
  block[sizeof size] = counted;
  if (counted) {
    heapBytes += size;
    ++heapBlocks;
    const std::ptrdiff_t live = liveBytes += static_cast<std::ptrdiff_t>(size);
    if (live > peakBytes)
      peakBytes = live;
  }
  return block + kHeader;
}

void operator delete(void* p) noexcept {
  if (!p)
    return;
  auto* block = static_cast<unsigned char*>(p) - kHeader;
  std::size_t size;
  std::memcpy(&size, block, sizeof size);
  if (block[sizeof size] && counting.load(std::memory_order_relaxed))
    liveBytes -= static_cast<std::ptrdiff_t>(size);
  std::free(block);
}
void operator delete(void* p, std::size_t) noexcept {
  operator delete(p);
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

// Arg 1 = script size in MB. Arg 2 = 1: every parse into empty maps, as the
// runner's first parse of a script, where the maps' growth steps are all the
// heap a parse takes; 0: into maps that already have room, as a reparse, where
// a parse takes no heap at all, so nothing is copied per statement.
void BM_Parse(benchmark::State& state) {
  const std::vector<std::string> script = GenerateScript(std::size_t(state.range(0)) << 20);
  const bool freshMaps = state.range(1) != 0;
  const std::size_t bytes = ScriptBytes(script);
  TpFIBScriptParser parser;
  TScriptMap statements;
  TDirectivesMap directives;
  std::size_t heap = 0, blocks = 0, peak = 0, count = 0, capacity = 0;
  for (auto _ : state) {
    if (freshMaps) {
      state.PauseTiming(); // releasing the maps is not part of the parse
      TScriptMap().swap(statements);
      TDirectivesMap().swap(directives);
      state.ResumeTiming();
    }
    std::string terminator = ";";
    StartCounting();
    parser.Parse(script, terminator, true, directives, statements);
    counting = false;
    heap = heapBytes;
    blocks = heapBlocks;
    peak = static_cast<std::size_t>(peakBytes.load());
    count = statements.size();
    capacity = statements.capacity();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["script_MB"] = double(bytes) / (1 << 20);
  state.counters["statements"] = double(count);
  state.counters["map_MB"] = double(capacity) * sizeof(nimbus::TStatementDesc) / (1 << 20);
  state.counters["heap_MB"] = double(heap) / (1 << 20);
  state.counters["heap_blocks"] = double(blocks);
  state.counters["peak_MB"] = double(peak) / (1 << 20);
}

BENCHMARK(BM_Parse)
    ->ArgsProduct({{1, 10}, {0, 1}})
    ->ArgNames({"MB", "fresh_maps"})
    ->Unit(benchmark::kMillisecond);

// Arg 0 = KB of blanks in a comment after SET, arg 1 = TERM words after it,
// all in one statement. Every TERM asks whether it is the word after SET: the
// time must grow with the text, not with the comment times the words.
void BM_ParseSetTermWords(benchmark::State& state) {
  std::vector<std::string> script = {"SET /*"};
  for (std::int64_t kb = 0; kb < state.range(0); ++kb)
    script.emplace_back(1024, ' ');
  script.push_back("*/ X");
  for (std::int64_t left = state.range(1); left > 0; left -= 100) {
    std::string line;
    for (std::int64_t i = 0; i < std::min<std::int64_t>(left, 100); ++i)
      line += " TERM";
    script.push_back(std::move(line));
  }
  script.push_back(";");
  const std::size_t bytes = ScriptBytes(script);
  TpFIBScriptParser parser;
  TScriptMap statements;
  TDirectivesMap directives;
  for (auto _ : state) {
    std::string terminator = ";";
    parser.Parse(script, terminator, true, directives, statements);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["script_MB"] = double(bytes) / (1 << 20);
}

BENCHMARK(BM_ParseSetTermWords)
    ->Args({400, 40000})
    ->Args({1200, 40000})
    ->Args({1200, 120000})
    ->ArgNames({"comment_KB", "TERM_words"})
    ->Unit(benchmark::kMillisecond);

} // namespace
