#pragma once

#include <string>
#include <vector>

#include "script/script_types.h"

namespace nimbus {

class TpFIBScripter;

// Files a script names: INPUT runs another script file line by line
// (ExecuteFile), and after SET BLOBFILE the parameters named H<offset>_<size>
// are filled from byte ranges of the blob file.
//
// Not built yet: ExecuteFile raises a general error naming INPUT, and a
// statement with a blob-file parameter one naming SET BLOBFILE. SET BLOBFILE
// itself already records the file name.
class TScriptFileRunner {
public:
  explicit TScriptFileRunner(TpFIBScripter& runner) : runner_(runner) {}

  // INPUT: the next token names the file, run with ";".
  void Input(const TStatementDesc& entry);
  void ExecuteFile(const std::string& FileName, const std::string& Terminator);
  // Called by ExecuteCurrent when BlobFileName is set and OwnStatement has
  // parameters.
  void BindBlobParams();
  // At the end of every run and when SET BLOBFILE names another file.
  void CloseBlobFile();

private:
  TpFIBScripter& runner_;
};

} // namespace nimbus
