// How tvbox-burn shows its boxes. On a terminal: one line per port that is
// redrawn in place (port, stage, percent, bytes, retries, elapsed and the
// estimated time left), with failures printed above the block. Otherwise
// (a log file, a CI job): one plain line per stage and per failure, nothing
// redrawn. At the end a summary with one line per port, and on request one
// JSON object for scripts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/port_report.h"

namespace tv {

class ProgressDisplay {
 public:
  ProgressDisplay(FILE* out, bool terminal);
  bool terminal() const { return terminal_; }
  // The events of the last wait and the ports as they are now.
  void show(const std::vector<std::string>& events, const std::vector<PortStatus>& ports);

 private:
  void redraw(const std::vector<std::string>& above, const std::vector<PortStatus>& ports);
  int width() const;

  FILE* out_;
  bool terminal_;
  size_t drawn_ = 0;  // lines of the block now on the screen
};

// "1:05"; hours when it takes that long.
std::string clock_text(double seconds);
// One port's line in the updating block, the port's name padded to `name_width`.
std::string status_line(const PortStatus& port, size_t name_width = 10);
// The width of the port column: the longest name.
size_t port_column_width(const std::vector<PortStatus>& ports);
// The summary: one line per port, OK or FAILED, stages done, first failure, time.
std::string summary_text(const std::vector<PortStatus>& ports);

struct ChipsetFacts {
  std::string path;
  int64_t size = -1;
  std::string sha256;
};
std::string json_summary(const ChipsetFacts& chipset, const std::vector<PortStatus>& ports, int exit_code);
std::string json_string(const std::string& text);

}  // namespace tv
