// How tvbox-burn shows its boxes. On a terminal: one line per port that is
// redrawn in place (port, stage, percent, bytes, retries, elapsed and the
// estimated time left), with failures printed above the block. Otherwise
// (a log file, a CI job): one plain line per stage and per failure, nothing
// redrawn. At the end a summary with one line per port, and on request one
// JSON object for scripts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/port_report.h"

namespace tv {

class ProgressDisplay {
 public:
  // `fd` is standard error: standard output is kept for the results.
  ProgressDisplay(int fd, bool terminal);
  bool terminal() const { return terminal_; }
  // The events of the last wait and the ports as they are now.
  void show(const std::vector<std::string>& events, const std::vector<PortStatus>& ports);

 private:
  void redraw(const std::vector<std::string>& above, const std::vector<PortStatus>& ports);
  int width() const;

  int fd_;
  bool terminal_;
  size_t drawn_ = 0;  // lines of the block now on the screen
};

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
// The summary: one line per port, OK or FAILED, stages done, first failure, time.
std::string summary_text(const std::vector<PortStatus>& ports);

struct ChipsetFacts {
  std::string path;
  int64_t size = -1;
  std::string sha256;
};

// Everything the JSON object for scripts tells about one run.
struct RunRecord {
  std::string started, ended;  // local time, ISO 8601 with the offset
  std::string error;           // why nothing was burned (exit 2); empty otherwise
  int error_line = 0;          // the chipset file's line the error is about, when it is
  ChipsetFacts chipset;        // path only, when it was never read
  std::vector<PortStatus> ports;
  std::vector<std::string> devices;  // each port's device path, by index
  bool verify = false;
  int exit_code = 0;
  uint64_t trace_lines_dropped = 0;  // --trace lines its reader did not take in time
};
constexpr int kJsonFormatVersion = 1;
std::string json_summary(const RunRecord& run);

// The time now as the JSON's times give it.
std::string iso_time_now();

}  // namespace tv
