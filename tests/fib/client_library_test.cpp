#include "fib/client_library.h"

#include "platform/exception.h"
#include "platform/fpu.h"
#include "platform/text.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

namespace nimbus {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string CantFind(const std::string& function, const std::string& library) {
  return "Can't find procedure " + function + " in " + library;
}

template <class Call> std::string PlainExceptionMessage(Call call) {
  try {
    call();
  } catch (const EOSError&) {
    return "unexpected EOSError";
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no exception";
}

TEST(client_library, missing_file_raises_system_error_with_loader_text) {
  const std::string name = "/nonexistent/folder/libfbclient.so";
  for (int attempt = 0; attempt < 2; ++attempt) { // nothing registered: each call tries again
    try {
      GetClientLibrary(name);
      FAIL() << "loaded a missing file";
    } catch (const EOSError& e) {
      std::string prefix =
          Utf8ToCp1252("Erreur système.  Code : ") + std::to_string(e.ErrorCode()) + ".\r";
      EXPECT_NE(e.ErrorCode(), 0);
      EXPECT_THAT(e.Message(), StartsWith(prefix));
      EXPECT_THAT(e.Message(), HasSubstr(name)); // dlerror names the file
    }
  }
}

TEST(client_library, missing_required_entry_point_names_it_and_leaves_nothing_loaded) {
  try {
    TIBClientLibrary library(NIMBUS_FAKE_CLIENT_NO_PREPARE);
    FAIL() << "loaded a library without isc_dsql_prepare";
  } catch (const EOSError& e) {
    EXPECT_THAT(e.Message(), StartsWith(Utf8ToCp1252("Erreur système.  Code : ")));
    EXPECT_THAT(e.Message(), HasSubstr("isc_dsql_prepare"));
  }
}

TEST(client_library, old_client_without_rollback_retaining_is_version_5_without_services) {
  TIBClientLibrary library(NIMBUS_FAKE_CLIENT_V5);
  EXPECT_TRUE(library.IsLoaded());
  EXPECT_EQ(library.GetClientMajorVersion(), 5);
  EXPECT_EQ(library.GetClientMinorVersion(), 0);
  isc_tr_handle transaction = 0;
  isc_svc_handle service = 0;
  EXPECT_EQ(PlainExceptionMessage([&] { library.isc_rollback_retaining(nullptr, &transaction); }),
            CantFind("isc_rollback_retaining", NIMBUS_FAKE_CLIENT_V5));
  EXPECT_EQ(PlainExceptionMessage(
                [&] { library.isc_service_attach(nullptr, 0, "", &service, 0, nullptr); }),
            CantFind("isc_service_attach", NIMBUS_FAKE_CLIENT_V5));
  EXPECT_FALSE(library.IsBusy()); // a refused call never started
}

TEST(client_library, client_version_comes_from_the_library_when_it_reports_one) {
  TIBClientLibrary library(NIMBUS_FAKE_CLIENT_VERSIONED);
  EXPECT_EQ(library.GetClientMajorVersion(), 4);
  EXPECT_EQ(library.GetClientMinorVersion(), 2);
  // Batch calls are optional and this client has none.
  EXPECT_EQ(PlainExceptionMessage([&] {
              library.isc_dsql_batch_execute_immed(nullptr, nullptr, nullptr, 3, 0, nullptr,
                                                   nullptr);
            }),
            CantFind("isc_dsql_batch_execute_immed", NIMBUS_FAKE_CLIENT_VERSIONED));
}

TEST(client_library, descriptor_calls_are_never_bound) {
  TIBClientLibrary library(NIMBUS_FAKE_CLIENT_VERSIONED);
  EXPECT_EQ(PlainExceptionMessage([&] {
              library.isc_array_lookup_desc(nullptr, nullptr, nullptr, "T", "C", nullptr);
            }),
            CantFind("isc_array_lookup_desc", NIMBUS_FAKE_CLIENT_VERSIONED));
  EXPECT_EQ(PlainExceptionMessage([&] {
              library.isc_array_set_desc(nullptr, "T", "C", nullptr, nullptr, nullptr, nullptr);
            }),
            CantFind("isc_array_set_desc", NIMBUS_FAKE_CLIENT_VERSIONED));
}

TEST(client_library, registry_shares_an_entry_by_exact_name_only) {
  const std::string name = NIMBUS_FAKE_CLIENT_VERSIONED;
  std::filesystem::path path(name);
  const std::string otherForm = (path.parent_path() / "." / path.filename()).string();

  IIBClientLibraryPtr first = GetClientLibrary(name);
  IIBClientLibraryPtr again = GetClientLibrary(name);
  IIBClientLibraryPtr other = GetClientLibrary(otherForm);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
  EXPECT_EQ(first->GetLibraryName(), name);
  EXPECT_EQ(other->GetLibraryName(), otherForm);
}

TEST(client_library, threads_asking_at_once_share_one_entry) {
  std::filesystem::path path(NIMBUS_FAKE_CLIENT_V5);
  const std::string name = (path.parent_path() / "." / "." / path.filename()).string();
  std::vector<IIBClientLibraryPtr> seen(4);
  std::vector<std::thread> threads;
  for (auto& slot : seen)
    threads.emplace_back([&slot, &name] { slot = GetClientLibrary(name); });
  for (auto& thread : threads)
    thread.join();
  for (const auto& library : seen)
    EXPECT_EQ(library, seen.front());
}

TEST(client_library, unloaded_entry_refuses_calls_and_is_loaded_again_on_request) {
  IIBClientLibraryPtr library = GetClientLibrary(NIMBUS_FAKE_CLIENT_V5);
  library->Unload();
  EXPECT_FALSE(library->IsLoaded());
  // The old addresses are gone with the mapping; calling one must not crash.
  isc_db_handle db = 0;
  EXPECT_EQ(PlainExceptionMessage([&] { library->isc_detach_database(nullptr, &db); }),
            CantFind("isc_detach_database", NIMBUS_FAKE_CLIENT_V5));
  library->Unload(); // twice is harmless

  IIBClientLibraryPtr again = GetClientLibrary(NIMBUS_FAKE_CLIENT_V5);
  EXPECT_EQ(again, library);
  EXPECT_TRUE(library->IsLoaded());
  EXPECT_EQ(library->isc_sqlcode(nullptr), -999);
}

TEST(client_library, a_failed_reload_leaves_the_entry_unloaded_and_safe) {
  test::TempDir folder;
  const std::string name = folder.File("libclient.so");
  std::filesystem::copy_file(NIMBUS_FAKE_CLIENT_V5, name);
  IIBClientLibraryPtr library = GetClientLibrary(name);
  library->Unload();
  // The file changes to one that lacks a required entry point.
  std::filesystem::remove(name);
  std::filesystem::copy_file(NIMBUS_FAKE_CLIENT_NO_PREPARE, name);
  EXPECT_THROW(GetClientLibrary(name), EOSError);
  EXPECT_FALSE(library->IsLoaded());
  EXPECT_EQ(PlainExceptionMessage([&] { library->isc_sqlcode(nullptr); }),
            CantFind("isc_sqlcode", name));
}

TIBClientLibrary* busyProbeLibrary = nullptr;
bool busyDuringCall = false;

TEST(client_library, busy_while_a_call_runs_also_when_it_throws) {
  TIBClientLibrary library(NIMBUS_FAKE_CLIENT_VERSIONED);
  busyProbeLibrary = &library;
  library.EntryPoints().isc_sqlcode = [](const ISC_STATUS*) -> ISC_LONG {
    busyDuringCall = busyProbeLibrary->IsBusy();
    return 1;
  };
  library.EntryPoints().isc_vax_integer = [](const ISC_SCHAR*, short) -> ISC_LONG {
    throw std::runtime_error("client failure");
  };
  EXPECT_FALSE(library.IsBusy());
  library.isc_sqlcode(nullptr);
  EXPECT_TRUE(busyDuringCall);
  EXPECT_FALSE(library.IsBusy());
  EXPECT_THROW(library.isc_vax_integer("", 0), std::runtime_error);
  EXPECT_FALSE(library.IsBusy());
}

ISC_SCHAR* interpretedBuffer = nullptr;
ISC_STATUS** interpretedCursor = nullptr;

TEST(client_library, interpret_falls_back_to_the_old_call_without_fb_interpret) {
  TIBClientLibrary library(NIMBUS_FAKE_CLIENT_VERSIONED);
  library.EntryPoints().fb_interpret = nullptr;
  library.EntryPoints().isc_interprete = [](ISC_SCHAR* buffer, ISC_STATUS** cursor) -> ISC_LONG {
    interpretedBuffer = buffer;
    interpretedCursor = cursor;
    return 7;
  };
  char buffer[16];
  ISC_STATUS_ARRAY status{};
  const ISC_STATUS* cursor = status;
  EXPECT_EQ(library.fb_interpret(buffer, sizeof buffer, &cursor), 7);
  EXPECT_EQ(interpretedBuffer, buffer);
  EXPECT_EQ(static_cast<const void*>(interpretedCursor), static_cast<const void*>(&cursor));
}

TEST(client_library, loading_sets_extended_precision_keeping_other_bits) {
#if defined(__i386__) || defined(__x86_64__)
  std::uint16_t before = DefaultFPUControlWord();
  SetFPUControlWord(static_cast<std::uint16_t>((before & ~0x0300) | 0x0020));
  TIBClientLibrary library(NIMBUS_FAKE_CLIENT_V5);
  EXPECT_EQ(GetFPUControlWord(), static_cast<std::uint16_t>(before | 0x0300 | 0x0020));
  RestoreDefaultFPUControlWord();
  EXPECT_EQ(GetFPUControlWord(), before);
#else
  GTEST_SKIP() << "no x87 control word";
#endif
}

// Debian's client library, loaded by the Windows name the settings use.
TEST(client_library, system_client_resolves_every_required_entry_point) {
  for (const char* name : {"fbclient.dll", "gds32.dll"}) {
    SCOPED_TRACE(name);
    TIBClientLibrary library(name);
    ASSERT_TRUE(library.IsLoaded());
    const TClientEntryPoints& e = library.EntryPoints();
    // The two array-descriptor calls are never bound; every other one exists.
#define EXPECT_RESOLVED(entry)                                                                     \
  EXPECT_TRUE(std::string_view(#entry) == "isc_array_lookup_desc" ||                               \
              std::string_view(#entry) == "isc_array_set_desc" ||                                  \
              reinterpret_cast<const void*>(e.entry) != nullptr)                                   \
      << #entry;
    NIMBUS_TYPED_CLIENT_FUNCTIONS(EXPECT_RESOLVED)
    EXPECT_RESOLVED(isc_interprete)
#undef EXPECT_RESOLVED
    EXPECT_EQ(e.isc_array_lookup_desc, nullptr);
    EXPECT_EQ(e.isc_array_set_desc, nullptr);
    EXPECT_EQ(e.isc_dsql_batch_execute_immed, nullptr); // InterBase only
    EXPECT_EQ(e.isc_dsql_batch_execute, nullptr);
    EXPECT_GE(library.GetClientMajorVersion(), 3);
  }
}

} // namespace
} // namespace nimbus
