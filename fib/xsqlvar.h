#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <ibase.h>

#include "fib/variant.h"

namespace nimbus {

class TFIBXSQLDA;
class TFIBQuery;

// Type codes beside ibase.h's: the 16-bit boolean of older servers, and a
// code below 2 meaning the entry has no type yet.
constexpr short SQL_BOOLEAN16 = 590;
constexpr short kNoTypeLimit = 2;

// One entry of a descriptor list: a parameter or a column. It owns the value
// buffer and null indicator its XSQLVAR record points at; a typed entry
// always owns at least one byte, because the client library reads through
// sqldata even for a zero-length text.
class TFIBXSQLVAR {
public:
  TFIBXSQLVAR(TFIBXSQLDA& list, int index);
  ~TFIBXSQLVAR();
  TFIBXSQLVAR(const TFIBXSQLVAR&) = delete;
  TFIBXSQLVAR& operator=(const TFIBXSQLVAR&) = delete;

  TFIBXSQLDA& List() const { return list_; }
  int Index() const { return index_; }
  const std::string& Name() const { return name_; }
  bool Quoted() const { return quoted_; }
  bool Modified() const { return modified_; }

  const XSQLVAR& Record() const { return *record_; }
  // The type code with the nullable bit cleared.
  short SQLType() const { return static_cast<short>(record_->sqltype & ~1); }
  bool Nullable() const { return (record_->sqltype & 1) != 0; }
  short SQLScale() const { return record_->sqlscale; }
  short SQLSubtype() const { return record_->sqlsubtype; }
  short SQLLen() const { return record_->sqllen; }

  // The types as last described, for values set before a prepare.
  short DescribedType() const { return described_type_; }
  short DescribedScale() const { return described_scale_; }
  short DescribedSubtype() const { return described_subtype_; }
  short DescribedLen() const { return described_len_; }

  // Marker facts of a parameter (its flag bits 0 and 1, its positions).
  bool InWhere = false;
  bool Standalone = false;
  size_t StartPos = 0;
  size_t EndPos = 0;
  // The null state seen at the last rewrite check: Null, or unassigned for
  // a value.
  TVariant LastValue;
  // Kept for character-set conversion; not used on this system's attachments.
  std::string PendingWideText;

  // A blob value still to be written at execute, or null.
  const std::string* PendingStream() const { return pending_stream_.get(); }

  bool IsNull() const;
  // Client error 33 for a value that has no 32-bit integer form.
  int32_t AsInteger() const;
  TVariant AsVariant() const;

  // Setters act on every entry of the list with the same name.
  void SetAsInteger(int32_t value);
  void SetAsString(std::string_view text);
  void LoadFromStream(std::string_view bytes);
  void SetIsNull(bool value);
  void Clear();

private:
  friend class TFIBXSQLDA;
  friend class TFIBQuery;

  void Bind(XSQLVAR* record);
  void SetName(std::string name, bool quoted);
  void NoteDescribed();
  // Sizes the buffers for the record's type, as after a describe.
  void AllocateForType(bool allowNoType);
  // Copies type and value from `other`; the buffers stay each one's own.
  void CopyValueFrom(const TFIBXSQLVAR& other);
  // Takes the described facts of the matching described entry.
  void AdoptDescription(const TFIBXSQLVAR& described);
  // A null own parameter takes the described type and stays null.
  void TakeDescribedType();
  void SetBlobId(ISC_QUAD id);
  void DropPendingStream() { pending_stream_.reset(); }

  // Single-entry forms of the setters.
  void StoreInteger(int32_t value);
  void StoreText(std::string_view bytes, short type);
  void StoreStream(std::string_view bytes, short subtype, short scale, bool keepNullable);
  void StoreNull(bool value);
  void SetType(short type, short length);
  void ResizeData(size_t size);
  void SetNullIndicator(bool nullable);
  void Changed(bool wasNull);

  std::string_view Text() const;
  std::string_view TextBytes() const;
  bool UnicodeText() const;
  bool TrimText() const;
  TVariant BlobAsVariant() const;

  TFIBXSQLDA& list_;
  int index_;
  std::string name_;
  bool quoted_ = false;
  bool modified_ = false;
  XSQLVAR* record_ = nullptr;
  std::vector<char> data_;
  short indicator_ = 0;
  short described_type_ = 0;
  short described_scale_ = 0;
  short described_subtype_ = 0;
  short described_len_ = 0;
  std::unique_ptr<std::string> pending_stream_;
};

} // namespace nimbus
