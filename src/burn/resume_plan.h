// Taking up a burn that failed or was stopped, from its saved log. The log of
// every burn ends with a "Resume:" line that says which stages were finished
// and, for a Flash stage cut short, the record at which writing stopped. A
// resume burns the stages still owed, skipping the flash sectors that were
// finished: a line lost at 90 % of the flash then costs one sector, not a
// whole burn.
#pragma once

#include <string>

#include "burn/burn_sink.h"

namespace tv {

// What a burn has put into the box so far, its resumed burns included.
struct ResumePoint {
  unsigned done = 0;    // stages finished (section_flag of each)
  int flash_from = -1;  // the flash record address at which writing stopped; -1: the whole stage
};

// The burn a resume continues.
struct ResumePlan {
  std::string log_path;  // the saved log it continues
  std::string started;   // when that burn began, as its log says ("2026-12-08 14:10:05")
  std::string port;      // the port it burned
  unsigned chosen = 0;   // stages that burn chose (section_flag of each)
  ResumePoint point;
  // The stages a resume runs: chosen and not finished.
  unsigned owed() const { return chosen & ~point.done; }
};

// "Resume:   done=PIC,FLASH; flash-from=1A40" without the label: what the log
// writes, and what read_resume_point() reads back.
std::string resume_point_text(const ResumePoint& point);
// The log line of a resume that took back what the log before it said:
// this text, then the point it still trusts.
constexpr const char* kTakenBackTo = "resume point taken back to ";
bool read_resume_point(const std::string& text, ResumePoint* point);

// Reads one saved log: true when it is a burn log of `port` and fills the
// plan. `sha256` and `ended_badly` tell whether it may be resumed.
struct SavedBurn {
  ResumePlan plan;
  std::string port;
  std::string sha256;
  bool ended_badly = false;  // FAILED, CANCELLED or unfinished
};
bool read_saved_burn(const std::string& log_text, SavedBurn* burn);

// The plan for `port` from the newest burn log of that port in `dir`. It is
// found only when that burn was of the file with this digest and ended in a
// failure or a cancel: a box that has since been given another file, or that
// was burned well, has nothing to resume. False with the reason in `why`.
bool find_resume_plan(const std::string& dir, const std::string& port, const std::string& sha256,
                      ResumePlan* plan, std::string* why);

// "PIC, FLASH" for the stages of `bits`; "none" when there are none.
std::string stage_list_text(unsigned bits);

}  // namespace tv
