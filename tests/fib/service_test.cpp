#include "fib/service.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "fib/errors.h"
#include "platform/exception.h"
#include "tests/fib/database_fake_library.h"

namespace nimbus {
namespace {

using test::ExpectClientError;
using test::FakeServer;

std::string Bytes(std::initializer_list<int> bytes) {
  std::string result;
  for (int b : bytes)
    result += static_cast<char>(b);
  return result;
}

std::string SPBOf(std::vector<std::string> lines) {
  TParamLines params;
  params.Assign(std::move(lines));
  return BuildSPB(params);
}

TEST(service_parameter_block, lines_become_items) {
  struct Case {
    std::vector<std::string> lines;
    std::string items; // after the version bytes 2, 2
  } cases[] = {
      {{"user_name=SYSDBA", "password=ZEPHYRINE"},
       Bytes({28, 6}) + "SYSDBA" + Bytes({29, 9}) + "ZEPHYRINE"},
      {{"isc_spb_user_name=a"}, Bytes({28, 1}) + "a"},
      {{"ISC_SPB_PASSWORD=Secret"}, Bytes({29, 6}) + "Secret"}, // the value keeps its case
      {{" User_Name =x"}, Bytes({28, 1}) + "x"},
      {{"sql_role_name=r= s "}, Bytes({60, 5}) + "r= s "}, // after the first "=", untrimmed
      {{"command_line=-x"}, Bytes({105, 2}) + "-x"},
      {{"password="}, Bytes({29, 0})},
      {{"password"}, Bytes({29, 0})},
      {{"connect_timeout=30"}, Bytes({57, 4, 30, 0, 0, 0})},
      {{"dummy_packet_interval=-1"}, Bytes({58, 4, 0xFF, 0xFF, 0xFF, 0xFF})},
      {{"", "   ", "=value"}, ""}, // no name: skipped
      {{"password=" + std::string(255, 'p')}, Bytes({29, 255}) + std::string(255, 'p')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.front().substr(0, 30));
    EXPECT_EQ(SPBOf(c.lines), Bytes({2, 2}) + c.items);
  }
}

TEST(service_parameter_block, refused_lines_name_the_item_and_never_the_value) {
  struct Case {
    std::string line;
    int sqlCode;
    std::string message;
  } cases[] = {
      {"db_name=employee", 72, "SPB Constant Not supported"},
      {"isc_spb_verbose", 72, "SPB Constant Not supported"},
      {"sys_user_name=x", 72, "SPB Constant Not supported"},
      {"instance_name=x", 72, "SPB Constant Not supported"},
      {"lc_ctype=ISO8859_1", 73, "SPB Constant Unknown"},
      {"isc_spb_foo=1", 73, "SPB Constant Unknown"},
      // One length byte cannot say 265: the tail would go out as more items.
      {"password=ZEPHYRINE" + std::string(256, 'x'), -1,
       "SPB Constant (isc_spb_password) value is longer than 255 bytes."},
      {"user_name=" + std::string(256, 'u'), -1,
       "SPB Constant (isc_spb_user_name) value is longer than 255 bytes."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 30));
    ExpectClientError([&] { SPBOf({c.line}); }, c.sqlCode, c.message);
  }
  // 255 full-length items make a block past its 16-bit length.
  std::vector<std::string> many(255, "command_line=" + std::string(255, 'c'));
  ExpectClientError([&] { SPBOf(many); }, -1,
                    "The service parameter block is longer than 65535 bytes.");
  many.pop_back();
  EXPECT_EQ(SPBOf(many).size(), 2u + 254 * 257);
}

TEST(service_parameter_block, numbers_that_do_not_read_raise_the_conversion_error) {
  for (const char* line : {"connect_timeout=", "connect_timeout=ten", "connect_timeout=1.5"}) {
    SCOPED_TRACE(line);
    EXPECT_THROW(SPBOf({line}), EConvertError);
  }
}

TEST(service_parameter_block, service_name_follows_the_protocol) {
  EXPECT_EQ(ServiceName(TCP, "127.0.0.1"), "127.0.0.1:service_mgr");
  EXPECT_EQ(ServiceName(SPX, "srv"), "srv@service_mgr");
  EXPECT_EQ(ServiceName(NamedPipe, "srv"), R"(\\srv\service_mgr)");
  EXPECT_EQ(ServiceName(Local, "ignored"), "service_mgr");
}

// The probe's service over the scripted server.
class service : public test::FakeLibraryTest {
protected:
  void SetUp() override {
    FakeLibraryTest::SetUp();
    form.SetName("Form1");
    svc = new TpFIBSecurityService(&form);
    svc->SetName("Probe");
    svc->SetProtocol(TCP);
    svc->SetServerName("127.0.0.1");
    svc->LoginPrompt = false;
    svc->SetLibraryName(test::FakeAttachment::FakeLibraryTestName());
    svc->Params().Assign({"user_name=SYSDBA", "password=ZEPHYRINE"});
  }

