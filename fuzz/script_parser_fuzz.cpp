// Script text split into statements and directives: whatever the bytes, every
// position reported lies inside the text, in script order, and every index
// points into its map.
#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "script/parser.h"

namespace {

using namespace nimbus;

bool Inside(const std::vector<std::string>& lines, TScriptPos pos, bool emptyColumnAllowed) {
  if (pos.Line < 0 || static_cast<std::size_t>(pos.Line) >= lines.size())
    return false;
  const std::size_t length = lines[pos.Line].size();
  return pos.Col <= length && (emptyColumnAllowed || pos.Col >= 1);
}

bool Before(TScriptPos a, TScriptPos b) {
  return a.Line < b.Line || (a.Line == b.Line && a.Col < b.Col);
}

void CheckMaps(const std::vector<std::string>& lines, const TScriptMap& statements,
               const TDirectivesMap& directives, bool allEnded) {
  std::vector<std::string> text;
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const TStatementDesc& st = statements[i];
    FUZZ_REQUIRE(Inside(lines, st.StartPos, false));
    FUZZ_REQUIRE(i == 0 || Before(statements[i - 1].StartPos, st.StartPos));
    FUZZ_REQUIRE(st.DirectiveIndex >= -1 &&
                 st.DirectiveIndex < static_cast<std::int32_t>(directives.size()));
    FUZZ_REQUIRE(!allEnded || st.HasEnd());
    if (st.HasEnd()) {
      // A statement may end on an empty line (column 0), never before it starts.
      FUZZ_REQUIRE(Inside(lines, st.EndPos, true));
      FUZZ_REQUIRE(!Before(st.EndPos, st.StartPos));
      FUZZ_REQUIRE(i + 1 == statements.size() || Before(st.EndPos, statements[i + 1].StartPos));
      StatementText(lines, st.StartPos, st.EndPos, text);
      FUZZ_REQUIRE(text.size() == static_cast<std::size_t>(st.EndPos.Line - st.StartPos.Line) + 1);
    }
  }
  for (std::size_t i = 0; i < directives.size(); ++i) {
    const TDirectiveDesc& d = directives[i];
    FUZZ_REQUIRE(Inside(lines, d.StartPos, false));
    FUZZ_REQUIRE(d.ParentIndex >= -1 && d.ParentIndex < static_cast<std::int32_t>(i));
    for (const TScriptPos pos : {d.HeaderEnd, d.ElsePos, d.EndifPos})
      FUZZ_REQUIRE(!pos.IsSet() || (Inside(lines, pos, false) && Before(d.StartPos, pos)));
  }
}

bool SameStatement(const TStatementDesc& a, const TStatementDesc& b) {
  return a.StartPos == b.StartPos && a.EndPos == b.EndPos && a.Kind == b.Kind &&
         a.ObjectKind == b.ObjectKind && a.ObjectName == b.ObjectName &&
         a.DirectiveIndex == b.DirectiveIndex && a.InElseBranch == b.InElseBranch;
}

bool SameDirective(const TDirectiveDesc& a, const TDirectiveDesc& b) {
  return a.StartPos == b.StartPos && a.HeaderEnd == b.HeaderEnd && a.ElsePos == b.ElsePos &&
         a.EndifPos == b.EndifPos && a.ParentIndex == b.ParentIndex &&
         a.InParentElse == b.InParentElse;
}

const char* const kTerminators[] = {";", "^", "!!", "GO"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t options = input.Byte();
  const std::vector<std::string> lines = SplitLines(input.Rest());

  // The whole script, as a run parses it.
  TpFIBScriptParser parser;
  TScriptMap statements;
  TDirectivesMap directives;
  std::string terminator = kTerminators[options & 3];
  bool failed = false;
  try {
    parser.Parse(lines, terminator, true, directives, statements);
  } catch (const std::runtime_error&) {
    failed = true; // the maps keep what was found before the error
  }
  FUZZ_REQUIRE(!terminator.empty());
  CheckMaps(lines, statements, directives, !failed);
  const TScriptMap first = statements;
  const TDirectivesMap firstDirectives = directives;
  const std::array<bool, 3> firstFlags = {parser.MakesConnection(), parser.HasDML(),
                                          parser.HasUnrecognized()};

  // A growing chunk, as the streaming of included files parses it.
  const std::size_t chunk = lines.empty() ? 0 : (options >> 2) % lines.size();
  const std::vector<std::string> head(lines.begin(), lines.begin() + chunk);
  terminator = kTerminators[options & 3];
  try {
    parser.Parse(head, terminator, false, directives, statements);
  } catch (const std::runtime_error&) {
  }
  CheckMaps(head, statements, directives, false);

  // Nothing of an earlier parse carries over: the same parser parsing the
  // whole script again finds what it found the first time.
  terminator = kTerminators[options & 3];
  try {
    parser.Parse(lines, terminator, true, directives, statements);
  } catch (const std::runtime_error&) {
  }
  FUZZ_REQUIRE(
      std::equal(first.begin(), first.end(), statements.begin(), statements.end(), SameStatement));
  FUZZ_REQUIRE(std::equal(firstDirectives.begin(), firstDirectives.end(), directives.begin(),
                          directives.end(), SameDirective));
  FUZZ_REQUIRE((firstFlags == std::array<bool, 3>{parser.MakesConnection(), parser.HasDML(),
                                                  parser.HasUnrecognized()}));
  return 0;
}
