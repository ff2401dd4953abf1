#include "burn/line_health.h"

#include <cstdio>

#include "base/clock.h"

namespace tv {

LineHealth::LineHealth(double planned_seconds, int64_t started_ms)
    : planned_seconds_(planned_seconds), started_ms_(started_ms) {}

void LineHealth::packet(bool retried) {
  const size_t slot = size_t(seen_ % kHealthWindowPackets);
  if (seen_ >= kHealthWindowPackets && recent_[slot]) --retried_;
  recent_[slot] = retried;
  if (retried) ++retried_;
  ++seen_;
}

int LineHealth::retried_percent() const { return window() > 0 ? retried_ * 100 / window() : 0; }

bool LineHealth::too_many_retries() const {
  return seen_ >= kHealthMinPackets && retried_ * 100 > kHopelessRetriedPercent * window();
}

bool LineHealth::too_slow() const {
  if (planned_seconds_ <= 0) return false;
  const double elapsed = double(monotonic_ms() - started_ms_) / 1000;
  return elapsed > kJobTimeFactor * planned_seconds_ && elapsed > planned_seconds_ + kJobTimeSlackSeconds;
}

std::string LineHealth::verdict() const {
  char text[200];
  if (too_many_retries())
    std::snprintf(text, sizeof text,
                  "the line loses or garbles too much: %d%% of the last %d packets were retried; check the "
                  "cable and the adapter",
                  retried_percent(), window());
  else if (too_slow())
    std::snprintf(text, sizeof text,
                  "the line is too slow: the job has taken %d times its planned %.0f s (%d%% of the last %d "
                  "packets were retried); check the cable and the adapter",
                  kJobTimeFactor, planned_seconds_, retried_percent(), window());
  else
    return std::string();
  return text;
}

}  // namespace tv
