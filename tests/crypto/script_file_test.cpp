#include "crypto/script_file.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "crypto/aes_cipher.h"
#include "tests/crypto/scratch_folder.h"

namespace nimbus {
namespace {

using test::ReadBytes;
using test::WriteBytes;

const std::array<std::uint8_t, 16> Key = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

std::string RandomBytes(std::size_t size, std::mt19937& random) {
  std::string bytes(size, '\0');
  for (char& c : bytes)
    c = static_cast<char>(random());
  return bytes;
}

class script_file : public ::testing::Test {
protected:
  void Encrypt(const std::string& from, const std::string& to) {
    DecryptScriptFile(from, to, Key.data(), Key.size(), true);
  }
  void Decrypt(const std::string& from, const std::string& to) {
    DecryptScriptFile(from, to, Key.data(), Key.size(), false);
  }
  // Decrypts the final block by hand: the block before it is its chaining value.
  std::array<std::uint8_t, 16> FinalPlainBlock(const std::string& encrypted) {
    std::array<std::uint8_t, 16> block{};
    const std::size_t end = encrypted.size() / 16 * 16;
    std::memcpy(block.data(), encrypted.data() + end - 16, 16);
    AesCipher(Key.data(), Key.size(), false).TransformBlocks(block.data(), block.data(), 16);
    for (std::size_t i = 0; i < 16; ++i)
      block[i] ^= static_cast<std::uint8_t>(encrypted[end - 32 + i]);
    return block;
  }
  void ExpectInvalidFormat(const std::string& encrypted) {
    WriteBytes(folder / "bad.rhtz", encrypted);
    try {
      Decrypt(folder / "bad.rhtz", folder / "out.sql");
      ADD_FAILURE() << "no error";
    } catch (const ECipherException& error) {
      EXPECT_STREQ(error.what(), "Invalid file format");
    }
  }

