#include "link/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/clock.h"
#include "base/trace.h"

namespace tv {
namespace {

speed_t speed_for(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

void set_parity_bits(termios& settings, Parity parity) {
  settings.c_cflag &= ~(PARENB | PARODD);
  if (parity == Parity::Even) settings.c_cflag |= PARENB;
  if (parity == Parity::Odd) settings.c_cflag |= PARENB | PARODD;
}

bool parity_kept(const termios& settings, Parity parity) {
  tcflag_t bits = settings.c_cflag & (PARENB | PARODD);
  switch (parity) {
    case Parity::None: return bits == 0;
    case Parity::Even: return bits == PARENB;
    case Parity::Odd: return bits == (PARENB | PARODD);
  }
  return false;
}

// Start bit, eight data bits, the parity bit if any, the stop bits.
int bits_per_byte(Parity parity, int stop_bits) {
  return 1 + 8 + (parity == Parity::None ? 0 : 1) + (stop_bits == 2 ? 2 : 1);
}

// Whether the line already holds `wanted` in everything but the parity. A
// pseudo-terminal never keeps a parity bit, and a kernel that finds nothing
// left to change refuses a second request for one with EINVAL: the control
// line of a program started a second time against the same box simulator.
bool all_but_parity_held(int fd, const termios& wanted) {
  termios held{};
  if (tcgetattr(fd, &held) != 0) return false;
  const tcflag_t parity = PARENB | PARODD;
  return (held.c_cflag & ~parity) == (wanted.c_cflag & ~parity) && held.c_iflag == wanted.c_iflag &&
         held.c_oflag == wanted.c_oflag && held.c_lflag == wanted.c_lflag &&
         cfgetispeed(&held) == cfgetispeed(&wanted) && cfgetospeed(&held) == cfgetospeed(&wanted) &&
         held.c_cc[VMIN] == wanted.c_cc[VMIN] && held.c_cc[VTIME] == wanted.c_cc[VTIME];
}

bool hung_up(short revents) { return revents & (POLLHUP | POLLERR | POLLNVAL); }

}  // namespace

SerialPort::SerialPort() {
  if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
}

SerialPort::~SerialPort() {
  close();
  if (wake_[0] >= 0) ::close(wake_[0]);
  if (wake_[1] >= 0) ::close(wake_[1]);
}

void SerialPort::abandon_waits(bool abandon) {
  abandoned_ = abandon;
  if (abandon) {
    const uint8_t byte = 1;
    if (wake_[1] >= 0) (void)::write(wake_[1], &byte, 1);
  } else if (wake_[0] >= 0) {
    uint8_t drained[64];
    while (::read(wake_[0], drained, sizeof drained) > 0) {
    }
  }
}

bool SerialPort::waits_abandoned() const { return abandoned_; }

bool SerialPort::pause(int64_t ms) {
  Deadline deadline(ms * pause_scale_percent() / 100);
  while (!abandoned_ && !deadline.expired()) {
    pollfd wake{wake_[0], POLLIN, 0};
    ::poll(&wake, 1, static_cast<int>(deadline.remaining_ms()));
  }
  return !abandoned_;
}

int SerialPort::open_device(const std::string& path) {
  close();
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  // TIOCEXCL keeps other users out but not root; the lock stops everyone who
  // opens the line through this class. Not being a terminal is found later
  // (reading the line state fails), so ENOTTY here is not fatal.
  if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    errno = EBUSY;
    return -1;
  }
  fd_ = fd;
  path_ = path;
  byte_time_us_ = 0;
  bytes_written_ = 0;
  bytes_read_ = 0;
  modem_failure_traced_ = false;
  parity_failure_traced_ = false;
  answer_latency_ms_ = 0;
  low_latency_ = ask_for_low_latency();
  return 0;
}

// The box answers every packet before the next one goes: an adapter that
// holds each answer for its latency timer (an FTDI chip's 16 ms) would cost
// more than the bytes themselves. The flag makes ftdi_sio set its timer to
// 1 ms. A pseudo-terminal or a driver without the setting refuses it, and the
// burn goes on as it is.
bool SerialPort::ask_for_low_latency() {
  serial_struct serial{};
  if (ioctl(fd_, TIOCGSERIAL, &serial) != 0) {
    trace("no low latency on %s: %s\n", path_.c_str(), std::strerror(errno));
    return false;
  }
  if (serial.flags & ASYNC_LOW_LATENCY) return true;
  serial.flags |= ASYNC_LOW_LATENCY;
  if (ioctl(fd_, TIOCSSERIAL, &serial) != 0) {
    trace("no low latency on %s: %s\n", path_.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

void SerialPort::close() {
  if (fd_ < 0) return;
  // The exclusive mode belongs to the terminal, not to our descriptor: it
  // outlives the close while anyone else (the box simulator, say) still holds
  // the line open, and would then refuse our own reopen. Clear it first.
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);  // releases the lock with it
  fd_ = -1;
}

OpenResult SerialPort::apply_line(int baud, Parity parity, int stop_bits) {
  termios settings{};
  if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) return kLineStateUnread;
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~(CRTSCTS | CSIZE | CSTOPB);
  settings.c_cflag |= CS8;
  if (stop_bits == 2) settings.c_cflag |= CSTOPB;
  set_parity_bits(settings, parity);
  settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  speed_t speed = speed_for(baud);
  if (speed == B0 || cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0)
    return kLineStateRefused;
  if (tcsetattr(fd_, TCSANOW, &settings) != 0) {
    const int refusal = errno;
    if (refusal != EINVAL || !all_but_parity_held(fd_, settings)) {
      errno = refusal;
      return kLineStateRefused;
    }
  }
  byte_time_us_ = (int64_t(bits_per_byte(parity, stop_bits)) * 1000000 + baud - 1) / baud;

  // A pseudo-terminal ignores parity: worth a note, not a failure.
  termios actual{};
  if (tcgetattr(fd_, &actual) == 0 && !parity_kept(actual, parity) && !parity_failure_traced_) {
    parity_failure_traced_ = true;
    trace("parity not kept on %s\n", path_.c_str());
  }
  return kOpened;
}

long SerialPort::read(uint8_t* buffer, size_t size, int timeout_ms) {
  if (fd_ < 0 || abandoned_) return -1;
  if (size == 0) return 0;
  pollfd waiting[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
  int ready = ::poll(waiting, 2, timeout_ms < 0 ? 0 : timeout_ms);
  if (abandoned_) return -1;
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  if (waiting[0].revents & POLLIN) {
    ssize_t got = ::read(fd_, buffer, size);
    if (got > 0) {
      bytes_read_ += static_cast<uint64_t>(got);
      return got;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    return -1;  // 0 after "readable" is a hang-up, and so is EIO
  }
  return hung_up(waiting[0].revents) ? -1 : 0;
}

long SerialPort::read_answer(uint8_t* buffer, size_t size, int timeout_ms) {
  Deadline deadline(timeout_ms);
  long got = read(buffer, size, timeout_ms);
  if (got <= 0 || size_t(got) >= size || byte_time_us_ <= 0) return got;
  wait_for_bytes(size - size_t(got), deadline.remaining_ms());
  long rest = read(buffer + got, size - size_t(got), 0);
  return rest > 0 ? got + rest : got;
}

size_t SerialPort::bytes_waiting() const {
  int waiting = 0;
  if (fd_ < 0 || ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
  return size_t(waiting);
}

// Sleeps until `missing` more bytes can have arrived, woken early only by an
// abandon. The port itself is not watched: it is readable already and would
// wake us at once. No margin is added: the first byte was already there when
// we woke, and a byte still late is fetched by the next read as it comes,
// so waiting too little costs one more wake-up where too long would slow
// every exchange.
void SerialPort::wait_for_bytes(size_t missing, int64_t limit_ms) {
  const size_t there = bytes_waiting();
  if (there >= missing || limit_ms <= 0) return;
  int64_t wait_us = int64_t(missing - there) * byte_time_us_;
  if (wait_us > limit_ms * 1000) wait_us = limit_ms * 1000;
  timespec span{time_t(wait_us / 1000000), long(wait_us % 1000000) * 1000};
  pollfd wake{wake_[0], POLLIN, 0};
  ::ppoll(&wake, 1, &span, nullptr);
}

long SerialPort::write(const uint8_t* data, size_t size, int timeout_ms) {
  if (fd_ < 0) return -1;
  Deadline deadline(timeout_ms);
  size_t done = 0;
  while (done < size) {
    ssize_t put = ::write(fd_, data + done, size - done);
    if (put > 0) {
      done += static_cast<size_t>(put);
      bytes_written_ += static_cast<uint64_t>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) return -1;
    if (abandoned_) return -1;
    if (deadline.expired()) break;
    pollfd waiting[2] = {{fd_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
    int ready = ::poll(waiting, 2, static_cast<int>(deadline.remaining_ms()));
    if (ready > 0 && !(waiting[0].revents & POLLOUT) && hung_up(waiting[0].revents)) return -1;
  }
  return static_cast<long>(done);
}

void SerialPort::drain() {
  if (fd_ >= 0) tcdrain(fd_);
}

void SerialPort::purge() {
  if (fd_ >= 0) tcflush(fd_, TCIOFLUSH);
}

bool SerialPort::set_dtr(bool on) { return set_modem_bit(TIOCM_DTR, on); }
bool SerialPort::set_rts(bool on) { return set_modem_bit(TIOCM_RTS, on); }

bool SerialPort::set_modem_bit(int bit, bool on) {
  if (fd_ < 0) return false;
  if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return true;
  // Pseudo-terminals (the box simulator) have no modem lines.
  if (!modem_failure_traced_) {
    modem_failure_traced_ = true;
    trace("no modem lines on %s\n", path_.c_str());
  }
  return false;
}

}  // namespace tv
