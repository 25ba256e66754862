#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fib/database.h"

namespace nimbus::test {

// A fresh database on the test server holding the product schema the tool
// relies on: table CENTRE (CTR_ID, CTR_GENERATOR), generator IDGENERIQUE in
// the site block 100000000000, and procedure CONTEXT_ACTIVATION, which
// records each call in table CONTEXT_LOG (CTL_MODE, CTL_CENTRE, CTL_TEXT,
// CTL_AT). Dropped at the end of the scope, whoever is still attached.
//
// Every query runs on an attachment of its own, committed and closed at
// once, so the helper never counts among the database's users.
class ProductDatabase {
public:
  // With `site`, CENTRE holds the row 1000 of IDGENERIQUE's block.
  explicit ProductDatabase(bool site = true);
  ~ProductDatabase();
  ProductDatabase(const ProductDatabase&) = delete;
  ProductDatabase& operator=(const ProductDatabase&) = delete;

  // The file on the server: what a run description names as `base`.
  const std::string& Path() const { return path_; }
  // "127.0.0.1:" + Path().
  std::string Name() const;

  // Runs statements in one transaction and commits.
  void Exec(const std::vector<std::string>& statements);
  // The first column of the first row as a 64-bit integer; -1 for Null or no row.
  std::int64_t QueryInt(const std::string& sql);
  // The first column of every row, as text.
  std::vector<std::string> QueryTexts(const std::string& sql);
  // A new attachment left open, as another user of the database would be.
  std::unique_ptr<TpFIBDatabase> Attach();

private:
  std::string path_;
};

// A database that the code under test is to create on the test server: only
// its name is chosen here. Dropped at the end of the scope when it exists.
class ScratchDatabase {
public:
  ScratchDatabase();
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;

  const std::string& Path() const { return path_; }
  std::string Name() const;
  bool Exists() const;
  std::int64_t QueryInt(const std::string& sql) const;

private:
  std::string path_;
};

// The first column of the first row on the database `name`, as
// ProductDatabase::QueryInt.
std::int64_t QueryIntAt(const std::string& name, const std::string& sql);
// Attaches once with forced writes set as `on` (the server keeps the setting).
void SetForcedWrites(const std::string& name, bool on);

} // namespace nimbus::test
