// The serial lines this machine has, for the port list of the settings page
// and the command-line burner.
//
// Order: the stable /dev/serial/by-id names first (they survive re-plugging an
// adapter into another socket), then USB serial adapters (ttyUSB*), USB modems
// and CDC devices (ttyACM*), then the built-in lines (ttyS*) that have a UART
// behind them. A device named by a by-id link is listed once, under that name.
// Descriptions come from sysfs (the USB product and maker strings, or the UART
// type); nothing is opened, so listing never disturbs a line in use.
#pragma once

#include <string>
#include <vector>

#include "link/adapter_info.h"

namespace tv {

struct SerialPortInfo {
  std::string path;         // what the port name field takes: "/dev/ttyUSB0"
  std::string description;  // "FTDI FT232R USB UART, serial A50285BI"; may be empty
  std::string device;       // the kernel's node behind it: "/dev/ttyUSB0" for a by-id name too
  AdapterInfo adapter;      // what sysfs tells of a USB line; empty for a built-in one
};

// Lists the serial lines under `dev_root`, described from `sys_root`. The
// roots are parameters so that a fake tree can stand in for the machine's.
// Links whose device is gone and built-in lines without a UART are left out.
std::vector<SerialPortInfo> list_serial_ports(const std::string& dev_root = "/dev",
                                              const std::string& sys_root = "/sys");
inline std::vector<SerialPortInfo> list_serial_ports(const SystemRoots& roots) {
  return list_serial_ports(roots.dev, roots.sys);
}

}  // namespace tv
