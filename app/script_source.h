#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace nimbus {

// The file side of an execution step: the age of an encrypted script, its
// decrypted temporary copy and the text the runner is given.

// ScriptExpired for the encrypted script at `path`. A file whose age cannot
// be read is not expired: the step then reports it as not found.
bool ScriptExpired(const std::string& path, std::time_t now);

// The folder of the file at `path`, without a trailing separator; "." for a
// bare name.
std::string FolderOf(const std::string& path);

// The script text in Windows-1252. A file that starts with a UTF-8
// byte-order mark is converted; a character Windows-1252 cannot hold raises
// an Exception naming the file and the line, before anything runs.
// EFileReadError when the file cannot be read.
std::string ReadScriptText(const std::string& path);
// The same for a script's bytes already in memory (a decrypted one, say);
// `path` names it in the error.
std::string ScriptText(std::string bytes, const std::string& path);

// A decrypted copy of an encrypted script, beside it, readable by its owner
// only, and removed when this object goes, however the step ends.
class TTemporaryScript {
public:
  // Creates "{ddmmyyhhnnss}.sql" from the local time `now` in the folder of
  // `source`, never over an existing file ("{…}-1.sql", "{…}-2.sql", … on a
  // collision), and decrypts `source` into it with the 16-byte `key`. Raises
  // EOSError when no file can be created, the decryption's errors otherwise;
  // nothing is left behind then.
  TTemporaryScript(const std::string& source, std::time_t now, const std::uint8_t* key);
  ~TTemporaryScript();
  TTemporaryScript(const TTemporaryScript&) = delete;
  TTemporaryScript& operator=(const TTemporaryScript&) = delete;

  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

} // namespace nimbus
