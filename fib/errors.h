#pragma once

#include "platform/exception.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

#include <ibase.h>

namespace nimbus {

class TComponent;
class IIBClientLibrary;

// The calling thread's status vector. Every client-library call of the access
// layer passes it, and RaiseServerError reads it, so an error always
// describes the failing call of its own thread.
ISC_STATUS* StatusVector();

// Root of the access layer's errors. `Message` is composed by BuildMessage
// from the raiser's path, the SQLCODE explanation, the server's messages and
// the client message, as the ErrorMessageParts switches allow.
class EFIBError : public EDatabaseError {
public:
  // A client error: `message` becomes CustomMessage.
  EFIBError(std::int32_t sqlCode, std::string message, const TComponent* raiser);
  // A server error: the interpreted status vector and SQLCODE explanation.
  EFIBError(std::int32_t sqlCode, std::string serverMessage, std::string sqlMessage,
            const TComponent* raiser);

  std::int32_t SQLCode() const { return sql_code_; }
  std::int32_t StatusCode() const { return status_code_; }
  const std::string& RaiserName() const { return raiser_name_; }
  const std::string& SQLMessage() const { return sql_message_; }
  const std::string& ServerMessage() const { return server_message_; }
  const std::string& CustomMessage() const { return custom_message_; }
  // Not owned; may be gone by the time the error is handled.
  const TComponent* Raiser() const { return raiser_; }

  void BuildMessage();

private:
  std::int32_t sql_code_ = 0;
  std::int32_t status_code_ = 0;
  std::string raiser_name_;
  std::string sql_message_;
  std::string server_message_;
  std::string custom_message_;
  const TComponent* raiser_ = nullptr;
};

// A client-library call returned a failure status.
class EFIBInterBaseError : public EFIBError {
public:
  using EFIBError::EFIBError;
};

// One of the access layer's own checks failed; SQLCode is the client-error
// number, or -1 for an error without one.
class EFIBClientError : public EFIBError {
public:
  using EFIBError::EFIBError;
};

// Whether `error` says the attachment is gone (server shut down, attachment
// killed, network failure): every later request on it fails the same way.
// Keyed on the status code: SQLCODE -902 is shared with other errors.
bool IsConnectionLost(const EFIBError& error);

// Which parts BuildMessage puts into an error's Message. All on at start-up.
struct TErrorMessageParts {
  bool ShowRaiserName = true;
  bool ShowSQLMessage = true;
  bool ShowServerMessage = true;
};
// Read and replaced under ErrorPartsLock.
TErrorMessageParts ErrorMessageParts();
void SetErrorMessageParts(const TErrorMessageParts& parts);

// One argument of a client-error message: text for "%s", a number for "%d".
using TErrorArg = std::variant<std::string_view, std::int64_t>;

// Substitutes `args` in order for the "%s" and "%d" placeholders of `format`
// ("%%" gives "%"). Argument text is copied as is, never read as a format; a
// placeholder without an argument gives nothing.
std::string FormatMessage(std::string_view format, std::initializer_list<TErrorArg> args);

// The client-error table's format for `number`; empty for a reserved number.
std::string_view ClientErrorFormat(int number);

// Raises EFIBClientError number & 0x7F with its table message, no raiser.
[[noreturn]] void RaiseClientError(int number, std::initializer_list<TErrorArg> args = {});
// Raises EFIBClientError with SQLCode -1 and `message`, no raiser.
[[noreturn]] void RaiseClientErrorMessage(std::string message);

// Raises EFIBInterBaseError from the calling thread's StatusVector,
// interpreted through `library` (the one bound to the failing call).
[[noreturn]] void RaiseServerError(IIBClientLibrary& library, const TComponent* raiser);

// The shared part of each class's CheckStatus: restores the process's default
// floating-point control word (the client library may change it), then
// raises through `library` when `status` is a failure and `raise` is set.
ISC_STATUS CheckStatus(ISC_STATUS status, bool raise, IIBClientLibrary& library,
                       const TComponent* raiser);

} // namespace nimbus
