#include "fib/xsqlvar.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "fib/errors.h"
#include "fib/query.h"
#include "fib/xsqlda.h"
#include "platform/text.h"

namespace nimbus {

namespace {

constexpr size_t kMaxInlineText = 32767;

template <typename T> T Load(const std::vector<char>& data) {
  T value{};
  std::memcpy(&value, data.data(), std::min(sizeof(T), data.size()));
  return value;
}

bool IsNumericType(short type) {
  switch (type) {
  case SQL_DOUBLE:
  case SQL_FLOAT:
  case SQL_LONG:
  case SQL_SHORT:
  case SQL_D_FLOAT:
  case SQL_INT64:
    return true;
  default:
    return false;
  }
}

bool IsDateTimeType(short type) {
  return type == SQL_TIMESTAMP || type == SQL_TYPE_DATE || type == SQL_TYPE_TIME;
}

// Size the client library reads or writes for a fixed-size type, whatever
// sqllen the server claimed.
size_t NaturalSize(short type) {
  switch (type) {
  case SQL_SHORT:
  case SQL_BOOLEAN16:
    return 2;
  case SQL_LONG:
  case SQL_FLOAT:
  case SQL_TYPE_TIME:
  case SQL_TYPE_DATE:
    return 4;
  case SQL_BOOLEAN:
    return 1;
  default:
    return 8;
  }
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

constexpr int64_t kPowersOfTen[] = {1,
                                    10,
                                    100,
                                    1'000,
                                    10'000,
                                    100'000,
                                    1'000'000,
                                    10'000'000,
                                    100'000'000,
                                    1'000'000'000,
                                    10'000'000'000,
                                    100'000'000'000,
                                    1'000'000'000'000,
                                    10'000'000'000'000,
                                    100'000'000'000'000,
                                    1'000'000'000'000'000,
                                    10'000'000'000'000'000,
                                    100'000'000'000'000'000,
                                    1'000'000'000'000'000'000};

[[noreturn]] void InvalidConversion() {
  RaiseClientError(33);
}

int32_t CheckedInt32(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    InvalidConversion();
  return static_cast<int32_t>(value);
}

// value × 10^scale truncated toward zero; the exact power of ten, never a
// rounded factor such as 0.1.
int32_t ScaledToInt32(int64_t value, short scale) {
  if (scale < 0) {
    if (-scale >= static_cast<int>(std::size(kPowersOfTen)))
      return 0; // |value| < 10^19
    return CheckedInt32(value / kPowersOfTen[-scale]);
  }
  if (value == 0)
    return 0;
  if (scale >= static_cast<int>(std::size(kPowersOfTen)))
    InvalidConversion();
  int64_t result = 0;
  if (__builtin_mul_overflow(value, kPowersOfTen[scale], &result))
    InvalidConversion();
  return CheckedInt32(result);
}

double ScaledToDouble(int64_t value, short scale) {
  if (scale < 0)
    return -scale < static_cast<int>(std::size(kPowersOfTen))
               ? static_cast<double>(value) / static_cast<double>(kPowersOfTen[-scale])
               : static_cast<double>(value) / std::pow(10.0, -scale);
  return static_cast<double>(value) * std::pow(10.0, scale);
}

int32_t DoubleToInt32(double value) {
  // NaN fails both comparisons.
  if (!(value > -2147483649.0 && value < 2147483648.0))
    InvalidConversion();
  return static_cast<int32_t>(value);
}

int32_t TextToInt32(std::string_view text) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty())
    InvalidConversion();
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      InvalidConversion();
    value = value * 10 + (c - '0');
    if (value > int64_t{1} << 32)
      InvalidConversion();
  }
  return CheckedInt32(negative ? -value : value);
}

bool IsDbKeyName(const std::string& name) {
  return name == "DB_KEY" || name == "RDB$DB_KEY";
}

} // namespace

TFIBXSQLVAR::TFIBXSQLVAR(TFIBXSQLDA& list, int index) : list_(list), index_(index) {}

TFIBXSQLVAR::~TFIBXSQLVAR() = default;

void TFIBXSQLVAR::Bind(XSQLVAR* record) {
  record_ = record;
}

void TFIBXSQLVAR::SetName(std::string name, bool quoted) {
  name_ = std::move(name);
  quoted_ = quoted;
}

