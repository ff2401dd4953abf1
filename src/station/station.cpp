#include "station/station.h"

#include <algorithm>

namespace tv {
namespace {

// Every report goes to the box's own report and on to the front end's sink.
class TeeSink : public BurnSink {
 public:
  TeeSink(BurnSink& first, BurnSink* second) : first_(first), second_(second) {}

  void log(const std::string& text, int style) override {
    first_.log(text, style);
    if (second_) second_->log(text, style);
  }
  void progress(int percent) override {
    first_.progress(percent);
    if (second_) second_->progress(percent);
  }
  void done(bool ok) override {
    first_.done(ok);
    if (second_) second_->done(ok);
  }
  void stage_begun(Section stage) override {
    first_.stage_begun(stage);
    if (second_) second_->stage_begun(stage);
  }
  void stage_ended(Section stage, bool ok) override {
    first_.stage_ended(stage, ok);
    if (second_) second_->stage_ended(stage, ok);
  }
  void retried() override {
    first_.retried();
    if (second_) second_->retried();
  }
  void line_lost() override {
    first_.line_lost();
    if (second_) second_->line_lost();
  }
  void waiting(Section next, int seconds) override {
    first_.waiting(next, seconds);
    if (second_) second_->waiting(next, seconds);
  }
  void stopped_at(Section stage, int address) override {
    first_.stopped_at(stage, address);
    if (second_) second_->stopped_at(stage, address);
  }
  void failed_because(FailureCause cause) override {
    first_.failed_because(cause);
    if (second_) second_->failed_because(cause);
  }
  void flash_resumes_at(int address) override {
    first_.flash_resumes_at(address);
    if (second_) second_->flash_resumes_at(address);
  }
  void resume_point_revised(const ResumePoint& trusted) override {
    first_.resume_point_revised(trusted);
    if (second_) second_->resume_point_revised(trusted);
  }

 private:
  BurnSink& first_;
  BurnSink* second_;
};

}  // namespace

// ---- one box ---------------------------------------------------------------------

Box::Box(std::string port) : port_(std::move(port)) {}

Box::~Box() {
  if (worker_.joinable()) worker_.join();
}

bool Box::busy() const { return worker_.joinable(); }

bool Box::finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !report_ || report_->finished();
}

PortStatus Box::status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (report_) return report_->snapshot();
  PortStatus status;
  status.port = port_;
  return status;
}

std::string Box::log_path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_file_ && log_file_->is_open() ? log_file_->path() : std::string();
}

std::optional<BurnVerification> Box::verification() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return verification_;
}

StationTally tally(const std::vector<PortStatus>& boxes) {
  StationTally tally;
  tally.boxes = int(boxes.size());
  int percent_sum = 0;
  for (const PortStatus& box : boxes) {
    switch (box.state) {
      case BoxState::Waiting:
      case BoxState::Running:
        ++tally.running;
        tally.left_s = std::max(tally.left_s, box.left_s);
        break;
      case BoxState::Ok: ++tally.ok; break;
      case BoxState::Failed: ++tally.failed; break;
      case BoxState::Cancelled: ++tally.cancelled; break;
    }
    percent_sum += box.state == BoxState::Ok ? 100 : box.job_percent;
  }
  if (tally.boxes > 0) tally.job_percent = percent_sum / tally.boxes;
  return tally;
}

// ---- the station -----------------------------------------------------------------

Station::Station(LineRule rule) : rule_(std::move(rule)) {}

Station::~Station() {
  halt();
  join_all();
}

Box* Station::add(const std::string& port) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& box : boxes_)
    if (box->port() == port) return nullptr;
  boxes_.push_back(std::unique_ptr<Box>(new Box(port)));
  return boxes_.back().get();
}

bool Station::remove(Box* box) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found =
      std::find_if(boxes_.begin(), boxes_.end(), [box](const auto& one) { return one.get() == box; });
  if (found == boxes_.end() || box->busy()) return false;
  boxes_.erase(found);
  return true;
}

bool Station::rename(Box* box, const std::string& port) {
  if (!box || box->busy()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& other : boxes_)
    if (other.get() != box && other->port() == port) return false;
  box->port_ = port;
  return true;
}

Box* Station::find(const std::string& port) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& box : boxes_)
    if (box->port() == port) return box.get();
  return nullptr;
}

std::vector<Box*> Station::boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Box*> all;
  for (const auto& box : boxes_) all.push_back(box.get());
  return all;
}

