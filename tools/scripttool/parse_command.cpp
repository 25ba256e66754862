#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/os.h"
#include "script/parser.h"
#include "tools/scripttool/commands.h"
#include "tools/scripttool/input.h"
#include "tools/scripttool/output.h"

namespace nimbus::scripttool {

namespace {

int ParseUsage() {
  std::fputs("usage: nimbus-scripttool parse [--text] [--terminator T] FILE\n", stderr);
  return 2;
}

} // namespace

int RunParse(int argc, char** argv) {
  bool withText = false;
  std::string terminator = ";";
  const char* file = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--text") == 0) {
      withText = true;
    } else if (std::strcmp(argv[i], "--terminator") == 0) {
      if (++i == argc || !*argv[i])
        return ParseUsage(); // an empty terminator would end a statement at every delimiter
      terminator = argv[i];
    } else if (!file && (argv[i][0] != '-' || !argv[i][1])) {
      file = argv[i];
    } else {
      return ParseUsage();
    }
  }
  if (!file)
    return ParseUsage();

  std::string content;
  try {
    content = ReadWhole(file, os::ReadFileBytes, /*pipes=*/true);
  } catch (const EFileReadError& error) {
    Write("nimbus-scripttool parse: " + error.Message() + "\n", stderr);
    return 2;
  }
  const std::vector<std::string> script = SplitLines(content);

  TpFIBScriptParser parser;
  TScriptMap statements;
  TDirectivesMap directives;
  try {
    parser.Parse(script, terminator, true, directives, statements);
  } catch (const std::exception& error) {
    Write(std::string(error.what()) + "\n", stderr);
    return 2;
  }

  std::string out;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const TStatementDesc& st = statements[i];
    AppendFields(out, i + 1, StatementKindName(st.Kind), ObjectKindName(st.ObjectKind),
                 st.ObjectName, st.StartPos, st.EndPos, st.DirectiveIndex, st.InElseBranch);
    if (withText) {
      StatementText(script, st.StartPos, st.EndPos, lines);
      for (const std::string& line : lines) {
        out += "\t|";
        out += line;
        out += '\n';
      }
    }
    if (out.size() > (1 << 16)) {
      Write(out, stdout);
      out.clear();
    }
  }
  for (std::size_t i = 0; i < directives.size(); ++i) {
    const TDirectiveDesc& d = directives[i];
    AppendFields(out, DirectiveName(static_cast<std::int32_t>(i)), d.StartPos, d.HeaderEnd,
                 d.ElsePos, d.EndifPos, static_cast<int>(d.Evaluation), d.ParentIndex,
                 d.InParentElse);
  }
  out += ParseSummary(parser, statements.size(), directives.size(), terminator) + "\n";
  Write(out, stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace nimbus::scripttool
