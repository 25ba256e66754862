#include "fib/errors.h"

#include "fib/client_library.h"
#include "platform/component.h"
#include "platform/fpu.h"

#include <array>
#include <atomic>
#include <mutex>

namespace nimbus {

namespace {

struct ErrorPartsState {
  std::mutex lock; // ErrorPartsLock
  // Atomic so BuildMessage may read them without the lock.
  std::atomic<bool> showRaiserName = true;
  std::atomic<bool> showSQLMessage = true;
  std::atomic<bool> showServerMessage = true;
};

ErrorPartsState& PartsState() {
  static ErrorPartsState state;
  return state;
}

// Indexed by client-error number; empty entries are reserved numbers.
constexpr std::array<std::string_view, 85> kClientErrorMessages = [] {
  std::array<std::string_view, 85> m{};
  m[0] = "Unknown error.";
  m[2] = "Not permitted.";
  m[7] = "Operation cancelled at user's request.";
  m[8] = "DPB Constant (isc_dpb_%s) is unsupported.";
  m[9] = "DPB Constant (%s) is unknown.";
  m[10] = "TPB Constant (isc_tpb_%s) is unsupported.";
  m[11] = "TPB Constant (%s) is unknown.";
  m[12] = "%s: Cannot perform operation -- DB is not open.";
  m[13] = "Cannot perform operation -- DB is currently open.";
  m[14] = "Database name is missing.";
  m[15] = "%s :Transaction is not active.";
  m[16] = "%s :Transaction is active.";
  m[18] = "%s :No databases are listed in transaction component.";
  m[21] = "Database not assigned for %s.";
  m[22] = "Transaction not assigned for %s.";
  m[23] = "XSQLDA index out of range.";
  m[28] = "Can't %s because %s dataset open.";
  m[29] = "Can't %s because %s dataset closed.";
  m[30] = "Unknown SQL Data type (%d).";
  m[33] = "Invalid data conversion.";
  m[37] = "Can't %s , because  query is empty";
  m[41] = "Field \"%s\" not found.";
  m[51] = "SQL Parse Error in :%s \r\n\r\n%s";
  m[61] = "SQL Dialect invalid";
  m[65] = "Cannot perform operation -- service is not attached";
  m[66] = "Cannot perform operation -- service is attached";
  m[67] = "Server Name Missing";
  m[68] = "Query Parameters missing or incorrect";
  m[70] = "Unexpected Output buffer value";
  m[72] = "SPB Constant Not supported";
  m[73] = "SPB Constant Unknown";
  return m;
}();

// The client library's interpretation buffers.
constexpr int kMessageBufferSize = 20480;

void UpperFirst(std::string& text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
}

bool EndsWithFullStop(const std::string& text) {
  return !text.empty() && text.back() == '.';
}

std::string SQLCodeExplanation(IIBClientLibrary& library, ISC_LONG sqlcode) {
  std::string buffer(kMessageBufferSize, '\0');
  library.isc_sql_interprete(static_cast<short>(sqlcode), buffer.data(), 1024);
  buffer.resize(buffer.find('\0') == std::string::npos ? buffer.size() : buffer.find('\0'));
  std::string text;
  text.reserve(buffer.size());
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    if (buffer[i] == '\\' && i + 1 < buffer.size() && buffer[i + 1] == 'n')
      ++i; // the two characters "\n", not a line feed
    else
      text += buffer[i];
  }
  if (!text.empty()) {
    UpperFirst(text);
    if (!EndsWithFullStop(text))
      text += ".\r\n";
  }
  return text;
}

std::string InterpretStatus(IIBClientLibrary& library, const ISC_STATUS* status) {
  std::string result;
  std::string buffer(kMessageBufferSize, '\0');
  const ISC_STATUS* cursor = status;
  // Each message takes at least two entries of the vector, so a client that
  // keeps answering past that is looping, not reporting.
  for (int count = 0; count < ISC_STATUS_LENGTH / 2; ++count) {
    ISC_LONG length = library.fb_interpret(buffer.data(), kMessageBufferSize, &cursor);
    if (length <= 0)
      break;
    std::string message(buffer.data(), std::min<std::size_t>(length, kMessageBufferSize));
    UpperFirst(message);
    result += message;
    if (!EndsWithFullStop(result))
      result += '.';
    result += "\r\n";
  }
  return result;
}

} // namespace

