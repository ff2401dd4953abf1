#include "burn/burn_plan.h"

#include <algorithm>

namespace tv {
namespace {

constexpr double kLineBytesPerSecond = 5760.0;  // 57600 baud, ten bits a character

}  // namespace

// The line's own pace decides: every record goes out and comes back at
// 57600 baud, plus the pauses the protocol fixes.
StagePlan plan_stages(const LoadedChipset& chipset, unsigned stage_mask, int flash_delay, int sysfont_delay) {
  StagePlan plan;
  const double pic_records =
      chipset.pic_adr_l > chipset.pic_adr_f ? (chipset.pic_adr_l - chipset.pic_adr_f) / 8.0 : 0;
  const double sectors = chipset.lines_in(Section::Flash) / 256.0 + 1;
  auto set = [&plan](Stage stage, double opening, double writing, double delay) {
    plan.opening[int(stage)] = opening;
    plan.writing[int(stage)] = writing;
    plan.seconds[int(stage)] = opening + writing + delay;
  };
  set(Stage::Pic, 8.0, pic_records * 52 / kLineBytesPerSecond, flash_delay);
  set(Stage::Flash, 0, chipset.lines_in(Section::Flash) * 32 / kLineBytesPerSecond + sectors * 2.0, 0);
  set(Stage::Osd, 6.0, chipset.lines_in(Section::Osd) * 32 / kLineBytesPerSecond, 0);
  set(Stage::OsdRusFont, 3.0, chipset.lines_in(Section::OsdRusFont) * 48 / kLineBytesPerSecond, 0);
  set(Stage::OsdSysFont, 3.0, chipset.lines_in(Section::OsdSysFont) * 48 / kLineBytesPerSecond,
      sysfont_delay);
  for (int i = 0; i < kBurnStageCount; ++i) plan.runs[i] = (stage_mask >> i) & 1u;
  return plan;
}

int planned_stage_percent(const StagePlan& plan, int current_stage, int reported_percent,
                          double seconds_in_stage) {
  if (current_stage < 0 || current_stage >= kBurnStageCount) return reported_percent;
  const double opening = plan.opening[current_stage];
  const double own = opening + plan.writing[current_stage];
  if (own <= 0) return reported_percent;
  const double share = opening / own;
  if (reported_percent == 0) return int(100 * std::min(seconds_in_stage / own, share));
  return int(100 * (share + (1 - share) * reported_percent / 100.0));
}

double estimate_seconds_left(const StagePlan& plan, double done_seconds, int current_stage, int percent,
                             double elapsed) {
  double total = 0;
  for (int i = 0; i < kBurnStageCount; ++i) total += plan.runs[i] ? plan.seconds[i] : 0;
  double reached = done_seconds;
  if (current_stage >= 0 && current_stage < kBurnStageCount)
    reached += plan.seconds[current_stage] * percent / 100.0;
  if (total <= 0 || reached <= 0 || elapsed < 1) return -1;
  const double fraction = std::min(reached / total, 1.0);
  return elapsed * (1 - fraction) / fraction;
}

}  // namespace tv
