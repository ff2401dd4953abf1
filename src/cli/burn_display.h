// How tvbox-burn shows its boxes. On a terminal: one line per port that is
// redrawn in place (port, stage, percent, bytes, retries, elapsed and the
// estimated time left), with failures printed above the block. Otherwise
// (a log file, a CI job, TERM=dumb): one plain line per stage and per
// failure, and one per box every tenth of its job or every 30 seconds,
// whichever comes first, nothing redrawn. At the end a summary with one line
// per port, and on request one JSON object for scripts.
#pragma once

#include <cstdint>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "burn/read_back.h"
#include "station/port_report.h"

namespace tv {

class ProgressDisplay {
 public:
  // `fd` is standard error: standard output is kept for the results.
  // `terminal`: lines are redrawn in place.
  ProgressDisplay(int fd, bool terminal);
  // On `fd`, redrawn in place when it is a terminal that can take cursor
  // codes (TERM other than "dumb").
  explicit ProgressDisplay(int fd);
  bool terminal() const { return terminal_; }
  // The events of the last wait and the ports as they are now.
  void show(const std::vector<std::string>& events, const std::vector<PortStatus>& ports);
  // A line of someone else's for the same terminal (a --wait result line):
  // on a terminal it goes above the block at the next show(), where the
  // block's count of lines stays right; else it is written at once.
  void print_above(const std::string& line);

 private:
  void redraw(const std::vector<std::string>& above, const std::vector<PortStatus>& ports);
  void write_plain(const std::vector<std::string>& events, const std::vector<PortStatus>& ports);
  bool progress_due(size_t index, const PortStatus& port);
  int width() const;

  int fd_;
  bool terminal_;
  size_t drawn_ = 0;                // lines of the block now on the screen
  std::vector<std::string> above_;  // print_above()'s lines not yet shown
  // Plain lines: where each port's last progress line was, by its index.
  struct ProgressMark {
    int step = 0;  // tenths of the job
    double elapsed_s = 0;
  };
  std::vector<ProgressMark> marks_;
};

// True when `fd` is a terminal and `term` (TERM) lets a line be redrawn.
bool redraws_in_place(int fd, const char* term);
// One port's plain progress line: "com3: 40% of the job, FLASH 62%,
// retries 0, 0:52 elapsed, about 1:05 left".
std::string progress_line(const PortStatus& port);

// "1:05"; hours when it takes that long.
std::string clock_text(double seconds);
// `text` in at most `width` characters: a long port name loses its middle
// ("/dev/serial/by-id/usb-FTDI...-port0"), where the names of one bench differ least.
std::string shortened_in_the_middle(const std::string& text, size_t width);
// One port's line in the updating block, the port's name fitted to `name_width`.
std::string status_line(const PortStatus& port, size_t name_width = 10);
// The width of the port column: the longest name, but no wider than leaves
// room for the rest of the line in `line_width` characters.
size_t port_column_width(const std::vector<PortStatus>& ports, size_t line_width = 0);
// The summary: one line per port, OK or FAILED, time, stages done, whether
// a burn was verified, and the first failure with its stage and kind.
std::string summary_text(const std::vector<PortStatus>& ports);

struct ChipsetFacts {
  std::string path;
  int64_t size = -1;
  std::string sha256;
};

// A moment as the JSON objects give it: RFC 3339 in UTC
// ("2026-12-08T14:10:05Z", what jq's fromdateiso8601 reads) and the same
// moment in local time with its offset ("2026-12-08T15:10:05+01:00").
struct JsonTime {
  std::string utc, local;
};
JsonTime json_time(std::time_t when);
JsonTime json_time_now();

// The JSON objects' format: raised whenever a field changes its meaning or
// goes; a field added keeps it.
constexpr int kJsonFormatVersion = 2;

// The fields every JSON object tvbox-burn prints begins with, so a script
// knows what it reads: "format", "program", "version" and "mode" (burn,
// compare, backup, resume, info, list-ports, wait; tvbox-reg's: its
// command). Both programs share the format.
nlohmann::ordered_json json_head(const std::string& mode, const char* program = "tvbox-burn");
// The object as JSON text: indented for people, or one line for JSON Lines.
// A path or a port name need not be UTF-8: a byte that is not becomes U+FFFD
// instead of breaking the whole object.
std::string json_text(const nlohmann::ordered_json& object, bool one_line = false);

// Everything the JSON object for scripts tells about one run.
struct RunRecord {
  std::string mode = "burn";  // json_head's mode
  JsonTime started, ended;
  std::string error;     // why nothing was burned (exit 2); empty otherwise
  int error_line = 0;    // the chipset file's line the error is about, when it is
  ChipsetFacts chipset;  // path only, when it was never read
  std::vector<PortStatus> ports;
  std::vector<std::string> devices;  // each port's device path, by index
  std::vector<std::string> labels;   // each port's label, by index; empty: none
  // A compare's: each port's memories as they compared, by index.
  std::vector<std::vector<MemoryComparison>> comparisons;
  int exit_code = 0;
  uint64_t trace_lines_dropped = 0;  // --trace lines its reader did not take in time
};
// `one_line`: for JSON Lines (--wait's refusal), else indented for people.
std::string json_summary(const RunRecord& run, bool one_line = false);

// --wait: one box's end, as its result line and its JSON line tell it.
struct WaitedBox {
  PortStatus status;
  std::string device, label;
  int count = 0;  // the port's running count: its first box is #1
  std::string started, ended;
};
// "com3  #17  OK verified  1:58  SN-0042": the port, its count, the verdict
// in the summary's words, the time and the label.
std::string wait_result_line(const WaitedBox& box);
// One line of JSON, mode "wait".
std::string wait_box_json(const WaitedBox& box);

// --wait: how many boxes each port burned OK and how many it did not.
struct WaitTally {
  std::string port, label;
  int ok = 0, failed = 0;
};
std::string wait_summary_text(const std::vector<WaitTally>& ports);
std::string wait_summary_json(const std::vector<WaitTally>& ports, const std::string& started,
                              const std::string& ended, int exit_code);

}  // namespace tv
