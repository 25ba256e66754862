#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/password_candidate.h"
#include "crypto/script_file.h"
#include "crypto/script_key.h"
#include "tests/crypto/scratch_folder.h"

namespace nimbus {
namespace {

using test::ReadBytes;
using test::WriteBytes;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// Single-quotes for the shell; the arguments here hold no quote of their own.
std::string Quoted(const std::string& argument) {
  return "'" + argument + "'";
}

class crypt_command : public ::testing::Test {
protected:
  Outcome Run(const std::vector<std::string>& arguments) {
    std::string command = Quoted(NIMBUS_BINARY_DIR "/tools/nimbus-scripttool");
    for (const std::string& argument : arguments)
      command.append(" ").append(Quoted(argument));
    command.append(" >").append(Quoted(folder / "stdout"));
    command.append(" 2>").append(Quoted(folder / "stderr"));
    const int status = std::system(command.c_str());
    Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(folder / "stdout"),
                    ReadBytes(folder / "stderr")};
    std::filesystem::remove(folder / "stdout");
    std::filesystem::remove(folder / "stderr");
    return outcome;
  }

  // What the script step does with an encrypted file and the built-in passphrase.
  std::string DecryptAsTheProgramDoes(const std::string& path, const std::string& passphrase) {
    std::array<std::uint8_t, 16> key{};
    DeriveScriptKey(key.data(), key.size(), passphrase);
    DecryptScriptFile(path, folder / "step.sql", key.data(), key.size(), false);
    return ReadBytes(folder / "step.sql");
  }

