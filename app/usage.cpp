#include "app/usage.h"

#include "app/version.h"

namespace nimbus {

std::string VersionText() {
  return std::string("nimbus-scripts ") + kVersion + "\n";
}

std::string UsageText() {
  return R"(Usage: nimbus-scripts RUN.ini [--console]
       nimbus-scripts SCRIPT.sql | SCRIPT.rhtz [--console]
       nimbus-scripts --help | --version

Applies SQL scripts to the Nimbus Firebird database: the scripts a run
description lists, in order, or one script. Only the first argument counts;
a relative name is read from beside the executable first, else as given.

  --console   log on standard output, message boxes on the terminal (taken
              when no display can be opened)
  --help      print this usage and exit
  --version   print the version and exit

Run description (INI, Windows-1252 text):
  [configuration]
  base=ALIAS     database alias or path (nimbus_gestion)
  ip=ADDRESS     server address (the station file's IPServeur)
  port=N         server port (the station file's PortDonnee)
  centre=N       site put in place of %CENTRE%, 0 asks the database (1000)
  param1=0|1     debug: scripts kept after loading, errors shown in full
  param2=0|1     silent: no log lines, no progress dialog, no menu program
  param3=0|1     server only: refuse unless ip is exactly 127.0.0.1
  wait=0|1       transactions wait for conflicting locks
  [scripts]
  KEY=PATH[;LABEL]   one line per script, run in file order

Log: Log<ddmmyy-hhmmss>.txt beside the executable when that folder takes
files, else in $XDG_STATE_HOME/nimbus-scripts/ (by default
~/.local/state/nimbus-scripts/); the window's first line then names it.

Exit status:
  0  every listed script was applied, or the operator answered No to the
     question about other users
  1  a script ended in "Erreur." or the run ended on an error, or a listed
     script was not applied (not found, expired, cancelled)
  2  the run could not start (no argument, nothing to run)

See nimbus-scripts(1) and nimbus-scripttool(1).
)";
}

std::optional<std::string> InformationRequested(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--help")
      return UsageText();
    if (argument == "--version")
      return VersionText();
  }
  return std::nullopt;
}

} // namespace nimbus
