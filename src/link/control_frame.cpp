#include "link/control_frame.h"

#include <cstring>

#include "base/clock.h"
#include "base/trace.h"
#include "link/ports.h"

namespace tv {
namespace {

constexpr size_t kRecordSize = 11;
constexpr size_t kSyncSize = 42;
constexpr size_t kFrameSize = kSyncSize + kRecordSize;  // 53
constexpr size_t kPreambleGroups = 100;
constexpr size_t kPreambleSize = 4 * kPreambleGroups;  // 400
constexpr int kLineMsPerByte = 5;                      // 2400 baud, 12-bit characters
constexpr int kReadSliceMs = 30;                       // longest single wait for a control byte
constexpr int kWakeUpMs = 62000;
constexpr unsigned kQueryListenMs = 2500;
constexpr int kLineTestListenMs = 6000;
constexpr size_t kLineTestPairs = 500;

constexpr uint8_t kSync0 = 0x12;
constexpr uint8_t kSync1 = 0x34;
constexpr uint8_t kHeaderMarker0 = 0x00;
constexpr uint8_t kHeaderMarker1 = 0xFF;

const uint8_t kQueryRecord[kRecordSize] = {0x00, 0xFF, 0x00, 0x70, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const uint8_t kLineTestTail[15] = {0x00, 0xFF, 0x00, 0xD0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

bool cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

// A pseudo-terminal takes bytes at any speed; the box behind a real line gets
// them at 2400 baud. Writes are held to the line's pace so both behave alike:
// after writing, wait until the bytes' line time since the start has passed
// (a real port's own wait makes this nearly free).
void write_paced(SerialPort& port, const uint8_t* data, size_t size, const std::atomic<bool>* cancel) {
  int64_t start = monotonic_ms();
  port.write(data, size);
  int64_t line_done = start + static_cast<int64_t>(size) * kLineMsPerByte;
  while (!cancelled(cancel) && !port.waits_abandoned()) {
    int64_t left = line_done - monotonic_ms();
    if (left <= 0) break;
    sleep_ms(left < 20 ? left : 20);
  }
}

void build_frame(const uint8_t* record, uint8_t* frame) {
  for (size_t i = 0; i < kSyncSize; i += 2) {
    frame[i] = kSync0;
    frame[i + 1] = kSync1;
  }
  std::memcpy(frame + kSyncSize, record, kRecordSize);
}

void build_preamble(uint8_t* preamble) {
  for (size_t group = 0; group < kPreambleGroups; ++group) {
    uint8_t* at = preamble + 4 * group;
    at[0] = kSync0;
    at[1] = static_cast<uint8_t>(~kSync0);
    at[2] = kSync1;
    at[3] = static_cast<uint8_t>(~kSync1);
    trace("%04d <%X><%X><%X><%X>\n", static_cast<int>(group), at[0], at[1], at[2], at[3]);
  }
}

void trace_frame(const uint8_t* frame) {
  trace("cmd send <%d> byte\n", static_cast<int>(kFrameSize));
  for (size_t i = 0; i < kFrameSize; ++i) trace("<%d><%X> \n", static_cast<int>(i), frame[i]);
  trace("cmd send<<<\n");
}

// Reads at most one byte, waiting at most `wait_ms`. A failing line counts as
// no byte (the exchange runs out its time), but is waited out, not spun on.
long read_control_byte(SerialPort& port, uint8_t* byte, int wait_ms) {
  long got = port.read(byte, 1, wait_ms);
  if (got < 0) {
    sleep_ms(wait_ms);
    return 0;
  }
  return got;
}

}  // namespace

bool ControlDecoder::feed(uint8_t byte) {
  pair_completed_ = false;
  if (!have_first_) {
    first_ = byte;
    have_first_ = true;
    return false;
  }
  if (first_ != static_cast<uint8_t>(~byte)) {
    first_ = byte;  // broken pair: this byte may start the next one
    return false;
  }
  uint8_t value = first_;
  have_first_ = false;
  pair_completed_ = true;
  pair_value_ = value;
  switch (state_) {
    case 0: state_ = value == kSync1 ? 1 : 0; return false;
    case 1: state_ = value == kHeaderMarker0 ? 2 : 0; return false;
    case 2: state_ = value == kHeaderMarker1 ? 3 : 0; return false;
    default: break;
  }
  if (!out_ || static_cast<size_t>(count_) >= capacity_) return false;
  out_[count_++] = value;
  return true;
}

void double_bytes(const uint8_t* bytes, size_t size, uint8_t* out) {
  for (size_t i = 0; i < size; ++i) {
    out[2 * i] = bytes[i];
    out[2 * i + 1] = static_cast<uint8_t>(~bytes[i]);
  }
}

void ControlLink::report(int percent) {
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  sink_.progress(percent);
}

void ControlLink::send_preamble(const std::atomic<bool>* cancel) {
  uint8_t preamble[kPreambleSize];
  build_preamble(preamble);
  write_paced(port_, preamble, kPreambleSize, cancel);
  port_.drain();
}

int ControlLink::receive_reply(uint8_t* out, size_t capacity, unsigned limit_ms, int max) {
  ControlDecoder decoder(out, capacity);
  uint32_t start = static_cast<uint32_t>(monotonic_ms());
  trace("zzz %d\n", 0);
  report(80);
  for (;;) {
    uint32_t elapsed = static_cast<uint32_t>(monotonic_ms()) - start;
    if (elapsed > limit_ms || port_.waits_abandoned()) break;
    if (max != 0 && decoder.count() >= max) break;
    unsigned left = limit_ms - elapsed + 1;
    int wait = static_cast<int>(left < static_cast<unsigned>(kReadSliceMs) ? left : kReadSliceMs);
    uint8_t byte = 0;
    long got = read_control_byte(port_, &byte, wait);
    trace("rd %hX l %hX ~%hX kol %d fl %d\n", static_cast<unsigned short>(byte),
          static_cast<unsigned short>(decoder.pending_first()), static_cast<unsigned short>(byte ^ 0xFF),
          static_cast<int>(got), decoder.has_first() ? 1 : 0);
    if (got != 1) continue;
    decoder.feed(byte);
    if (decoder.pair_completed())
      trace("rdrr > %hX kol %d\n", static_cast<unsigned short>(decoder.pair_value()), 1);
  }
  return decoder.count();
}

// Whether the user asked to end the wake-up: 'q' through the sink, or `cancel`.
bool ControlLink::wake_up_stopped(const std::atomic<bool>* cancel) {
  if (cancelled(cancel)) return true;
  int key = sink_.key();
  if (key == 'q') return true;
  if (key != 0) trace("_kbhit c <%c>\n", key);
  return false;
}

int ControlLink::xs_cmd(const uint8_t* record, uint8_t* out, size_t capacity, unsigned limit_ms, int max) {
  trace("zzz 0  %x\n", static_cast<unsigned>(port_.fd()));
  if (!port_.is_open() || !record) return 0;
  port_.purge();
  trace("zzz 0\n");

  uint8_t frame[kFrameSize] = {};
  build_frame(record, frame);
  trace_frame(frame);
  report(15);
  xs_rts_off(port_);
  port_.pause(10);
  trace("zzz 10\n");

  report(20);
  send_preamble(nullptr);
  report(50);

  uint8_t doubled[2 * kFrameSize];
  double_bytes(frame, kFrameSize, doubled);
  for (size_t i = 0; i < kFrameSize; ++i)
    trace("** %04d <%X><%X>\n", static_cast<int>(i), doubled[2 * i], doubled[2 * i + 1]);
  write_paced(port_, doubled, sizeof doubled, nullptr);
  port_.drain();
  report(60);
  trace("zzz 20\n");

  xs_rts_on(port_);
  return receive_reply(out, capacity, limit_ms, max);
}

int ControlLink::xs_query(uint8_t* out, size_t capacity, const std::atomic<bool>* cancel) {
  int64_t start = monotonic_ms();
  xs_rts_off(port_);
  port_.pause(3500);
  report(60);
  // The wake-up time follows the pause scale so that tests need not wait a minute.
  int64_t wake_up_ms = static_cast<int64_t>(kWakeUpMs) * pause_scale_percent() / 100;
  for (;;) {
    sleep_ms(1);
    if (wake_up_stopped(cancel) || port_.waits_abandoned()) break;
    int64_t elapsed = monotonic_ms() - start;
    if (elapsed > wake_up_ms) break;
    report(wake_up_ms > 0 ? static_cast<int>(elapsed * 100 / wake_up_ms) : 100);
    send_preamble(cancel);
  }
  return xs_cmd(kQueryRecord, out, capacity, kQueryListenMs, 0);
}

bool line_test_byte_fits(uint8_t previous, uint8_t v) {
  // Taken in int on purpose: after 0x00 the "next count" is 0x100, which no
  // byte can be. Cut to 8 bits it would be 0x00, and a silent line (the same
  // 0x00 read again and again) would pass for a clean one.
  const int complement = previous ^ 0xFF;
  return v == complement || v == complement + 1;
}

int ControlLink::xs_line_test() {
  SerialPort& port = port_;
  int errors = 0;
  xs_rts_off(port);
  uint8_t pattern[2 * kLineTestPairs];
  for (size_t i = 0; i < kLineTestPairs; ++i) {
    uint8_t b = static_cast<uint8_t>(i % 255);
    pattern[2 * i] = b;
    pattern[2 * i + 1] = static_cast<uint8_t>(~b);
    trace("%04d <%X><%X>\n", static_cast<int>(i), b, pattern[2 * i + 1]);
  }
  port.purge();
  write_paced(port, pattern, sizeof pattern, nullptr);
  port.drain();
  uint8_t tail[2 * sizeof kLineTestTail];
  double_bytes(kLineTestTail, sizeof kLineTestTail, tail);
  write_paced(port, tail, sizeof tail, nullptr);
  port.drain();

  int64_t start = monotonic_ms();
  trace("zzz %d\n", 0);
  uint8_t v = 0;
  uint8_t previous = 0;
  while (monotonic_ms() - start <= kLineTestListenMs && !port.waits_abandoned()) {
    uint8_t byte = v;
    long got = read_control_byte(port, &byte, kReadSliceMs);
    if (got == 1) v = byte;
    unsigned short complement = static_cast<unsigned short>(v ^ 0xFF);
    trace("rd %hX l %hX ~%hX kol %d fl %d\n", static_cast<unsigned short>(v), static_cast<unsigned short>(0),
          complement, static_cast<int>(got), 0);
    if (!line_test_byte_fits(previous, v)) {
      ++errors;
      trace("errrr >>>>>>  %hX l %hX ~%hX kol %d fl %d\n", static_cast<unsigned short>(v),
            static_cast<unsigned short>(0), complement, static_cast<int>(got), 0);
    }
    previous = v;
  }
  return errors;
}

}  // namespace tv
