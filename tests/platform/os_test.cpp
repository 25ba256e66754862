#include "platform/os.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/exception.h"
#include "tests/support/temp_dir.h"

namespace nimbus::test {
namespace {

// The system reads a path only up to a NUL: "a.sql\0x" would reach a.sql.
TEST(os, a_path_holding_a_nul_byte_names_no_file) {
  const TempDir dir;
  const std::string file = dir.Write("a.sql", "keep");
  const std::string withNul = file + std::string("\0x", 2);
  EXPECT_FALSE(os::FileExists(withNul));
  EXPECT_FALSE(os::FileModificationTime(withNul));
  EXPECT_FALSE(os::DeleteFile(withNul));
  EXPECT_FALSE(os::AppendToExistingFile(withNul, "more"));
  EXPECT_FALSE(os::CreateEmptyFile(dir.Path() + "/b.sql" + std::string("\0x", 2)));
  EXPECT_THROW(os::ReadFileBytes(withNul), EFileReadError);
  EXPECT_EQ(ReadFile(file), "keep");
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/b.sql"));
}

TEST(os, read_file_bytes_reads_every_byte_or_names_the_file_that_failed) {
  const TempDir dir;
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7);
  EXPECT_EQ(os::ReadFileBytes(dir.Write("big", bytes)), bytes);
  EXPECT_EQ(os::ReadFileBytes(dir.Write("empty", "")), "");

  std::filesystem::create_directories(dir.Path() + "/folder");
  struct Case {
    std::string path;
    int code;
    std::string message;
  };
  const Case cases[] = {
      {dir.Path() + "/missing", ENOENT,
       "Cannot open file \"" + dir.Path() + "/missing\". No such file or directory"},
      {dir.Path() + "/folder", EISDIR,
       "Cannot read file \"" + dir.Path() + "/folder\". Is a directory"},
      {"/proc/self/mem", EIO, "Cannot read file \"/proc/self/mem\". Input/output error"},
      {"", ENOENT, "Cannot open file \"\". No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    try {
      os::ReadFileBytes(c.path);
      ADD_FAILURE() << "read";
    } catch (const EFileReadError& error) {
      EXPECT_EQ(error.ErrorCode(), c.code);
      EXPECT_EQ(error.Message(), c.message);
    }
  }
}

// INPUT and blob files are read through it: anything without an end (a FIFO
// would block the run, /dev/zero fill the memory) is refused before a read.
TEST(os, read_only_file_opens_regular_files_only) {
  const TempDir dir;
  const std::string file = dir.Write("a.sql", "abc");
  const std::string fifo = dir.File("pipe.sql");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Holding both ends keeps an open that blocks from blocking this test.
  const int held = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(held, 0);
  std::filesystem::create_directories(dir.Path() + "/folder");

  os::TReadOnlyFile opened(file);
  char bytes[4] = {};
  EXPECT_EQ(opened.Read(bytes, sizeof bytes), 3u);

  const std::pair<std::string, std::string> refused[] = {
      {fifo, "Not a regular file"},
      {"/dev/zero", "Not a regular file"},
      {"/dev/null", "Not a regular file"},
      {dir.Path() + "/folder", "Is a directory"},
  };
  for (const auto& [path, reason] : refused) {
    SCOPED_TRACE(path);
    try {
      os::TReadOnlyFile refusedFile(path);
      ADD_FAILURE() << "opened";
    } catch (const EFileReadError& error) {
      EXPECT_EQ(error.Message(), "Cannot open file \"" + path + "\". " + reason);
    }
  }
  ::close(held);
}

// Sets or unsets an environment variable for the scope, then puts it back.
class ScopedVariable {
public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name))
      saved_ = old;
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~ScopedVariable() {
    if (saved_)
      ::setenv(name_, saved_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(os, user_state_folder_follows_xdg_state_home_else_home) {
  struct Case {
    const char* name;
    std::optional<std::string> state;
    std::optional<std::string> home;
    std::string expected;
  };
  const Case cases[] = {
      {"absolute XDG_STATE_HOME", "/srv/state/", "/home/op", "/srv/state"},
      {"relative XDG_STATE_HOME is ignored", "state", "/home/op", "/home/op/.local/state"},
      {"empty XDG_STATE_HOME", "", "/home/op/", "/home/op/.local/state"},
      {"unset XDG_STATE_HOME", std::nullopt, "/home/op", "/home/op/.local/state"},
      {"home at the root", std::nullopt, "/", "/.local/state"},
      {"relative HOME names no folder", std::nullopt, "op", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedVariable state("XDG_STATE_HOME", c.state);
    const ScopedVariable home("HOME", c.home);
    EXPECT_EQ(os::UserStateFolder(), c.expected);
  }
}

TEST(os, user_state_folder_without_home_takes_the_password_database_home) {
  const ScopedVariable state("XDG_STATE_HOME", std::nullopt);
  const ScopedVariable noHome("HOME", std::nullopt);
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  const std::string home = entry->pw_dir;
  EXPECT_EQ(os::UserStateFolder(), (home == "/" ? "" : home) + "/.local/state");
}

TEST(os, create_folders_makes_the_missing_ones_private_and_fails_through_a_file) {
  const TempDir dir;
  const std::string deep = dir.Path() + "/a/b/c";
  EXPECT_TRUE(os::CreateFolders(deep + "/"));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  struct stat st {};
  ASSERT_EQ(::stat((dir.Path() + "/a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(os::CreateFolders(deep)) << "an existing folder is fine";

  const std::string file = dir.Write("file", "x");
  EXPECT_FALSE(os::CreateFolders(file));
  EXPECT_FALSE(os::CreateFolders(file + "/below"));
  EXPECT_FALSE(os::CreateFolders(""));
  EXPECT_EQ(ReadFile(file), "x");
}

// Names of this process's descriptors, however their folder is reached; a
// folder of the same look elsewhere names files.
TEST(os, own_descriptor_is_told_by_its_folder_not_its_spelling) {
  const TempDir dir;
  dir.Write("fd/1", "");
  const std::string pid = std::to_string(::getpid());
  const struct {
    std::string path;
    std::optional<int> descriptor;
  } cases[] = {
      {"/dev/fd/1", 1},
      {"/proc/self/fd/2", 2},
      {"/proc/" + pid + "/fd/0", 0},
      {"/dev/./fd/12", 12},
      {"/dev/stdout", std::nullopt}, // a link to /proc/self/fd/1: followed by the caller
      {"/dev/fd/x", std::nullopt},
      {"/dev/fd/", std::nullopt},
      {dir.Path() + "/fd/1", std::nullopt},
      {"/nonexistent/fd/1", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(os::OwnDescriptor(c.path), c.descriptor);
  }
}

} // namespace
} // namespace nimbus::test
