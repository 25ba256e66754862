#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "script/script_types.h"

namespace nimbus {

class TpFIBScripter;

// Conditional directives of a runner: the symbols ({$DEFINE}, {$UNDEF}) and
// constants ({$SET}) a script sets, the other directive statements, and the
// decision whether a statement inside {$IF...} ... {$ELSE} ... {$ENDIF} runs.
//
// Conditions are decided lazily, at the first statement that needs them,
// and the result is kept in the runner's directive map, so an existence test
// sees the database as it is when its block is reached. Symbols and
// constants live as long as the runner: they carry over from script to
// script. The built-in symbol IS_FIREBIRD and the constants
// SERVER_MAJOR_VER, SERVER_MINOR_VER, ODS_MAJOR_VER and ODS_MINOR_VER come
// from the attachment (RefreshServerConstants).
//
// Directive errors are std::runtime_error; a non-numeric operand of a
// numeric comparison raises EConvertError; database errors of an existence
// test propagate.
class TScriptDirectives {
public:
  explicit TScriptDirectives(TpFIBScripter& runner) : runner_(runner) {}

  // Upper-case symbol names.
  const std::vector<std::string>& Defines() const { return defines_; }
  // NAME=value entries.
  const std::vector<std::string>& Constants() const { return constants_; }
  bool IsDefined(std::string_view name) const;
  // The value after the first "=" of the entry named `name` (any case), or
  // empty.
  std::string ConstantValue(std::string_view name) const;

  // Whether a statement with this DirectiveIndex and InElseBranch runs.
  bool DirectiveAllows(std::int32_t directiveIndex, bool inElseBranch);
  // 1 true, 2 false, 0 undecided (no connected database for an existence
  // test, an unusable operator), which selects the ELSE branch.
  std::uint8_t EvaluateDirective(const TDirectiveDesc& entry);
  // {$DEFINE}, {$UNDEF}, {$SET}, {$EXECUTE_BLOCK}.
  void RunDirectiveStatement(const std::vector<std::string>& lines, const TStatementDesc& entry);
  // Removes the built-in symbol and constants, then sets them again from the
  // runner's attachment when it is connected.
  void RefreshServerConstants();

private:
  std::uint8_t EvaluateComparison(const std::string& header);
  std::uint8_t EvaluateExistence(const std::string& header, bool exists);
  // Runs the existence query in the own statement: 1 when the rows say the
  // condition holds, 2 when not, 0 without a connected database.
  std::uint8_t RunExistenceQuery(const std::string& query, const std::string* name, bool exists);

  void Define(const std::string& name);
  void Undefine(const std::string& name);
  void SetConstant(const std::string& name, const std::string& value);
  void RemoveConstant(std::string_view name);

  TpFIBScripter& runner_;
  std::vector<std::string> defines_;
  std::vector<std::string> constants_;
};

} // namespace nimbus
