#include "headless/servers.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace headless {

namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::string> &extra) {
    std::vector<std::string> merged;
    for (char **e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string &x : extra)
            replaced = replaced || x.substr(0, x.find('=')) == name;
        if (!replaced)
            merged.push_back(entry);
    }
    for (const std::string &x : extra)
        if (x.find('=') != std::string::npos)
            merged.push_back(x);
    return merged;
}

std::vector<char *> pointers(std::vector<std::string> &strings) {
    std::vector<char *> out;
    for (std::string &s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

bool exists(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Reads the display number that Xvfb writes to the pipe once it is ready;
// empty when it did not within 20 s (a busy machine can take that long).
std::string readDisplayNumber(int fd) {
    std::string number;
    for (;;) {
        pollfd p = {fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0)
            return {};
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            return number;
        number.push_back(c);
    }
}

} // namespace

pid_t spawnChild(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                 int outFd, int errFd, int deathSignal) {
    std::vector<std::string> args = argv;
    std::vector<std::string> envs = mergedEnvironment(env);
    std::vector<char *> argp = pointers(args);
    std::vector<char *> envp = pointers(envs);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::prctl(PR_SET_PDEATHSIG, deathSignal);
    if (::getppid() != parent)
        ::_exit(127);
    if (outFd >= 0)
        ::dup2(outFd, STDOUT_FILENO);
    if (errFd >= 0)
        ::dup2(errFd, STDERR_FILENO);
    ::execvpe(argp[0], argp.data(), envp.data());
    ::_exit(127);
}

int waitChild(pid_t pid, int timeoutMs) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (clock::now() < deadline) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return status;
        if (r < 0)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

// SIGTERM, not SIGKILL, when this process ends first: the server then
// removes its lock file and socket. -noreset keeps it up between clients.
Xvfb::Xvfb() {
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    const int quiet = ::open("/dev/null", O_WRONLY);
    pid_ = spawnChild({"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-noreset",
                       "-screen", "0", "1024x1024x24"},
                      {}, quiet, quiet, SIGTERM);
    ::close(quiet);
    ::close(fds[1]);
    const std::string number = readDisplayNumber(fds[0]);
    ::close(fds[0]);
    if (!number.empty())
        display_ = ":" + number;
}

Xvfb::~Xvfb() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        waitChild(pid_, 5000);
    }
}

PulseServer::PulseServer(const std::vector<std::string> &modules) : dir_(makePrivateDir("pulse")) {
    std::vector<std::string> argv = {"pulseaudio",        "-n",
                                     "--daemonize=no",    "--exit-idle-time=-1",
                                     "--disallow-exit",   "--use-pid-file=no",
                                     "--disable-shm=yes", "--load=module-native-protocol-unix"};
    for (const std::string &m : modules)
        argv.push_back("--load=" + m);
    const int quiet = ::open("/dev/null", O_WRONLY);
    pid_ = spawnChild(argv, {"XDG_RUNTIME_DIR=" + dir_, "HOME=" + dir_}, quiet, quiet);
    ::close(quiet);
    for (int i = 0; i < 500 && !ok_; ++i) {
        ok_ = exists(dir_ + "/pulse/native");
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

PulseServer::~PulseServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        waitChild(pid_, 5000);
    }
    removeTree(dir_);
}

std::string makePrivateDir(const char *tag) {
    std::string pattern = std::string("/tmp/arrowsong-") + tag + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        return {};
    return pattern;
}

void removeTree(const std::string &dir) {
    if (dir.empty())
        return;
    ::nftw(
        dir.c_str(),
        [](const char *path, const struct stat *, int, struct FTW *) { return ::remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string slurp(const std::string &path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY);
    char buf[4096];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    if (fd >= 0)
        ::close(fd);
    return text;
}

} // namespace headless
