#include "fib/dpb.h"

#include "fib/errors.h"
#include "platform/exception.h"

#include <charconv>
#include <limits>
#include <stdexcept>

namespace nimbus {

const std::array<std::string_view, kDPBNameCount> DPBNameTable = {
    "cdd_pathname",
    "allocation",
    "journal",
    "page_size",
    "num_buffers",
    "buffer_length",
    "debug",
    "garbage_collect",
    "verify",
    "sweep",
    "enable_journal",
    "disable_journal",
    "dbkey_scope",
    "number_of_users",
    "trace",
    "no_garbage_collect",
    "damaged",
    "license",
    "sys_user_name",
    "encrypt_key",
    "activate_shadow",
    "sweep_interval",
    "delete_shadow",
    "force_write",
    "begin_log",
    "quit_log",
    "no_reserve",
    "user_name",
    "password",
    "password_enc",
    "sys_user_name_enc",
    "interp",
    "online_dump",
    "old_file_size",
    "old_num_files",
    "old_file",
    "old_start_page",
    "old_start_seqno",
    "old_start_file",
    "drop_walfile",
    "old_dump_id",
    "wal_backup_dir",
    "wal_chkptlen",
    "wal_numbufs",
    "wal_bufsize",
    "wal_grp_cmt_wait",
    "lc_messages",
    "lc_ctype",
    "cache_manager",
    "shutdown",
    "online",
    "shutdown_delay",
    "reserved",
    "overwrite",
    "sec_attach",
    "disable_wal",
    "connect_timeout",
    "dummy_packet_interval",
    "gbak_attach",
    "sql_role_name",
    "set_page_buffers",
    "working_directory",
    "sql_dialect",
    "set_db_readonly",
    "set_db_sql_dialect",
    "gfix_attach",
    "gstat_attach",
    "gbak_ods_version",
    "gbak_ods_minor_version",
    "set_group_commit",
    "gbak_validate",
    "client_interbase_var",
    "admin_option",
    "flush_interval",
    "instance_name",
    "old_overwrite",
    "archive_database",
    "archive_journals",
    "archive_sweep",
    "archive_dumps",
    "archive_recover",
    "recover_until",
    "force",
};

namespace {

enum DPBCode {
  kLicense = 18,
  kSysUserName = 19,
  kEncryptKey = 20,
  kActivateShadow = 21,
  kSweepInterval = 22,
  kDeleteShadow = 23,
  kForceWrite = 24,
  kBeginLog = 25,
  kQuitLog = 26,
  kNoReserve = 27,
  kUserName = 28,
  kPassword = 29,
  kPasswordEnc = 30,
  kOnlineDump = 33,
  kOldFileSize = 34,
  kOldFile = 36,
  kLcMessages = 47,
  kLcCtype = 48,
  kShutdown = 50,
  kOnline = 51,
  kShutdownDelay = 52,
  kOverwrite = 54,
  kConnectTimeout = 57,
  kDummyPacketInterval = 58,
  kSqlRoleName = 60,
  kSqlDialect = 63,
  kGbakOdsVersion = 68,
  kNoDbTriggers = 72,
  kInstanceName = 75,
  kUtf8Filename = 77,
  kNumBuffers = 5,
  kGarbageCollect = 8,
  kVerify = 9,
  kSweep = 10,
  kDbkeyScope = 13,
  kNoGarbageCollect = 16,
  kDamaged = 17,
};

constexpr std::size_t kMaxItemLength = 255;

constexpr std::pair<std::string_view, int> kShutdownModes[] = {
    {"attachment", 2}, {"cache", 1},   {"force", 8},   {"full", 64},       {"mode_mask", 112},
    {"multi", 32},     {"normal", 16}, {"single", 48}, {"transaction", 4},
};
constexpr char kRecords = 2; // isc_dpb_records

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    c = LowerAscii(c);
  return result;
}

std::string UpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    c = UpperAscii(c);
  return result;
}

