#include "script/parser.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>

namespace nimbus {

namespace {

// Character classes of the scan; every character not listed is kOther.
enum CharClass : std::uint8_t {
  kOther,
  kBlank,      // TAB LF CR space
  kSeparator,  // , ; ^ (skipped between statements)
  kCloseBrace, // } (skipped between statements)
  kDash,       // - (line comment, or a raw statement)
  kSlash,      // / (block comment, or a raw statement)
  kQuote,      // '
  kDoubleQuote,
  kOpenBrace, // { (directive or brace statement; an error inside a statement)
  kLetterS,   // may start SET
  kLetterT,   // may start the TERM of SET TERM
};

struct CharTable {
  CharClass classes[256] = {};
  constexpr CharTable() {
    classes[static_cast<unsigned char>('\t')] = kBlank;
    classes[static_cast<unsigned char>('\n')] = kBlank;
    classes[static_cast<unsigned char>('\r')] = kBlank;
    classes[static_cast<unsigned char>(' ')] = kBlank;
    classes[static_cast<unsigned char>(',')] = kSeparator;
    classes[static_cast<unsigned char>(';')] = kSeparator;
    classes[static_cast<unsigned char>('^')] = kSeparator;
    classes[static_cast<unsigned char>('}')] = kCloseBrace;
    classes[static_cast<unsigned char>('-')] = kDash;
    classes[static_cast<unsigned char>('/')] = kSlash;
    classes[static_cast<unsigned char>('\'')] = kQuote;
    classes[static_cast<unsigned char>('"')] = kDoubleQuote;
    classes[static_cast<unsigned char>('{')] = kOpenBrace;
    classes[static_cast<unsigned char>('S')] = kLetterS;
    classes[static_cast<unsigned char>('s')] = kLetterS;
    classes[static_cast<unsigned char>('T')] = kLetterT;
    classes[static_cast<unsigned char>('t')] = kLetterT;
  }
};

constexpr CharTable kCharTable;

bool IsBlank(unsigned char c) {
  return kCharTable.classes[c] == kBlank;
}

const char* const kOpeningDirectives[] = {"{$IFDEF",    "{$IFNDEF",    "{$IF",
                                          "{$IFEXISTS", "{$IFNEXISTS", "{$IFNOTEXISTS"};

std::string DirectiveError(const char* keyword, std::int32_t line) {
  return std::string("Parse script error.\r\nCan't resolve directive  \"") + keyword +
         "\"\r\nLine " + std::to_string(line);
}

// Array growth of the maps: by 4 up to 8 entries, by 16 up to 64, then by a quarter.
template <typename T> void GrowFor(std::vector<T>& map, std::size_t count) {
  if (count < map.size())
    return;
  std::size_t length = map.size();
  length += length <= 8 ? 4 : length <= 64 ? 16 : length / 4;
  map.reserve(length);
  map.resize(length);
}

struct KeywordKind {
  const char* keyword;
  TStatementKind kind;
};

// Keywords of a statement's first token.
constexpr KeywordKind kStatementKeywords[] = {
    {"ALTER", skAlter},         {"BATCH", skBatch},
    {"CONNECT", skConnect},     {"COMMIT", skCommit},
    {"CREATE", skCreate},       {"COMMENT", skComment},
    {"DELETE", skDML},          {"DISCONNECT", skDisconnect},
    {"DROP", skDrop},           {"DESCRIBE", skDescribe},
    {"DECLARE", skDeclare},     {"EXECUTE", skExecute},
    {"GRANT", skGrant},         {"INSERT", skInsert},
    {"INPUT", skInput},         {"MERGE", skDML},
    {"RECONNECT", skReconnect}, {"ROLLBACK", skRollback},
    {"RECREATE", skRecreate},   {"REVOKE", skGrant},
    {"REINSERT", skReinsert},   {"SET", skSet},
    {"UPDATE", skDML},
};

struct KeywordObject {
  const char* keyword;
  TObjectKind kind;
};

// Object keywords; the word names the object kind it yields.
constexpr KeywordObject kObjectKeywords[] = {
    {"DATABASE", okDatabase}, {"DOMAIN", okDomain},         {"TABLE", okTable},
    {"VIEW", okView},         {"PROCEDURE", okProcedure},   {"TRIGGER", okTrigger},
    {"FUNCTION", okFunction}, {"EXCEPTION", okException},   {"GENERATOR", okGenerator},
    {"INDEX", okIndex},       {"CONSTRAINT", okConstraint}, {"FILTER", okFilter},
    {"COLUMN", okColumn},     {"FIELD", okColumn},          {"PARAMETER", okParameter},
    {"ROLE", okRole},         {"BLOCK", okBlock},           {"USER", okUser},
};

// Cheap first-letter test before a full MatchKeyword (lower case matches too).
bool SameFirstLetter(const char* keyword, unsigned char ch) {
  return KeywordCharMatches(keyword[0], ch);
}

// Whether a whole word is `keyword` (upper case), lower case letters folding.
bool IsWord(std::string_view word, std::string_view keyword) {
  return word.size() == keyword.size() &&
         std::equal(keyword.begin(), keyword.end(), word.begin(),
                    [](char k, char w) { return KeywordCharMatches(k, w); });
}

TStatementKind StatementKeyword(std::string_view text, std::size_t col) {
  if (col < 1 || col > text.size())
    return skUnrecognized;
  const unsigned char ch = text[col - 1];
  const char next = col < text.size() ? text[col] : '\0';
  switch (ch) {
  case '-':
    return next == '-' ? skUnrecognized : skRaw;
  case '/':
    return next == '*' ? skUnrecognized : skRaw;
  case '{':
    return next == '$' ? skDirective : skRaw;
  default:
    break;
  }
  for (const KeywordKind& entry : kStatementKeywords)
    if (SameFirstLetter(entry.keyword, ch) && MatchKeyword(entry.keyword, text, col))
      return entry.kind;
  return skUnrecognized;
}

bool IsBodyObject(TObjectKind kind) {
  return kind == okProcedure || kind == okTrigger || kind == okBlock;
}

} // namespace

// One pass over the characters. Three pieces of state carry over from one
// line to the next: the statement state, the lexical mode and the SET TERM state.
// A directive header is a statement state of its own: only its "}" counts.
class TpFIBScriptParser::Scanner {
public:
  Scanner(TpFIBScriptParser& parser, const std::vector<std::string>& script,
          std::string& terminator, TDirectivesMap& directives, TScriptMap& statements)
      : parser_(parser), script_(script), terminator_(terminator), directives_(directives),
        statements_(statements) {}

