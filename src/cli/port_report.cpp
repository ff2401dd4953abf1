#include "cli/port_report.h"

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

}  // namespace

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

const char* stage_display_name(Stage stage) {
  switch (stage) {
    case Stage::Pic: return "PIC";
    case Stage::Flash: return "FLASH";
    case Stage::Osd: return "OSD";
    case Stage::OsdRusFont: return "RusFont";
    case Stage::OsdSysFont: return "SysFont";
    case Stage::Header: break;
  }
  return "?";
}

void ReportBoard::post(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
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

PortReport::PortReport(std::string port, const StagePlan& plan, ReportBoard& board) : plan_(plan), board_(board) {
  status_.port = std::move(port);
}

void PortReport::set_log_path(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.log_path = path;
}

void PortReport::begin() {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.state = BoxState::Running;
  started_ = std::chrono::steady_clock::now();
}

void PortReport::log(const std::string& text, int style) {
  if (style != kStyleBoldRed) return;
  std::string line = without_line_end(text);
  {
    // After a ctrl-C the red lines tell of the interruption, not of the box.
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_.first_failure.empty() && !interrupted()) status_.first_failure = line;
  }
  board_.post(status_.port + ": error: " + line);
}

// The terminal's block is redrawn on its own tick: a progress value alone
// wakes nobody, however often a fast box sends them.
void PortReport::progress(int percent) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.percent = percent;
}

void PortReport::stage_begun(Stage stage) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    current_stage_ = int(stage);
    status_.stage = stage_display_name(stage);
    status_.percent = 0;
  }
  board_.post(status_.port + ": " + stage_display_name(stage) + " ...");
}

void PortReport::stage_ended(Stage stage, bool ok) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_seconds_ += plan_.seconds[int(stage)];
    current_stage_ = -1;
    if (ok) status_.stages_done.push_back(stage_display_name(stage));
    else if (status_.first_failure.empty())
      status_.first_failure = std::string(interrupted() ? "interrupted in " : "") + stage_display_name(stage) +
                              (interrupted() ? "" : " failed");
  }
  board_.post(status_.port + ": " + stage_display_name(stage) +
              (ok              ? " done"
               : interrupted() ? " cancelled"
                               : " FAILED"));
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

double PortReport::estimate_left(double elapsed) const {
  return estimate_seconds_left(plan_, done_seconds_, current_stage_, status_.percent, elapsed);
}

PortStatus PortReport::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  PortStatus copy = status_;
  if (bytes_) copy.bytes = bytes_();
  const bool running = status_.state == BoxState::Running;
  if (status_.state != BoxState::Waiting)
    copy.elapsed_s = seconds_between(started_, running ? std::chrono::steady_clock::now() : ended_);
  copy.left_s = running ? estimate_left(copy.elapsed_s) : 0;
  return copy;
}

}  // namespace tv
