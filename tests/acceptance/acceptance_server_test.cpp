// Realistic update scripts applied side by side by a whole nimbus-scripts run
// and by isql-fb, each to a fresh database: the two databases must end up the
// same, as a canonical dump shows (metadata, every user table's rows,
// generator values).
//
// What differs by design and is therefore not compared:
// - nimbus-scripts commits after every DDL statement; isql (AUTODDL on, its
//   default) commits DDL too, and commits the rest when the script ends, so
//   for scripts that end in COMMIT the end states agree;
// - a failing statement is skipped and the rest of the script applied, as
//   isql without -bail does; the two report errors in their own words, so
//   only the number of failed statements is compared;
// - the run's own work: the context procedure the product database has is
//   missing from these bare databases, so the run's activation fails quietly
//   and leaves nothing behind.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"

namespace nimbus::test {
namespace {

using Lines = std::vector<std::string>;

const std::string kData = NIMBUS_TEST_DATA;
const std::string kEmployee = "/usr/share/doc/firebird3.0-common-doc/examples/employee.sql.gz";

std::string Quoted(const std::string& word) {
  return "'" + word + "'";
}

// Runs a shell command; its exit status, or -1 when it did not exit.
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    while (!line.empty() && line.back() == ' ')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// isql-fb as SYSDBA: the login travels in the environment (set once for
// this process), never on a command line.
class Isql {
public:
  explicit Isql(const TempDir& dir) : dir_(dir) {
    ::setenv("ISC_USER", ServerUser().c_str(), 1);
    ::setenv("ISC_PASSWORD", ServerPassword().c_str(), 1);
  }

  struct Output {
    std::string out;
    std::string err;
  };

  // `arguments` are shell words; `input` goes to standard input.
  Output Run(const std::string& arguments, const std::string& input = "") {
    const std::string in = dir_.Write("isql.in", input);
    const std::string out = dir_.Path() + "/isql.out";
    const std::string err = dir_.Path() + "/isql.err";
    Shell("isql-fb -q -ch ISO8859_1 " + arguments + " <" + Quoted(in) + " >" + Quoted(out) + " 2>" +
          Quoted(err));
    return {ReadFile(out), ReadFile(err)};
  }

private:
  const TempDir& dir_;
};

// A fresh empty database on the test server, dropped at the end of the scope.
class BareDatabase {
public:
  BareDatabase(Isql& isql, const std::string& role) : isql_(isql) {
    static std::atomic<int> serial = 0;
    path_ = ServerDataFolder() + "/nimbus_acceptance_" + std::to_string(getpid()) + "_" +
            std::to_string(++serial) + "_" + role + ".fdb";
    const Isql::Output created =
        isql_.Run("", "CREATE DATABASE " + Quoted(Name()) + " DEFAULT CHARACTER SET ISO8859_1;\n");
    EXPECT_EQ(created.err, "") << "creating " << path_;
  }
  ~BareDatabase() { isql_.Run(Quoted(Name()), "DROP DATABASE;\n"); }
  BareDatabase(const BareDatabase&) = delete;
  BareDatabase& operator=(const BareDatabase&) = delete;

