#include "fib/errors.h"

#include "fib/client_library.h"
#include "platform/component.h"
#include "platform/fpu.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace nimbus {
namespace {

TEST(errors, format_substitutes_arguments_in_order_and_never_reads_them_as_formats) {
  struct Case {
    std::string_view format;
    std::initializer_list<TErrorArg> args;
    std::string expected;
  } cases[] = {
      {"Can't %s because %s dataset open.",
       {"Prepare", "Form1.q"},
       "Can't Prepare because Form1.q dataset open."},
      {"Unknown SQL Data type (%d).", {std::int64_t{-5}}, "Unknown SQL Data type (-5)."},
      {"%s", {"100%s %d %n"}, "100%s %d %n"},
      {"%s and %s", {"one"}, "one and "},
      {"50%% done", {}, "50% done"},
      {"trailing %", {}, "trailing %"},
      {"%x stays", {"unused"}, "%x stays"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatMessage(c.format, c.args), c.expected);
  }
}

struct ClientCase {
  int number;
  std::initializer_list<TErrorArg> args;
  int sqlCode;
  std::string message;
};

TEST(errors, client_errors_carry_their_number_and_table_text) {
  const ClientCase cases[] = {
      {0, {}, 0, "Unknown error."},
      {9, {"foo"}, 9, "DPB Constant (foo) is unknown."},
      {12, {"Form1.dbNimbus"}, 12, "Form1.dbNimbus: Cannot perform operation -- DB is not open."},
      {15, {"Form1.TransNimbus"}, 15, "Form1.TransNimbus :Transaction is not active."},
      {37, {"Prepare"}, 37, "Can't Prepare , because  query is empty"},
      {41, {"Field No: 7"}, 41, "Field \"Field No: 7\" not found."},
      {51,
       {"Form1.q", "EOF in string detected"},
       51,
       "SQL Parse Error in :Form1.q \r\n\r\nEOF in string detected"},
      {73, {}, 73, "SPB Constant Unknown"},
      {0x80 | 22, {"Form1.q"}, 22, "Transaction not assigned for Form1.q."},
      {1, {}, 1, ""},     // reserved
      {100, {}, 100, ""}, // beyond the table
  };
  StatusVector()[1] = isc_network_error;
  for (const ClientCase& c : cases) {
    SCOPED_TRACE(c.number);
    try {
      RaiseClientError(c.number, c.args);
    } catch (const EFIBClientError& e) {
      EXPECT_EQ(e.SQLCode(), c.sqlCode);
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_EQ(e.CustomMessage(), c.message);
      EXPECT_EQ(e.StatusCode(), isc_network_error); // whatever the last call left
      EXPECT_EQ(e.Raiser(), nullptr);
      EXPECT_EQ(e.SQLMessage(), "");
    }
  }
  StatusVector()[1] = 0;
}

TEST(errors, the_status_vector_belongs_to_its_thread) {
  StatusVector()[1] = 335544472;
  std::int32_t otherThreadCode = -1;
  std::int32_t otherThreadSeen = -1;
  std::thread other([&] {
    otherThreadSeen = static_cast<std::int32_t>(StatusVector()[1]);
    StatusVector()[1] = 7;
    try {
      RaiseClientError(23);
    } catch (const EFIBClientError& e) {
      otherThreadCode = e.StatusCode();
    }
  });
  other.join();
  EXPECT_EQ(otherThreadSeen, 0);
  EXPECT_EQ(otherThreadCode, 7);
  EXPECT_EQ(StatusVector()[1], 335544472);
  StatusVector()[1] = 0;
}

// What the scripted client answers for one server error.
struct Script {
  ISC_LONG sqlcode = -803;
  const char* explanation = "";
  std::vector<std::string> messages;
  std::size_t next = 0;
  short lastSqlcodeAsked = 0;
} script;

class server_error : public ::testing::Test {
protected:
  server_error() : library_(NIMBUS_FAKE_CLIENT_VERSIONED) {
    TClientEntryPoints& e = library_.EntryPoints();
    e.isc_sqlcode = [](const ISC_STATUS*) { return script.sqlcode; };
    e.isc_sql_interprete = [](short sqlcode, ISC_SCHAR* buffer, short length) {
      script.lastSqlcodeAsked = sqlcode;
      std::strncpy(buffer, script.explanation, length);
    };
    e.fb_interpret = [](ISC_SCHAR* buffer, unsigned int length,
                        const ISC_STATUS** cursor) -> ISC_LONG {
      if (script.next >= script.messages.size())
        return 0;
      const std::string& m = script.messages[script.next++];
      std::strncpy(buffer, m.c_str(), length);
      *cursor += 2;
      return static_cast<ISC_LONG>(m.size());
    };
    script = Script{};
  }
  ~server_error() override { SetErrorMessageParts({}); }

  EFIBInterBaseError Raise(const TComponent* raiser = nullptr) {
    try {
      RaiseServerError(library_, raiser);
    } catch (const EFIBInterBaseError& e) {
      return e;
    }
    ADD_FAILURE() << "nothing raised";
    return EFIBInterBaseError(0, "", "", nullptr);
  }

