#include "fib/tpb.h"

#include <gtest/gtest.h>

#include "fib/errors.h"

namespace nimbus {
namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes)
    s.push_back(static_cast<char>(b));
  return s;
}

struct TpbCase {
  const char* label;
  std::vector<std::string> lines;
  bool lock_timeout;
  std::string expected;
};

TEST(tpb, lines_translate_to_blocks) {
  const std::string table5 = "TABLE";
  const std::vector<TpbCase> cases = {
      {"system lines with nowait",
       {"write", "nowait", "rec_version", "read_committed"},
       false,
       Bytes({3, 9, 7, 17, 15})},
      {"system lines with wait",
       {"write", "wait", "rec_version", "read_committed"},
       false,
       Bytes({3, 9, 6, 17, 15})},
      {"read-committed preset",
       {"write", "isc_tpb_nowait", "read_committed", "rec_version"},
       false,
       Bytes({3, 9, 7, 15, 17})},
      {"prefix and capitals", {"isc_tpb_Write", "ISC_TPB_CONCURRENCY"}, false, Bytes({3, 9, 2})},
      {"empty list", {}, false, ""},
      {"blank lines are dropped", {"  ", "read", "\t"}, false, Bytes({3, 8})},
      {"only blank lines keep the version byte", {" "}, false, Bytes({3})},
      {"every plain code",
       {"consistency", "concurrency", "shared", "protected", "exclusive", "wait", "nowait", "read",
        "write", "ignore_limbo", "read_committed", "rec_version", "no_rec_version", "no_auto_undo"},
       false,
       Bytes({3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 15, 17, 18, 20})},
      {"lock_write with a table", {"lock_write=" + table5}, false, Bytes({3, 11, 5}) + table5},
      {"lock_read keeps the value untrimmed inside",
       {"lock_read=a b"},
       false,
       Bytes({3, 10, 3}) + "a b"},
      {"lock_timeout with Firebird 2.1", {"lock_timeout=5"}, true, Bytes({3, 21, 2, 5, 0})},
      {"lock_timeout two bytes", {"lock_timeout=300"}, true, Bytes({3, 21, 2, 44, 1})},
      {"lock_timeout without a value", {"lock_timeout"}, true, Bytes({3, 21, 2, 10, 0})},
      {"lock_timeout not a number", {"lock_timeout=x"}, true, Bytes({3, 21, 2, 10, 0})},
      {"lock_timeout on older servers", {"lock_timeout=5"}, false, Bytes({3, 21})},
      {"no_savepoint shares the code", {"no_savepoint"}, false, Bytes({3, 21})},
  };
  for (const TpbCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> lines = c.lines;
    std::string tpb = "stale";
    int16_t length = -1;
    BuildTPB(lines, tpb, length, c.lock_timeout);
    EXPECT_EQ(tpb, c.expected);
    EXPECT_EQ(length, static_cast<int16_t>(c.expected.size()));
  }
}

TEST(tpb, lines_are_stored_back_trimmed) {
  std::vector<std::string> lines = {"  write\t", " ", "nowait  "};
  std::string tpb;
  int16_t length = 0;
  BuildTPB(lines, tpb, length, false);
  EXPECT_EQ(lines, (std::vector<std::string>{"write", "", "nowait"}));
}

struct ErrorCase {
  const char* line;
  int number;
  const char* message;
};

TEST(tpb, unknown_and_unsupported_names_are_client_errors) {
  const std::vector<ErrorCase> cases = {
      {"autocommit", 10, "TPB Constant (isc_tpb_autocommit) is unsupported."},
      {"isc_tpb_verb_time", 10, "TPB Constant (isc_tpb_verb_time) is unsupported."},
      {"Commit_Time=1", 10, "TPB Constant (isc_tpb_commit_time) is unsupported."},
      {"restart_requests", 10, "TPB Constant (isc_tpb_restart_requests) is unsupported."},
      {"ISC_TPB_Foo=1", 11, "TPB Constant (foo) is unknown."},
      {"write =", 11, "TPB Constant (write ) is unknown."},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<std::string> lines = {"write", c.line};
    std::string tpb = "kept";
    int16_t length = 4;
    try {
      BuildTPB(lines, tpb, length, false);
      ADD_FAILURE() << "no error";
    } catch (const EFIBClientError& e) {
      EXPECT_EQ(e.SQLCode(), c.number);
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(tpb, "kept");
    EXPECT_EQ(length, 4);
  }
}

TEST(tpb, table_name_longer_than_a_byte_is_refused) {
  std::vector<std::string> ok = {"lock_read=" + std::string(255, 'T')};
  std::string tpb;
  int16_t length = 0;
  BuildTPB(ok, tpb, length, false);
  EXPECT_EQ(length, 3 + 255);
  EXPECT_EQ(static_cast<unsigned char>(tpb[2]), 255);

  std::vector<std::string> too_long = {"lock_write=" + std::string(256, 'T')};
  try {
    BuildTPB(too_long, tpb, length, false);
    FAIL() << "a 256-byte table name was accepted";
  } catch (const EFIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), -1);
    EXPECT_EQ(e.Message(),
              "TPB Constant (isc_tpb_lock_write) has a table name longer than 255 bytes.");
  }
}

TEST(tpb, block_longer_than_its_16_bit_length_is_refused) {
  std::vector<std::string> lines(127, "lock_read=" + std::string(255, 'T'));
  std::string tpb;
  int16_t length = 0;
  BuildTPB(lines, tpb, length, false);
  EXPECT_EQ(length, 1 + 127 * 257);
  lines.push_back("lock_read=" + std::string(255, 'T'));
  EXPECT_THROW(BuildTPB(lines, tpb, length, false), EFIBClientError);
  EXPECT_EQ(length, 1 + 127 * 257);
}

TEST(tpb, lookup_ignores_case_and_covers_every_name) {
  for (size_t i = 0; i < TPBNameTable.size(); ++i)
    EXPECT_EQ(LookupTPBName(TPBNameTable[i]), static_cast<int>(i + 1)) << TPBNameTable[i];
  EXPECT_EQ(LookupTPBName("LOCK_TIMEOUT"), 21);
  EXPECT_EQ(LookupTPBName("Read_Committed"), 15);
  EXPECT_EQ(LookupTPBName("readx"), 0);
  EXPECT_EQ(LookupTPBName(""), 0);
  EXPECT_EQ(TPBLookupList().size(), 22u);
}

} // namespace
} // namespace nimbus
