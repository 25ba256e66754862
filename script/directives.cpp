#include "script/directives.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "fib/database.h"
#include "fib/param_lines.h"
#include "fib/query.h"
#include "fib/transaction.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "script/runner.h"
#include "script/script_text.h"

namespace nimbus {

namespace {

constexpr std::uint8_t kUndecided = 0;
constexpr std::uint8_t kTrue = 1;
constexpr std::uint8_t kFalse = 2;

bool IsBlank(unsigned char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool IsComparison(unsigned char c) {
  return c == '<' || c == '=' || c == '>';
}

// 1-based column of the first TAB, LF, CR or blank at or after `col`; 0 when
// there is none.
std::size_t BlankFrom(std::string_view text, std::size_t col) {
  for (std::size_t i = col; i <= text.size(); ++i)
    if (IsBlank(static_cast<unsigned char>(text[i - 1])))
      return i;
  return 0;
}

// A directive's argument: its joined text from 1-based column `col` on,
// trimmed, without the closing "}", trimmed again.
std::string Argument(std::string_view joined, std::size_t col) {
  if (col < 1 || col > joined.size())
    return {};
  std::string text = TrimmedLine(joined.substr(col - 1));
  if (!text.empty())
    text.pop_back();
  return TrimmedLine(text);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AnsiUpperCase(a) == AnsiUpperCase(b);
}

// A decimal number with "." or "," before its fraction, in the C locale
// whatever the process locale. "inf", "nan" and hexadecimal forms are not
// numbers here: from_chars alone would take them.
double ParseDecimal(const std::string& text) {
  std::string number = TrimmedLine(text);
  std::replace(number.begin(), number.end(), ',', '.');
  const auto digits = [&](std::size_t& i) {
    const std::size_t start = i;
    while (i < number.size() && number[i] >= '0' && number[i] <= '9')
      ++i;
    return i - start;
  };
  std::size_t i = 0;
  if (i < number.size() && (number[i] == '+' || number[i] == '-'))
    ++i;
  std::size_t mantissa = digits(i);
  if (i < number.size() && number[i] == '.') {
    ++i;
    mantissa += digits(i);
  }
  bool valid = mantissa > 0;
  if (valid && i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    if (i < number.size() && (number[i] == '+' || number[i] == '-'))
      ++i;
    valid = digits(i) > 0;
  }
  valid = valid && i == number.size();
  double value = 0;
  if (valid) {
    const char* first = number.data() + (number[0] == '+' ? 1 : 0);
    const auto [end, error] = std::from_chars(first, number.data() + number.size(), value);
    valid = error == std::errc() && end == number.data() + number.size();
  }
  if (!valid)
    throw MakeFloatConvertError(text);
  return value;
}

struct ExistenceQuery {
  const char* word;
  const char* query;
  std::size_t nameColumn; // in the text after the directive word
};

constexpr ExistenceQuery kExistenceQueries[] = {
    {"DOMAIN", "select RDB$FIELD_TYPE    FROM RDB$FIELDS    WHERE RDB$FIELD_NAME=:NAME", 7},
    {"EXCEPTION", "SELECT RDB$EXCEPTION_NAME FROM RDB$EXCEPTIONS WHERE  RDB$EXCEPTION_NAME=:NAME",
     10},
    {"GENERATOR", "SELECT RDB$GENERATOR_NAME FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME=:NAME ",
     10},
    {"PROCEDURE", "SELECT RDB$PROCEDURE_NAME FROM  RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME=:NAME",
     10},
    {"ROLE", "SELECT RDB$ROLE_NAME FROM RDB$ROLES WHERE RDB$ROLE_NAME =:NAME ", 5},
    {"TABLE",
     "SELECT REL.RDB$RELATION_NAME FROM RDB$RELATIONS REL WHERE REL.RDB$RELATION_NAME=:NAME  and "
     "REL.RDB$VIEW_BLR is null",
     6},
    {"TRIGGER",
     "SELECT T.RDB$TRIGGER_NAME    from RDB$TRIGGERS T    WHERE T.RDB$TRIGGER_NAME=:NAME", 8},
    {"UDF", "SELECT RDB$FUNCTION_NAME FROM RDB$FUNCTIONS WHERE  RDB$FUNCTION_NAME=:NAME", 4},
    {"VIEW",
     "SELECT REL.RDB$RELATION_NAME FROM RDB$RELATIONS REL WHERE REL.RDB$RELATION_NAME=:NAME  and "
     "NOT REL.RDB$VIEW_BLR is null",
     5},
    // Unknown words are undecided and so select the ELSE branch: an index
    // tested this way would never be created.
    {"INDEX", "SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE RDB$INDEX_NAME=:NAME", 6},
    {"SEQUENCE", "SELECT RDB$GENERATOR_NAME FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME=:NAME ",
     9},
    // RDB$FUNCTIONS lists PSQL functions as well as external ones.
    {"FUNCTION", "SELECT RDB$FUNCTION_NAME FROM RDB$FUNCTIONS WHERE  RDB$FUNCTION_NAME=:NAME", 9},
};

const char* const kServerConstants[] = {"SERVER_MAJOR_VER", "SERVER_MINOR_VER", "ODS_MAJOR_VER",
                                        "ODS_MINOR_VER"};

} // namespace

// --- symbols and constants ------------------------------------------------------

bool TScriptDirectives::IsDefined(std::string_view name) const {
  return std::any_of(defines_.begin(), defines_.end(),
                     [&](const std::string& symbol) { return SameText(symbol, name); });
}

std::string TScriptDirectives::ConstantValue(std::string_view name) const {
  for (const std::string& entry : constants_) {
    const std::size_t equals = entry.find('=');
    if (equals != std::string::npos && SameText(std::string_view(entry).substr(0, equals), name))
      return entry.substr(equals + 1);
  }
  return {};
}

void TScriptDirectives::Define(const std::string& name) {
  if (!IsDefined(name))
    defines_.push_back(name);
}

void TScriptDirectives::Undefine(const std::string& name) {
  std::erase_if(defines_, [&](const std::string& symbol) { return SameText(symbol, name); });
}

void TScriptDirectives::RemoveConstant(std::string_view name) {
  std::erase_if(constants_, [&](const std::string& entry) {
    const std::size_t equals = entry.find('=');
    return equals != std::string::npos && SameText(std::string_view(entry).substr(0, equals), name);
  });
}

void TScriptDirectives::SetConstant(const std::string& name, const std::string& value) {
  const std::string entry = name + "=" + value;
  for (std::string& existing : constants_) {
    const std::size_t equals = existing.find('=');
    if (equals != std::string::npos &&
        SameText(std::string_view(existing).substr(0, equals), name)) {
      existing = entry;
      return;
    }
  }
  constants_.push_back(entry);
}

void TScriptDirectives::RefreshServerConstants() {
  Undefine("IS_FIREBIRD");
  for (const char* name : kServerConstants)
    RemoveConstant(name);
  TpFIBDatabase* db = runner_.database_;
  if (!db || !db->Connected())
    return;
  if (db->IsFirebird())
    Define("IS_FIREBIRD");
  SetConstant("SERVER_MAJOR_VER", std::to_string(db->ServerMajor()));
  SetConstant("SERVER_MINOR_VER", std::to_string(db->ServerMinor()));
  SetConstant("ODS_MAJOR_VER", std::to_string(db->ODSMajorVersion()));
  SetConstant("ODS_MINOR_VER", std::to_string(db->ODSMinorVersion()));
}

// --- directive statements -------------------------------------------------------

void TScriptDirectives::RunDirectiveStatement(const std::vector<std::string>& lines,
                                              const TStatementDesc& entry) {
  const std::string first = lines.empty() ? std::string() : lines.front();
  const std::string joined = JoinLines(lines);
  if (MatchKeyword("{$EXECUTE_BLOCK", first, 1)) {
    const std::string value = AnsiUpperCase(Argument(joined, 16));
    if (MatchKeyword("ON", value, 1))
      runner_.UseExecBlockForDML = true;
    else if (MatchKeyword("OFF", value, 1))
      runner_.UseExecBlockForDML = false;
    else
      throw std::runtime_error(
          "Parse script error.\r\nCan't resolve directive  \"{$EXECUTE_BLOCK\"\r\nLine " +
          std::to_string(entry.StartPos.Line));
  } else if (MatchKeyword("{$DEFINE", first, 1)) {
    Define(AnsiUpperCase(Argument(joined, 10)));
  } else if (MatchKeyword("{$UNDEF", first, 1)) {
    Undefine(AnsiUpperCase(Argument(joined, 8)));
  } else if (MatchKeyword("{$SET", first, 1)) {
    const std::string setting = Argument(joined, 6);
    const std::size_t equals = setting.find('=');
    if (equals == std::string::npos)
      return;
    const std::string value = TrimmedLine(std::string_view(setting).substr(equals + 1));
    const std::string name =
        AnsiUpperCase(TrimmedLine(std::string_view(setting).substr(0, equals)));
    if (!name.empty() && !value.empty())
      SetConstant(name, value);
  } else {
    throw std::runtime_error("Unknown directive :\r\nLine " + std::to_string(entry.StartPos.Line) +
                             "\r\n" + joined);
  }
}

// --- decisions ------------------------------------------------------------------

bool TScriptDirectives::DirectiveAllows(std::int32_t directiveIndex, bool inElseBranch) {
  TDirectivesMap& map = runner_.directive_map_;
  const auto valid = [&](std::int32_t i) {
    return i >= 0 && static_cast<std::size_t>(i) < map.size();
  };
  if (!valid(directiveIndex))
    return true;
  const std::uint8_t known = map[directiveIndex].Evaluation;
  if (known == kTrue)
    return !inElseBranch;
  if (known == kFalse)
    return inElseBranch;

  // The undecided directives from this one outwards, up to a decided one.
  std::vector<std::int32_t> chain;
  std::int32_t index = directiveIndex;
  while (valid(index) && map[index].Evaluation != kTrue && map[index].Evaluation != kFalse) {
    chain.push_back(index);
    // Parents come first in the map; anything else would loop.
    const std::int32_t parent = map[index].ParentIndex;
    index = parent < index ? parent : -1;
  }
  bool result = true;
  if (valid(index))
    result = (map[index].Evaluation == kTrue) != map[chain.back()].InParentElse;
  // Outermost first; a directive inside an excluded branch stays undecided.
  for (std::size_t n = chain.size(); n-- > 0 && result;) {
    const std::uint8_t evaluation = EvaluateDirective(map[chain[n]]);
    map[chain[n]].Evaluation = evaluation;
    const bool inElse = n == 0 ? inElseBranch : map[chain[n - 1]].InParentElse;
    result = (evaluation == kTrue) != inElse;
  }
  return result;
}

std::uint8_t TScriptDirectives::EvaluateDirective(const TDirectiveDesc& entry) {
  std::vector<std::string> lines;
  StatementText(runner_.Source(), entry.StartPos, entry.HeaderEnd, lines);
  const std::string first = lines.empty() ? std::string() : lines.front();
  const std::string header = JoinLines(lines);
  if (MatchKeyword("{$IFDEF", first, 1))
    return IsDefined(AnsiUpperCase(Argument(header, 8))) ? kTrue : kFalse;
  if (MatchKeyword("{$IFNDEF", first, 1))
    return IsDefined(AnsiUpperCase(Argument(header, 9))) ? kFalse : kTrue;
  if (MatchKeyword("{$IF", first, 1))
    return EvaluateComparison(header);
  if (MatchKeyword("{$IFEXISTS", first, 1))
    return EvaluateExistence(header, true);
  if (MatchKeyword("{$IFNEXISTS", first, 1) || MatchKeyword("{$IFNOTEXISTS", first, 1))
    return EvaluateExistence(header, false);
  return kFalse;
}

std::uint8_t TScriptDirectives::EvaluateComparison(const std::string& header) {
  const std::size_t start = BlankFrom(header, 3);
  const std::string expression = start ? Argument(header, start) : std::string();
  if (expression.empty())
    return kUndecided;
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(expression[i]); };
  std::size_t i = 0;
  while (i < expression.size() && !IsBlank(at(i)) && !IsComparison(at(i)))
    ++i;
  const std::string name = AnsiUpperCase(std::string_view(expression).substr(0, i));
  while (i < expression.size() && IsBlank(at(i)))
    ++i;
  if (i >= expression.size() || !IsComparison(at(i)))
    throw std::runtime_error("Parse script error.\r\nCan't resolve condition  \"$IF\"\r\n" +
                             expression);
  const std::size_t operatorStart = i;
  while (i < expression.size() && IsComparison(at(i)))
    ++i;
  const std::string op = expression.substr(operatorStart, i - operatorStart);
  while (i < expression.size() && IsBlank(at(i)))
    ++i;
  const std::string value = expression.substr(i);

