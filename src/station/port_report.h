// What the burn station knows about each box while it works: a sink per
// port that the burn engine reports to on its worker thread, and the
// snapshots and events the front end's thread shows. The worker never writes to the terminal
// itself: standard output may be a pipe that nobody reads, and a burn must
// not wait for it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "burn/burn_plan.h"
#include "burn/burn_sequence.h"
#include "burn/burn_sink.h"
#include "burn/burn_verification.h"
#include "burn/chipset_file.h"

namespace tv {

enum class BoxState { Waiting, Running, Ok, Failed, Cancelled };

const char* box_state_word(BoxState state);     // "waiting", ..., "OK", "FAILED", "CANCELLED"
const char* stage_display_name(Section stage);  // "PIC", "FLASH", "OSD", "RusFont", "SysFont"

// One port at one moment.
struct PortStatus {
  std::string port;
  BoxState state = BoxState::Waiting;
  std::string stage;    // the stage running now, or the last one
  int percent = 0;      // of the stage
  int job_percent = 0;  // of the whole job, by its plan
  uint64_t bytes = 0;   // on the line, both ways
  int retries = 0;
  double elapsed_s = 0;
  double left_s = -1;  // estimate; -1 when there is none yet
  std::vector<std::string> stages_done;
  std::string first_failure;
  std::string failure_stage;           // where the first failure came; empty: none, or before any stage
  const char* failure_kind = nullptr;  // one of the kFailure words; null: no failure
  std::string log_path;                // the saved log, when written
  // A burn's: whether it was verified, and in words ("verified (flash and
  // OSD read back)"); empty for a job that burns nothing.
  bool verified = false;
  std::string verification;
};

// What kind of failure ended a box's burn, for scripts that act on it.
extern const char* const kFailureSilent;          // "silent": the box stopped answering, or never did
extern const char* const kFailureLineLost;        // "line lost": the port failed under the burn
extern const char* const kFailureRefused;         // "refused": the box kept refusing a write
extern const char* const kFailureVerifyMismatch;  // "verify mismatch": read back, a byte differs
extern const char* const kFailureCancelled;       // "cancelled": a signal stopped the burn
extern const char* const kFailurePort;            // "port": the port did not open
extern const char* const kFailureFile;            // "file": a file could not be used or written
extern const char* const kFailureOtherBox;        // "other box": a resume found a box its log is not of
extern const char* const kFailurePoorLine;        // "poor line": too many retries, or far too slow

// Events from all workers for the main thread, in the order they happened.
class ReportBoard {
 public:
  void post(const std::string& line);
  // Waits until a line arrived or `timeout_ms` passed; returns the lines
  // that came.
  std::vector<std::string> wait(int timeout_ms);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> lines_;
};

class PortReport : public BurnSink {
 public:
  PortReport(std::string port, const StagePlan& plan, ReportBoard& board);

  // Bytes on the line so far, asked at each snapshot.
  void set_byte_counter(std::function<uint64_t()> bytes) { bytes_ = std::move(bytes); }
  void set_log_path(const std::string& path);
  void set_cancel_flag(const std::atomic<bool>* cancel) { cancel_ = cancel; }
  // A burn's report says whether it was verified; `off_reason` as for
  // BurnVerification.
  void track_verification(bool asked, const std::string& off_reason);

  void begin();  // the worker starts now
  // The line is open and its adapter holds every answer `ms` milliseconds
  // (SerialPort::answer_latency_ms): the plan counts them from now on.
  void add_answer_latency(int ms);
  // The port did not open; `why` names it and the reason. Ends the box.
  void port_failed(const std::string& why);
  // Not one byte came back from the box: this replaces whatever failure the
  // burn reported, since the box was never there to fail.
  void no_answer();
  void log(const std::string& text, int style) override;
  void progress(int percent) override;
  void done(bool ok) override;
  void stage_begun(Section stage) override;
  void stage_ended(Section stage, bool ok) override;
  void waiting(Section next, int seconds) override;
  void retried() override;
  void failed_because(FailureCause cause) override;

  // The port as it is at `now`.
  PortStatus snapshot(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) const;
  bool finished() const;

 private:
  double estimate_left(double elapsed, int stage_percent, double reached_seconds) const;
  double reached_seconds(std::chrono::steady_clock::time_point now) const;
  int stage_percent(double seconds_in_stage) const;
  // The first failure's text, stage and kind (later ones are left out).
  void note_failure(const std::string& text, const char* kind);
  void finish(BoxState state);
  bool interrupted() const { return cancel_ && *cancel_; }

  mutable std::mutex mutex_;
  PortStatus status_;
  StagePlan plan_;
  ReportBoard& board_;
  std::function<uint64_t()> bytes_;
  const std::atomic<bool>* cancel_ = nullptr;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point ended_;
  std::chrono::steady_clock::time_point stage_started_;
  int current_stage_ = -1;
  // Planned seconds of the stages already over, each counted when it ends,
  // and of the pauses between them (the flash delay, the system-font delay)
  // as far as the burn has waited them out.
  double done_seconds_ = 0;
  std::chrono::steady_clock::time_point pause_started_;
  double pause_seconds_ = 0;  // the pause under way; 0: none
  std::optional<BurnVerification> verification_;
};

}  // namespace tv
