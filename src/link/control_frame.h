// The control line: a slow 2400-baud exchange in which every byte is followed
// by its complement and every frame by a long synchronisation pattern.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "link/serial_port.h"

namespace tv {

// Receive decoder of the control line, fed one byte at a time (no I/O).
// It pairs each byte with its complement, looks for 0x34 0x00 0xFF and then
// stores every further good pair as payload, never more than `capacity`.
class ControlDecoder {
 public:
  ControlDecoder(uint8_t* out, size_t capacity) : out_(out), capacity_(capacity) {}
  // Feeds one received byte. Returns true when a payload byte was stored.
  bool feed(uint8_t byte);
  int count() const { return count_; }
  int state() const { return state_; }
  // Whether the last byte fed completed a good pair, and that pair's value.
  bool pair_completed() const { return pair_completed_; }
  uint8_t pair_value() const { return pair_value_; }
  // The byte waiting for its complement (0 at the start).
  uint8_t pending_first() const { return first_; }
  bool has_first() const { return have_first_; }

 private:
  uint8_t* out_;
  size_t capacity_;
  uint8_t first_ = 0;
  bool have_first_ = false;
  int state_ = 0;
  int count_ = 0;
  bool pair_completed_ = false;
  uint8_t pair_value_ = 0;
};

// Where a control exchange reports, given by whoever starts it: the progress
// of the exchange (the window's progress bar), and a key the user typed to cut
// a query's wake-up short (the program's console in the window; none in tests).
// Called on the exchange's own thread.
class ControlSink {
 public:
  virtual ~ControlSink() = default;
  virtual void progress(int percent) = 0;
  // A key waiting for the exchange, 0 when none; never blocks. 'q' ends the
  // wake-up, other keys are traced.
  virtual int key() { return 0; }
};

// The exchanges of the control line, on a port its owner opened (xs_open).
// Used by one thread at a time, like its port.
class ControlLink {
 public:
  ControlLink(SerialPort& port, ControlSink& sink) : port_(port), sink_(sink) {}
  ControlLink(const ControlLink&) = delete;
  ControlLink& operator=(const ControlLink&) = delete;

  // Sends the 11-byte control record as a control frame and collects the
  // reply's payload for `limit_ms` (or until `max` bytes, 0 = no maximum;
  // never more than `capacity`). Returns the payload count; 0 when the
  // control port is closed.
  int xs_cmd(const uint8_t* record, uint8_t* out, size_t capacity, unsigned limit_ms, int max);

  // Wakes the box (about 62 s of preamble) and sends the query record.
  // `cancel`, when set, cuts the wake-up short, as the sink's 'q' does.
  // Returns what xs_cmd returned.
  int xs_query(uint8_t* out, size_t capacity, const std::atomic<bool>* cancel = nullptr);

  // The line test: a counting pattern out, 6 s of listening; leaves RTS low.
  // Returns how many listening passes found a byte that fits neither the
  // complement of the one before nor the next count (each traced as "errrr").
  int xs_line_test();

 private:
  void report(int percent);
  bool wake_up_stopped(const std::atomic<bool>* cancel);
  void send_preamble(const std::atomic<bool>* cancel);
  int receive_reply(uint8_t* out, size_t capacity, unsigned limit_ms, int max);

  SerialPort& port_;
  ControlSink& sink_;
};

// One check of the line test: whether `v` follows `previous` in the looped
// counting pattern (its complement, or the next count after a complement).
bool line_test_byte_fits(uint8_t previous, uint8_t v);

// The doubled form of the line: every byte followed by its complement.
// `out` holds 2 * size bytes.
void double_bytes(const uint8_t* bytes, size_t size, uint8_t* out);

}  // namespace tv
