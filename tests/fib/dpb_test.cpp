#include "fib/dpb.h"

#include "fib/errors.h"
#include "platform/exception.h"
#include "platform/text.h"

#include <gtest/gtest.h>

namespace nimbus {
namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string result;
  for (int b : bytes)
    result += static_cast<char>(b);
  return result;
}

TDBParams Params(std::vector<std::string> lines) {
  TDBParams params;
  params.Assign(std::move(lines));
  return params;
}

TEST(dpb, name_table_codes_match_the_client_header) {
  ASSERT_EQ(DPBNameTable.size(), 83u);
  EXPECT_EQ(LookupDPBCode("user_name"), isc_dpb_user_name);
  EXPECT_EQ(LookupDPBCode("password"), isc_dpb_password);
  EXPECT_EQ(LookupDPBCode("lc_ctype"), isc_dpb_lc_ctype);
  EXPECT_EQ(LookupDPBCode("force_write"), isc_dpb_force_write);
  EXPECT_EQ(LookupDPBCode("sql_dialect"), isc_dpb_sql_dialect);
  EXPECT_EQ(LookupDPBCode("shutdown"), isc_dpb_shutdown);
  EXPECT_EQ(LookupDPBCode("force"), 83);
  EXPECT_EQ(LookupDPBCode("no_db_triggers"), isc_dpb_no_db_triggers);
  EXPECT_EQ(LookupDPBCode("set_db_charset"), isc_dpb_set_db_charset);
  EXPECT_EQ(LookupDPBCode("utf8_filename"), isc_dpb_utf8_filename);
  EXPECT_EQ(LookupDPBCode("USER_NAME"), 0); // exact match only
  EXPECT_EQ(DPBLookupList().size(), 86u);
}

struct ItemCase {
  const char* line;
  bool isFirebird;
  std::string item; // the bytes after the version byte
};

TEST(dpb, lines_become_items) {
  const ItemCase cases[] = {
      {"user_name=SYSDBA", true, Bytes({28, 6}) + "SYSDBA"},
      {"ISC_DPB_USER_NAME=x", true, Bytes({28, 1}) + "x"},
      {"  user_name=SYSDBA\t", true, Bytes({28, 6}) + "SYSDBA"},
      {"password=", true, Bytes({29, 0})},
      {"lc_ctype=ISO8859_1", true, Bytes({48, 9}) + "ISO8859_1"},
      {"sql_role_name=r= s", true, Bytes({60, 4}) + "r= s"}, // split at the first "="
      {"force_write=1", true, Bytes({24, 1, 1})},
      {"force_write= 0", true, Bytes({24, 1, 0})},
      {"num_buffers=300", true, Bytes({5, 1, 300 & 0xFF})}, // the low byte only
      {"sql_dialect=3", true, Bytes({63, 1, 3})},
      {"garbage_collect", true, Bytes({8, 1, 1})},
      {"sweep=anything", true, Bytes({10, 1, 2})},
      {"activate_shadow", true, Bytes({21, 1, 0})},
      {"sweep_interval=20000", true, Bytes({22, 4, 0x20, 0x4E, 0, 0})},
      {"sweep_interval=-1", true, Bytes({22, 4, 0xFF, 0xFF, 0xFF, 0xFF})},
      {"online", true, Bytes({51, 0})},
      {"shutdown=", true, Bytes({50, 0})},
      {"shutdown=single;force", true, Bytes({50, 1, 56})},
      {"shutdown=FULL,,attachment", true, Bytes({50, 1, 66})},
      {"shutdown=16", true, Bytes({50, 1, 16})},
      {"shutdown=single,x", true, Bytes({50, 1, 255})},
      {"no_db_triggers=1", true, Bytes({72, 1, 1})},
      {"no_db_triggers=1", false, ""},
      {"set_db_charset=UTF8", true, Bytes({68, 4}) + "UTF8"},
      {"set_db_charset=UTF8", false, ""},
      {"instance_name=ib", true, ""},
      {"instance_name=ib", false, Bytes({75, 2}) + "ib"},
      {"utf8_filename", true, Bytes({77, 0})},
      {"utf8_filename", false, ""},
      {"   ", true, ""},
  };
  for (const ItemCase& c : cases) {
    SCOPED_TRACE(std::string(c.line) + (c.isFirebird ? "" : " (not Firebird)"));
    TDBParams params = Params({c.line});
    EXPECT_EQ(BuildDPB(params, c.isFirebird), Bytes({1}) + c.item);
  }
}

