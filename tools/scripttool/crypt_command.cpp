#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include "app/password_candidate.h"
#include "crypto/script_file.h"
#include "crypto/script_key.h"
#include "platform/exception.h"
#include "platform/os.h"
#include "tools/scripttool/commands.h"

namespace nimbus::scripttool {

namespace {

struct CryptArguments {
  std::string input;
  std::string output;
  // Taken as the 8-bit bytes given; the built-in passphrase when absent.
  std::optional<std::string> passphrase;
};

void Fail(const char* command, const std::string& message) {
  std::fprintf(stderr, "nimbus-scripttool %s: %s\n", command, message.c_str());
}

// Argument values are never echoed: a misplaced one may be a passphrase.
int Usage(const char* command, const char* problem) {
  Fail(command, problem);
  std::fprintf(stderr, "usage: nimbus-scripttool %s IN OUT [--passphrase TEXT]\n", command);
  return 2;
}

std::optional<CryptArguments> Parse(const char* command, int argc, char** argv, int& status) {
  CryptArguments arguments;
  int positional = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--passphrase") {
      if (i + 1 == argc) {
        status = Usage(command, "--passphrase needs a value");
        return std::nullopt;
      }
      arguments.passphrase = argv[++i];
    } else if (argument.starts_with("--passphrase=")) {
      arguments.passphrase = std::string(argument.substr(13));
    } else if (argument.starts_with("--")) {
      status = Usage(command, "unknown option");
      return std::nullopt;
    } else if (positional == 0) {
      arguments.input = argument, ++positional;
    } else if (positional == 1) {
      arguments.output = argument, ++positional;
    } else {
      status = Usage(command, "too many arguments");
      return std::nullopt;
    }
  }
  if (positional < 2) {
    status = Usage(command, "IN and OUT are required");
    return std::nullopt;
  }
  return arguments;
}

// A name beside `output` for the work in progress, so that a failed run leaves
// an existing output untouched.
std::filesystem::path WorkFileFor(const std::filesystem::path& output) {
  std::random_device random;
  for (;;) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".part-%08x", static_cast<unsigned>(random()));
    std::filesystem::path candidate = output;
    candidate += suffix;
    std::error_code ignored;
    if (!std::filesystem::exists(candidate, ignored))
      return candidate;
  }
}

// Where OUT leads through any chain of symbolic links: the file at its end,
// which need not exist yet, or a descriptor of this process (/dev/stdout
// leads to /proc/self/fd/1), whose link text names no file.
struct OutputTarget {
  std::filesystem::path file;
  std::optional<int> descriptor;
};

OutputTarget FollowLinks(std::filesystem::path path) {
  for (int hops = 0;; ++hops) {
    if (const std::optional<int> descriptor = os::OwnDescriptor(path.string()))
      return {path, descriptor};
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)))
      return {path, std::nullopt};
    if (hops == 40)
      throw std::filesystem::filesystem_error(
          "too many links", path, std::make_error_code(std::errc::too_many_symbolic_link_levels));
    const std::filesystem::path target = std::filesystem::read_symlink(path);
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
}

// An OUT that names an open descriptor is written where the descriptor
// stands, as "-" is: the shell's `> file` or `>> file` keeps what is written
// before and after.
void TransformToDescriptor(const CryptArguments& arguments, const std::array<std::uint8_t, 16>& key,
                           bool encrypt, int descriptor) {
  if (descriptor == 1 || descriptor == 2) {
    DecryptScriptFile(arguments.input, descriptor == 1 ? stdout : stderr, arguments.output,
                      key.data(), key.size(), encrypt);
    return;
  }
  const auto writeError = [&](int error) {
    return EOSError(error, "Cannot write file \"" + arguments.output + "\". " +
                               std::generic_category().message(error));
  };
  std::FILE* stream = os::StreamOnDescriptor(descriptor);
  if (!stream)
    throw writeError(errno);
  try {
    DecryptScriptFile(arguments.input, stream, arguments.output, key.data(), key.size(), encrypt);
  } catch (...) {
    std::fclose(stream);
    throw;
  }
  if (std::fclose(stream) != 0)
    throw writeError(errno);
}

// Writes OUT: "-" and an open descriptor are written where they stand; a
// device or FIFO (the type found through any links) cannot be replaced and
// is written directly; any other OUT (a link followed to its target) is
// written beside itself and renamed over, so that a failure leaves it as it
// was.
void Transform(const CryptArguments& arguments, const std::array<std::uint8_t, 16>& key,
               bool encrypt, std::filesystem::path& work) {
  if (arguments.output == "-") {
    DecryptScriptFile(arguments.input, stdout, "standard output", key.data(), key.size(), encrypt);
    return;
  }
  const OutputTarget target = FollowLinks(arguments.output);
  if (target.descriptor) {
    TransformToDescriptor(arguments, key, encrypt, *target.descriptor);
    return;
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(arguments.output, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    DecryptScriptFile(arguments.input, arguments.output, key.data(), key.size(), encrypt);
    return;
  }
  const std::filesystem::path& output = target.file;
  work = WorkFileFor(output);
  DecryptScriptFile(arguments.input, work, key.data(), key.size(), encrypt);
  // The new file takes the old one's permissions: a plain script kept
  // private must stay so.
  if (std::filesystem::exists(status))
    std::filesystem::permissions(work, status.permissions());
  std::filesystem::rename(work, output);
  work.clear();
}

int Run(const char* command, bool encrypt, int argc, char** argv) {
  int status = 0;
  const std::optional<CryptArguments> arguments = Parse(command, argc, argv, status);
  if (!arguments)
    return status;

  std::array<std::uint8_t, 16> key{};
  DeriveScriptKey(key.data(), key.size(), arguments->passphrase.value_or(PasswordCandidate(1)));

  std::filesystem::path work;
  status = 1;
  try {
    Transform(*arguments, key, encrypt, work);
    return 0;
  } catch (const ECipherException& error) {
    Fail(command, arguments->input + ": " + error.what());
  } catch (const EFileReadError& error) {
    Fail(command, error.Message());
    status = 2;
  } catch (const Exception& error) {
    Fail(command, error.Message());
  } catch (const std::filesystem::filesystem_error& error) {
    Fail(command, "Cannot write file \"" + arguments->output + "\". " + error.code().message());
  } catch (const std::exception& error) {
    Fail(command, error.what());
  }
  if (!work.empty()) {
    std::error_code ignored;
    std::filesystem::remove(work, ignored);
  }
  return status;
}

} // namespace

int RunEncrypt(int argc, char** argv) {
  return Run("encrypt", true, argc, argv);
}

int RunDecrypt(int argc, char** argv) {
  return Run("decrypt", false, argc, argv);
}

} // namespace nimbus::scripttool
