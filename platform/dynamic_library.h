#pragma once

#include <string>

namespace nimbus {

// A loaded shared library. Move-only; a default-constructed or closed handle
// holds no library (null handle).
class DynamicLibrary {
public:
  DynamicLibrary() = default;
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  ~DynamicLibrary();

  // Loads `name` (a path, or a bare name found by the loader's search rules;
  // see PlatformLibraryName). Throws EOSError with the loader's description.
  static DynamicLibrary Open(const std::string& name);

  // The exported symbol, or null when the library does not export it.
  void* Find(const char* symbol) const;
  // As Find, but a missing symbol throws EOSError naming it.
  void* Require(const char* symbol) const;

  void Close() noexcept;
  bool IsOpen() const { return handle_ != nullptr; }
  void* Handle() const { return handle_; }

private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
};

// The file the loader is asked for: a bare Windows client-library name
// ("fbclient.dll", "gds32.dll", any letter case) becomes "libfbclient.so.2";
// every other name is kept.
std::string PlatformLibraryName(const std::string& name);

} // namespace nimbus