  void Run() {
    for (std::size_t line = 0; line < script_.size(); ++line) {
      line_ = static_cast<std::int32_t>(line);
      text_ = script_[line];
      ScanLine();
    }
  }

  // Cuts the maps to their counts and gives an unterminated last statement
  // its end. With `errorLeaving`, the error already on its way out wins.
  void Finish(bool final, bool errorLeaving) {
    statements_.resize(statementCount_);
    directives_.resize(directiveCount_);
    parser_.bodyTracker_ = {};
    if (final && statementCount_ > 0 && !statements_.back().HasEnd()) {
      TStatementDesc& last = statements_.back();
      last.EndPos = {static_cast<std::uint32_t>(script_.back().size()),
                     static_cast<std::int32_t>(script_.size() - 1)};
      if (!errorLeaving) {
        parser_.ClassifyStatement(last, false, false);
      } else {
        try {
          parser_.ClassifyStatement(last, false, false);
        } catch (const std::exception&) {
          // The first error names the real place.
        }
      }
    }
    parser_.openDirectives_ = static_cast<std::int32_t>(openDirectives_.size());
    parser_.endsInComment_ = lex_.Mode == TLexMode::kBlockComment;
    // A growing text may close its directives later.
    if (final && !openDirectives_.empty() && !errorLeaving)
      throw std::runtime_error("Parse script error.\r\n$ENDIF skipped " +
                               std::to_string(openDirectives_.size()) + " times");
  }

private:
  enum class State { kBetween, kStatement, kBrace, kDirectiveHeader };
  enum class SetTerm { kOff, kArmed, kCollecting };

  void ScanLine() {
    const std::size_t length = text_.size();
    const char* s = text_.data();
    for (std::size_t col = 1; col <= length; ++col) {
      if (lex_.Mode != TLexMode::kNormal) {
        col = SkipLexMode(lex_, text_, col);
        continue;
      }
      switch (state_) {
      case State::kBetween:
        col = Between(col);
        break;
      case State::kStatement:
        col = InStatement(col);
        break;
      case State::kBrace:
        if (s[col - 1] == '}') {
          statements_[statementCount_ - 1].EndPos = Here(col);
          state_ = State::kBetween;
        }
        break;
      case State::kDirectiveHeader:
        // Quotes and comments included, everything up to "}" is the header.
        if (s[col - 1] == '}') {
          directives_[openDirectives_.back()].HeaderEnd = Here(col);
          state_ = State::kBetween;
        }
        break;
      }
    }
  }