ISC_STATUS* StatusVector() {
  thread_local ISC_STATUS_ARRAY status{};
  return status;
}

EFIBError::EFIBError(std::int32_t sqlCode, std::string message, const TComponent* raiser) {
  raiser_name_ = ComponentPath(raiser);
  custom_message_ = std::move(message);
  BuildMessage();
  sql_code_ = sqlCode;
  status_code_ = static_cast<std::int32_t>(StatusVector()[1]);
  raiser_ = raiser;
}

EFIBError::EFIBError(std::int32_t sqlCode, std::string serverMessage, std::string sqlMessage,
                     const TComponent* raiser)
    : sql_message_(std::move(sqlMessage)), server_message_(std::move(serverMessage)) {
  raiser_name_ = ComponentPath(raiser);
  BuildMessage();
  sql_code_ = sqlCode;
  status_code_ = static_cast<std::int32_t>(StatusVector()[1]);
  raiser_ = raiser;
}

void EFIBError::BuildMessage() {
  const ErrorPartsState& parts = PartsState();
  std::string message;
  if (parts.showRaiserName && raiser_name_.size() > 1)
    message += raiser_name_ + ":\r\n";
  if (parts.showSQLMessage)
    message += sql_message_;
  if (parts.showServerMessage)
    message += server_message_;
  message += custom_message_;
  SetMessage(std::move(message));
}

TErrorMessageParts ErrorMessageParts() {
  ErrorPartsState& state = PartsState();
  std::lock_guard guard(state.lock);
  return {state.showRaiserName, state.showSQLMessage, state.showServerMessage};
}

void SetErrorMessageParts(const TErrorMessageParts& parts) {
  ErrorPartsState& state = PartsState();
  std::lock_guard guard(state.lock);
  state.showRaiserName = parts.ShowRaiserName;
  state.showSQLMessage = parts.ShowSQLMessage;
  state.showServerMessage = parts.ShowServerMessage;
}

std::string FormatMessage(std::string_view format, std::initializer_list<TErrorArg> args) {
  std::string result;
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      result += c;
      continue;
    }
    char kind = format[++i];
    if (kind == '%') {
      result += '%';
    } else if (kind == 's' || kind == 'd') {
      if (next == args.end())
        continue;
      if (const auto* text = std::get_if<std::string_view>(&*next))
        result += *text;
      else
        result += std::to_string(std::get<std::int64_t>(*next));
      ++next;
    } else {
      result += c;
      result += kind;
    }
  }
  return result;
}

std::string_view ClientErrorFormat(int number) {
  if (number < 0 || number >= static_cast<int>(kClientErrorMessages.size()))
    return {};
  return kClientErrorMessages[number];
}

void RaiseClientError(int number, std::initializer_list<TErrorArg> args) {
  int code = number & 0x7F;
  throw EFIBClientError(code, FormatMessage(ClientErrorFormat(code), args), nullptr);
}

void RaiseClientErrorMessage(std::string message) {
  throw EFIBClientError(-1, std::move(message), nullptr);
}

void RaiseServerError(IIBClientLibrary& library, const TComponent* raiser) {
  ISC_STATUS* status = StatusVector();
  TErrorMessageParts parts = ErrorMessageParts();
  ISC_LONG sqlcode = library.isc_sqlcode(status);
  std::string sqlMessage = parts.ShowSQLMessage ? SQLCodeExplanation(library, sqlcode) : "";
  std::string serverMessage = parts.ShowServerMessage ? InterpretStatus(library, status) : "";
  throw EFIBInterBaseError(static_cast<std::int32_t>(sqlcode), std::move(serverMessage),
                           std::move(sqlMessage), raiser);
}

ISC_STATUS CheckStatus(ISC_STATUS status, bool raise, IIBClientLibrary& library,
                       const TComponent* raiser) {
  RestoreDefaultFPUControlWord();
  if (status > 0 && raise)
    RaiseServerError(library, raiser);
  return status;
}

bool IsConnectionLost(const EFIBError& error) {
  switch (error.StatusCode()) {
  case isc_att_shutdown:
  case isc_net_read_err:
  case isc_net_write_err:
  case isc_network_error:
  case isc_lost_db_connection:
  case isc_conn_lost:
  case isc_shutdown:
    return true;
  default:
    return false;
  }
}

} // namespace nimbus
