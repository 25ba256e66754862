#include "platform/os.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/exception.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define NIMBUS_LEAK_CHECKER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(NIMBUS_LEAK_CHECKER)
#define NIMBUS_LEAK_CHECKER 1
#endif
#ifdef NIMBUS_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>
#endif

extern char** environ;

namespace nimbus::os {

namespace {

std::vector<std::string>& CommandLine() {
  static std::vector<std::string> args;
  return args;
}

// The system reads a path up to its first NUL: such a path would name another file.
bool Usable(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

[[noreturn]] void ThrowReadError(const char* what, const std::string& path, int error) {
  if (error == 0)
    error = EIO;
  throw EFileReadError(error, std::string(what) + " \"" + path + "\". " +
                                  std::generic_category().message(error));
}

// Only a regular file can be read to its end; a folder keeps its usual
// message.
void RefuseIrregular(const std::string& path, mode_t mode) {
  if (S_ISDIR(mode))
    ThrowReadError("Cannot open file", path, EISDIR);
  if (!S_ISREG(mode))
    throw EFileReadError(EINVAL, "Cannot open file \"" + path + "\". Not a regular file");
}

} // namespace

std::string ExecutableFolder() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0)
    return ".";
  std::string path(buffer, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string ProgramFilesFolder() {
  const char* value = std::getenv("PROGRAMFILES");
  std::string folder = value && *value ? value : "/opt";
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  return folder;
}

std::string UserStateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string folder;
  // A relative value would depend on the current folder: the convention
  // says to ignore it.
  if (state && state[0] == '/') {
    folder = state;
  } else {
    std::string home;
    if (const char* value = std::getenv("HOME"); value && *value) {
      home = value;
    } else {
      passwd entry{};
      passwd* found = nullptr;
      std::vector<char> buffer(16384);
      if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
          found->pw_dir)
        home = found->pw_dir;
    }
    if (home.empty() || home[0] != '/')
      return "";
    while (home.size() > 1 && home.back() == '/')
      home.pop_back();
    folder = (home == "/" ? "" : home) + "/.local/state";
  }
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  return folder;
}

std::uint32_t TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                  static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return Usable(path) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const std::string& path) {
  return Usable(path) && ::unlink(path.c_str()) == 0;
}

std::optional<std::time_t> FileModificationTime(const std::string& path) {
  struct stat st {};
  if (!Usable(path) || ::stat(path.c_str(), &st) != 0)
    return std::nullopt;
  return st.st_mtime;
}

bool CreateFolders(const std::string& path) {
  if (!Usable(path))
    return false;
  struct stat st {};
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string folder = path.substr(0, end);
    if (::mkdir(folder.c_str(), S_IRWXU) != 0 && errno != EEXIST)
      return false;
    if (end == std::string::npos)
      break;
  }
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateEmptyFile(const std::string& path) {
  if (!Usable(path))
    return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  return ::close(fd) == 0;
}

bool AppendToExistingFile(const std::string& path, const std::string& bytes) {
  if (!Usable(path))
    return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0)
    return false;
  bool ok = true;
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 && errno != EINVAL)
    ok = false;
  if (::close(fd) != 0)
    ok = false;
  return ok;
}

std::string ReadFileBytes(const std::string& path) {
  if (!Usable(path))
    ThrowReadError("Cannot open file", path, path.empty() ? ENOENT : EINVAL);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    ThrowReadError("Cannot open file", path, errno);
  std::string bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
    bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      ThrowReadError("Cannot read file", path, error);
    }
    if (n == 0)
      break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

bool ShellOpen(const std::string& path) {
  // A session of its own, and no wait: the menu program outlives us.
  posix_spawnattr_t attr;
  if (::posix_spawnattr_init(&attr) != 0)
    return false;
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t child = 0;
  char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
  const int rc = ::posix_spawn(&child, path.c_str(), nullptr, &attr, argv, environ);
  ::posix_spawnattr_destroy(&attr);
  return rc == 0;
}

