// A line that is merely bad, rather than dead, never ends a job by itself:
// every packet gets through in the end, after retries that each cost a
// recovery step. A box that garbles every echo once, or a line that loses one
// byte in fifty, would keep a burn, a compare or a backup going for hours.
// LineHealth watches the retries of the recent packets and the job's time,
// and tells when the job should end and name the line as the cause.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/clock.h"

namespace tv {

// The recent packets the share of retries is taken over, and how many must
// have been seen before it is judged at all.
constexpr int kHealthWindowPackets = 200;
constexpr int kHealthMinPackets = 50;
// More than this percent of the recent packets needed a retry: a lost byte
// in a thousand retries about 2 % of the packets, one in fifty about 30 %.
constexpr int kHopelessRetriedPercent = 25;
// A job that has taken this many times its planned time, and this much
// more than it besides, ends (unless the user asked to be patient): a short
// job is not ended by a busy machine's few seconds.
constexpr int kJobTimeFactor = 3;
constexpr int kJobTimeSlackSeconds = 60;

class LineHealth {
 public:
  // `planned_seconds`: the job's planned time on a good line; 0 for no time
  // bound. The job began at `started_ms` (monotonic_ms()).
  explicit LineHealth(double planned_seconds = 0, int64_t started_ms = monotonic_ms());

  // One packet got through: at its first attempt, or after retries.
  void packet(bool retried);
  // Empty while the line does well enough; otherwise the reason the job
  // ends, naming the line.
  std::string verdict() const;
  bool hopeless() const { return too_many_retries() || too_slow(); }

  int retried_percent() const;

 private:
  int window() const { return seen_ < kHealthWindowPackets ? seen_ : kHealthWindowPackets; }
  bool too_many_retries() const;
  bool too_slow() const;

  std::vector<bool> recent_ = std::vector<bool>(size_t(kHealthWindowPackets), false);
  int seen_ = 0;
  int retried_ = 0;  // in the window
  double planned_seconds_;
  int64_t started_ms_;
};

}  // namespace tv