// Client errors 8 and 9 quote the name, which may be a whole line such as a
// CREATE DATABASE clause; the token after the word PASSWORD is masked there.
std::string MaskPassword(std::string_view name) {
  auto isWordChar = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$';
  };
  constexpr std::string_view kWord = "password";
  std::string result;
  std::size_t i = 0;
  while (i < name.size()) {
    bool atWord = name.size() - i >= kWord.size() &&
                  LowerCase(name.substr(i, kWord.size())) == kWord &&
                  (i == 0 || !isWordChar(name[i - 1]));
    std::size_t after = i + kWord.size();
    if (!atWord || (after < name.size() && isWordChar(name[after]))) {
      result += name[i++];
      continue;
    }
    result += name.substr(i, kWord.size());
    std::size_t pos = after;
    while (pos < name.size() && static_cast<unsigned char>(name[pos]) <= 32)
      ++pos;
    if (pos >= name.size()) {
      result += name.substr(after);
      break;
    }
    result += name.substr(after, pos - after);
    std::size_t tokenEnd = pos;
    char quote = name[pos];
    if (quote == '\'' || quote == '"') {
      tokenEnd = pos + 1;
      for (;;) {
        std::size_t close = name.find(quote, tokenEnd);
        if (close == std::string_view::npos) {
          tokenEnd = name.size();
          break;
        }
        if (close + 1 < name.size() && name[close + 1] == quote) {
          tokenEnd = close + 2; // a doubled quote stands for one
          continue;
        }
        tokenEnd = close + 1;
        break;
      }
    } else {
      while (tokenEnd < name.size() && static_cast<unsigned char>(name[tokenEnd]) > 32)
        ++tokenEnd;
    }
    result += "****";
    i = tokenEnd;
  }
  return result;
}

void AppendText(std::string& dpb, int code, std::string_view value) {
  if (value.size() > kMaxItemLength)
    RaiseClientErrorMessage("DPB Constant (isc_dpb_" + std::string(DPBNameTable[code - 1]) +
                            ") value is longer than 255 bytes.");
  dpb += static_cast<char>(code);
  dpb += static_cast<char>(value.size());
  dpb += value;
}

void AppendByte(std::string& dpb, int code, int value) {
  dpb += static_cast<char>(code);
  dpb += '\1';
  dpb += static_cast<char>(value & 0xFF);
}

void AppendItem(std::string& dpb, int code, const std::string& name, const std::string& value,
                bool isFirebird) {
  switch (code) {
  case kLicense:
  case kSysUserName:
  case kEncryptKey:
  case kUserName:
  case kPassword:
  case kPasswordEnc:
  case kOldFile:
  case kLcMessages:
  case kLcCtype:
  case kSqlRoleName:
    AppendText(dpb, code, value);
    break;
  case kSqlDialect: {
    if (value.empty())
      throw MakeIntegerConvertError(value);
    std::string dialect = value;
    dialect[0] = static_cast<char>(dialect[0] - '0');
    AppendText(dpb, code, dialect);
    break;
  }
  case kGbakOdsVersion:
    if (isFirebird)
      AppendText(dpb, code, value);
    break;
  case kInstanceName:
    if (!isFirebird)
      AppendText(dpb, code, value);
    break;
  case kNumBuffers:
  case kVerify:
  case kDbkeyScope:
  case kDamaged:
  case kForceWrite:
  case kNoReserve:
  case kOnlineDump:
  case kOldFileSize:
  case kShutdownDelay:
  case kOverwrite:
  case kConnectTimeout:
  case kDummyPacketInterval:
    AppendByte(dpb, code, ParseParamInteger(value));
    break;
  case kGarbageCollect:
  case kNoGarbageCollect:
    AppendByte(dpb, code, 1);
    break;
  case kNoDbTriggers:
    if (isFirebird)
      AppendByte(dpb, code, 1);
    break;
  case kSweep:
    AppendByte(dpb, code, kRecords);
    break;
  case kActivateShadow:
  case kDeleteShadow:
  case kBeginLog:
  case kQuitLog:
    AppendByte(dpb, code, 0);
    break;
  case kSweepInterval: {
    std::uint32_t interval = static_cast<std::uint32_t>(ParseParamInteger(value));
    dpb += static_cast<char>(code);
    dpb += '\4';
    for (int shift = 0; shift < 32; shift += 8)
      dpb += static_cast<char>((interval >> shift) & 0xFF);
    break;
  }
  case kShutdown:
    if (value.empty()) {
      dpb += static_cast<char>(code);
      dpb += '\0';
    } else {
      AppendByte(dpb, code, ParseShutdownMode(value));
    }
    break;
  case kOnline:
    dpb += static_cast<char>(code);
    dpb += '\0';
    break;
  case kUtf8Filename:
    if (isFirebird) {
      dpb += static_cast<char>(code);
      dpb += '\0';
    }
    break;
  case 0:
    RaiseClientError(9, {MaskPassword(name)});
  default:
    RaiseClientError(8, {MaskPassword(DPBNameTable[code - 1])});
  }
}

} // namespace

std::int32_t ParseParamInteger(const std::string& value) {
  std::size_t start = 0;
  while (start < value.size() && value[start] == ' ')
    ++start;
  const char* first = value.data() + start;
  const char* last = value.data() + value.size();
  if (first != last && *first == '+')
    ++first;
  std::int32_t result = 0;
  auto [end, error] = std::from_chars(first, last, result);
  if (first == last || error != std::errc() || end != last)
    throw MakeIntegerConvertError(value);
  return result;
}

