// One serial line, as the box link sees it: open, close, read with a time-out,
// write, drain, purge, line settings and modem lines. One POSIX (termios)
// implementation serves real ports and the pseudo-terminals of the box
// simulator alike.
//
// Return codes follow one rule: 0 or a positive count is success, -1 is a
// failure of the line itself (the device vanished, an I/O error).
//
// Thread safety: a SerialPort is used by one thread at a time. The programming
// port is handed between the GUI thread and a burn worker by the burn start and
// end; nothing here locks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tv {

enum class Parity { None, Even, Odd };

// How opening a line went, for every open of the box's lines (ports.h):
// opened, or the step that failed; errno tells why.
enum OpenResult : int {
  kOpened = 0,
  kDeviceNotOpened = 1,   // the device itself did not open
  kLineStateUnread = 2,   // its line state could not be read: no terminal
  kLineStateRefused = 3,  // the line settings were refused
};

class SerialPort {
 public:
  SerialPort();
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the device exclusively (a second open of the same device, from this
  // process or another, fails) and asks its driver for low latency. Returns
  // 0, or -1 with errno set.
  int open_device(const std::string& path);
  void close();
  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

  // Raw mode, 8 data bits, the given baud rate, parity and stop bits, no flow
  // control: kOpened, or the step that failed, reading the current settings
  // (tcgetattr) or setting the new ones (tcsetattr). A pseudo-terminal that
  // does not keep the parity is not a failure, not even when it refuses a
  // request that would change nothing else; it is traced once.
  OpenResult apply_line(int baud, Parity parity, int stop_bits);

  // Reads up to `size` bytes. Waits at most `timeout_ms` for the first byte
  // (0 = return at once with whatever has arrived), then takes what is there.
  // Returns the count (0 on time-out) or -1 when the line failed.
  long read(uint8_t* buffer, size_t size, int timeout_ms);

  // Reads an answer of `size` bytes that the box sends in one go. Waits like
  // read() for the first byte; when only part of the answer is there, waits
  // once more, for as long as the missing bytes take to cross the line at
  // this port's baud rate (never past `timeout_ms`), and takes what has come
  // by then. On a paced line the bytes arrive one byte time apart: this wakes
  // the thread once or twice per answer instead of once per byte. A short
  // count is not a failure: the caller reads again for the rest under its
  // own limits; a line that failed meanwhile fails that next read.
  long read_answer(uint8_t* buffer, size_t size, int timeout_ms);

  // Writes all bytes (waiting while the driver is full, at most
  // `timeout_ms` in all). Returns the count written or -1. While the waits
  // are abandoned, what the driver takes at once still goes out (so a
  // cancelled burn can still send its closing line); only waiting for room
  // is refused.
  long write(const uint8_t* data, size_t size, int timeout_ms = 10000);

  // Waits until everything written has left the driver.
  void drain();
  // Throws away unread input and unsent output, both directions.
  void purge();

  // A fixed pause of the protocol (scaled like tv::protocol_pause_ms) that
  // ends at once when the waits are abandoned. Returns false then.
  bool pause(int64_t ms);

  // Abandons every wait on this port, from any thread: reads, pauses and
  // writes that would have to wait return at once as failures (-1, false)
  // until the abandon is lifted. A burn being cancelled uses it so that the
  // worker does not sit out a silent box's time-outs.
  void abandon_waits(bool abandon);
  bool waits_abandoned() const;

  // Modem lines. A pseudo-terminal has none: these then return false and the
  // first such failure on the port is traced once.
  bool set_dtr(bool on);
  bool set_rts(bool on);

  // Microseconds one byte takes on the line at the applied settings; 0 until
  // the line has been set.
  int64_t byte_time_us() const { return byte_time_us_; }

  // Whether the driver took the open's request for low latency: a USB
  // adapter then hands each answer over at once instead of holding it for
  // its latency timer. A pseudo-terminal and many drivers refuse it (traced
  // once); that is no failure.
  bool low_latency() const { return low_latency_; }
  // The milliseconds the line's adapter adds to every answer, as whoever
  // opened the line found them (adapter_info.h); 0 until then and for a line
  // without an adapter. Time estimates count it once per exchange.
  int answer_latency_ms() const { return answer_latency_ms_; }
  void set_answer_latency_ms(int ms) { answer_latency_ms_ = ms > 0 ? ms : 0; }

  // Bytes written to and read from the line since it was opened; readable
  // from any thread (a progress display counts them while a burn runs).
  uint64_t bytes_written() const { return bytes_written_; }
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  bool set_modem_bit(int bit, bool on);
  bool ask_for_low_latency();
  size_t bytes_waiting() const;
  void wait_for_bytes(size_t missing, int64_t limit_ms);

  int fd_ = -1;
  int wake_[2] = {-1, -1};  // readable while the waits are abandoned
  std::atomic<bool> abandoned_{false};
  std::atomic<uint64_t> bytes_written_{0};
  std::atomic<uint64_t> bytes_read_{0};
  std::string path_;
  // Microseconds one byte takes on the line at the applied settings; 0 until
  // the line has been set (then answers are read as they come).
  int64_t byte_time_us_ = 0;
  bool low_latency_ = false;
  int answer_latency_ms_ = 0;
  bool modem_failure_traced_ = false;
  bool parity_failure_traced_ = false;
};

}  // namespace tv