  test::ScratchFolder folder;
};

// Made outside this code base with a stock AES-128-CBC and the chaining value
// a0..af, so it pins the layout rather than restating it.
TEST_F(script_file, decrypts_a_file_made_elsewhere) {
  const std::uint8_t encrypted[] = {0xa0, 0xa1, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9,
                                    0xaa, 0xab, 0xac, 0xad, 0xae, 0xaf, 0xc9, 0x91, 0x32, 0xe8,
                                    0x46, 0x77, 0x31, 0x5f, 0x7f, 0x64, 0x34, 0x10, 0x80, 0x8b,
                                    0xd6, 0xdd, 0xd5, 0x05, 0x64, 0x38, 0xe2, 0x91, 0xdb, 0x4f,
                                    0x68, 0x9a, 0x95, 0xc5, 0x03, 0x43, 0x6c, 0x2e};
  const std::string bytes(reinterpret_cast<const char*>(encrypted), sizeof encrypted);
  WriteBytes(folder / "in.rhtz", bytes);
  Decrypt(folder / "in.rhtz", folder / "out.sql");
  EXPECT_EQ(ReadBytes(folder / "out.sql"), "CREATE TABLE T1;\n");

  // Bytes past the last whole block are not part of the layout.
  WriteBytes(folder / "in.rhtz", bytes + "12345");
  Decrypt(folder / "in.rhtz", folder / "out.sql");
  EXPECT_EQ(ReadBytes(folder / "out.sql"), "CREATE TABLE T1;\n");
}

TEST_F(script_file, sizes_and_final_block_count) {
  const struct {
    std::size_t plain;
    std::size_t encrypted;
  } cases[] = {{0, 32}, {1, 32}, {15, 32}, {16, 48}, {17, 48}, {31, 48}, {32, 64}};
  std::mt19937 random(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plain);
    const std::string plain = RandomBytes(c.plain, random);
    WriteBytes(folder / "plain.sql", plain);
    Encrypt(folder / "plain.sql", folder / "script.rhtz");
    const std::string encrypted = ReadBytes(folder / "script.rhtz");
    ASSERT_EQ(encrypted.size(), c.encrypted);

    const std::array<std::uint8_t, 16> last = FinalPlainBlock(encrypted);
    const std::size_t count = c.plain % 16;
    EXPECT_EQ(last[15], count);
    EXPECT_EQ(std::memcmp(last.data(), plain.data() + plain.size() - count, count), 0);
    for (std::size_t i = count; i < 15; ++i)
      EXPECT_EQ(last[i], 0) << "padding byte " << i;

    Decrypt(folder / "script.rhtz", folder / "back.sql");
    EXPECT_EQ(ReadBytes(folder / "back.sql"), plain);
  }
}

TEST_F(script_file, round_trip_over_random_sizes) {
  std::mt19937 random(42);
  // Sizes around the 64 KB read size matter as much as small ones.
  std::vector<std::size_t> sizes = {65535, 65536, 65537, 65536 * 3 + 15, 1000003};
  for (int i = 0; i < 40; ++i)
    sizes.push_back(random() % 5000);
  for (std::size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string plain = RandomBytes(size, random);
    WriteBytes(folder / "plain.sql", plain);
    Encrypt(folder / "plain.sql", folder / "script.rhtz");
    ASSERT_EQ(ReadBytes(folder / "script.rhtz").size(), 16 * (size / 16 + 2));
    Decrypt(folder / "script.rhtz", folder / "back.sql");
    ASSERT_EQ(ReadBytes(folder / "back.sql"), plain);
  }
}

// The in-memory forms read and write the very layout of the files.
TEST_F(script_file, bytes_forms_match_the_file_forms) {
  std::mt19937 random(7);
  for (std::size_t size : {0u, 15u, 16u, 17u, 70000u}) {
    SCOPED_TRACE(size);
    const std::string plain = RandomBytes(size, random);
    WriteBytes(folder / "plain.sql", plain);
    Encrypt(folder / "plain.sql", folder / "script.rhtz");
    EXPECT_EQ(
        TransformScriptBytes(ReadBytes(folder / "script.rhtz"), Key.data(), Key.size(), false),
        plain);

    const std::string encrypted = TransformScriptBytes(plain, Key.data(), Key.size(), true);
    EXPECT_EQ(encrypted.size(), 16 * (size / 16 + 2));
    WriteBytes(folder / "memory.rhtz", encrypted);
    Decrypt(folder / "memory.rhtz", folder / "back.sql");
    EXPECT_EQ(ReadBytes(folder / "back.sql"), plain);
  }
  for (std::size_t size : {0u, 31u}) {
    SCOPED_TRACE(size);
    try {
      TransformScriptBytes(std::string(size, 'x'), Key.data(), Key.size(), false);
      ADD_FAILURE() << "no error";
    } catch (const ECipherException& error) {
      EXPECT_STREQ(error.what(), "Invalid file format");
    }
  }
}

// A pipe cannot seek to find the final block; it must decrypt as the file
// with its bytes does, a trailing part block and a malformed source included.
TEST_F(script_file, a_pipe_decrypts_as_its_file_does) {
  std::mt19937 random(9);
  const struct {
    std::size_t plain;
    std::string trailing;
  } cases[] = {{0, ""}, {17, ""}, {17, "12345"}, {65536 * 2 + 5, ""}, {65536 * 2 + 5, "xyz"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plain);
    SCOPED_TRACE(c.trailing);
    const std::string plain = RandomBytes(c.plain, random);
    const std::string encrypted = TransformScriptBytes(plain, Key.data(), Key.size(), true);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    // Written alongside: more than a pipe holds would block a single thread.
    // A reader that stops early makes the write fail, not the test end.
    std::thread writer([&] {
      sigset_t pipeSignal;
      sigemptyset(&pipeSignal);
      sigaddset(&pipeSignal, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
      const std::string bytes = encrypted + c.trailing;
      for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(ends[1], bytes.data() + done, bytes.size() - done);
        if (n <= 0)
          break;
        done += static_cast<std::size_t>(n);
      }
      ::close(ends[1]);
    });
    EXPECT_NO_THROW(Decrypt("/dev/fd/" + std::to_string(ends[0]), folder / "back.sql"));
    ::close(ends[0]);
    writer.join();
    EXPECT_EQ(ReadBytes(folder / "back.sql"), plain);
  }

  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "31 bytes, less than two blocks", 31), 31);
  ::close(ends[1]);
  EXPECT_THROW(Decrypt("/dev/fd/" + std::to_string(ends[0]), folder / "out.sql"), ECipherException);
  ::close(ends[0]);
}

