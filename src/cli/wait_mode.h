// tvbox-burn --wait: a production loop. On every port at once it waits for a
// box to answer, burns it as any burn does (verify and saved log included),
// prints one result line for it, waits for it to go away and for the next
// one, until a stop signal. Between boxes a signal ends the loop cleanly;
// during a burn it stops that burn, as it stops any burn.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/burn_display.h"
#include "cli/burn_options.h"
#include "station/station.h"

namespace tv {

// The usage rules of --wait: it burns, so the read modes and --resume do not
// go with it.
bool wait_usage(const BurnOptions& options, std::string* error);

// True when a box answers on `port`: its device is there, opens, and the box
// answers a read of one word of its OSD memory, which changes nothing in it.
// The line is closed again before this returns.
bool box_answers(SerialPort& line, const std::string& port);

// What the loop needs from the program around it.
struct WaitLoop {
  BurnOptions options;
  std::function<BoxJob(const std::string& port)> make_job;  // one burn of one box
  std::function<int()> signal_status;                       // 128 + N once a stop signal came, else 0
  bool json = false;                                        // JSON Lines on standard output
};

// The station's rule for the loop: a burn leaves its line open, so that the
// box burned is watched on that very line until it goes.
LineRule wait_line_rule();

// Runs the loop on `station` (which holds no box yet) until a stop signal
// and returns the exit status: 128 + N when a burn was stopped by the
// signal, else 1 when a box failed, else 0.
int run_wait_loop(Station& station, const WaitLoop& loop);

}  // namespace tv