TEST(dpb, the_connection_lines_give_the_documented_block) {
  TDBParams params = Params({"user_name=SYSDBA", "password=secret", "", "lc_ctype=ISO8859_1"});
  std::string dpb;
  std::int16_t length = 0;
  BuildDPB(params, dpb, length, true);
  EXPECT_EQ(dpb, Bytes({1, 28, 6}) + "SYSDBA" + Bytes({29, 6}) + "secret" + Bytes({48, 9}) +
                     "ISO8859_1");
  EXPECT_EQ(length, 1 + 8 + (2 + 6) + 11);
}

TEST(dpb, lines_are_stored_back_trimmed) {
  TDBParams params = Params({"  user_name=SYSDBA ", "   ", "lc_ctype=X"});
  int changes = 0;
  params.OnChange = [&] { ++changes; };
  BuildDPB(params, true);
  EXPECT_EQ(params.Lines(), (std::vector<std::string>{"user_name=SYSDBA", "", "lc_ctype=X"}));
  EXPECT_EQ(changes, 2); // lines already trimmed are left alone
}

std::pair<int, std::string> ClientError(std::vector<std::string> lines, bool isFirebird = true) {
  TDBParams params = Params(std::move(lines));
  try {
    BuildDPB(params, isFirebird);
  } catch (const EFIBClientError& e) {
    return {e.SQLCode(), e.Message()};
  }
  return {0, "no error"};
}

TEST(dpb, unsupported_unknown_and_over_long_items_are_refused) {
  struct Case {
    std::vector<std::string> lines;
    int sqlCode;
    std::string message;
  } cases[] = {
      {{"page_size=8192"}, 8, "DPB Constant (isc_dpb_page_size) is unsupported."},
      {{"user_name=a", "isc_dpb_trace"}, 8, "DPB Constant (isc_dpb_trace) is unsupported."},
      {{"foo=1"}, 9, "DPB Constant (foo) is unknown."},
      {{"User_Name =SYSDBA"}, 9, "DPB Constant (user_name ) is unknown."},
      {{"DEFAULT CHARACTER SET ISO8859_1"},
       9,
       "DPB Constant (default character set iso8859_1) is unknown."},
      // A CREATE DATABASE clause left in the lines must not show its password.
      {{"USER 'SYSDBA' PASSWORD 'Se cret' PAGE_SIZE 8192"},
       9,
       "DPB Constant (user 'sysdba' password **** page_size 8192) is unknown."},
      {{"user sysdba password masterkey"},
       9,
       "DPB Constant (user sysdba password ****) is unknown."},
      {{"password \"it\"\"s\" x"}, 9, "DPB Constant (password **** x) is unknown."},
      {{"passwords x"}, 9, "DPB Constant (passwords x) is unknown."},
      {{"user_name=" + std::string(256, 'u')},
       -1,
       "DPB Constant (isc_dpb_user_name) value is longer than 255 bytes."},
      {{"password=" + std::string(300, 'p')},
       -1,
       "DPB Constant (isc_dpb_password) value is longer than 255 bytes."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.back().substr(0, 40));
    EXPECT_EQ(ClientError(c.lines), std::make_pair(c.sqlCode, c.message));
  }
  TDBParams longest = Params({"user_name=" + std::string(255, 'u')});
  EXPECT_EQ(BuildDPB(longest, true).size(), 1u + 2 + 255);
}

