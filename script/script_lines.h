#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "fib/param_lines.h"

namespace nimbus {

// The lines of a script, with the change announcements of TParamLines: the
// runner forgets its parse when any change begins. Lines never hold a line
// break; text is split at CR LF, LF or CR.
class TScriptLines : public TParamLines {
public:
  // Replaces the lines by those of `text`.
  void SetText(std::string_view text);
  // Replaces the lines by those of the file; EFileReadError names a file
  // that cannot be read, and the lines stay as they were.
  void LoadFromFile(const std::string& path);
};

} // namespace nimbus
