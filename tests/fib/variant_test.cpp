#include "fib/variant.h"

#include <gtest/gtest.h>

namespace nimbus {
namespace {

TEST(variant, date_times_are_days_since_1899_12_30) {
  struct Case {
    TDateTimeParts parts;
    double value;
  };
  const Case cases[] = {
      {{1899, 12, 30}, 0},       {{1900, 1, 1, 6}, 2.25},    {{2000, 1, 1, 12}, 36526.5},
      {{2024, 2, 29}, 45351},    {{1899, 12, 29, 12}, -0.5}, {{1, 1, 1}, -693593},
      {{9999, 12, 31}, 2958465},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(EncodeDateTime(c.parts).Value, c.value);
    EXPECT_EQ(DecodeDateTime({c.value}), c.parts);
  }
  const TDateTimeParts last{9999, 12, 31, 23, 59, 59, 999};
  EXPECT_EQ(DecodeDateTime(EncodeDateTime(last)), last);
}

TEST(variant, client_dates_and_times) {
  EXPECT_EQ(FromIscDate(15018).Value, 0);
  // 0001-01-01 and 9999-12-31 as the server counts them.
  EXPECT_EQ(DecodeDateTime(FromIscDate(-678575)), (TDateTimeParts{1, 1, 1}));
  EXPECT_EQ(DecodeDateTime(FromIscDate(2973483)), (TDateTimeParts{9999, 12, 31}));
  EXPECT_EQ(FromIscTime(864'000'000 / 4).Value, 0.25);
  EXPECT_EQ(DecodeDateTime(FromIscTimestamp({15018 + 1, 863'999'990})),
            (TDateTimeParts{1899, 12, 31, 23, 59, 59, 999}));
}

TEST(variant, kinds_and_equality) {
  EXPECT_TRUE(TVariant().IsEmpty());
  EXPECT_FALSE(TVariant().IsNull());
  EXPECT_TRUE(TVariant::Null().IsNull());
  EXPECT_EQ(TVariant(int32_t{1}).VarType(), varInteger);
  EXPECT_EQ(TVariant(std::string("x")).VarType(), varString);
  EXPECT_NE(TVariant(int32_t{1}), TVariant(int64_t{1}));
  EXPECT_EQ(TVariant(TDateTime{2}).Get<TDateTime>().Value, 2);
}

} // namespace
} // namespace nimbus
