// A burn station: boxes, each on a port of its own, burned, compared, backed
// up or resumed at once from one loaded chipset file. The window and
// tvbox-burn are its two front ends; both drive the same boxes the same way.
//
// A box runs one job at a time on a worker thread of its own. The front end
// builds each job on its own thread (what to run, the plan for the time left,
// the saved log's header), starts it, asks for snapshots of every box's
// status, cancels one box or all, and joins. A failure in one box never
// touches another. Nothing here knows widgets or signals: a signal handler
// or a Stop button calls cancel() or halt(), both safe from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "burn/burn_log_file.h"
#include "burn/burn_plan.h"
#include "burn/burn_sink.h"
#include "burn/burn_verification.h"
#include "burn/resume_plan.h"
#include "link/box_link.h"
#include "link/serial_port.h"
#include "station/port_report.h"

namespace tv {

// What a job does on one box once its line is open; it reads `cancel` at
// its packet boundaries.
using BoxWork = std::function<void(BoxLink& link, BurnSink& sink, const std::atomic<bool>& cancel)>;

// One job on one box, built by the front end before it starts.
struct BoxJob {
  BoxWork work;
  StagePlan plan;  // the stages it runs, for the time left
  // The saved log: written into `log_dir` with this header (its port is the
  // box's); no saved log when `log_dir` is empty.
  std::string log_dir;
  BurnLogHeader log_header;
  std::string recorded_first_line;  // a line the front end showed itself: into the file only
  std::function<std::string(const std::string& path)> saved_line;  // the log's last line
  std::optional<ResumePoint> resumes;  // a resumed burn: what the burns before it finished
  // A burn says whether it was verified: asked, and the front end's word for
  // a read-back that was not asked for.
  std::optional<std::pair<bool, std::string>> verification;
  // A burn that got not one byte back from the box reports that the box was
  // never there, rather than the first failure of its first stage.
  bool silence_is_no_answer = false;
  // The front end's own sink (the window's rows and log), told everything
  // the box's report is told; may be null.
  std::unique_ptr<BurnSink> front;
};

// How the station treats the lines. tvbox-burn opens a box's line for each
// job and closes it after, so the box is free for another program at once;
// the window keeps its lines open (its register console and port lamps use
// them) and only checks that the line is open.
struct LineRule {
  // Opens `line` for `port` (or checks that it is open): empty when it is,
  // else why not, in words the failure line of the box shows.
  std::function<std::string(SerialPort& line, const std::string& port)> open;
  bool close_after_job = true;
};

class Station;

// One box on one port.
class Box {
 public:
  const std::string& port() const { return port_; }
  SerialPort& line() { return line_; }
  BoxLink& link() { return link_; }

  // The start-up probe found a box that answers as a box this program does
  // not support: nothing is burned into it.
  bool unsupported() const { return unsupported_; }
  void set_unsupported(bool unsupported) { unsupported_ = unsupported; }

  // From start until its worker has been joined.
  bool busy() const;
  // Its job has ended (or no job ever started); its worker may be joined.
  bool finished() const;
  // The status now: stage, percent, bytes, retries, times, how it ended.
  // Before the first job: the port alone, waiting.
  PortStatus status() const;
  // The saved log of the last job; empty when it wrote none.
  std::string log_path() const;
  // What the last burn came to, once it has ended.
  std::optional<BurnVerification> verification() const;
  // The last job was stopped: a cancel came (from cancel() or halt()).
  bool cancelled() const { return cancel_; }

 private:
  friend class Station;
  explicit Box(std::string port);

 public:
  ~Box();  // a box is removed or destroyed only when its worker has ended

 private:
  std::string port_;
  SerialPort line_;
  BoxLink link_{line_};
  bool unsupported_ = false;
  std::atomic<bool> cancel_{false};
  std::mutex cancel_mutex_;  // the flag and the line's abandoned waits change together
  // The sinks of the last job, in the order each reports to the one before:
  // the saved log to the tee, the tee to the report and the front end's sink.
  mutable std::mutex mutex_;  // guards them against status() from another thread
  std::unique_ptr<PortReport> report_;
  std::unique_ptr<BurnSink> front_;
  std::unique_ptr<BurnSink> tee_;
  std::unique_ptr<BurnLogFile> log_file_;
  std::optional<BurnVerification> verification_;
  std::thread worker_;
};

// The boxes of one round of jobs at one moment, as a status line tells them
// ("3 of 4 boxes burning, 1 done; about 1:40 left").
struct StationTally {
  int boxes = 0;
  int running = 0;  // waiting to start or working
  int ok = 0;
  int failed = 0;
  int cancelled = 0;
  double left_s = -1;   // the longest time left of those running; -1: none known
  int job_percent = 0;  // of the whole round, by every box's plan
};
StationTally tally(const std::vector<PortStatus>& boxes);

class Station {
 public:
  explicit Station(LineRule rule);
  ~Station();  // halts and joins every box
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Front end's thread. A port already in the station is refused: add()
  // returns null.
  Box* add(const std::string& port);
  // False while the box is busy, and for a box not in the station.
  bool remove(Box* box);
  // The box's line is meant for another port from now on (the window's
  // first box follows its settings); false while the box is busy or when
  // another box has that port. The line itself is not touched.
  bool rename(Box* box, const std::string& port);
  Box* find(const std::string& port) const;
  std::vector<Box*> boxes() const;

  // Starts `job` on the box: opens the saved log (a log that cannot be
  // written leaves `log_error` saying why, and the job runs all the same),
  // then the worker opens the line and works. A line that does not open ends
  // the box as failed, saying why. False, and nothing started, for a box
  // that is busy.
  bool start(Box* box, BoxJob job, std::string* log_error = nullptr);

  // Any thread. The box's job ends at its next packet, still sending what
  // ends it cleanly; its waits on the line are cut short.
  void cancel(Box* box);
  // Any thread. Cancels every box, and every job started from now on
  // begins cancelled: for a program that is ending.
  void halt();
  bool halted() const { return halted_; }

  // Events of every box (a stage begun, a box ended) in order, for a front
  // end that prints them; the window never needs to read it.
  ReportBoard& board() { return board_; }

  std::vector<PortStatus> snapshot() const;
  bool all_finished() const;
  // Joins the workers whose job has ended; returns them.
  std::vector<Box*> reap();
  // Waits for every worker.
  void join_all();

 private:
  void run(Box* box, bool silence_is_no_answer, const BoxWork& work);
  static void open_log(BurnLogFile& log_file, const BoxJob& job, const std::string& port,
                       std::string* log_error);

  LineRule rule_;
  ReportBoard board_;
  std::atomic<bool> halted_{false};
  // Guards boxes_ against halt() from another thread, and halted_ against
  // a box that starts at the same moment.
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Box>> boxes_;
};

}  // namespace tv
