// The script authors' `nimbus-scripttool parse`, run whole: exit status,
// standard output and standard error.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/tool_run.h"

namespace {

using nimbus::test::ToolRun;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ScripttoolParse : public testing::Test {
protected:
  void SetUp() override {
    dir_ = testing::TempDir() + "scripttool_parse_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p '" + dir_ + "'").c_str()), 0);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string WriteScript(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // `args` is passed to the shell as it stands. Bounded, so that a tool that
  // blocks fails the test instead of holding it.
  // `before` goes in front of the command: a pipe into it, say.
  ToolRun Parse(const std::string& args, const std::string& before = "") {
    return nimbus::test::RunTool(
        before + "timeout 60 '" NIMBUS_BINARY_DIR "/tools/nimbus-scripttool' parse " + args,
        dir_ + "/stderr");
  }

  std::string dir_;
};

TEST_F(ScripttoolParse, realistic_script_with_text_matches_golden_output) {
  const ToolRun run = Parse("--text '" NIMBUS_TEST_DATA "/realistic.sql'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, ReadFile(NIMBUS_TEST_DATA "/realistic.expected"));
}

struct OutputCase {
  const char* name;
  const char* options;
  std::string script;
  const char* out;
};

const OutputCase kOutputCases[] = {
    {"statements, directives and summary, any line break", "",
     "{$IFDEF A}\r\nDELETE FROM T;\r\n{$ELSE}\rCONNECT 'x.fdb';\n{$ENDIF}\n"
     "SET TERM ^ ;\nSELECT 'caf\xe9' FROM T^",
     "1\tskDML\tokNone\t\t2:1\t2:13\t0\t0\n"
     "2\tskConnect\tokDatabase\tx.fdb\t4:1\t4:15\t0\t1\n"
     "3\tskUnrecognized\tokNone\t\t7:1\t7:20\t-1\t0\n"
     "D0\t1:1\t1:10\t3:1\t5:1\t0\t-1\t0\n"
     "statements=3 directives=1 connects=1 dml=1 unrecognized=1 terminator=^\n"},
    {"text lines keep their bytes and an end on an empty line", "--text",
     "INSERT INTO T VALUES ('\xe9t\xe9')\n\n;\n",
     "1\tskInsert\tokNone\t\t1:1\t2:0\t-1\t0\n"
     "\t|INSERT INTO T VALUES ('\xe9t\xe9')\n"
     "\t|\n"
     "statements=1 directives=0 connects=0 dml=0 unrecognized=0 terminator=;\n"},
    {"terminator option sets the starting terminator", "--terminator '!!'",
     "SELECT 1 FROM T!!\nSELECT 2;\nFROM T!!\n",
     "1\tskUnrecognized\tokNone\t\t1:1\t1:15\t-1\t0\n"
     "2\tskUnrecognized\tokNone\t\t2:1\t3:6\t-1\t0\n"
     "statements=2 directives=0 connects=0 dml=0 unrecognized=1 terminator=!!\n"},
    {"empty file", "", "",
     "statements=0 directives=0 connects=0 dml=0 unrecognized=0 terminator=;\n"},
};

TEST_F(ScripttoolParse, prints_one_line_per_statement_and_directive) {
  for (const OutputCase& c : kOutputCases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = Parse(std::string(c.options) + " '" + WriteScript("s.sql", c.script) + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, c.out);
  }
}

TEST_F(ScripttoolParse, parse_error_goes_to_standard_error_with_status_2) {
  const std::string path = WriteScript("s.sql", "{$IFDEF A}\nSELECT 1 {x}\n");
  const ToolRun run = Parse("'" + path + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Parse script error.\r\n Unexpected symbol \"{\"\r\nLine :2 Pos:10\n");
}

TEST_F(ScripttoolParse, open_directive_is_reported) {
  const std::string path = WriteScript("s.sql", "{$IFDEF A}\nCOMMIT;\n");
  const ToolRun run = Parse("'" + path + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "Parse script error.\r\n$ENDIF skipped 1 times\n");
}

TEST_F(ScripttoolParse, bad_arguments_print_the_usage) {
  struct Case {
    const char* args;
    int status;
    const char* errStart;
  };
  const Case cases[] = {
      {"", 2, "usage: nimbus-scripttool parse"},
      {"--terminator", 2, "usage: nimbus-scripttool parse"},
      {"--terminator '' x.sql", 2, "usage: nimbus-scripttool parse"},
      {"--bogus x.sql", 2, "usage: nimbus-scripttool parse"},
      {"a.sql b.sql", 2, "usage: nimbus-scripttool parse"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = Parse(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(c.errStart, 0), 0u) << run.err;
  }
}

// A file that cannot be read is named, with the reason, and the status is 2.
// A device is refused unread: /dev/zero never ends.
TEST_F(ScripttoolParse, unreadable_files_are_named_with_status_2) {
  struct Case {
    std::string path;
    std::string err;
  };
  const Case cases[] = {
      {"/dev/zero",
       "nimbus-scripttool parse: Cannot read file \"/dev/zero\". Not a regular file\n"},
      {"/dev/null",
       "nimbus-scripttool parse: Cannot read file \"/dev/null\". Not a regular file\n"},
      {"/nonexistent/x.sql",
       "nimbus-scripttool parse: Cannot open file \"/nonexistent/x.sql\". No such file or "
       "directory\n"},
      {dir_, "nimbus-scripttool parse: Cannot read file \"" + dir_ + "\". Is a directory\n"},
      // Reading /proc/self/mem at its start is an I/O error.
      {"/proc/self/mem",
       "nimbus-scripttool parse: Cannot read file \"/proc/self/mem\". Input/output error\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const ToolRun run = Parse("'" + c.path + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
  }
}

// A script piped in is read to its end.
TEST_F(ScripttoolParse, a_pipe_is_read_as_a_file) {
  const ToolRun run = Parse("/dev/stdin", "printf 'SELECT 1 FROM RDB$DATABASE;\\n' | ");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("statements=1 "), std::string::npos) << run.out;
}

} // namespace