  // Each step returns the column of the last character it consumed.
  std::size_t Between(std::size_t col) {
    const unsigned char ch = text_[col - 1];
    switch (kCharTable.classes[ch]) {
    case kBlank:
    case kSeparator:
    case kCloseBrace:
      return col;
    case kDash:
    case kSlash:
      if (const std::size_t last = EnterLexMode(lex_, text_, col))
        return last;
      Start(col, skRaw);
      return col;
    case kLetterS:
      if (Match("SET", col)) {
        Start(col, skSet);
        setTerm_ = SetTerm::kArmed;
        wordAfterSet_.reset();
      } else {
        Start(col, skUnrecognized);
      }
      return col;
    case kOpenBrace:
      return Brace(col);
    default:
      Start(col, skUnrecognized);
      return col;
    }
  }

  std::size_t Brace(std::size_t col) {
    if (Match("{$ELSE", col)) {
      if (openDirectives_.empty())
        throw std::runtime_error(DirectiveError("{$ELSE", line_));
      directives_[openDirectives_.back()].ElsePos = Here(col);
      return col + 6; // the keyword and the character after it
    }
    if (Match("{$ENDIF", col)) {
      if (openDirectives_.empty())
        throw std::runtime_error(DirectiveError("{$ENDIF", line_));
      directives_[openDirectives_.back()].EndifPos = Here(col);
      openDirectives_.pop_back();
      currentDirective_ = openDirectives_.empty() ? -1 : openDirectives_.back();
      return col + 7;
    }
    for (const char* keyword : kOpeningDirectives)
      if (Match(keyword, col)) {
        OpenDirective(col);
        state_ = State::kDirectiveHeader;
        return col;
      }
    Start(col, NextIs(col, '$') ? skDirective : skRaw);
    state_ = State::kBrace;
    return col;
  }

  std::size_t InStatement(std::size_t col) {
    const unsigned char ch = text_[col - 1];
    switch (kCharTable.classes[ch]) {
    case kQuote:
    case kDoubleQuote:
    case kDash:
    case kSlash:
      // Quoted texts, q-literals and comments hide terminators; a lone "-"
      // or "/" is never part of one.
      if (const std::size_t last = EnterLexMode(lex_, text_, col))
        return last;
      return col;
    case kLetterT:
      if (setTerm_ == SetTerm::kArmed && Match("TERM", col) && TermFollowsSet(col)) {
        setTerm_ = SetTerm::kCollecting;
        return col + 4; // the word and the character after it
      }
      return col;
    case kOpenBrace:
      throw std::runtime_error("Parse script error.\r\n Unexpected symbol \"{\"\r\nLine :" +
                               std::to_string(line_ + 1) + " Pos:" + std::to_string(col));
    default: {
      const bool terminatorHere = TerminatorAt(col);
      if (setTerm_ == SetTerm::kCollecting && !IsBlank(ch) && !terminatorHere)
        newTerminator_.push_back(static_cast<char>(ch));
      return terminatorHere ? EndAtTerminator(col) : col;
    }
    }
  }

  // The terminator found at `col` ends the current statement, or the SET
  // TERM statement; the scan goes on after the whole terminator.
  std::size_t EndAtTerminator(std::size_t col) {
    const std::size_t last = col + std::max<std::size_t>(terminator_.size() % 256, 1) - 1;
    if (setTerm_ == SetTerm::kCollecting) {
      // An empty new terminator ("SET TERM ^ ;" while "^" is already the
      // terminator) would end a statement at every delimiter: keep the current one.
      if (!newTerminator_.empty())
        terminator_ = newTerminator_;
      newTerminator_.clear();
      setTerm_ = SetTerm::kOff;
      --statementCount_;
      state_ = State::kBetween;
      return last;
    }
    setTerm_ = SetTerm::kOff;
    TStatementDesc& statement = statements_[statementCount_ - 1];
    if (col >= 2)
      statement.EndPos = Here(col - 1);
    else if (line_ > 0)
      statement.EndPos = {static_cast<std::uint32_t>(script_[line_ - 1].size()), line_ - 1};
    else
      statement.EndPos = {0, 0};
    const bool complete =
        statement.Kind == skRaw || parser_.ClassifyStatement(statement, terminator_ == ";", true);
    if (complete) {
      state_ = State::kBetween;
      if (statement.Kind == skDML)
        parser_.hasDML_ = true;
      else if (statement.Kind == skUnrecognized || statement.Kind == skRaw)
        parser_.hasUnrecognized_ = true;
    } else {
      statement.EndPos = kNoEnd;
    }
    return last;
  }

