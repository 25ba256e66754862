#include "fib/client_library.h"
#include "fib/dpb.h"
#include "fib/errors.h"
#include "platform/component.h"
#include "tests/support/test_server.h"

#include <gtest/gtest.h>

#include <optional>

#include <unistd.h>

namespace nimbus {
namespace {

// Attachments through the raw client calls, with errors composed from the
// real status vector the server filled.
class server_errors : public ::testing::Test {
protected:
  server_errors() : library_(GetClientLibrary("fbclient.dll")), form_(&application_) {
    form_.SetName("Form1");
    database_ = new TComponent(&form_);
    database_->SetName("dbNimbus");
  }

  std::string ConnectionDPB(const std::string& password) {
    TDBParams params;
    params.Assign(
        {"user_name=" + test::ServerUser(), "password=" + password, "lc_ctype=ISO8859_1"});
    return BuildDPB(params, true);
  }

  // Attaches `name` on the test server; the error it raises, if any.
  std::optional<EFIBInterBaseError> Attach(const std::string& name, const std::string& password,
                                           isc_db_handle& handle) {
    std::string dbName = test::ServerAddress() + ":" + name;
    std::string dpb = ConnectionDPB(password);
    ISC_STATUS status = library_->isc_attach_database(
        StatusVector(), static_cast<short>(dbName.size()), dbName.c_str(), &handle,
        static_cast<short>(dpb.size()), dpb.data());
    try {
      CheckStatus(status, true, *library_, database_);
    } catch (const EFIBInterBaseError& e) {
      return e;
    }
    return std::nullopt;
  }

  IIBClientLibraryPtr library_;
  TComponent application_;
  TComponent form_;
  TComponent* database_;
};

const std::string kSystemErrorExplanation =
    "Unsuccessful execution caused by a system error that precludes successful execution of "
    "subsequent statements.\r\n";

TEST_F(server_errors, built_block_attaches_to_a_fresh_database) {
  std::string path =
      test::ServerDataFolder() + "/nimbus_fiblib_" + std::to_string(::getpid()) + ".fdb";
  std::string create = "CREATE DATABASE '" + test::ServerAddress() + ":" + path + "' USER '" +
                       test::ServerUser() + "' PASSWORD '" + test::ServerPassword() + "'";
  isc_db_handle handle = 0;
  isc_tr_handle transaction = 0;
  ASSERT_EQ(library_->isc_dsql_execute_immediate(StatusVector(), &handle, &transaction, 0,
                                                 create.c_str(), 3, nullptr),
            0)
      << "could not create the test database";
  ASSERT_EQ(library_->isc_detach_database(StatusVector(), &handle), 0);

  handle = 0;
  std::optional<EFIBInterBaseError> error = Attach(path, test::ServerPassword(), handle);
  EXPECT_FALSE(error) << (error ? error->Message() : "");
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(library_->isc_drop_database(StatusVector(), &handle), 0);
}

TEST_F(server_errors, unknown_alias) {
  std::string alias = "nimbus_no_such_alias_" + std::to_string(::getpid());
  isc_db_handle handle = 0;
  std::optional<EFIBInterBaseError> error = Attach(alias, test::ServerPassword(), handle);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->SQLCode(), -902);
  EXPECT_EQ(error->StatusCode(), isc_io_error);
  EXPECT_EQ(error->RaiserName(), "Form1.dbNimbus");
  EXPECT_EQ(error->Message(), "Form1.dbNimbus:\r\n" + kSystemErrorExplanation +
                                  "I/O error during \"open\" operation for file \"" + alias +
                                  "\".\r\n"
                                  "Error while trying to open file.\r\n"
                                  "No such file or directory.\r\n");
  EXPECT_EQ(error->SQLMessage(), kSystemErrorExplanation);
}

TEST_F(server_errors, wrong_password) {
  isc_db_handle handle = 0;
  std::optional<EFIBInterBaseError> error = Attach("employee", "not-the-password", handle);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->SQLCode(), -902);
  EXPECT_EQ(error->StatusCode(), isc_login);
  EXPECT_EQ(error->Message(), "Form1.dbNimbus:\r\n" + kSystemErrorExplanation +
                                  "Your user name and password are not defined. Ask your "
                                  "database administrator to set up a Firebird login.\r\n");
  EXPECT_EQ(error->ServerMessage(), "Your user name and password are not defined. Ask your "
                                    "database administrator to set up a Firebird login.\r\n");
}

} // namespace
} // namespace nimbus
