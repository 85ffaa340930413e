// Real servers for the programs that need them without a desktop: a private
// X server (Xvfb) and a private PulseAudio daemon. Each runs as a child of
// the calling process that dies with it, so nothing is left behind even when
// a test or benchmark crashes. The tests, the benchmarks and anything else
// that starts these servers from C++ share this one launcher.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include <sys/types.h>

namespace headless {

// Starts a child with the given extra environment entries ("NAME=value",
// replacing inherited ones) and, if outFd >= 0, its standard output on outFd
// and standard error on errFd. The kernel sends the child deathSignal when
// the calling thread ends.
pid_t spawnChild(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                 int outFd = -1, int errFd = -1, int deathSignal = SIGKILL);

// Waits for a child to end within timeoutMs; returns its wait status, or -1
// after killing it when it did not end in time.
int waitChild(pid_t pid, int timeoutMs);

// Xvfb with one 1024 x 1024 screen (room for the game's 800 x 800 window)
// on a display number the server picks itself, so that parallel test
// programs never collide. The GL driver is Mesa's, found the usual way.
class Xvfb {
  public:
    Xvfb();  // starts the server; display() is empty on failure
    ~Xvfb(); // stops it
    Xvfb(const Xvfb &) = delete;
    Xvfb &operator=(const Xvfb &) = delete;
    const std::string &display() const { return display_; } // ":N"

  private:
    pid_t pid_ = -1;
    std::string display_;
};

// A PulseAudio daemon in a private runtime folder, loaded with the given
// modules (each "name args..."). ok() is false when it did not come up.
class PulseServer {
  public:
    explicit PulseServer(const std::vector<std::string> &modules);
    ~PulseServer();
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;
    bool ok() const { return ok_; }
    const std::string &runtimeDir() const { return dir_; }

  private:
    pid_t pid_ = -1;
    std::string dir_;
    bool ok_ = false;
};

// A fresh private folder under /tmp, mode 0700.
std::string makePrivateDir(const char *tag);

// The whole contents of a file; empty when it cannot be read.
std::string slurp(const std::string &path);
void removeTree(const std::string &dir);

} // namespace headless
