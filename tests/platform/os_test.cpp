#include "platform/os.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
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

} // namespace
} // namespace nimbus::test
