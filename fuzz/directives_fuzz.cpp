// Directive text rules: whatever the script, its directive statements and
// conditions (without a database) end in a result or in one of the directive
// errors, and leave the symbol and constant lists well formed: symbols upper
// case and unique, constants NAME=value with both parts present and each
// name once. A decided condition stays decided.
#include <stdexcept>
#include <string>
#include <vector>

#include "fib/access_layer.h"
#include "fib/errors.h"
#include "fuzz/fuzz_support.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "script/runner.h"
#include "script/script_text.h"

namespace {

using namespace nimbus;

void CheckLists(const TpFIBScripter& runner) {
  const std::vector<std::string>& defines = runner.Defines();
  for (std::size_t i = 0; i < defines.size(); ++i) {
    FUZZ_REQUIRE(AnsiUpperCase(defines[i]) == defines[i]);
    for (std::size_t j = 0; j < i; ++j)
      FUZZ_REQUIRE(defines[j] != defines[i]);
  }
  const std::vector<std::string>& constants = runner.Constants();
  std::vector<std::string> names;
  for (const std::string& entry : constants) {
    const std::size_t equals = entry.find('=');
    FUZZ_REQUIRE(equals != std::string::npos && equals > 0 && equals + 1 < entry.size());
    const std::string name = AnsiUpperCase(entry.substr(0, equals));
    for (const std::string& seen : names)
      FUZZ_REQUIRE(seen != name);
    names.push_back(name);
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitAccessLayer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t options = input.Byte();
  const std::vector<std::string> lines = SplitLines(input.Rest());

  TpFIBScripter runner;
  runner.SetScript(lines);
  try {
    runner.ParseScript((options & 1) ? "^" : ";");
  } catch (const std::exception&) {
    return 0; // the parser's own errors have a harness of their own
  }
  std::vector<std::string> text;
  const TScriptMap& statements = runner.StatementMap();
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const TStatementDesc entry = statements[i];
    try {
      if (entry.Kind == skDirective) {
        if (!entry.HasEnd())
          continue;
        StatementText(lines, entry.StartPos, entry.EndPos, text);
        runner.RunDirectiveStatement(text, entry);
      } else if (entry.DirectiveIndex >= 0) {
        const bool allowed = runner.DirectiveAllows(entry.DirectiveIndex, entry.InElseBranch);
        const TDirectiveDesc& d = runner.DirectiveMap()[entry.DirectiveIndex];
        FUZZ_REQUIRE(d.Evaluation <= 2);
        // Decided once, the same answer for every later statement.
        if (d.Evaluation == 1 || d.Evaluation == 2)
          FUZZ_REQUIRE(runner.DirectiveAllows(entry.DirectiveIndex, entry.InElseBranch) == allowed);
      }
    } catch (const EConvertError&) {
      // A numeric comparison on a value that is no number.
    } catch (const std::runtime_error&) {
      // The directive errors: they end a run.
    } catch (const EFIBError&) {
      // An existence test's query refused by the statement layer (here also
      // for want of a database): the run reports it like any failed query.
    }
    CheckLists(runner);
  }
  for (const TDirectiveDesc& d : runner.DirectiveMap())
    FUZZ_REQUIRE(d.Evaluation <= 2);
  return 0;
}
