// The modes of tvbox-burn that write nothing to a box: --backup reads one box
// into a chipset file, --compare reads back what a chipset file would write
// into one or more boxes and names the differences, --info tells what a
// chipset file holds without opening a port.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "burn/chipset_summary.h"
#include "cli/burn_options.h"
#include "station/port_report.h"
#include "link/serial_port.h"

namespace tv {

// What the program's ctrl-C handling lends a mode: the flags it sets, the
// ports whose waits it cuts short, and the board it posts its notice on.
struct ModeHooks {
  const std::atomic<bool>* cancel = nullptr;
  // 128 + the stop signal that came (SIGINT, SIGTERM, SIGHUP, SIGQUIT); 0 for none.
  std::function<int()> signal_exit_status;
  std::function<void(SerialPort* port, bool watch)> watch_port;
  // Opens a box's line as a burn does; empty when it opened, else why not.
  std::function<std::string(SerialPort& line, const std::string& port)> open_line;
  std::function<void(ReportBoard* board)> show_notices_on;
};

// The work on one box, on its own thread, once its line is open: a burn, a
// compare or a backup, reporting through `sink`.
using BoxWork = std::function<void(BoxLink& link, BurnSink& sink)>;

// Opens the box's line (a line that does not open ends the box, saying why),
// lets the program's ctrl-C cut its waits short while `work` runs, and closes
// it after, so the box is free for another program at once.
void work_on_box(BoxRun& box, const ModeHooks& hooks, const BoxWork& work);

// True when the options name one of these modes.
bool read_mode_chosen(const BurnOptions& options);

// The usage rules of these modes (one mode at a time, one port for a backup,
// only the sections that can be read). False with the reason in `error`.
bool read_mode_usage(const BurnOptions& options, std::string* error);

// Runs the mode the options name; returns the exit status.
int run_read_mode(const BurnOptions& options, const ModeHooks& hooks);

// What --info says about burning the file with these options: why it would
// be refused (empty when it would burn), which stages and how long.
struct BurnVerdict {
  std::string refusal;
  std::string stages;  // "PIC, FLASH, OSD, RusFont"
  double seconds = 0;  // on the line at 57600 baud with the options' delays
};

// The burn's planned time on a good line with these options, for the
// estimate and for the bound on a poor line; a verify adds its reads.
double burn_estimate(const LoadedChipset& chipset, const BurnOptions& options, unsigned stages);

// --info's text and its JSON object.
std::string info_text(const ChipsetSummary& summary, const BurnVerdict& verdict, const BurnOptions& options);
std::string info_json(const ChipsetSummary& summary, const BurnVerdict& verdict, const BurnOptions& options);

}  // namespace tv
