#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <ibase.h>

#include "fib/base.h"
#include "fib/param_lines.h"
#include "fib/sql_parser.h"
#include "fib/transaction.h"
#include "fib/xsqlda.h"
#include "platform/component.h"

namespace nimbus {

class EFIBError;
class IIBClientLibrary;

// The server's statement types (isc_info_sql_stmt_type values).
enum TFIBSQLTypes : int {
  SQLUnknown = 0,
  SQLSelect = 1,
  SQLInsert = 2,
  SQLUpdate = 3,
  SQLDelete = 4,
  SQLDDL = 5,
  SQLGetSegment = 6,
  SQLPutSegment = 7,
  SQLExecProcedure = 8,
  SQLStartTransaction = 9,
  SQLCommit = 10,
  SQLRollback = 11,
  SQLSelectForUpdate = 12,
  SQLSetGenerator = 13,
  SQLSavePointOperation = 14
};

enum TpFIBQueryOption : int {
  qoStartTransaction,       // start an inactive transaction before executing
  qoAutoCommit,             // commit after each successful execute
  qoTrimCharFields,         // trim text read from columns
  qoNoForceIsNull,          // never rewrite "= :empty" into IS NULL
  qoFreeHandleAfterExecute, // release the server statement when no cursor stays open
};
using TpFIBQueryOptions = std::set<TpFIBQueryOption>;

enum TDataAction : int { daFail, daAbort, daRetry };

// One SQL statement run against an attachment inside a transaction: keeps
// the text, prepares it, binds parameters, executes, fetches rows and
// releases the server statement.
//
// States: Unprepared (no handle) -> Prepare -> Prepared (handle, SQLType
// known) -> ExecQuery of a SELECT -> Open (cursor; Next moves it, EOF ends
// it) -> Close -> Prepared. FreeHandle, a text change or another Database
// lead back to Unprepared. DDL never holds a handle: it is executed
// immediately.
class TFIBQuery : public TComponent {
public:
  explicit TFIBQuery(TComponent* owner = nullptr);
  ~TFIBQuery() override;

  // The text lines. A change is refused while a cursor is open (client
  // error 28) and re-analyses the text.
  TParamLines& SQL() { return sql_; }
  const TParamLines& SQL() const { return sql_; }
  TFIBDatabase* Database() const { return link_.Database(); }
  void SetDatabase(TFIBDatabase* db);
  TFIBTransaction* Transaction() const { return link_.Transaction(); }
  void SetTransaction(TFIBTransaction* t) { link_.SetTransaction(t); }
  bool ParamCheck() const { return param_check_; }
  void SetParamCheck(bool value);

  bool GoToFirstRecordOnExecute = true;
  // A statement whose text shows that it takes no parameters, opens no
  // cursor and returns nothing (see PlainStatementType) runs in one round
  // trip, isc_dsql_execute_immediate, instead of prepare and execute. The
  // events, notifications, errors and SQLType are those of the normal path;
  // only the statement holds no handle afterwards, as after DDL.
  bool ImmediateWhenPlain = false;
  TpFIBQueryOptions Options;
  char MacroChar = '@';
  std::string CursorName;

  TNotifyEvent BeforeExecute;
  TNotifyEvent AfterExecute;
  TNotifyEvent OnSQLChanging;

  void Prepare();
  virtual void ExecQuery();
  // The next row in Columns, or null at the end.
  TFIBXSQLDA* Next();
  // True at the end of the cursor or without one.
  bool Eof();
  void Close();
  void FreeHandle();

  // Client error 41 for an index or name that is not a column.
  TFIBXSQLVAR& Fields(int index);
  TFIBXSQLVAR& FieldByName(std::string_view name);
  TFIBXSQLDA& Params();
  int ParamCount() { return Params().Count(); }
  const std::string& ParamName(int index) { return Params().Vars(index).Name(); }
  TFIBXSQLDA& DescribedParams() { return *described_params_; }
  TFIBXSQLDA& Columns() { return *columns_; }

  // Runs the texts as one batch where the server supports it (InterBase 8
  // and later); elsewhere does nothing.
  void ExecuteBatch(const std::vector<std::string>& texts);

  // Notes the activity on the transaction; raises the server error for a
  // failed status when `raise` is set. Returns `status`.
  ISC_STATUS CheckStatus(ISC_STATUS status, bool raise);