  TComponent form;
  TpFIBSecurityService* svc = nullptr;
};

TEST_F(service, defaults) {
  TpFIBSecurityService fresh;
  EXPECT_FALSE(fresh.Active());
  EXPECT_EQ(fresh.Protocol(), Local);
  EXPECT_EQ(fresh.ServerName(), "");
  EXPECT_EQ(fresh.LibraryName(), "gds32.dll");
  EXPECT_TRUE(fresh.LoginPrompt);
  EXPECT_TRUE(fresh.Params().Empty());
  EXPECT_EQ(fresh.BufferSize(), 32000);
}

TEST_F(service, server_name_and_protocol_move_together) {
  TpFIBSecurityService fresh;
  fresh.SetServerName("127.0.0.1");
  EXPECT_EQ(fresh.Protocol(), TCP);
  fresh.SetProtocol(SPX);
  EXPECT_EQ(fresh.ServerName(), "127.0.0.1");
  fresh.SetServerName("");
  EXPECT_EQ(fresh.Protocol(), Local);
  fresh.SetServerName("srv");
  fresh.SetProtocol(Local);
  EXPECT_EQ(fresh.ServerName(), "");
}

TEST_F(service, attach_query_and_detach) {
  int attached = 0;
  svc->OnAttach = [&](TComponent* sender) {
    EXPECT_EQ(sender, svc);
    ++attached;
  };
  svc->SetActive(true);
  EXPECT_TRUE(svc->Active());
  EXPECT_EQ(attached, 1);
  EXPECT_EQ(FakeServer::service_name, "127.0.0.1:service_mgr");
  // 2 + 8 + 11 bytes: the version, user name and password items.
  EXPECT_EQ(FakeServer::spb, Bytes({2, 2, 28, 6}) + "SYSDBA" + Bytes({29, 9}) + "ZEPHYRINE");
  EXPECT_EQ(svc->SPBLength(), 21);

  EXPECT_FALSE(svc->IsServiceRunning());
  EXPECT_EQ(FakeServer::service_request, Bytes({67}));
  EXPECT_EQ(FakeServer::service_buffer_length, 32000);
  FakeServer::service_reply = Bytes({67, 1, 0, 0, 0, 1});
  EXPECT_TRUE(svc->IsServiceRunning());

  svc->SetActive(true); // the current value: nothing happens
  svc->SetActive(false);
  EXPECT_FALSE(svc->Active());
  EXPECT_EQ(FakeServer::calls, (std::vector<std::string>{"service_attach", "service_query",
                                                         "service_query", "service_detach"}));
}

TEST_F(service, settings_change_only_while_detached) {
  svc->SetActive(true);
  const std::string attached = "Cannot perform operation -- service is attached";
  ExpectClientError([&] { svc->Params().Add("sql_role_name=R"); }, 66, attached);
  ExpectClientError([&] { svc->Params().Clear(); }, 66, attached);
  ExpectClientError([&] { svc->SetServerName("other"); }, 66, attached);
  ExpectClientError([&] { svc->SetProtocol(Local); }, 66, attached);
  ExpectClientError([&] { svc->SetLibraryName(svc->LibraryName()); }, 66, attached);
  ExpectClientError([&] { svc->Attach(); }, 66, attached);
  EXPECT_EQ(svc->Params().Count(), 2);
  EXPECT_EQ(svc->ServerName(), "127.0.0.1");
  svc->SetActive(false);
  ExpectClientError([&] { svc->Detach(); }, 65,
                    "Cannot perform operation -- service is not attached");
}

TEST_F(service, refused_attaches_raise_and_leave_no_handle) {
  TpFIBSecurityService unnamed;
  unnamed.SetProtocol(TCP);
  unnamed.LoginPrompt = false;
  ExpectClientError([&] { unnamed.SetActive(true); }, 67, "Server Name Missing");

  svc->Params().Add("db_name=x");
  ExpectClientError([&] { svc->SetActive(true); }, 72, "SPB Constant Not supported");
  svc->Params().Delete(2);

  // An empty name is a missing file, not the program itself.
  svc->SetLibraryName("");
  try {
    svc->SetActive(true);
    FAIL() << "attached without a client library";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
  svc->SetLibraryName(test::FakeAttachment::FakeLibraryTestName());

  FakeServer::service_attach_error = isc_login;
  try {
    svc->SetActive(true);
    FAIL() << "attached with a refused password";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_EQ(e.StatusCode(), isc_login);
    EXPECT_EQ(e.Raiser(), svc);
  }
  EXPECT_FALSE(svc->Active());
  EXPECT_EQ(svc->ServiceHandle(), 0u);
  FakeServer::service_attach_error = 0;
  svc->SetActive(true); // the next candidate gets through
  EXPECT_TRUE(svc->Active());
}

TEST_F(service, login_prompt_needs_a_handler) {
  svc->LoginPrompt = true;
  ExpectClientError([&] { svc->SetActive(true); }, 7, "Operation cancelled at user's request.");
  EXPECT_TRUE(FakeServer::calls.empty());

  svc->OnLogin = [&](TpFIBCustomService* sender, TParamLines& login) {
    EXPECT_EQ(sender, svc);
    EXPECT_NE(&login, &svc->Params()); // a copy
    login.Set(1, "password=other");
  };
  svc->SetActive(true);
  EXPECT_EQ(svc->Params()[1], "password=other");
  EXPECT_EQ(FakeServer::spb, Bytes({2, 2, 28, 6}) + "SYSDBA" + Bytes({29, 5}) + "other");
}

TEST_F(service, failed_queries) {
  ExpectClientError([&] { svc->IsServiceRunning(); }, 65,
                    "Cannot perform operation -- service is not attached");
  svc->SetActive(true);
  // A reply that does not echo the item.
  FakeServer::service_reply = Bytes({isc_info_truncated, 0, 0, 0, 0});
  ExpectClientError([&] { svc->IsServiceRunning(); }, 70, "Unexpected Output buffer value");
  FakeServer::service_reply = "";
  ExpectClientError([&] { svc->IsServiceRunning(); }, 70, "Unexpected Output buffer value");
  EXPECT_TRUE(svc->Active());

  // A failing query leaves the service detached, its handle released.
  FakeServer::service_query_error = isc_network_error;
  EXPECT_THROW(svc->IsServiceRunning(), EFIBInterBaseError);
  EXPECT_FALSE(svc->Active());
  EXPECT_EQ(FakeServer::calls.back(), "service_detach");
  EXPECT_NO_THROW(svc->SetActive(false));
}

TEST_F(service, buffer_size_stays_within_what_a_query_can_carry) {
  svc->SetActive(true);
  const std::pair<int32_t, unsigned short> cases[] = {{0, 5},       {-1, 5},        {5, 5},
                                                      {1000, 1000}, {65535, 65535}, {70000, 65535}};
  for (const auto& [asked, sent] : cases) {
    SCOPED_TRACE(asked);
    svc->SetBufferSize(asked);
    EXPECT_EQ(svc->BufferSize(), sent);
    FakeServer::service_reply = Bytes({67, 1, 0, 0, 0, 1});
    EXPECT_TRUE(svc->IsServiceRunning());
    EXPECT_EQ(FakeServer::service_buffer_length, sent);
  }
  // A stale reply must not be read again: the buffer is zeroed before the call.
  FakeServer::service_reply = "";
  ExpectClientError([&] { svc->IsServiceRunning(); }, 70, "Unexpected Output buffer value");
}

TEST_F(service, destruction_detaches) {
  svc->SetActive(true);
  FakeServer::service_detach_error = isc_network_error;
  FakeServer::calls.clear();
  delete svc;
  EXPECT_EQ(FakeServer::calls, std::vector<std::string>{"service_detach"});
}

} // namespace
} // namespace nimbus
