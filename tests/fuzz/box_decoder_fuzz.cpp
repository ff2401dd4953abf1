// Feeds arbitrary bytes with timestamps to the box simulator's decoder.
//
// Input: one byte choosing the injected faults, then the bytes for the
// programming port. 0xEE escapes: 0xEE 0xEE is a plain 0xEE; 0xEE followed by
// a byte with the top bit set switches between the programming and the control
// port; 0xEE followed by k < 0x80 lets 4*k ms pass, then calls idle().
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "boxsim/box_decoder.h"

namespace {

constexpr uint8_t kEscape = 0xEE;
// The longest answer to one byte: the loader banner, an echo with its data,
// a control reply (doubled sync and payload).
constexpr size_t kMaxAnswerPerByte = 64;

void require(bool ok) {
  if (!ok) std::abort();
}

boxsim::Faults faults_from(uint8_t choice) {
  boxsim::Faults faults;
  if (!(choice & 0x80)) return faults;
  faults.drop_every = (choice & 0x03) ? 3 + (choice & 0x03) : 0;
  faults.corrupt_echo_every = (choice & 0x04) ? 2 : 0;
  faults.refuse_first = (choice & 0x08) ? 1 : 0;
  faults.silent_after = (choice & 0x10) ? 5 : 0;
  faults.vanish_after = (choice & 0x20) ? 7 : 0;
  faults.unsupported = (choice & 0x40) != 0;
  return faults;
}

// A new decoder per input would map and fill the 16 MB flash afresh every
// time, which holds the fuzzer to about a hundred inputs a second. Instead one
// decoder is reset to a blank one's state and its memories' buffers are
// refilled in place: the same start as a new decoder, at a fraction of the cost.
boxsim::BoxDecoder& fresh_decoder() {
  static boxsim::BoxDecoder* const blank = new boxsim::BoxDecoder;
  static const boxsim::Memories* const erased = new boxsim::Memories(std::move(blank->memories()));
  static boxsim::BoxDecoder* const box = new boxsim::BoxDecoder;
  *box = *blank;  // memories left empty, their buffers kept
  boxsim::Memories& memories = box->memories();
  memories.flash = erased->flash;
  memories.osd = erased->osd;
  memories.font = erased->font;
  memories.pic = erased->pic;
  memories.i2c.clear();
  return *box;
}

struct Feeder {
  boxsim::BoxDecoder& box = fresh_decoder();
  int64_t now_ms = 1000;
  bool control = false;
  std::vector<uint8_t> out;

  void byte(uint8_t b) {
    size_t before = out.size();
    bool gone = box.vanished();
    if (control)
      box.feed_control(b, &out);
    else
      box.feed(b, now_ms, &out);
    require(out.size() - before <= kMaxAnswerPerByte);
    if (gone && !control) require(out.size() == before);
  }

  void wait(int64_t ms) {
    now_ms += ms;
    const int64_t deadline = box.next_deadline_ms();
    size_t before = out.size();
    box.idle(now_ms, &out);
    require(out.size() - before <= kMaxAnswerPerByte);
    // Idling at or past the announced deadline settles whatever was pending.
    if (deadline >= 0 && now_ms >= deadline) require(box.next_deadline_ms() == -1);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Feeder feeder;
  feeder.box.set_faults(faults_from(data[0]));
  for (size_t i = 1; i < size; ++i) {
    if (data[i] != kEscape || i + 1 == size) {
      feeder.byte(data[i]);
      continue;
    }
    const uint8_t op = data[++i];
    if (op == kEscape)
      feeder.byte(op);
    else if (op & 0x80)
      feeder.control = !feeder.control;
    else
      feeder.wait(4 * int64_t(op));
  }
  const boxsim::Memories& memories = feeder.box.memories();
  require(memories.flash.size() == boxsim::kFlashSize && memories.osd.size() == boxsim::kOsdSize);
  require(memories.font.size() == boxsim::kFontSize && memories.pic.size() == boxsim::kPicSize);
  return 0;
}
