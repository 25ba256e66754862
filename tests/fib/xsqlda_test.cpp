#include "fib/xsqlda.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include <gtest/gtest.h>

#include "fib/errors.h"
#include "tests/fib/expect_client_error.h"

namespace nimbus {
namespace {

using test::ExpectClientError;

template <typename T> std::string Bytes(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

std::string Varying(uint16_t prefix, const std::string& text) {
  return Bytes(prefix) + text;
}

// Entry 0 of `list` described as the server would describe it, holding the
// raw bytes a fetch would write.
TFIBXSQLVAR& Described(TFIBXSQLDA& list, short type, short len, short scale,
                       const std::string& raw) {
  list.SetCount(1);
  XSQLVAR& r = list.Area()->sqlvar[0];
  r.sqltype = type;
  r.sqllen = len;
  r.sqlscale = scale;
  list.NameColumns();
  if (!raw.empty())
    std::memcpy(r.sqldata, raw.data(), raw.size());
  return list.Vars(0);
}

TEST(xsqlda, area_is_sized_by_the_client_layout_and_only_grows) {
  TFIBXSQLDA list(false);
  EXPECT_EQ(list.Area(), nullptr);
  list.SetCount(3);
  ASSERT_NE(list.Area(), nullptr);
  EXPECT_EQ(list.AreaSize(), sizeof(XSQLDA) + 2 * sizeof(XSQLVAR));
  EXPECT_EQ(list.Area()->version, SQLDA_VERSION1);
  EXPECT_EQ(list.Area()->sqln, 3);
  list.SetCount(1);
  EXPECT_EQ(list.Capacity(), 3);
  EXPECT_EQ(list.AreaSize(), XSQLDA_LENGTH(3));
  EXPECT_EQ(list.Area()->sqln, 1);
  EXPECT_EQ(list.Area()->sqld, 1);
  for (int index : {-1, 1}) {
    SCOPED_TRACE(index);
    ExpectClientError([&] { list.Vars(index); }, 23, "XSQLDA index out of range.");
  }
}

TEST(xsqlda, a_grown_area_holds_no_stale_bytes) {
  // Whatever the allocator hands back, every record starts zeroed: the
  // client library reads sqlsubtype and sqlscale of every input entry.
  for (int n : {1, 2, 5, 40}) {
    SCOPED_TRACE(n);
    { std::vector<char> junk(XSQLDA_LENGTH(n) + 64, '\xAA'); }
    TFIBXSQLDA list(true);
    list.SetCount(n);
    const XSQLDA* area = list.Area();
    for (int i = 0; i < n; ++i) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(&area->sqlvar[i]);
      EXPECT_TRUE(
          std::all_of(bytes, bytes + sizeof(XSQLVAR), [](unsigned char b) { return b == 0; }))
          << "record " << i;
    }
  }
}

TEST(xsqlda, columns_are_named_from_their_aliases_without_clashes) {
  const std::string long_name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"; // 31 bytes
  struct Case {
    std::string alias;
    short alias_length;
    std::string name;
  };
  const Case cases[] = {
      {"ID", 2, "ID"},
      {"ID", 2, "ID1"},
      {"ID", 2, "ID2"},
      {"", 0, "F_1"},
      {"", 0, "F_2"},
      {long_name, 31, long_name},
      {long_name, 31, long_name.substr(0, 30) + "1"},
      // A length past the 32-byte field is cut at 31.
      {std::string(32, 'X'), 40, std::string(31, 'X')},
  };
  TFIBXSQLDA list(false);
  list.SetCount(static_cast<int>(std::size(cases)));
  for (int i = 0; i < list.Count(); ++i) {
    XSQLVAR& r = list.Area()->sqlvar[i];
    r.sqltype = SQL_LONG;
    r.sqllen = 4;
    std::memcpy(r.aliasname, cases[i].alias.data(), cases[i].alias.size());
    r.aliasname_length = cases[i].alias_length;
  }
  list.NameColumns();
  for (int i = 0; i < list.Count(); ++i) {
    SCOPED_TRACE(i);
    const XSQLVAR& r = list.Area()->sqlvar[i];
    EXPECT_EQ(list.Vars(i).Name(), cases[i].name);
    EXPECT_EQ(std::string(r.aliasname, r.aliasname_length), cases[i].name);
    EXPECT_EQ(r.aliasname[r.aliasname_length], '\0');
  }
  EXPECT_EQ(list.ByName("id2"), &list.Vars(2));
  EXPECT_EQ(list.ByName("f_1"), &list.Vars(3));
}

TEST(xsqlda, parameter_names_stay_and_one_setter_fills_every_occurrence) {
  TFIBXSQLDA params(true);
  params.SetCount(3);
  params.AddName("a", 0, false);
  params.AddName("B", 1, false);
  params.AddName("A", 2, false);
  XSQLDA* area = params.Area();
  for (int i = 0; i < 3; ++i) {
    area->sqlvar[i].sqltype = SQL_VARYING + 1;
    area->sqlvar[i].sqllen = 10;
  }
  params.NameColumns(); // names are kept: they came from the markers
  EXPECT_EQ(params.Vars(0).Name(), "A");
  EXPECT_EQ(params.Vars(2).Name(), "A");
  EXPECT_EQ(params.Vars(0).DescribedType(), SQL_VARYING);
  params.Vars(2).SetAsInteger(7);
  EXPECT_EQ(params.Vars(0).AsInteger(), 7);
  EXPECT_EQ(params.Vars(1).SQLType(), SQL_VARYING);
  EXPECT_TRUE(params.Vars(0).Modified());
  params.ResetModified();
  EXPECT_FALSE(params.Vars(0).Modified());
}

TEST(xsqlda, lookup_by_name_quoted_and_unquoted) {
  TFIBXSQLDA list(true);
  list.SetCount(2);
  list.AddName("id", 0, true);
  list.AddName("name", 1, false);
  const std::pair<std::string, int> cases[] = {
      {"\"id\"", 0}, {"id", 0}, {"ID", -1}, {"name", 1}, {"NAME", 1}, {"\"name\"", -1}, {"\"", -1},
  };
  for (const auto& [name, index] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(list.ByName(name), index < 0 ? nullptr : &list.Vars(index));
  }
}

TEST(xsqlda, unknown_described_types_are_refused) {
  TFIBXSQLDA columns(false);
  ExpectClientError([&] { Described(columns, 600, 4, 0, ""); }, 30, "Unknown SQL Data type (600).");
  // An untyped column is refused; an untyped parameter of a statement's own
  // list is not (it has no value yet).
  ExpectClientError([&] { Described(columns, 0, 0, 0, ""); }, 30, "Unknown SQL Data type (0).");
  TFIBXSQLDA params(true);
  EXPECT_NO_THROW(Described(params, 0, 0, 0, ""));
  EXPECT_TRUE(params.Vars(0).IsNull());
}

TEST(xsqlda, a_reused_list_sizes_every_buffer_for_its_new_type) {
  TFIBXSQLDA columns(false);
  Described(columns, SQL_LONG, 4, 0, Bytes<int32_t>(1));
  // Described again as VARCHAR(2000): the client writes the prefix and up
  // to 2,000 bytes through the same record.
  TFIBXSQLVAR& wide =
      Described(columns, SQL_VARYING, 2000, 0, Varying(2000, std::string(2000, 'w')));
  EXPECT_EQ(wide.AsVariant().Get<std::string>(), std::string(2000, 'w'));
  // Narrower again: the buffer follows.
  EXPECT_EQ(Described(columns, SQL_SHORT, 2, 0, Bytes<int16_t>(-3)).AsInteger(), -3);
}

struct IntegerCase {
  const char* what;
  short type, len, scale;
  std::string raw;
  std::optional<int32_t> expected; // none: client error 33
};

TEST(xsqlda, as_integer_converts_exactly_or_refuses) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const IntegerCase cases[] = {
      {"short", SQL_SHORT, 2, 0, Bytes<int16_t>(-7), -7},
      {"numeric(9,2)", SQL_LONG, 4, -2, Bytes<int32_t>(12345), 123},
      {"negative numeric", SQL_LONG, 4, -2, Bytes<int32_t>(-12345), -123},
      {"numeric(18,1) 0.3", SQL_INT64, 8, -1, Bytes<int64_t>(3), 0},
      {"int64 at the limit", SQL_INT64, 8, 0, Bytes<int64_t>(2147483647), 2147483647},
      {"int64 past the limit", SQL_INT64, 8, 0, Bytes<int64_t>(2147483648), std::nullopt},
      {"int64 past the limit once scaled", SQL_INT64, 8, -4,
       Bytes<int64_t>(std::numeric_limits<int64_t>::max()), std::nullopt},
      {"scale -18", SQL_INT64, 8, -18, Bytes<int64_t>(std::numeric_limits<int64_t>::max()), 9},
      {"positive scale", SQL_LONG, 4, 2, Bytes<int32_t>(5), 500},
      {"positive scale overflowing", SQL_LONG, 4, 9, Bytes<int32_t>(5), std::nullopt},
      {"double", SQL_DOUBLE, 8, 0, Bytes(-2.7), -2},
      {"float", SQL_FLOAT, 4, 0, Bytes(2.5f), 2},
      {"double NaN", SQL_DOUBLE, 8, 0, Bytes(nan), std::nullopt},
      {"double too large", SQL_DOUBLE, 8, 0, Bytes(3e9), std::nullopt},
      {"text with blanks", SQL_TEXT, 6, 0, " 42\t  ", 42},
      {"text not a number", SQL_TEXT, 4, 0, "4x  ", std::nullopt},
      {"text only blanks", SQL_TEXT, 4, 0, "    ", std::nullopt},
      {"text too large", SQL_TEXT, 11, 0, "99999999999", std::nullopt},
      {"varying", SQL_VARYING, 10, 0, Varying(3, "-17"), -17},
      {"boolean", SQL_BOOLEAN, 1, 0, "\x01", 1},
      {"16-bit boolean", SQL_BOOLEAN16, 2, 0, Bytes<int16_t>(1), 1},
      {"null type", SQL_NULL, 0, 0, "", 0},
      {"timestamp", SQL_TIMESTAMP, 8, 0, Bytes<int64_t>(0), std::nullopt},
  };
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(c.what);
    TFIBXSQLDA list(false);
    TFIBXSQLVAR& var = Described(list, c.type, c.len, c.scale, c.raw);
    if (c.expected)
      EXPECT_EQ(var.AsInteger(), *c.expected);
    else
      ExpectClientError([&] { var.AsInteger(); }, 33, "Invalid data conversion.");
  }
}

