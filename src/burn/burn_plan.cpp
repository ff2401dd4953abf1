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
  for (const SectionInfo& info : section_table()) {
    if (!info.stage) continue;
    const int stage = int(info.section);
    // The PIC program goes as the loader's own records, 8 bytes each.
    const double lines =
        info.section == Section::Pic
            ? (chipset.pic_adr_l > chipset.pic_adr_f ? (chipset.pic_adr_l - chipset.pic_adr_f) / 8.0 : 0)
            : chipset.lines_in(info.section);
    plan.opening[stage] = info.opening_seconds;
    plan.writing[stage] = lines * info.line_bytes / kLineBytesPerSecond;
  }
  // Every flash sector is erased before its first record.
  plan.writing[int(Stage::Flash)] += (chipset.lines_in(Section::Flash) / 256.0 + 1) * 2.0;
  for (int i = 0; i < kBurnStageCount; ++i) {
    plan.seconds[i] = plan.opening[i] + plan.writing[i];
    plan.runs[i] = (stage_mask >> i) & 1u;
  }
  // The pauses belong to the stage before them: the box settles after its
  // PIC program, and before the system font.
  plan.seconds[int(Stage::Pic)] += flash_delay;
  plan.seconds[int(Stage::OsdSysFont)] += sysfont_delay;
  return plan;
}

double plan_total_seconds(const StagePlan& plan) {
  double total = 0;
  for (int i = 0; i < kBurnStageCount; ++i) total += plan.runs[i] ? plan.seconds[i] : 0;
  return total;
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

double planned_fraction_done(const StagePlan& plan, double done_seconds, int current_stage, int percent) {
  const double total = plan_total_seconds(plan);
  if (total <= 0) return -1;
  double reached = done_seconds;
  if (current_stage >= 0 && current_stage < kBurnStageCount)
    reached += plan.seconds[current_stage] * percent / 100.0;
  return std::min(std::max(reached / total, 0.0), 1.0);
}

double estimate_seconds_left(const StagePlan& plan, double done_seconds, int current_stage, int percent,
                             double elapsed) {
  const double fraction = planned_fraction_done(plan, done_seconds, current_stage, percent);
  if (fraction <= 0 || elapsed < 1) return -1;
  return elapsed * (1 - fraction) / fraction;
}

}  // namespace tv
