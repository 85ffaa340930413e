// Real servers for tests that need them: a private X server (Xvfb) and a
// private PulseAudio daemon. Each runs as a child of the test process that
// dies with it, so nothing is left behind even when a test crashes.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace testsupport {

// Starts a child with PR_SET_PDEATHSIG, the given extra environment entries
// ("NAME=value", replacing inherited ones) and, if outFd >= 0, its standard
// output on outFd and standard error on errFd.
pid_t spawnChild(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                 int outFd = -1, int errFd = -1);

// Waits for a child to end within timeoutMs; returns its wait status, or -1
// after killing it when it did not end in time.
int waitChild(pid_t pid, int timeoutMs);

class Xvfb {
  public:
    Xvfb();  // starts the server; display() is empty on failure
    ~Xvfb(); // stops it
    Xvfb(const Xvfb &) = delete;
    Xvfb &operator=(const Xvfb &) = delete;
    const std::string &display() const { return display_; }

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

} // namespace testsupport