  TIBClientLibrary library_;
};

TEST_F(server_error, message_joins_path_explanation_and_status_messages) {
  TComponent application;
  TComponent form(&application);
  form.SetName("Form1");
  TComponent query(&form);
  query.SetName("qContext");

  script.sqlcode = -803;
  script.explanation = "attempt to store\\n duplicate value";
  script.messages = {"violation of PRIMARY or UNIQUE KEY constraint \"PK\"",
                     "Problematic key value is (\"ID\" = 1)."};
  StatusVector()[1] = isc_unique_key_violation;
  EFIBInterBaseError e = Raise(&query);
  EXPECT_EQ(e.Message(), "Form1.qContext:\r\n"
                         "Attempt to store duplicate value.\r\n"
                         "Violation of PRIMARY or UNIQUE KEY constraint \"PK\".\r\n"
                         "Problematic key value is (\"ID\" = 1).\r\n");
  EXPECT_EQ(e.SQLCode(), -803);
  EXPECT_EQ(e.StatusCode(), isc_unique_key_violation);
  EXPECT_EQ(e.RaiserName(), "Form1.qContext");
  EXPECT_EQ(e.Raiser(), &query);
  EXPECT_EQ(e.SQLMessage(), "Attempt to store duplicate value.\r\n");
  EXPECT_EQ(e.CustomMessage(), "");
  EXPECT_EQ(script.lastSqlcodeAsked, -803);
  StatusVector()[1] = 0;
}

TEST_F(server_error, message_shapes) {
  struct Case {
    const char* explanation;
    std::vector<std::string> messages;
    std::string expected;
  } cases[] = {
      // An explanation ending in "." runs straight into the first message.
      {"done.", {"next"}, "Done.Next.\r\n"}, {"", {"only"}, "Only.\r\n"},
      {"line\nfeed", {}, "Line\nfeed.\r\n"}, // a real line feed stays
      {"x", {"", "never read"}, "X.\r\n"},   // a zero length ends the messages
      {"\\n", {"a.", "b"}, "A.\r\nB.\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.explanation);
    script = Script{};
    script.explanation = c.explanation;
    script.messages = c.messages;
    EXPECT_EQ(Raise().Message(), c.expected);
  }
}

TEST_F(server_error, one_character_path_gets_no_prefix) {
  TComponent raiser;
  raiser.SetName("A");
  script.messages = {"m"};
  EFIBInterBaseError e = Raise(&raiser);
  EXPECT_EQ(e.Message(), "M.\r\n");
  EXPECT_EQ(e.RaiserName(), "A");
}

TEST_F(server_error, switches_leave_out_their_parts) {
  TComponent raiser;
  raiser.SetName("db");
  script.explanation = "why";
  script.messages = {"what"};
  SetErrorMessageParts(
      {.ShowRaiserName = false, .ShowSQLMessage = true, .ShowServerMessage = true});
  EXPECT_EQ(Raise(&raiser).Message(), "Why.\r\nWhat.\r\n");
  script.next = 0;
  SetErrorMessageParts(
      {.ShowRaiserName = true, .ShowSQLMessage = false, .ShowServerMessage = true});
  EFIBInterBaseError e = Raise(&raiser);
  EXPECT_EQ(e.Message(), "db:\r\nWhat.\r\n");
  EXPECT_EQ(e.SQLMessage(), "");
  script.next = 0;
  SetErrorMessageParts(
      {.ShowRaiserName = true, .ShowSQLMessage = true, .ShowServerMessage = false});
  EXPECT_EQ(Raise(&raiser).Message(), "db:\r\nWhy.\r\n");
}

// A lost attachment is told by the status code: SQLCODE -902 also covers
// refused logins and missing files, after which the attachment is fine.
TEST_F(server_error, a_lost_attachment_is_told_by_its_status_code_not_its_sqlcode) {
  const struct {
    ISC_STATUS status;
    bool lost;
  } cases[] = {
      {isc_att_shutdown, true},
      {isc_net_read_err, true},
      {isc_net_write_err, true},
      {isc_network_error, true},
      {isc_lost_db_connection, true},
      {isc_conn_lost, true},
      {isc_shutdown, true},
      {isc_login, false},
      {isc_io_error, false},
      {isc_lock_conflict, false},
      {isc_unique_key_violation, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    script = Script{};
    script.sqlcode = -902;
    StatusVector()[1] = c.status;
    EXPECT_EQ(IsConnectionLost(Raise()), c.lost);
  }
  StatusVector()[1] = 0;
  EXPECT_FALSE(IsConnectionLost(EFIBError(-902, "client side", nullptr)));
}

TEST_F(server_error, check_status_raises_only_failures_it_is_asked_to) {
  EXPECT_EQ(CheckStatus(0, true, library_, nullptr), 0);
  EXPECT_EQ(CheckStatus(isc_lock_conflict, false, library_, nullptr), isc_lock_conflict);
  EXPECT_THROW(CheckStatus(isc_lock_conflict, true, library_, nullptr), EFIBInterBaseError);
#if defined(__i386__) || defined(__x86_64__)
  std::uint16_t standard = DefaultFPUControlWord();
  SetFPUControlWord(static_cast<std::uint16_t>(standard ^ 0x0200));
  CheckStatus(0, false, library_, nullptr);
  EXPECT_EQ(GetFPUControlWord(), standard);
#endif
}

} // namespace
} // namespace nimbus