  const std::string& Path() const { return path_; }
  std::string Name() const { return ServerAddress() + ":" + path_; }

private:
  Isql& isql_;
  std::string path_;
};

struct Column {
  std::string name;
  bool blob;
};

// The canonical dump: metadata as isql -x extracts it (the database's name
// taken out), then each user table's rows in list form ordered by every
// column, then each generator's value.
std::string CanonicalDump(Isql& isql, const BareDatabase& db) {
  std::string dump;
  for (const std::string& line : SplitLines(isql.Run("-x " + Quoted(db.Name())).out)) {
    std::string normal = line;
    for (std::size_t at; (at = normal.find(db.Path())) != std::string::npos;)
      normal.replace(at, db.Path().size(), "<database>");
    dump += normal + "\n";
  }

  // Tables and their columns in position order, then the generators.
  const std::string catalogue = isql.Run(Quoted(db.Name()), R"(SET HEADING OFF;
SELECT '#T ' || TRIM(R.RDB$RELATION_NAME) || ' ' || TRIM(F.RDB$FIELD_NAME) || ' ' || T.RDB$FIELD_TYPE
FROM RDB$RELATIONS R
JOIN RDB$RELATION_FIELDS F ON F.RDB$RELATION_NAME = R.RDB$RELATION_NAME
JOIN RDB$FIELDS T ON T.RDB$FIELD_NAME = F.RDB$FIELD_SOURCE
WHERE COALESCE(R.RDB$SYSTEM_FLAG, 0) = 0 AND R.RDB$VIEW_BLR IS NULL
ORDER BY R.RDB$RELATION_NAME, F.RDB$FIELD_POSITION;
SELECT '#G ' || TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS
WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY RDB$GENERATOR_NAME;
)")
                                    .out;
  std::map<std::string, std::vector<Column>> tables;
  Lines generators;
  for (const std::string& line : SplitLines(catalogue)) {
    std::istringstream words(line);
    std::string tag, name, column, type;
    words >> tag >> name;
    if (tag == "#T" && words >> column >> type)
      tables[name].push_back({column, type == "261"});
    else if (tag == "#G")
      generators.push_back(name);
  }
  std::string queries = "SET LIST ON;\nSET BLOB OFF;\n";
  for (const auto& [table, columns] : tables) {
    std::string select, order;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const Column& c = columns[i];
      select += (i ? ", " : "") +
                (c.blob ? "CAST(\"" + c.name + "\" AS VARCHAR(8000)) AS \"" + c.name + "\""
                        : "\"" + c.name + "\"");
      if (!c.blob)
        order += (order.empty() ? "" : ", ") + std::to_string(i + 1);
    }
    queries += "SELECT 'rows' AS \"" + table + "\" FROM RDB$DATABASE;\n";
    queries += "SELECT " + select + " FROM \"" + table + "\"" +
               (order.empty() ? "" : " ORDER BY " + order) + ";\n";
  }
  for (const std::string& generator : generators)
    queries +=
        "SELECT GEN_ID(\"" + generator + "\", 0) AS \"" + generator + "\" FROM RDB$DATABASE;\n";
  for (const std::string& line : SplitLines(isql.Run(Quoted(db.Name()), queries).out))
    dump += line + "\n";
  return dump;
}

// The line of the first difference, for a message that stays readable.
std::string FirstDifference(const std::string& ours, const std::string& theirs) {
  const Lines a = SplitLines(ours), b = SplitLines(theirs);
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const std::string x = i < a.size() ? a[i] : "<end>";
    const std::string y = i < b.size() ? b[i] : "<end>";
    if (x != y)
      return "dump line " + std::to_string(i + 1) + ":\n  nimbus-scripts: " + x +
             "\n  isql-fb:        " + y;
  }
  return "";
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
    ++n;
  return n;
}

class acceptance : public ::testing::Test {
protected:
  acceptance() : isql(dir) {
    // A copy of the program of its own: its log goes beside it.
    const std::string program = dir.File("bin/nimbus-scripts");
    std::filesystem::copy_file(NIMBUS_BINARY_DIR "/app/nimbus-scripts", program);
    dir.File("pf/.keep");
  }

  struct RunOutcome {
    int status;
    std::string out;
    std::string err;
  };

  // One whole run in console, silent and debug mode (the scripts stay).
  RunOutcome RunNimbus(const BareDatabase& db, const Lines& scripts) {
    std::string ini =
        "[configuration]\r\nbase=" + db.Path() + "\r\nparam1=1\r\nparam2=1\r\n[scripts]\r\n";
    for (std::size_t i = 0; i < scripts.size(); ++i)
      ini += std::to_string(i + 1) + "=" + scripts[i] + "\r\n";
    const std::string run = dir.Write("run.ini", ini);
    const std::string out = dir.Path() + "/run.out";
    const std::string err = dir.Path() + "/run.err";
    const int status =
        Shell("env -u DISPLAY -u WAYLAND_DISPLAY PROGRAMFILES=" + Quoted(dir.Path() + "/pf") +
              " XDG_STATE_HOME=" + Quoted(dir.Path() + "/state") + " " +
              Quoted(dir.Path() + "/bin/nimbus-scripts") + " --console " + Quoted(run) +
              " </dev/null >" + Quoted(out) + " 2>" + Quoted(err));
    return {status, ReadFile(out), ReadFile(err)};
  }

  // isql-fb -i for each script in turn; what it said on standard error.
  std::string RunIsql(const BareDatabase& db, const Lines& scripts) {
    std::string errors;
    for (const std::string& script : scripts)
      errors += isql.Run("-i " + Quoted(script) + " " + Quoted(db.Name())).err;
    return errors;
  }

  // Applies the scripts both ways and compares. `failing` is the number of
  // statements both must report failed. Returns the dump.
  std::string Compare(const Lines& scripts, std::size_t failing) {
    BareDatabase ours(isql, "nimbus"), theirs(isql, "isql");
    const RunOutcome run = RunNimbus(ours, scripts);
    const std::string isqlErrors = RunIsql(theirs, scripts);

    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const Lines out = SplitLines(run.out);
    EXPECT_EQ(out.empty() ? "" : out.back(), "nimbus-scripts: " + std::to_string(scripts.size()) +
                                                 " script(s): " + std::to_string(scripts.size()) +
                                                 " applied, 0 failed, 0 skipped");
    EXPECT_EQ(Count(run.out, "-ExecuteError #"), failing) << run.out;
    EXPECT_EQ(Count(isqlErrors, "Statement failed"), failing) << isqlErrors;

    const std::string a = CanonicalDump(isql, ours);
    const std::string b = CanonicalDump(isql, theirs);
    EXPECT_GT(Count(a, "\n"), 10u) << "the dump holds what the script made:\n" << a;
    EXPECT_TRUE(a == b) << FirstDifference(a, b);
    return a;
  }

