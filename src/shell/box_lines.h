// The window's two lines to the box, the link on the programming line and the
// rule of who may use them. The window owns one for the whole run and hands
// it to its pages through PageHost; start-up opens the lines in it. Nothing
// here is process-wide: a second window would have lines of its own.
//
// Members are destroyed in reverse order: the control line is closed before
// the programming line, as shutdown always has.
#pragma once

#include "link/box_link.h"
#include "link/serial_port.h"
#include "shell/port_use.h"

namespace tv {

struct BoxLines {
  SerialPort programming;     // 57600 8N1: probe, console, burn
  BoxLink link{programming};  // the primitives on it, and what they keep about the box
  SerialPort control;         // 2400 8E2: control frames
  PortUse use;
};

}  // namespace tv