TReadOnlyFile::TReadOnlyFile(const std::string& path) : path_(path) {
  if (!Usable(path))
    ThrowReadError("Cannot open file", path, path.empty() ? ENOENT : EINVAL);
  // Only a regular file has an end: a FIFO would block the run for ever and
  // a device such as /dev/zero would be read until memory runs out. Looked
  // at before opening, since opening a FIFO blocks until a writer comes.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0)
    RefuseIrregular(path, st.st_mode);
  // Non-blocking (which a regular file ignores) in case a FIFO took its
  // place in between; what was opened is checked again.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0)
    ThrowReadError("Cannot open file", path, errno);
  try {
    if (::fstat(fd_, &st) != 0)
      ThrowReadError("Cannot open file", path, errno);
    RefuseIrregular(path, st.st_mode);
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
}

TReadOnlyFile::~TReadOnlyFile() {
  if (fd_ >= 0)
    ::close(fd_);
}

TReadOnlyFile::TReadOnlyFile(TReadOnlyFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_) {
  other.fd_ = -1;
}

TReadOnlyFile& TReadOnlyFile::operator=(TReadOnlyFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0)
      ::close(fd_);
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

std::uint64_t TReadOnlyFile::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0)
    ThrowReadError("Cannot read file", path_, errno);
  return static_cast<std::uint64_t>(st.st_size);
}

std::size_t TReadOnlyFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0)
      return static_cast<std::size_t>(n);
    if (errno != EINTR)
      ThrowReadError("Cannot read file", path_, errno);
  }
}

void TReadOnlyFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      ThrowReadError("Cannot read file", path_, errno);
    if (n == 0)
      ThrowReadError("Cannot read file", path_, EIO); // shorter than it was
    buffer += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
}

std::optional<int> OwnDescriptor(const std::string& path) {
  if (!Usable(path))
    return std::nullopt;
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  // Compared by their real paths: /dev/fd and /proc/self are links.
  char real[PATH_MAX], own[PATH_MAX];
  if (!::realpath(folder.c_str(), real))
    return std::nullopt;
  for (const char* descriptors : {"/proc/self/fd", "/proc/thread-self/fd"})
    if (::realpath(descriptors, own) && std::strcmp(real, own) == 0)
      return std::stoi(name);
  return std::nullopt;
}

std::FILE* StreamOnDescriptor(int fd) {
  return ::fdopen(fd, "wb");
}

std::FILE* CreateExclusiveFile(const std::string& path) {
  if (!Usable(path)) {
    errno = ENOENT;
    return nullptr;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0)
    return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    ::close(fd);
    ::unlink(path.c_str());
    errno = error;
  }
  return file;
}

[[noreturn]] void EndProcess(int exitCode) {
  std::fflush(stdout);
  std::_Exit(exitCode);
}

int ThreadCount() {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks)
    return 0;
  int count = 0;
  while (const dirent* entry = readdir(tasks))
    if (entry->d_name[0] != '.')
      ++count;
  closedir(tasks);
  return count;
}

#ifdef NIMBUS_LEAK_CHECKER
// This runtime's tracking of dynamic TLS guesses an old glibc layout and
// records nonsense ranges for the client library's blocks; the leak checker
// then crashes reading them. Off at each TLS access, the tracking no longer
// spoils the main thread; the client's worker threads still get such ranges
// when they start, so they are ended before the check
// (ShutdownClientLibraries). What the client holds only from its TLS then
// looks lost: those allocations are not ours to check.
extern "C" const char* __asan_default_options() {
  return "intercept_tls_get_addr=0";
}
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfbclient.so\n";
}
#endif

void CheckLeaksNow() {
#ifdef NIMBUS_LEAK_CHECKER
  // Later calls and the check at exit do nothing after this one.
  __lsan_do_leak_check();
#endif
}

void SetCommandLine(int argc, char** argv) {
  auto& args = CommandLine();
  args.clear();
  for (int i = 1; i < argc; ++i)
    args.emplace_back(argv[i]);
}

int ArgumentCount() {
  return static_cast<int>(CommandLine().size());
}

std::string Argument(int index) {
  const auto& args = CommandLine();
  return index >= 1 && index <= static_cast<int>(args.size()) ? args[index - 1] : std::string();
}

std::tm LocalTime(std::time_t moment) {
  std::tm result{};
  ::localtime_r(&moment, &result);
  return result;
}

} // namespace nimbus::os
