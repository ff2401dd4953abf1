#include "station/port_report.h"

#include <algorithm>
#include <cstdio>

namespace tv {
namespace {

std::string without_line_end(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

double seconds_between(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

const char* failure_kind_of(FailureCause cause) {
  switch (cause) {
    case FailureCause::Refused: return kFailureRefused;
    case FailureCause::Silent: return kFailureSilent;
    case FailureCause::LineLost: return kFailureLineLost;
    case FailureCause::Mismatch: return kFailureVerifyMismatch;
    case FailureCause::PortClosed: return kFailurePort;
    case FailureCause::FileFaulty:
    case FailureCause::Unwritable: return kFailureFile;
    case FailureCause::OtherBox: return kFailureOtherBox;
    case FailureCause::PoorLine: return kFailurePoorLine;
  }
  return kFailureRefused;
}

// The PIC stage heads its failure with this line, which says nothing by
// itself; the line after it says what failed.
const char kBareErrorLine[] = "ERROR !";

constexpr size_t kBoardLines = 1000;

}  // namespace

const char* const kFailureSilent = "silent";
const char* const kFailureLineLost = "line lost";
const char* const kFailureRefused = "refused";
const char* const kFailureVerifyMismatch = "verify mismatch";
const char* const kFailureCancelled = "cancelled";
const char* const kFailurePort = "port";
const char* const kFailureFile = "file";
const char* const kFailureOtherBox = "other box";
const char* const kFailurePoorLine = "poor line";

const char* box_state_word(BoxState state) {
  switch (state) {
    case BoxState::Waiting: return "waiting";
    case BoxState::Running: return "burning";
    case BoxState::Ok: return "OK";
    case BoxState::Failed: return "FAILED";
    case BoxState::Cancelled: return "CANCELLED";
  }
  return "?";
}

const char* stage_display_name(Section stage) { return section_info(stage).short_name; }

void ReportBoard::post(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A front end that never reads the board (the window) keeps only the last.
  if (lines_.size() >= kBoardLines) lines_.pop_front();
  lines_.push_back(line);
  changed_.notify_all();
}

std::vector<std::string> ReportBoard::wait(int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return !lines_.empty(); });
  std::vector<std::string> lines(lines_.begin(), lines_.end());
  lines_.clear();
  return lines;
}

PortReport::PortReport(std::string port, const StagePlan& plan, ReportBoard& board)
    : plan_(plan), board_(board) {
  status_.port = std::move(port);
}

void PortReport::add_answer_latency(int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  tv::add_answer_latency(&plan_, ms);
}

void PortReport::set_log_path(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.log_path = path;
}

void PortReport::track_verification(bool asked, const std::string& off_reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  verification_.emplace(asked, off_reason);
}

void PortReport::begin() {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.state = BoxState::Running;
  started_ = std::chrono::steady_clock::now();
}

void PortReport::note_failure(const std::string& text, const char* kind) {
  if (!status_.first_failure.empty()) return;
  status_.first_failure = text;
  status_.failure_kind = kind;
  status_.failure_stage = current_stage_ >= 0 ? status_.stage : std::string();
}

void PortReport::port_failed(const std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  note_failure(why, kFailurePort);
}

void PortReport::no_answer() {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.first_failure = "no box answered on " + status_.port + ": check the cable, the power and the port";
  status_.failure_kind = kFailureSilent;
  status_.failure_stage = stage_display_name(Section::Pic);
}

void PortReport::log(const std::string& text, int style) {
  if (style != kStyleBoldRed) return;
  std::string line = without_line_end(text);
  {
    // After a ctrl-C the red lines tell of the interruption, not of the box.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!interrupted() && line != kBareErrorLine) note_failure(line, kFailureRefused);
  }
  board_.post(status_.port + ": error: " + line);
}

// The engine names the cause of its first failure, whose words were the
// first red line: the kind a script reads is the engine's, never guessed
// from the words.
void PortReport::failed_because(FailureCause cause) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!interrupted()) status_.failure_kind = failure_kind_of(cause);
  if (verification_) verification_->failed_because(cause);
}

