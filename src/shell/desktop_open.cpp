#include "shell/desktop_open.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace tv {

const char* const kDesktopOpener = "xdg-open";

bool desktop_opener_installed() {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > start ? folders.substr(start, end - start) : ".";
    if (access((folder + "/" + kDesktopOpener).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

namespace {

// In the forked watcher: runs the opener, waits for it and writes its exit
// status (127: it could not be run) to `report`. Only calls that are safe
// after a fork in a program with threads.
[[noreturn]] void watch_opener(const char* file_name, int report) {
  // The watcher lives as long as the opener, which may be a browser that
  // runs until it is closed: it must not keep the serial ports, the X
  // connection or anything else of the window open all that time.
  if (dup2(report, 3) < 0) _exit(127);
  close_range(4, ~0u, 0);
  const pid_t opener = fork();
  if (opener == 0) {
    const int quiet = open("/dev/null", O_RDWR);
    if (quiet >= 0) {
      dup2(quiet, STDOUT_FILENO);
      dup2(quiet, STDERR_FILENO);
    }
    close(3);
    execlp(kDesktopOpener, kDesktopOpener, file_name, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  unsigned char code = 127;
  if (opener > 0 && waitpid(opener, &status, 0) == opener)
    code = WIFEXITED(status) ? static_cast<unsigned char>(WEXITSTATUS(status)) : 128;
  ssize_t ignored = write(3, &code, 1);
  (void)ignored;
  _exit(0);
}

}  // namespace

DesktopOpener::~DesktopOpener() {
  // An opener still running is left to itself; its watcher, without a reader,
  // ends when it tries to report.
  if (endFd_ >= 0) ::close(endFd_);
}

bool DesktopOpener::start(const char* file_name) {
  if (endFd_ >= 0 || access(file_name, R_OK) != 0) return false;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  const pid_t watcher = fork();
  if (watcher == 0) watch_opener(file_name, ends[1]);
  ::close(ends[1]);
  if (watcher < 0) {
    ::close(ends[0]);
    return false;
  }
  endFd_ = ends[0];
  watcher_ = watcher;
  return true;
}

bool DesktopOpener::finish() {
  if (endFd_ < 0) return false;
  unsigned char code = 127;
  const bool reported = ::read(endFd_, &code, 1) == 1;
  ::close(endFd_);
  endFd_ = -1;
  waitpid(watcher_, nullptr, 0);  // it ends right after its report
  return reported && code == 0;
}

}  // namespace tv
