// Conditional directives against the test server: each script runs twice on
// one fresh database, loaded anew each time as the execution step does, and
// must leave every object once and the rows its branches give.
#include "script/runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/script/runner_server_fixture.h"

namespace nimbus {
namespace {

using directives_server = test::RunnerServerTest;

struct Case {
  const char* name;
  const char* script;
  const char* check; // a query answering one integer after both runs
  int expected;
};

// In order: the first case creates T, which the others fill.
const Case kCases[] = {
    {"table created once",
     "{$IFNOTEXISTS TABLE T}\nCREATE TABLE T (ID INTEGER);\n"
     "INSERT INTO T VALUES (1);\n{$ENDIF}",
     "SELECT COUNT(*) FROM T WHERE ID = 1", 1},
    {"quoted name keeps its case",
     "{$IFNOTEXISTS TABLE \"Mixed\"}\nCREATE TABLE \"Mixed\" (ID INTEGER);\n"
     "INSERT INTO \"Mixed\" VALUES (1);\n{$ENDIF}",
     "SELECT COUNT(*) FROM \"Mixed\"", 1},
    {"unquoted name is upper-cased",
     "{$IFNEXISTS TABLE lower_t}\nCREATE TABLE lower_t (ID INTEGER);\n"
     "INSERT INTO lower_t VALUES (1);\n{$ENDIF}",
     "SELECT COUNT(*) FROM LOWER_T", 1},
    {"view",
     "{$IFNOTEXISTS VIEW V}\nCREATE VIEW V AS SELECT ID FROM T;\n"
     "INSERT INTO T VALUES (10);\n{$ENDIF}",
     "SELECT COUNT(*) FROM T WHERE ID = 10", 1},
    {"a table test does not see the view",
     "{$IFEXISTS TABLE V}\nINSERT INTO T VALUES (11);\n"
     "{$ELSE}\nINSERT INTO T VALUES (12);\n{$ENDIF}",
     "SELECT SUM(ID) FROM T WHERE ID BETWEEN 11 AND 12", 24},
    {"index",
     "{$IFNOTEXISTS INDEX IX_T}\nCREATE INDEX IX_T ON T (ID);\n"
     "INSERT INTO T VALUES (20);\n{$ENDIF}",
     "SELECT COUNT(*) FROM T WHERE ID = 20", 1},
    {"sequence",
     "{$IFNOTEXISTS SEQUENCE S}\nCREATE SEQUENCE S;\n"
     "INSERT INTO T VALUES (21);\n{$ENDIF}",
     "SELECT COUNT(*) FROM T WHERE ID = 21", 1},
    {"function",
     "{$IFNOTEXISTS FUNCTION F}\nSET TERM ^ ;\n"
     "CREATE FUNCTION F (X INTEGER) RETURNS INTEGER AS BEGIN RETURN X; END^\n"
     "SET TERM ; ^\nINSERT INTO T VALUES (22);\n{$ENDIF}",
     "SELECT COUNT(*) FROM T WHERE ID = 22", 1},
    {"comparisons",
     "{$SET VER=3}\n"
     "{$IF VER>=3}\nINSERT INTO T VALUES (30);\n{$ENDIF}\n"
     "{$IF VER>2}\nINSERT INTO T VALUES (31);\n{$ENDIF}\n"
     "{$IF VER<3}\nINSERT INTO T VALUES (32);\n{$ENDIF}\n"
     "{$IF VER=3.0}\nINSERT INTO T VALUES (33);\n{$ENDIF}\n"
     "{$IF VER<>3}\nINSERT INTO T VALUES (34);\n{$ENDIF}",
     "SELECT SUM(ID) FROM T WHERE ID BETWEEN 30 AND 39", 2 * (30 + 31)},
    {"IFDEF nested in a false IFDEF",
     "{$IFDEF A}\n{$IFDEF B}\nINSERT INTO T VALUES (40);\n{$ELSE}\nINSERT INTO T VALUES (41);\n"
     "{$ENDIF}\n{$ELSE}\nINSERT INTO T VALUES (42);\n{$ENDIF}",
     "SELECT SUM(ID) FROM T WHERE ID BETWEEN 40 AND 49", 2 * 42},
    {"IS_FIREBIRD",
     "{$IFDEF IS_FIREBIRD}\nINSERT INTO T VALUES (50);\n{$ELSE}\n"
     "INSERT INTO T VALUES (51);\n{$ENDIF}",
     "SELECT SUM(ID) FROM T WHERE ID BETWEEN 50 AND 59", 2 * 50},
    {"server version",
     "{$IF SERVER_MAJOR_VER>=3}\nINSERT INTO T VALUES (60);\n{$ENDIF}\n"
     "{$IF ODS_MAJOR_VER>=12}\nINSERT INTO T VALUES (61);\n{$ENDIF}",
     "SELECT SUM(ID) FROM T WHERE ID BETWEEN 60 AND 69", 2 * (60 + 61)},
    {"empty name",
     "{$IFEXISTS TABLE }\nINSERT INTO T VALUES (70);\n{$ELSE}\n"
     "INSERT INTO T VALUES (71);\n{$ENDIF}",
     "SELECT SUM(ID) FROM T WHERE ID BETWEEN 70 AND 79", 2 * 71},
    {"free query",
     "{$IFEXISTS SELECT 1 FROM T WHERE ID = 20}\nINSERT INTO T VALUES (80);\n"
     "{$ENDIF}\n{$IFNOTEXISTS select 1 from T where ID = 20}\n"
     "INSERT INTO T VALUES (81);\n{$ENDIF}",
     "SELECT SUM(ID) FROM T WHERE ID BETWEEN 80 AND 89", 2 * 80},
};

TEST_F(directives_server, scripts_run_twice) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    for (int run = 0; run < 2; ++run) {
      Run(c.script);
      EXPECT_EQ(ErrorList(), "");
    }
    EXPECT_EQ(QueryInt(*tr, c.check), c.expected);
  }
  const char* const objects[] = {
      "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME IN ('T', 'Mixed', 'LOWER_T', "
      "'V')",
      "SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'IX_T'",
      "SELECT COUNT(*) FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME = 'S'",
      "SELECT COUNT(*) FROM RDB$FUNCTIONS WHERE RDB$FUNCTION_NAME = 'F'",
  };
  const int counts[] = {4, 1, 1, 1};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(QueryInt(*tr, objects[i]), counts[i]) << objects[i];
}

} // namespace
} // namespace nimbus
