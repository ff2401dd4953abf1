// How the status line says a job ended: a compare that read everything but
// failed found a difference, one that named where it stopped could not read
// on; a job that never named a place failed in the stage it began last.
#include <gtest/gtest.h>

#include <string>

#include "shell/burn_status.h"

namespace {

using Job = tv::BurnStatus::Job;
using Outcome = tv::BurnStatus::Outcome;

TEST(BurnStatus, EndTextsOfCompareAndBackupSayHowTheyEnded) {
  const struct {
    Job job;
    Outcome outcome;
    int stopped_at;  // -2: never said where
    const char* text;
  } cases[] = {
      {Job::Compare, Outcome::Completed, -2, "Matches the file: compare took 1:05"},
      {Job::Compare, Outcome::Failed, -2, "DIFFERS from the file: compare took 1:05"},
      {Job::Compare, Outcome::Failed, 0x0123, "Compare failed in OSD at 0123"},
      {Job::Compare, Outcome::Stopped, 0x0FFC, "Compare stopped in OSD at 0FFC"},
      {Job::Backup, Outcome::Failed, -2, "Backup failed in OSD"},
      {Job::Backup, Outcome::Completed, -2, "Backup completed in 1:05"},
      {Job::Burn, Outcome::Failed, 0x0320, "Burn failed in OSD at 0320"},
  };
  for (const auto& c : cases) {
    tv::BurnStatus status;
    status.start(tv::StagePlan(), 1000, c.job);
    status.stageBegun(tv::Section::Flash, 2000);
    status.stageBegun(tv::Section::Osd, 30000);
    if (c.stopped_at != -2) status.stoppedAt(tv::Section::Osd, c.stopped_at);
    status.end(c.outcome, 66000);
    EXPECT_EQ(std::string(status.text(70000).text()), c.text);
  }
}

// While a job runs the line shows the box's own figures, the time left
// before the time so far; before its first stage a job names the first stage
// its plan runs (a resume that skips the PIC program never shows "PIC").
TEST(BurnStatus, RunningTextShowsTheReportsFiguresAndThePlansFirstStage) {
  tv::StagePlan resumed;
  resumed.runs[int(tv::Section::Flash)] = resumed.runs[int(tv::Section::Osd)] = true;
  tv::BurnStatus status;
  status.start(resumed, 1000);
  EXPECT_EQ(std::string(status.text(1000).text()), "FLASH 0%  0:00");
  status.figures(0, 95);
  EXPECT_EQ(std::string(status.text(3000).text()), "FLASH 0%  about 1:35 left  0:02");
  status.stageBegun(tv::Section::Osd, 30000);
  status.figures(48, 70.2);
  EXPECT_EQ(std::string(status.text(42000).text()), "OSD 48%  about 1:11 left  0:41");
}

}  // namespace