  void Start(std::size_t col, TStatementKind kind) {
    GrowFor(statements_, statementCount_);
    TStatementDesc& statement = statements_[statementCount_++];
    statement.StartPos = Here(col);
    statement.EndPos = kNoEnd;
    statement.Kind = kind;
    statement.ObjectKind = okNone;
    statement.ObjectName.clear();
    statement.DirectiveIndex = currentDirective_;
    statement.InElseBranch =
        currentDirective_ >= 0 && directives_[currentDirective_].ElsePos.IsSet();
    state_ = State::kStatement;
  }

  void OpenDirective(std::size_t col) {
    GrowFor(directives_, directiveCount_);
    TDirectiveDesc& directive = directives_[directiveCount_];
    directive = TDirectiveDesc{};
    directive.StartPos = Here(col);
    if (!openDirectives_.empty()) {
      directive.ParentIndex = openDirectives_.back();
      directive.InParentElse = directives_[directive.ParentIndex].ElsePos.IsSet();
    }
    currentDirective_ = static_cast<std::int32_t>(directiveCount_++);
    openDirectives_.push_back(currentDirective_);
  }

  // TERM switches SET TERM on only as the word right after SET, so that a
  // statement such as SET GENERATOR GEN_TERM TO 0 is not taken for one. That
  // word is looked for once per statement: looking again from SET at every
  // TERM would make the parse quadratic in the statement's length.
  bool TermFollowsSet(std::size_t col) {
    if (!wordAfterSet_) {
      const TScriptPos last = {std::numeric_limits<std::uint32_t>::max(),
                               static_cast<std::int32_t>(script_.size() - 1)};
      wordAfterSet_ = nimbus::NextToken(script_, statements_[statementCount_ - 1].StartPos, last);
    }
    return *wordAfterSet_ == Here(col);
  }

  bool TerminatorAt(std::size_t col) const {
    if (!terminator_.empty()) {
      // Cheap first-character test before the full keyword match.
      if (!KeywordCharMatches(terminator_[0], text_[col - 1]))
        return false;
    }
    return Match(terminator_, col);
  }

  bool Match(std::string_view keyword, std::size_t col) const {
    return MatchKeyword(keyword, text_, col);
  }
  bool NextIs(std::size_t col, char c) const { return col < text_.size() && text_[col] == c; }
  TScriptPos Here(std::size_t col) const { return {static_cast<std::uint32_t>(col), line_}; }

  TpFIBScriptParser& parser_;
  const std::vector<std::string>& script_;
  std::string& terminator_;
  TDirectivesMap& directives_;
  TScriptMap& statements_;