// The terminal's block is redrawn on its own tick: a progress value alone
// wakes nobody, however often a fast box sends them.
void PortReport::progress(int percent) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.percent = percent;
}

void PortReport::stage_begun(Section stage) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_seconds_ += pause_seconds_;  // the pause before it is over
    pause_seconds_ = 0;
    current_stage_ = int(stage);
    stage_started_ = std::chrono::steady_clock::now();
    status_.stage = stage_display_name(stage);
    status_.percent = 0;
  }
  board_.post(status_.port + ": " + stage_display_name(stage) + " ...");
}

void PortReport::stage_ended(Section stage, bool ok) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_seconds_ += plan_.opening[int(stage)] + plan_.writing[int(stage)];
    if (verification_) verification_->stage_ended(stage, ok);
    if (ok)
      status_.stages_done.push_back(stage_display_name(stage));
    else if (interrupted())
      note_failure(std::string("interrupted in ") + stage_display_name(stage), kFailureCancelled);
    else
      note_failure(std::string(stage_display_name(stage)) + " failed", kFailureRefused);
    // Until the next stage begins the burn waits out a delay (the flash
    // delay after the PIC, the system-font delay after the fonts).
    current_stage_ = -1;
    status_.stage = "waiting";
    status_.percent = 0;
  }
  board_.post(status_.port + ": " + stage_display_name(stage) +
              (ok              ? " done"
               : interrupted() ? " cancelled"
                               : " FAILED"));
}

void PortReport::waiting(Section, int seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  pause_started_ = std::chrono::steady_clock::now();
  pause_seconds_ = seconds;
}

void PortReport::retried() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++status_.retries;
}

void PortReport::done(bool ok) {
  std::string line;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = std::chrono::steady_clock::now();
    const bool cancelled = cancel_ && *cancel_;
    status_.state = ok ? BoxState::Ok : cancelled ? BoxState::Cancelled : BoxState::Failed;
    if (verification_) {
      verification_->done(ok, cancelled);
      status_.verified = verification_->verified();
      status_.verification = verification_->summary();
    }
    if (status_.state == BoxState::Cancelled) {
      if (status_.first_failure.empty()) status_.first_failure = "cancelled";
      status_.failure_kind = kFailureCancelled;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " (%.1f s)", seconds_between(started_, ended_));
    line = status_.port + ": " + box_state_word(status_.state) + seconds;
  }
  board_.post(line);
}

bool PortReport::finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_.state != BoxState::Waiting && status_.state != BoxState::Running;
}

// The burn reports the percent of a stage's writing only. Before it has any
// (the hand-shake, a clear) the clock moves the percent through the part the
// plan gives that opening; the writing fills the rest.
int PortReport::stage_percent(double seconds_in_stage) const {
  return planned_stage_percent(plan_, current_stage_, status_.percent, seconds_in_stage);
}

// A pause is reached second by second, as it is waited out.
double PortReport::reached_seconds(std::chrono::steady_clock::time_point now) const {
  if (pause_seconds_ <= 0) return done_seconds_;
  return done_seconds_ + std::min(pause_seconds_, seconds_between(pause_started_, now));
}

double PortReport::estimate_left(double elapsed, int stage_percent, double reached) const {
  return estimate_seconds_left(plan_, reached, current_stage_, stage_percent, elapsed);
}

PortStatus PortReport::snapshot(std::chrono::steady_clock::time_point now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  PortStatus copy = status_;
  if (bytes_) copy.bytes = bytes_();
  const bool running = status_.state == BoxState::Running;
  if (status_.state != BoxState::Waiting) copy.elapsed_s = seconds_between(started_, running ? now : ended_);
  if (running) copy.percent = stage_percent(seconds_between(stage_started_, now));
  const double reached = reached_seconds(now);
  copy.left_s = running ? estimate_left(copy.elapsed_s, copy.percent, reached) : 0;
  const double fraction = planned_fraction_done(plan_, reached, current_stage_, copy.percent);
  copy.job_percent = status_.state == BoxState::Ok ? 100 : fraction < 0 ? 0 : int(fraction * 100);
  return copy;
}

}  // namespace tv
