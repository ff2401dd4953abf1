// The box's firmware as a state machine: bytes from the programming port and
// the control port go in one at a time with a millisecond timestamp, the
// bytes the box answers come out, and the memories change as the real box's
// would. No I/O and no clock of its own, so every exchange can be tested by
// feeding bytes.
//
// Programming port. The first byte of an item tells binary from text:
//  - ':', '*' and 'Z' start PIC loader text (the loader speaks ASCII);
//  - other printable characters, CR and LF on their own are line noise and
//    are passed over;
//  - anything else (0x99, 0x90, 0x9C, 0x8C, 0x05, ...) starts a binary packet:
//    12 bytes, or 26 when byte 2 repeats the target and byte 4 is 'W'.
// A partial item left idle for more than kResyncIdleMs is thrown away, as the
// firmware does to find the start of the next packet. A lone "Z" is told from
// the first 'Z' of a Z line by the quiet after it (kLoneZQuietMs).
//
// The PIC loader only takes records after its hand-shake ("Z", the two-Z line,
// "*", the four-Z line, "*"); its end record, or a four-Z line outside the
// hand-shake, closes the loader again.
//
// Control port: every byte arrives followed by its complement. The decoder
// pairs them up, waits for 0x34 0x00 0xFF (end of the sync pattern and the
// start marker), takes the nine command bytes and answers in the same doubled
// form with the payload set by set_control_reply().
//
// "Exchanges" (what silent_after and vanish_after count) are command packets,
// 16-byte writes and PIC records; the start-up probe, the hand-shake lines and
// control frames do not count.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "boxsim/box_sim.h"

namespace boxsim {

constexpr int64_t kResyncIdleMs = 200;
constexpr int64_t kLoneZQuietMs = 20;

class BoxDecoder {
 public:
  BoxDecoder();

  // One byte from the programming port at `now_ms`; answer bytes are appended
  // to `out`.
  void feed(uint8_t byte, int64_t now_ms, std::vector<uint8_t>* out);
  std::vector<uint8_t> feed(const std::vector<uint8_t>& bytes, int64_t now_ms);
  // Lets time pass without input: resolves a lone "Z" and drops a stale
  // partial item. Call it when the deadline below has come.
  void idle(int64_t now_ms, std::vector<uint8_t>* out);
  // When idle() has something to do, or -1 when nothing is pending.
  int64_t next_deadline_ms() const;

  // One byte from the control port; the doubled reply is appended to `out`.
  void feed_control(uint8_t byte, std::vector<uint8_t>* out);

  // Old contents (Faults.old_contents) are put into the memories when the
  // fault is first set.
  void set_faults(const Faults& faults);
  const Faults& faults() const { return faults_; }
  void set_control_reply(const std::vector<uint8_t>& payload) { control_reply_ = payload; }

  Memories& memories() { return mem_; }
  const Memories& memories() const { return mem_; }
  const Stats& stats() const { return stats_; }
  // True once vanish_after exchanges have been served: the line must go.
  bool vanished() const { return vanished_; }
  // The register an OSD-mode console access addressed (0 when never written).
  uint8_t osd_register(int slave, int command, int address) const;
  // The nine command bytes of the last complete control frame.
  const std::vector<uint8_t>& last_control_command() const { return last_control_command_; }

 private:
  enum class PicStage { Idle, Greeted, TwoZ, TwoZStar, FourZ, Loading };

  void settle(int64_t now_ms, std::vector<uint8_t>* out);
  void start_item(uint8_t byte, std::vector<uint8_t>* out);
  void continue_binary(std::vector<uint8_t>* out);
  void continue_text(std::vector<uint8_t>* out);

  // Binary packets.
  bool begin_exchange();  // false when the box has fallen silent
  bool refuse_attempt(const std::vector<uint8_t>& content);
  void handle_packet12(const std::vector<uint8_t>& p, std::vector<uint8_t>* out);
  void handle_probe(std::vector<uint8_t>* out);
  bool apply_packet12(const std::vector<uint8_t>& p, std::vector<uint8_t>* data);
  bool apply_flash(const std::vector<uint8_t>& p, std::vector<uint8_t>* data);
  bool apply_osd(const std::vector<uint8_t>& p, std::vector<uint8_t>* data);
  bool apply_osd_byte_write(const std::vector<uint8_t>& p);
  bool apply_i2c(const std::vector<uint8_t>& p, std::vector<uint8_t>* data);
  void handle_write16(const std::vector<uint8_t>& p, std::vector<uint8_t>* out);
  void clear_font_page(int page_address, uint8_t fill);
  void fill_old_contents();
  bool refuse_osd_clear();
  void store_flash(uint32_t address, uint8_t value);

  // PIC loader text.
  void handle_lone_z(std::vector<uint8_t>* out);
  void handle_star(std::vector<uint8_t>* out);
  void handle_z_line(const std::string& line, std::vector<uint8_t>* out);
  void handle_pic_record(const std::string& record, std::vector<uint8_t>* out);
  void handle_pic_end(std::vector<uint8_t>* out);

  // Output with the line faults applied.
  void send(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* out);
  void send_answer(std::vector<uint8_t> answer, size_t corrupt_at, std::vector<uint8_t>* out);

  Memories mem_;
  Stats stats_;
  Faults faults_;
  std::vector<uint8_t> control_reply_{0x5A};

  std::vector<uint8_t> pending_;
  bool pending_is_text_ = false;
  int64_t last_byte_ms_ = 0;
  PicStage pic_stage_ = PicStage::Idle;

  uint64_t exchanges_ = 0;
  uint64_t answers_ = 0;
  uint64_t bytes_sent_ = 0;
  bool vanished_ = false;
  bool fallen_silent_ = false;  // silent_after_flash_writes reached
  uint64_t flash_writes_ = 0;
  int osd_clears_refused_ = 0;
  std::map<std::vector<uint8_t>, int> attempts_;
  std::map<std::tuple<int, int, int>, uint8_t> osd_registers_;

  // Control port receiver.
  uint8_t ctl_first_ = 0;
  bool ctl_have_first_ = false;
  int ctl_state_ = 0;  // 0 searching, 1 after 0x34, 2 after 0x34 0x00, 3 command
  std::vector<uint8_t> ctl_command_;
  std::vector<uint8_t> last_control_command_;
};

// The doubled form of the control line: each byte followed by its complement.
std::vector<uint8_t> doubled(const std::vector<uint8_t>& bytes);

}  // namespace boxsim
