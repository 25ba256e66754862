#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nimbus {

// A place in the script lines: 0-based line index, 1-based column. Col 0 means
// no column. Columns are 32-bit so that very long lines keep exact positions.
struct TScriptPos {
  std::uint32_t Col = 0;
  std::int32_t Line = 0;

  bool IsSet() const { return Col != 0 || Line > 0; }
  friend bool operator==(const TScriptPos&, const TScriptPos&) = default;
};

// EndPos of a statement whose end has not been found yet. A statement may
// legitimately end on an empty line, at (0, k), so "no end" is told by the
// negative line, never by Col alone.
inline constexpr TScriptPos kNoEnd{0, -1};

// Values are stored and compared as numbers: keep the order.
enum TStatementKind : std::uint8_t {
  skUnrecognized,
  skRaw,
  skDML,
  skConnect,
  skDisconnect,
  skReconnect,
  skCreateDatabase,
  skDropDatabase,
  skCommit,
  skRollback,
  skCreate,
  skAlter,
  skRecreate,
  skDrop,
  skSet,
  skSetGenerator,
  skSetStatistics,
  skDescribe,
  skDeclare,
  skComment,
  skGrant,
  skInput,
  skBatch,
  skBatchStart,
  skBatchExecute,
  skExecute,
  skInsert,
  skReinsert,
  skDirective,
};

enum TObjectKind : std::uint8_t {
  okNone,
  okDatabase,
  okDomain,
  okTable,
  okView,
  okProcedure,
  okTrigger,
  okFunction,
  okException,
  okGenerator,
  okIndex,
  okConstraint,
  okFilter,
  okColumn,
  okParameter,
  okRole,
  okBlock,
  okUser,
};

// One statement of a parsed script: positions into the script lines, never a
// copy of the text (StatementText cuts it out on demand).
struct TStatementDesc {
  TScriptPos StartPos;
  // Last character, terminator excluded; a brace statement ends on its "}".
  TScriptPos EndPos = kNoEnd;
  TStatementKind Kind = skUnrecognized;
  TObjectKind ObjectKind = okNone;
  std::string ObjectName;
  // Innermost conditional directive open when the statement started, or -1.
  std::int32_t DirectiveIndex = -1;
  // That directive's "{$ELSE" had been seen when the statement started.
  bool InElseBranch = false;

  // False while no terminator has ended the statement (see kNoEnd).
  bool HasEnd() const { return EndPos.Line >= 0; }
};

// Statement number N (1-based) is entry N-1.
using TScriptMap = std::vector<TStatementDesc>;

// One conditional directive: {$IF...} header, optional {$ELSE}, {$ENDIF}.
struct TDirectiveDesc {
  TScriptPos StartPos;  // the "{" of the header
  TScriptPos HeaderEnd; // the "}" closing the header
  TScriptPos ElsePos;   // the "{" of "{$ELSE"; unset while none was seen
  TScriptPos EndifPos;  // the "{" of "{$ENDIF"
  // 0 not evaluated, 1 true, 2 false: written by the runner only.
  std::uint8_t Evaluation = 0;
  std::int32_t ParentIndex = -1;
  // The parent's "{$ELSE" had been seen when this directive started.
  bool InParentElse = false;
};

using TDirectivesMap = std::vector<TDirectiveDesc>;
using PDirectivesMap = std::vector<TDirectiveDesc*>;

// The enumeration value's own name ("skCreate", "okTable"); "?" outside the range.
const char* StatementKindName(TStatementKind kind);
const char* ObjectKindName(TObjectKind kind);

} // namespace nimbus
