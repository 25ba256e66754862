// TFIBDatabase: what the attachment knows about its server and itself.

#include "fib/database.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "fib/errors.h"
#include "fib/query.h"

namespace nimbus {

namespace {

// Reply buffer sizes of the information requests.
constexpr int kIntegerInfoSize = 512;
constexpr int kFirebirdVersionSize = 512;
constexpr int kServerVersionSize = 1024;
constexpr int kUserNamesSize = 20480;

// Character sets whose text is Unicode.
constexpr int kUnicodeFSS = 3;
constexpr int kUTF8 = 4;
constexpr int kNewInterBaseUnicode[] = {8, 59, 64};

bool IsUnicodeName(const std::string& charset) {
  return charset == "UNICODE_FSS" || charset == "UTF8";
}

} // namespace

TServerVersion ParseServerVersion(std::string_view text) {
  TServerVersion version;
  int32_t* const parts[] = {&version.Major, &version.Minor, &version.Release, &version.Build};
  std::size_t next = 0;
  int64_t digits = 0;
  // The prefix ("WI-V") and the last character are never part of a number.
  for (std::size_t i = 4; i + 1 < text.size() && next < std::size(parts); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= '0' && c <= '9') {
      digits = std::min<int64_t>(digits * 10 + (c - '0'), std::numeric_limits<int32_t>::max());
      continue;
    }
    *parts[next++] = static_cast<int32_t>(digits);
    digits = 0;
  }
  return version;
}

int32_t TFIBDatabase::IntegerInfo(int item, int32_t fallback) {
  if (!client_library_)
    BindClientLibrary();
  char result[kIntegerInfoSize] = {};
  const char request = static_cast<char>(item);
  CheckStatus(client_library_->isc_database_info(StatusVector(), &handle_, 1, &request,
                                                 sizeof(result), result),
              true);
  if (static_cast<unsigned char>(result[0]) != item)
    return fallback;
  const ISC_LONG length = client_library_->isc_vax_integer(result + 1, 2);
  // A malformed reply must not read past the buffer.
  if (length < 0 || length > 4)
    return fallback;
  return client_library_->isc_vax_integer(result + 3, static_cast<short>(length));
}

std::string TFIBDatabase::TextInfo(int item, int bufferSize) {
  if (!client_library_)
    BindClientLibrary();
  std::vector<char> result(static_cast<std::size_t>(bufferSize), '\0');
  const char request = static_cast<char>(item);
  CheckStatus(client_library_->isc_database_info(StatusVector(), &handle_, 1, &request,
                                                 static_cast<short>(bufferSize), result.data()),
              true);
  // item, length (2 bytes), string count, then the first string with its
  // length byte; everything checked against the item's length and the buffer.
  if (static_cast<unsigned char>(result[0]) != item)
    return {};
  const ISC_LONG length = client_library_->isc_vax_integer(result.data() + 1, 2);
  const auto count = static_cast<unsigned char>(result[3]);
  const auto first = static_cast<unsigned char>(result[4]);
  if (count == 0 || length < 2 + first || 3 + length > bufferSize)
    return {};
  return std::string(result.data() + 5, first);
}

std::string TFIBDatabase::FirebirdVersionText() {
  return TextInfo(isc_info_firebird_version, kFirebirdVersionSize);
}

std::string TFIBDatabase::ServerVersionText() {
  return TextInfo(isc_info_version, kServerVersionSize);
}

int TFIBDatabase::DatabaseSQLDialect() {
  return IntegerInfo(isc_info_db_sql_dialect, 1);
}

int32_t TFIBDatabase::AttachmentId() {
  if (!Connected())
    return -1;
  if (attachment_id_ == -1)
    attachment_id_ = IntegerInfo(isc_info_attachment_id, -1);
  return attachment_id_;
}

int32_t TFIBDatabase::ODSMajorVersion() {
  return IntegerInfo(isc_info_ods_version, -1);
}

int32_t TFIBDatabase::ODSMinorVersion() {
  return IntegerInfo(isc_info_ods_minor_version, -1);
}

int32_t TFIBDatabase::AttachmentCharsetId() {
  return IntegerInfo(frb_info_att_charset, -1);
}

const std::vector<std::string>& TFIBDatabase::AttachedUserNames() {
  attached_users_.clear();
  if (!client_library_)
    BindClientLibrary();
  std::vector<char> result(kUserNamesSize, '\0');
  const char request = isc_info_user_names;
  CheckStatus(client_library_->isc_database_info(StatusVector(), &handle_, 1, &request,
                                                 kUserNamesSize, result.data()),
              true);
  // Each entry: the item, a 2-byte length, a name length byte, the name.
  // The walk ends at anything else (isc_info_end, isc_info_truncated) and at
  // an entry that does not fit what it claims.
  std::size_t at = 0;
  while (at + 4 <= result.size() && result[at] == isc_info_user_names) {
    const ISC_LONG entry = client_library_->isc_vax_integer(result.data() + at + 1, 2);
    const auto name_length = static_cast<unsigned char>(result[at + 3]);
    if (entry != 1 + name_length || at + 3 + entry > result.size())
      break;
    attached_users_.emplace_back(result.data() + at + 4, name_length);
    at += 3 + entry;
  }
  return attached_users_;
}

void TFIBDatabase::ResetServerVersion() {
  server_major_ = server_minor_ = server_release_ = server_build_ = -1;
}

void TFIBDatabase::ReadServerVersion() {
  const TServerVersion version =
      ParseServerVersion(is_firebird_ ? FirebirdVersionText() : ServerVersionText());
  server_major_ = version.Major;
  server_minor_ = version.Minor;
  server_release_ = version.Release;
  server_build_ = version.Build;
}