  isc_stmt_handle Handle() const { return handle_; }
  bool Prepared() const { return prepared_; }
  bool Open() const { return open_; }
  bool Bof() const { return bof_; }
  bool ProcExecuted() const { return proc_executed_; }
  int RecordCount() const { return record_count_; }
  TFIBSQLTypes SQLType() const { return sql_type_; }
  nimbus::SQLKind SQLKind() const { return parser_.Kind(); }
  const TSQLParser& Parser() const { return parser_; }
  bool ParamsActive() const { return params_active_; }
  const std::string& ProcessedSQL() const { return processed_sql_; }
  const std::string& ServerSQL() const { return server_sql_; }
  bool RewriteApplied() const { return rewrite_applied_; }
  bool NullRecheck() const { return null_recheck_; }
  bool HasStreamParams() const { return has_stream_params_; }
  // Milliseconds the last execute took.
  uint32_t ExecTicks() const { return exec_ticks_; }

private:
  friend class TFIBXSQLDA;
  friend class TFIBXSQLVAR;

  IIBClientLibrary& Library() const;
  unsigned short Dialect() const;
  bool IsOwnParams(const TFIBXSQLDA* list) const { return list == params_.get(); }
  bool UnicodeText() const;
  void MarkNullRecheck() { null_recheck_ = true; }
  void MarkStreamParams() { has_stream_params_ = true; }
  std::string ReadBlobValue(ISC_QUAD id);

  void SQLChanging();
  void SQLChanged();
  std::unique_ptr<TFIBXSQLDA> NewParamList(const std::vector<TParamEntry>& entries);
  bool NeedsParamRebuild() const;
  void RebuildParams();
  void EncodeServerSQL();
  void AllocateAndPrepare();
  void ReadStatementType();
  void DescribeInputs();
  void DescribeOutputs();

  void BeforeExecuteStep();
  void AfterExecuteStep();
  void ExecuteImmediate();
  // PlainStatementType when the one-round-trip path applies, else SQLUnknown.
  TFIBSQLTypes ImmediateType() const;
  void ReadyLinks();
  void ExecutePlain(TFIBSQLTypes type);
  void WritePendingStreams();
  XSQLDA* InputArea();
  void ExecuteByType(XSQLDA* input);

  // The attachment went away: the server statement is gone with it.
  void ForgetHandle(bool callServer);
  void TransactionEnded();

  TParamLines sql_;
  bool param_check_ = true;
  TSQLParser parser_;
  bool params_active_ = true;
  std::string processed_sql_;
  std::string server_sql_;
  bool server_sql_ready_ = false;
  std::unique_ptr<TFIBXSQLDA> params_;
  std::unique_ptr<TFIBXSQLDA> described_params_;
  std::unique_ptr<TFIBXSQLDA> columns_;

  isc_stmt_handle handle_ = 0;
  bool prepared_ = false;
  bool open_ = false;
  bool bof_ = false;
  bool eof_ = false;
  bool proc_executed_ = false;
  int record_count_ = 0;
  TFIBSQLTypes sql_type_ = SQLUnknown;
  bool rewrite_applied_ = false;
  bool null_recheck_ = false;
  bool macro_changed_ = false;
  bool has_stream_params_ = false;
  bool params_parsed_ = false;
  bool preparing_ = false;
  bool executing_ = false;
  bool closing_ = false;
  uint32_t exec_ticks_ = 0;

  // Last: unlinked first when the statement goes away.
  TFIBBase link_;
};

// The type the server gives a statement that takes no parameters, opens no
// cursor and returns nothing, when its analysed text alone shows that:
// INSERT, UPDATE, DELETE, MERGE and UPDATE OR INSERT without RETURNING, and
// EXECUTE BLOCK without RETURNS. SQLUnknown for every other statement and
// whenever in doubt (an EXECUTE PROCEDURE's outputs need the server).
TFIBSQLTypes PlainStatementType(const TSQLParser& parser);

using TFIBQueryErrorEvent =
    std::function<void(class TpFIBQuery* pFIBQuery, const EFIBError& E, TDataAction& Action)>;

// Adds the execute-error event: the handler may fail (re-raise), abort
// silently (EAbort) or retry the execute.
class TpFIBQuery : public TFIBQuery {
public:
  explicit TpFIBQuery(TComponent* owner = nullptr) : TFIBQuery(owner) {}

  TFIBQueryErrorEvent OnExecuteError;

  void ExecQuery() override;
};

} // namespace nimbus
