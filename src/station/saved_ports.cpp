#include "station/saved_ports.h"

#include <algorithm>
#include <sstream>

namespace tv {

std::vector<std::string> saved_box_ports(const std::string& comm, const std::string& ports) {
  auto trimmed = [](std::string port) {
    // A hand-edited "com3, com4" means the same as "com3,com4".
    port.erase(0, port.find_first_not_of(" \t"));
    port.erase(port.find_last_not_of(" \t") + 1);
    return port;
  };
  std::vector<std::string> listed;
  std::istringstream list(ports);
  for (std::string port; std::getline(list, port, ',');) listed.push_back(trimmed(port));
  // The list starts with the first box's port. When "comm" names another,
  // the first port was changed where only "comm" is known (an older program,
  // a hand edit): that port replaces the list's first, rather than adding a
  // box the engineer took away.
  if (!comm.empty() && !listed.empty() && listed.front() != comm) listed.erase(listed.begin());
  std::vector<std::string> boxes;
  auto take = [&boxes](const std::string& port) {
    if (!port.empty() && std::find(boxes.begin(), boxes.end(), port) == boxes.end()) boxes.push_back(port);
  };
  take(comm);
  for (const std::string& port : listed) take(port);
  return boxes;
}

std::string box_ports_setting(const std::vector<std::string>& ports) {
  std::string value;
  for (const std::string& port : ports) value += (value.empty() ? "" : ",") + port;
  return value;
}

}  // namespace tv