int32_t TFIBDatabase::ServerMajor() {
  CheckConnected(false);
  if (server_major_ == -1)
    ReadServerVersion();
  return server_major_;
}

int32_t TFIBDatabase::ServerMinor() {
  ServerMajor();
  return server_minor_;
}

int32_t TFIBDatabase::ServerRelease() {
  ServerMajor();
  return server_release_;
}

int32_t TFIBDatabase::ServerBuild() {
  ServerMajor();
  return server_build_;
}

bool TFIBDatabase::IsFirebirdServer() {
  CheckConnected(false);
  return !FirebirdVersionText().empty();
}

void TFIBDatabase::ReadFirebirdCharsetFacts() {
  const int32_t id = AttachmentCharsetId();
  charset_is_unicode_ = id >= 0 && id <= 255 && UnicodeCharsets().contains(id);
  charset_is_none_ = id == 0;
  charset_is_unicode_or_none_ = charset_is_unicode_ || charset_is_none_;
  is_firebird21_or_later_ = server_major_ > 2 || (server_major_ == 2 && server_minor_ >= 1);
  if (charset_is_unicode_or_none_ && is_firebird21_or_later_) {
    const int32_t ods_major = ODSMajorVersion();
    utf8_metadata_ = ods_major > 11 || (ods_major == 11 && ODSMinorVersion() >= 1);
  } else {
    utf8_metadata_ = false;
  }
}

void TFIBDatabase::ReadConnectionFacts() {
  is_firebird_ = !FirebirdVersionText().empty();
  ServerMajor();
  is_new_interbase_ = !is_firebird_ && server_major_ >= 8;
  if (is_firebird_ && server_major_ >= 2) {
    ReadFirebirdCharsetFacts();
    return;
  }
  // Only Firebird 2 and later reach the branch above: a flag kept from an
  // earlier attach would make transactions send a lock timeout to a server
  // that refuses it.
  is_firebird21_or_later_ = false;
  const std::string charset = connect_params_.CharSet();
  charset_is_unicode_ = IsUnicodeName(charset);
  charset_is_none_ = charset == "NONE" || charset.empty();
  charset_is_unicode_or_none_ = charset_is_unicode_ || charset_is_none_;
  utf8_metadata_ = false;
}

std::set<int> TFIBDatabase::UnicodeCharsets() const {
  std::set<int> ids = {kUnicodeFSS};
  if (Connected() && is_firebird_)
    ids.insert(kUTF8);
  if (Connected() && is_new_interbase_)
    ids.insert(std::begin(kNewInterBaseUnicode), std::end(kNewInterBaseUnicode));
  return ids;
}

bool TFIBDatabase::IsUnicodeCharset() const {
  if (Connected())
    return charset_is_unicode_;
  return IsUnicodeName(connect_params_.CharSet());
}

bool TFIBDatabase::IsUnicodeOrNoneCharset() const {
  if (Connected())
    return charset_is_unicode_or_none_;
  const std::string charset = connect_params_.CharSet();
  return IsUnicodeName(charset) || charset == "NONE" || charset.empty();
}

bool TFIBDatabase::IsUnicodeCharsetId(int id) const {
  if (!utf8_metadata_ && !charset_is_none_)
    return charset_is_unicode_ && id > 1;
  return id >= 0 && id <= 255 && UnicodeCharsets().contains(id);
}

std::vector<TVariant> TFIBDatabase::QueryColumns(const std::string& sql, std::optional<int> column,
                                                 TFIBTransaction* transaction) {
  TFIBTransaction& t = transaction ? *transaction : *internal_transaction_;
  std::vector<TVariant> values;
  TFIBQuery query;
  query.SetDatabase(this);
  query.SetTransaction(&t);
  query.SQL().Assign({sql});
  try {
    if (!t.Active())
      t.StartTransaction();
    query.ExecQuery();
    if (!column) {
      for (int i = 0; i < query.Columns().Count(); ++i)
        values.push_back(query.Fields(i).AsVariant());
    } else if (query.Columns().Count() > 0) {
      values.push_back(query.Fields(*column).AsVariant());
    }
    query.Close();
  } catch (...) {
    // The internal transaction ends either way; the first failure is the
    // one reported.
    if (!transaction && t.Active()) {
      try {
        t.Commit();
      } catch (...) {
      }
    }
    throw;
  }
  if (!transaction && t.Active())
    t.Commit();
  return values;
}

TVariant TFIBDatabase::QueryValue(const std::string& sql, int column,
                                  TFIBTransaction* transaction) {
  std::vector<TVariant> values = QueryColumns(sql, column, transaction);
  return values.empty() ? TVariant() : std::move(values.front());
}

std::vector<TVariant> TFIBDatabase::QueryValues(const std::string& sql,
                                                TFIBTransaction* transaction) {
  return QueryColumns(sql, std::nullopt, transaction);
}

TDateTime TFIBDatabase::ServerTime() {
  const TVariant value =
      QueryValue(sql_dialect_ >= 2 ? "SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE"
                                   : "SELECT CAST('NOW' AS DATE) from RDB$DATABASE",
                 0);
  // A number converts as days, as a date-time variant would take it.
  if (value.Is<TDateTime>())
    return value.Get<TDateTime>();
  if (value.Is<double>())
    return TDateTime{value.Get<double>()};
  if (value.Is<int32_t>())
    return TDateTime{static_cast<double>(value.Get<int32_t>())};
  if (value.Is<int64_t>())
    return TDateTime{static_cast<double>(value.Get<int64_t>())};
  RaiseClientError(33);
}

void TFIBDatabase::SynchronizeServerTime() {
  const TDateTime server = ServerTime();
  server_time_offset_ = Now().Value - server.Value;
}

} // namespace nimbus
