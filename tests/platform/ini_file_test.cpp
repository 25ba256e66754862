#include <gtest/gtest.h>

#include "platform/ini_file.h"

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace nimbus::test {
namespace {

TEST(ini_file, integers_follow_the_decimal_dollar_and_0x_rules) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"16", 16},
      {"-7", -7},
      {"+7", 7},
      {"$10", 16},
      {"$ff", 255},
      {"0x10", 16},
      {"0X1f", 31},
      {"0x", std::nullopt}, // two characters: not hexadecimal, not decimal
      {"$", std::nullopt},
      {"", std::nullopt},
      {"abc", std::nullopt},
      {"yes", std::nullopt},
      {"12a", std::nullopt},
      {"1 2", std::nullopt},
      {"2147483647", 2147483647},
      {"2147483648", std::nullopt},
      {"-2147483648", INT32_MIN},
      {"$FFFFFFFF", -1},
      {"$100000000", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseInteger(c.text), c.value);
  }
}

TEST(ini_file, names_ignore_case_values_are_trimmed_and_unquoted) {
  const TIniFile ini = TIniFile::FromText("; comment\r\n"
                                          "[Configuration]\r\n"
                                          "  Base =  \"my base\"  \r\n"
                                          "ip='10.0.0.1'\r\n"
                                          "centre=0x10\r\n"
                                          "param1=yes\n"
                                          "param2=2\n"
                                          "quote=\"half\n"
                                          "[configuration]\n"
                                          "base=second section ignored\n");
  EXPECT_EQ(ini.ReadString("configuration", "BASE", "d"), "my base");
  EXPECT_EQ(ini.ReadString("CONFIGURATION", "ip", "d"), "10.0.0.1");
  EXPECT_EQ(ini.ReadString("configuration", "quote", "d"), "\"half");
  EXPECT_EQ(ini.ReadString("configuration", "missing", "d"), "d");
  EXPECT_EQ(ini.ReadString("nosection", "base", "d"), "d");
  EXPECT_EQ(ini.ReadInteger("configuration", "centre", 1000), 16);
  EXPECT_EQ(ini.ReadInteger("configuration", "base", 1000), 1000);
  EXPECT_FALSE(ini.ReadBool("configuration", "param1", false)) << "not a number keeps the default";
  EXPECT_TRUE(ini.ReadBool("configuration", "param2", false));
}

TEST(ini_file, section_pairs_keep_file_order_duplicates_and_whole_values) {
  const std::string longValue(5000, 'x');
  const TIniFile ini = TIniFile::FromText("[scripts]\n"
                                          "b=second.sql;Mise \xE0 jour;phase 2\n"
                                          "a=first.sql\n"
                                          "b = again.sql \n"
                                          "c=\n"
                                          "not a pair\n"
                                          "long=" +
                                          longValue + "\n");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"b", "second.sql;Mise \xE0 jour;phase 2"},
      {"a", "first.sql"},
      {"b", "again.sql"},
      {"c", ""},
      {"long", longValue},
  };
  EXPECT_EQ(ini.ReadSectionPairs("SCRIPTS"), expected);
  EXPECT_EQ(ini.ReadString("scripts", "long", "").size(), TIniFile::kMaxValueLength);
  EXPECT_EQ(ini.ReadString("scripts", "b", ""), "second.sql;Mise \xE0 jour;phase 2");
}

TEST(ini_file, an_unreadable_file_reads_as_empty) {
  const TempDir dir;
  dir.Write("run.ini", "[configuration]\nbase=other\n");
  std::filesystem::create_directories(dir.Path() + "/folder.ini");
  const std::string cases[] = {
      "/nonexistent/folder/run.ini", dir.Path() + "/folder.ini",
      dir.Path() + std::string("/run.ini\0x", 10), // would read run.ini up to the NUL
      "/proc/self/mem",                            // reading at offset 0 is an I/O error
  };
  for (const std::string& path : cases) {
    SCOPED_TRACE(path);
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("configuration", "base", "nimbus_gestion"), "nimbus_gestion");
    EXPECT_TRUE(ini.ReadSectionPairs("scripts").empty());
  }
}

} // namespace
} // namespace nimbus::test
