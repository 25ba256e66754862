#include "platform/dynamic_library.h"

#include "platform/exception.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <utility>

namespace nimbus {

namespace {

// The loader's own text when it has one; never empty.
std::string LoaderError(int code) {
  const char* text = dlerror();
  if (text && *text)
    return text;
  return std::strerror(code);
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  std::size_t n = std::strlen(b);
  if (a.size() != n)
    return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i])
      return false;
  }
  return true;
}

} // namespace

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() {
  Close();
}

DynamicLibrary DynamicLibrary::Open(const std::string& name) {
  // dlopen("") hands back the program itself, whose missing client symbols
  // would then be reported instead of the missing file.
  if (name.empty())
    throw MakeOSError(ENOENT, std::strerror(ENOENT));
  dlerror();
  errno = 0;
  void* handle = dlopen(PlatformLibraryName(name).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    // dlopen does not always leave errno set; a load failure still needs a
    // non-zero code, or the message would lose the loader's description.
    int code = errno != 0 ? errno : ELIBACC;
    throw MakeOSError(code, LoaderError(code));
  }
  return DynamicLibrary(handle);
}

void* DynamicLibrary::Find(const char* symbol) const {
  if (!handle_)
    return nullptr;
  return dlsym(handle_, symbol);
}

void* DynamicLibrary::Require(const char* symbol) const {
  dlerror();
  void* address = Find(symbol);
  if (!address) {
    int code = ENOSYS;
    std::string text = handle_ ? LoaderError(code) : std::string("library not loaded");
    throw MakeOSError(code, text);
  }
  return address;
}

void DynamicLibrary::Close() noexcept {
  if (handle_) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

std::string PlatformLibraryName(const std::string& name) {
  if (EqualsIgnoringCase(name, "fbclient.dll") || EqualsIgnoringCase(name, "gds32.dll"))
    return "libfbclient.so.2";
  return name;
}

} // namespace nimbus
