// The script authors' `nimbus-scripttool check`, run whole: exit status,
// standard output and standard error, with its own station file and clock zone.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "app/password_candidate.h"
#include "crypto/script_file.h"
#include "crypto/script_key.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace nimbus {
namespace {

// 2020-01-01 10:00:00 and 2100-01-01 00:00:00 UTC.
constexpr std::time_t kLongAgo = 1577872800;
constexpr std::time_t kFarAhead = 4102444800;

// Single-quoted for the shell; the paths here hold no quote of their own.
// Appended, not concatenated: GCC 12 at -O3 takes "'" + text for an
// overlapping copy.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  quoted += text;
  quoted += '\'';
  return quoted;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return text;
}

class ScripttoolCheck : public testing::Test {
protected:
  void SetUp() override {
    // The station file of this test only: server 192.168.1.5, port 3051.
    Write("pf/orvan system/program/orvan.conf", "[Configuration]\r\nIPServeur=192.168.1.5\r\n"
                                                "PortDonnee=3051\r\n");
    std::filesystem::create_directories(dir_.File("prog"));
  }

  std::string Path(const std::string& name) { return dir_.Path() + "/" + name; }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.File(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
  }

  // Encrypted with the program's passphrase, last modified at `modified`.
  std::string WriteEncrypted(const std::string& name, const std::string& plain,
                             std::time_t modified) {
    std::array<std::uint8_t, 16> key{};
    DeriveScriptKey(key.data(), key.size(), PasswordCandidate(1));
    const std::string path = Write(name, TransformScriptBytes(plain, key.data(), key.size(), true));
    SetModified(path, modified);
    return path;
  }

  static void SetModified(const std::string& path, std::time_t modified) {
    const utimbuf times{modified, modified};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
  }

  // `args` is passed to the shell as it stands. Bounded, so that a tool that
  // blocks fails the test instead of holding it.
  test::ToolRun Check(const std::string& args) {
    return test::RunTool("TZ=UTC PROGRAMFILES='" + Path("pf") +
                             "' timeout 60 '" NIMBUS_BINARY_DIR "/tools/nimbus-scripttool' check " +
                             args,
                         Path("stderr"));
  }

  test::TempDir dir_;
};

TEST_F(ScripttoolCheck, run_description_reports_every_entry_as_the_run_would_meet_it) {
  const std::string d = dir_.Path();
  Write("plain.sql", "{$IFDEF A}\r\nDELETE FROM T;\r\n{$ELSE}\r\nSELECT 1 FROM T;\r\n{$ENDIF}\r\n");
  Write("prog/beside.sql", "COMMIT;\n");
  std::filesystem::create_directories(Path("folder.sql"));
  WriteEncrypted("valid.rhtz", "INSERT INTO T VALUES (1);\r\n", kFarAhead);
  WriteEncrypted("old.rhtz", "COMMIT;", kLongAgo);
  Write("bad.sql", "SELECT 1 {x};\n");
  SetModified(Write("short.rhtz", std::string(31, 'x')), kFarAhead);
  const std::string run = Write("Run.ini", "[configuration]\r\n"
                                           "base=club\r\n"
                                           "centre=0x10\r\n"
                                           "param1=2\r\n"
                                           "wait=1\r\n"
                                           "[scripts]\r\n"
                                           "a=" +
                                               d +
                                               "/plain.sql;Adh\xe9rents;phase 2\r\n"
                                               "b=beside.sql\r\n"
                                               "c=\r\n"
                                               "d=" +
                                               d +
                                               "/missing.sql;gone\r\n"
                                               "e=" +
                                               d +
                                               "/folder.sql\r\n"
                                               "f=" +
                                               d +
                                               "/valid.rhtz;lab\tel\r\n"
                                               "g=" +
                                               d +
                                               "/old.rhtz\r\n"
                                               "h=" +
                                               d +
                                               "/bad.sql\r\n"
                                               "i=" +
                                               d + "/short.rhtz\r\n");

  const test::ToolRun result = Check("--program-folder " + Quoted(d + "/prog") + " " + Quoted(run));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(
      result.out,
      "run\tdescription\t" + Lower(run) +
          "\n"
          "option\tbase\tclub\n"
          "option\tip\t192.168.1.5\n"
          "option\tport\t3051\n"
          "option\tcentre\t16\n"
          "option\tparam1\t1\n"
          "option\tparam2\t0\n"
          "option\tparam3\t0\n"
          "option\twait\t1\n"
          "script\t1\t" +
          d +
          "/plain.sql\tAdh\xe9rents;phase 2\n"
          "parsed\t1\tstatements=2 directives=1 connects=0 dml=1 unrecognized=1 terminator=;\n"
          "directive\t1\tD0\t-\t1:1\t3:1\t5:1\t{$IFDEF A}\n"
          "script\t2\t" +
          d +
          "/prog/beside.sql\t\n"
          "parsed\t2\tstatements=1 directives=0 connects=0 dml=0 unrecognized=0 terminator=;\n"
          "missing\tc=\n"
          "missing\td=" +
          d +
          "/missing.sql;gone\n"
          "missing\te=" +
          d +
          "/folder.sql\n"
          "script\t3\t" +
          d +
          "/valid.rhtz\tlab el\n"
          "encrypted\t3\texpires\t2100-01-11 00:00:00\tvalid\n"
          "parsed\t3\tstatements=1 directives=0 connects=0 dml=0 unrecognized=0 terminator=;\n"
          "script\t4\t" +
          d +
          "/old.rhtz\t\n"
          "encrypted\t4\texpires\t2020-01-11 10:00:00\texpired\n"
          "error\t4\tFichier expir\xe9.\n"
          "parsed\t4\tstatements=1 directives=0 connects=0 dml=0 unrecognized=0 terminator=;\n"
          "script\t5\t" +
          d +
          "/bad.sql\t\n"
          "error\t5\tParse script error.  Unexpected symbol \"{\" Line :1 Pos:10\n"
          "script\t6\t" +
          d +
          "/short.rhtz\t\n"
          "encrypted\t6\texpires\t2100-01-11 00:00:00\tvalid\n"
          "error\t6\tInvalid file format\n"
          "summary\tscripts=6 ok=3 failing=3 missing=3 refused=0\n");
  // Decrypted in memory only: nothing new beside the scripts.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(d))
    files += entry.is_regular_file() && entry.path().filename() != "stderr" ? 1 : 0;
  EXPECT_EQ(files, 6u); // five scripts and Run.ini
}

