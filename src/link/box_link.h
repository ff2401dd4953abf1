// One box on one programming line: the port and the state the primitives keep
// about that box (which flash sectors this burn has erased, how the box
// answered last). Every primitive of the programming port is a member, so any
// number of boxes can be burned side by side, each link on its own thread.
//
// Whoever opens a programming line makes its link: the window one for its
// port, tvbox-burn one per port, a test one for its pseudo-terminal.
//
// Thread safety: a BoxLink is used by one thread at a time, like its port.
// Its port's abandon_waits() may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace tv {

// Why the last exchange of a link failed, told apart because each calls for
// a different answer: a refusal is retried, a box that has stopped answering
// will not answer the next command either, and a lost line ends everything.
enum class LinkFault {
  None,      // the last exchange succeeded
  Refused,   // the box answered, but not with the echo
  Silent,    // the time-out ran out without one byte from the box
  CutShort,  // an answer began and broke off: counted like a silent box
  Lost,      // the line itself failed: a read or write error, a hang-up
};

class BoxLink {
 public:
  explicit BoxLink(SerialPort& port);
  BoxLink(const BoxLink&) = delete;
  BoxLink& operator=(const BoxLink&) = delete;

  SerialPort& port() { return port_; }
  const SerialPort& port() const { return port_; }

  // Echo check and the primitives (result codes in packets.h).
  int wait_echo(uint8_t* reply, size_t size, const uint8_t* packet, uint8_t expected);
  // Clears the OSD processor's memory. 0 when the box echoed the clear.
  int osd_clr();
  int osd_read(int address, uint8_t* out4);
  int osd_flashR(int address, uint8_t* out4);
  int osd_wrt(int address, uint8_t value);
  int osd_wrt_fnt(int address, uint8_t value);
  int osd_clr_fnt_page(int page_address, uint8_t operand);
  int osd_clr_sysfnt_page(int page_address, uint8_t operand);
  int osd_wrt4(int address, const char* hex8);
  int osd_flashClr(int address);
  int osd_flashW(int address, const char* hex8);
  int osd_wrt16(int address, const char* hex32, uint8_t target);

  // The line recovery step between two attempts: drain, 30 ms, DTR low,
  // purge both directions, 300 ms, drain, 300 ms, purge what came meanwhile.
  void line_recovery();
  // After an answer that broke off: throws away what has come of it and is
  // still unread, and nothing else (no pause; the box has had its say).
  void discard_input();
  // Reads `count` bytes into `buffer` (first zeroing `size` bytes of it).
  // The box's PIC loader talks in text, not in echoed packets, so this has
  // codes of its own: every byte came, more than 3 s passed without a byte,
  // or the read failed (also when the port is not open). An echo read by
  // wait_text_echo() may also have begun and broken off.
  enum ReadResult : int { kReadComplete = 0, kReadSilent = 1, kReadFailed = 2, kReadCutShort = 3 };
  ReadResult wait_read(uint8_t* buffer, int size, int count);
  // The echo of a text line the PIC loader answers at once (a PIC record):
  // its first byte within a second, the rest in the same burst, within
  // their time on the line and the answer margin. Bytes before `lead`, the
  // line's first character, are passed over. Codes as wait_read(), with
  // kReadCutShort for an echo that began and did not come whole in time.
  ReadResult wait_text_echo(uint8_t* buffer, int size, int count, uint8_t lead);

  // Flash sectors. A flash write erases its sector before the first write
  // into it, in whatever order the records come, and at most once until the
  // erased set is forgotten again (each Flash stage begins with that).
  void reset_flash_sector();
  bool sector_erased(int address) const;

  // How the last exchange ended, and how many exchanges in a row have now
  // timed out without one byte from the box (an answer that broke off ends
  // the count: the box was there).
  LinkFault last_fault() const { return last_fault_; }
  int silent_in_a_row() const { return silent_in_a_row_; }

 private:
  struct AnswerRule;
  int collect_answer(uint8_t* answer, const AnswerRule& rule);
  int wire_ms(size_t bytes) const;
  int burst_ms(size_t bytes) const;
  int wait_packet_echo(uint8_t* reply, size_t size, const uint8_t* packet, uint8_t expected,
                       bool data_follow);
  int send_packet(const uint8_t* packet, uint8_t* reply, bool data_follow = false);
  int read_data(uint8_t* out4);
  void skip_bytes(size_t count);
  int read_member(int address, uint8_t* out4, uint8_t* packet, bool is_osd);
  int osd_byte_write(uint8_t* packet, const char* failure_headline, bool with_cb = false);
  int font_page_clear(int page_address, uint8_t operand, uint8_t sub_command);
  int ensure_sector_erased(int address);
  int ensure_sectors_erased(int address, int size);
  void note_result(int result, size_t bytes_received);

  SerialPort& port_;
  std::vector<bool> erased_sectors_;
  LinkFault last_fault_ = LinkFault::None;
  int silent_in_a_row_ = 0;
  size_t answered_bytes_ = 0;  // bytes the last answer wait received
};

}  // namespace tv