void TFIBXSQLVAR::NoteDescribed() {
  described_type_ = SQLType();
  described_scale_ = record_->sqlscale;
  described_subtype_ = record_->sqlsubtype;
  described_len_ = record_->sqllen;
}

void TFIBXSQLVAR::ResizeData(size_t size) {
  data_.assign(std::max<size_t>(size, 1), 0);
  record_->sqldata = data_.data();
}

void TFIBXSQLVAR::SetNullIndicator(bool nullable) {
  if (nullable) {
    record_->sqltype = static_cast<ISC_SHORT>(record_->sqltype | 1);
    record_->sqlind = &indicator_;
  } else {
    record_->sqltype = static_cast<ISC_SHORT>(record_->sqltype & ~1);
    record_->sqlind = nullptr;
  }
}

void TFIBXSQLVAR::SetType(short type, short length) {
  record_->sqltype = static_cast<ISC_SHORT>(type | (record_->sqltype & 1));
  record_->sqllen = length;
}

void TFIBXSQLVAR::AllocateForType(bool allowNoType) {
  const short type = SQLType();
  const size_t length = static_cast<size_t>(std::max<ISC_SHORT>(record_->sqllen, 0));
  switch (type) {
  case SQL_BLOB:
  case SQL_SHORT:
  case SQL_LONG:
  case SQL_FLOAT:
  case SQL_DOUBLE:
  case SQL_TIMESTAMP:
  case SQL_D_FLOAT:
  case SQL_ARRAY:
  case SQL_QUAD:
  case SQL_TYPE_TIME:
  case SQL_TYPE_DATE:
  case SQL_INT64:
  case SQL_BOOLEAN16:
  case SQL_BOOLEAN:
    ResizeData(std::max(length, NaturalSize(type)));
    break;
  case SQL_VARYING:
    ResizeData(length + 2);
    break;
  case SQL_TEXT:
  case SQL_NULL:
    ResizeData(length);
    break;
  default:
    if (type >= kNoTypeLimit || !allowNoType)
      RaiseClientError(30, {int64_t{type}});
    break;
  }
  SetNullIndicator(Nullable());
  indicator_ = 0;
}

// --- reading ----------------------------------------------------------------

bool TFIBXSQLVAR::IsNull() const {
  if (pending_stream_)
    return false;
  if (const TFIBQuery* statement = list_.Statement(); statement && !list_.IsParamList() &&
                                                      statement->RecordCount() == 0 &&
                                                      !statement->ProcExecuted())
    return true;
  if (Nullable() && record_->sqlind && *record_->sqlind == -1)
    return true;
  return SQLType() < kNoTypeLimit;
}

std::string_view TFIBXSQLVAR::TextBytes() const {
  const size_t length = static_cast<size_t>(std::max<ISC_SHORT>(record_->sqllen, 0));
  if (SQLType() == SQL_VARYING) {
    if (data_.size() < 2)
      return {};
    // The prefix comes from the server: never beyond sqllen or the buffer.
    const size_t prefix = Load<uint16_t>(data_);
    return {data_.data() + 2, std::min({prefix, length, data_.size() - 2})};
  }
  return {data_.data(), std::min(length, data_.size())};
}

bool TFIBXSQLVAR::UnicodeText() const {
  const TFIBQuery* statement = list_.Statement();
  const int charset = record_->sqlsubtype & 0xFF;
  return statement && statement->UnicodeText() && (charset == 3 || charset == 4);
}

bool TFIBXSQLVAR::TrimText() const {
  const TFIBQuery* statement = list_.Statement();
  return statement && statement->Options.contains(qoTrimCharFields);
}

int32_t TFIBXSQLVAR::AsInteger() const {
  if (IsNull())
    return 0;
  switch (SQLType()) {
  case SQL_SHORT:
    return ScaledToInt32(Load<int16_t>(data_), record_->sqlscale);
  case SQL_LONG:
    return ScaledToInt32(Load<int32_t>(data_), record_->sqlscale);
  case SQL_INT64:
    return ScaledToInt32(Load<int64_t>(data_), record_->sqlscale);
  case SQL_FLOAT:
    return DoubleToInt32(Load<float>(data_));
  case SQL_DOUBLE:
  case SQL_D_FLOAT:
    return DoubleToInt32(Load<double>(data_));
  case SQL_TEXT:
  case SQL_VARYING:
    return TextToInt32(TextBytes());
  case SQL_BOOLEAN16:
    return Load<int16_t>(data_);
  case SQL_BOOLEAN:
    return data_[0] != 0 ? 1 : 0;
  case SQL_NULL:
    return 0;
  default:
    InvalidConversion();
  }
}