  TempDir dir;
  Isql isql;
};

struct ScriptCase {
  const char* file;
  std::size_t failing; // statements that fail in both
};

void PrintTo(const ScriptCase& c, std::ostream* out) {
  *out << c.file;
}

class acceptance_script : public acceptance, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(acceptance_script, applies_as_isql_does) {
  const std::string script = dir.File("scripts/" + std::string(GetParam().file));
  std::filesystem::copy_file(kData + "/" + GetParam().file, script);
  Compare({script}, GetParam().failing);
}

INSTANTIATE_TEST_SUITE_P(
    updates, acceptance_script,
    ::testing::Values(ScriptCase{"01_adherents.sql", 0}, ScriptCase{"02_materiel.sql", 0},
                      ScriptCase{"03_seances.sql", 0}, ScriptCase{"04_tarifs.sql", 0},
                      ScriptCase{"05_paiements.sql", 0}, ScriptCase{"06_planning.sql", 0},
                      ScriptCase{"07_textes.sql", 0}, ScriptCase{"08_saison.sql", 0},
                      ScriptCase{"09_erreurs.sql", 5}, ScriptCase{"10_historique.sql", 0}),
    [](const auto& info) {
      std::string name = info.param.file;
      return name.substr(0, name.find('.'));
    });

// The whole update in one run: the scripts share one attachment and their
// objects live side by side.
TEST_F(acceptance, the_whole_update_in_one_run_applies_as_isql_does) {
  Lines scripts;
  std::size_t failing = 0;
  for (const char* file : {"01_adherents.sql", "02_materiel.sql", "03_seances.sql", "04_tarifs.sql",
                           "05_paiements.sql", "06_planning.sql", "07_textes.sql", "08_saison.sql",
                           "09_erreurs.sql"}) {
    scripts.push_back(dir.File(std::string("scripts/") + file));
    std::filesystem::copy_file(kData + "/" + file, scripts.back());
  }
  failing += 5; // 09_erreurs.sql
  const std::string dump = Compare(scripts, failing);
  // The dump holds rows and generator values, not only metadata.
  for (const char* expected :
       {"ACT_LIBELLE                     Escalade (bloc & voie)",
        "GEN_ADHERENT                    104", "MSG_NOTE                        ligne 1"})
    EXPECT_NE(dump.find(expected), std::string::npos) << expected << "\n" << dump;
}

// Where the two differ by design: the commit after every DDL statement also
// commits the rows written before it, so DDL that needs those tables free
// runs; isql keeps them in its open transaction, and the server refuses.
TEST_F(acceptance, ddl_after_uncommitted_rows_runs_here_and_fails_in_isql_by_design) {
  const std::string script = dir.Write(
      "scripts/cotisation.sql",
      "CREATE TABLE COTISATION (COT_ID INTEGER NOT NULL PRIMARY KEY, COT_MONTANT NUMERIC(9,2));\r\n"
      "INSERT INTO COTISATION VALUES (1, 180);\r\n"
      "CREATE TABLE COTISATION_LIGNE (CLI_COT INTEGER REFERENCES COTISATION);\r\n"
      "INSERT INTO COTISATION_LIGNE VALUES (1);\r\n"
      "COMMIT;\r\n");
  BareDatabase ours(isql, "nimbus"), theirs(isql, "isql");
  const RunOutcome run = RunNimbus(ours, {script});
  const std::string isqlErrors = RunIsql(theirs, {script});

  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(Count(run.out, "-ExecuteError #"), 0u) << run.out;
  EXPECT_EQ(Count(isqlErrors, "Statement failed"), 2u) << isqlErrors;
  EXPECT_NE(isqlErrors.find("is in use"), std::string::npos) << isqlErrors;
  const std::string count = "SET HEADING OFF;\nSELECT COUNT(*) FROM COTISATION_LIGNE;\n";
  std::string rows = isql.Run(Quoted(ours.Name()), count).out;
  rows.erase(std::remove_if(rows.begin(), rows.end(), [](char c) { return c == ' ' || c == '\n'; }),
             rows.end());
  EXPECT_EQ(rows, "1");
  EXPECT_NE(isql.Run(Quoted(theirs.Name()), count).err.find("COTISATION_LIGNE"), std::string::npos);
}

// Firebird's own sample database, without the lines that create it.
TEST_F(acceptance, the_employee_sample_applies_as_isql_does) {
  ASSERT_TRUE(std::filesystem::exists(kEmployee))
      << kEmployee << " is missing: scripts/setup.sh installs firebird3.0-examples";
  const std::string script = dir.File("scripts/employee.sql");
  ASSERT_EQ(Shell("zcat " + Quoted(kEmployee) +
                  " | grep -v -i -E '^[[:space:]]*(create database|connect)[[:space:]]' >" +
                  Quoted(script)),
            0);
  ASSERT_EQ(ReadFile(script).find("create database '"), std::string::npos);
  Compare({script}, 0);
}

} // namespace
} // namespace nimbus::test
