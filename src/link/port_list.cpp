#include "link/port_list.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "link/sysfs_files.h"

namespace tv {
namespace {

// "ttyUSB10" -> ("ttyUSB", 10), so that ttyUSB2 comes before ttyUSB10.
std::pair<std::string, long> name_and_number(const std::string& name) {
  size_t digits = name.size();
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
  long number = digits < name.size() ? std::strtol(name.c_str() + digits, nullptr, 10) : -1;
  return {name.substr(0, digits), number};
}

class PortLister {
 public:
  PortLister(const std::string& dev_root, const std::string& sys_root)
      : roots_{dev_root, sys_root}, dev_root_(dev_root), sys_root_(real_path(sys_root)) {}

  std::vector<SerialPortInfo> list() {
    add_stable_names();
    add_kernel_names("ttyUSB", false);
    add_kernel_names("ttyACM", false);
    add_kernel_names("ttyS", true);
    return ports_;
  }

 private:
  void add_stable_names() {
    const std::string by_id = dev_root_ + "/serial/by-id";
    std::vector<std::string> names = directory_entries(by_id);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      const std::string link = by_id + "/" + name;
      if (!device_present(link)) continue;
      const std::string target = real_path(link);
      if (target.empty() || !listed_.insert(target).second) continue;
      const std::string kernel_name = base_name(target);
      const AdapterInfo adapter = read_adapter_info(link, roots_);
      std::string description = adapter_description(adapter);
      description += description.empty() ? kernel_name : " (" + kernel_name + ")";
      ports_.push_back({link, description, dev_root_ + "/" + kernel_name, adapter});
    }
  }

  void add_kernel_names(const std::string& prefix, bool needs_uart) {
    std::vector<std::string> names;
    for (const std::string& name : directory_entries(dev_root_)) {
      const auto split = name_and_number(name);
      if (split.first == prefix && split.second >= 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return name_and_number(a).second < name_and_number(b).second;
    });
    for (const std::string& name : names) {
      const std::string path = dev_root_ + "/" + name;
      if (!device_present(path)) continue;
      if (listed_.count(real_path(path))) continue;  // already there by its stable name
      // A built-in line's sysfs says nothing worth showing (its "driver" is the serial core's).
      const AdapterInfo adapter = needs_uart ? AdapterInfo() : read_adapter_info(path, roots_);
      const std::string description = needs_uart ? uart_description(name) : adapter_description(adapter);
      if (needs_uart && description.empty()) continue;  // no UART: the line never answers
      ports_.push_back({path, description, path, adapter});
    }
  }

  // The kernel keeps a ttyS node for every possible line; only those whose
  // UART type is known have hardware behind them.
  std::string uart_description(const std::string& kernel_name) const {
    if (sys_root_.empty()) return std::string();
    const std::string type = read_attribute(sys_root_ + "/class/tty/" + kernel_name + "/type");
    if (type.empty() || type.find_first_not_of("0123456789") != std::string::npos) return std::string();
    const long code = std::strtol(type.c_str(), nullptr, 10);
    switch (code) {
      case 0: return std::string();
      case 1: return "8250 UART";
      case 2: return "16450 UART";
      case 3: return "16550 UART";
      case 4: return "16550A UART";
      case 8: return "16750 UART";
      case 10: return "16C950 UART";
      default: return "UART type " + type;
    }
  }

  SystemRoots roots_;
  std::string dev_root_;
  std::string sys_root_;          // resolved, so walks up can be kept inside it
  std::set<std::string> listed_;  // resolved device paths already in the list
  std::vector<SerialPortInfo> ports_;
};

}  // namespace

std::vector<SerialPortInfo> list_serial_ports(const std::string& dev_root, const std::string& sys_root) {
  return PortLister(dev_root, sys_root).list();
}

}  // namespace tv
