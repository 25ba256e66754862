#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

// Operating-system services used in place of the Windows shell and system
// calls. Paths are 8-bit text with "/" separators. A path holding a NUL byte
// names no file: the system would read it only up to the NUL, another file.
namespace nimbus::os {

constexpr char kPathSeparator = '/';

// Folder of the running executable, without a trailing separator.
std::string ExecutableFolder();
// $PROGRAMFILES when set, else "/opt"; without a trailing separator. Also
// stands for the registry's ProgramFilesDir.
std::string ProgramFilesFolder();

// The user's folder for state that outlives a run, such as logs:
// $XDG_STATE_HOME when it is an absolute path, else $HOME/.local/state (the
// password database's home when HOME is unset); empty when there is none.
// Without a trailing separator.
std::string UserStateFolder();

// Milliseconds of a monotonic clock, wrapping at 2^32.
std::uint32_t TickCount();

// A regular file (not a folder) exists at `path`.
bool FileExists(const std::string& path);
bool DeleteFile(const std::string& path);
// Last modification time, or nothing when the file cannot be examined.
std::optional<std::time_t> FileModificationTime(const std::string& path);
// Creates the folder `path` and the missing folders above it, new ones
// readable by their owner only; true when `path` is a folder at the end.
bool CreateFolders(const std::string& path);
// Creates an empty file when none exists; false on failure or when one exists.
bool CreateEmptyFile(const std::string& path);
// Opens `path` for appending (never creating it), writes `bytes`, flushes and
// closes; false on any failure.
bool AppendToExistingFile(const std::string& path, const std::string& bytes);
// The whole content of the file at `path`. A file that cannot be opened or
// read (a folder, no permission, an I/O error) raises EFileReadError naming
// it, with errno as its code.
std::string ReadFileBytes(const std::string& path);

// A file opened for reading only, read piece by piece or by byte range.
// Move-only; closed by its destructor. Failures raise EFileReadError naming
// the file, with errno as its code. Only a regular file opens: a folder, FIFO,
// device or socket is refused (EISDIR for a folder, EINVAL otherwise).
class TReadOnlyFile {
public:
  explicit TReadOnlyFile(const std::string& path);
  ~TReadOnlyFile();
  TReadOnlyFile(TReadOnlyFile&& other) noexcept;
  TReadOnlyFile& operator=(TReadOnlyFile&& other) noexcept;
  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

  const std::string& Path() const { return path_; }
  std::uint64_t Size() const;
  // Up to `size` bytes from the current place; 0 at the end of the file.
  std::size_t Read(char* buffer, std::size_t size);
  // Exactly `size` bytes from byte `offset`; a file that ends before is an
  // error.
  void ReadAt(std::uint64_t offset, char* buffer, std::size_t size);

private:
  std::string path_;
  int fd_ = -1;
};

// Creates `path` for writing, readable and writable by its owner only, and
// never over an existing file or link: null then, with errno EEXIST.
std::FILE* CreateExclusiveFile(const std::string& path);

// The descriptor of this process that `path` names as /dev/fd/N or
// /proc/self/fd/N (however those folders are reached); nothing for any other
// path. Such a name is no file of its own: its link text is "pipe:[N]" or
// the path the descriptor was opened by, and opening it anew would lose the
// descriptor's offset and append mode.
std::optional<int> OwnDescriptor(const std::string& path);
// A stream that writes to the open descriptor `fd` where it stands, its
// offset and append mode kept and nothing truncated; closing the stream
// closes `fd`. Null, with errno set, when `fd` is not open for writing.
std::FILE* StreamOnDescriptor(int fd);

// Starts `path` detached, with no parameters; false when it cannot be started.
bool ShellOpen(const std::string& path);

// Flushes standard output and ends the process at once with `exitCode`:
// no destructors, no exit handlers, no shutdown of the program.
[[noreturn]] void EndProcess(int exitCode);

// Threads of the current process that have not fully ended; 0 when it
// cannot be told.
int ThreadCount();

// Under LeakSanitizer, checks for leaks now, instead of at exit where
// threads may be ending while the checker stops them; ends the process if it
// finds any. Does nothing in other builds.
void CheckLeaksNow();

// The current process's command line, as the program entry received it.
void SetCommandLine(int argc, char** argv);
int ArgumentCount();             // not counting the program itself
std::string Argument(int index); // 1-based; empty when out of range

// Local time of `moment`.
std::tm LocalTime(std::time_t moment);

} // namespace nimbus::os
