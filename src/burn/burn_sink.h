// What a burn reports, and to whom. The burn engine runs on a worker thread and
// knows no widgets: it reports every log line, progress value and its end
// through a sink. The GUI's sink hands them to the GUI thread in order; a test
// or a command-line tool records or prints them.
#pragma once

#include <string>

#include "burn/chipset_sections.h"

namespace tv {

struct ResumePoint;

// Styles of the burn log. The window's text widget draws each with the
// highlight style of the same name (fill_log_styles); other front ends map
// them to colours of their own.
enum LogStyle : int {
  kStyleGreen = 1,
  kStyleBlue = 2,
  kStyleRed = 3,
  kStyleBold = 4,
  kStyleBoldGreen = 5,
  kStyleBoldBlue = 6,
  kStyleBoldRed = 7,
  kStyleUnderlinedGreen = 8,
  kStyleUnderlinedBlue = 9,
  kStyleUnderlinedRed = 10,
};
constexpr int kLogStyleCount = 10;

// Why a burn, a compare or a backup failed, as a front end names it to a
// script; the red log lines say the same in words.
enum class FailureCause {
  Refused,     // the box kept refusing a command
  Silent,      // the box stopped answering, or never did
  LineLost,    // the port failed under the job
  Mismatch,    // read back, the box differs from the file
  PortClosed,  // there was no open port to begin with
  FileFaulty,  // the load found faults: nothing was sent
  Unwritable,  // a backup's file could not be written
  OtherBox,    // a resume found a box that does not hold what the burn it continues wrote
  PoorLine,    // the line needed so many retries that the job would not end in sensible time
};

class BurnSink {
 public:
  virtual ~BurnSink() = default;
  // One line of the burn log, with its line end, in a style of the table.
  virtual void log(const std::string& text, int style) = 0;
  // The progress bar, 0..100.
  virtual void progress(int percent) = 0;
  // The burn has ended (after the last stage, the system font included).
  // `ok` is false when any stage failed or the burn was cancelled.
  virtual void done(bool ok) = 0;

  // Hooks a front end may use for a display of its own; the log lines above
  // say the same in words. A stage begins and ends (ok false when it failed
  // or was cut short); an attempt the box refused is being tried again; the
  // line to the box was lost (its port is gone or failing).
  virtual void stage_begun(Section) {}
  virtual void stage_ended(Section, bool /*ok*/) {}
  virtual void retried() {}
  virtual void line_lost() {}
  // A fixed pause of the protocol begins: `seconds` before the stage `next`
  // (the flash delay before FLASH, the system-font delay before the system
  // font).
  virtual void waiting(Section /*next*/, int /*seconds*/) {}
  // Just before done(false): where the burn stopped or first failed, as its
  // stage and the address it had reached there (-1 before the first record,
  // or in a pause: then `stage` is the one it waited for).
  virtual void stopped_at(Section /*stage*/, int /*address*/) {}
  // Just before done(false) when the job failed (not when it was cancelled):
  // the cause of its first failure.
  virtual void failed_because(FailureCause) {}
  // The Flash stage did not end well: a resume may take it up again at the
  // sector of the record for `address` (-1: from its start). Said when the
  // stage ends.
  virtual void flash_resumes_at(int /*address*/) {}
  // A resume takes back what the saved log of the burn it continues said the
  // box holds: the box turned out to be another one, a stage could not be
  // checked, or a read-back failed. `trusted` is what is left to build on.
  virtual void resume_point_revised(const ResumePoint& /*trusted*/) {}
};

}  // namespace tv
