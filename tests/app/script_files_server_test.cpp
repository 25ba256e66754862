// Whole runs whose scripts name other files: INPUT and SET BLOBFILE read
// relative names against the script's own folder, not the working folder.
#include "tests/app/execution_fixture.h"

namespace nimbus::test {
namespace {

class script_files_run : public ExecutionRun {};

TEST_F(script_files_run, names_are_read_against_the_script_folder) {
  run.dir.Write("scripts/sub/child-1.sql", "CREATE TABLE FROM_CHILD (N INTEGER);\n"
                                           "INSERT INTO FROM_CHILD (N) VALUES (1);\n");
  run.dir.Write("scripts/data.bin", "0123456789ABCDEFGHIJ");
  const Lines scripts = {
      Script("main.sql", "INPUT sub/child-1.sql;\n"
                         "CREATE TABLE FROM_BLOB (B BLOB);\n"
                         "SET BLOBFILE data.bin;\n"
                         "INSERT INTO FROM_BLOB (B) VALUES (:H10_4);\n"),
  };
  EXPECT_EQ(Run(scripts), 0);
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM FROM_CHILD"), 1);
  EXPECT_EQ(database.QueryInt("SELECT ASCII_VAL(SUBSTRING(B FROM 1 FOR 1)) FROM FROM_BLOB"), 'G');
}

} // namespace
} // namespace nimbus::test
