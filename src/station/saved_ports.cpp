#include "station/saved_ports.h"

#include <algorithm>
#include <sstream>

namespace tv {

std::vector<std::string> saved_box_ports(const std::string& comm, const std::string& ports) {
  std::vector<std::string> boxes;
  auto take = [&boxes](std::string port) {
    // A hand-edited "com3, com4" means the same as "com3,com4".
    port.erase(0, port.find_first_not_of(" \t"));
    port.erase(port.find_last_not_of(" \t") + 1);
    if (!port.empty() && std::find(boxes.begin(), boxes.end(), port) == boxes.end()) boxes.push_back(port);
  };
  take(comm);
  std::istringstream list(ports);
  for (std::string port; std::getline(list, port, ',');) take(port);
  return boxes;
}

std::string box_ports_setting(const std::vector<std::string>& ports) {
  std::string value;
  for (const std::string& port : ports) value += (value.empty() ? "" : ",") + port;
  return value;
}

}  // namespace tv
