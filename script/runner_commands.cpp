// The script commands the runner carries out itself: SET, REINSERT and
// DESCRIBE (COMMIT and ROLLBACK are in runner.cpp).
#include <charconv>
#include <stdexcept>

#include "fib/database.h"
#include "fib/errors.h"
#include "fib/query.h"
#include "fib/transaction.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "script/runner.h"
#include "script/script_text.h"

namespace nimbus {

namespace {

// A decimal integer with an optional sign, as SET SQL DIALECT takes it.
std::int32_t ParseInteger(const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+')
    ++first;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last)
    throw MakeIntegerConvertError(text);
  return value;
}

struct DescribeForm {
  TObjectKind kind;
  // The system-table update of servers before Firebird 3.
  const char* update;
  // The object word of the COMMENT ON statement that replaces it on
  // Firebird 3 and later, where system tables are read-only.
  const char* commentOn;
};

constexpr DescribeForm kDescribeForms[] = {
    {okDomain, "UPDATE RDB$FIELDS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$FIELD_NAME = :FIELD)",
     "DOMAIN"},
    {okTable,
     "UPDATE RDB$RELATIONS SET RDB$DESCRIPTION = :DESCR WHERE RDB$RELATION_NAME = :TABNAME",
     "TABLE"},
    {okView, "UPDATE RDB$RELATIONS SET RDB$DESCRIPTION = :DESCR WHERE RDB$RELATION_NAME = :TABNAME",
     "VIEW"},
    {okProcedure,
     "UPDATE RDB$PROCEDURES SET RDB$DESCRIPTION = :DESCR WHERE (RDB$PROCEDURE_NAME = :PROCNAME)",
     "PROCEDURE"},
    {okTrigger,
     "UPDATE RDB$TRIGGERS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$TRIGGER_NAME = :TR_NAME)",
     "TRIGGER"},
    // Firebird 3's COMMENT ON FUNCTION finds external functions too.
    {okFunction,
     "update RDB$FUNCTIONS set RDB$DESCRIPTION = ?DESC where (RDB$FUNCTION_NAME = ?FUNC_NAME)",
     "FUNCTION"},
    {okException,
     "UPDATE RDB$EXCEPTIONS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$EXCEPTION_NAME = :EXC_NAME)",
     "EXCEPTION"},
    {okGenerator,
     "update RDB$GENERATORS SET RDB$DESCRIPTION = ?DESC where (RDB$GENERATOR_NAME = ?GEN_NAME)",
     "GENERATOR"},
    {okColumn,
     "UPDATE RDB$RELATION_FIELDS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$RELATION_NAME = "
     ":TABNAME) and (RDB$FIELD_NAME = :FIELD)",
     "COLUMN"},
    {okParameter,
     "UPDATE RDB$PROCEDURE_PARAMETERS SET RDB$DESCRIPTION = :DESCR WHERE (RDB$PROCEDURE_NAME = "
     ":PROCNAME) and(RDB$PARAMETER_NAME = :FIELD)",
     "PARAMETER"},
};

const DescribeForm* FindDescribeForm(TObjectKind kind) {
  for (const DescribeForm& form : kDescribeForms)
    if (form.kind == kind)
      return &form;
  return nullptr;
}

// A description written as a single-quoted literal loses its quotes and its
// doubled quotes are folded; any other text, or a literal that yields
// nothing, is taken as it stands.
std::string UnquoteDescription(const std::string& joined) {
  if (joined.empty() || joined[0] != '\'')
    return joined;
  std::string text;
  for (std::size_t i = 1; i < joined.size(); ++i) {
    if (joined[i] == '\'') {
      if (i + 1 < joined.size() && joined[i + 1] == '\'') {
        text += '\'';
        ++i;
        continue;
      }
      break;
    }
    text += joined[i];
  }
  return text.empty() ? joined : text;
}

// `text` between two `quote` characters, inner ones doubled.
std::string Quoted(std::string_view text, char quote) {
  std::string quoted(1, quote);
  for (const char c : text) {
    if (c == quote)
      quoted += quote;
    quoted += c;
  }
  return quoted + quote;
}

// A name as the server stores it, quoted for a statement: unquoted names are
// upper-cased first.
std::string QuotedIdentifier(const std::string& name, bool quoted) {
  return Quoted(quoted ? name : AnsiUpperCase(name), '"');
}

} // namespace

