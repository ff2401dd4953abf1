#include "cli/bounded_output.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "base/clock.h"

namespace tv {
namespace {

std::atomic<uint64_t> g_dropped{0};

// A pipe that polls writable has room for PIPE_BUF bytes at least, so a
// write of that size never blocks on it.
constexpr size_t kChunk = PIPE_BUF;

bool wait_for_room(int fd, const Deadline& deadline) {
  pollfd p{fd, POLLOUT, 0};
  int ready = poll(&p, 1, int(std::max<int64_t>(deadline.remaining_ms(), 0)));
  return ready > 0 && (p.revents & POLLOUT) != 0 && (p.revents & (POLLERR | POLLHUP)) == 0;
}

}  // namespace

bool write_bounded(int fd, const std::string& text, int wait_ms) {
  Deadline deadline(wait_ms);
  size_t done = 0;
  while (done < text.size()) {
    if (!wait_for_room(fd, deadline)) break;
    ssize_t written = ::write(fd, text.data() + done, std::min(kChunk, text.size() - done));
    if (written > 0)
      done += size_t(written);
    else if (written < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
      break;
  }
  if (done == text.size()) return true;
  ++g_dropped;
  return false;
}

void say(const std::string& message) {
  write_bounded(STDERR_FILENO, "tvbox-burn: " + message + "\n", kMessageWaitMs);
}

uint64_t dropped_output_texts() { return g_dropped; }

void leave_terminal() {
  const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd < 0) return;
  for (int fd : {STDOUT_FILENO, STDERR_FILENO})
    if (isatty(fd)) dup2(null_fd, fd);
  ::close(null_fd);
}

}  // namespace tv
