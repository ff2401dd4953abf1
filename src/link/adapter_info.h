// What the system knows about the USB-serial adapter behind a serial line:
// its driver, its maker's, model and serial strings, its latency timer and
// the stable /dev/serial/by-id name that leads to it. All of it comes from
// sysfs; nothing is opened, so asking never disturbs a line in use.
//
// The latency timer matters to this program above all. The box answers every
// packet before the next goes out, and an adapter such as an FTDI chip holds
// a short answer until its latency timer runs out (16 ms by default on
// Linux) unless the port asks for low latency: over the fifteen thousand
// exchanges of a burn, that is minutes.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace tv {

// Where the machine's /dev and /sys are. Only the front ends decide (from the
// environment); everything below takes the roots as they are given.
struct SystemRoots {
  std::string dev = "/dev";
  std::string sys = "/sys";
};

// $TVBOX_DEV_ROOT and $TVBOX_SYSFS_ROOT where set and not empty, so that a
// test can lay out a machine of its own; /dev and /sys otherwise.
SystemRoots system_roots_from_environment();

struct AdapterInfo {
  std::string driver;        // "ftdi_sio", "cp210x", "pl2303", "ch341", "cdc_acm"; empty: not known
  std::string manufacturer;  // the USB strings, as the device gives them
  std::string product;
  std::string serial;
  std::string vendor_id;  // "0403"
  std::string product_id;
  std::string by_id;          // the /dev/serial/by-id name of the same device; empty: none
  int latency_timer_ms = -1;  // -1: the device has no latency timer
};

// What sysfs under `roots` tells about the device `device` (a path under
// roots.dev, or a link to one). Empty fields where it tells nothing.
AdapterInfo read_adapter_info(const std::string& device, const SystemRoots& roots);

// "FTDI FT232R USB UART, serial A50285BI": enough to tell two adapters of one
// kind apart; "USB 0403:6001" when the device names nothing; empty for a
// line that is no USB device.
std::string adapter_description(const AdapterInfo& info);

// A latency timer above this holds answers noticeably: it is worth a warning.
constexpr int kLatencyTimerWarnMs = 2;

// After the open of `port` (which asked for low latency): reads the line's
// latency timer as it is now and keeps it on the port as the time the
// adapter adds to every answer (0 when it has no timer: a built-in UART, a
// pseudo-terminal). Returns the timer, -1 when there is none.
int take_adapter_latency(SerialPort& port, const SystemRoots& roots);

// The warning for a latency timer of `timer_ms` on `device`, with its cure:
// the udev rule that sets the timer to 1 ms whenever the adapter is plugged in.
std::string latency_warning(const std::string& device, int timer_ms, const std::string& driver);
// The rule itself, for `driver` (ftdi_sio when empty).
std::string latency_udev_rule(const std::string& driver);

}  // namespace tv