void TpFIBScripter::RunSet(const TStatementDesc& entry) {
  const std::vector<std::string>& source = *source_;
  const TScriptPos end = entry.EndPos;
  const TScriptPos word = NextToken(source, entry.StartPos, end);
  if (!word.Col)
    return;
  const std::string text = TokenText(source, word, true);
  const TScriptPos argument = NextToken(source, word, end);
  const auto argumentText = [&] {
    return argument.Col ? TokenText(source, argument, true) : std::string();
  };
  if (MatchKeyword("AUTODDL", text, 1)) {
    const std::string value = argumentText();
    if (MatchKeyword("ON", value, 1))
      AutoDDL = true;
    else if (MatchKeyword("OFF", value, 1))
      AutoDDL = false;
  } else if (MatchKeyword("SQL", text, 1)) {
    if (MatchKeyword("DIALECT", argumentText(), 1)) {
      const TScriptPos value = NextToken(source, argument, end);
      dialect_ = ParseInteger(value.Col ? TokenText(source, value, true) : std::string());
    }
  } else if (MatchKeyword("NAMES", text, 1)) {
    names_charset_ = argumentText();
  } else if (MatchKeyword("CLIENTLIB", text, 1)) {
    client_library_name_ = argumentText();
  } else if (MatchKeyword("BLOBFILE", text, 1)) {
    if (const auto name = TScriptFileRunner::FileNameAfter(source, word, end)) {
      script_file_.CloseBlobFile();
      blob_file_name_ = script_file_.Resolve(*name);
    }
  }
}

void TpFIBScripter::RewriteReinsert(std::vector<std::string>& lines) {
  if (!reinsert_head_valid_) {
    // The last VALUES of the last INSERT ends the head that REINSERT repeats.
    std::size_t found = 0;
    for (std::size_t col = 6; col <= last_insert_text_.size(); ++col)
      if (MatchKeyword("VALUES", last_insert_text_, col))
        found = col;
    if (found == 0)
      return; // runs as written, and the server refuses it
    reinsert_head_ = last_insert_text_.substr(0, found + 5);
    reinsert_head_valid_ = true;
  }
  const std::string text = JoinLines(lines);
  // Everything after the word REINSERT.
  lines = SplitLines(reinsert_head_ + (text.size() > 8 ? text.substr(8) : std::string()));
}

bool TpFIBScripter::CommentOnDescribes() const {
  return database_ && database_->Connected() && database_->IsFirebird() &&
         database_->ServerMajor() >= 3;
}

void TpFIBScripter::RunDescribe(const TStatementDesc& entry, std::vector<std::string>& lines,
                                std::int32_t Line, std::int32_t StatementNo) {
  const std::vector<std::string>& source = *source_;
  const TScriptPos end = entry.EndPos;
  const auto next = [&](TScriptPos pos) { return pos.Col ? NextToken(source, pos, end) : pos; };
  const auto text = [&](TScriptPos pos) {
    return pos.Col ? TokenText(source, pos, true) : std::string();
  };
  const auto quoted = [&](TScriptPos pos) {
    return pos.Col && source[pos.Line][pos.Col - 1] == '"';
  };

  const TScriptPos keyword = next(entry.StartPos);
  if (!keyword.Col)
    return;
  const DescribeForm* form = FindDescribeForm(entry.ObjectKind);
  if (!form)
    throw std::runtime_error("Unsupported DESCRIBE type " + text(keyword));

  // DESCRIBE COLUMN C TABLE T 'text', DESCRIBE PARAMETER P PROCEDURE X 'text',
  // DESCRIBE TABLE T 'text'...
  const TScriptPos name = next(keyword);
  TScriptPos object = name;
  TScriptPos member;
  if (entry.ObjectKind == okColumn || entry.ObjectKind == okParameter) {
    member = name;
    object = next(next(name));
  }
  const TScriptPos description = next(object);
  // Without a description the text stays empty (never the script's first lines).
  if (description.Col)
    StatementText(source, description, end, lines);
  else
    lines.clear();
  const std::string value = UnquoteDescription(JoinLines(lines));

  if (CommentOnDescribes()) {
    // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict on
    // "literal" + temporary string.
    std::string comment = "COMMENT ON ";
    comment += form->commentOn;
    comment += ' ';
    comment += QuotedIdentifier(text(object), quoted(object));
    if (member.Col) {
      comment += '.';
      comment += QuotedIdentifier(text(member), quoted(member));
    }
    comment += " IS ";
    comment += Quoted(value, '\'');
    lines = SplitLines(comment);
    // A statement like any other: its server errors take the error path.
    RunAsDML(entry, lines, Line, StatementNo);
    return;
  }

  own_statement_->SQL().Assign({form->update});
  TFIBXSQLDA& params = own_statement_->Params();
  params.Vars(0).SetAsString(value);
  params.Vars(1).SetAsString(text(object));
  if (entry.ObjectKind == okColumn || entry.ObjectKind == okParameter)
    params.Vars(2).SetAsString(text(member));
  if (TpFIBTransaction* t = EffectiveTransaction(); !t->Active())
    t->StartTransaction();
  own_statement_->ExecQuery();
}

} // namespace nimbus
