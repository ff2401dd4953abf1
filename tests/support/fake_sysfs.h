// A USB-serial adapter as the kernel shows it under /sys, laid out in a
// scratch folder for the readers that take their sysfs root as a parameter
// (or from TVBOX_SYSFS_ROOT).
#pragma once

#include <string>

namespace testsupport {

struct FakeAdapter {
  std::string tty;               // "ttyUSB0"
  std::string usb_port = "1-1";  // where it is plugged in
  std::string vendor_id = "0403", product_id = "6001";
  std::string manufacturer, product, serial;  // empty: the device gives none
  std::string driver;                         // "ftdi_sio"; empty: no driver link
  int latency_timer_ms = -1;                  // -1: no latency_timer attribute
  // usb-serial drivers put the tty one level below the USB interface
  // (ttyUSB); a CDC modem's tty device is the interface itself (ttyACM).
  bool tty_under_interface = true;
};

// Lays out `adapter` under the sysfs root `sys`: the USB device with its
// strings, the interface, the tty's device with its driver and latency
// timer, and /sys/class/tty/<tty>/device leading to it.
void add_fake_adapter(const std::string& sys, const FakeAdapter& adapter);

}  // namespace testsupport