TEST_F(ScripttoolCheck, single_script_is_shown_lower_cased_and_read_by_its_name) {
  const std::string path = Write("Maj.SQL", "SET TERM ^ ;\nCREATE PROCEDURE P AS BEGIN END^\n");
  const test::ToolRun result = Check(Quoted(path));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "run\tscript\t" + Lower(path) +
                            "\n"
                            "option\tbase\tnimbus_gestion\n"
                            "option\tip\t192.168.1.5\n"
                            "option\tport\t3051\n"
                            "option\tcentre\t1000\n"
                            "option\tparam1\t0\n"
                            "option\tparam2\t0\n"
                            "option\tparam3\t0\n"
                            "option\twait\t0\n"
                            "script\t1\t" +
                            Lower(path) +
                            "\ttraitement des donn\xe9"
                            "es\n"
                            "parsed\t1\tstatements=1 directives=0 connects=0 dml=0 "
                            "unrecognized=0 terminator=^\n"
                            "summary\tscripts=1 ok=1 failing=0 missing=0 refused=0\n");
}

// Loaded as the run loads them: a UTF-8 script with a byte-order mark is
// converted to Windows-1252, or refused for a character without a
// Windows-1252 form, plain or encrypted alike.
TEST_F(ScripttoolCheck, a_script_with_a_byte_order_mark_is_loaded_as_the_run_loads_it) {
  const std::string mark = "\xEF\xBB\xBF";
  const std::string unheld = "COMMIT;\r\nINSERT INTO T VALUES (20,'\xC5\x82');\r\n";
  const std::string valid = "encrypted\t1\texpires\t2100-01-11 00:00:00\tvalid\n";
  const struct {
    const char* name;
    bool encrypted;
    std::string script;
    std::string records; // after the script record
  } cases[] = {
      {"first statement", false, mark + "COMMIT;\r\n",
       "parsed\t1\tstatements=1 directives=0 connects=0 dml=0 unrecognized=0 terminator=;\n"},
      {"directive on line 1", false, mark + "{$IFDEF CAF\xC3\x89}\r\nCOMMIT;\r\n{$ENDIF}\r\n",
       "parsed\t1\tstatements=1 directives=1 connects=0 dml=0 unrecognized=0 terminator=;\n"
       "directive\t1\tD0\t-\t1:1\t-\t3:1\t{$IFDEF CAF\xC9}\n"},
      {"no Windows-1252 form", false, mark + unheld,
       "error\t1\tScript \"" + Path("s.sql") +
           "\", line 2: a character that Windows-1252 cannot hold, or malformed UTF-8\n"},
      {"no Windows-1252 form, encrypted", true, mark + unheld,
       valid + "error\t1\tScript \"" + Path("s.rhtz") +
           "\", line 2: a character that Windows-1252 cannot hold, or malformed UTF-8\n"},
      {"without a mark, bytes as they are", false, unheld,
       "parsed\t1\tstatements=2 directives=0 connects=0 dml=0 unrecognized=0 terminator=;\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        c.encrypted ? WriteEncrypted("s.rhtz", c.script, kFarAhead) : Write("s.sql", c.script);
    const test::ToolRun result = Check(Quoted(path));
    const bool failing = c.records.find("error\t") != std::string::npos;
    EXPECT_EQ(result.status, failing ? 1 : 0);
    EXPECT_EQ(result.err, "");
    const std::string script = "script\t1\t" + Lower(path) + "\ttraitement des donn\xe9" + "es\n";
    const std::size_t at = result.out.find(script);
    ASSERT_NE(at, std::string::npos) << result.out;
    EXPECT_EQ(result.out.substr(at + script.size()),
              c.records + "summary\tscripts=1 ok=" + (failing ? "0" : "1") +
                  " failing=" + (failing ? "1" : "0") + " missing=0 refused=0\n");
  }
}

// Every record stays one line of its fields, whatever a file name holds.
TEST_F(ScripttoolCheck, tabs_and_line_breaks_in_paths_print_as_blanks) {
  const std::string single = Lower(Path("a b.sql")) + "\ttraitement des donn\xe9" + "es";
  const struct {
    const char* name;
    std::string argument; // under the test's folder
    std::string run;      // the run record's fields after its name
    std::string script;   // the script record's path and label
  } cases[] = {
      {"tab in a script's name", "a\tb.sql", "script\t" + Lower(Path("a b.sql")), single},
      {"line break in a script's name", "a\nb.sql", "script\t" + Lower(Path("a b.sql")), single},
      {"CR LF in a script's name", "a\r\nb.sql", "script\t" + Lower(Path("a b.sql")), single},
      {"tab in a run description's name and in the one it lists", "run\t1.ini",
       "description\t" + Lower(Path("run 1.ini")), Path("a b.sql") + "\tlab"},
  };
  Write("a\tb.sql", "COMMIT;\n");
  Write("a\nb.sql", "COMMIT;\n");
  Write("a\r\nb.sql", "COMMIT;\n");
  Write("run\t1.ini", "[scripts]\r\n1=" + Path("a\tb.sql") + ";lab\r\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const test::ToolRun result = Check(Quoted(Path(c.argument)));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("run\t" + c.run + "\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\nscript\t1\t" + c.script + "\nparsed\t1\t"), std::string::npos)
        << result.out;
  }
}

// A run that would apply nothing fails the check too.
TEST_F(ScripttoolCheck, refused_or_empty_runs_exit_with_status_1) {
  const struct {
    const char* name;
    std::string ini;
    std::string line; // expected among the output lines
    int status;
  } cases[] = {
      {"server only on another server",
       "[configuration]\nip=10.0.0.2\nparam3=1\n[scripts]\n1=" + Write("a.sql", "COMMIT;") + "\n",
       "refused\tparam3 is set and ip is not 127.0.0.1\n", 1},
      {"server only on this server",
       "[configuration]\nip=127.0.0.1\nparam3=1\n[scripts]\n1=" + Path("a.sql") + "\n",
       "summary\tscripts=1 ok=1 failing=0 missing=0 refused=0\n", 0},
      {"no script listed", "[configuration]\nbase=x\n",
       "summary\tscripts=0 ok=0 failing=0 missing=0 refused=0\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const test::ToolRun result = Check(Quoted(Write("run.ini", c.ini)));
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.out.find(c.line), std::string::npos) << result.out;
  }
}

// A FIFO or a device is no file to the program either; it is named unread: a
// FIFO without a writer would block, /dev/zero never ends.
TEST_F(ScripttoolCheck, an_argument_that_cannot_be_read_is_named_with_status_2) {
  ASSERT_EQ(::mkfifo(Path("fifo.ini").c_str(), 0600), 0);
  const struct {
    std::string args;
    std::string err;
  } cases[] = {
      {"", "usage: nimbus-scripttool check [--program-folder DIR] RUN.ini|SCRIPT\n"},
      {"--program-folder",
       "usage: nimbus-scripttool check [--program-folder DIR] RUN.ini|SCRIPT\n"},
      {"a.ini b.ini", "usage: nimbus-scripttool check [--program-folder DIR] RUN.ini|SCRIPT\n"},
      {Quoted(Path("none.ini")), "nimbus-scripttool check: Cannot open file \"" + Path("none.ini") +
                                     "\". No such file or directory\n"},
      {Quoted(Path("prog")),
       "nimbus-scripttool check: Cannot read file \"" + Path("prog") + "\". Is a directory\n"},
      // The program would take this for an empty run description.
      {"/proc/self/mem",
       "nimbus-scripttool check: Cannot read file \"/proc/self/mem\". Input/output error\n"},
      {Quoted(Path("fifo.ini")), "nimbus-scripttool check: Cannot read file \"" + Path("fifo.ini") +
                                     "\". Not a regular file\n"},
      {"/dev/zero",
       "nimbus-scripttool check: Cannot read file \"/dev/zero\". Not a regular file\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const test::ToolRun result = Check(c.args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
  }
}

} // namespace
} // namespace nimbus