TEST(dpb, numbers_that_do_not_read_raise_the_conversion_error) {
  for (const char* line : {"force_write=yes", "force_write=", "sweep_interval=1x",
                           "shutdown=single;9z", "connect_timeout=99999999999", "sql_dialect="}) {
    SCOPED_TRACE(line);
    TDBParams params = Params({line});
    std::string value = std::string(line).substr(std::string(line).find('=') + 1);
    if (std::string(line).starts_with("shutdown"))
      value = "9z";
    try {
      BuildDPB(params, true);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "'" + value + Utf8ToCp1252("' n'est pas une valeur entière correcte"));
    }
  }
}

TEST(dpb, shutdown_modes) {
  const std::pair<const char*, int> cases[] = {
      {"", 0},      {"normal", 16},     {"Single;Force", 56}, {"multi,transaction", 36},
      {"cache", 1}, {"mode_mask", 112}, {"3;4", 7},           {"full;unknown", -1},
  };
  for (auto [value, mode] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(ParseShutdownMode(value), mode);
  }
}

TEST(dpb, find_read_and_write_params) {
  TDBParams params = Params({"isc_dpb_password_enc=x", "password=secret", "USER_NAME=SYSDBA"});
  EXPECT_EQ(params.FindParamLine("user_name"), 2);
  EXPECT_EQ(params.FindParamLine("lc_ctype"), -1);
  // Matched by position, not by whole name: password finds password_enc first.
  EXPECT_EQ(params.ReadParam(isc_dpb_password), "x");
  EXPECT_EQ(params.ReadParam(isc_dpb_user_name), "SYSDBA");
  EXPECT_EQ(params.ReadParam(0), "");
  EXPECT_EQ(params.ReadParam(84), "");

  params.WriteParam(isc_dpb_user_name, "ADMIN");
  params.WriteParam(isc_dpb_lc_ctype, "UTF8");
  params.WriteParam(isc_dpb_password, "");
  EXPECT_EQ(params.Lines(),
            (std::vector<std::string>{"password=secret", "user_name=ADMIN", "lc_ctype=UTF8"}));
  TDBParams noValue = Params({"user_name"});
  EXPECT_EQ(noValue.ReadParam(isc_dpb_user_name), "");
}

TEST(dpb, connect_params_view_their_lines) {
  TDBParams params;
  TConnectParams connect(params);
  EXPECT_TRUE(connect.IsFirebird);
  connect.SetUserName("SYSDBA");
  connect.SetPassword("pw");
  connect.SetCharSet("iso8859_1");
  connect.SetRoleName("ADMIN");
  connect.IB2007.SetInstanceName("gds_db");
  EXPECT_EQ(params.Lines(),
            (std::vector<std::string>{"user_name=SYSDBA", "password=pw", "lc_ctype=ISO8859_1",
                                      "sql_role_name=ADMIN", "instance_name=gds_db"}));
  EXPECT_EQ(connect.UserName(), "SYSDBA");
  EXPECT_EQ(connect.Password(), "pw");
  EXPECT_EQ(connect.CharSet(), "ISO8859_1");
  EXPECT_EQ(connect.RoleName(), "ADMIN");
  EXPECT_EQ(connect.IB2007.InstanceName(), "gds_db");
  connect.SetRoleName("");
  EXPECT_EQ(params.Count(), 4);
}

TEST(dpb, a_refused_change_leaves_the_lines_alone) {
  TDBParams params = Params({"user_name=SYSDBA"});
  params.OnChanging = [] { RaiseClientError(13); };
  EXPECT_THROW(params.WriteParam(isc_dpb_user_name, "x"), EFIBClientError);
  EXPECT_THROW(params.Add("lc_ctype=X"), EFIBClientError);
  EXPECT_EQ(params.Lines(), std::vector<std::string>{"user_name=SYSDBA"});
}

} // namespace
} // namespace nimbus
