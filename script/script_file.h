#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "script/script_types.h"

namespace nimbus {

namespace os {
class TReadOnlyFile;
}

class TpFIBScripter;

// Files a script names: INPUT runs another script file line by line
// (ExecuteFile), and after SET BLOBFILE the parameters named H<offset>_<size>
// (hexadecimal) are filled from byte ranges of the blob file.
//
// A relative file name is read against the folder of the file being run:
// the including file's for an INPUT file, the runner's ScriptFolder for the
// main script. A file run by INPUT is parsed chunk by chunk as its lines
// arrive; a chunk grows until its conditional directives are closed, and
// its statements are decided against its own directive map.
class TScriptFileRunner {
public:
  static constexpr std::size_t kMaxDepth = 32;

  explicit TScriptFileRunner(TpFIBScripter& runner);
  ~TScriptFileRunner();

  // INPUT: the rest of the statement names the file, run with ";".
  void Input(const TStatementDesc& entry);
  // Only the outermost call, outside a run, flushes the EXECUTE BLOCK
  // buffer, cleans up the database commands' state and closes the blob file
  // at its end; a nested one leaves them to the run around it.
  void ExecuteFile(const std::string& FileName, const std::string& Terminator);
  // Called by ExecuteCurrent when BlobFileName is set and OwnStatement has
  // parameters: fills the blob-file parameters, leaves the others alone.
  void BindBlobParams();
  // A parameter BindBlobParams fills: its name begins with "H" or "h".
  static bool IsBlobFileParam(const std::string& name) {
    return !name.empty() && (name[0] == 'H' || name[0] == 'h');
  }
  // At the end of every run and when SET BLOBFILE names another file.
  void CloseBlobFile();

  // The file name written after the keyword at `keyword`, up to `end`;
  // nothing when none follows. Comments may come before it. Quoted, it is
  // the text between the quotes (doubled quotes folded); unquoted, it runs
  // from its first character ("/" included) to `end`, less a comment that
  // follows it after a blank.
  static std::optional<std::string> FileNameAfter(const std::vector<std::string>& source,
                                                  TScriptPos keyword, TScriptPos end);
  // `name` read against the folder of the file being run.
  std::string Resolve(const std::string& name) const;

private:
  void RunFile(const std::string& path, const std::string& Terminator);

  TpFIBScripter& runner_;
  std::unique_ptr<os::TReadOnlyFile> blob_;
  // Folders of the files being run, innermost last.
  std::vector<std::string> folders_;
};

} // namespace nimbus
