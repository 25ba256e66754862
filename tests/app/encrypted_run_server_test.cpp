// Whole runs against the test server: encrypted scripts, and the site
// identifier asked from the database.
#include "tests/app/execution_fixture.h"

#include <utime.h>

#include <algorithm>
#include <filesystem>

#include "app/password_candidate.h"
#include "crypto/script_file.h"
#include "crypto/script_key.h"
#include "platform/os.h"

namespace nimbus::test {
namespace {

namespace fs = std::filesystem;

class encrypted_run : public ExecutionRun {
protected:
  // Encrypted with the passphrase the tool decrypts with.
  std::string Encrypted(const std::string& name, const std::string& plain) {
    std::uint8_t key[16];
    DeriveScriptKey(key, sizeof key, PasswordCandidate(1));
    const std::string source = run.dir.Write("plain.tmp", plain);
    const std::string target = run.dir.File("scripts/" + name);
    DecryptScriptFile(source, target, key, sizeof key, true);
    fs::remove(source);
    return target;
  }

  std::vector<std::string> ScriptFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(run.dir.Path() + "/scripts"))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(encrypted_run, applied_once_expired_kept_and_a_corrupt_one_ends_the_run) {
  const std::string good = Encrypted("maj.rhtz", "INSERT INTO CENTRE VALUES (2000, 1);\n");
  const std::string old = Encrypted("old.rhtz", "INSERT INTO CENTRE VALUES (2001, 1);\n");
  const std::string corrupt = run.dir.Write("scripts/bad.rhtz", std::string(48, 'x'));
  const std::string after = Script("after.sql", "INSERT INTO CENTRE VALUES (2002, 1);\n");
  // Ten days and one second before the run's clock.
  const std::time_t tooOld = run.now - 10 * 86400 - 1;
  const utimbuf times{tooOld, tooOld};
  ASSERT_EQ(::utime(old.c_str(), &times), 0);

  std::string error;
  try {
    Run({good, good, old, corrupt, after});
  } catch (const std::exception& escaped) {
    error = escaped.what();
  }
  EXPECT_EQ(error, "Invalid file format");

  Lines expected = Opening({good, good, old, corrupt, after});
  expected.push_back("14:03:05 - Chargement fichier : maj.rhtz");
  expected.push_back("14:03:05---Ouverture script \"" + good + "\"");
  for (const std::string& line : Connecting())
    expected.push_back(line);
  expected.insert(expected.end(), {"Execution script...", "14:03:05-Execution..."});
  for (const std::string& line : Applied())
    expected.push_back(line);
  expected.insert(expected.end(),
                  {"14:03:05 - Chargement fichier : maj.rhtz",
                   "14:03:05---Ouverture script \"" + good + "\"", Ansi("14:03:05---DB connectée"),
                   Ansi("14:03:05-Fichier non trouvé"), "14:03:05 - Chargement fichier : old.rhtz",
                   Ansi("Fichier expiré."), "14:03:05 - Chargement fichier : bad.rhtz",
                   "14:03:05---Ouverture script \"" + corrupt + "\"",
                   Ansi("14:03:05---DB connectée"), "Execution script..."});
  ExpectLines(Log(), expected);

  EXPECT_EQ(ScriptFolder(), (std::vector<std::string>{"after.sql", "bad.rhtz", "old.rhtz"}))
      << "no plain copy left behind";
  EXPECT_EQ(database.QueryTexts("SELECT CTR_ID FROM CENTRE ORDER BY CTR_ID"),
            (Lines{"1000", "2000"}));
}

struct CentreCase {
  const char* what;
  bool siteRow;
  bool mentionsActivation;
  std::int64_t centre;
  std::int64_t activations;
};

class centre_zero : public ExecutionRun, public ::testing::WithParamInterface<CentreCase> {
protected:
  centre_zero() : ExecutionRun(false) {}
};

TEST_P(centre_zero, the_site_comes_from_the_database_and_never_stays_0) {
  const CentreCase& c = GetParam();
  if (c.siteRow)
    database.Exec({"INSERT INTO CENTRE VALUES (1234, 100000000000)"});
  std::string text = "INSERT INTO CENTRE VALUES (%CENTRE% + 10000, 7);\n";
  if (c.mentionsActivation)
    text += "-- The context is set up by CONTEXT_ACTIVATION elsewhere.\n";
  const std::string first = Script("first.sql", text);
  const std::string second = Script("second.sql", "INSERT INTO CENTRE VALUES (%CENTRE%, 8);\n");
  Run({first, second}, {"centre=0"});
  EXPECT_EQ(database.QueryInt("SELECT CTR_ID FROM CENTRE WHERE CTR_GENERATOR = 7"),
            c.centre + 10000);
  EXPECT_EQ(database.QueryInt("SELECT CTR_ID FROM CENTRE WHERE CTR_GENERATOR = 8"), c.centre)
      << "later scripts keep the site found";
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM CONTEXT_LOG"), c.activations);
  if (c.activations) {
    EXPECT_EQ(database.QueryInt("SELECT CTL_CENTRE FROM CONTEXT_LOG"), c.centre);
  }
}

INSTANTIATE_TEST_SUITE_P(
    cases, centre_zero,
    ::testing::Values(CentreCase{"site_row", true, false, 1234, 1},
                      CentreCase{"no_site_row", false, false, 1000, 1},
                      CentreCase{"site_row_activation_skipped", true, true, 1234, 1},
                      CentreCase{"no_site_row_activation_skipped", false, true, 1000, 1}),
    [](const auto& info) { return std::string(info.param.what); });

} // namespace
} // namespace nimbus::test
