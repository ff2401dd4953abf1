// Monotonic millisecond clock and plain sleeps, used by every wait on the box.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace tv {

// Milliseconds since an arbitrary fixed point; never jumps with the wall clock.
inline int64_t monotonic_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

inline void sleep_ms(int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A deadline: how much of a time limit is left.
class Deadline {
 public:
  explicit Deadline(int64_t limit_ms) : end_(monotonic_ms() + limit_ms) {}
  void restart(int64_t limit_ms) { end_ = monotonic_ms() + limit_ms; }
  int64_t remaining_ms() const {
    int64_t left = end_ - monotonic_ms();
    return left > 0 ? left : 0;
  }
  bool expired() const { return monotonic_ms() >= end_; }

 private:
  int64_t end_;
};

}  // namespace tv

namespace tv {

// The fixed pauses of the box protocol (after an erase, after a font page
// clear, the recovery step, the burn delays) all go through here. Tests that
// exercise fault handling may shorten them with a scale in percent; the
// program itself always runs at 100.
void set_pause_scale_percent(int percent);
int pause_scale_percent();
void protocol_pause_ms(int64_t ms);

}  // namespace tv
