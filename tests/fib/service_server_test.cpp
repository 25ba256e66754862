#include "fib/service.h"

#include <gtest/gtest.h>

#include "fib/access_layer.h"
#include "fib/errors.h"
#include "tests/support/test_server.h"

namespace nimbus {
namespace {

// The probe's service on the test server. Each test is refused at most once:
// the server delays the fourth refused login in a row.
class server_service : public ::testing::Test {
protected:
  void SetUp() override {
    InitAccessLayer();
    form.SetName("Form1");
    svc = new TpFIBSecurityService(&form);
    svc->SetProtocol(TCP);
    svc->SetServerName(test::ServerAddress());
    svc->LoginPrompt = false;
    svc->SetLibraryName("fbclient.dll");
  }

  void UsePassword(const std::string& password) {
    svc->Params().Clear();
    svc->Params().Add("user_name=" + test::ServerUser());
    svc->Params().Add("password=" + password);
  }

  TComponent form;
  TpFIBSecurityService* svc = nullptr;
};

TEST_F(server_service, the_right_password_attaches_and_no_task_runs) {
  UsePassword(test::ServerPassword());
  svc->SetActive(true);
  EXPECT_TRUE(svc->Active());
  EXPECT_FALSE(svc->IsServiceRunning());
  svc->SetActive(false);
  EXPECT_FALSE(svc->Active());
  EXPECT_EQ(svc->ServiceHandle(), 0u);
}

TEST_F(server_service, a_wrong_password_is_refused_and_leaves_no_handle) {
  UsePassword("not-the-password");
  try {
    svc->SetActive(true);
    FAIL() << "the service manager accepted a wrong password";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_EQ(e.StatusCode(), isc_login);
    EXPECT_EQ(e.SQLCode(), -902);
  }
  EXPECT_FALSE(svc->Active());
  EXPECT_EQ(svc->ServiceHandle(), 0u);
}

TEST_F(server_service, an_over_long_password_never_reaches_the_server) {
  // With a one-byte length the server would read only the real password's
  // bytes and accept it.
  UsePassword(test::ServerPassword() + std::string(256, 'x'));
  EXPECT_THROW(svc->SetActive(true), EFIBClientError);
  EXPECT_FALSE(svc->Active());
}

} // namespace
} // namespace nimbus
