#include "app/script_source.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <system_error>
#include <utility>

#include "app/script_expiry.h"
#include "crypto/script_file.h"
#include "platform/exception.h"
#include "platform/os.h"
#include "platform/text.h"

namespace nimbus {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// Enough for any folder in use; past it the folder is not ours to fill.
constexpr int kNameAttempts = 1000;

std::string Stamp(std::time_t now) {
  const std::tm t = os::LocalTime(now);
  char text[80];
  std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02d", t.tm_mday, t.tm_mon + 1,
                t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

int LineOf(std::string_view text, std::size_t offset) {
  int line = 1;
  for (std::size_t i = 0; i < offset; ++i)
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
      ++line;
  return line;
}

} // namespace

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind(os::kPathSeparator);
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool ScriptExpired(const std::string& path, std::time_t now) {
  const std::optional<std::time_t> modified = os::FileModificationTime(path);
  return modified && ScriptExpired(*modified, now);
}

std::string ReadScriptText(const std::string& path) {
  return ScriptText(os::ReadFileBytes(path), path);
}

std::string ScriptText(std::string bytes, const std::string& path) {
  if (!bytes.starts_with(kUtf8Mark))
    return bytes;
  const std::string_view text = std::string_view(bytes).substr(kUtf8Mark.size());
  std::size_t bad = 0;
  std::optional<std::string> converted = Utf8ToCp1252Exact(text, &bad);
  if (!converted)
    throw Exception("Script \"" + path + "\", line " + std::to_string(LineOf(text, bad)) +
                    ": a character that Windows-1252 cannot hold, or malformed UTF-8");
  return std::move(*converted);
}

TTemporaryScript::TTemporaryScript(const std::string& source, std::time_t now,
                                   const std::uint8_t* key) {
  const std::string stem = FolderOf(source) + os::kPathSeparator + "{" + Stamp(now) + "}";
  std::FILE* file = nullptr;
  for (int n = 0; n < kNameAttempts && !file; ++n) {
    // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict on
    // "literal" + temporary string.
    path_ = stem;
    if (n > 0) {
      path_ += '-';
      path_ += std::to_string(n);
    }
    path_ += ".sql";
    file = os::CreateExclusiveFile(path_);
    if (!file && errno != EEXIST)
      break;
  }
  if (!file) {
    const int error = errno;
    const std::string failed = std::exchange(path_, std::string());
    throw EOSError(error, "Cannot create file \"" + failed + "\". " +
                              std::generic_category().message(error));
  }
  try {
    DecryptScriptFile(source, file, path_, key, 16, false);
  } catch (...) {
    std::fclose(file);
    os::DeleteFile(path_);
    throw;
  }
  if (std::fclose(file) != 0) {
    const int error = errno;
    os::DeleteFile(path_);
    throw EOSError(error, "Cannot write file \"" + path_ + "\". " +
                              std::generic_category().message(error));
  }
}

TTemporaryScript::~TTemporaryScript() {
  if (!path_.empty())
    os::DeleteFile(path_);
}

} // namespace nimbus
