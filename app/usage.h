#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nimbus {

// "nimbus-scripts x.y.z" and a line end.
std::string VersionText();
// The short usage --help prints: argument forms, options, run-description
// keys, where the log goes, exit statuses. Plain ASCII.
std::string UsageText();

// What the command line asks to print instead of running: the usage when
// "--help" stands among `arguments`, the version for "--version", the first
// of them deciding; nothing otherwise.
std::optional<std::string> InformationRequested(const std::vector<std::string>& arguments);

} // namespace nimbus
