#pragma once

#include <exception>
#include <string>

namespace nimbus {

// Root of the program's own exceptions. `Message` is 8-bit Windows-1252 text,
// the form in which it reaches the log and the window.
class Exception : public std::exception {
public:
  explicit Exception(std::string message = {}) : message_(std::move(message)) {}

  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

private:
  std::string message_;
};

// Data-access failures; the Firebird access layer's errors derive from it.
class EDatabaseError : public Exception {
public:
  using Exception::Exception;
};

// The silent abort: unwinds the current operation without an error message.
class EAbort : public Exception {
public:
  EAbort() : Exception("Operation aborted") {}
};

// A text that is not a valid number.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// An operating-system call failed. `ErrorCode` is the system's code (errno on
// this platform), 0 when the system gave none.
class EOSError : public Exception {
public:
  EOSError(int code, std::string message) : Exception(std::move(message)), code_(code) {}
  int ErrorCode() const { return code_; }

private:
  int code_;
};

// A file that could not be opened or read; the message names the file.
class EFileReadError : public EOSError {
public:
  using EOSError::EOSError;
};

// The system error for `code` with its description:
// "Erreur système.  Code : <code>.\r<description>", or the generic
// "Un appel à une fonction du système d'exploitation a échoué" for code 0.
EOSError MakeOSError(int code, const std::string& description);

// "'<value>' n'est pas une valeur entière correcte".
EConvertError MakeIntegerConvertError(const std::string& value);

// "'<value>' n'est pas une valeur en virgule flottante correcte".
EConvertError MakeFloatConvertError(const std::string& value);

} // namespace nimbus
