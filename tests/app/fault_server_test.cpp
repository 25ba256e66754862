// Whole runs when the world misbehaves: the server going away in the middle
// of a script and coming back, a server nobody answers for, a log that cannot
// be written, scripts and run descriptions that cannot be read.
//
// The server going away is played by a relay between the run and the test
// server: cutting it drops every connection and refuses new ones, as a
// stopped server does, without stopping the server that other tests running
// at the same time depend on.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "tests/app/execution_fixture.h"

namespace nimbus::test {
namespace {

// Forwards TCP connections from a port of its own on 127.0.0.1 to the test
// server's port 3050, until cut.
class TcpRelay {
public:
  TcpRelay() {
    Listen(0);
    thread_ = std::thread([this] { Loop(); });
  }
  ~TcpRelay() {
    command_ = kQuit;
    thread_.join();
    CloseAll();
  }
  TcpRelay(const TcpRelay&) = delete;
  TcpRelay& operator=(const TcpRelay&) = delete;

  int Port() const { return port_; }
  // Every connection dropped, new ones refused.
  void Cut() { Command(kCut); }
  // Connections taken again on the same port.
  void Resume() { Command(kResume); }

private:
  enum : int { kNone, kCut, kResume, kQuit };

  struct Pair {
    int client;
    int server;
  };

  void Command(int command) {
    command_ = command;
    while (command_ != kNone)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  void Listen(int port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0)
      std::abort();
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }

  static int ConnectServer() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(3050);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  void CloseAll() {
    for (const Pair& pair : pairs_) {
      ::close(pair.client);
      ::close(pair.server);
    }
    pairs_.clear();
    if (listener_ >= 0)
      ::close(listener_);
    listener_ = -1;
  }

  // Copies what one side has to the other; false when either side ended.
  static bool Forward(int from, int to) {
    char buffer[65536];
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n <= 0)
      return false;
    for (ssize_t sent = 0; sent < n;) {
      const ssize_t k = ::write(to, buffer + sent, static_cast<std::size_t>(n - sent));
      if (k <= 0)
        return false;
      sent += k;
    }
    return true;
  }

