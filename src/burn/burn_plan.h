// How long a burn is likely to take, stage by stage, so that a stage's own
// percent can become an estimate of the whole burn's time left. The window's
// status line and tvbox-burn's progress lines both show it.
#pragma once

#include "burn/burn_sink.h"
#include "burn/chipset_file.h"
#include "burn/resume_plan.h"

namespace tv {

struct StagePlan {
  double seconds[kBurnStageCount] = {};  // by Section, with the delay that belongs to it
  // Of the stage's own time: the part at its start in which the burn has no
  // progress to report (the hand-shake, the clear of the memory or the font
  // pages), and the writing that reports it.
  double opening[kBurnStageCount] = {};
  double writing[kBurnStageCount] = {};
  // Of the percent the burn reports for the stage, the share a resume has
  // behind it: a Flash stage taken up at a sector reports the records before
  // it as done at once, and only the rest is written.
  double skipped[kBurnStageCount] = {};
  // The packets the stage's writing sends, each waiting for its answer: a
  // USB adapter that holds answers adds its latency to every one of them.
  double exchanges[kBurnStageCount] = {};
  int answer_bytes[kBurnStageCount] = {};  // of each of those answers
  bool runs[kBurnStageCount] = {};
};

// Adds what an adapter that holds each answer `latency_ms` after its first
// byte costs every planned exchange, to the writing it belongs to: the
// latency less the time the rest of the answer crosses the line meanwhile.
void add_answer_latency(StagePlan* plan, double latency_ms);
// The planned exchanges of the stages that run.
double plan_total_exchanges(const StagePlan& plan);

// The plan of a resume of `resume`: the stages it owes, the Flash stage from
// the first sector it did not finish, the flash delay only when it owes the
// PIC program (without it the box is past its loader already).
StagePlan plan_resume(const LoadedChipset& chipset, const ResumePlan& resume, int flash_delay,
                      int sysfont_delay);

// The planned seconds of the stages that run.
double plan_total_seconds(const StagePlan& plan);

// `stage_mask` holds section_flag() of each stage that runs.
StagePlan plan_stages(const LoadedChipset& chipset, unsigned stage_mask, int flash_delay, int sysfont_delay);

// The share of the whole job reached, 0 to 1, from the planned seconds of
// the stages already over, the stage running now (-1: none) and its percent;
// -1 when nothing is planned.
double planned_fraction_done(const StagePlan& plan, double done_seconds, int current_stage, int percent);

// Seconds left, from the planned seconds of the stages already over, the stage
// running now (-1: none) and its percent, and the seconds elapsed; -1 while
// there is too little to go on. The planned seconds still ahead, stretched
// or shrunk by the pace the burn has kept so far, as far as it has got.
double estimate_seconds_left(const StagePlan& plan, double done_seconds, int current_stage, int percent,
                             double elapsed);

// The percent of the running stage as a whole: the burn reports only its
// writing's percent, so before the first report the clock moves it through
// the stage's opening, which the writing then fills on from.
int planned_stage_percent(const StagePlan& plan, int current_stage, int reported_percent,
                          double seconds_in_stage);

}  // namespace tv