TVariant TFIBXSQLVAR::AsVariant() const {
  if (IsNull())
    return TVariant::Null();
  // Not written yet: the value is the pending content, not a blob id.
  if (pending_stream_)
    return TVariant(*pending_stream_);
  const short scale = record_->sqlscale;
  switch (SQLType()) {
  case SQL_SHORT:
    return scale == 0 ? TVariant(int32_t{Load<int16_t>(data_)})
                      : TVariant(ScaledToDouble(Load<int16_t>(data_), scale));
  case SQL_LONG:
    return scale == 0 ? TVariant(Load<int32_t>(data_))
                      : TVariant(ScaledToDouble(Load<int32_t>(data_), scale));
  case SQL_INT64:
    return scale == 0 ? TVariant(Load<int64_t>(data_))
                      : TVariant(ScaledToDouble(Load<int64_t>(data_), scale));
  case SQL_FLOAT:
    return TVariant(static_cast<double>(Load<float>(data_)));
  case SQL_DOUBLE:
  case SQL_D_FLOAT:
    return TVariant(Load<double>(data_));
  case SQL_TEXT:
  case SQL_VARYING: {
    std::string text = UnicodeText() ? Utf8ToCp1252(TextBytes()) : std::string(TextBytes());
    if (TrimText())
      text = std::string(TrimBlanks(text));
    return TVariant(std::move(text));
  }
  case SQL_BLOB:
    return BlobAsVariant();
  case SQL_TIMESTAMP:
    return TVariant(FromIscTimestamp(Load<ISC_TIMESTAMP>(data_)));
  case SQL_TYPE_DATE:
    return TVariant(FromIscDate(Load<ISC_DATE>(data_)));
  case SQL_TYPE_TIME:
    return TVariant(FromIscTime(Load<ISC_TIME>(data_)));
  case SQL_ARRAY:
    return TVariant(std::string("(Array)"));
  case SQL_BOOLEAN16:
    return TVariant(Load<int16_t>(data_) != 0);
  case SQL_BOOLEAN:
    return TVariant(data_[0] != 0);
  case SQL_NULL:
    return TVariant::Null();
  default:
    InvalidConversion();
  }
}

TVariant TFIBXSQLVAR::BlobAsVariant() const {
  TFIBQuery* statement = list_.Statement();
  if (!statement)
    InvalidConversion();
  std::string content = statement->ReadBlobValue(Load<ISC_QUAD>(data_));
  if (UnicodeText())
    content = Utf8ToCp1252(content);
  return TVariant(std::move(content));
}

// --- setting ----------------------------------------------------------------

void TFIBXSQLVAR::Changed(bool wasNull) {
  modified_ = true;
  TFIBQuery* statement = list_.Statement();
  if (Standalone && statement && !statement->Options.contains(qoNoForceIsNull) &&
      wasNull != IsNull())
    statement->MarkNullRecheck();
}

void TFIBXSQLVAR::StoreNull(bool value) {
  if (!value) {
    if (Nullable())
      indicator_ = 0;
    return;
  }
  if (SQLType() < kNoTypeLimit) {
    SetType(SQL_TEXT, 0);
    ResizeData(0);
  }
  if (!Nullable())
    SetNullIndicator(true);
  indicator_ = -1;
}

void TFIBXSQLVAR::StoreInteger(int32_t value) {
  const bool was_null = IsNull();
  pending_stream_.reset();
  record_->sqlscale = 0;
  ResizeData(sizeof(value));
  SetType(SQL_LONG, sizeof(value));
  std::memcpy(data_.data(), &value, sizeof(value));
  StoreNull(false);
  Changed(was_null);
}

void TFIBXSQLVAR::StoreText(std::string_view bytes, short type) {
  const bool was_null = IsNull();
  pending_stream_.reset();
  if (IsDbKeyName(name_) && SQLType() >= kNoTypeLimit) {
    std::memcpy(data_.data(), bytes.data(), std::min(bytes.size(), data_.size()));
    StoreNull(false);
    Changed(was_null);
    return;
  }
  std::string value(bytes);
  if (IsNumericType(type))
    std::replace(value.begin(), value.end(), ',', '.');
  record_->sqlscale = 0;
  ResizeData(value.size());
  SetType(SQL_TEXT, static_cast<short>(value.size()));
  std::memcpy(data_.data(), value.data(), value.size());
  StoreNull(value.empty() && (IsNumericType(type) || IsDateTimeType(type)));
  Changed(was_null);
}