  void Loop() {
    for (;;) {
      switch (command_.load()) {
      case kQuit:
        return;
      case kCut:
        CloseAll();
        command_ = kNone;
        break;
      case kResume:
        if (listener_ < 0)
          Listen(port_);
        command_ = kNone;
        break;
      default:
        break;
      }
      std::vector<pollfd> fds;
      if (listener_ >= 0)
        fds.push_back({listener_, POLLIN, 0});
      for (const Pair& pair : pairs_) {
        fds.push_back({pair.client, POLLIN, 0});
        fds.push_back({pair.server, POLLIN, 0});
      }
      if (::poll(fds.data(), fds.size(), 10) <= 0)
        continue;
      const std::size_t polled = pairs_.size();
      std::size_t i = 0;
      if (listener_ >= 0 && fds[i++].revents) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = client >= 0 ? ConnectServer() : -1;
        if (server >= 0)
          pairs_.push_back({client, server});
        else if (client >= 0)
          ::close(client);
      }
      std::vector<Pair> kept;
      for (std::size_t p = 0; p < pairs_.size(); ++p) {
        const Pair pair = pairs_[p];
        bool alive = true;
        // A pair accepted in this round was not polled yet.
        if (p < polled) {
          if (fds[i].revents)
            alive = Forward(pair.client, pair.server);
          if (alive && fds[i + 1].revents)
            alive = Forward(pair.server, pair.client);
          i += 2;
        }
        if (alive) {
          kept.push_back(pair);
        } else {
          ::close(pair.client);
          ::close(pair.server);
        }
      }
      pairs_ = std::move(kept);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::vector<Pair> pairs_;
  std::atomic<int> command_{kNone};
  std::thread thread_;
};

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

std::size_t CountStarting(const Lines& lines, const std::string& head) {
  std::size_t n = 0;
  for (const std::string& line : lines)
    n += line.starts_with(head);
  return n;
}

class fault : public ExecutionRun {};

TEST_F(fault, the_server_going_away_mid_script_fails_it_whole_and_the_next_attaches_again) {
  TcpRelay relay;
  database.Exec({"CREATE TABLE PAS_A_MOITIE (X INTEGER)"});
  const std::string cut = Script("a.sql", "INSERT INTO PAS_A_MOITIE VALUES (1);\n"
                                          "INSERT INTO PAS_A_MOITIE VALUES (2);\n"
                                          "INSERT INTO PAS_A_MOITIE VALUES (3);\n"
                                          "INSERT INTO PAS_A_MOITIE VALUES (4);\n");
  const std::string next = Script("b.sql", "INSERT INTO CENTRE VALUES (3000, 1);\n");
  // After the second statement the server stops, and it is back before the
  // next script.
  OnceAfterStatement(2, [&] {
    relay.Cut();
    relay.Resume();
  });
  EXPECT_EQ(Run({cut, next}, {"ip=127.0.0.1/" + std::to_string(relay.Port())}), kExitFailed);
  ASSERT_TRUE(actedMidScript);

  const Lines log = Log();
  EXPECT_EQ(CountStarting(log, "Erreur."), 1u);
  EXPECT_EQ(CountStarting(log, Ansi("14:03:05 - Opérations appliquées.")), 1u);
  EXPECT_EQ(log.back(), kSeparator);
  EXPECT_EQ(log[log.size() - 2], Ansi("14:03:05 - Opérations appliquées."));
  EXPECT_EQ(run.form->SummaryLine(), "nimbus-scripts: 2 script(s): 1 applied, 1 failed, 0 skipped");
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM PAS_A_MOITIE"), 0) << "nothing half-committed";
  EXPECT_EQ(database.QueryTexts("SELECT CTR_ID FROM CENTRE ORDER BY CTR_ID"),
            (Lines{"1000", "3000"}));
}

TEST_F(fault, an_unreachable_server_is_tried_three_times_and_no_script_is_deleted) {
  const std::string one = Script("a.sql", "INSERT INTO CENTRE VALUES (2000, 1);\n");
  const std::string two = Script("b.sql", "INSERT INTO CENTRE VALUES (3000, 1);\n");
  EXPECT_EQ(Run({one, two}, {"ip=127.0.0.1/" + std::to_string(ClosedPort())}), kExitFailed);

  const Lines log = Log();
  EXPECT_EQ(CountStarting(log, Ansi("Erreur de connexion à la base, ")), 6u)
      << "three attempts for each script";
  EXPECT_EQ(CountStarting(log, Ansi("Impossible de se connecter à la base.")), 2u);
  EXPECT_EQ(CountStarting(log, Ansi("Erreur à l'ouverture de la base")), 2u);
  std::size_t errorBoxes = 0;
  for (const auto& dialog : run.ui.Dialogs)
    errorBoxes += dialog.Text == Ansi("Erreur à l'ouverture de la base.");
  EXPECT_EQ(errorBoxes, 2u);
  EXPECT_TRUE(std::filesystem::exists(one));
  EXPECT_TRUE(std::filesystem::exists(two));
  EXPECT_EQ(run.form->SummaryLine(), "nimbus-scripts: 2 script(s): 0 applied, 2 failed, 0 skipped");
  EXPECT_EQ(database.QueryTexts("SELECT CTR_ID FROM CENTRE ORDER BY CTR_ID"), (Lines{"1000"}));
}

// A log that cannot be written costs the log, not the run.
TEST_F(fault, a_log_that_cannot_be_written_leaves_the_run_to_apply_its_scripts) {
  struct Case {
    const char* name;
    std::function<void(RunFixture&)> prepare;
  };
  const Case cases[] = {
      {"a full disk",
       [](RunFixture& r) { std::filesystem::create_symlink("/dev/full", r.LogPath()); }},
      {"no folder takes the file",
       [](RunFixture& r) {
         std::filesystem::remove_all(r.Bin());
         r.dir.Write("bin", "");   // a file where the folder should be
         r.dir.Write("state", ""); // and where the fallback folder would go
       }},
  };
  std::int32_t id = 2000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture fresh;
    fresh.realStep = true;
    c.prepare(fresh);
    const std::string script =
        fresh.dir.Write("a.sql", "INSERT INTO CENTRE VALUES (" + std::to_string(++id) + ", 1);\n");
    const std::string ini = fresh.dir.Write("run.ini", "[configuration]\nbase=" + database.Path() +
                                                           "\n[scripts]\n1=" + script + "\n");
    EXPECT_EQ(fresh.Start({ini}), kExitApplied);
    const Lines memo = fresh.Memo();
    EXPECT_EQ(CountStarting(memo, Ansi("14:03:05 - Opérations appliquées.")), 1u);
    EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM CENTRE WHERE CTR_ID = " + std::to_string(id)),
              1);
  }
}

