#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/app/run_fixture.h"
#include "tests/support/product_database.h"

namespace nimbus::test {

// The log file's lines, without their CR LF ends.
inline Lines LogLines(const std::string& log) {
  Lines lines;
  std::size_t from = 0;
  for (std::size_t end; (end = log.find("\r\n", from)) != std::string::npos; from = end + 2)
    lines.push_back(log.substr(from, end - from));
  return lines;
}

// Compares line by line. An expected line ending in "…" (the UTF-8
// ellipsis) stands for a server message: it matches a line that starts with
// the text before it and the lines that follow, up to the next expected line,
// since messages hold line breaks of their own.
inline void ExpectLines(const Lines& actual, const Lines& expected) {
  static const std::string kAny = "\xE2\x80\xA6";
  std::size_t i = 0;
  for (std::size_t j = 0; j < expected.size(); ++j, ++i) {
    SCOPED_TRACE("expected line " + std::to_string(j + 1) + ", log line " + std::to_string(i + 1));
    if (i >= actual.size()) {
      ADD_FAILURE() << "missing: " << expected[j];
      return;
    }
    const std::string& want = expected[j];
    if (!want.ends_with(kAny)) {
      EXPECT_EQ(actual[i], want);
      continue;
    }
    const std::string head = want.substr(0, want.size() - kAny.size());
    EXPECT_TRUE(actual[i].starts_with(head)) << actual[i] << "\nexpected to start with\n" << head;
    while (i + 1 < actual.size() && j + 1 < expected.size() &&
           !actual[i + 1].starts_with(expected[j + 1].ends_with(kAny)
                                          ? expected[j + 1].substr(0, expected[j + 1].size() - 3)
                                          : expected[j + 1]))
      ++i;
  }
  for (; i < actual.size(); ++i)
    ADD_FAILURE() << "extra: " << actual[i];
}

// A whole run on the scripted window system against a fresh product database
// that the run description names as its base.
class ExecutionRun : public ::testing::Test {
protected:
  explicit ExecutionRun(bool site = true) : database(site) { run.realStep = true; }

  // A script file in the run's folder; returns its path.
  std::string Script(const std::string& name, const std::string& text) {
    return run.dir.Write("scripts/" + name, text);
  }

  // Runs a run description of `options` lines of [configuration] (base is
  // added) and `entries` lines of [scripts]; returns the exit code.
  int Run(const Lines& entries, const Lines& options = {}) {
    std::string ini = "[configuration]\nbase=" + database.Path() + "\n";
    for (const std::string& option : options)
      ini += option + "\n";
    ini += "[scripts]\n";
    int key = 0;
    for (const std::string& entry : entries)
      ini += std::to_string(++key) + "=" + entry + "\n";
    return run.Start({run.dir.Write("run.ini", ini)});
  }

  // Runs `action` once, at the first pump after statement `position` of the
  // first script: how a test breaks the attachment in the middle of a script.
  void OnceAfterStatement(int position, std::function<void()> action) {
    run.ui.OnPump = [this, position, action = std::move(action)] {
      if (actedMidScript || run.ui.ProgressDialogs().empty() ||
          run.ui.ProgressDialogs()[0]->Position != position)
        return;
      actedMidScript = true;
      action();
    };
  }
  bool actedMidScript = false;

  Lines Log() const { return LogLines(run.Log()); }

  // The lines every run starts with, for the scripts at `paths`.
  Lines Opening(const Lines& paths, bool wait = false) const {
    Lines lines = {std::string("14:03:05 transaction \"") + (wait ? "Wait" : "no Wait") + "\""};
    for (const std::string& path : paths)
      lines.push_back("14:03:05-Added : " + path);
    lines.push_back("");
    return lines;
  }

  // The lines of the first attachment.
  Lines Connecting() const {
    return {"14:03:05---Connexion DB \"" + database.Name() + "\"", "lib \"libfbclient.so.2\")",
            Ansi("14:03:05---DB connectée")};
  }

  static Lines Applied() {
    return {Ansi("14:03:05-Terminé"), Ansi("14:03:05-Terminé"),
            Ansi("14:03:05 - Opérations appliquées."), kSeparator};
  }

  static Lines Failed() { return {"14:03:05-Erreur", "Erreur.", kSeparator}; }

  static inline const std::string kSeparator = " - - - - - - - - - - - - - - - - - - - - - -";

  ProductDatabase database; // dropped last: the run's attachment is gone by then
  RunFixture run;
};

} // namespace nimbus::test
