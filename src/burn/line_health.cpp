#include "burn/line_health.h"

#include <cstdio>

#include "base/clock.h"
#include "burn/log_sentences.h"

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
  const std::string retried = std::to_string(retried_percent());
  const std::string packets = std::to_string(window());
  if (too_many_retries()) return fill_sentence(sentence::kLineGarbles, {retried, packets});
  if (!too_slow()) return std::string();
  char planned[32];
  std::snprintf(planned, sizeof planned, "%.0f", planned_seconds_);
  return fill_sentence(sentence::kLineTooSlow, {std::to_string(kJobTimeFactor), planned, retried, packets});
}

}  // namespace tv
