#include "shell/burn_status.h"

#include <algorithm>
#include <cmath>

#include "shell/window_parts.h"

using namespace FX;

namespace tv {
namespace {

const char* stage_name(Section stage) { return section_info(stage).stage; }

struct EndText {
  const char* key;
  const char* english;
};

// How each job ended, by Job and Outcome. Completed and Differs are filled
// with the time taken, Failed and Stopped with where it stopped.
const EndText kEndTexts[3][4] = {
    {{"m_st_done", "Burn completed in {}"},
     {"m_st_failed", "Burn failed in {}"},
     {"m_st_stopped", "Burn stopped in {}"},
     {"m_st_failed", "Burn failed in {}"}},
    {{"m_st_cmp_done", "Matches the file: compare took {}"},
     {"m_st_cmp_failed", "Compare failed in {}"},
     {"m_st_cmp_stopped", "Compare stopped in {}"},
     {"m_st_cmp_differs", "DIFFERS from the file: compare took {}"}},
    {{"m_st_bak_done", "Backup completed in {}"},
     {"m_st_bak_failed", "Backup failed in {}"},
     {"m_st_bak_stopped", "Backup stopped in {}"},
     {"m_st_bak_failed", "Backup failed in {}"}},
};

}  // namespace

FXString minutes_and_seconds(double seconds) {
  const long total = seconds > 0 ? long(seconds) : 0;
  if (total >= 3600) return FXStringFormat("%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  return FXStringFormat("%ld:%02ld", total / 60, total % 60);
}

void BurnStatus::start(const StagePlan& plan, int64_t now_ms, Job job) {
  *this = BurnStatus();
  plan_ = plan;
  job_ = job;
  started_ = running_ = true;
  startMs_ = now_ms;
}

// A stage that ends hands its planned seconds to those already over, so the
// next one's percent counts from there.
void BurnStatus::closeStage() {
  if (stage_ >= 0 && stage_ < kBurnStageCount) doneSeconds_ += plan_.seconds[stage_];
  stage_ = -1;
  percent_ = 0;
}

void BurnStatus::stageBegun(Section stage, int64_t) {
  closeStage();
  stage_ = int(stage);
  waitStartMs_ = -1;
  // Until the job names a place, it is somewhere in the stage it began last
  // (a backup whose file cannot be written after the reads).
  if (!stopReported_) whereStage_ = stage;
}

void BurnStatus::waiting(Section next, int seconds, int64_t now_ms) {
  closeStage();
  waitStage_ = next;
  waitSeconds_ = seconds;
  waitStartMs_ = now_ms;
}

void BurnStatus::stoppedAt(Section stage, int address) {
  whereStage_ = stage;
  whereAddress_ = address;
  stopReported_ = true;
}

void BurnStatus::end(Outcome outcome, int64_t now_ms) {
  running_ = false;
  if (job_ == Job::Compare && outcome == Outcome::Failed && !stopReported_) outcome = Outcome::Differs;
  outcome_ = outcome;
  endMs_ = now_ms;
}

// Before its first stage a job is about to begin the first one its plan
// runs: a resume that skips the PIC program does not show "PIC".
Section BurnStatus::firstPlanned() const {
  for (int stage = 0; stage < kBurnStageCount; ++stage)
    if (plan_.runs[stage]) return Section(stage);
  return Section::Pic;
}

FXString BurnStatus::where() const {
  FXString text = stage_name(whereStage_);
  if (whereAddress_ >= 0)
    text += FXStringFormat(" %s %04X", ui_text_or("m_st_at", "at").text(), whereAddress_ & 0xFFFF);
  return text;
}

FXString BurnStatus::text(int64_t now_ms) const {
  if (!started_) return FXString::null;
  if (!running_) {
    const EndText& end = kEndTexts[int(job_)][int(outcome_)];
    const bool timed = outcome_ == Outcome::Completed || outcome_ == Outcome::Differs;
    return ui_text_filled(end.key, end.english,
                          timed ? minutes_and_seconds((endMs_ - startMs_) / 1000.0) : where());
  }
  if (waitStartMs_ >= 0) {
    const int left = std::max(0, waitSeconds_ - int((now_ms - waitStartMs_) / 1000));
    const bool flash = waitStage_ == Section::Flash;
    return ui_text_filled(flash ? "m_st_wait_flash" : "m_st_wait_font",
                          flash ? "waiting {} s before the flash" : "waiting {} s before the system font",
                          FXStringFormat("%d", left));
  }
  const double elapsed = (now_ms - startMs_) / 1000.0;
  // What the engineer waits for comes first, so that a narrow window cuts
  // the time so far rather than the time left.
  FXString text = stage_name(stage_ >= 0 ? Section(stage_) : firstPlanned());
  text += FXStringFormat(" %d%%  ", percent_);
  if (leftS_ >= 0)
    text += ui_text_filled("m_st_left", "about {} left", minutes_and_seconds(std::ceil(leftS_))) + "  ";
  return text + minutes_and_seconds(elapsed);
}

}  // namespace tv
