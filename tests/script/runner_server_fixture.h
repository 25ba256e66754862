#pragma once

// The runner on a fresh database of its own, set up as the main window sets
// pFIBScripter1: Database dbNimbus, Transaction TransNimbus, and an error
// handler that records the error and clears doRollBack and Stop (unless
// keepDefaults is set).

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fib/query.h"
#include "script/runner.h"
#include "tests/fib/database_server_fixture.h"

namespace nimbus::test {

struct Reported {
  std::int32_t StatementNo;
  std::int32_t Line;
  std::int32_t SQLCode;
  std::string Msg;
};

class RunnerServerTest : public ServerDatabaseTest {
protected:
  void SetUp() override {
    ServerDatabaseTest::SetUp();
    CreateTestDatabase();
    db->SetConnected(true);
    scripter = new TpFIBScripter(&form);
    scripter->SetName("pFIBScripter1");
    scripter->SetDatabase(db);
    scripter->SetTransaction(tr);
    scripter->OnExecuteError = [this](TpFIBScripter*, std::int32_t StatementNo, std::int32_t Line,
                                      const std::vector<std::string>&, std::int32_t SQLCode,
                                      const std::string& Msg, bool& doRollBack, bool& Stop) {
      errors.push_back({StatementNo, Line, SQLCode, Msg});
      if (!keepDefaults)
        doRollBack = Stop = false;
    };
  }

  // Loads, parses and runs `text` as the execution step does.
  void Run(const std::string& text) {
    errors.clear();
    scripter->Script().SetText(text);
    scripter->ParseScript(";");
    scripter->RunScript(1);
  }

  // One line per reported error; empty when there was none.
  std::string ErrorList() const {
    std::string text;
    for (const Reported& e : errors)
      text += std::to_string(e.StatementNo) + "@" + std::to_string(e.Line) + " " +
              std::to_string(e.SQLCode) + " " + e.Msg + "\n";
    return text;
  }

  // A text column of the first row, through a statement; "<null>" for null.
  std::string Text(const std::string& sql) {
    TpFIBQuery q(&form);
    q.SetDatabase(db);
    q.SetTransaction(tr);
    if (!tr->Active())
      tr->StartTransaction();
    q.SQL().Assign({sql});
    q.ExecQuery();
    const TVariant value = q.Fields(0).AsVariant();
    q.Close();
    return value.IsNull() ? "<null>" : value.Get<std::string>();
  }

  TpFIBScripter* scripter = nullptr;
  std::vector<Reported> errors;
  bool keepDefaults = false;
};

} // namespace nimbus::test
