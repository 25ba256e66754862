#include "platform/ui_support.h"

#include <utility>

#include "platform/text.h"

namespace nimbus {

std::string DisplayText(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      lines += c;
      continue;
    }
    lines += '\n';
    const char pair = c == '\r' ? '\n' : '\r';
    if (i + 1 < text.size() && text[i + 1] == pair)
      ++i;
  }
  return Cp1252ToUtf8(lines);
}

std::string StripMnemonic(std::string_view label) {
  std::string plain;
  for (std::size_t i = 0; i < label.size(); ++i) {
    if (label[i] == '&' && i + 1 < label.size())
      ++i;
    plain += label[i];
  }
  return plain;
}

char MnemonicLetter(std::string_view label) {
  for (std::size_t i = 0; i + 1 < label.size(); ++i) {
    if (label[i] != '&')
      continue;
    if (label[i + 1] != '&')
      return label[i + 1];
    ++i;
  }
  return 0;
}

void CallbackGuard::Call(const std::function<void()>& callback) noexcept {
  if (!callback)
    return;
  try {
    auto run = callback;
    run();
  } catch (...) {
    if (!error_)
      error_ = std::current_exception();
    onError_();
  }
}

void CallbackGuard::RethrowIfFailed() {
  if (error_)
    std::rethrow_exception(std::exchange(error_, nullptr));
}

} // namespace nimbus
