#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/environment.h"
#include "app/password_candidate.h"
#include "app/run_description.h"
#include "app/run_state.h"
#include "app/script_expiry.h"
#include "app/script_source.h"
#include "app/texts.h"
#include "crypto/script_file.h"
#include "crypto/script_key.h"
#include "platform/exception.h"
#include "platform/ini_file.h"
#include "platform/os.h"
#include "platform/text.h"
#include "script/parser.h"
#include "tools/scripttool/commands.h"
#include "tools/scripttool/input.h"
#include "tools/scripttool/output.h"

// What a run would do with its argument, without a database: the run
// description read by the program's own functions, then every script of the
// run list loaded, decrypted and parsed as the execution step does, in memory.
namespace nimbus::scripttool {

namespace {

int CheckUsage() {
  std::fputs("usage: nimbus-scripttool check [--program-folder DIR] RUN.ini|SCRIPT\n", stderr);
  return 2;
}

// A free text as one field: line breaks and tabs become blanks, so every
// record stays one line of tab-separated fields.
std::string Field(const std::string& text) {
  std::string field;
  field.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      continue; // CR LF is one break
    field += c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
  }
  return field;
}

std::string LocalDateTime(std::time_t moment) {
  const std::tm t = os::LocalTime(moment);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
  return text;
}

std::string PosOrDash(TScriptPos pos) {
  if (!pos.IsSet())
    return "-";
  std::string text;
  AppendPos(text, pos);
  return text;
}

class Checker {
public:
  explicit Checker(std::string& out) : out_(out) {}

  // Records one script of the run list; false when the run would fail on it.
  bool CheckScript(std::size_t number, const TScriptPath& path, const std::string& label) {
    AppendFields(out_, "script", number, Field(path.Shown), Field(label));
    bool ok = true;
    const bool encrypted = AnsiLowerCase(path.Shown).ends_with(".rhtz");
    if (encrypted) {
      // The run looks at the age first and goes no further with an expired
      // file; the rest is still checked, for the author's sake.
      const std::optional<std::time_t> modified = os::FileModificationTime(path.Real);
      if (!modified)
        return Error(number, "Cannot examine file \"" + path.Real + "\"");
      const bool expired = ScriptExpired(*modified, std::time(nullptr));
      AppendFields(out_, "encrypted", number, "expires", LocalDateTime(ScriptExpiry(*modified)),
                   expired ? "expired" : "valid");
      if (expired)
        ok = Error(number, texts::kFileExpired);
    }

    // Loaded by the run's own code: a UTF-8 script with a byte-order mark is
    // converted, or refused for a character Windows-1252 cannot hold.
    std::string text;
    try {
      if (encrypted) {
        text = ReadWhole(path.Real, [](const std::string& real) {
          std::array<std::uint8_t, 16> key{};
          DeriveScriptKey(key.data(), key.size(), PasswordCandidate(1));
          return ScriptText(
              TransformScriptBytes(os::ReadFileBytes(real), key.data(), key.size(), false), real);
        });
      } else {
        text = ReadWhole(path.Real, ReadScriptText);
      }
    } catch (const Exception& error) {
      return Error(number, error.Message());
    }

    const std::vector<std::string> lines = SplitLines(text);
    TpFIBScriptParser parser;
    TScriptMap statements;
    TDirectivesMap directives;
    std::string terminator = ";";
    try {
      parser.Parse(lines, terminator, true, directives, statements);
    } catch (const std::exception& error) {
      return Error(number, error.what());
    }
    AppendFields(out_, "parsed", number,
                 ParseSummary(parser, statements.size(), directives.size(), Field(terminator)));
    std::vector<std::string> header;
    for (std::size_t i = 0; i < directives.size(); ++i) {
      const TDirectiveDesc& d = directives[i];
      StatementText(lines, d.StartPos, d.HeaderEnd, header);
      std::string headerText;
      for (const std::string& line : header) {
        if (!headerText.empty())
          headerText += ' ';
        headerText += line;
      }
      AppendFields(out_, "directive", number, DirectiveName(static_cast<std::int32_t>(i)),
                   DirectiveName(d.ParentIndex), d.StartPos, PosOrDash(d.ElsePos),
                   PosOrDash(d.EndifPos), Field(headerText));
    }
    return ok;
  }

private:
  bool Error(std::size_t number, const std::string& message) {
    AppendFields(out_, "error", number, Field(message));
    return false;
  }

