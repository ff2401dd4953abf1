// What the status line says about a burn, or about a compare or a backup
// (which read the box the same way): while it runs, the stage, its percent,
// the time left and the time so far ("FLASH 48%  about 1:10 left  0:41") or
// the protocol's wait ("waiting 3 s before the flash"); after it, how it
// ended ("Burn completed in 2:14", "Burn failed in FLASH at 0320",
// "DIFFERS from the file: compare took 0:40"): the verdict first, so that a
// narrow window never cuts it.
// It is fed the burn's reports on the GUI thread and asked for its text on
// each tick of the page's clock; it touches no widget.
#pragma once

#include <fox-1.6/fx.h>

#include <cstdint>

#include "burn/burn_plan.h"

namespace tv {

class BurnStatus {
 public:
  enum class Job { Burn, Compare, Backup };
  // Differs: a compare that read every byte and found one unlike the file.
  enum class Outcome { Completed, Failed, Stopped, Differs };

  void start(const StagePlan& plan, int64_t now_ms, Job job = Job::Burn);
  void stageBegun(Section stage, int64_t now_ms);
  void progress(int percent) { percent_ = percent; }
  // The box's own figures, as its report has them: the stage's percent and
  // the time left by the job's plan (-1: none yet). The status line shows
  // these, the same figures the row and tvbox-burn show.
  void figures(int percent, double left_s) {
    percent_ = percent;
    leftS_ = left_s;
  }
  void waiting(Section next, int seconds, int64_t now_ms);
  void stoppedAt(Section stage, int address);
  // A compare that failed without saying where it stopped read everything:
  // it ended because the box differs.
  void end(Outcome outcome, int64_t now_ms);

  bool running() const { return running_; }
  // The status line's text at `now_ms`; empty before the first burn.
  FX::FXString text(int64_t now_ms) const;
  // "FLASH at 0320": where the burn stopped or first failed.
  FX::FXString where() const;

 private:
  void closeStage();
  Section firstPlanned() const;

  StagePlan plan_;
  Job job_ = Job::Burn;
  bool started_ = false;
  bool running_ = false;
  int64_t startMs_ = 0;
  int64_t endMs_ = 0;
  int stage_ = -1;  // the stage running now, as a Section number; -1 in a wait
  int percent_ = 0;
  double leftS_ = -1;
  double doneSeconds_ = 0;  // planned seconds of the stages already over
  Section waitStage_ = Section::Flash;
  int waitSeconds_ = 0;
  int64_t waitStartMs_ = -1;  // -1: not waiting
  Section whereStage_ = Section::Pic;
  int whereAddress_ = -1;
  bool stopReported_ = false;  // stoppedAt() came: the job named where it stopped
  Outcome outcome_ = Outcome::Completed;
};

// "2:14" for 134 seconds; hours when a burn takes that long ("1:02:05").
FX::FXString minutes_and_seconds(double seconds);

}  // namespace tv
