#include "burn/burn_plan.h"

#include <algorithm>

#include "burn/section_writer.h"

namespace tv {
namespace {

constexpr double kLineBytesPerSecond = 5760.0;  // 57600 baud, ten bits a character
constexpr double kSectorEraseSeconds = 2.0;     // the pause after each flash sector's erase

// The Flash records a resume taken up at `flash_from` still writes, and of
// the sectors they fill, how many it erases again; the rest the box holds.
struct FlashLeft {
  int records_left = 0;
  int sectors_left = 0;
};

FlashLeft flash_left(const LoadedChipset& chipset, int flash_from) {
  FlashLeft left;
  const SectionText* text = chipset.sections ? chipset.sections->of(Section::Flash) : nullptr;
  if (!text) return left;
  const std::vector<bool> finished = finished_flash_sectors(lines_of(*text), flash_from);
  const ByteImage* image = chipset.sections->image_of(Section::Flash);
  std::vector<bool> erased(finished.size(), false);
  for (int address = 0; image && address < ByteImage::kSpan; address += 16) {
    if (!image->holds(address)) continue;
    const size_t sector = size_t(address / kFlashSectorBytes);
    if (sector < finished.size() && finished[sector]) continue;
    ++left.records_left;
    if (sector < erased.size() && !erased[sector]) {
      erased[sector] = true;
      ++left.sectors_left;
    }
  }
  return left;
}

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
    plan.exchanges[stage] = lines * exchanges_per_line(info.section);
    plan.answer_bytes[stage] = answer_bytes(info.section);
  }
  // Every flash sector is erased before its first record.
  const double sectors = chipset.lines_in(Section::Flash) / 256.0 + 1;
  plan.writing[int(Section::Flash)] += sectors * kSectorEraseSeconds;
  plan.exchanges[int(Section::Flash)] += sectors;
  for (int i = 0; i < kBurnStageCount; ++i) {
    plan.seconds[i] = plan.opening[i] + plan.writing[i];
    plan.runs[i] = (stage_mask >> i) & 1u;
  }
  // The pauses belong to the stage before them: the box settles after its
  // PIC program, and before the system font.
  plan.seconds[int(Section::Pic)] += flash_delay;
  plan.seconds[int(Section::OsdSysFont)] += sysfont_delay;
  return plan;
}

StagePlan plan_resume(const LoadedChipset& chipset, const ResumePlan& resume, int flash_delay,
                      int sysfont_delay) {
  const unsigned owed = resume.owed();
  const bool pic_owed = owed & section_flag(Section::Pic);
  StagePlan plan = plan_stages(chipset, owed, pic_owed ? flash_delay : 0, sysfont_delay);
  const int flash = int(Section::Flash);
  if (!(owed & section_flag(Section::Flash)) || resume.point.flash_from < 0) return plan;
  const int lines = chipset.lines_in(Section::Flash);
  const FlashLeft left = flash_left(chipset, resume.point.flash_from);
  if (lines <= 0) return plan;
  const SectionInfo& info = section_info(Section::Flash);
  plan.writing[flash] =
      left.records_left * info.line_bytes / kLineBytesPerSecond + left.sectors_left * kSectorEraseSeconds;
  plan.exchanges[flash] = left.records_left + left.sectors_left;
  plan.seconds[flash] = plan.opening[flash] + plan.writing[flash];
  plan.skipped[flash] = std::min(1.0, std::max(0.0, 1.0 - double(left.records_left) / lines));
  return plan;
}

void add_answer_latency(StagePlan* plan, double latency_ms) {
  for (int i = 0; i < kBurnStageCount; ++i) {
    const double rest_of_answer = std::max(0, plan->answer_bytes[i] - 1) / kLineBytesPerSecond;
    const double seconds = plan->exchanges[i] * std::max(0.0, latency_ms / 1000 - rest_of_answer);
    plan->writing[i] += seconds;
    plan->seconds[i] += seconds;
  }
}

double plan_total_exchanges(const StagePlan& plan) {
  double total = 0;
  for (int i = 0; i < kBurnStageCount; ++i) total += plan.runs[i] ? plan.exchanges[i] : 0;
  return total;
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
  // What a resume has behind it is reported at once and takes no time.
  const double skipped = plan.skipped[current_stage];
  const double written =
      skipped < 1 ? std::max(0.0, (reported_percent / 100.0 - skipped) / (1 - skipped)) : 1;
  return int(100 * (share + (1 - share) * written));
}

double planned_fraction_done(const StagePlan& plan, double done_seconds, int current_stage, int percent) {
  const double total = plan_total_seconds(plan);
  if (total <= 0) return -1;
  double reached = done_seconds;
  // The stage's own time: the pause after it is reached when it has passed.
  if (current_stage >= 0 && current_stage < kBurnStageCount)
    reached += (plan.opening[current_stage] + plan.writing[current_stage]) * percent / 100.0;
  return std::min(std::max(reached / total, 0.0), 1.0);
}

double estimate_seconds_left(const StagePlan& plan, double done_seconds, int current_stage, int percent,
                             double elapsed) {
  const double fraction = planned_fraction_done(plan, done_seconds, current_stage, percent);
  if (fraction <= 0 || elapsed < 1) return -1;
  // The plan is the line's own pace, right on a good line; a line that
  // retries is slower, and what it has cost so far says by how much. That
  // pace is trusted as far as the burn has got: in the first seconds a slow
  // hand-shake would otherwise be multiplied over the whole burn.
  const double total = plan_total_seconds(plan);
  const double reached = fraction * total;
  const double pace = elapsed / reached;
  return (total - reached) * (1 + fraction * (pace - 1));
}

}  // namespace tv
