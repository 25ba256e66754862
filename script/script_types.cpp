#include "script/script_types.h"

#include <iterator>

namespace nimbus {

namespace {

constexpr const char* kStatementKindNames[] = {
    "skUnrecognized",   "skRaw",           "skDML",
    "skConnect",        "skDisconnect",    "skReconnect",
    "skCreateDatabase", "skDropDatabase",  "skCommit",
    "skRollback",       "skCreate",        "skAlter",
    "skRecreate",       "skDrop",          "skSet",
    "skSetGenerator",   "skSetStatistics", "skDescribe",
    "skDeclare",        "skComment",       "skGrant",
    "skInput",          "skBatch",         "skBatchStart",
    "skBatchExecute",   "skExecute",       "skInsert",
    "skReinsert",       "skDirective",
};
static_assert(std::size(kStatementKindNames) == skDirective + 1);

constexpr const char* kObjectKindNames[] = {
    "okNone",    "okDatabase", "okDomain",    "okTable",     "okView",  "okProcedure",
    "okTrigger", "okFunction", "okException", "okGenerator", "okIndex", "okConstraint",
    "okFilter",  "okColumn",   "okParameter", "okRole",      "okBlock", "okUser",
};
static_assert(std::size(kObjectKindNames) == okUser + 1);

} // namespace

const char* StatementKindName(TStatementKind kind) {
  return kind < std::size(kStatementKindNames) ? kStatementKindNames[kind] : "?";
}

const char* ObjectKindName(TObjectKind kind) {
  return kind < std::size(kObjectKindNames) ? kObjectKindNames[kind] : "?";
}

} // namespace nimbus
