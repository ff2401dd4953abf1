#include "link/box_link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "base/clock.h"
#include "base/trace.h"
#include "link/packets.h"

namespace tv {

namespace {

constexpr int kFirstByteMs = 3000;      // the box's first echo byte
constexpr int64_t kIdleLimitMs = 3000;  // wait_read: silence that ends the wait
// The box sends an answer as one burst: once its first byte has come, the
// rest (the 4 data bytes of a read included) follow within the time they
// take on the line and this margin. A byte the line lost then costs a
// fraction of a second, not the whole limit of a silent box.
constexpr int kAnswerMarginMs = 100;
// The PIC loader echoes a record as soon as it has it and has stored its
// eight bytes: tens of milliseconds at most. A second is ample for that and
// for an adapter that holds bytes back, and a loader that has gone costs its
// five attempts five seconds instead of fifteen.
constexpr int kLoaderFirstByteMs = 1000;
constexpr int kWrite16AnswerMs = 10000;
// A box that has already let an exchange time out without a byte gets the
// ordinary echo limit for a 16-byte write's answer too: a silent box is then
// given up in seconds instead of half a minute.
constexpr int kWrite16AfterSilenceMs = 3000;
constexpr int kSectorSize = 4096;
constexpr int kSectorCount = (1 << 24) / kSectorSize;
constexpr int kEraseAttempts = 5;
constexpr size_t kReplyBufferSize = 1000;
constexpr size_t kWrite16Size = 26;
constexpr size_t kWrite16AnswerSize = 6;
constexpr size_t kReadDataSize = 4;  // after a read's echo

constexpr uint8_t kOpRead = 0x52;        // 'R'
constexpr uint8_t kOpByteWrite = 0x77;   // 'w'
constexpr uint8_t kOpMultiWrite = 0x57;  // 'W'
constexpr uint8_t kOpErase = 0x65;       // 'e'
constexpr uint8_t kOsdSubCommand = 0xB4;
constexpr uint8_t kFontRowWrite = 0x32;
constexpr uint8_t kFontPageClear = 0xAA;
constexpr uint8_t kSysFontPageClear = 0x54;
constexpr uint8_t kOsdReadTail = 0x33;

uint8_t bits(int value, int shift) { return static_cast<uint8_t>((value >> shift) & 0xFF); }
int low16(int address) { return address & 0xFFFF; }
int low24(int address) { return address & 0xFFFFFF; }

// The packet or reply as "%s" shows it: text up to the first zero byte, and
// never past the buffer (a packet need not contain a zero).
std::string as_text(const uint8_t* bytes, size_t size) {
  size_t length = 0;
  while (length < size && bytes[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

// Two characters of a data text, read as "%x" reads them; a text that ends
// early gives 0 for the missing bytes instead of reading past its end.
uint8_t hex_byte(const char* text, size_t index) {
  if (!text) return 0;
  if (strnlen(text, 2 * index + 1) <= 2 * index) return 0;
  return static_cast<uint8_t>(hex_value(text + 2 * index, 2) & 0xFF);
}

void new_packet(Packet packet, uint8_t target, uint8_t operation) {
  std::memset(packet, 0, kPacketSize);
  packet[0] = static_cast<uint8_t>(~target);
  packet[1] = target;
  packet[4] = operation;
  packet[11] = 0x0D;
}

bool same_bytes(const uint8_t* a, const uint8_t* b, size_t from, size_t to) {
  for (size_t i = from; i <= to; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

void trace_packet_bytes(const Packet packet) {
  for (size_t i = 0; i < kPacketSize; ++i) trace("(%02x)<%c> -----------\n", packet[i], packet[i]);
  trace("\n");
}

void trace_pairs(const char* format, const Packet packet, const uint8_t* reply) {
  for (size_t i = 0; i < kPacketSize; ++i) trace(format, packet[i], reply[i]);
  trace("\n");
}

// The error trace shared by most byte writes: a headline, then each packet
// byte beside the reply byte.
// Headlines with "cb %d" carry a 0 there.
void trace_write_failure(const char* headline, bool with_cb, int result, const Packet packet,
                         const uint8_t* reply, const char* pair_format = "(%d)(%d) -----------\n") {
  std::string sent = as_text(packet, kPacketSize);
  std::string got = as_text(reply, kReplyBufferSize);
  if (with_cb)
    trace(headline, result, 0, sent.c_str(), got.c_str());
  else
    trace(headline, result, sent.c_str(), got.c_str());
  trace_pairs(pair_format, packet, reply);
}

constexpr const char* kUnsignedPairs = "(%u)(%u) -----------\n";

void build_write16(uint8_t* packet, int address, const char* hex32, uint8_t target) {
  std::memset(packet, 0, kWrite16Size);
  packet[0] = static_cast<uint8_t>(~target);
  packet[1] = target;
  packet[2] = target;
  packet[4] = kOpMultiWrite;
  packet[5] = bits(address, 16);
  packet[6] = bits(address, 8);
  packet[7] = bits(address, 0);
  for (size_t i = 0; i < 16; ++i) packet[8 + i] = hex_byte(hex32, i);
  packet[25] = 0x0D;
}

void trace_write16_packet(int address, const char* hex32, const uint8_t* packet, const uint8_t* expected) {
  trace("### 16 ->%04x<%s>\n", address, hex32 ? hex32 : "");
  for (size_t i = 0; i < kWrite16Size; ++i)
    trace("j %d (%02x)<%c>\n", static_cast<int>(i), packet[i], packet[i]);
  trace("\n");
  for (size_t i = 0; i < kWrite16AnswerSize; ++i) trace("(%x)", expected[i]);
  trace("\n");
}

bool is_line_failure(int result) { return (result & ~kEchoMismatch) == kEchoReadFailed; }

// Whether a read's echo, complete and not matching, holds in its places 1 to
// 10 the packet less one of its bytes: equal up to some place, the packet's
// next bytes from there on. That is how the position rule collects a read's
// answer the line lost a byte of: the first data byte behind the echo takes
// its last place. The box's closing byte 11 is taken to be the packet's
// (0x0D); a box that answers otherwise there is simply not recognised, and
// its broken reads get the recovery step as before.
bool short_by_one_byte(const uint8_t* echo, const uint8_t* packet) {
  size_t first_difference = 1;
  while (first_difference <= 10 && echo[first_difference] == packet[first_difference]) ++first_difference;
  if (first_difference > 10) return false;
  return same_bytes(echo, packet + 1, first_difference, 10);
}

// Whether the `length` - 1 bytes an answer brought, in the order they came,
// are the whole answer less one byte before its last, and not simply its
// beginning: then its last byte has come, and one before it was lost on the
// line. Byte 0 is any byte, as the answer checks have it. An answer that lost
// its very last byte looks like one whose last byte is still on its way, and
// is not told here.
bool all_came_but_one(const uint8_t* received, const uint8_t* whole, size_t length) {
  auto same_without = [&](size_t lost) {
    for (size_t i = 0; i + 1 < length; ++i) {
      const size_t at = i < lost ? i : i + 1;
      if (at != 0 && received[i] != whole[at]) return false;
    }
    return true;
  };
  if (same_without(length - 1)) return false;
  for (size_t lost = 0; lost + 1 < length; ++lost)
    if (same_without(lost)) return true;
  return false;
}

}  // namespace

struct BoxLink::AnswerRule {
  size_t length;     // bytes of the answer
  uint8_t expected;  // the target byte that must take position 1
  int first_ms;      // limit for the first byte; the rest follow in a burst
  std::function<void(int pass, uint8_t byte)> on_byte;  // trace hook
  // The whole answer the box sends when it takes the command (byte 0 any),
  // given when nothing follows it: an answer the line lost a byte of is then
  // over once its last byte came (see collect_answer).
  const uint8_t* whole = nullptr;
};

int BoxLink::wire_ms(size_t bytes) const { return int((int64_t(bytes) * port_.byte_time_us() + 999) / 1000); }

int BoxLink::burst_ms(size_t bytes) const { return wire_ms(bytes) + kAnswerMarginMs; }

BoxLink::BoxLink(SerialPort& port) : port_(port), erased_sectors_(kSectorCount, false) {}

void BoxLink::reset_flash_sector() { erased_sectors_.assign(kSectorCount, false); }

bool BoxLink::sector_erased(int address) const {
  return erased_sectors_[size_t(low24(address) / kSectorSize)];
}

void BoxLink::note_result(int result, size_t bytes_received) {
  if (result == kEchoOk) {
    last_fault_ = LinkFault::None;
    silent_in_a_row_ = 0;
  } else if (is_line_failure(result)) {
    last_fault_ = LinkFault::Lost;
  } else if (result >= kEchoTimeout && bytes_received == 0) {
    last_fault_ = LinkFault::Silent;
    ++silent_in_a_row_;
  } else if (result >= kEchoTimeout) {
    last_fault_ = LinkFault::CutShort;
    silent_in_a_row_ = 0;
  } else {
    last_fault_ = LinkFault::Refused;
    silent_in_a_row_ = 0;
  }
}

// Collects an answer by the position rule: the first byte received stays at
// position 0, later bytes are dropped until one equals the expected target,
// which takes position 1; the rest follow. Returns 0, 1 (read failed) or 100.
// The caller notes the outcome; the bytes received are counted here.
//
// An answer that nothing follows is over when the bytes received are the
// whole answer less one of them and end with its last: the line lost a byte
// of it, and the box has sent all it will. It ends there (100, broken off),
// where waiting out the burst's margin for a byte that cannot come would
// make every lost byte cost a tenth of a second.
int BoxLink::collect_answer(uint8_t* answer, const AnswerRule& rule) {
  Deadline deadline(rule.first_ms);
  size_t count = 0;
  int pass = 0;
  int result = kEchoOk;
  bool over = false;
  uint8_t received[kWrite16Size];  // the first bytes as they came, dropped ones too
  while (count < rule.length && !over) {
    if (deadline.expired()) {
      result = kEchoTimeout;
      break;
    }
    // Never more than the answer still needs: each byte either takes a place
    // or is dropped, so nothing after the answer is taken from the line.
    uint8_t bytes[kWrite16Size];
    size_t wanted = std::min(rule.length - count, sizeof bytes);
    long got = port_.read_answer(bytes, wanted, static_cast<int>(deadline.remaining_ms()) + 1);
    if (got < 0) {
      result = kEchoReadFailed;
      break;
    }
    for (long i = 0; i < got; ++i) {
      const uint8_t byte = bytes[i];
      if (rule.on_byte) rule.on_byte(pass, byte);
      if (size_t(pass) < sizeof received) received[pass] = byte;
      ++pass;
      if (count == 1 && byte != rule.expected) continue;
      if (count == 0) deadline.restart(burst_ms(rule.length - 1));
      answer[count++] = byte;
    }
    over = rule.whole && count < rule.length && size_t(pass) == rule.length - 1 &&
           all_came_but_one(received, rule.whole, rule.length);
    if (over) result = kEchoTimeout;
  }
  answered_bytes_ = size_t(pass);
  return result;
}

// A record's echo that lost a byte on the line ends one burst after its
// first byte instead of after the 3 s of silence wait_read() allows. The
// bytes before `lead` are passed over, and so is the rest of an earlier
// echo that broke off, however late it comes: a record holds its lead
// character only at its start, so that rest has none. Never reads more than
// the echo still needs, so nothing after it is taken from the line.
BoxLink::ReadResult BoxLink::wait_text_echo(uint8_t* buffer, int size, int count, uint8_t lead) {
  if (!buffer || size < 0) return kReadFailed;
  std::memset(buffer, 0, static_cast<size_t>(size));
  count = std::max(0, std::min(count, size));
  if (!port_.is_open()) return kReadFailed;
  // The line must first carry the line we sent before the echo can begin.
  Deadline deadline(wire_ms(size_t(count)) + kLoaderFirstByteMs);
  int got = 0;
  bool heard = false;
  while (got < count) {
    if (deadline.expired()) return heard ? kReadCutShort : kReadSilent;
    uint8_t bytes[64];
    const size_t wanted = std::min(size_t(count - got), sizeof bytes);
    const long n = port_.read_answer(bytes, wanted, static_cast<int>(deadline.remaining_ms()) + 1);
    if (n < 0) return kReadFailed;
    for (long i = 0; i < n; ++i) {
      heard = true;
      if (got == 0 && bytes[i] != lead) {
        // Passed over. An echo that lost its lead is all strays: it ends one
        // burst after its first byte, like any echo cut short. Strays only
        // ever shorten the wait, so a line full of noise cannot prolong it.
        const int whole_echo_ms = burst_ms(size_t(count));
        if (deadline.remaining_ms() > whole_echo_ms) deadline.restart(whole_echo_ms);
        continue;
      }
      if (got == 0) deadline.restart(burst_ms(size_t(count - 1)));  // once: the echo has begun
      buffer[got++] = bytes[i];
    }
  }
  return kReadComplete;
}

// The step is for a box that refused a packet or said nothing, and for a
// line with garbage on it: the box may hold part of a packet it misread,
// which its firmware drops only after a quiet spell. So the step lets what
// was sent leave the line, throws away what came back, and then sends
// nothing for 600 ms. Whatever the box still sends meanwhile (a late answer
// to what it misread, noise) is thrown away at the end, so that the retry's
// answer is the first thing the next wait reads. A byte the line lost needs
// none of this: the box took the packet, and only what is left of its
// answer is thrown away (discard_input()).
void BoxLink::line_recovery() {
  port_.drain();
  port_.pause(30);
  port_.set_dtr(false);
  port_.purge();
  port_.pause(300);
  port_.drain();
  port_.pause(300);
  port_.purge();
}

BoxLink::ReadResult BoxLink::wait_read(uint8_t* buffer, int size, int count) {
  if (!buffer || size < 0) return kReadFailed;
  std::memset(buffer, 0, static_cast<size_t>(size));
  if (count > size) count = size;  // never past the caller's buffer
  if (!port_.is_open()) return kReadFailed;
  int got = 0;
  int64_t last_byte = monotonic_ms();
  while (got < count) {
    int64_t silent = monotonic_ms() - last_byte;
    if (silent > kIdleLimitMs) return kReadSilent;
    int wait = static_cast<int>(kIdleLimitMs - silent) + 1;
    long n = port_.read_answer(buffer + got, static_cast<size_t>(count - got), wait);
    if (n < 0) return kReadFailed;
    if (n > 0) {
      got += static_cast<int>(n);
      last_byte = monotonic_ms();
    }
  }
  return kReadComplete;
}

void BoxLink::discard_input() { port_.purge(); }

int BoxLink::wait_echo(uint8_t* reply, size_t size, const uint8_t* packet, uint8_t expected) {
  return wait_packet_echo(reply, size, packet, expected, true);
}

int BoxLink::wait_packet_echo(uint8_t* reply, size_t size, const uint8_t* packet, uint8_t expected,
                              bool data_follow) {
  if (reply && size) std::memset(reply, 0, size);
  uint8_t echo[kPacketSize] = {};
  AnswerRule rule{kPacketSize, expected, kFirstByteMs, nullptr, data_follow ? nullptr : packet};
  int result = collect_answer(echo, rule);
  if (reply) std::memcpy(reply, echo, size < kPacketSize ? size : kPacketSize);
  if (!same_bytes(echo, packet, 1, 10)) result += kEchoMismatch;
  note_result(result, answered_bytes_);
  return result;
}

// Write the packet, wait for its echo; the reply lands in `reply`
// (kReplyBufferSize bytes). A packet the line did not take is a line failure:
// nothing is awaited for it. `data_follow`: the box sends more after the
// echo (a read's data).
int BoxLink::send_packet(const Packet packet, uint8_t* reply, bool data_follow) {
  if (port_.write(packet, kPacketSize) != long(kPacketSize)) {
    std::memset(reply, 0, kReplyBufferSize);
    int result = kEchoReadFailed + kEchoMismatch;
    note_result(result, 0);
    return result;
  }
  return wait_packet_echo(reply, kReplyBufferSize, packet, packet[1], data_follow);
}

// Reads and drops up to `count` bytes of a burst under way, within their
// time on the line and the margin; stops as soon as they came.
void BoxLink::skip_bytes(size_t count) {
  Deadline deadline(burst_ms(count));
  uint8_t dropped[kReadDataSize];
  for (size_t got = 0; got < count && !deadline.expired();) {
    const long n = port_.read_answer(dropped, std::min(count - got, sizeof dropped),
                                     static_cast<int>(deadline.remaining_ms()) + 1);
    if (n < 0) return;
    got += size_t(n);
  }
}

// The 4 data bytes that follow a read's echo in the same burst. 0 when they
// came, 100 when the box stopped short, 1 when the line failed.
int BoxLink::read_data(uint8_t* out4) {
  Deadline deadline(burst_ms(kReadDataSize));
  size_t got = 0;
  int result = kEchoOk;
  while (got < kReadDataSize) {
    if (deadline.expired()) {
      result = kEchoTimeout;
      break;
    }
    long n =
        port_.read_answer(out4 + got, kReadDataSize - got, static_cast<int>(deadline.remaining_ms()) + 1);
    if (n < 0) {
      result = kEchoReadFailed;
      break;
    }
    got += static_cast<size_t>(n);
  }
  // The echo came, so a short answer is a box that answered, not a silent one.
  note_result(result, kPacketSize + got);
  return result;
}

int BoxLink::read_member(int address, uint8_t* out4, Packet packet, bool is_osd) {
  std::string shown = out4 ? as_text(out4, 4) : std::string();
  trace("### ->%04x<%s>\n", address, shown.c_str());
  trace_packet_bytes(packet);
  uint8_t reply[kReplyBufferSize];
  int result = send_packet(packet, reply, true);
  if (result != kEchoOk) {
    if (is_osd)
      trace_write_failure("### err osd_read %d cb %d<%s><%s>\n", true, result, packet, reply, kUnsignedPairs);
    else
      trace_pairs(kUnsignedPairs, packet, reply);
  }
  // Not a refusal: the answer broke off, only its missing byte is not where
  // a timeout would show it. The other three data bytes are still coming in
  // the same burst and are swallowed, so that the caller need throw away
  // only what is left of the answer before the retry, not recover the line.
  if (result == kEchoMismatch && short_by_one_byte(reply, packet)) {
    last_fault_ = LinkFault::CutShort;
    skip_bytes(kReadDataSize - 1);
  }
  if (result != kEchoOk) return result;
  uint8_t data[4] = {0, 0, 0, 0};
  result = read_data(data);
  if (out4) std::memcpy(out4, data, 4);
  return result;
}

int BoxLink::osd_byte_write(Packet packet, const char* failure_headline, bool with_cb) {
  uint8_t reply[kReplyBufferSize];
  int result = send_packet(packet, reply);
  if (result != kEchoOk) trace_write_failure(failure_headline, with_cb, result, packet, reply);
  return result;
}

int BoxLink::font_page_clear(int page_address, uint8_t operand, uint8_t sub_command) {
  int page = low16(page_address);
  Packet packet;
  new_packet(packet, kTargetOsd, kOpByteWrite);
  packet[5] = kOsdSubCommand;
  packet[6] = sub_command;
  packet[7] = bits(page, 8);
  packet[8] = bits(page, 0);
  packet[9] = operand;
  trace("### ->%04x<%d>\n", page, operand);
  for (size_t i = 0; i < kPacketSize; ++i) trace("osd_clr_fnt_page(%02d)<%c> \n", packet[i], packet[i]);
  return osd_byte_write(packet, "###CFP err %d <%s><%s>\n");
}

// Erases the sector of `address` unless this stage has erased it already,
// whichever way the records step. A box that keeps refusing the erase is given
// up after a few attempts and the refusal returned, so nothing is written into
// an unerased sector; a silent box or a lost line is given up at once, since
// the caller's rules for those apply.
int BoxLink::ensure_sector_erased(int address) {
  if (sector_erased(address)) return kEchoOk;
  int result = kEchoOk;
  for (int attempt = 0; attempt < kEraseAttempts; ++attempt) {
    result = osd_flashClr(address);
    if (result == kEchoOk) {
      erased_sectors_[size_t(low24(address) / kSectorSize)] = true;
      return kEchoOk;
    }
    if (last_fault_ != LinkFault::Refused) break;
  }
  return result;
}

// A write of `size` bytes may run over into the next sector: that sector is
// erased before the write too, or the bytes written there would be lost when
// the next record erases it.
int BoxLink::ensure_sectors_erased(int address, int size) {
  int result = ensure_sector_erased(address);
  const int last = address + size - 1;
  if (result == kEchoOk && last / kSectorSize != address / kSectorSize) result = ensure_sector_erased(last);
  return result;
}

int BoxLink::osd_clr() {
  port_.set_dtr(false);
  port_.purge();
  port_.drain();
  port_.pause(1000);
  static const Packet kClear = {0x8C, 0x73, 0x00, 0x73, 0x77, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0D, 0x0D};
  long written = port_.write(kClear, kPacketSize);
  uint8_t reply[200];
  int result = written == long(kPacketSize) ? wait_echo(reply, sizeof reply, kClear, kTargetSystem)
                                            : kEchoReadFailed + kEchoMismatch;
  if (written != long(kPacketSize)) note_result(result, 0);
  trace("!!!! osd_clr <%d> err %d\n", static_cast<int>(written < 0 ? 0 : written), result);
  // Only a box that took the clear is busy clearing; one that refused it is
  // asked again at once.
  if (result == kEchoOk) port_.pause(5000);
  return result;
}

int BoxLink::osd_read(int address, uint8_t* out4) {
  if (!port_.is_open()) return 0;
  int a = low16(address);
  Packet packet;
  new_packet(packet, kTargetOsd, kOpRead);
  packet[5] = bits(a, 8);
  packet[6] = bits(a, 0);
  packet[8] = kOsdReadTail;
  return read_member(a, out4, packet, true);
}

int BoxLink::osd_flashR(int address, uint8_t* out4) {
  if (!port_.is_open()) return 0;
  int a = low24(address);
  Packet packet;
  new_packet(packet, kTargetFlash, kOpRead);
  packet[5] = bits(a, 16);
  packet[6] = bits(a, 8);
  packet[7] = bits(a, 0);
  return read_member(a, out4, packet, false);
}

int BoxLink::osd_wrt(int address, uint8_t value) {
  int a = low16(address);
  Packet packet;
  new_packet(packet, kTargetOsd, kOpByteWrite);
  packet[0] = 0x99;  // this one write has always gone out with 0x99
  packet[5] = bits(a, 8);
  packet[6] = bits(a, 0);
  packet[7] = value;
  packet[8] = kOsdReadTail;
  return osd_byte_write(packet, "### err osd_wrt %d <%s><%s>\n");
}

int BoxLink::osd_wrt_fnt(int address, uint8_t value) {
  int a = low16(address);
  Packet packet;
  new_packet(packet, kTargetOsd, kOpByteWrite);
  packet[5] = kOsdSubCommand;
  packet[6] = kFontRowWrite;
  packet[7] = bits(a, 8);
  packet[8] = bits(a, 0);
  packet[9] = value;
  return osd_byte_write(packet, "### err osd_wrt_fnt %d <%s><%s>\n");
}

int BoxLink::osd_clr_fnt_page(int page_address, uint8_t operand) {
  int result = font_page_clear(page_address, operand, kFontPageClear);
  port_.pause(300);  // the box clears the page meanwhile
  return result;
}

int BoxLink::osd_clr_sysfnt_page(int page_address, uint8_t operand) {
  return font_page_clear(page_address, operand, kSysFontPageClear);
}

int BoxLink::osd_wrt4(int address, const char* hex8) {
  int a = low16(address);
  Packet packet;
  new_packet(packet, kTargetOsd, kOpMultiWrite);
  packet[5] = bits(a, 8);
  packet[6] = bits(a, 0);
  for (size_t i = 0; i < 4; ++i) packet[7 + i] = hex_byte(hex8, i);
  trace("### ->%04x<%s>\n", a, hex8 ? hex8 : "");
  trace_packet_bytes(packet);
  return osd_byte_write(packet, "### err osd_wrt4 %d cb %d<%s><%s>\n", true);
}

int BoxLink::osd_flashClr(int address) {
  int a = low24(address);
  int sector_start = a - a % kSectorSize;
  int sector = sector_start / kSectorSize;
  trace("<osd_flashStrAdr %d %x || %d %x>\n", sector_start, sector_start, a, a);
  if (!port_.is_open()) {
    note_result(kEchoOk, 0);
    return 0;
  }
  Packet packet;
  new_packet(packet, kTargetFlash, kOpErase);
  packet[5] = bits(sector, 16);
  packet[6] = bits(sector, 8);
  packet[7] = bits(sector, 0);
  trace("###clr ** ->%04x\n", a);
  trace_packet_bytes(packet);
  uint8_t reply[kReplyBufferSize];
  int result = send_packet(packet, reply);
  if (result != kEchoOk)
    trace_write_failure("### err osd_flashClr %d cb %d<%s><%s>\n", true, result, packet, reply,
                        kUnsignedPairs);
  port_.pause(2000);  // the box erases the sector meanwhile
  return result;
}

int BoxLink::osd_flashW(int address, const char* hex8) {
  int a = low24(address);
  int erased = ensure_sectors_erased(a, 4);
  if (erased != kEchoOk) return erased;
  if (!port_.is_open()) return 0;
  Packet packet;
  new_packet(packet, kTargetFlash, kOpMultiWrite);
  packet[3] = hex_byte(hex8, 0);
  packet[5] = bits(a, 16);
  packet[6] = bits(a, 8);
  packet[7] = bits(a, 0);
  for (size_t i = 1; i < 4; ++i) packet[7 + i] = hex_byte(hex8, i);
  trace("### ->%04x<%s>\n", a, hex8 ? hex8 : "");
  trace_packet_bytes(packet);
  uint8_t reply[kReplyBufferSize];
  int result = send_packet(packet, reply);
  if (result != kEchoOk)
    trace_write_failure("### err osd_flashW %d cb %d<%s><%s>\n", true, result, packet, reply, kUnsignedPairs);
  return result;
}

int BoxLink::osd_wrt16(int address, const char* hex32, uint8_t target) {
  int a = low24(address);
  if (target == kTargetFlash) {
    int erased = ensure_sectors_erased(a, 16);
    if (erased != kEchoOk) return erased;
  }
  uint8_t packet[kWrite16Size];
  build_write16(packet, a, hex32, target);
  const uint8_t expected[kWrite16AnswerSize] = {packet[0], packet[1], packet[4],
                                                packet[5], packet[6], packet[7]};
  trace_write16_packet(a, hex32, packet, expected);

  long written = port_.write(packet, kWrite16Size);
  port_.drain();
  trace("NumberOfBytesWritten %d\n", static_cast<int>(written < 0 ? 0 : written));
  trace("adr %u tm2 %u\n", static_cast<unsigned>(a), static_cast<unsigned>(monotonic_ms() / 1000));

  uint8_t answer[kWrite16AnswerSize] = {};
  int result = kEchoReadFailed;
  size_t received = 0;
  if (written == long(kWrite16Size)) {
    int limit = silent_in_a_row_ > 0 ? kWrite16AfterSilenceMs : kWrite16AnswerMs;
    AnswerRule rule{
        kWrite16AnswerSize, target, limit,
        [](int pass, uint8_t byte) { trace("sz_c %d(%x)(%d) NumberOfBytesRead %d\n", pass, byte, byte, 1); },
        expected};
    result = collect_answer(answer, rule);
    received = answered_bytes_;
  }
  if (!same_bytes(answer, expected, 1, 5)) result += kEchoMismatch;
  note_result(result, received);
  if (result != kEchoOk) {
    trace("### err osd_wrt16 %d cb %d<%s><%s>\n", result, 0, as_text(packet, kWrite16Size).c_str(),
          as_text(answer, kWrite16AnswerSize).c_str());
    for (size_t i = 0; i < kWrite16AnswerSize; ++i) trace("(%x)", answer[i]);
    trace("\n");
  }
  return result;
}

}  // namespace tv