bool Station::start(Box* box, BoxJob job, std::string* log_error) {
  if (!box || box->busy()) return false;
  {
    // halt() cannot come between the flag and the line: a job that starts
    // while the station halts starts cancelled.
    std::lock_guard<std::mutex> lock(mutex_);
    std::lock_guard<std::mutex> cancel_lock(box->cancel_mutex_);
    box->cancel_ = halted_.load();
    // The waits a Stop cut short in the last job are the line's again.
    box->line_.abandon_waits(box->cancel_);
  }
  auto report = std::make_unique<PortReport>(box->port_, job.plan, board_);
  report->set_cancel_flag(&box->cancel_);
  SerialPort* line = &box->line_;
  report->set_byte_counter([line] { return line->bytes_written() + line->bytes_read(); });
  if (job.verification) report->track_verification(job.verification->first, job.verification->second);
  auto tee = std::make_unique<TeeSink>(*report, job.front.get());
  auto log_file = std::make_unique<BurnLogFile>(*tee);
  // Also without a file the log passes on how the job ended: whether it was
  // cancelled, whether a burn was verified.
  log_file->set_cancel_flag(&box->cancel_);
  if (job.verification) log_file->track_verification(job.verification->first, job.verification->second);
  if (job.resumes) log_file->carry_resume_point(*job.resumes);
  if (!job.log_dir.empty()) open_log(*log_file, job, box->port_, log_error);
  if (log_file->is_open()) report->set_log_path(log_file->path());
  {
    std::lock_guard<std::mutex> lock(box->mutex_);
    box->log_file_.reset();  // each goes before the sink it reports to
    box->tee_.reset();
    box->front_ = std::move(job.front);
    box->report_ = std::move(report);
    box->tee_ = std::move(tee);
    box->log_file_ = std::move(log_file);
    box->verification_.reset();
  }
  const bool silence = job.silence_is_no_answer;
  box->worker_ = std::thread([this, box, silence, work = std::move(job.work)] { run(box, silence, work); });
  return true;
}

void Station::open_log(BurnLogFile& log_file, const BoxJob& job, const std::string& port,
                       std::string* log_error) {
  BurnLogHeader header = job.log_header;
  header.port = port;
  std::string error;
  if (!log_file.open(job.log_dir, header, &error)) {
    if (log_error) *log_error = error;
    return;
  }
  if (job.saved_line) log_file.set_saved_line(job.saved_line, kStyleBlue);
  if (!job.recorded_first_line.empty()) log_file.record_only(job.recorded_first_line, kStyleBlue);
}

void Station::run(Box* box, bool silence_is_no_answer, const BoxWork& work) {
  PortReport& report = *box->report_;
  BurnLogFile& sink = *box->log_file_;
  report.begin();
  // A rule without an open() keeps its lines open itself.
  const std::string why = rule_.open ? rule_.open(box->line_, box->port_) : std::string();
  if (why.empty()) report.add_answer_latency(box->line_.answer_latency_ms());
  if (!why.empty()) {
    report.port_failed(why);
    sink.log(why + "\n", kStyleBoldRed);
    sink.done(false);
  } else {
    if (work) work(box->link_, sink, box->cancel_);
    if (silence_is_no_answer && !box->cancel_ && box->line_.bytes_read() == 0) report.no_answer();
    if (rule_.close_after_job) {
      box->line_.drain();
      box->line_.close();
    }
  }
  std::lock_guard<std::mutex> lock(box->mutex_);
  box->verification_ = sink.verification();
}

void Station::cancel(Box* box) {
  std::lock_guard<std::mutex> lock(box->cancel_mutex_);
  box->cancel_ = true;
  box->line_.abandon_waits(true);
}

// Under the lock, so that no box is removed while it is being cancelled.
void Station::halt() {
  std::lock_guard<std::mutex> lock(mutex_);
  halted_ = true;
  for (const auto& box : boxes_) cancel(box.get());
}

std::vector<PortStatus> Station::snapshot() const {
  std::vector<PortStatus> all;
  for (Box* box : boxes()) all.push_back(box->status());
  return all;
}

bool Station::all_finished() const {
  for (Box* box : boxes())
    if (!box->finished()) return false;
  return true;
}

std::vector<Box*> Station::reap() {
  std::vector<Box*> ended;
  for (Box* box : boxes()) {
    if (!box->busy() || !box->finished()) continue;
    box->worker_.join();
    ended.push_back(box);
  }
  return ended;
}

void Station::join_all() {
  for (Box* box : boxes())
    if (box->worker_.joinable()) box->worker_.join();
}

}  // namespace tv
