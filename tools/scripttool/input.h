#pragma once

#include <cerrno>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/exception.h"

// Files the subcommands read whole: an argument, a run description, a script.
namespace nimbus::scripttool {

// Raises EFileReadError naming `path` when it is there but is neither a
// regular file nor a folder (nor, with `pipes`, a FIFO). A device or a socket
// is refused before it is opened: reading one may never end, and the program
// takes it for no file. Missing files and folders are left to the reader,
// which names them.
inline void RefuseSpecialFile(const std::string& path, bool pipes = false) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
      !std::filesystem::is_directory(status) && !(pipes && std::filesystem::is_fifo(status)))
    throw EFileReadError(EINVAL, "Cannot read file \"" + path + "\". Not a regular file");
}

// What `load(path)` reads, after RefuseSpecialFile; a file too large for
// memory raises EFileReadError too, instead of ending the tool. With `pipes`
// a FIFO is read to its end, as `parse /dev/stdin` fed by a pipe wants.
template <typename Load>
std::string ReadWhole(const std::string& path, const Load& load, bool pipes = false) {
  RefuseSpecialFile(path, pipes);
  const auto tooLarge = [&] {
    return EFileReadError(ENOMEM, "Cannot read file \"" + path + "\". " +
                                      std::generic_category().message(ENOMEM));
  };
  try {
    return load(path);
  } catch (const std::bad_alloc&) {
    throw tooLarge();
  } catch (const std::length_error&) {
    throw tooLarge();
  }
}

} // namespace nimbus::scripttool