  std::vector<std::string> FolderEntries() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::ScratchFolder folder;
};

TEST_F(crypt_command, encrypts_for_the_program_and_decrypts_back) {
  const std::string script = "SET TERM ^ ;\r\nSELECT 'caf\xe9' FROM RDB$DATABASE^\r\n";
  WriteBytes(folder / "a.sql", script);

  Outcome outcome = Run({"encrypt", folder / "a.sql", folder / "a.rhtz"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(DecryptAsTheProgramDoes(folder / "a.rhtz", PasswordCandidate(1)), script);

  outcome = Run({"decrypt", folder / "a.rhtz", folder / "b.sql"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out + outcome.err, "");
  EXPECT_EQ(ReadBytes(folder / "b.sql"), script);
}

TEST_F(crypt_command, given_passphrase_is_taken_as_its_bytes) {
  WriteBytes(folder / "a.sql", "COMMIT;");
  for (const std::string passphrase : {"", "secret", "\xe9t\xe9"}) {
    SCOPED_TRACE(passphrase.size());
    for (const std::vector<std::string>& form :
         {std::vector<std::string>{"--passphrase", passphrase},
          std::vector<std::string>{"--passphrase=" + passphrase}}) {
      std::vector<std::string> arguments = {"encrypt"};
      arguments.insert(arguments.end(), form.begin(), form.end());
      arguments.push_back(folder / "a.sql");
      arguments.push_back(folder / "a.rhtz");
      const Outcome outcome = Run(arguments);
      EXPECT_EQ(outcome.status, 0) << outcome.err;
      EXPECT_EQ(DecryptAsTheProgramDoes(folder / "a.rhtz", passphrase), "COMMIT;");
    }
    const Outcome outcome =
        Run({"decrypt", folder / "a.rhtz", folder / "b.sql", "--passphrase", passphrase});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(ReadBytes(folder / "b.sql"), "COMMIT;");
  }
}

// An input that cannot be read exits with status 2, like a usage error;
// other failures with 1.
TEST_F(crypt_command, failures_leave_an_existing_output_untouched) {
  WriteBytes(folder / "short.rhtz", std::string(31, 'x'));
  WriteBytes(folder / "out.sql", "earlier output");
  std::filesystem::create_directory(folder / "folder.rhtz");
  const struct {
    const char* command;
    std::string input;
    std::string output;
    int status;
    std::string message;
  } cases[] = {
      {"decrypt", folder / "short.rhtz", folder / "out.sql", 1,
       "nimbus-scripttool decrypt: " + (folder / "short.rhtz") + ": Invalid file format\n"},
      {"decrypt", folder / "missing.rhtz", folder / "out.sql", 2,
       "nimbus-scripttool decrypt: Cannot open file \"" + (folder / "missing.rhtz") +
           "\". No such file or directory\n"},
      {"decrypt", folder / "folder.rhtz", folder / "out.sql", 2,
       "nimbus-scripttool decrypt: Cannot open file \"" + (folder / "folder.rhtz") +
           "\". Is a directory\n"},
      // Reading /proc/self/mem at its start is an I/O error.
      {"encrypt", "/proc/self/mem", folder / "out.sql", 2,
       "nimbus-scripttool encrypt: Cannot read file \"/proc/self/mem\". Input/output error\n"},
      {"decrypt", folder / "short.rhtz", folder / "no-such-folder/out.sql", 1,
       "nimbus-scripttool decrypt: Cannot create file \"" + (folder / "no-such-folder/out.sql")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const Outcome outcome = Run({c.command, c.input, c.output});
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind(c.message, 0), 0u) << outcome.err;
    EXPECT_EQ(ReadBytes(folder / "out.sql"), "earlier output");
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"folder.rhtz", "out.sql", "short.rhtz"}));
  }
}

// OUT is written, not replaced: a link keeps leading to its target, which
// gets the result; the file keeps its permissions.
TEST_F(crypt_command, a_link_out_writes_its_target_in_the_target_folder) {
  namespace fs = std::filesystem;
  WriteBytes(folder / "a.sql", "COMMIT;");
  fs::create_directory(folder / "elsewhere");
  WriteBytes(folder / "elsewhere/target.rhtz", "old content");
  fs::permissions(folder / "elsewhere/target.rhtz", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("elsewhere/target.rhtz", folder / "link.rhtz");
  fs::create_symlink("link.rhtz", folder / "chain.rhtz");
  fs::create_symlink(folder / "elsewhere/new.rhtz", folder / "dangling.rhtz");

  for (const char* out : {"link.rhtz", "chain.rhtz"}) {
    SCOPED_TRACE(out);
    WriteBytes(folder / "elsewhere/target.rhtz", "old content");
    const Outcome outcome = Run({"encrypt", folder / "a.sql", folder / out});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(fs::is_symlink(folder / out));
    EXPECT_EQ(DecryptAsTheProgramDoes(folder / "elsewhere/target.rhtz", PasswordCandidate(1)),
              "COMMIT;");
    EXPECT_EQ(fs::status(folder / "elsewhere/target.rhtz").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
  }
  const Outcome outcome = Run({"encrypt", folder / "a.sql", folder / "dangling.rhtz"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(fs::is_symlink(folder / "dangling.rhtz"));
  EXPECT_EQ(DecryptAsTheProgramDoes(folder / "elsewhere/new.rhtz", PasswordCandidate(1)),
            "COMMIT;");
  fs::remove(folder / "step.sql");
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.sql", "chain.rhtz", "dangling.rhtz",
                                                       "elsewhere", "link.rhtz"}));
}

TEST_F(crypt_command, a_fifo_or_standard_output_is_written_directly) {
  const std::string script = "SELECT 1 FROM RDB$DATABASE;\r\n";
  WriteBytes(folder / "a.sql", script);
  ASSERT_EQ(Run({"encrypt", folder / "a.sql", folder / "a.rhtz"}).status, 0);

  Outcome outcome = Run({"decrypt", folder / "a.rhtz", "-"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, script);

  // Held open for reading and writing, the FIFO lets the tool open it at once
  // and keeps what it writes.
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  const int fd = ::open((folder / "pipe").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  outcome = Run({"decrypt", folder / "a.rhtz", folder / "pipe"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(std::filesystem::is_fifo(folder / "pipe"));
  std::string got(4096, '\0');
  const ssize_t n = ::read(fd, got.data(), got.size());
  ::close(fd);
  got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  EXPECT_EQ(got, script);
}

// An OUT that names an open descriptor is written where the descriptor
// stands, as "-" is: nothing the shell writes before or after is lost, an
// appended-to file keeps its content, and no work file is made beside it.
TEST_F(crypt_command, an_out_naming_an_open_descriptor_is_written_there) {
  const std::string script = "SELECT 1 FROM RDB$DATABASE;\r\n";
  WriteBytes(folder / "a.sql", script);
  ASSERT_EQ(Run({"encrypt", folder / "a.sql", folder / "a.rhtz"}).status, 0);
  std::filesystem::create_symlink("/dev/stdout", folder / "link.sql");
  const struct {
    const char* name;
    std::string commands; // run in the folder, the tool as $T
    std::string written;  // what f holds at the end
  } cases[] = {
      {"standard output into a file",
       "{ echo before; $T decrypt a.rhtz /dev/stdout; echo after; } > f",
       "before\n" + script + "after\n"},
      {"standard output appended to a file",
       "echo earlier > f; { $T decrypt a.rhtz /dev/stdout; echo after; } >> f",
       "earlier\n" + script + "after\n"},
      {"standard output into a pipe", "$T decrypt a.rhtz /dev/stdout | cat > f", script},
      {"/proc/self/fd/1 into a pipe", "$T decrypt a.rhtz /proc/self/fd/1 | cat > f", script},
      {"another descriptor", "echo earlier > f; $T decrypt a.rhtz /dev/fd/3 3>> f",
       "earlier\n" + script},
      {"standard error", "$T decrypt a.rhtz /dev/stderr 2> f", script},
      {"a link to standard output", "{ echo before; $T decrypt a.rhtz link.sql; } > f",
       "before\n" + script},
      {"encrypted into a pipe, decrypted from it",
       "$T encrypt a.sql /dev/stdout | $T decrypt /dev/stdin - > f", script},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(folder / "case.sh", "T=" + Quoted(NIMBUS_BINARY_DIR "/tools/nimbus-scripttool") +
                                       "\n" + c.commands + "\n");
    const std::string command = "cd " + Quoted(folder.Path()) + " && sh case.sh 2> err";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadBytes(folder / "err"), "");
    EXPECT_EQ(ReadBytes(folder / "f"), c.written);
    EXPECT_EQ(FolderEntries(),
              (std::vector<std::string>{"a.rhtz", "a.sql", "case.sh", "err", "f", "link.sql"}));
    std::filesystem::remove(folder / "f");
  }
}

TEST_F(crypt_command, usage_errors_never_echo_the_arguments) {
  const std::vector<std::string> cases[] = {
      {"encrypt"},
      {"decrypt", "in.sql"},
      {"encrypt", "in.sql", "out.rhtz", "Secret1"},
      {"decrypt", "in.rhtz", "out.sql", "--password", "Secret1"},
      {"encrypt", "in.sql", "out.rhtz", "--passphrase"},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(arguments.size());
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find("usage: nimbus-scripttool " + arguments[0] + " IN OUT"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(outcome.err.find("Secret1"), std::string::npos);
  }
}

} // namespace
} // namespace nimbus