struct VariantCase {
  const char* what;
  short type, len, scale;
  std::string raw;
  std::optional<TVariant> expected; // none: client error 33
};

TEST(xsqlda, as_variant_by_type) {
  const VariantCase cases[] = {
      {"short", SQL_SHORT, 2, 0, Bytes<int16_t>(7), TVariant(int32_t{7})},
      {"numeric(9,2)", SQL_LONG, 4, -2, Bytes<int32_t>(12345), TVariant(123.45)},
      // Divided by exactly ten: 3 * 0.1 would give 0.30000000000000004.
      {"numeric(9,1) 0.3", SQL_LONG, 4, -1, Bytes<int32_t>(3), TVariant(0.3)},
      {"bigint", SQL_INT64, 8, 0, Bytes<int64_t>(int64_t{1} << 40), TVariant(int64_t{1} << 40)},
      {"char keeps its padding", SQL_TEXT, 5, 0, "ab   ", TVariant(std::string("ab   "))},
      {"varying", SQL_VARYING, 8, 0, Varying(2, "xy"), TVariant(std::string("xy"))},
      // A length prefix beyond sqllen comes from a malformed reply.
      {"varying prefix too long", SQL_VARYING, 4, 0, Varying(0xFFFF, "abcd"),
       TVariant(std::string("abcd"))},
      {"date", SQL_TYPE_DATE, 4, 0, Bytes<ISC_DATE>(15018), TVariant(TDateTime{0})},
      {"time", SQL_TYPE_TIME, 4, 0, Bytes<ISC_TIME>(432'000'000), TVariant(TDateTime{0.5})},
      {"timestamp", SQL_TIMESTAMP, 8, 0, Bytes(ISC_TIMESTAMP{15019, 216'000'000}),
       TVariant(TDateTime{1.25})},
      {"array", SQL_ARRAY, 8, 0, Bytes<int64_t>(1), TVariant(std::string("(Array)"))},
      {"boolean", SQL_BOOLEAN, 1, 0, std::string(1, '\0'), TVariant(false)},
      {"16-bit boolean", SQL_BOOLEAN16, 2, 0, Bytes<int16_t>(1), TVariant(true)},
      {"null type", SQL_NULL, 0, 0, "", TVariant::Null()},
      {"quad", SQL_QUAD, 8, 0, Bytes<int64_t>(0), std::nullopt},
  };
  for (const VariantCase& c : cases) {
    SCOPED_TRACE(c.what);
    TFIBXSQLDA list(false);
    TFIBXSQLVAR& var = Described(list, c.type, c.len, c.scale, c.raw);
    if (c.expected)
      EXPECT_EQ(var.AsVariant(), *c.expected);
    else
      ExpectClientError([&] { var.AsVariant(); }, 33, "Invalid data conversion.");
  }
}