  const std::string constant = TrimmedLine(ConstantValue(name));
  if (constant.empty())
    throw std::runtime_error("Parse script error.\r\nConstant don't exists\r\n" + name);
  if (op == "=")
    return constant == value ? kTrue : kFalse;
  if (op == "<>")
    return constant != value ? kTrue : kFalse;
  const double c = ParseDecimal(constant);
  const double v = ParseDecimal(value);
  if (op[0] == '<')
    return c < v ? kTrue : c > v ? kFalse : op == "<=" ? kTrue : kFalse;
  if (op[0] == '>')
    return c > v ? kTrue : c < v ? kFalse : op == ">=" ? kTrue : kFalse;
  return kUndecided; // "==", "=>"...
}

std::uint8_t TScriptDirectives::EvaluateExistence(const std::string& header, bool exists) {
  const std::size_t start = BlankFrom(header, 10);
  if (!start)
    return kUndecided;
  const std::string rest = TrimmedLine(std::string_view(header).substr(start - 1));
  for (const ExistenceQuery& entry : kExistenceQueries) {
    if (!MatchKeyword(entry.word, rest, 1))
      continue;
    std::string text =
        entry.nameColumn <= rest.size() ? TrimmedLine(rest.substr(entry.nameColumn - 1)) : "";
    if (!text.empty())
      text.pop_back(); // the closing "}"
    text = TrimmedLine(text);
    std::string name;
    if (!text.empty() && text.front() == '"')
      name = text.size() >= 2 ? std::string(text.substr(1, text.size() - 2)) : std::string();
    else
      name = AnsiUpperCase(text);
    return RunExistenceQuery(entry.query, &name, exists);
  }
  if (MatchKeyword("SELECT", rest, 1))
    return RunExistenceQuery(rest.substr(0, rest.size() - 1), nullptr, exists);
  return kUndecided;
}

std::uint8_t TScriptDirectives::RunExistenceQuery(const std::string& query, const std::string* name,
                                                  bool exists) {
  // The query must see the DML still waiting in the EXECUTE BLOCK buffer.
  runner_.exec_block_.FlushForQuery();
  TpFIBQuery& statement = *runner_.OwnStatement();
  statement.SQL().Assign({query});
  TpFIBDatabase* db = runner_.Database();
  if (!db || !db->Connected())
    return kUndecided;
  if (name)
    statement.Params().Vars(0).SetAsString(*name);
  if (TpFIBTransaction* t = runner_.EffectiveTransaction(); !t->Active())
    t->StartTransaction();
  statement.Close();
  std::uint8_t result;
  try {
    statement.ExecQuery();
    // No row where one should be (or a row where none should) is false.
    result = statement.Eof() == exists ? kFalse : kTrue;
  } catch (...) {
    try {
      statement.Close();
    } catch (...) {
      // The query's own error is the one to report.
    }
    throw;
  }
  statement.Close();
  return result;
}

} // namespace nimbus
