// The box simulator: a model of the TV box that answers on pseudo-terminals
// exactly as the real box must. Every test, demo and benchmark meets "a box"
// through it.
//
// BoxDecoder is the box itself as a state machine fed byte by byte (no I/O):
// it models the memories and produces the bytes the box answers.
// BoxSimulator puts a decoder behind two pseudo-terminals (programming port
// and control port), makes them reachable as symlinks in a port directory and
// serves them on a thread of its own. The tvbox-sim program wraps it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace boxsim {

constexpr size_t kFlashSize = 1u << 24;  // 24-bit addresses
constexpr size_t kFlashSector = 4096;
constexpr size_t kOsdSize = 1u << 16;
constexpr size_t kFontSize = 1u << 16;
constexpr size_t kPicSize = 100000;

struct Memories {
  std::vector<uint8_t> flash = std::vector<uint8_t>(kFlashSize, 0xFF);  // erased
  std::vector<uint8_t> osd = std::vector<uint8_t>(kOsdSize, 0x00);
  std::vector<uint8_t> font = std::vector<uint8_t>(kFontSize, 0x00);
  std::vector<uint8_t> pic = std::vector<uint8_t>(kPicSize, 0xFF);
  std::map<int, std::map<int, uint8_t>> i2c;  // slave -> register -> value
};

// Faults to inject; 0 means "never" for every counter.
struct Faults {
  bool unsupported = false;           // answer the start-up probe (an unsupported box)
  int drop_every = 0;                 // drop every Nth byte the box sends
  int corrupt_echo_every = 0;         // corrupt every Nth echo or answer (the write still happens)
  int refuse_first = 0;               // mis-echo (and ignore) the first N attempts of each distinct packet
  int refuse_always_address = -1;     // refuse every 16-byte write to this address, forever
  int silent_after = 0;               // after N packets, answer nothing more
  int vanish_after = 0;               // after N packets, close the line
  int answer_delay_ms = 0;            // wait before each answer
  bool pace = false;                  // pace output at the line rate (57600; 2400 with 12-bit characters)
  int adapter_latency_ms = 0;         // programming port behind a USB adapter's latency timer (see below)
  bool old_contents = false;          // start with an older firmware in flash, OSD and font memory
  int wrong_flash_byte = -1;          // store the flash byte at this address one bit wrong, echoing correctly
  int refuse_osd_clears = 0;          // refuse the first N OSD clears (mis-echo, memory kept); -1: every one
  int silent_after_flash_writes = 0;  // after N 16-byte flash writes, answer nothing more
  int vanish_after_flash_writes = 0;  // after N 16-byte flash writes, close the line
};

// A USB-serial adapter (an FTDI chip, say) does not hand each byte it
// receives to the computer at once: it collects them and sends a USB packet
// when 62 bytes are waiting or when its latency timer runs out, counted from
// the first byte collected. With adapter_latency_ms set, the box's answers on
// the programming port reach the program that way.
constexpr size_t kAdapterPacketBytes = 62;

struct Stats {
  uint64_t packets = 0;      // command packets and 16-byte writes decoded
  uint64_t pic_records = 0;  // PIC records echoed
  uint64_t sector_erases = 0;
  uint64_t osd_clears = 0;
  uint64_t font_page_clears = 0;
  uint64_t probes = 0;
  uint64_t control_frames = 0;
  uint64_t refused = 0;                // packets refused or corrupted on purpose
  uint64_t unknown = 0;                // packets and PIC lines the firmware ignored or rejected
  uint64_t control_frames_asleep = 0;  // control frames that came without the wake-up (no answer)
};

class BoxDecoder;  // defined in box_decoder.h

// Writes the four memory images (flash.bin, osd.bin, font.bin, pic.bin) into
// `dir`, creating it when needed. False with a message in `error` on failure.
bool write_memory_images(const Memories& memories, const std::string& dir, std::string* error = nullptr);

// Reads the four images write_memory_images() wrote in `dir` into
// `memories` (each file must be exactly its memory's size), so that a box can
// start where another one stopped. False with a message, `memories` unchanged.
bool read_memory_images(const std::string& dir, Memories* memories, std::string* error = nullptr);

class BoxSimulator {
 public:
  BoxSimulator();
  ~BoxSimulator();

  // Creates both pseudo-terminals and symlinks `port_dir`/`programming_name`
  // and `port_dir`/`control_name` to them (names as the program maps them:
  // "com3" and "com5" by default), then serves them on a thread. Returns false
  // with a message in `error` when it cannot.
  // The simulator keeps each line open itself, so a program that closes the
  // port does not hang it up; a program that makes the line exclusive
  // (TIOCEXCL) must therefore clear it (TIOCNXCL) before closing, or its own
  // reopen fails with EBUSY unless it runs as root.
  bool start(const std::string& port_dir, std::string* error = nullptr,
             const std::string& programming_name = "com3", const std::string& control_name = "com5");
  void stop();

  std::string programming_path() const;  // the symlink
  std::string control_path() const;

  void set_faults(const Faults& faults);
  // The payload the box answers a control query with (default {0x5A}).
  void set_control_reply(const std::vector<uint8_t>& payload);
  // Bytes the box sends on its own on the programming port (the console test
  // and the streaming benchmark use it).
  void send_raw(const std::vector<uint8_t>& bytes);

  Memories memories() const;  // a copy, taken under the lock
  void set_memories(const Memories& memories);
  Stats stats() const;
  // Every byte the program has sent on the programming port, in order.
  std::vector<uint8_t> received() const;
  void clear_received();
  // Every byte the program has sent on the control port, in order.
  std::vector<uint8_t> control_received() const;

  // Writes flash.bin, osd.bin, font.bin and pic.bin into `dir`.
  bool write_images(const std::string& dir) const;

  // True once the programming line has vanished (Faults.vanish_after).
  bool vanished() const;
  // How long the box waits before it answers a control frame: the line is
  // half-duplex and the program turns it around (RTS) after sending.
  void set_control_turnaround_ms(int ms);
  // How much wake-up a control frame needs before it is answered (see
  // BoxDecoder); 0 answers every frame.
  void set_control_wake_up_pairs(int pairs);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace boxsim