TEST(xsqlda, null_state_of_columns_and_parameters) {
  TFIBXSQLDA columns(false);
  TFIBXSQLVAR& column = Described(columns, SQL_LONG + 1, 4, 0, Bytes<int32_t>(5));
  EXPECT_FALSE(column.IsNull());
  *column.Record().sqlind = -1;
  EXPECT_TRUE(column.IsNull());
  EXPECT_EQ(column.AsInteger(), 0);
  EXPECT_TRUE(column.AsVariant().IsNull());

  TFIBXSQLDA params(true);
  params.SetCount(1);
  TFIBXSQLVAR& param = params.Vars(0);
  EXPECT_TRUE(param.IsNull()); // no type yet
  param.Clear();
  EXPECT_EQ(param.Record().sqltype, SQL_TEXT + 1);
  EXPECT_EQ(param.SQLLen(), 0);
  EXPECT_EQ(*param.Record().sqlind, -1);
  param.SetIsNull(false);
  EXPECT_FALSE(param.IsNull());
  EXPECT_EQ(*param.Record().sqlind, 0);
}

TEST(xsqlda, every_typed_parameter_owns_a_buffer) {
  // The client library reads through sqldata even for a zero-length text
  // and crashes on a null pointer.
  TFIBXSQLDA params(true);
  params.SetCount(2);
  params.Vars(0).SetAsString("");
  params.Vars(1).Clear();
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(params.Vars(i).SQLType(), SQL_TEXT);
    EXPECT_EQ(params.Vars(i).SQLLen(), 0);
    EXPECT_NE(params.Vars(i).Record().sqldata, nullptr);
  }
  EXPECT_FALSE(params.Vars(0).IsNull());
  EXPECT_TRUE(params.Vars(1).IsNull());
}

