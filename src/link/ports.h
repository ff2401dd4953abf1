// The two serial lines of the box and the operations on them:
// the programming port (57600 8N1: probe, packets, console, burn) and the
// control port (2400 8E2: control frames, switched by RTS).
//
// Port names: a name that contains '/' is a device path used as it stands.
// "comN" or "COMN" (any case) is mapped to $TVBOX_PORT_DIR/comN when that
// variable is set (the box simulator makes its pseudo-terminals reachable
// there), otherwise to /dev/ttyS(N-1).
#pragma once

#include <cstdint>
#include <string>

#include "link/serial_port.h"

namespace tv {

// Process-wide handles. The programming port is used by the GUI thread, or by
// the one burn worker while a burn runs; the control port by the GUI thread.
SerialPort& programming_port();
SerialPort& control_port();

// Maps a port name as typed by the user (or "COM%d") to a device path.
std::string port_device_path(const std::string& name);

// Programming port. Result: 0 open; 1 the device did not open; 2 reading its
// line state failed; 3 setting the line state failed; 4 setting the
// time-outs failed. Traces "open_com 0 hCom %d\n" on success.
int open_com(const char* name);
// The programming port when none has been chosen.
constexpr const char* kDefaultProgrammingPort = "com3";
int close_com();  // always 0; closing a closed port is harmless

// The next two run on the window's programming link (box_link.h), which
// also has them as members for a link of its own.
// The line recovery step run between two attempts of a refused packet:
// drain, 30 ms, DTR low, purge both directions, 300 ms, drain, 300 ms.
void line_recovery();

// Control port "COM%d" with number n, 2400 8E2, RTS high. Returns the port's
// descriptor or -1 (the "invalid handle").
int xs_open(int n);
int xs_close();     // always 0
void xs_rts_off();  // RTS low, then 500 ms
void xs_rts_on();   // 600 ms, then RTS high, then 1 ms

// Reads `count` bytes from the programming port into `buffer` (first zeroing
// `size` bytes of it), waiting on the port. Returns 0 when they arrived, 1
// when the box was silent for more than 3 s since the last byte, 2 when the
// read failed (also when the port is not open).
int wait_read(uint8_t* buffer, int size, int count);

}  // namespace tv
