// One round of tvbox-burn's boxes: a burn, a compare or a backup builds a
// job for each of its ports, and the same loop runs them all at once on the
// burn station, shows their progress on standard error and hands back how
// each port ended. How tvbox-burn opens a box's line, and what exit status
// the ends of a round come to, live here too, once for every mode.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/burn_display.h"
#include "station/station.h"

namespace tv {

// One port's job.
struct PortJob {
  std::string port;
  BoxJob job;
};

// What a mode hands to the loop.
struct BoxRound {
  std::vector<PortJob> jobs;
  // Said on standard error once every box has started (the burn's
  // "burning FILE, ..., into PORTS"); empty: nothing is said.
  std::string header_line;
  // The file the JSON names, known only once the round is over (the backup
  // it wrote); empty: the front end knew it before.
  std::function<ChipsetFacts()> facts_after;
  // A compare's: how each job's memories compared, by job, once the round
  // is over; empty: the mode compares nothing.
  std::function<std::vector<std::vector<MemoryComparison>>()> comparisons_after;
};

// tvbox-burn opens a box's line for each job, waiting a moment for a port
// that is only now appearing, and closes it after, so the box is free for
// another program at once.
LineRule burner_line_rule();

// Opens a box's programming line: empty when it is open, else why not
// ("cannot open com3 (/dev/ttyS2): ..."). A cancelled box stops waiting for
// its port to appear.
std::string open_box_line(SerialPort& line, const std::string& port);

// Adds a box for each job to `station` (which holds none yet), starts them
// all, shows them until every one has ended and returns each port's end in
// the order of the jobs. A saved log that cannot be written is warned of
// and the job runs without it.
std::vector<PortStatus> run_round(Station& station, BoxRound round);

// The exit status of a round: `signal_status` (128 + the stop signal) when a
// signal came, else 0 when every box ended OK, 1 when one failed, 2 when the
// only ones that did not are resumes that found another box.
int round_exit_status(const std::vector<PortStatus>& ports, int signal_status);

}  // namespace tv