TEST(xsqlda, long_texts_and_streams_become_blobs_written_at_execute) {
  TFIBXSQLDA params(true);
  params.SetCount(1);
  TFIBXSQLVAR& var = params.Vars(0);
  var.SetAsString(std::string(32767, 'a'));
  EXPECT_EQ(var.SQLType(), SQL_TEXT);
  EXPECT_EQ(var.SQLLen(), 32767);
  EXPECT_EQ(var.PendingStream(), nullptr);
  var.SetAsString(std::string(32768, 'b'));
  EXPECT_EQ(var.SQLType(), SQL_BLOB);
  ASSERT_NE(var.PendingStream(), nullptr);
  EXPECT_EQ(var.PendingStream()->size(), 32768u);
  EXPECT_FALSE(var.IsNull());
  EXPECT_EQ(var.AsVariant(), TVariant(std::string(32768, 'b')));
  var.SetAsInteger(3); // a new value replaces the pending one
  EXPECT_EQ(var.PendingStream(), nullptr);
  EXPECT_EQ(var.AsInteger(), 3);
  var.LoadFromStream("bytes");
  EXPECT_EQ(var.Record().sqltype, SQL_BLOB); // not nullable
  EXPECT_EQ(var.Record().sqlind, nullptr);
  EXPECT_EQ(*var.PendingStream(), "bytes");
  var.Clear();
  EXPECT_EQ(var.PendingStream(), nullptr);
  EXPECT_TRUE(var.IsNull());
}

} // namespace
} // namespace nimbus