  std::int32_t line_ = 0;
  std::string_view text_;
  State state_ = State::kBetween;
  TLexState lex_;
  SetTerm setTerm_ = SetTerm::kOff;
  std::optional<TScriptPos> wordAfterSet_; // of the current SET statement, once looked for
  std::string newTerminator_;
  std::size_t statementCount_ = 0;
  std::size_t directiveCount_ = 0;
  std::int32_t currentDirective_ = -1;
  std::vector<std::int32_t> openDirectives_;
};

void TpFIBScriptParser::Parse(const std::vector<std::string>& script, std::string& terminator,
                              bool final, TDirectivesMap& directives, TScriptMap& statements) {
  script_ = &script;
  currentDatabaseName_.clear();
  makesConnection_ = hasDML_ = hasUnrecognized_ = false;
  bodyTracker_ = {};
  statements.clear();
  const std::size_t initial = std::max<std::size_t>(3, script.size() / 16);
  statements.reserve(initial);
  statements.resize(initial);
  directives.clear();

  Scanner scanner(*this, script, terminator, directives, statements);
  try {
    scanner.Run();
  } catch (...) {
    scanner.Finish(final, true);
    throw;
  }
  scanner.Finish(final, false);
}

TScriptPos TpFIBScriptParser::NextToken(TScriptPos pos, TScriptPos end) const {
  return script_ ? nimbus::NextToken(*script_, pos, end) : TScriptPos{};
}

std::string TpFIBScriptParser::TokenText(TScriptPos pos, bool unquote) const {
  return script_ ? nimbus::TokenText(*script_, pos, unquote) : std::string();
}

bool TpFIBScriptParser::ClassifyStatement(TStatementDesc& st, bool semicolonTerminator,
                                          bool raiseFlags) {
  // A body found incomplete at an earlier terminator of this statement.
  if (IsBodyObject(st.ObjectKind) && semicolonTerminator && st.Kind != skDrop)
    return CheckBody(st);

  st.Kind = StatementKeyword((*script_)[st.StartPos.Line], st.StartPos.Col);
  st.ObjectKind = okNone;
  const TScriptPos end = st.EndPos;
  const auto next = [&](TScriptPos pos) { return NextToken(pos, end); };
  const auto text = [&](TScriptPos pos) { return pos.Col ? TokenText(pos, true) : std::string(); };
  const TScriptPos first = next(st.StartPos);

  switch (st.Kind) {
  case skConnect:
    st.ObjectKind = okDatabase;
    if (raiseFlags)
      makesConnection_ = true;
    if (first.Col) {
      st.ObjectName = text(first);
      currentDatabaseName_ = st.ObjectName;
    }
    return true;

  case skDisconnect:
  case skReconnect:
  case skCommit:
  case skRollback:
    st.ObjectKind = okDatabase;
    st.ObjectName = currentDatabaseName_;
    return true;

  case skExecute:
    if (!first.Col)
      return true;
    st.Kind = skDML;
    // Tested on the token's text so that "BLOCK(" counts as well.
    if (!MatchKeyword("BLOCK", text(first), 1))
      return true;
    st.ObjectKind = okBlock;
    return BodyComplete(st, semicolonTerminator);

  case skCreate:
  case skAlter:
  case skRecreate:
  case skDrop: {
    if (!first.Col)
      return true;
    // CREATE OR ALTER PROCEDURE, CREATE UNIQUE INDEX: the object keyword may come later.
    TScriptPos reference = first;
    TObjectKind kind = ObjectKeywordAt(first);
    for (TScriptPos pos = next(first); kind == okNone && pos.Col; pos = next(pos))
      if ((kind = ObjectKeywordAt(pos)) != okNone)
        reference = pos;
    st.ObjectKind = kind;
    if (kind == okDatabase && st.Kind == skCreate) {
      st.Kind = skCreateDatabase;
      if (raiseFlags)
        makesConnection_ = true;
    } else if (kind == okDatabase && st.Kind == skDrop) {
      st.Kind = skDropDatabase;
    }
    st.ObjectName = text(next(reference));
    if (st.Kind == skCreateDatabase)
      currentDatabaseName_ = st.ObjectName;
    else if (st.Kind == skDropDatabase)
      st.ObjectName = currentDatabaseName_;
    return BodyComplete(st, semicolonTerminator);
  }

  case skSet:
    if (!first.Col)
      return true;
    if (KeywordAt("GENERATOR", first)) {
      st.Kind = skSetGenerator;
      st.ObjectKind = okGenerator;
      if (const TScriptPos name = next(first); name.Col)
        st.ObjectName = text(name);
    } else if (KeywordAt("STATISTICS", first)) {
      st.Kind = skSetStatistics;
      st.ObjectKind = okIndex;
      if (const TScriptPos index = next(first); index.Col)
        if (const TScriptPos name = next(index); name.Col)
          st.ObjectName = text(name);
    }
    return true;

  case skDescribe:
  case skComment: {
    const TScriptPos keyword = st.Kind == skComment && first.Col ? next(first) : first;
    if (!keyword.Col)
      return true;
    const TObjectKind kind = ObjectKeywordAt(keyword);
    if (kind == okNone)
      return true;
    st.ObjectKind = kind;
    const TScriptPos name = next(keyword);
    st.ObjectName = text(name);
    if (st.Kind == skDescribe && (kind == okColumn || kind == okParameter)) {
      // DESCRIBE FIELD F TABLE T: the owner comes two tokens after the name.
      const TScriptPos owner = name.Col ? next(name) : TScriptPos{};
      const TScriptPos ownerName = owner.Col ? next(owner) : TScriptPos{};
      st.ObjectName = ownerName.Col ? text(ownerName) + "." + st.ObjectName : std::string();
    }
    return true;
  }

  case skDeclare:
    if (!first.Col)
      return true;
    if (KeywordAt("EXTERNAL", first)) {
      st.ObjectKind = okFunction;
      if (const TScriptPos function = next(first); function.Col)
        if (const TScriptPos name = next(function); name.Col)
          st.ObjectName = text(name);
    } else if (KeywordAt("FILTER", first)) {
      st.ObjectKind = okFilter;
    }
    return true;

  case skGrant:
    if (!first.Col)
      return true;
    for (TScriptPos pos = next(first); pos.Col; pos = next(pos)) {
      // Every examined token's text is read, so an unclosed quote is an error here.
      if (!MatchKeyword("ON", text(pos), 1))
        continue;
      const TScriptPos object = next(pos);
      const TObjectKind kind = object.Col ? ObjectKeywordAt(object) : okNone;
      if (kind != okNone) {
        st.ObjectKind = kind;
        st.ObjectName = text(next(object));
      } else {
        st.ObjectName = text(object);
      }
      return true;
    }
    return true;

  case skBatch:
    st.Kind = first.Col && KeywordAt("START", first)     ? skBatchStart
              : first.Col && KeywordAt("EXECUTE", first) ? skBatchExecute
                                                         : skRaw;
    return true;

  default:
    return true;
  }
}

// The body check applies to procedures, triggers and EXECUTE BLOCK (not to
// their DROP) while ";" is the terminator; with another terminator every
// terminator ends the statement.
bool TpFIBScriptParser::BodyComplete(TStatementDesc& st, bool semicolonTerminator) {
  if (!semicolonTerminator || !IsBodyObject(st.ObjectKind) || st.Kind == skDrop)
    return true;
  return CheckBody(st);
}

// Counts BEGIN/CASE against END from the body's BEGIN; an "AS" without BEGIN
// yet (DECLARE VARIABLE lines) keeps the statement open too. The words are
// whole words outside quotes and comments, wherever they stand: an END
// followed by ")" or "||", or a CASE after "(" or "=", counts like any other.
bool TpFIBScriptParser::CheckBody(const TStatementDesc& st) {
  TBodyTracker& body = bodyTracker_;
  const TScriptPos end = st.EndPos;
  const TScriptPos resume{st.EndPos.Col + 1, st.EndPos.Line};
  std::string_view word;
  const auto next = [&](TScriptPos from) { return NextWord(*script_, from, end, word); };
  // Words are in normal text, and so is the character after one.
  const auto after = [&](TScriptPos at) {
    return TScriptPos{at.Col + static_cast<std::uint32_t>(word.size()), at.Line};
  };
  TScriptPos pos;
  if (body.Tracking) {
    pos = next(body.ResumePos);
  } else {
    bool as = false;
    bool begin = false;
    // The statement's own first word (CREATE, ALTER, RECREATE, EXECUTE) is none of these.
    for (pos = next(st.StartPos); pos.Col; pos = next(after(pos))) {
      if (IsWord(word, "AS")) {
        as = true;
      } else if (IsWord(word, "BEGIN")) {
        begin = true;
        break;
      }
    }
    if (!begin) {
      body = {};
      if (!as)
        return true;
      body.Tracking = true;
      body.ResumePos = resume;
      return false;
    }
    body.Tracking = true;
    body.BeginSeen = true;
    body.Depth = 1;
    pos = next(after(pos));
  }
  for (; pos.Col; pos = next(after(pos))) {
    const bool begin = IsWord(word, "BEGIN");
    if (begin || IsWord(word, "CASE")) {
      if (body.BeginSeen) {
        ++body.Depth;
      } else {
        body.Depth = 1;
        body.BeginSeen = begin;
      }
    } else if (IsWord(word, "END")) {
      --body.Depth;
    }
    if (body.Depth == 0 && body.BeginSeen) {
      body.Tracking = false;
      return true;
    }
  }
  body.Tracking = true;
  body.ResumePos = resume;
  return false;
}

TObjectKind TpFIBScriptParser::ObjectKeywordAt(TScriptPos pos) const {
  const std::string& line = (*script_)[pos.Line];
  if (pos.Col < 1 || pos.Col > line.size())
    return okNone;
  const unsigned char ch = line[pos.Col - 1];
  for (const KeywordObject& entry : kObjectKeywords)
    if (SameFirstLetter(entry.keyword, ch) && MatchKeyword(entry.keyword, line, pos.Col))
      return entry.kind;
  return okNone;
}

bool TpFIBScriptParser::KeywordAt(std::string_view keyword, TScriptPos pos) const {
  return MatchKeyword(keyword, (*script_)[pos.Line], pos.Col);
}

} // namespace nimbus
