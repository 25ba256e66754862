#include "script/script_lines.h"

#include "platform/os.h"
#include "script/script_text.h"

namespace nimbus {

void TScriptLines::SetText(std::string_view text) {
  Assign(SplitLines(text));
}

void TScriptLines::LoadFromFile(const std::string& path) {
  Assign(SplitLines(os::ReadFileBytes(path)));
}

} // namespace nimbus
