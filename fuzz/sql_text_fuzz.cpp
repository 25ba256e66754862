// Statement text analysis: the kind, the parameter markers and the null
// rewrite agree with one another on any text. The server text keeps the
// input's length and layout, with "?" at every marker; the quick test never
// misses a marker; a rewrite removes exactly the markers it replaced.
#include <string>
#include <vector>

#include "fib/access_layer.h"
#include "fib/errors.h"
#include "fib/sql_parser.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace nimbus;

// Entries inside the text, in order, each a marker, and the server text equal
// to the input outside the markers.
void CheckEntries(std::string_view text, const TPreprocessedSQL& result, SQLKind kind) {
  FUZZ_REQUIRE(kind != KindDDL || result.Entries.empty());
  FUZZ_REQUIRE(result.Entries.empty() || HasParamMarkers(text));
  FUZZ_REQUIRE(result.ServerText.size() == text.size());
  std::size_t after = 0; // end of the previous marker's name
  for (const TParamEntry& e : result.Entries) {
    FUZZ_REQUIRE(e.StartPos > after && e.StartPos < e.EndPos && e.EndPos <= text.size());
    FUZZ_REQUIRE(text[e.StartPos - 1] == ':' || text[e.StartPos - 1] == '?');
    FUZZ_REQUIRE(result.ServerText[e.StartPos - 1] == '?');
    FUZZ_REQUIRE(!e.Name.empty());
    FUZZ_REQUIRE(!e.Standalone() || e.InWhere());
    for (std::size_t k = after; k + 1 < e.StartPos; ++k)
      FUZZ_REQUIRE(result.ServerText[k] == text[k]);
    after = e.EndPos;
  }
  for (std::size_t k = after; k < text.size(); ++k)
    FUZZ_REQUIRE(result.ServerText[k] == text[k]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitAccessLayer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t noValue = input.Byte(); // bit i % 8: entry i has no value
  const std::string text(input.Rest());

  std::size_t first = 0;
  const SQLKind kind = ClassifySQL(text, &first);
  FUZZ_REQUIRE(kind <= KindUpdateOrInsert);
  FUZZ_REQUIRE(first >= 1 && first <= text.size() + 1);
  TSQLParser parser;
  FUZZ_REQUIRE(parser.SetSQLText(text) == kind && parser.FirstTokenPos() == first);

  TPreprocessedSQL full;
  try {
    full = PreprocessParams(text, kind, false, "fuzz");
  } catch (const EFIBClientError&) {
    return 0; // unterminated string or comment, or a marker without a name
  }
  CheckEntries(text, full, kind);
  FUZZ_REQUIRE(PreprocessParams(text, kind, true, "fuzz").Entries == full.Entries);

  const TNullRewrite rewrite = RewriteNullComparisons(
      text, full.Entries, [noValue](std::size_t i) { return (noValue >> (i % 8)) & 1; });
  if (rewrite.Replaced.empty()) {
    FUZZ_REQUIRE(rewrite.Text == text);
    return 0;
  }
  for (std::size_t k = 0; k < rewrite.Replaced.size(); ++k) {
    const std::size_t i = rewrite.Replaced[k];
    FUZZ_REQUIRE(i < full.Entries.size() && (k == 0 || i > rewrite.Replaced[k - 1]));
    FUZZ_REQUIRE(full.Entries[i].InWhere() && full.Entries[i].Standalone());
    FUZZ_REQUIRE((noValue >> (i % 8)) & 1);
  }
  const TPreprocessedSQL again =
      PreprocessParams(rewrite.Text, ClassifySQL(rewrite.Text), false, "fuzz");
  FUZZ_REQUIRE(again.Entries.size() == full.Entries.size() - rewrite.Replaced.size());
  return 0;
}
