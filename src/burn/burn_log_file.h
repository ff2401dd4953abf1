// The saved log of a burn: one text file per burn and port, so that an
// engineer can attach to a report what was burned into which box, how it
// went, and when. It is a sink placed in front of any other (the window's or
// the command line's): every report goes on to that sink unchanged, and the
// file gets a copy with a timestamp and the colour said as a word.
//
// A log that cannot be written is a warning for the caller to show; the burn
// itself never fails for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "burn/burn_sink.h"
#include "burn/burn_verification.h"
#include "burn/chipset_file.h"
#include "burn/resume_plan.h"

namespace tv {

// What the file says before the first burn line.
struct BurnLogHeader {
  std::string program;        // "tvbox" or "tvbox-burn"
  std::string kind = "burn";  // "burn", "backup" or "compare": what the log is of
  std::string chipset_path;
  int64_t chipset_size = -1;   // -1 when the file could not be read
  std::string chipset_sha256;  // of the file's bytes as on disk
  std::string port;
  std::string label;  // the operator's or serial tag of the box; empty: none given
  std::vector<std::pair<std::string, std::string>> settings;  // name, value
  std::vector<LogLine> load_log;                              // what loading the file reported
  std::string resumes;  // the saved log of the burn this one continues, if any
};

// What a front end knows when a burn starts, for the header of its log.
struct BurnLogSetup {
  std::string program;  // "tvbox" or "tvbox-burn"
  std::string chipset_path;
  std::string port;    // as the user named it
  std::string device;  // the device it was opened as
  int flash_delay = 0;
  int sysfont_delay = 0;
  unsigned sections = 0;  // section_flag bits of the stages the burn runs
  bool verify = false;
  // Where the delays and verify came from ("option", "window settings",
  // "default"), said after each; empty: not said.
  std::string flash_delay_from, sysfont_delay_from, verify_from;
};
// The header of a saved burn log, the same for the window and tvbox-burn:
// the sections named by their boxes in the window. The file's size, digest
// and load log are filled in by whoever reads the file.
BurnLogHeader burn_log_header(const BurnLogSetup& setup);

// The wall-clock time of day with milliseconds, "23:15:02.140": the time of
// every line of a burn log, a console record and a watch.
std::string time_of_day_stamp();

// $XDG_STATE_HOME/tvbox/logs, or ~/.local/state/tvbox/logs without it.
std::string default_burn_log_dir();

// "2026-03-01_14-05-09_com3.log": date, local time and the port, with every
// character of the port that does not belong in a file name made a '-'.
std::string burn_log_file_name(std::time_t when, const std::string& port);
// The port as a file name shows it ("com3", "dev-ttyUSB0"): the part of it
// that names it best, in characters every file system takes.
std::string port_file_part(const std::string& port);

// How many saved logs the default folder keeps: the newest `files`, and none
// older than `days`. A folder of the user's own choosing is never pruned.
// The window's settings file may set both ("keep_logs", "keep_days").
struct LogKeeping {
  int files = 500;
  int days = 90;
};
constexpr int kKeepFilesMin = 1, kKeepFilesMax = 100000;
constexpr int kKeepDaysMin = 1, kKeepDaysMax = 36500;
// Their keys in the "settings" section of the window's settings file.
constexpr const char* kKeepLogsKey = "keep_logs";
constexpr const char* kKeepDaysKey = "keep_days";
// Within the ranges above; a value outside falls back to the default.
LogKeeping checked_keeping(int files, int days);
// True for a file name burn_log_file_name() makes.
bool is_burn_log_name(const std::string& name);

// `when` in local time, as strftime's `format` writes it.
std::string local_time_text(std::time_t when, const char* format);

// Creates `name` (of a four-character extension, ".log") in `dir` for
// writing, never taking over a file that is there: a second file of that
// name within the same second becomes NAME-2.log, then -3, ... The path it
// took goes to `path`; null, with errno, when none could be made.
FILE* create_numbered_file(const std::string& dir, const std::string& name, std::string* path);

// Removes burn logs (files named as above, nothing else) older than
// `max_age_days` or beyond the newest `keep`. Returns how many went.
int prune_burn_logs(const std::string& dir, std::time_t now, int max_age_days = LogKeeping().days,
                    size_t keep = size_t(LogKeeping().files));
// The same rule for another kind of file of the folder (the console's
// records): only names `ours` accepts are counted and removed; the names
// sort by their date and time.
int prune_named_files(const std::string& dir, std::time_t now, int max_age_days, size_t keep,
                      const std::function<bool(const std::string&)>& ours);

// The colour of a burn-log style as a word: "error" for bold red, "warning"
// for the lighter reds, "ok" for every other.
const char* log_style_word(int style);

class BurnLogFile : public BurnSink {
 public:
  explicit BurnLogFile(BurnSink& next);
  ~BurnLogFile() override;
  BurnLogFile(const BurnLogFile&) = delete;
  BurnLogFile& operator=(const BurnLogFile&) = delete;

  // Creates the folder when needed and a new file in it, and writes the
  // header. False with the reason in `error`: the sink then only passes on.
  bool open(const std::string& dir, const BurnLogHeader& header, std::string* error);
  bool is_open() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  // With it, a burn that ends while the flag is set is written as cancelled.
  void set_cancel_flag(const std::atomic<bool>* cancel) { cancel_ = cancel; }
  // The burn log's last line, naming the finished file (the window shows it
  // in its own language); nothing when the file was not written.
  void set_saved_line(std::function<std::string(const std::string& path)> make, int style) {
    make_saved_line_ = std::move(make);
    saved_style_ = style;
  }

  // A resumed burn starts from what the burns before it finished; its own
  // Resume line then says what all of them together have put into the box.
  void carry_resume_point(const ResumePoint& point) { resume_ = point; }

  // A burn's log ends saying whether the burn was verified (a compare's or a
  // backup's has nothing to verify): the file's last lines, and a line to the
  // next sink just before done(). `off_reason` is the front end's word for
  // a read-back that was not asked for.
  void track_verification(bool asked, const std::string& off_reason);
  // What the burn came to; read once done() has passed on.
  const std::optional<BurnVerification>& verification() const { return verification_; }

  // A line the front end has shown itself (the start command's first line):
  // into the file only.
  void record_only(const std::string& text, int style);

  void log(const std::string& text, int style) override;
  void progress(int percent) override;
  void done(bool ok) override;
  void stage_begun(Section stage) override;
  void stage_ended(Section stage, bool ok) override;
  void retried() override;
  void line_lost() override;
  void waiting(Section next, int seconds) override { next_.waiting(next, seconds); }
  void stopped_at(Section stage, int address) override { next_.stopped_at(stage, address); }
  void failed_because(FailureCause cause) override;
  void flash_resumes_at(int address) override {
    resume_.flash_from = address;
    next_.flash_resumes_at(address);
  }
  void resume_point_revised(const ResumePoint& trusted) override;

 private:
  void write_line(const std::string& word, const std::string& text);
  void write_header(const BurnLogHeader& header);
  void close(const char* outcome);
  void say_verification();

  BurnSink& next_;
  FILE* file_ = nullptr;
  std::string path_;
  const std::atomic<bool>* cancel_ = nullptr;
  std::function<std::string(const std::string&)> make_saved_line_;
  int saved_style_ = kStyleBlue;
  std::vector<std::string> failures_;
  int retries_ = 0;
  bool write_failed_ = false;
  ResumePoint resume_;
  std::optional<BurnVerification> verification_;
};

}  // namespace tv
