#include "fib/query.h"

#include <algorithm>
#include <random>

#include "fib/blob.h"
#include "fib/client_library.h"
#include "fib/database.h"
#include "fib/errors.h"
#include "platform/exception.h"
#include "platform/fpu.h"
#include "platform/os.h"
#include "platform/text.h"

namespace nimbus {

namespace {

// Status codes that closing or fetching may meet once the server has
// already dropped the cursor or the statement.
constexpr ISC_STATUS kInvalidStatementHandle = 335544485;
constexpr ISC_STATUS kCursorAlreadyClosed = 335544577;
constexpr ISC_STATUS kInvalidCursorReference = 335544572;

constexpr ISC_STATUS kNoMoreRows = 100;

bool StatusContains(ISC_STATUS code) {
  const ISC_STATUS* status = StatusVector();
  for (int i = 0; i + 1 < ISC_STATUS_LENGTH && status[i] != isc_arg_end; i += 2) {
    if (status[i] == isc_arg_gds && status[i + 1] == code)
      return true;
    // Other argument kinds carry one value, except the counted strings.
    if (status[i] == isc_arg_cstring)
      ++i;
  }
  return false;
}

bool OnlyBlanks(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
}

// Ten decimal digits from random non-negative 31-bit integers.
std::string RandomCursorName() {
  thread_local std::minstd_rand generator{std::random_device{}()};
  std::uniform_int_distribution<int32_t> draw(0, INT32_MAX);
  std::string name;
  while (name.size() < 10)
    name += std::to_string(draw(generator));
  name.resize(10);
  return name;
}

// Runs `f` on scope exit, also when an exception passes.
template <typename F> class TFinally {
public:
  explicit TFinally(F f) : f_(std::move(f)) {}
  ~TFinally() { f_(); }
  TFinally(const TFinally&) = delete;
  TFinally& operator=(const TFinally&) = delete;

private:
  F f_;
};

} // namespace

TFIBSQLTypes PlainStatementType(const TSQLParser& parser) {
  const std::string& text = parser.Text();
  TFIBSQLTypes type = SQLUnknown;
  switch (parser.Kind()) {
  case KindInsert:
  case KindUpdateOrInsert:
    type = SQLInsert;
    break;
  case KindUpdate:
    type = SQLUpdate;
    break;
  case KindDelete:
    type = SQLDelete;
    break;
  case KindSelect:
    // The kind's first word is SELECT, which opens a cursor, or MERGE,
    // which the server reports as an insert whatever its actions.
    if ((text[parser.FirstTokenPos() - 1] | 0x20) != 'm')
      return SQLUnknown;
    type = SQLInsert;
    break;
  case KindExecBlock:
    return MayHaveKeyword(text, "RETURNS") ? SQLUnknown : SQLExecProcedure;
  default:
    return SQLUnknown;
  }
  return MayHaveKeyword(text, "RETURNING") ? SQLUnknown : type;
}

// --- construction -----------------------------------------------------------

TFIBQuery::TFIBQuery(TComponent* owner)
    : TComponent(owner), params_(std::make_unique<TFIBXSQLDA>(true, this)),
      described_params_(std::make_unique<TFIBXSQLDA>(true, this)),
      columns_(std::make_unique<TFIBXSQLDA>(false, this)), link_(this) {
  sql_.OnChanging = [this] { SQLChanging(); };
  sql_.OnChange = [this] { SQLChanged(); };
  link_.BeforeDatabaseDisconnect = [this](TFIBBase*) { ForgetHandle(true); };
  link_.OnDatabaseFree = [this](TFIBBase*) { ForgetHandle(false); };
  link_.AfterTransactionEnd = [this](TFIBTransaction*) { TransactionEnded(); };
  if (auto* db = dynamic_cast<TFIBDatabase*>(owner))
    SetDatabase(db);
  else if (auto* t = dynamic_cast<TFIBTransaction*>(owner))
    SetTransaction(t);
}

TFIBQuery::~TFIBQuery() {
  try {
    if (open_)
      Close();
  } catch (...) {
  }
  try {
    if (handle_)
      FreeHandle();
  } catch (...) {
  }
  handle_ = 0;
  sql_.OnChanging = nullptr;
  sql_.OnChange = nullptr;
}

void TFIBQuery::SetDatabase(TFIBDatabase* db) {
  if (db != Database() && prepared_) {
    if (open_)
      Close();
    FreeHandle();
  }
  link_.SetDatabase(db);
}

void TFIBQuery::SetParamCheck(bool value) {
  param_check_ = value;
  if (value)
    return;
  params_->SetCount(0);
  described_params_->SetCount(0);
  processed_sql_ = parser_.Text();
  // The previous server text still holds "?" markers.
  server_sql_ready_ = false;
  FreeHandle();
}

IIBClientLibrary& TFIBQuery::Library() const {
  TFIBDatabase* db = Database();
  if (!db)
    RaiseClientError(21, {ComponentPath(this)});
  if (!db->ClientLibrary())
    RaiseClientError(12, {ComponentPath(db)});
  return *db->ClientLibrary();
}

unsigned short TFIBQuery::Dialect() const {
  return static_cast<unsigned short>(Database() ? Database()->SQLDialect() : 3);
}

bool TFIBQuery::UnicodeText() const {
  return Database() && Database()->IsUnicodeCharset();
}

ISC_STATUS TFIBQuery::CheckStatus(ISC_STATUS status, bool raise) {
  RestoreDefaultFPUControlWord();
  if (TFIBTransaction* t = Transaction())
    t->CheckStatus(status, false);
  if (status > 0 && raise)
    RaiseServerError(Library(), this);
  // The status itself, with or without a transaction: a failed fetch must
  // not read as a row.
  return status;
}

std::string TFIBQuery::ReadBlobValue(ISC_QUAD id) {
  return ReadBlob(Library(), link_.DatabaseHandle(), link_.TransactionHandle(), id, this);
}

// --- text -------------------------------------------------------------------

void TFIBQuery::SQLChanging() {
  if (open_)
    RaiseClientError(28, {"change sql text", ComponentPath(this)});
  if (OnSQLChanging)
    OnSQLChanging(this);
  if (handle_)
    FreeHandle();
}

std::unique_ptr<TFIBXSQLDA> TFIBQuery::NewParamList(const std::vector<TParamEntry>& entries) {
  auto list = std::make_unique<TFIBXSQLDA>(true, this);
  list->SetCount(static_cast<int>(entries.size()));
  for (int i = 0; i < list->Count(); ++i) {
    const TParamEntry& entry = entries[i];
    list->AddName(entry.Name, i, entry.Quoted());
    TFIBXSQLVAR& var = list->Vars(i);
    var.InWhere = entry.InWhere();
    var.Standalone = entry.Standalone();
    var.StartPos = entry.StartPos;
    var.EndPos = entry.EndPos;
  }
  return list;
}

void TFIBQuery::SQLChanged() {
  // Until the analysis succeeds, a prepare analyses again; the previous text
  // must never be sent in place of one that failed it.
  params_parsed_ = false;
  server_sql_ready_ = false;
  processed_sql_.clear();
  const std::string text = sql_.Text();
  parser_.SetSQLText(text);
  params_active_ = param_check_;
  const bool markers = param_check_ && !sql_.Empty() && HasParamMarkers(text, MacroChar);
  if (!markers) {
    params_->SetCount(0);
    described_params_->SetCount(0);
    processed_sql_ = server_sql_ = text;
  } else {
    const TPreprocessedSQL parsed =
        PreprocessParams(text, parser_.Kind(), true, ComponentPath(this), false, MacroChar);
    std::unique_ptr<TFIBXSQLDA> fresh = NewParamList(parsed.Entries);
    // Values survive a text change by name; each list keeps its own buffers.
    for (int i = 0; i < fresh->Count(); ++i) {
      TFIBXSQLVAR& var = fresh->Vars(i);
      if (const TFIBXSQLVAR* old = params_->FindExact(var.Name());
          old && old->SQLType() != SQL_BLOB)
        var.CopyValueFrom(*old);
    }
    fresh->HasDeferredSettings = params_->HasDeferredSettings;
    params_ = std::move(fresh);
    if (params_->Count() > 0) {
      processed_sql_.clear();
      server_sql_.clear();
    } else {
      processed_sql_ = server_sql_ = text;
    }
  }
  FreeHandle();
  params_parsed_ = true;
  server_sql_ready_ = false;
}

TFIBXSQLDA& TFIBQuery::Params() {
  if (!params_->Area() && !params_parsed_)
    SQLChanged();
  return *params_;
}

void TFIBQuery::EncodeServerSQL() {
  // The server stops reading at a NUL, whatever length it is given: the
  // rest of the statement (a WHERE clause...) would silently be dropped.
  if (const size_t nul = processed_sql_.find('\0'); nul != std::string::npos)
    RaiseClientErrorMessage(ComponentPath(this) + ": the statement text holds a NUL character at " +
                            "position " + std::to_string(nul + 1) + "; it was not sent.");
  server_sql_ = UnicodeText() ? Cp1252ToUtf8(processed_sql_) : processed_sql_;
  server_sql_ready_ = true;
}

bool TFIBQuery::NeedsParamRebuild() const {
  if (!prepared_ || macro_changed_ || null_recheck_)
    return true;
  if (Options.contains(qoNoForceIsNull))
    return false;
  for (int i = 0; i < params_->Count(); ++i) {
    const TFIBXSQLVAR& var = params_->Vars(i);
    if (var.Standalone && var.IsNull() != var.LastValue.IsNull())
      return true;
  }
  return false;
}

void TFIBQuery::RebuildParams() {
  std::string text = parser_.Text();
  rewrite_applied_ = false;
  const bool force_is_null = !Options.contains(qoNoForceIsNull);
  // Only a standalone WHERE parameter without a value can be rewritten:
  // without one the text stays as it is and need not be scanned again.
  bool rewritable = false;
  for (int i = 0; i < params_->Count() && !rewritable; ++i) {
    const TFIBXSQLVAR& var = params_->Vars(i);
    rewritable = var.InWhere && var.Standalone && var.IsNull();
  }
  if (force_is_null && (executing_ || !preparing_) && rewritable) {
    std::vector<TParamEntry> entries;
    entries.reserve(params_->Count());
    for (int i = 0; i < params_->Count(); ++i) {
      const TFIBXSQLVAR& var = params_->Vars(i);
      entries.push_back({var.Name(),
                         static_cast<uint8_t>((var.InWhere ? pfInWhere : 0) |
                                              (var.Standalone ? pfStandalone : 0) |
                                              (var.Quoted() ? pfQuoted : 0)),
                         var.StartPos, var.EndPos});
    }
    TNullRewrite rewrite = RewriteNullComparisons(
        text, entries, [this](size_t i) { return params_->Vars(static_cast<int>(i)).IsNull(); });
    if (!rewrite.Replaced.empty()) {
      rewrite_applied_ = true;
      text = std::move(rewrite.Text);
    }
  }
  for (int i = 0; i < params_->Count(); ++i) {
    TFIBXSQLVAR& var = params_->Vars(i);
    if (var.Standalone)
      var.LastValue = var.IsNull() ? TVariant::Null() : TVariant();
  }
  const TPreprocessedSQL full =
      PreprocessParams(text, parser_.Kind(), false, ComponentPath(this), false, MacroChar);
  processed_sql_ = full.ServerText;
  std::unique_ptr<TFIBXSQLDA> described = NewParamList(full.Entries);
  described->HasDeferredSettings = params_->HasDeferredSettings;
  described_params_ = std::move(described);
  EncodeServerSQL();
  macro_changed_ = false;
  null_recheck_ = force_is_null && !executing_;
  FreeHandle();
}

// --- prepare ----------------------------------------------------------------

// Both paths to the server start here: no cursor left open, the links
// checked, the transaction started when the options ask for it.
void TFIBQuery::ReadyLinks() {
  if (open_)
    Close();
  link_.CheckDatabase();
  TFIBTransaction* t = Transaction();
  if (Options.contains(qoStartTransaction) && t && !t->Active())
    t->StartTransaction();
  link_.CheckTransaction();
}

void TFIBQuery::Prepare() {
  preparing_ = true;
  TFinally done([this] { preparing_ = false; });
  ReadyLinks();
  // Also after a text whose analysis failed, whatever the old parameters.
  if (!params_parsed_)
    SQLChanged();
  if (params_active_ && params_->Count() > 0) {
    if (NeedsParamRebuild())
      RebuildParams();
    else if (!server_sql_ready_)
      EncodeServerSQL();
  } else if (!server_sql_ready_) {
    EncodeServerSQL();
  }
  if (prepared_)
    return;
  if (OnlyBlanks(processed_sql_))
    RaiseClientError(37, {"Prepare"});
  try {
    AllocateAndPrepare();
  } catch (...) {
    if (handle_) {
      try {
        FreeHandle();
      } catch (...) {
        // The prepare's own error is the one to report.
      }
    }
    throw;
  }
  prepared_ = true;
}

void TFIBQuery::AllocateAndPrepare() {
  IIBClientLibrary& library = Library();
  CheckStatus(library.isc_dsql_alloc_statement2(StatusVector(), link_.DatabaseHandle(), &handle_),
              true);
  columns_->SetCount(1);
  // Length 0: the text is read up to its end (it holds no NUL), so texts
  // over 65,535 bytes are not cut by the 16-bit length.
  CheckStatus(library.isc_dsql_prepare(StatusVector(), link_.TransactionHandle(), &handle_, 0,
                                       server_sql_.c_str(), Dialect(), columns_->Area()),
              true);
  ReadStatementType();
  if (sql_type_ == SQLSelectForUpdate) {
    if (CursorName.empty())
      CursorName = RandomCursorName();
    CheckStatus(library.isc_dsql_set_cursor_name(StatusVector(), &handle_, CursorName.c_str(), 0),
                true);
  }
  switch (sql_type_) {
  case SQLGetSegment:
  case SQLPutSegment:
  case SQLStartTransaction:
    FreeHandle();
    RaiseClientError(2);
  case SQLSelect:
  case SQLInsert:
  case SQLUpdate:
  case SQLDelete:
  case SQLExecProcedure:
  case SQLSelectForUpdate:
    DescribeInputs();
    DescribeOutputs();
    break;
  default:
    break;
  }
}

void TFIBQuery::ReadStatementType() {
  IIBClientLibrary& library = Library();
  const char item = isc_info_sql_stmt_type;
  char reply[8] = {};
  CheckStatus(library.isc_dsql_sql_info(StatusVector(), &handle_, 1, &item, sizeof(reply), reply),
              true);
  if (reply[0] != isc_info_sql_stmt_type)
    RaiseClientError(0);
  // The length comes from the server: the value must lie inside the reply.
  const ISC_LONG length = library.isc_vax_integer(reply + 1, 2);
  if (length < 1 || length > 4)
    RaiseClientError(0);
  sql_type_ =
      static_cast<TFIBSQLTypes>(library.isc_vax_integer(reply + 3, static_cast<short>(length)));
}

void TFIBQuery::DescribeInputs() {
  TFIBXSQLDA& input = rewrite_applied_ ? *described_params_ : *params_;
  if (input.Count() == 0 || described_params_->Count() == 0)
    return;
  IIBClientLibrary& library = Library();
  if (CheckStatus(library.isc_dsql_describe_bind(StatusVector(), &handle_, Dialect(),
                                                 described_params_->Area()),
                  false) != 0)
    RaiseServerError(library, this);
  if (!rewrite_applied_) {
    const int described =
        std::min<int>(described_params_->Area()->sqld, described_params_->Count());
    for (int i = 0; i < std::min(params_->Count(), described); ++i) {
      TFIBXSQLVAR& own = params_->Vars(i);
      const TFIBXSQLVAR& server = described_params_->Vars(i);
      own.AdoptDescription(server);
      if (own.IsNull()) {
        own.TakeDescribedType();
      } else if ((own.SQLType() == SQL_TEXT || own.SQLType() == SQL_VARYING) &&
                 server.SQLType() == SQL_BLOB) {
        // A text for a blob travels as a blob written at execute.
        const std::string text(own.TextBytes());
        own.StoreStream(text, own.DescribedSubtype(), own.DescribedScale(), true);
      }
    }
  }
  described_params_->NameColumns();
}

void TFIBQuery::DescribeOutputs() {
  if (sql_type_ != SQLSelect && sql_type_ != SQLExecProcedure && sql_type_ != SQLSelectForUpdate) {
    columns_->SetCount(0);
    return;
  }
  const ISC_SHORT reported = columns_->Area()->sqld;
  if (reported <= 0) {
    columns_->SetCount(0);
  } else if (reported > columns_->Area()->sqln) {
    columns_->SetCount(reported);
    CheckStatus(Library().isc_dsql_describe(StatusVector(), &handle_, Dialect(), columns_->Area()),
                true);
  }
  columns_->NameColumns();
}

// --- execute ----------------------------------------------------------------

void TFIBQuery::BeforeExecuteStep() {
  if (BeforeExecute)
    BeforeExecute(this);
  TFIBTransaction* t = Transaction();
  if (!t)
    RaiseClientError(22, {ComponentPath(this)});
  columns_->ClearValues();
  if (Options.contains(qoStartTransaction) && !t->Active())
    t->StartTransaction();
  t->NotifySQLExecute(this, sql_type_, 0);
}

void TFIBQuery::AfterExecuteStep() {
  if (AfterExecute)
    AfterExecute(this);
  TFIBTransaction* t = Transaction();
  if (t)
    t->NotifySQLExecute(this, sql_type_, 1);
  params_->ResetModified();
  macro_changed_ = false;
  null_recheck_ = false;
  if (has_stream_params_) {
    for (TFIBXSQLDA* list : {params_.get(), described_params_.get()})
      for (int i = 0; i < list->Count(); ++i)
        list->Vars(i).DropPendingStream();
    has_stream_params_ = false;
  }
  if (Options.contains(qoAutoCommit) && t && t->Active()) {
    if (t->TimeoutAction() == TACommitRetaining)
      t->CommitRetaining();
    else if (!open_) // a commit would close the cursor and lose its rows
      t->Commit();
  }
}

void TFIBQuery::WritePendingStreams() {
  for (int i = 0; i < params_->Count(); ++i) {
    TFIBXSQLVAR& var = params_->Vars(i);
    const std::string* stream = var.PendingStream();
    if (!stream)
      continue;
    var.StoreNull(false);
    TFIBTransaction* t = Transaction();
    if (Options.contains(qoStartTransaction) && t && !t->Active())
      t->StartTransaction();
    var.SetBlobId(WriteBlob(Library(), link_.DatabaseHandle(), link_.TransactionHandle(),
                            var.DescribedSubtype(), *stream, this));
  }
}

XSQLDA* TFIBQuery::InputArea() {
  if (rewrite_applied_ && params_active_ && params_->Count() > 0) {
    for (int i = 0; i < described_params_->Count(); ++i) {
      TFIBXSQLVAR& target = described_params_->Vars(i);
      const TFIBXSQLVAR* source = params_->FindExact(target.Name());
      // A null value keeps the described type: an untyped entry is refused.
      if (!source || source->IsNull())
        target.StoreNull(true);
      else
        target.CopyValueFrom(*source);
    }
    return described_params_->Count() > 0 ? described_params_->Area() : nullptr;
  }
  return params_->Count() > 0 ? params_->Area() : nullptr;
}

void TFIBQuery::ExecQuery() {
  executing_ = true;
  TFinally done([this] { executing_ = false; });
  if (parser_.Kind() == KindDDL) {
    ExecuteImmediate();
    return;
  }
  if (const TFIBSQLTypes type = ImmediateType(); type != SQLUnknown) {
    ExecutePlain(type);
    return;
  }
  BeforeExecuteStep();
  if ((params_active_ && params_->Count() > 0) || !prepared_)
    Prepare();
  if (has_stream_params_)
    WritePendingStreams();
  XSQLDA* input = InputArea();
  const uint32_t start = os::TickCount();
  try {
    ExecuteByType(input);
  } catch (...) {
    exec_ticks_ = os::TickCount() - start;
    throw;
  }
  exec_ticks_ = os::TickCount() - start;
  AfterExecuteStep();
  if (!open_ && Options.contains(qoFreeHandleAfterExecute))
    FreeHandle();
}

void TFIBQuery::ExecuteByType(XSQLDA* input) {
  IIBClientLibrary& library = Library();
  switch (sql_type_) {
  case SQLSelect:
  case SQLSelectForUpdate:
    if (open_)
      Close();
    CheckStatus(library.isc_dsql_execute(StatusVector(), link_.TransactionHandle(), &handle_,
                                         Dialect(), input),
                true);
    open_ = true;
    bof_ = true;
    eof_ = false;
    record_count_ = 0;
    columns_->ClearValues();
    if (GoToFirstRecordOnExecute)
      Next();
    break;
  case SQLExecProcedure:
    if (CheckStatus(library.isc_dsql_execute2(StatusVector(), link_.TransactionHandle(), &handle_,
                                              Dialect(), input,
                                              columns_->Count() > 0 ? columns_->Area() : nullptr),
                    false) != 0)
      RaiseServerError(library, this);
    proc_executed_ = true;
    break;
  case SQLCommit:
    Transaction()->Commit();
    break;
  case SQLRollback:
    Transaction()->Rollback();
    break;
  default:
    CheckStatus(library.isc_dsql_execute(StatusVector(), link_.TransactionHandle(), &handle_,
                                         Dialect(), input),
                true);
    break;
  }
}

void TFIBQuery::ExecuteImmediate() {
  BeforeExecuteStep();
  if (processed_sql_.empty() || macro_changed_) {
    processed_sql_ = PreprocessParams(parser_.Text(), parser_.Kind(), false, ComponentPath(this),
                                      false, MacroChar)
                         .ServerText;
    EncodeServerSQL();
  } else if (!server_sql_ready_) {
    EncodeServerSQL();
  }
  if (has_stream_params_)
    WritePendingStreams();
  XSQLDA* input = InputArea();
  FreeHandle();
  CheckStatus(Library().isc_dsql_execute_immediate(StatusVector(), link_.DatabaseHandle(),
                                                   link_.TransactionHandle(), 0,
                                                   server_sql_.c_str(), Dialect(), input),
              true);
  AfterExecuteStep();
}

TFIBSQLTypes TFIBQuery::ImmediateType() const {
  // A prepared statement executes in one round trip already; parameters
  // need the server's description.
  if (!ImmediateWhenPlain || prepared_ || !params_parsed_ || !params_active_ ||
      params_->Count() > 0)
    return SQLUnknown;
  return PlainStatementType(parser_);
}

// The normal path's steps and checks in its order, with the prepare and the
// execute replaced by the one call.
void TFIBQuery::ExecutePlain(TFIBSQLTypes type) {
  BeforeExecuteStep();
  ReadyLinks();
  if (!server_sql_ready_)
    EncodeServerSQL();
  const uint32_t start = os::TickCount();
  try {
    CheckStatus(Library().isc_dsql_execute_immediate(StatusVector(), link_.DatabaseHandle(),
                                                     link_.TransactionHandle(), 0,
                                                     server_sql_.c_str(), Dialect(), nullptr),
                true);
  } catch (...) {
    exec_ticks_ = os::TickCount() - start;
    throw;
  }
  exec_ticks_ = os::TickCount() - start;
  sql_type_ = type;
  if (type == SQLExecProcedure)
    proc_executed_ = true;
  AfterExecuteStep();
}

// --- rows and release -------------------------------------------------------

TFIBXSQLDA* TFIBQuery::Next() {
  if (eof_)
    return nullptr;
  if (!open_)
    RaiseClientError(29, {"fetch next record", ComponentPath(this)});
  IIBClientLibrary& library = Library();
  RestoreDefaultFPUControlWord();
  const ISC_STATUS status = CheckStatus(
      library.isc_dsql_fetch(StatusVector(), &handle_, Dialect(), columns_->Area()), false);
  if (status == 0) {
    ++record_count_;
    bof_ = false;
    return columns_.get();
  }
  if (status == kNoMoreRows || StatusContains(kInvalidCursorReference)) {
    eof_ = true;
    return nullptr;
  }
  try {
    RaiseServerError(library, this);
  } catch (...) {
    try {
      Close();
    } catch (...) {
      // The fetch error is the one to report.
    }
    throw;
  }
}

bool TFIBQuery::Eof() {
  const bool at_end = eof_ || !open_;
  if (at_end && open_ && Options.contains(qoFreeHandleAfterExecute))
    FreeHandle();
  return at_end;
}

void TFIBQuery::Close() {
  closing_ = true;
  auto reset = [this] { closing_ = eof_ = bof_ = open_ = proc_executed_ = false; };
  try {
    if (handle_ && open_ && (sql_type_ == SQLSelect || sql_type_ == SQLSelectForUpdate)) {
      if (TFIBTransaction* t = Transaction())
        t->NotifySQLExecute(this, sql_type_, 2);
      IIBClientLibrary& library = Library();
      const ISC_STATUS status =
          CheckStatus(library.isc_dsql_free_statement(StatusVector(), &handle_, DSQL_close), false);
      if (StatusVector()[0] == 1 && status > 0 && !StatusContains(kInvalidStatementHandle) &&
          !StatusContains(kCursorAlreadyClosed))
        RaiseServerError(library, this);
    }
  } catch (...) {
    reset();
    if (Options.contains(qoFreeHandleAfterExecute)) {
      try {
        FreeHandle();
      } catch (...) {
      }
    }
    throw;
  }
  reset();
  if (Options.contains(qoFreeHandleAfterExecute))
    FreeHandle();
}

void TFIBQuery::FreeHandle() {
  columns_->SetCount(0);
  if (handle_) {
    TFinally done([this] {
      prepared_ = false;
      handle_ = 0;
    });
    IIBClientLibrary& library = Library();
    const ISC_STATUS status =
        CheckStatus(library.isc_dsql_free_statement(StatusVector(), &handle_, DSQL_drop), false);
    if (StatusVector()[0] == 1 && status > 0 && status != kInvalidStatementHandle)
      RaiseServerError(library, this);
    eof_ = true;
  }
  prepared_ = false;
  handle_ = 0;
}

void TFIBQuery::ForgetHandle(bool callServer) {
  if (callServer) {
    try {
      if (open_)
        Close();
    } catch (...) {
    }
    try {
      FreeHandle();
    } catch (...) {
    }
  }
  handle_ = 0;
  prepared_ = open_ = bof_ = proc_executed_ = false;
  eof_ = true;
}

void TFIBQuery::TransactionEnded() {
  // A commit or rollback (not retaining) closes the server's cursors.
  if (!open_ || (Transaction() && Transaction()->Active()))
    return;
  try {
    Close();
  } catch (...) {
  }
}

TFIBXSQLVAR& TFIBQuery::Fields(int index) {
  if (index < 0 || index >= columns_->Count())
    RaiseClientError(41, {"Field No: " + std::to_string(index)});
  return columns_->Vars(index);
}

TFIBXSQLVAR& TFIBQuery::FieldByName(std::string_view name) {
  TFIBXSQLVAR* field = columns_->ByName(name);
  if (!field)
    RaiseClientError(41, {name});
  return *field;
}

// --- batch ------------------------------------------------------------------

void TFIBQuery::ExecuteBatch(const std::vector<std::string>& texts) {
  TFIBDatabase* db = Database();
  if (texts.empty() || !db || db->IsFirebird() || db->ServerMajor() <= 7)
    return;
  std::vector<std::string> buffers;
  buffers.reserve(texts.size());
  for (const std::string& text : texts) {
    if (text.find('\0') != std::string::npos)
      RaiseClientErrorMessage(ComponentPath(this) +
                              ": a batch statement holds a NUL character; nothing was sent.");
    buffers.push_back(UnicodeText() ? Cp1252ToUtf8(text) : text);
  }
  std::vector<char*> pointers;
  for (std::string& buffer : buffers)
    pointers.push_back(buffer.data());
  TFIBTransaction* t = Transaction();
  if (Options.contains(qoStartTransaction) && t && !t->Active())
    t->StartTransaction();
  std::vector<ISC_ULONG> results(texts.size());
  CheckStatus(Library().isc_dsql_batch_execute_immed(
                  StatusVector(), link_.DatabaseHandle(), link_.TransactionHandle(), Dialect(),
                  static_cast<ISC_ULONG>(pointers.size()), pointers.data(), results.data()),
              true);
}

// --- TpFIBQuery -------------------------------------------------------------

void TpFIBQuery::ExecQuery() {
  for (;;) {
    try {
      TFIBQuery::ExecQuery();
      return;
    } catch (const EFIBError& e) {
      if (!OnExecuteError)
        throw;
      TDataAction action = daFail;
      OnExecuteError(this, e, action);
      if (action == daAbort)
        throw EAbort();
      if (action != daRetry)
        throw;
    }
  }
}

} // namespace nimbus
