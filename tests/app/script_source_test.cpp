// The file side of the execution step: expiry, the decrypted temporary copy
// and the text handed to the runner.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app/script_source.h"
#include "crypto/script_file.h"
#include "crypto/script_key.h"
#include "platform/exception.h"
#include "tests/support/local_moment.h"
#include "tests/support/temp_dir.h"

namespace nimbus::test {
namespace {

namespace fs = std::filesystem;

void SetModified(const std::string& path, std::time_t moment) {
  const utimbuf times{moment, moment};
  ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(script_source, the_age_of_an_encrypted_script_is_its_file_time) {
  TempDir dir;
  const std::string path = dir.Write("a.rhtz", "x");
  const std::time_t now = LocalMoment(2026, 12, 10, 14, 3, 5);
  SetModified(path, LocalMoment(2026, 11, 30, 14, 3, 5));
  EXPECT_FALSE(ScriptExpired(path, now));
  SetModified(path, LocalMoment(2026, 11, 30, 14, 3, 4));
  EXPECT_TRUE(ScriptExpired(path, now));
  EXPECT_FALSE(ScriptExpired(dir.File("gone.rhtz"), now)) << "left to the not-found line";
}

TEST(script_source, script_text_is_windows_1252_whatever_the_file_holds) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"plain 8-bit text is kept byte for byte", "select '\xE9t\xE9';\r\n",
       "select '\xE9t\xE9';\r\n"},
      {"a mark alone in the middle is not looked at", "a\xEF\xBB\xBF", "a\xEF\xBB\xBF"},
      {"UTF-8 with a mark loses the mark and its letters become one byte",
       "\xEF\xBB\xBFinsert into t values ('\xC3\xA9t\xC3\xA9 \xE2\x82\xAC');\n",
       "insert into t values ('\xE9t\xE9 \x80');\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadScriptText(dir.Write("s.sql", c.bytes)), c.text);
  }
}

TEST(script_source, a_character_without_a_windows_1252_form_names_its_line) {
  TempDir dir;
  struct Case {
    std::string bytes;
    const char* line;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF-- un\r\n-- deux\r\nselect '\xE4\xB8\xAD' from rdb$database;\r\n", "line 3"},
      {"\xEF\xBB\xBFselect '\xC3' from rdb$database;", "line 1"}, // cut short
      {"\xEF\xBB\xBF\n\xC1\x81", "line 2"},                       // overlong "A"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string path = dir.Write("s.sql", c.bytes);
    try {
      ReadScriptText(path);
      ADD_FAILURE() << "no error";
    } catch (const Exception& error) {
      EXPECT_NE(error.Message().find(path), std::string::npos) << error.Message();
      EXPECT_NE(error.Message().find(c.line), std::string::npos) << error.Message();
    }
  }
  EXPECT_THROW(ReadScriptText(dir.File("missing.sql")), EFileReadError);
}

class temporary_script : public ::testing::Test {
protected:
  temporary_script() { DeriveScriptKey(key, sizeof key, "secret phrase"); }

  std::string Encrypted(const std::string& name, const std::string& plain) {
    const std::string source = dir.Write("plain.tmp", plain);
    const std::string target = dir.File(name);
    DecryptScriptFile(source, target, key, sizeof key, true);
    fs::remove(source);
    return target;
  }

  TempDir dir;
  std::uint8_t key[16] = {};
  const std::time_t now = LocalMoment(2026, 12, 10, 14, 3, 5);
};

TEST_F(temporary_script, lives_beside_the_script_for_its_owner_only_and_goes_with_the_step) {
  const std::string source = Encrypted("maj.rhtz", "select 1 from rdb$database;\n");
  {
    TTemporaryScript copy(source, now, key);
    EXPECT_EQ(copy.Path(), dir.Path() + "/{101226140305}.sql");
    EXPECT_EQ(ReadFile(copy.Path()), "select 1 from rdb$database;\n");
    EXPECT_EQ(fs::status(copy.Path()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
  }
  EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"maj.rhtz"});
}

TEST_F(temporary_script, never_writes_over_a_file_or_a_link_of_the_same_name) {
  const std::string source = Encrypted("maj.rhtz", "new;\n");
  dir.Write("{101226140305}.sql", "an author's own file");
  const std::string victim = dir.Write("victim", "kept");
  fs::create_symlink(victim, dir.File("{101226140305}-1.sql"));
  {
    TTemporaryScript copy(source, now, key);
    EXPECT_EQ(copy.Path(), dir.Path() + "/{101226140305}-2.sql");
    EXPECT_EQ(ReadFile(copy.Path()), "new;\n");
  }
  EXPECT_EQ(ReadFile(dir.Path() + "/{101226140305}.sql"), "an author's own file");
  EXPECT_EQ(ReadFile(victim), "kept");
  EXPECT_EQ(FolderNames(dir.Path()).size(), 4u);
}

TEST_F(temporary_script, a_failed_decryption_leaves_no_file) {
  const std::string corrupt = dir.Write("bad.rhtz", std::string(40, 'x'));
  EXPECT_THROW(TTemporaryScript(corrupt, now, key), ECipherException);
  EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"bad.rhtz"});

  const std::string source = Encrypted("maj.rhtz", "x;\n");
  fs::permissions(dir.Path(), fs::perms::owner_write, fs::perm_options::remove);
  if (::geteuid() != 0) { // root writes anyway
    EXPECT_THROW(TTemporaryScript(source, now, key), EOSError);
  }
  fs::permissions(dir.Path(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"bad.rhtz", "maj.rhtz"}));
}

} // namespace
} // namespace nimbus::test
