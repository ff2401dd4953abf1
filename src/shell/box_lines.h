// The window's lines to the boxes: the burn station, whose first box is on
// the programming line (the probe, the register console, the port lamp and
// the poll timer use that line too), the link on it, the control line and
// the rule of who may use them. The window owns one for the whole run and
// hands it to its pages through PageHost; start-up opens the lines in it.
// Nothing here is process-wide: a second window would have lines of its own.
//
// Members are destroyed in reverse order: the control line is closed before
// the programming line, as shutdown always has, and the station (which
// halts and joins every box) goes last.
#pragma once

#include <functional>
#include <string>

#include "link/box_link.h"
#include "link/serial_port.h"
#include "shell/port_use.h"
#include "station/station.h"

namespace tv {

struct BoxLines {
  BoxLines();
  BoxLines(const BoxLines&) = delete;
  BoxLines& operator=(const BoxLines&) = delete;

  // The window's lines stay open between jobs: a job only checks that its
  // box's line is open, and a closed one fails the box with the reason its
  // keeper gives (whyClosed).
  Station station;
  Box& first;               // the first box, on the settings' "comm" port
  SerialPort& programming;  // 57600 8N1: probe, console, the first box's burns
  BoxLink& link;            // the primitives on it, and what they keep about the box
  SerialPort control;       // 2400 8E2: control frames
  PortUse use;
  // Why the line of the box on `port` is closed, in the user's language;
  // set by the burn page, whose rows keep the lines.
  std::function<std::string(const std::string& port)> whyClosed;
};

}  // namespace tv