void TFIBXSQLVAR::StoreStream(std::string_view bytes, short subtype, short scale,
                              bool keepNullable) {
  const bool was_null = IsNull();
  pending_stream_ = std::make_unique<std::string>(bytes);
  if (keepNullable) {
    SetType(SQL_BLOB, sizeof(ISC_QUAD));
  } else {
    record_->sqltype = SQL_BLOB;
    record_->sqllen = sizeof(ISC_QUAD);
    SetNullIndicator(false);
  }
  record_->sqlsubtype = subtype;
  record_->sqlscale = scale;
  ResizeData(sizeof(ISC_QUAD));
  if (TFIBQuery* statement = list_.Statement())
    statement->MarkStreamParams();
  Changed(was_null);
}

void TFIBXSQLVAR::SetAsInteger(int32_t value) {
  for (TFIBXSQLVAR* var : list_.SameNamed(*this))
    var->StoreInteger(value);
}

void TFIBXSQLVAR::SetAsString(std::string_view text) {
  const TFIBQuery* statement = list_.Statement();
  // Converted before the length test: the limit is on what the server gets.
  std::string converted;
  if (statement && statement->UnicodeText()) {
    converted = Cp1252ToUtf8(text);
    text = converted;
  }
  const bool prepared = statement && statement->Prepared();
  for (TFIBXSQLVAR* var : list_.SameNamed(*this)) {
    const short type = prepared ? var->described_type_ : 0;
    if (text.size() > kMaxInlineText || type == SQL_BLOB)
      var->StoreStream(text, var->described_subtype_, var->described_scale_, true);
    else
      var->StoreText(text, type);
  }
}

void TFIBXSQLVAR::LoadFromStream(std::string_view bytes) {
  for (TFIBXSQLVAR* var : list_.SameNamed(*this))
    var->StoreStream(bytes, var->record_->sqlsubtype, var->record_->sqlscale, false);
}

void TFIBXSQLVAR::SetIsNull(bool value) {
  for (TFIBXSQLVAR* var : list_.SameNamed(*this)) {
    const bool was_null = var->IsNull();
    if (value)
      var->pending_stream_.reset();
    var->StoreNull(value);
    var->Changed(was_null);
  }
}

void TFIBXSQLVAR::Clear() {
  for (TFIBXSQLVAR* var : list_.SameNamed(*this)) {
    const bool was_null = var->IsNull();
    var->PendingWideText.clear();
    var->pending_stream_.reset();
    var->StoreNull(true);
    var->Changed(was_null);
  }
}

// --- statement-side moves ----------------------------------------------------

void TFIBXSQLVAR::CopyValueFrom(const TFIBXSQLVAR& other) {
  record_->sqltype = other.record_->sqltype;
  record_->sqlscale = other.record_->sqlscale;
  record_->sqlsubtype = other.record_->sqlsubtype;
  record_->sqllen = other.record_->sqllen;
  data_ = other.data_;
  if (data_.empty())
    data_.assign(1, 0);
  record_->sqldata = data_.data();
  indicator_ = other.indicator_;
  record_->sqlind = Nullable() ? &indicator_ : nullptr;
}

void TFIBXSQLVAR::AdoptDescription(const TFIBXSQLVAR& described) {
  described_type_ = described.SQLType();
  described_scale_ = described.record_->sqlscale;
  described_subtype_ = described.record_->sqlsubtype;
  described_len_ = described.record_->sqllen;
}

void TFIBXSQLVAR::TakeDescribedType() {
  record_->sqltype = static_cast<ISC_SHORT>(described_type_ | 1);
  record_->sqlscale = described_scale_;
  record_->sqlsubtype = described_subtype_;
  record_->sqllen = described_len_;
  AllocateForType(true);
  indicator_ = -1;
}

void TFIBXSQLVAR::SetBlobId(ISC_QUAD id) {
  pending_stream_.reset();
  StoreNull(false);
  SetType(SQL_BLOB, sizeof(id));
  ResizeData(sizeof(id));
  std::memcpy(data_.data(), &id, sizeof(id));
}

} // namespace nimbus
