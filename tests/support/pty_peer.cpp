#include "support/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "base/clock.h"

namespace testsupport {

PtyPeer::PtyPeer() {
  termios raw{};
  cfmakeraw(&raw);
  char name[256] = {};
  if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  slave_path_ = name;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
  close_master();
  if (slave_ >= 0) ::close(slave_);
}

std::vector<uint8_t> PtyPeer::read_bytes(size_t count, int timeout_ms) {
  std::vector<uint8_t> got;
  tv::Deadline deadline(timeout_ms);
  while (master_ >= 0 && got.size() < count) {
    pollfd waiting{master_, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(deadline.remaining_ms())) <= 0) break;
    uint8_t buffer[512];
    size_t want = count - got.size() < sizeof buffer ? count - got.size() : sizeof buffer;
    ssize_t n = ::read(master_, buffer, want);
    if (n > 0)
      got.insert(got.end(), buffer, buffer + n);
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
      break;
    if (deadline.expired()) break;
  }
  return got;
}

std::vector<uint8_t> PtyPeer::read_until_quiet(int quiet_ms, int timeout_ms) {
  std::vector<uint8_t> got;
  tv::Deadline deadline(timeout_ms);
  while (master_ >= 0 && !deadline.expired()) {
    int wait = static_cast<int>(deadline.remaining_ms());
    pollfd waiting{master_, POLLIN, 0};
    if (::poll(&waiting, 1, wait < quiet_ms ? wait : quiet_ms) <= 0) break;
    uint8_t buffer[512];
    ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0)
      got.insert(got.end(), buffer, buffer + n);
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
      break;
  }
  return got;
}

bool PtyPeer::write_bytes(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  tv::Deadline deadline(5000);
  while (master_ >= 0 && done < bytes.size()) {
    ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (deadline.expired()) return false;
    pollfd waiting{master_, POLLOUT, 0};
    ::poll(&waiting, 1, static_cast<int>(deadline.remaining_ms()));
  }
  return done == bytes.size();
}

void PtyPeer::close_master() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace testsupport
