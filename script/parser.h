#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "script/script_text.h"
#include "script/script_types.h"

namespace nimbus {

// Splits script lines into a statement map and a map of conditional
// directives, classifying each statement by its leading keyword. Works on the
// text alone: statements are pairs of positions into the lines, never copies.
// The parser keeps a reference to the lines it last parsed (or was pointed at
// with SetScript) for NextToken and TokenText; the caller keeps them alive.
//
// Parse errors are std::runtime_error with the script's own messages.
class TpFIBScriptParser {
public:
  // Follows a procedural body (procedure, trigger, EXECUTE BLOCK) across the
  // ";" that it contains while the terminator is ";".
  struct TBodyTracker {
    bool Tracking = false;
    bool BeginSeen = false;
    std::int32_t Depth = 0;
    TScriptPos ResumePos; // where the next check of the same statement resumes
  };

  // Rebuilds `statements` and `directives` from entry 0. `terminator` leaves
  // changed by any SET TERM met. With `final` false (text still growing), a
  // last statement without terminator keeps no end.
  void Parse(const std::vector<std::string>& script, std::string& terminator, bool final,
             TDirectivesMap& directives, TScriptMap& statements);

  static bool MatchKeyword(std::string_view keyword, std::string_view text, std::size_t col) {
    return nimbus::MatchKeyword(keyword, text, col);
  }
  static void StatementText(const std::vector<std::string>& script, TScriptPos from, TScriptPos to,
                            std::vector<std::string>& lines) {
    nimbus::StatementText(script, from, to, lines);
  }
  TScriptPos NextToken(TScriptPos pos, TScriptPos end) const;
  std::string TokenText(TScriptPos pos, bool unquote) const;

  const std::vector<std::string>* Script() const { return script_; }
  void SetScript(const std::vector<std::string>* script) { script_ = script; }

  // Results of the last Parse.
  const std::string& CurrentDatabaseName() const { return currentDatabaseName_; }
  bool MakesConnection() const { return makesConnection_; }
  bool HasDML() const { return hasDML_; }
  bool HasUnrecognized() const { return hasUnrecognized_; }
  const TBodyTracker& BodyTracker() const { return bodyTracker_; }
  // Directives still open at the end of the text (with `final` false; a
  // final parse raises for them).
  std::int32_t OpenDirectives() const { return openDirectives_; }
  // The text ends inside a block comment (with `final` false, more lines may
  // close it).
  bool EndsInComment() const { return endsInComment_; }

private:
  class Scanner;

  // Classifies `statement`, which ends at its EndPos, and says whether it is
  // complete. `raiseFlags` is false for the end-of-parse classification.
  bool ClassifyStatement(TStatementDesc& statement, bool semicolonTerminator, bool raiseFlags);
  bool BodyComplete(TStatementDesc& statement, bool semicolonTerminator);
  bool CheckBody(const TStatementDesc& statement);
  TObjectKind ObjectKeywordAt(TScriptPos pos) const;
  bool KeywordAt(std::string_view keyword, TScriptPos pos) const;

  const std::vector<std::string>* script_ = nullptr;
  std::string currentDatabaseName_;
  bool makesConnection_ = false;
  bool hasDML_ = false;
  bool hasUnrecognized_ = false;
  TBodyTracker bodyTracker_;
  std::int32_t openDirectives_ = 0;
  bool endsInComment_ = false;
};

} // namespace nimbus