TEST_F(script_file, equal_scripts_encrypt_differently) {
  WriteBytes(folder / "plain.sql", "SELECT 1 FROM RDB$DATABASE;");
  Encrypt(folder / "plain.sql", folder / "one.rhtz");
  Encrypt(folder / "plain.sql", folder / "two.rhtz");
  const std::string one = ReadBytes(folder / "one.rhtz"), two = ReadBytes(folder / "two.rhtz");
  EXPECT_NE(one.substr(0, 16), two.substr(0, 16));
  EXPECT_NE(one.substr(16), two.substr(16));
}

TEST_F(script_file, short_sources_are_an_invalid_format) {
  for (std::size_t size : {0u, 1u, 16u, 31u}) {
    SCOPED_TRACE(size);
    ExpectInvalidFormat(std::string(size, 'x'));
  }
}

TEST_F(script_file, final_count_above_15_is_an_invalid_format) {
  WriteBytes(folder / "plain.sql", std::string(20, 'p'));
  Encrypt(folder / "plain.sql", folder / "script.rhtz");
  const std::string good = ReadBytes(folder / "script.rhtz");
  for (int count : {16, 17, 200, 255}) {
    SCOPED_TRACE(count);
    // Re-encrypt the final block with a count no block can hold.
    std::array<std::uint8_t, 16> last = FinalPlainBlock(good);
    last[15] = static_cast<std::uint8_t>(count);
    for (std::size_t i = 0; i < 16; ++i)
      last[i] ^= static_cast<std::uint8_t>(good[good.size() - 32 + i]);
    AesCipher(Key.data(), Key.size(), true).TransformBlocks(last.data(), last.data(), 16);
    std::string bad = good;
    std::memcpy(bad.data() + bad.size() - 16, last.data(), 16);
    ExpectInvalidFormat(bad);
    // The body before the final block was written, nothing beyond it.
    EXPECT_EQ(ReadBytes(folder / "out.sql"), std::string(16, 'p'));
  }
}

// Source failures are read errors, so that a caller can tell them apart.
TEST_F(script_file, file_errors_name_the_file) {
  const std::string missing = folder / "missing.rhtz";
  try {
    Decrypt(missing, folder / "out.sql");
    ADD_FAILURE() << "no error";
  } catch (const EFileReadError& error) {
    EXPECT_EQ(error.ErrorCode(), ENOENT);
    EXPECT_EQ(error.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
  }

  WriteBytes(folder / "plain.sql", "x");
  const std::string unwritable = folder / "no-such-folder/out.rhtz";
  try {
    Encrypt(folder / "plain.sql", unwritable);
    ADD_FAILURE() << "no error";
  } catch (const EOSError& error) {
    EXPECT_EQ(dynamic_cast<const EFileReadError*>(&error), nullptr);
    EXPECT_EQ(error.ErrorCode(), ENOENT);
    EXPECT_EQ(error.Message().rfind("Cannot create file \"" + unwritable + "\". ", 0), 0u)
        << error.Message();
  }

  EXPECT_THROW(Decrypt(folder.Path().string(), folder / "out.sql"), EFileReadError);
}

// A full disk must not pass for a finished file, whether the write or the
// final flush finds it.
TEST_F(script_file, write_failures_are_reported) {
  if (!std::filesystem::exists("/dev/full"))
    GTEST_SKIP() << "no /dev/full";
  for (std::size_t size : {10u, 3000000u}) {
    SCOPED_TRACE(size);
    WriteBytes(folder / "plain.sql", std::string(size, 's'));
    try {
      Encrypt(folder / "plain.sql", "/dev/full");
      ADD_FAILURE() << "no error";
    } catch (const EOSError& error) {
      EXPECT_EQ(error.ErrorCode(), ENOSPC);
      EXPECT_EQ(error.Message(), "Cannot write file \"/dev/full\". No space left on device");
    }
  }
}

TEST_F(script_file, refuses_to_write_over_its_own_source) {
  WriteBytes(folder / "plain.sql", "keep me");
  EXPECT_THROW(Encrypt(folder / "plain.sql", folder / "plain.sql"), EOSError);
  EXPECT_EQ(ReadBytes(folder / "plain.sql"), "keep me");
}

} // namespace
} // namespace nimbus