const std::vector<TParamName>& DPBLookupList() {
  static const std::vector<TParamName> list = [] {
    std::vector<TParamName> names;
    names.reserve(kDPBNameCount + 3);
    for (int i = 0; i < kDPBNameCount; ++i)
      names.push_back({DPBNameTable[i], i + 1});
    names.push_back({"no_db_triggers", kNoDbTriggers});
    names.push_back({"set_db_charset", kGbakOdsVersion});
    names.push_back({"utf8_filename", kUtf8Filename});
    return names;
  }();
  return list;
}

void InitDPBLookupList() {
  DPBLookupList();
}

int LookupDPBCode(std::string_view name) {
  for (const TParamName& entry : DPBLookupList())
    if (entry.Name == name)
      return entry.Code;
  return 0;
}

int ParseShutdownMode(std::string_view value) {
  int mode = 0;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find_first_of(",;", start);
    if (end == std::string_view::npos)
      end = value.size();
    std::string piece = LowerCase(value.substr(start, end - start));
    start = end + 1;
    if (piece.empty())
      continue;
    int bits = -1;
    if (piece[0] >= '0' && piece[0] <= '9') {
      bits = ParseParamInteger(piece);
    } else {
      for (auto [name, modeBits] : kShutdownModes)
        if (piece == name)
          bits = modeBits;
    }
    mode |= bits;
  }
  return mode;
}

void BuildDPB(TDBParams& params, std::string& dpb, std::int16_t& length, bool isFirebird) {
  std::string block(1, static_cast<char>(isc_dpb_version1));
  for (int i = 0; i < params.Count(); ++i) {
    std::string line = TrimmedLine(params[i]);
    if (line != params[i])
      params.Set(i, line);
    if (line.empty())
      continue;
    std::size_t eq = line.find('=');
    std::string name = eq == std::string::npos ? line : line.substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    name = LowerCase(name);
    if (name.starts_with("isc_dpb_"))
      name.erase(0, 8);
    AppendItem(block, LookupDPBCode(name), name, value, isFirebird);
  }
  // isc_attach_database takes the length as a 16-bit number.
  if (block.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
    RaiseClientErrorMessage("The database parameter block is longer than 32767 bytes.");
  dpb = std::move(block);
  length = static_cast<std::int16_t>(dpb.size());
}

std::string BuildDPB(TDBParams& params, bool isFirebird) {
  std::string dpb;
  std::int16_t length = 0;
  BuildDPB(params, dpb, length, isFirebird);
  return dpb;
}

int TDBParams::FindParamLine(std::string_view name) const {
  std::string wanted = UpperCase(name);
  for (int i = 0; i < Count(); ++i) {
    std::size_t pos = UpperCase(lines_[i]).find(wanted);
    if (pos == 0 || pos == 8)
      return i;
  }
  return -1;
}

std::string TDBParams::ReadParam(int code) const {
  if (code < 1 || code > kDPBNameCount)
    return {};
  int index = FindParamLine(DPBNameTable[code - 1]);
  if (index < 0)
    return {};
  const std::string& line = lines_[index];
  std::size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

void TDBParams::WriteParam(int code, const std::string& value) {
  if (code < 1 || code > kDPBNameCount)
    return;
  std::string_view name = DPBNameTable[code - 1];
  int index = FindParamLine(name);
  if (value.empty()) {
    if (index >= 0)
      Delete(index);
    return;
  }
  std::string line = std::string(name) + "=" + value;
  if (index >= 0)
    Set(index, std::move(line));
  else
    Add(std::move(line));
}

std::string TConnectParams::UserName() const {
  return params_.ReadParam(kUserName);
}
void TConnectParams::SetUserName(const std::string& value) {
  params_.WriteParam(kUserName, value);
}
std::string TConnectParams::RoleName() const {
  return params_.ReadParam(kSqlRoleName);
}
void TConnectParams::SetRoleName(const std::string& value) {
  params_.WriteParam(kSqlRoleName, value);
}
std::string TConnectParams::Password() const {
  return params_.ReadParam(kPassword);
}
void TConnectParams::SetPassword(const std::string& value) {
  params_.WriteParam(kPassword, value);
}
std::string TConnectParams::CharSet() const {
  return params_.ReadParam(kLcCtype);
}
void TConnectParams::SetCharSet(const std::string& value) {
  params_.WriteParam(kLcCtype, UpperCase(value));
}
std::string TConnectParams::TIB2007Params::InstanceName() const {
  return params_.ReadParam(kInstanceName);
}
void TConnectParams::TIB2007Params::SetInstanceName(const std::string& value) {
  params_.WriteParam(kInstanceName, value);
}

} // namespace nimbus
