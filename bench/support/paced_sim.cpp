#include "support/paced_sim.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace benchsupport {
namespace {

// Reads the simulator's output until its "ready" line, at most `timeout_ms`.
bool wait_ready(int fd, int timeout_ms) {
  std::string seen;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (seen.find("ready\n") == std::string::npos) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, int(left)) <= 0) return false;
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;  // it ended before it was ready
    seen.append(buf, size_t(n));
  }
  return true;
}

}  // namespace

std::string build_dir() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return ".";
  std::string path(exe, size_t(n));
  path = path.substr(0, path.rfind('/'));  // .../bench
  return path.substr(0, path.rfind('/'));
}

bool start_sim(const std::string& program, const std::string& dir, SimProcess* sim,
               const std::vector<std::string>& faults) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  std::string ports = dir + "/ports", images = dir + "/images";
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    std::vector<const char*> args = {program.c_str(), "--port-dir",   ports.c_str(),
                                     "--images",      images.c_str(), "--pace"};
    for (const std::string& fault : faults) args.push_back(fault.c_str());
    args.push_back(nullptr);
    execv(program.c_str(), const_cast<char* const*>(args.data()));
    std::fprintf(stderr, "cannot run %s: %s\n", program.c_str(), std::strerror(errno));
    _exit(127);
  }
  close(out[1]);
  sim->pid = pid;
  sim->output = out[0];
  return wait_ready(sim->output, 10000);
}

void stop_sim(SimProcess* sim, int timeout_ms) {
  if (sim->pid <= 0) return;
  kill(sim->pid, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  while (waitpid(sim->pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(sim->pid, SIGKILL);
      waitpid(sim->pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (sim->output >= 0) close(sim->output);
  sim->pid = -1;
  sim->output = -1;
}

bool file_equals(const std::string& path, const std::vector<uint8_t>& expected) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes == expected;
}

}  // namespace benchsupport