// A file whose reading fails: without read permission, or, for root, whom
// permissions do not stop, a file whose read ends in an I/O error.
std::string UnreadableFile(const TempDir& dir, const std::string& name) {
  const std::string path = dir.File(name);
  if (::geteuid() == 0) {
    std::filesystem::create_symlink("/proc/self/mem", path);
  } else {
    dir.Write(name, "INSERT INTO CENTRE VALUES (2500, 1);\n");
    std::filesystem::permissions(path, std::filesystem::perms::none);
  }
  return path;
}

// A folder in a script's place is not a script: it is reported not found
// when the run description is read, and the run goes on. A script that cannot be read ends the run
// (the scripts are ordered: the next may rely on it) with its error shown, and the scripts after it
// stay in place for the next run.
TEST_F(fault, a_script_that_cannot_be_read_ends_the_run_and_costs_no_other_script) {
  const std::string before = Script("a.sql", "INSERT INTO CENTRE VALUES (2000, 1);\n");
  const std::string folder = run.dir.Path() + "/scripts/folder.sql";
  std::filesystem::create_directories(folder);
  const std::string unreadable = UnreadableFile(run.dir, "scripts/unreadable.sql");
  const std::string after = Script("b.sql", "INSERT INTO CENTRE VALUES (3000, 1);\n");
  std::string error;
  try {
    Run({before, folder, unreadable, after});
  } catch (const std::exception& escaped) {
    error = escaped.what();
  }
  EXPECT_NE(error.find("unreadable.sql"), std::string::npos) << error;

  EXPECT_EQ(CountStarting(run.Memo(), Ansi("14:03:05-Non trouvé : 2=") + folder), 1u)
      << "the folder";
  EXPECT_TRUE(std::filesystem::exists(after)) << "a script not run is not deleted";
  EXPECT_EQ(database.QueryTexts("SELECT CTR_ID FROM CENTRE ORDER BY CTR_ID"),
            (Lines{"1000", "2000"}));
  EXPECT_EQ(run.form->SummaryLine(), "nimbus-scripts: 4 script(s): 1 applied, 1 failed, 2 skipped");
  EXPECT_EQ(run.form->ExitStatus(), kExitFailed);
}

// A run description that cannot be read runs nothing and says so.
TEST(fault_start, a_run_description_that_cannot_be_read_does_not_start) {
  struct Case {
    const char* name;
    bool folder;
    std::string box;
  };
  const Case cases[] = {
      {"a folder", true, Ansi("Aucune configuration définie.")},
      {"an unreadable file", false, Ansi("Aucun fichier sql trouvé")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture run;
    std::string ini = run.dir.Path() + "/run.ini";
    if (c.folder)
      std::filesystem::create_directories(ini);
    else
      ini = UnreadableFile(run.dir, "run.ini");
    EXPECT_EQ(run.Start({ini}), kExitNotStarted);
    ASSERT_FALSE(run.ui.Dialogs.empty());
    EXPECT_EQ(run.ui.Dialogs.back().Text.rfind(c.box, 0), 0u) << run.ui.Dialogs.back().Text;
    EXPECT_EQ(run.form->SummaryLine(), "");
  }
}

} // namespace
} // namespace nimbus::test
