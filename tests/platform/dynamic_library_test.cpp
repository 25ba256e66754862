#include "platform/dynamic_library.h"

#include "platform/exception.h"
#include "platform/text.h"

#include <cerrno>
#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace nimbus {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(dynamic_library, windows_client_names_map_to_the_system_client) {
  const std::pair<const char*, const char*> cases[] = {
      {"fbclient.dll", "libfbclient.so.2"},
      {"GDS32.DLL", "libfbclient.so.2"},
      {"FbClient.dll", "libfbclient.so.2"},
      {"/opt/orvan/fbclient.dll", "/opt/orvan/fbclient.dll"}, // a path is the caller's choice
      {"libfbclient.so", "libfbclient.so"},
      {"fbclient.dll.bak", "fbclient.dll.bak"},
      {"", ""},
  };
  for (auto [name, expected] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(PlatformLibraryName(name), expected);
  }
}

TEST(dynamic_library, failures_carry_the_code_and_the_loaders_text) {
  try {
    DynamicLibrary::Open("/nonexistent/libnothing.so");
    FAIL() << "opened a missing file";
  } catch (const EOSError& e) {
    EXPECT_NE(e.ErrorCode(), 0);
    EXPECT_THAT(e.Message(), StartsWith(Utf8ToCp1252("Erreur système.  Code : ") +
                                        std::to_string(e.ErrorCode()) + ".\r"));
    EXPECT_THAT(e.Message(), HasSubstr("/nonexistent/libnothing.so"));
  }

  // No name is no file, not the program itself.
  try {
    DynamicLibrary::Open("");
    FAIL() << "opened an empty name";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_EQ(e.Message(), Utf8ToCp1252("Erreur système.  Code : ") + std::to_string(ENOENT) +
                               ".\r" + std::strerror(ENOENT));
  }

  DynamicLibrary library = DynamicLibrary::Open("fbclient.dll");
  EXPECT_NE(library.Find("isc_attach_database"), nullptr);
  EXPECT_EQ(library.Find("no_such_function"), nullptr);
  try {
    library.Require("no_such_function");
    FAIL() << "found a missing symbol";
  } catch (const EOSError& e) {
    EXPECT_THAT(e.Message(), HasSubstr("no_such_function"));
  }
}

TEST(dynamic_library, move_leaves_one_owner_and_close_empties_it) {
  DynamicLibrary first = DynamicLibrary::Open("libfbclient.so.2");
  void* handle = first.Handle();
  DynamicLibrary second = std::move(first);
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(second.Handle(), handle);
  EXPECT_EQ(first.Find("isc_attach_database"), nullptr);
  second.Close();
  EXPECT_FALSE(second.IsOpen());
  second.Close();
}

TEST(os_error, code_zero_has_the_generic_text) {
  EXPECT_EQ(MakeOSError(0, "ignored").Message(),
            Utf8ToCp1252("Un appel à une fonction du système d'exploitation a échoué"));
  EXPECT_EQ(MakeOSError(2, "No such file").Message(),
            Utf8ToCp1252("Erreur système.  Code : 2.\rNo such file"));
}

} // namespace
} // namespace nimbus
