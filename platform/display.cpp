#include "platform/display.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QString>
#include <QWindow>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/exception.h"

namespace nimbus {

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos)
      return parts;
    start = end + 1;
  }
}

// Connects and disconnects through the client library the Qt plugin uses, so
// the answer includes what Qt would meet (server, authorisation). A missing
// library means Qt's plugin cannot work either.
bool XDisplayOpens() {
  try {
    const DynamicLibrary xcb = DynamicLibrary::Open("libxcb.so.1");
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(xcb.Require("xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(xcb.Require("xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(xcb.Require("xcb_disconnect"));
    void* connection = connect(nullptr, nullptr); // never null: an error connection at worst
    const bool opened = hasError(connection) == 0;
    disconnect(connection);
    return opened;
  } catch (const EOSError&) {
    return false;
  }
}

bool WaylandDisplayOpens() {
  try {
    const DynamicLibrary wayland = DynamicLibrary::Open("libwayland-client.so.0");
    using Connect = void* (*)(const char*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(wayland.Require("wl_display_connect"));
    const auto disconnect = reinterpret_cast<Disconnect>(wayland.Require("wl_display_disconnect"));
    void* display = connect(nullptr);
    if (!display)
      return false;
    disconnect(display);
    return true;
  } catch (const EOSError&) {
    return false;
  }
}

// The Wayland platform plugin is a package of its own, often not installed.
bool QtHasWaylandPlugin() {
  std::vector<std::string> folders = Split(Variable("QT_PLUGIN_PATH"), ':');
  folders.push_back(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString());
  for (const std::string& folder : folders) {
    if (folder.empty())
      continue;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder + "/platforms", error), end;
         !error && it != end; it.increment(error))
      if (it->path().filename().string().starts_with("libqwayland"))
        return true;
  }
  return false;
}

// Qt ends the process when a platform cannot start (no such plugin, no
// framebuffer for linuxfb, no screen for eglfs...), so the one sure test is
// to start it, and make a window, in a child that may end that way.
bool PlatformStartsInChild(const std::string& entry) {
  const pid_t child = fork();
  if (child < 0)
    return false;
  if (child == 0) {
    if (const int null = open("/dev/null", O_WRONLY); null >= 0) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    setenv("QT_QPA_PLATFORM", entry.c_str(), 1);
    int argc = 1;
    char name[] = "nimbus-scripts";
    char* argv[] = {name, nullptr};
    const QGuiApplication application(argc, argv);
    QWindow window;
    window.create();
    _exit(0);
  }
  // A platform that waits for a device must not hold the start for long.
  constexpr auto kLimit = std::chrono::seconds(5);
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  pid_t ended;
  while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() - start < kLimit)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (ended == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return false;
  }
  return ended == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// `entry` is one of QT_QPA_PLATFORM's entries, with its options ("vnc:size=...").
bool PlatformStarts(const std::string& entry) {
  const std::string_view name = std::string_view(entry).substr(0, entry.find(':'));
  if (name.empty())
    return false;
  if (name == "xcb")
    return XDisplayOpens();
  if (name.starts_with("wayland"))
    return QtHasWaylandPlugin() && WaylandDisplayOpens();
  if (name == "offscreen" || name == "minimal" || name == "vnc")
    return true; // they need no display, and vnc would open its port twice
  return PlatformStartsInChild(entry);
}

} // namespace

TDisplayProbe ProbeDisplay() {
  TDisplayProbe probe;
  const std::string platform = Variable("QT_QPA_PLATFORM");
  const std::string x = Variable("DISPLAY");
  const std::string wayland = Variable("WAYLAND_DISPLAY");
  for (const auto& [name, value] :
       {std::pair{"QT_QPA_PLATFORM", platform}, {"DISPLAY", x}, {"WAYLAND_DISPLAY", wayland}})
    if (!value.empty()) {
      if (!probe.Named.empty())
        probe.Named += ", ";
      probe.Named.append(name).append("=").append(value);
    }

  // The platforms Qt tries in turn: the ones named, else Wayland first in a
  // Wayland session, then X.
  std::vector<std::string> candidates;
  if (!platform.empty()) {
    for (const std::string& entry : Split(platform, ';'))
      candidates.push_back(entry);
  } else {
    if (!wayland.empty() || Variable("XDG_SESSION_TYPE") == "wayland")
      candidates.push_back("wayland");
    if (!x.empty())
      candidates.push_back("xcb");
  }
  for (const std::string& candidate : candidates)
    if (PlatformStarts(candidate)) {
      probe.Usable = true;
      break;
    }
  return probe;
}

} // namespace nimbus
