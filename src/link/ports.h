// Opening and closing the box's two serial lines, and the small line-control
// operations run between exchanges: the programming port (57600 8N1: probe,
// packets, console, burn) and the control port (2400 8E2: control frames,
// switched by RTS). The lines themselves belong to whoever opens them (the
// window, tvbox-burn, a test); every operation here is given its line.
//
// Port names: a name that contains '/' is a device path used as it stands.
// "comN" or "COMN" (any case) is mapped to $TVBOX_PORT_DIR/comN when that
// variable is set (the box simulator makes its pseudo-terminals reachable
// there), otherwise to /dev/ttyS(N-1).
//
// Every open returns an OpenResult (serial_port.h): kOpened, or the step that
// failed. The errno of the failure goes to `error_number` (0 when open), so
// that the reason can be told apart from the step.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace tv {

// Maps a port name as typed by the user (or "COM%d") to a device path.
std::string port_device_path(const std::string& name);

// Opens `port` by a port name with the programming line's settings: 57600
// 8N1, raw, DTR and RTS low. Traces nothing.
OpenResult open_programming_line(SerialPort& port, const std::string& name, int* error_number = nullptr);
// The programming port when none has been chosen.
constexpr const char* kDefaultProgrammingPort = "com3";

// The same, tracing "open_com 0 hCom %d\n" when the line opened.
OpenResult open_com(SerialPort& port, const std::string& name, int* error_number = nullptr);

// Opens `port` by a port name with the control line's settings: 2400 8E2,
// raw, RTS high. Traces nothing.
OpenResult open_control_line(SerialPort& port, const std::string& name, int* error_number = nullptr);

// The same for the control line "COM%d" with number n, tracing the name
// before and the descriptor after the open.
OpenResult xs_open(SerialPort& port, int n, int* error_number = nullptr);

// RTS of the control line: low, then 500 ms; or 600 ms (the last bytes leave
// the line), then high, then 1 ms.
void xs_rts_off(SerialPort& port);
void xs_rts_on(SerialPort& port);

}  // namespace tv
