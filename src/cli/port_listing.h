// What tvbox-burn --list-ports prints: the machine's serial lines with what
// sysfs tells of their USB adapters (driver, maker, model, serial number,
// latency timer, stable by-id name), as text or as one JSON object.
#pragma once

#include <string>
#include <vector>

#include "link/port_list.h"

namespace tv {

// One aligned line per port, beginning with its device path: driver, latency
// timer, adapter (maker, model, serial), then the by-id name where there is
// one. Everything but the by-id name fits 80 columns.
std::string port_listing_text(const std::vector<SerialPortInfo>& ports);

// {"format":..,"program":"tvbox-burn","version":..,"mode":"list-ports","ports":[..]}
std::string port_listing_json(const std::vector<SerialPortInfo>& ports);

// A warning for each port whose adapter holds answers for more than a
// couple of milliseconds, with the udev rule that cures it.
std::vector<std::string> port_listing_warnings(const std::vector<SerialPortInfo>& ports);

}  // namespace tv