  std::string& out_;
};

// Names an argument that the run would not find, as the other subcommands
// name a file they cannot read.
int ArgumentNotFound(const std::string& argument) {
  std::string message = "Cannot open file \"" + argument + "\". Not a file";
  try {
    ReadWhole(argument, os::ReadFileBytes);
  } catch (const EFileReadError& error) {
    message = error.Message();
  }
  Write("nimbus-scripttool check: " + message + "\n", stderr);
  return 2;
}

} // namespace

int RunCheck(int argc, char** argv) {
  std::optional<std::string> programFolder;
  const char* file = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--program-folder") == 0) {
      if (++i == argc || !*argv[i])
        return CheckUsage();
      programFolder = argv[i];
    } else if (!file && (argv[i][0] != '-' || !argv[i][1])) {
      file = argv[i];
    } else {
      return CheckUsage();
    }
  }
  if (!file)
    return CheckUsage();

  TEnvironment env = TEnvironment::FromSystem({file});
  if (programFolder)
    env.ExecutableFolder = [folder = *programFolder] { return folder; };
  TRunState state;
  ReadStationSettings(state, env);

  const TScriptPath argument = ResolveArgument(file, env.ExecutableFolder());
  if (argument.Real.empty())
    return ArgumentNotFound(file);

  // The run list is filled as the program fills it; entries that name no
  // file are reported in their place in the file.
  std::vector<TScriptEntry> entries;
  const bool single = IsScriptPath(argument.Shown);
  if (single) {
    entries.push_back({"", argument.Shown, texts::kSingleScriptLabel, argument.Real});
  } else {
    std::string description;
    try {
      // The program would read an unreadable file as an empty description.
      description = ReadWhole(argument.Real, os::ReadFileBytes);
    } catch (const EFileReadError& error) {
      Write("nimbus-scripttool check: " + error.Message() + "\n", stderr);
      return 2;
    }
    const TIniFile ini = TIniFile::FromText(description);
    ReadRunOptions(ini, state);
    entries = ReadScriptEntries(ini, env.ExecutableFolder());
  }

  std::string out;
  AppendFields(out, "run", single ? "script" : "description", Field(argument.Shown));
  const TConfigOrvan& station = state.StationSettings;
  AppendFields(out, "option", "base", Field(station.DatabaseAlias));
  AppendFields(out, "option", "ip", Field(station.ServerAddress));
  AppendFields(out, "option", "port", station.Port);
  AppendFields(out, "option", "centre", state.CentreId);
  AppendFields(out, "option", "param1", state.DebugMode);
  AppendFields(out, "option", "param2", state.SilentMode);
  AppendFields(out, "option", "param3", state.ServerOnly);
  AppendFields(out, "option", "wait", state.WaitMode);
  const bool refused = ServerOnlyRefuses(state);
  if (refused)
    AppendFields(out, "refused", "param3 is set and ip is not 127.0.0.1");

  Checker checker(out);
  std::vector<TScriptPath>& scripts = *state.ScriptList;
  std::size_t missing = 0, failing = 0;
  for (const TScriptEntry& entry : entries) {
    if (entry.Resolved.empty()) {
      AppendFields(out, "missing", Field(entry.Key + "=" + entry.Value));
      ++missing;
      continue;
    }
    // The argument itself is shown lower-cased, list entries as found.
    scripts.push_back(single ? argument : TScriptPath{entry.Resolved, entry.Resolved});
    state.LabelList.push_back(entry.Label);
    if (!checker.CheckScript(scripts.size(), scripts.back(), state.LabelList.back()))
      ++failing;
    Write(out, stdout);
    out.clear();
  }
  AppendFields(out, "summary",
               "scripts=" + std::to_string(scripts.size()) +
                   " ok=" + std::to_string(scripts.size() - failing) +
                   " failing=" + std::to_string(failing) + " missing=" + std::to_string(missing) +
                   " refused=" + (refused ? "1" : "0"));
  Write(out, stdout);
  if (std::fflush(stdout) != 0)
    return 1;
  return scripts.empty() || failing > 0 || missing > 0 || refused ? 1 : 0;
}

} // namespace nimbus::scripttool
